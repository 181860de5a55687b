// Parameter strings and the notifications sent to the host's main frame.
#include "param/f_Notify.h"
#include "param/f_ParamString.h"

#include "host/host_messages.h"
#include "support/host_fixture.h"
#include "support/table_checks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using testhost::ExpectEach;
using testhost::ExpectEachKeyed;

TEST(ParamStringCodec, EncodeReplacesEqualsThenSemicolons) {
    ExpectEach(EncodeParamValue, {{"a=b;c", "a&eq%b&lim%c"}, {"", ""}, {"=;=;", "&eq%&lim%&eq%&lim%"}});
}

TEST(ParamStringCodec, DecodeIsPlainLeftToRightAndCaseSensitive) {
    // "&eq%" is replaced first, so the "=" it yields can never form part of a later "&lim%".
    ExpectEach(DecodeParamValue, {{"p&eq%q&lim%r", "p=q;r"}, {"&EQ%&Lim%", "&EQ%&Lim%"}, {"&&eq%eq%", "&=eq%"}});
    EXPECT_EQ(DecodeParamValue(EncodeParamValue("x=1;y=&eq%")), "x=1;y==");
}

TEST(ParamStringRead, PairValueNeedsTheExactKey) {
    ExpectEachKeyed(GetPairValue, {{"dir=a", "dir", "a"},
                                   {"dir=a", "DIR", ""},
                                   {"k=a=b", "k", "a=b"},
                                   {"novalue", "novalue", ""},
                                   {"=x", "", "x"}});
}

TEST(ParamStringRead, GetParamValueEdgeCases) {
    ExpectEachKeyed(GetParamValue, {{"dir=a;err=", "dir", "a"},
                                    {"dir=a;err=", "err", ""},
                                    {"dir=a;err=", "DIR", ""},
                                    {"k=;k=x", "k", "x"},
                                    {"a=1;k=p&eq%q&lim%r", "k", "p=q;r"},
                                    {"k=p&eq%q&lim%r;a=1", "k", "p=q;r"},
                                    {"k=a=b", "k", "a=b"},
                                    {" k=x", "k", ""},
                                    {"", "k", ""},
                                    {"k=first;k=second", "k", "first"},
                                    {";;k=x;", "k", "x"}});
}

TEST(ParamStringWrite, SetParamValueEdgeCases) {
    EXPECT_EQ(SetParamValue("", "err", "x"), "err=x");
    EXPECT_EQ(SetParamValue("dir=out.xml", "err", "a=b"), "dir=out.xml;err=a&eq%b");
    EXPECT_EQ(SetParamValue("dir=out.xml;", "err", "a=b"), "dir=out.xml;err=a&eq%b");
    EXPECT_EQ(SetParamValue("dir=d;err=old", "err", "new"), "dir=d;err=new;");
    EXPECT_EQ(SetParamValue("dir=d;err=old", "err", ""), "dir=d;");
    EXPECT_EQ(SetParamValue("dir=d", "err", "x;y"), "dir=d;err=x&lim%y");
}

TEST(ParamStringWrite, OnlyTheFirstPieceWithTheKeyIsTouched) {
    EXPECT_EQ(SetParamValue("err=1;dir=d;err=2", "err", "n"), "err=n;dir=d;err=2;");
    EXPECT_EQ(SetParamValue("ERR=1;dir=d", "err", "n"), "ERR=1;dir=d;err=n");
}

TEST(ParamStringWrite, RebuildNeverInventsEmptyPairs) {
    // A trailing ";" leaves an empty piece; the rebuilt text must not gain a "=;" pair.
    EXPECT_EQ(SetParamValue("dir=d;err=old;", "err", "new"), "dir=d;err=new;");
    EXPECT_EQ(SetParamValue("flag;err=old", "err", "new"), "flag;err=new;");
}

TEST(ParamStringWrite, RoundTripThroughGet) {
    const std::string value = "文件=不能;创建";
    const std::string s = SetParamValue("dir=/tmp/out.xml;ModalFormMsg=7", "err", value);
    EXPECT_EQ(GetParamValue(s, "err"), value);
    EXPECT_EQ(GetParamValue(s, "dir"), "/tmp/out.xml");
    EXPECT_EQ(GetParamValue(s, "ModalFormMsg"), "7");
}

TEST(ParamStringSplit, KeepsTheEmptyLastPiece) {
    std::vector<std::string> list{"keep"};
    SplitText("a;b;", ";", list);
    EXPECT_EQ(list, (std::vector<std::string>{"keep", "a", "b", ""}));

    list.clear();
    SplitText("", ";", list);
    EXPECT_EQ(list, (std::vector<std::string>{""}));

    list.clear();
    SplitText("a||b||", "||", list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", ""}));
}

// Runs before any test of this program creates the QApplication: a headless host has no frame.
TEST(NotifyHeadless, WithoutAnApplicationNotificationsAreDropped) {
    if (QCoreApplication::instance()) GTEST_SKIP() << "an application already exists in this process";
    corlith::ResetHost();
    corlith::SetMainFrameHandle(12345);
    EXPECT_EQ(vantrel::FindMainFrameWindow(), nullptr);
    NotifyFrameData(1316, "");
    NotifyFrame(1296);
    corlith::SetMainFrameHandle(0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

// A stand-in for the host's main frame that records the messages it is sent.
class RecordingFrame : public QWidget {
public:
    struct Received {
        int number;
        std::uintptr_t sender;
        std::uint32_t byteCount;
        std::string bytes;  // exactly byteCount bytes
        bool copyData;
    };
    std::vector<Received> received;

protected:
    bool event(QEvent* e) override {
        if (e->type() == hostmsg::MessageEventType()) {
            auto* m = static_cast<hostmsg::MessageEvent*>(e);
            EXPECT_EQ(m->wParam, 0);
            EXPECT_EQ(m->lParam, 0);
            received.push_back({m->number, 0, 0, std::string(), false});
            return true;
        }
        if (e->type() == hostmsg::CopyDataEventType()) {
            auto* c = static_cast<hostmsg::CopyDataEvent*>(e);
            received.push_back({static_cast<int>(c->number), c->sender, c->byteCount,
                                std::string(c->data, c->byteCount), true});
            return true;
        }
        return QWidget::event(e);
    }
};

class NotifyTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        testhost::EnsureApplication();
        vantrel::SetModuleAppHandle(4242);
    }
    void TearDown() override {
        corlith::SetMainFrameHandle(0);
        vantrel::SetModuleAppHandle(0);
        HostFixture::TearDown();
    }
};

TEST_F(NotifyTest, DataNotificationGoesToTheFrameNamedByTheHost) {
    auto frame = std::make_unique<RecordingFrame>();
    corlith::SetMainFrameHandle(static_cast<THostHandle>(frame->winId()));

    NotifyFrameData(1282, "7|123|0|1");
    NotifyFrameData(1316, "");
    NotifyFrame(1296);

    ASSERT_EQ(frame->received.size(), 3u);
    EXPECT_TRUE(frame->received[0].copyData);
    EXPECT_EQ(frame->received[0].number, 1282);
    EXPECT_EQ(frame->received[0].sender, 4242u);
    EXPECT_EQ(frame->received[0].byteCount, 10u);
    EXPECT_EQ(frame->received[0].bytes, std::string("7|123|0|1\0", 10));

    // An empty text travels as one zero byte.
    EXPECT_EQ(frame->received[1].number, 1316);
    EXPECT_EQ(frame->received[1].byteCount, 1u);
    EXPECT_EQ(frame->received[1].bytes, std::string(1, '\0'));

    EXPECT_FALSE(frame->received[2].copyData);
    EXPECT_EQ(frame->received[2].number, 1296);
}

TEST_F(NotifyTest, WithoutAHandleTheFrameIsFoundByWindowClass) {
    auto other = std::make_unique<RecordingFrame>();
    auto frame = std::make_unique<RecordingFrame>();
    frame->setProperty("windowClass", QStringLiteral("Tfrm_MainFrame"));
    corlith::SetMainFrameHandle(0);

    NotifyFrameData(1302, "中文");
    ASSERT_EQ(frame->received.size(), 1u);
    EXPECT_EQ(frame->received[0].bytes, std::string("中文") + '\0');
    EXPECT_TRUE(other->received.empty());
    EXPECT_EQ(vantrel::FindMainFrameWindow(), frame.get());
}

TEST_F(NotifyTest, TheHostsHandleIsAskedAnewForEveryNotification) {
    auto first = std::make_unique<RecordingFrame>();
    auto second = std::make_unique<RecordingFrame>();
    corlith::SetMainFrameHandle(static_cast<THostHandle>(first->winId()));
    NotifyFrame(1296);
    corlith::SetMainFrameHandle(static_cast<THostHandle>(second->winId()));
    NotifyFrame(1296);
    EXPECT_EQ(first->received.size(), 1u);
    EXPECT_EQ(second->received.size(), 1u);
}

TEST_F(NotifyTest, WithoutAnyFrameNotificationsAreDropped) {
    corlith::SetMainFrameHandle(0);
    auto bystander = std::make_unique<RecordingFrame>();
    EXPECT_EQ(vantrel::FindMainFrameWindow(), nullptr);
    NotifyFrameData(1316, "");
    NotifyFrame(1296);
    EXPECT_TRUE(bystander->received.empty());
}

}  // namespace

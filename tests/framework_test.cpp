// The base windows and window hosting: host context, skin, input methods, and the messages
// exchanged with the host's main frame.
#include "context/f_ModuleContext.h"
#include "host/host_messages.h"
#include "module/f_ModuleForm.h"
#include "param/f_Notify.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_CustomDlg.h"
#include "ui/common/f_CustomFormEx.h"

#include "support/host_fixture.h"

#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Stands in for the host's main frame: logs every message it receives.
class RecordingFrame : public QWidget {
public:
    struct Entry {
        bool data = false;
        int number = 0;
        std::intptr_t wParam = 0;
        std::intptr_t lParam = 0;
        std::string text;
        bool terminated = false;
    };

    explicit RecordingFrame(bool withClass = true) {
        if (withClass) setProperty("windowClass", QString::fromUtf16(u"Tfrm_MainFrame"));
        resize(800, 600);
    }

    std::vector<Entry> log;

    std::vector<Entry> Numbered(int number) const {
        std::vector<Entry> out;
        for (const Entry& e : log)
            if (e.number == number) out.push_back(e);
        return out;
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() == hostmsg::MessageEventType()) {
            const auto* m = static_cast<hostmsg::MessageEvent*>(event);
            log.push_back({false, m->number, m->wParam, m->lParam, {}, false});
            return true;
        }
        if (event->type() == hostmsg::CopyDataEventType()) {
            const auto* c = static_cast<hostmsg::CopyDataEvent*>(event);
            Entry e;
            e.data = true;
            e.number = static_cast<int>(c->number);
            if (c->byteCount > 0) {
                e.text.assign(c->data, c->byteCount - 1);
                e.terminated = c->data[c->byteCount - 1] == '\0';
            }
            log.push_back(e);
            return true;
        }
        return QWidget::event(event);
    }
};

// A page as the module's windows build one: controls first, then the create handler.
class TestPage : public Tfrm_CustomEx {
public:
    explicit TestPage(QWidget* parent = nullptr) : Tfrm_CustomEx(vantrel::ModuleContextFromHost().host, parent) {
        auto* layout = new QVBoxLayout(ContentArea());
        edtPlain = new TPellowEdit(ContentArea());
        edtOwn = new TPellowEdit(ContentArea());
        connect(edtOwn, &TPellowEdit::OnEnter, this, [this] { ++ownEnters; });
        edtChinese = new TPellowEdit(ContentArea());
        edtChinese->SetImeMode(vantrel::kImeChinese);
        layout->addWidget(edtPlain);
        layout->addWidget(edtOwn);
        layout->addWidget(edtChinese);
        FormCreate();
    }
    void ApplySkin() override {
        ++skinCount;
        Tfrm_CustomEx::ApplySkin();
    }
    TPellowEdit* edtPlain;
    TPellowEdit* edtOwn;
    TPellowEdit* edtChinese;
    int ownEnters = 0;
    int skinCount = 0;
};

class TestDialog : public Tfrm_CustomDlg {
public:
    TestDialog() : Tfrm_CustomDlg(vantrel::ModuleContextFromHost().host) {
        edtName = new TPellowEdit(ContentArea());
        edtName->setGeometry(20, 20, 200, 22);
        FormCreate();
    }
    void ApplySkin() override {
        ++skinCount;
        Tfrm_CustomDlg::ApplySkin();
    }
    TPellowEdit* edtName;
    int skinCount = 0;
};

// A dialog whose handlers write what they see into a log that outlives the dialog.
class ProbeDialog : public Tfrm_CustomDlg {
public:
    explicit ProbeDialog(std::vector<std::string>* log)
        : Tfrm_CustomDlg(vantrel::ModuleContextFromHost().host), log_(log) {
        edtAmount = new TPellowEdit(ContentArea());
        edtAmount->setGeometry(20, 20, 120, 22);
        cbbRate = new TPellowComboBox(ContentArea());
        cbbRate->setGeometry(20, 50, 120, 22);
        cbbRate->AddItem("17%");
        cbbRate->AddItem("13%");
        btnOk = new TModalSpeedButton("确定", this);
        btnOk->setGeometry(334, 279, 67, 22);
        setTabOrder(edtAmount, cbbRate);
        setTabOrder(cbbRate, btnOk);
        connect(edtAmount, &TPellowEdit::OnChange, this, &ProbeDialog::edtAmountChange);
        connect(edtAmount, &TPellowEdit::OnExit, this, &ProbeDialog::edtAmountExit);
        connect(cbbRate, &TPellowComboBox::OnEnter, this, &ProbeDialog::cbbRateEnter);
        connect(cbbRate, &TPellowComboBox::OnSelect, this, &ProbeDialog::cbbRateSelect);
        connect(cbbRate, &TPellowComboBox::OnChange, this, &ProbeDialog::cbbRateChange);
        connect(cbbRate, &TPellowComboBox::OnExit, this, &ProbeDialog::cbbRateExit);
        connect(btnOk, &TModalSpeedButton::OnClick, this, &ProbeDialog::btnOkClick);
        FormCreate();
    }
    TPellowEdit* edtAmount;
    TPellowComboBox* cbbRate;
    TModalSpeedButton* btnOk;

private:
    void Log(const std::string& what) { log_->push_back(what); }
    void edtAmountChange() { Log("change " + edtAmount->Text()); }
    void edtAmountExit() { Log("exit " + edtAmount->Text()); }
    void cbbRateEnter() { Log("enter rate"); }
    void cbbRateSelect() { Log("select " + cbbRate->Text()); }
    void cbbRateChange() { Log("change " + cbbRate->Text()); }
    void cbbRateExit() { Log("exit rate"); }
    void btnOkClick() { Log("click"); }

    std::vector<std::string>* log_;
};

void Enter(QWidget* w) {
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(w, &in);
}

void Leave(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(w, &out);
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class FrameworkTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        HostFixture::SetUp();
        corlith::ClearUserConfig();
        frame_ = std::make_unique<RecordingFrame>();
        frame_->show();
    }
    void TearDown() override {
        FlushDeletes();
        frame_.reset();
        HostFixture::TearDown();
    }
    // The host's page area: a visible parent of the given size.
    static void ShowContainer(QWidget& container, int width, int height) {
        container.resize(width, height);
        container.show();
    }
    std::unique_ptr<RecordingFrame> frame_;
};

}  // namespace

// ---- help key -------------------------------------------------------------------------------

TEST_F(FrameworkTest, F1InAnyControlOfAPageSendsHelpOnce) {
    auto* page = new TestPage;
    page->show();
    QTest::keyClick(page->edtPlain, Qt::Key_F1);
    auto help = frame_->Numbered(hostmsg::kMsgHelp);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_FALSE(help[0].data);
    EXPECT_EQ(help[0].wParam, 0);
    EXPECT_EQ(help[0].lParam, 0);

    QTest::keyClick(page, Qt::Key_F1);
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 2u);
    // Other keys are the controls' own.
    QTest::keyClick(page->edtPlain, Qt::Key_F2);
    QTest::keyClicks(page->edtPlain, "ab");
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 2u);
    EXPECT_EQ(page->edtPlain->Text(), "ab");
    page->close();
}

TEST_F(FrameworkTest, F1PressedOnTheWindowReachesTheHostOnce) {
    auto* page = new TestPage;
    page->show();
    QApplication::setActiveWindow(page);
    page->edtPlain->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page));
    ASSERT_NE(page->windowHandle(), nullptr);
    // Through the window system: the window object sees the key before the focused edit.
    QTest::keyClick(page->windowHandle(), Qt::Key_F1);
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 1u);
    QTest::keyClick(page->windowHandle(), Qt::Key_F1);
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 2u);
    QTest::keyClick(page->windowHandle(), Qt::Key_A);
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 2u);
    EXPECT_EQ(page->edtPlain->Text(), "a");
    page->close();
}

TEST_F(FrameworkTest, F1ReachesADialogOnlyWhenSentToTheDialogItself) {
    QPointer<TestDialog> dialog = new TestDialog;
    dialog->show();
    QTest::keyClick(dialog->edtName, Qt::Key_F1);
    EXPECT_TRUE(frame_->Numbered(hostmsg::kMsgHelp).empty());
    QTest::keyClick(dialog, Qt::Key_F1);
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgHelp).size(), 1u);
    dialog->close();
    FlushDeletes();
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(FrameworkTest, F1InAWindowOutsideThePageIsNotThePagesHelp) {
    auto* page = new TestPage;
    page->show();
    QWidget other;
    auto* edit = new TPellowEdit(&other);
    other.show();
    QTest::keyClick(edit, Qt::Key_F1);
    EXPECT_TRUE(frame_->Numbered(hostmsg::kMsgHelp).empty());
    page->close();
}

// ---- page commands and the end notification -------------------------------------------------

TEST_F(FrameworkTest, CloseWhileMaximisedSendsResetThenTheEndWithTheCreationFunctionCode) {
    QPointer<TestPage> page = new TestPage;
    page->show();
    EXPECT_EQ(page->PageState(), Tfrm_CustomEx::PageNormal);
    EXPECT_FALSE(page->spToolPageMax->isHidden());
    EXPECT_TRUE(page->spToolPageForm->isHidden());

    QTest::mouseClick(page->spToolPageMax, Qt::LeftButton);
    EXPECT_EQ(page->PageState(), Tfrm_CustomEx::PageMaximized);
    EXPECT_TRUE(page->spToolPageMax->isHidden());
    EXPECT_FALSE(page->spToolPageForm->isHidden());

    QTest::mouseClick(page->spToolPageClose, Qt::LeftButton);
    FlushDeletes();
    EXPECT_TRUE(page.isNull());

    ASSERT_EQ(frame_->log.size(), 3u);
    EXPECT_EQ(frame_->log[0].number, hostmsg::kMsgPageState);
    EXPECT_EQ(frame_->log[0].text, "max");
    EXPECT_EQ(frame_->log[1].number, hostmsg::kMsgPageState);
    EXPECT_EQ(frame_->log[1].text, "reset");
    EXPECT_EQ(frame_->log[2].number, hostmsg::kMsgFormEnd);
    EXPECT_TRUE(frame_->log[2].data);
    EXPECT_TRUE(frame_->log[2].terminated);
    EXPECT_EQ(frame_->log[2].text, testhost::kFuncCode);
}

TEST_F(FrameworkTest, CloseInTheNormalStateSendsOnlyTheEnd) {
    QPointer<TestPage> page = new TestPage;
    page->show();
    QTest::mouseClick(page->spToolPageMax, Qt::LeftButton);
    QTest::mouseClick(page->spToolPageForm, Qt::LeftButton);
    EXPECT_EQ(page->PageState(), Tfrm_CustomEx::PageNormal);
    frame_->log.clear();

    QTest::mouseClick(page->spToolPageClose, Qt::LeftButton);
    FlushDeletes();
    EXPECT_TRUE(page.isNull());
    ASSERT_EQ(frame_->log.size(), 1u);
    EXPECT_EQ(frame_->log[0].number, hostmsg::kMsgFormEnd);
}

TEST_F(FrameworkTest, RestoreSendsResetAndSetPageStateStoresOtherValuesOnly) {
    auto* page = new TestPage;
    page->show();
    QTest::mouseClick(page->spToolPageMax, Qt::LeftButton);
    QTest::mouseClick(page->spToolPageForm, Qt::LeftButton);
    const auto states = frame_->Numbered(hostmsg::kMsgPageState);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[1].text, "reset");

    page->SetPageState(7);
    EXPECT_EQ(page->PageState(), 7);
    EXPECT_FALSE(page->spToolPageMax->isHidden());  // as state 1 left it
    EXPECT_TRUE(page->spToolPageForm->isHidden());
    page->close();
}

TEST_F(FrameworkTest, TheEndReportsTheFunctionCodeOfCreationNotTheHostsLater) {
    QPointer<TestPage> page = new TestPage;
    corlith::HostSetup later;
    later.subAppCode = "07";
    later.funcCode = "07999-99";
    corlith::Configure(later);
    page->close();
    FlushDeletes();
    ASSERT_TRUE(page.isNull());
    const auto ends = frame_->Numbered(hostmsg::kMsgFormEnd);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, testhost::kFuncCode);
}

TEST_F(FrameworkTest, ThePageButtonsSitAtTheRightEndOfTheToolBar) {
    auto* page = new TestPage;
    page->resize(640, 400);
    page->show();
    QCoreApplication::processEvents();
    const QRect bar = page->ModuleToolbar->geometry();
    EXPECT_EQ(page->pnlToolResize->geometry(), QRect(bar.right() + 1 - 47, bar.top() + 2, 47, 22));
    page->resize(900, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(page->pnlToolResize->x() + page->pnlToolResize->width(), page->ModuleToolbar->geometry().right() + 1);
    EXPECT_EQ(page->spToolPageMax->toolTip(), QString::fromUtf16(u"最大化窗口"));
    EXPECT_EQ(page->spToolPageForm->toolTip(), QString::fromUtf16(u"恢复窗口"));
    EXPECT_EQ(page->spToolPageClose->toolTip(), QString::fromUtf16(u"关闭窗口"));
    page->close();
}

// ---- host messages -----------------------------------------------------------------------

TEST_F(FrameworkTest, HostCloseMessageClosesAPageButNotADialog) {
    QPointer<TestPage> page = new TestPage;
    page->show();
    QPointer<TestDialog> dialog = new TestDialog;
    dialog->show();

    hostmsg::SendMessageTo(page, hostmsg::kMsgClose);
    hostmsg::SendMessageTo(dialog, hostmsg::kMsgClose);
    FlushDeletes();
    EXPECT_TRUE(page.isNull());
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgFormEnd).size(), 1u);
    // A dialog sends no end notification.
    dialog->close();
    FlushDeletes();
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(frame_->Numbered(hostmsg::kMsgFormEnd).size(), 1u);
}

TEST_F(FrameworkTest, SchemeChangeReskinsAndKeepsAnEditsOwnEntryHandler) {
    auto* page = new TestPage;
    page->show();
    EXPECT_EQ(page->skinCount, 1);
    EXPECT_EQ(vantrel::WidgetColor(page->ModuleToolbar), gclModuleToolBarColor());
    EXPECT_EQ(vantrel::WidgetColor(page->pnlToolResize), gclModuleToolBarColor());

    vantrel::SetWidgetColor(page, 0x0000FF);
    vantrel::SetWidgetColor(page->ModuleToolbar, 0x00FF00);
    hostmsg::SendMessageTo(page, hostmsg::kMsgSchemeChanged);
    EXPECT_EQ(page->skinCount, 2);
    EXPECT_EQ(vantrel::WidgetColor(page), gclModuleBackColor());
    EXPECT_EQ(vantrel::WidgetColor(page->ModuleToolbar), gclModuleToolBarColor());
    EXPECT_EQ(page->FontCharset(), giSysFontCharSet());

    Enter(page->edtOwn);
    EXPECT_EQ(page->ownEnters, 1);
    EXPECT_EQ(page->edtOwn->ImeMode(), 0);
    EXPECT_EQ(page->edtOwn->ImeName(), "");

    Enter(page->edtPlain);
    EXPECT_EQ(page->edtPlain->ImeMode(), vantrel::kImeClose);
    EXPECT_EQ(page->edtPlain->ImeName(), "英语");
    page->close();
}

TEST_F(FrameworkTest, SchemeChangeReskinsADialogsBand) {
    QPointer<TestDialog> dialog = new TestDialog;
    EXPECT_EQ(vantrel::WidgetColor(dialog->pnlTop), gclTopBarColor());
    vantrel::SetWidgetColor(dialog->pnlTop, 0x123456);
    hostmsg::SendMessageTo(dialog, hostmsg::kMsgSchemeChanged);
    EXPECT_EQ(dialog->skinCount, 2);
    EXPECT_EQ(vantrel::WidgetColor(dialog->pnlTop), gclTopBarColor());
    delete dialog;
}

TEST_F(FrameworkTest, ActivationKeepsTheHostFrameCaptionActive) {
    auto* page = new TestPage;
    page->show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(page, &activate);
    // Without a main-frame handle from the host nothing is relayed.
    EXPECT_TRUE(frame_->Numbered(hostmsg::kMsgNcActivate).empty());

    corlith::SetMainFrameHandle(frame_->winId());
    QCoreApplication::sendEvent(page, &activate);
    const auto nc = frame_->Numbered(hostmsg::kMsgNcActivate);
    ASSERT_EQ(nc.size(), 1u);
    EXPECT_FALSE(nc[0].data);
    EXPECT_EQ(nc[0].wParam, 1);
    EXPECT_EQ(nc[0].lParam, 0);
    page->close();
}

TEST_F(FrameworkTest, NotificationsGoToTheHostsMainFrameHandleFirst) {
    RecordingFrame other(false);
    other.show();
    corlith::SetMainFrameHandle(other.winId());
    auto* page = new TestPage;
    page->show();
    QTest::keyClick(page->edtPlain, Qt::Key_F1);
    EXPECT_EQ(other.Numbered(hostmsg::kMsgHelp).size(), 1u);
    EXPECT_TRUE(frame_->Numbered(hostmsg::kMsgHelp).empty());
    page->close();
    FlushDeletes();
    corlith::SetMainFrameHandle(0);
}

// ---- input methods ---------------------------------------------------------------------------

TEST_F(FrameworkTest, ChineseEditsOpenTheUsersInputMethodOrThePlaceholder) {
    auto* page = new TestPage;
    page->show();
    Enter(page->edtChinese);
    EXPECT_EQ(page->edtChinese->ImeMode(), vantrel::kImeOpen);
    EXPECT_EQ(page->edtChinese->ImeName(), "-请选择-");
    EXPECT_TRUE(page->edtChinese->testAttribute(Qt::WA_InputMethodEnabled));
    Leave(page->edtChinese);

    // The setting is the host's as the window was opened with it.
    corlith::SetUserConfigParam("RunParameter", "SysIME", "搜狗拼音输入法");
    Enter(page->edtChinese);
    EXPECT_EQ(page->edtChinese->ImeName(), "-请选择-");
    Leave(page->edtChinese);
    page->close();
    page = new TestPage;
    page->show();
    Enter(page->edtChinese);
    EXPECT_EQ(page->edtChinese->ImeMode(), vantrel::kImeOpen);
    EXPECT_EQ(page->edtChinese->ImeName(), "搜狗拼音输入法");

    Enter(page->edtPlain);
    EXPECT_EQ(page->edtPlain->ImeMode(), vantrel::kImeClose);
    EXPECT_EQ(page->edtPlain->ImeName(), "英语");
    EXPECT_FALSE(page->edtPlain->testAttribute(Qt::WA_InputMethodEnabled));
    page->close();
}

TEST_F(FrameworkTest, EditImeEnterIgnoresOtherSendersAndTheDialogBindsItsEditsToo) {
    auto* page = new TestPage;
    QWidget notAnEdit;
    page->EditImeEnter(&notAnEdit);
    page->EditImeEnter(nullptr);
    EXPECT_EQ(page->edtChinese->ImeMode(), vantrel::kImeChinese);

    QPointer<TestDialog> dialog = new TestDialog;
    dialog->edtName->SetImeMode(vantrel::kImeOpen);
    Enter(dialog->edtName);
    EXPECT_EQ(dialog->edtName->ImeName(), "-请选择-");
    delete dialog;
    page->close();
}

// ---- control events -------------------------------------------------------------------------

TEST_F(FrameworkTest, ControlEventsReachTheWindowsHandlersInTheUsersOrder) {
    std::vector<std::string> log;
    QPointer<ProbeDialog> dialog = new ProbeDialog(&log);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.data()));
    dialog->edtAmount->setFocus();
    QTest::keyClicks(dialog->edtAmount, "12");
    QTest::keyClick(dialog->edtAmount, Qt::Key_Tab);
    QTest::keyClick(dialog->cbbRate, Qt::Key_Down);
    QTest::keyClick(dialog->cbbRate, Qt::Key_Tab);
    QTest::mouseClick(dialog->btnOk, Qt::LeftButton);
    // The program's own choice of an item is no event.
    dialog->cbbRate->SetItemIndex(0);
    EXPECT_EQ(log, (std::vector<std::string>{"change 1", "change 12", "exit 12", "enter rate", "select 13%",
                                             "change 13%", "exit rate", "click"}));
    delete dialog;
}

TEST_F(FrameworkTest, ControlsThatOutliveTheirWindowNoLongerCallIntoIt) {
    std::vector<std::string> log;
    auto* dialog = new ProbeDialog(&log);
    EXPECT_TRUE(dialog->edtAmount->HasEnterHandler());  // the input-method switch
    // Controls taken out of the window before it goes, as a host or a later owner might.
    QWidget keeper;
    TPellowEdit* amount = dialog->edtAmount;
    TModalSpeedButton* ok = dialog->btnOk;
    TPellowComboBox* rate = dialog->cbbRate;
    amount->setParent(&keeper);
    ok->setParent(&keeper);
    rate->setParent(&keeper);
    delete dialog;

    keeper.show();
    amount->SetText("5");
    Enter(amount);
    Leave(amount);
    Enter(rate);
    rate->setFocus();
    QTest::keyClick(rate, Qt::Key_Down);
    Leave(rate);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(amount->HasEnterHandler());
    EXPECT_EQ(amount->ImeMode(), 0);
}

TEST_F(FrameworkTest, AWindowDestroyedWithAFocusedEditCallsNoHandlerOnTheWayDown) {
    std::vector<std::string> log;
    auto* dialog = new ProbeDialog(&log);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    dialog->edtAmount->setFocus();
    QTest::keyClicks(dialog->edtAmount, "7");
    ASSERT_EQ(log, (std::vector<std::string>{"change 7"}));
    delete dialog;
    EXPECT_EQ(log, (std::vector<std::string>{"change 7"}));
}

// ---- host context ------------------------------------------------------------------------

TEST_F(FrameworkTest, TheCreateHandlerCapturesTheHostContext) {
    QWidget parentForm;
    corlith::SetParentForms(&parentForm, nullptr);
    auto* page = new TestPage;
    const vantrel::THostContext& host = page->HostContext();
    EXPECT_EQ(host.SubAppCode, "07");
    EXPECT_EQ(host.FuncCode, testhost::kFuncCode);
    EXPECT_EQ(host.SubAppPath, subAppDir_.string() + "/");
    EXPECT_EQ(host.SubAppVoObj, GetCurSubAppVo());
    EXPECT_EQ(host.ParentForm, &parentForm);
    EXPECT_EQ(page->CreateFuncCode(), testhost::kFuncCode);

    QPointer<TestDialog> dialog = new TestDialog;
    EXPECT_EQ(dialog->HostContext().FuncCode, testhost::kFuncCode);
    EXPECT_EQ(dialog->HostContext().ParentForm, nullptr);  // dialogs do not take the parent forms
    delete dialog;
    corlith::SetParentForms(nullptr, nullptr);
    page->close();
}

TEST_F(FrameworkTest, DialogLayoutAndCloseButton) {
    QPointer<TestDialog> dialog = new TestDialog;
    EXPECT_EQ(dialog->size(), QSize(491, 312));
    EXPECT_EQ(dialog->BusinessName(), "模块名称");
    dialog->SetBusinessName("录入其他销项发票明细");
    EXPECT_EQ(dialog->lbBusinessName->text(), QString::fromUtf16(u"录入其他销项发票明细"));
    EXPECT_EQ(dialog->pnlTop->height(), 37);
    EXPECT_EQ(dialog->sBtnClose->geometry(), QRect(410, 279, 67, 22));
    EXPECT_EQ(dialog->sBtnClose->Caption(), "关闭");
    EXPECT_EQ(dialog->ContentArea()->geometry(), QRect(0, 37, 491, 227));
    dialog->show();
    QTest::mouseClick(dialog->sBtnClose, Qt::LeftButton);
    FlushDeletes();
    EXPECT_TRUE(dialog.isNull());
}

// ---- without a main frame ----------------------------------------------------------------------

TEST_F(FrameworkTest, WithoutAnyMainFrameNothingFails) {
    frame_.reset();
    ASSERT_EQ(vantrel::FindMainFrameWindow(), nullptr);
    QPointer<TestPage> page = new TestPage;
    QWidget container;
    ShowContainer(container, 300, 200);
    ShowModuleForm(&container, page, "ModalFormMsg=7", false, "", "", true);
    QTest::keyClick(page->edtPlain, Qt::Key_F1);
    QTest::mouseClick(page->spToolPageMax, Qt::LeftButton);
    QTest::mouseClick(page->spToolPageClose, Qt::LeftButton);
    FlushDeletes();
    EXPECT_TRUE(page.isNull());
}

// ---- hosting a window ------------------------------------------------------------------------

TEST_F(FrameworkTest, HostedWindowFillsItsParentAndAnnouncesItself) {
    QWidget container;
    ShowContainer(container, 500, 300);
    QPointer<TestPage> page = new TestPage;
    ShowModuleForm(&container, page, "a=1;ModalFormMsg=7", false, "", "", true);

    EXPECT_EQ(page->parentWidget(), &container);
    EXPECT_FALSE(page->isWindow());
    EXPECT_TRUE(page->isVisible());
    EXPECT_TRUE(page->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(page->geometry(), container.rect());
    container.resize(640, 480);
    QCoreApplication::processEvents();
    EXPECT_EQ(page->geometry(), QRect(0, 0, 640, 480));

    const auto shown = frame_->Numbered(hostmsg::kMsgFormShown);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].data);
    EXPECT_TRUE(shown[0].terminated);
    EXPECT_EQ(shown[0].text, "7|" + std::to_string(static_cast<unsigned long long>(page->winId())) + "|0|1");
    EXPECT_EQ(hostmsg::WindowFromHandle(page->winId()), page.data());
    page->close();
}

TEST_F(FrameworkTest, HostedWindowJoinsAParentLayout) {
    QWidget container;
    auto* layout = new QVBoxLayout(&container);
    layout->setContentsMargins(0, 0, 0, 0);
    ShowContainer(container, 400, 300);
    QPointer<TestPage> page = new TestPage;
    ShowModuleForm(&container, page, "ModalFormMsg=9", false, "", "", false);
    QCoreApplication::processEvents();
    EXPECT_EQ(layout->indexOf(page), 0);
    EXPECT_EQ(page->geometry(), container.rect());
    const auto shown = frame_->Numbered(hostmsg::kMsgFormShown);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.substr(shown[0].text.size() - 4), "|0|0");
    page->close();
}

TEST_F(FrameworkTest, NoAnnouncementWithoutModalFormMsgOrWithoutParent) {
    QWidget container;
    ShowContainer(container, 400, 300);
    QPointer<TestPage> hosted = new TestPage;
    ShowModuleForm(&container, hosted, "dir=x;ModalFormMsg=", false, "", "", true);
    EXPECT_TRUE(hosted->isVisible());

    QPointer<TestPage> free = new TestPage;
    ShowModuleForm(nullptr, free, "ModalFormMsg=7", false, "", "其它销项发票", true);
    EXPECT_TRUE(free->isWindow());
    EXPECT_TRUE(free->isVisible());
    EXPECT_TRUE(free->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(free->windowTitle(), QString::fromUtf16(u"其它销项发票"));
    const QPoint offset = free->frameGeometry().center() - frame_->frameGeometry().center();
    EXPECT_LE(std::abs(offset.x()), 2);
    EXPECT_LE(std::abs(offset.y()), 2);

    EXPECT_TRUE(frame_->Numbered(hostmsg::kMsgFormShown).empty());
    hosted->close();
    free->close();
}

TEST_F(FrameworkTest, HelpFlagRegistersTheHelpPage) {
    QWidget container;
    container.show();
    QPointer<TestPage> page = new TestPage;
    ShowModuleForm(&container, page, "ModalFormMsg=qtfp", true, "", "", true);
    EXPECT_EQ(corlith::test::HelpHtml(), "qtfp.htm");
    const auto shown = frame_->Numbered(hostmsg::kMsgFormShown);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.substr(shown[0].text.size() - 4), "|1|1");

    QPointer<TestPage> second = new TestPage;
    ShowModuleForm(&container, second, "ModalFormMsg=qtfp", true, "xxqtfp_help.htm", "", true);
    EXPECT_EQ(corlith::test::HelpHtml(), "xxqtfp_help.htm");
    page->close();
    second->close();
}

// The waiting window, the bordered panel and the animator.
#include "ui/common/BrennPanelBox.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_ImageList.h"
#include "ui/common/f_Status.h"

#include "support/host_fixture.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

int32_t CanvasColor(const QImage& image, int x, int y) { return vantrel::HostColorValue(QColor(image.pixel(x, y))); }

// The blend of black over a background at one alpha, worked out channel by channel.
int32_t BlackOver(int32_t background, int alpha) {
    const float f = static_cast<float>(alpha) / 255.0f;
    int32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double channel = ((background >> shift) & 0xFF) * (1.0 - static_cast<double>(f));
        out |= static_cast<int32_t>(std::nearbyint(channel)) << shift;
    }
    return out;
}

class StatusTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        HostFixture::SetUp();
    }
    void TearDown() override {
        HideStatus();
        HostFixture::TearDown();
    }
};

}  // namespace

// ---- the waiting window --------------------------------------------------------------------

TEST_F(StatusTest, HideWithoutAWindowDoesNothing) {
    ASSERT_EQ(vantrel::CurrentStatusWindow(), nullptr);
    HideStatus();
    EXPECT_EQ(vantrel::CurrentStatusWindow(), nullptr);
}

TEST_F(StatusTest, TwoShowsKeepOneWindowWithTheSecondText) {
    ShowStatus("请稍候，正在读取数据...");
    QPointer<Tfrm_Status> first = vantrel::CurrentStatusWindow();
    ASSERT_FALSE(first.isNull());
    ShowStatus("第二条");
    EXPECT_EQ(vantrel::CurrentStatusWindow(), first.data());
    EXPECT_EQ(first->lblStatus->text(), QString::fromUtf16(u"第二条"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(first->size(), QSize(278, 73));
    EXPECT_EQ(first->Panel1->geometry(), QRect(0, 0, 275, 69));
    EXPECT_EQ(first->Panel1->BorderColor(), 14731681);
    EXPECT_EQ(first->ImageListAff->Count(), 4);
    EXPECT_EQ(first->ImageListAff->ImageSize(), QSize(94, 7));

    HideStatus();
    EXPECT_EQ(vantrel::CurrentStatusWindow(), nullptr);
    EXPECT_TRUE(first.isNull());
}

TEST_F(StatusTest, AHideQueuedWhileTheWindowStartsFreesItOnlyAfterwards) {
    QPointer<Tfrm_Status> hidden;
    // Delivered by the events the window processes while it starts, as a nested load's end is.
    QMetaObject::invokeMethod(qApp, [&hidden] {
        hidden = vantrel::CurrentStatusWindow();
        HideStatus();
    }, Qt::QueuedConnection);
    ShowStatus("请稍候");
    EXPECT_EQ(vantrel::CurrentStatusWindow(), nullptr);
    ASSERT_FALSE(hidden.isNull());
    EXPECT_FALSE(hidden->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(hidden.isNull());
}

TEST_F(StatusTest, ShowingStartsTheStrip) {
    ShowStatus("请稍候");
    Tfrm_Status* window = vantrel::CurrentStatusWindow();
    ASSERT_NE(window, nullptr);
    TBrennAnimator* animator = window->Animator();
    ASSERT_NE(animator, nullptr);
    EXPECT_EQ(animator->parentWidget(), window->Panel1);
    EXPECT_TRUE(animator->isVisible());
    EXPECT_EQ(animator->geometry(), QRect(90, 48, 94, 7));
    EXPECT_TRUE(animator->Animate());
    EXPECT_TRUE(animator->TimerActive());
    EXPECT_EQ(animator->Delay(), 50);
    EXPECT_EQ(animator->DelayUntilRepeat(), 100);
    EXPECT_TRUE(animator->Transparent());
    EXPECT_EQ(animator->ImageList(), window->ImageListAff);
}

TEST_F(StatusTest, FormTakesTheStatusColourWhenTheHostHasAFrameColour) {
    ASSERT_NE(gclFrameBackColor(), 0);
    ShowStatus("x");
    EXPECT_EQ(vantrel::CurrentStatusWindow()->FormColor(), 16710131);
}

TEST_F(StatusTest, ShadowIsBlendedOnceAlongTheBottomAndRightEdges) {
    ShowStatus("请稍候，正在读取数据...");
    Tfrm_Status* window = vantrel::CurrentStatusWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->PaintCounter(), 1);
    const QImage& canvas = window->Canvas();
    const int32_t bg = window->FormColor();

    // Bottom rows fade outward: alphas 128, 107, 86, 65, 44 on rows 69..73.
    const int alphas[] = {128, 107, 86, 65, 44};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(CanvasColor(canvas, 100, 69 + k), BlackOver(bg, alphas[k])) << k;
    // Right columns likewise on columns 275..277.
    for (int k = 0; k < 3; ++k) EXPECT_EQ(CanvasColor(canvas, 275 + k, 30), BlackOver(bg, alphas[k])) << k;
    // The rings start 2 x depth in from the corners: ring 3 at (10, 70), ring 4 at (8, 70),
    // ring 3's top row at (276, 9); further out nothing is touched.
    EXPECT_EQ(CanvasColor(canvas, 10, 70), BlackOver(bg, 86));
    EXPECT_EQ(CanvasColor(canvas, 8, 70), BlackOver(bg, 65));
    EXPECT_EQ(CanvasColor(canvas, 276, 9), BlackOver(bg, 86));
    EXPECT_EQ(CanvasColor(canvas, 3, 72), bg);
    EXPECT_EQ(CanvasColor(canvas, 277, 5), bg);

    // What is on screen is the canvas.
    const QImage shown = window->grab().toImage();
    EXPECT_EQ(CanvasColor(shown, 100, 70), CanvasColor(canvas, 100, 70));
    EXPECT_EQ(CanvasColor(shown, 276, 30), CanvasColor(canvas, 276, 30));

    // Later paints leave the shadow as it is.
    const QImage before = canvas.copy();
    window->repaint();
    window->update();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->PaintCounter(), 1);
    EXPECT_TRUE(window->Canvas() == before);
}

TEST(ShadowRule, BlendColorWeighsTheFirstColourByAlpha) {
    // 128/255 in single precision over 0xFEF9F3: 243 -> 121, 249 -> 124, 254 -> 126.50.. -> 127.
    EXPECT_EQ(Tfrm_Status::BlendColor(0, 16710131, 128), 121 | (124 << 8) | (127 << 16));
    EXPECT_EQ(Tfrm_Status::BlendColor(0x102030, 0xFFFFFF, 255), 0x102030);
    EXPECT_EQ(Tfrm_Status::BlendColor(0x102030, 0xFFFFFF, 0), 0xFFFFFF);
    // System colours are resolved first (button face).
    EXPECT_EQ(Tfrm_Status::BlendColor(static_cast<int32_t>(0x8000000F), 0, 255), 0xF0F0F0);
}

TEST(ShadowRule, DepthZeroDrawsNothingAndOnePixelRingsFollowTheRule) {
    QImage canvas(20, 20, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    const QImage blank = canvas.copy();
    Tfrm_Status::DrawShadow(canvas, QRect(0, 0, 10, 10), 0, 0);
    EXPECT_TRUE(canvas == blank);

    // Depth 1: column x = 1 at y = 9, pixel (2, 9), row y = 10 for x 2..9, pixel (9, 9),
    // row y = 1 at x = 9, pixel (9, 2), column x = 10 for y 2..9; all at alpha 128.
    Tfrm_Status::DrawShadow(canvas, QRect(0, 0, 10, 10), 1, 0);
    const int32_t once = BlackOver(0xFFFFFF, 128);
    std::vector<QPoint> expected = {{1, 9}, {2, 9}, {9, 9}, {9, 1}, {9, 2}};
    for (int x = 2; x <= 9; ++x) expected.emplace_back(x, 10);
    for (int y = 2; y <= 9; ++y) expected.emplace_back(10, y);
    int touched = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (CanvasColor(canvas, x, y) != 0xFFFFFF) ++touched;
    for (const QPoint& p : expected) EXPECT_EQ(CanvasColor(canvas, p.x(), p.y()), once) << p.x() << "," << p.y();
    EXPECT_EQ(touched, static_cast<int>(expected.size()));
}

// ---- TBrennPanelBox ---------------------------------------------------------------------------

namespace {

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        panel_ = std::make_unique<TBrennPanelBox>();
        panel_->SetColor(0xFFFFFF);
        panel_->resize(20, 10);
        panel_->show();
    }
    QImage Shot() { return panel_->grab().toImage(); }
    std::unique_ptr<TBrennPanelBox> panel_;
};

}  // namespace

TEST_F(PanelTest, DefaultsDrawAllFourBordersInMidGrey) {
    EXPECT_TRUE(panel_->HasBorder());
    const QImage img = Shot();
    for (const QPoint p : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 9), QPoint(19, 9), QPoint(10, 0), QPoint(10, 9),
                           QPoint(0, 5), QPoint(19, 5)})
        EXPECT_EQ(CanvasColor(img, p.x(), p.y()), 9342606) << p.x() << "," << p.y();
    EXPECT_EQ(CanvasColor(img, 10, 5), 0xFFFFFF);
    EXPECT_EQ(panel_->ClientRect(), QRect(1, 1, 18, 8));
}

TEST_F(PanelTest, OnlyTheBottomBorderIsTheLastRowAcrossTheWholeWidth) {
    panel_->SetHasTopBorder(false);
    panel_->SetHasLeftBorder(false);
    panel_->SetHasRightBorder(false);
    panel_->SetBorderColor(0x0000FF);
    const QImage img = Shot();
    for (int x = 0; x < 20; ++x) EXPECT_EQ(CanvasColor(img, x, 9), 0x0000FF) << x;
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(CanvasColor(img, 0, y), 0xFFFFFF) << y;
        EXPECT_EQ(CanvasColor(img, 19, y), 0xFFFFFF) << y;
    }
    EXPECT_EQ(CanvasColor(img, 10, 0), 0xFFFFFF);
}

TEST_F(PanelTest, WithoutBorderNothingIsDrawnButTheClientAreaStaysShrunk) {
    panel_->SetHasBorder(false);
    const QImage img = Shot();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(CanvasColor(img, x, y), 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(panel_->ClientRect(), QRect(1, 1, 18, 8));
    auto* child = new QWidget(panel_.get());
    child->show();
    auto* layout = new QHBoxLayout(panel_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    layout->activate();
    EXPECT_EQ(child->geometry(), QRect(1, 1, 18, 8));
}

// ---- TBrennAnimator ------------------------------------------------------------------------------

namespace {

const QColor kFrameColors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};

class AnimatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        host_ = std::make_unique<QWidget>();
        host_->resize(100, 50);
        list_ = new vantrel::TImageList(10, 6);
        for (const QColor& c : kFrameColors) {
            QPixmap pm(10, 6);
            pm.fill(c);
            list_->Add(pm);
        }
        animator_ = new TBrennAnimator(host_.get());
        animator_->SetAnimate(false);
        QObject::connect(animator_, &TBrennAnimator::OnFrameChange, animator_,
                         [this](TBrennAnimator*, int frame) { frames_.push_back(frame); });
    }
    void TearDown() override {
        host_.reset();
        delete list_;
    }
    QColor Drawn() const { return QColor(animator_->FrameBuffer().pixel(5, 3)); }

    std::unique_ptr<QWidget> host_;
    vantrel::TImageList* list_ = nullptr;
    TBrennAnimator* animator_ = nullptr;
    std::vector<int> frames_;
};

}  // namespace

TEST_F(AnimatorTest, DefaultsAndTheImageSize) {
    TBrennAnimator fresh;
    EXPECT_TRUE(fresh.Animate());
    EXPECT_TRUE(fresh.TimerActive());
    EXPECT_EQ(fresh.Delay(), 100);
    EXPECT_EQ(fresh.DelayUntilRepeat(), 100);
    EXPECT_EQ(fresh.ImageIndex(), 0);
    EXPECT_EQ(fresh.ImageList(), nullptr);
    EXPECT_FALSE(fresh.Transparent());
    EXPECT_EQ(fresh.size(), QSize(40, 40));

    animator_->SetImageList(list_);
    EXPECT_EQ(animator_->size(), QSize(10, 6));
    host_->show();
    animator_->resize(30, 30);
    EXPECT_EQ(animator_->size(), QSize(10, 6));
}

TEST_F(AnimatorTest, FramesRunAtDelayThenPauseBeforeRepeating) {
    animator_->SetImageList(list_);
    animator_->SetDelay(50);
    animator_->SetDelayUntilRepeat(500);
    EXPECT_EQ(animator_->TimerInterval(), 50);
    std::vector<int> intervals;
    for (int i = 0; i < 6; ++i) {
        animator_->Tick();
        EXPECT_EQ(Drawn(), kFrameColors[i % 5]) << i;
        intervals.push_back(animator_->TimerInterval());
    }
    EXPECT_EQ(frames_, (std::vector<int>{0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(intervals, (std::vector<int>{50, 50, 50, 50, 500, 50}));
}

TEST_F(AnimatorTest, AnIndexPastTheEndStartsAgainAtZero) {
    animator_->SetImageList(list_);
    animator_->SetImageIndex(7);
    animator_->Tick();
    EXPECT_EQ(animator_->LastDrawnIndex(), 0);
    EXPECT_EQ(Drawn(), kFrameColors[0]);
    EXPECT_EQ(animator_->ImageIndex(), 1);
}

TEST_F(AnimatorTest, FrameChangeFiresOncePerNewFrameAndNotOnRepaint) {
    animator_->SetImageList(list_);
    host_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    animator_->Tick();
    animator_->repaint();  // shows the frame just drawn
    EXPECT_EQ(frames_, (std::vector<int>{0}));
    animator_->SetImageIndex(0);
    animator_->repaint();
    animator_->repaint();
    EXPECT_EQ(frames_, (std::vector<int>{0}));
    animator_->SetImageIndex(3);
    animator_->repaint();
    animator_->repaint();
    EXPECT_EQ(frames_, (std::vector<int>{0, 3}));
    EXPECT_EQ(QColor(animator_->grab().toImage().pixel(5, 3)), kFrameColors[3]);
}

TEST_F(AnimatorTest, DestroyingTheImageListLeavesTicksWithNothingToDo) {
    animator_->SetImageList(list_);
    animator_->Tick();
    delete list_;
    list_ = nullptr;
    EXPECT_EQ(animator_->ImageList(), nullptr);
    const int index = animator_->ImageIndex();
    animator_->Tick();
    animator_->Tick();
    EXPECT_EQ(animator_->ImageIndex(), index);
    EXPECT_EQ(frames_, (std::vector<int>{0}));
}

TEST_F(AnimatorTest, AnimateAndDelaySettersDriveTheTimer) {
    animator_->SetAnimate(true);
    EXPECT_TRUE(animator_->TimerActive());
    animator_->SetDelay(30);
    EXPECT_EQ(animator_->TimerInterval(), 30);
    // An interval of 0 holds the timer rather than spinning it.
    animator_->SetDelay(0);
    EXPECT_FALSE(animator_->TimerActive());
    animator_->SetDelay(30);
    EXPECT_TRUE(animator_->TimerActive());
    animator_->SetAnimate(false);
    EXPECT_FALSE(animator_->TimerActive());
    animator_->SetDelay(40);
    EXPECT_FALSE(animator_->TimerActive());
    animator_->SetDelay(30);
    // The pause before a repeat waits for the next wrap.
    animator_->SetImageList(list_);
    animator_->SetDelayUntilRepeat(700);
    EXPECT_EQ(animator_->TimerInterval(), 30);
    for (int i = 0; i < 5; ++i) animator_->Tick();
    EXPECT_EQ(animator_->TimerInterval(), 700);
}

TEST_F(AnimatorTest, TransparentFramesShowTheParentsBackground) {
    QPalette pal = host_->palette();
    pal.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
    host_->setPalette(pal);
    host_->setAutoFillBackground(true);
    QPixmap holed(10, 6);
    holed.fill(Qt::transparent);
    {
        QPainter p(&holed);
        p.fillRect(0, 0, 5, 6, Qt::red);
    }
    vantrel::TImageList list(10, 6);
    list.Add(holed);
    animator_->move(20, 10);
    animator_->SetImageList(&list);
    animator_->SetTransparent(true);
    animator_->Tick();
    EXPECT_EQ(QColor(animator_->FrameBuffer().pixel(2, 3)), QColor(Qt::red));
    EXPECT_EQ(QColor(animator_->FrameBuffer().pixel(8, 3)), QColor(0x12, 0x34, 0x56));

    animator_->SetTransparent(false);
    animator_->SetColor(0x00FF00);
    animator_->Tick();
    EXPECT_EQ(QColor(animator_->FrameBuffer().pixel(8, 3)), QColor(0, 0xFF, 0));
    animator_->SetImageList(nullptr);
}

TEST_F(AnimatorTest, ClicksReachTheAnimatorsEvents) {
    animator_->SetImageList(list_);
    host_->show();
    int clicks = 0, doubles = 0;
    QObject::connect(animator_, &TBrennAnimator::OnClick, animator_, [&](TBrennAnimator* sender) {
        EXPECT_EQ(sender, animator_);
        ++clicks;
    });
    QObject::connect(animator_, &TBrennAnimator::OnDblClick, animator_, [&] { ++doubles; });
    QTest::mouseClick(animator_, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(animator_, Qt::RightButton, {}, QPoint(3, 3));
    QTest::mouseDClick(animator_, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_GE(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

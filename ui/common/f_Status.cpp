#include "ui/common/f_Status.h"

#include "host/corlith_api.h"
#include "ui/common/BrennPanelBox.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_FormSupport.h"
#include "ui/common/f_ImageList.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

namespace {

QPointer<Tfrm_Status> g_status;

constexpr int32_t kResourceColor = 15790320;  // the window's design colour (button face)
constexpr int32_t kStatusColor = 16710131;
constexpr int32_t kPanelBorderColor = 14731681;

QFont SongFont(int pixels) {
    QFont f;
    f.setFamilies(vantrel::SongFamilies());
    f.setPixelSize(pixels);
    return f;
}

int32_t PixelColor(const QImage& image, int x, int y) {
    const QRgb rgb = image.pixel(x, y);
    return static_cast<int32_t>(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
}

void BlendPixel(QImage& canvas, int x, int y, int32_t color, int alpha) {
    if (x < 0 || y < 0 || x >= canvas.width() || y >= canvas.height()) return;
    const int32_t blended = Tfrm_Status::BlendColor(color, PixelColor(canvas, x, y), alpha);
    canvas.setPixel(x, y, qRgb(blended & 0xFF, (blended >> 8) & 0xFF, (blended >> 16) & 0xFF));
}

}  // namespace

Tfrm_Status::Tfrm_Status(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), formColor_(kResourceColor) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(278, 73);
    setFont(SongFont(11));

    Panel1 = new TBrennPanelBox(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 275, 69);
    Panel1->SetBorderColor(kPanelBorderColor);

    lblStatus = new QLabel(Panel1);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(12, 17, 251, 25);
    lblStatus->setWordWrap(true);
    lblStatus->setAutoFillBackground(true);
    lblStatus->setFont(SongFont(12));

    ImageListAff = new vantrel::TImageList(94, 7, this);
    fillImageList();

    FormCreate();
}

Tfrm_Status::~Tfrm_Status() {
    if (animator_) animator_->SetAnimate(false);
}

void Tfrm_Status::FormCreate() {
    paintCounter_ = 0;
    if (gclFrameBackColor() != 0) formColor_ = kStatusColor;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, vantrel::HostColor(formColor_));
    setPalette(pal);
    canvas_ = QImage(width(), height(), QImage::Format_RGB32);
    canvas_.fill(vantrel::HostColor(formColor_));
}

// Four frames of the waiting strip: a row of blocks with a highlight that moves along it.
void Tfrm_Status::fillImageList() {
    const QColor block = vantrel::HostColor(kPanelBorderColor);
    const QColor lit(0x3C, 0x7F, 0xD0);
    for (int frame = 0; frame < 4; ++frame) {
        QPixmap pm(94, 7);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        for (int k = 0; k < 9; ++k) {
            const bool on = k >= frame * 2 && k < frame * 2 + 3;
            p.fillRect(2 + k * 10, 1, 8, 5, on ? lit : block);
        }
        p.end();
        ImageListAff->Add(pm);
    }
}

void Tfrm_Status::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    QWidget::showEvent(event);
}

void Tfrm_Status::setVisible(bool visible) {
    const bool showing = visible && !isVisible();
    QWidget::setVisible(visible);
    if (!showing) return;
    // Events delivered while it starts may hide it (a second load nested in this one): it is
    // then freed once this call is over, not under it.
    showing_ = true;
    FormShow();
    showing_ = false;
    if (freeWhenShown_) deleteLater();
}

void Tfrm_Status::Dispose() {
    if (showing_)
        freeWhenShown_ = true;
    else
        delete this;
}

void Tfrm_Status::FormShow() { SetAnimation(true); }

void Tfrm_Status::SetAnimation(bool on) {
    if (!animator_) {
        animator_ = new TBrennAnimator(Panel1);
        animator_->setVisible(false);
        animator_->SetAnimate(false);
        animator_->setGeometry(0, 0, 0, 0);
        animator_->SetImageList(ImageListAff);
        animator_->SetDelay(50);
        animator_->SetTransparent(true);
    }
    // Painting only: clicks and keys wait until the work behind the waiting window is done.
    animator_->setVisible(on);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (on) animator_->setGeometry(90, 48, 94, 7);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    animator_->SetAnimate(on);
}

void Tfrm_Status::paintEvent(QPaintEvent*) {
    FormPaint();
    QPainter p(this);
    p.drawImage(0, 0, canvas_);
}

void Tfrm_Status::FormPaint() {
    if (paintCounter_ != 0) return;
    try {
        DrawShadow(canvas_, Panel1->geometry(), 6, 0);
        ++paintCounter_;
    } catch (...) {
        // The next paint tries again.
    }
}

void Tfrm_Status::DrawShadow(QImage& canvas, const QRect& rect, int depth, int32_t color) {
    if (depth <= 0) return;
    const int L = rect.x();
    const int T = rect.y();
    const int R = rect.x() + rect.width();
    const int B = rect.y() + rect.height();
    const int D = depth;
    const int step = 128 / D;
    int alpha = 128;
    for (int i = 1; i <= D; ++i) {
        for (int y = B - 1; y <= B + i - 2; ++y) BlendPixel(canvas, L + 2 * D - i, y, color, alpha);
        BlendPixel(canvas, L + 2 * D - i + 1, B + i - 2, color, alpha);
        for (int x = L + 2 * D - i + 1; x <= R + i - 2; ++x) BlendPixel(canvas, x, B + i - 1, color, alpha);
        BlendPixel(canvas, R + i - 2, B + i - 2, color, alpha);
        for (int x = R - 1; x <= R + i - 2; ++x) BlendPixel(canvas, x, T + 2 * D - i, color, alpha);
        BlendPixel(canvas, R + i - 2, T + 2 * D - i + 1, color, alpha);
        for (int y = T + 2 * D - i + 1; y <= B + i - 2; ++y) BlendPixel(canvas, R + i - 1, y, color, alpha);
        alpha -= step;
    }
}

int32_t Tfrm_Status::BlendColor(int32_t a, int32_t b, int alpha) {
    const int32_t ca = vantrel::ColorToRGB(a);
    const int32_t cb = vantrel::ColorToRGB(b);
    const float f = static_cast<float>(alpha) / 255.0f;
    const double fa = static_cast<double>(f);
    int32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double va = static_cast<double>((ca >> shift) & 0xFF);
        const double vb = static_cast<double>((cb >> shift) & 0xFF);
        // nearbyint rounds ties to even under the default rounding mode.
        const double channel = std::clamp(std::nearbyint(va * fa + vb * (1.0 - fa)), 0.0, 255.0);
        result |= static_cast<int32_t>(channel) << shift;
    }
    return result;
}

void ShowStatus(const std::string& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (!g_status) g_status = new Tfrm_Status(nullptr);
    const QPointer<Tfrm_Status> window = g_status;
    window->show();
    if (!window) return;
    window->lblStatus->setText(GbkToQString(text));
    window->repaint();
}

void HideStatus() {
    if (!g_status) return;
    Tfrm_Status* window = g_status;
    g_status = nullptr;
    window->close();
    window->Dispose();
}

namespace vantrel {

Tfrm_Status* CurrentStatusWindow() { return g_status; }

}  // namespace vantrel

#include "ui/common/BrennPanelBox.h"

#include "ui/common/f_Colors.h"
#include "ui/common/f_ImageList.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QTimer>

// ---- TBrennPanelBox ---------------------------------------------------------------------

TBrennPanelBox::TBrennPanelBox(QWidget* parent) : QWidget(parent) {
    // The client area is one pixel in on every side, whether or not the borders are drawn.
    setContentsMargins(1, 1, 1, 1);
}

// Every border setting is drawn at once, as a property change of the design-time control is.
template <typename T>
void TBrennPanelBox::SetAndRepaint(T& field, T value) {
    field = value;
    repaint();
}

void TBrennPanelBox::SetHasBorder(bool value) { SetAndRepaint(hasBorder_, value); }
void TBrennPanelBox::SetBorderColor(int32_t value) { SetAndRepaint(borderColor_, value); }
void TBrennPanelBox::SetHasTopBorder(bool value) { SetAndRepaint(hasTop_, value); }
void TBrennPanelBox::SetHasBottomBorder(bool value) { SetAndRepaint(hasBottom_, value); }
void TBrennPanelBox::SetHasLeftBorder(bool value) { SetAndRepaint(hasLeft_, value); }
void TBrennPanelBox::SetHasRightBorder(bool value) { SetAndRepaint(hasRight_, value); }

void TBrennPanelBox::SetColor(int32_t value) {
    color_ = value;
    if (value < 0) {
        setAutoFillBackground(false);
    } else {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, vantrel::HostColor(value));
        setPalette(pal);
        setAutoFillBackground(true);
    }
    update();
}

void TBrennPanelBox::paintEvent(QPaintEvent*) {
    if (!hasBorder_) return;
    QPainter p(this);
    const QColor pen = vantrel::HostColor(borderColor_);
    const int w = width();
    const int h = height();
    if (hasTop_) p.fillRect(0, 0, w, 1, pen);
    if (hasLeft_) p.fillRect(0, 0, 1, h, pen);
    if (hasRight_) p.fillRect(w - 1, 0, 1, h, pen);
    if (hasBottom_) p.fillRect(0, h - 1, w, 1, pen);
}

// ---- TBrennAnimator ---------------------------------------------------------------------

TBrennAnimator::TBrennAnimator(QWidget* parent) : QWidget(parent) {
    resize(40, 40);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        try {
            Tick();
        } catch (...) {
            // Tick has stopped the animation; nothing may escape into the event loop.
        }
    });
    setTimerInterval(delay_);
}

TBrennAnimator::~TBrennAnimator() {
    disconnect(changeLink_);
    disconnect(destroyLink_);
    timer_->stop();
}

void TBrennAnimator::SetAnimate(bool value) {
    if (value == animate_) return;
    animate_ = value;
    setTimerInterval(timer_->interval());
}

void TBrennAnimator::SetDelay(uint16_t value) {
    if (value == delay_) return;
    delay_ = value;
    setTimerInterval(value);
}

void TBrennAnimator::SetImageIndex(int32_t value) {
    if (value == imageIndex_) return;
    imageIndex_ = value;
    update();
}

void TBrennAnimator::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    update();
}

int32_t TBrennAnimator::Color() const {
    return color_ >= 0 ? color_ : vantrel::HostColorValue(palette().color(QPalette::Window));
}

void TBrennAnimator::SetColor(int32_t value) {
    color_ = value;
    update();
}

void TBrennAnimator::SetImageList(vantrel::TImageList* list) {
    disconnect(changeLink_);
    disconnect(destroyLink_);
    imageList_ = list;
    if (list) {
        changeLink_ = connect(list, &vantrel::TImageList::Changed, this, [this, list] {
            if (imageList_ == list) imageListChanged();
        });
        destroyLink_ = connect(list, &QObject::destroyed, this, [this, list](QObject*) {
            if (imageList_.isNull() || imageList_ == list) SetImageList(nullptr);
        });
        takeImageSize();
    }
    update();
}

void TBrennAnimator::imageListChanged() { repaint(); }

void TBrennAnimator::takeImageSize() {
    if (imageList_ && size() != imageList_->ImageSize()) resize(imageList_->ImageSize());
}

// Like the toolkit's timer, an interval of 0 holds the timer instead of firing it without pause.
void TBrennAnimator::setTimerInterval(int ms) {
    timer_->setInterval(ms);
    if (animate_ && ms > 0) {
        if (!timer_->isActive()) timer_->start();
    } else {
        timer_->stop();
    }
}

int TBrennAnimator::TimerInterval() const { return timer_->interval(); }

bool TBrennAnimator::TimerActive() const { return timer_->isActive(); }

void TBrennAnimator::Tick() {
    if (!imageList_) return;
    try {
        setTimerInterval(delay_);
        const int count = imageList_->Count();
        if (imageIndex_ >= count) imageIndex_ = 0;
        DrawFrame();
        ++imageIndex_;
        if (imageIndex_ == count) {
            imageIndex_ = 0;
            setTimerInterval(delayUntilRepeat_);
        }
    } catch (...) {
        SetAnimate(false);
        throw;
    }
}

void TBrennAnimator::composeFrame() {
    const int w = imageList_->Width();
    const int h = imageList_->Height();
    if (buffer_.size() != QSize(w, h)) buffer_ = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    QWidget* parent = parentWidget();
    if (transparent_ && parent) {
        buffer_.fill(Qt::transparent);
        const QRect source = geometry().intersected(parent->rect());
        // Only the parent's own background and painting: its children include this control.
        // render() has finished painting when it returns, so there is nothing to wait for (a
        // pause here would hold the user-interface thread, and the waiting window draws a
        // frame several times while it comes up before each long read).
        if (!source.isEmpty())
            parent->render(&buffer_, source.topLeft() - pos(), QRegion(source), QWidget::DrawWindowBackground);
    } else {
        QPainter p(&buffer_);
        p.fillRect(0, 0, w + 1, h + 1, vantrel::HostColor(Color()));
    }
    QPainter p(&buffer_);
    imageList_->Draw(p, 0, 0, imageIndex_);
}

void TBrennAnimator::DrawFrame() {
    composeFrame();
    if (!painting_) {
        bufferFresh_ = true;
        update(0, 0, buffer_.width(), buffer_.height());
    }
    if (imageIndex_ != lastDrawn_) DoFrameChange(imageIndex_);
    lastDrawn_ = imageIndex_;
}

void TBrennAnimator::DoFrameChange(int frame) {
    emit OnFrameChange(this, frame);
}

void TBrennAnimator::paintEvent(QPaintEvent*) {
    if (!imageList_) return;
    // A frame that a tick has just composed is shown as it is; any other paint draws ImageIndex.
    if (!bufferFresh_) {
        painting_ = true;
        DrawFrame();
        painting_ = false;
    }
    bufferFresh_ = false;
    QPainter p(this);
    p.drawImage(0, 0, buffer_);
}

void TBrennAnimator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    takeImageSize();
}

void TBrennAnimator::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit OnClick(this);
}

void TBrennAnimator::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit OnDblClick(this);
}

void TBrennAnimator::contextMenuEvent(QContextMenuEvent* event) {
    if (OnContextPopup && OnContextPopup(this, event->pos())) {
        event->accept();
        return;
    }
    QWidget::contextMenuEvent(event);
}

// TBrennPanelBox: a panel that draws one-pixel borders on chosen edges in a chosen colour.
// TBrennAnimator: plays the images of an image list in a loop, with a frame delay and a
// separate pause before each repeat.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

class QTimer;
namespace vantrel { class TImageList; }

class TBrennPanelBox : public QWidget {
    Q_OBJECT
public:
    explicit TBrennPanelBox(QWidget* parent = nullptr);

    bool HasBorder() const { return hasBorder_; }
    int32_t BorderColor() const { return borderColor_; }
    bool HasTopBorder() const { return hasTop_; }
    bool HasBottomBorder() const { return hasBottom_; }
    bool HasLeftBorder() const { return hasLeft_; }
    bool HasRightBorder() const { return hasRight_; }
    // Each setter repaints at once, even when the value is unchanged.
    void SetHasBorder(bool value);
    void SetBorderColor(int32_t value);
    void SetHasTopBorder(bool value);
    void SetHasBottomBorder(bool value);
    void SetHasLeftBorder(bool value);
    void SetHasRightBorder(bool value);

    // The panel's own colour; -1 (the default) takes the parent's.
    int32_t Color() const { return color_; }
    void SetColor(int32_t value);

    // The area left for children: one pixel in on every side, whichever borders are drawn.
    QRect ClientRect() const { return contentsRect(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename T>
    void SetAndRepaint(T& field, T value);

    bool hasBorder_ = true;
    int32_t borderColor_ = 9342606;
    bool hasTop_ = true;
    bool hasBottom_ = true;
    bool hasLeft_ = true;
    bool hasRight_ = true;
    int32_t color_ = -1;
};

class TBrennAnimator : public QWidget {
    Q_OBJECT
public:
    explicit TBrennAnimator(QWidget* parent = nullptr);
    ~TBrennAnimator() override;

    bool Animate() const { return animate_; }
    virtual void SetAnimate(bool value);
    uint16_t Delay() const { return delay_; }
    virtual void SetDelay(uint16_t value);
    uint16_t DelayUntilRepeat() const { return delayUntilRepeat_; }
    void SetDelayUntilRepeat(uint16_t value) { delayUntilRepeat_ = value; }
    int32_t ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int32_t value);
    vantrel::TImageList* ImageList() const { return imageList_; }
    void SetImageList(vantrel::TImageList* list);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // The background colour of opaque frames; the palette's window colour until set.
    int32_t Color() const;
    void SetColor(int32_t value);

    // Return true when the request is handled: no menu is shown.
    std::function<bool(TBrennAnimator* sender, const QPoint& pos)> OnContextPopup;

    // One timer step: draws frame ImageIndex and moves on, pausing DelayUntilRepeat after the last.
    void Tick();
    int LastDrawnIndex() const { return lastDrawn_; }
    // The composed frame as last drawn.
    const QImage& FrameBuffer() const { return buffer_; }
    int TimerInterval() const;
    bool TimerActive() const;

signals:
    void OnFrameChange(TBrennAnimator* sender, int frame);
    void OnClick(TBrennAnimator* sender);
    void OnDblClick(TBrennAnimator* sender);

protected:
    virtual void DrawFrame();
    virtual void DoFrameChange(int frame);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void composeFrame();
    void imageListChanged();
    void takeImageSize();
    void setTimerInterval(int ms);

    bool animate_ = true;
    uint16_t delay_ = 100;
    uint16_t delayUntilRepeat_ = 100;
    int32_t imageIndex_ = 0;
    QPointer<vantrel::TImageList> imageList_;
    QMetaObject::Connection changeLink_;
    QMetaObject::Connection destroyLink_;
    bool transparent_ = false;
    int32_t color_ = -1;
    int lastDrawn_ = -1;
    QImage buffer_;
    bool bufferFresh_ = false;
    bool painting_ = false;
    QTimer* timer_ = nullptr;
};

// The waiting window: one small borderless window on top, with a line of text, an animated
// strip and a soft shadow. ShowStatus / HideStatus manage the single instance.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <string>

class QLabel;
class TBrennAnimator;
class TBrennPanelBox;
namespace vantrel { class TImageList; }

class Tfrm_Status : public QWidget {
    Q_OBJECT
public:
    explicit Tfrm_Status(QWidget* parent = nullptr);
    ~Tfrm_Status() override;

    void SetAnimation(bool on);
    // Frees the window, or, while it is still being shown, as soon as that is over.
    void Dispose();
    // Showing runs FormShow once the window is really on screen, so that the events it
    // processes paint the window.
    void setVisible(bool visible) override;

    // Replaces the canvas pixels of the rectangle's bottom and right rings by blends of colour.
    static void DrawShadow(QImage& canvas, const QRect& rect, int depth, int32_t color);
    static int32_t BlendColor(int32_t a, int32_t b, int alpha);

    // What the window's own surface holds (its background and shadow).
    const QImage& Canvas() const { return canvas_; }
    int PaintCounter() const { return paintCounter_; }
    int32_t FormColor() const { return formColor_; }
    TBrennAnimator* Animator() const { return animator_; }

    TBrennPanelBox* Panel1 = nullptr;
    QLabel* lblStatus = nullptr;
    vantrel::TImageList* ImageListAff = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormPaint();
    void fillImageList();

    int paintCounter_ = 0;
    bool showing_ = false;
    bool freeWhenShown_ = false;
    int32_t formColor_;
    QImage canvas_;
    TBrennAnimator* animator_ = nullptr;
};

// Shows the single waiting window with a GBK text, creating it when needed.
void ShowStatus(const std::string& text);
// Closes and destroys the waiting window; nothing when there is none.
void HideStatus();
namespace vantrel {

// The waiting window, or nullptr.
Tfrm_Status* CurrentStatusWindow();

}  // namespace vantrel

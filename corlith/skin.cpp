// The host's light colour scheme and its application to module windows.
#include "corlith_host.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

namespace {

constexpr int32_t Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

constexpr int32_t kModuleBack = Rgb(0xF7, 0xF9, 0xFC);
constexpr int32_t kToolBar = Rgb(0xDD, 0xE5, 0xEE);
constexpr int32_t kTopBar = Rgb(0x3B, 0x6F, 0xB6);
constexpr int32_t kFrameBack = Rgb(0xEC, 0xF1, 0xF7);
constexpr int32_t kFont = Rgb(0x33, 0x33, 0x33);
constexpr int32_t kFontSize = 9;
constexpr int32_t kGb2312Charset = 134;

QColor ToQColor(int32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

}  // namespace

int32_t gclModuleBackColor() { return kModuleBack; }
int32_t gclModuleToolBarColor() { return kToolBar; }
int32_t gclTopBarColor() { return kTopBar; }
int32_t gclFrameBackColor() { return kFrameBack; }
int32_t gclSysFontColor() { return kFont; }
int32_t giSysFontSize() { return kFontSize; }
int32_t giSysFontCharSet() { return kGb2312Charset; }

void SetSkinSchemeCtrls(QWidget* window) {
    if (!window) return;
    try {
        // Only font and palette change: the window's own handlers and connections stay.
        QFont font = window->font();
        font.setFamily(QStringLiteral("WenQuanYi Zen Hei"));
        font.setPointSize(kFontSize);
        window->setFont(font);

        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, ToQColor(kModuleBack));
        palette.setColor(QPalette::WindowText, ToQColor(kFont));
        palette.setColor(QPalette::Text, ToQColor(kFont));
        palette.setColor(QPalette::ButtonText, ToQColor(kFont));
        palette.setColor(QPalette::Button, ToQColor(kToolBar));
        palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
        window->setPalette(palette);

        // Children that chose their own font keep its size and weight but take the family.
        for (QWidget* child : window->findChildren<QWidget*>()) {
            if (!child->testAttribute(Qt::WA_SetFont)) continue;
            QFont own = child->font();
            own.setFamily(font.family());
            child->setFont(own);
        }
    } catch (...) {
    }
}

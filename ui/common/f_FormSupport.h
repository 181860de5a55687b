// What the base windows share: the host context they capture, the skin font, the input-method
// rules of their edits and the help key.
#pragma once

#include "host/corlith_api.h"
#include "host/f_ModuleContext.h"

#include <QFont>
#include <QObject>
#include <QStringList>

#include <functional>
#include <string>

class QColor;
class QIcon;
class QLabel;
class QPushButton;
class QPainter;
class QWidget;
class TPellowEdit;

namespace vantrel {

// What both base windows (pages and dialogs) keep of the host, and their creation step.
// The window class passes itself as the form.
class THostForm {
public:
    virtual ~THostForm() = default;

    // The create handler; run once by the most derived constructor, after its controls exist:
    // LoadHostContext, the creation function code kept, ApplySkin, SetupEditIme. A derived
    // FormCreate calls the inherited one first.
    virtual void FormCreate();
    // Fonts and colours from the host's skin; overrides call the inherited one.
    virtual void ApplySkin() = 0;
    // Binds EditImeEnter to the OnEnter of every edit that has no entry handler yet.
    void SetupEditIme();
    // The input-method switch of an edit being entered; other senders are ignored.
    void EditImeEnter(QObject* sender);

    const THostContext& HostContext() const { return FHost; }
    const std::string& CreateFuncCode() const { return FCreateFuncCode; }
    const std::string& ImeName() const { return FImeName; }
    int FontCharset() const { return FFontCharset; }

protected:
    // host: what the window's opener read of the host (its context's), captured at FormCreate.
    THostForm(QWidget* form, const THostContext& host) : form_(form), given_(host) {}

    // Fills FHost from what the opener gave; pages also take the two parent forms.
    virtual void LoadHostContext() = 0;
    const THostContext& GivenHostContext() const { return given_; }
    // The host's font and the module background: the start of every ApplySkin.
    void ApplyFormSkin();

    THostContext FHost;
    std::string FCreateFuncCode;
    std::string FImeName;
    int FFontCharset = 0;

private:
    QWidget* form_;
    THostContext given_;
};

// The Chinese faces the windows are drawn in, each with a free face for where it is missing:
// 宋体 for text, 黑体 for titles.
QStringList SongFamilies();
QStringList HeiFamilies();
// A 24 x 24 command image drawn by paint, antialiased, on a transparent ground.
QIcon DrawnIcon(const std::function<void(QPainter&)>& paint);
// A flat button drawn as a link (blue, underlined under the mouse, grey when off), as the
// operation rows of the windows show their commands.
QPushButton* NewLinkButton(const QString& caption, QWidget* parent);
// A label as a window title: bold 黑体 of the given pixel size, in the colour.
void SetTitleLook(QLabel* label, int pixelSize, const QColor& color, bool underline = false);

// The host's font size, charset and colour and the module background colour on a form.
// Returns the charset that was applied (Qt has no charset of its own; forms keep it).
int ApplyHostFont(QWidget* form);
void SetWidgetColor(QWidget* widget, int32_t color);
int32_t WidgetColor(const QWidget* widget);

// Every TPellowEdit of the form, in construction order.
std::vector<TPellowEdit*> FormEdits(QWidget* form);
// The input-method switch on entering an edit: modes 9 and 2 open with the user's input
// method sysIme (the host context's), anything else closed with "英语". Other senders are ignored.
void SwitchEditIme(QObject* sender, const std::string& sysIme);

// Sends the plain help notification when F1 is pressed in the watched form. With preview the
// form sees keys typed in any of its controls; without, only keys sent to the form itself.
// Each keystroke counts once, however far it travels up the parents.
class THelpKeyWatcher : public QObject {
    Q_OBJECT
public:
    THelpKeyWatcher(QWidget* form, bool preview);
    ~THelpKeyWatcher() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* form_;
    bool preview_;
    const QEvent* seen_ = nullptr;
};

}  // namespace vantrel

#include "ui/common/f_FormSupport.h"

#include "host/host_messages.h"
#include "param/f_Notify.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace vantrel {

void THostForm::FormCreate() {
    LoadHostContext();
    FCreateFuncCode = FHost.FuncCode;
    ApplySkin();
    SetupEditIme();
}

void THostForm::SetupEditIme() {
    for (TPellowEdit* edit : FormEdits(form_)) {
        FImeName.clear();
        if (!edit->HasEnterHandler())
            QObject::connect(edit, &TPellowEdit::OnEnter, form_, [this](QObject* sender) { EditImeEnter(sender); });
    }
}

void THostForm::EditImeEnter(QObject* sender) { SwitchEditIme(sender, FHost.SysIme); }

void THostForm::ApplyFormSkin() {
    FFontCharset = ApplyHostFont(form_);
    SetWidgetColor(form_, gclModuleBackColor());
}

QStringList SongFamilies() {
    return {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")};
}

QStringList HeiFamilies() {
    return {QStringLiteral("黑体"), QStringLiteral("SimHei"), QStringLiteral("WenQuanYi Zen Hei")};
}

QIcon DrawnIcon(const std::function<void(QPainter&)>& paint) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pixmap);
}

void SetTitleLook(QLabel* label, int pixelSize, const QColor& color, bool underline) {
    QFont font = label->font();
    font.setFamilies(HeiFamilies());
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setUnderline(underline);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

int ApplyHostFont(QWidget* form) {
    const int charset = giSysFontCharSet();
    QFont font = form->font();
    const int size = giSysFontSize();
    if (size > 0) font.setPointSize(size);
    form->setFont(font);
    QPalette pal = form->palette();
    const QColor text = HostColor(gclSysFontColor());
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::ButtonText, text);
    form->setPalette(pal);
    return charset;
}

void SetWidgetColor(QWidget* widget, int32_t color) {
    if (!widget) return;
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, HostColor(color));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

int32_t WidgetColor(const QWidget* widget) {
    return widget ? HostColorValue(widget->palette().color(QPalette::Window)) : 0;
}

std::vector<TPellowEdit*> FormEdits(QWidget* form) {
    std::vector<TPellowEdit*> edits;
    if (!form) return edits;
    // Edits of dialogs opened over the form are theirs, not the form's.
    for (TPellowEdit* edit : form->findChildren<TPellowEdit*>())
        if (edit->window() == form->window()) edits.push_back(edit);
    std::sort(edits.begin(), edits.end(),
              [](const TPellowEdit* a, const TPellowEdit* b) { return a->CreationOrder() < b->CreationOrder(); });
    return edits;
}

void SwitchEditIme(QObject* sender, const std::string& sysIme) {
    auto* edit = qobject_cast<TPellowEdit*>(sender);
    if (!edit) return;
    if (edit->ImeMode() == kImeChinese || edit->ImeMode() == kImeOpen) {
        edit->SetImeMode(kImeOpen);
        edit->SetImeName(sysIme);
    } else {
        edit->SetImeMode(kImeClose);
        edit->SetImeName("英语");
    }
}

THelpKeyWatcher::THelpKeyWatcher(QWidget* form, bool preview) : QObject(form), form_(form), preview_(preview) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

THelpKeyWatcher::~THelpKeyWatcher() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool THelpKeyWatcher::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyRelease:
        seen_ = nullptr;
        break;
    case QEvent::KeyPress: {
        // A key from the window system reaches the window object first and then the focus
        // widget as the same event, which then climbs the parents while unhandled: its first
        // widget receiver decides.
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || event == seen_) break;
        seen_ = event;
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) break;
        const bool ours = target == form_ || (preview_ && form_->isAncestorOf(target));
        if (ours) NotifyFrame(hostmsg::kMsgHelp);
        break;
    }
    default:
        break;
    }
    return false;
}

QPushButton* NewLinkButton(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; padding: 0 3px; color: #1c5aa6; background: transparent; }"
        "QPushButton:hover { color: #d9480f; text-decoration: underline; }"
        "QPushButton:disabled { color: #9a9a9a; }"));
    return button;
}

}  // namespace vantrel

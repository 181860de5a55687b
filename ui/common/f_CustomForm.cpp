#include "ui/common/f_CustomForm.h"

#include "host/host_messages.h"
#include "param/f_Notify.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_ImageList.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int32_t kShapePenColor = 8618883;
constexpr int32_t kToolbarDesignColor = 14215386;
}  // namespace

Tfrm_Custom::Tfrm_Custom(const vantrel::THostContext& host, QWidget* parent)
    : QWidget(parent), vantrel::THostForm(this, host) {
    setAttribute(Qt::WA_DeleteOnClose);

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFixedHeight(1);
    vantrel::SetWidgetColor(Shape1, kShapePenColor);
    Shape1->hide();

    ImageList1 = new vantrel::TImageList(24, 24, this);

    ModuleToolbar = new QToolBar(this);
    ModuleToolbar->setObjectName(QStringLiteral("ModuleToolbar"));
    ModuleToolbar->setMovable(false);
    ModuleToolbar->setFloatable(false);
    ModuleToolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ModuleToolbar->setIconSize(QSize(24, 24));
    SetToolbarColor(kToolbarDesignColor);

    FContent = new QWidget(this);
    FContent->setObjectName(QStringLiteral("ContentArea"));

    layout_->addWidget(Shape1);
    layout_->addWidget(ModuleToolbar);
    layout_->addWidget(FContent, 1);

    helpKeys_ = new vantrel::THelpKeyWatcher(this, true);
}

Tfrm_Custom::~Tfrm_Custom() {
    FormDestroy();
}

void Tfrm_Custom::LoadHostContext() { FHost = GivenHostContext(); }

void Tfrm_Custom::ApplySkin() {
    ApplyFormSkin();
    SetToolbarColor(gclModuleToolBarColor());
    SetSkinSchemeCtrls(this);
}

void Tfrm_Custom::SetToolbarColor(int32_t color) {
    vantrel::SetWidgetColor(ModuleToolbar, color);
    // A style sheet of the host frame would paint over the palette; the bar's own sheet wins.
    const QColor c = vantrel::HostColor(color);
    ModuleToolbar->setStyleSheet(
        QStringLiteral("QToolBar#ModuleToolbar { background: %1; border: none; padding: 1px; spacing: 2px; }"
                       "QToolBar#ModuleToolbar > QToolButton { padding: 2px 4px; border: 1px solid transparent;"
                       " border-radius: 3px; }"
                       "QToolBar#ModuleToolbar > QToolButton:hover { border-color: #9fb3c8; background: #eef3f9; }"
                       "QToolBar#ModuleToolbar > QToolButton:checked, QToolBar#ModuleToolbar > QToolButton:pressed"
                       " { border-color: #7f9db9; background: #d7e3f1; }")
            .arg(c.name(QColor::HexRgb)));
}

QToolButton* Tfrm_Custom::AddToolAction(QAction* action) {
    ModuleToolbar->addAction(action);
    auto* button = qobject_cast<QToolButton*>(ModuleToolbar->widgetForAction(action));
    if (button) {
        button->setMinimumSize(85, 30);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    return button;
}

bool Tfrm_Custom::event(QEvent* event) {
    if (event->type() == hostmsg::MessageEventType()) {
        const auto* message = static_cast<hostmsg::MessageEvent*>(event);
        if (message->number == hostmsg::kMsgClose) {
            close();
            return true;
        }
        if (message->number == hostmsg::kMsgSchemeChanged) {
            ApplySkin();
            SetupEditIme();
            return true;
        }
    }
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate) {
        // Keeps the host frame's caption drawn as active while a module page has the focus.
        if (const THostHandle frame = GetMainFrameHandle())
            hostmsg::SendMessageTo(hostmsg::WindowFromHandle(frame), hostmsg::kMsgNcActivate, 1, 0);
    }
    return handled;
}

void Tfrm_Custom::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) FormClose();
}

void Tfrm_Custom::FormClose() { setAttribute(Qt::WA_DeleteOnClose, true); }

void Tfrm_Custom::FormDestroy() {
    if (destroyNotified_) return;
    destroyNotified_ = true;
    NotifyFrameData(hostmsg::kMsgFormEnd, FCreateFuncCode);
}

#include "ui/common/f_CustomFormEx.h"

#include "host/host_messages.h"
#include "param/f_Notify.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/f_Colors.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>

namespace {

constexpr int32_t kPanelDesignColor = 14999775;

enum class PageGlyph { Restore, Maximize, Close };

QIcon DrawPageIcon(PageGlyph glyph) {
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(64, 64, 64), 1));
    switch (glyph) {
    case PageGlyph::Maximize:
        p.drawRect(1, 1, 9, 9);
        p.drawLine(1, 2, 10, 2);
        break;
    case PageGlyph::Restore:
        p.drawRect(3, 1, 7, 6);
        p.drawLine(3, 2, 10, 2);
        p.fillRect(1, 4, 8, 7, Qt::white);
        p.drawRect(1, 4, 7, 6);
        p.drawLine(1, 5, 8, 5);
        break;
    case PageGlyph::Close:
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(64, 64, 64), 1.6));
        p.drawLine(QPointF(2.5, 2.5), QPointF(9.5, 9.5));
        p.drawLine(QPointF(9.5, 2.5), QPointF(2.5, 9.5));
        break;
    }
    return QIcon(pm);
}

TModalSpeedButton* MakePageButton(QWidget* parent, int left, const char16_t* hint, PageGlyph glyph) {
    auto* button = new TModalSpeedButton(parent);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(left, 1, 19, 19);
    button->setIconSize(QSize(12, 12));
    button->setIcon(DrawPageIcon(glyph));
    button->setToolTip(QString::fromUtf16(hint));
    return button;
}

}  // namespace

Tfrm_CustomEx::Tfrm_CustomEx(const vantrel::THostContext& host, QWidget* parent) : Tfrm_Custom(host, parent) {
    pnlToolResize = new QWidget(this);
    pnlToolResize->setObjectName(QStringLiteral("pnlToolResize"));
    pnlToolResize->setFixedSize(47, 22);
    vantrel::SetWidgetColor(pnlToolResize, kPanelDesignColor);
    // The page buttons are tiny: a frame style sheet's padding must not squeeze their glyphs away.
    pnlToolResize->setStyleSheet(QStringLiteral(
        "QToolButton { padding: 0px; margin: 0px; border: 1px solid transparent; border-radius: 2px;"
        " background: transparent; }"
        "QToolButton:hover { border-color: #7f9db9; background: rgba(255, 255, 255, 150); }"
        "QToolButton:pressed { background: rgba(0, 0, 0, 30); }"));

    spToolPageForm = MakePageButton(pnlToolResize, 4, u"恢复窗口", PageGlyph::Restore);
    spToolPageMax = MakePageButton(pnlToolResize, 4, u"最大化窗口", PageGlyph::Maximize);
    spToolPageClose = MakePageButton(pnlToolResize, 24, u"关闭窗口", PageGlyph::Close);
    spToolPageForm->setObjectName(QStringLiteral("spToolPageForm"));
    spToolPageMax->setObjectName(QStringLiteral("spToolPageMax"));
    spToolPageClose->setObjectName(QStringLiteral("spToolPageClose"));
    spToolPageForm->hide();
    connect(spToolPageForm, &TModalSpeedButton::OnClick, this, &Tfrm_CustomEx::spToolPageFormClick);
    connect(spToolPageMax, &TModalSpeedButton::OnClick, this, &Tfrm_CustomEx::spToolPageMaxClick);
    connect(spToolPageClose, &TModalSpeedButton::OnClick, this, &Tfrm_CustomEx::spToolPageCloseClick);

    ModuleToolbar->installEventFilter(this);
    FormResize();
}

void Tfrm_CustomEx::FormCreate() {
    Tfrm_Custom::FormCreate();
    SetPageState(PageNormal);
}

void Tfrm_CustomEx::ApplySkin() {
    Tfrm_Custom::ApplySkin();
    vantrel::SetWidgetColor(pnlToolResize, vantrel::WidgetColor(ModuleToolbar));
}

void Tfrm_CustomEx::SetPageState(int state) {
    FPageState = state;
    if (state == PageNormal) {
        spToolPageMax->show();
        spToolPageForm->hide();
    } else if (state == PageMaximized) {
        spToolPageMax->hide();
        spToolPageForm->show();
    }
}

void Tfrm_CustomEx::spToolPageMaxClick() {
    NotifyFrameData(hostmsg::kMsgPageState, "max");
    SetPageState(PageMaximized);
}

void Tfrm_CustomEx::spToolPageFormClick() {
    NotifyFrameData(hostmsg::kMsgPageState, "reset");
    SetPageState(PageNormal);
}

void Tfrm_CustomEx::spToolPageCloseClick() {
    if (FPageState == PageMaximized) NotifyFrameData(hostmsg::kMsgPageState, "reset");
    close();
}

void Tfrm_CustomEx::FormResize() {
    pnlToolResize->raise();
    const QRect bar = ModuleToolbar->geometry();
    pnlToolResize->move(bar.x() + bar.width() - pnlToolResize->width(), bar.y() + 2);
}

void Tfrm_CustomEx::resizeEvent(QResizeEvent* event) {
    Tfrm_Custom::resizeEvent(event);
    FormResize();
}

bool Tfrm_CustomEx::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ModuleToolbar && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        FormResize();
    return Tfrm_Custom::eventFilter(watched, event);
}

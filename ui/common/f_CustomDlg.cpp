#include "ui/common/f_CustomDlg.h"

#include "host/host_messages.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>

namespace {
constexpr int32_t kTopBandDesignColor = 8375432;
constexpr int kClientWidth = 491;
constexpr int kClientHeight = 312;
constexpr int kBandHeight = 37;
constexpr int kBevelTop = 264;
}  // namespace

Tfrm_CustomDlg::Tfrm_CustomDlg(const vantrel::THostContext& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      vantrel::THostForm(this, host) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kClientWidth, kClientHeight);
    QFont dialogFont = font();
    dialogFont.setFamilies(vantrel::SongFamilies());
    dialogFont.setPixelSize(12);
    setFont(dialogFont);

    pnlTop = new QFrame(this);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    pnlTop->setGeometry(0, 0, kClientWidth, kBandHeight);
    vantrel::SetWidgetColor(pnlTop, kTopBandDesignColor);

    lbBusinessName = new QLabel(QString::fromUtf16(u"模块名称"), pnlTop);
    lbBusinessName->setObjectName(QStringLiteral("lbBusinessName"));
    vantrel::SetTitleLook(lbBusinessName, 16, Qt::white);
    lbBusinessName->setAutoFillBackground(false);
    lbBusinessName->setGeometry(15, 10, kClientWidth - 30, 20);

    FContent = new QWidget(this);
    FContent->setObjectName(QStringLiteral("ContentArea"));
    FContent->setGeometry(0, kBandHeight, kClientWidth, kBevelTop - kBandHeight);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, kBevelTop, kClientWidth - 16, 2);

    sBtnClose = new TModalSpeedButton("关闭", this);
    sBtnClose->setObjectName(QStringLiteral("sBtnClose"));
    sBtnClose->setGeometry(410, 279, 67, 22);
    connect(sBtnClose, &TModalSpeedButton::OnClick, this, &QWidget::close);

    helpKeys_ = new vantrel::THelpKeyWatcher(this, false);
}

Tfrm_CustomDlg::~Tfrm_CustomDlg() = default;

void Tfrm_CustomDlg::LoadHostContext() {
    FHost = GivenHostContext();
    FHost.ParentForm = nullptr;
    FHost.MainFrameParentForm = nullptr;
}

void Tfrm_CustomDlg::ApplySkin() {
    ApplyFormSkin();
    vantrel::SetWidgetColor(pnlTop, gclTopBarColor());
    SetSkinSchemeCtrls(this);
}

void Tfrm_CustomDlg::SetBusinessName(const std::string& name) { lbBusinessName->setText(GbkToQString(name)); }

std::string Tfrm_CustomDlg::BusinessName() const { return QStringToGbk(lbBusinessName->text()); }

bool Tfrm_CustomDlg::event(QEvent* event) {
    // The host's close request (1280) is for pages; a dialog passes it on.
    if (event->type() == hostmsg::MessageEventType() &&
        static_cast<hostmsg::MessageEvent*>(event)->number == hostmsg::kMsgSchemeChanged) {
        ApplySkin();
        SetupEditIme();
        return true;
    }
    return QDialog::event(event);
}

void Tfrm_CustomDlg::showEvent(QShowEvent* event) {
    if (!centred_ && !event->spontaneous()) {
        centred_ = true;
        if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::showEvent(event);
}

namespace vantrel {

void PlaceDialogParts(Tfrm_CustomDlg* dialog, int width, int height) {
    constexpr int band = 37, bottom = 48;
    dialog->setFixedSize(width, height);
    dialog->pnlTop->setGeometry(0, 0, width, band);
    dialog->lbBusinessName->setGeometry(15, 10, width - 30, 20);
    dialog->ContentArea()->setGeometry(0, band, width, height - band - bottom);
    dialog->Bevel1->setGeometry(8, height - bottom, width - 16, 2);
    dialog->sBtnClose->setGeometry(width - 81, height - 33, 67, 22);
}

}  // namespace vantrel

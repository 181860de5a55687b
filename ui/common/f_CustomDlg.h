// Tfrm_CustomDlg: the base of the module's modal dialogs: a fixed 491 x 312 dialog with a
// coloured title band (pnlTop, lbBusinessName), a bottom line (Bevel1) and a close button.
//
// As with Tfrm_Custom, the derived constructor builds its controls inside ContentArea() (the
// part between the band and the line, 491 x 227) or anywhere on the dialog, then calls
// FormCreate(). Create dialogs with new: closing frees the dialog (it has
// Qt::WA_DeleteOnClose), and QDialog::exec() deletes it before returning, so the opener never
// deletes it itself; keep a QPointer when it must be looked at afterwards.
#pragma once

#include "ui/common/f_FormSupport.h"

#include <QDialog>

#include <string>

class QFrame;
class QLabel;
class TModalSpeedButton;

class Tfrm_CustomDlg : public QDialog, public vantrel::THostForm {
    Q_OBJECT
public:
    explicit Tfrm_CustomDlg(const vantrel::THostContext& host, QWidget* parent = nullptr);
    ~Tfrm_CustomDlg() override;

    void ApplySkin() override;

    // The band's title (GBK); "模块名称" until a dialog sets its own.
    void SetBusinessName(const std::string& name);
    std::string BusinessName() const;

    QWidget* ContentArea() const { return FContent; }

    QFrame* pnlTop = nullptr;
    QLabel* lbBusinessName = nullptr;
    QFrame* Bevel1 = nullptr;
    TModalSpeedButton* sBtnClose = nullptr;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void LoadHostContext() override;

private:
    QWidget* FContent = nullptr;
    vantrel::THelpKeyWatcher* helpKeys_ = nullptr;
    bool centred_ = false;
};

// The dialog base is fixed at its design size; a larger window places the band, the content,
// the line and the close button again.
namespace vantrel {

void PlaceDialogParts(Tfrm_CustomDlg* dialog, int width, int height);

}  // namespace vantrel

// TFrmXxqtfpDetail: the modal dialog in which one other output invoice is entered (add mode)
// or changed (modify mode), checked and saved. It borrows the record, the manager's record
// list and list view; after a committed save it changes them and calls the manager's refresh.
#pragma once

#include "invoice/f_InvoiceStore.h"
#include "ui/common/f_CustomDlg.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QKeyEvent;
class QLabel;
class QShowEvent;
class QTreeView;
class TModalSpeedButton;
class TPellowComboBox;
class TPellowDTPicker;
class TPellowEdit;
class TPellowRadioButton;
namespace vantrel { class TRuledGrid; }
struct Txxqtfpxx;

namespace vantrel {

inline constexpr uint8_t kDetailAdd = 0;
inline constexpr uint8_t kDetailModify = 1;
// Shows the invoice without letting it change: every field off, no 确定.
inline constexpr uint8_t kDetailView = 2;

}  // namespace vantrel

class TFrmXxqtfpDetail : public Tfrm_CustomDlg {
    Q_OBJECT
public:
    // The invoice belongs to the context's taxpayer and period.
    explicit TFrmXxqtfpDetail(vantrel::TModuleContext context, QWidget* parent = nullptr);
    ~TFrmXxqtfpDetail() override;

    void FormCreate() override;
    void ApplySkin() override;

    void SetEditMode(uint8_t mode);
    uint8_t EditMode() const { return FEditMode; }
    // What the window works on; none of it is owned. OpenDetailWindow binds these before it
    // shows the window.
    void Bind(QTreeView* listControl, std::vector<Txxqtfpxx*>* list, std::function<void()> refreshProc,
              Txxqtfpxx* record);

    void LoadRecord(const Txxqtfpxx& record);
    // The fields differ from what the window last loaded.
    bool HasUnsavedChanges() const;
    // An invoice of the same type, date, amount, tax and buyer is stored for the period.
    bool HasSameInvoiceInPeriod() const;
    // Esc, 取消 and the close box: a changed entry is only dropped when the user agrees.
    void reject() override;

signals:
    // The invoice being modified is no longer in the database; the window closes.
    void RecordVanished();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void RecomputeTax();
    bool CheckInput();
    // Writes the entry as FRecord's invoice; after an add, FRecord's number moves on.
    vantrel::TStoreOutcome SaveRecord();
    // The invoice as the fields describe it, on the bound record's number and period.
    Txxqtfpxx EnteredRecord() const;

    void cbbFplxChange();
    bool edtfsKeyPress(char key);
    bool edtjeKeyPress(char key);
    bool edtjeKeyDown(int key);
    void edtjeChange();
    void edtjeExit();
    bool edtjeContextPopup();
    bool edtseKeyPress(char key);
    bool edtseKeyDown(int key);
    void edtseExit();
    bool edtseContextPopup();
    void cbbSlSelect();
    void cbbSlExit();
    void btnCancelClick();
    void BtnCommitClick();

    // The controls, in steps: the title and the grid, then each row group of the grid, the
    // buttons and the events.
    void BuildControls();
    void BuildDateAndType(vantrel::TRuledGrid* grid);
    void BuildFigures(vantrel::TRuledGrid* grid);
    void BuildBuyer(vantrel::TRuledGrid* grid);
    void BuildFlags(vantrel::TRuledGrid* grid);
    void BuildButtons();
    void ConnectEvents();
    void UpdateEntryStates();
    void Refuse(int code, QWidget* focus, const std::string& param = std::string());
    // The warnings asked after the checks passed; false when the user chose not to save.
    bool ConfirmWarnings();

    // Controls, each with its member's name as object name.
    QLabel* lbTitle = nullptr;
    TPellowDTPicker* dtpKprq = nullptr;
    TPellowComboBox* cbbFplx = nullptr;
    TPellowEdit* edtfs = nullptr;
    TPellowEdit* edtje = nullptr;
    TPellowComboBox* cbbSl = nullptr;
    TPellowEdit* edtse = nullptr;
    TPellowEdit* edtGfnsrsbh = nullptr;
    TPellowRadioButton* rbLwfp_Yes = nullptr;
    TPellowRadioButton* rbLwfp_No = nullptr;
    TPellowRadioButton* rbZF_Yes = nullptr;
    TPellowRadioButton* rbZF_No = nullptr;
    TPellowRadioButton* rbJZJT_YES = nullptr;
    TPellowRadioButton* rbJZJT_No = nullptr;
    TPellowRadioButton* rbMS_YES = nullptr;
    TPellowRadioButton* rbMS_No = nullptr;
    TModalSpeedButton* BtnCommit = nullptr;
    TModalSpeedButton* btnCancel = nullptr;

    uint8_t FEditMode = vantrel::kDetailAdd;
    Txxqtfpxx* FRecord = nullptr;
    std::vector<Txxqtfpxx*>* FList = nullptr;
    QTreeView* FListControl = nullptr;
    std::function<void()> RefreshProc;
    vantrel::TModuleContext FContext;
    // What LoadRecord put into the fields; a window still showing it closes without asking.
    std::unique_ptr<Txxqtfpxx> FLoaded;
};

// True when the declaration state forbids changing the period's invoices; the guard's reason
// has been shown. Every window asks before it opens the dialog for a change.
namespace vantrel {
bool DeclareStateRefuses(const TModuleContext& context);
}  // namespace vantrel

// Creates the dialog for the record, runs it modally and frees it when it closes. False when
// the record was found gone from the database: the caller's list is out of date.
bool OpenDetailWindow(const vantrel::TModuleContext& context, uint8_t mode, QTreeView* listControl,
                      std::vector<Txxqtfpxx*>* list, std::function<void()> refreshProc, Txxqtfpxx* record);

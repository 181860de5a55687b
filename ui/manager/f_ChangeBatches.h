// TFrmChangeBatches (变更记录): the batches that changed the period's register, newest first,
// filtered by kind and seat, with the invoices each changed; 恢复 puts a 删除 batch's rows back.
// Nothing else in it writes.
#pragma once

#include "host/f_ModuleContext.h"
#include "invoice/f_ChangeLog.h"

#include <QDialog>

#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vantrel {

class TFrmChangeBatches : public QDialog {
    Q_OBJECT
public:
    TFrmChangeBatches(TModuleContext context, QWidget* parent = nullptr);

    // Whether a restore changed the register while the window was open.
    bool Restored() const { return restored_; }

private:
    void LoadBatches();
    void ShowBatches();
    void ShowEntries();
    const TBatchInfo* CurrentBatch() const;
    void RestoreExecute();

    TModuleContext context_;
    std::vector<TBatchInfo> batches_;
    std::vector<const TBatchInfo*> shown_;
    bool restored_ = false;
    QComboBox* cbbKind_ = nullptr;
    QComboBox* cbbSeat_ = nullptr;
    QLabel* lbCount_ = nullptr;
    QTableWidget* gridBatches_ = nullptr;
    QTableWidget* gridEntries_ = nullptr;
    QPushButton* btnRestore_ = nullptr;
};

}  // namespace vantrel

// TFrmReconcile: the period's register against the platform's list of invoices (核对). The four
// groups with their counts and sums, one line per invoice; an invoice opens in the detail
// window from any line, one only in the list is added to the register after a question, and
// the result is exported.
#pragma once

#include "exchange/f_Reconcile.h"
#include "ui/common/f_CustomDlg.h"

#include <QAbstractTableModel>

#include <vector>

class QLabel;
class QPushButton;
class QToolButton;
class QTreeView;

namespace vantrel {

// The lines of a result, those of one group or all; texts as the CSV file writes them.
class TReconcileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    // group -1: every line.
    void Show(const TReconcileResult* result, int group);
    const TReconcileLine* LineAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const TReconcileResult* result_ = nullptr;
    std::vector<int> lines_;
};

class TFrmReconcile : public Tfrm_CustomDlg {
    Q_OBJECT
public:
    TFrmReconcile(TModuleContext context, QString listFile, QWidget* parent = nullptr);
    ~TFrmReconcile() override;

    // Reads the register and the list and matches them again; false (and said) when either
    // cannot be read.
    bool Reconcile();

signals:
    // An invoice was changed or added here.
    void InvoicesChanged();

private:
    // The line's invoice in the detail window: 修改 when the period may change, else to look at.
    void ActOpenExecute();
    // The current line, only in the list, into the register after a question.
    void ActAddExecute();
    void ActExportExecute();
    bool ExportFile(const QString& path);

    static constexpr int kFirstGroup = -2;
    void ShowGroup(int group);
    const TReconcileLine* CurrentLine() const;

    TModuleContext FContext;
    QString FListFile;
    std::vector<Txxqtfpxx*> FInvoiceList;
    TReconcileResult FResult;
    TReconcileModel* FModel = nullptr;
    int FGroup = kFirstGroup;   // -1: every line

    // Controls, by object name: "lbFile", "btnGroup0" to "btnGroup4" (the groups, then 全部),
    // "btnOpen", "btnAdd", "btnExport", "gridLines".
    QLabel* lbFile = nullptr;
    QToolButton* btnGroups[kReconcileKindCount + 1] = {};   // the groups, then 全部
    QPushButton* btnOpen = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnExport = nullptr;
    QTreeView* gridLines = nullptr;
};

// Shows the window modally for the list file; true when the register changed in it.
bool OpenReconcileWindow(QWidget* parent, const TModuleContext& context, const QString& listFile);

}  // namespace vantrel

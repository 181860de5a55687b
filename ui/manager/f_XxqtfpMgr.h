// TFrmXxqtfpMgr: the manager of other output invoices. It lists the current taxpayer's
// invoices of the current period, filters them by type and buyer, shows counts and sums of all
// and of the voided ones, and offers the add, modify and delete commands.
//
// Its callers construct and show it; everything else is its own. The commands
// (f_XxqtfpMgrCommands.cpp) are members: the window owns FInvoiceList and every record in it;
// the list view shows FInvoiceList through ListModel(), whose CheckedRecords() gives the checked
// rows in display order and whose AppendRecord / RemoveRecords change FInvoiceList and the rows
// together. RefreshStatistics() recomputes the statistics and rebuilds all rows from FInvoiceList.
// Each command and control has its member's name as object name.
#pragma once

#include <functional>

#include "host/f_ModuleContext.h"
#include "ui/common/f_CustomFormEx.h"

#include <QStringList>

#include <climits>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vantrel { class TBatchWatch; }

class QAction;
class QActionGroup;
class QLineEdit;
class QTreeWidget;
class QFrame;
class QHeaderView;
class QLabel;
class QMenu;
class QModelIndex;
class QPushButton;
class QShowEvent;
class QString;
namespace vantrel { struct TImportPlan; }
namespace vantrel { struct TImportTarget; }
class QTimer;
class QToolButton;
class QTreeView;
namespace vantrel { class TInvoiceListModel; }
class TModalSpeedButton;
class TPellowComboBox;
class TPellowEdit;
namespace vantrel { struct TInvoiceStatistics; }
struct Txxqtfpxx;

class TFrmXxqtfpMgr : public Tfrm_CustomEx {
    Q_OBJECT
    // The number the next 增加 saves under, read by name as the controls are found by name.
    Q_PROPERTY(int nextXh READ NextXh)
public:
    // The window lists the context's invoices.
    explicit TFrmXxqtfpMgr(vantrel::TModuleContext context, QWidget* parent = nullptr);
    ~TFrmXxqtfpMgr() override;

    void FormCreate() override;
    void ApplySkin() override;
    // The list's rules, pure functions of the record: a cell's text (the return preview's list
    // shows the same) and the order of two records in a column.
    static std::string VSTInvoideCommonGetText(const Txxqtfpxx& record, int column);
    // Negative, zero or positive (-1, 0, 1) for a before, equal to or after b in the column.
    // The list sorts on keys extracted from the records (SortInvoiceRows) in this same order.
    static int VSTInvoideCommonCompareNodes(const Txxqtfpxx& a, const Txxqtfpxx& b, int column);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void FormDestroy() override;

private:
    void FormShow();

    void btnQueryClick();
    void ActQueryExecute();
    void btnResetClick();
    void ActCloseExecute();
    void VSTInvoideCommonDblClick(const QModelIndex& index);

    // Ctrl+F: the query bar's buyer filter.
    void FocusFilter();
    // The record's row becomes the current row and is scrolled into view.
    void ShowRecord(const Txxqtfpxx* record);
    // Columns at least as wide as their captions, amounts and buyer ids need in this font;
    // a column whose width the user chose keeps it.
    void FitListColumns();

    static std::string FlagText(const std::string& value, const std::string& setValue);
    static std::string IssueDateText(const std::string& kprq, const std::string& typeName);

    void RefreshStatistics();
    // On show, from the unfiltered list just read.
    void ComputeNextXh();
    // After a reload (the list may be filtered) or an import: at least one past the period's
    // largest stored number; never lower than it was.
    void KeepNextXhAhead();
    // Reads the list again with the filters of the last read, after another window changed it.
    void ReloadInvoiceList();
    vantrel::TInvoiceListModel* ListModel() const { return FListModel; }

    // The commands of the operation bar (f_XxqtfpMgrCommands.cpp).
    void actAddExecute();
    void ActModifyExecute();
    void ActDelExecute();
    // The return preview of the period (the list is read again when an invoice changed there)
    // and the list printed as a table.
    void ActPreviewExecute();
    void ActPrintExecute();
    // 修改 for one record, whatever is ticked (double click, Enter, F2).
    void ModifyRecord(Txxqtfpxx* record);
    // Import and export of the register (f_XxqtfpMgrCommands.cpp). The file commands ask for a
    // file and hand it on; ImportFile shows the checked rows and stores them on "确定";
    // ExportFile writes the rows as the list shows them. 导入电子发票 asks for files (or, from
    // its menu, a folder) and ImportEInvoices goes on as ImportFile does.
    void actImportExecute();
    void actExportExecute();
    // The file name the export proposes: the taxpayer and the period in it.
    QString ExportFileName() const;
    // Ctrl+C and 复制: the ticked rows (or the current row) as text to paste into a spreadsheet.
    void ActCopyExecute();
    void actImportEInvoiceExecute(bool folder);
    bool ImportFile(const QString& path);
    bool ImportEInvoices(const QStringList& paths);
    bool ExportFile(const QString& path);
    // 核对: the register against the platform's list of invoices; the list is read again when
    // an invoice changed there.
    void actReconcileExecute();
    void ReconcileFile(const QString& path);
    // 历史: every version of the first ticked invoice. 变更记录: the period's batches, where a
    // 删除 batch can be restored. Ctrl+Z: the last batch this window wrote, undone after a
    // question (f_XxqtfpMgrCommands.cpp).
    void actHistoryExecute();
    void actChangeLogExecute();
    void actUndoExecute();

    // The preview of a planned import, then its store on "确定"; shown names the file(s).
    bool ImportPlanned(const QString& shown, vantrel::TImportPlan& plan);
    // Reads the register and plans the rows with plan under a status line; a failure is shown.
    bool ImportRead(const char* status, const QString& shown,
                    const std::function<bool(vantrel::TImportTarget&, vantrel::TImportPlan&, std::string&)>& plan);

    std::vector<Txxqtfpxx*> FInvoiceList;
    vantrel::TModuleContext FContext;
    int32_t FNextXh = 1;
    int NextXh() const { return FNextXh; }

    QAction* actAdd = nullptr;
    QAction* ActModify = nullptr;
    QAction* ActDel = nullptr;
    QAction* ActQuery = nullptr;
    QAction* ActClose = nullptr;
    QAction* actQueryPanel = nullptr;  // the tool bar's toggle
    QAction* ActPreview = nullptr;
    QAction* ActPrint = nullptr;
    QAction* actImport = nullptr;
    QAction* actImportEInvoice = nullptr;
    QAction* actExport = nullptr;
    QAction* actReconcile = nullptr;
    QAction* actHistory = nullptr;
    QAction* actChangeLog = nullptr;
    QAction* actUndo = nullptr;
    QAction* ActCopy = nullptr;
    QMenu* ListMenu = nullptr;  // the list's right-click menu: 增加, 修改, 删除, 复制

    QToolButton* btnQuery = nullptr;
    QFrame* PanelQuery = nullptr;
    TPellowComboBox* cbbFplx = nullptr;
    TPellowEdit* edtghfsh = nullptr;
    TModalSpeedButton* ModalSpeedButton1 = nullptr;
    TModalSpeedButton* btnReset = nullptr;
    QLabel* lbFpsl = nullptr;
    QLabel* lbje = nullptr;
    QLabel* lbse = nullptr;
    QLabel* lbzfzs = nullptr;
    QLabel* lbzfje = nullptr;
    QLabel* lbzfse = nullptr;
    QLabel* lbScope = nullptr;       // taxpayer, period and any filter of the list shown
    QLabel* lbEmptyHint = nullptr;   // over an empty list
    QPushButton* btnAdd = nullptr;
    QPushButton* btnModify = nullptr;
    QPushButton* btnDel = nullptr;
    QTreeView* VSTInvoideCommon = nullptr;


    // The controls, in steps: the commands, then the bands of the window from the top.
    void BuildControls();
    void BuildActions();
    void BuildToolBar();
    QFrame* BuildQueryPanel(QWidget* content);
    QFrame* BuildStatistics(QWidget* content);
    QFrame* BuildOperations(QWidget* content);
    void BuildList(QWidget* content);
    void BuildHeaderMenu(QHeaderView* header);
    void BuildListMenu();
    void NameControls();
    void OpenModify(Txxqtfpxx* record);
    void LoadInvoiceList(const std::string& fplx, const std::string& gfnsr);

    void UpdateScope();

    // The list's layout per user: the widths the user dragged (0: the compact width of the
    // captions and contents) and the sort, kept in the user's settings as they change.
    std::vector<int> CompactColumnWidths() const;
    void RestoreListLayout();
    void SaveListLayout();
    void ResetColumnWidths();
    void ColumnResized(int column, int newSize);

    // The filter row: issue dates and amounts from and to, the four flags and a text that any
    // cell shows, over the rows read (no statement). A bad entry is marked and said in the
    // scope line; the rows stay as the last good filter left them.
    struct TListFilter {
        std::string dateFrom, dateTo;            // yyyy-MM-dd; empty: open
        int64_t amountFrom = INT64_MIN, amountTo = INT64_MAX;
        int flags[4] = {0, 0, 0, 0};             // 免税, 劳务发票, 作废, 即征即退: 0 any, 1 是, 2 否
        QString text;
        bool Active() const;
        bool Matches(const Txxqtfpxx& r) const;
    };
    QFrame* BuildFilterRow(QWidget* content);
    void ApplyListFilter();
    void ClearListFilter();
    // The statistics per invoice type of the rows shown, folded by default.
    QWidget* BuildTypeStatistics(QWidget* content);
    void FillTypeStatistics(const std::vector<Txxqtfpxx*>& shown, const vantrel::TInvoiceStatistics& all);

    TListFilter FFilter;
    QString FFilterError;
    QFrame* PanelFilter = nullptr;
    QLineEdit* edtDateFrom = nullptr;
    QLineEdit* edtDateTo = nullptr;
    QLineEdit* edtAmountFrom = nullptr;
    QLineEdit* edtAmountTo = nullptr;
    QLineEdit* edtFilterText = nullptr;
    QToolButton* btnFilterFlags = nullptr;
    QActionGroup* FFlagGroups[4] = {nullptr, nullptr, nullptr, nullptr};
    QPushButton* btnClearFilter = nullptr;
    QTimer* FFilterTimer = nullptr;
    QToolButton* btnTypeStatistics = nullptr;
    QTreeWidget* TypeStatistics = nullptr;

    QAction* actResetColumns = nullptr;  // 恢复默认列宽, on the header's menu
    QMenu* HeaderMenu = nullptr;
    QTimer* FLayoutSaveTimer = nullptr;
    std::vector<int> FUserWidths;
    bool FFittingColumns = false;

    vantrel::TInvoiceListModel* FListModel = nullptr;
    bool FDestroyed = false;
    bool FReadOnly = false;        // the database takes no writes: the changing commands are off
    bool FLoading = false;         // a list load is running
    bool FCloseAfterLoad = false;  // a close arrived during it
    // The filters of the list shown (those of the last query, not of the query bar).
    std::string FShownFplx;
    std::string FShownGfnsr;
    // The batches this window (and the windows it opened) wrote; those undone, and the undoing
    // ones, are not undone again.
    std::unique_ptr<vantrel::TBatchWatch> FOwnBatches;
    std::set<int64_t> FUndone;
};

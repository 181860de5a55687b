// The return preview: the current period's summary laid out like the return's schedule, each
// figure opening the invoices behind it (TFrmPreviewDrill), where 修改 works as in the
// manager. Printing and PDF go through Qt's print support.
#pragma once

#include "summary/f_SummaryCells.h"
#include "summary/f_SummaryPreview.h"
#include "ui/common/f_CustomDlg.h"
#include "ui/common/f_InvoiceListModel.h"
#include "print/f_PreviewPage.h"

#include <QDate>
#include <QIcon>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTreeView;
struct Txxqtfpxx;

namespace vantrel {

// How the owner's invoice list shows its cells: the drill-down lists invoices in the same
// columns.
struct TPreviewListProcs {
    TInvoiceListModel::TTextProc text = nullptr;
    // Gives the drill-down's list the owner's tick and selection rule (the list decorator).
    bool (*decorate)(QTreeView* view) = nullptr;
};

// The page on screen: hover shows a cell's element name and caption, a click or Enter on a
// figure asks for the invoices behind it, the arrow keys move between figures.
class TPreviewSheet : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewSheet(QWidget* parent = nullptr);

    void SetPreview(const TSummaryPreview* preview, const QDate& date);
    // The figures shown; null before the first were read.
    const TSummaryPreview* Preview() const { return preview_; }
    const std::string& FocusCell() const { return marks_.focus; }
    void SetFocusCell(const std::string& name);
    // The middle of a cell in widget coordinates.
    QPoint CellCenter(const std::string& name) const;
    // The hover text of the cell under a point: element name and caption; empty off the figures.
    QString ToolTipAt(const QPoint& point) const;

    QSize sizeHint() const override;

signals:
    void CellActivated(const QString& name);
    void FocusMoved(const QRect& rect);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::string CellAt(const QPoint& point) const;
    QRect WidgetRect(const std::string& name) const;

    TPreviewPageLayout layout_;
    const TSummaryPreview* preview_ = nullptr;
    QDate date_;
    TPreviewPageMarks marks_;
};

class TFrmReturnPreview : public Tfrm_CustomDlg {
    Q_OBJECT
public:
    // The return of the context's taxpayer and period.
    TFrmReturnPreview(TModuleContext context, TPreviewListProcs procs, QWidget* parent = nullptr);

    void FormCreate() override;

signals:
    // An invoice was saved from a drill-down.
    void InvoiceChanged();

private:
    // Computes the figures again; false when a select failed (the message has been shown).
    bool RefreshPreview();
    // Opens the invoices behind the cell, modally.
    void OpenDrill(const std::string& name);
    void btnPrintClick();
    void btnPdfClick();

    // Controls, by object name: "PreviewSheet", "ScrollArea", "btnPrint", "btnPdf".
    QLabel* lbHint = nullptr;
    QScrollArea* ScrollArea = nullptr;
    TPreviewSheet* Sheet = nullptr;
    TModalSpeedButton* btnPrint = nullptr;
    TModalSpeedButton* btnPdf = nullptr;
    TModuleContext FContext;
    TPreviewListProcs FProcs;
    TSummaryPreview FPreview;
};

// The invoices behind one figure, in the manager's list columns, with their count and sum.
class TFrmPreviewDrill : public Tfrm_CustomDlg {
    Q_OBJECT
public:
    // changed is called after an invoice was saved; it returns the figure computed afresh.
    TFrmPreviewDrill(TModuleContext context, const TSummaryCellRef& cell, std::string value,
                     const TPreviewListProcs& procs, std::function<std::string()> changed, QWidget* parent = nullptr);
    ~TFrmPreviewDrill() override;

    void FormCreate() override;

private:
    // Reads the cell's invoices again; false when the select failed (message shown).
    bool LoadInvoices();
    void ActModifyExecute();
    void ActPrintExecute();
    // The sum of the listed invoices, as the figure is written.
    std::string ListedTotal() const;
    void ShowTotals();
    // Below the list: the changes to the cell's invoices since the last document written.
    void ShowChangesSinceDeclared();

    // Controls, by object name: "lbCell", "lbTotals" (the count, the listed sum and the figure),
    // "btnModify", "btnPrintList", "VSTInvoice" (over the list model), "memChanges".
    std::vector<Txxqtfpxx*> FInvoiceList;
    QLabel* lbCell = nullptr;
    QLabel* lbTotals = nullptr;
    QPlainTextEdit* memChanges = nullptr;
    QPushButton* btnModify = nullptr;
    QPushButton* btnPrintList = nullptr;
    TInvoiceListView* VSTInvoice = nullptr;

    TModuleContext FContext;
    TSummaryCellRef FCell;
    std::string FValue;
    TPreviewListProcs FProcs;
    std::function<std::string()> FChangedProc;
    TInvoiceListModel* FListModel = nullptr;
};

// Tool bar images of the preview and print commands (24 x 24).
QIcon PreviewCommandIcon();
QIcon PrintCommandIcon();

// Opens the preview of the context's taxpayer and period modally. True when an invoice was
// changed from it, so that the opener can read its list again.
bool OpenReturnPreview(QWidget* parent, const TModuleContext& context, const TPreviewListProcs& procs);

}  // namespace vantrel

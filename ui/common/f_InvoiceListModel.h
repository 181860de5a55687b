// The invoice list: a table model over the owning window's record list.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

struct Txxqtfpxx;

namespace vantrel {

// One column of a list: caption (GBK), width in pixels, image index (-1 none), alignment.
struct TListColumnDef {
    const char* caption;
    int32_t width;
    int32_t imageIndex;
    int32_t alignment;  // 0 left, 1 right, 2 centred
};

enum InvoiceListColumn {
    ColSelect,
    ColFplxmc,
    ColKprq,
    ColFs,
    ColJe,
    ColSe,
    ColGfnsr,
    ColMs,
    ColLwfp,
    ColZfbz,
    ColJzjt,
    InvoiceListColumnCount
};

}  // namespace vantrel

extern const vantrel::TListColumnDef InvoiceListColumns[vantrel::InvoiceListColumnCount];

namespace vantrel {

// The rows are the owner's list itself: the model keeps which list entry each row shows (the
// display order) and which entries are checked, and nothing else of its own. Changes to the
// list that the model should follow without a rebuild go through AppendRecord / RemoveRecords.
class TInvoiceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using TTextProc = std::string (*)(const Txxqtfpxx& record, int column);

    explicit TInvoiceListModel(QObject* parent = nullptr);

    // The owner's list; it must outlive the model or be replaced (null: no rows).
    void SetList(std::vector<Txxqtfpxx*>* list);
    const std::vector<Txxqtfpxx*>* List() const { return list_; }
    void SetTextProc(TTextProc proc) { textProc_ = proc; }

    void SetColumns(std::span<const TListColumnDef> columns);
    const TListColumnDef& ColumnDef(int column) const { return columns_[static_cast<size_t>(column)]; }
    // Background of every cell of the sort column, wherever the sort moves it; an invalid
    // colour gives the view's own.
    void SetSortColumnColor(const QColor& color);
    QColor ColumnColor(int column) const;

    // Shows those of the first count entries of the list that pass the row filter (all when it
    // is empty), all unchecked, in the current sort order.
    void ResetRows(int count);
    void SetRowFilter(std::function<bool(const Txxqtfpxx&)> filter) { filter_ = std::move(filter); }

    Txxqtfpxx* RecordAt(int row) const;
    int RowOf(const Txxqtfpxx* record) const;  // -1 when not shown

    // Check states. Programmatic changes emit dataChanged but no CheckToggled.
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    void SetCheckedRows(const std::vector<bool>& checked);   // by row; missing rows unchecked
    int CheckedCount() const { return checkedCount_; }
    std::vector<int> CheckedRows() const;                // display order
    std::vector<Txxqtfpxx*> CheckedRecords() const;      // display order

    // Appends the record to the owner's list and shows it as the last row.
    void AppendRecord(Txxqtfpxx* record);
    // Drops the records' rows and takes them out of the owner's list, which keeps the order of
    // the others; the owner releases them.
    void RemoveRecords(const std::vector<Txxqtfpxx*>& records);
    void RefreshRecord(const Txxqtfpxx* record);

    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortOrder() const { return sortOrder_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // The user ticked or unticked a row's check box (through setData).
    void CheckToggled(int row, bool checked);

private:
    Txxqtfpxx* Entry(uint32_t listIndex) const { return (*list_)[listIndex]; }
    // Puts order_ into the sort column's order.
    void SortOrderInPlace();
    void SetCheck(uint32_t listIndex, bool checked);

    std::vector<TListColumnDef> columns_;
    QColor sortColor_;
    std::vector<Txxqtfpxx*>* list_ = nullptr;
    std::vector<uint32_t> order_;    // row -> index into the list
    std::vector<uint8_t> checked_;   // by index into the list
    int checkedCount_ = 0;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    TTextProc textProc_ = nullptr;
    std::function<bool(const Txxqtfpxx&)> filter_;
};

// The view of an invoice list. A sort only permutes the rows of the flat list, whose model
// indexes stay what they were, so after a sort the view keeps its item per row instead of
// building all of them again (on a long list the bulk of a re-sort's time); any other change
// of the rows lays them out in full. Rows must be of one height, and are never hidden.
//
// Keys: Enter, Return and F2 call OnModify (the owner's 修改), Delete OnDelete (its 删除); Space
// toggles the selection of the row with the focus; the view's own keys do the rest (a plain
// cursor key selects one row, Shift extends, Ctrl moves the focus alone, Ctrl+A selects all).
// The row with the focus is framed, since a decorated list paints no selection.
class TInvoiceListView : public QTreeView {
public:
    using QTreeView::QTreeView;
    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;

    std::function<void()> OnModify;
    std::function<void()> OnDelete;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The frame spans the row: the view alone would repaint just the current cell.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::vector<QMetaObject::Connection> watches_;
    int laidRows_ = -1;      // rows of the last full layout; -1 when the items may be out of date
    bool sortedOnly_ = false;  // a sort came since, and nothing else
};

// Sorts list indexes as the invoice list orders a column (the comparison the manager defines
// for each column), stably; column 0 and unknown columns keep the given order.
void SortInvoiceRows(std::vector<uint32_t>& rows, const std::vector<Txxqtfpxx*>& list, int column, bool descending);

}  // namespace vantrel

// The list's columns from a column table: captions, widths, image indexes and alignments.
void SetupListColumns(QTreeView* view, std::span<const vantrel::TListColumnDef> columns);
// Drops every row and sets the number of rows to count; the view's model is re-initialised.
void ResetListRows(QTreeView* view, int count);

namespace vantrel {

// The view's list model, or null when it has none of ours.
TInvoiceListModel* InvoiceListModelOf(const QTreeView* view);
// The rows as tab-separated lines under a line of the column captions, the cells as the view
// shows them and in its column order, without the check column: a paste into a spreadsheet
// gives the table.
QString InvoiceListText(const QTreeView* view, const std::vector<int>& rows);

}  // namespace vantrel

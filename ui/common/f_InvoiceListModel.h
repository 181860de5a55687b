// The invoice list: a table model over the owning window's record list. It keeps one record
// pointer and one check state per row; cell texts and the order come from the owner.
#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

class QTreeView;
struct Txxqtfpxx;

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

extern const TListColumnDef InvoiceListColumns[InvoiceListColumnCount];

class TInvoiceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using TTextProc = std::function<std::string(const Txxqtfpxx& record, int column)>;
    // A plain function: sorting calls it n log n times.
    using TCompareProc = int (*)(const Txxqtfpxx& a, const Txxqtfpxx& b, int column);
    using TInitProc = std::function<Txxqtfpxx*(int row)>;

    explicit TInvoiceListModel(QObject* parent = nullptr);

    void SetTextProc(TTextProc proc) { textProc_ = std::move(proc); }
    void SetCompareProc(TCompareProc proc) { compareProc_ = proc; }
    void SetInitProc(TInitProc proc) { initProc_ = std::move(proc); }

    void SetColumns(std::span<const TListColumnDef> columns);
    const TListColumnDef& ColumnDef(int column) const { return columns_[static_cast<size_t>(column)].def; }
    // Background of every cell of a column; an invalid colour gives the view's own.
    void SetColumnColor(int column, const QColor& color);
    QColor ColumnColor(int column) const;

    // Rebuilds the rows 0..count-1 through the init proc, all unchecked, and puts them back
    // into the current sort order.
    void ResetRows(int count);

    Txxqtfpxx* RecordAt(int row) const;
    int RowOf(const Txxqtfpxx* record) const;  // -1 when not shown

    bool IsChecked(int row) const;
    // Programmatic check changes: no CheckToggled.
    void SetChecked(int row, bool checked);
    void SetCheckedRows(const std::vector<bool>& checked);
    std::vector<int> CheckedRows() const;                // display order
    std::vector<Txxqtfpxx*> CheckedRecords() const;      // display order

    // Row changes for records that the owner adds, edits or drops without a reload.
    void AppendRecord(Txxqtfpxx* record);
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
    // Puts rows_ (and their checks) into the order of the sort column; fills the old row of
    // every new row when asked.
    void SortRowsInPlace(std::vector<int>* oldRowOfNewRow);

    struct Column {
        TListColumnDef def;
        QColor color;
    };
    std::vector<Column> columns_;
    std::vector<Txxqtfpxx*> rows_;
    std::vector<uint8_t> checks_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    TTextProc textProc_;
    TCompareProc compareProc_ = nullptr;
    TInitProc initProc_;
};

// The list's columns from a column table: captions, widths, image indexes and alignments.
void SetupListColumns(QTreeView* view, std::span<const TListColumnDef> columns);
// Drops every row and sets the number of rows to count; the view's model is re-initialised.
void ResetListRows(QTreeView* view, int count);
// The view's list model, or null when it has none of ours.
TInvoiceListModel* InvoiceListModelOf(const QTreeView* view);

#include "ui/common/f_InvoiceListModel.h"

#include "host/corlith_api.h"

#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <unordered_set>

const TListColumnDef InvoiceListColumns[InvoiceListColumnCount] = {
    {"选择", 50, -1, 0},
    {"发票类型", 120, -1, 0},
    {"开票日期", 120, -1, 0},
    {"份数", 100, -1, 1},
    {"金额", 100, -1, 1},
    {"税额", 100, -1, 1},
    {"购方税号", 135, -1, 0},
    {"是否免税", 100, -1, 0},
    {"是否劳务发票", 100, -1, 0},
    {"是否作废", 80, -1, 0},
    {"是否即征即退", 100, -1, 0},
};

namespace {

Qt::Alignment AlignmentOf(int32_t alignment) {
    switch (alignment) {
    case 1: return Qt::AlignRight | Qt::AlignVCenter;
    case 2: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

TInvoiceListModel::TInvoiceListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TInvoiceListModel::SetColumns(std::span<const TListColumnDef> columns) {
    beginResetModel();
    columns_.clear();
    for (const TListColumnDef& def : columns) columns_.push_back({def, QColor()});
    if (sortColumn_ >= static_cast<int>(columns_.size())) sortColumn_ = -1;
    endResetModel();
}

void TInvoiceListModel::SetColumnColor(int column, const QColor& color) {
    if (column < 0 || column >= static_cast<int>(columns_.size())) return;
    columns_[static_cast<size_t>(column)].color = color;
    if (!rows_.empty())
        emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::BackgroundRole});
}

QColor TInvoiceListModel::ColumnColor(int column) const {
    if (column < 0 || column >= static_cast<int>(columns_.size())) return QColor();
    return columns_[static_cast<size_t>(column)].color;
}

void TInvoiceListModel::ResetRows(int count) {
    beginResetModel();
    rows_.assign(static_cast<size_t>(std::max(count, 0)), nullptr);
    checks_.assign(rows_.size(), 0);
    if (initProc_)
        for (size_t i = 0; i < rows_.size(); ++i) rows_[i] = initProc_(static_cast<int>(i));
    if (sortColumn_ >= 0) SortRowsInPlace(nullptr);
    endResetModel();
}

Txxqtfpxx* TInvoiceListModel::RecordAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    return rows_[static_cast<size_t>(row)];
}

int TInvoiceListModel::RowOf(const Txxqtfpxx* record) const {
    if (!record) return -1;
    const auto it = std::find(rows_.begin(), rows_.end(), record);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

bool TInvoiceListModel::IsChecked(int row) const {
    return row >= 0 && row < static_cast<int>(checks_.size()) && checks_[static_cast<size_t>(row)] != 0;
}

void TInvoiceListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(checks_.size())) return;
    uint8_t& state = checks_[static_cast<size_t>(row)];
    if ((state != 0) == checked) return;
    state = checked ? 1 : 0;
    const QModelIndex cell = index(row, ColSelect);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void TInvoiceListModel::SetCheckedRows(const std::vector<bool>& checked) {
    int first = -1;
    int last = -1;
    for (size_t i = 0; i < checks_.size(); ++i) {
        const uint8_t want = (i < checked.size() && checked[i]) ? 1 : 0;
        if (checks_[i] == want) continue;
        checks_[i] = want;
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    if (first >= 0) emit dataChanged(index(first, ColSelect), index(last, ColSelect), {Qt::CheckStateRole});
}

std::vector<int> TInvoiceListModel::CheckedRows() const {
    std::vector<int> result;
    for (size_t i = 0; i < checks_.size(); ++i)
        if (checks_[i]) result.push_back(static_cast<int>(i));
    return result;
}

std::vector<Txxqtfpxx*> TInvoiceListModel::CheckedRecords() const {
    std::vector<Txxqtfpxx*> result;
    for (size_t i = 0; i < checks_.size(); ++i)
        if (checks_[i] && rows_[i]) result.push_back(rows_[i]);
    return result;
}

void TInvoiceListModel::AppendRecord(Txxqtfpxx* record) {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back(record);
    checks_.push_back(0);
    endInsertRows();
}

void TInvoiceListModel::RemoveRecords(const std::vector<Txxqtfpxx*>& records) {
    if (records.empty()) return;
    const std::unordered_set<const Txxqtfpxx*> doomed(records.begin(), records.end());
    // From the bottom up, one contiguous block at a time, so the view keeps its other rows.
    int row = rowCount() - 1;
    while (row >= 0) {
        if (!doomed.count(rows_[static_cast<size_t>(row)])) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && doomed.count(rows_[static_cast<size_t>(row - 1)])) --row;
        beginRemoveRows(QModelIndex(), row, last);
        rows_.erase(rows_.begin() + row, rows_.begin() + last + 1);
        checks_.erase(checks_.begin() + row, checks_.begin() + last + 1);
        endRemoveRows();
        --row;
    }
}

void TInvoiceListModel::RefreshRecord(const Txxqtfpxx* record) {
    const int row = RowOf(record);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int TInvoiceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TInvoiceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TInvoiceListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return QVariant();
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: {
        const Txxqtfpxx* record = rows_[static_cast<size_t>(row)];
        if (!record || !textProc_) return QString();
        try {
            return GbkToQString(textProc_(*record, column));
        } catch (...) {
            return QString();  // a cell that cannot be computed stays empty
        }
    }
    case Qt::CheckStateRole:
        if (column != ColSelect) return QVariant();
        return checks_[static_cast<size_t>(row)] ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOf(columns_[static_cast<size_t>(column)].def.alignment));
    case Qt::BackgroundRole: {
        const QColor& color = columns_[static_cast<size_t>(column)].color;
        return color.isValid() ? QVariant(color) : QVariant();
    }
    default:
        return QVariant();
    }
}

bool TInvoiceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != ColSelect ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    uint8_t& state = checks_[static_cast<size_t>(index.row())];
    state = checked ? 1 : 0;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit CheckToggled(index.row(), checked);
    return true;
}

QVariant TInvoiceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size()))
        return QVariant();
    const TListColumnDef& def = columns_[static_cast<size_t>(section)].def;
    switch (role) {
    case Qt::DisplayRole: return GbkToQString(def.caption ? def.caption : "");
    case Qt::TextAlignmentRole: return QVariant::fromValue(AlignmentOf(def.alignment));
    default: return QVariant();
    }
}

Qt::ItemFlags TInvoiceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == ColSelect) result |= Qt::ItemIsUserCheckable;
    return result;
}

namespace {

// Ascending or descending by one column; rows without a record go last.
struct TRowOrder {
    TInvoiceListModel::TCompareProc compare;
    int column;
    bool descending;
    bool operator()(const Txxqtfpxx* a, const Txxqtfpxx* b) const {
        if (!a || !b) return a && !b;
        const int c = compare(*a, *b, column);
        return descending ? c > 0 : c < 0;
    }
};

}  // namespace

void TInvoiceListModel::SortRowsInPlace(std::vector<int>* oldRowOfNewRow) {
    if (!compareProc_ || sortColumn_ < 0) {
        if (oldRowOfNewRow) {
            oldRowOfNewRow->resize(rows_.size());
            for (size_t i = 0; i < rows_.size(); ++i) (*oldRowOfNewRow)[i] = static_cast<int>(i);
        }
        return;
    }
    const TRowOrder order{compareProc_, sortColumn_, sortOrder_ == Qt::DescendingOrder};
    const bool anyChecked = std::find(checks_.begin(), checks_.end(), uint8_t{1}) != checks_.end();
    if (!oldRowOfNewRow && !anyChecked) {
        // Nothing travels with the rows: sort the pointers themselves.
        std::stable_sort(rows_.begin(), rows_.end(), order);
        return;
    }
    struct Entry {
        Txxqtfpxx* record;
        int row;
    };
    std::vector<Entry> entries(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) entries[i] = {rows_[i], static_cast<int>(i)};
    std::stable_sort(entries.begin(), entries.end(),
                     [&order](const Entry& a, const Entry& b) { return order(a.record, b.record); });
    std::vector<uint8_t> checks(checks_.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        rows_[i] = entries[i].record;
        checks[i] = checks_[static_cast<size_t>(entries[i].row)];
    }
    checks_.swap(checks);
    if (oldRowOfNewRow) {
        oldRowOfNewRow->resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) (*oldRowOfNewRow)[i] = entries[i].row;
    }
}

void TInvoiceListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column >= 0 && column < columnCount() ? column : -1;
    sortOrder_ = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<int> oldRowOfNewRow;
    SortRowsInPlace(from.isEmpty() ? nullptr : &oldRowOfNewRow);
    if (!from.isEmpty()) {
        std::vector<int> newRowOfOldRow(oldRowOfNewRow.size());
        for (size_t i = 0; i < oldRowOfNewRow.size(); ++i)
            newRowOfOldRow[static_cast<size_t>(oldRowOfNewRow[i])] = static_cast<int>(i);
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& old : from)
            to.append(index(newRowOfOldRow[static_cast<size_t>(old.row())], old.column()));
        changePersistentIndexList(from, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

TInvoiceListModel* InvoiceListModelOf(const QTreeView* view) {
    return view ? qobject_cast<TInvoiceListModel*>(view->model()) : nullptr;
}

void SetupListColumns(QTreeView* view, std::span<const TListColumnDef> columns) {
    TInvoiceListModel* model = InvoiceListModelOf(view);
    if (!model) return;
    model->SetColumns(columns);
    QHeaderView* header = view->header();
    for (size_t i = 0; i < columns.size(); ++i) {
        header->setSectionResizeMode(static_cast<int>(i), QHeaderView::Interactive);
        header->resizeSection(static_cast<int>(i), columns[i].width);
    }
}

void ResetListRows(QTreeView* view, int count) {
    if (TInvoiceListModel* model = InvoiceListModelOf(view)) model->ResetRows(count);
}

#include "ui/common/f_InvoiceListModel.h"

#include "host/corlith_api.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/f_KeySort.h"

#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStringList>
#include <QTreeView>

#include <algorithm>
#include <unordered_set>

const vantrel::TListColumnDef InvoiceListColumns[vantrel::InvoiceListColumnCount] = {
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

namespace vantrel {

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

void TInvoiceListModel::SetList(std::vector<Txxqtfpxx*>* list) {
    beginResetModel();
    list_ = list;
    order_.clear();
    checked_.clear();
    checkedCount_ = 0;
    endResetModel();
}

void TInvoiceListModel::SetColumns(std::span<const TListColumnDef> columns) {
    beginResetModel();
    columns_.assign(columns.begin(), columns.end());
    if (sortColumn_ >= static_cast<int>(columns_.size())) sortColumn_ = -1;
    endResetModel();
}

void TInvoiceListModel::SetSortColumnColor(const QColor& color) {
    if (sortColor_ == color) return;
    sortColor_ = color;
    if (sortColumn_ >= 0 && !order_.empty())
        emit dataChanged(index(0, sortColumn_), index(rowCount() - 1, sortColumn_), {Qt::BackgroundRole});
}

QColor TInvoiceListModel::ColumnColor(int column) const {
    return column >= 0 && column == sortColumn_ ? sortColor_ : QColor();
}

void TInvoiceListModel::ResetRows(int count) {
    beginResetModel();
    const size_t available = list_ ? list_->size() : 0;
    const size_t shown = std::min(static_cast<size_t>(std::max(count, 0)), available);
    order_.clear();
    order_.reserve(shown);
    for (size_t i = 0; i < shown; ++i)
        if (!filter_ || filter_(*(*list_)[i])) order_.push_back(static_cast<uint32_t>(i));
    checked_.assign(available, 0);
    checkedCount_ = 0;
    if (sortColumn_ >= 0) SortOrderInPlace();
    endResetModel();
}

Txxqtfpxx* TInvoiceListModel::RecordAt(int row) const {
    if (row < 0 || row >= static_cast<int>(order_.size())) return nullptr;
    return Entry(order_[static_cast<size_t>(row)]);
}

int TInvoiceListModel::RowOf(const Txxqtfpxx* record) const {
    if (!record) return -1;
    for (size_t row = 0; row < order_.size(); ++row)
        if (Entry(order_[row]) == record) return static_cast<int>(row);
    return -1;
}

bool TInvoiceListModel::IsChecked(int row) const {
    return row >= 0 && row < static_cast<int>(order_.size()) && checked_[order_[static_cast<size_t>(row)]] != 0;
}

void TInvoiceListModel::SetCheck(uint32_t listIndex, bool checked) {
    uint8_t& state = checked_[listIndex];
    if ((state != 0) == checked) return;
    state = checked ? 1 : 0;
    checkedCount_ += checked ? 1 : -1;
}

void TInvoiceListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(order_.size()) || IsChecked(row) == checked) return;
    SetCheck(order_[static_cast<size_t>(row)], checked);
    const QModelIndex cell = index(row, ColSelect);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void TInvoiceListModel::SetAllChecked(bool checked) {
    std::vector<bool> all(order_.size(), checked);
    SetCheckedRows(all);
}

void TInvoiceListModel::SetCheckedRows(const std::vector<bool>& checked) {
    int first = -1;
    int last = -1;
    for (size_t row = 0; row < order_.size(); ++row) {
        const bool want = row < checked.size() && checked[row];
        if ((checked_[order_[row]] != 0) == want) continue;
        SetCheck(order_[row], want);
        if (first < 0) first = static_cast<int>(row);
        last = static_cast<int>(row);
    }
    if (first >= 0) emit dataChanged(index(first, ColSelect), index(last, ColSelect), {Qt::CheckStateRole});
}

std::vector<int> TInvoiceListModel::CheckedRows() const {
    std::vector<int> result;
    if (checkedCount_ == 0) return result;
    result.reserve(static_cast<size_t>(checkedCount_));
    for (size_t row = 0; row < order_.size(); ++row)
        if (checked_[order_[row]]) result.push_back(static_cast<int>(row));
    return result;
}

std::vector<Txxqtfpxx*> TInvoiceListModel::CheckedRecords() const {
    std::vector<Txxqtfpxx*> result;
    if (checkedCount_ == 0) return result;
    result.reserve(static_cast<size_t>(checkedCount_));
    for (uint32_t listIndex : order_)
        if (checked_[listIndex]) result.push_back(Entry(listIndex));
    return result;
}

void TInvoiceListModel::AppendRecord(Txxqtfpxx* record) {
    if (!list_ || !record) return;
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    list_->push_back(record);
    checked_.push_back(0);
    order_.push_back(static_cast<uint32_t>(list_->size() - 1));
    endInsertRows();
}

void TInvoiceListModel::RemoveRecords(const std::vector<Txxqtfpxx*>& records) {
    if (!list_ || records.empty()) return;
    const std::unordered_set<const Txxqtfpxx*> doomed(records.begin(), records.end());
    std::vector<uint8_t> gone(list_->size(), 0);
    for (size_t i = 0; i < list_->size(); ++i) gone[i] = doomed.count((*list_)[i]) ? 1 : 0;
    // From the bottom up, one contiguous block at a time, so the view keeps its other rows.
    int row = rowCount() - 1;
    while (row >= 0) {
        if (!gone[order_[static_cast<size_t>(row)]]) {
            --row;
            continue;
        }
        const int last = row;
        while (row > 0 && gone[order_[static_cast<size_t>(row - 1)]]) --row;
        beginRemoveRows(QModelIndex(), row, last);
        order_.erase(order_.begin() + row, order_.begin() + last + 1);
        endRemoveRows();
        --row;
    }
    // The list closes ranks; every remaining row follows its entry to the entry's new index,
    // so no row changes what it shows.
    std::vector<uint32_t> newIndex(list_->size(), 0);
    size_t kept = 0;
    for (size_t i = 0; i < list_->size(); ++i) {
        if (gone[i]) {
            if (checked_[i]) --checkedCount_;
            continue;
        }
        newIndex[i] = static_cast<uint32_t>(kept);
        (*list_)[kept] = (*list_)[i];
        checked_[kept] = checked_[i];
        ++kept;
    }
    list_->resize(kept);
    checked_.resize(kept);
    for (uint32_t& listIndex : order_) listIndex = newIndex[listIndex];
}

void TInvoiceListModel::RefreshRecord(const Txxqtfpxx* record) {
    const int row = RowOf(record);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int TInvoiceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TInvoiceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TInvoiceListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: {
        const Txxqtfpxx* record = RecordAt(index.row());
        return record && textProc_ ? GbkToQString(textProc_(*record, column)) : QString();
    }
    case Qt::CheckStateRole:
        if (column != ColSelect) return QVariant();
        return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole: return QVariant::fromValue(AlignmentOf(columns_[static_cast<size_t>(column)].alignment));
    case Qt::BackgroundRole: return column == sortColumn_ && sortColor_.isValid() ? QVariant(sortColor_) : QVariant();
    case Qt::FontRole:
    case Qt::ForegroundRole: {
        const Txxqtfpxx* record = RecordAt(index.row());
        if (!record || record->zfbz != "1") return QVariant();
        if (role == Qt::ForegroundRole) return QColor(0x8A, 0x8A, 0x8A);
        QFont font;
        font.setStrikeOut(true);
        return font;
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
    if (IsChecked(index.row()) == checked) return true;
    SetCheck(order_[static_cast<size_t>(index.row())], checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit CheckToggled(index.row(), checked);
    return true;
}

QVariant TInvoiceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size()))
        return QVariant();
    const TListColumnDef& def = columns_[static_cast<size_t>(section)];
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

// The keys are taken entry by entry in list order: the records lie apart from each other, so
// the field a few entries ahead (and a text's bytes when they live outside the record) is
// asked for before it is needed.
constexpr size_t kAhead = 16;

template <class T>
void Prefetch(const std::vector<Txxqtfpxx*>& list, size_t entry, T Txxqtfpxx::*field) {
    if (entry < list.size()) __builtin_prefetch(&(list[entry]->*field));
}

}  // namespace

void SortInvoiceRows(std::vector<uint32_t>& rows, const std::vector<Txxqtfpxx*>& list, int column, bool descending) {
    using Text = std::string Txxqtfpxx::*;
    Text text = nullptr;
    switch (column) {
    case ColFplxmc: text = &Txxqtfpxx::fplxmc; break;
    case ColKprq: text = &Txxqtfpxx::kprq; break;
    case ColGfnsr: text = &Txxqtfpxx::gfnsr; break;
    case ColMs: text = &Txxqtfpxx::ms; break;
    case ColLwfp: text = &Txxqtfpxx::lwfp; break;
    case ColZfbz: text = &Txxqtfpxx::zfbz; break;
    case ColJzjt: text = &Txxqtfpxx::jzjt; break;
    default: break;
    }
    if (text) {
        const auto textOf = [&list, text](uint32_t entry) {
            Prefetch(list, entry + kAhead, text);
            if (entry + kAhead / 2 < list.size()) __builtin_prefetch((list[entry + kAhead / 2]->*text).data());
            return std::string_view(list[entry]->*text);
        };
        StableSortByText(rows, list.size(), textOf, descending);
        return;
    }
    const auto sortBy = [&](auto field, auto key) {
        const auto keyOf = [&list, field, key](uint32_t entry) {
            Prefetch(list, entry + kAhead, field);
            return key(list[entry]->*field);
        };
        StableSortByNumber(rows, list.size(), keyOf, descending);
    };
    switch (column) {
    case ColFs: sortBy(&Txxqtfpxx::fs, IntegerSortKey); break;
    case ColJe: sortBy(&Txxqtfpxx::je, RealSortKey); break;
    case ColSe: sortBy(&Txxqtfpxx::se, RealSortKey); break;
    default: break;   // the check column: every row compares equal
    }
}

void TInvoiceListModel::SortOrderInPlace() {
    if (list_ && sortColumn_ >= 0) SortInvoiceRows(order_, *list_, sortColumn_, sortOrder_ == Qt::DescendingOrder);
}

void TInvoiceListModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Inside the layout change: the views fetch every shown cell again, so the sort column's
    // colour moves with it without a change signal over two whole columns.
    sortColumn_ = column >= 0 && column < columnCount() ? column : -1;
    sortOrder_ = order;
    const QModelIndexList from = persistentIndexList();
    std::vector<uint32_t> oldOrder;
    if (!from.isEmpty()) oldOrder = order_;
    SortOrderInPlace();
    if (!from.isEmpty()) {
        // The view's current row and selection follow their records.
        std::vector<int> rowOfEntry(list_ ? list_->size() : 0, -1);
        for (size_t row = 0; row < order_.size(); ++row) rowOfEntry[order_[row]] = static_cast<int>(row);
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& old : from)
            to.append(index(rowOfEntry[oldOrder[static_cast<size_t>(old.row())]], old.column()));
        changePersistentIndexList(from, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TInvoiceListView::setModel(QAbstractItemModel* model) {
    for (const QMetaObject::Connection& c : watches_) disconnect(c);
    watches_.clear();
    laidRows_ = -1;
    sortedOnly_ = false;
    QTreeView::setModel(model);
    if (!model) return;
    watches_.push_back(connect(model, &QAbstractItemModel::layoutChanged, this,
                               [this](const QList<QPersistentModelIndex>& parents,
                                      QAbstractItemModel::LayoutChangeHint hint) {
                                   if (hint == QAbstractItemModel::VerticalSortHint && parents.isEmpty())
                                       sortedOnly_ = true;
                                   else
                                       laidRows_ = -1;
                               }));
    const auto forget = [this] { laidRows_ = -1; };
    watches_.push_back(connect(model, &QAbstractItemModel::rowsInserted, this, forget));
    watches_.push_back(connect(model, &QAbstractItemModel::rowsRemoved, this, forget));
    watches_.push_back(connect(model, &QAbstractItemModel::rowsMoved, this, forget));
    watches_.push_back(connect(model, &QAbstractItemModel::columnsInserted, this, forget));
    watches_.push_back(connect(model, &QAbstractItemModel::columnsRemoved, this, forget));
    watches_.push_back(connect(model, &QAbstractItemModel::modelReset, this, forget));
}

void TInvoiceListView::doItemsLayout() {
    TInvoiceListModel* model = InvoiceListModelOf(this);
    const bool keepItems = sortedOnly_ && laidRows_ >= 0 && model && uniformRowHeights() &&
                           !rootIndex().isValid() && model->rowCount() == laidRows_;
    sortedOnly_ = false;
    if (keepItems) {
        // What is left of a layout once the items stand: the geometries and a repaint.
        QAbstractItemView::doItemsLayout();
        return;
    }
    QTreeView::doItemsLayout();
    laidRows_ = model && !rootIndex().isValid() ? model->rowCount() : -1;
}

void TInvoiceListView::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const std::function<void()>* handler = nullptr;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2: handler = plain ? &OnModify : nullptr; break;
    case Qt::Key_Delete: handler = plain ? &OnDelete : nullptr; break;
    case Qt::Key_Space:
        if (plain && currentIndex().isValid() && selectionModel()) {
            event->accept();
            selectionModel()->select(currentIndex(), QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
            return;
        }
        break;
    default: break;
    }
    if (handler && *handler) {
        event->accept();
        (*handler)();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TInvoiceListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    if (index.row() != currentIndex().row() || !currentIndex().isValid()) return;
    const QRect row(-header()->offset(), option.rect.top(), header()->length(), option.rect.height());
    painter->save();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(hasFocus() ? QPen(QColor(0x1C, 0x5A, 0xA6), 1) : QPen(QColor(0x9A, 0x9A, 0x9A), 1, Qt::DotLine));
    painter->drawRect(row.adjusted(0, 0, -1, -1));
    painter->restore();
}

void TInvoiceListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    viewport()->update();
}

void TInvoiceListView::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void TInvoiceListView::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

TInvoiceListModel* InvoiceListModelOf(const QTreeView* view) {
    return view ? qobject_cast<TInvoiceListModel*>(view->model()) : nullptr;
}

}  // namespace vantrel

void SetupListColumns(QTreeView* view, std::span<const vantrel::TListColumnDef> columns) {
    vantrel::TInvoiceListModel* model = vantrel::InvoiceListModelOf(view);
    if (!model) return;
    model->SetColumns(columns);
    QHeaderView* header = view->header();
    for (size_t i = 0; i < columns.size(); ++i) {
        header->setSectionResizeMode(static_cast<int>(i), QHeaderView::Interactive);
        header->resizeSection(static_cast<int>(i), columns[i].width);
    }
}

void ResetListRows(QTreeView* view, int count) {
    if (vantrel::TInvoiceListModel* model = vantrel::InvoiceListModelOf(view)) model->ResetRows(count);
}

namespace vantrel {

QString InvoiceListText(const QTreeView* view, const std::vector<int>& rows) {
    const QAbstractItemModel* model = view ? view->model() : nullptr;
    if (!model) return QString();
    const QHeaderView* header = view->header();
    std::vector<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (column != ColSelect && !header->isSectionHidden(column)) columns.push_back(column);
    }
    QStringList lines;
    QStringList cells;
    for (int column : columns) cells << model->headerData(column, Qt::Horizontal).toString();
    lines << cells.join(QLatin1Char('\t'));
    for (int row : rows) {
        cells.clear();
        for (int column : columns) cells << model->index(row, column).data().toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace vantrel

#include "ui/manager/f_doohckey.h"

#include "ui/common/f_Colors.h"
#include "ui/common/f_FormSupport.h"
#include "ui/common/f_InvoiceListModel.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionHeader>
#include <QTreeView>

#include <algorithm>

namespace {

// Paints every header section on the tinted background with a raised edge on its right and
// bottom, and the sort arrow the desktop way: pointing up for an ascending column (Qt's own
// styles point it down).
class THeaderStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element != CE_HeaderSection) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QRect r = option->rect;
        painter->save();
        painter->fillRect(r, vantrel::HostColor(vantrel::kHeaderBackColor));
        painter->setPen(QColor(255, 255, 255));
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.topLeft(), r.bottomLeft());
        painter->setPen(QColor(160, 160, 160));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element != PE_IndicatorHeaderArrow || !header || header->sortIndicator == QStyleOptionHeader::None) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // Qt marks an ascending column SortDown.
        const bool ascending = header->sortIndicator == QStyleOptionHeader::SortDown;
        const QRectF r = QRectF(option->rect).adjusted(1, 1, -1, -1);
        const qreal side = std::min<qreal>(std::min(r.width(), r.height()), 9);
        const QPointF c = r.center();
        const qreal h = side * 0.55;
        QPolygonF triangle;
        if (ascending)
            triangle << QPointF(c.x() - side / 2, c.y() + h / 2) << QPointF(c.x() + side / 2, c.y() + h / 2)
                     << QPointF(c.x(), c.y() - h / 2);
        else
            triangle << QPointF(c.x() - side / 2, c.y() - h / 2) << QPointF(c.x() + side / 2, c.y() - h / 2)
                     << QPointF(c.x(), c.y() + h / 2);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(option->palette.color(QPalette::ButtonText));
        painter->drawPolygon(triangle);
        painter->restore();
    }
};

QFont HeaderFont(const QFont& base) {
    QFont font(base);
    font.setFamilies(vantrel::SongFamilies());
    font.setPointSize(9);
    return font;
}

}  // namespace

TDoohckey::TDoohckey() = default;

TDoohckey::~TDoohckey() {
    Restore();
}

bool TDoohckey::Attach(QTreeView* view) {
    vantrel::TInvoiceListModel* model = vantrel::InvoiceListModelOf(view);
    if (attached_ || !model || !view->selectionModel()) return false;
    view_ = view;
    model_ = model;
    QHeaderView* header = view->header();

    saved_.headerHadOwnStyle = header->testAttribute(Qt::WA_SetStyle);
    saved_.headerStyle = saved_.headerHadOwnStyle ? header->style() : nullptr;
    saved_.headerHadOwnFont = header->testAttribute(Qt::WA_SetFont);
    saved_.headerFont = header->font();
    saved_.sortingEnabled = view->isSortingEnabled();
    saved_.sortIndicatorShown = header->isSortIndicatorShown();
    saved_.sortSection = header->sortIndicatorSection();
    saved_.sortOrder = header->sortIndicatorOrder();
    saved_.sectionsClickable = header->sectionsClickable();
    saved_.highlightSections = header->highlightSections();
    saved_.headerMinHeight = header->minimumHeight();
    saved_.headerMaxHeight = header->maximumHeight();
    saved_.hadOwnPalette = view->testAttribute(Qt::WA_SetPalette);
    saved_.palette = view->palette();
    saved_.frameShape = view->frameShape();
    saved_.selectionMode = view->selectionMode();
    saved_.selectionBehavior = view->selectionBehavior();

    // Sorting goes through our header click, never through the view's own sort hook.
    view->setSortingEnabled(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(model->SortColumn(), model->SortOrder());
    model->SetSortColumnColor(vantrel::HostColor(vantrel::kSortColumnColor));
    header->setFont(HeaderFont(header->font()));
    headerStyle_ = std::make_unique<THeaderStyle>();
    header->setStyle(headerStyle_.get());
    header->setFixedHeight(24);

    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setFrameShape(QFrame::NoFrame);
    // Selected rows are shown by their ticks, not by a highlight.
    QPalette palette = view->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, QColor(0, 0, 0, 0));
        palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
    }
    view->setPalette(palette);

    connections_.push_back(connect(header, &QHeaderView::sectionClicked, this, &TDoohckey::HeaderClick));
    connections_.push_back(connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                                   &TDoohckey::SelectionChanged));
    connections_.push_back(connect(model, &vantrel::TInvoiceListModel::CheckToggled, this, &TDoohckey::CheckToggled));
    view->viewport()->installEventFilter(this);
    attached_ = true;
    return true;
}

void TDoohckey::Restore() {
    if (!attached_) return;
    attached_ = false;
    for (const QMetaObject::Connection& c : connections_) disconnect(c);
    connections_.clear();
    // Widgets must not be touched once the application object is gone (process exit).
    QTreeView* view = QCoreApplication::instance() ? view_.data() : nullptr;
    if (view) {
        view->viewport()->removeEventFilter(this);
        QHeaderView* header = view->header();
        header->setStyle(saved_.headerHadOwnStyle ? saved_.headerStyle.data() : nullptr);
        // An empty font or palette has no resolved members: the widget inherits again.
        header->setFont(saved_.headerHadOwnFont ? saved_.headerFont : QFont());
        header->setMinimumHeight(saved_.headerMinHeight);
        header->setMaximumHeight(saved_.headerMaxHeight);
        header->setHighlightSections(saved_.highlightSections);
        header->setSortIndicator(saved_.sortSection, saved_.sortOrder);
        header->setSortIndicatorShown(saved_.sortIndicatorShown);
        header->setSectionsClickable(saved_.sectionsClickable);
        if (saved_.sortingEnabled) view->setSortingEnabled(true);
        view->setPalette(saved_.hadOwnPalette ? saved_.palette : QPalette());
        view->setFrameShape(static_cast<QFrame::Shape>(saved_.frameShape));
        view->setSelectionMode(static_cast<QAbstractItemView::SelectionMode>(saved_.selectionMode));
        view->setSelectionBehavior(static_cast<QAbstractItemView::SelectionBehavior>(saved_.selectionBehavior));
    }
    if (vantrel::TInvoiceListModel* model = QCoreApplication::instance() ? model_.data() : nullptr)
        model->SetSortColumnColor(QColor());
    headerStyle_.reset();
}

void TDoohckey::HeaderClick(int column) {
    vantrel::TInvoiceListModel* model = model_;
    QTreeView* view = view_;
    if (!model || !view) return;
    if (column > vantrel::ColSelect && column < model->columnCount()) {
        Qt::SortOrder order = model->SortOrder();
        if (column == model->SortColumn())
            order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
        model->sort(column, order);
    }
    // The header flips its own arrow on every click; it always shows the list's real order.
    view->header()->setSortIndicator(model->SortColumn(), model->SortOrder());
}

void TDoohckey::SelectionChanged() {
    vantrel::TInvoiceListModel* model = model_;
    QTreeView* view = view_;
    if (!model || !view) return;
    std::vector<bool> checked(static_cast<size_t>(model->rowCount()), false);
    for (const QItemSelectionRange& range : view->selectionModel()->selection()) {
        if (range.parent().isValid()) continue;
        for (int row = std::max(range.top(), 0); row <= range.bottom() && row < model->rowCount(); ++row)
            checked[static_cast<size_t>(row)] = true;
    }
    model->SetCheckedRows(checked);
    view->viewport()->update();
}

void TDoohckey::CheckToggled(int row, bool checked) {
    vantrel::TInvoiceListModel* model = model_;
    QTreeView* view = view_;
    if (!model || !view) return;
    const QModelIndex cell = model->index(row, 0);
    view->selectionModel()->select(cell, (checked ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                             QItemSelectionModel::Rows);
}

bool TDoohckey::eventFilter(QObject* watched, QEvent* event) {
    // The type first: the viewport still gets events while its view is half destroyed, and
    // the view must not be looked at then.
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonRelease)
        return false;
    QTreeView* view = view_;
    vantrel::TInvoiceListModel* model = model_;
    if (!view || !model || watched != view->viewport()) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || (mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
        return false;
    const QModelIndex cell = view->indexAt(mouse->position().toPoint());
    if (!cell.isValid() || cell.column() != vantrel::ColSelect) return false;
    // A double click there is the row's double click (修改), not a second tick.
    if (type == QEvent::MouseButtonDblClick) {
        emit view->doubleClicked(cell);
        return true;
    }
    // The check column is the row's check box: a click ticks or unticks that row alone and
    // leaves the other rows' selection as it is.
    if (type == QEvent::MouseButtonPress) {
        const bool nowChecked = !model->IsChecked(cell.row());
        model->setData(cell, nowChecked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        view->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    }
    return true;
}

namespace {
// A plain pointer, not a static object: the module's unload releases the registry itself,
// whatever the order in which static destruction would have taken it down.
std::vector<std::unique_ptr<TDoohckey>>* g_registry = nullptr;
}  // namespace

std::vector<std::unique_ptr<TDoohckey>>& DecoratorRegistry() {
    if (!g_registry) g_registry = new std::vector<std::unique_ptr<TDoohckey>>();
    return *g_registry;
}

namespace vantrel {

void ReleaseDecoratorRegistry() {
    std::vector<std::unique_ptr<TDoohckey>>* registry = g_registry;
    g_registry = nullptr;
    delete registry;  // decorators give the lists their handlers back
}

}  // namespace vantrel

bool AttachListDecorator(QTreeView* view) {
    if (!view) return false;
    auto& registry = DecoratorRegistry();
    // A second decorator would undo the first one's sort flip on every click.
    for (const auto& d : registry)
        if (d->ListControl() == view) return true;
    auto decorator = std::make_unique<TDoohckey>();
    if (!decorator->Attach(view)) return false;
    TDoohckey* raw = decorator.get();
    // A view destroyed while decorated takes its decorator out of the registry with it.
    // QWidget announces its destruction while it still looks alive to a QPointer.
    QObject::connect(view, &QObject::destroyed, raw, [raw] {
        raw->ForgetListControl();
        auto& list = DecoratorRegistry();
        const auto it = std::find_if(list.begin(), list.end(), [raw](const auto& d) { return d.get() == raw; });
        if (it != list.end()) {
            std::unique_ptr<TDoohckey> doomed = std::move(*it);
            list.erase(it);
        }
    });
    registry.push_back(std::move(decorator));
    return true;
}

void DetachListDecorator(QTreeView* view) {
    if (!view) return;
    auto& registry = DecoratorRegistry();
    std::vector<std::unique_ptr<TDoohckey>> doomed;
    for (auto it = registry.begin(); it != registry.end();) {
        if ((*it)->ListControl() == view) {
            doomed.push_back(std::move(*it));
            it = registry.erase(it);
        } else {
            ++it;
        }
    }
}

// The list decorator: a tinted owner-drawn header, sorting by header clicks, and check boxes
// that always mirror the row selection. Attaching saves what it replaces on the view;
// detaching puts all of it back, so a view outlives its decorator unchanged.
#pragma once

#include "ui/common/f_InvoiceListModel.h"

#include <QFont>
#include <QMetaObject>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QTreeView>

#include <memory>
#include <vector>

class QStyle;

namespace vantrel {
inline constexpr int32_t kHeaderBackColor = 16773860;
inline constexpr int32_t kSortColumnColor = 16250871;
}  // namespace vantrel

class TDoohckey : public QObject {
    Q_OBJECT
public:
    TDoohckey();
    ~TDoohckey() override;  // puts the saved handlers back

    // False (and nothing changed) when the view has no invoice list model.
    bool Attach(QTreeView* view);
    QTreeView* ListControl() const { return view_; }
    // The view is being destroyed: nothing of it is to be restored.
    void ForgetListControl() { view_ = nullptr; }

    // What a left click on a header section does; also reachable without a mouse.
    void HeaderClick(int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Restore();
    void SelectionChanged();
    void CheckToggled(int row, bool checked);

    QPointer<QTreeView> view_;
    QPointer<vantrel::TInvoiceListModel> model_;
    std::unique_ptr<QStyle> headerStyle_;

    // The view as it was before attaching.
    struct Saved {
        QPointer<QStyle> headerStyle;
        bool headerHadOwnStyle = false;
        QFont headerFont;
        bool headerHadOwnFont = false;
        bool sortingEnabled = false;
        bool sortIndicatorShown = false;
        int sortSection = -1;
        Qt::SortOrder sortOrder = Qt::AscendingOrder;
        bool sectionsClickable = false;
        bool highlightSections = false;
        int headerMinHeight = 0;
        int headerMaxHeight = 0;
        QPalette palette;
        bool hadOwnPalette = false;
        int frameShape = 0;
        int selectionMode = 0;
        int selectionBehavior = 0;
    } saved_;
    std::vector<QMetaObject::Connection> connections_;
    bool attached_ = false;
};

// The module-wide list of live decorators.
std::vector<std::unique_ptr<TDoohckey>>& DecoratorRegistry();
namespace vantrel {
// Releases every decorator (module unload).
void ReleaseDecoratorRegistry();
}  // namespace vantrel

// Creates a decorator for the view and keeps it in the registry; false when attaching failed.
bool AttachListDecorator(QTreeView* view);
// Releases every decorator of the view.
void DetachListDecorator(QTreeView* view);

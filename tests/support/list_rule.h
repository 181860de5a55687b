// The rule of every list of invoices (the manager's, the drill-down's), driven through real
// mouse and key events: the ticked rows are the selected rows; a plain click or cursor key
// selects that one row, Ctrl toggles one, Shift extends, Space toggles the row with the focus,
// Ctrl+A ticks all, a box ticks or unticks its row alone, the 选择 header changes nothing; the
// row with the focus is framed.
#pragma once

#include "ui/common/f_InvoiceListModel.h"

#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace testlist {

inline void Click(QTreeView* view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int column = vantrel::ColFs) {
    const QRect cell = view->visualRect(view->model()->index(row, column));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cell.center());
}

inline std::vector<int> SelectedRows(QTreeView* view) {
    std::vector<int> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Runs the table on a shown list of at least five rows, none ticked.
inline void CheckListRule(QTreeView* view) {
    vantrel::TInvoiceListModel* model = vantrel::InvoiceListModelOf(view);
    ASSERT_TRUE(model);
    ASSERT_GE(model->rowCount(), 5);
    enum Kind { Row, Box, Key, Header };
    struct Step {
        Kind kind;
        int target;  // row, key or column
        Qt::KeyboardModifiers modifiers;
        std::vector<int> ticked;
        int focus;
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    const Step steps[] = {
        {Row, 1, none, {1}, 1},
        {Row, 3, shift, {1, 2, 3}, 3},
        {Row, 2, ctrl, {1, 3}, 2},
        {Row, 0, ctrl, {0, 1, 3}, 0},
        {Box, 4, none, {0, 1, 3, 4}, 4},
        {Box, 0, none, {1, 3, 4}, 0},
        {Row, 2, none, {2}, 2},  // a plain click drops the earlier ticks
        {Key, Qt::Key_Down, none, {3}, 3},
        {Key, Qt::Key_Down, shift, {3, 4}, 4},
        {Key, Qt::Key_Up, ctrl, {3, 4}, 3},
        {Key, Qt::Key_Up, ctrl, {3, 4}, 2},
        {Key, Qt::Key_Space, none, {2, 3, 4}, 2},
        {Key, Qt::Key_Space, none, {3, 4}, 2},
        {Key, Qt::Key_A, ctrl, {0, 1, 2, 3, 4}, 2},
        {Header, vantrel::ColSelect, none, {0, 1, 2, 3, 4}, 2},
        {Key, Qt::Key_Home, none, {0}, 0},
        {Header, vantrel::ColSelect, none, {0}, 0},
    };
    int n = 0;
    for (const Step& step : steps) {
        switch (step.kind) {
        case Row: Click(view, step.target, step.modifiers); break;
        case Box: Click(view, step.target, step.modifiers, vantrel::ColSelect); break;
        case Key: QTest::keyClick(view, static_cast<Qt::Key>(step.target), step.modifiers); break;
        case Header: {
            QHeaderView* header = view->header();
            const QPoint at(header->sectionViewportPosition(step.target) + header->sectionSize(step.target) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, step.modifiers, at);
            break;
        }
        }
        ++n;
        EXPECT_EQ(model->CheckedRows(), step.ticked) << "step " << n;
        EXPECT_EQ(SelectedRows(view), step.ticked) << "step " << n;
        EXPECT_EQ(view->currentIndex().row(), step.focus) << "step " << n;
    }
    // The focus frame: the top edge of the focused row differs from that of an unfocused one.
    const QImage image = view->viewport()->grab().toImage();
    const int x = view->visualRect(model->index(0, vantrel::ColFplxmc)).center().x();
    const int focused = view->visualRect(model->index(0, vantrel::ColFplxmc)).top();
    const int other = view->visualRect(model->index(3, vantrel::ColFplxmc)).top();
    EXPECT_NE(image.pixelColor(x, focused), image.pixelColor(x, other));
}

}  // namespace testlist

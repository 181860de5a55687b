#include "entry_helpers.h"

#include "corlith/corlith_test.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowEdit.h"

#include <QTest>

#include <gtest/gtest.h>

namespace testhost {

void Choose(TPellowComboBox* combo, const std::string& text) {
    const int index = combo->IndexOfItem(text);
    ASSERT_GE(index, 0) << "no item " << text;
    if (index > 0) {
        combo->SetItemIndex(index - 1);
        QTest::keyClick(combo, Qt::Key_Down);
    } else {
        combo->SetItemIndex(1);
        QTest::keyClick(combo, Qt::Key_Up);
    }
    ASSERT_EQ(combo->ItemIndex(), index);
}

void TypeInto(TPellowEdit* edit, const char* keys) {
    edit->selectAll();
    if (*keys == 0)
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, QString::fromLatin1(keys));
}

int LastMessageNumber() {
    const auto& m = corlith::test::Messages();
    return m.empty() ? 0 : m.back().number;
}

}  // namespace testhost

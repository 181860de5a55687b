// The controls of the package and the lookup lists bound to combo boxes.
#include "invoice/f_FpDealGlobal.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowDTPicker.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"
#include "ui/common/f_LookupCombos.h"

#include "support/host_fixture.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        window_ = std::make_unique<QWidget>();
        layout_ = new QVBoxLayout(window_.get());
    }
    template <typename T>
    T* Add(T* control) {
        layout_->addWidget(control);
        window_->show();
        return control;
    }
    std::unique_ptr<QWidget> window_;
    QVBoxLayout* layout_ = nullptr;
};

void Focus(QWidget* w, Qt::FocusReason reason, bool in) {
    QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(w, &event);
}

}  // namespace

// ---- TPellowEdit -------------------------------------------------------------------------

TEST_F(ControlsTest, EditTextIsGbkAtTheModuleSide) {
    auto* edit = Add(new TPellowEdit);
    edit->SetText("购方税号");
    EXPECT_EQ(edit->text(), QString::fromUtf16(u"购方税号"));
    EXPECT_EQ(edit->Text(), "购方税号");
    edit->setText(QString::fromUtf16(u"纳税检查调整"));
    EXPECT_EQ(edit->Text(), "纳税检查调整");
}

TEST_F(ControlsTest, EditValueFollowsDecimalLengthAndReadsTheText) {
    auto* edit = Add(new TPellowEdit);
    edit->SetDecimalLength(2);
    edit->SetValue(12.5);
    EXPECT_EQ(edit->text(), QStringLiteral("12.50"));
    edit->SetValue(0);
    EXPECT_EQ(edit->text(), QStringLiteral("0.00"));
    edit->setText(QStringLiteral(" -3.25 "));
    EXPECT_DOUBLE_EQ(edit->Value(), -3.25);
    edit->setText(QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(edit->Value(), 0.0);
    edit->setText(QString());
    EXPECT_DOUBLE_EQ(edit->Value(), 0.0);

    auto* count = Add(new TPellowEdit);
    count->SetInputStyle(ISNumber);
    count->SetValue(0);
    EXPECT_EQ(count->text(), QStringLiteral("0"));
    count->SetValue(42);
    EXPECT_EQ(count->text(), QStringLiteral("42"));
}

TEST_F(ControlsTest, EditMaxLengthZeroMeansNoLimit) {
    auto* edit = Add(new TPellowEdit);
    EXPECT_EQ(edit->MaxLength(), 0);
    edit->SetMaxLength(5);
    QTest::keyClicks(edit, "1234567");
    EXPECT_EQ(edit->text(), QStringLiteral("12345"));
    edit->SetMaxLength(0);
    EXPECT_EQ(edit->MaxLength(), 0);
    QTest::keyClicks(edit, "67");
    EXPECT_EQ(edit->text(), QStringLiteral("1234567"));
}

TEST_F(ControlsTest, EditKeyPressHookSeesCharactersAndCanDiscardThem) {
    auto* edit = Add(new TPellowEdit);
    std::vector<int> seen;
    edit->OnKeyPress = [&](TPellowEdit* sender, char key) {
        EXPECT_EQ(sender, edit);
        seen.push_back(key);
        return key != '5';
    };
    QTest::keyClicks(edit, "1525");
    EXPECT_EQ(edit->text(), QStringLiteral("12"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Left);  // types nothing: the hook is not asked
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
    EXPECT_EQ(seen, (std::vector<int>{'1', '5', '2', '5', 8, 13}));
}

TEST_F(ControlsTest, EditKeyDownHookCanDiscardDelete) {
    auto* edit = Add(new TPellowEdit);
    edit->setText(QStringLiteral("12.34"));
    edit->SetSelStart(2);
    bool refuse = true;
    std::vector<int> keys;
    edit->OnKeyDown = [&](TPellowEdit*, int key) {
        keys.push_back(key);
        return !(refuse && key == Qt::Key_Delete);
    };
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("12.34"));
    refuse = false;
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("1234"));
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Delete, Qt::Key_Delete}));
}

TEST_F(ControlsTest, EditInputStylesFilterTypedCharacters) {
    auto* number = Add(new TPellowEdit);
    number->SetInputStyle(ISNumber);
    QTest::keyClicks(number, "1a2.-3");
    EXPECT_EQ(number->text(), QStringLiteral("123"));

    auto* decimal = Add(new TPellowEdit);
    decimal->SetInputStyle(ISFloat);
    QTest::keyClicks(decimal, "-1x2.5");
    EXPECT_EQ(decimal->text(), QStringLiteral("-12.5"));

    auto* plain = Add(new TPellowEdit);
    QTest::keyClicks(plain, "a1-");
    EXPECT_EQ(plain->text(), QStringLiteral("a1-"));
}

TEST_F(ControlsTest, EditCaretAndSelectionAsAKeyFilterSeesThem) {
    auto* edit = Add(new TPellowEdit);
    edit->setText(QStringLiteral("123.45"));
    edit->SetSelStart(4);
    EXPECT_EQ(edit->SelStart(), 4);
    EXPECT_EQ(edit->SelLength(), 0);
    edit->SetSelLength(2);
    EXPECT_EQ(edit->SelStart(), 4);
    EXPECT_EQ(edit->SelLength(), 2);
    EXPECT_EQ(edit->selectedText(), QStringLiteral("45"));
    // A selection made leftwards still starts at its left end.
    edit->setSelection(5, -3);
    EXPECT_EQ(edit->SelStart(), 2);
    EXPECT_EQ(edit->SelLength(), 3);
    edit->selectAll();
    EXPECT_EQ(edit->SelStart(), 0);
    EXPECT_EQ(edit->SelLength(), 6);
}

TEST_F(ControlsTest, EditInputMethodModeMapsToQtHints) {
    auto* edit = Add(new TPellowEdit);
    edit->SetImeMode(vantrel::kImeClose);
    EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(edit->inputMethodHints() & Qt::ImhLatinOnly);
    edit->SetImeMode(vantrel::kImeOpen);
    EXPECT_TRUE(edit->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_FALSE(edit->inputMethodHints() & Qt::ImhLatinOnly);
    edit->SetInputStyle(ISNumber);
    EXPECT_TRUE(edit->inputMethodHints() & Qt::ImhDigitsOnly);
    edit->SetImeName("英语");
    EXPECT_EQ(edit->ImeName(), "英语");
}

TEST_F(ControlsTest, EditChangeEventFollowsEveryTextChange) {
    auto* edit = Add(new TPellowEdit);
    std::vector<std::string> texts;
    QObject::connect(edit, &TPellowEdit::OnChange, edit, [&](TPellowEdit* sender) { texts.push_back(sender->Text()); });
    edit->SetText("10");
    QTest::keyClicks(edit, "5");
    EXPECT_EQ(texts, (std::vector<std::string>{"10", "105"}));
}

TEST_F(ControlsTest, EditEntryAndExitIgnoreWindowActivation) {
    auto* edit = Add(new TPellowEdit);
    int enters = 0, exits = 0;
    QObject::connect(edit, &TPellowEdit::OnEnter, edit, [&] { ++enters; });
    QObject::connect(edit, &TPellowEdit::OnExit, edit, [&] { ++exits; });
    Focus(edit, Qt::TabFocusReason, true);
    EXPECT_EQ(enters, 1);
    // Another window takes the focus and gives it back: neither an exit nor a new entry.
    Focus(edit, Qt::ActiveWindowFocusReason, false);
    Focus(edit, Qt::ActiveWindowFocusReason, true);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 0);
    Focus(edit, Qt::TabFocusReason, false);
    EXPECT_EQ(exits, 1);
    Focus(edit, Qt::MouseFocusReason, true);
    EXPECT_EQ(enters, 2);
}

TEST_F(ControlsTest, EditContextMenuHookSuppressesTheMenu) {
    auto* edit = Add(new TPellowEdit);
    int asked = 0;
    edit->OnContextPopup = [&](TPellowEdit*, const QPoint&) {
        ++asked;
        return true;
    };
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(edit, &event);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(event.isAccepted());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(ControlsTest, EditCanFocusOnlyWhenEnabledAndShown) {
    auto* edit = Add(new TPellowEdit);
    EXPECT_TRUE(edit->CanFocus());
    edit->setEnabled(false);
    EXPECT_FALSE(edit->CanFocus());
    edit->setEnabled(true);
    window_->setEnabled(false);
    EXPECT_FALSE(edit->CanFocus());
    window_->setEnabled(true);
    edit->hide();
    EXPECT_FALSE(edit->CanFocus());
}

// ---- TPellowComboBox -----------------------------------------------------------------------

TEST_F(ControlsTest, ComboKeepsItemValuesParallelToItems) {
    auto* combo = Add(new TPellowComboBox);
    EXPECT_FALSE(combo->isEditable());
    combo->AddItem("-请选择-");
    combo->AddItem("普通发票", "1");
    combo->AddItem("未开具发票", "3");
    EXPECT_EQ(combo->Items(), (std::vector<std::string>{"-请选择-", "普通发票", "未开具发票"}));
    EXPECT_EQ(combo->ItemValues(), (std::vector<std::string>{"", "1", "3"}));
    EXPECT_EQ(combo->IndexOfValue("3"), 2);
    EXPECT_EQ(combo->IndexOfValue("5"), -1);
    EXPECT_EQ(combo->IndexOfItem("普通发票"), 1);
    EXPECT_EQ(combo->ItemValue(7), "");

    combo->SetItemIndex(2);
    EXPECT_EQ(combo->Text(), "未开具发票");
    EXPECT_EQ(combo->SelectedValue(), "3");
    combo->SetItemIndex(-1);
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "");
    EXPECT_EQ(combo->SelectedValue(), "");

    combo->Clear();
    EXPECT_EQ(combo->ItemCount(), 0);
    EXPECT_TRUE(combo->ItemValues().empty());
    combo->AddItem("17%");
    EXPECT_EQ(combo->ItemValues(), (std::vector<std::string>{""}));
}

TEST_F(ControlsTest, ComboRaisesSelectAndChangeOnlyForTheUsersChoice) {
    auto* combo = Add(new TPellowComboBox);
    combo->AddItem("a", "1");
    combo->AddItem("b", "2");
    std::vector<std::string> events;
    QObject::connect(combo, &TPellowComboBox::OnSelect, combo,
                     [&](TPellowComboBox* c) { events.push_back("select " + c->Text()); });
    QObject::connect(combo, &TPellowComboBox::OnChange, combo,
                     [&](TPellowComboBox* c) { events.push_back("change " + c->Text()); });
    combo->SetItemIndex(0);
    combo->SetItemIndex(1);
    EXPECT_TRUE(events.empty());
    combo->SetItemIndex(0);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"select b", "change b"}));
}

// ---- the other controls --------------------------------------------------------------------------

TEST_F(ControlsTest, DatePickerShowsIsoDates) {
    auto* picker = Add(new TPellowDTPicker);
    picker->SetDate(QDate(2026, 11, 10));
    EXPECT_EQ(picker->text(), QStringLiteral("2026-11-10"));
    EXPECT_EQ(picker->Date(), QDate(2026, 11, 10));
    int changes = 0;
    QObject::connect(picker, &TPellowDTPicker::OnChange, picker, [&] { ++changes; });
    picker->SetDate(QDate(2026, 12, 1));
    EXPECT_EQ(changes, 1);
}

TEST_F(ControlsTest, RadioPairCanBeSetEitherWayIncludingUnchecking) {
    auto* box = new QWidget;
    auto* yes = new TPellowRadioButton("是", box);
    auto* no = new TPellowRadioButton("否", box);
    Add(box);
    EXPECT_EQ(yes->Caption(), "是");
    yes->SetChecked(true);
    EXPECT_TRUE(yes->Checked());
    no->SetChecked(true);
    EXPECT_FALSE(yes->Checked());
    // The package lets the program uncheck the checked button of a pair.
    no->SetChecked(false);
    EXPECT_FALSE(no->Checked());
    EXPECT_FALSE(yes->Checked());
    yes->SetChecked(true);
    EXPECT_TRUE(yes->Checked());
    EXPECT_FALSE(no->Checked());
    EXPECT_TRUE(no->autoExclusive());
}

TEST_F(ControlsTest, SpeedButtonFollowsItsActionOrItsOwnClick) {
    QAction action(QStringLiteral("add"));
    int triggered = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
    auto* bound = Add(new TModalSpeedButton);
    bound->SetAction(&action);
    QTest::mouseClick(bound, Qt::LeftButton);
    EXPECT_EQ(triggered, 1);
    action.setEnabled(false);
    EXPECT_FALSE(bound->isEnabled());
    QTest::mouseClick(bound, Qt::LeftButton);
    EXPECT_EQ(triggered, 1);

    auto* own = Add(new TModalSpeedButton("确定"));
    EXPECT_EQ(own->text(), QString::fromUtf16(u"确定"));
    int clicks = 0;
    QObject::connect(own, &TModalSpeedButton::OnClick, own, [&](TModalSpeedButton* sender) {
        EXPECT_EQ(sender, own);
        ++clicks;
    });
    QTest::mouseClick(own, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

// ---- lookup lists ---------------------------------------------------------------------------------

namespace {

class LookupComboTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        HostFixture::SetUp();
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    }
};

}  // namespace

TEST_F(LookupComboTest, InvoiceTypesLeaveOutNonSpecialInvoicesAndSelectThePlaceholder) {
    Exec("delete from sb07_fplxb");
    Exec("insert into sb07_fplxb(fplx, mc) values (5, '纳税检查调整')");
    Exec("insert into sb07_fplxb(fplx, mc) values (2, '非专用发票')");
    Exec("insert into sb07_fplxb(fplx, mc) values (3, '未开具发票')");
    TPellowComboBox combo;
    combo.AddItem("stale", "9");
    int changes = 0;
    QObject::connect(&combo, &TPellowComboBox::OnChange, &combo, [&] { ++changes; });
    FillInvoiceTypeCombo(&combo, testhost::ContextFor());
    EXPECT_EQ(combo.Items(), (std::vector<std::string>{"-请选择-", "未开具发票", "纳税检查调整"}));
    EXPECT_EQ(combo.ItemValues(), (std::vector<std::string>{"", "3", "5"}));
    EXPECT_EQ(combo.ItemIndex(), 0);
    // Filling again gives the same list.
    FillInvoiceTypeCombo(&combo, testhost::ContextFor());
    EXPECT_EQ(combo.ItemValues(), (std::vector<std::string>{"", "3", "5"}));
    EXPECT_EQ(changes, 0);
}

TEST_F(LookupComboTest, AFailedTypeQueryGivesTheUnknownEntry) {
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "no such table", "sb07_fplxb");
    TPellowComboBox combo;
    FillInvoiceTypeCombo(&combo, testhost::ContextFor());
    EXPECT_EQ(combo.Items(), (std::vector<std::string>{"-请选择-", "未知发票"}));
    EXPECT_EQ(combo.ItemValues(), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(combo.ItemIndex(), 0);
    EXPECT_TRUE(corlith::test::Messages().empty());
}

TEST_F(LookupComboTest, TaxRatesComeFromTheConfigurationAndNoneIsSelected) {
    TPellowComboBox combo;
    for (const char* item : {"17%", "13%", "6%", "4%"}) combo.AddItem(item);
    combo.SetItemIndex(1);
    FillTaxRateCombo(&combo);
    EXPECT_EQ(combo.Items(), (std::vector<std::string>{"17%", "0%"}));
    EXPECT_EQ(combo.ItemIndex(), -1);

    std::ofstream(subAppDir_ / "fp_config.ini") << "[xxqtfp]\nsl=|17| 13 ||6|\n";
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    FillTaxRateCombo(&combo);
    EXPECT_EQ(combo.Items(), (std::vector<std::string>{"17%", "13%", "6%"}));
    EXPECT_EQ(combo.ItemIndex(), -1);
}

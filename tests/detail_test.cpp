// The detail window: its input rules, the tax arithmetic, the entry checks and saving.
#include "context/f_ModuleContext.h"
#include "ui/detail/f_AmountInput.h"
#include "invoice/f_InvoiceChecks.h"
#include "ui/detail/f_XxqtfpDetail.h"

#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowDTPicker.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"

#include "support/entry_helpers.h"
#include "support/fault_steps.h"
#include "support/detail_fields.h"
#include "support/host_fixture.h"
#include "support/window_fixture.h"
#include "support/records.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>
#include <string>

using namespace amountinput;

namespace {

constexpr int kInt = 12;
constexpr int kDec = 2;

bool Press(const std::string& text, int caret, int sel, int key) {
    return AmountEditKeyPress(text, caret, sel, key, kInt, kDec);
}

}  // namespace

// ---- key filters -------------------------------------------------------------------------

// What the amount edit lets a typed key do to the text: (text, caret, selection length, key)
// with twelve integer places and two decimals.
TEST(AmountKeyFilter, TypedKeys) {
    const struct {
        const char* text;
        int caret, selection, key;
        bool accepted;
    } cases[] = {
        {"123456789012", 12, 0, '3', false},
        {"12345678901", 11, 0, '2', true},
        // With a point, the integer part is still capped while the decimals are free.
        {"123456789012.5", 3, 0, '1', false},
        {"123456789012.5", 14, 0, '1', true},
        // A leading minus takes one of the twelve places.
        {"-12345678901", 12, 0, '2', false},
        // No third decimal.
        {"1.25", 4, 0, '7', false},
        {"1.2", 3, 0, '7', true},
        // The caret right after the point counts as after it.
        {"1.25", 2, 0, '7', false},
        // Before the point the decimals do not matter.
        {"1.25", 0, 0, '7', true},
        // One point, after any minus; a minus only in front.
        {"1.2", 1, 0, '.', false},
        {"12", 1, 0, '.', true},
        {"-12", 0, 0, '.', false},  // before the minus
        {"-12", 1, 0, '.', true},
        {"12", 1, 0, '-', false},
        {"-12", 0, 0, '-', false},
        {"12", 0, 0, '-', true},
        // The whole text selected: both replace it.
        {"1.25", 0, 4, '.', true},
        {"-1.25", 0, 5, '-', true},
        {"", 0, 0, '-', true},
        // Other characters are discarded; Enter passes.
        {"1", 1, 0, 'a', false},
        {"1", 1, 0, ',', false},
        {"1", 1, 0, ' ', false},
        {"1", 1, 0, 22, false},  // Ctrl+V as a character
        {"123456789012.99", 15, 0, kEnter, true},
        // Backspace may not merge too many digits: deleting the point would leave 14.
        {"123456789012.34", 13, 0, kBackspace, false},
        {"123456789012.34", 15, 0, kBackspace, true},
        {"1234567890.12", 11, 0, kBackspace, true},  // 12 digits afterwards: fine
        // A selection holding the point.
        {"123456789012.34", 11, 2, kBackspace, false},  // "2." removed: 13 remain
        {"123456789012.34", 11, 3, kBackspace, true},  // "2.3" removed: 12 remain
        {"123456789012.34", 0, 2, kBackspace, true},  // point not selected
        // Selection holding the point: the result has no point.
        {"1.5", 0, 3, '7', true},
        {"123456789012.34", 12, 1, '7', false},
        {"123456789012.34", 12, 3, '7', false},
        {"123456789012.34", 11, 4, '7', true},
        // Selection before the point: one digit replaces several.
        {"123456789012.34", 0, 1, '7', true},
        {"12.5", 0, 2, '7', true},
        // Selection after the point.
        {"1.25", 2, 1, '7', true},
        {"1.25", 2, 2, '7', true},
        // No point at all.
        {"123456789012", 0, 1, '7', true},
        {"1234567890123", 0, 1, '7', false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Press(c.text, c.caret, c.selection, c.key), c.accepted)
            << c.text << " at " << c.caret << "+" << c.selection << " key " << c.key;
}

TEST(AmountKeyFilter, DeleteKeyBeforeThePoint) {
    const std::string longText = "123456789012.34";
    EXPECT_FALSE(AmountEditKeyDown(longText, 12, 0, Qt::Key_Delete, kInt));
    EXPECT_TRUE(AmountEditKeyDown(longText, 11, 0, Qt::Key_Delete, kInt));
    EXPECT_TRUE(AmountEditKeyDown("1234567890.12", 10, 0, Qt::Key_Delete, kInt));
    EXPECT_FALSE(AmountEditKeyDown(longText, 12, 2, Qt::Key_Delete, kInt));
    EXPECT_TRUE(AmountEditKeyDown(longText, 11, 4, Qt::Key_Delete, kInt));
    // Only Delete is looked at.
    EXPECT_TRUE(AmountEditKeyDown(longText, 12, 0, Qt::Key_Left, kInt));
}

TEST(AmountKeyFilter, CaretAndSelectionOutsideTheTextCountAsItsEnds) {
    // Found by fuzzing: a selection length of INT_MIN overflowed the arithmetic.
    constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
    EXPECT_EQ(Press("1.25", 3, kMin, '7'), Press("1.25", 3, 0, '7'));
    EXPECT_EQ(Press("1.25", kMax, kMax, '7'), Press("1.25", 4, 0, '7'));
    EXPECT_EQ(Press("123.4", kMin, kMax, '-'), Press("123.4", 0, 5, '-'));
    EXPECT_EQ(AmountEditKeyDown("123456789012.34", kMax, kMin, Qt::Key_Delete, kInt),
              AmountEditKeyDown("123456789012.34", 15, 0, Qt::Key_Delete, kInt));
}

TEST(CountKeyFilter, TakesDigitsBackspaceAndEnterOnly) {
    for (int key = '0'; key <= '9'; ++key) EXPECT_TRUE(CountEditKeyPress(key)) << key;
    EXPECT_TRUE(CountEditKeyPress(kBackspace));
    EXPECT_TRUE(CountEditKeyPress(kEnter));
    EXPECT_FALSE(CountEditKeyPress('-'));
    EXPECT_FALSE(CountEditKeyPress('.'));
    EXPECT_FALSE(CountEditKeyPress('e'));
}

// ---- number texts ------------------------------------------------------------------------

TEST(AmountText, NormalisingOnExit) {
    EXPECT_EQ(NormaliseAmountText("", 2), "0.00");
    EXPECT_EQ(NormaliseAmountText("-", 2), "0.00");
    EXPECT_EQ(NormaliseAmountText("12.5", 2), "12.50");
    EXPECT_EQ(NormaliseAmountText("12.", 2), "12.00");
    EXPECT_EQ(NormaliseAmountText(".5", 2), "0.50");
    EXPECT_EQ(NormaliseAmountText("-3", 2), "-3.00");
    EXPECT_EQ(NormaliseAmountText("123456789012.99", 2), "123456789012.99");
    EXPECT_EQ(NormaliseAmountText(".", 2), "0.0");
    EXPECT_EQ(NormaliseAmountText("-.", 2), "0.0");
}

TEST(AmountText, HalvesGoAwayFromZero) {
    EXPECT_EQ(FormatHalfAway(1.005, 2), "1.01");   // 1.00499999... in binary
    EXPECT_EQ(FormatHalfAway(-1.005, 2), "-1.01");
    EXPECT_EQ(FormatHalfAway(2.675, 2), "2.68");
    EXPECT_EQ(FormatHalfAway(9.995, 2), "10.00");
    EXPECT_EQ(FormatHalfAway(0.004, 2), "0.00");
    EXPECT_EQ(FormatHalfAway(-0.004, 2), "0.00");
    EXPECT_EQ(FormatHalfAway(1234.5, 0), "1235");
    EXPECT_EQ(FormatHalfAway(0.0001, 2), "0.00");
}

TEST(AmountText, ParsingIsStrict) {
    double v = -1;
    EXPECT_TRUE(ParseDecimal(" 12.5 ", v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_TRUE(ParseDecimal("-0.05", v));
    EXPECT_DOUBLE_EQ(v, -0.05);
    for (const char* bad : {"", "-", ".", "1,5", "1.2.3", "abc", "inf", "nan", "0x10", "1e", "--1"})
        EXPECT_FALSE(ParseDecimal(bad, v)) << bad;

    int n = -1;
    EXPECT_TRUE(ParseInt32("2147483647", n));
    EXPECT_EQ(n, 2147483647);
    EXPECT_TRUE(ParseInt32("-5", n));
    EXPECT_EQ(n, -5);
    for (const char* bad : {"", "2147483648", "1.0", "12a", "-", "+-1"})
        EXPECT_FALSE(ParseInt32(bad, n)) << bad;
}

// ---- the window ----------------------------------------------------------------------------

namespace {

using corlith::test::FailPoint;
using corlith::test::MessageKind;

std::string DayText(const QDate& d) { return d.toString(QStringLiteral("yyyy-MM-dd")).toStdString(); }

bool HasFocusIn(QWidget* dialog, QWidget* control) {
    QWidget* f = dialog->focusWidget();
    return f && (f == control || control->isAncestorOf(f));
}

using testhost::Choose;
using testhost::Fields;
using testhost::LastMessageNumber;
using testhost::SetEntered;
using testhost::SetFlags;
using testhost::TypeInto;

class DetailWindowTest : public testhost::WindowFixture<> {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        if (HasFatalFailure()) return;
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
        template_ = vantrel::MakeInvoiceTemplate(1, period_, vantrel::TodayText());
    }

    void TearDown() override {
        delete dialog_.data();
        FreeInvoiceList(list_);
        WindowFixture::TearDown();
    }

    void WriteConfig(const std::string& text) {
        std::ofstream(subAppDir_ / "fp_config.ini") << text;
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    }

    TFrmXxqtfpDetail* Open(uint8_t mode, Txxqtfpxx* record) {
        delete dialog_.data();
        dialog_ = new TFrmXxqtfpDetail(vantrel::ModuleContextFromHost());
        dialog_->SetEditMode(mode);
        dialog_->Bind(nullptr, &list_, [this] { ++refreshes_; }, record);
        dialog_->show();
        dialog_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_.data()));
        return dialog_.data();
    }

    // An entry that passes every check: an ordinary invoice of 100.00 at 17 %.
    void FillValid(TFrmXxqtfpDetail* d) {
        Choose(Fields(d).cbbFplx, "普通发票");
        TypeInto(Fields(d).edtfs, "2");
        TypeInto(Fields(d).edtje, "100");
        Fields(d).dtpKprq->SetDate(PeriodStartDate(period_).addDays(9));
    }

    void Commit(TFrmXxqtfpDetail* d) {
        corlith::test::ClearMessages();
        QTest::mouseClick(Fields(d).BtnCommit, Qt::LeftButton);
    }

    long long Rows() { return QueryInt("select count(*) from sb07_xxfpb"); }

    // Everything the module may write, as one text.
    std::string Snapshot() {
        return QueryText("select coalesce(group_concat(r, ';'), '') from (select nsrsbh||'|'||sbssq||'|'||xh||'|'||"
                         "fplx||'|'||kprq||'|'||fs||'|'||je||'|'||se||'|'||sl||'|'||gfnsr||'|'||jzjt||lwfp||ms||zfbz"
                         " as r from sb07_xxfpb order by xh)") +
               "#" + QueryText("select count(*) from SB07_FPTXQKB");
    }

    Txxqtfpxx template_;
    std::vector<Txxqtfpxx*> list_;
    int refreshes_ = 0;
    QPointer<TFrmXxqtfpDetail> dialog_;
};

}  // namespace

TEST_F(DetailWindowTest, AddingAfterTheLargestSequenceNumberIsRefusedPlainly) {
    constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
    template_.xh = kLargest;
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Commit(d);  // the largest number itself is free and is taken
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(template_.xh, kLargest);

    FillValid(d);
    TypeInto(Fields(d).edtje, "200");  // not the same invoice again
    Commit(d);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_NE(corlith::test::Messages().back().text.find("2147483647"), std::string::npos)
        << corlith::test::Messages().back().text;
    EXPECT_EQ(Rows(), 1);
}

TEST_F(DetailWindowTest, NewInvoiceOpensWithTheTemplateDefaults) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    EXPECT_EQ(d->windowTitle(), QString::fromUtf16(u"录入其他销项发票明细"));
    EXPECT_EQ(Fields(d).lbTitle->text(), QString::fromUtf16(u"  其他销项发票  "));
    EXPECT_TRUE(Fields(d).lbTitle->font().underline());
    EXPECT_EQ(Fields(d).cbbFplx->Items(), (std::vector<std::string>{"-请选择-", "普通发票", "未开具发票", "纳税检查调整"}));
    EXPECT_EQ(Fields(d).cbbFplx->ItemValues(), (std::vector<std::string>{"", "1", "3", "5"}));
    EXPECT_EQ(Fields(d).cbbFplx->ItemIndex(), 0);
    EXPECT_EQ(Fields(d).cbbSl->Items(), (std::vector<std::string>{"17%", "0%"}));
    EXPECT_EQ(Fields(d).cbbSl->Text(), "17%");
    EXPECT_EQ(Fields(d).dtpKprq->Date(), PeriodStartDate(period_).addDays(9));
    EXPECT_EQ(Fields(d).edtfs->Text(), "0");
    EXPECT_EQ(Fields(d).edtje->Text(), "0.00");
    EXPECT_EQ(Fields(d).edtse->Text(), "0.00");
    EXPECT_EQ(Fields(d).edtGfnsrsbh->Text(), "");
    for (TPellowRadioButton* no : {Fields(d).rbLwfp_No, Fields(d).rbZF_No, Fields(d).rbJZJT_No, Fields(d).rbMS_No}) EXPECT_TRUE(no->Checked());
    for (TPellowRadioButton* yes : {Fields(d).rbLwfp_Yes, Fields(d).rbZF_Yes, Fields(d).rbJZJT_YES, Fields(d).rbMS_YES})
        EXPECT_FALSE(yes->Checked());
    EXPECT_TRUE(Fields(d).dtpKprq->isEnabled());
    EXPECT_TRUE(Fields(d).edtfs->isEnabled());
    EXPECT_TRUE(HasFocusIn(d, Fields(d).dtpKprq));
    EXPECT_EQ(Fields(d).edtfs->MaxLength(), 9);
    EXPECT_EQ(Fields(d).edtGfnsrsbh->MaxLength(), 20);
}

TEST_F(DetailWindowTest, TheDateTakesTypedDigitsAfterASaveAsWhenTheWindowOpens) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    const QDate start = PeriodStartDate(period_);
    for (const int day : {15, 20}) {
        ASSERT_TRUE(HasFocusIn(d, Fields(d).dtpKprq)) << day;
        for (const QChar c : start.toString(QStringLiteral("yyyyMM")) + QString::number(day))
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        EXPECT_EQ(Fields(d).dtpKprq->Date(), start.addDays(day - 1)) << day;
        Choose(Fields(d).cbbFplx, "普通发票");
        TypeInto(Fields(d).edtfs, "1");
        TypeInto(Fields(d).edtje, std::to_string(day).c_str());
        Commit(d);
        ASSERT_EQ(LastMessageNumber(), 5037016) << day;
    }
    EXPECT_EQ(QueryText("select group_concat(substr(kprq, 9, 2), ',') from (select kprq from sb07_xxfpb order by xh)"),
              "15,20");
}

TEST_F(DetailWindowTest, ASaveTheDatabaseRefusesSaysWhyInChineseAndKeepsTheNumber) {
    MakeConnectionReadOnly();
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Commit(d);
    ASSERT_EQ(LastMessageNumber(), 5037013);
    const std::string text = corlith::test::Messages().back().text;
    EXPECT_NE(text.find("数据库是只读的"), std::string::npos) << text;
    EXPECT_NE(text.find("\n详细信息："), std::string::npos) << text;
    EXPECT_EQ(template_.xh, 1);
}

TEST_F(DetailWindowTest, TabOrderFollowsTheGrid) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    const std::vector<QWidget*> expected = {
        Fields(d).dtpKprq,  Fields(d).cbbFplx,  Fields(d).edtfs,      Fields(d).edtje,   Fields(d).cbbSl,    Fields(d).edtse,    Fields(d).edtGfnsrsbh, Fields(d).rbLwfp_Yes,
        Fields(d).rbLwfp_No, Fields(d).rbZF_Yes, Fields(d).rbZF_No,   Fields(d).rbJZJT_YES, Fields(d).rbJZJT_No, Fields(d).rbMS_YES, Fields(d).rbMS_No,  Fields(d).BtnCommit,
        Fields(d).btnCancel};
    std::vector<QWidget*> walked;
    QWidget* w = Fields(d).dtpKprq;
    for (int guard = 0; guard < 200 && walked.size() < expected.size(); ++guard, w = w->nextInFocusChain()) {
        for (QWidget* control : expected)
            if ((w == control || control->isAncestorOf(w)) && (walked.empty() || walked.back() != control))
                walked.push_back(control);
    }
    EXPECT_EQ(walked, expected);
}

TEST_F(DetailWindowTest, ModifyShowsTheStoredValuesNotARecomputedTax) {
    Txxqtfpxx r = template_;
    r.xh = 4;
    r.fplx = "5";
    SetEntered(r, DayText(PeriodStartDate(period_).addDays(2)), 3, 100, 16.9, 17, "110101199001011234");
    SetFlags(r, "1", "0", "1", "1");
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailModify, &r);
    EXPECT_EQ(d->windowTitle(), QString::fromUtf16(u"修改其他销项发票明细"));
    EXPECT_EQ(Fields(d).cbbFplx->Text(), "纳税检查调整");
    EXPECT_EQ(Fields(d).dtpKprq->Date(), PeriodStartDate(period_).addDays(2));
    EXPECT_EQ(Fields(d).edtfs->Text(), "3");
    EXPECT_EQ(Fields(d).edtje->Text(), "100.00");
    EXPECT_EQ(Fields(d).edtse->Text(), "16.90");
    EXPECT_EQ(Fields(d).edtGfnsrsbh->Text(), "110101199001011234");
    EXPECT_TRUE(Fields(d).rbLwfp_Yes->Checked());
    EXPECT_TRUE(Fields(d).rbJZJT_YES->Checked());
    EXPECT_TRUE(Fields(d).rbZF_No->Checked());
    EXPECT_TRUE(Fields(d).rbMS_YES->Checked());
    EXPECT_TRUE(Fields(d).dtpKprq->isEnabled());
    EXPECT_FALSE(Fields(d).edtfs->isEnabled());

    // A rate that is not configured selects nothing; a type that is not listed neither.
    Txxqtfpxx odd = r;
    odd.sl = 13;
    odd.fplx = "9";
    d->LoadRecord(odd);
    EXPECT_EQ(Fields(d).cbbSl->ItemIndex(), -1);
    EXPECT_EQ(Fields(d).cbbFplx->ItemIndex(), -1);
    EXPECT_EQ(Fields(d).edtse->Text(), "16.90");
    EXPECT_TRUE(Fields(d).edtfs->isEnabled());
}

TEST_F(DetailWindowTest, ChoosingATypeSwitchesDateAndCount) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    TypeInto(Fields(d).edtfs, "5");
    Choose(Fields(d).cbbFplx, "未开具发票");
    EXPECT_FALSE(Fields(d).dtpKprq->isEnabled());
    EXPECT_FALSE(Fields(d).edtfs->isEnabled());
    EXPECT_EQ(Fields(d).edtfs->Text(), "0");
    Choose(Fields(d).cbbFplx, "普通发票");
    EXPECT_TRUE(Fields(d).dtpKprq->isEnabled());
    EXPECT_TRUE(Fields(d).edtfs->isEnabled());
    EXPECT_EQ(Fields(d).edtfs->Text(), "0");
    TypeInto(Fields(d).edtfs, "7");
    Choose(Fields(d).cbbFplx, "纳税检查调整");
    EXPECT_TRUE(Fields(d).dtpKprq->isEnabled());
    EXPECT_FALSE(Fields(d).edtfs->isEnabled());
    EXPECT_EQ(Fields(d).edtfs->Text(), "0");
    Choose(Fields(d).cbbFplx, "-请选择-");
    EXPECT_TRUE(Fields(d).edtfs->isEnabled());
}

TEST_F(DetailWindowTest, TaxFollowsAmountAndRate) {
    WriteConfig("[xxqtfp]\nsl=|17|13|6|\n");
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    ASSERT_EQ(Fields(d).cbbSl->Items(), (std::vector<std::string>{"17%", "13%", "6%"}));
    TypeInto(Fields(d).edtje, "100");
    EXPECT_EQ(Fields(d).edtse->Text(), "17.00");
    Choose(Fields(d).cbbSl, "13%");
    EXPECT_EQ(Fields(d).edtse->Text(), "13.00");
    TypeInto(Fields(d).edtje, "10.50");
    EXPECT_EQ(Fields(d).edtse->Text(), "1.37");
    Choose(Fields(d).cbbSl, "17%");
    TypeInto(Fields(d).edtje, "0.05");
    EXPECT_EQ(Fields(d).edtse->Text(), "0.01");

    // A typed tax stands until the rate list is left again.
    TypeInto(Fields(d).edtse, "5");
    EXPECT_EQ(Fields(d).edtse->Text(), "5");
    Fields(d).cbbSl->setFocus();
    Fields(d).edtGfnsrsbh->setFocus();
    EXPECT_EQ(Fields(d).edtse->Text(), "0.01");

    // An amount that is no number leaves the tax alone.
    TypeInto(Fields(d).edtje, "-");
    EXPECT_EQ(Fields(d).edtse->Text(), "0.01");
}

TEST_F(DetailWindowTest, AmountAndCountKeysAreFiltered) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    TypeInto(Fields(d).edtje, "1234567890123");
    EXPECT_EQ(Fields(d).edtje->Text(), "123456789012");
    QTest::keyClicks(Fields(d).edtje, QStringLiteral(".999"));
    EXPECT_EQ(Fields(d).edtje->Text(), "123456789012.99");
    // Removing the point would leave fourteen integer places.
    Fields(d).edtje->setCursorPosition(12);
    QTest::keyClick(Fields(d).edtje, Qt::Key_Delete);
    Fields(d).edtje->setCursorPosition(13);
    QTest::keyClick(Fields(d).edtje, Qt::Key_Backspace);
    EXPECT_EQ(Fields(d).edtje->Text(), "123456789012.99");

    TypeInto(Fields(d).edtje, "1.2.3-");
    EXPECT_EQ(Fields(d).edtje->Text(), "1.23");
    Fields(d).edtje->setCursorPosition(0);
    QTest::keyClick(Fields(d).edtje, Qt::Key_Minus);
    EXPECT_EQ(Fields(d).edtje->Text(), "-1.23");
    TypeInto(Fields(d).edtse, "7a,b 8");
    EXPECT_EQ(Fields(d).edtse->Text(), "78");

    TypeInto(Fields(d).edtfs, "12a-.3");
    EXPECT_EQ(Fields(d).edtfs->Text(), "123");
    TypeInto(Fields(d).edtfs, "1234567890");
    EXPECT_EQ(Fields(d).edtfs->Text(), "123456789");
}

TEST_F(DetailWindowTest, PastingCannotBypassTheFilters) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    QGuiApplication::clipboard()->setText(QStringLiteral("99999999999999x"));
    // The buyer id has no filter: the paste arrives there, so it would arrive anywhere.
    Fields(d).edtGfnsrsbh->setFocus();
    QTest::keyClick(Fields(d).edtGfnsrsbh, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(Fields(d).edtGfnsrsbh->Text(), "99999999999999x");

    TypeInto(Fields(d).edtje, "12");
    QTest::keyClick(Fields(d).edtje, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(Fields(d).edtje, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(Fields(d).edtje->Text(), "12");
    TypeInto(Fields(d).edtfs, "3");
    QTest::keyClick(Fields(d).edtfs, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Fields(d).edtfs->Text(), "3");
}

TEST_F(DetailWindowTest, LeavingAnAmountNormalisesIt) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    auto leave = [d](TPellowEdit* edit, const char* keys) {
        edit->setFocus();
        TypeInto(edit, keys);
        Fields(d).edtGfnsrsbh->setFocus();
        return edit->Text();
    };
    EXPECT_EQ(leave(Fields(d).edtje, "12.5"), "12.50");
    EXPECT_EQ(leave(Fields(d).edtje, ""), "0.00");
    EXPECT_EQ(leave(Fields(d).edtje, "-"), "0.00");
    EXPECT_EQ(leave(Fields(d).edtse, "3."), "3.00");
    EXPECT_EQ(leave(Fields(d).edtse, "."), "0.0");
}

TEST_F(DetailWindowTest, ChecksRunInTheirOrderWithMessageAndFocus) {
    const std::string company = testhost::kCompany;
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    struct Step {
        std::function<void()> change;
        int code;
        QWidget* focus;
        std::string param;
    };
    const QDate start = PeriodStartDate(period_);
    const std::vector<Step> steps = {
        {[] {}, 5037017, Fields(d).cbbFplx, ""},
        {[&] { Choose(Fields(d).cbbFplx, "普通发票"); }, 5037018, Fields(d).edtfs, ""},
        {[&] { Fields(d).edtfs->SetText("1.5"); }, 5037030, Fields(d).edtfs, ""},
        {[&] { TypeInto(Fields(d).edtfs, "2"); }, 5037019, Fields(d).edtje, ""},
        {[&] {
             TypeInto(Fields(d).edtje, "100");
             Fields(d).cbbSl->SetItemIndex(-1);
         },
         5037020, Fields(d).cbbSl, ""},
        {[&] {
             Choose(Fields(d).cbbSl, "17%");
             Fields(d).edtGfnsrsbh->setFocus();  // leaving the rate list recomputes the tax
             TypeInto(Fields(d).edtse, "17.16");
         },
         5037022, Fields(d).edtje, "15"},
        {[&] { TypeInto(Fields(d).edtse, "0"); }, 5037021, Fields(d).edtse, ""},
        {[&] {
             TypeInto(Fields(d).edtse, "17");
             Fields(d).edtGfnsrsbh->SetText("1234567890_2345");
         },
         5037023, Fields(d).edtGfnsrsbh, ""},
        {[&] { Fields(d).edtGfnsrsbh->SetText("12345678901234"); }, 5037024, Fields(d).edtGfnsrsbh, ""},
        {[&] {
             Fields(d).edtGfnsrsbh->SetText("");
             Fields(d).dtpKprq->SetDate(testhost::Today().addDays(1));
         },
         5037026, Fields(d).dtpKprq, ""},
        {[&] { Fields(d).dtpKprq->SetDate(start.addDays(-1)); }, 5037028, Fields(d).dtpKprq,
         start.toString(QStringLiteral("yyyy年MM月dd日")).toStdString()},
        {[&] {
             Fields(d).dtpKprq->SetDate(start);
             Fields(d).edtGfnsrsbh->SetText(" " + company + " ");
         },
         5037029, Fields(d).edtGfnsrsbh, ""},
        {[&] {
             Fields(d).edtGfnsrsbh->SetText("");
             Choose(Fields(d).cbbFplx, "未开具发票");
             Fields(d).dtpKprq->SetDate(testhost::Today().addYears(1));  // not checked for this type
             QTest::mouseClick(Fields(d).rbZF_Yes, Qt::LeftButton);
         },
         5037031, Fields(d).rbZF_No, ""},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i) + " expecting " + std::to_string(steps[i].code));
        steps[i].change();
        Fields(d).edtGfnsrsbh->setFocus();  // somewhere else, so that the focus move shows
        Commit(d);
        ASSERT_EQ(corlith::test::Messages().size(), 1u);
        EXPECT_EQ(LastMessageNumber(), steps[i].code);
        if (steps[i].focus != Fields(d).edtGfnsrsbh) {
            EXPECT_FALSE(HasFocusIn(d, Fields(d).edtGfnsrsbh));
        }
        EXPECT_TRUE(HasFocusIn(d, steps[i].focus));
        // GBK parameter; the date one compares as UTF-8 through the codec.
        if (!steps[i].param.empty()) {
            EXPECT_EQ(GbkToQString(corlith::test::Messages().back().param), QString::fromStdString(steps[i].param));
        }
        EXPECT_EQ(Rows(), 0);
    }
    QTest::mouseClick(Fields(d).rbZF_No, Qt::LeftButton);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select fs||'|'||fplx from sb07_xxfpb"), "0|3");
}

TEST_F(DetailWindowTest, ToleranceBoundaryAndTaxFreeInvoices) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    TypeInto(Fields(d).edtse, "17.16");
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037022);
    EXPECT_EQ(corlith::test::Messages().back().param, "15");
    TypeInto(Fields(d).edtse, "17.15");
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select se from sb07_xxfpb where xh=1"), "17.15");

    // Tax 0 needs the exemption flag, and then no tolerance applies.
    FillValid(d);
    TypeInto(Fields(d).edtse, "0");
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037021);
    QTest::mouseClick(Fields(d).rbMS_YES, Qt::LeftButton);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select se||'|'||ms from sb07_xxfpb where xh=2"), "0|1");
}

TEST_F(DetailWindowTest, BuyerIdIsCheckedAndStored) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Fields(d).edtGfnsrsbh->SetText("  91110108MA01ABCD1E ");
    Commit(d);
    ASSERT_EQ(LastMessageNumber(), 5037016);
    FillValid(d);
    Commit(d);
    ASSERT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select gfnsr from sb07_xxfpb where xh=1"), "91110108MA01ABCD1E");
    EXPECT_EQ(QueryText("select '['||gfnsr||']' from sb07_xxfpb where xh=2"), "[ ]");
}

TEST_F(DetailWindowTest, AWrongCheckDigitWarnsAfterTheChecksAndMaySaveAnyway) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Fields(d).edtGfnsrsbh->SetText("91110108MA01ABCD1F");  // check character E mistyped
    Fields(d).edtje->setFocus();
    corlith::test::QueueConfirmAnswer(false);
    Commit(d);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(corlith::test::Messages().back().kind, MessageKind::Confirm);
    EXPECT_EQ(corlith::test::Messages().back().text, "购方税号校验位不正确，是否仍然保存？");
    EXPECT_TRUE(HasFocusIn(d, Fields(d).edtGfnsrsbh));
    EXPECT_EQ(Rows(), 0);

    // A refusal of the entry checks comes first and asks nothing.
    TypeInto(Fields(d).edtje, "0");
    Commit(d);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(LastMessageNumber(), 5037019);

    TypeInto(Fields(d).edtje, "100");
    corlith::test::QueueConfirmAnswer(true);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select gfnsr from sb07_xxfpb"), "91110108MA01ABCD1F");

    // Valid codes and ids of other lengths save without a question.
    for (const char* id : {"91110108MA01ABCD1E", "440300665812347", "9111010800000000181"}) {
        FillValid(d);
        TypeInto(Fields(d).edtje, std::to_string(200 + Rows()).c_str());
        Fields(d).edtGfnsrsbh->SetText(id);
        Commit(d);
        ASSERT_EQ(corlith::test::Messages().size(), 1u) << id;
        EXPECT_EQ(LastMessageNumber(), 5037016) << id;
    }
    EXPECT_EQ(Rows(), 4);
}

TEST_F(DetailWindowTest, AnInvoiceEnteredTwiceWarnsBeforeItIsSaved) {
    testhost::InvoiceRow row;
    row.sbssq = period_;
    row.xh = 1;
    row.fplx = 1;
    row.kprq = DayText(PeriodStartDate(period_).addDays(9));
    row.je = 100;
    row.se = 17;
    row.gfnsr = "91110108MA01ABCD1E";
    InsertInvoice(row);
    template_.xh = 2;
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    const auto fillSame = [&] {
        FillValid(d);
        Fields(d).edtGfnsrsbh->SetText("91110108MA01ABCD1E");
    };
    fillSame();
    corlith::test::QueueConfirmAnswer(false);
    Commit(d);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(corlith::test::Messages().back().kind, MessageKind::Confirm);
    EXPECT_NE(GbkToQString(corlith::test::Messages().back().text).indexOf(u"是否仍然保存"), -1);
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(d->isVisible());

    // One differing field is another invoice.
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { TypeInto(Fields(d).edtje, "101"); },
             [&] { TypeInto(Fields(d).edtse, "16.99"); },
             [&] { Fields(d).edtGfnsrsbh->SetText(""); },
             [&] { Fields(d).dtpKprq->SetDate(PeriodStartDate(period_).addDays(10)); },
         }) {
        fillSame();
        change();
        EXPECT_FALSE(d->HasSameInvoiceInPeriod());
    }
    fillSame();
    Choose(Fields(d).cbbFplx, "纳税检查调整");
    EXPECT_FALSE(d->HasSameInvoiceInPeriod());

    // 是 saves it as before.
    fillSame();
    corlith::test::QueueConfirmAnswer(true);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(Rows(), 2);

    // Changing a stored invoice asks nothing, even when it then equals another.
    Txxqtfpxx stored = template_;
    stored.xh = 1;
    stored.fplx = "1";
    stored.kprq = row.kprq;
    stored.fs = 1;
    stored.je = 100;
    stored.se = 17;
    stored.gfnsr = row.gfnsr;
    TFrmXxqtfpDetail* m = Open(vantrel::kDetailModify, &stored);
    TypeInto(Fields(m).edtfs, "3");
    Commit(m);
    EXPECT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(LastMessageNumber(), 5037015);
}

TEST_F(DetailWindowTest, TwelveDigitAmountsShowWhole) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    for (TPellowEdit* edit : {Fields(d).edtje, Fields(d).edtse}) {
        edit->SetText("-123456789012.34");
        edit->setCursorPosition(0);
        QApplication::processEvents();
        // The last character's caret position lies inside the edit when nothing scrolled.
        edit->setCursorPosition(static_cast<int>(edit->text().size()));
        const QRect caret = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        edit->setCursorPosition(0);
        const QRect start = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        EXPECT_GE(caret.left() - start.left(), edit->fontMetrics().horizontalAdvance(edit->text()) - 1)
            << edit->objectName().toStdString();
        EXPECT_LT(caret.right(), edit->width()) << edit->objectName().toStdString();
        EXPECT_GE(start.left(), 0);
    }
}

TEST_F(DetailWindowTest, ClosingAChangedEntryAsksAndAnUntouchedOneCloses) {
    // Untouched: Esc closes without a question.
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    corlith::test::ClearMessages();
    QTest::keyClick(Fields(d).edtje, Qt::Key_Escape);
    EXPECT_TRUE(corlith::test::Messages().empty());
    EXPECT_TRUE(dialog_.isNull() || !dialog_->isVisible());

    // Merely walking through the fields changes nothing.
    d = Open(vantrel::kDetailAdd, &template_);
    for (int i = 0; i < 8; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_FALSE(d->HasUnsavedChanges());

    // Each way out asks once the fields differ; 否 keeps the window and the entry.
    struct Way {
        const char* name;
        std::function<void(TFrmXxqtfpDetail*)> leave;
    };
    const Way ways[] = {
        {"Esc", [](TFrmXxqtfpDetail* w) { QTest::keyClick(Fields(w).edtGfnsrsbh, Qt::Key_Escape); }},
        {"取消", [](TFrmXxqtfpDetail* w) { QTest::mouseClick(Fields(w).btnCancel, Qt::LeftButton); }},
        {"close box", [](TFrmXxqtfpDetail* w) { w->close(); }},
    };
    for (const Way& way : ways) {
        d = Open(vantrel::kDetailAdd, &template_);
        QTest::mouseClick(Fields(d).rbZF_Yes, Qt::LeftButton);
        EXPECT_TRUE(d->HasUnsavedChanges()) << way.name;
        corlith::test::ClearMessages();
        corlith::test::QueueConfirmAnswer(false);
        way.leave(d);
        ASSERT_EQ(corlith::test::Messages().size(), 1u) << way.name;
        EXPECT_EQ(corlith::test::Messages().back().kind, MessageKind::Confirm) << way.name;
        ASSERT_FALSE(dialog_.isNull()) << way.name;
        EXPECT_TRUE(d->isVisible()) << way.name;
        EXPECT_TRUE(Fields(d).rbZF_Yes->Checked()) << way.name;

        corlith::test::QueueConfirmAnswer(true);
        way.leave(d);
        EXPECT_EQ(corlith::test::Messages().size(), 2u) << way.name;
        EXPECT_TRUE(dialog_.isNull() || !dialog_->isVisible()) << way.name;
    }
    EXPECT_EQ(Rows(), 0);
}

TEST_F(DetailWindowTest, AChangeBackToTheLoadedValuesIsNoChange) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    TypeInto(Fields(d).edtje, "100");
    EXPECT_TRUE(d->HasUnsavedChanges());
    TypeInto(Fields(d).edtje, "0");
    Fields(d).edtse->SetText("0");
    EXPECT_FALSE(d->HasUnsavedChanges());
    Fields(d).dtpKprq->SetDate(Fields(d).dtpKprq->Date().addDays(1));
    EXPECT_TRUE(d->HasUnsavedChanges());
    Fields(d).dtpKprq->SetDate(Fields(d).dtpKprq->Date().addDays(-1));
    Fields(d).edtGfnsrsbh->SetText("   ");
    EXPECT_FALSE(d->HasUnsavedChanges());

    // After a save the next blank entry is the new starting point.
    FillValid(d);
    Commit(d);
    ASSERT_EQ(LastMessageNumber(), 5037016);
    EXPECT_FALSE(d->HasUnsavedChanges());
}

TEST_F(DetailWindowTest, EnterWalksTheFieldsAndSavesOnTheCommitButton) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    ASSERT_TRUE(HasFocusIn(d, Fields(d).dtpKprq));
    // Tab leaves the date in one step, from whichever part of it the caret is in.
    QTest::keyClick(Fields(d).dtpKprq, Qt::Key_Tab);
    EXPECT_TRUE(HasFocusIn(d, Fields(d).cbbFplx));
    QTest::keyClick(Fields(d).cbbFplx, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(HasFocusIn(d, Fields(d).dtpKprq));

    const std::vector<QWidget*> order = {Fields(d).cbbFplx,   Fields(d).edtfs,      Fields(d).edtje,     Fields(d).cbbSl,    Fields(d).edtse,
                                         Fields(d).edtGfnsrsbh, Fields(d).rbLwfp_No, Fields(d).rbZF_No,   Fields(d).rbJZJT_No, Fields(d).rbMS_No,
                                         Fields(d).BtnCommit};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(HasFocusIn(d, next)) << next->objectName().toStdString() << " expected, focus on "
                                         << QApplication::focusWidget()->objectName().toStdString();
    }
    EXPECT_EQ(Rows(), 0);
    // Enter on 确定 saves (here refused: no type chosen yet).
    corlith::test::ClearMessages();
    QTest::keyClick(Fields(d).BtnCommit, Qt::Key_Return);
    EXPECT_EQ(LastMessageNumber(), 5037017);
    EXPECT_TRUE(HasFocusIn(d, Fields(d).cbbFplx));
}

TEST_F(DetailWindowTest, CtrlEnterAndCtrlSSaveFromAnyField) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    corlith::test::ClearMessages();
    QTest::keyClick(Fields(d).edtje, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(Rows(), 1);

    FillValid(d);
    TypeInto(Fields(d).edtje, "300");
    corlith::test::ClearMessages();
    QTest::keyClick(Fields(d).edtfs, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select group_concat(je, ',') from (select je from sb07_xxfpb order by xh)"), "100,300");

    EXPECT_NE(Fields(d).BtnCommit->toolTip().indexOf(u"Ctrl+S"), -1);
    EXPECT_NE(Fields(d).btnCancel->toolTip().indexOf(u"Esc"), -1);
}

TEST_F(DetailWindowTest, IssueDateAfterThePeriodAsksFirst) {
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Fields(d).dtpKprq->SetDate(testhost::Today());
    Fields(d).edtGfnsrsbh->setFocus();
    corlith::test::QueueConfirmAnswer(false);
    Commit(d);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    const auto& asked = corlith::test::Messages().back();
    EXPECT_EQ(asked.kind, MessageKind::Confirm);
    EXPECT_NE(GbkToQString(asked.text).indexOf(
                  PeriodEndDate(period_).toString(QStringLiteral("yyyy年MM月dd日"))),
              -1);
    EXPECT_TRUE(HasFocusIn(d, Fields(d).dtpKprq));
    EXPECT_EQ(Rows(), 0);

    corlith::test::QueueConfirmAnswer(true);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select kprq from sb07_xxfpb"), DayText(testhost::Today()));
}

// On the last second of a leap month, its last day is today and may be issued; the next day
// is after today. The saved date is the clock's too.
TEST_F(DetailWindowTest, LastDayOfALeapMonthIsTodayForTheChecksAndTheSavedDate) {
    testhost::ClockAt clock("2028-02-29 23:59:59");
    period_ = "202802";
    GetCurSubAppVo()->SetText("curKJNY", period_);
    template_ = vantrel::MakeInvoiceTemplate(1, period_, "2000-01-01");
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    Fields(d).dtpKprq->SetDate(QDate(2028, 3, 1));
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037026);
    Fields(d).dtpKprq->SetDate(QDate(2028, 2, 29));
    Commit(d);
    ASSERT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(QueryText("select kprq||' '||txsj from sb07_xxfpb"), "2028-02-29 2028-02-29");
}

TEST_F(DetailWindowTest, SavesInAddModeTakeConsecutiveNumbers) {
    template_.xh = 5;
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    for (int i = 0; i < 3; ++i) {
        FillValid(d);
        QTest::mouseClick(Fields(d).rbLwfp_Yes, Qt::LeftButton);
        if (i > 0) corlith::test::QueueConfirmAnswer(true);  // the same invoice again: saved anyway
        Commit(d);
        ASSERT_EQ(LastMessageNumber(), 5037016) << i;
        // Reset for the next invoice.
        EXPECT_EQ(Fields(d).cbbFplx->ItemIndex(), 0);
        EXPECT_EQ(Fields(d).edtje->Text(), "0.00");
        EXPECT_TRUE(Fields(d).rbLwfp_No->Checked());
    }
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(template_.xh, 8);
    EXPECT_EQ(refreshes_, 3);
    ASSERT_EQ(list_.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list_[static_cast<std::size_t>(i)]->xh, 5 + i);
        EXPECT_EQ(list_[static_cast<std::size_t>(i)]->fplxmc, "普通发票");
    }
    EXPECT_EQ(QueryText("select group_concat(xh, ',') from (select xh from sb07_xxfpb order by xh)"), "5,6,7");
    const std::string expected = std::string(testhost::kCompany) + "|" + period_ + "|1|" +
                                 DayText(PeriodStartDate(period_).addDays(9)) + "|2|100|17|17|0100|" + DayText(testhost::Today()) +
                                 "|";
    EXPECT_EQ(QueryText("select nsrsbh||'|'||sbssq||'|'||fplx||'|'||kprq||'|'||fs||'|'||je||'|'||se||'|'||sl||'|'||"
                        "jzjt||lwfp||ms||zfbz||'|'||txsj||'|'||sbwjm from sb07_xxfpb where xh=5"),
              expected);
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 1);
}

TEST_F(DetailWindowTest, ModifyUpdatesTheRecordAndCloses) {
    testhost::InvoiceRow row;
    row.sbssq = period_;
    row.xh = 3;
    row.kprq = DayText(PeriodStartDate(period_).addDays(4));
    InsertInvoice(row);
    row.xh = 4;
    InsertInvoice(row);
    Txxqtfpxx r = template_;
    r.xh = 3;
    r.fplx = "1";
    r.fplxmc = "普通发票";
    r.kprq = row.kprq;
    r.fs = 1;
    r.je = 100;
    r.se = 17;
    r.gfnsr = " ";
    r.lwfp = r.ms = r.zfbz = r.jzjt = "0";
    r.sbssq.clear();
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailModify, &r);
    TypeInto(Fields(d).edtje, "200");
    QTest::mouseClick(Fields(d).rbZF_Yes, Qt::LeftButton);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037015);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog_.isNull() || !dialog_->isVisible());
    EXPECT_EQ(r.je, 200);
    EXPECT_EQ(r.se, 34);
    EXPECT_EQ(r.zfbz, "1");
    EXPECT_EQ(r.xh, 3);
    EXPECT_EQ(r.sbssq, period_);
    EXPECT_EQ(refreshes_, 1);
    EXPECT_TRUE(list_.empty());
    EXPECT_EQ(QueryText("select je||'|'||se||'|'||zfbz from sb07_xxfpb where xh=3"), "200|34|1");
    EXPECT_EQ(QueryText("select je||'|'||se||'|'||zfbz from sb07_xxfpb where xh=4"), "100|17|0");
}

TEST_F(DetailWindowTest, ATypeMissingFromTheListIsNeverSavedWithoutCode) {
    testhost::InvoiceRow row;
    row.sbssq = period_;
    row.xh = 2;
    row.fplx = 9;
    row.kprq = DayText(PeriodStartDate(period_).addDays(4));
    InsertInvoice(row);
    const std::string before = Snapshot();
    Txxqtfpxx r = template_;
    r.xh = 2;
    r.fplx = "9";
    r.fplxmc = "未知发票";
    r.kprq = row.kprq;
    r.fs = 1;
    r.je = 100;
    r.se = 17;
    TFrmXxqtfpDetail* d = Open(vantrel::kDetailModify, &r);
    ASSERT_EQ(Fields(d).cbbFplx->ItemIndex(), -1);
    Fields(d).edtGfnsrsbh->setFocus();
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037017);
    EXPECT_TRUE(HasFocusIn(d, Fields(d).cbbFplx));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(r.fplx, "9");
    ASSERT_FALSE(dialog_.isNull());

    // Once a type is chosen the change goes through.
    Choose(Fields(d).cbbFplx, "普通发票");
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037015);
    EXPECT_EQ(QueryText("select fplx from sb07_xxfpb where xh=2"), "1");
}

namespace {

class DetailSaveFaultTest : public DetailWindowTest, public ::testing::WithParamInterface<testhost::FaultStep> {};

}  // namespace

TEST_P(DetailSaveFaultTest, AFailedSaveChangesNothingAndCanBeRetried) {
    const testhost::FaultStep fault = GetParam();
    testhost::InvoiceRow row;
    row.sbssq = period_;
    row.xh = 1;
    row.kprq = DayText(PeriodStartDate(period_).addDays(4));
    InsertInvoice(row);
    const std::string before = Snapshot();
    template_.xh = 2;

    TFrmXxqtfpDetail* d = Open(vantrel::kDetailAdd, &template_);
    FillValid(d);
    testhost::ArmFault(fault);
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037013);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(list_.empty());
    EXPECT_EQ(template_.xh, 2);
    EXPECT_EQ(refreshes_, 0);
    EXPECT_EQ(Fields(d).cbbFplx->Text(), "普通发票");
    EXPECT_EQ(Fields(d).edtje->Text(), "100");
    EXPECT_EQ(Fields(d).edtfs->Text(), "2");

    corlith::test::ClearFailures();
    Commit(d);
    EXPECT_EQ(LastMessageNumber(), 5037016);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb where xh=2 and je=100"), 1);
    EXPECT_EQ(template_.xh, 3);
    EXPECT_EQ(list_.size(), 1u);

    // The same for a change of an existing invoice; without a form-filled row, so that the
    // mark has to post one again.
    Exec("delete from SB07_FPTXQKB");
    Txxqtfpxx r = *list_.front();
    const std::string saved = Snapshot();
    TFrmXxqtfpDetail* m = Open(vantrel::kDetailModify, &r);
    TypeInto(Fields(m).edtje, "300");
    testhost::ArmFault(fault, std::string(fault.containing) == "insert into" ? "update " : fault.containing);
    Commit(m);
    EXPECT_EQ(LastMessageNumber(), 5037013);
    EXPECT_EQ(Snapshot(), saved);
    EXPECT_EQ(r.je, 100);
    ASSERT_FALSE(dialog_.isNull());
    corlith::test::ClearFailures();
    Commit(m);
    EXPECT_EQ(LastMessageNumber(), 5037015);
    EXPECT_EQ(QueryText("select je from sb07_xxfpb where xh=2"), "300");
}

INSTANTIATE_TEST_SUITE_P(EveryStep, DetailSaveFaultTest,
                         ::testing::Values(testhost::kBeginStep, testhost::StatementStep("Statement", 1, "insert into"),
                                           testhost::kMarkSelectStep, testhost::kMarkPostStep, testhost::kCommitStep),
                         testhost::StepName());

// The detail window: its input rules, the tax arithmetic, the entry checks and saving.
#include "ui/detail/f_AmountInput.h"
#include "ui/detail/f_InvoiceChecks.h"

#include "support/host_fixture.h"

#include <gtest/gtest.h>

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

TEST(AmountKeyFilter, RefusesAThirteenthCharacterBeforeThePoint) {
    const std::string twelve = "123456789012";
    EXPECT_FALSE(Press(twelve, 12, 0, '3'));
    EXPECT_TRUE(Press("12345678901", 11, 0, '2'));
    // With a point, the integer part is still capped while the decimals are free.
    EXPECT_FALSE(Press(twelve + ".5", 3, 0, '1'));
    EXPECT_TRUE(Press(twelve + ".5", 14, 0, '1'));
    // A leading minus takes one of the twelve places.
    EXPECT_FALSE(Press("-12345678901", 12, 0, '2'));
}

TEST(AmountKeyFilter, RefusesAThirdDecimal) {
    EXPECT_FALSE(Press("1.25", 4, 0, '7'));
    EXPECT_TRUE(Press("1.2", 3, 0, '7'));
    // The caret right after the point counts as after it.
    EXPECT_FALSE(Press("1.25", 2, 0, '7'));
    // Before the point the decimals do not matter.
    EXPECT_TRUE(Press("1.25", 0, 0, '7'));
}

TEST(AmountKeyFilter, PointAndMinusPlacement) {
    EXPECT_FALSE(Press("1.2", 1, 0, '.'));
    EXPECT_TRUE(Press("12", 1, 0, '.'));
    EXPECT_FALSE(Press("-12", 0, 0, '.'));   // before the minus
    EXPECT_TRUE(Press("-12", 1, 0, '.'));
    EXPECT_FALSE(Press("12", 1, 0, '-'));
    EXPECT_FALSE(Press("-12", 0, 0, '-'));
    EXPECT_TRUE(Press("12", 0, 0, '-'));
    // The whole text selected: both replace it.
    EXPECT_TRUE(Press("1.25", 0, 4, '.'));
    EXPECT_TRUE(Press("-1.25", 0, 5, '-'));
    EXPECT_TRUE(Press("", 0, 0, '-'));
}

TEST(AmountKeyFilter, OtherCharactersAreDiscardedButEnterPasses) {
    EXPECT_FALSE(Press("1", 1, 0, 'a'));
    EXPECT_FALSE(Press("1", 1, 0, ','));
    EXPECT_FALSE(Press("1", 1, 0, ' '));
    EXPECT_FALSE(Press("1", 1, 0, 22));  // Ctrl+V as a character
    EXPECT_TRUE(Press("123456789012.99", 15, 0, kEnter));
}

TEST(AmountKeyFilter, BackspaceMayNotMergeTooManyDigits) {
    const std::string longText = "123456789012.34";  // deleting the point leaves 14 digits
    EXPECT_FALSE(Press(longText, 13, 0, kBackspace));
    EXPECT_TRUE(Press(longText, 15, 0, kBackspace));
    EXPECT_TRUE(Press("1234567890.12", 11, 0, kBackspace));  // 12 digits afterwards: fine
    // A selection holding the point.
    EXPECT_FALSE(Press(longText, 11, 2, kBackspace));   // "2." removed: 13 remain
    EXPECT_TRUE(Press(longText, 11, 3, kBackspace));    // "2.3" removed: 12 remain
    EXPECT_TRUE(Press(longText, 0, 2, kBackspace));     // point not selected
}

TEST(AmountKeyFilter, DigitReplacingASelection) {
    // Selection holding the point: the result has no point.
    EXPECT_TRUE(Press("1.5", 0, 3, '7'));
    EXPECT_FALSE(Press("123456789012.34", 12, 1, '7'));
    EXPECT_FALSE(Press("123456789012.34", 12, 3, '7'));
    EXPECT_TRUE(Press("123456789012.34", 11, 4, '7'));
    // Selection before the point: one digit replaces several.
    EXPECT_TRUE(Press("123456789012.34", 0, 1, '7'));
    EXPECT_TRUE(Press("12.5", 0, 2, '7'));
    // Selection after the point.
    EXPECT_TRUE(Press("1.25", 2, 1, '7'));
    EXPECT_TRUE(Press("1.25", 2, 2, '7'));
    // No point at all.
    EXPECT_TRUE(Press("123456789012", 0, 1, '7'));
    EXPECT_FALSE(Press("1234567890123", 0, 1, '7'));
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

// ---- checks ------------------------------------------------------------------------------

TEST(InvoiceChecks, TaxToleranceAtFifteenFen) {
    EXPECT_TRUE(TaxWithinTolerance("17%", 100.00, 17.15, 15));
    EXPECT_FALSE(TaxWithinTolerance("17%", 100.00, 17.16, 15));
    EXPECT_TRUE(TaxWithinTolerance("17%", 100.00, 16.85, 15));
    EXPECT_FALSE(TaxWithinTolerance("17%", 100.00, 16.84, 15));
    // A difference of 0.151 is still inside; a little more is not.
    EXPECT_TRUE(TaxWithinTolerance("17%", 100.00, 17.151, 15));
    EXPECT_FALSE(TaxWithinTolerance("17%", 100.00, 17.1511, 15));
    // The expected tax rounds a half to the even neighbour: 1.365 -> 1.36.
    EXPECT_FALSE(TaxWithinTolerance("13%", 10.50, 1.37, 0));
    EXPECT_TRUE(TaxWithinTolerance("13%", 10.50, 1.36, 0));
}

TEST(InvoiceChecks, TaxToleranceRateText) {
    // An unreadable rate counts as 17 %.
    EXPECT_TRUE(TaxWithinTolerance("abc", 100.00, 17.00, 15));
    EXPECT_TRUE(TaxWithinTolerance("", 100.00, 17.00, 15));
    EXPECT_TRUE(TaxWithinTolerance("6%", 100.00, 6.00, 15));
    EXPECT_FALSE(TaxWithinTolerance("6%", 100.00, 17.00, 15));
    EXPECT_TRUE(TaxWithinTolerance("0%", 100.00, 0.10, 15));
}

TEST(InvoiceChecks, TaxpayerIdCharactersAndLengths) {
    const std::string lengths = "|15|18|16|17|20|19|";
    EXPECT_EQ(CheckTaxpayerId("91110000MA001XYZ9", lengths), 0);     // 17
    EXPECT_EQ(CheckTaxpayerId("911100000000000000", lengths), 0);    // 18
    EXPECT_EQ(CheckTaxpayerId("12345678901234", lengths), 2);        // 14
    EXPECT_EQ(CheckTaxpayerId("123456789", lengths), 2);
    EXPECT_EQ(CheckTaxpayerId("123456789012345678901", lengths), 2); // 21
    EXPECT_EQ(CheckTaxpayerId("1234567890_2345", lengths), 1);
    EXPECT_EQ(CheckTaxpayerId("12345 67890123456", lengths), 1);
    EXPECT_EQ(CheckTaxpayerId("123-567890ABCdef", lengths), 0);      // 16
    EXPECT_EQ(CheckTaxpayerId("\xB2\xE2\xCA\xD4" "12345678901234", lengths), 1);
    // The list is searched as text.
    EXPECT_EQ(CheckTaxpayerId("1234567890", "|10|"), 0);
    EXPECT_EQ(CheckTaxpayerId("12345678901", "|110|"), 0);
}

TEST(InvoiceChecks, PeriodDays) {
    EXPECT_EQ(PeriodStartDate("202611"), QDate(2026, 11, 1));
    EXPECT_EQ(PeriodEndDate("202611"), QDate(2026, 11, 30));
    EXPECT_EQ(PeriodEndDate("202402"), QDate(2024, 2, 29));
    EXPECT_EQ(PeriodEndDate("210002"), QDate(2100, 2, 28));
    EXPECT_EQ(PeriodEndDate("20261231"), QDate(2026, 12, 31));
    EXPECT_FALSE(PeriodStartDate("").isValid());
    EXPECT_FALSE(PeriodEndDate("202613").isValid());
}

TEST(InvoiceChecks, RateTextGivesTheStoredRate) {
    EXPECT_EQ(RateFromText("17%", 5), 17);
    EXPECT_EQ(RateFromText("0%", 5), 0);
    EXPECT_EQ(RateFromText("6%", 17), 6);
    EXPECT_EQ(RateFromText("", 13), 13);
    EXPECT_EQ(RateFromText("100%", 13), 13);
    EXPECT_EQ(RateFromText("ab%", 13), 13);
    EXPECT_EQ(RateDigits("17%"), "17");
    EXPECT_EQ(RateDigits("17"), "");
}

TEST(InvoiceChecks, RecomputedTax) {
    std::string tax = "unchanged";
    ASSERT_TRUE(ComputeTaxText("13%", "10.50", tax));
    EXPECT_EQ(tax, "1.37");
    ASSERT_TRUE(ComputeTaxText("17%", "0.05", tax));
    EXPECT_EQ(tax, "0.01");
    ASSERT_TRUE(ComputeTaxText("17%", "100", tax));
    EXPECT_EQ(tax, "17.00");
    ASSERT_TRUE(ComputeTaxText("17%", "-100", tax));
    EXPECT_EQ(tax, "-17.00");
    ASSERT_TRUE(ComputeTaxText("0%", "123.45", tax));
    EXPECT_EQ(tax, "0.00");
    tax = "unchanged";
    EXPECT_FALSE(ComputeTaxText("17%", "-", tax));
    EXPECT_FALSE(ComputeTaxText("17", "100", tax));
    EXPECT_FALSE(ComputeTaxText("%", "100", tax));
    EXPECT_EQ(tax, "unchanged");
}

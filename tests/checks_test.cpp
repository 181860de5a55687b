// The entry checks of an invoice, and the two warnings given before it is stored: a buyer id
// whose check digit is wrong and an invoice that looks like one already entered. Headless: the
// program links the core alone.
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_InvoiceWarnings.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "support/records.h"

#include <gtest/gtest.h>

#include <QDate>

#include <string>
#include <vector>

namespace {

// Unified social credit codes of real enterprises, as printed on their business licences.
const std::vector<std::string> kValidCodes = {
    "914403001922038216", "91440300708461136T", "91330100716105852F",
    "911000001000013428", "91350100M000100Y43",
};

constexpr std::string_view kCodeAlphabet = "0123456789ABCDEFGHJKLMNPQRTUWXY";

TEST(CheckDigit, RealCodesPass) {
    for (const std::string& code : kValidCodes) {
        EXPECT_FALSE(vantrel::HasBadCheckDigit(code)) << code;
        EXPECT_EQ(vantrel::UnifiedCodeCheckChar(code.substr(0, 17)), code[17]) << code;
    }
}

TEST(CheckDigit, EverySingleCharacterChangeIsCaught) {
    // Any character of the alphabet, and the letters left out of it, in every position.
    const std::string replacements = std::string(kCodeAlphabet) + "IOZSV-";
    for (const std::string& code : kValidCodes) {
        int changes = 0;
        for (std::size_t at = 0; at < code.size(); ++at) {
            for (char c : replacements) {
                if (c == code[at]) continue;
                std::string changed = code;
                changed[at] = c;
                EXPECT_TRUE(vantrel::HasBadCheckDigit(changed)) << changed;
                ++changes;
            }
        }
        EXPECT_EQ(changes, 18 * 36);  // 37 replacements, one of them the character itself
    }
}

TEST(CheckDigit, SwappedNeighboursAreCaught) {
    const std::string code = kValidCodes[0];
    for (std::size_t at = 0; at + 1 < code.size(); ++at) {
        if (code[at] == code[at + 1]) continue;
        std::string swapped = code;
        std::swap(swapped[at], swapped[at + 1]);
        EXPECT_TRUE(vantrel::HasBadCheckDigit(swapped)) << swapped;
    }
}

TEST(CheckDigit, LettersCountInEitherCase) {
    EXPECT_FALSE(vantrel::HasBadCheckDigit("91440300708461136t"));
    EXPECT_FALSE(vantrel::HasBadCheckDigit("91350100m000100y43"));
}

TEST(CheckDigit, OnlyEighteenCharacterIdsAreChecked) {
    EXPECT_FALSE(vantrel::HasBadCheckDigit(""));
    EXPECT_FALSE(vantrel::HasBadCheckDigit("440300192203821"));       // 15: an old tax registration number
    EXPECT_FALSE(vantrel::HasBadCheckDigit("91440300192203821"));     // 17
    EXPECT_FALSE(vantrel::HasBadCheckDigit("9144030019220382160"));   // 19
    EXPECT_FALSE(vantrel::HasBadCheckDigit("44030019220382161X00"));  // 20
    EXPECT_TRUE(vantrel::HasBadCheckDigit("914403001922038217"));
    EXPECT_TRUE(vantrel::HasBadCheckDigit("9144030019220382 6"));
    EXPECT_TRUE(vantrel::HasBadCheckDigit(std::string("91440300192203\xD6\xD0" "16")));
}

TEST(CheckDigit, CheckCharacterOfAnIncompleteOrForeignStem) {
    EXPECT_EQ(vantrel::UnifiedCodeCheckChar("9144030019220382"), '\0');
    EXPECT_EQ(vantrel::UnifiedCodeCheckChar("9144030019220382I"), '\0');
    // The remainder 0 gives the check character "0", not the 32nd character.
    EXPECT_EQ(vantrel::UnifiedCodeCheckChar("00000000000000000"), '0');
    EXPECT_EQ(vantrel::UnifiedCodeCheckChar("10000000000000000"), 'Y');
}

Txxqtfpxx Invoice() {
    Txxqtfpxx r;
    r.xh = 4;
    r.fplx = "1";
    r.fplxmc = "普通发票";
    testhost::SetEntered(r, "2026-11-10", 2, 1234.5, 209.87, 17, "914403001922038216");
    testhost::SetFlags(r, "0", "0", "0", "0");
    return r;
}

TEST(SameInvoice, TypeDateAmountTaxAndBuyerDecide) {
    const Txxqtfpxx a = Invoice();
    Txxqtfpxx b = a;
    // What does not identify an invoice may differ.
    b.xh = 9;
    b.fs = 7;
    b.sl = 13;
    testhost::SetFlags(b, "1", "1", "1", "1");
    b.txsj = "2026-12-01";
    EXPECT_TRUE(vantrel::SameInvoice(a, b));

    auto differs = [&](auto change) {
        Txxqtfpxx c = a;
        change(c);
        return !vantrel::SameInvoice(a, c) && !vantrel::SameInvoice(c, a);
    };
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.fplx = "2"; }));
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.kprq = "2026-11-11"; }));
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.je = 1234.51; }));
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.se = 209.88; }));
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.gfnsr = "91440300708461136T"; }));
    EXPECT_TRUE(differs([](Txxqtfpxx& c) { c.gfnsr = " "; }));
}

TEST(SameInvoice, StoredFormsOfOneValueMatch) {
    const Txxqtfpxx a = Invoice();
    Txxqtfpxx b = a;
    b.je = 1234.499999999;      // binary noise below a cent
    b.se = 209.8700001;
    b.kprq = "2026-11-10 00:00:00";
    b.gfnsr = " 914403001922038216 ";
    b.fplx = " 1";
    EXPECT_TRUE(vantrel::SameInvoice(a, b));

    // No buyer is stored as a blank.
    Txxqtfpxx noBuyer = a, blankBuyer = a;
    noBuyer.gfnsr = "";
    blankBuyer.gfnsr = " ";
    EXPECT_TRUE(vantrel::SameInvoice(noBuyer, blankBuyer));
}

}  // namespace

// ---- checks ------------------------------------------------------------------------------

TEST(InvoiceChecks, TaxTolerance) {
    const struct {
        const char* rate;
        double amount, tax;
        int tolerance;
        bool within;
    } cases[] = {
        {"17%", 100.00, 17.15, 15, true},   {"17%", 100.00, 17.16, 15, false},
        {"17%", 100.00, 16.85, 15, true},   {"17%", 100.00, 16.84, 15, false},
        // A difference of 0.151 is still inside; a little more is not.
        {"17%", 100.00, 17.151, 15, true},  {"17%", 100.00, 17.1511, 15, false},
        // The expected tax rounds a half to the even neighbour: 1.365 -> 1.36.
        {"13%", 10.50, 1.37, 0, false},     {"13%", 10.50, 1.36, 0, true},
        // An unreadable rate counts as 17 %.
        {"abc", 100.00, 17.00, 15, true},   {"", 100.00, 17.00, 15, true},
        {"6%", 100.00, 6.00, 15, true},     {"6%", 100.00, 17.00, 15, false},
        {"0%", 100.00, 0.10, 15, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TaxWithinTolerance(c.rate, c.amount, c.tax, c.tolerance), c.within)
            << c.rate << " " << c.amount << " " << c.tax << " within " << c.tolerance;
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
    EXPECT_EQ(vantrel::RateFromText("17%", 5), 17);
    EXPECT_EQ(vantrel::RateFromText("0%", 5), 0);
    EXPECT_EQ(vantrel::RateFromText("6%", 17), 6);
    EXPECT_EQ(vantrel::RateFromText("", 13), 13);
    EXPECT_EQ(vantrel::RateFromText("100%", 13), 13);
    EXPECT_EQ(vantrel::RateFromText("ab%", 13), 13);
    EXPECT_EQ(vantrel::RateDigits("17%"), "17");
    EXPECT_EQ(vantrel::RateDigits("17"), "");
}

TEST(InvoiceChecks, RecomputedTax) {
    const struct {
        const char* rate;
        const char* amount;
        const char* tax;
    } cases[] = {{"13%", "10.50", "1.37"},
                 {"17%", "0.05", "0.01"},
                 {"17%", "100", "17.00"},
                 {"17%", "-100", "-17.00"},
                 {"0%", "123.45", "0.00"}};
    for (const auto& c : cases) {
        std::string tax = "unchanged";
        EXPECT_TRUE(vantrel::ComputeTaxText(c.rate, c.amount, tax)) << c.rate << " of " << c.amount;
        EXPECT_EQ(tax, c.tax) << c.rate << " of " << c.amount;
    }
    std::string tax = "unchanged";
    EXPECT_FALSE(vantrel::ComputeTaxText("17%", "-", tax));
    EXPECT_FALSE(vantrel::ComputeTaxText("17", "100", tax));
    EXPECT_FALSE(vantrel::ComputeTaxText("%", "100", tax));
    EXPECT_EQ(tax, "unchanged");
}

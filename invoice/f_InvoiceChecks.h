// The rules an invoice entry is checked against before it is saved, and the tax arithmetic
// of the detail window. No widgets: the window and the register import feed in texts and
// numbers, so both refuse exactly the same entries.
#pragma once

#include <QDate>

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// A decimal number as the user may type it ("12", "-3.5", "12.", ".5"); surrounding blanks
// are allowed, anything else is refused. Independent of the C locale.
bool ParseDecimal(const std::string& text, double& value);
// A whole number that fits 32 bits, surrounding blanks allowed.
bool ParseInt32(const std::string& text, int& value);

// One invoice as it stands in the entry fields before a save.
struct TInvoiceEntry {
    bool typeChosen = false;    // an entry with a type code is chosen (not the placeholder)
    std::string typeName;       // the chosen type's name
    bool countEnabled = true;   // the type takes a count
    std::string countText;
    std::string amountText;
    std::string rateText;       // as the rate list shows it ("17%"); blank when none
    std::string taxText;
    bool exempt = false;        // 是否免税 is "是"
    std::string buyer;          // as typed; compared trimmed
    bool dateEnabled = true;    // the type takes an issue date
    QDate issued;
    bool voided = false;
};

// The field a finding is about, so that callers can focus or mark it.
enum class TEntryField { Type, Count, Amount, Rate, Tax, Buyer, Date, Voided };

// A failed check: the host message number and its parameter. A confirmation is a question
// the user may answer yes to, after which the remaining findings count.
struct TEntryFinding {
    int code = 0;
    std::string param;
    TEntryField field = TEntryField::Type;
    bool confirmation = false;
};

struct TEntryContext {
    std::string period;      // "yyyyMM..."
    std::string taxpayer;    // the current taxpayer's id
    QDate today;
    int32_t tolerance = 15;  // hundredths of a yuan
    std::string idLengths;   // allowed buyer-id lengths, "|15|18|..."
};

// Which fields a type takes: "未开具发票" has neither an issue date nor a count,
// "纳税检查调整" has no count.
bool TypeTakesDate(const std::string& typeName);
bool TypeTakesCount(const std::string& typeName);

// The host's date.
QDate HostToday();

// A context for the current configuration and today.
TEntryContext EntryContext(const std::string& period, const std::string& taxpayer);

// Every check of a save, in the order the window asks them. A check whose inputs already
// failed (the tax when the amount is no number) is left out rather than reported twice, so
// the first finding is always the one a check-and-stop would give.
std::vector<TEntryFinding> CheckInvoiceEntry(const TInvoiceEntry& entry, const TEntryContext& context);

// "yyyy年MM月dd日", the date form of the period messages.
std::string ChineseDate(const QDate& date);

}  // namespace vantrel

// tax lies within wc hundredths of a yuan of amount x rate; the rate text may carry "%"
// and counts as 17 when it holds no number. wc defaults to the configured tolerance.
bool TaxWithinTolerance(const std::string& rateText, double amount, double tax);
bool TaxWithinTolerance(const std::string& rateText, double amount, double tax, int32_t wc);

// 0 valid, 1 a character other than "-", digits and Latin letters, 2 a length that the
// configured list of lengths (or lengths, when given) does not allow.
int CheckTaxpayerId(const std::string& id);
int CheckTaxpayerId(const std::string& id, const std::string& lengths);

// First and last day of the month of a period "yyyyMM..."; an invalid date when the period
// does not start with a year and a month.
QDate PeriodStartDate(const std::string& period);
QDate PeriodEndDate(const std::string& period);

namespace vantrel {

// The rate of a rate list text ("17%", "0%"): two characters give the first one, three the
// first two; any other text keeps current.
int32_t RateFromText(const std::string& rateText, int32_t current);

// The part of a rate list text before the first "%"; empty when there is no "%".
std::string RateDigits(const std::string& rateText);

// Tax of amountText at the rate of rateText, as the tax field shows it ("0.00"). False, and
// tax untouched, when either text holds no number.
bool ComputeTaxText(const std::string& rateText, const std::string& amountText, std::string& tax);

}  // namespace vantrel

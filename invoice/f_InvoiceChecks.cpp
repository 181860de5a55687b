#include "invoice/f_InvoiceChecks.h"

#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_MessageIds.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

const char* const kTypeNotIssued = "未开具发票";
const char* const kTypeInspection = "纳税检查调整";

bool IsDigit(int key) { return key >= '0' && key <= '9'; }

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string_view();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Writing a value with 15 significant digits and reading it back drops the binary noise
// that a subtraction of two decimal amounts leaves behind.
double Normalised(double value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    double back = value;
    std::from_chars(buf, res.ptr, back);
    return back;
}

bool IsAsciiAlnumOrDash(unsigned char c) {
    return c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

namespace vantrel {

bool ParseDecimal(const std::string& text, double& value) {
    const std::string_view t = Trimmed(text);
    std::size_t pos = 0;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) ++pos;
    const std::size_t mantissaStart = pos;
    int digits = 0;
    while (pos < t.size() && IsDigit(t[pos])) ++pos, ++digits;
    if (pos < t.size() && t[pos] == '.') {
        ++pos;
        while (pos < t.size() && IsDigit(t[pos])) ++pos, ++digits;
    }
    if (digits == 0) return false;
    if (pos < t.size() && (t[pos] == 'e' || t[pos] == 'E')) {
        ++pos;
        if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) ++pos;
        int expDigits = 0;
        while (pos < t.size() && IsDigit(t[pos])) ++pos, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (pos != t.size()) return false;

    // Every amount of an import passes here several times. Up to 15 digits without an
    // exponent are exact as a double, and so is 10^k for k <= 22: one division, rounded to
    // nearest, then gives what from_chars gives.
    if (digits <= 15 && t.find_first_of("eE", mantissaStart) == std::string_view::npos &&
        std::fegetround() == FE_TONEAREST) {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        uint64_t mantissa = 0;
        int fraction = -1;
        for (std::size_t i = mantissaStart; i < t.size(); ++i) {
            if (t[i] == '.') {
                fraction = 0;
                continue;
            }
            mantissa = mantissa * 10 + static_cast<uint64_t>(t[i] - '0');
            if (fraction >= 0) ++fraction;
        }
        const double parsed = static_cast<double>(mantissa) / kPowers[fraction < 0 ? 0 : fraction];
        value = (t[0] == '-') ? -parsed : parsed;
        return true;
    }
    // from_chars takes neither a leading "+" nor a bare "." before the digits in every
    // library, so it gets the text after the sign, and a copy with a "0" ahead of a bare ".".
    std::string_view body = t.substr(mantissaStart);
    std::string withZero;
    if (!body.empty() && body[0] == '.') {
        withZero = "0" + std::string(body);
        body = withZero;
    }
    double parsed = 0;
    const auto res = std::from_chars(body.data(), body.data() + body.size(), parsed);
    if (res.ec != std::errc() || res.ptr != body.data() + body.size()) return false;
    if (!std::isfinite(parsed)) return false;
    value = (t[0] == '-') ? -parsed : parsed;
    return true;
}

bool ParseInt32(const std::string& text, int& value) {
    const std::string_view t = Trimmed(text);
    if (t.empty()) return false;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') {
        ++first;
        if (first == last || *first == '-') return false;
    }
    int parsed = 0;
    const auto res = std::from_chars(first, last, parsed);
    if (res.ec != std::errc() || res.ptr != last) return false;
    value = parsed;
    return true;
}


}  // namespace vantrel
bool TaxWithinTolerance(const std::string& rateText, double amount, double tax) {
    return TaxWithinTolerance(rateText, amount, tax, vantrel::CurrentInvoiceConfig().TaxTolerance);
}

bool TaxWithinTolerance(const std::string& rateText, double amount, double tax, int32_t wc) {
    std::string digits;
    for (char c : rateText)
        if (c != '%') digits += c;
    double rate = 0;
    if (!vantrel::ParseDecimal(digits, rate)) rate = 17;

    // Two decimals, a half to the even neighbour (the default rounding mode).
    const double expected = std::nearbyint(Normalised(amount * rate)) / 100.0;
    const double difference = Normalised(std::fabs(tax - expected));
    const double limit = wc / 100.0;
    return difference < limit || Normalised(difference - limit) <= 0.001;
}

int CheckTaxpayerId(const std::string& id) {
    return CheckTaxpayerId(id, vantrel::CurrentInvoiceConfig().TaxpayerIdLengths);
}

int CheckTaxpayerId(const std::string& id, const std::string& lengths) {
    for (unsigned char c : id)
        if (!IsAsciiAlnumOrDash(c)) return 1;
    if (id.size() < 10) return 2;
    return lengths.find(std::to_string(id.size())) != std::string::npos ? 0 : 2;
}

namespace {

bool PeriodYearMonth(const std::string& period, int& year, int& month) {
    if (period.size() < 6) return false;
    int digits[6];
    for (std::size_t k = 0; k < 6; ++k) {
        if (period[k] < '0' || period[k] > '9') return false;
        digits[k] = period[k] - '0';
    }
    year = ((digits[0] * 10 + digits[1]) * 10 + digits[2]) * 10 + digits[3];
    month = digits[4] * 10 + digits[5];
    return month >= 1 && month <= 12 && year >= 1;
}

// The last day of the month that starts at start (invalid for an invalid start).
QDate PeriodEndOf(const QDate& start) {
    return start.isValid() ? QDate(start.year(), start.month(), start.daysInMonth()) : QDate();
}

}  // namespace

QDate PeriodStartDate(const std::string& period) {
    int year = 0, month = 0;
    if (!PeriodYearMonth(period, year, month)) return QDate();
    return QDate(year, month, 1);
}

QDate PeriodEndDate(const std::string& period) { return PeriodEndOf(PeriodStartDate(period)); }

namespace vantrel {

int32_t RateFromText(const std::string& rateText, int32_t current) {
    std::string head;
    if (rateText.size() == 2) head = rateText.substr(0, 1);
    else if (rateText.size() == 3) head = rateText.substr(0, 2);
    else return current;
    int rate = 0;
    return ParseInt32(head, rate) ? rate : current;
}

std::string RateDigits(const std::string& rateText) {
    const auto percent = rateText.find('%');
    return percent == std::string::npos ? std::string() : rateText.substr(0, percent);
}

bool ComputeTaxText(const std::string& rateText, const std::string& amountText, std::string& tax) {
    double amount = 0;
    int rate = 0;
    if (!ParseDecimal(amountText, amount)) return false;
    if (!ParseInt32(RateDigits(rateText), rate)) return false;
    tax = FixedToText(MoneyToFixed(rate * amount / 100.0));
    return true;
}

std::string ChineseDate(const QDate& date) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d年%02d月%02d日", date.year(), date.month(), date.day());
    return buf;
}

bool TypeTakesDate(const std::string& typeName) { return typeName != kTypeNotIssued; }

bool TypeTakesCount(const std::string& typeName) { return typeName != kTypeNotIssued && typeName != kTypeInspection; }

QDate HostToday() { return QDate::fromString(QString::fromLatin1(TodayText().c_str()), QStringLiteral("yyyy-MM-dd")); }

TEntryContext EntryContext(const std::string& period, const std::string& taxpayer) {
    const InvoiceConfig& config = CurrentInvoiceConfig();
    TEntryContext context;
    context.period = period;
    context.taxpayer = taxpayer;
    context.today = HostToday();
    context.tolerance = config.TaxTolerance;
    context.idLengths = config.TaxpayerIdLengths;
    return context;
}

std::vector<TEntryFinding> CheckInvoiceEntry(const TInvoiceEntry& entry, const TEntryContext& context) {
    std::vector<TEntryFinding> findings;
    const auto find = [&findings](int code, TEntryField field, std::string param = std::string()) {
        findings.push_back(TEntryFinding{code, std::move(param), field, false});
    };

    if (!entry.typeChosen) find(kMsgNoType, TEntryField::Type);

    // The count reads the way the count field's value does: no number counts as 0.
    double countValue = 0;
    if (!ParseDecimal(entry.countText, countValue)) countValue = 0;
    int count = 0;
    if (entry.countEnabled && countValue <= 0)
        find(kMsgCountZero, TEntryField::Count);
    else if (!ParseInt32(entry.countText, count))
        find(kMsgCountNotInteger, TEntryField::Count);

    double amount = 0;
    const bool amountRead = ParseDecimal(entry.amountText, amount) && amount != 0;
    if (!amountRead) find(kMsgAmountZero, TEntryField::Amount);

    const std::string rateText = TrimBlanks(entry.rateText);
    if (rateText.empty()) find(kMsgNoRate, TEntryField::Rate);

    double tax = 0;
    const std::string tolerance = std::to_string(context.tolerance);
    const bool taxRead = ParseDecimal(entry.taxText, tax);
    if (!taxRead)
        find(kMsgTaxOutOfTolerance, TEntryField::Tax, tolerance);
    else if (amountRead && !rateText.empty() && tax != 0 &&
             !TaxWithinTolerance(rateText, amount, tax, context.tolerance))
        find(kMsgTaxOutOfTolerance, TEntryField::Tax, tolerance);
    if (taxRead && !entry.exempt && tax == 0) find(kMsgTaxZeroNotExempt, TEntryField::Tax);

    const std::string buyer = TrimBlanks(entry.buyer);
    if (!buyer.empty()) {
        switch (CheckTaxpayerId(buyer, context.idLengths)) {
        case 1: find(kMsgBuyerIdCharacter, TEntryField::Buyer); break;
        case 2: find(kMsgBuyerIdLength, TEntryField::Buyer); break;
        default: break;
        }
    }

    if (entry.dateEnabled) {
        const QDate periodStart = PeriodStartDate(context.period);
        const QDate periodEnd = PeriodEndOf(periodStart);
        if (entry.issued > context.today) {
            find(kMsgDateAfterToday, TEntryField::Date);
        } else if (periodEnd.isValid() && entry.issued > periodEnd) {
            findings.push_back(TEntryFinding{kMsgConfirmAfterPeriod, ChineseDate(periodEnd), TEntryField::Date, true});
        } else if (periodStart.isValid() && entry.issued < periodStart) {
            find(kMsgDateBeforePeriod, TEntryField::Date, ChineseDate(periodStart));
        }
    }

    if (!buyer.empty() && buyer == context.taxpayer) find(kMsgBuyerIsSelf, TEntryField::Buyer);
    if (entry.typeName == kTypeNotIssued && entry.voided) find(kMsgNoInvoiceVoided, TEntryField::Voided);
    return findings;
}

}  // namespace vantrel

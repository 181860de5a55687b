#include "f_InvoiceChecks.h"

#include "f_AmountInput.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"

#include <charconv>
#include <cmath>

namespace {

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

bool TaxWithinTolerance(const std::string& rateText, double amount, double tax) {
    return TaxWithinTolerance(rateText, amount, tax, CurrentInvoiceConfig().TaxTolerance);
}

bool TaxWithinTolerance(const std::string& rateText, double amount, double tax, int32_t wc) {
    std::string digits;
    for (char c : rateText)
        if (c != '%') digits += c;
    double rate = 0;
    if (!amountinput::ParseDecimal(digits, rate)) rate = 17;

    // Two decimals, a half to the even neighbour (the default rounding mode).
    const double expected = std::nearbyint(Normalised(amount * rate)) / 100.0;
    const double difference = Normalised(std::fabs(tax - expected));
    const double limit = wc / 100.0;
    return difference < limit || Normalised(difference - limit) <= 0.001;
}

int CheckTaxpayerId(const std::string& id) {
    return CheckTaxpayerId(id, CurrentInvoiceConfig().TaxpayerIdLengths);
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
    for (int k = 0; k < 6; ++k)
        if (period[static_cast<std::size_t>(k)] < '0' || period[static_cast<std::size_t>(k)] > '9') return false;
    year = std::stoi(period.substr(0, 4));
    month = std::stoi(period.substr(4, 2));
    return month >= 1 && month <= 12 && year >= 1;
}

}  // namespace

QDate PeriodStartDate(const std::string& period) {
    int year = 0, month = 0;
    if (!PeriodYearMonth(period, year, month)) return QDate();
    return QDate(year, month, 1);
}

QDate PeriodEndDate(const std::string& period) {
    const QDate start = PeriodStartDate(period);
    if (!start.isValid()) return QDate();
    return QDate(start.year(), start.month(), start.daysInMonth());
}

int32_t RateFromText(const std::string& rateText, int32_t current) {
    std::string head;
    if (rateText.size() == 2) head = rateText.substr(0, 1);
    else if (rateText.size() == 3) head = rateText.substr(0, 2);
    else return current;
    int rate = 0;
    return amountinput::ParseInt32(head, rate) ? rate : current;
}

std::string RateDigits(const std::string& rateText) {
    const auto percent = rateText.find('%');
    return percent == std::string::npos ? std::string() : rateText.substr(0, percent);
}

bool ComputeTaxText(const std::string& rateText, const std::string& amountText, std::string& tax) {
    double amount = 0;
    int rate = 0;
    if (!amountinput::ParseDecimal(amountText, amount)) return false;
    if (!amountinput::ParseInt32(RateDigits(rateText), rate)) return false;
    tax = FixedToText(MoneyToFixed(rate * amount / 100.0));
    return true;
}

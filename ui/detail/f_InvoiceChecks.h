// The rules an invoice entry is checked against before it is saved, and the tax arithmetic
// of the detail window. No widgets: the window feeds in texts and numbers.
#pragma once

#include <QDate>

#include <cstdint>
#include <string>

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

// The rate of a rate list text ("17%", "0%"): two characters give the first one, three the
// first two; any other text keeps current.
int32_t RateFromText(const std::string& rateText, int32_t current);

// The part of a rate list text before the first "%"; empty when there is no "%".
std::string RateDigits(const std::string& rateText);

// Tax of amountText at the rate of rateText, as the tax field shows it ("0.00"). False, and
// tax untouched, when either text holds no number.
bool ComputeTaxText(const std::string& rateText, const std::string& amountText, std::string& tax);

// Sample invoices to try the module on: one declaration period of a taxpayer that touches
// every invoice type, rate and flag the summary distinguishes, plus a few rows of the
// previous period and of another taxpayer that must stay out of it.
#pragma once

#include <string>

// Rows already present (same taxpayer, period and sequence number) are left as they are, so
// running it again adds nothing. Each taxpayer's rows are written in one transaction with
// their entries in the change log (one 导入 batch, "演示发票").
bool InsertDemoInvoices(const std::string& connection, const std::string& subAppCode, const std::string& company,
                        const std::string& period, std::string& error);

// The taxpayer of the extra rows: never the session's own.
std::string DemoOtherCompany(const std::string& company);
// The month before a yyyymm period.
std::string PreviousPeriod(const std::string& period);

// Reporting periods and the taxpayer header block of report documents.
#pragma once

#include "host/f_ModuleContext.h"

#include <string>

// The latest quarter that has ended by the end of the accounting month kjny ("yyyymm"),
// as "yyyymmdd" dates. A month outside 1-12 leaves start and end unchanged.
// False (start and end unchanged) when the year or month is not a number.
bool GetQuarterRange(const std::string& kjny, std::string& start, std::string& end);

// The start or end date of a reporting period: request is a kind word ("月报", "季报",
// "年报") followed by "起始" or "截止". Other requests leave date unchanged.
// False (date unchanged) when the period's year or month is not a number.
bool GetReportDate(const std::string& request, const std::string& kjny, std::string& date);

// The value of key in the context's particulars (the ParamString "jbxx").
void GetCompanyInfo(const vantrel::TModuleContext& context, const std::string& key, std::string& value);

// The taxpayer block "<prefix_BTXX>...</prefix_BTXX>" for the form of funcCode in the context's
// period. On success message is empty; on failure message says why and header is not assigned.
void GetReportHeader(const vantrel::TModuleContext& context, const std::string& prefix, const std::string& funcCode,
                     std::string& message, std::string& header);

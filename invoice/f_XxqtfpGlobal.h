// The invoice record and every statement on the invoice table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class THostQuery;

struct Txxqtfpxx {
    int32_t xh = 0;
    std::string fplx;
    std::string fplxmc;
    std::string kprq;
    int64_t fs = 0;
    double je = 0;
    double se = 0;
    std::string gfnsr;
    std::string lwfp;
    std::string ms;
    std::string zfbz;
    std::string jzjt;
    std::string txsj;
    int32_t sl = 0;
    std::string sbssq;
};

namespace vantrel {

struct TModuleContext;

// The most sequence numbers one delete statement names.
inline constexpr std::size_t kDeleteGroupSize = 10;

// Only "1" counts as set.
inline bool FlagSet(const std::string& flag) { return flag.size() == 1 && flag[0] == '1'; }

// The template of a new invoice for period kjny ("yyyyMM..."), today as "yyyy-MM-dd".
Txxqtfpxx MakeInvoiceTemplate(int32_t nextXh, const std::string& kjny, const std::string& today);
// Today as "yyyy-MM-dd".
std::string TodayText();

// The statements name the context's tables (its sub-application code), taxpayer and period,
// and write dates as the engine of its connection reads them.

// The record's sbssq, txsj (today) and gfnsr (a blank when none) are written as they are.
std::string BuildInsertSql(const TModuleContext& context, const Txxqtfpxx& r);
std::string BuildUpdateSql(const TModuleContext& context, const Txxqtfpxx& r);
// fplx and gfnsr empty: no filter of that kind.
std::string BuildListSql(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr);
// Appends the rows of the context's list select as new records (the caller owns them); a type without
// a name reads "未知发票". False with the host's error when the select fails.
bool ReadInvoiceList(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr,
                     std::vector<Txxqtfpxx*>& list, std::string& error);
// The same rows handed over one at a time in a record that is reused for the next row, so
// that a long list is never held in memory. False with the host's error when the select fails
// (possibly after some rows were handed over).
bool ReadInvoiceRows(const TModuleContext& context, const std::string& fplx, const std::string& gfnsr,
                     const std::function<void(const Txxqtfpxx&)>& onRecord, std::string& error);
std::string BuildDeleteHead(const TModuleContext& context);
// One delete statement for a group of sequence numbers: the head, " or (xh=N)" each, ")".
std::string BuildDeleteSql(const std::string& head, const std::vector<int32_t>& group);
// The delete statements for all numbers, in groups of at most kDeleteGroupSize, in the given order.
std::vector<std::string> BuildDeleteStatements(const TModuleContext& context, const std::vector<int32_t>& xhs);
// The largest sequence number stored for the taxpayer and period, as "maxxh" (NULL for none);
// with a number asked about, also how many rows hold that number, as "taken".
std::string BuildLargestXhSql(const TModuleContext& context, std::optional<int32_t> asked = std::nullopt);
std::string BuildTypeListSql(const TModuleContext& context);
// Appends one new record per row of a select with the list's fields (those of BuildListSql),
// from the first row on. A type without a name reads "未知发票".
void ReadInvoiceRecords(THostQuery& query, std::vector<Txxqtfpxx*>& list);

}  // namespace vantrel

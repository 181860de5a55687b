// The table of sources beside the register (sb_fply): for each register row read from an
// e-invoice file, the invoice's number, the file's name and its SHA-256, keyed like the row
// (taxpayer, period, sequence number). An invoice of several rates gives several rows of one
// number. The statements are written in capitals, as the change log's are, so that no
// statement of the register contains them.
#pragma once

#include "host/f_ModuleContext.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

struct TInvoiceSource {
    int32_t xh = 0;
    std::string number;    // 发票号码
    std::string fileName;  // GBK, without its folder
    std::string sha256;    // hex
};

// The invoice number of each of the period's rows that has a source, by sequence number, for
// the context's taxpayer. A read that fails gives an empty map and, when asked, the reason.
std::map<int, std::string> ReadInvoiceNumbers(const TModuleContext& context, const std::string& period,
                                              std::string* error = nullptr);

// Where the taxpayer's register holds an invoice number already, in any period.
struct TStoredInvoice {
    std::string period;
    int32_t xh = 0;
};
// Those of numbers that the context's taxpayer holds, each with one row holding it.
bool FindStoredInvoiceNumbers(const TModuleContext& context, const std::vector<std::string>& numbers,
                              std::map<std::string, TStoredInvoice>& found, std::string& error);

// Inside the write's transaction, beside the rows of the period just stored.
bool WriteInvoiceSources(const TModuleContext& context, const std::string& period,
                         const std::vector<TInvoiceSource>& sources, std::string& error);
// Inside the write's transaction that deletes those rows of the period.
bool DeleteInvoiceSources(const TModuleContext& context, const std::string& period, const std::vector<int32_t>& xhs,
                          std::string& error);

// Inside a write that removes those rows of the period as batch: their sources are kept under
// the batch's number (sb_bgjlly) and deleted.
bool KeepAndDeleteInvoiceSources(const TModuleContext& context, const std::string& period,
                                 const std::vector<int32_t>& xhs, int64_t batch, std::string& error);
// The sources that batch removed, by the sequence number they had.
bool ReadKeptInvoiceSources(const TModuleContext& context, int64_t batch, std::map<int32_t, TInvoiceSource>& kept,
                            std::string& error);

// Whether a statement is one of this table's (for tests that compare the register's statements).
bool IsInvoiceSourceStatement(const std::string& sql, const std::string& subAppCode);

}  // namespace vantrel

#include "invoice/f_InvoiceSource.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"

namespace vantrel {

namespace {

// Rows per insert statement and numbers per IN list: fewer statements, none too long.
constexpr std::size_t kPerStatement = 200;

std::string SourceTable(const std::string& code) { return QualifyTableName("sb_fply", code); }

std::string TaxpayerPeriod(const TModuleContext& context, const std::string& period) {
    return " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND sbssq=" + QuotedLiteral(period);
}

}  // namespace

std::map<int, std::string> ReadInvoiceNumbers(const TModuleContext& context, const std::string& period,
                                              std::string* error) {
    std::map<int, std::string> numbers;
    THostQuery query;
    std::string reason;
    int xh = -1, fphm = -1;
    const bool ok = ExecADOQueryRows(context.connection,
                                     "SELECT xh,fphm FROM " + SourceTable(context.subAppCode) +
                                         TaxpayerPeriod(context, period),
                                     &query, reason, [&] {
                                         if (xh < 0) {
                                             xh = query.FieldIndex("xh");
                                             fphm = query.FieldIndex("fphm");
                                         }
                                         numbers[static_cast<int>(query.Int64At(xh))] = query.StringAt(fphm);
                                         return true;
                                     });
    if (!ok) {
        numbers.clear();
        if (error) *error = reason;
    }
    return numbers;
}

bool FindStoredInvoiceNumbers(const TModuleContext& context, const std::vector<std::string>& numbers,
                              std::map<std::string, TStoredInvoice>& found, std::string& error) {
    THostQuery query;
    for (std::size_t from = 0; from < numbers.size(); from += kPerStatement) {
        std::string sql = "SELECT sbssq,xh,fphm FROM " + SourceTable(context.subAppCode) +
                          " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND fphm IN (";
        for (std::size_t i = from; i < numbers.size() && i < from + kPerStatement; ++i)
            sql += (i == from ? "" : ",") + QuotedLiteral(numbers[i]);
        if (!ExecADOQueryRows(context.connection, sql + ")", &query, error, [&] {
                found.emplace(query.FieldAsString("fphm"),
                              TStoredInvoice{query.FieldAsString("sbssq"), query.FieldAsInteger("xh")});
                return true;
            }))
            return false;
    }
    return true;
}

bool WriteInvoiceSources(const TModuleContext& context, const std::string& period,
                         const std::vector<TInvoiceSource>& sources, std::string& error) {
    THostQuery query;
    const std::string head = "INSERT INTO " + SourceTable(context.subAppCode) +
                             " (nsrsbh,sbssq,xh,fphm,wjm,wjhx) VALUES ";
    const std::string keyHead = QuotedLiteral(context.taxpayer) + "," + QuotedLiteral(period) + ",";
    for (std::size_t from = 0; from < sources.size(); from += kPerStatement) {
        std::string sql = head;
        for (std::size_t i = from; i < sources.size() && i < from + kPerStatement; ++i) {
            const TInvoiceSource& s = sources[i];
            sql += (i == from ? "(" : ",(") + keyHead + std::to_string(s.xh) + "," + QuotedLiteral(s.number) + "," +
                   QuotedLiteral(s.fileName) + "," + QuotedLiteral(s.sha256) + ")";
        }
        if (!ExecADOQueryMsg(context.connection, sql, &query, error, 0, 0)) return false;
    }
    return true;
}

bool DeleteInvoiceSources(const TModuleContext& context, const std::string& period, const std::vector<int32_t>& xhs,
                          std::string& error) {
    THostQuery query;
    for (std::size_t from = 0; from < xhs.size(); from += kPerStatement) {
        std::string sql = "DELETE FROM " + SourceTable(context.subAppCode) + TaxpayerPeriod(context, period) +
                          " AND xh IN (";
        for (std::size_t i = from; i < xhs.size() && i < from + kPerStatement; ++i)
            sql += (i == from ? "" : ",") + std::to_string(xhs[i]);
        if (!ExecADOQueryMsg(context.connection, sql + ")", &query, error, 0, 0)) return false;
    }
    return true;
}

bool KeepAndDeleteInvoiceSources(const TModuleContext& context, const std::string& period,
                                 const std::vector<int32_t>& xhs, int64_t batch, std::string& error) {
    THostQuery query;
    // Most periods hold no e-invoice: one look, instead of two statements per group of rows.
    if (!ExecADOQueryMsg(context.connection,
                         "SELECT xh FROM " + SourceTable(context.subAppCode) + TaxpayerPeriod(context, period) + " LIMIT 1",
                         &query, error, 1, 0))
        return false;
    if (query.RecordCount() == 0) return true;
    for (std::size_t from = 0; from < xhs.size(); from += kPerStatement) {
        std::string sql = "INSERT INTO " + QualifyTableName("sb_bgjlly", context.subAppCode) +
                          " (nsrsbh,pc,xh,fphm,wjm,wjhx) SELECT nsrsbh," + std::to_string(batch) +
                          ",xh,fphm,wjm,wjhx FROM " + SourceTable(context.subAppCode) + TaxpayerPeriod(context, period) +
                          " AND xh IN (";
        for (std::size_t i = from; i < xhs.size() && i < from + kPerStatement; ++i)
            sql += (i == from ? "" : ",") + std::to_string(xhs[i]);
        if (!ExecADOQueryMsg(context.connection, sql + ")", &query, error, 0, 0)) return false;
    }
    return DeleteInvoiceSources(context, period, xhs, error);
}

bool ReadKeptInvoiceSources(const TModuleContext& context, int64_t batch, std::map<int32_t, TInvoiceSource>& kept,
                            std::string& error) {
    THostQuery query;
    return ExecADOQueryRows(context.connection,
                            "SELECT xh,fphm,wjm,wjhx FROM " + QualifyTableName("sb_bgjlly", context.subAppCode) +
                                " WHERE nsrsbh=" + QuotedLiteral(context.taxpayer) + " AND pc=" + std::to_string(batch),
                            &query, error, [&] {
                                TInvoiceSource s;
                                s.xh = static_cast<int32_t>(query.FieldAsInt64("xh"));
                                s.number = query.FieldAsString("fphm");
                                s.fileName = query.FieldAsString("wjm");
                                s.sha256 = query.FieldAsString("wjhx");
                                kept[s.xh] = std::move(s);
                                return true;
                            });
}

bool IsInvoiceSourceStatement(const std::string& sql, const std::string& subAppCode) {
    return sql.find(" " + SourceTable(subAppCode) + " ") != std::string::npos;
}

}  // namespace vantrel

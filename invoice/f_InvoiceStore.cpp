#include "invoice/f_InvoiceStore.h"

#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceSource.h"

#include <algorithm>
#include <climits>
#include <map>

namespace {

TStoreOutcome Failed(TStoreFailure failure, std::string error) { return {failure, std::move(error)}; }

// The log's entries of rows just inserted, read back as stored a range of numbers at a time
// (no statement runs while a read streams, and the rows are never all held).
bool LogStoredRows(vantrel::TChangeLogWriter& log, const std::map<std::string, std::vector<int32_t>>& stored,
                   std::string& error) {
    constexpr int32_t kRange = 1000;
    std::vector<std::pair<int32_t, std::string>> rows;
    for (const auto& [sbssq, xhs] : stored) {
        for (auto from = xhs.begin(); from != xhs.end();) {
            const int32_t last = *from > INT32_MAX - kRange ? INT32_MAX : *from + kRange - 1;
            const auto to = std::upper_bound(from, xhs.end(), last);
            rows.clear();
            if (!log.ReadRange(sbssq, *from, *(to - 1),
                               [&](int32_t xh, std::string&& row) {
                                   if (std::binary_search(from, to, xh)) rows.emplace_back(xh, std::move(row));
                               },
                               error))
                return false;
            for (auto& [xh, row] : rows) log.Add(sbssq, xh, std::string(), std::move(row));
            from = to;
        }
    }
    return true;
}

}  // namespace

std::string ReasonLine(const std::string& error) { return error.empty() ? std::string() : "\n" + error; }

TInvoiceStatistics ComputeStatistics(const std::vector<Txxqtfpxx*>& list) {
    TInvoiceStatistics s;
    for (const Txxqtfpxx* r : list) {
        if (!r) continue;
        ++s.count;
        if (FlagSet(r->zfbz)) {
            s.voidAmount += MoneyToFixed(r->je);
            ++s.voidCount;
            s.voidTax += MoneyToFixed(r->se);
        } else {
            s.amount += MoneyToFixed(r->je);
            s.tax += MoneyToFixed(r->se);
        }
    }
    return s;
}

int32_t NextXhAfter(const std::vector<Txxqtfpxx*>& list) {
    int64_t largest = 0;
    for (const Txxqtfpxx* r : list)
        if (r && r->xh > largest) largest = r->xh;
    return static_cast<int32_t>(std::min<int64_t>(largest + 1, INT32_MAX));
}

TInvoiceStore::TInvoiceStore(vantrel::TModuleContext context, TMarkProc mark)
    : context_(std::move(context)), mark_(std::move(mark)) {}

TStoreOutcome TInvoiceStore::LoadList(const std::string& fplx, const std::string& gfnsr,
                                     std::vector<Txxqtfpxx*>& list) const {
    std::string error;
    if (!ReadInvoiceList(context_, fplx, gfnsr, list, error)) return Failed(TStoreFailure::Statement, error);
    return {};
}

TStoreOutcome TInvoiceStore::WriteOnce(const std::string& sql, const Txxqtfpxx& record,
                                      vantrel::TChangeKind kind) const {
    const std::string& connection = context_.connection;
    std::string error;
    THostTransaction transaction(connection, error);
    if (!transaction.Active()) return Failed(TStoreFailure::Begin, error);
    vantrel::TChangeLogWriter log(context_, {kind, {}});
    std::map<int32_t, std::string> before, after;
    if (!log.Lock(error) ||
        (kind != vantrel::TChangeKind::Add && !log.ReadRows(record.sbssq, {record.xh}, before, error)))
        return Failed(TStoreFailure::Statement, error);
    THostQuery query;
    if (!ExecADOQueryMsg(connection, sql, &query, error, 0, 0)) return Failed(TStoreFailure::Statement, error);
    if (query.RowsAffected() < 1) return Failed(TStoreFailure::NoRow, std::string());
    if (!log.ReadRows(record.sbssq, {record.xh}, after, error)) return Failed(TStoreFailure::Statement, error);
    log.Add(record.sbssq, record.xh, std::move(before[record.xh]), std::move(after[record.xh]));
    if (mark_ && !mark_(error)) return Failed(TStoreFailure::Mark, error);
    if (!log.Flush(error)) return Failed(TStoreFailure::Statement, error);
    if (!transaction.Commit(error)) return Failed(TStoreFailure::Commit, error);
    return {};
}

TStoreOutcome TInvoiceStore::Insert(Txxqtfpxx& record) const {
    TStoreOutcome result;
    for (int attempt = 0; attempt < kInsertAttempts; ++attempt) {
        result = WriteOnce(BuildInsertSql(context_, record), record, vantrel::TChangeKind::Add);
        if (result.failure != TStoreFailure::Statement || !MovedPastClash(record)) return result;
    }
    return result;
}

bool TInvoiceStore::MovedPastClash(Txxqtfpxx& record) const {
    // Only a key clash (another window stored this number meanwhile) moves the number on;
    // any other refusal is reported as it is, the number kept.
    int32_t next = 0;
    bool taken = false;
    if (!ReadNumbers(record.xh, next, taken).Ok() || !taken) return false;
    record.xh = next;
    return true;
}

TStoreOutcome TInvoiceStore::InsertAll(std::vector<Txxqtfpxx>& records, const TProgressProc& progress) const {
    Txxqtfpxx* const first = records.data();
    return InsertEach(
        records.size(), [first](std::size_t i, Txxqtfpxx& r) { r = first[i]; }, progress,
        {vantrel::TChangeKind::Import, {}}, [first](std::size_t i, const Txxqtfpxx& r) { first[i].xh = r.xh; }, {});
}

TStoreOutcome TInvoiceStore::InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                                        const vantrel::TChangeBatch& batch) const {
    return InsertEach(count, fill, progress, batch, {}, {});
}

TStoreOutcome TInvoiceStore::InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                                        const vantrel::TChangeBatch& batch, const TNumberedProc& numbered,
                                        const TWithinProc& within) const {
    constexpr std::size_t kProgressStep = 500;
    const std::string& connection = context_.connection;
    std::string error;
    THostTransaction transaction(connection, error);
    if (!transaction.Active()) return Failed(TStoreFailure::Begin, error);
    vantrel::TChangeLogWriter log(context_, batch);
    if (!log.Lock(error)) return Failed(TStoreFailure::Statement, error);
    // The stored numbers of each period, in the order they went in (rising).
    std::map<std::string, std::vector<int32_t>> stored;
    // Read inside the transaction, so the numbers follow what is stored when the rows go in.
    int32_t next = 0;
    if (const TStoreOutcome read = NextFreeXh(next); !read.Ok()) return read;
    if (static_cast<int64_t>(next) + static_cast<int64_t>(count) > INT32_MAX)
        return Failed(TStoreFailure::Statement, "发票序号已达上限");
    THostQuery query;
    Txxqtfpxx record;
    for (std::size_t i = 0; i < count; ++i) {
        if (progress && i % kProgressStep == 0 && !progress(i, count))
            return Failed(TStoreFailure::Cancelled, std::string());
        fill(i, record);
        record.xh = next;
        for (int attempt = 1;; ++attempt) {
            if (ExecADOQueryMsg(connection, BuildInsertSql(context_, record), &query, error, 0, 0)) break;
            if (attempt == kInsertAttempts || !MovedPastClash(record)) return Failed(TStoreFailure::Statement, error);
            if (static_cast<int64_t>(record.xh) + static_cast<int64_t>(count - i) > INT32_MAX)
                return Failed(TStoreFailure::Statement, "发票序号已达上限");
        }
        if (numbered) numbered(i, record);
        stored[record.sbssq].push_back(record.xh);
        next = record.xh + 1;
    }
    if (progress && !progress(count, count)) return Failed(TStoreFailure::Cancelled, std::string());
    if (within && !within(error)) return Failed(TStoreFailure::Statement, error);
    if (!LogStoredRows(log, stored, error)) return Failed(TStoreFailure::Statement, error);
    if (mark_ && !mark_(error)) return Failed(TStoreFailure::Mark, error);
    if (!log.Flush(error)) return Failed(TStoreFailure::Statement, error);
    if (!transaction.Commit(error)) return Failed(TStoreFailure::Commit, error);
    return {};
}

TStoreOutcome TInvoiceStore::Update(const Txxqtfpxx& record) const {
    return WriteOnce(BuildUpdateSql(context_, record), record, vantrel::TChangeKind::Modify);
}

TStoreOutcome TInvoiceStore::Delete(const std::vector<int32_t>& xhs) const {
    const std::vector<std::string> statements = BuildDeleteStatements(context_, xhs);
    const std::string& connection = context_.connection;
    std::string error;
    THostTransaction transaction(connection, error);
    if (!transaction.Active()) return Failed(TStoreFailure::Begin, error);
    vantrel::TChangeLogWriter log(context_, {vantrel::TChangeKind::Delete, {}});
    std::map<int32_t, std::string> before;
    if (!log.Lock(error) || !log.ReadRows(context_.period, xhs, before, error)) return Failed(TStoreFailure::Statement, error);
    THostQuery query;
    for (std::size_t group = statements.size(); group-- > 0;) {
        if (!ExecADOQueryMsg(connection, statements[group], &query, error, 0, 0))
            return Failed(TStoreFailure::Statement, error);
        const std::size_t named = std::min(kDeleteGroupSize, xhs.size() - group * kDeleteGroupSize);
        if (query.RowsAffected() < static_cast<int64_t>(named)) return Failed(TStoreFailure::NoRow, std::string());
        if (mark_ && !mark_(error)) return Failed(TStoreFailure::Mark, error);
    }
    if (!vantrel::DeleteInvoiceSources(context_, context_.period, xhs, error))
        return Failed(TStoreFailure::Statement, error);
    for (int32_t xh : xhs)
        if (auto row = before.find(xh); row != before.end()) log.Add(context_.period, xh, std::move(row->second), std::string());
    if (!log.Flush(error)) return Failed(TStoreFailure::Statement, error);
    if (!transaction.Commit(error)) return Failed(TStoreFailure::Commit, error);
    return {};
}

TStoreOutcome TInvoiceStore::NextFreeXh(int32_t& next) const {
    bool taken = false;
    return ReadNumbers(std::nullopt, next, taken);
}

TStoreOutcome TInvoiceStore::ReadNumbers(std::optional<int32_t> asked, int32_t& next, bool& taken) const {
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(context_.connection, BuildLargestXhSql(context_, asked), &query,
                         error, 1, 0))
        return Failed(TStoreFailure::Statement, error);
    int64_t largest = 0;
    if (query.RecordCount() > 0 && !query.FieldIsNull("maxxh")) largest = query.FieldAsInt64("maxxh");
    taken = asked && query.RecordCount() > 0 && query.FieldAsInt64("taken") > 0;
    if (largest >= INT32_MAX) return Failed(TStoreFailure::Statement, "发票序号已达上限");
    next = static_cast<int32_t>(std::max<int64_t>(largest, 0) + 1);
    return {};
}

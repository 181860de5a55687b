#include "invoice/f_InvoiceStore.h"

#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceSource.h"

#include <algorithm>
#include <climits>
#include <map>

namespace vantrel {

namespace {

TStoreOutcome Failed(TStoreFailure failure, std::string error) { return {failure, std::move(error)}; }

// The entries of a batch that restore and undo work from; a batch without any does not exist.
TStoreOutcome ReadBatch(const TModuleContext& context, int64_t batch, std::vector<TChangeEntry>& entries) {
    std::string error;
    if (!ReadBatchEntries(context, batch, entries, error)) return Failed(TStoreFailure::Statement, error);
    if (entries.empty()) return Failed(TStoreFailure::Changed, "没有第 " + std::to_string(batch) + " 批");
    return {};
}

// The log's entries of rows just inserted, read back as stored.
bool LogStoredRows(TChangeLogWriter& log, const std::map<std::string, std::vector<int32_t>>& stored,
                   std::string& error) {
    for (const auto& [sbssq, xhs] : stored)
        if (!log.AddStored(sbssq, xhs, false, error)) return false;
    return true;
}

// One write's transaction and its side of the change log: begun with the taxpayer's chain
// head taken, finished with the mark, the entries and the commit.
class TLoggedWrite {
public:
    TLoggedWrite(const TModuleContext& context, TChangeBatch batch)
        : taxpayer_(context.taxpayer), transaction_(context.connection, error_), log_(context, std::move(batch)) {}
    TStoreOutcome Begin() {
        if (!transaction_.Active()) return Failed(TStoreFailure::Begin, error_);
        if (!log_.Lock(error_)) return Failed(TStoreFailure::Statement, error_);
        return {};
    }
    TChangeLogWriter& Log() { return log_; }
    TStoreOutcome Finish(const TInvoiceStore::TMarkProc& mark) {
        if (mark && !mark(error_)) return Failed(TStoreFailure::Mark, error_);
        if (!log_.Flush(error_)) return Failed(TStoreFailure::Statement, error_);
        if (!transaction_.Commit(error_)) return Failed(TStoreFailure::Commit, error_);
        TBatchWatch::NoteCommitted(taxpayer_, log_.BatchId());
        return {};
    }

private:
    std::string taxpayer_;
    std::string error_;
    THostTransaction transaction_;
    TChangeLogWriter log_;
};

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

TInvoiceStore::TInvoiceStore(TModuleContext context, TMarkProc mark)
    : context_(std::move(context)), mark_(std::move(mark)) {}

TStoreOutcome TInvoiceStore::LoadList(const std::string& fplx, const std::string& gfnsr,
                                     std::vector<Txxqtfpxx*>& list) const {
    std::string error;
    if (!ReadInvoiceList(context_, fplx, gfnsr, list, error)) return Failed(TStoreFailure::Statement, error);
    return {};
}

TStoreOutcome TInvoiceStore::WriteOnce(const std::string& sql, const Txxqtfpxx& record, TChangeKind kind) const {
    TLoggedWrite write(context_, {kind, {}});
    if (TStoreOutcome begun = write.Begin(); !begun.Ok()) return begun;
    TChangeLogWriter& log = write.Log();
    std::string error;
    std::map<int32_t, std::string> before, after;
    if (kind != TChangeKind::Add && !log.ReadRows(record.sbssq, {record.xh}, before, error))
        return Failed(TStoreFailure::Statement, error);
    THostQuery query;
    if (!ExecADOQueryMsg(context_.connection, sql, &query, error, 0, 0)) return Failed(TStoreFailure::Statement, error);
    if (query.RowsAffected() < 1) return Failed(TStoreFailure::NoRow, std::string());
    if (!log.ReadRows(record.sbssq, {record.xh}, after, error)) return Failed(TStoreFailure::Statement, error);
    log.Add(record.sbssq, record.xh, std::move(before[record.xh]), std::move(after[record.xh]));
    return write.Finish(mark_);
}

TStoreOutcome TInvoiceStore::Insert(Txxqtfpxx& record) const {
    TStoreOutcome result;
    for (int attempt = 0; attempt < kInsertAttempts; ++attempt) {
        result = WriteOnce(BuildInsertSql(context_, record), record, TChangeKind::Add);
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
        records.size(), [first](std::size_t i, Txxqtfpxx& r) { r = first[i]; }, progress, {TChangeKind::Import, {}},
        [first](std::size_t i, const Txxqtfpxx& r) { first[i].xh = r.xh; }, {});
}

TStoreOutcome TInvoiceStore::InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                                        const TChangeBatch& batch) const {
    return InsertEach(count, fill, progress, batch, {}, {});
}

TStoreOutcome TInvoiceStore::InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                                        const TChangeBatch& batch, const TNumberedProc& numbered,
                                        const TWithinProc& within) const {
    constexpr std::size_t kProgressStep = 500;
    const std::string& connection = context_.connection;
    TLoggedWrite write(context_, batch);
    if (TStoreOutcome begun = write.Begin(); !begun.Ok()) return begun;
    std::string error;
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
    // The entries first: they are hashed while the caller's statements run.
    if (!LogStoredRows(write.Log(), stored, error)) return Failed(TStoreFailure::Statement, error);
    if (within && !within(error)) return Failed(TStoreFailure::Statement, error);
    return write.Finish(mark_);
}

TStoreOutcome TInvoiceStore::Update(const Txxqtfpxx& record) const {
    return WriteOnce(BuildUpdateSql(context_, record), record, TChangeKind::Modify);
}

TStoreOutcome TInvoiceStore::Delete(const std::vector<int32_t>& xhs) const {
    const std::vector<std::string> statements = BuildDeleteStatements(context_, xhs);
    const std::string& connection = context_.connection;
    TLoggedWrite write(context_, {TChangeKind::Delete, {}});
    if (TStoreOutcome begun = write.Begin(); !begun.Ok()) return begun;
    TChangeLogWriter& log = write.Log();
    std::string error;
    // Added first, so that the entries are made while the rows are deleted.
    if (!log.AddRemoved(context_.period, xhs, error)) return Failed(TStoreFailure::Statement, error);
    THostQuery query;
    for (std::size_t group = statements.size(); group-- > 0;) {
        if (!ExecADOQueryMsg(connection, statements[group], &query, error, 0, 0))
            return Failed(TStoreFailure::Statement, error);
        const std::size_t named = std::min(kDeleteGroupSize, xhs.size() - group * kDeleteGroupSize);
        if (query.RowsAffected() < static_cast<int64_t>(named)) return Failed(TStoreFailure::NoRow, std::string());
        if (mark_ && !mark_(error)) return Failed(TStoreFailure::Mark, error);
    }
    if (!KeepAndDeleteInvoiceSources(context_, context_.period, xhs, log.BatchId(), error))
        return Failed(TStoreFailure::Statement, error);
    return write.Finish({});  // marked after each group
}

TStoreOutcome TInvoiceStore::Restore(int64_t batch, std::vector<std::pair<int32_t, int32_t>>* numbers) const {
    std::vector<TChangeEntry> entries;
    if (TStoreOutcome read = ReadBatch(context_, batch, entries); !read.Ok()) return read;
    if (entries.front().kind != ChangeKindText(TChangeKind::Delete))
        return Failed(TStoreFailure::Changed, "第 " + std::to_string(batch) + " 批不是删除发票的批次");
    if (entries.front().sbssq != context_.period)
        return Failed(TStoreFailure::Changed,
                      "第 " + std::to_string(batch) + " 批删除的是所属期 " + entries.front().sbssq + " 的发票");
    return PutBack(entries, {TChangeKind::Restore, RestoreNote(batch)}, true, numbers, batch);
}

TStoreOutcome TInvoiceStore::Undo(int64_t batch) const {
    std::vector<TChangeEntry> entries;
    if (TStoreOutcome read = ReadBatch(context_, batch, entries); !read.Ok()) return read;
    // Named by what it does to the rows: an undone add removes them, an undone delete restores.
    bool removes = true, restores = true;
    for (const TChangeEntry& e : entries) {
        removes = removes && e.before.empty();
        restores = restores && e.after.empty();
    }
    const TChangeKind kind = removes ? TChangeKind::Delete : restores ? TChangeKind::Restore : TChangeKind::Modify;
    return PutBack(entries, {kind, UndoNote(batch)}, false, nullptr, batch);
}

TStoreOutcome TInvoiceStore::PutBack(const std::vector<TChangeEntry>& entries, const TChangeBatch& batch, bool restore,
                                     std::vector<std::pair<int32_t, int32_t>>* numbers, int64_t from) const {
    const std::string& connection = context_.connection;
    TLoggedWrite write(context_, batch);
    if (TStoreOutcome begun = write.Begin(); !begun.Ok()) return begun;
    TChangeLogWriter& log = write.Log();
    std::string error;
    // The rows stored now under the batch's numbers, per period; read after the lock, so that no
    // write of the taxpayer comes between.
    std::map<std::string, std::vector<int32_t>> named;
    std::map<std::string, int32_t> next;
    for (const TChangeEntry& e : entries) {
        named[e.sbssq].push_back(e.xh);
        next[e.sbssq] = std::max(next[e.sbssq], e.xh);
    }
    std::map<std::string, std::map<int32_t, std::string>> current;
    for (const auto& [sbssq, xhs] : named)
        if (!log.ReadRows(sbssq, xhs, current[sbssq], error)) return Failed(TStoreFailure::Statement, error);
    for (auto& [sbssq, free] : next) {
        TModuleContext period = context_;
        period.period = sbssq;
        int32_t stored = 0;
        if (const TStoreOutcome read = TInvoiceStore(period, {}).NextFreeXh(stored); !read.Ok()) return read;
        if (free == INT32_MAX || stored == INT32_MAX) return Failed(TStoreFailure::Statement, "发票序号已达上限");
        free = std::max(free + 1, stored);
    }
    const auto rowName = [](const TChangeEntry& e) {
        return "所属期 " + e.sbssq + " 第 " + std::to_string(e.xh) + " 号发票";
    };
    struct TWritten {
        std::string sbssq;
        int32_t xh;
        std::string before;
    };
    std::vector<TWritten> written;
    // The sources of rows that come back go back with them; those of rows removed are kept.
    std::map<int32_t, TInvoiceSource> kept;
    if (!ReadKeptInvoiceSources(context_, from, kept, error)) return Failed(TStoreFailure::Statement, error);
    std::map<std::string, std::vector<TInvoiceSource>> sources;
    std::map<std::string, std::vector<int32_t>> removed;
    THostQuery query;
    for (const TChangeEntry& e : entries) {
        auto& rows = current[e.sbssq];
        const auto found = rows.find(e.xh);
        std::string now = found == rows.end() ? std::string() : found->second;
        int32_t xh = e.xh;
        std::string sql;
        if (restore) {
            if (found != rows.end()) xh = next[e.sbssq]++;
            sql = LoggedRowInsertSql(context_, e.before, xh);
            now.clear();
        } else if (now != e.after) {
            return Failed(TStoreFailure::Changed, rowName(e) + "此后又被改动或删除，不能撤销");
        } else {
            sql = e.before.empty()  ? LoggedRowDeleteSql(context_, e.sbssq, e.xh)
                  : e.after.empty() ? LoggedRowInsertSql(context_, e.before, e.xh)
                                    : LoggedRowUpdateSql(context_, e.before);
        }
        if (sql.empty()) return Failed(TStoreFailure::Changed, "变更记录第 " + std::to_string(e.seq) + " 条无法读取");
        if (!ExecADOQueryMsg(connection, sql, &query, error, 0, 0)) return Failed(TStoreFailure::Statement, error);
        if (query.RowsAffected() < 1) return Failed(TStoreFailure::NoRow, std::string());
        if (numbers) numbers->emplace_back(e.xh, xh);
        if (const auto source = kept.find(e.xh); e.after.empty() && source != kept.end()) {
            sources[e.sbssq].push_back(source->second);
            sources[e.sbssq].back().xh = xh;
        }
        if (!restore && e.before.empty()) removed[e.sbssq].push_back(e.xh);
        written.push_back({e.sbssq, xh, std::move(now)});
    }
    for (const auto& [sbssq, rows] : sources)
        if (!WriteInvoiceSources(context_, sbssq, rows, error)) return Failed(TStoreFailure::Statement, error);
    for (const auto& [sbssq, xhs] : removed)
        if (!KeepAndDeleteInvoiceSources(context_, sbssq, xhs, log.BatchId(), error))
            return Failed(TStoreFailure::Statement, error);
    named.clear();
    for (const TWritten& w : written) named[w.sbssq].push_back(w.xh);
    std::map<std::string, std::map<int32_t, std::string>> after;
    for (const auto& [sbssq, xhs] : named)
        if (!log.ReadRows(sbssq, xhs, after[sbssq], error)) return Failed(TStoreFailure::Statement, error);
    for (TWritten& w : written) log.Add(w.sbssq, w.xh, std::move(w.before), std::move(after[w.sbssq][w.xh]));
    return write.Finish(mark_);
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

}  // namespace vantrel

// The change log beside the register (sb_bgjl): one entry per changed invoice per write, with
// the whole row before and after, the kind, the UTC time, the seat and the batch, each entry
// hashed over its content and the previous entry's hash, per taxpayer. The head table
// (sb_bgjlmw) holds each taxpayer's last entry and serialises the writers of one taxpayer.
// The log's statements are its own, written in capitals so that no statement of the register
// contains them.
#pragma once

#include "host/f_ModuleContext.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

enum class TChangeKind { Add, Modify, Delete, Import, Restore, Initial };

// 新增, 修改, 删除, 导入, 恢复, 初始 (GBK).
std::string ChangeKindText(TChangeKind kind);

// What one write is: its kind and, for an import, the file's name and SHA-256.
struct TChangeBatch {
    TChangeKind kind = TChangeKind::Add;
    std::string note;  // GBK
};

// The register's columns, in the order a logged row holds them.
const std::vector<std::string>& RegisterColumns();
// A row as the log holds it: each column's stored value, tab-separated, "\\N" for NULL.
std::vector<std::string> DecodeRow(const std::string& row);

struct TChangeEntry {
    std::string nsrsbh;
    int64_t seq = 0;  // 1, 2, ... per taxpayer
    std::string sbssq;
    int32_t xh = 0;
    std::string kind;  // GBK text of the kind
    std::string time;  // UTC, "yyyy-MM-ddThh:mm:ssZ"
    std::string seat;
    int64_t batch = 0;  // the seq of the batch's first entry
    std::string batchNote;
    std::string before;  // empty: no row
    std::string after;   // empty: no row
    std::string hash;    // hex SHA-256 over the content and the previous entry's hash
};

// The hex SHA-256 of the entry's content chained to the previous hash ("" for the first).
std::string EntryHash(const TChangeEntry& entry, const std::string& previousHash);

// "user@host" of the operating system, and on a server " (session user)" of the connection.
std::string SeatName(const std::string& connection);
// The host clock's now in UTC, "yyyy-MM-ddThh:mm:ssZ".
std::string UtcNow();

// Whether a statement is one the change log runs on the sub-application's tables (for tests
// that compare the register's statements).
bool IsChangeLogStatement(const std::string& sql, const std::string& subAppCode);

// The log's side of one write of one taxpayer, inside the write's transaction: Lock first
// (before the change reads or writes anything), then the rows before and after, then Flush.
class TChangeLogWriter {
public:
    // The context's taxpayer, on its connection and sub-application's tables.
    TChangeLogWriter(const TModuleContext& context, TChangeBatch batch);
    ~TChangeLogWriter();
    TChangeLogWriter(const TChangeLogWriter&) = delete;
    TChangeLogWriter& operator=(const TChangeLogWriter&) = delete;

    // Takes the taxpayer's chain head for the transaction; a taxpayer without a chain gets
    // its register's rows as one 初始 batch first.
    bool Lock(std::string& error);
    // The stored rows of the period with the given numbers (absent ones are left out).
    bool ReadRows(const std::string& sbssq, const std::vector<int32_t>& xhs, std::map<int32_t, std::string>& rows,
                  std::string& error) const;
    // An entry for each stored row of the period among xhs, in number order, the row as its
    // before (asBefore: rows about to be removed) or its after (rows just stored). The rows are
    // read here; a long write's are made into entries with the hashing.
    bool AddStored(const std::string& sbssq, const std::vector<int32_t>& xhs, bool asBefore, std::string& error);
    // AddStored of rows the caller is about to remove. A long list is read on the connection's
    // shared reader while the caller removes them, and made into entries there; a failed read
    // fails Flush.
    bool AddRemoved(const std::string& sbssq, const std::vector<int32_t>& xhs, std::string& error);
    // A long write's entries are hashed on a thread of their own while its statements run:
    // adding them early, before the register's statements, hides that work.
    void Add(const std::string& sbssq, int32_t xh, std::string before, std::string after);
    // Writes the entries and the new head.
    bool Flush(std::string& error);
    // The number of the batch this write makes (known once Lock succeeded).
    int64_t BatchId() const { return batchId_; }

private:
    class THasher;
    class TAside;
    struct TChunk;
    using TNumbers = std::vector<int32_t>::const_iterator;
    // onRead(condition, first, last) for each read of the stored rows of the sorted numbers, the
    // condition on xh that selects them; a read may return rows of numbers between them.
    using TWindowRead = std::function<bool(const std::string&, TNumbers, TNumbers, std::string&)>;
    bool ReadWindows(const std::vector<int32_t>& sorted, const TWindowRead& onRead, std::string& error) const;
    // The select of the period's stored rows that meet the condition on xh, in number order.
    std::string RowsSelect(const std::string& sbssq, const std::string& numbers) const;
    // That select up to the condition: "SELECT ... WHERE nsrsbh=... AND sbssq=... AND ".
    std::string RowsOfPeriod(const std::string& sbssq) const;
    // The rows of one read of AddStored, those of the numbers first..last kept.
    bool AddRead(const std::string& sql, const std::string& sbssq, TNumbers first, TNumbers last, bool asBefore,
                 std::string& error);
    // The write's kind, time, seat and batch into entry.
    void Stamp(TChangeEntry& entry) const;
    // The next entry of the period, stamped, without its number and rows.
    TChangeEntry NextEntry(const std::string& sbssq) const;
    bool AppendEntry(TChangeEntry& entry, std::string& error);
    // The aside read's entries written, next in the chain.
    bool JoinAside(std::string& error);
    bool HandQueued(std::string& error);
    // To the hasher, or hashed and written here when no thread can be had.
    bool Hand(TChunk chunk, std::string& error);
    bool WriteHere(TChunk& chunk, std::string& error);
    // The hasher's chunks written, oldest first, until at most keep wait.
    bool WriteHashed(std::size_t keep, std::string& error);
    bool WriteValues(const std::vector<std::string>& values, std::string& error);

    TModuleContext context_;
    TChangeBatch batch_;
    std::string seat_;
    std::string time_;
    int64_t lastSeq_ = 0;
    std::string lastHash_;
    int64_t batchId_ = 0;
    std::vector<TChangeEntry> queued_;  // entries not yet hashed nor handed to the hasher
    std::unique_ptr<THasher> hasher_;   // started by the first full chunk of entries
    std::unique_ptr<TAside> aside_;     // rows being read on the shared reader, the next entries
    bool pendingFailed_ = false;  // a statement of Add's failed; Flush reports it
    std::string pendingError_;
};

// Every taxpayer of the context's register without a chain gets its rows as one 初始 batch,
// each in a transaction of its own. False with the error when a write failed.
bool StartChangeLogs(const TModuleContext& context, std::string& error);

// What verify-log found.
struct TLogVerdict {
    bool whole = true;
    int64_t entries = 0;
    std::string broken;  // GBK: the first entry or row that breaks, and how
};
// Walks the context's taxpayer's chain and replays it against every period of the register.
bool VerifyChangeLog(const TModuleContext& context, TLogVerdict& verdict, std::string& error);

// The entries of the context's period (or of one invoice of it), oldest first.
bool ReadChangeEntries(const TModuleContext& context, std::optional<int32_t> xh,
                       const std::function<void(const TChangeEntry&)>& onEntry, std::string& error);

// An entry's UTC time as local time, "yyyy-MM-dd hh:mm:ss".
std::string LocalTimeText(const std::string& utc);
// The columns an entry changed, "je: 100.0000 -> 200.0000; ...".
std::string ChangedColumnsText(const TChangeEntry& entry);

// The register statements that put a logged row back: insert it under xh, make the stored row
// of its number equal to it, remove a row.
std::string LoggedRowInsertSql(const TModuleContext& context, const std::string& row, int32_t xh);
std::string LoggedRowUpdateSql(const TModuleContext& context, const std::string& row);
std::string LoggedRowDeleteSql(const TModuleContext& context, const std::string& sbssq, int32_t xh);

// A batch as 变更记录 lists it.
struct TBatchInfo {
    int64_t batch = 0;
    std::string kind, time, seat, note;  // GBK; time in UTC as stored
    int64_t rows = 0;                    // entries of the batch in the period
};
// The batches that touched the context's period, newest first.
bool ReadPeriodBatches(const TModuleContext& context, std::vector<TBatchInfo>& batches, std::string& error);
// The entries of one batch of the context's taxpayer, in order; none when there is no such batch.
bool ReadBatchEntries(const TModuleContext& context, int64_t batch, std::vector<TChangeEntry>& entries,
                      std::string& error);
// The notes of a batch that restores or undoes another ("恢复第 12 批", "撤销第 12 批").
std::string RestoreNote(int64_t batch);
std::string UndoNote(int64_t batch);
// The latest batch that restored or undid batch; 0 when none did.
bool FindRestoringBatch(const TModuleContext& context, int64_t batch, int64_t& restoring, std::string& error);

// The entries of the context's period after entry seq of the taxpayer's chain, oldest first.
bool ReadChangeEntriesSince(const TModuleContext& context, int64_t seq,
                            const std::function<void(const TChangeEntry&)>& onEntry, std::string& error);
// A logged row as the literals of a statement, in RegisterColumns() order; empty when the row
// is not one the log writes.
std::vector<std::string> LoggedRowLiterals(const std::string& row);

// A summary document written for the taxpayer and period: when, the chain's last entry then,
// its SHA-256 and its cells in document order.
struct TDeclaredDocument {
    std::string time;  // UTC
    int64_t seq = 0;
    std::string sha256;
    std::vector<std::pair<std::string, std::string>> cells;  // element name, value
};
// Records the document just written for the context; false with the error when it could not.
bool RecordDeclaredDocument(const TModuleContext& context, const TDeclaredDocument& document, std::string& error);
// The last document recorded for the context; found false when there is none.
bool ReadLastDeclaredDocument(const TModuleContext& context, TDeclaredDocument& document, bool& found,
                              std::string& error);

// Collects the numbers of the batches of one taxpayer committed on this thread while it lives,
// so that a window knows its own writes (those of the windows it opened included).
class TBatchWatch {
public:
    explicit TBatchWatch(std::string taxpayer);
    ~TBatchWatch();
    TBatchWatch(const TBatchWatch&) = delete;
    TBatchWatch& operator=(const TBatchWatch&) = delete;
    const std::vector<int64_t>& Batches() const { return batches_; }
    // Called by the store after a write's commit.
    static void NoteCommitted(const std::string& taxpayer, int64_t batch);

private:
    std::string taxpayer_;
    std::vector<int64_t> batches_;
};

}  // namespace vantrel

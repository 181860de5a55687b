// The invoice table of one taxpayer and period as the windows use it: the list read, the
// writes (each in one transaction together with the form-filled mark and the entries of the
// change log, vantrel::TChangeLogWriter), the next free sequence
// number, and the statistics of a list. Results come back as values; nothing here shows a
// message or needs a window.
#pragma once

#include "host/f_ModuleContext.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// The step at which a store operation stopped.
enum class TStoreFailure {
    None,
    Begin,      // the transaction could not begin
    Statement,  // the database refused the statement
    NoRow,      // an update or delete found no row (another window removed it)
    Mark,       // the form-filled mark could not be written
    Commit,
    Cancelled,  // the caller's progress callback asked to stop
    Changed,    // a restore or undo met a row that has changed since the batch (error names it)
};

struct TStoreOutcome {
    TStoreFailure failure = TStoreFailure::None;
    std::string error;  // what the host said (GBK); empty when it gave no reason
    bool Ok() const { return failure == TStoreFailure::None; }
};

// Counts and fixed-point sums (ten-thousandths of a yuan) of a list of invoices.
struct TInvoiceStatistics {
    int64_t count = 0;
    int64_t amount = 0;      // non-voided
    int64_t tax = 0;         // non-voided
    int64_t voidCount = 0;
    int64_t voidAmount = 0;
    int64_t voidTax = 0;
};

// The parameter that adds a store error's reason to a failure message: a line of its own, or
// nothing when the host gave no reason.
std::string ReasonLine(const std::string& error);

TInvoiceStatistics ComputeStatistics(const std::vector<Txxqtfpxx*>& list);
// One past the largest sequence number in the list (1 for none), at most INT32_MAX.
int32_t NextXhAfter(const std::vector<Txxqtfpxx*>& list);

class TInvoiceStore {
public:
    // Marks the declaration form filled inside a write's transaction; false with a message
    // when it could not. Empty: writes mark nothing.
    using TMarkProc = std::function<bool(std::string& message)>;
    // How often one insert tries again after another seat took its number. Each clash means
    // another writer committed, so retrying is progress; while seats save one invoice after
    // another, a long import can lose the race for its first number dozens of times in a row.
    static constexpr int kInsertAttempts = 1000;

    // The context's taxpayer and period, on its connection.
    TInvoiceStore(TModuleContext context, TMarkProc mark);

    const TModuleContext& Context() const { return context_; }

    // The period's invoices, fplx and gfnsr filtering when not empty; the new records are the
    // caller's and are appended to list. A record without a type name shows "未知发票".
    TStoreOutcome LoadList(const std::string& fplx, const std::string& gfnsr, std::vector<Txxqtfpxx*>& list) const;
    // When the insert is refused because record.xh has been taken meanwhile, record.xh moves to
    // the next free number and the whole transaction runs again (a failed statement may have
    // ended the transaction); any other refusal fails at once and keeps record.xh.
    TStoreOutcome Insert(Txxqtfpxx& record) const;
    TStoreOutcome Update(const Txxqtfpxx& record) const;
    // Called now and then during InsertAll with the rows done so far; false stops the write.
    using TProgressProc = std::function<bool(std::size_t done, std::size_t total)>;
    // Every record in one transaction with one mark: numbered on from the largest number
    // stored for the period (each record's xh is set), all or none of them stored.
    TStoreOutcome InsertAll(std::vector<Txxqtfpxx>& records, const TProgressProc& progress) const;
    // The same for count records that fill() makes one at a time (its record is reused), so
    // that they need not all be held. Each is numbered as a single insert is: the next free
    // number, and on a clash with a number another seat took meanwhile, the next free again.
    using TFillProc = std::function<void(std::size_t index, Txxqtfpxx& record)>;
    // The batch is the import's (its note names the file) unless another is given.
    TStoreOutcome InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                             const TChangeBatch& batch = {TChangeKind::Import, {}}) const;
    // Told each record's number once it is stored.
    using TNumberedProc = std::function<void(std::size_t index, const Txxqtfpxx& record)>;
    // Runs in the transaction once every record is stored and logged, before the mark;
    // false (with the reason) stores nothing.
    using TWithinProc = std::function<bool(std::string& error)>;
    TStoreOutcome InsertEach(std::size_t count, const TFillProc& fill, const TProgressProc& progress,
                             const TChangeBatch& batch, const TNumberedProc& numbered, const TWithinProc& within) const;
    // In groups of kDeleteGroupSize, the last group first, each followed by the mark, and the
    // rows' sources with them; NoRow when a group removed fewer rows than it names, and then
    // nothing is deleted.
    TStoreOutcome Delete(const std::vector<int32_t>& xhs) const;
    // One past the largest number stored for the period (1 for none).
    TStoreOutcome NextFreeXh(int32_t& next) const;
    // Puts the rows of a 删除 batch back as one 恢复 batch, each under its old number or, when
    // that is taken, the next free one; numbers gets (old, new) per row.
    TStoreOutcome Restore(int64_t batch, std::vector<std::pair<int32_t, int32_t>>* numbers = nullptr) const;
    // Undoes one batch as one new batch: each of its rows back as it was before. Changed, with
    // nothing written, when a row of it is no longer as the batch left it.
    TStoreOutcome Undo(int64_t batch) const;

private:
    // After a refused insert of record.xh: true with record.xh moved on when another writer
    // has taken that number meanwhile, false when the refusal had another reason.
    bool MovedPastClash(Txxqtfpxx& record) const;
    // One statement on the record's row, its log entry, the mark and the commit in one
    // transaction; the statement must change one row.
    TStoreOutcome WriteOnce(const std::string& sql, const Txxqtfpxx& record, TChangeKind kind) const;
    // Writes the rows before (restore: renumbered when taken) or undoes the entries of batch from.
    TStoreOutcome PutBack(const std::vector<TChangeEntry>& entries, const TChangeBatch& batch, bool restore,
                          std::vector<std::pair<int32_t, int32_t>>* numbers, int64_t from) const;
    // NextFreeXh, and whether the asked number is stored.
    TStoreOutcome ReadNumbers(std::optional<int32_t> asked, int32_t& next, bool& taken) const;

    TModuleContext context_;
    TMarkProc mark_;
};

}  // namespace vantrel

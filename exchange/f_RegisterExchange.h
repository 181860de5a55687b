// Import and export of the invoice register. A file's rows become invoices only through the
// detail window's own entry checks, and all of them are stored in one transaction or none.
#pragma once

#include "exchange/f_ExchangeTable.h"
#include "host/f_ModuleContext.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_InvoiceSource.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <QDate>
#include <QString>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// The file's columns, in the order an export writes them (GBK captions).
enum RegisterColumn {
    RcFplx, RcKprq, RcFs, RcJe, RcSl, RcSe, RcGfnsr, RcMs, RcLwfp, RcZfbz, RcJzjt, RegisterColumnCount
};
const char* RegisterColumnCaption(int column);
// A date as a register file writes it: yyyy-MM-dd, yyyy-M-d, yyyy/M/d or yyyyMMdd; an invalid
// date for anything else.
QDate DateOfText(const std::string& text);

// A problem found in the file: line 0 is the file as a whole; column is a caption or empty.
struct TImportIssue {
    int line = 0;
    std::string column;
    std::string text;    // GBK
    bool warning = false;
    std::string file = {};  // GBK; the e-invoice file the row came from, named instead of the line
};
// "第 12 行 金额：……" or "a.xml 金额：……" (warnings start with "提示："), GBK.
std::string IssueText(const TImportIssue& issue);

// What one row of the file stores, packed: a file may hold a million of them.
struct TImportRow {
    int line = 0;
    std::string gfnsr;                      // the buyer's id; empty when none
    double je = 0, se = 0;
    int32_t fs = 0;
    int32_t kprq = 0;                       // yyyymmdd; 0: the template's day of the period
    uint8_t type = 0;                       // in the plan's type lists
    uint8_t sl = 0;
    uint8_t flags = 0;                      // TImportFlag bits
    std::vector<TExchangeCell> cells;       // by RegisterColumn, as found; kept only for a preview
};
enum TImportFlag : uint8_t { IfMs = 1, IfLwfp = 2, IfZfbz = 4, IfJzjt = 8 };

struct TImportPlan {
    std::deque<TImportRow> rows;
    std::vector<TImportIssue> issues;       // in file order
    // Lines of the rows that the register holds already (a file imported twice); such an import
    // needs the user's consent.
    std::vector<int> storedDuplicateLines;
    bool HasErrors() const;
    int WarningCount() const;
    // The invoice a row stores (its xh is the store's to set).
    Txxqtfpxx Record(const TImportRow& row) const { Txxqtfpxx r; Fill(row, r); return r; }
    void Fill(const TImportRow& row, Txxqtfpxx& record) const;

    Txxqtfpxx blank;                        // the template every row starts from
    std::vector<std::string> typeCodes, typeNames;
    // The file the rows came from, as the change log names the import: its name and the
    // SHA-256 of its bytes (GBK; empty when the rows came from no file).
    std::string source;
    // Rows read from e-invoice files: each row's invoice number and file, stored beside it
    // (empty for a register file).
    std::vector<TInvoiceSource> sources;
};

// What the rows are checked against.
struct TImportTarget {
    std::string nsrsbh;
    std::string kjny;
    std::vector<std::string> typeNames;     // the type list without its placeholder
    std::vector<std::string> typeCodes;
    std::vector<std::string> rates;         // "17%", ...
    std::vector<Txxqtfpxx*> existing;       // the period's register, for duplicate warnings (not owned)
    TEntryContext context;                  // period, taxpayer, today, tolerance, id lengths
};

// The type list, the configured rates and the register of the context's taxpayer and period.
// The caller frees `existing` (FreeInvoiceList). False with the host's error when a read fails.
bool LoadImportTarget(const TModuleContext& context, TImportTarget& target, std::string& error);

// Reads a .csv or .xlsx file by its extension.
bool ReadRegisterFile(const QString& path, TExchangeTable& table, std::string& error);
bool ReadRegisterRows(const QString& path, TExchangeSink& sink, std::string& error);

// "N 行与登记簿中已有的发票相同（第 a、b 行）", GBK; empty when there are none.
std::string StoredDuplicatesText(const TImportPlan& plan);

// Maps and checks every row; the plan lists every error and warning, all rows included.
TImportPlan PlanImport(const TExchangeTable& table, const TImportTarget& target);
// The same, taking the table's cells into the plan instead of copying them.
TImportPlan PlanImport(TExchangeTable&& table, const TImportTarget& target);
// Plans the rows that produce hands to the sink as a register file's reader does (the header
// first, then each row).
TImportPlan PlanImportRows(const TImportTarget& target, bool keepCells,
                           const std::function<void(TExchangeSink& sink)>& produce);
// Reads and plans the file a row at a time, keeping the rows' cells only when asked (for a
// preview). False with the reader's message when the file cannot be read.
bool PlanImportFile(const QString& path, const TImportTarget& target, bool keepCells, TImportPlan& plan,
                    std::string& error);

// The issues as lines to show: of each kind (same column, same wording up to its value,
// error or warning) the first `perKind`, then one line counting the rest.
std::vector<std::string> IssueLines(const std::vector<TImportIssue>& issues, std::size_t perKind = 100);

// Called now and then while rows are stored; returning false cancels (nothing is stored).
using TImportProgress = std::function<bool(int done, int total)>;

enum class TStoreResult { Stored, Refused, Failed, Cancelled };

// The declaration-state guard, as for adding an invoice: false with its reason (GBK).
bool ImportAllowed(const TModuleContext& context, std::string& reason);

// The declaration-state guard, then all rows in one transaction with the form-filled mark,
// numbered on from the period's largest sequence number, and their sources when they came
// from e-invoice files (refused when another write stored one of their invoice numbers
// meanwhile). On any failure everything is rolled back and error says why (GBK).
TStoreResult StoreImport(const TImportPlan& plan, const TModuleContext& context, const TImportProgress& progress,
                         std::string& error);

// "发票号码 N 已在登记簿中（所属期 P，序号 X）", GBK.
std::string StoredNumberText(const std::string& number, const TStoredInvoice& stored);

// ---- export ------------------------------------------------------------------------------

// Writes the records in the given order to a .csv or .xlsx file, by its extension; the
// spreadsheet gets a total row below the data.
bool ExportRegisterFile(const QString& path, const std::vector<const Txxqtfpxx*>& records, std::string& error);
enum class TExportResult { Written, ReadFailed, WriteFailed };
// The context's register, filtered as the list is (fplx, gfnsr empty: no filter), in sequence
// order to a .csv or .xlsx file by its extension; rows is how many records were written.
// A CSV file is written record by record as the rows are read, holding no records. On failure
// error (GBK) says why and no file is written.
TExportResult ExportRegisterList(const QString& path, const TModuleContext& context, const std::string& fplx,
                                 const std::string& gfnsr, std::size_t& rows, std::string& error);
// The texts of one record in the export's columns (GBK), as the export writes them.
std::vector<std::string> RegisterExportFields(const Txxqtfpxx& record);
// The bytes of the records' CSV file: header and one record a row.
std::string RegisterCsvBytes(const std::vector<const Txxqtfpxx*>& records);

}  // namespace vantrel

// The period's register against the tax platform's list of issued invoices: the list file read
// by its header captions through the register files' readers, and the one-to-one matching of
// its invoices with the register's rows.
#pragma once

#include "exchange/f_ExchangeTable.h"
#include "host/f_ModuleContext.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// One invoice of the list; the list's rows with one invoice number are one invoice (the
// platform may list an invoice once per rate).
struct TListInvoice {
    int line = 0;              // its first row in the file
    std::string number;        // GBK, trimmed; empty when the row gives none
    int32_t date = 0;          // yyyymmdd
    std::string buyer;         // trimmed; empty when none
    int64_t amount = 0;        // ten-thousandths of a yuan
    int64_t tax = 0;
    int32_t rate = -1;         // whole percent; -1 when the file gives none or several
    bool voided = false;       // 发票状态 作废
};

// The columns a list must have (the first five) or may have; each is known by several captions.
enum TListColumn { LcNumber, LcDate, LcBuyer, LcAmount, LcTax, LcRate, LcStatus, ListColumnCount };
const char* ListColumnCaption(int column);

// Takes a list file's rows as a reader hands them over. Other columns are left alone; a
// header without one of the needed columns, or a row whose date, amount or tax cannot be read,
// is an error (GBK) that names the column or the line.
class TPlatformListSink final : public TExchangeSink {
public:
    explicit TPlatformListSink(std::vector<TListInvoice>& list) : list_(list) {}
    void Header(std::vector<std::string>& captions, int line) override;
    void Row(TExchangeRow& row) override;
    // False with the errors, one a line; true when the list was read whole.
    bool Finish(std::string& error);

private:
    void Fail(int line, int column, const std::string& text);

    std::vector<TListInvoice>& list_;
    int columnOf_[ListColumnCount] = {};
    bool headerSeen_ = false;
    bool headerFailed_ = false;
    std::vector<std::string> errors_;
    std::size_t errorCount_ = 0;
};

// A .csv or .xlsx list (by its extension), read with the limits of the register files' readers.
bool ReadPlatformList(const QString& path, std::vector<TListInvoice>& list, std::string& error);

// One invoice of the register: its rows with one invoice number, or one row without a number.
// Its texts view the rows' and the result's numbers.
struct TRegisterInvoice {
    std::string_view number;
    const Txxqtfpxx* row = nullptr;          // its first row
    std::vector<const Txxqtfpxx*> more;      // its other rows, in register order
    int32_t date = 0;
    std::string_view buyer;
    int64_t amount = 0;
    int64_t tax = 0;
    int32_t rate = -1;     // -1 when its rows have several
    bool voided = false;   // every row voided
};

enum class TReconcileKind { Differing, OnlyRegister, OnlyList, Matched };
inline constexpr int kReconcileKindCount = 4;
// 一致, 不一致, 仅在登记簿, 仅在清单 (GBK).
const char* ReconcileKindText(TReconcileKind kind);

// The fields two paired invoices differ in.
enum TReconcileField : uint8_t {
    RfNumber = 1, RfDate = 2, RfBuyer = 4, RfAmount = 8, RfTax = 16, RfRate = 32, RfVoided = 64
};

struct TReconcileLine {
    TReconcileKind kind = TReconcileKind::Matched;
    int registered = -1;   // index into TReconcileResult::registered, -1 for none
    int listed = -1;       // index into TReconcileResult::listed
    uint8_t differing = 0; // TReconcileField bits
};

struct TReconcileGroup {
    int64_t count = 0;
    int64_t amount = 0;    // the register's figures where the line has them, else the list's
    int64_t tax = 0;
};

struct TReconcileResult {
    std::map<int, std::string> numbers;          // the register's invoice numbers, by sequence number
    std::vector<TRegisterInvoice> registered;
    std::vector<TListInvoice> listed;
    // Differing, only in the register, only in the list, matched; each by date and number.
    std::vector<TReconcileLine> lines;
    TReconcileGroup groups[kReconcileKindCount];
    // Register rows of types that are no issued invoices (未开具发票, 纳税检查调整): not compared.
    int64_t uncompared = 0;
    bool AllMatched() const;
};

// Pairs each invoice of the list with at most one of the register: first by invoice number
// where the register knows it (numbers: sequence number to invoice number), then the rest by
// date, buyer, amount and tax (voided on both sides or on neither; then regardless, naming
// 作废), then by date and buyer where each side holds exactly one such invoice left.
// The register's rows must outlive the result.
TReconcileResult ReconcileInvoices(const std::vector<const Txxqtfpxx*>& registerRows, std::map<int, std::string> numbers,
                                   std::vector<TListInvoice> list);

// The line's fields under the header 结果,发票号码,开票日期,购方税号,金额,税额,说明 (GBK).
std::vector<std::string> ReconcileHeader();
std::vector<std::string> ReconcileFields(const TReconcileResult& result, const TReconcileLine& line);
// "不一致 3 张 金额 1200.00 税额 156.00" for each group, and the uncompared rows when any (GBK).
std::vector<std::string> ReconcileSummaryLines(const TReconcileResult& result);

enum class TReconcileRead { Done, RegisterFailed, ListFailed };
// The context's register, with the invoice numbers its table of sources knows, against the list
// file. The register's records are appended to registerList, which the caller frees
// (FreeInvoiceList) after the result. Otherwise error (GBK) says what could not be read.
TReconcileRead ReconcileWithList(const TModuleContext& context, const QString& path,
                                 std::vector<Txxqtfpxx*>& registerList, TReconcileResult& result, std::string& error);

// Every line to a .xlsx or .csv file (by its extension), replaced only once written whole.
bool ExportReconcileFile(const QString& path, const TReconcileResult& result, std::string& error);

}  // namespace vantrel

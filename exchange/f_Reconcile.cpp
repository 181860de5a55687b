#include "exchange/f_Reconcile.h"

#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_InvoiceSource.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace vantrel {

namespace {

// Each column's captions, the first being the one messages name.
const std::vector<std::vector<std::string>>& ListCaptions() {
    static const std::vector<std::vector<std::string>> captions = {
        {"发票号码", "数电票号码", "数电发票号码", "全电发票号码", "发票号"},
        {"开票日期", "开票时间"},
        {"购方税号", "购买方纳税人识别号", "购方纳税人识别号", "购买方识别号", "购方识别号"},
        {"金额", "合计金额", "不含税金额"},
        {"税额", "合计税额"},
        {"税率", "税率/征收率"},
        {"发票状态", "状态"},
    };
    return captions;
}
constexpr int kNeededColumns = LcTax + 1;
// Errors named one by one; the rest are counted.
constexpr std::size_t kErrorsNamed = 10;

const char* const kKindTexts[kReconcileKindCount] = {"不一致", "仅在登记簿", "仅在清单", "一致"};

std::string Trim(std::string_view text) {
    std::string t(TrimmedBlanks(text));
    // Full-width blanks (GBK A1A1) count as blanks too.
    while (t.size() >= 2 && t.compare(0, 2, "\xA1\xA1") == 0) t = std::string(TrimmedBlanks(t.substr(2)));
    while (t.size() >= 2 && t.compare(t.size() - 2, 2, "\xA1\xA1") == 0)
        t = std::string(TrimmedBlanks(t.substr(0, t.size() - 2)));
    return t;
}

// A spreadsheet's number as its cell wrote it (a 20-digit invoice number would lose digits as
// a double), text as it stands.
std::string CellText(const TExchangeCell& cell) {
    if (cell.kind == TExchangeCell::Text || !cell.text.empty()) return Trim(cell.text);
    return DecimalText(cell.number);
}

// Money: a number cell, or text with an optional yen sign and thousands separators.
bool ReadMoney(const TExchangeCell& cell, int64_t& fixed) {
    if (cell.kind == TExchangeCell::Number) {
        fixed = MoneyToFixed(cell.number);
        return std::fabs(cell.number) < 1e13;
    }
    std::string text;
    text.reserve(cell.text.size());
    const std::string& from = cell.text;
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from.compare(i, 2, "\xA3\xA4") == 0) {   // the full-width yen sign, GBK
            ++i;
            continue;
        }
        if (from[i] != ',' && from[i] != ' ' && from[i] != '\t') text += from[i];
    }
    double value = 0;
    if (text.empty() || !ParseDecimal(text, value) || !(std::fabs(value) < 1e13)) return false;
    fixed = MoneyToFixed(value);
    return true;
}

// A date cell, or a date (with or without a time after it) as a register file writes it.
int32_t ReadDate(const TExchangeCell& cell) {
    QDate date;
    if (cell.kind == TExchangeCell::Date) {
        date = SerialToDate(cell.number);
    } else {
        std::string text = CellText(cell);
        const std::size_t time = text.find_first_of(" T");
        if (time != std::string::npos) text.resize(time);
        date = DateOfText(text);
    }
    return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : 0;
}

// "13%", "0.13", "13": a whole percent; -1 for anything else (免税, several rates).
int32_t ReadRate(const TExchangeCell& cell) {
    std::string text = CellText(cell);
    const bool percent = !text.empty() && text.back() == '%';
    if (percent) text.pop_back();
    double value = 0;
    if (cell.kind == TExchangeCell::Number) value = cell.number;
    else if (!ParseDecimal(text, value)) return -1;
    if (!percent && value > 0 && value < 1) value *= 100;
    const double whole = std::round(value);
    return std::fabs(value - whole) < 1e-6 && whole >= 0 && whole <= 100 ? static_cast<int32_t>(whole) : -1;
}

std::string DateText(int32_t date) {
    if (date <= 0) return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date / 10000, date / 100 % 100, date % 100);
    return text;
}

int32_t DateNumber(const std::string& kprq) {
    const QDate date = DateOfText(std::string(TrimmedBlanks(kprq)).substr(0, 10));
    return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : 0;
}

// Hash of the fields the second and third passes pair on.
struct TPairKey {
    int32_t date;
    std::string_view buyer;
    int64_t amount, tax;
    int voided;   // -1: not part of the key
    bool withFigures;
    bool operator==(const TPairKey&) const = default;
};
struct TPairKeyHash {
    std::size_t operator()(const TPairKey& k) const {
        std::size_t h = std::hash<std::string_view>{}(k.buyer);
        const auto mix = [&h](uint64_t v) { h ^= std::hash<uint64_t>{}(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(static_cast<uint64_t>(k.date));
        if (k.withFigures) {
            mix(static_cast<uint64_t>(k.amount));
            mix(static_cast<uint64_t>(k.tax));
        }
        mix(static_cast<uint64_t>(k.voided + 1));
        return h;
    }
};

template <class Invoice>
TPairKey KeyOf(const Invoice& i, bool withFigures, bool withVoided) {
    return TPairKey{i.date, i.buyer, withFigures ? i.amount : 0, withFigures ? i.tax : 0,
                    withVoided ? static_cast<int>(i.voided) : -1, withFigures};
}

uint8_t Differences(const TRegisterInvoice& r, const TListInvoice& l) {
    uint8_t d = 0;
    if (!r.number.empty() && !l.number.empty() && r.number != l.number) d |= RfNumber;
    if (r.date != l.date) d |= RfDate;
    if (r.buyer != l.buyer) d |= RfBuyer;
    if (r.amount != l.amount) d |= RfAmount;
    if (r.tax != l.tax) d |= RfTax;
    if (l.rate >= 0 && r.rate >= 0 && r.rate != l.rate) d |= RfRate;
    if (r.voided != l.voided) d |= RfVoided;
    return d;
}

// The register's invoices: rows of one number together, rows of types that are no issued
// invoices left out.
void GroupRegister(const std::vector<const Txxqtfpxx*>& rows, const std::map<int, std::string>& numbers,
                   TReconcileResult& result) {
    // Reserved whole, so that no entry moves while the map views its number.
    result.registered.reserve(rows.size());
    std::unordered_map<std::string_view, std::size_t> byNumber;
    for (const Txxqtfpxx* row : rows) {
        if (!row) continue;
        if (!TypeTakesCount(row->fplxmc)) {
            ++result.uncompared;
            continue;
        }
        const auto numbered = numbers.find(row->xh);
        const std::string number = numbered == numbers.end() ? std::string() : Trim(numbered->second);
        const int32_t rate = row->sl;
        if (!number.empty()) {
            const auto known = byNumber.find(number);
            if (known != byNumber.end()) {
                TRegisterInvoice& invoice = result.registered[known->second];
                invoice.rows.push_back(row);
                invoice.amount += MoneyToFixed(row->je);
                invoice.tax += MoneyToFixed(row->se);
                if (invoice.rate != rate) invoice.rate = -1;
                invoice.voided = invoice.voided && FlagSet(row->zfbz);
                continue;
            }
        }
        TRegisterInvoice& invoice = result.registered.emplace_back();
        invoice.number = number;
        invoice.rows.push_back(row);
        invoice.date = DateNumber(row->kprq);
        invoice.buyer = Trim(row->gfnsr);
        invoice.amount = MoneyToFixed(row->je);
        invoice.tax = MoneyToFixed(row->se);
        invoice.rate = rate;
        invoice.voided = FlagSet(row->zfbz);
        if (!number.empty()) byNumber.emplace(result.registered.back().number, result.registered.size() - 1);
    }
}

std::string MoneyText(int64_t fixed) { return FixedToText(fixed); }

}  // namespace

const char* ListColumnCaption(int column) {
    return column >= 0 && column < ListColumnCount ? ListCaptions()[static_cast<std::size_t>(column)].front().c_str()
                                                   : "";
}

const char* ReconcileKindText(TReconcileKind kind) { return kKindTexts[static_cast<int>(kind)]; }

void TPlatformListSink::Fail(int line, int column, const std::string& text) {
    if (++errorCount_ > kErrorsNamed) return;
    std::string message = line > 0 ? "第 " + std::to_string(line) + " 行 " : std::string();
    if (column >= 0) message += std::string(ListColumnCaption(column)) + "：";
    errors_.push_back(message + text);
}

void TPlatformListSink::Header(std::vector<std::string>& captions, int) {
    headerSeen_ = true;
    std::fill(std::begin(columnOf_), std::end(columnOf_), -1);
    const auto& known = ListCaptions();
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const std::string caption = Trim(captions[i]);
        for (int c = 0; c < ListColumnCount; ++c) {
            const auto& names = known[static_cast<std::size_t>(c)];
            if (columnOf_[c] < 0 && std::find(names.begin(), names.end(), caption) != names.end())
                columnOf_[c] = static_cast<int>(i);
        }
    }
    std::string missing;
    for (int c = 0; c < kNeededColumns; ++c)
        if (columnOf_[c] < 0) missing += (missing.empty() ? "" : "、") + std::string(ListColumnCaption(c));
    headerFailed_ = !missing.empty();
    if (headerFailed_) Fail(0, -1, "清单缺少列：" + missing);
}

void TPlatformListSink::Row(TExchangeRow& row) {
    if (headerFailed_) return;
    const auto cell = [&row, this](int column) -> const TExchangeCell* {
        const int i = columnOf_[column];
        return i >= 0 && static_cast<std::size_t>(i) < row.cells.size() ? &row.cells[static_cast<std::size_t>(i)] : nullptr;
    };
    static const TExchangeCell kEmpty;
    const auto at = [&cell](int column) -> const TExchangeCell& {
        const TExchangeCell* c = cell(column);
        return c ? *c : kEmpty;
    };
    TListInvoice invoice;
    invoice.line = row.line;
    invoice.number = CellText(at(LcNumber));
    const std::string amountText = CellText(at(LcAmount));
    // A total line at the end of a list carries no date, and no number or "合计" in its place.
    if ((invoice.number.empty() || invoice.number == "合计") && CellText(at(LcDate)).empty()) return;
    invoice.date = ReadDate(at(LcDate));
    if (invoice.date == 0) Fail(row.line, LcDate, "无法识别的日期：" + GbkAbbreviate(CellText(at(LcDate)), 40));
    if (!ReadMoney(at(LcAmount), invoice.amount))
        Fail(row.line, LcAmount, "无法识别的金额：" + GbkAbbreviate(amountText, 40));
    if (!ReadMoney(at(LcTax), invoice.tax))
        Fail(row.line, LcTax, "无法识别的税额：" + GbkAbbreviate(CellText(at(LcTax)), 40));
    invoice.buyer = CellText(at(LcBuyer));
    if (cell(LcRate)) invoice.rate = ReadRate(at(LcRate));
    if (cell(LcStatus)) invoice.voided = CellText(at(LcStatus)).find("作废") != std::string::npos;
    if (errorCount_ > 0) return;

    if (!invoice.number.empty()) {
        const auto [it, added] = byNumber_.emplace(invoice.number, list_.size());
        if (!added) {
            TListInvoice& first = list_[it->second];
            first.amount += invoice.amount;
            first.tax += invoice.tax;
            if (first.rate != invoice.rate) first.rate = -1;
            first.voided = first.voided && invoice.voided;
            return;
        }
    }
    list_.push_back(std::move(invoice));
}

bool TPlatformListSink::Finish(std::string& error) {
    if (!headerSeen_) Fail(0, -1, "文件中没有标题行");
    if (errorCount_ == 0) return true;
    error.clear();
    for (const std::string& e : errors_) error += (error.empty() ? "" : "\n") + e;
    if (errorCount_ > errors_.size()) error += "\n……另有 " + std::to_string(errorCount_ - errors_.size()) + " 处错误未列出";
    return false;
}

bool ReadPlatformList(const QString& path, std::vector<TListInvoice>& list, std::string& error) {
    list.clear();
    TPlatformListSink sink(list);
    return ReadRegisterRows(path, sink, error) && sink.Finish(error);
}

TReconcileRead ReconcileWithList(const TModuleContext& context, const QString& path,
                                 std::vector<Txxqtfpxx*>& registerList, TReconcileResult& result, std::string& error) {
    std::vector<TListInvoice> list;
    if (!ReadPlatformList(path, list, error)) return TReconcileRead::ListFailed;
    if (!ReadInvoiceList(context, "", "", registerList, error)) return TReconcileRead::RegisterFailed;
    const std::map<int, std::string> numbers = ReadInvoiceNumbers(context, context.period, &error);
    if (!error.empty()) return TReconcileRead::RegisterFailed;
    result = ReconcileInvoices({registerList.begin(), registerList.end()}, numbers, std::move(list));
    return TReconcileRead::Done;
}

bool TReconcileResult::AllMatched() const {
    return lines.size() == static_cast<std::size_t>(groups[static_cast<int>(TReconcileKind::Matched)].count);
}

TReconcileResult ReconcileInvoices(const std::vector<const Txxqtfpxx*>& registerRows,
                                   const std::map<int, std::string>& numbers, std::vector<TListInvoice> list) {
    TReconcileResult result;
    GroupRegister(registerRows, numbers, result);
    result.listed = std::move(list);
    const std::vector<TRegisterInvoice>& reg = result.registered;
    const std::vector<TListInvoice>& lst = result.listed;
    std::vector<int> partnerOfList(lst.size(), -1);
    std::vector<char> registerTaken(reg.size(), 0);
    result.lines.reserve(std::max(reg.size(), lst.size()));
    const auto pair = [&](int r, int l) {
        registerTaken[static_cast<std::size_t>(r)] = 1;
        partnerOfList[static_cast<std::size_t>(l)] = r;
        const uint8_t d = Differences(reg[static_cast<std::size_t>(r)], lst[static_cast<std::size_t>(l)]);
        result.lines.push_back({d ? TReconcileKind::Differing : TReconcileKind::Matched, r, l, d});
    };

    // By number, where the register knows it.
    {
        std::unordered_map<std::string_view, int> byNumber;
        byNumber.reserve(reg.size());
        for (std::size_t r = 0; r < reg.size(); ++r)
            if (!reg[r].number.empty()) byNumber.emplace(reg[r].number, static_cast<int>(r));
        for (std::size_t l = 0; l < lst.size(); ++l) {
            if (lst[l].number.empty()) continue;
            const auto it = byNumber.find(lst[l].number);
            if (it != byNumber.end()) pair(it->second, static_cast<int>(l));
        }
    }
    // The rest by their figures, then by date and buyer alone where that leaves no choice.
    struct TOpen {
        std::vector<int> rows;
        std::size_t next = 0;   // rows before it are paired
    };
    const std::pair<bool, bool> passes[] = {{true, true}, {true, false}, {false, false}};
    for (const auto& [withFigures, withVoided] : passes) {
        std::unordered_map<TPairKey, TOpen, TPairKeyHash> open;
        for (std::size_t r = 0; r < reg.size(); ++r)
            if (!registerTaken[r] && reg[r].number.empty())
                open[KeyOf(reg[r], withFigures, withVoided)].rows.push_back(static_cast<int>(r));
        if (open.empty()) break;
        if (withFigures) {
            for (std::size_t l = 0; l < lst.size(); ++l) {
                if (partnerOfList[l] >= 0) continue;
                const auto it = open.find(KeyOf(lst[l], withFigures, withVoided));
                // The earliest row first, so that repeated invoices pair in register order.
                if (it != open.end() && it->second.next < it->second.rows.size())
                    pair(it->second.rows[it->second.next++], static_cast<int>(l));
            }
            continue;
        }
        std::unordered_map<TPairKey, std::vector<int>, TPairKeyHash> listOpen;
        for (std::size_t l = 0; l < lst.size(); ++l)
            if (partnerOfList[l] < 0) listOpen[KeyOf(lst[l], false, false)].push_back(static_cast<int>(l));
        for (const auto& [key, listed] : listOpen) {
            const auto it = open.find(key);
            if (listed.size() == 1 && it != open.end() && it->second.rows.size() == 1)
                pair(it->second.rows.front(), listed.front());
        }
    }
    for (std::size_t r = 0; r < reg.size(); ++r)
        if (!registerTaken[r]) result.lines.push_back({TReconcileKind::OnlyRegister, static_cast<int>(r), -1, 0});
    for (std::size_t l = 0; l < lst.size(); ++l)
        if (partnerOfList[l] < 0) result.lines.push_back({TReconcileKind::OnlyList, -1, static_cast<int>(l), 0});

    const auto dateOf = [&](const TReconcileLine& line) {
        return line.registered >= 0 ? reg[static_cast<std::size_t>(line.registered)].date
                                    : lst[static_cast<std::size_t>(line.listed)].date;
    };
    const auto numberOf = [&](const TReconcileLine& line) -> const std::string& {
        return line.listed >= 0 ? lst[static_cast<std::size_t>(line.listed)].number
                                : reg[static_cast<std::size_t>(line.registered)].number;
    };
    std::sort(result.lines.begin(), result.lines.end(), [&](const TReconcileLine& a, const TReconcileLine& b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        if (dateOf(a) != dateOf(b)) return dateOf(a) < dateOf(b);
        if (const int c = numberOf(a).compare(numberOf(b)); c != 0) return c < 0;
        return std::pair(a.registered, a.listed) < std::pair(b.registered, b.listed);
    });
    for (const TReconcileLine& line : result.lines) {
        TReconcileGroup& group = result.groups[static_cast<int>(line.kind)];
        ++group.count;
        if (line.registered >= 0) {
            group.amount += reg[static_cast<std::size_t>(line.registered)].amount;
            group.tax += reg[static_cast<std::size_t>(line.registered)].tax;
        } else {
            group.amount += lst[static_cast<std::size_t>(line.listed)].amount;
            group.tax += lst[static_cast<std::size_t>(line.listed)].tax;
        }
    }
    return result;
}

std::vector<std::string> ReconcileHeader() { return {"结果", "发票号码", "开票日期", "购方税号", "金额", "税额", "说明"}; }

std::vector<std::string> ReconcileFields(const TReconcileResult& result, const TReconcileLine& line) {
    const TRegisterInvoice* r = line.registered >= 0 ? &result.registered[static_cast<std::size_t>(line.registered)] : nullptr;
    const TListInvoice* l = line.listed >= 0 ? &result.listed[static_cast<std::size_t>(line.listed)] : nullptr;
    std::vector<std::string> notes;
    if (r && l) {
        const auto both = [&](uint8_t field, const char* caption, const std::string& reg, const std::string& lst) {
            if (line.differing & field) notes.push_back(std::string(caption) + "（登记簿 " + reg + "，清单 " + lst + "）");
        };
        const auto rate = [](int32_t value) { return value < 0 ? std::string("多种") : std::to_string(value) + "%"; };
        const auto yesNo = [](bool value) { return std::string(value ? "作废" : "正常"); };
        both(RfNumber, "发票号码", r->number, l->number);
        both(RfDate, "开票日期", DateText(r->date), DateText(l->date));
        both(RfBuyer, "购方税号", r->buyer, l->buyer);
        both(RfAmount, "金额", MoneyText(r->amount), MoneyText(l->amount));
        both(RfTax, "税额", MoneyText(r->tax), MoneyText(l->tax));
        both(RfRate, "税率", rate(r->rate), rate(l->rate));
        both(RfVoided, "发票状态", yesNo(r->voided), yesNo(l->voided));
    }
    if (r) {
        std::string xhs = "序号 ";
        for (std::size_t i = 0; i < r->rows.size(); ++i) xhs += (i ? "、" : "") + std::to_string(r->rows[i]->xh);
        notes.push_back(xhs);
    }
    if (l) notes.push_back("清单第 " + std::to_string(l->line) + " 行");
    if (!(line.differing & RfVoided) && ((r && r->voided) || (l && l->voided))) notes.push_back("作废");
    std::string note;
    for (const std::string& n : notes) note += (note.empty() ? "" : "；") + n;
    const std::string& number = l && !l->number.empty() ? l->number : (r ? r->number : l->number);
    return {ReconcileKindText(line.kind), number, DateText(r ? r->date : l->date), r ? r->buyer : l->buyer,
            MoneyText(r ? r->amount : l->amount), MoneyText(r ? r->tax : l->tax), note};
}

std::vector<std::string> ReconcileSummaryLines(const TReconcileResult& result) {
    std::vector<std::string> lines;
    for (int k = 0; k < kReconcileKindCount; ++k) {
        const TReconcileGroup& g = result.groups[k];
        lines.push_back(std::string(kKindTexts[k]) + " " + std::to_string(g.count) + " 张 金额 " + MoneyText(g.amount) +
                        " 税额 " + MoneyText(g.tax));
    }
    if (result.uncompared > 0)
        lines.push_back("未开具发票、纳税检查调整等 " + std::to_string(result.uncompared) + " 行不参与核对");
    return lines;
}

bool ExportReconcileFile(const QString& path, const TReconcileResult& result, std::string& error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("csv")) {
        std::string records;
        AppendCsvRecord(records, ReconcileHeader());
        for (const TReconcileLine& line : result.lines) AppendCsvRecord(records, ReconcileFields(result, line));
        return WriteCsvFile(path, records, error);
    }
    if (suffix != QStringLiteral("xlsx")) {
        error = "只能导出为 .csv 或 .xlsx 文件";
        return false;
    }
    TXlsxSheet sheet;
    sheet.name = "核对结果";
    sheet.header = ReconcileHeader();
    sheet.moneyColumns = {4, 5};
    sheet.rows.reserve(result.lines.size());
    for (const TReconcileLine& line : result.lines) {
        std::vector<std::string> fields = ReconcileFields(result, line);
        std::vector<TExchangeCell> cells(fields.size());
        for (std::size_t c = 0; c < fields.size(); ++c) cells[c].text = std::move(fields[c]);
        const TRegisterInvoice* r = line.registered >= 0 ? &result.registered[static_cast<std::size_t>(line.registered)] : nullptr;
        const TListInvoice* l = line.listed >= 0 ? &result.listed[static_cast<std::size_t>(line.listed)] : nullptr;
        for (const auto& [column, fixed] : {std::pair{4, r ? r->amount : l->amount}, std::pair{5, r ? r->tax : l->tax}}) {
            cells[static_cast<std::size_t>(column)].kind = TExchangeCell::Number;
            cells[static_cast<std::size_t>(column)].number = static_cast<double>(fixed) / 10000.0;
        }
        sheet.rows.push_back(std::move(cells));
    }
    return WriteXlsxFile(path, sheet, error);
}

}  // namespace vantrel

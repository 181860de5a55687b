#include "exchange/f_Reconcile.h"

#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_InvoiceSource.h"

#include <QFileInfo>

#include <algorithm>
#include <bit>
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

// Entries by a key, in open addressing: one array of entry numbers, no allocation per entry.
// The maps of a reconciliation hold 10^5 entries, where a node each would cost more than the
// rest of the matching.
class TIndexTable {
public:
    explicit TIndexTable(std::size_t entries) : slots_(std::bit_ceil(2 * entries + 2), -1), mask_(slots_.size() - 1) {}
    // The slot of the entry whose key sameKey(entry) finds, or the empty one where it would go.
    template <class SameKey>
    int32_t& Slot(std::size_t hash, SameKey&& sameKey) {
        for (std::size_t s = (hash * 0x9E3779B97F4A7C15ULL) >> 7 & mask_;; s = (s + 1) & mask_) {
            int32_t& slot = slots_[s];
            if (slot < 0 || sameKey(slot)) return slot;
        }
    }

private:
    std::vector<int32_t> slots_;
    std::size_t mask_;
};

// Without surrounding blanks, full-width ones (GBK A1A1) included.
std::string_view TrimView(std::string_view text) {
    std::string_view t = TrimmedBlanks(text);
    while (t.size() >= 2 && t.compare(0, 2, "\xA1\xA1") == 0) t = TrimmedBlanks(t.substr(2));
    while (t.size() >= 2 && t.compare(t.size() - 2, 2, "\xA1\xA1") == 0) t = TrimmedBlanks(t.substr(0, t.size() - 2));
    return t;
}

// A spreadsheet's number as its cell wrote it (a 20-digit invoice number would lose digits as
// a double), text as it stands.
std::string WrittenCellText(const TExchangeCell& cell) {
    if (cell.kind == TExchangeCell::Text || !cell.text.empty()) return std::string(TrimView(cell.text));
    return DecimalText(cell.number);
}

// The cell's text taken out of it where it needs no trimming (the usual case), else copied.
std::string TakeText(TExchangeCell& cell) {
    if (cell.kind == TExchangeCell::Text && TrimView(cell.text).size() == cell.text.size()) return std::move(cell.text);
    return WrittenCellText(cell);
}

// Money: a number cell, or text with an optional yen sign and thousands separators.
bool ReadMoney(const TExchangeCell& cell, int64_t& fixed) {
    if (cell.kind == TExchangeCell::Number) {
        fixed = MoneyToFixed(cell.number);
        return std::fabs(cell.number) < 1e13;
    }
    const std::string& from = cell.text;
    double value = 0;
    if (from.find_first_of(", \t\xA3") == std::string::npos) {
        if (!ParseDecimal(from, value) || !(std::fabs(value) < 1e13)) return false;
        fixed = MoneyToFixed(value);
        return true;
    }
    std::string text;
    text.reserve(from.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from.compare(i, 2, "\xA3\xA4") == 0) {   // the full-width yen sign, GBK
            ++i;
            continue;
        }
        if (from[i] != ',' && from[i] != ' ' && from[i] != '\t') text += from[i];
    }
    if (text.empty() || !ParseDecimal(text, value) || !(std::fabs(value) < 1e13)) return false;
    fixed = MoneyToFixed(value);
    return true;
}

// yyyymmdd of a date as a register file writes it; 0 when it is none. "yyyy-MM-dd" is read by
// hand: once per row of either side.
int32_t DateNumberOf(std::string_view t) {
    const auto digit = [&t](std::size_t i) { return t[i] >= '0' && t[i] <= '9'; };
    if (t.size() == 10 && t[4] == '-' && t[7] == '-' && digit(0) && digit(1) && digit(2) && digit(3) && digit(5) &&
        digit(6) && digit(8) && digit(9)) {
        const int year = (t[0] - '0') * 1000 + (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0');
        const int month = (t[5] - '0') * 10 + (t[6] - '0'), day = (t[8] - '0') * 10 + (t[9] - '0');
        return QDate::isValid(year, month, day) ? year * 10000 + month * 100 + day : 0;
    }
    const QDate date = DateOfText(std::string(t));
    return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : 0;
}

// A date cell, or a date (with or without a time after it) as a register file writes it.
int32_t ReadDate(const TExchangeCell& cell) {
    if (cell.kind == TExchangeCell::Date) {
        const QDate date = SerialToDate(cell.number);
        return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : 0;
    }
    const std::string_view text = TrimView(cell.text);
    return DateNumberOf(text.substr(0, std::min(text.find_first_of(" T"), text.size())));
}

// "13%", "0.13", "13": a whole percent; -1 for anything else (免税, several rates).
int32_t ReadRate(const TExchangeCell& cell) {
    if (cell.kind == TExchangeCell::Text && cell.text.empty()) return -1;
    std::string text = WrittenCellText(cell);
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

int32_t DateNumber(const std::string& kprq) { return DateNumberOf(TrimmedBlanks(kprq).substr(0, 10)); }

// Hash of the fields the second and third passes pair on.
struct TPairKey {
    int32_t date;
    std::string_view buyer;
    int64_t amount, tax;
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
        return h;
    }
};

template <class Invoice>
TPairKey KeyOf(const Invoice& i, bool withFigures) {
    return TPairKey{i.date, i.buyer, withFigures ? i.amount : 0, withFigures ? i.tax : 0, withFigures};
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
    std::vector<std::pair<int32_t, const std::string*>> numbered(numbers.size());
    TIndexTable byXh(numbers.size());
    {
        std::size_t i = 0;
        for (const auto& [xh, number] : numbers) {
            numbered[i] = {xh, &number};
            byXh.Slot(static_cast<std::size_t>(xh), [](int32_t) { return false; }) = static_cast<int32_t>(i++);
        }
    }
    // Reserved whole, so that no entry moves while the table compares its number.
    result.registered.reserve(rows.size());
    TIndexTable byNumber(rows.size());
    for (const Txxqtfpxx* row : rows) {
        if (!row) continue;
        if (!TypeTakesCount(row->fplxmc)) {
            ++result.uncompared;
            continue;
        }
        const int32_t known =
            byXh.Slot(static_cast<std::size_t>(row->xh), [&](int32_t i) { return numbered[static_cast<std::size_t>(i)].first == row->xh; });
        const std::string_view number = known < 0 ? std::string_view() : TrimView(*numbered[static_cast<std::size_t>(known)].second);
        int32_t* slot = nullptr;
        if (!number.empty()) {
            slot = &byNumber.Slot(std::hash<std::string_view>{}(number),
                                  [&](int32_t i) { return result.registered[static_cast<std::size_t>(i)].number == number; });
            if (*slot >= 0) {
                TRegisterInvoice& invoice = result.registered[static_cast<std::size_t>(*slot)];
                invoice.more.push_back(row);
                invoice.amount += MoneyToFixed(row->je);
                invoice.tax += MoneyToFixed(row->se);
                if (invoice.rate != row->sl) invoice.rate = -1;
                invoice.voided = invoice.voided && FlagSet(row->zfbz);
                continue;
            }
            *slot = static_cast<int32_t>(result.registered.size());
        }
        TRegisterInvoice& invoice = result.registered.emplace_back();
        invoice.number = number;
        invoice.row = row;
        invoice.date = DateNumber(row->kprq);
        invoice.buyer = TrimView(row->gfnsr);
        invoice.amount = MoneyToFixed(row->je);
        invoice.tax = MoneyToFixed(row->se);
        invoice.rate = row->sl;
        invoice.voided = FlagSet(row->zfbz);
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
        const std::string_view caption = TrimView(captions[i]);
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
    const auto cell = [&row, this](int column) -> TExchangeCell* {
        const int i = columnOf_[column];
        return i >= 0 && static_cast<std::size_t>(i) < row.cells.size() ? &row.cells[static_cast<std::size_t>(i)] : nullptr;
    };
    TExchangeCell empty;
    const auto at = [&cell, &empty](int column) -> TExchangeCell& {
        TExchangeCell* c = cell(column);
        return c ? *c : empty;
    };
    TListInvoice invoice;
    invoice.line = row.line;
    invoice.number = TakeText(at(LcNumber));
    // A total line at the end of a list carries no date, and no number or "合计" in its place.
    if ((invoice.number.empty() || invoice.number == "合计") && WrittenCellText(at(LcDate)).empty()) return;
    invoice.date = ReadDate(at(LcDate));
    if (invoice.date == 0) Fail(row.line, LcDate, "无法识别的日期：" + GbkAbbreviate(WrittenCellText(at(LcDate)), 40));
    if (!ReadMoney(at(LcAmount), invoice.amount))
        Fail(row.line, LcAmount, "无法识别的金额：" + GbkAbbreviate(WrittenCellText(at(LcAmount)), 40));
    if (!ReadMoney(at(LcTax), invoice.tax))
        Fail(row.line, LcTax, "无法识别的税额：" + GbkAbbreviate(WrittenCellText(at(LcTax)), 40));
    invoice.buyer = TakeText(at(LcBuyer));
    if (cell(LcRate)) invoice.rate = ReadRate(at(LcRate));
    if (cell(LcStatus)) invoice.voided = at(LcStatus).text.find("作废") != std::string::npos;
    if (errorCount_ == 0) list_.push_back(std::move(invoice));
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
    std::map<int, std::string> numbers = ReadInvoiceNumbers(context, context.period, &error);
    if (!error.empty()) return TReconcileRead::RegisterFailed;
    result = ReconcileInvoices({registerList.begin(), registerList.end()}, std::move(numbers), std::move(list));
    return TReconcileRead::Done;
}

bool TReconcileResult::AllMatched() const {
    return lines.size() == static_cast<std::size_t>(groups[static_cast<int>(TReconcileKind::Matched)].count);
}

TReconcileResult ReconcileInvoices(const std::vector<const Txxqtfpxx*>& registerRows, std::map<int, std::string> numbers,
                                   std::vector<TListInvoice> list) {
    TReconcileResult result;
    result.numbers = std::move(numbers);
    GroupRegister(registerRows, result.numbers, result);
    // The list's rows of one number are one invoice: merged into the first, then the rest
    // dropped.
    {
        TIndexTable first(list.size());
        std::vector<char> merged(list.size(), 0);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string& number = list[i].number;
            if (number.empty()) continue;
            int32_t& slot = first.Slot(std::hash<std::string_view>{}(number),
                                       [&](int32_t j) { return list[static_cast<std::size_t>(j)].number == number; });
            if (slot < 0) {
                slot = static_cast<int32_t>(i);
                continue;
            }
            TListInvoice& into = list[static_cast<std::size_t>(slot)];
            into.amount += list[i].amount;
            into.tax += list[i].tax;
            if (into.rate != list[i].rate) into.rate = -1;
            into.voided = into.voided && list[i].voided;
            merged[i] = 1;
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (!merged[i]) {
                if (kept != i) list[kept] = std::move(list[i]);
                ++kept;
            }
        list.resize(kept);
    }
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
        TIndexTable byNumber(reg.size());
        for (std::size_t r = 0; r < reg.size(); ++r)
            if (!reg[r].number.empty())
                byNumber.Slot(std::hash<std::string_view>{}(reg[r].number), [](int32_t) { return false; }) =
                    static_cast<int32_t>(r);
        for (std::size_t l = 0; l < lst.size(); ++l) {
            const std::string& number = lst[l].number;
            if (number.empty()) continue;
            const int32_t r = byNumber.Slot(std::hash<std::string_view>{}(number), [&](int32_t i) {
                return reg[static_cast<std::size_t>(i)].number == number;
            });
            if (r >= 0) pair(r, static_cast<int>(l));
        }
    }
    // The rest by their figures (voided alike first, then regardless), then by date and buyer
    // alone where that leaves no choice. Rows of one key are chained in register order.
    for (const bool withFigures : {true, false}) {
        TIndexTable heads(reg.size());
        std::vector<int32_t> next(reg.size(), -1), count(reg.size(), 0);
        bool any = false;
        for (std::size_t r = reg.size(); r-- > 0;) {
            if (registerTaken[r] || !reg[r].number.empty()) continue;
            const TPairKey key = KeyOf(reg[r], withFigures);
            int32_t& head = heads.Slot(TPairKeyHash{}(key), [&](int32_t i) {
                return KeyOf(reg[static_cast<std::size_t>(i)], withFigures) == key;
            });
            next[r] = head;
            count[r] = head < 0 ? 1 : count[static_cast<std::size_t>(head)] + 1;
            head = static_cast<int32_t>(r);
            any = true;
        }
        if (!any) break;
        const auto headOf = [&](const TListInvoice& l) {
            const TPairKey key = KeyOf(l, withFigures);
            return heads.Slot(TPairKeyHash{}(key), [&](int32_t i) { return KeyOf(reg[static_cast<std::size_t>(i)], withFigures) == key; });
        };
        if (withFigures) {
            for (const bool sameVoiding : {true, false})
                for (std::size_t l = 0; l < lst.size(); ++l) {
                    if (partnerOfList[l] >= 0) continue;
                    for (int32_t r = headOf(lst[l]); r >= 0; r = next[static_cast<std::size_t>(r)])
                        if (!registerTaken[static_cast<std::size_t>(r)] &&
                            (!sameVoiding || reg[static_cast<std::size_t>(r)].voided == lst[l].voided)) {
                            pair(r, static_cast<int>(l));
                            break;
                        }
                }
            continue;
        }
        // Date and buyer: a pair only where each side has exactly one invoice with them.
        TIndexTable listHeads(lst.size());
        std::vector<int32_t> listCount(lst.size(), 0);
        std::vector<int32_t> listed;
        for (std::size_t l = 0; l < lst.size(); ++l) {
            if (partnerOfList[l] >= 0) continue;
            const TPairKey key = KeyOf(lst[l], false);
            int32_t& head = listHeads.Slot(TPairKeyHash{}(key), [&](int32_t i) {
                return KeyOf(lst[static_cast<std::size_t>(i)], false) == key;
            });
            if (head < 0) {
                head = static_cast<int32_t>(l);
                listed.push_back(head);
            }
            ++listCount[static_cast<std::size_t>(head)];
        }
        for (const int32_t l : listed) {
            const int32_t r = headOf(lst[static_cast<std::size_t>(l)]);
            if (listCount[static_cast<std::size_t>(l)] == 1 && r >= 0 && count[static_cast<std::size_t>(r)] == 1)
                pair(r, l);
        }
    }
    for (std::size_t r = 0; r < reg.size(); ++r)
        if (!registerTaken[r]) result.lines.push_back({TReconcileKind::OnlyRegister, static_cast<int>(r), -1, 0});
    for (std::size_t l = 0; l < lst.size(); ++l)
        if (partnerOfList[l] < 0) result.lines.push_back({TReconcileKind::OnlyList, -1, static_cast<int>(l), 0});

    // By kind, date and the list's order (the register's for its own rows), on one number each.
    std::vector<std::pair<uint64_t, TReconcileLine>> ordered;
    ordered.reserve(result.lines.size());
    for (const TReconcileLine& line : result.lines) {
        const int32_t date = line.registered >= 0 ? reg[static_cast<std::size_t>(line.registered)].date
                                                  : lst[static_cast<std::size_t>(line.listed)].date;
        const uint64_t place = static_cast<uint32_t>(line.listed >= 0 ? line.listed : line.registered);
        ordered.emplace_back(static_cast<uint64_t>(line.kind) << 60 | static_cast<uint64_t>(std::clamp(date, 0, 99991231)) << 32 | place,
                             line);
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < ordered.size(); ++i) result.lines[i] = ordered[i].second;
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
        both(RfNumber, "发票号码", std::string(r->number), l->number);
        both(RfDate, "开票日期", DateText(r->date), DateText(l->date));
        both(RfBuyer, "购方税号", std::string(r->buyer), l->buyer);
        both(RfAmount, "金额", MoneyText(r->amount), MoneyText(l->amount));
        both(RfTax, "税额", MoneyText(r->tax), MoneyText(l->tax));
        both(RfRate, "税率", rate(r->rate), rate(l->rate));
        both(RfVoided, "发票状态", yesNo(r->voided), yesNo(l->voided));
    }
    if (r) {
        std::string xhs = "序号 ";
        xhs += std::to_string(r->row->xh);
        for (const Txxqtfpxx* more : r->more) xhs += "、" + std::to_string(more->xh);
        notes.push_back(xhs);
    }
    if (l) notes.push_back("清单第 " + std::to_string(l->line) + " 行");
    if (!(line.differing & RfVoided) && ((r && r->voided) || (l && l->voided))) notes.push_back("作废");
    std::string note;
    for (const std::string& n : notes) note += (note.empty() ? "" : "；") + n;
    const std::string_view number = l && (!l->number.empty() || !r) ? std::string_view(l->number) : r->number;
    return {ReconcileKindText(line.kind), std::string(number), DateText(r ? r->date : l->date),
            r ? std::string(r->buyer) : l->buyer,
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

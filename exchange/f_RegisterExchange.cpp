#include "exchange/f_RegisterExchange.h"

#include "context/f_ModuleContext.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_XlsxFile.h"
#include "host/corlith_api.h"
#include "host/corlith_files.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_InvoiceWarnings.h"
#include "report/f_DealReportImpl.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <type_traits>
#include <unordered_map>

namespace vantrel {

namespace {

const char* const kCaptions[RegisterColumnCount] = {"发票类型", "开票日期", "份数", "金额", "税率", "税额",
                                                    "购方税号", "是否免税", "是否劳务发票", "是否作废",
                                                    "是否即征即退"};
// The export's total lines: the first sums the invoices that are not voided, as the manager's
// statistics line does, the second the voided ones. An import skips such lines at the end of a
// file (and the single "合计" line of older exports).
const char* const kTotalCaption = "合计";
const char* const kTotalPrefix = "合计：";
const char* const kVoidedTotalPrefix = "其中作废：";

bool IsTotalLine(const std::string& typeText) {
    return typeText == kTotalCaption || typeText.rfind(kTotalPrefix, 0) == 0 || typeText.rfind(kVoidedTotalPrefix, 0) == 0;
}
const char* const kUnknownExportKind = "只能导出为 .csv 或 .xlsx 文件";
constexpr int kIntegerPlaces = 12;  // as the detail window's amount fields allow

std::string Trim(const std::string& text) {
    std::string t = TrimBlanks(text);
    // Full-width blanks (GBK A1A1) around a value count as blanks too.
    while (t.size() >= 2 && t.compare(0, 2, "\xA1\xA1") == 0) t = TrimBlanks(t.substr(2));
    while (t.size() >= 2 && t.compare(t.size() - 2, 2, "\xA1\xA1") == 0) t = TrimBlanks(t.substr(0, t.size() - 2));
    return t;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A whole number as text when the value is one, else the shortest decimal.
std::string NumberText(double value) {
    if (std::fabs(value) < 1e15 && value == std::floor(value)) return std::to_string(static_cast<long long>(value));
    return DecimalText(value);
}

std::string CellText(const TExchangeCell& cell) {
    return cell.kind == TExchangeCell::Text ? Trim(cell.text) : NumberText(cell.number);
}

// What a message names: the cell's own text as the file holds it.
std::string ShownText(const TExchangeCell& cell) {
    return cell.kind == TExchangeCell::Text || cell.text.empty() ? CellText(cell) : cell.text;
}

std::string DateText(const QDate& date) {
    const int year = date.year(), month = date.month(), day = date.day();
    if (year < 1 || year > 9999) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
        return buf;
    }
    // Once per imported row: written by hand, as printf would cost more than the row's checks.
    const char text[] = {static_cast<char>('0' + year / 1000), static_cast<char>('0' + year / 100 % 10),
                         static_cast<char>('0' + year / 10 % 10), static_cast<char>('0' + year % 10), '-',
                         static_cast<char>('0' + month / 10), static_cast<char>('0' + month % 10), '-',
                         static_cast<char>('0' + day / 10), static_cast<char>('0' + day % 10)};
    return std::string(text, sizeof text);
}

struct RowMapper {
    const TImportTarget& target;
    TImportPlan& plan;
    int line = 0;

    void Issue(int column, const std::string& text, bool warning = false) {
        plan.issues.push_back(TImportIssue{line, column < 0 ? std::string() : kCaptions[column], text, warning});
    }

    // Money as the fields hold it: at most two decimals and twelve places before the point;
    // "¥" and thousands separators are dropped. Empty text stays empty.
    bool Money(int column, const TExchangeCell& cell, std::string& out) {
        if (cell.kind != TExchangeCell::Text) {
            if (!(std::fabs(cell.number) < 1e12)) {
                Issue(column, "整数部分超过 12 位：" + ShownText(cell));
                return false;
            }
            const double cents = cell.number * 100;
            if (std::fabs(cents - std::round(cents)) > 1e-6) {
                Issue(column, "最多两位小数：" + ShownText(cell));
                return false;
            }
            out = FixedToText(MoneyToFixed(std::round(cents) / 100));
            return CheckPlaces(column, out);
        }
        std::string text = Trim(cell.text);
        const std::string original = text;
        // The yen sign arrives as GBK's full-width one (files map the half-width one to it).
        if (text.compare(0, 2, "\xA3\xA4") == 0) text = Trim(text.substr(2));
        if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
            const std::string rest = Trim(text.substr(1));
            if (rest.compare(0, 2, "\xA3\xA4") == 0) text = text.substr(0, 1) + Trim(rest.substr(2));
        }
        if (text.find(',') != std::string::npos) {
            // Separators only between groups of three digits before the point.
            const std::size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
            const std::size_t point = std::min(text.find('.'), text.size());
            std::string digits;
            int run = 0;
            bool sound = true;
            bool firstGroup = true;
            for (std::size_t i = start; i < point; ++i) {
                if (text[i] == ',') {
                    if (run == 0 || (firstGroup ? run > 3 : run != 3)) sound = false;
                    firstGroup = false;
                    run = 0;
                } else {
                    ++run;
                    digits += text[i];
                }
            }
            if (!firstGroup && run != 3) sound = false;
            if (!sound || text.find(',', point) != std::string::npos) {
                Issue(column, "无法识别的金额：" + original);
                return false;
            }
            text = text.substr(0, start) + digits + text.substr(point);
        }
        if (text.empty()) {
            out.clear();
            return true;
        }
        double value = 0;
        if (!ParseDecimal(text, value)) {
            Issue(column, "无法识别的金额：" + original);
            return false;
        }
        const std::size_t point = text.find('.');
        if (point != std::string::npos && text.size() - point - 1 > 2) {
            Issue(column, "最多两位小数：" + original);
            return false;
        }
        out = text;
        return CheckPlaces(column, text);
    }

    bool CheckPlaces(int column, const std::string& text) {
        std::string t = text;
        if (!t.empty() && t[0] == '+') t.erase(0, 1);
        if (std::min(t.find('.'), t.size()) > static_cast<std::size_t>(kIntegerPlaces)) {
            Issue(column, "整数部分超过 12 位：" + text);
            return false;
        }
        return true;
    }

    // 17, 17%, 0.17: whole percents only.
    bool Rate(const TExchangeCell& cell, std::string& rateText, int32_t& rate) {
        rateText.clear();
        std::string text = CellText(cell);
        if (text.empty()) return true;
        const bool percent = !text.empty() && text.back() == '%';
        if (percent) text = Trim(text.substr(0, text.size() - 1));
        double value = 0;
        if (cell.kind != TExchangeCell::Text) {
            value = cell.number;
        } else if (!ParseDecimal(text, value)) {
            Issue(RcSl, "无法识别的税率：" + ShownText(cell));
            return false;
        }
        const bool fraction = !percent && value > 0 && value < 1;
        if (fraction) value *= 100;
        const double whole = std::round(value);
        if (!(std::fabs(value - whole) <= 1e-9 && whole >= 0 && whole <= 100)) {
            Issue(RcSl, "税率应为整数百分比：" + ShownText(cell));
            return false;
        }
        rate = static_cast<int32_t>(whole);
        rateText = std::to_string(rate) + "%";
        if (std::find(target.rates.begin(), target.rates.end(), rateText) == target.rates.end()) {
            Issue(RcSl, "税率 " + rateText + " 不在设置的税率中");
            return false;
        }
        return true;
    }

    bool Date(const TExchangeCell& cell, QDate& date) {
        date = cell.kind == TExchangeCell::Date ? SerialToDate(cell.number) : DateOfText(CellText(cell));
        if (!date.isValid()) Issue(RcKprq, "无法识别的日期：" + ShownText(cell));
        return date.isValid();
    }

    bool Flag(int column, const TExchangeCell& cell, std::string& flag) {
        const std::string text = Lower(CellText(cell));
        if (text.empty() || text == "否" || text == "0" || text == "n" || text == "false" || text == "no") {
            flag = "0";
            return true;
        }
        if (text == "是" || text == "1" || text == "y" || text == "true" || text == "yes") {
            flag = "1";
            return true;
        }
        Issue(column, "应为 是/否、1/0、Y/N 或 true/false：" + ShownText(cell));
        return false;
    }
};

int ColumnOfCaption(const std::string& caption) {
    for (int c = 0; c < RegisterColumnCount; ++c)
        if (caption == kCaptions[c]) return c;
    return -1;
}

// Invoices that may be the same one fall into one bucket (type and amount as shown);
// SameInvoice decides within it.
std::string BucketOf(const Txxqtfpxx& r) { return TrimBlanks(r.fplx) + '\x1f' + AmountText(r.je); }

struct DuplicateIndex {
    std::unordered_map<std::string, std::vector<const Txxqtfpxx*>> buckets;

    const Txxqtfpxx* Find(const Txxqtfpxx& r, const std::string& bucket) const {
        const auto it = buckets.find(bucket);
        if (it == buckets.end()) return nullptr;
        for (const Txxqtfpxx* other : it->second)
            if (SameInvoice(*other, r)) return other;
        return nullptr;
    }
};

// A text of the export made of digits, sign and point: written as it is.
struct TPlainText {
    std::string_view text;
};
// A yes/no column.
struct TYesNo {
    bool yes;
};
const char* YesNoText(TYesNo flag) { return flag.yes ? "是" : "否"; }

// The fields of one record in the export's columns, in order, each handed to put as a text
// (a view that lasts until put returns), a TPlainText or a TYesNo.
template <class Put>
void ForEachExportField(const Txxqtfpxx& r, Put&& put) {
    char buffer[std::max<std::size_t>(kFixedTextSize, 24)];
    const auto whole = [&buffer](long long value) {
        return TPlainText{std::string_view(
            buffer, static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer))};
    };
    const auto amount = [&buffer](double value) {
        return TPlainText{
            std::string_view(buffer, static_cast<std::size_t>(FixedToChars(MoneyToFixed(value), buffer) - buffer))};
    };
    put(std::string_view(r.fplxmc));
    put(std::string_view(r.kprq));
    put(whole(r.fs));
    put(amount(r.je));
    put(whole(r.sl));
    put(amount(r.se));
    put(TrimmedBlanks(r.gfnsr));
    put(TYesNo{FlagSet(r.ms)});
    put(TYesNo{FlagSet(r.lwfp)});
    put(TYesNo{FlagSet(r.zfbz)});
    put(TYesNo{FlagSet(r.jzjt)});
}

std::vector<std::string> ExportFields(const Txxqtfpxx& r) {
    struct Texts {
        std::vector<std::string>& out;
        void operator()(std::string_view text) { out.emplace_back(text); }
        void operator()(TPlainText text) { out.emplace_back(text.text); }
        void operator()(TYesNo flag) { out.emplace_back(YesNoText(flag)); }
    };
    std::vector<std::string> fields;
    fields.reserve(RegisterColumnCount);
    ForEachExportField(r, Texts{fields});
    return fields;
}

bool HasSuffix(const QString& path, const char16_t* suffix) {
    return QFileInfo(path).suffix().compare(QString::fromUtf16(suffix), Qt::CaseInsensitive) == 0;
}

}  // namespace

// Read by hand: a format string parsed for every row would cost more than the row's insert.
QDate DateOfText(const std::string& text) {
    const auto digits = [&text](std::size_t from, std::size_t count, int& value) {
        if (from + count > text.size()) return false;
        value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0;
    if (text.size() == 8) return digits(0, 4, year) && digits(4, 2, month) && digits(6, 2, day) ? QDate(year, month, day) : QDate();
    if (text.size() < 8 || text.size() > 10 || !digits(0, 4, year)) return QDate();
    const char separator = text[4];
    if (separator != '-' && separator != '/') return QDate();
    const std::size_t second = text.find(separator, 5);
    if (second == std::string::npos || second == 5 || second > 7 || text.size() - second - 1 < 1 ||
        text.size() - second - 1 > 2)
        return QDate();
    if (!digits(5, second - 5, month) || !digits(second + 1, text.size() - second - 1, day)) return QDate();
    return QDate(year, month, day);
}

const char* RegisterColumnCaption(int column) {
    return column >= 0 && column < RegisterColumnCount ? kCaptions[column] : "";
}

std::string IssueText(const TImportIssue& issue) {
    std::string text = issue.warning ? "提示：" : "";
    if (!issue.file.empty()) text += issue.file + " ";
    else if (issue.line > 0) text += "第 " + std::to_string(issue.line) + " 行 ";
    if (!issue.column.empty()) text += issue.column + "：";
    return text + issue.text;
}

bool TImportPlan::HasErrors() const {
    return std::any_of(issues.begin(), issues.end(), [](const TImportIssue& i) { return !i.warning; });
}

std::string StoredDuplicatesText(const TImportPlan& plan) {
    const std::vector<int>& lines = plan.storedDuplicateLines;
    if (lines.empty()) return std::string();
    // A long list names its first rows; the count says how many there are.
    constexpr std::size_t kNamed = 20;
    std::string text = std::to_string(lines.size()) + " 行与登记簿中已有的发票相同（第 ";
    for (std::size_t i = 0; i < lines.size() && i < kNamed; ++i) text += (i ? "、" : "") + std::to_string(lines[i]);
    return text + (lines.size() > kNamed ? " 等行）" : " 行）");
}

int TImportPlan::WarningCount() const {
    return static_cast<int>(std::count_if(issues.begin(), issues.end(), [](const TImportIssue& i) { return i.warning; }));
}

bool LoadImportTarget(const TModuleContext& context, TImportTarget& target, std::string& error) {
    target.nsrsbh = context.taxpayer;
    target.kjny = context.period;
    const LookupList types = LoadInvoiceTypeList(context, true);
    for (std::size_t i = 1; i < types.items.size(); ++i) {
        if (types.values[i].empty()) continue;
        target.typeNames.push_back(types.items[i]);
        target.typeCodes.push_back(types.values[i]);
    }
    target.rates = TaxRateItems();
    target.context = EntryContext(context.period, context.taxpayer);
    return ReadInvoiceList(context, "", "", target.existing, error);
}

bool ReadRegisterRows(const QString& path, TExchangeSink& sink, std::string& error) {
    if (HasSuffix(path, u"xlsx")) return ReadXlsxRows(path, sink, error);
    if (HasSuffix(path, u"csv")) return ReadCsvRows(path, sink, error);
    error = "只能导入 .csv 或 .xlsx 文件";
    return false;
}

bool ReadRegisterFile(const QString& path, TExchangeTable& table, std::string& error) {
    table = TExchangeTable();
    TExchangeTableSink sink(table);
    return ReadRegisterRows(path, sink, error);
}

namespace {

// Which register column each file column holds, and the file column of each register column.
struct TColumnMap {
    int columnOf[RegisterColumnCount];
    std::vector<int> fileColumn;
};

// The header: every caption once, nothing unknown, the three that must be there present.
// False when it fails; the issues say why.
bool MapHeader(const std::vector<std::string>& header, int headerLine, RowMapper& map, TColumnMap& columns) {
    // A few unknown names say enough; a header of a million would make a line of megabytes.
    constexpr std::size_t kUnknownNamed = 5;
    std::fill(std::begin(columns.columnOf), std::end(columns.columnOf), -1);
    columns.fileColumn.assign(header.size(), -1);
    std::string unknown;
    std::size_t unknownCount = 0;
    map.line = headerLine;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string caption = Trim(header[i]);
        if (caption.empty()) continue;
        const int c = ColumnOfCaption(caption);
        if (c < 0) {
            if (++unknownCount <= kUnknownNamed) unknown += (unknown.empty() ? "" : "、") + GbkAbbreviate(caption, 40);
        } else if (columns.columnOf[c] >= 0) {
            map.Issue(-1, "列重复：" + caption);
        } else {
            columns.columnOf[c] = static_cast<int>(i);
            columns.fileColumn[i] = c;
        }
    }
    if (unknownCount > kUnknownNamed) unknown += " 等 " + std::to_string(unknownCount) + " 列";
    if (!unknown.empty()) map.Issue(-1, "未知的列：" + unknown);
    std::string missing;
    for (int c : {RcFplx, RcJe, RcSl})
        if (columns.columnOf[c] < 0) missing += (missing.empty() ? "" : "、") + std::string(kCaptions[c]);
    if (!missing.empty()) map.Issue(-1, "缺少列：" + missing);
    return !map.plan.HasErrors();
}

// The row's cells in register order into cells (RegisterColumnCount of them); data in a
// column without a caption is an issue.
void GatherCells(TExchangeRow& row, const TColumnMap& columns, RowMapper& map, std::vector<TExchangeCell>& cells) {
    cells.assign(RegisterColumnCount, TExchangeCell());
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
        if (i < columns.fileColumn.size() && columns.fileColumn[i] >= 0)
            cells[static_cast<std::size_t>(columns.fileColumn[i])] = std::move(row.cells[i]);
        else if (!CellText(row.cells[i]).empty())
            map.Issue(-1, "第 " + std::to_string(i + 1) + " 列有数据但没有标题");
    }
    for (const int column : row.extra) map.Issue(-1, "第 " + std::to_string(column + 1) + " 列有数据但没有标题");
}

// One row read into a record and the entry the detail window's checks take, and which values
// could not be read (their own issue is out; checks built on them are not repeated).
struct TRowReading {
    TInvoiceEntry entry;
    bool typeReported = false;
    bool amountRead = false;
    bool amountUsable = false;
    bool rateRead = false;
    bool taxRead = false;
};

const TExchangeCell& CellOf(const TImportRow& row, int column) { return row.cells[static_cast<std::size_t>(column)]; }

// Type by name or by code, the issue date (a type without one keeps the period's usual day)
// and the count (a type without one takes none).
void ReadTypeDateCount(const TImportRow& row, const TImportTarget& target, RowMapper& map, Txxqtfpxx& r,
                       TRowReading& read) {
    TInvoiceEntry& entry = read.entry;
    const std::string type = CellText(CellOf(row, RcFplx));
    for (std::size_t t = 0; t < target.typeNames.size() && !entry.typeChosen; ++t) {
        if (type == target.typeNames[t] || type == target.typeCodes[t]) {
            entry.typeChosen = true;
            r.fplx = target.typeCodes[t];
            r.fplxmc = target.typeNames[t];
        }
    }
    if (!type.empty() && !entry.typeChosen) {
        map.Issue(RcFplx, "不在发票类型列表中：" + type);
        read.typeReported = true;
    }
    entry.typeName = r.fplxmc;
    entry.dateEnabled = !entry.typeChosen || TypeTakesDate(r.fplxmc);
    entry.countEnabled = !entry.typeChosen || TypeTakesCount(r.fplxmc);

    bool dateRead = true;
    if (CellText(CellOf(row, RcKprq)).empty()) {
        if (entry.dateEnabled) {
            map.Issue(RcKprq, "不能为空");
            dateRead = false;
        }
    } else {
        QDate date;
        dateRead = map.Date(CellOf(row, RcKprq), date);
        if (dateRead) {
            r.kprq = DateText(date);
            entry.issued = date;
        }
    }
    if (!dateRead || !entry.dateEnabled) entry.dateEnabled = false;

    entry.countText = CellText(CellOf(row, RcFs));
    if (!entry.countEnabled) {
        int count = 0;
        if (!entry.countText.empty() && !(ParseInt32(entry.countText, count) && count == 0))
            map.Issue(RcFs, "该发票类型没有份数，应为空或 0");
        entry.countText = "0";
    }
}

// Amount, rate and tax: an empty tax is amount x rate, rounded to fen.
void ReadFigures(const TImportRow& row, RowMapper& map, Txxqtfpxx& r, TRowReading& read) {
    TInvoiceEntry& entry = read.entry;
    read.amountRead = map.Money(RcJe, CellOf(row, RcJe), entry.amountText);
    double amountValue = 0;
    read.amountUsable = read.amountRead && ParseDecimal(entry.amountText, amountValue) && amountValue != 0;
    int32_t rate = 0;
    read.rateRead = map.Rate(CellOf(row, RcSl), entry.rateText, rate);
    if (!read.rateRead) entry.rateText = "17%";
    if (read.rateRead) r.sl = rate;

    read.taxRead = map.Money(RcSe, CellOf(row, RcSe), entry.taxText);
    if (read.taxRead && entry.taxText.empty()) {
        if (!(read.amountRead && read.rateRead && !entry.rateText.empty() &&
              ComputeTaxText(entry.rateText, entry.amountText, entry.taxText)))
            read.taxRead = false;
    }
    if (!read.taxRead) entry.taxText = "0";
}

// The four flags and the buyer's id (text, or a whole number a spreadsheet made of it).
void ReadFlagsAndBuyer(const TImportRow& row, RowMapper& map, Txxqtfpxx& r, TRowReading& read) {
    TInvoiceEntry& entry = read.entry;
    std::string flag;
    if (map.Flag(RcMs, CellOf(row, RcMs), flag)) r.ms = flag;
    entry.exempt = FlagSet(r.ms);
    if (map.Flag(RcLwfp, CellOf(row, RcLwfp), flag)) r.lwfp = flag;
    if (map.Flag(RcZfbz, CellOf(row, RcZfbz), flag)) r.zfbz = flag;
    entry.voided = FlagSet(r.zfbz);
    if (map.Flag(RcJzjt, CellOf(row, RcJzjt), flag)) r.jzjt = flag;

    const TExchangeCell& buyer = CellOf(row, RcGfnsr);
    if (buyer.kind == TExchangeCell::Text) {
        entry.buyer = CellText(buyer);
    } else if (std::fabs(buyer.number) < 1e15 && buyer.number == std::floor(buyer.number)) {
        entry.buyer = NumberText(buyer.number);
    } else {
        map.Issue(RcGfnsr, "税号应为文本，不能是数值：" + ShownText(buyer));
    }
    r.gfnsr = entry.buyer.empty() ? std::string(" ") : entry.buyer;
}

// The detail window's checks on the entry, as issues of the row's columns.
void ReportEntryFindings(const TImportTarget& target, RowMapper& map, const TRowReading& read) {
    for (const TEntryFinding& f : CheckInvoiceEntry(read.entry, target.context)) {
        if (f.field == TEntryField::Type && read.typeReported) continue;
        if (f.field == TEntryField::Amount && !read.amountRead) continue;
        if (f.field == TEntryField::Rate && !read.rateRead) continue;
        if (f.field == TEntryField::Tax && (!read.taxRead || !read.amountUsable || !read.rateRead)) continue;
        static const int columnOfField[] = {RcFplx, RcFs, RcJe, RcSl, RcSe, RcGfnsr, RcKprq, RcZfbz};
        std::string text;
        GetMsg(f.code, f.param, 1, text);
        map.Issue(columnOfField[static_cast<int>(f.field)], text, f.confirmation);
    }
}

// The record's numbers from the entry's texts, and its period and entry date.
void FinishRecord(const TRowReading& read, const TImportTarget& target, const std::string& today, Txxqtfpxx& r) {
    int count = 0;
    r.fs = ParseInt32(read.entry.countText, count) ? count : 0;
    double value = 0;
    r.je = ParseDecimal(read.entry.amountText, value) ? value : 0;
    value = 0;
    r.se = ParseDecimal(read.entry.taxText, value) ? value : 0;
    r.sbssq = target.kjny;
    r.txsj = today;
}

// The fields that make two invoices the same one (SameInvoice), as one hash.
uint64_t InvoiceKey(const Txxqtfpxx& r) {
    std::string key = BucketOf(r);
    key += '\x1f';
    key += TrimBlanks(r.kprq).substr(0, 10);
    key += '\x1f';
    key += AmountText(r.se);
    key += '\x1f';
    key += TrimBlanks(r.gfnsr);
    return std::hash<std::string>{}(key);
}

// Plans the file's rows as they arrive, through the steps above. A row that reads as a total
// line is held back until a row of another kind comes or the file ends: the total lines at the
// end of an export are no invoices.
class TImportPlanner final : public TExchangeSink {
public:
    TImportPlanner(const TImportTarget& target, bool keepCells)
        : target_(target), keepCells_(keepCells), map_{target, plan_} {
        today_ = QStringToGbk(target.context.today.toString(QStringLiteral("yyyy-MM-dd")));
        plan_.blank = MakeInvoiceTemplate(0, target.kjny, today_);
        plan_.blank.sbssq = target.kjny;
        plan_.typeCodes = target.typeCodes;
        plan_.typeNames = target.typeNames;
        for (const Txxqtfpxx* r : target.existing) registered_.buckets[BucketOf(*r)].push_back(r);
    }

    void Header(std::vector<std::string>& captions, int line) override {
        headerFailed_ = !MapHeader(captions, line, map_, columns_);
    }

    void Row(TExchangeRow& row) override {
        if (headerFailed_) return;
        const auto type = static_cast<std::size_t>(columns_.columnOf[RcFplx]);
        if (type < row.cells.size() && IsTotalLine(CellText(row.cells[type]))) {
            held_.emplace_back();
            std::swap(held_.back(), row);
            return;
        }
        for (TExchangeRow& total : held_) Map(total);
        held_.clear();
        Map(row);
    }

    TImportPlan Finish() {
        held_.clear();
        if (!headerFailed_ && plan_.rows.empty()) {
            map_.line = 0;
            map_.Issue(-1, "文件中没有发票");
        }
        return std::move(plan_);
    }

private:
    void Map(TExchangeRow& row) {
        RowMapper& map = map_;
        map.line = row.line;
        const std::size_t issuesBefore = plan_.issues.size();
        GatherCells(row, columns_, map, work_.cells);
        Txxqtfpxx& r = record_;
        r = plan_.blank;
        TRowReading read;
        ReadTypeDateCount(work_, target_, map, r, read);
        ReadFigures(work_, map, r, read);
        ReadFlagsAndBuyer(work_, map, r, read);
        ReportEntryFindings(target_, map, read);
        FinishRecord(read, target_, today_, r);

        const bool rowFailed = std::any_of(plan_.issues.begin() + static_cast<std::ptrdiff_t>(issuesBefore),
                                           plan_.issues.end(), [](const TImportIssue& i) { return !i.warning; });
        if (!rowFailed && HasBadCheckDigit(TrimBlanks(r.gfnsr)))
            map.Issue(RcGfnsr, "不是有效的统一社会信用代码（校验位不符）", true);

        TImportRow& out = plan_.rows.emplace_back();
        out.line = row.line;
        for (std::size_t t = 0; t < plan_.typeCodes.size(); ++t)
            if (read.entry.typeChosen && plan_.typeCodes[t] == r.fplx) out.type = static_cast<uint8_t>(std::min<std::size_t>(t, 255));
        out.gfnsr = read.entry.buyer;
        out.je = r.je;
        out.se = r.se;
        out.fs = static_cast<int32_t>(r.fs);
        out.sl = static_cast<uint8_t>(std::clamp(r.sl, 0, 255));
        out.kprq = r.kprq == plan_.blank.kprq ? 0 : DateNumber(r.kprq);
        out.flags = static_cast<uint8_t>((FlagSet(r.ms) ? IfMs : 0) | (FlagSet(r.lwfp) ? IfLwfp : 0) |
                                         (FlagSet(r.zfbz) ? IfZfbz : 0) | (FlagSet(r.jzjt) ? IfJzjt : 0));
        if (keepCells_) out.cells = work_.cells;
        if (rowFailed) return;
        const std::string bucket = BucketOf(r);
        if (registered_.Find(r, bucket)) {
            map.Issue(-1, "与登记簿中已有的一张发票相同（类型、日期、金额、税额、购方税号）", true);
            plan_.storedDuplicateLines.push_back(row.line);
        }
        const auto [first, added] = earlier_.emplace(InvoiceKey(r), static_cast<uint32_t>(plan_.rows.size() - 1));
        if (!added && SameInvoice(plan_.Record(plan_.rows[first->second]), r))
            map.Issue(-1, "与文件第 " + std::to_string(plan_.rows[first->second].line) + " 行相同（类型、日期、金额、税额、购方税号）", true);
    }

    static int32_t DateNumber(const std::string& text) {
        const QDate date = DateOfText(text);
        return date.isValid() ? date.year() * 10000 + date.month() * 100 + date.day() : 0;
    }

    const TImportTarget& target_;
    const bool keepCells_;
    TImportPlan plan_;
    RowMapper map_;
    std::string today_;
    TColumnMap columns_;
    bool headerFailed_ = false;
    std::vector<TExchangeRow> held_;
    DuplicateIndex registered_;
    std::unordered_map<uint64_t, uint32_t> earlier_;   // rows of the file that passed, by InvoiceKey
    TImportRow work_;                                   // the row being read, its cells in register order
    Txxqtfpxx record_;
};

template <class Table>
TImportPlan PlanRows(Table& table, const TImportTarget& target) {
    TImportPlanner planner(target, true);
    std::vector<std::string> header = table.header;
    planner.Header(header, table.headerLine);
    for (auto& row : table.rows) {
        TExchangeRow taken;
        if constexpr (std::is_const_v<Table>) taken = row;
        else taken = std::move(row);
        planner.Row(taken);
    }
    return planner.Finish();
}

}  // namespace

void TImportPlan::Fill(const TImportRow& row, Txxqtfpxx& r) const {
    r = blank;
    if (row.type < typeCodes.size()) {
        r.fplx = typeCodes[row.type];
        r.fplxmc = typeNames[row.type];
    }
    if (row.kprq != 0) r.kprq = DateText(QDate(row.kprq / 10000, row.kprq / 100 % 100, row.kprq % 100));
    r.fs = row.fs;
    r.je = row.je;
    r.se = row.se;
    r.sl = row.sl;
    r.gfnsr = row.gfnsr.empty() ? std::string(" ") : row.gfnsr;
    r.ms = row.flags & IfMs ? "1" : "0";
    r.lwfp = row.flags & IfLwfp ? "1" : "0";
    r.zfbz = row.flags & IfZfbz ? "1" : "0";
    r.jzjt = row.flags & IfJzjt ? "1" : "0";
}

TImportPlan PlanImport(const TExchangeTable& table, const TImportTarget& target) { return PlanRows(table, target); }

TImportPlan PlanImportRows(const TImportTarget& target, bool keepCells,
                           const std::function<void(TExchangeSink& sink)>& produce) {
    TImportPlanner planner(target, keepCells);
    produce(planner);
    return planner.Finish();
}

TImportPlan PlanImport(TExchangeTable&& table, const TImportTarget& target) { return PlanRows(table, target); }

bool PlanImportFile(const QString& path, const TImportTarget& target, bool keepCells, TImportPlan& plan,
                    std::string& error) {
    TImportPlanner planner(target, keepCells);
    if (!ReadRegisterRows(path, planner, error)) return false;
    plan = planner.Finish();
    if (std::string hex; FileSha256Hex(path, hex))
        plan.source = QStringToGbk(QFileInfo(path).fileName()) + " SHA-256 " + hex;
    return true;
}

std::vector<std::string> IssueLines(const std::vector<TImportIssue>& issues, std::size_t perKind) {
    // A kind: error or warning, the column, and the wording before its value, made in one
    // buffer so that the issues of a kind seen before cost no allocation.
    std::string kind;
    const auto kindOf = [&kind](const TImportIssue& issue) -> const std::string& {
        const std::size_t colon = issue.text.find("：");
        kind.assign(issue.warning ? "w" : "e");
        kind += issue.column;
        kind += '\x1f';
        kind.append(issue.text, 0, colon == std::string::npos ? std::string::npos : colon);
        // "与文件第 12 行相同" and the like differ only in a number.
        kind.erase(std::remove_if(kind.begin(), kind.end(), [](char c) { return c >= '0' && c <= '9'; }), kind.end());
        return kind;
    };
    std::unordered_map<std::string, std::size_t> seen;
    std::vector<std::pair<std::string, std::size_t>> over;   // kind's first text, how many beyond
    std::unordered_map<std::string, std::size_t> overIndex;
    std::vector<std::string> lines;
    for (const TImportIssue& issue : issues) {
        const std::string& key = kindOf(issue);
        auto counted = seen.find(key);
        if (counted == seen.end()) counted = seen.emplace(key, 0).first;
        if (++counted->second <= perKind) {
            lines.push_back(IssueText(issue));
            continue;
        }
        auto it = overIndex.find(key);
        if (it == overIndex.end()) {
            it = overIndex.emplace(key, over.size()).first;
            over.emplace_back(issue.warning ? "提示" : "错误", 0);
        }
        ++over[it->second].second;
    }
    for (const auto& [what, count] : over)
        lines.push_back("……另有 " + std::to_string(count) + " 条同类" + what + "未列出");
    return lines;
}

bool ImportAllowed(const TModuleContext& context, std::string& reason) {
    std::string message;
    if (!CheckDeclareState(context, ModuleFuncCode(context.subAppCode), message)) return true;
    reason = message;
    return false;
}

TStoreResult StoreImport(const TImportPlan& plan, const TModuleContext& context, const TImportProgress& progress,
                         std::string& error) {
    if (plan.HasErrors()) {
        error = "文件中有错误，未导入任何发票";
        return TStoreResult::Refused;
    }
    if (!ImportAllowed(context, error)) return TStoreResult::Refused;
    const TInvoiceStore store = ModuleInvoiceStore(context);
    std::vector<TInvoiceSource> sources = plan.sources;
    TInvoiceStore::TNumberedProc numbered;
    TInvoiceStore::TWithinProc within;
    if (!sources.empty()) {
        numbered = [&sources](std::size_t i, const Txxqtfpxx& record) { sources[i].xh = record.xh; };
        within = [&sources, &context](std::string& reason) {
            std::vector<std::string> numbers;
            for (const TInvoiceSource& s : sources)
                if (numbers.empty() || numbers.back() != s.number) numbers.push_back(s.number);
            std::map<std::string, TStoredInvoice> stored;
            if (!FindStoredInvoiceNumbers(context, numbers, stored, reason)) return false;
            if (!stored.empty()) {
                reason = StoredNumberText(stored.begin()->first, stored.begin()->second) + "，未导入任何发票";
                return false;
            }
            return WriteInvoiceSources(context, context.period, sources, reason);
        };
    }
    // The database grows while the rows go in; beyond a file-size limit the write fails instead
    // of ending the program, and the transaction rolls back.
    TStoreOutcome outcome;
    const bool sizeLimitMet = corlith::HoldingFileSizeSignal([&] {
        outcome = store.InsertEach(
            plan.rows.size(), [&plan](std::size_t i, Txxqtfpxx& record) { plan.Fill(plan.rows[i], record); },
            [&progress](std::size_t done, std::size_t total) {
                return !progress || progress(static_cast<int>(done), static_cast<int>(total));
            },
            {TChangeKind::Import, plan.source}, numbered, within);
    });
    if (outcome.Ok()) return TStoreResult::Stored;
    if (outcome.failure == TStoreFailure::Cancelled) {
        error = "导入已取消，未导入任何发票";
        return TStoreResult::Cancelled;
    }
    error = sizeLimitMet ? std::string("数据库文件超出允许的大小，未导入任何发票")
                            : ErrorOrUnknown(outcome.error);
    return TStoreResult::Failed;
}

std::string StoredNumberText(const std::string& number, const TStoredInvoice& stored) {
    return "发票号码 " + number + " 已在登记簿中（所属期 " + stored.period + "，序号 " + std::to_string(stored.xh) + "）";
}

std::vector<std::string> RegisterExportFields(const Txxqtfpxx& record) { return ExportFields(record); }

namespace {

// The CSV file's header, then records as they are handed to Add.
class TRegisterCsv {
public:
    explicit TRegisterCsv(std::size_t expected) {
        csv_.Reserve(96 * (expected + 1));
        for (const char* caption : kCaptions) csv_.Field(caption);
        csv_.EndRecord();
    }
    void Add(const Txxqtfpxx& r) {
        ForEachExportField(r, *this);
        csv_.EndRecord();
    }
    std::size_t Size() const { return csv_.Size(); }
    std::string& Bytes() { return csv_.Bytes(); }

    void operator()(std::string_view text) { csv_.Text(text); }
    void operator()(TPlainText text) { csv_.Verbatim(text.text); }
    void operator()(TYesNo flag) { csv_.Verbatim(flag.yes ? yes_ : no_); }

private:
    static std::string Utf8(TYesNo flag) {
        const QByteArray utf8 = GbkToQString(YesNoText(flag)).toUtf8();
        return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    }

    TCsvWriter csv_;
    const std::string yes_ = Utf8(TYesNo{true}), no_ = Utf8(TYesNo{false});
};

}  // namespace

std::string RegisterCsvBytes(const std::vector<const Txxqtfpxx*>& records) {
    TRegisterCsv csv(records.size());
    for (const Txxqtfpxx* r : records) csv.Add(*r);
    return std::move(csv.Bytes());
}

TExportResult ExportRegisterList(const QString& path, const TModuleContext& context, const std::string& fplx,
                                 const std::string& gfnsr, std::size_t& rows, std::string& error) {
    rows = 0;
    const auto written = [](bool ok) {
        return ok ? TExportResult::Written : TExportResult::WriteFailed;
    };
    const bool csvFile = HasSuffix(path, u"csv");
    if (!csvFile && !HasSuffix(path, u"xlsx")) {   // refused before anything is read
        error = kUnknownExportKind;
        return TExportResult::WriteFailed;
    }
    if (!csvFile) {
        std::vector<Txxqtfpxx*> list;
        if (!ReadInvoiceList(context, fplx, gfnsr, list, error)) {
            FreeInvoiceList(list);
            return TExportResult::ReadFailed;
        }
        std::sort(list.begin(), list.end(), [](const Txxqtfpxx* a, const Txxqtfpxx* b) { return a->xh < b->xh; });
        rows = list.size();
        const bool ok = ExportRegisterFile(path, {list.begin(), list.end()}, error);
        FreeInvoiceList(list);
        return written(ok);
    }
    // Each record is written as it is read. The select names no order; where its rows do not
    // come in sequence order, the written records are put in that order afterwards.
    TRegisterCsv csv(0);
    struct Record {
        int32_t xh;
        std::size_t from;
    };
    std::vector<Record> records;
    bool ordered = true;
    if (!ReadInvoiceRows(
            context, fplx, gfnsr,
            [&](const Txxqtfpxx& r) {
                if (!records.empty() && r.xh < records.back().xh) ordered = false;
                records.push_back(Record{r.xh, csv.Size()});
                csv.Add(r);
            },
            error))
        return TExportResult::ReadFailed;
    rows = records.size();
    std::string& bytes = csv.Bytes();
    if (!ordered) {
        std::vector<std::size_t> order(records.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&records](std::size_t a, std::size_t b) { return records[a].xh < records[b].xh; });
        std::string sorted(bytes, 0, records.front().from);   // byte-order mark and header
        sorted.reserve(bytes.size());
        for (const std::size_t i : order) {
            const std::size_t to = i + 1 < records.size() ? records[i + 1].from : bytes.size();
            sorted.append(bytes, records[i].from, to - records[i].from);
        }
        bytes = std::move(sorted);
    }
    return written(WriteWholeFile(path, bytes, error));
}

bool ExportRegisterFile(const QString& path, const std::vector<const Txxqtfpxx*>& records, std::string& error) {
    if (HasSuffix(path, u"csv")) return WriteWholeFile(path, RegisterCsvBytes(records), error);
    if (!HasSuffix(path, u"xlsx")) {
        error = kUnknownExportKind;
        return false;
    }
    TXlsxSheet sheet;
    sheet.name = "其它销项发票";
    sheet.header.assign(std::begin(kCaptions), std::end(kCaptions));
    sheet.moneyColumns = {RcJe, RcSe};
    sheet.sumColumns = {RcFs, RcJe, RcSe};
    const auto voided = std::count_if(records.begin(), records.end(), [](const Txxqtfpxx* r) { return r->zfbz == "1"; });
    sheet.totals = {
        {std::string(kTotalPrefix) + "共 " + std::to_string(records.size()) + " 张发票，份数、金额、税额不含作废发票",
         RcZfbz, YesNoText(TYesNo{false})},
        {std::string(kVoidedTotalPrefix) + std::to_string(voided) + " 张作废发票（不计入合计）", RcZfbz,
         YesNoText(TYesNo{true})}};
    sheet.rows.reserve(records.size());
    for (const Txxqtfpxx* r : records) {
        std::vector<std::string> fields = ExportFields(*r);
        std::vector<TExchangeCell> cells(fields.size());
        for (std::size_t c = 0; c < fields.size(); ++c) cells[c].text = std::move(fields[c]);
        const auto number = [&cells](int column, double value) {
            cells[static_cast<std::size_t>(column)].kind = TExchangeCell::Number;
            cells[static_cast<std::size_t>(column)].number = value;
        };
        number(RcFs, static_cast<double>(r->fs));
        number(RcJe, static_cast<double>(MoneyToFixed(r->je)) / 10000.0);
        number(RcSe, static_cast<double>(MoneyToFixed(r->se)) / 10000.0);
        number(RcSl, r->sl);
        const QDate date = DateOfText(TrimBlanks(r->kprq));
        if (date.isValid()) {
            cells[RcKprq].kind = TExchangeCell::Date;
            cells[RcKprq].number = DateToSerial(date);
        }
        sheet.rows.push_back(std::move(cells));
    }
    return WriteXlsxFile(path, sheet, error);
}

}  // namespace vantrel

// Reading a workbook as a stream: every part is inflated a block at a time and fed to expat,
// so neither a part nor its tree is ever held whole. Only the shared strings and the styles'
// date flags are kept, and both are bounded.
#include "exchange/f_CsvFile.h"
#include "exchange/f_XlsxFile.h"
#include "exchange/f_ZipPackage.h"
#include "host/corlith_api.h"
#include "invoice/f_InvoiceChecks.h"

#include <QFile>

#include <expat.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

namespace {

// The shared strings kept in memory, all texts together.
constexpr std::size_t kMaxSharedBytes = std::size_t{256} << 20;
// Far deeper than any writer nests the parts read here (a sheet's text is seven deep).
constexpr int kMaxDepth = 64;
// One cell's text; spreadsheet programs allow 32,767 characters.
constexpr std::size_t kMaxCellBytes = 32767 * 4;
constexpr int kMaxColumns = 16384;    // A to XFD
constexpr int kMaxRows = 1048576;
constexpr int kMaxStyles = 65536;

const char* LocalName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool Is(const char* name, const char* local) { return std::strcmp(LocalName(name), local) == 0; }

const char* Attribute(const char** attributes, const char* local) {
    for (const char** a = attributes; a[0]; a += 2)
        if (Is(a[0], local)) return a[1];
    return nullptr;
}

// A whole number written with digits only, at most `limit`; -1 otherwise.
long long WholeNumber(const char* text, long long limit) {
    if (!text || !*text) return -1;
    long long value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
        value = value * 10 + (*p - '0');
        if (value > limit) return -1;
    }
    return value;
}

// One part of the package as expat events. A handler that finds the part unfit sets
// failure; reading stops at once.
class TPartHandler {
public:
    virtual ~TPartHandler() = default;
    virtual void Start(const char* name, const char** attributes) = 0;
    virtual void End(const char* name) = 0;
    virtual void Text(const char*, int) {}
    std::string failure;   // GBK
    bool done = false;     // what was wanted has been found: the rest is not read
};

class TXmlFeed {
public:
    TXmlFeed(TPartHandler& handler) : handler_(handler), parser_(XML_ParserCreate(nullptr)) {
        if (!parser_) return;
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &TXmlFeed::OnStart, &TXmlFeed::OnEnd);
        XML_SetCharacterDataHandler(parser_, &TXmlFeed::OnText);
        // No part of a workbook has a document type; one is only there to define entities.
        XML_SetStartDoctypeDeclHandler(parser_, &TXmlFeed::OnDoctype);
    }
    ~TXmlFeed() {
        if (parser_) XML_ParserFree(parser_);
    }
    TXmlFeed(const TXmlFeed&) = delete;
    TXmlFeed& operator=(const TXmlFeed&) = delete;

    // False when reading should stop: an error (failure set) or the handler is done.
    bool Feed(const char* data, std::size_t size, bool last) {
        if (!parser_) {
            handler_.failure = "内存不足";
            return false;
        }
        if (XML_Parse(parser_, data, static_cast<int>(size), last) == XML_STATUS_ERROR) {
            if (handler_.failure.empty() && !handler_.done)
                handler_.failure = std::string("XML 格式错误：") + XML_ErrorString(XML_GetErrorCode(parser_)) +
                                   "（第 " + std::to_string(XML_GetCurrentLineNumber(parser_)) + " 行）";
            return false;
        }
        return handler_.failure.empty() && !handler_.done;
    }

private:
    void Stop(std::string why) {
        if (handler_.failure.empty()) handler_.failure = std::move(why);
        XML_StopParser(parser_, XML_FALSE);
    }
    static void OnStart(void* self, const char* name, const char** attributes) {
        auto* feed = static_cast<TXmlFeed*>(self);
        if (++feed->depth_ > kMaxDepth) return feed->Stop("XML 元素嵌套过深");
        feed->handler_.Start(name, attributes);
        feed->CheckHandler();
    }
    static void OnEnd(void* self, const char* name) {
        auto* feed = static_cast<TXmlFeed*>(self);
        --feed->depth_;
        feed->handler_.End(name);
        feed->CheckHandler();
    }
    static void OnText(void* self, const char* text, int size) {
        auto* feed = static_cast<TXmlFeed*>(self);
        feed->handler_.Text(text, size);
        feed->CheckHandler();
    }
    static void OnDoctype(void* self, const char*, const char*, const char*, int) {
        static_cast<TXmlFeed*>(self)->Stop("不接受带文档类型定义（DTD）的 XML");
    }
    void CheckHandler() {
        if (!handler_.failure.empty() || handler_.done) XML_StopParser(parser_, XML_FALSE);
    }

    TPartHandler& handler_;
    XML_Parser parser_;
    int depth_ = 0;
};

// Inflates the entry a block at a time into the handler, within the package's limits.
vantrel::TZipRead ReadPart(const vantrel::TZipPackage& package, const std::string& name, TPartHandler& handler, std::string& error) {
    const std::string part = "工作簿的 " + name + " ";
    TXmlFeed feed(handler);
    const vantrel::TZipRead read = package.ReadEntry(name, part, "登记簿文件", [&feed](const char* data, std::size_t size) {
        return feed.Feed(data, size, size == 0);
    }, error);
    if (read != vantrel::TZipRead::Read) return read;
    if (!handler.failure.empty()) {
        error = part + handler.failure;
        return vantrel::TZipRead::Failed;
    }
    return vantrel::TZipRead::Read;
}

struct TWorkbookPart final : TPartHandler {
    bool system1904 = false;
    std::string firstSheetRel;
    void Start(const char* name, const char** attributes) override {
        if (Is(name, "workbookPr")) {
            const char* flag = Attribute(attributes, "date1904");
            system1904 = flag && (std::strcmp(flag, "1") == 0 || std::strcmp(flag, "true") == 0);
        } else if (Is(name, "sheet") && firstSheetRel.empty()) {
            const char* id = Attribute(attributes, "id");
            firstSheetRel = id ? id : "";
            done = true;
        }
    }
    void End(const char*) override {}
};

struct TRelationsPart final : TPartHandler {
    std::string wanted;
    std::string target;
    void Start(const char* name, const char** attributes) override {
        if (!Is(name, "Relationship")) return;
        const char* id = Attribute(attributes, "Id");
        const char* to = Attribute(attributes, "Target");
        if (id && to && wanted == id) {
            target = to;
            done = true;
        }
    }
    void End(const char*) override {}
};

// The text of string items (<si> or <is>): every <t> below, leaving out phonetic runs.
class TStringCollector {
public:
    void Start(const char* name) {
        if (Is(name, "rPh")) ++phonetic_;
        else if (Is(name, "t") && phonetic_ == 0) inText_ = true;
    }
    void End(const char* name) {
        if (Is(name, "rPh")) --phonetic_;
        else if (Is(name, "t")) inText_ = false;
    }
    // False when the text outgrows a cell.
    bool Text(const char* text, int size, std::string& out) const {
        if (!inText_) return true;
        if (out.size() + static_cast<std::size_t>(size) > kMaxCellBytes) return false;
        out.append(text, static_cast<std::size_t>(size));
        return true;
    }
    void Reset() {
        phonetic_ = 0;
        inText_ = false;
    }

private:
    int phonetic_ = 0;
    bool inText_ = false;
};

struct TSharedStringsPart final : TPartHandler {
    std::string texts;                       // UTF-8, one after another
    std::vector<std::size_t> ends;           // where each ends in texts
    bool inItem = false;
    TStringCollector collector;
    std::string item;

    void Start(const char* name, const char**) override {
        if (Is(name, "si")) {
            inItem = true;
            item.clear();
            collector.Reset();
        } else if (inItem) {
            collector.Start(name);
        }
    }
    void End(const char* name) override {
        if (!inItem) return;
        if (!Is(name, "si")) return collector.End(name);
        inItem = false;
        if (texts.size() + item.size() > kMaxSharedBytes) {
            failure = "共享字符串超过 256 MB，不是登记簿文件";
            return;
        }
        texts += item;
        ends.push_back(texts.size());
    }
    void Text(const char* text, int size) override {
        if (inItem && !collector.Text(text, size, item)) failure = "单元格文本过长";
    }
    bool Get(std::size_t index, std::string_view& text) const {
        if (index >= ends.size()) return false;
        const std::size_t from = index == 0 ? 0 : ends[index - 1];
        text = std::string_view(texts).substr(from, ends[index] - from);
        return true;
    }
};

bool IsDateFormatCode(const std::string& code) {
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        if (bracket) {
            if (c == ']') bracket = false;
            continue;
        }
        if (c == '"') quoted = true;
        else if (c == '[') bracket = true;
        else if (c == '\\' || c == '_' || c == '*') ++i;
        else if (c == 'd' || c == 'D' || c == 'y' || c == 'Y' || c == 'm' || c == 'M') return true;
        else if (c == ';') break;  // the format of positive numbers decides
    }
    return false;
}

bool IsBuiltInDateFormat(long long id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

// Which cell styles show dates.
struct TStylesPart final : TPartHandler {
    std::map<long long, bool> custom;
    std::vector<long long> formatOfStyle;
    bool inCellXfs = false;
    void Start(const char* name, const char** attributes) override {
        if (Is(name, "numFmt")) {
            const long long id = WholeNumber(Attribute(attributes, "numFmtId"), INT32_MAX);
            const char* code = Attribute(attributes, "formatCode");
            if (id >= 0 && custom.size() < static_cast<std::size_t>(kMaxStyles))
                custom[id] = IsDateFormatCode(code ? code : "");
        } else if (Is(name, "cellXfs")) {
            inCellXfs = true;
        } else if (inCellXfs && Is(name, "xf")) {
            if (formatOfStyle.size() >= static_cast<std::size_t>(kMaxStyles)) {
                failure = "单元格样式过多";
                return;
            }
            formatOfStyle.push_back(WholeNumber(Attribute(attributes, "numFmtId"), INT32_MAX));
        }
    }
    void End(const char* name) override {
        if (Is(name, "cellXfs")) inCellXfs = false;
    }
    std::vector<bool> DateStyles() const {
        std::vector<bool> result;
        result.reserve(formatOfStyle.size());
        for (const long long id : formatOfStyle) {
            const auto it = custom.find(id);
            result.push_back(it != custom.end() ? it->second : IsBuiltInDateFormat(id));
        }
        return result;
    }
};

// "BC12" -> column 54 (0-based); -1 without letters, -2 beyond the last column (XFD).
int ColumnOfReference(const char* ref) {
    int column = 0;
    int letters = 0;
    for (; *ref; ++ref) {
        char c = *ref;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') break;
        if (++letters > 3) return -2;
        column = column * 26 + (c - 'A' + 1);
    }
    if (letters == 0) return -1;
    return column > kMaxColumns ? -2 : column - 1;
}

class TSheetPart final : public TPartHandler {
public:
    TSheetPart(vantrel::TExchangeSink& sink, const TSharedStringsPart& shared, const std::vector<bool>& dateStyle,
               bool system1904)
        : sink_(sink), shared_(shared), dateStyle_(dateStyle), system1904_(system1904) {}

    bool HeaderSeen() const { return headerSeen_; }

    void Start(const char* name, const char** attributes) override {
        if (inCell_) {
            if (Is(name, "v")) inValue_ = true;
            else if (Is(name, "is")) inInline_ = true;
            else if (inInline_) collector_.Start(name);
            return;
        }
        if (inRow_ && Is(name, "c")) return StartCell(attributes);
        if (Is(name, "sheetData")) inData_ = true;
        else if (inData_ && Is(name, "row")) StartRow(attributes);
    }

    void End(const char* name) override {
        if (inCell_) {
            if (Is(name, "c")) return EndCell();
            if (Is(name, "v")) inValue_ = false;
            else if (Is(name, "is")) inInline_ = false;
            else if (inInline_) collector_.End(name);
            return;
        }
        if (inRow_ && Is(name, "row")) EndRow();
        else if (Is(name, "sheetData")) inData_ = false;
    }

    void Text(const char* text, int size) override {
        if (!inCell_) return;
        bool fits = true;
        if (inValue_) {
            fits = value_.size() + static_cast<std::size_t>(size) <= kMaxCellBytes;
            if (fits) value_.append(text, static_cast<std::size_t>(size));
        } else if (inInline_) {
            fits = collector_.Text(text, size, inline_);
        }
        if (!fits) failure = "第 " + std::to_string(row_.line) + " 行的单元格文本过长";
    }

private:
    void StartRow(const char** attributes) {
        int line = lastLine_ + 1;
        if (const char* r = Attribute(attributes, "r")) {
            const long long number = WholeNumber(r, kMaxRows);
            if (number <= lastLine_) {
                failure = std::string("行号无效或不是递增的：") + r;
                return;
            }
            line = static_cast<int>(number);
        }
        if (line > kMaxRows) {
            failure = "行数超过工作表的上限";
            return;
        }
        lastLine_ = line;
        inRow_ = true;
        row_.line = line;
        row_.cells.clear();
        row_.extra.clear();
        nextColumn_ = 0;
        blank_ = true;
    }

    void StartCell(const char** attributes) {
        int column = nextColumn_;
        if (const char* ref = Attribute(attributes, "r")) {
            column = ColumnOfReference(ref);
            if (column == -1) column = nextColumn_;
            if (column < 0) {
                failure = "第 " + std::to_string(row_.line) + " 行的单元格超出工作表的最后一列（XFD）：" + ref;
                return;
            }
        }
        if (column >= kMaxColumns) {
            failure = "第 " + std::to_string(row_.line) + " 行的单元格超出工作表的最后一列（XFD）";
            return;
        }
        nextColumn_ = column + 1;
        column_ = column;
        const char* type = Attribute(attributes, "t");
        type_ = type ? type : "";
        style_ = WholeNumber(Attribute(attributes, "s"), kMaxStyles);
        inCell_ = true;
        inValue_ = inInline_ = false;
        value_.clear();
        inline_.clear();
        collector_.Reset();
    }

    void EndCell() {
        inCell_ = false;
        vantrel::TExchangeCell cell;
        std::string_view utf8;
        std::string word;
        if (type_ == "s") {
            const long long index = WholeNumber(value_.c_str(), INT32_MAX);
            if (index < 0 || !shared_.Get(static_cast<std::size_t>(index), utf8)) {
                failure = "第 " + std::to_string(row_.line) + " 行引用了不存在的共享字符串：" + value_;
                return;
            }
        } else if (type_ == "inlineStr") {
            utf8 = inline_;
        } else if (type_ == "str" || type_ == "e") {
            utf8 = value_;
        } else if (type_ == "b") {
            utf8 = value_ == "1" ? "TRUE" : "FALSE";
        } else if (!value_.empty()) {
            // As strict as a field of a CSV file: anything else is kept as the text it is, for
            // the checks to name.
            double number = 0;
            if (vantrel::ParseDecimal(value_, number) && std::isfinite(number)) {
                const bool isDate = style_ >= 0 && static_cast<std::size_t>(style_) < dateStyle_.size() &&
                                    dateStyle_[static_cast<std::size_t>(style_)];
                cell.kind = isDate ? vantrel::TExchangeCell::Date : vantrel::TExchangeCell::Number;
                cell.number = isDate && system1904_ ? number + 1462 : number;  // to the 1900 system's day numbers
                cell.text = value_;
            } else {
                utf8 = value_;
            }
        }
        if (cell.kind == vantrel::TExchangeCell::Text) {
            if (!ToGbk(utf8)) {
                failure = "第 " + std::to_string(row_.line) + " 行含有 GBK 无法表示的字符";
                return;
            }
            if (gbk_.find_first_not_of(" \t") != std::string::npos) cell.text = gbk_;
        }
        if (cell.kind == vantrel::TExchangeCell::Text && cell.text.empty()) return;
        blank_ = false;
        if (headerSeen_ && static_cast<std::size_t>(column_) >= width_) {
            if (row_.extra.size() < vantrel::kExtraColumnsKept) row_.extra.push_back(column_);
            return;
        }
        if (row_.cells.size() <= static_cast<std::size_t>(column_)) row_.cells.resize(static_cast<std::size_t>(column_) + 1);
        row_.cells[static_cast<std::size_t>(column_)] = std::move(cell);
    }

    // A register repeats a few Chinese words on every row (type names, 是, 否): each distinct
    // short text is converted once.
    bool ToGbk(std::string_view utf8) {
        constexpr std::size_t kShort = 64, kKept = 4096;
        if (utf8.size() > kShort) return vantrel::Utf8ToGbkText(utf8, gbk_);
        const auto found = converted_.find(utf8);
        if (found != converted_.end()) {
            if (!found->second.second) return false;
            gbk_ = found->second.first;
            return true;
        }
        const bool ok = vantrel::Utf8ToGbkText(utf8, gbk_);
        if (converted_.size() >= kKept) converted_.clear();
        converted_.emplace(std::string(utf8), std::make_pair(gbk_, ok));
        return ok;
    }

    void EndRow() {
        inRow_ = false;
        if (blank_) return;
        if (!headerSeen_) {
            headerSeen_ = true;
            std::vector<std::string> captions;
            captions.reserve(row_.cells.size());
            for (vantrel::TExchangeCell& cell : row_.cells) captions.push_back(std::move(cell.text));
            width_ = captions.size();
            sink_.Header(captions, row_.line);
            return;
        }
        sink_.Row(row_);
    }

    vantrel::TExchangeSink& sink_;
    const TSharedStringsPart& shared_;
    const std::vector<bool>& dateStyle_;
    const bool system1904_;

    bool inData_ = false, inRow_ = false, inCell_ = false, inValue_ = false, inInline_ = false;
    bool headerSeen_ = false, blank_ = true;
    std::size_t width_ = 0;
    int lastLine_ = 0, nextColumn_ = 0, column_ = 0;
    long long style_ = -1;
    std::string type_, value_, inline_, gbk_;
    TStringCollector collector_;
    vantrel::TExchangeRow row_;
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, std::pair<std::string, bool>, TextHash, std::equal_to<>> converted_;
};

// A relationship's target as a name in the package: relative to xl/, or from the package's
// root when it starts with "/". Empty when it leaves the package.
std::string ResolveTarget(const std::string& target) { return vantrel::ResolvePackagePath("xl/", target); }

bool ReadArchive(const vantrel::TZipPackage& archive, vantrel::TExchangeSink& sink, std::string& error) {
    const std::string invalid = "文件不是有效的 xlsx 工作簿";
    TWorkbookPart workbook;
    vantrel::TZipRead read = ReadPart(archive, "xl/workbook.xml", workbook, error);
    if (read != vantrel::TZipRead::Read) {
        if (read == vantrel::TZipRead::Missing) error = invalid + "：缺少 xl/workbook.xml";
        return false;
    }
    TRelationsPart relations;
    relations.wanted = workbook.firstSheetRel;
    if (!relations.wanted.empty() &&
        ReadPart(archive, "xl/_rels/workbook.xml.rels", relations, error) == vantrel::TZipRead::Failed)
        return false;
    if (relations.target.empty()) {
        error = invalid + "：找不到第一个工作表";
        return false;
    }
    const std::string sheetPath = ResolveTarget(relations.target);
    if (sheetPath.empty()) {
        error = invalid + "：工作表的位置指向工作簿之外";
        return false;
    }

    TSharedStringsPart shared;
    if (ReadPart(archive, "xl/sharedStrings.xml", shared, error) == vantrel::TZipRead::Failed) return false;
    TStylesPart styles;
    if (ReadPart(archive, "xl/styles.xml", styles, error) == vantrel::TZipRead::Failed) return false;
    const std::vector<bool> dateStyle = styles.DateStyles();

    TSheetPart sheet(sink, shared, dateStyle, workbook.system1904);
    read = ReadPart(archive, sheetPath, sheet, error);
    if (read == vantrel::TZipRead::Missing) error = invalid + "：找不到第一个工作表";
    if (read != vantrel::TZipRead::Read) return false;
    if (!sheet.HeaderSeen()) {
        error = "工作表中没有标题行";
        return false;
    }
    return true;
}

}  // namespace

bool vantrel::ReadXlsxRows(const QString& path, vantrel::TExchangeSink& sink, std::string& error) {
    vantrel::TZipPackage package;
    if (!package.OpenFile(path, error)) {
        if (error.empty()) error = "文件不是有效的 xlsx 工作簿";
        return false;
    }
    return ReadArchive(package, sink, error);
}

bool vantrel::ReadXlsxBytes(const void* data, std::size_t size, vantrel::TExchangeSink& sink, std::string& error) {
    vantrel::TZipPackage package;
    if (!package.OpenBytes(data, size)) {
        error = "文件不是有效的 xlsx 工作簿";
        return false;
    }
    return ReadArchive(package, sink, error);
}

bool vantrel::ReadXlsxFile(const QString& path, vantrel::TExchangeTable& table, std::string& error) {
    table = vantrel::TExchangeTable();
    vantrel::TExchangeTableSink sink(table);
    return vantrel::ReadXlsxRows(path, sink, error);
}

std::string vantrel::ResolveXlsxTarget(const std::string& target) { return ResolveTarget(target); }

#include "exchange/f_CsvFile.h"

#include "host/corlith_api.h"
#include "host/corlith_files.h"

#include <QFile>
#include <QStringDecoder>

#include <csv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct CsvCollector {
    TExchangeTable* table;
    std::vector<TExchangeCell> cells;
    int record = 0;
    bool headerSeen = false;
    int lastEnd = 0;   // the character that ended the last record or blank line
};

void OnField(void* field, std::size_t size, void* data) {
    auto* c = static_cast<CsvCollector*>(data);
    TExchangeCell& cell = c->cells.emplace_back();
    if (field) cell.text.assign(static_cast<const char*>(field), size);
}

// Blank lines are reported too, so that a row's number is the row a spreadsheet shows it in;
// the LF of a CR LF pair is no line of its own.
void OnRecordEnd(int end, void* data) {
    auto* c = static_cast<CsvCollector*>(data);
    const bool pairedLf = end == '\n' && c->lastEnd == '\r' && c->cells.empty();
    c->lastEnd = end;
    if (pairedLf) return;
    ++c->record;
    const bool blank = std::all_of(c->cells.begin(), c->cells.end(), [](const TExchangeCell& cell) {
        return cell.text.find_first_not_of(" \t") == std::string::npos;
    });
    const std::size_t fields = c->cells.size();
    if (!blank) {
        if (!c->headerSeen) {
            c->headerSeen = true;
            c->table->headerLine = c->record;
            for (TExchangeCell& cell : c->cells) c->table->header.push_back(std::move(cell.text));
        } else {
            c->table->rows.push_back(TExchangeRow{c->record, std::move(c->cells)});
        }
    }
    c->cells.clear();
    // The next record most likely has as many fields: one allocation instead of a growing vector.
    c->cells.reserve(fields);
}

// Valid UTF-8 as GBK. ASCII stands for itself in both, so only the runs between ASCII
// characters are converted, each distinct run once: a register repeats a handful of Chinese
// words (type names, 是, 否) on every row. False, naming the line, at a character GBK lacks.
bool Utf8RunsToGbk(std::string_view bytes, std::string& gbk, std::string& error) {
    gbk.clear();
    gbk.reserve(bytes.size());
    std::unordered_map<std::string_view, std::string> converted;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t end = i;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
        gbk.append(bytes.substr(i, end - i));
        i = end;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) ++end;
        if (end == i) continue;
        const std::string_view run = bytes.substr(i, end - i);
        auto it = converted.find(run);
        if (it == converted.end()) {
            QString text = QString::fromUtf8(run.data(), static_cast<qsizetype>(run.size()));
            // GBK has only the full-width yen sign; amounts written with the half-width one read the same.
            text.replace(QChar(0x00A5), QChar(0xFFE5));
            std::string code = QStringToGbk(text);
            if (GbkToQString(code) != text) {
                const auto lines = std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i), '\n');
                error = "文件第 " + std::to_string(lines + 1) + " 行含有 GBK 无法表示的字符";
                return false;
            }
            it = converted.emplace(run, std::move(code)).first;
        }
        gbk += it->second;
        i = end;
    }
    return true;
}

}  // namespace

bool Utf8ToGbkText(std::string_view utf8, std::string& gbk) {
    if (IsAscii(utf8)) {
        gbk.assign(utf8);
        return true;
    }
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QChar(0x00A5), QChar(0xFFE5));
    gbk = QStringToGbk(text);
    return GbkToQString(gbk) == text;
}

bool DecodeRegisterText(std::string_view bytes, std::string& gbk, TTextEncoding& found, std::string& error) {
    const bool bom = bytes.substr(0, kBom.size()) == kBom;
    if (bom) bytes.remove_prefix(kBom.size());
    if (IsAscii(bytes)) {
        gbk.assign(bytes);
        found = bom ? TTextEncoding::Utf8Bom : TTextEncoding::Utf8;
        return true;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString checked = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) {
        found = bom ? TTextEncoding::Utf8Bom : TTextEncoding::Utf8;
        return Utf8RunsToGbk(bytes, gbk, error);
    }
    if (bom) {
        error = "文件以 UTF-8 标记开头，但内容不是有效的 UTF-8";
        return false;
    }
    // GBK never decodes to the replacement character; anything that does is no GBK text.
    const QString text16 = GbkToQString(std::string(bytes));
    if (!text16.contains(QChar(QChar::ReplacementCharacter))) {
        gbk.assign(bytes);
        found = TTextEncoding::Gbk;
        return true;
    }
    error = "无法识别文件的编码：既不是 UTF-8，也不是 GBK";
    return false;
}

bool ParseCsvText(const std::string& gbk, TExchangeTable& table, std::string& error) {
    table = TExchangeTable();
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
        error = "内存不足";
        return false;
    }
    CsvCollector collector{&table, {}, 0, false};
    const std::size_t parsed = csv_parse(&parser, gbk.data(), gbk.size(), OnField, OnRecordEnd, &collector);
    bool ok = parsed == gbk.size();
    if (ok) ok = csv_fini(&parser, OnField, OnRecordEnd, &collector) == 0;
    if (!ok) {
        error = csv_error(&parser) == CSV_EPARSE
                    ? "CSV 格式错误：第 " + std::to_string(collector.record + 1) + " 行的引号不成对"
                    : std::string("内存不足");
    }
    csv_free(&parser);
    if (ok && !collector.headerSeen) {
        error = "文件中没有标题行";
        ok = false;
    }
    return ok;
}

bool ReadCsvFile(const QString& path, TExchangeTable& table, std::string& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "无法打开文件：" + QStringToGbk(file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = "无法读取文件：" + QStringToGbk(file.errorString());
        return false;
    }
    std::string gbk;
    TTextEncoding encoding;
    if (!DecodeRegisterText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), gbk,
                            encoding, error))
        return false;
    return ParseCsvText(gbk, table, error);
}

void AppendCsvField(std::string& out, std::string_view field) {
    // GBK's trail bytes start at 0x40, so a byte that asks for quotes is always that character.
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        AppendCsvField(out, fields[i]);
    }
    out += "\r\n";
}

TCsvWriter::TCsvWriter() {
    std::memcpy(Room(kBom.size()), kBom.data(), kBom.size());
    used_ = kBom.size();
}

void TCsvWriter::Reserve(std::size_t bytes) {
    if (bytes > out_.size()) out_.resize(bytes);
}

char* TCsvWriter::Grow(std::size_t bytes) {
    out_.resize(std::max(2 * out_.size(), used_ + bytes + 4096));
    return out_.data() + used_;
}

std::string& TCsvWriter::Bytes() {
    out_.resize(used_);
    return out_;
}

namespace {

// Per byte: 1 for a byte of a non-ASCII character, 2 for one that asks for quotes.
constexpr std::array<unsigned char, 256> kByteKinds = [] {
    std::array<unsigned char, 256> kinds{};
    for (int c = 0x80; c < 0x100; ++c) kinds[static_cast<std::size_t>(c)] = 1;
    for (unsigned char c : {',', '"', '\r', '\n'}) kinds[c] = 2;
    return kinds;
}();

// Whether a field needs no more than copying: ASCII, none of the bytes that ask for quotes.
// Those are all below '-', so eight bytes at a time it is enough to find none below it and
// none from 0x80 on; a field with such a byte takes the byte-wise look.
bool PlainAscii(std::string_view s) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    uint64_t found = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        found |= word | ((word - kOnes * '-') & ~word);
    }
    for (; i < s.size(); ++i) found |= static_cast<unsigned char>(s[i]) < '-' ? 0x80 : static_cast<unsigned char>(s[i]);
    return (found & kHigh) == 0;
}

}  // namespace

void TCsvWriter::Field(std::string_view gbk) {
    unsigned kinds = 0;
    if (!PlainAscii(gbk))
        for (const char c : gbk) kinds |= kByteKinds[static_cast<unsigned char>(c)];
    const bool ascii = (kinds & 1) == 0, quoted = (kinds & 2) != 0;
    // UTF-8 and GBK alike write those four characters as themselves and no other character
    // uses their bytes, so the quoting of the GBK text is that of its UTF-8 form.
    const std::string_view text = ascii ? gbk : std::string_view(Utf8Of(gbk));
    char* const start = Room(2 * text.size() + 3);
    char* p = start;
    if (column_ > 0) *p++ = ',';
    ++column_;
    if (!quoted) {
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
    } else {
        *p++ = '"';
        for (const char c : text) {
            if (c == '"') *p++ = '"';
            *p++ = c;
        }
        *p++ = '"';
    }
    used_ += static_cast<std::size_t>(p - start);
}

void TCsvWriter::EndRecord() {
    std::memcpy(Room(2), "\r\n", 2);
    used_ += 2;
    column_ = 0;
}

const std::string& TCsvWriter::Utf8Of(std::string_view gbk) {
    constexpr std::size_t kKept = 8;
    if (converted_.size() <= column_) converted_.resize(column_ + 1);
    Converted& column = converted_[column_];
    auto& kept = column.kept;
    if (column.last < kept.size() && kept[column.last].first == gbk) return kept[column.last].second;
    for (std::size_t i = 0; i < kept.size(); ++i)
        if (kept[i].first == gbk) {
            column.last = i;
            return kept[i].second;
        }
    if (kept.size() >= kKept) kept.erase(kept.begin());
    const std::string from(gbk);
    const QByteArray utf8 = GbkToQString(from).toUtf8();
    kept.emplace_back(from, std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    column.last = kept.size() - 1;
    return kept.back().second;
}

bool WriteWholeFile(const QString& path, std::string_view bytes, std::string& error) {
    const corlith::TFileWrite written = corlith::WriteFileWhole(path, bytes);
    if (!written.Ok()) error = "无法写入文件：" + corlith::FileWriteReason(written);
    return written.Ok();
}

bool WriteCsvFile(const QString& path, const std::string& gbkRecords, std::string& error) {
    const QByteArray utf8 = GbkToQString(gbkRecords).toUtf8();
    std::string bytes;
    bytes.reserve(kBom.size() + static_cast<std::size_t>(utf8.size()));
    bytes += kBom;
    bytes.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return WriteWholeFile(path, bytes, error);
}

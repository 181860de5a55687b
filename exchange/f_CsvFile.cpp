#include "exchange/f_CsvFile.h"

#include "host/corlith_api.h"
#include "host/corlith_files.h"

#include <QFile>
#include <QStringDecoder>

#include <csv.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace vantrel {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A text that a spreadsheet would take for a formula, written behind an apostrophe.
bool StartsLikeFormula(std::string_view text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
}
bool FormulaGuarded(std::string_view field) { return field.size() >= 2 && field[0] == '\'' && StartsLikeFormula(field.substr(1)); }

// Valid UTF-8 as UTF-16, a byte-order mark at its start kept as the character it is (a text
// converted whole or in runs gives the same characters).
QString FromUtf8(std::string_view utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The records of a stream of GBK text, handed to a sink as they end.
class TCsvStream {
public:
    explicit TCsvStream(TExchangeSink& sink) : sink_(sink) {
        ready_ = csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) == 0;
        // The field buffer grows by 128 bytes at a time otherwise: a long field would be copied
        // over and over.
        if (ready_) csv_set_blk_size(&parser_, 1 << 16);
    }
    ~TCsvStream() {
        if (ready_) csv_free(&parser_);
    }
    TCsvStream(const TCsvStream&) = delete;
    TCsvStream& operator=(const TCsvStream&) = delete;

    bool Feed(std::string_view gbk, std::string& error) {
        if (!ready_) return Fail("内存不足", error);
        sinceRecord_ += gbk.size();
        if (csv_parse(&parser_, gbk.data(), gbk.size(), OnField, OnRecordEnd, this) != gbk.size())
            return Fail(ParseFailure(), error);
        // A record is a register's row: a longer one is no register (or lacks a closing quote).
        if (sinceRecord_ > kMaxRecordBytes)
            return Fail("第 " + std::to_string(record_ + 1) + " 行超过 1 MB，不是登记簿文件", error);
        return true;
    }
    bool Finish(std::string& error) {
        if (!ready_) return Fail("内存不足", error);
        if (csv_fini(&parser_, OnField, OnRecordEnd, this) != 0) return Fail(ParseFailure(), error);
        if (!headerSeen_) return Fail("文件中没有标题行", error);
        return true;
    }

private:
    static constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 20;

    static bool Fail(const std::string& why, std::string& error) {
        error = why;
        return false;
    }
    std::string ParseFailure() {
        return csv_error(&parser_) == CSV_EPARSE
                   ? "CSV 格式错误：第 " + std::to_string(record_ + 1) + " 行的引号不成对"
                   : std::string("内存不足");
    }

    static void OnField(void* field, std::size_t size, void* data) {
        auto* c = static_cast<TCsvStream*>(data);
        const std::size_t column = c->fields_++;
        const std::string_view text = field ? std::string_view(static_cast<const char*>(field), size) : std::string_view();
        const bool blank = text.find_first_not_of(" \t") == std::string_view::npos;
        c->blank_ = c->blank_ && blank;
        if (c->headerSeen_ && column >= c->width_) {
            if (!blank && c->row_.extra.size() < kExtraColumnsKept) c->row_.extra.push_back(static_cast<int>(column));
            return;
        }
        c->row_.cells.emplace_back().text.assign(FormulaGuarded(text) ? text.substr(1) : text);
    }

    // Blank lines are reported too, so that a row's number is the row a spreadsheet shows it
    // in; the LF of a CR LF pair is no line of its own.
    static void OnRecordEnd(int end, void* data) {
        auto* c = static_cast<TCsvStream*>(data);
        const bool pairedLf = end == '\n' && c->lastEnd_ == '\r' && c->fields_ == 0;
        c->lastEnd_ = end;
        c->sinceRecord_ = 0;
        if (pairedLf) return;
        ++c->record_;
        const std::size_t fields = c->row_.cells.size();
        if (!c->blank_) {
            c->row_.line = c->record_;
            if (!c->headerSeen_) {
                c->headerSeen_ = true;
                std::vector<std::string> captions;
                captions.reserve(fields);
                for (TExchangeCell& cell : c->row_.cells) captions.push_back(std::move(cell.text));
                c->width_ = captions.size();
                c->sink_.Header(captions, c->record_);
            } else {
                c->sink_.Row(c->row_);
            }
        }
        c->row_.cells.clear();
        c->row_.extra.clear();
        c->fields_ = 0;
        c->blank_ = true;
        // The next record most likely has as many fields: one allocation instead of a growing vector.
        c->row_.cells.reserve(fields);
    }

    TExchangeSink& sink_;
    csv_parser parser_{};
    bool ready_ = false;
    TExchangeRow row_;
    std::size_t fields_ = 0;
    std::size_t width_ = 0;
    std::size_t sinceRecord_ = 0;
    int record_ = 0;
    bool headerSeen_ = false;
    bool blank_ = true;
    int lastEnd_ = 0;   // the character that ended the last record or blank line
};

// Valid UTF-8 as GBK. ASCII stands for itself in both, so only the runs between ASCII
// characters are converted, each distinct run once: a register repeats a handful of Chinese
// words (type names, 是, 否) on every row. False, naming the line, at a character GBK lacks.
bool Utf8RunsToGbk(std::string_view bytes, std::string& gbk, std::string& error, long long linesBefore = 0) {
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
            QString text = FromUtf8(run);
            // GBK has only the full-width yen sign; amounts written with the half-width one read the same.
            text.replace(QChar(0x00A5), QChar(0xFFE5));
            std::string code = QStringToGbk(text);
            if (GbkToQString(code) != text) {
                const auto lines = std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i), '\n');
                error = "文件第 " + std::to_string(linesBefore + lines + 1) + " 行含有 GBK 无法表示的字符";
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
    QString text = FromUtf8(utf8);
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
    TExchangeTableSink sink(table);
    TCsvStream stream(sink);
    return stream.Feed(gbk, error) && stream.Finish(error);
}

int OpenRegularInput(const QString& path, std::string& error, int64_t* size) {
    const QByteArray name = QFile::encodeName(path);
    // Without blocking, so that a FIFO cannot hold the open; it is refused just after.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "无法打开文件：" + QStringToGbk(QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "该路径不是普通文件（如管道或设备），不能导入";
        return -1;
    }
    // O_NONBLOCK stays: reads of a regular file ignore it.
    if (size) *size = static_cast<int64_t>(st.st_size);
    return fd;
}

namespace {

// Whether bytes fed in pieces are UTF-8 (shortest forms, no surrogates), as QStringDecoder
// judges it.
class TUtf8Check {
public:
    void Feed(std::string_view bytes) {
        for (const char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            if (need_ > 0) {
                if (b < low_ || b > high_) valid_ = false;
                low_ = 0x80, high_ = 0xBF;
                --need_;
                continue;
            }
            if (b < 0x80) continue;
            if (b >= 0xC2 && b <= 0xDF) need_ = 1;
            else if (b >= 0xE0 && b <= 0xEF) need_ = 2, low_ = b == 0xE0 ? 0xA0 : 0x80, high_ = b == 0xED ? 0x9F : 0xBF;
            else if (b >= 0xF0 && b <= 0xF4) need_ = 3, low_ = b == 0xF0 ? 0x90 : 0x80, high_ = b == 0xF4 ? 0x8F : 0xBF;
            else valid_ = false;
        }
    }
    bool Valid() const { return valid_ && need_ == 0; }

private:
    int need_ = 0;
    unsigned char low_ = 0x80, high_ = 0xBF;
    bool valid_ = true;
};

// How much of a piece ends on a whole character; the rest waits for the next piece.
std::size_t WholeUtf8(std::string_view bytes) {
    std::size_t start = bytes.size();
    for (int back = 0; back < 4 && start > 0; ++back) {
        const auto b = static_cast<unsigned char>(bytes[--start]);
        if ((b & 0xC0) == 0x80) continue;
        const std::size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        return start + length <= bytes.size() ? bytes.size() : start;
    }
    return bytes.size();
}

std::size_t WholeGbk(std::string_view bytes) {
    // Two bytes a character from 0x81 on, four when the second is a digit (GB18030's
    // four-byte characters, which the decoder reads as one).
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<unsigned char>(bytes[i]) < 0x81) {
            ++i;
            continue;
        }
        const std::size_t length = i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9' ? 4 : 2;
        if (i + length > bytes.size()) return i;
        i += length;
    }
    return i;
}

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

using TPieceProc = std::function<bool(std::string_view)>;
// Hands the input's bytes from `from` on, a piece at a time, to take; false when take said
// stop or the input could not be read (error set).
using TPieceSource = std::function<bool(std::size_t from, const TPieceProc& take, std::string& error)>;

// First the encoding, judged from the whole input; then the records, a piece at a time.
bool ReadCsvPieces(const TPieceSource& source, TExchangeSink& sink, std::string& error) {
    std::string head;
    TUtf8Check utf8;
    if (!source(0, [&](std::string_view piece) {
            if (head.size() < kBom.size()) head.append(piece.substr(0, kBom.size() - head.size()));
            utf8.Feed(piece);
            return true;
        }, error))
        return false;
    const bool bom = head == kBom;
    if (bom && !utf8.Valid()) {
        error = "文件以 UTF-8 标记开头，但内容不是有效的 UTF-8";
        return false;
    }
    TCsvStream stream(sink);
    std::string carried, gbk;
    long long lines = 0;
    const bool isUtf8 = utf8.Valid();
    const bool read = source(bom ? kBom.size() : 0, [&](std::string_view piece) {
        carried.append(piece);
        const std::string_view text(carried);
        const std::size_t whole = isUtf8 ? WholeUtf8(text) : WholeGbk(text);
        const std::string_view ready = text.substr(0, whole);
        if (isUtf8) {
            if (!Utf8RunsToGbk(ready, gbk, error, lines)) return false;
        } else if (GbkToQString(std::string(ready)).contains(QChar(QChar::ReplacementCharacter))) {
            error = "无法识别文件的编码：既不是 UTF-8，也不是 GBK";
            return false;
        } else {
            gbk.assign(ready);
        }
        lines += std::count(ready.begin(), ready.end(), '\n');
        carried.erase(0, whole);
        return stream.Feed(gbk, error);
    }, error);
    if (!read) return false;
    if (!carried.empty()) {
        error = isUtf8 ? "文件以不完整的字符结尾" : "无法识别文件的编码：既不是 UTF-8，也不是 GBK";
        return false;
    }
    return stream.Finish(error);
}

}  // namespace

bool ReadCsvRows(const QString& path, TExchangeSink& sink, std::string& error) {
    const TFd fd(OpenRegularInput(path, error));
    if (fd.Get() < 0) return false;
    return ReadCsvPieces([&fd](std::size_t from, const TPieceProc& take, std::string& error) {
        if (::lseek(fd.Get(), static_cast<off_t>(from), SEEK_SET) < 0) {
            error = "无法读取文件";
            return false;
        }
        static thread_local char piece[1 << 16];
        for (;;) {
            const ssize_t got = ::read(fd.Get(), piece, sizeof piece);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                error = "无法读取文件：" + QStringToGbk(QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            if (got == 0) return true;
            if (!take(std::string_view(piece, static_cast<std::size_t>(got)))) return false;
        }
    }, sink, error);
}

bool ReadCsvBytes(std::string_view bytes, std::size_t pieceSize, TExchangeSink& sink, std::string& error) {
    return ReadCsvPieces([bytes, pieceSize](std::size_t from, const TPieceProc& take, std::string&) {
        for (std::size_t at = from; at < bytes.size(); at += pieceSize)
            if (!take(bytes.substr(at, pieceSize))) return false;
        return true;
    }, sink, error);
}

bool ReadCsvFile(const QString& path, TExchangeTable& table, std::string& error) {
    table = TExchangeTable();
    TExchangeTableSink sink(table);
    return ReadCsvRows(path, sink, error);
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

void TCsvWriter::Text(std::string_view gbk) {
    if (!StartsLikeFormula(gbk)) return Field(gbk);
    Field("'" + std::string(gbk));
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

}  // namespace vantrel

// Register files as comma-separated text: reading UTF-8 (with or without a byte-order mark)
// or GBK, writing UTF-8 with a byte-order mark and CRLF line ends so that spreadsheet
// programs open the Chinese captions correctly. Quoting follows RFC 4180.
#pragma once

#include "exchange/f_ExchangeTable.h"

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

enum class TTextEncoding { Utf8, Utf8Bom, Gbk };

// The file's bytes as GBK text. False with a message (GBK) when they are neither UTF-8 nor
// GBK, or hold a character that GBK cannot represent.
bool DecodeRegisterText(std::string_view bytes, std::string& gbk, TTextEncoding& found, std::string& error);
// UTF-8 text as GBK; false when a character has no GBK form.
bool Utf8ToGbkText(std::string_view utf8, std::string& gbk);

// Records of GBK text into a table: the first non-blank record is the header; blank records
// are skipped; the apostrophe that TCsvWriter::Text puts before a formula-like text is taken
// off. False with a message on a malformed quote.
bool ParseCsvText(const std::string& gbk, TExchangeTable& table, std::string& error);
// A file is read a piece at a time: first its encoding is judged, then its records are parsed
// and handed over as they end. A record beyond 1 MB is refused.
bool ReadCsvFile(const QString& path, TExchangeTable& table, std::string& error);
bool ReadCsvRows(const QString& path, TExchangeSink& sink, std::string& error);
// The same on bytes in memory, handed to the parser pieceSize (at least 1) bytes at a time.
bool ReadCsvBytes(std::string_view bytes, std::size_t pieceSize, TExchangeSink& sink, std::string& error);

// The file opened for reading when it is a regular file (never waiting on a FIFO), else -1
// with the reason (GBK); size, when given, gets the file's size as opened.
int OpenRegularInput(const QString& path, std::string& error, int64_t* size = nullptr);

// One field, quoted when it holds a comma, a quote, CR or LF.
void AppendCsvField(std::string& out, std::string_view field);
// One record of such fields, ended by CRLF.
void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields);

// The bytes of a CSV file built record by record from GBK fields: UTF-8 behind a byte-order
// mark, the same bytes WriteCsvFile writes for the records' whole text. Fields are converted
// one at a time; a text that repeats (type names, 是/否) is converted once.
class TCsvWriter {
public:
    TCsvWriter();
    void Reserve(std::size_t bytes);
    void Field(std::string_view gbk);
    // A text field: one that starts with =, +, -, @, a tab or a CR gets an apostrophe in front,
    // so that a spreadsheet shows it instead of computing it; the reader takes it off again.
    void Text(std::string_view gbk);
    // A field already in UTF-8 that needs no quotes (numbers, fixed words), written as it is.
    void Verbatim(std::string_view utf8) {
        char* p = Room(utf8.size() + 1);
        if (column_++ > 0) *p++ = ',';
        if (!utf8.empty()) std::memcpy(p, utf8.data(), utf8.size());
        used_ = static_cast<std::size_t>(p - out_.data()) + utf8.size();
    }
    void EndRecord();
    std::size_t Size() const { return used_; }
    // The bytes written so far.
    std::string& Bytes();

private:
    const std::string& Utf8Of(std::string_view gbk);
    // Where at least `bytes` more bytes may be written.
    char* Room(std::size_t bytes) { return out_.size() - used_ >= bytes ? out_.data() + used_ : Grow(bytes); }
    char* Grow(std::size_t bytes);

    // Written through pointers, the first used_ bytes being the file's so far: appending to a
    // string a field and a separator at a time costs more than converting the fields.
    std::string out_;
    std::size_t used_ = 0;
    std::size_t column_ = 0;
    // By column, the last few non-ASCII texts (GBK) with their UTF-8 form, and which of them
    // was found last.
    struct Converted {
        std::vector<std::pair<std::string, std::string>> kept;
        std::size_t last = 0;
    };
    std::vector<Converted> converted_;
};
// The records (GBK) as UTF-8 with a byte-order mark, replacing the file only once the whole
// text is written.
bool WriteCsvFile(const QString& path, const std::string& gbkRecords, std::string& error);
// Writes bytes to path through the host library's file writer.
bool WriteWholeFile(const QString& path, std::string_view bytes, std::string& error);

}  // namespace vantrel

// The CSV reader on any bytes: read whole and read in small pieces, it finds the same rows or
// the same error, so no piece boundary (inside a character, a quote, a CR LF) changes a file.
#include "exchange/f_CsvFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string Flat(const vantrel::TExchangeTable& table) {
    std::string flat = std::to_string(table.headerLine);
    for (const std::string& h : table.header) flat += '\x1f' + h;
    for (const vantrel::TExchangeRow& row : table.rows) {
        flat += '\x1e' + std::to_string(row.line);
        if (row.cells.size() > table.header.size()) std::abort();
        for (const vantrel::TExchangeCell& c : row.cells) flat += '\x1f' + c.text;
        for (const int column : row.extra) flat += '\x1d' + std::to_string(column);
    }
    return flat;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] % 13;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    vantrel::TExchangeTable whole, pieces;
    vantrel::TExchangeTableSink wholeSink(whole), piecesSink(pieces);
    std::string wholeError, piecesError;
    const bool wholeRead = vantrel::ReadCsvBytes(bytes, bytes.size() + 1, wholeSink, wholeError);
    const bool piecesRead = vantrel::ReadCsvBytes(bytes, piece, piecesSink, piecesError);
    if (wholeRead != piecesRead) std::abort();
    if (!wholeRead && (wholeError.empty() || piecesError.empty())) std::abort();
    if (wholeRead && Flat(whole) != Flat(pieces)) std::abort();
    return 0;
}

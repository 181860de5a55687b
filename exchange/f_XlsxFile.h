// Register files as spreadsheets (.xlsx): the first sheet is read, one sheet is written.
#pragma once

#include "exchange/f_ExchangeTable.h"

#include <QDate>
#include <QString>

#include <string>
#include <vector>

namespace vantrel {

struct TXlsxSheet {
    std::string name;                            // GBK
    std::vector<std::string> header;             // GBK
    std::vector<std::vector<TExchangeCell>> rows;
    std::vector<int> moneyColumns;               // shown with thousands separators and two decimals
    std::vector<int> sumColumns;                 // summed by formulas in each total row below the data
    // The total rows: a caption (GBK) in the first cell, and the sums of the rows whose cell in
    // whereColumn reads whereText (GBK), or of every row when whereColumn is -1.
    struct Total {
        std::string caption;
        int whereColumn = -1;
        std::string whereText;
    };
    std::vector<Total> totals;
};

// One sheet with the header row frozen; the file is replaced only once it is complete.
bool WriteXlsxFile(const QString& path, const TXlsxSheet& sheet, std::string& error);

// The first sheet: its first non-blank row is the header. Cells that a date format shows
// come back as dates, numbers written as a CSV field would be as numbers, everything else as
// GBK text. False with a message (GBK) when the file is no readable workbook, is not a
// regular file, or exceeds the limits of a register (the format's last row and column,
// parts inflating beyond 2 GB or 100 times their compressed size, nesting, text lengths).
bool ReadXlsxFile(const QString& path, TExchangeTable& table, std::string& error);
// The same, handing the rows over one at a time instead of keeping them.
bool ReadXlsxRows(const QString& path, TExchangeSink& sink, std::string& error);
// A workbook held in memory.
bool ReadXlsxBytes(const void* data, std::size_t size, TExchangeSink& sink, std::string& error);
// A relationship's target (relative to xl/, or from the root after "/") as a name inside
// the package; empty when it leads out of it.
std::string ResolveXlsxTarget(const std::string& target);

// Serial day numbers of spreadsheets (1900 date system, day 1 = 1900-01-01, with its leap
// day 1900-02-29 that never was).
double DateToSerial(const QDate& date);
QDate SerialToDate(double serial);

}  // namespace vantrel

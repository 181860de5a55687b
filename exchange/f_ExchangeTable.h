// A sheet of cells as read from a register file: the header row and the data rows, each
// cell as GBK text, with the number a spreadsheet cell held when it held one.
#pragma once

#include <string>
#include <vector>

struct TExchangeCell {
    enum Kind { Text, Number, Date };
    Kind kind = Text;
    std::string text;    // GBK; for numbers and dates the cell's value as written in the file
    double number = 0;   // Number and Date: the value (a date is a serial day number)
};

struct TExchangeRow {
    int line = 0;        // the row's number in the file, the header being 1
    std::vector<TExchangeCell> cells;
};

struct TExchangeTable {
    std::vector<std::string> header;  // GBK, as found
    int headerLine = 1;
    std::vector<TExchangeRow> rows;
};

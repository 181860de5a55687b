// A sheet of cells as read from a register file: the header row and the data rows, each
// cell as GBK text, with the number a spreadsheet cell held when it held one. Readers hand
// the rows over one at a time, so that a file of any length is read in bounded memory.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

struct TExchangeCell {
    enum Kind { Text, Number, Date };
    Kind kind = Text;
    std::string text;    // GBK; for numbers and dates the cell's value as written in the file
    double number = 0;   // Number and Date: the value (a date is a serial day number), finite
};

struct TExchangeRow {
    int line = 0;        // the row's number in the file, the header being 1
    std::vector<TExchangeCell> cells;   // at most as many as the header has
    std::vector<int> extra;             // 0-based columns beyond the header that hold data (a few)
};

struct TExchangeTable {
    std::vector<std::string> header;  // GBK, as found
    int headerLine = 1;
    std::vector<TExchangeRow> rows;
};

// Takes a register file's rows as a reader finds them: the header once (its first non-blank
// row), then every non-blank row after it.
class TExchangeSink {
public:
    virtual ~TExchangeSink() = default;
    virtual void Header(std::vector<std::string>& captions, int line) = 0;
    // The row's cells may be taken.
    virtual void Row(TExchangeRow& row) = 0;
};

// Collects the rows into a table.
class TExchangeTableSink final : public TExchangeSink {
public:
    explicit TExchangeTableSink(TExchangeTable& table) : table_(table) {}
    void Header(std::vector<std::string>& captions, int line) override {
        table_.header = std::move(captions);
        table_.headerLine = line;
    }
    void Row(TExchangeRow& row) override { table_.rows.push_back(std::move(row)); }

private:
    TExchangeTable& table_;
};

// Columns beyond the header that a row remembers holding data; more are not named.
constexpr std::size_t kExtraColumnsKept = 8;

}  // namespace vantrel

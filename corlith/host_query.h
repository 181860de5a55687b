// The rows of one select held by a THostQuery, compactly: one fixed-size cell per field,
// texts (already GBK) in one shared buffer.
#pragma once

#include "../host/corlith_api.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct THostQuery::Impl {
    enum CellType : unsigned char { Null, Integer, Real, Text };
    struct Cell {
        CellType type = Null;
        bool borrowed = false;  // Text: at data, not in texts
        uint32_t length = 0;    // Text
        union {
            int64_t integer = 0;
            double real;
            uint64_t offset;    // Text: into texts
            const char* data;   // Text, borrowed
        };
    };

    std::vector<std::string> names;   // GBK, as the select named them
    std::vector<std::string> tables;  // per field: the table it came from (UTF-8), empty for expressions
    std::vector<int> nameSlots;          // open-addressing table over the names, -1 = empty
    std::vector<Cell> cells;          // row-major
    std::string texts;
    // Per field: its last non-ASCII text (UTF-8) and that text in GBK. Type names and the like
    // repeat row after row, and each conversion costs more than the rest of the cell.
    std::vector<std::pair<std::string, std::string>> lastText;
    int fieldCount = 0;
    int rowCount = 0;
    int cursor = 0;
    int64_t rowsAffected = 0;         // of the last statement run in mode 0

    std::string connection;           // what the select ran on, for Post
    std::string statement;            // GBK, the select as given
    bool appending = false;
    std::vector<std::pair<std::string, std::string>> pending;   // field, value (GBK)

    // When set, rows are handed over one at a time instead of being kept (ExecADOQueryRows).
    const std::function<bool()>* onRow = nullptr;

    void Clear();
    // Filled by the database engines: the fields first (name and source table in UTF-8),
    // then indexNames(), then the cells row by row, each row ended by EndRow().
    void AddField(std::string_view nameUtf8, std::string_view tableUtf8);
    void AddNull() { cells.push_back(Cell()); }
    void AddInteger(int64_t value) {
        Cell c;
        c.type = Integer;
        c.integer = value;
        cells.push_back(c);
    }
    void AddReal(double value) {
        Cell c;
        c.type = Real;
        c.real = value;
        cells.push_back(c);
    }
    // Kept as GBK. While rows are handed over one at a time, an ASCII text is not copied:
    // its bytes must stay where they are until EndRow returns.
    void AddText(std::string_view utf8);
    // Counts the row just added. With onRow set, hands it over and drops it; false when
    // onRow asks to stop reading.
    bool EndRow();

    void indexNames();
    int indexOf(const std::string& name) const;
    // The current row's cell of the field, or null. Read for every cell of long results.
    const Cell* cell(int field) const {
        if (field < 0 || field >= fieldCount || cursor < 0 || cursor >= rowCount) return nullptr;
        return &cells[static_cast<size_t>(cursor) * static_cast<size_t>(fieldCount) + static_cast<size_t>(field)];
    }
    // The cell as text (GBK), replacing out's contents.
    void textOf(const Cell& c, std::string& out) const;
    // A Text cell's bytes.
    std::string_view textAt(const Cell& c) const {
        return c.borrowed ? std::string_view(c.data, c.length) : std::string_view(texts.data() + c.offset, c.length);
    }
};

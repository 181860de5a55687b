// The rows of one select held by a THostQuery, compactly: one fixed-size cell per field,
// texts (already GBK) in one shared buffer.
#pragma once

#include "../host/corlith_api.h"

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

struct THostQuery::Impl {
    enum CellType : unsigned char { Null, Integer, Real, Text };
    struct Cell {
        CellType type = Null;
        uint32_t length = 0;   // Text
        union {
            int64_t integer = 0;
            double real;
            uint64_t offset;   // Text: into texts
        };
    };

    std::vector<std::string> names;   // GBK, as the select named them
    std::vector<std::string> tables;  // per field: the table it came from (UTF-8), empty for expressions
    std::vector<int> slots;           // open-addressing table over the names, -1 = empty
    std::vector<Cell> cells;          // row-major
    std::string texts;
    int fieldCount = 0;
    int rowCount = 0;
    int cursor = 0;

    std::string connection;           // what the select ran on, for Post
    std::string statement;            // GBK, the select as given
    bool appending = false;
    std::vector<std::pair<std::string, std::string>> pending;   // field, value (GBK)

    void Clear();
    // Steps the statement to its end, keeping every row. False with the database's
    // message on error (the rows read so far are dropped).
    bool Load(sqlite3_stmt* stmt, std::string& error);

    void indexNames();
    int indexOf(const std::string& name) const;
    const Cell* cell(int field) const;
    std::string textOf(const Cell& c) const;
};

// Named SQLite connections and what runs on them.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace corlith::db {

// The open database bound to the name, or null.
sqlite3* Handle(const std::string& connection);
void CloseAll();

// Inserts one row of texts (UTF-8) into the table. False with a GBK message on error.
bool InsertRow(const std::string& connection, const std::string& tableUtf8,
               const std::vector<std::string>& columnsUtf8, const std::vector<std::string>& valuesUtf8,
               std::string& error);

// The database's current error message as GBK, never empty.
std::string LastError(sqlite3* db);

}  // namespace corlith::db

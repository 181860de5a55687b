// Named connections and what runs on them.
#pragma once

#include <string>
#include <vector>

namespace corlith::db {

void CloseAll();

// Inserts one row of texts (UTF-8) into the table. False with a GBK message on error.
bool InsertRow(const std::string& connection, const std::string& tableUtf8,
               const std::vector<std::string>& columnsUtf8, const std::vector<std::string>& valuesUtf8,
               std::string& error);

}  // namespace corlith::db

// The invoice table's indexes, as statements that SQLite and PostgreSQL both accept.
#pragma once

#include <string>

namespace corlith {

// "CREATE INDEX IF NOT EXISTS ..." statements, each ended by ";", for the physical invoice
// table name (sb07_xxfpb).
std::string InvoiceIndexSql(const std::string& table);

}  // namespace corlith

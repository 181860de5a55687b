// The taxpayer register: the particulars of every taxpayer whose books the database keeps,
// one row each, beside the sub-applications' tables. Texts are GBK.
#pragma once

#include <string>

namespace corlith {

// "CREATE TABLE IF NOT EXISTS" of the register, for SQLite and PostgreSQL alike.
std::string TaxpayerTableSql();

}  // namespace corlith

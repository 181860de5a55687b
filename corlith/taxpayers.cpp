// The taxpayer register, through the host's own statements so that it works alike on every
// engine and inside a caller's transaction.
#include "taxpayers.h"

#include "corlith_host.h"
#include "host/f_HostTransaction.h"

#include <optional>

namespace {

const char* const kTable = "nsrxxb";

// The register's text columns in the record's order, after code.
struct TextColumn {
    const char* name;
    std::string corlith::TaxpayerRecord::*field;
};
const TextColumn kTextColumns[] = {
    {"name", &corlith::TaxpayerRecord::name},         {"industry", &corlith::TaxpayerRecord::industry},
    {"regkind", &corlith::TaxpayerRecord::regkind},   {"bank", &corlith::TaxpayerRecord::bank},
    {"account", &corlith::TaxpayerRecord::account},   {"frdb", &corlith::TaxpayerRecord::frdb},
    {"regaddress", &corlith::TaxpayerRecord::regaddress},
    {"businessaddress", &corlith::TaxpayerRecord::businessaddress},
    {"tel", &corlith::TaxpayerRecord::tel},           {"kinds", &corlith::TaxpayerRecord::kinds},
};

std::string Literal(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string SelectSql() {
    std::string sql = "select code";
    for (const TextColumn& c : kTextColumns) sql += std::string(", ") + c.name;
    return sql + ", periodkind from " + kTable;
}

corlith::TaxpayerRecord RecordOf(const THostQuery& query) {
    corlith::TaxpayerRecord r;
    r.code = query.FieldAsString("code");
    for (const TextColumn& c : kTextColumns) r.*(c.field) = query.FieldAsString(c.name);
    r.periodKind = query.FieldAsInteger("periodkind");
    return r;
}

std::string UpsertSql(const corlith::TaxpayerRecord& r) {
    std::string columns = "code", values = Literal(r.code), updates;
    for (const TextColumn& c : kTextColumns) {
        columns += std::string(", ") + c.name;
        values += ", " + Literal(r.*(c.field));
        updates += std::string(c.name) + " = excluded." + c.name + ", ";
    }
    return "insert into " + std::string(kTable) + " (" + columns + ", periodkind) values (" + values + ", " +
           std::to_string(r.periodKind) + ") on conflict (code) do update set " + updates +
           "periodkind = excluded.periodkind";
}

}  // namespace

namespace corlith {

std::string TaxpayerTableSql() {
    std::string sql = "CREATE TABLE IF NOT EXISTS ";
    sql += kTable;
    sql += " (code TEXT PRIMARY KEY";
    for (const TextColumn& c : kTextColumns) {
        sql += ", ";
        sql += c.name;
        sql += " TEXT NOT NULL DEFAULT ''";
    }
    sql += ", periodkind INTEGER NOT NULL DEFAULT 1);";
    return sql;
}

bool ReadTaxpayer(const std::string& connection, const std::string& code, TaxpayerRecord& record, bool& found,
                  std::string& error) {
    try {
        found = false;
        THostQuery query;
        if (!ExecADOQueryMsg(connection, SelectSql() + " where code = " + Literal(code), &query, error, 1, 0))
            return false;
        if (query.Eof()) return true;
        record = RecordOf(query);
        found = true;
        return true;
    } catch (...) {
        error = "无法读取纳税人登记";
        return false;
    }
}

bool ReadTaxpayers(const std::string& connection, std::vector<TaxpayerRecord>& records, std::string& error) {
    try {
        records.clear();
        THostQuery query;
        return ExecADOQueryRows(connection, SelectSql() + " order by code", &query, error, [&] {
            records.push_back(RecordOf(query));
            return true;
        });
    } catch (...) {
        error = "无法读取纳税人登记";
        return false;
    }
}

bool SaveTaxpayers(const std::string& connection, const std::vector<TaxpayerRecord>& records, std::string& error) {
    try {
        THostTransaction transaction(connection, error);
        if (!transaction.Active()) return false;
        for (const TaxpayerRecord& r : records) {
            THostQuery none;
            if (!ExecADOQueryMsg(connection, UpsertSql(r), &none, error, 0, 0)) return false;
        }
        return transaction.Commit(error);
    } catch (...) {
        error = "无法写入纳税人登记";
        return false;
    }
}

}  // namespace corlith

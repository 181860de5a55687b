// One open database behind a connection name. The exported database functions look the
// connection up and hand the statement over; everything engine-specific lives behind this
// interface. Statements and names are UTF-8 here; error messages come back as GBK.
#pragma once

#include "host_query.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corlith::db {

// Prepared statements a connection keeps for reuse; past that the cache starts again empty.
inline constexpr std::size_t kStatementCacheLimit = 256;

class Backend {
public:
    virtual ~Backend() = default;

    // Runs a select and keeps every row in rows (cleared first, also on failure).
    virtual bool Select(const std::string& sql, THostQuery::Impl& rows, std::string& error) = 0;
    // Runs one insert, update or delete (or any statement whose rows are not wanted); changed
    // is the number of rows it inserted, updated or deleted.
    virtual bool Execute(const std::string& sql, int64_t& changed, std::string& error) = 0;
    // Runs several statements separated by ";" (the schema).
    virtual bool ExecuteScript(const std::string& sql, std::string& error) = 0;

    // Whether the database takes no writes through this connection (a read-only file, folder,
    // connection or server).
    virtual bool ReadOnly() = 0;
    // The server's name for the session's user (UTF-8); empty for an engine without one.
    virtual std::string SessionUser() { return std::string(); }
    virtual bool InTransaction() = 0;
    virtual bool Begin(std::string& error) = 0;
    // A commit that fails leaves nothing of the transaction behind.
    virtual bool Commit(std::string& error) = 0;
    virtual void Rollback(std::string& error) = 0;

    virtual bool InsertRow(const std::string& table, const std::vector<std::string>& columns,
                           const std::vector<std::string>& values, std::string& error) = 0;
    // Rows of columns.size() values each, bound to one prepared insert; the names are written as
    // the module's own statements write them (unquoted).
    virtual bool InsertRows(const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<std::string_view>& values, std::string& error) = 0;

    // The literal of a checked date in this database's statements.
    virtual std::string DateLiteral(int year, int month, int day) const = 0;
    // How many of the tables (lower-case names) exist.
    virtual bool CountTables(const std::vector<std::string>& names, int& count, std::string& error) = 0;
    // What the engine needs beside the tables for the module's statements to mean the same,
    // created inside the schema's transaction.
    virtual bool CreateEngineObjects(std::string& error) = 0;
};

// A backend of the engine T opened on target, or null with the error.
template <class T>
std::unique_ptr<Backend> OpenBackend(const std::string& target, std::string& error) {
    auto backend = std::make_unique<T>();
    if (!backend->Open(target, error)) return nullptr;
    return backend;
}

// "INSERT INTO table (c1,c2,...) VALUES (?,?,...)": one row's insert with its values bound.
std::string BoundInsertSql(const std::string& table, const std::vector<std::string>& columns);

// A SQLite file, created when missing.
std::unique_ptr<Backend> OpenSqlite(const std::string& pathUtf8, std::string& error);
// A PostgreSQL server named by a connection URI.
std::unique_ptr<Backend> OpenPostgres(const std::string& uri, std::string& error);
bool IsPostgresUri(std::string_view target);

// The open database bound to the name, or null.
Backend* Find(const std::string& connection);
std::string NoConnection(const std::string& connection);

// Keeps a failure's text without letting a second exception escape.
void SetError(std::string& error, const std::string& text);

}  // namespace corlith::db

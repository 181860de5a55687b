#include "database.h"

#include "backend.h"
#include "codec.h"
#include "corlith_host.h"
#include "corlith_test.h"
#include "host_query.h"
#include "test_control.h"

#include <cctype>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace corlith::db {
namespace {

struct Bound {
    std::unique_ptr<Backend> backend;
    std::string target;   // UTF-8, as it was opened
    std::string reader;   // the name of its shared reader, once opened
};

// A reader connection is used from a thread of its own while the others go on: the names are
// looked up, bound and closed under this lock (each backend is still used by one thread at a time).
std::mutex& registryLock() {
    static std::mutex m;
    return m;
}

std::map<std::string, Bound>& connections() {
    static std::map<std::string, Bound> c;
    return c;
}

// Binds name to bound; a connection bound to it before, and its shared reader, are closed
// outside the lock.
void Put(const std::string& name, Bound bound) {
    Bound reader;
    const std::lock_guard<std::mutex> hold(registryLock());
    std::swap(connections()[name], bound);
    if (bound.reader.empty()) return;
    const auto it = connections().find(bound.reader);
    if (it == connections().end()) return;
    std::swap(reader, it->second);
    connections().erase(it);
}

std::unique_ptr<Backend> Open(const std::string& utf8, std::string& error) {
    if (IsPostgresUri(utf8)) return OpenPostgres(utf8, error);
    std::string reason;
    std::unique_ptr<Backend> backend = OpenSqlite(utf8, reason);
    if (!backend) {
        std::string gbk;
        codec::Utf8ToGbk(utf8, gbk);
        error = "无法打开数据库文件“" + gbk + "”：" + reason;
    }
    return backend;
}

}  // namespace

Backend* Find(const std::string& name) {
    const std::lock_guard<std::mutex> hold(registryLock());
    auto& all = connections();
    const auto it = all.find(name);
    return it == all.end() ? nullptr : it->second.backend.get();
}

std::string NoConnection(const std::string& name) { return "数据库连接“" + name + "”不存在或尚未打开"; }

void SetError(std::string& error, const std::string& text) {
    try {
        error = text;
    } catch (...) {
    }
}

bool IsPostgresUri(std::string_view target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

void CloseAll() {
    std::map<std::string, Bound> closing;
    const std::lock_guard<std::mutex> hold(registryLock());
    closing.swap(connections());
}

std::string BoundInsertSql(const std::string& table, const std::vector<std::string>& columns) {
    std::string sql = "INSERT INTO " + table + " (";
    for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + columns[i];
    sql += ") VALUES (";
    for (size_t i = 0; i < columns.size(); ++i) sql += i ? ",?" : "?";
    return sql + ')';
}

bool InsertRow(const std::string& connection, const std::string& tableUtf8,
               const std::vector<std::string>& columnsUtf8, const std::vector<std::string>& valuesUtf8,
               std::string& error) {
    Backend* conn = Find(connection);
    if (!conn) {
        error = NoConnection(connection);
        return false;
    }
    return conn->InsertRow(tableUtf8, columnsUtf8, valuesUtf8, error);
}

}  // namespace corlith::db

using corlith::db::Backend;

namespace {

// The statement's connection, or null with the error when a failure a test armed for it, or a
// missing connection, stops it.
Backend* Reach(const std::string& connection, const std::string& statement, std::string& error) {
    if (auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Statement, statement)) {
        error = *injected;
        return nullptr;
    }
    Backend* conn = corlith::db::Find(connection);
    if (!conn) error = corlith::db::NoConnection(connection);
    return conn;
}

bool RunStatement(const std::string& connection, const std::string& statement, THostQuery* query,
                  std::string& error, int mode, const std::function<bool()>* onRow) {
    try {
        corlith::testctl::LogStatement(statement);
        if (mode == 1) {
            if (!query) {
                error = "没有接收查询结果的查询对象";
                return false;
            }
            query->impl()->Clear();
        } else if (query) {
            query->impl()->rowsAffected = 0;
        }
        Backend* conn = Reach(connection, statement, error);
        if (!conn) return false;
        std::string sql;
        corlith::codec::GbkToUtf8(statement, sql);
        if (mode != 1) {
            int64_t changed = 0;
            const bool ok = conn->Execute(sql, changed, error);
            if (query) query->impl()->rowsAffected = changed;
            return ok;
        }
        THostQuery::Impl* d = query->impl();
        struct RowSink {
            THostQuery::Impl* rows;
            ~RowSink() { rows->onRow = nullptr; }
        } sink{d};
        d->onRow = onRow;
        if (!conn->Select(sql, *d, error)) return false;
        d->connection = connection;
        d->statement = statement;
        return true;
    } catch (const std::exception& e) {
        if (query) query->impl()->Clear();
        corlith::db::SetError(error, std::string("数据库操作异常：") + e.what());
        return false;
    } catch (...) {
        if (query) query->impl()->Clear();
        corlith::db::SetError(error, "数据库操作异常");
        return false;
    }
}

}  // namespace

bool ExecADOQueryMsg(const std::string& connection, const std::string& statement, THostQuery* query,
                     std::string& error, int mode, int /*reserved*/) {
    return RunStatement(connection, statement, query, error, mode, nullptr);
}

bool ExecADOQueryRows(const std::string& connection, const std::string& statement, THostQuery* query,
                      std::string& error, const std::function<bool()>& onRow) {
    return RunStatement(connection, statement, query, error, 1, &onRow);
}

bool ExecADOInsertRows(const std::string& connection, const std::string& table, const std::vector<std::string>& columns,
                       const std::vector<std::string>& values, std::string& error) {
    try {
        if (columns.empty() || values.size() % columns.size() != 0) {
            error = "插入的值与列数不符";
            return false;
        }
        const std::string statement = corlith::db::BoundInsertSql(table, columns);
        corlith::testctl::LogStatement(statement);
        Backend* conn = Reach(connection, statement, error);
        if (!conn) return false;
        if (values.empty()) return true;
        // ASCII is bound as it is; other text is converted, once for a run of equal values in a
        // column (a batch repeats its kind, time and seat on every row).
        const size_t width = columns.size();
        std::vector<std::string_view> bound(values.size());
        std::deque<std::string> converted;   // stays where it is while more is added
        struct Last {
            const std::string* gbk = nullptr;
            const std::string* utf8 = nullptr;
        };
        std::vector<Last> lastOf(width);   // each column's last converted value
        for (size_t i = 0; i < values.size(); ++i) {
            const std::string& value = values[i];
            if (corlith::codec::IsAscii(value)) {
                bound[i] = value;
                continue;
            }
            Last& last = lastOf[i % width];
            if (!last.gbk || *last.gbk != value) {
                converted.emplace_back();
                corlith::codec::GbkToUtf8(value, converted.back());
                last = {&value, &converted.back()};
            }
            bound[i] = *last.utf8;
        }
        return conn->InsertRows(table, columns, bound, error);
    } catch (const std::exception& e) {
        corlith::db::SetError(error, std::string("数据库操作异常：") + e.what());
        return false;
    } catch (...) {
        corlith::db::SetError(error, "数据库操作异常");
        return false;
    }
}

namespace {

// The connection a transaction call works on: bound, and inside a transaction exactly when the
// call needs one. Otherwise null with the reason, unless a failure the tests injected takes its
// place.
Backend* TransactionConnection(const std::string& connection, bool inTransaction,
                               const std::optional<std::string>& injected, std::string& error) {
    Backend* conn = corlith::db::Find(connection);
    if (conn && conn->InTransaction() == inTransaction) return conn;
    if (injected)
        error = *injected;
    else if (!conn)
        error = corlith::db::NoConnection(connection);
    else
        error = inTransaction ? "没有可以提交的事务" : "该连接上已有未结束的事务，不能再开始新的事务";
    return nullptr;
}

// The transaction calls let no exception out: one that escapes fails the call with `failure`.
template <class Body>
bool Guarded(std::string& error, const char* failure, Body&& body) {
    try {
        return body();
    } catch (...) {
        corlith::db::SetError(error, failure);
        return false;
    }
}

}  // namespace

namespace {

// A second connection to the database of connection, or false with the reason; target is what
// connection was bound to.
std::unique_ptr<Backend> OpenSecond(const std::string& connection, std::string& target, std::string& error) {
    {
        const std::lock_guard<std::mutex> hold(corlith::db::registryLock());
        const auto& all = corlith::db::connections();
        const auto it = all.find(connection);
        if (it == all.end()) {
            error = corlith::db::NoConnection(connection);
            return nullptr;
        }
        target = it->second.target;
    }
    // A second connection to an in-memory database would open another, empty one.
    if (!corlith::db::IsPostgresUri(target) &&
        (target.empty() || target == ":memory:" || target.find("mode=memory") != std::string::npos)) {
        error = "内存数据库不能再次连接";
        return nullptr;
    }
    return corlith::db::Open(target, error);
}

std::atomic<unsigned> readersOpened{0};

}  // namespace

bool DBOpenReader(const std::string& connection, std::string& reader, std::string& error) {
    return Guarded(error, "无法打开读取连接", [&] {
        std::string target;
        std::unique_ptr<Backend> backend = OpenSecond(connection, target, error);
        if (!backend) return false;
        reader = connection + "#reader" + std::to_string(++readersOpened);
        corlith::db::Put(reader, {std::move(backend), target, {}});
        return true;
    });
}

bool DBSharedReader(const std::string& connection, std::string& reader, std::string& error) {
    return Guarded(error, "无法打开读取连接", [&] {
        {
            const std::lock_guard<std::mutex> hold(corlith::db::registryLock());
            auto& all = corlith::db::connections();
            const auto it = all.find(connection);
            if (it != all.end() && !it->second.reader.empty() && all.count(it->second.reader)) {
                reader = it->second.reader;
                return true;
            }
        }
        std::string target;
        std::unique_ptr<Backend> backend = OpenSecond(connection, target, error);
        if (!backend) return false;
        const std::string name = connection + "#reader" + std::to_string(++readersOpened);
        // Made before the lock: a backend not kept is closed after it.
        const std::lock_guard<std::mutex> hold(corlith::db::registryLock());
        auto& all = corlith::db::connections();
        const auto it = all.find(connection);
        // Bound anew meanwhile: the reader opened is of the database before.
        if (it == all.end() || it->second.target != target) {
            error = corlith::db::NoConnection(connection);
            return false;
        }
        it->second.reader = name;
        all[name] = {std::move(backend), target, {}};
        reader = name;
        return true;
    });
}

void DBCloseReader(const std::string& reader) {
    try {
        corlith::db::Bound closing;
        const std::lock_guard<std::mutex> hold(corlith::db::registryLock());
        auto& all = corlith::db::connections();
        const auto it = all.find(reader);
        if (it == all.end()) return;
        std::swap(closing, it->second);
        all.erase(it);
    } catch (...) {
    }
}

bool DBIsReadOnly(const std::string& connection) {
    try {
        Backend* conn = corlith::db::Find(connection);
        return conn && conn->ReadOnly();
    } catch (...) {
        return false;
    }
}

std::string DBSessionUser(const std::string& connection) {
    try {
        Backend* conn = corlith::db::Find(connection);
        std::string gbk;
        if (conn) corlith::codec::Utf8ToGbk(conn->SessionUser(), gbk);
        return gbk;
    } catch (...) {
        return std::string();
    }
}

bool DBBeginTrans(const std::string& connection, std::string& error) {
    return Guarded(error, "开始事务失败", [&] {
        corlith::testctl::LogStep("BEGIN");
        if (auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Begin)) {
            error = *injected;
            return false;
        }
        Backend* conn = TransactionConnection(connection, false, std::nullopt, error);
        return conn && conn->Begin(error);
    });
}

bool DBCommitTrans(const std::string& connection, std::string& error) {
    return Guarded(error, "提交事务失败", [&] {
        corlith::testctl::LogStep("COMMIT");
        auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Commit);
        Backend* conn = TransactionConnection(connection, true, injected, error);
        if (!conn) return false;
        if (!injected) return conn->Commit(error);
        // A commit that did not happen must not leave half a change pending.
        error = *injected;
        std::string ignored;
        conn->Rollback(ignored);
        return false;
    });
}

void DBRollbackTrans(const std::string& connection, std::string& error) {
    Guarded(error, "回滚事务失败", [&] {
        corlith::testctl::LogStep("ROLLBACK");
        Backend* conn = corlith::db::Find(connection);
        if (conn) conn->Rollback(error);
        return true;
    });
}

namespace {

// Accepts y-m-d with any non-digit separators (a time part may follow) or yyyymmdd.
// Up to three runs of digits (yyyy, m or mm, d or dd), or one of eight (yyyymmdd). Scanned
// in place: every insert and update writes two dates.
bool ParseDate(const std::string& text, int& y, int& m, int& d) {
    long long value[3] = {0, 0, 0};
    std::size_t length[3] = {0, 0, 0};
    std::size_t parts = 0;
    long long cur = 0;
    std::size_t len = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (len < 12) cur = cur * 10 + (c - '0');
            ++len;
        } else {
            if (len > 0) {
                value[parts] = cur;
                length[parts++] = len;
            }
            cur = 0;
            len = 0;
            if (parts >= 3) break;
        }
    }
    if (len > 0 && parts < 3) {
        value[parts] = cur;
        length[parts++] = len;
    }
    if (parts == 1 && length[0] == 8) {
        const long long all = value[0];
        value[0] = all / 10000, value[1] = all / 100 % 100, value[2] = all % 100;
        length[0] = 4, length[1] = 2, length[2] = 2;
        parts = 3;
    }
    if (parts < 3 || length[0] != 4 || length[1] > 2 || length[2] > 2) return false;
    y = static_cast<int>(value[0]);
    m = static_cast<int>(value[1]);
    d = static_cast<int>(value[2]);
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

}  // namespace

std::string GetSQLDataTime(std::string& out, const std::string& connection, const std::string& date) {
    try {
        int y = 0, m = 0, d = 0;
        if (ParseDate(date, y, m, d)) {
            const Backend* conn = corlith::db::Find(connection);
            if (conn) {
                out = conn->DateLiteral(y, m, d);
            } else {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d'", y, m, d);
                out = buffer;
            }
        } else {
            // Not a date we understand: still a well-formed literal, never a way out of the quotes.
            std::string quoted = "'";
            for (char c : date) quoted += c == '\'' ? std::string("''") : std::string(1, c);
            out = quoted + "'";
        }
        return out;
    } catch (...) {
        return std::string("''");
    }
}

namespace corlith {

bool BindConnection(const std::string& connection, const std::string& target, std::string& error) {
    try {
        std::string utf8;
        codec::GbkToUtf8(target, utf8);
        std::unique_ptr<db::Backend> backend = db::Open(utf8, error);
        if (!backend) return false;
        db::Put(connection, {std::move(backend), utf8, {}});
        return true;
    } catch (...) {
        db::SetError(error, "无法打开数据库“" + target + "”");
        return false;
    }
}

void CloseConnections() {
    try {
        db::CloseAll();
    } catch (...) {
    }
}

}  // namespace corlith

namespace corlith::test {

bool InTransaction(const std::string& connection) {
    db::Backend* conn = db::Find(connection);
    return conn && conn->InTransaction();
}

}  // namespace corlith::test

namespace corlith {

bool IsServerDatabase(const std::string& target) { return db::IsPostgresUri(target); }

}  // namespace corlith

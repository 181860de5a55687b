#include "database.h"

#include "codec.h"
#include "corlith_host.h"
#include "corlith_test.h"
#include "host_query.h"
#include "like_match.h"
#include "test_control.h"

#include <cctype>
#include <map>
#include <memory>
#include <unordered_map>

namespace corlith::db {
namespace {

struct Connection {
    sqlite3* db = nullptr;
    // Prepared statements by their UTF-8 text; the module repeats the same selects often.
    std::unordered_map<std::string, sqlite3_stmt*> cache;

    ~Connection() {
        for (auto& [text, stmt] : cache) sqlite3_finalize(stmt);
        if (db) sqlite3_close_v2(db);
    }
};

constexpr size_t kCacheLimit = 256;

std::map<std::string, std::unique_ptr<Connection>>& connections() {
    static std::map<std::string, std::unique_ptr<Connection>> c;
    return c;
}

Connection* Find(const std::string& name) {
    auto& all = connections();
    const auto it = all.find(name);
    return it == all.end() ? nullptr : it->second.get();
}

std::string NoConnection(const std::string& name) { return "数据库连接“" + name + "”不存在或尚未打开"; }

bool OnlyBlanksAndComments(sqlite3* db, const char* tail) {
    // Prepare what follows: a further statement there means two statements in one call.
    while (tail && *tail) {
        sqlite3_stmt* next = nullptr;
        const char* rest = nullptr;
        if (sqlite3_prepare_v2(db, tail, -1, &next, &rest) != SQLITE_OK) return false;
        if (next) {
            sqlite3_finalize(next);
            return false;
        }
        if (rest == tail) break;
        tail = rest;
    }
    return true;
}

// A cached, reset statement for the text, or null with the message in error.
sqlite3_stmt* Prepare(Connection& conn, const std::string& sql, std::string& error) {
    if (const auto it = conn.cache.find(sql); it != conn.cache.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(conn.db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                           &tail) != SQLITE_OK) {
        error = LastError(conn.db);
        sqlite3_finalize(stmt);
        return nullptr;
    }
    if (!stmt) {
        error = "语句为空，没有可执行的内容";
        return nullptr;
    }
    if (!OnlyBlanksAndComments(conn.db, tail)) {
        sqlite3_finalize(stmt);
        error = "一次只能执行一条语句";
        return nullptr;
    }
    if (conn.cache.size() >= kCacheLimit) {
        for (auto& [text, cached] : conn.cache) sqlite3_finalize(cached);
        conn.cache.clear();
    }
    conn.cache.emplace(sql, stmt);
    return stmt;
}

bool ExecPlain(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    error.clear();
    codec::Utf8ToGbk(text, error);
    if (error.empty()) error = "数据库操作失败";
    return false;
}

void SetError(std::string& error, const std::string& text) {
    try {
        error = text;
    } catch (...) {
    }
}

}  // namespace

sqlite3* Handle(const std::string& connection) {
    Connection* c = Find(connection);
    return c ? c->db : nullptr;
}

void CloseAll() { connections().clear(); }

std::string LastError(sqlite3* db) {
    std::string out;
    const char* message = db ? sqlite3_errmsg(db) : nullptr;
    if (message) codec::Utf8ToGbk(message, out);
    if (out.empty()) out = "数据库操作失败";
    return out;
}

bool InsertRow(const std::string& connection, const std::string& tableUtf8,
               const std::vector<std::string>& columnsUtf8, const std::vector<std::string>& valuesUtf8,
               std::string& error) {
    Connection* conn = Find(connection);
    if (!conn) {
        error = NoConnection(connection);
        return false;
    }
    auto quote = [](std::string& sql, const std::string& name) {
        sql += '"';
        for (char c : name) {
            if (c == '"') sql += '"';
            sql += c;
        }
        sql += '"';
    };
    std::string sql = "INSERT INTO ";
    quote(sql, tableUtf8);
    sql += " (";
    std::string marks;
    for (size_t i = 0; i < columnsUtf8.size(); ++i) {
        if (i) sql += ',';
        quote(sql, columnsUtf8[i]);
        marks += i ? ",?" : "?";
    }
    sql += ") VALUES (";
    sql += marks;
    sql += ')';
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(conn->db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        error = LastError(conn->db);
        sqlite3_finalize(stmt);
        return false;
    }
    for (size_t i = 0; i < valuesUtf8.size(); ++i)
        sqlite3_bind_text(stmt, static_cast<int>(i + 1), valuesUtf8[i].data(), static_cast<int>(valuesUtf8[i].size()),
                          SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) error = LastError(conn->db);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

}  // namespace corlith::db

using corlith::db::Connection;

bool ExecADOQueryMsg(const std::string& connection, const std::string& statement, THostQuery* query,
                     std::string& error, int mode, int /*reserved*/) {
    try {
        corlith::testctl::LogStatement(statement);
        if (mode == 1) {
            if (!query) {
                error = "没有接收查询结果的查询对象";
                return false;
            }
            query->impl()->Clear();
        }
        if (auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Statement, statement)) {
            error = *injected;
            return false;
        }
        Connection* conn = corlith::db::Find(connection);
        if (!conn) {
            error = corlith::db::NoConnection(connection);
            return false;
        }
        std::string sql;
        corlith::codec::GbkToUtf8(statement, sql);
        sqlite3_stmt* stmt = corlith::db::Prepare(*conn, sql, error);
        if (!stmt) return false;

        bool ok = true;
        if (mode == 1) {
            THostQuery::Impl* d = query->impl();
            ok = d->Load(stmt, error);
            if (ok) {
                d->connection = connection;
                d->statement = statement;
            }
        } else {
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) {
                error = corlith::db::LastError(conn->db);
                ok = false;
            }
        }
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        return ok;
    } catch (const std::exception& e) {
        corlith::db::SetError(error, std::string("数据库操作异常：") + e.what());
        return false;
    } catch (...) {
        corlith::db::SetError(error, "数据库操作异常");
        return false;
    }
}

bool DBBeginTrans(const std::string& connection, std::string& error) {
    try {
        corlith::testctl::LogStep("BEGIN");
        if (auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Begin)) {
            error = *injected;
            return false;
        }
        Connection* conn = corlith::db::Find(connection);
        if (!conn) {
            error = corlith::db::NoConnection(connection);
            return false;
        }
        if (!sqlite3_get_autocommit(conn->db)) {
            error = "该连接上已有未结束的事务，不能再开始新的事务";
            return false;
        }
        return corlith::db::ExecPlain(conn->db, "BEGIN", error);
    } catch (...) {
        corlith::db::SetError(error, "开始事务失败");
        return false;
    }
}

bool DBCommitTrans(const std::string& connection, std::string& error) {
    try {
        corlith::testctl::LogStep("COMMIT");
        Connection* conn = corlith::db::Find(connection);
        auto injected = corlith::testctl::TakeFailure(corlith::test::FailPoint::Commit);
        if (!conn) {
            error = injected ? *injected : corlith::db::NoConnection(connection);
            return false;
        }
        if (sqlite3_get_autocommit(conn->db)) {
            error = injected ? *injected : std::string("没有可以提交的事务");
            return false;
        }
        bool ok = false;
        if (injected) error = *injected;
        else ok = corlith::db::ExecPlain(conn->db, "COMMIT", error);
        if (!ok && !sqlite3_get_autocommit(conn->db)) {
            // A commit that did not happen must not leave half a change pending.
            std::string ignored;
            corlith::db::ExecPlain(conn->db, "ROLLBACK", ignored);
        }
        return ok;
    } catch (...) {
        corlith::db::SetError(error, "提交事务失败");
        return false;
    }
}

void DBRollbackTrans(const std::string& connection, std::string& error) {
    try {
        corlith::testctl::LogStep("ROLLBACK");
        Connection* conn = corlith::db::Find(connection);
        if (!conn || sqlite3_get_autocommit(conn->db)) return;
        corlith::db::ExecPlain(conn->db, "ROLLBACK", error);
    } catch (...) {
        corlith::db::SetError(error, "回滚事务失败");
    }
}

namespace {

// Accepts y-m-d with any non-digit separators (a time part may follow) or yyyymmdd.
bool ParseDate(const std::string& text, int& y, int& m, int& d) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
            if (parts.size() >= 3) break;
        }
    }
    if (!cur.empty() && parts.size() < 3) parts.push_back(cur);
    if (parts.size() == 1 && parts[0].size() == 8) {
        parts = {parts[0].substr(0, 4), parts[0].substr(4, 2), parts[0].substr(6, 2)};
    }
    if (parts.size() < 3 || parts[0].size() != 4 || parts[1].size() > 2 || parts[2].size() > 2) return false;
    y = std::stoi(parts[0]);
    m = std::stoi(parts[1]);
    d = std::stoi(parts[2]);
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

}  // namespace

std::string GetSQLDataTime(std::string& out, const std::string& /*connection*/, const std::string& date) {
    try {
        int y = 0, m = 0, d = 0;
        if (ParseDate(date, y, m, d)) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d'", y, m, d);
            out = buffer;
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

bool BindConnection(const std::string& connection, const std::string& file, std::string& error) {
    try {
        auto conn = std::make_unique<Connection>();
        std::string path;
        codec::GbkToUtf8(file, path);
        const int rc = sqlite3_open_v2(path.c_str(), &conn->db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            error = "无法打开数据库文件“" + file + "”：" + db::LastError(conn->db);
            return false;
        }
        sqlite3_extended_result_codes(conn->db, 1);
        sqlite3_busy_timeout(conn->db, 5000);
        if (like::Register(conn->db) != SQLITE_OK) {
            error = db::LastError(conn->db);
            return false;
        }
        db::connections()[connection] = std::move(conn);
        return true;
    } catch (...) {
        db::SetError(error, "无法打开数据库文件“" + file + "”");
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
    sqlite3* db = db::Handle(connection);
    return db && !sqlite3_get_autocommit(db);
}

}  // namespace corlith::test

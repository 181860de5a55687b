// The embedded engine: a SQLite file with the bracket-class LIKE registered on it.
#define SQLITE_ENABLE_COLUMN_METADATA 1   // the system library has sqlite3_column_table_name

#include "backend.h"
#include "codec.h"
#include "corlith_host.h"
#include "corlith_test.h"
#include "like_match.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <unordered_map>

namespace corlith::db {
namespace {

// A register's indexes take an import's inserts all over the period's range; with SQLite's small
// default page cache a long import rereads and spills the same pages over and over.
constexpr const char* kSettings = "PRAGMA cache_size=-65536";
constexpr int kBusyStepMs = 10, kBusyLimitMs = 5000;

std::function<void()>& busyNotice() {
    static std::function<void()> notice;
    return notice;
}

// Waits for another writer's lock in short steps, saying so once at the start.
int WaitWhileBusy(void*, int calls) {
    if (calls == 0 && busyNotice()) {
        try {
            busyNotice()();
        } catch (...) {
        }
    }
    if (calls * kBusyStepMs >= kBusyLimitMs) return 0;
    sqlite3_sleep(kBusyStepMs);
    return 1;
}

// Everything on a connection runs on the thread that opened it, so SQLite need not serialise
// each call, nor keep global memory statistics, whose mutex it would take on every allocation.
// The statistics can only be switched off before SQLite initialises, hence at load.
[[maybe_unused]] const int kMemoryStatisticsOff = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

// What an engine result means to the user, in Chinese; the engine's own text follows as a detail.
const char* Reason(int code) {
    switch (code & 0xFF) {
    case SQLITE_READONLY: return "数据库是只读的，不能写入（请检查数据库文件及其所在文件夹的写权限）";
    case SQLITE_FULL: return "磁盘已满，数据库无法写入";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "数据库正被其他程序锁定，请稍后重试";
    case SQLITE_IOERR: return "读写数据库文件时出错";
    case SQLITE_CANTOPEN: return "无法打开数据库文件";
    case SQLITE_PERM:
    case SQLITE_AUTH: return "没有访问数据库的权限";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return "数据库文件已损坏或不是数据库文件";
    case SQLITE_CONSTRAINT: return "数据违反了数据库的约束（例如发票序号重复）";
    case SQLITE_NOMEM: return "内存不足";
    default: return "数据库操作失败";
    }
}

std::string Described(int code, const char* engineText) {
    std::string out = Reason(code);
    std::string detail;
    if (engineText) codec::Utf8ToGbk(engineText, detail);
    if (!detail.empty()) out += "\n详细信息：" + detail;
    return out;
}

std::string MessageOf(sqlite3* db) {
    return db ? Described(sqlite3_extended_errcode(db), sqlite3_errmsg(db)) : Reason(SQLITE_ERROR);
}

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

class SqliteBackend final : public Backend {
public:
    ~SqliteBackend() override {
        for (auto& [text, stmt] : cache_) sqlite3_finalize(stmt);
        if (db_) sqlite3_close_v2(db_);
    }

    bool Open(const std::string& path, std::string& error) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            error = MessageOf(db_);
            return false;
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_handler(db_, WaitWhileBusy, nullptr);
        sqlite3_exec(db_, kSettings, nullptr, nullptr, nullptr);
        if (like::Register(db_) != SQLITE_OK) {
            error = MessageOf(db_);
            return false;
        }
        return true;
    }

    bool Select(const std::string& sql, THostQuery::Impl& rows, std::string& error) override {
        rows.Clear();
        sqlite3_stmt* stmt = Prepare(sql, error);
        if (!stmt) return false;
        // The cached statement starts over next time, also when a row's reader throws.
        const std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)> reset(stmt, [](sqlite3_stmt* s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        });
        return Load(stmt, rows, error);
    }

    bool Execute(const std::string& sql, int64_t& changed, std::string& error) override {
        changed = 0;
        // Writes carry their values in the text, so each text is new: kept, they would only
        // crowd the selects out of the cache, and a long import would hold hundreds of them.
        const auto cached = cache_.find(sql);
        const bool once = cached == cache_.end();
        sqlite3_stmt* stmt = once ? PrepareOnce(sql, error) : cached->second;
        if (!stmt) return false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        const bool ok = rc == SQLITE_DONE;
        if (!ok) error = MessageOf(db_);
        else if (sqlite3_stmt_readonly(stmt) == 0) changed = sqlite3_changes64(db_);
        if (once) {
            sqlite3_finalize(stmt);
        } else {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
        return ok;
    }

    bool ExecuteScript(const std::string& sql, std::string& error) override { return ExecPlain(sql.c_str(), error); }

    bool ReadOnly() override {
        if (sqlite3_db_readonly(db_, "main") == 1) return true;
        // A connection set to query only, or a file whose folder takes no journal.
        sqlite3_stmt* stmt = nullptr;
        bool queryOnly = false;
        if (sqlite3_prepare_v2(db_, "PRAGMA query_only", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            queryOnly = sqlite3_column_int(stmt, 0) != 0;
        sqlite3_finalize(stmt);
        if (queryOnly) return true;
        const char* file = sqlite3_db_filename(db_, "main");
        if (!file || !*file) return false;
        const std::string folder = std::filesystem::path(file).parent_path().string();
        return access(file, W_OK) != 0 || access(folder.empty() ? "." : folder.c_str(), W_OK) != 0;
    }

    bool InTransaction() override { return !sqlite3_get_autocommit(db_); }
    // Every transaction here is opened to write. Taking the write lock at the start is where
    // the busy timeout waits for another writer; a deferred transaction that has read and
    // then needs to write is refused at once instead.
    bool Begin(std::string& error) override { return ExecPlain("BEGIN IMMEDIATE", error); }

    bool Commit(std::string& error) override {
        const bool ok = ExecPlain("COMMIT", error);
        if (!ok && InTransaction()) {
            // A commit that did not happen must not leave half a change pending.
            std::string ignored;
            ExecPlain("ROLLBACK", ignored);
        }
        return ok;
    }

    void Rollback(std::string& error) override {
        if (InTransaction()) ExecPlain("ROLLBACK", error);
    }

    bool InsertRow(const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::string>& values, std::string& error) override {
        auto quote = [](std::string& sql, const std::string& name) {
            sql += '"';
            for (char c : name) {
                if (c == '"') sql += '"';
                sql += c;
            }
            sql += '"';
        };
        std::string sql = "INSERT INTO ";
        quote(sql, table);
        sql += " (";
        std::string marks;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) sql += ',';
            quote(sql, columns[i]);
            marks += i ? ",?" : "?";
        }
        sql += ") VALUES (";
        sql += marks;
        sql += ')';
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            error = MessageOf(db_);
            sqlite3_finalize(stmt);
            return false;
        }
        for (size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i + 1), values[i].data(), static_cast<int>(values[i].size()),
                              SQLITE_TRANSIENT);
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE) error = MessageOf(db_);
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE;
    }

    bool InsertRows(const std::string& table, const std::vector<std::string>& columns,
                    const std::vector<std::string_view>& values, std::string& error) override {
        // The same text every time: prepared once and kept like a select.
        sqlite3_stmt* stmt = Prepare(BoundInsertSql(table, columns), error);
        if (!stmt) return false;
        const std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)> reset(stmt, [](sqlite3_stmt* s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        });
        const size_t width = columns.size();
        for (size_t row = 0; row < values.size(); row += width) {
            for (size_t i = 0; i < width; ++i) {
                const std::string_view value = values[row + i];
                sqlite3_bind_text(stmt, static_cast<int>(i + 1), value.data(), static_cast<int>(value.size()),
                                  SQLITE_STATIC);
            }
            if (sqlite3_step(stmt) != SQLITE_DONE) {
                error = MessageOf(db_);
                return false;
            }
            sqlite3_reset(stmt);
        }
        return true;
    }

    std::string DateLiteral(int year, int month, int day) const override {
        if (year >= 0 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99) {
            const char text[] = {'\'', static_cast<char>('0' + year / 1000), static_cast<char>('0' + year / 100 % 10),
                                 static_cast<char>('0' + year / 10 % 10), static_cast<char>('0' + year % 10), '-',
                                 static_cast<char>('0' + month / 10), static_cast<char>('0' + month % 10), '-',
                                 static_cast<char>('0' + day / 10), static_cast<char>('0' + day % 10), '\''};
            return std::string(text, sizeof text);
        }
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d'", year, month, day);
        return buffer;
    }

    bool CountTables(const std::vector<std::string>& names, int& count, std::string& error) override {
        THostQuery::Impl rows;
        std::string sql = "select count(*) from sqlite_master where type='table' and lower(name) in (";
        for (size_t i = 0; i < names.size(); ++i) sql += (i ? ",'" : "'") + names[i] + "'";
        sql += ")";
        if (!Select(sql, rows, error)) return false;
        count = rows.rowCount == 1 && rows.cells[0].type == THostQuery::Impl::Integer
                    ? static_cast<int>(rows.cells[0].integer)
                    : 0;
        return true;
    }

    bool CreateEngineObjects(std::string&) override { return true; }   // like() is registered at open

    sqlite3* Handle() const { return db_; }

private:
    // One statement of the text, not cached; null with the message in error.
    sqlite3_stmt* PrepareOnce(const std::string& sql, std::string& error, unsigned flags = 0) {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), flags, &stmt, &tail) != SQLITE_OK) {
            error = MessageOf(db_);
            sqlite3_finalize(stmt);
            return nullptr;
        }
        if (!stmt) {
            error = "语句为空，没有可执行的内容";
            return nullptr;
        }
        if (!OnlyBlanksAndComments(db_, tail)) {
            sqlite3_finalize(stmt);
            error = "一次只能执行一条语句";
            return nullptr;
        }
        return stmt;
    }

    // A cached, reset statement for the text, or null with the message in error.
    sqlite3_stmt* Prepare(const std::string& sql, std::string& error) {
        if (const auto it = cache_.find(sql); it != cache_.end()) return it->second;
        sqlite3_stmt* stmt = PrepareOnce(sql, error, SQLITE_PREPARE_PERSISTENT);
        if (!stmt) return nullptr;
        if (cache_.size() >= kStatementCacheLimit) {
            for (auto& [text, cached] : cache_) sqlite3_finalize(cached);
            cache_.clear();
        }
        cache_.emplace(sql, stmt);
        return stmt;
    }

    bool ExecPlain(const char* sql, std::string& error) {
        char* message = nullptr;
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
        if (rc == SQLITE_OK) return true;
        error = Described(rc, message ? message : sqlite3_errmsg(db_));
        sqlite3_free(message);
        return false;
    }

    // Steps the statement to its end, keeping every row. On error the rows read so far are dropped.
    bool Load(sqlite3_stmt* stmt, THostQuery::Impl& rows, std::string& error) {
        using Impl = THostQuery::Impl;
        const int fields = sqlite3_column_count(stmt);
        for (int i = 0; i < fields; ++i) {
            const char* name = sqlite3_column_name(stmt, i);
            const char* table = sqlite3_column_table_name(stmt, i);
            rows.AddField(name ? name : "", table ? table : "");
        }
        rows.indexNames();
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int i = 0; i < fields; ++i) {
                switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER: rows.AddInteger(sqlite3_column_int64(stmt, i)); break;
                case SQLITE_FLOAT: rows.AddReal(sqlite3_column_double(stmt, i)); break;
                case SQLITE_NULL: rows.cells.push_back(Impl::Cell()); break;
                default: {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                    const auto bytes = static_cast<size_t>(sqlite3_column_bytes(stmt, i));
                    rows.AddText(std::string_view(text ? text : "", text ? bytes : 0));
                }
                }
            }
            if (!rows.EndRow()) break;
        }
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
            error = MessageOf(db_);
            rows.Clear();
            return false;
        }
        return true;
    }

    sqlite3* db_ = nullptr;
    // Prepared statements by their text; the module repeats the same selects often.
    std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

}  // namespace

std::unique_ptr<Backend> OpenSqlite(const std::string& pathUtf8, std::string& error) {
    return OpenBackend<SqliteBackend>(pathUtf8, error);
}

}  // namespace corlith::db

namespace corlith::test {

bool ConnectionSerialised(const std::string& connection) {
    const auto* sqlite = dynamic_cast<const db::SqliteBackend*>(db::Find(connection));
    return sqlite && sqlite3_db_mutex(sqlite->Handle()) != nullptr;
}

bool EngineCountsMemory() { return sqlite3_memory_used() > 0; }

const char* SqliteSettings() { return db::kSettings; }

}  // namespace corlith::test

namespace corlith {

void SetBusyNotice(std::function<void()> notice) { db::busyNotice() = std::move(notice); }

}  // namespace corlith

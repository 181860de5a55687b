// The server engine: a PostgreSQL database reached through libpq. Statements run as the module
// wrote them; the connection is set up so that they mean what they mean on SQLite (LIKE, date
// text, one failed statement not undoing the rest of a transaction).
#include "backend.h"
#include "codec.h"
#include "pg_like.h"

#include <libpq-fe.h>

#include <QByteArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace corlith::db {
namespace {

// Fixed entries of pg_type.
constexpr Oid kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kOidOid = 26, kFloat4Oid = 700,
              kFloat8Oid = 701, kNumericOid = 1700;

// Serialises first-time creation of the LIKE schema by several seats.
constexpr const char* kSchemaLockSql = "SELECT pg_advisory_xact_lock(7307731)";

std::string Gbk(std::string_view utf8) {
    std::string out;
    codec::Utf8ToGbk(utf8, out);
    return out;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

bool StartsWith(const char* text, const char* prefix) { return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// What the user reads first; the server's own wording follows it.
std::string Explain(const char* state) {
    if (!state) return "数据库操作失败";
    const std::string s = state;
    if (s == "40001") return "与其他用户同时修改发生冲突，事务已回滚，请重试";
    if (s == "40P01") return "与其他用户的修改互相等待（死锁），事务已回滚，请重试";
    if (StartsWith(state, "40")) return "事务已被数据库服务器回滚";
    if (StartsWith(state, "08") || s == "57P01" || s == "57P02" || s == "57P03")
        return "与数据库服务器的连接已中断";
    if (s == "23505") return "记录重复，违反唯一性约束";
    if (s == "23502") return "必填的字段没有值";
    if (StartsWith(state, "23")) return "数据违反完整性约束";
    if (s == "42P01") return "数据表不存在";
    if (s == "42703") return "字段不存在";
    if (s == "42601") return "语句有语法错误";
    if (s == "42501") return "没有执行该操作的权限";
    if (StartsWith(state, "42")) return "语句无法执行";
    if (StartsWith(state, "22")) return "数据的格式或取值不正确";
    if (s == "25P02") return "事务中前面的语句已失败";
    if (s == "25006") return "数据库是只读的，不能写入";
    if (s == "53100") return "数据库服务器的磁盘已满";
    if (s == "55P03") return "数据正被其他用户锁定，请稍后重试";
    if (s == "57014") return "语句被取消或超时";
    if (StartsWith(state, "53")) return "数据库服务器资源不足";
    return "数据库操作失败";
}

// Where the URI points, without its password.
std::string Target(const std::string& uri) {
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &parseError);
    if (!options) {
        PQfreemem(parseError);
        return "“" + Gbk(uri.substr(0, uri.find(':'))) + "://…”";
    }
    std::string host, port, dbname;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val) continue;
        if (std::strcmp(o->keyword, "host") == 0) host = o->val;
        else if (std::strcmp(o->keyword, "hostaddr") == 0 && host.empty()) host = o->val;
        else if (std::strcmp(o->keyword, "port") == 0) port = o->val;
        else if (std::strcmp(o->keyword, "dbname") == 0) dbname = o->val;
    }
    PQconninfoFree(options);
    std::string where = host.empty() ? std::string("本机") : host;
    if (!port.empty()) where += ":" + port;
    return "服务器 " + Gbk(where) + " 上的数据库“" + Gbk(dbname) + "”";
}

// libpq quotes the parts of a URI it cannot read, the password among them (a literal "%"
// in it is such a part): every form of the URI's password is taken out of its messages.
std::string WithoutPassword(std::string detail, const std::string& uri) {
    std::vector<std::string> secrets;
    const std::size_t scheme = uri.find("://");
    const std::string beforeQuery = uri.substr(0, uri.find('?'));
    const std::size_t at = beforeQuery.rfind('@');
    if (scheme != std::string::npos && at != std::string::npos && at > scheme) {
        const std::string userinfo = beforeQuery.substr(scheme + 3, at - scheme - 3);
        if (const std::size_t colon = userinfo.find(':'); colon != std::string::npos)
            secrets.push_back(userinfo.substr(colon + 1));
    }
    for (std::size_t from = uri.find('?'); from != std::string::npos && from < uri.size();) {
        const std::size_t end = std::min(uri.find('&', from + 1), uri.size());
        const std::string pair = uri.substr(from + 1, end - from - 1);
        if (pair.rfind("password=", 0) == 0) secrets.push_back(pair.substr(9));
        from = end;
    }
    const std::size_t raw = secrets.size();
    for (std::size_t i = 0; i < raw; ++i) {
        const QByteArray decoded = QByteArray::fromPercentEncoding(QByteArray::fromStdString(secrets[i]));
        secrets.push_back(decoded.toStdString());
    }
    for (const std::string& secret : secrets) {
        if (secret.empty()) continue;
        for (std::size_t found; (found = detail.find(secret)) != std::string::npos;) detail.replace(found, secret.size(), "***");
    }
    return detail;
}

std::string ConnectFailure(const std::string& uri, PGconn* conn) {
    const std::string detail = conn ? WithoutPassword(Trimmed(PQerrorMessage(conn)), uri) : std::string();
    std::string reason;
    if (detail.find("password") != std::string::npos || detail.find("authentication") != std::string::npos)
        reason = "用户名或密码不正确";
    else if (detail.find("does not exist") != std::string::npos)
        reason = "数据库或用户不存在";
    else if (detail.find("timeout") != std::string::npos)
        reason = "连接超时，服务器没有应答";
    else
        reason = "服务器未启动、地址有误或拒绝了连接";
    std::string message = "无法连接 PostgreSQL " + Target(uri) + "：" + reason;
    if (!detail.empty()) message += "（" + Gbk(detail) + "）";
    return message;
}

class PgBackend final : public Backend {
public:
    ~PgBackend() override {
        if (conn_) PQfinish(conn_);
    }

    bool Open(const std::string& uri, std::string& error) {
        // Defaults first: what the URI names wins, except the client encoding, which the host
        // library's codec relies on.
        const char* keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
        const char* values[] = {"10", "vantrel", uri.c_str(), "UTF8", nullptr};
        conn_ = PQconnectdbParams(keywords, values, 1);
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
            error = ConnectFailure(uri, conn_);
            return false;
        }
        uri_ = uri;
        // Notices ("already exists, skipping") are no concern of the user's; a FATAL one is the
        // server's farewell to a session it ended while idle, which libpq hands on as a notice.
        PQsetNoticeReceiver(
            conn_,
            [](void* self, const PGresult* notice) {
                const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
                if (severity && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0))
                    static_cast<PgBackend*>(self)->farewell_ = true;
            },
            this);
        return SetUpSession(error);
    }

    bool Select(const std::string& sql, THostQuery::Impl& rows, std::string& error) override {
        rows.Clear();
        PGresult* res = Run(sql, nullptr, error);
        if (!res) return false;
        const std::unique_ptr<PGresult, void (*)(PGresult*)> clear(res, PQclear);
        Load(res, rows);
        return true;
    }

    bool Execute(const std::string& sql, int64_t& changed, std::string& error) override {
        changed = 0;
        PGresult* res = Run(sql, nullptr, error);
        if (!res) return false;
        const char* count = PQresultStatus(res) == PGRES_COMMAND_OK ? PQcmdTuples(res) : nullptr;
        if (count && *count) std::from_chars(count, count + std::strlen(count), changed);
        PQclear(res);
        return true;
    }

    bool ExecuteScript(const std::string& sql, std::string& error) override {
        if (!Usable(error)) return false;
        PGresult* res = PQexec(conn_, sql.c_str());
        const bool ok = Succeeded(res);
        if (!ok) error = Describe(res);
        PQclear(res);
        return ok;
    }

    bool ReadOnly() override {
        std::string error;
        if (!Usable(error)) return false;
        PGresult* res = PQexec(conn_, "SELECT current_setting('transaction_read_only')");
        const bool readOnly = Succeeded(res) && PQntuples(res) == 1 && std::string(PQgetvalue(res, 0, 0)) == "on";
        PQclear(res);
        return readOnly;
    }

    std::string SessionUser() override {
        std::string error;
        if (!Usable(error)) return std::string();
        PGresult* res = PQexec(conn_, "SELECT session_user");
        std::string user = Succeeded(res) && PQntuples(res) == 1 ? PQgetvalue(res, 0, 0) : "";
        PQclear(res);
        return user;
    }

    bool InTransaction() override {
        if (doomed_) return true;
        const PGTransactionStatusType status = PQtransactionStatus(conn_);
        return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
    }

    bool Begin(std::string& error) override {
        if (!Usable(error)) return false;
        if (Plain("BEGIN", error)) return true;
        // BEGIN leaves nothing behind: one that met a session already lost is sent again.
        if (PQstatus(conn_) == CONNECTION_OK || !Usable(error)) return false;
        return Plain("BEGIN", error);
    }

    bool Commit(std::string& error) override {
        if (doomed_) {
            error = doomedReason_;
            doomed_ = false;
            return false;
        }
        PGresult* res = PQexec(conn_, "COMMIT");
        bool ok = Succeeded(res);
        if (!ok) {
            error = Describe(res);
        } else if (std::strcmp(PQcmdStatus(res), "ROLLBACK") == 0) {
            // The server ends a transaction that had a failed statement with a rollback.
            error = "事务中有语句失败，修改已全部撤销";
            ok = false;
        }
        PQclear(res);
        if (!ok && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
            std::string ignored;
            Plain("ROLLBACK", ignored);
        }
        return ok;
    }

    void Rollback(std::string& error) override {
        doomed_ = false;
        if (PQstatus(conn_) != CONNECTION_OK || PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
        Plain("ROLLBACK", error);
    }

    bool InsertRow(const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::string>& values, std::string& error) override {
        // Unquoted names in the module's statements are folded to lower case by the server;
        // the names the module posts must find the same columns.
        auto quote = [](std::string& sql, const std::string& name, bool fold) {
            sql += '"';
            for (char c : name) {
                if (c == '"') sql += '"';
                sql += fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            }
            sql += '"';
        };
        std::string sql = "INSERT INTO ";
        quote(sql, table, false);
        sql += " (";
        std::string marks;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) sql += ',';
            quote(sql, columns[i], true);
            marks += (i ? ",$" : "$") + std::to_string(i + 1);
        }
        sql += ") VALUES (";
        sql += marks;
        sql += ')';
        std::vector<const char*> params;
        for (const std::string& v : values) params.push_back(v.c_str());
        PGresult* res = Run(sql, &params, error);
        PQclear(res);
        return res != nullptr;
    }

    bool InsertRows(const std::string& table, const std::vector<std::string>& columns,
                    const std::vector<std::string_view>& values, std::string& error) override {
        // Several rows a statement, each row's values as parameters: one round trip for many.
        const size_t width = columns.size(), perStatement = std::max<size_t>(1, 1200 / width) * width;
        std::string head = "INSERT INTO " + table + " (";
        for (size_t i = 0; i < width; ++i) head += (i ? "," : "") + columns[i];
        head += ") VALUES ";
        std::vector<std::string> texts;   // the parameters end with a NUL
        std::vector<const char*> params;
        for (size_t from = 0; from < values.size(); from += perStatement) {
            const size_t to = std::min(values.size(), from + perStatement);
            std::string sql = head;
            texts.assign(values.begin() + static_cast<std::ptrdiff_t>(from), values.begin() + static_cast<std::ptrdiff_t>(to));
            params.clear();
            for (size_t i = from; i < to; ++i) {
                sql += (i - from) % width == 0 ? (i == from ? "($" : "),($") : ",$";
                sql += std::to_string(i - from + 1);
                params.push_back(texts[i - from].c_str());
            }
            sql += ')';
            PGresult* res = Run(sql, &params, error);
            if (!res) return false;
            PQclear(res);
        }
        return true;
    }

    std::string DateLiteral(int year, int month, int day) const override {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "DATE '%04d-%02d-%02d'", year, month, day);
        return buffer;
    }

    bool CountTables(const std::vector<std::string>& names, int& count, std::string& error) override {
        // Tables are found along the search_path, as the module's statements find them; while
        // the LIKE operators are missing, the schema counts as not there at all.
        std::string sql = "SELECT CASE WHEN to_regoperator('corlith.~~(text,text)') IS NULL THEN 0 ELSE "
                          "(SELECT count(*) FROM unnest(ARRAY[";
        for (size_t i = 0; i < names.size(); ++i) sql += (i ? ",'" : "'") + names[i] + "'";
        sql += "]::text[]) AS n WHERE to_regclass(n) IS NOT NULL) END";
        THostQuery::Impl rows;
        if (!Select(sql, rows, error)) return false;
        count = rows.rowCount == 1 && rows.cells[0].type == THostQuery::Impl::Integer
                    ? static_cast<int>(rows.cells[0].integer)
                    : 0;
        return true;
    }

    bool CreateEngineObjects(std::string& error) override {
        THostQuery::Impl rows;
        if (!Select(kLikeObjectsCurrentSql, rows, error)) return false;
        if (rows.rowCount == 1 && rows.cells[0].type == THostQuery::Impl::Integer && rows.cells[0].integer == 1)
            return true;
        return ExecuteScript(kSchemaLockSql, error) && ExecuteScript(kLikeObjectsSql, error);
    }

private:
    static bool Succeeded(const PGresult* res) {
        const ExecStatusType status = PQresultStatus(res);
        return res && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
    }

    std::string Describe(const PGresult* res) const {
        const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        std::string detail;
        if (const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr) detail = primary;
        else detail = Trimmed(PQerrorMessage(conn_));
        std::string message = PQstatus(conn_) == CONNECTION_BAD && !state ? std::string("与数据库服务器的连接已中断")
                                                                            : Explain(state);
        if (!detail.empty()) message += "\n详细信息：" + Gbk(detail);
        return message;
    }

    bool Plain(const char* sql, std::string& error) {
        PGresult* res = PQexec(conn_, sql);
        const bool ok = Succeeded(res);
        if (!ok) error = Describe(res);
        PQclear(res);
        return ok;
    }

    // The search_path gains the LIKE schema just ahead of pg_catalog, so that the tables are
    // still created and found where the URI's options or the role's settings put them.
    bool SetUpSession(std::string& error) {
        PGresult* res = PQexec(conn_, "SELECT current_setting('search_path'), current_setting('server_encoding')");
        if (!Succeeded(res) || PQntuples(res) != 1) {
            error = Describe(res);
            PQclear(res);
            return false;
        }
        const std::string path = PQgetvalue(res, 0, 0);
        const std::string encoding = PQgetvalue(res, 0, 1);
        PQclear(res);
        if (encoding != "UTF8") {
            error = "数据库的字符编码是 " + Gbk(encoding) + "，需要 UTF8（建库时请指定 ENCODING 'UTF8'）";
            return false;
        }
        std::string wanted;
        bool hasCatalog = false, hasLike = false;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find(',', start);
            if (end == std::string::npos) end = path.size();
            std::string item = path.substr(start, end - start);
            while (!item.empty() && item.front() == ' ') item.erase(item.begin());
            while (!item.empty() && item.back() == ' ') item.pop_back();
            start = end + 1;
            if (item.empty()) continue;
            if (item == kLikeSchema) hasLike = true;
            if (item == "pg_catalog") {
                hasCatalog = true;
                if (!hasLike) wanted += std::string(wanted.empty() ? "" : ", ") + kLikeSchema;
                hasLike = true;
            }
            wanted += (wanted.empty() ? "" : ", ") + item;
        }
        if (!hasLike) wanted += std::string(wanted.empty() ? "" : ", ") + kLikeSchema;
        if (!hasCatalog) wanted += ", pg_catalog";
        const char* params[] = {wanted.c_str()};
        res = PQexecParams(conn_, "SELECT set_config('search_path', $1, false)", 1, nullptr, params, nullptr,
                           nullptr, 0);
        bool ok = Succeeded(res);
        if (!ok) error = Describe(res);
        PQclear(res);
        return ok && Plain("SET datestyle TO 'ISO, YMD'; SET standard_conforming_strings TO on; "
                           "SET intervalstyle TO 'iso_8601'",
                           error);
    }

    // A connection lost outside a transaction is opened again before the next statement; a
    // transaction that lost it stays failed until the caller ends it.
    bool Usable(std::string& error) {
        if (doomed_) {
            error = doomedReason_;
            return false;
        }
        // Anything the server sent unasked to an idle session is its farewell or the end of the
        // stream; reading it (a read that never waits) finds the loss before a statement is sent.
        if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE) PQconsumeInput(conn_);
        if (PQstatus(conn_) == CONNECTION_OK && !farewell_) return true;
        farewell_ = false;
        PQreset(conn_);
        prepared_.clear();
        if (PQstatus(conn_) != CONNECTION_OK) {
            error = ConnectFailure(uri_, conn_);
            return false;
        }
        return SetUpSession(error);
    }

    // Whether a statement sent outside a transaction certainly took no effect, so that it may go
    // once more on a new session: the server's farewell (an administrator's end or the idle
    // timeout) came before any answer to it. The commit of such a statement follows its answer,
    // so a farewell first means it was rolled back or never read; a bare end of the stream (a
    // crashed server) or a farewell after an answer leaves that open.
    bool EndedBeforeTakingEffect(const PGresult* res, bool answered) const {
        if (answered || PQstatus(conn_) == CONNECTION_OK) return false;
        const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        return state && (std::strcmp(state, "57P01") == 0 || std::strcmp(state, "57P05") == 0);
    }

    // Whether the failure ends the whole transaction rather than the one statement.
    bool EndsTransaction(const PGresult* res) const {
        if (PQstatus(conn_) != CONNECTION_OK) return true;
        const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        return !state || StartsWith(state, "40") || StartsWith(state, "08") || StartsWith(state, "57P");
    }

    // Runs one statement (prepared once per connection and text) with text parameters. Inside
    // a transaction a savepoint around it keeps a failure to this statement, as on SQLite; a
    // failure that the server applies to the whole transaction rolls it back and keeps it
    // failed until the caller commits or rolls back.
    PGresult* Run(const std::string& sql, const std::vector<const char*>* params, std::string& error) {
        if (!Usable(error)) return nullptr;
        const bool idle = PQtransactionStatus(conn_) == PQTRANS_IDLE;
        const bool guarded = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
        if (guarded && !Plain("SAVEPOINT corlith_statement", error)) return Abandon(nullptr, error);
        bool answered = false;
        PGresult* res = Exec(sql, params, answered);
        if (idle && !Succeeded(res) && EndedBeforeTakingEffect(res, answered)) {
            PQclear(res);
            if (!Usable(error)) return nullptr;
            res = Exec(sql, params, answered);
        }
        if (Succeeded(res)) {
            if (guarded) {
                std::string releaseError;
                if (!Plain("RELEASE SAVEPOINT corlith_statement", releaseError)) {
                    PQclear(res);
                    error = releaseError;
                    return Abandon(nullptr, error);
                }
            }
            return res;
        }
        error = Describe(res);
        if (guarded) {
            if (EndsTransaction(res)) return Abandon(res, error);
            std::string ignored;
            Plain("ROLLBACK TO SAVEPOINT corlith_statement; RELEASE SAVEPOINT corlith_statement", ignored);
        }
        PQclear(res);
        return nullptr;
    }

    PGresult* Abandon(PGresult* res, const std::string& error) {
        PQclear(res);
        if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
            std::string ignored;
            Plain("ROLLBACK", ignored);
        }
        doomed_ = true;
        doomedReason_ = error + "；本事务的修改已全部撤销";
        return nullptr;
    }

    // Sends the statement and waits for its end; `answered` tells whether a result came before
    // a failure, the first failure being the one kept.
    PGresult* Exec(const std::string& sql, const std::vector<const char*>* params, bool& answered) {
        answered = false;
        if (params) {
            return Collect(PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params->size()), nullptr,
                                             params->data(), nullptr, nullptr, 0),
                           answered);
        }
        auto it = prepared_.find(sql);
        if (it == prepared_.end()) {
            if (prepared_.size() >= kStatementCacheLimit) {
                PGresult* drop = PQexec(conn_, "DEALLOCATE ALL");
                PQclear(drop);
                prepared_.clear();
            }
            const std::string name = "corlith_" + std::to_string(++statementNumber_);
            PGresult* res = Collect(PQsendPrepare(conn_, name.c_str(), sql.c_str(), 0, nullptr), answered);
            if (!Succeeded(res)) return res;
            PQclear(res);
            it = prepared_.emplace(sql, name).first;
        }
        return Collect(PQsendQueryPrepared(conn_, it->second.c_str(), 0, nullptr, nullptr, nullptr, 0), answered);
    }

    PGresult* Collect(int sent, bool& answered) {
        PGresult* kept = nullptr;
        while (PGresult* res = sent ? PQgetResult(conn_) : nullptr) {
            if (!kept || (Succeeded(kept) && !Succeeded(res))) {
                answered = answered || kept;
                PQclear(kept);
                kept = res;
            } else {
                PQclear(res);
            }
        }
        return kept;
    }

    // A numeric value as SQLite keeps it in a NUMERIC column: whole numbers as integers, the
    // rest as reals.
    static void AddNumeric(THostQuery::Impl& rows, std::string_view text) {
        const size_t dot = text.find('.');
        const std::string_view whole = text.substr(0, dot);
        const bool integral = dot == std::string_view::npos ||
                              text.find_first_not_of('0', dot + 1) == std::string_view::npos;
        int64_t i = 0;
        if (integral) {
            const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), i);
            if (ec == std::errc() && end == whole.data() + whole.size()) {
                rows.AddInteger(i);
                return;
            }
        }
        rows.AddReal(std::strtod(std::string(text).c_str(), nullptr));
    }

    void Load(PGresult* res, THostQuery::Impl& rows) {
        const int fields = PQnfields(res);
        std::vector<Oid> types(static_cast<size_t>(fields));
        for (int i = 0; i < fields; ++i) {
            types[static_cast<size_t>(i)] = PQftype(res, i);
            rows.AddField(PQfname(res, i), TableName(PQftable(res, i)));
        }
        rows.indexNames();
        const int count = PQntuples(res);
        if (!rows.onRow) rows.cells.reserve(static_cast<size_t>(count) * static_cast<size_t>(fields));
        for (int r = 0; r < count; ++r) {
            for (int i = 0; i < fields; ++i) {
                if (PQgetisnull(res, r, i)) {
                    rows.AddNull();
                    continue;
                }
                const std::string_view value(PQgetvalue(res, r, i), static_cast<size_t>(PQgetlength(res, r, i)));
                switch (types[static_cast<size_t>(i)]) {
                case kInt2Oid:
                case kInt4Oid:
                case kInt8Oid:
                case kOidOid: {
                    int64_t v = 0;
                    std::from_chars(value.data(), value.data() + value.size(), v);
                    rows.AddInteger(v);
                    break;
                }
                case kBoolOid: rows.AddInteger(value == "t" ? 1 : 0); break;
                case kFloat4Oid:
                case kFloat8Oid: rows.AddReal(std::strtod(std::string(value).c_str(), nullptr)); break;
                case kNumericOid: AddNumeric(rows, value); break;
                default: rows.AddText(value);
                }
            }
            if (!rows.EndRow()) break;
        }
    }

    // The name of the table a result column came from, for posting into it.
    std::string TableName(Oid table) {
        if (table == 0) return std::string();
        if (const auto it = tableNames_.find(table); it != tableNames_.end()) return it->second;
        const std::string oid = std::to_string(table);
        const char* params[] = {oid.c_str()};
        PGresult* res = PQexecParams(conn_, "SELECT relname FROM pg_catalog.pg_class WHERE oid = $1::oid", 1,
                                     nullptr, params, nullptr, nullptr, 0);
        std::string name;
        if (Succeeded(res) && PQntuples(res) == 1) {
            name = PQgetvalue(res, 0, 0);
            tableNames_.emplace(table, name);
        }
        PQclear(res);
        return name;
    }

    PGconn* conn_ = nullptr;
    std::string uri_;
    std::unordered_map<std::string, std::string> prepared_;   // statement text -> prepared name
    unsigned long statementNumber_ = 0;
    std::unordered_map<Oid, std::string> tableNames_;
    bool doomed_ = false;
    std::string doomedReason_;
    bool farewell_ = false;
};

}  // namespace

std::unique_ptr<Backend> OpenPostgres(const std::string& uri, std::string& error) {
    return OpenBackend<PgBackend>(uri, error);
}

}  // namespace corlith::db

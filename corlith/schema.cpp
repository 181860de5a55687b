// The tables of a sub-application and its invoice types.
#include "corlith_host.h"

#include "codec.h"
#include "database.h"

#include <cctype>
#include <string>

namespace {

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    error.clear();
    corlith::codec::Utf8ToGbk(text, error);
    if (error.empty()) error = "创建数据表失败";
    return false;
}

std::string SchemaSql(const std::string& code) {
    const std::string lx = "sb" + code + "_fplxb", fp = "sb" + code + "_xxfpb";
    const std::string sbb = "SB" + code + "_SBB", sbzlb = "SB" + code + "_SBZLB", txqk = "SB" + code + "_FPTXQKB";
    return "CREATE TABLE IF NOT EXISTS " + lx + " (fplx INTEGER PRIMARY KEY, mc TEXT NOT NULL);"
           "CREATE TABLE IF NOT EXISTS " + fp + " ("
           "nsrsbh TEXT NOT NULL, sbssq TEXT NOT NULL, xh INTEGER NOT NULL, "
           "fplx INTEGER, txsj DATE, kprq DATE, fs INTEGER, je NUMERIC, se NUMERIC, sl INTEGER, "
           "gfnsr TEXT, jzjt INTEGER, lwfp INTEGER, ms INTEGER, zfbz INTEGER, sbwjm TEXT, "
           "PRIMARY KEY (nsrsbh, sbssq, xh));"
           "CREATE TABLE IF NOT EXISTS " + sbb +
           " (NSRSBH TEXT, KJNY TEXT, SBPC INTEGER, SBZLBH TEXT, SBBBH TEXT, SBSHJG TEXT);"
           "CREATE TABLE IF NOT EXISTS " + sbzlb + " (NSRSBH TEXT, KJNY TEXT, SBPC INTEGER, SBZLBH TEXT, SBBZ INTEGER);"
           "CREATE TABLE IF NOT EXISTS " + txqk + " (NSRSBH TEXT, KJNY TEXT, SBZLBH TEXT, SBBBH TEXT, "
           "PRIMARY KEY (NSRSBH, KJNY, SBZLBH, SBBBH));"
           // The declaration guard looks returns up by taxpayer, period, kind and form.
           "CREATE INDEX IF NOT EXISTS ix_" + sbb + "_form ON " + sbb + " (NSRSBH, KJNY, SBZLBH, SBBBH);"
           "CREATE INDEX IF NOT EXISTS ix_" + sbzlb + "_kind ON " + sbzlb + " (NSRSBH, KJNY, SBZLBH, SBPC);";
}

bool ValidCode(const std::string& code) {
    for (unsigned char c : code)
        if (!(std::isalnum(c) || c == '_')) return false;
    return true;
}

}  // namespace

namespace corlith {

bool CreateSchema(const std::string& connection, const std::string& subAppCode, std::string& error) {
    try {
        sqlite3* db = db::Handle(connection);
        if (!db) {
            error = "数据库连接“" + connection + "”不存在或尚未打开";
            return false;
        }
        if (!ValidCode(subAppCode)) {
            error = "子应用代码“" + subAppCode + "”不能用于表名";
            return false;
        }
        // Inside the caller's transaction when one is open; otherwise all or nothing on its own.
        const bool own = sqlite3_get_autocommit(db) != 0;
        if (own && !Exec(db, "BEGIN", error)) return false;
        std::string sql = SchemaSql(subAppCode);
        const std::string lx = "sb" + subAppCode + "_fplxb";
        std::string types;
        codec::GbkToUtf8("INSERT INTO " + lx + " (fplx, mc) SELECT fplx, mc FROM ("
                         "SELECT 1 AS fplx, '普通发票' AS mc UNION ALL SELECT 2, '非专用发票' "
                         "UNION ALL SELECT 3, '未开具发票' UNION ALL SELECT 5, '纳税检查调整') "
                         "WHERE NOT EXISTS (SELECT 1 FROM " + lx + ");",
                         types);
        if (!Exec(db, sql, error) || !Exec(db, types, error)) {
            if (own) {
                std::string ignored;
                Exec(db, "ROLLBACK", ignored);
            }
            return false;
        }
        if (own && !Exec(db, "COMMIT", error)) {
            std::string ignored;
            Exec(db, "ROLLBACK", ignored);
            return false;
        }
        return true;
    } catch (...) {
        try {
            error = "创建数据表失败";
        } catch (...) {
        }
        return false;
    }
}

}  // namespace corlith

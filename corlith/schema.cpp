// The tables of a sub-application and its invoice types.
#include "corlith_host.h"

#include "backend.h"
#include "codec.h"
#include "host/f_HostTransaction.h"
#include "schema.h"
#include "taxpayers.h"

#include <cctype>
#include <optional>
#include <string>

namespace {

// The register's change log and each taxpayer's last entry; added to an older database as
// they are, the register's rows untouched.
std::string ChangeLogSql(const std::string& code) {
    const std::string log = "sb" + code + "_bgjl", head = "sb" + code + "_bgjlmw";
    return "CREATE TABLE IF NOT EXISTS " + log + " (nsrsbh TEXT NOT NULL, jlxh BIGINT NOT NULL, sbssq TEXT NOT NULL, "
           "xh INTEGER NOT NULL, lb TEXT NOT NULL, sj TEXT NOT NULL, czy TEXT NOT NULL, pc BIGINT NOT NULL, "
           "pcsm TEXT NOT NULL, qz TEXT NOT NULL, hz TEXT NOT NULL, hx TEXT NOT NULL, PRIMARY KEY (nsrsbh, jlxh));"
           "CREATE INDEX IF NOT EXISTS ix_" + log + "_period ON " + log + " (nsrsbh, sbssq, xh);"
           "CREATE TABLE IF NOT EXISTS " + head + " (nsrsbh TEXT PRIMARY KEY, jlxh BIGINT NOT NULL, hx TEXT NOT NULL);"
           // The sources of rows a batch removed, kept so that a restore puts them back too.
           "CREATE TABLE IF NOT EXISTS " + log + "ly (nsrsbh TEXT NOT NULL, pc BIGINT NOT NULL, xh INTEGER NOT NULL, "
           "fphm TEXT NOT NULL, wjm TEXT NOT NULL, wjhx TEXT NOT NULL, PRIMARY KEY (nsrsbh, pc, xh));"
           // Each summary document written: its SHA-256, its cells and the chain's end then.
           "CREATE TABLE IF NOT EXISTS " + log + "sb (nsrsbh TEXT NOT NULL, sbssq TEXT NOT NULL, jlxh BIGINT NOT NULL, "
           "sj TEXT NOT NULL, hx TEXT NOT NULL, dz TEXT NOT NULL);"
           "CREATE INDEX IF NOT EXISTS ix_" + log + "sb_period ON " + log + "sb (nsrsbh, sbssq, sj);";
}

// The sources of the rows read from e-invoice files, keyed like the register's rows; an
// invoice number is looked up across the taxpayer's periods. Added to an older database empty.
std::string InvoiceSourceSql(const std::string& code) {
    const std::string fply = "sb" + code + "_fply";
    return "CREATE TABLE IF NOT EXISTS " + fply + " (nsrsbh TEXT NOT NULL, sbssq TEXT NOT NULL, xh INTEGER NOT NULL, "
           "fphm TEXT NOT NULL, wjm TEXT NOT NULL, wjhx TEXT NOT NULL, PRIMARY KEY (nsrsbh, sbssq, xh));"
           "CREATE INDEX IF NOT EXISTS ix_" + fply + "_number ON " + fply + " (nsrsbh, fphm);";
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
           "CREATE INDEX IF NOT EXISTS ix_" + sbzlb + "_kind ON " + sbzlb + " (NSRSBH, KJNY, SBZLBH, SBPC);" +
           corlith::InvoiceIndexSql(fp) + corlith::TaxpayerTableSql() + ChangeLogSql(code) +
           InvoiceSourceSql(code);
}

bool ValidCode(const std::string& code) {
    for (unsigned char c : code)
        if (!(std::isalnum(c) || c == '_')) return false;
    return true;
}

}  // namespace

namespace corlith {

std::string InvoiceIndexSql(const std::string& table) {
    // The summary's selects all fix the taxpayer and period and then compare flags, type and
    // rate by equality: with these as the leading columns each select reads only the index
    // entries it sums, never the table. The first index serves the selects that fix ms, jzjt
    // and zfbz (and a rate pair), the second those that fix the type.
    return "CREATE INDEX IF NOT EXISTS ix_" + table + "_flags ON " + table +
           " (nsrsbh, sbssq, ms, jzjt, zfbz, sl, lwfp, fplx, je, se, fs);"
           "CREATE INDEX IF NOT EXISTS ix_" + table + "_types ON " + table +
           " (nsrsbh, sbssq, fplx, ms, lwfp, sl, zfbz, je, se, fs);";
}

bool CreateSchema(const std::string& connection, const std::string& subAppCode, std::string& error) {
    try {
        db::Backend* conn = db::Find(connection);
        if (!conn) {
            error = db::NoConnection(connection);
            return false;
        }
        if (!ValidCode(subAppCode)) {
            error = "子应用代码“" + subAppCode + "”不能用于表名";
            return false;
        }
        // Inside the caller's transaction when one is open; otherwise all or nothing on its own.
        std::optional<THostTransaction> own;
        if (!conn->InTransaction()) {
            own.emplace(connection, error);
            if (!own->Active()) return false;
        }
        const std::string lx = "sb" + subAppCode + "_fplxb";
        std::string types;
        codec::GbkToUtf8("INSERT INTO " + lx + " (fplx, mc) SELECT fplx, mc FROM ("
                         "SELECT 1 AS fplx, '普通发票' AS mc UNION ALL SELECT 2, '非专用发票' "
                         "UNION ALL SELECT 3, '未开具发票' UNION ALL SELECT 5, '纳税检查调整') AS t "
                         "WHERE NOT EXISTS (SELECT 1 FROM " + lx + ");",
                         types);
        if (!conn->CreateEngineObjects(error) || !conn->ExecuteScript(SchemaSql(subAppCode), error) ||
            !conn->ExecuteScript(types, error)) {
            if (error.empty()) error = "创建数据表失败";
            return false;
        }
        return !own || own->Commit(error);
    } catch (...) {
        db::SetError(error, "创建数据表失败");
        return false;
    }
}

bool SchemaPresent(const std::string& connection, const std::string& subAppCode, bool& present, std::string& error) {
    try {
        db::Backend* conn = db::Find(connection);
        if (!conn) {
            error = db::NoConnection(connection);
            return false;
        }
        std::string code;
        for (char c : subAppCode) code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!ValidCode(code)) {
            error = "子应用代码“" + subAppCode + "”不能用于表名";
            return false;
        }
        const std::vector<std::string> tables = {"sb" + code + "_fplxb", "sb" + code + "_xxfpb", "sb" + code + "_sbb",
                                                 "sb" + code + "_sbzlb", "sb" + code + "_fptxqkb"};
        int count = 0;
        if (!conn->CountTables(tables, count, error)) return false;
        present = count == static_cast<int>(tables.size());
        return true;
    } catch (...) {
        db::SetError(error, "无法读取数据库的表");
        return false;
    }
}

}  // namespace corlith

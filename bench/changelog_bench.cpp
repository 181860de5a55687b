// The change log's cost, against the same work without it in the same run: a save, a delete of
// 10^3 rows and an import of 10^5 rows through the store (which writes the log's entries in the
// write's transaction) against the same register statements, form-filled marks (the delete's
// after each group, as it runs them) and commit on the same connection without the log. Then
// verify-log over the chain of 10^6 entries against a plain read of the log's table (every
// column, straight through SQLite) that hashes the same bytes with SHA-256 (the implementation
// the log's own hashes use). Both sides run warm, alternately, best of several runs; ratios
// only, of wall time and of processor time. After the delete and the import, the engine's own
// share: the same work plus only the entries' inserts.
//
//   changelog_bench [--rows N] [--entries M] [--runs K] [--only save|delete|import|verify]
//                                                             (N 10^5, M 10^6, K 3)
#include "bench/bench_support.h"
#include "context/f_ModuleContext.h"
#include "corlith/corlith_host.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_Sha256.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "report/f_DealReportImpl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::Die;

vantrel::TModuleContext Context() {
    vantrel::TModuleContext context = vantrel::ModuleContextFromHost();
    return context;
}

Txxqtfpxx Row(int32_t xh, std::size_t i) {
    Txxqtfpxx r = vantrel::MakeInvoiceTemplate(xh, bench::kPeriod, "2026-11-30");
    r.fplx = "1";
    r.kprq = "2026-11-10";
    r.fs = 1;
    r.je = 100.0 + static_cast<double>(i % 1000);
    r.sl = 17;
    r.se = r.je * 0.17;
    r.gfnsr = "440300665812347";
    r.sbssq = bench::kPeriod;
    return r;
}

void Run(const std::string& sql) {
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(bench::kConnection, sql, &query, error, 0, 0)) Die(corlith::GbkToUtf8(error));
}

long long QueryMax(const std::string& sql) {
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(bench::kConnection, sql, &query, error, 1, 0) || query.RecordCount() != 1) Die(corlith::GbkToUtf8(error));
    return query.Int64At(0);
}

void Mark(const vantrel::TModuleContext& context) {
    std::string error;
    if (!MarkFormFilled(context, vantrel::ModuleFuncCode(context.subAppCode), error)) Die(corlith::GbkToUtf8(error));
}

// The same write without the log: the register's statements, the mark (unless the statements
// mark as they go) and the commit.
void WithoutLog(const std::function<void(const vantrel::TModuleContext&)>& statements, bool markAtEnd = true) {
    const vantrel::TModuleContext context = Context();
    std::string error;
    THostTransaction transaction(context.connection, error);
    if (!transaction.Active()) Die(corlith::GbkToUtf8(error));
    statements(context);
    if (markAtEnd) Mark(context);
    if (!transaction.Commit(error)) Die(corlith::GbkToUtf8(error));
}

int32_t NextXh() {
    int32_t next = 0;
    if (!vantrel::ModuleInvoiceStore(Context()).NextFreeXh(next).Ok()) Die("next number");
    return next;
}

void Check(const vantrel::TStoreOutcome& outcome) {
    if (!outcome.Ok()) Die(corlith::GbkToUtf8(outcome.error));
}

void Print(const char* what, const bench::TCost& ours, const bench::TCost& floor, const char* note) {
    std::printf("%-28s wall %6.3f   processor %6.3f  (%s)\n", what, ours.wall / floor.wall, ours.cpu / floor.cpu, note);
    std::fflush(stdout);
}

// Runs logged and plain alternately, each runs times, clearing the period after each; prints
// the best of each and their ratio.
void Compare(const char* what, int runs, const std::function<void()>& prepare, const std::function<void()>& logged,
             const std::function<void()>& plain, const char* note = "target at most 1.3") {
    bench::TCost withLog, without;
    for (int i = 0; i < runs; ++i)
        for (int side = 0; side < 2; ++side) {
            if (prepare) prepare();
            bench::Measure(side == 0 ? withLog : without, side == 0 ? logged : plain);
            Run("delete from sb07_xxfpb where sbssq='" + std::string(bench::kPeriod) + "'");
        }
    Print(what, withLog, without, note);
}

// The engine's part of the log, for the write just compared: the same work without the log plus
// that write's entries (as the log holds them) inserted into a copy of the log's table with its
// keys, in the same transaction; no reading, hashing or locking. What any log of these entries
// costs at least, beside the target.
void CompareEntriesAlone(int runs, const std::function<void()>& prepare,
                         const std::function<void(const vantrel::TModuleContext&)>& statements, bool markAtEnd) {
    Run("DROP TABLE IF EXISTS sb07_bgjlcopy");
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(bench::kConnection, "SELECT sql FROM sqlite_master WHERE tbl_name='sb07_bgjl' AND sql IS NOT NULL",
                         &query, error, 1, 0))
        Die(corlith::GbkToUtf8(error));
    for (query.First(); !query.Eof(); query.Next()) {
        std::string sql = query.StringAt(0);
        for (std::size_t at = 0; (at = sql.find("sb07_bgjl", at)) != std::string::npos; at += 13) sql.replace(at, 9, "sb07_bgjlcopy");
        Run(sql);
    }
    Run("INSERT INTO sb07_bgjlcopy SELECT * FROM sb07_bgjl");
    const std::vector<std::string> columns = {"nsrsbh", "jlxh", "sbssq", "xh", "lb", "sj", "czy", "pc", "pcsm", "qz", "hz", "hx"};
    std::vector<std::string> values;
    if (!ExecADOQueryMsg(bench::kConnection, "SELECT nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx FROM sb07_bgjl "
                         "WHERE pc=(SELECT max(pc) FROM sb07_bgjl) ORDER BY jlxh", &query, error, 1, 0))
        Die(corlith::GbkToUtf8(error));
    for (query.First(); !query.Eof(); query.Next())
        for (int c = 0; c < 12; ++c) values.push_back(query.StringAt(c));
    long long next = QueryMax("SELECT max(jlxh) FROM sb07_bgjl");
    Compare("  its entries' inserts alone", runs, prepare, [&] {
        for (std::size_t at = 1; at < values.size(); at += columns.size()) values[at] = std::to_string(++next);
        WithoutLog([&](const vantrel::TModuleContext& c) {
            statements(c);
            std::string failed;
            if (!ExecADOInsertRows(bench::kConnection, "sb07_bgjlcopy", columns, values, failed)) Die(corlith::GbkToUtf8(failed));
        }, markAtEnd);
    }, [&] { WithoutLog(statements, markAtEnd); }, "no target: what the entries cost the engine");
    Run("DROP TABLE sb07_bgjlcopy");
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t rows = 100000, entries = 1000000;
    int runs = 3;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows")) rows = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--entries")) entries = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--only")) only = argv[i + 1];
        else Die(std::string("unknown option ") + argv[i]);
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("changelog_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    bench::SetUpHost(dir);
    bench::OpenDatabase((dir / "bench.db").string());
    const auto wanted = [&only](const char* part) { return only.empty() || only == part; };
    std::printf("ratio: with the change log / without it\n");

    // A register of another period beside the one written, so that reads are not of an empty table.
    {
        vantrel::TModuleContext other = Context();
        other.period = "202610";
        Check(vantrel::ModuleInvoiceStore(other).InsertEach(
            10000, [](std::size_t i, Txxqtfpxx& r) { r = Row(0, i); r.sbssq = "202610"; }, {}));
    }

    constexpr int kSaves = 200;
    if (wanted("save")) Compare("save (one invoice)", runs, {}, [] {
        const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(Context());
        for (int i = 0; i < kSaves; ++i) {
            Txxqtfpxx r = Row(NextXh(), static_cast<std::size_t>(i));
            Check(store.Insert(r));
        }
    }, [] {
        for (int i = 0; i < kSaves; ++i) {
            const Txxqtfpxx r = Row(NextXh(), static_cast<std::size_t>(i));
            WithoutLog([&r](const vantrel::TModuleContext& c) { Run(vantrel::BuildInsertSql(c, r)); });
        }
    });

    constexpr std::size_t kDeleted = 1000;
    std::vector<int32_t> xhs;
    for (std::size_t i = 0; i < kDeleted; ++i) xhs.push_back(static_cast<int32_t>(i + 1));
    const auto fill = [] {
        WithoutLog([](const vantrel::TModuleContext& c) {
            for (std::size_t i = 0; i < kDeleted; ++i) Run(vantrel::BuildInsertSql(c, Row(static_cast<int32_t>(i + 1), i)));
        });
    };
    // As the delete runs them: the last group first, the form marked after each.
    const auto deleteStatements = [&xhs](const vantrel::TModuleContext& c) {
        const std::vector<std::string> statements = vantrel::BuildDeleteStatements(c, xhs);
        for (auto sql = statements.rbegin(); sql != statements.rend(); ++sql) {
            Run(*sql);
            Mark(c);
        }
    };
    if (wanted("delete")) {
        Compare("delete of 10^3 rows", runs, fill, [&xhs] { Check(vantrel::ModuleInvoiceStore(Context()).Delete(xhs)); },
                [&] { WithoutLog(deleteStatements, false); });
        CompareEntriesAlone(runs, fill, deleteStatements, false);
    }

    const auto importStatements = [rows](const vantrel::TModuleContext& c) {
        const int32_t first = NextXh();
        for (std::size_t i = 0; i < rows; ++i) Run(vantrel::BuildInsertSql(c, Row(first + static_cast<int32_t>(i), i)));
    };
    if (wanted("import")) {
        Compare("import of N rows", runs, {}, [rows] {
            Check(vantrel::ModuleInvoiceStore(Context()).InsertEach(rows, [](std::size_t i, Txxqtfpxx& r) { r = Row(0, i); }, {}));
        }, [&] { WithoutLog(importStatements); });
        CompareEntriesAlone(runs, {}, importStatements, true);
    }

    if (!wanted("verify")) {
        std::filesystem::remove_all(dir);
        return 0;
    }
    // verify-log over a chain of M entries: one import of M rows.
    Run("delete from sb07_xxfpb");
    Run("delete from sb07_bgjl");
    Run("delete from sb07_bgjlmw");
    Check(vantrel::ModuleInvoiceStore(Context()).InsertEach(entries, [](std::size_t i, Txxqtfpxx& r) { r = Row(0, i); }, {}));
    sqlite3* db = bench::OpenFloor((dir / "bench.db").string(), SQLITE_OPEN_READONLY);
    bench::TCost verify, floor;
    for (int i = 0; i < runs; ++i) {
        bench::Measure(verify, [] {
            vantrel::TLogVerdict verdict;
            std::string error;
            if (!vantrel::VerifyChangeLog(Context(), verdict, error) || !verdict.whole) Die("verify-log");
        });
        bench::Measure(floor, [db] {
            sqlite3_stmt* st = nullptr;
            bench::Check(db, sqlite3_prepare_v2(db, "SELECT nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx FROM sb07_bgjl "
                                                    "WHERE nsrsbh=? ORDER BY jlxh", -1, &st, nullptr), "prepare");
            sqlite3_bind_text(st, 1, bench::kCompany, -1, SQLITE_STATIC);
            std::string content;
            vantrel::TSha256 sha;
            char hex[64];
            volatile char sink = 0;
            while (sqlite3_step(st) == SQLITE_ROW) {
                content.clear();
                for (int c = 0; c < 12; ++c) {
                    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                    content.append(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
                }
                sha.Add(content);
                sha.Hex(hex);
                sink = sink ^ hex[0];
            }
            sqlite3_finalize(st);
        });
    }
    sqlite3_close(db);
    Print("verify-log of M entries", verify, floor, "target at most 1.5");
    std::filesystem::remove_all(dir);
    return 0;
}

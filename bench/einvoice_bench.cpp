// E-invoice import: N XML files in a folder (default 10^4, one to three rates each) read,
// checked and stored, against a floor measured in the same run on the same files: each file
// parsed with pugixml alone, plus SQLite executing the same inserts in one transaction (every
// insert the import's transaction runs: the register's rows and their sources as the statements
// it runs, and the change log's entries bound to one prepared insert, as the import binds them).
// The sides take turns; the best of several runs counts. Prints the ratio (target at most 1.5),
// and for information the ratio against the rows and sources alone.
//
//   einvoice_bench [--files N] [--runs K]
#include "bench/bench_support.h"
#include "context/f_ModuleContext.h"
#include "corlith/corlith_host.h"
#include "corlith/corlith_test.h"
#include "exchange/f_EInvoiceImport.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_InvoiceSource.h"

#include <pugixml.hpp>
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using bench::Die;

std::string Fen(long long fen) {
    return std::to_string(fen / 100) + "." + (fen % 100 < 10 ? "0" : "") + std::to_string(fen % 100);
}

// One invoice in the platform's layout, as the tests' generator writes it.
std::string InvoiceXml(std::mt19937& gen, long long number) {
    static const int rates[] = {13, 6, 17, 4};
    std::string items;
    long long amount = 0, tax = 0;
    for (int n = 1 + static_cast<int>(gen() % 3), i = 0; i < n; ++i) {
        const int rate = rates[i];
        const long long a = 10000 + static_cast<long long>(gen() % 5000000), t = (a * rate + 50) / 100;
        amount += a;
        tax += t;
        items += "<IssuItemInformation><ItemName>item</ItemName><Amount>" + Fen(a) + "</Amount><TaxRate>0." +
                 std::to_string(100 + rate).substr(1) + "</TaxRate><ComTaxAm>" + Fen(t) + "</ComTaxAm></IssuItemInformation>";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<EInvoice><Header><InherentLabel><EInvoiceType><LabelCode>02"
           "</LabelCode></EInvoiceType></InherentLabel></Header><EInvoiceData><SellerInformation><SellerIdNum>" +
           std::string(bench::kCompany) + "</SellerIdNum></SellerInformation><BuyerInformation><BuyerIdNum>"
           "91440300MA5F3KXL35</BuyerIdNum></BuyerInformation><BasicInformation><TotalAmWithoutTax>" + Fen(amount) +
           "</TotalAmWithoutTax><TotalTaxAm>" + Fen(tax) + "</TotalTaxAm></BasicInformation>" + items +
           "</EInvoiceData><TaxSupervisionInfo><InvoiceNumber>" + std::to_string(number) +
           "</InvoiceNumber><IssueTime>2026-11-" + std::to_string(10 + gen() % 18) +
           " 10:00:00</IssueTime></TaxSupervisionInfo></EInvoice>";
}

void Exec(sqlite3* db, const char* sql) { bench::Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql); }

vantrel::TImportPlan PlanOf(const QString& folder) {
    vantrel::TImportTarget target;
    vantrel::TImportPlan plan;
    std::string e;
    const vantrel::TModuleContext context = vantrel::ModuleContextFromHost();
    if (!vantrel::LoadImportTarget(context, target, e) || !vantrel::PlanEInvoiceImport({folder}, context, target, false, plan, e)) Die(e);
    FreeInvoiceList(target.existing);
    if (plan.HasErrors()) Die(corlith::GbkToUtf8(vantrel::IssueText(plan.issues.front())));
    return plan;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 10000, runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--files" && i + 1 < argc) files = std::atoi(argv[++i]);
        else if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else Die("usage: einvoice_bench [--files N] [--runs K]");
    }
    if (files < 1 || runs < 1) Die("--files and --runs must be positive");
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-einvoice-bench-" + std::to_string(::getpid()));
    const std::filesystem::path folder = dir / "invoices";
    std::filesystem::create_directories(folder);
    const std::string file = (dir / "bench.db").string();
    bench::SetUpHost(dir);
    bench::OpenDatabase(file);
    std::ofstream((dir / "fp_config.ini").string()) << "[xxqtfp]\nsl=|17|13|6|4|0|\n";
    LoadInvoiceConfig(vantrel::ModuleContextFromHost(), "xxqtfp");

    std::mt19937 gen(20261208);
    std::vector<std::string> paths;
    for (int n = 0; n < files; ++n) {
        paths.push_back((folder / ("fp" + std::to_string(100000 + n) + ".xml")).string());
        std::ofstream(paths.back(), std::ios::binary) << InvoiceXml(gen, 26442000000000000LL + n);
    }
    const QString qfolder = QString::fromStdString(folder.string());

    // The floor's statements: every insert the import runs (its rows, their sources and the
    // change log's entries), as the statement log of one import records them.
    const vantrel::TModuleContext context = vantrel::ModuleContextFromHost();
    std::vector<std::string> own;            // the rows' and sources' statements
    std::vector<std::string> entries;        // the log's entries, kEntryColumns values each
    std::size_t logged = 0;                  // the statements that wrote them
    {
        corlith::test::ClearStatementLog();
        corlith::test::EnableStatementLog(true);
        std::string e;
        if (vantrel::StoreImport(PlanOf(qfolder), context, {}, e) != vantrel::TStoreResult::Stored) Die(corlith::GbkToUtf8(e));
        corlith::test::EnableStatementLog(false);
        for (const std::string& sql : corlith::test::StatementsOnly()) {
            const std::string head = sql.substr(sql.find_first_not_of(' '), 12);
            if (head != "insert into " && head != "INSERT INTO ") continue;
            if (vantrel::IsChangeLogStatement(sql, context.subAppCode)) ++logged;
            else own.push_back(corlith::GbkToUtf8(sql));
        }
        corlith::test::ClearStatementLog();
    }

    sqlite3* db = bench::OpenFloor(file);
    constexpr int kEntryColumns = 12;
    const char* const kEntryInsert = "INSERT INTO sb07_bgjl (nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx) "
                                     "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)";
    {
        sqlite3_stmt* st = nullptr;
        bench::Check(db, sqlite3_prepare_v2(db, "SELECT nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx FROM sb07_bgjl "
                                                "ORDER BY jlxh", -1, &st, nullptr), "prepare");
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < kEntryColumns; ++c)
                entries.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                     static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
        sqlite3_finalize(st);
    }
    if (logged == 0 || entries.empty()) Die("the import wrote no entries of the change log");
    const auto clear = [db] {
        Exec(db, "delete from sb07_xxfpb; delete from sb07_fply; delete from SB07_FPTXQKB; delete from sb07_bgjl; "
                 "delete from sb07_bgjlmw");
    };
    const auto parse = [&paths] {
        for (const std::string& path : paths) {
            pugi::xml_document doc;
            if (!doc.load_file(path.c_str())) Die("pugixml cannot read " + path);
        }
    };
    const auto execute = [db, kEntryInsert](const std::vector<std::string>& statements,
                                            const std::vector<std::string>& values) {
        Exec(db, "begin immediate");
        for (const std::string& sql : statements) Exec(db, sql.c_str());
        if (!values.empty()) {
            sqlite3_stmt* st = nullptr;
            bench::Check(db, sqlite3_prepare_v2(db, kEntryInsert, -1, &st, nullptr), "prepare");
            for (std::size_t row = 0; row < values.size(); row += kEntryColumns) {
                for (int c = 0; c < kEntryColumns; ++c)
                    sqlite3_bind_text(st, c + 1, values[row + c].data(), static_cast<int>(values[row + c].size()),
                                      SQLITE_STATIC);
                bench::Check(db, sqlite3_step(st), "insert");
                sqlite3_reset(st);
            }
            sqlite3_finalize(st);
        }
        Exec(db, "commit");
    };
    bench::TCost product, floor, ownFloor, warmUp;
    for (int run = 0; run <= runs; ++run) {
        clear();
        bench::Measure(run ? product : warmUp, [&] {
            std::string e;
            if (vantrel::StoreImport(PlanOf(qfolder), context, {}, e) != vantrel::TStoreResult::Stored) Die(corlith::GbkToUtf8(e));
        });
        clear();
        bench::Measure(run ? floor : warmUp, [&] { parse(), execute(own, entries); });
        clear();
        bench::Measure(run ? ownFloor : warmUp, [&] { parse(), execute(own, {}); });
    }
    std::printf("E-invoice import of %d XML files: read, check and store, as a multiple of pugixml parsing the\n"
                "same files plus SQLite executing the same %zu inserts and %zu log entries in one transaction\n"
                "(best of %d; target at most 1.5): wall %.2f, processor %.2f\n"
                "for information, against the %zu inserts of the rows and their sources alone (without the\n"
                "change log's entries): wall %.2f, processor %.2f\n",
                files, own.size(), entries.size() / kEntryColumns, runs, product.wall / floor.wall,
                product.cpu / floor.cpu, own.size(), product.wall / ownFloor.wall, product.cpu / ownFloor.cpu);
    sqlite3_close(db);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

// Register import and export against floors measured in the same run on the same file.
// Import: reading, checking and storing a CSV file of n rows, against SQLite executing the
// same insert statements in one transaction. Export: reading the period and writing the CSV
// file, against SQLite stepping the same select (every column read) plus writing the same
// bytes. Both sides run warm, alternately, and the best of several runs counts. Prints ratios
// only.
//
//   exchange_bench [--max N] [--only import|export] [--runs K]
#include "bench/bench_register.h"
#include "corlith/corlith_host.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"

#include <QFile>

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using bench::Die;
using bench::kCompany;
using bench::kPeriod;

void SetUpHost(const std::filesystem::path& dir, const std::string& file) {
    bench::SetUpHost(dir);
    bench::OpenDatabase(file);
    std::ofstream((dir / "fp_config.ini").string()) << "[xxqtfp]\nsl=|17|13|6|4|0|\n";
    LoadInvoiceConfig("xxqtfp");
}

// n rows that pass every check, as the CSV text (GBK) of a file.
std::string RegisterText(int n) {
    std::mt19937 gen(20261107);
    const int rates[] = {17, 13, 6, 4};
    std::string text = "发票类型,开票日期,份数,金额,税率,税额,购方税号,是否免税,是否劳务发票,是否作废,是否即征即退\r\n";
    for (int i = 0; i < n; ++i) {
        const int rate = rates[gen() % 4];
        const long long cents = 100 + static_cast<long long>(gen() % 100000000);
        const long long tax = (cents * rate + 50) / 100;
        char line[256];
        std::snprintf(line, sizeof line, "普通发票,2026-11-%02d,%d,%lld.%02lld,%d,%lld.%02lld,%s,否,%s,否,否\r\n",
                      1 + static_cast<int>(gen() % 28), 1 + static_cast<int>(gen() % 9), cents / 100, cents % 100,
                      rate, tax / 100, tax % 100, gen() % 2 ? "440300665812347" : "", gen() % 4 ? "否" : "是");
        text += line;
    }
    return text;
}

void Exec(sqlite3* db, const char* sql) { bench::Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql); }

// Best of `runs` for each side, the two sides taking turns after one warm-up run each; each
// side's `before` runs untimed ahead of each of its runs.
std::pair<double, double> BestOfAlternating(int runs, const std::function<void()>& beforeProduct,
                                            const std::function<void()>& product,
                                            const std::function<void()>& beforeFloor,
                                            const std::function<void()>& floor) {
    double productBest = 1e300, floorBest = 1e300;
    for (int run = 0; run <= runs; ++run) {
        beforeProduct();
        const double p = bench::Time(product);
        beforeFloor();
        const double f = bench::Time(floor);
        if (run == 0) continue;
        productBest = std::min(productBest, p);
        floorBest = std::min(floorBest, f);
    }
    return {productBest, floorBest};
}

TImportPlan PlanOf(const QString& csv) {
    TExchangeTable table;
    TImportTarget target;
    std::string e;
    if (!ReadRegisterFile(csv, table, e) || !LoadImportTarget(kCompany, kPeriod, target, e)) Die(e);
    TImportPlan plan = PlanImport(std::move(table), target);
    FreeInvoiceList(target.existing);
    if (plan.HasErrors()) Die(IssueText(plan.issues.front()));
    return plan;
}

void Import(const QString& csv) {
    std::string e;
    if (StoreImport(PlanOf(csv), kCompany, kPeriod, {}, e) != TStoreResult::Stored) Die(e);
}

struct Options {
    int max = 100000;
    bool import = true, exportToo = true;
    int runs = 0;   // 0: by size
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--max" && i + 1 < argc) {
            o.max = std::atoi(argv[++i]);
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = std::atoi(argv[++i]);
        } else if (a == "--only" && i + 1 < argc) {
            const std::string what = argv[++i];
            o.import = what == "import";
            o.exportToo = what == "export";
            if (!o.import && !o.exportToo) Die("--only takes import or export");
        } else {
            Die("usage: exchange_bench [--max N] [--only import|export] [--runs K]");
        }
    }
    if (o.max < 1000) Die("--max must be at least 1000");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-exchange-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bench.db").string();
    SetUpHost(dir, file);
    const QString csv = QString::fromStdString((dir / "in.csv").string());
    // The floor's connection is opened as the host library opens its own.
    sqlite3* db = nullptr;
    bench::Check(db, sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr), "open");
    // Each side empties the tables on its own connection, so both start with that connection's
    // page cache as the last change left it.
    const auto clear = [db] { Exec(db, "delete from sb07_xxfpb; delete from SB07_FPTXQKB"); };
    const auto clearThroughHost = [] {
        std::string e;
        for (const char* sql : {"delete from sb07_xxfpb", "delete from SB07_FPTXQKB"})
            if (!ExecADOQueryMsg(bench::kConnection, sql, nullptr, e, 0, 0)) Die(e);
    };

    if (options.import) {
        std::printf("Import: read, check and store a CSV file, as a multiple of SQLite executing the same\n"
                    "inserts in one transaction (best of several runs; target at most 1.5)\n");
        std::printf("%-8s %8s\n", "rows", "ratio");
    }
    for (int n = 1000; options.import && n <= options.max; n *= 10) {
        std::string error;
        if (!WriteCsvFile(csv, RegisterText(n), error)) Die(error);
        // The floor: the statements the import runs, straight on SQLite in one transaction.
        std::vector<std::string> inserts;
        int xh = 0;
        for (const TImportRow& row : PlanOf(csv).rows) {
            Txxqtfpxx r = row.record;
            r.xh = ++xh;
            inserts.push_back(corlith::GbkToUtf8(BuildInsertSql(r, kCompany)));
        }
        // At 10^3 rows the commit's sync is a large and uneven part of either side: more runs.
        const int runs = options.runs > 0 ? options.runs : n >= 100000 ? 7 : n >= 10000 ? 11 : 31;
        const auto [product, floor] = BestOfAlternating(runs, clearThroughHost, [&] { Import(csv); }, clear, [&] {
            Exec(db, "begin immediate");
            for (const std::string& sql : inserts) Exec(db, sql.c_str());
            Exec(db, "commit");
        });
        std::printf("%-8d %8.2f\n", n, product / floor);
    }

    if (options.exportToo) {
        // The period as an import of max rows stores it.
        const int n = options.max;
        std::string error;
        if (!WriteCsvFile(csv, RegisterText(n), error)) Die(error);
        clear();
        Import(csv);
        const QString out = QString::fromStdString((dir / "out.csv").string());
        const std::string plain = (dir / "plain.csv").string();
        // As the client's export: the list select, in sequence order, to the file.
        const auto exportOnce = [&] {
            std::string e;
            std::size_t rows = 0;
            if (ExportRegisterList(out, kCompany, kPeriod, "", "", rows, e) != TExportResult::Written) Die(e);
            if (rows != static_cast<std::size_t>(n)) Die("the export did not write every row");
        };
        exportOnce();
        std::string bytes;
        {
            QFile f(out);
            if (!f.open(QIODevice::ReadOnly)) Die("cannot read the export");
            const QByteArray all = f.readAll();
            bytes.assign(all.constData(), static_cast<std::size_t>(all.size()));
        }
        const std::string select = BuildListSql(kCompany, kPeriod, "", "");
        if (bench::ReadDirectly(db, select) != n) Die("the list select does not find the period");
        const int runs = options.runs > 0 ? options.runs : 11;
        const auto [product, floor] = BestOfAlternating(runs, [] {}, exportOnce, [] {}, [&] {
            bench::ReadDirectly(db, select);
            std::FILE* f = std::fopen(plain.c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
                Die("cannot write the floor's file");
        });
        std::printf("\nExport of %d rows to CSV, as a multiple of SQLite stepping the same select plus\n"
                    "writing the same bytes (best of %d; target at most 1.5): %.2f\n",
                    n, runs, product / floor);
    }

    sqlite3_close(db);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

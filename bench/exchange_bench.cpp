// Register import and export against floors measured in the same run on the same file.
// Import: reading, checking and storing a CSV file of n rows, against SQLite executing the
// same insert statements in one transaction. Export: reading the period and writing the CSV
// file, against a plain read of the same rows plus writing the same bytes. Prints ratios only.
#include "corlith/corlith_host.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"

#include <QFile>

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kConnection = "WSSBMainCon_07";
constexpr const char* kCompany = "91110000MA001BENCH";
constexpr const char* kPeriod = "202611";

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "exchange_bench: %s\n", what.c_str());
    std::exit(1);
}

void Check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) Die(std::string(what) + ": " + sqlite3_errmsg(db));
}

double Seconds(const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SetUpHost(const std::filesystem::path& dir, const std::string& file) {
    corlith::HostSetup setup;
    setup.appPath = dir.string() + "/";
    setup.subAppPath = dir.string() + "/";
    setup.subAppCode = "07";
    setup.funcCode = "07037-02-18-01";
    corlith::Configure(setup);
    std::string error;
    if (!corlith::BindConnection(kConnection, file, error)) Die(error);
    if (!corlith::CreateSchema(kConnection, "07", error)) Die(error);
    SubAppVo* vo = GetCurSubAppVo();
    vo->SetText("curcompany", kCompany);
    vo->SetText("curKJNY", kPeriod);
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    TDeclareTypeInfo kind;
    kind.Code = "01";
    TReportInfo form;
    form.Code = "004";
    form.FuncCode = "07037-02-18-01";
    kind.Reports.push_back(form);
    catalogue->Items.push_back(kind);
    vo->SetObject("DeclareTypeInfo", catalogue);
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

void Exec(sqlite3* db, const char* sql) { Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql); }

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-exchange-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bench.db").string();
    SetUpHost(dir, file);
    const QString csv = QString::fromStdString((dir / "in.csv").string());
    sqlite3* db = nullptr;
    Check(db, sqlite3_open(file.c_str(), &db), "open");

    std::printf("Import: read, check and store a CSV file, as a multiple of SQLite executing the same\n"
                "inserts in one transaction (best of several runs; target at most 1.5)\n");
    std::printf("%-8s %8s\n", "rows", "ratio");
    for (int n : {1000, 10000, 100000}) {
        std::string error;
        if (!WriteCsvFile(csv, RegisterText(n), error)) Die(error);
        const int runs = n >= 100000 ? 3 : 7;
        double importBest = 1e300, floorBest = 1e300;
        for (int run = 0; run < runs; ++run) {
            Exec(db, "delete from sb07_xxfpb; delete from SB07_FPTXQKB");
            importBest = std::min(importBest, Seconds([&] {
                TExchangeTable table;
                TImportTarget target;
                std::string e;
                if (!ReadRegisterFile(csv, table, e) || !LoadImportTarget(kCompany, kPeriod, target, e)) Die(e);
                const TImportPlan plan = PlanImport(table, target);
                FreeInvoiceList(target.existing);
                if (plan.HasErrors()) Die(IssueText(plan.issues.front()));
                if (StoreImport(plan, kCompany, kPeriod, {}, e) != TStoreResult::Stored) Die(e);
            }));
        }
        // The floor: the statements the import ran, straight on SQLite in one transaction.
        std::vector<std::string> inserts;
        {
            TExchangeTable table;
            TImportTarget target;
            std::string e;
            if (!ReadRegisterFile(csv, table, e) || !LoadImportTarget(kCompany, kPeriod, target, e)) Die(e);
            const TImportPlan plan = PlanImport(table, target);
            FreeInvoiceList(target.existing);
            int xh = 0;
            for (const TImportRow& row : plan.rows) {
                Txxqtfpxx r = row.record;
                r.xh = ++xh;
                inserts.push_back(BuildInsertSql(r, kCompany));
            }
        }
        for (int run = 0; run < runs; ++run) {
            Exec(db, "delete from sb07_xxfpb");
            floorBest = std::min(floorBest, Seconds([&] {
                Exec(db, "begin");
                for (const std::string& sql : inserts) Exec(db, sql.c_str());
                Exec(db, "commit");
            }));
        }
        std::printf("%-8d %8.2f\n", n, importBest / floorBest);
    }

    // Export of the period as stored by the last import (10^5 rows).
    Exec(db, "delete from sb07_xxfpb; delete from SB07_FPTXQKB");
    {
        TExchangeTable table;
        TImportTarget target;
        std::string e;
        if (!ReadRegisterFile(csv, table, e) || !LoadImportTarget(kCompany, kPeriod, target, e)) Die(e);
        const TImportPlan plan = PlanImport(table, target);
        FreeInvoiceList(target.existing);
        if (StoreImport(plan, kCompany, kPeriod, {}, e) != TStoreResult::Stored) Die(e);
    }
    const QString out = QString::fromStdString((dir / "out.csv").string());
    const std::string plain = (dir / "plain.csv").string();
    const auto exportOnce = [&] {
        std::vector<Txxqtfpxx*> list;
        std::string e;
        if (!ReadInvoiceList(kCompany, kPeriod, "", "", list, e)) Die(e);
        std::sort(list.begin(), list.end(), [](const Txxqtfpxx* a, const Txxqtfpxx* b) { return a->xh < b->xh; });
        if (!ExportRegisterFile(out, {list.begin(), list.end()}, e)) Die(e);
        FreeInvoiceList(list);
    };
    exportOnce();
    std::string bytes;
    {
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly)) Die("cannot read the export");
        const QByteArray all = f.readAll();
        bytes.assign(all.constData(), static_cast<std::size_t>(all.size()));
    }
    const std::string select = "select fp.*,lx.mc as fplxmc from sb07_xxfpb fp left join sb07_fplxb lx on "
                               "fp.fplx = lx.fplx where nsrsbh='" + std::string(kCompany) + "' and sbssq='" +
                               kPeriod + "'";
    double exportBest = 1e300, floorBest = 1e300;
    for (int run = 0; run < 3; ++run) {
        exportBest = std::min(exportBest, Seconds(exportOnce));
        floorBest = std::min(floorBest, Seconds([&] {
            sqlite3_stmt* stmt = nullptr;
            Check(db, sqlite3_prepare_v2(db, select.c_str(), -1, &stmt, nullptr), "prepare");
            std::size_t seen = 0;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    if (const unsigned char* t = sqlite3_column_text(stmt, c)) seen += t[0];
            sqlite3_finalize(stmt);
            std::FILE* f = std::fopen(plain.c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
                Die("cannot write the floor's file");
            if (seen == 1) std::printf(" ");
        }));
    }
    std::printf("\nExport of 100000 rows to CSV, as a multiple of a plain read of the same rows plus\n"
                "writing the same bytes (best of 3; target at most 1.5): %.2f\n",
                exportBest / floorBest);

    sqlite3_close(db);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

// CreateQtfp's time against two floors measured in the same run on the same file: SQLite
// running the module's 46 statements directly, and one aggregate over the period's rows.
// Prints ratios only.
#include "bench/bench_timing.h"
#include "corlith/corlith_host.h"
#include "summary/f_QtfpSummary.h"

#include <sqlite3.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kConnection = "WSSBMainCon_07";
constexpr const char* kCompany = "91110000MA001BENCH";
constexpr const char* kPeriod = "202611";

using EntryPoint = void (*)(std::uintptr_t, void*, char**);

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "summary_bench: %s\n", what.c_str());
    std::exit(1);
}

void Check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        Die(std::string(what) + ": " + sqlite3_errmsg(db));
}


// n lines of the benchmark's period and 10n lines of other periods and taxpayers.
void FillRegister(const std::string& file, int n) {
    sqlite3* db = nullptr;
    Check(db, sqlite3_open(file.c_str(), &db), "open");
    Check(db, sqlite3_exec(db, "delete from sb07_xxfpb; begin", nullptr, nullptr, nullptr), "clear");
    sqlite3_stmt* insert = nullptr;
    Check(db, sqlite3_prepare_v2(db,
                                 "insert into sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,"
                                 "jzjt,lwfp,ms,zfbz,sbwjm) values (?,?,?,?,'2026-11-30','2026-11-10',?,?,?,?,'',?,?,?,?,'')",
                                 -1, &insert, nullptr),
          "prepare insert");
    std::mt19937 gen(20261130);
    const int rates[] = {17, 13, 6, 4, 0, 3};
    const int types[] = {1, 2, 3, 5};
    const char* taxpayers[] = {kCompany, "91110000MA002OTHER", "91110000MA003OTHER"};
    const char* periods[] = {kPeriod, "202608", "202609", "202610", "202612"};
    int xh = 0;
    for (int i = 0; i < 11 * n; ++i) {
        // Every eleventh line belongs to the period being summed.
        const bool own = i % 11 == 0;
        const char* taxpayer = own ? kCompany : taxpayers[gen() % 3];
        const char* period = own ? kPeriod : periods[1 + gen() % 4];
        if (!own && gen() % 3 == 0) period = kPeriod;
        if (!own && std::strcmp(taxpayer, kCompany) == 0 && std::strcmp(period, kPeriod) == 0)
            taxpayer = taxpayers[1];
        const int rate = rates[gen() % 6];
        const double je = static_cast<double>(gen() % 10000000) / 100.0;
        sqlite3_bind_text(insert, 1, taxpayer, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, period, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 3, ++xh);
        sqlite3_bind_int(insert, 4, types[gen() % 4]);
        sqlite3_bind_int(insert, 5, 1 + static_cast<int>(gen() % 9));
        sqlite3_bind_double(insert, 6, je);
        sqlite3_bind_double(insert, 7, static_cast<double>(static_cast<long long>(je * rate)) / 100.0);
        sqlite3_bind_int(insert, 8, rate);
        for (int flag = 9; flag <= 12; ++flag) sqlite3_bind_int(insert, flag, gen() % 4 == 0 ? 1 : 0);
        Check(db, sqlite3_step(insert), "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(db, sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), "commit");
    sqlite3_close(db);
}

// A floor: each statement prepared, stepped, its values read and finalized.
double RunStatements(sqlite3* db, const std::vector<std::string>& statements) {
    double checksum = 0;
    for (const std::string& sql : statements) {
        sqlite3_stmt* stmt = nullptr;
        Check(db, sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr), "prepare");
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) checksum += sqlite3_column_double(stmt, i);
        sqlite3_finalize(stmt);
    }
    return checksum;
}

// The tighter floor: the statements prepared once beforehand, only stepped and reset.
class PreparedStatements {
public:
    PreparedStatements(sqlite3* db, const std::vector<std::string>& statements) {
        for (const std::string& sql : statements) {
            sqlite3_stmt* stmt = nullptr;
            Check(db, sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr), "prepare");
            stmts_.push_back(stmt);
        }
    }
    ~PreparedStatements() {
        for (sqlite3_stmt* stmt : stmts_) sqlite3_finalize(stmt);
    }
    PreparedStatements(const PreparedStatements&) = delete;
    PreparedStatements& operator=(const PreparedStatements&) = delete;

    double Run() {
        double checksum = 0;
        for (sqlite3_stmt* stmt : stmts_) {
            if (sqlite3_step(stmt) == SQLITE_ROW)
                for (int i = 0; i < sqlite3_column_count(stmt); ++i) checksum += sqlite3_column_double(stmt, i);
            sqlite3_reset(stmt);
        }
        return checksum;
    }

private:
    std::vector<sqlite3_stmt*> stmts_;
};

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
    vo->SetText("jbxx", "code=91110000MA001BENCH;name=基准公司;tel=010-1");
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    TDeclareTypeInfo kind;
    kind.Code = "01";
    kind.PeriodKind = 1;
    TReportInfo form;
    form.Code = "004";
    form.FuncCode = "07037-02-18-01";
    kind.Reports.push_back(form);
    catalogue->Items.push_back(kind);
    vo->SetObject("DeclareTypeInfo", catalogue);
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-summary-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bench.db").string();
    SetUpHost(dir, file);

    void* module = dlopen(VANTREL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) Die(dlerror());
    auto createQtfp = reinterpret_cast<EntryPoint>(dlsym(module, "CreateQtfp"));
    if (!createQtfp) Die("CreateQtfp not exported");

    std::vector<std::string> statements;
    for (const TSummaryGroup& group : SummaryCatalogue())
        statements.push_back(BuildSummarySelect(group, "sb07_xxfpb", kCompany, kPeriod));
    const std::string aggregate = std::string("select sum(je),sum(se),sum(fs) from sb07_xxfpb where nsrsbh='") +
                                  kCompany + "' and sbssq='" + kPeriod + "'";

    const std::string params = "dir=" + (dir / "summary.xml").string();
    std::vector<char> buffer(params.size() + 4096);

    std::printf("CreateQtfp's time as a multiple of each floor (best of several runs)\n");
    std::printf("%-8s %26s %26s %22s\n", "lines", "46 selects, prepared once", "46 selects, each prepared",
                "one aggregate");
    for (int n : {1000, 10000, 100000}) {
        FillRegister(file, n);
        const int runs = n >= 100000 ? 5 : 15;

        bool failed = false;
        const double module_s = BestOf(runs, [&] {
            std::memcpy(buffer.data(), params.c_str(), params.size() + 1);
            char* block[] = {buffer.data()};
            createQtfp(0, nullptr, block);
            failed = failed || std::strcmp(buffer.data(), params.c_str()) != 0;
        });
        if (failed) Die(std::string("CreateQtfp failed: ") + buffer.data());

        sqlite3* db = nullptr;
        Check(db, sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), "open");
        volatile double sink = 0;
        double prepared_s = 0;
        {
            PreparedStatements prepared(db, statements);
            prepared_s = BestOf(runs, [&] { sink = sink + prepared.Run(); });
        }
        const double statements_s = BestOf(runs, [&] { sink = sink + RunStatements(db, statements); });
        const double aggregate_s = BestOf(runs, [&] { sink = sink + RunStatements(db, {aggregate}); });
        sqlite3_close(db);

        std::printf("%-8d %26.2f %26.2f %22.2f\n", n, module_s / prepared_s, module_s / statements_s,
                    module_s / aggregate_s);
    }

    dlclose(module);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

// CreateQtfp on a PostgreSQL server against floors measured in the same run on the same
// database: libpq running the module's 46 statements directly (each sent as it is, and each
// prepared once beforehand). Prints ratios only.
//   pg_summary_bench [URI]     (default: $VANTREL_TEST_PG; scripts/pg-cluster.sh starts a server)
#include "bench/bench_support.h"
#include "corlith/corlith_host.h"
#include "summary/f_QtfpSummary.h"

#include <libpq-fe.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using EntryPoint = void (*)(std::uintptr_t, void*, char**);
using bench::Die;
using bench::kCompany;
using bench::kPeriod;

PGresult* Checked(PGconn* conn, PGresult* res, const char* what) {
    const ExecStatusType status = PQresultStatus(res);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN)
        Die(std::string(what) + ": " + PQerrorMessage(conn));
    return res;
}

void Exec(PGconn* conn, const std::string& sql) { PQclear(Checked(conn, PQexec(conn, sql.c_str()), sql.c_str())); }

// n lines of the benchmark's period and 10n lines of other periods and taxpayers, as the
// SQLite benchmark fills its file.
void FillRegister(PGconn* conn, int n) {
    Exec(conn, "truncate sb07_xxfpb");
    PQclear(Checked(conn,
                    PQexec(conn, "copy sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,zfbz,"
                                 "sbwjm) from stdin"),
                    "copy"));
    std::mt19937 gen(20261130);
    const int rates[] = {17, 13, 6, 4, 0, 3};
    const int types[] = {1, 2, 3, 5};
    const char* taxpayers[] = {kCompany, "91110000MA002OTHER", "91110000MA003OTHER"};
    const char* periods[] = {kPeriod, "202608", "202609", "202610", "202612"};
    std::string chunk;
    for (int i = 0, xh = 0; i < 11 * n; ++i) {
        const bool own = i % 11 == 0;
        const char* taxpayer = own ? kCompany : taxpayers[gen() % 3];
        const char* period = own ? kPeriod : periods[1 + gen() % 4];
        if (!own && gen() % 3 == 0) period = kPeriod;
        if (!own && std::strcmp(taxpayer, kCompany) == 0 && std::strcmp(period, kPeriod) == 0) taxpayer = taxpayers[1];
        const int rate = rates[gen() % 6];
        const long long cents = gen() % 10000000;
        const long long taxCents = cents * rate / 100;
        char line[256];
        std::snprintf(line, sizeof line, "%s\t%s\t%d\t%d\t2026-11-30\t2026-11-10\t%d\t%lld.%02lld\t%lld.%02lld\t%d\t\t%d\t%d\t%d\t%d\t\n",
                      taxpayer, period, ++xh, types[gen() % 4], 1 + static_cast<int>(gen() % 9), cents / 100,
                      cents % 100, taxCents / 100, taxCents % 100, rate, gen() % 4 == 0, gen() % 4 == 0,
                      gen() % 4 == 0, gen() % 4 == 0);
        chunk += line;
        if (chunk.size() > (1 << 20)) {
            if (PQputCopyData(conn, chunk.data(), static_cast<int>(chunk.size())) != 1) Die(PQerrorMessage(conn));
            chunk.clear();
        }
    }
    if (PQputCopyData(conn, chunk.data(), static_cast<int>(chunk.size())) != 1 || PQputCopyEnd(conn, nullptr) != 1)
        Die(PQerrorMessage(conn));
    PQclear(Checked(conn, PQgetResult(conn), "copy end"));
    Exec(conn, "analyze sb07_xxfpb");
}

double ReadValues(PGresult* res) {
    double checksum = 0;
    if (PQntuples(res) > 0)
        for (int i = 0; i < PQnfields(res); ++i) checksum += std::strtod(PQgetvalue(res, 0, i), nullptr);
    PQclear(res);
    return checksum;
}

// The floor: each statement sent as it is, its values read.
double RunStatements(PGconn* conn, const std::vector<std::string>& statements) {
    double checksum = 0;
    for (const std::string& sql : statements)
        checksum += ReadValues(Checked(conn, PQexec(conn, sql.c_str()), "select"));
    return checksum;
}

// The tighter floor: the statements prepared once beforehand.
double RunPrepared(PGconn* conn, size_t count) {
    double checksum = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string name = "floor" + std::to_string(i);
        checksum += ReadValues(Checked(conn, PQexecPrepared(conn, name.c_str(), 0, nullptr, nullptr, nullptr, 0),
                                       "prepared select"));
    }
    return checksum;
}

}  // namespace

int main(int argc, char** argv) {
    const char* given = argc > 1 ? argv[1] : std::getenv("VANTREL_TEST_PG");
    if (!given || !*given) {
        std::fprintf(stderr, "usage: pg_summary_bench postgresql://...  (or set VANTREL_TEST_PG)\n");
        return 2;
    }
    // A schema of its own, so that the benchmark leaves the database as it found it.
    const std::string schema = "bench" + std::to_string(::getpid());
    const std::string base = given;
    const std::string uri =
        base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
    PGconn* admin = PQconnectdb(base.c_str());
    if (PQstatus(admin) != CONNECTION_OK) Die(PQerrorMessage(admin));
    PQsetNoticeProcessor(admin, [](void*, const char*) {}, nullptr);
    Exec(admin, "create schema " + schema);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-pg-summary-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    bench::SetUpHost(dir, "code=91110000MA001BENCH;name=基准公司;tel=010-1");
    bench::OpenDatabase(uri);
    PGconn* conn = PQconnectdb(uri.c_str());
    if (PQstatus(conn) != CONNECTION_OK) Die(PQerrorMessage(conn));

    void* module = dlopen(VANTREL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) Die(dlerror());
    auto createQtfp = reinterpret_cast<EntryPoint>(dlsym(module, "CreateQtfp"));
    if (!createQtfp) Die("CreateQtfp not exported");

    std::vector<std::string> statements;
    for (const vantrel::TSummaryGroup& group : vantrel::SummaryCatalogue())
        statements.push_back(vantrel::BuildSummarySelect(group, "sb07_xxfpb", kCompany, kPeriod));
    for (size_t i = 0; i < statements.size(); ++i)
        PQclear(Checked(conn, PQprepare(conn, ("floor" + std::to_string(i)).c_str(), statements[i].c_str(), 0, nullptr),
                        "prepare"));

    const std::string params = "dir=" + (dir / "summary.xml").string();
    std::vector<char> buffer(params.size() + 4096);

    std::printf("CreateQtfp on PostgreSQL as a multiple of libpq running its %zu selects (best of several runs)\n",
                statements.size());
    std::printf("%-8s %24s %28s\n", "lines", "selects sent as they are", "selects prepared beforehand");
    for (int n : {1000, 10000, 100000}) {
        FillRegister(conn, n);
        const int runs = n >= 100000 ? 9 : n >= 10000 ? 25 : 60;

        // The three take turns, so that a busy machine slows each of them alike; the best run
        // of each is the one least disturbed.
        bool failed = false;
        volatile double sink = 0;
        double module_s = 1e300, direct_s = 1e300, prepared_s = 1e300;
        for (int run = 0; run < runs; ++run) {
            module_s = std::min(module_s, bench::Time([&] {
                std::memcpy(buffer.data(), params.c_str(), params.size() + 1);
                char* block[] = {buffer.data()};
                createQtfp(0, nullptr, block);
                failed = failed || std::strcmp(buffer.data(), params.c_str()) != 0;
            }));
            direct_s = std::min(direct_s, bench::Time([&] { sink = sink + RunStatements(conn, statements); }));
            prepared_s = std::min(prepared_s, bench::Time([&] { sink = sink + RunPrepared(conn, statements.size()); }));
        }
        if (failed) Die(std::string("CreateQtfp failed: ") + corlith::GbkToUtf8(buffer.data()));
        std::printf("%-8d %24.2f %28.2f\n", n, module_s / direct_s, module_s / prepared_s);
        std::fflush(stdout);
    }

    dlclose(module);
    corlith::CloseConnections();
    PQfinish(conn);
    Exec(admin, "drop schema " + schema + " cascade");
    PQfinish(admin);
    std::filesystem::remove_all(dir);
    return 0;
}

// summary-all of a bookkeeping office, through the real client, module and SQLite file, against
// the floor of the same statements executed straight on SQLite over one connection (every
// group's select of every taxpayer), and for information one grouped select that sums every
// taxpayer's period at once. Also the peak resident memory of summary-all over few and over
// all taxpayers. Prints ratios only.
//
//   office_bench [--taxpayers T] [--invoices N] [--few K] [--pg URI]
//       defaults 200 and 200; the table also holds 11 other periods of N/10 invoices each. With
//       a PostgreSQL server (--pg, or $VANTREL_TEST_PG) the same office is copied there and
//       summary-all --jobs 2 is timed against --jobs 1.
#include "bench_register.h"

#include "summary/f_QtfpSummary.h"
#include "summary/f_SummaryCells.h"

#include <libpq-fe.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    long peakKb = 0;
};

// A child process, its wall time and its peak resident memory.
Run RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);   // nothing buffered may be written twice
    const bench::Clock::time_point start = bench::Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::Die("summary-all failed: " + args[1]);
    return {bench::Seconds(start), usage.ru_maxrss};
}

std::string Id(int t) {
    char id[32];
    std::snprintf(id, sizeof id, "9111000%011d", t);
    return id;
}

void Fill(sqlite3* db, int taxpayers, int invoices) {
    std::mt19937 gen(7);
    bench::TRowInserter insert(db);
    bench::TRegisterRow r;
    const int rates[] = {17, 13, 6, 4, 0};
    const int types[] = {1, 2, 3, 5};
    for (int t = 0; t < taxpayers; ++t) {
        const std::string id = Id(t);
        for (int m = 0; m < 12; ++m) {
            char period[8], date[16];
            std::snprintf(period, sizeof period, "%04d%02d", m < 11 ? 2025 + (m + 11) / 12 : 2026, (m + 11) % 12 + 1);
            std::snprintf(date, sizeof date, "%.4s-%.2s-10", period, period + 4);
            const int rows = std::string(period) == bench::kPeriod ? invoices : invoices / 10;
            for (int x = 1; x <= rows; ++x) {
                r.sl = rates[gen() % 5];
                r.je = static_cast<double>(gen() % 1000000) / 100;
                r.nsrsbh = id;
                r.sbssq = period;
                r.xh = x;
                r.fplx = types[gen() % 4];
                r.kprq = date;
                r.fs = static_cast<int>(gen() % 3);
                r.se = r.je * r.sl / 100;
                for (int* flag : {&r.jzjt, &r.lwfp, &r.ms, &r.zfbz}) *flag = gen() % 8 == 0;
                insert.Add(r);
            }
        }
        const std::string reg = "insert into nsrxxb(code, name) values ('" + id + "', 'T" + std::to_string(t) + "')";
        bench::Check(db, sqlite3_exec(db, reg.c_str(), nullptr, nullptr, nullptr), "register");
    }
    insert.Commit();
}

// Every group's select of every taxpayer, run to its last row.
double Floor(sqlite3* db, int taxpayers) {
    return bench::Time([&] {
        for (int t = 0; t < taxpayers; ++t) {
            for (const vantrel::TSummaryGroup& group : vantrel::SummaryCatalogue()) {
                const std::string sql = vantrel::BuildSummarySelect(group, "sb07_xxfpb", Id(t), bench::kPeriod);
                sqlite3_stmt* s = nullptr;
                bench::Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), "floor prepare");
                while (sqlite3_step(s) == SQLITE_ROW) {
                }
                sqlite3_finalize(s);
            }
        }
    });
}

double GroupedSelect(sqlite3* db) {
    return bench::Time([&] {
        const std::string sql = std::string("select nsrsbh, fplx, sl, ms, jzjt, lwfp, zfbz, sum(je), sum(se), sum(fs) "
                                            "from sb07_xxfpb where sbssq = '") + bench::kPeriod +
                                "' group by nsrsbh, fplx, sl, ms, jzjt, lwfp, zfbz";
        sqlite3_stmt* s = nullptr;
        bench::Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), "grouped prepare");
        while (sqlite3_step(s) == SQLITE_ROW) {
        }
        sqlite3_finalize(s);
    });
}

void PgExec(PGconn* pg, const std::string& sql) {
    PGresult* r = PQexec(pg, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    PQclear(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) bench::Die("postgresql: " + sql + ": " + PQerrorMessage(pg));
}

// The SQLite office's register and taxpayers, copied to the server as they are.
void CopyToServer(sqlite3* db, PGconn* pg) {
    PgExec(pg, "delete from sb07_xxfpb");
    PgExec(pg, "delete from nsrxxb");
    const auto copy = [&](const char* select, const char* into, int columns) {
        PGresult* start = PQexec(pg, (std::string("copy ") + into + " from stdin").c_str());
        const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
        PQclear(start);
        if (!copying) bench::Die(std::string("copy: ") + PQerrorMessage(pg));
        sqlite3_stmt* s = nullptr;
        bench::Check(db, sqlite3_prepare_v2(db, select, -1, &s, nullptr), "copy select");
        std::string buffer;
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                if (c) buffer += '\t';
                const unsigned char* text = sqlite3_column_text(s, c);
                buffer += text ? reinterpret_cast<const char*>(text) : "\\N";
            }
            buffer += '\n';
            if (buffer.size() > (1 << 20)) {
                PQputCopyData(pg, buffer.data(), static_cast<int>(buffer.size()));
                buffer.clear();
            }
        }
        sqlite3_finalize(s);
        PQputCopyData(pg, buffer.data(), static_cast<int>(buffer.size()));
        PQputCopyEnd(pg, nullptr);
        PGresult* r = PQgetResult(pg);
        if (PQresultStatus(r) != PGRES_COMMAND_OK) bench::Die(std::string("copy: ") + PQerrorMessage(pg));
        PQclear(r);
        while ((r = PQgetResult(pg))) PQclear(r);
    };
    copy("select nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,zfbz,sbwjm from sb07_xxfpb",
         "sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,zfbz,sbwjm)", 16);
    copy("select code, name from nsrxxb", "nsrxxb(code, name)", 2);
    PgExec(pg, "analyze");
}

}  // namespace

int main(int argc, char** argv) {
    int taxpayers = 200, invoices = 200, few = 0;
    std::string pgUri = std::getenv("VANTREL_TEST_PG") ? std::getenv("VANTREL_TEST_PG") : "";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--pg") pgUri = argv[i + 1];
        if (std::string(argv[i]) == "--few") few = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--taxpayers") taxpayers = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--invoices") invoices = std::atoi(argv[i + 1]);
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("office-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "office.db").string(), client = VANTREL_CLIENT_PATH;
    RunChild({client, "init-db", "--db", db});
    sqlite3* conn = bench::OpenFloor(db);
    Fill(conn, taxpayers, invoices);
    std::printf("office: %d taxpayers, %d invoices each in %s, 11 other periods of %d\n", taxpayers, invoices,
                bench::kPeriod, invoices / 10);

    const std::vector<std::string> all = {client, "summary-all", "--db", db, "--period", bench::kPeriod,
                                          "--out-dir", (dir / "out").string()};
    RunChild(all);   // warms the file's pages as the floor finds them
    // Best of three, the run and the floor taking turns, so that a burst of other load on the
    // machine strikes neither side alone.
    Run whole = RunChild(all);
    double floor = Floor(conn, taxpayers), grouped = GroupedSelect(conn);
    for (int round = 1; round < 3; ++round) {
        const Run again = RunChild(all);
        whole.seconds = std::min(whole.seconds, again.seconds);
        whole.peakKb = std::max(whole.peakKb, again.peakKb);
        floor = std::min(floor, Floor(conn, taxpayers));
        grouped = std::min(grouped, GroupedSelect(conn));
    }
    std::printf("summary-all / same statements on SQLite      %.2f  (target <= 1.3)\n", whole.seconds / floor);
    std::printf("summary-all / one grouped select (info)     %.2f\n", whole.seconds / grouped);

    // Memory: the same run over a tenth of the taxpayers (or --few of them).
    if (few <= 0) few = std::max(1, taxpayers / 10);
    {
        FILE* list = std::fopen((dir / "few.txt").c_str(), "w");
        for (int t = 0; t < few; ++t) std::fprintf(list, "%s\n", Id(t).c_str());
        std::fclose(list);
    }
    std::vector<std::string> some = all;
    some.insert(some.end(), {"--taxpayers", (dir / "few.txt").string()});
    const Run part = RunChild(some);
    std::printf("peak memory, %d taxpayers / %d taxpayers    %.2f  (target <= 1.2)\n", taxpayers, few,
                static_cast<double>(whole.peakKb) / static_cast<double>(part.peakKb));

    if (!pgUri.empty()) {
        RunChild({client, "init-db", "--db", pgUri});
        PGconn* pg = PQconnectdb(pgUri.c_str());
        if (PQstatus(pg) != CONNECTION_OK) bench::Die(std::string("postgresql: ") + PQerrorMessage(pg));
        CopyToServer(conn, pg);
        PQfinish(pg);
        std::vector<std::string> onServer = {client, "summary-all", "--db", pgUri, "--period", bench::kPeriod,
                                             "--out-dir", (dir / "pg").string(), "--jobs", "1"};
        RunChild(onServer);   // the change log's first batch, and warm caches
        double one = 1e300, two = 1e300;
        for (int round = 0; round < 2; ++round) {
            onServer.back() = "1";
            one = std::min(one, RunChild(onServer).seconds);
            onServer.back() = "2";
            two = std::min(two, RunChild(onServer).seconds);
        }
        std::printf("postgresql summary-all --jobs 2 / --jobs 1      %.2f  (target <= 0.7)\n", two / one);
    }
    sqlite3_close(conn);
    std::filesystem::remove_all(dir);
    return 0;
}

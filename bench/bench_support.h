// What every benchmark shares: the taxpayer and period it measures, failing loudly, timers, and
// the host context the module is called in (the test fixture's, without gtest).
#pragma once

#include "bench/bench_timing.h"
#include "corlith/corlith_test.h"
#include "tests/support/host_session.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace bench {

inline constexpr const char* kCompany = "91110000MA001BENCH";
inline constexpr const char* kPeriod = "202611";
inline constexpr const char* kConnection = testhost::kConnection;

using Clock = std::chrono::steady_clock;

[[noreturn]] inline void Die(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

inline double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Time(const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    return Seconds(start);
}

// The best wall time and the best processor time of the process over several runs of one
// side: wall time is what a user waits, writing the pages out included; processor time is what
// other load on the machine disturbs least.
struct TCost {
    double wall = 1e300, cpu = 1e300;
};

inline double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline void Measure(TCost& best, const std::function<void()>& work) {
    const double cpu = CpuNow();
    const double wall = Time(work);
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, CpuNow() - cpu);
}

// A SQLite call that failed ends the run.
inline void Check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) Die(std::string(what) + ": " + sqlite3_errmsg(db));
}

// A floor's own connection to the file, set up as the host sets up its connections, so that
// both sides run the same engine.
inline sqlite3* OpenFloor(const std::string& file, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX) {
    sqlite3* db = nullptr;
    Check(db, sqlite3_open_v2(file.c_str(), &db, flags, nullptr), "open");
    Check(db, sqlite3_exec(db, corlith::test::SqliteSettings(), nullptr, nullptr, nullptr), "settings");
    return db;
}

// The module's host in `dir`: its folders, the benchmark's taxpayer and period, and a catalogue
// in which the module's form is found.
inline void SetUpHost(const std::filesystem::path& dir, const std::string& jbxx = {}) {
    testhost::ConfigureHost(dir.string() + "/", dir.string() + "/");
    testhost::SetTaxpayer(kCompany, kPeriod, jbxx);
    testhost::InstallCatalogue();
}

// Binds the module's connection to a SQLite file or server URI and completes its schema.
inline void OpenDatabase(const std::string& target) {
    std::string error;
    if (!corlith::BindConnection(kConnection, target, error) || !corlith::CreateSchema(kConnection, "07", error))
        Die(corlith::GbkToUtf8(error));
}

}  // namespace bench

// A register of n invoices of one taxpayer and period in a table that holds `others` times as
// many rows of other periods and taxpayers, interleaved as a register grows over the years; the
// process's resident memory. Registers are made through the host library's schema (so with its
// indexes) and kept between runs in $VANTREL_BENCH_DATA (default /var/tmp/vantrel-bench): a
// 10^7-row table takes minutes.
#pragma once

#include "bench/bench_support.h"
#include "corlith/corlith_host.h"

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace bench {

inline std::filesystem::path DataFolder() {
    const char* env = std::getenv("VANTREL_BENCH_DATA");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path("/var/tmp/vantrel-bench");
}

// The product's schema, created or completed the way the client does at start.
inline void MakeSchema(const std::string& file) {
    std::string error;
    const std::string maker = "BenchRegisterMaker";
    if (!corlith::BindConnection(maker, file, error) || !corlith::CreateSchema(maker, "07", error)) Die(error);
    corlith::CloseConnections();
}

// One row of the invoice table as the fillers write it (txsj 2026-11-30, no file name).
struct TRegisterRow {
    std::string nsrsbh, sbssq, kprq, gfnsr = " ";
    long long xh = 0;
    int fplx = 1, fs = 1, sl = 13;
    double je = 0, se = 0;
    int jzjt = 0, lwfp = 0, ms = 0, zfbz = 0;
};

// Rows written through one prepared insert, in one transaction from construction to Commit.
class TRowInserter {
public:
    explicit TRowInserter(sqlite3* db) : db_(db) {
        Check(db_, sqlite3_exec(db_, "begin", nullptr, nullptr, nullptr), "begin");
        Check(db_, sqlite3_prepare_v2(db_,
                                      "insert into sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,"
                                      "ms,zfbz,sbwjm) values (?,?,?,?,'2026-11-30',?,?,?,?,?,?,?,?,?,?,'')",
                                      -1, &insert_, nullptr),
              "prepare");
    }
    TRowInserter(const TRowInserter&) = delete;
    TRowInserter& operator=(const TRowInserter&) = delete;
    ~TRowInserter() { sqlite3_finalize(insert_); }

    void Add(const TRegisterRow& r) {
        sqlite3_bind_text(insert_, 1, r.nsrsbh.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert_, 2, r.sbssq.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert_, 3, r.xh);
        sqlite3_bind_int(insert_, 4, r.fplx);
        sqlite3_bind_text(insert_, 5, r.kprq.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert_, 6, r.fs);
        sqlite3_bind_double(insert_, 7, r.je);
        sqlite3_bind_double(insert_, 8, r.se);
        sqlite3_bind_int(insert_, 9, r.sl);
        sqlite3_bind_text(insert_, 10, r.gfnsr.c_str(), -1, SQLITE_TRANSIENT);
        const int flags[] = {r.jzjt, r.lwfp, r.ms, r.zfbz};
        for (int f = 0; f < 4; ++f) sqlite3_bind_int(insert_, 11 + f, flags[f]);
        Check(db_, sqlite3_step(insert_), "insert");
        sqlite3_reset(insert_);
    }

    void Commit() { Check(db_, sqlite3_exec(db_, "commit", nullptr, nullptr, nullptr), "commit"); }

private:
    sqlite3* db_;
    sqlite3_stmt* insert_ = nullptr;
};

// Rows of other taxpayers and periods, then ours every (others + 1)-th row.
inline void FillRegister(const std::string& file, long long n, int others) {
    MakeSchema(file);
    sqlite3* db = nullptr;
    Check(db, sqlite3_open(file.c_str(), &db), "open");
    // The invoice indexes are built once after the fill: one sort each instead of 10^7 random
    // inserts into B-trees that do not fit the page cache.
    Check(db, sqlite3_exec(db, "drop index if exists ix_sb07_xxfpb_flags; drop index if exists ix_sb07_xxfpb_types",
                           nullptr, nullptr, nullptr),
          "drop index");
    Check(db, sqlite3_exec(db, "pragma journal_mode=off; pragma synchronous=off; pragma cache_size=-1048576",
                           nullptr, nullptr, nullptr),
          "pragma");
    std::mt19937_64 gen(776531);
    const char* taxpayers[] = {"91110000MA002OTHER", "91110000MA003OTHER", "91110000MA004OTHER", kCompany};
    const char* periods[] = {"202608", "202609", "202610", "202611", "202612"};
    const int types[] = {1, 1, 1, 2, 3, 5, 9};          // 9: a type without a name
    const int rates[] = {17, 17, 13, 13, 6, 4, 0, 3};
    const long long total = n * (others + 1);
    long long ownXh = 0, otherXh = 0;
    TRowInserter insert(db);
    TRegisterRow r;
    for (long long i = 0; i < total; ++i) {
        const bool own = i % (others + 1) == others;
        const char* taxpayer = own ? kCompany : taxpayers[gen() % 4];
        const char* period = own ? kPeriod : periods[gen() % 5];
        if (!own && std::string(taxpayer) == kCompany && std::string(period) == kPeriod) period = periods[0];
        char date[16];
        std::snprintf(date, sizeof date, "%.4s-%.2s-%02u", period, period + 4, static_cast<unsigned>(1 + gen() % 28));
        r.gfnsr = " ";
        if (gen() % 10) {
            r.gfnsr = "9111";
            for (int k = 0; k < 14; ++k) r.gfnsr += static_cast<char>('0' + gen() % 10);
            if (gen() % 7 == 0) r.gfnsr[10] = static_cast<char>('A' + gen() % 26);
        }
        r.sl = rates[gen() % 8];
        r.je = static_cast<double>(gen() % 100000000) / 100.0;
        r.nsrsbh = taxpayer;
        r.sbssq = period;
        r.xh = own ? ++ownXh : ++otherXh;
        r.fplx = types[gen() % 7];
        r.kprq = date;
        r.fs = static_cast<int>(1 + gen() % 50);
        r.se = static_cast<double>(static_cast<long long>(r.je * r.sl)) / 100.0;
        for (int* flag : {&r.jzjt, &r.lwfp, &r.ms, &r.zfbz}) *flag = gen() % 20 == 0 ? 1 : 0;
        insert.Add(r);
    }
    insert.Commit();
    sqlite3_close(db);
    MakeSchema(file);
}

// The register's file, made on first use.
inline std::string Register(long long n, int others) {
    const std::filesystem::path folder = DataFolder();
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / ("register-v1-" + std::to_string(n) + "x" + std::to_string(others) + ".db");
    if (!std::filesystem::exists(file)) {
        std::fprintf(stderr, "making %s ...\n", file.c_str());
        const std::filesystem::path partial = file.string() + ".partial";
        std::filesystem::remove(partial);
        FillRegister(partial.string(), n, others);
        std::filesystem::rename(partial, file);
    } else {
        // Databases made before the schema gained an index get it the way the client adds it.
        MakeSchema(file.string());
    }
    return file.string();
}

// The floor of a list read: the statement (GBK) stepped on its own connection, every column
// read by its type.
inline int ReadDirectly(sqlite3* db, const std::string& gbkSql) {
    const std::string sql = corlith::GbkToUtf8(gbkSql);
    sqlite3_stmt* stmt = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr), "prepare");
    int rows = 0;
    int64_t checksum = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++rows;
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER: checksum += sqlite3_column_int64(stmt, i); break;
            case SQLITE_FLOAT: checksum += static_cast<int64_t>(sqlite3_column_double(stmt, i)); break;
            case SQLITE_NULL: break;
            default: checksum += sqlite3_column_bytes(stmt, i) + (sqlite3_column_text(stmt, i) ? 1 : 0);
            }
        }
    }
    sqlite3_finalize(stmt);
    return rows + static_cast<int>(checksum & 0);
}

// Reads the whole file once, so that every page of it is in the system's cache: "warm" then
// holds for whatever a statement reads, not only for the pages the floor's own run touched.
inline void WarmFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

// Resident set size now and at its peak since the last ResetPeakResident, in bytes.
inline long long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::char_traits<char>::length(field)) * 1024;
    return -1;
}
inline long long ResidentBytes() { return StatusKilobytes("VmRSS:"); }
inline long long PeakResidentBytes() { return StatusKilobytes("VmHWM:"); }
inline bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return clear.good() && PeakResidentBytes() <= ResidentBytes() + 64 * 1024;
}

}  // namespace bench

// A temporary host for tests: its own folder, a real database (SQLite, or PostgreSQL when the
// program runs on the server) bound to the module's
// connection, the schema, a current taxpayer and period, and a declaration catalogue in which
// the module's form is found. Messages are recorded instead of shown.
#pragma once

#include "corlith/corlith_host.h"
#include "corlith/corlith_test.h"
#include "host_session.h"
#include "test_database.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>

namespace testhost {

inline constexpr const char* kCompany = "91110000MA001TEST";
inline constexpr const char* kPeriod = "202611";

// The taxpayer header the fixture's company particulars give, with the period dates and the
// declaration date (yyyyMMdd; empty means today).
std::string FixtureHeader(const std::string& start, const std::string& end, std::string today = std::string());

// Creates the QApplication (offscreen) the first time a window test needs one.
void EnsureApplication();

// Starts a program (the client, or a tool that reads its output) in `dir` on the offscreen
// platform, with the module found where the client finds it by itself.
void StartProgram(QProcess& process, const QString& program, const QStringList& args, const QString& dir);

struct InvoiceRow {
    std::string nsrsbh = kCompany;
    std::string sbssq = kPeriod;
    int xh = 1;
    int fplx = 1;
    std::string kprq = "2026-11-10";
    long long fs = 1;
    double je = 100.0;
    double se = 17.0;
    int sl = 17;
    std::string gfnsr = " ";
    int jzjt = 0, lwfp = 0, ms = 0, zfbz = 0;
};

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a statement straight through the host library; fails the test on error.
    void Exec(const std::string& sql);
    // First column of the first row as text / integer.
    std::string QueryText(const std::string& sql);
    long long QueryInt(const std::string& sql);
    void InsertInvoice(const InvoiceRow& row);
    // The module's connection takes no more writes, as on a read-only database.
    void MakeConnectionReadOnly();
    // An ordinary invoice of `je` at 17 % issued on the 10th of `period` (yyyyMM).
    static InvoiceRow PeriodInvoice(const std::string& period, int xh, double je);
    // Replaces the catalogue with one kind holding the module's form.
    void SetCatalogue(int periodKind, bool kindRestricted = false, bool formRestricted = false,
                      bool declaredEditable = false);

    std::filesystem::path dir_;       // the test's own folder
    std::filesystem::path subAppDir_; // dir_/sub/ (fp_config.ini, Temp/...)
    std::filesystem::path dbFile_;    // the SQLite file (unused on the server)
    std::unique_ptr<TestDatabase> db_;
    std::string dbTarget_;            // what the connection is bound to: the file or the URI
};

}  // namespace testhost

// A temporary host for tests: its own folder, a real database (SQLite, or PostgreSQL when the
// program runs on the server) bound to the module's
// connection, the schema, a current taxpayer and period, and a declaration catalogue in which
// the module's form is found. Messages are recorded instead of shown.
#pragma once

#include "corlith/corlith_host.h"
#include "corlith/corlith_test.h"
#include "host/f_ModuleContext.h"
#include "host_session.h"
#include "test_database.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace testhost {

inline constexpr const char* kCompany = "91110000MA001TEST";
inline constexpr const char* kPeriod = "202611";

// The taxpayer header the fixture's company particulars give, with the period dates and the
// declaration date (yyyyMMdd; empty means today).
std::string FixtureHeader(const std::string& start, const std::string& end, std::string today = std::string());

// Stops the host's clock at dateTime ("yyyy-MM-dd[ hh:mm:ss]") while it lives; then the
// clock is as it was (the run's VANTREL_TEST_CLOCK, or running).
class ClockAt {
public:
    explicit ClockAt(const std::string& dateTime);
    ~ClockAt();
    ClockAt(const ClockAt&) = delete;
    ClockAt& operator=(const ClockAt&) = delete;

private:
    std::string previous_;
};

// The host's context (as the module reads it) with another taxpayer and period.
vantrel::TModuleContext ContextFor(std::string taxpayer = kCompany, std::string period = kPeriod);

// The host's date: what the product reads as today.
QDate Today();

// The window's control of that object name: how tests reach controls. A missing one fails the
// test (and gives nullptr).
template <class T>
T* Control(const QObject* window, const QString& name) {
    T* control = window->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << "no control " << name.toStdString();
    return control;
}

// Creates the QApplication (offscreen) the first time a window test needs one.
void EnsureApplication();

// Starts a program (the client, or a tool that reads its output) in `dir` on the offscreen
// platform, with the module found where the client finds it by itself and the host's clock
// as this program has it.
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

// A random register (xh 1..rows) with every type, rate and flag, amounts in whole cents, some
// negative, and buyers or none; a sixth of the rows belong to another taxpayer and a sixth to
// 202610 or 202612. An importable one keeps to what an import accepts: this taxpayer and period,
// the configured rates, the tax within a cent of amount × rate, counts only where a type takes
// them, no voided 未开具发票.
std::vector<InvoiceRow> RandomRegister(std::mt19937& gen, int rows, bool importable = false);
// The insert of one row into sb07_xxfpb.
std::string InvoiceInsertSql(const InvoiceRow& row);

// The statement log (and its statements only) without what the change log and the table of
// sources run beside each write: the register's own statements, as they were before them.
std::vector<std::string> RegisterStatementLog();
std::vector<std::string> RegisterStatementsOnly();

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a statement straight through the host library; fails the test on error.
    void Exec(const std::string& sql);
    // First column of the first row as text / integer.
    std::string QueryText(const std::string& sql);
    long long QueryInt(const std::string& sql);
    void InsertInvoice(const InvoiceRow& row, const char* connection = kConnection);
    // The module's connection takes no more writes, as on a read-only database.
    void MakeConnectionReadOnly();
    // An ordinary invoice of `je` at 17 % issued on the 10th of `period` (yyyyMM).
    static InvoiceRow PeriodInvoice(const std::string& period, int xh, double je);
    // A return of the module's form in batch sbpc with declaration state sbbz and audit result;
    // the statement log is cleared after it.
    void AddReturn(int sbbz, const std::string& audit = "0", int sbpc = 1, const std::string& nsrsbh = kCompany,
                   const std::string& form = kFormCode, const std::string& period = kPeriod);
    // The period's return declared successfully: the module refuses every change to it.
    void DeclareThePeriod(const std::string& period = kPeriod) { AddReturn(3, "0", 1, kCompany, kFormCode, period); }
    // Makes the month before the host's today (an ended one, any of whose days may be entered)
    // the current period, and returns it as yyyyMM.
    std::string UsePreviousMonth();
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

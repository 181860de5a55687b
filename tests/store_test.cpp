// The invoice store and the host transaction on a real database, without any window: the
// program never creates a QApplication.
#include "support/fault_steps.h"
#include "support/host_fixture.h"

#include "host/f_HostTransaction.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceSource.h"
#include "invoice/f_InvoiceStore.h"
#include "context/f_ModuleContext.h"
#include "report/f_DealReportImpl.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using corlith::test::FailPoint;
using testhost::kCompany;
using testhost::kConnection;
using testhost::kPeriod;

// Records owned by a test, in a list the way the windows hold them.
struct RecordSet {
    std::vector<std::unique_ptr<Txxqtfpxx>> storage;
    std::vector<Txxqtfpxx*> list;

    Txxqtfpxx* Add(int xh, double je, double se = 0, const std::string& zfbz = "0") {
        storage.push_back(std::make_unique<Txxqtfpxx>());
        Txxqtfpxx* r = storage.back().get();
        r->xh = xh;
        r->je = je;
        r->se = se;
        r->zfbz = zfbz;
        list.push_back(r);
        return r;
    }
};

class StoreTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
    }
    void TearDown() override {
        FreeInvoiceList(loaded_);
        HostFixture::TearDown();
    }

    static Txxqtfpxx Entry(int xh, double je) {
        Txxqtfpxx r = vantrel::MakeInvoiceTemplate(xh, kPeriod, "2026-11-30");
        r.fplx = "1";
        r.fs = 1;
        r.je = je;
        r.se = je * 0.17;
        r.gfnsr = " ";
        r.ms = r.zfbz = r.jzjt = "0";
        r.sbssq = kPeriod;
        return r;
    }

    std::string Rows() {
        return QueryText("select coalesce(group_concat(r, ';'), '') from (select xh||':'||je as r from sb07_xxfpb"
                         " where nsrsbh='" + std::string(kCompany) + "' order by xh) as t");
    }
    long long Marks() { return QueryInt("select count(*) from SB07_FPTXQKB"); }

    std::vector<Txxqtfpxx*> loaded_;
};

}  // namespace

// ---- the transaction -----------------------------------------------------------------------

TEST_F(StoreTest, TransactionRollsBackUnlessCommittedAndNeverStaysOpen) {
    std::string error;
    {
        THostTransaction t(kConnection, error);
        ASSERT_TRUE(t.Active()) << error;
        Exec("insert into sb07_fplxb (fplx, mc) values (8, 'a')");
        EXPECT_TRUE(corlith::test::InTransaction(kConnection));
    }
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
    EXPECT_EQ(QueryInt("select count(*) from sb07_fplxb where fplx=8"), 0);

    {
        THostTransaction t(kConnection, error);
        Exec("insert into sb07_fplxb (fplx, mc) values (8, 'a')");
        ASSERT_TRUE(t.Commit(error)) << error;
        EXPECT_FALSE(t.Commit(error));  // nothing left to commit
    }
    EXPECT_EQ(QueryInt("select count(*) from sb07_fplxb where fplx=8"), 1);

    corlith::test::ClearStatementLog();
    corlith::test::FailAt(FailPoint::Begin, 1, "no begin");
    {
        THostTransaction t(kConnection, error);
        EXPECT_FALSE(t.Active());
        EXPECT_EQ(error, "no begin");
        EXPECT_FALSE(t.Commit(error));
    }
    // A transaction that never began rolls nothing back.
    EXPECT_EQ(std::count(corlith::test::StatementLog().begin(), corlith::test::StatementLog().end(), "ROLLBACK"), 0);

    corlith::test::FailAt(FailPoint::Commit, 1, "no commit");
    {
        THostTransaction t(kConnection, error);
        Exec("insert into sb07_fplxb (fplx, mc) values (9, 'b')");
        EXPECT_FALSE(t.Commit(error));
        EXPECT_EQ(error, "no commit");
    }
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
    EXPECT_EQ(QueryInt("select count(*) from sb07_fplxb where fplx=9"), 0);
}

TEST_F(StoreTest, AnExceptionLeavingTheScopeRollsBack) {
    std::string error;
    try {
        THostTransaction t(kConnection, error);
        Exec("insert into sb07_fplxb (fplx, mc) values (8, 'a')");
        throw std::runtime_error("lower layer");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
    EXPECT_EQ(QueryInt("select count(*) from sb07_fplxb where fplx=8"), 0);
}

// ---- statistics and numbers ------------------------------------------------------------------

TEST(InvoiceStatistics, VoidedAndOtherInvoicesSumInFixedPoint) {
    RecordSet set;
    set.Add(1, 100.00, 17.00, "1");
    set.Add(2, 200.00, 34.00);
    set.Add(3, 50.50, 8.59)->fs = 5;  // still one invoice
    set.list.push_back(nullptr);      // a hole counts for nothing
    const vantrel::TInvoiceStatistics s = vantrel::ComputeStatistics(set.list);
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.amount, 2505000);
    EXPECT_EQ(s.tax, 425900);
    EXPECT_EQ(s.voidCount, 1);
    EXPECT_EQ(s.voidAmount, 1000000);
    EXPECT_EQ(s.voidTax, 170000);

    // Ten times 0.1 is exactly 1.00 in fixed point, not 0.9999999.
    RecordSet tenths;
    for (int i = 0; i < 10; ++i) tenths.Add(i + 1, 0.1);
    EXPECT_EQ(vantrel::ComputeStatistics(tenths.list).amount, 10000);
}

TEST(InvoiceNumbers, NextAfterTheLargestAndNeverPastTheLimit) {
    RecordSet set;
    EXPECT_EQ(vantrel::NextXhAfter(set.list), 1);
    set.Add(4, 0);
    set.Add(9, 0);
    set.Add(2, 0);
    EXPECT_EQ(vantrel::NextXhAfter(set.list), 10);
    set.Add(INT32_MAX, 0);
    EXPECT_EQ(vantrel::NextXhAfter(set.list), INT32_MAX);
}

TEST_F(StoreTest, NextFreeNumberComesFromTheDatabaseAndQuotesTheTaxpayer) {
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor());
    int32_t next = 0;
    ASSERT_TRUE(store.NextFreeXh(next).Ok());
    EXPECT_EQ(next, 1);
    InsertInvoice({.xh = 7});
    InsertInvoice({.sbssq = "202610", .xh = 40});
    ASSERT_TRUE(store.NextFreeXh(next).Ok());
    EXPECT_EQ(next, 8);
    EXPECT_EQ(corlith::test::StatementsOnly().back(),
              "select max(xh) as maxxh from sb07_xxfpb where nsrsbh='91110000MA001TEST' and sbssq='202611'");

    InsertInvoice({.nsrsbh = "A'B", .xh = 3});
    const vantrel::TInvoiceStore quoted = vantrel::ModuleInvoiceStore(testhost::ContextFor("A'B"));
    ASSERT_TRUE(quoted.NextFreeXh(next).Ok()) << corlith::test::StatementsOnly().back();
    EXPECT_EQ(next, 4);
}

// ---- list ------------------------------------------------------------------------------------

TEST_F(StoreTest, ListAppendsThePeriodsRecordsAndFilters) {
    InsertInvoice({.xh = 1, .fplx = 3, .gfnsr = "110X"});
    InsertInvoice({.xh = 2, .fplx = 9});
    InsertInvoice({.sbssq = "202610", .xh = 3});
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor());
    RecordSet held;
    held.Add(77, 1);
    loaded_.push_back(held.list[0]);
    ASSERT_TRUE(store.LoadList("", "", loaded_).Ok());
    ASSERT_EQ(loaded_.size(), 3u);
    EXPECT_EQ(loaded_[0], held.list[0]);
    loaded_.erase(loaded_.begin());  // not the list's to free
    ASSERT_EQ(loaded_.size(), 2u);
    EXPECT_EQ(loaded_[0]->fplxmc, "未开具发票");
    EXPECT_EQ(loaded_[1]->fplxmc, "未知发票");

    FreeInvoiceList(loaded_);
    ASSERT_TRUE(store.LoadList("9", "", loaded_).Ok());
    ASSERT_EQ(loaded_.size(), 1u);
    EXPECT_EQ(loaded_[0]->xh, 2);
    FreeInvoiceList(loaded_);
    ASSERT_TRUE(store.LoadList("", "10", loaded_).Ok());
    ASSERT_EQ(loaded_.size(), 1u);
    EXPECT_EQ(loaded_[0]->xh, 1);
}

TEST_F(StoreTest, AFailedListReadSaysSoAndAddsNothing) {
    InsertInvoice({.xh = 1});
    corlith::test::FailAt(FailPoint::Statement, 1, "no read", "select distinct");
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).LoadList("", "", loaded_);
    EXPECT_EQ(result.failure, vantrel::TStoreFailure::Statement);
    EXPECT_EQ(result.error, "no read");
    EXPECT_TRUE(loaded_.empty());
}

// ---- writes ----------------------------------------------------------------------------------

TEST_F(StoreTest, InsertWritesRowAndMarkInOneTransaction) {
    Txxqtfpxx r = Entry(1, 100);
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).Insert(r);
    ASSERT_TRUE(result.Ok()) << result.error;
    const std::vector<std::string> log = testhost::RegisterStatementLog();
    EXPECT_EQ(r.xh, 1);
    EXPECT_EQ(Rows(), "1:100");
    EXPECT_EQ(Marks(), 1);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "BEGIN");
    const std::string day = testhost::OnServer() ? "DATE '2026-11-" : "'2026-11-";
    EXPECT_EQ(log[1], " insert into sb07_xxfpb(fplx,txsj,kprq,fs,je,se,sl,nsrsbh,gfnsr,jzjt,lwfp,ms,zfbz,sbssq,xh,sbwjm) "
                      " values ('1'," + day + "30'," + day + "10',1,100,17,17, '91110000MA001TEST',' ',0,0,0,0,'202611',1,'')");
    EXPECT_NE(log[2].find("SB07_FPTXQKB"), std::string::npos);
    EXPECT_EQ(log[3], "POST SB07_FPTXQKB");
    EXPECT_EQ(log[4], "COMMIT");
}

TEST_F(StoreTest, ANumberTakenMeanwhileMovesToTheNextFreeOneInAFreshTransaction) {
    InsertInvoice({.xh = 1, .je = 10});
    InsertInvoice({.xh = 2, .je = 20});  // another window saved this one after ours read the list
    Txxqtfpxx r = Entry(2, 300);
    corlith::test::ClearStatementLog();
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).Insert(r);
    const std::vector<std::string> log = testhost::RegisterStatementLog();
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(r.xh, 3);
    EXPECT_EQ(Rows(), "1:10;2:20;3:300");
    EXPECT_EQ(Marks(), 1);
    // The failed insert's transaction ends before the next begins: an engine that aborts the
    // transaction on a failed statement gets a clean one.
    std::vector<std::string> steps;
    for (const std::string& entry : log)
        steps.push_back(entry.rfind(" insert into", 0) == 0 ? "insert" : entry.substr(0, 16));
    EXPECT_EQ(steps, (std::vector<std::string>{"BEGIN", "insert", "ROLLBACK", "select max(xh) a", "BEGIN", "insert",
                                               "SELECT NSRSBH,KJ", "POST SB07_FPTXQK", "COMMIT"}));
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
}

TEST_F(StoreTest, AClashForATaxpayerWithAQuoteStillFindsTheNextNumber) {
    InsertInvoice({.nsrsbh = "A'B", .xh = 5});
    Txxqtfpxx r = Entry(5, 50);
    ASSERT_TRUE(vantrel::TInvoiceStore(testhost::ContextFor("A'B"), {}).Insert(r).Ok());
    EXPECT_EQ(r.xh, 6);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb where nsrsbh='A''B'"), 2);
}

TEST_F(StoreTest, ARefusalThatIsNoClashKeepsTheNumberAndIsNotRetried) {
    // A larger number stored elsewhere in the period is no reason to move a number that is free.
    for (const std::vector<int>& stored : {std::vector<int>{1}, std::vector<int>{1, 7}}) {
        Exec("delete from sb07_xxfpb");
        for (int xh : stored) InsertInvoice({.xh = xh});
        Txxqtfpxx r = Entry(2, 100);
        corlith::test::ClearStatementLog();
        corlith::test::FailAt(FailPoint::Statement, 1, "disk full", "insert into");
        const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).Insert(r);
        EXPECT_EQ(result.failure, vantrel::TStoreFailure::Statement);
        EXPECT_EQ(result.error, "disk full");
        EXPECT_EQ(r.xh, 2);
        EXPECT_EQ(testhost::RegisterStatementsOnly().size(), 2u);  // the insert and the number lookup
        EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), static_cast<long long>(stored.size()));
        EXPECT_EQ(Marks(), 0);
        corlith::test::ClearFailures();
    }
}

TEST_F(StoreTest, UpdateOfAVanishedInvoiceFailsAndWritesNothing) {
    InsertInvoice({.xh = 1});
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor());
    Txxqtfpxx r = Entry(1, 500);
    ASSERT_TRUE(store.Update(r).Ok());
    EXPECT_EQ(Rows(), "1:500");
    EXPECT_EQ(Marks(), 1);

    Exec("delete from SB07_FPTXQKB");
    Exec("delete from sb07_xxfpb");  // another window deleted it
    const vantrel::TStoreOutcome gone = store.Update(r);
    EXPECT_EQ(gone.failure, vantrel::TStoreFailure::NoRow);
    EXPECT_EQ(corlith::test::StatementLog().back(), "ROLLBACK");
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(Marks(), 0);
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
}

TEST_F(StoreTest, DeleteRunsGroupsLastFirstEachWithItsMark) {
    for (int xh = 1; xh <= 25; ++xh) InsertInvoice({.xh = xh, .je = static_cast<double>(xh)});
    InsertInvoice({.nsrsbh = "OTHER", .xh = 3});
    InsertInvoice({.sbssq = "202610", .xh = 4});
    corlith::test::ClearStatementLog();
    std::vector<int32_t> xhs;
    for (int xh = 25; xh >= 3; --xh) xhs.push_back(xh);  // 23 numbers in display order
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).Delete(xhs);
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(Rows(), "1:1;2:2;4:100");  // 4 of another period stays
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb where nsrsbh='OTHER'"), 1);

    // Groups of ten in display order, run last group first.
    const auto group = [](int from, int to) {
        std::string sql = "delete from sb07_xxfpb where  nsrsbh= '91110000MA001TEST' and sbssq= '202611' and ((1=0)";
        for (int xh = from; xh >= to; --xh) sql += " or (xh=" + std::to_string(xh) + ")";
        return sql + ")";
    };
    std::vector<std::string> deletes;
    int marks = 0;
    for (const std::string& sql : corlith::test::StatementsOnly()) {
        if (sql.rfind("delete", 0) == 0) deletes.push_back(sql);
        if (sql.find("SB07_FPTXQKB") != std::string::npos) ++marks;
    }
    EXPECT_EQ(deletes, (std::vector<std::string>{group(5, 3), group(15, 6), group(25, 16)}));
    EXPECT_EQ(marks, 3);
}

TEST_F(StoreTest, DeletingAVanishedInvoiceDeletesNothing) {
    for (int xh = 1; xh <= 12; ++xh) InsertInvoice({.xh = xh});
    Exec("delete from sb07_xxfpb where xh=2");  // another window got there first
    std::vector<int32_t> xhs;
    for (int xh = 1; xh <= 12; ++xh) xhs.push_back(xh);
    const vantrel::TStoreOutcome result = vantrel::ModuleInvoiceStore(testhost::ContextFor()).Delete(xhs);
    EXPECT_EQ(result.failure, vantrel::TStoreFailure::NoRow);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 11);
    EXPECT_EQ(Marks(), 0);
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
}

TEST_F(StoreTest, SourcesAreReadByPeriodFoundInAnyPeriodAndGoWithTheirRows) {
    using vantrel::TInvoiceSource;
    for (int xh = 1; xh <= 3; ++xh) InsertInvoice({.xh = xh});
    InsertInvoice({.sbssq = "202610", .xh = 1});
    InsertInvoice({.nsrsbh = "OTHER", .xh = 1});
    std::string error;
    const auto write = [&](const std::string& taxpayer, const std::string& period, std::vector<TInvoiceSource> rows) {
        ASSERT_TRUE(vantrel::WriteInvoiceSources(testhost::ContextFor(taxpayer, period), period, rows, error)) << error;
    };
    // Rows 1 and 2 are the two rates of one invoice; the other period and taxpayer each have one.
    write(kCompany, kPeriod, {{1, "0001", "a.xml", "aa"}, {2, "0001", "a.xml", "aa"}, {3, "O'2", "b.xml", "bb"}});
    write(kCompany, "202610", {{1, "0003", "c.ofd", "cc"}});
    write("OTHER", kPeriod, {{1, "0004", "d.xml", "dd"}});
    const vantrel::TModuleContext context = testhost::ContextFor();
    EXPECT_EQ(vantrel::ReadInvoiceNumbers(context, kPeriod),
              (std::map<int, std::string>{{1, "0001"}, {2, "0001"}, {3, "O'2"}}));
    EXPECT_EQ(vantrel::ReadInvoiceNumbers(context, "202610"), (std::map<int, std::string>{{1, "0003"}}));

    std::map<std::string, vantrel::TStoredInvoice> found;
    ASSERT_TRUE(vantrel::FindStoredInvoiceNumbers(context, {"0003", "0004", "O'2", "0009"}, found, error)) << error;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found["0003"].period, "202610");
    EXPECT_EQ(found["O'2"].xh, 3);

    // A delete whose sources cannot go keeps its rows and their sources.
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(context);
    testhost::ArmFault(testhost::StatementStep("Sources", 1, "DELETE FROM sb07_fply "));
    EXPECT_EQ(store.Delete({2, 3}).failure, vantrel::TStoreFailure::Statement);
    corlith::test::ClearFailures();
    EXPECT_EQ(vantrel::ReadInvoiceNumbers(context, kPeriod).size(), 3u);
    ASSERT_TRUE(store.Delete({2, 3}).Ok());
    EXPECT_EQ(Rows(), "1:100;1:100");  // one of each period
    EXPECT_EQ(vantrel::ReadInvoiceNumbers(context, kPeriod), (std::map<int, std::string>{{1, "0001"}}));
    EXPECT_EQ(QueryInt("select count(*) from sb07_fply"), 3);
}

// Each step with the failure the store reports; a statement step holding "*" fails at each
// write's own statement.
using WriteFault = testhost::FaultCase<vantrel::TStoreFailure>;
class StoreFaultTest : public StoreTest, public ::testing::WithParamInterface<WriteFault> {};

TEST_P(StoreFaultTest, EveryFailedStepReportsItselfAndLeavesNothing) {
    const WriteFault& fault = GetParam();
    InsertInvoice({.xh = 1, .je = 10});
    InsertInvoice({.xh = 2, .je = 20});
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor());
    const auto expectUntouched = [&](const vantrel::TStoreOutcome& result, const char* what) {
        EXPECT_EQ(result.failure, fault.expected) << what;
        EXPECT_EQ(result.error, "injected") << what;
        EXPECT_EQ(Rows(), "1:10;2:20") << what;
        EXPECT_EQ(Marks(), 0) << what;
        EXPECT_EQ(QueryInt("select count(*) from sb07_bgjl"), 0) << what;
        EXPECT_FALSE(corlith::test::InTransaction(kConnection)) << what;
        corlith::test::ClearFailures();
    };
    const auto arm = [&](const char* statement) {
        testhost::ArmFault(fault.step, fault.step.containing[0] == '*' ? statement : fault.step.containing);
    };

    Txxqtfpxx added = Entry(3, 30);
    arm("insert into");
    expectUntouched(store.Insert(added), "insert");
    EXPECT_EQ(added.xh, 3);
    Txxqtfpxx changed = Entry(2, 99);
    arm("update ");
    expectUntouched(store.Update(changed), "update");
    arm("delete from");
    expectUntouched(store.Delete({1, 2}), "delete");
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StoreFaultTest,
                         ::testing::Values(WriteFault{testhost::kBeginStep, vantrel::TStoreFailure::Begin},
                                           WriteFault{testhost::StatementStep("Statement", 1, "*"),
                                                      vantrel::TStoreFailure::Statement},
                                           WriteFault{testhost::StatementStep("LogEntry", 1, "INSERT INTO sb07_bgjl "),
                                                      vantrel::TStoreFailure::Statement},
                                           WriteFault{testhost::kMarkSelectStep, vantrel::TStoreFailure::Mark},
                                           WriteFault{testhost::kMarkPostStep, vantrel::TStoreFailure::Mark},
                                           WriteFault{testhost::kCommitStep, vantrel::TStoreFailure::Commit}),
                         testhost::StepName());

// ---- the change log ---------------------------------------------------------------------------

TEST_F(StoreTest, RandomWritesOfEveryKindReplayToTheRegisterAndTamperingIsNamed) {
    std::mt19937 gen(20261208);
    // Rows stored before the log: the first write starts the chain with them.
    for (const testhost::InvoiceRow& row : testhost::RandomRegister(gen, 12)) InsertInvoice(row);
    // Their sources follow their rows through deletes, restores under new numbers and undos. Each
    // row carries a mark of its own in sbwjm, which no write but a restore or undo changes, and its
    // source the same mark as invoice number and file hash.
    Exec("update sb07_xxfpb set sbwjm='s'||sbssq||'-'||xh");
    Exec("insert into sb07_fply (nsrsbh,sbssq,xh,fphm,wjm,wjhx) select nsrsbh,sbssq,xh,sbwjm,'f.xml','h'||sbwjm "
         "from sb07_xxfpb");
    const long long sources = QueryInt("select count(*) from sb07_fply");
    const std::vector<std::string> periods = {kPeriod, "202610"};
    long long entries = QueryInt("select count(*) from sb07_xxfpb where nsrsbh='" + std::string(kCompany) + "'");
    const auto stored = [&](const std::string& period) {
        std::vector<int32_t> xhs;
        THostQuery q;
        std::string error;
        EXPECT_TRUE(ExecADOQueryMsg(kConnection, "select xh from sb07_xxfpb where nsrsbh='" + std::string(kCompany) +
                                                     "' and sbssq='" + period + "' order by xh", &q, error, 1, 0));
        for (q.First(); !q.Eof(); q.Next()) xhs.push_back(q.FieldAsInteger("xh"));
        return xhs;
    };
    // The batches written, each with its period; undo takes the last one not yet undone.
    std::vector<std::pair<int64_t, std::string>> written, deletes;
    int undos = 0, restores = 0;
    const auto batchEntries = [](const std::string& period, int64_t batch) {
        std::vector<vantrel::TChangeEntry> found;
        std::string error;
        EXPECT_TRUE(vantrel::ReadBatchEntries(testhost::ContextFor(kCompany, period), batch, found, error)) << error;
        return found;
    };
    for (int step = 0; step < 60; ++step) {
        std::string period = periods[gen() % periods.size()];
        const int kind = step == 0 ? 2 : static_cast<int>(gen() % 7);
        if (kind >= 4 && kind != 6 && deletes.empty()) continue;
        std::size_t which = 0;
        if (kind == 4) {
            which = gen() % deletes.size();
            period = deletes[which].second;
        }
        if (kind == 5 || kind == 6) {
            if (written.empty()) continue;
            which = kind == 5 ? written.size() - 1 : gen() % written.size();
            period = written[which].second;
        }
        const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor(kCompany, period));
        const std::vector<int32_t> xhs = stored(period);
        vantrel::TBatchWatch watch(kCompany);
        Txxqtfpxx r = Entry(0, static_cast<double>(gen() % 100000) / 100);
        r.sbssq = period;
        r.gfnsr = gen() % 2 ? "A\tB'\\N" : "";
        vantrel::TStoreOutcome outcome;
        std::size_t changed = 1;
        switch (kind) {
            case 0:
                ASSERT_TRUE(store.NextFreeXh(r.xh).Ok());
                outcome = store.Insert(r);
                break;
            case 1:
                if (xhs.empty()) continue;
                r.xh = xhs[gen() % xhs.size()];
                outcome = store.Update(r);
                break;
            case 2: {
                std::vector<int32_t> gone;
                for (int32_t xh : xhs)
                    if (gen() % 3 == 0) gone.push_back(xh);
                if (gone.empty()) continue;
                changed = gone.size();
                outcome = store.Delete(gone);
                break;
            }
            case 3: {
                changed = 1 + gen() % 30;
                outcome = store.InsertEach(changed, [&](std::size_t i, Txxqtfpxx& x) {
                    x = r;
                    x.je = static_cast<double>(i) + 0.25;
                }, {}, {vantrel::TChangeKind::Import, "f.csv SHA-256 00"});
                break;
            }
            case 4: {
                // Each row back under its number, or the next free one when that is taken.
                const int64_t batch = deletes[which].first;
                const std::vector<vantrel::TChangeEntry> gone = batchEntries(period, batch);
                std::vector<std::pair<int32_t, int32_t>> numbers;
                outcome = store.Restore(batch, &numbers);
                changed = gone.size();
                restores += outcome.Ok();
                ASSERT_EQ(numbers.size(), changed);
                int32_t next = xhs.empty() ? 1 : xhs.back() + 1;
                for (const vantrel::TChangeEntry& e : gone) next = std::max(next, e.xh + 1);
                for (const auto& [old, now] : numbers)
                    EXPECT_EQ(now, std::binary_search(xhs.begin(), xhs.end(), old) ? next++ : old) << step;
                break;
            }
            default: {
                // A row changed since the batch (by a later batch or a restore) stops the undo,
                // and then nothing is written.
                const int64_t batch = written[which].first;
                const std::vector<vantrel::TChangeEntry> undone = batchEntries(period, batch);
                const std::string before = Rows();
                outcome = store.Undo(batch);
                changed = undone.size();
                if (outcome.failure == vantrel::TStoreFailure::Changed) {
                    EXPECT_EQ(Rows(), before) << step;
                    changed = 0;
                    outcome = {};
                } else if (outcome.Ok()) {
                    written.erase(written.begin() + static_cast<std::ptrdiff_t>(which));
                    ++undos;
                }
            }
        }
        ASSERT_TRUE(outcome.Ok()) << step << ": " << outcome.error;
        entries += static_cast<long long>(changed);
        ASSERT_EQ(QueryInt("select count(*) from sb07_bgjl"), entries) << step;
        ASSERT_EQ(watch.Batches().size(), changed ? 1u : 0u) << step;
        if (changed && kind <= 3) written.emplace_back(watch.Batches().front(), period);
        if (changed && kind == 2) deletes.emplace_back(watch.Batches().front(), period);
    }

    EXPECT_GT(undos, 2);
    EXPECT_GT(restores, 2);
    EXPECT_EQ(QueryInt("select count(*) from sb07_fply s where not exists (select 1 from sb07_xxfpb r where "
                       "r.nsrsbh=s.nsrsbh and r.sbssq=s.sbssq and r.xh=s.xh)"), 0);
    EXPECT_GE(QueryInt("select count(*) from sb07_fply") + QueryInt("select count(*) from sb07_bgjlly"), sources);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb r left join sb07_fply s on r.nsrsbh=s.nsrsbh and "
                       "r.sbssq=s.sbssq and r.xh=s.xh where (r.sbwjm like 's%' or s.xh is not null) and "
                       "(s.xh is null or s.fphm<>r.sbwjm or s.wjhx<>'h'||r.sbwjm)"), 0);

    // Replayed in order, the entries' rows after the change are the register's rows.
    std::map<std::pair<std::string, int>, std::string> replayed;
    THostQuery q;
    std::string error;
    ASSERT_TRUE(ExecADOQueryMsg(kConnection, "select sbssq,xh,hz from sb07_bgjl order by jlxh", &q, error, 1, 0));
    for (q.First(); !q.Eof(); q.Next()) {
        const std::pair<std::string, int> key{q.FieldAsString("sbssq"), q.FieldAsInteger("xh")};
        const std::vector<std::string> after = vantrel::DecodeRow(q.FieldAsString("hz"));
        if (after.empty()) replayed.erase(key);
        else replayed[key] = after[2] + ":" + after[7] + ":" + after[10];
    }
    std::map<std::pair<std::string, int>, std::string> register_;
    ASSERT_TRUE(ExecADOQueryMsg(kConnection, "select sbssq,xh,je,gfnsr from sb07_xxfpb where nsrsbh='" +
                                                 std::string(kCompany) + "'", &q, error, 1, 0));
    for (q.First(); !q.Eof(); q.Next()) {
        char je[32];
        std::snprintf(je, sizeof je, "%.4f", static_cast<double>(q.FieldAsCurrency("je")) / 10000);
        register_[{q.FieldAsString("sbssq"), q.FieldAsInteger("xh")}] =
            q.FieldAsString("xh") + ":" + je + ":" + q.FieldAsString("gfnsr");
    }
    EXPECT_EQ(replayed, register_);

    vantrel::TLogVerdict verdict;
    ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
    EXPECT_TRUE(verdict.whole) << verdict.broken;
    EXPECT_EQ(verdict.entries, entries);
    // The register is read on a second connection first; when that read fails, on the context's.
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "injected", " LEFT JOIN ");
    ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
    EXPECT_TRUE(verdict.whole) << verdict.broken;
    EXPECT_EQ(verdict.entries, entries);

    // Each tampering is named; undone, the log is whole again.
    const long long middle = entries / 2;
    const std::string row = "select sbssq||'/'||xh from sb07_xxfpb where nsrsbh='" + std::string(kCompany) + "' limit 1";
    const std::string victim = QueryText(row);
    const std::string period = victim.substr(0, victim.find('/')), xh = victim.substr(victim.find('/') + 1);
    struct Tampering {
        std::string sql, undo, named;
    } const cases[] = {
        {"update sb07_bgjl set czy='x' where jlxh=" + std::to_string(middle),
         "", "第 " + std::to_string(middle) + " 条记录"},
        {"update sb07_xxfpb set je=je+1 where sbssq='" + period + "' and xh=" + xh, "update sb07_xxfpb set je=je-1 where sbssq='" + period + "' and xh=" + xh,
         "所属期 " + period + " 第 " + xh + " 号发票"},
        {"delete from sb07_bgjl where jlxh=" + std::to_string(entries), "", "第 " + std::to_string(entries) + " 条记录缺失"},
    };
    for (const Tampering& t : cases) {
        const std::string saved = "create table saved as select * from sb07_bgjl";
        Exec(saved);
        Exec(t.sql);
        ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
        EXPECT_FALSE(verdict.whole) << t.sql;
        EXPECT_NE(verdict.broken.find(t.named), std::string::npos) << t.sql << " -> " << verdict.broken;
        if (!t.undo.empty()) Exec(t.undo);
        Exec("delete from sb07_bgjl");
        Exec("insert into sb07_bgjl select * from saved");
        Exec("drop table saved");
        ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
        EXPECT_TRUE(verdict.whole) << verdict.broken;
    }
}

TEST_F(StoreTest, ADeleteOfAnyShapeLogsEachRemovedRowOnceAsItWasInNumberOrder) {
    // Rows stored before the chain (its 初始 batch goes ahead of the first delete's entries), one
    // row and a few, dense ranges and scattered lists, in any order: each removed row gets one
    // entry, in number order, holding the row as it was; the chain replays to the register.
    const vantrel::TModuleContext context = testhost::ContextFor();
    for (int xh = 1; xh <= 620; ++xh) Exec(vantrel::BuildInsertSql(context, Entry(xh, 1 + xh % 97)));
    std::vector<int32_t> old(619), imported(1300);  // 620 stays: the import numbers on from it
    std::iota(old.begin(), old.end(), 1);
    std::iota(imported.begin(), imported.end(), 621);
    std::shuffle(old.begin(), old.end(), std::mt19937(7));
    std::vector<std::vector<int32_t>> deletes = {std::vector<int32_t>(old.begin(), old.begin() + 550), {640}, {1900, 700, 655}};
    std::vector<int32_t> scattered, rest;
    for (int32_t xh : imported)
        if (xh != 640 && xh != 1900 && xh != 700 && xh != 655) (xh % 7 ? rest : scattered).push_back(xh);
    std::reverse(scattered.begin(), scattered.end());
    deletes.push_back(scattered);
    deletes.push_back(rest);
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(context);
    for (std::size_t d = 0; d < deletes.size(); ++d) {
        if (d == 1) {
            ASSERT_TRUE(store.InsertEach(1300, [](std::size_t i, Txxqtfpxx& r) { r = Entry(0, 2 + static_cast<double>(i % 89)); },
                                         {}, {vantrel::TChangeKind::Import, "f.csv"}).Ok());
        }
        std::map<int32_t, std::string> rows;
        std::string error;
        ASSERT_TRUE(vantrel::TChangeLogWriter(context, {}).ReadRows(kPeriod, deletes[d], rows, error)) << error;
        ASSERT_EQ(rows.size(), deletes[d].size());
        ASSERT_TRUE(store.Delete(deletes[d]).Ok()) << d;
        std::vector<vantrel::TChangeEntry> entries;
        ASSERT_TRUE(vantrel::ReadBatchEntries(context, QueryInt("select max(pc) from sb07_bgjl"), entries, error)) << error;
        ASSERT_EQ(entries.size(), rows.size()) << d;
        auto row = rows.begin();
        for (const vantrel::TChangeEntry& e : entries) {
            EXPECT_EQ(e.xh, row->first) << d;
            EXPECT_EQ(e.before, row->second) << d;
            EXPECT_EQ(e.after, "") << d;
            ++row;
        }
        vantrel::TLogVerdict verdict;
        ASSERT_TRUE(vantrel::VerifyChangeLog(context, verdict, error)) << error;
        EXPECT_TRUE(verdict.whole) << verdict.broken;
    }
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 70);
}

TEST_F(StoreTest, LongWritesHashTheirEntriesAsideAndAFailedEntryInsertLeavesNothing) {
    // Thousands of entries are hashed on a thread of their own in chunks, some written while the
    // write goes on: the chain stays whole, and a failed insert of any chunk stores nothing.
    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(testhost::ContextFor());
    const auto import = [&store](std::size_t count) {
        return store.InsertEach(count, [](std::size_t i, Txxqtfpxx& r) { r = Entry(0, 1 + static_cast<double>(i % 500)); },
                                {}, {vantrel::TChangeKind::Import, "f.csv"});
    };
    ASSERT_TRUE(import(3200).Ok());
    std::vector<int32_t> gone;
    for (int32_t xh = 1; xh <= 3200; xh += 3) gone.push_back(xh);
    ASSERT_TRUE(store.Delete(gone).Ok());
    const long long rows = QueryInt("select count(*) from sb07_xxfpb"), entries = 3200 + static_cast<long long>(gone.size());
    ASSERT_EQ(QueryInt("select count(*) from sb07_bgjl"), entries);
    vantrel::TLogVerdict verdict;
    std::string error;
    ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
    EXPECT_TRUE(verdict.whole) << verdict.broken;
    EXPECT_EQ(verdict.entries, entries);
    // A long delete reads its rows beside its statements: a failed read stores nothing either.
    std::vector<int32_t> more;
    for (int32_t xh = 2; xh <= 3200; xh += 3) more.push_back(xh);
    corlith::test::FailAt(FailPoint::Statement, 1, "injected", "SELECT nsrsbh,sbssq,xh");
    const vantrel::TStoreOutcome unread = store.Delete(more);
    corlith::test::ClearFailures();
    EXPECT_EQ(unread.error, "injected");
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), rows);
    EXPECT_EQ(QueryInt("select count(*) from sb07_bgjl"), entries);
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
    for (int chunk : {1, 3, 7}) {
        corlith::test::FailAt(FailPoint::Statement, chunk, "injected", "INSERT INTO sb07_bgjl ");
        const vantrel::TStoreOutcome failed = import(3200);
        corlith::test::ClearFailures();
        EXPECT_EQ(failed.failure, vantrel::TStoreFailure::Statement) << chunk;
        EXPECT_EQ(failed.error, "injected") << chunk;
        EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), rows) << chunk;
        EXPECT_EQ(QueryInt("select count(*) from sb07_bgjl"), entries) << chunk;
        EXPECT_FALSE(corlith::test::InTransaction(kConnection)) << chunk;
    }
    ASSERT_TRUE(vantrel::VerifyChangeLog(testhost::ContextFor(), verdict, error)) << error;
    EXPECT_TRUE(verdict.whole) << verdict.broken;
}

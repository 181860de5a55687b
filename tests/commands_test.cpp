// The manager's add, modify and delete commands, driven through real windows on a real database.
#include "context/f_ModuleContext.h"
#include "ui/manager/f_XxqtfpMgr.h"

#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowDTPicker.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"
#include "invoice/f_InvoiceChecks.h"
#include "ui/detail/f_XxqtfpDetail.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_ChangeBatches.h"
#include "ui/manager/f_InvoiceHistory.h"

#include "support/entry_helpers.h"
#include "support/fault_steps.h"
#include "support/detail_fields.h"
#include "support/host_fixture.h"
#include "support/manager_fields.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

using testhost::Mgr;

using corlith::test::FailPoint;
using corlith::test::MessageKind;

using testhost::Choose;
using testhost::Fields;
using testhost::LastMessageNumber;
using testhost::TypeInto;

// Fills an ordinary invoice of the given amount (at 17 %) and presses "确定".
void EnterInvoice(TFrmXxqtfpDetail* d, const char* amount, const std::string& period) {
    Choose(Fields(d).cbbFplx, "普通发票");
    TypeInto(Fields(d).edtfs, "1");
    TypeInto(Fields(d).edtje, amount);
    Fields(d).dtpKprq->SetDate(PeriodStartDate(period).addDays(9));
    corlith::test::ClearMessages();
    QTest::mouseClick(Fields(d).BtnCommit, Qt::LeftButton);
}

std::vector<std::string> StatementsContaining(const std::string& part) {
    std::vector<std::string> out;
    for (const std::string& s : corlith::test::StatementsOnly())
        if (s.find(part) != std::string::npos) out.push_back(s);
    return out;
}

// Runs a command that may open the detail window; body acts on the open window.
bool WithDetailWindow(const std::function<void()>& command, const std::function<void(TFrmXxqtfpDetail*)>& body) {
    return testhost::WithModal<TFrmXxqtfpDetail>(command, body);
}

class ManagerCommandsTest : public testhost::WindowFixture<> {
protected:
    void Invoice(int xh, double je, int zfbz = 0) {
        testhost::InvoiceRow row = PeriodInvoice(period_, xh, je);
        row.zfbz = zfbz;
        InsertInvoice(row);
    }

    // Invoices of the period by sequence number and amount, none voided.
    void Invoices(std::initializer_list<std::pair<int, double>> rows) {
        for (const auto& [xh, je] : rows) Invoice(xh, je);
    }

    TFrmXxqtfpMgr* OpenManager() {
        auto* m = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());
        m->resize(900, 600);
        m->show();
        Keep(m);
        corlith::test::ClearMessages();
        corlith::test::ClearStatementLog();
        return m;
    }

    static void CheckRows(TFrmXxqtfpMgr* m, const std::vector<int>& rows) {
        vantrel::TInvoiceListModel* model = Mgr(m).model;
        for (int row : rows)
            ASSERT_TRUE(model->setData(model->index(row, vantrel::ColSelect), Qt::Checked, Qt::CheckStateRole));
    }

    static std::vector<int> ListedXh(TFrmXxqtfpMgr* m) {
        std::vector<int> out;
        for (const Txxqtfpxx* r : Mgr(m).Records()) out.push_back(r->xh);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string Snapshot() {
        return QueryText("select coalesce(group_concat(r, ';'), '') from (select xh||'|'||je||'|'||se||'|'||zfbz"
                         " as r from sb07_xxfpb order by xh)") +
               "#" + QueryText("select count(*) from SB07_FPTXQKB");
    }

    static std::string Statistics(TFrmXxqtfpMgr* m) {
        return (QStringList{Mgr(m).lbFpsl->text(), Mgr(m).lbje->text(), Mgr(m).lbse->text(), Mgr(m).lbzfzs->text(),
                            Mgr(m).lbzfje->text(), Mgr(m).lbzfse->text()})
            .join(QLatin1Char('|'))
            .toStdString();
    }
};

}  // namespace

// ---- add -----------------------------------------------------------------------------------

TEST_F(ManagerCommandsTest, AddContinuesAfterTheLargestNumberAndKeepsCounting) {
    Invoices({{1, 10}, {2, 20}, {7, 70}});
    TFrmXxqtfpMgr* m = OpenManager();
    ASSERT_EQ(Mgr(m).NextXh(), 8);

    const bool opened = WithDetailWindow([m] { Mgr(m).actAdd->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        EXPECT_EQ(d->EditMode(), vantrel::kDetailAdd);
        EnterInvoice(d, "100", period_);
        EXPECT_EQ(LastMessageNumber(), 5037016);
        EnterInvoice(d, "50", period_);
        EXPECT_EQ(LastMessageNumber(), 5037016);
        // The manager's statistics follow every save while the window stays open.
        EXPECT_EQ(Mgr(m).lbFpsl->text(), QStringLiteral("5"));
    });
    ASSERT_TRUE(opened);
    EXPECT_EQ(Mgr(m).NextXh(), 10);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1, 2, 7, 8, 9}));
    EXPECT_EQ(Mgr(m).model->rowCount(), 5);
    EXPECT_EQ(Mgr(m).lbje->text(), QStringLiteral("250.00"));
    EXPECT_EQ(QueryText("select group_concat(xh||':'||je, ',') from (select * from sb07_xxfpb order by xh)"),
              "1:10,2:20,7:70,8:100,9:50");

    ASSERT_TRUE(WithDetailWindow([m] { Mgr(m).actAdd->trigger(); },
                                 [&](TFrmXxqtfpDetail* d) { EnterInvoice(d, "1", period_); }));
    EXPECT_EQ(QueryInt("select max(xh) from sb07_xxfpb"), 10);
    EXPECT_EQ(Mgr(m).NextXh(), 11);
}

TEST_F(ManagerCommandsTest, AFailedAddLeavesListStatisticsAndNumberAlone) {
    Invoice(1, 10);
    TFrmXxqtfpMgr* m = OpenManager();
    const std::string before = Snapshot();
    const std::string stats = Statistics(m);
    ASSERT_TRUE(WithDetailWindow([m] { Mgr(m).actAdd->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        corlith::test::FailAt(FailPoint::Commit, 1);
        EnterInvoice(d, "100", period_);
        EXPECT_EQ(LastMessageNumber(), 5037013);
    }));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Statistics(m), stats);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1}));
    EXPECT_EQ(Mgr(m).NextXh(), 2);
}

TEST_F(ManagerCommandsTest, TwoManagersOnOnePeriodNeverShareANumber) {
    Invoice(1, 10);
    TFrmXxqtfpMgr* a = OpenManager();
    TFrmXxqtfpMgr* b = OpenManager();
    ASSERT_EQ(Mgr(a).NextXh(), 2);
    ASSERT_EQ(Mgr(b).NextXh(), 2);

    ASSERT_TRUE(WithDetailWindow([a] { Mgr(a).actAdd->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        EnterInvoice(d, "100", period_);
        EXPECT_EQ(LastMessageNumber(), 5037016);
    }));
    ASSERT_TRUE(WithDetailWindow([b] { Mgr(b).actAdd->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        // The same press saves under the next free number; the other window's invoice stays.
        EnterInvoice(d, "200", period_);
        EXPECT_EQ(LastMessageNumber(), 5037016);
        EXPECT_EQ(corlith::test::Messages().size(), 1u);
    }));
    EXPECT_EQ(QueryText("select group_concat(xh||':'||je, ',') from (select * from sb07_xxfpb order by xh)"),
              "1:10,2:100,3:200");
    EXPECT_EQ(Mgr(b).NextXh(), 4);
    EXPECT_EQ(ListedXh(b), (std::vector<int>{1, 3}));
    EXPECT_EQ(Mgr(a).NextXh(), 3);
}

// ---- modify --------------------------------------------------------------------------------

TEST_F(ManagerCommandsTest, ModifyEditsTheFirstCheckedRowInDisplayOrder) {
    Invoices({{1, 100}, {2, 300}, {3, 200}});
    TFrmXxqtfpMgr* m = OpenManager();
    Mgr(m).model->sort(vantrel::ColJe, Qt::DescendingOrder);
    CheckRows(m, {2, 0, 1});

    ASSERT_TRUE(WithDetailWindow([m] { Mgr(m).ActModify->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        EXPECT_EQ(d->EditMode(), vantrel::kDetailModify);
        EXPECT_EQ(Fields(d).edtje->Text(), "300.00");
        TypeInto(Fields(d).edtje, "400");
        corlith::test::ClearMessages();
        QTest::mouseClick(Fields(d).BtnCommit, Qt::LeftButton);
        EXPECT_EQ(LastMessageNumber(), 5037015);
    }));
    EXPECT_EQ(QueryText("select group_concat(xh||':'||je, ',') from (select * from sb07_xxfpb order by xh)"),
              "1:100,2:400,3:200");
    const auto it = std::find_if(Mgr(m).Records().begin(), Mgr(m).Records().end(),
                                 [](const Txxqtfpxx* r) { return r->xh == 2; });
    ASSERT_NE(it, Mgr(m).Records().end());
    EXPECT_EQ((*it)->je, 400);
    EXPECT_EQ(Mgr(m).lbje->text(), QStringLiteral("700.00"));
    EXPECT_EQ(Mgr(m).NextXh(), 4);
}

TEST_F(ManagerCommandsTest, ModifyingAnInvoiceAnotherWindowDeletedSaysSoAndReloads) {
    Invoices({{1, 100}, {2, 200}, {3, 300}});
    TFrmXxqtfpMgr* m = OpenManager();
    CheckRows(m, {1});
    Exec("delete from sb07_xxfpb where xh=2");
    Invoice(4, 400);
    bool closed = false;
    ASSERT_TRUE(WithDetailWindow([m] { Mgr(m).ActModify->trigger(); }, [&](TFrmXxqtfpDetail* d) {
        QPointer<TFrmXxqtfpDetail> guard(d);
        TypeInto(Fields(d).edtje, "250");
        corlith::test::ClearMessages();
        QTest::mouseClick(Fields(d).BtnCommit, Qt::LeftButton);
        EXPECT_EQ(LastMessageNumber(), 5037032);
        closed = !guard || !guard->isVisible();
    }));
    EXPECT_TRUE(closed);
    EXPECT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(QueryText("select group_concat(xh||':'||je, ',') from (select * from sb07_xxfpb order by xh)"),
              "1:100,3:300,4:400");
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 0);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(Mgr(m).model->rowCount(), 3);
    EXPECT_EQ(Statistics(m), "3|800.00|136.00|0|0.00|0.00");
    EXPECT_EQ(Mgr(m).NextXh(), 5);
}

TEST_F(ManagerCommandsTest, DeletingAnInvoiceAnotherWindowDeletedUndoesAllAndReloads) {
    for (int xh = 1; xh <= 12; ++xh) Invoice(xh, xh);
    TFrmXxqtfpMgr* m = OpenManager();
    Mgr(m).model->sort(vantrel::ColJe, Qt::AscendingOrder);
    std::vector<int> all(12);
    for (int i = 0; i < 12; ++i) all[static_cast<std::size_t>(i)] = i;
    CheckRows(m, all);
    Exec("delete from sb07_xxfpb where xh=5");
    corlith::test::QueueConfirmAnswer(true);
    Mgr(m).ActDel->trigger();
    EXPECT_EQ(LastMessageNumber(), 5037033);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 11);
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 0);
    EXPECT_EQ(Mgr(m).Records().size(), 11u);
    EXPECT_EQ(Mgr(m).model->rowCount(), 11);
    EXPECT_TRUE(Mgr(m).model->CheckedRecords().empty());
    EXPECT_FALSE(corlith::test::InTransaction(testhost::kConnection));
}

TEST_F(ManagerCommandsTest, ModifyOrDeleteWithNothingCheckedSaysSo) {
    Invoice(1, 100);
    TFrmXxqtfpMgr* m = OpenManager();
    EXPECT_FALSE(WithDetailWindow([m] { Mgr(m).ActModify->trigger(); }, [](TFrmXxqtfpDetail*) {}));
    EXPECT_EQ(LastMessageNumber(), 5037001);
    Mgr(m).ActDel->trigger();
    EXPECT_EQ(LastMessageNumber(), 5037002);
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 1);
}

// ---- undo, restore and history ---------------------------------------------------------------

TEST_F(ManagerCommandsTest, CtrlZUndoesTheWindowsOwnBatchesAndAChangeLogRestoreBringsDeletedRowsBack) {
    Invoices({{1, 10}, {2, 20}, {3, 30}});
    TFrmXxqtfpMgr* m = OpenManager();
    Mgr(m).model->sort(vantrel::ColJe, Qt::AscendingOrder);
    const auto deleteFirstTwo = [&] {
        CheckRows(m, {0, 1});
        corlith::test::QueueConfirmAnswer(true);
        Mgr(m).ActDel->trigger();
        ASSERT_EQ(ListedXh(m), std::vector<int>{3});
    };
    const auto ctrlZ = [&](bool answer) {
        corlith::test::ClearMessages();
        corlith::test::QueueConfirmAnswer(answer);
        // Without a window manager nobody activates the window again after a dialog.
        m->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m));
        QTest::keyClick(Mgr(m).VSTInvoideCommon, Qt::Key_Z, Qt::ControlModifier);
    };
    deleteFirstTwo();
    ctrlZ(false);  // declined: nothing undone
    EXPECT_EQ(ListedXh(m), std::vector<int>{3});
    ctrlZ(true);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Snapshot().substr(0, Snapshot().find('#')), "1|10|1.7|0;2|20|3.4|0;3|30|5.1|0");

    // Deleted again, the batch comes back from 变更记录 under its old numbers.
    deleteFirstTwo();
    bool offered = false;
    EXPECT_TRUE(testhost::WithModal<vantrel::TFrmChangeBatches>([m] { Mgr(m).actChangeLog->trigger(); }, [&](vantrel::TFrmChangeBatches* w) {
        auto* batches = testhost::Control<QTableWidget>(w, QStringLiteral("gridBatches"));
        auto* restore = testhost::Control<QPushButton>(w, QStringLiteral("btnRestore"));
        ASSERT_GE(batches->rowCount(), 4);  // 初始, 删除, 恢复 (the undo), 删除; newest first
        EXPECT_EQ(batches->item(0, 2)->text(), QStringLiteral("删除"));
        EXPECT_EQ(batches->item(1, 2)->text(), QStringLiteral("恢复"));
        batches->selectRow(1);
        offered = restore->isEnabled();  // only a 删除 batch is offered
        batches->selectRow(0);
        ASSERT_TRUE(restore->isEnabled());
        corlith::test::QueueConfirmAnswer(true);
        QTest::mouseClick(restore, Qt::LeftButton);
    }));
    EXPECT_FALSE(offered);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1, 2, 3}));

    // The restore was this window's last batch; undoing it deletes the rows once more, and
    // the undo itself is never undone.
    ctrlZ(true);
    EXPECT_EQ(ListedXh(m), std::vector<int>{3});
    ctrlZ(true);
    EXPECT_EQ(ListedXh(m), (std::vector<int>{1, 2, 3}));  // the second delete, undone

    // 历史 lists each version of the ticked invoice, oldest first.
    CheckRows(m, {0});
    EXPECT_TRUE(testhost::WithModal<vantrel::TFrmInvoiceHistory>([m] { Mgr(m).actHistory->trigger(); }, [](vantrel::TFrmInvoiceHistory* w) {
        auto* grid = testhost::Control<QTableWidget>(w, QStringLiteral("gridVersions"));
        QStringList kinds;
        for (int row = 0; row < grid->rowCount(); ++row) kinds << grid->item(row, 1)->text();
        EXPECT_EQ(kinds.join(u' '), QStringLiteral("初始 删除 恢复 删除 恢复 删除 恢复"));
    }));
}

// ---- delete --------------------------------------------------------------------------------

TEST_F(ManagerCommandsTest, DeletingTwentyFiveRowsRunsThreeGroupsLastFirst) {
    for (int xh = 1; xh <= 25; ++xh) Invoice(xh, xh);
    TFrmXxqtfpMgr* m = OpenManager();
    Mgr(m).model->sort(vantrel::ColJe, Qt::AscendingOrder);  // display order = xh order
    std::vector<int> all(25);
    for (int i = 0; i < 25; ++i) all[static_cast<std::size_t>(i)] = i;
    CheckRows(m, all);
    corlith::test::QueueConfirmAnswer(true);
    Mgr(m).ActDel->trigger();

    const std::vector<std::string> deletes = StatementsContaining("delete from");
    ASSERT_EQ(deletes.size(), 3u);
    const std::string head = "delete from sb07_xxfpb where  nsrsbh= '" + std::string(testhost::kCompany) +
                             "' and sbssq= '" + period_ + "' and ((1=0)";
    // The rows go to the store in display order: its last group runs first.
    EXPECT_EQ(deletes[0], head + " or (xh=21) or (xh=22) or (xh=23) or (xh=24) or (xh=25))");
    EXPECT_EQ(StatementsContaining("_FPTXQKB").size(), 3u);
    EXPECT_EQ(std::count(corlith::test::StatementLog().begin(), corlith::test::StatementLog().end(), "COMMIT"), 1);

    const auto& messages = corlith::test::Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].kind, MessageKind::Confirm);
    EXPECT_NE(GbkToQString(messages[0].text).indexOf(QStringLiteral("25")), -1);
    EXPECT_EQ(messages[1].number, 5037006);
    EXPECT_EQ(messages[1].param, "25");
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 0);
    EXPECT_TRUE(Mgr(m).Records().empty());
    EXPECT_EQ(Mgr(m).model->rowCount(), 0);
    EXPECT_EQ(Statistics(m), "0|0.00|0.00|0|0.00|0.00");
}

TEST_F(ManagerCommandsTest, DeletingWhileSortedByAmountRemovesExactlyTheCheckedRows) {
    Invoice(1, 9.5);
    Invoice(2, 100);
    Invoice(3, 10, 1);
    Invoice(4, 55);
    Invoice(5, 0.5);
    TFrmXxqtfpMgr* m = OpenManager();
    Mgr(m).model->sort(vantrel::ColJe, Qt::AscendingOrder);  // 0.5, 9.5, 10, 55, 100
    CheckRows(m, {1, 2});                              // xh 1 and 3
    corlith::test::QueueConfirmAnswer(true);
    Mgr(m).ActDel->trigger();
    EXPECT_EQ(LastMessageNumber(), 5037006);
    EXPECT_EQ(corlith::test::Messages().back().param, "2");
    EXPECT_EQ(QueryText("select group_concat(xh, ',') from (select xh from sb07_xxfpb order by xh)"), "2,4,5");
    EXPECT_EQ(ListedXh(m), (std::vector<int>{2, 4, 5}));
    vantrel::TInvoiceListModel* model = Mgr(m).model;
    ASSERT_EQ(model->rowCount(), 3);
    const std::vector<std::pair<int, double>> shown = {{5, 0.5}, {4, 55}, {2, 100}};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(model->RecordAt(row)->xh, shown[static_cast<std::size_t>(row)].first);
        EXPECT_EQ(model->RecordAt(row)->je, shown[static_cast<std::size_t>(row)].second);
    }
    EXPECT_EQ(Statistics(m), "3|155.50|26.44|0|0.00|0.00");
}

TEST_F(ManagerCommandsTest, OneConfirmationTextPerCountAndADeclineChangesNothing) {
    Invoices({{1, 100}, {2, 200}});
    TFrmXxqtfpMgr* m = OpenManager();
    const std::string before = Snapshot();
    CheckRows(m, {0});
    Mgr(m).ActDel->trigger();  // the empty answer queue declines
    std::string one;
    GetMsg(5037003, "", 1, one);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(corlith::test::Messages()[0].text, one);
    EXPECT_TRUE(StatementsContaining("delete").empty());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Mgr(m).Records().size(), 2u);

    CheckRows(m, {0, 1});
    corlith::test::ClearMessages();
    Mgr(m).ActDel->trigger();
    std::string many;
    GetMsg(5037004, "2", 1, many);
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(corlith::test::Messages()[0].text, many);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(ManagerCommandsTest, ARefusingGuardAsksNothingAndWritesNothing) {
    Invoice(1, 100);
    DeclareThePeriod(period_);
    TFrmXxqtfpMgr* m = OpenManager();
    const std::string before = Snapshot();
    CheckRows(m, {0});
    corlith::test::QueueConfirmAnswer(true);

    EXPECT_FALSE(WithDetailWindow([m] { Mgr(m).actAdd->trigger(); }, [](TFrmXxqtfpDetail*) {}));
    EXPECT_FALSE(WithDetailWindow([m] { Mgr(m).ActModify->trigger(); }, [](TFrmXxqtfpDetail*) {}));
    Mgr(m).ActDel->trigger();

    const auto& messages = corlith::test::Messages();
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& shown : messages) {
        EXPECT_EQ(shown.kind, MessageKind::InfoMsgBox);
        EXPECT_EQ(shown.text, "申报成功， 不能操作！");
    }
    for (const std::string& s : corlith::test::StatementLog()) {
        EXPECT_EQ(s.find("delete"), std::string::npos) << s;
        EXPECT_EQ(s.find("insert"), std::string::npos) << s;
        EXPECT_EQ(s.find("update"), std::string::npos) << s;
        EXPECT_NE(s, "BEGIN");
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Mgr(m).Records().size(), 1u);
    EXPECT_EQ(Mgr(m).NextXh(), 2);
}

namespace {

// Each step with the message shown when it fails.
using DeleteFault = testhost::FaultCase<int>;
class DeleteFaultTest : public ManagerCommandsTest, public ::testing::WithParamInterface<DeleteFault> {};

}  // namespace

TEST_P(DeleteFaultTest, AFailedDeleteLeavesDatabaseListAndStatisticsAlone) {
    const DeleteFault& fault = GetParam();
    for (int xh = 1; xh <= 25; ++xh) Invoice(xh, xh, xh % 5 == 0 ? 1 : 0);
    TFrmXxqtfpMgr* m = OpenManager();
    const std::string before = Snapshot();
    const std::string stats = Statistics(m);
    std::vector<int> all(25);
    for (int i = 0; i < 25; ++i) all[static_cast<std::size_t>(i)] = i;
    CheckRows(m, all);

    testhost::ArmFault(fault.step);
    corlith::test::QueueConfirmAnswer(true);
    Mgr(m).ActDel->trigger();
    EXPECT_EQ(LastMessageNumber(), fault.expected);
    if (fault.expected == 5037006) {
        EXPECT_EQ(corlith::test::Messages().back().param, "0");
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Mgr(m).Records().size(), 25u);
    EXPECT_EQ(Mgr(m).model->rowCount(), 25);
    EXPECT_EQ(Statistics(m), stats);

    // Nothing is left half done: the same delete goes through once the fault is gone.
    corlith::test::ClearFailures();
    corlith::test::ClearMessages();
    CheckRows(m, all);
    corlith::test::QueueConfirmAnswer(true);
    Mgr(m).ActDel->trigger();
    EXPECT_EQ(LastMessageNumber(), 5037006);
    EXPECT_EQ(corlith::test::Messages().back().param, "25");
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 0);
    EXPECT_TRUE(Mgr(m).Records().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, DeleteFaultTest,
    ::testing::Values(DeleteFault{testhost::kBeginStep, 5037006},
                      DeleteFault{testhost::StatementStep("FirstGroup", 1, "delete from"), 5041035},
                      DeleteFault{testhost::StatementStep("SecondGroup", 2, "delete from"), 5041035},
                      DeleteFault{testhost::StatementStep("LastGroup", 3, "delete from"), 5041035},
                      DeleteFault{testhost::StatementStep("MarkSelect", 2, "_FPTXQKB"), 5041036},
                      DeleteFault{testhost::kMarkPostStep, 5041036}, DeleteFault{testhost::kCommitStep, 5037005}),
    testhost::StepName());

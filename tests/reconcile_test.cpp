// The register against the platform's list: the list's header captions, reconcile through the
// client on random registers with planted differences, and the 核对 window adding an invoice
// that only the list holds.
#include "exchange/f_CsvFile.h"
#include "exchange/f_Reconcile.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_FpDealGlobal.h"
#include "ui/manager/f_ReconcileWindow.h"

#include "support/entry_helpers.h"
#include "support/host_fixture.h"

#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

using namespace Qt::StringLiterals;

namespace {

class ReconcileTest : public testhost::HostFixture {
protected:
    QString File(const char* name) const { return QString::fromStdString((dir_ / name).string()); }

    // A CSV file of GBK records.
    QString WriteCsv(const char* name, const std::string& utf8) {
        std::ofstream(dir_ / name) << utf8;
        return File(name);
    }

    void AddSource(int xh, const std::string& number) {
        Exec("insert into sb07_fply (nsrsbh, sbssq, xh, fphm, wjm, wjhx) values ('" + std::string(testhost::kCompany) +
             "', '" + testhost::kPeriod + "', " + std::to_string(xh) + ", '" + number + "', 'x.xml', '0')");
    }
};

TEST_F(ReconcileTest, ListHeaderIsMappedByItsCaptionsOrTheMissingColumnsAndBadCellsAreNamed) {
    struct Case {
        std::string csv;
        const char* error;   // empty: read, one invoice of amount 1000.00, tax 130.00, voided
    } cases[] = {
        {"数电票号码,开票时间,购买方纳税人识别号,合计金额,合计税额,税率,发票状态,销方名称\n"
         "2644,2026-11-03 10:11:12,91440300MA5DCB1K7D,\"1,000.00\",130.00,13%,已作废,某公司\n",
         ""},
        {"发票号码,开票日期,购方税号,金额,税额,发票状态\n2644,2026/11/3,X,1000,130,作废\n合计,,,1000,130,\n", ""},
        {"发票号码,开票日期,金额\n1,2026-11-03,1\n", "清单缺少列：购方税号、税额"},
        {"序号,开票日期,购方税号,金额,税额\n", "清单缺少列：发票号码"},
        {"发票号码,开票日期,购方税号,金额,税额\n1,2026-13-01,,abc,1\n", "第 2 行 开票日期：无法识别的日期：2026-13-01\n第 2 行 金额：无法识别的金额：abc"},
        {"", "文件中没有标题行"},
    };
    for (const Case& c : cases) {
        std::vector<vantrel::TListInvoice> list;
        std::string error;
        const bool read = vantrel::ReadPlatformList(WriteCsv("list.csv", c.csv), list, error);
        SCOPED_TRACE(c.csv);
        EXPECT_EQ(read, *c.error == 0);
        EXPECT_EQ(GbkToQString(error).toStdString(), GbkToQString(c.error).toStdString());
        if (!read) continue;
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].number, "2644");
        EXPECT_EQ(list[0].date, 20261103);
        EXPECT_EQ(list[0].amount, 10000000);
        EXPECT_EQ(list[0].tax, 1300000);
        EXPECT_TRUE(list[0].voided);
    }
    // An invoice without a number only in the list (a fuzz finding) is a line of its own.
    std::vector<vantrel::TListInvoice> list;
    std::string error;
    ASSERT_TRUE(vantrel::ReadPlatformList(WriteCsv("list.csv", "发票号码,开票日期,购方税号,金额,税额\n,2026-11-03,X,1,0.13\n"),
                                          list, error)) << error;
    const vantrel::TReconcileResult result = vantrel::ReconcileInvoices({}, {}, std::move(list));
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(vantrel::ReconcileFields(result, result.lines[0])[0], "仅在清单");
}

// A random register (some invoices known by number, one of two rates, some voided, rows that
// are no issued invoices) and the platform's list of it with five planted differences.
TEST_F(ReconcileTest, ClientFindsExactlyThePlantedDifferences) {
    std::mt19937 gen(static_cast<unsigned>(::testing::UnitTest::GetInstance()->random_seed()));
    const auto pick = [&gen](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    const char* const buyers[] = {" ", "91440300MA5DCB1K7D", "440300665812347", "91110108MA01ABCD3X"};
    struct Listed {
        std::string number;
        int day;
        std::string buyer;
        long long amount, tax;   // fen
        bool voided;
        bool known = false;      // the register knows its number
    };
    std::vector<Listed> list;
    int xh = 0;
    const int invoices = 40 + pick(40);
    for (int i = 0; i < invoices; ++i) {
        const bool known = i == 0 || pick(2) == 0;
        Listed l{"2644200000" + std::to_string(1000000000 + i), 1 + pick(28), buyers[pick(4)], 0, 0, pick(8) == 0, known};
        // A known invoice of two rates is two rows of one number.
        for (int part = 0, parts = known && pick(4) == 0 ? 2 : 1; part < parts; ++part) {
            testhost::InvoiceRow row;
            row.xh = ++xh;
            row.kprq = "2026-11-" + std::string(l.day < 10 ? "0" : "") + std::to_string(l.day);
            const long long fen = (pick(10) == 0 ? -1 : 1) * (100 + pick(5000000));
            row.sl = part == 0 ? 13 : 6;
            row.je = static_cast<double>(fen) / 100;
            row.se = static_cast<double>(std::llround(static_cast<double>(fen) * row.sl / 100.0)) / 100;
            row.gfnsr = l.buyer;
            row.zfbz = l.voided;
            InsertInvoice(row);
            if (known) AddSource(row.xh, l.number);
            l.amount += fen;
            l.tax += std::llround(row.se * 100);
        }
        l.buyer = l.buyer == " " ? "" : l.buyer;
        list.push_back(l);
    }
    testhost::InvoiceRow notIssued;   // 未开具发票: not compared
    notIssued.xh = ++xh;
    notIssued.fplx = 3;
    InsertInvoice(notIssued);
    const QString clean = WriteCsv("clean.csv", [&] {
        std::string csv = "发票号码,开票日期,购买方纳税人识别号,金额,税额,发票状态\n";
        for (const Listed& l : list)
            csv += l.number + ",2026-11-" + std::to_string(100 + l.day).substr(1) + " 09:30:00," + l.buyer + "," +
                   std::to_string(l.amount / 100.0) + "," + std::to_string(l.tax / 100.0) + "," + (l.voided ? "作废" : "正常") + "\n";
        return csv;
    }());

    // The plants, by the number the list shows: one only in the register, one only in the list
    // (a buyer nobody else has), a changed amount of one the register knows by number, and one
    // voided in the list alone.
    std::map<std::string, std::pair<std::string, std::set<std::string>>> planted;
    std::vector<Listed> changed = list;
    std::shuffle(changed.begin(), changed.end(), gen);
    std::partition(changed.begin(), changed.end(), [](const Listed& l) { return l.known; });
    const Listed missing = changed.back();
    changed.pop_back();
    planted[""] = {"仅在登记簿", {}};
    changed[0].amount += 100;
    planted[changed[0].number] = {"不一致", {"金额"}};
    Listed& voided = changed[1 + static_cast<std::size_t>(pick(static_cast<int>(changed.size()) - 1))];
    voided.voided = !voided.voided;
    planted[voided.number] = {"不一致", {"发票状态"}};
    changed.push_back({"26442000009999999999", 5, "91440300MA5DEXTRA1", 50000, 6500, false});
    planted[changed.back().number] = {"仅在清单", {}};

    vantrel::TXlsxSheet sheet;
    sheet.name = "发票基础信息";
    sheet.header = {"序号", "发票号码", "开票日期", "购方税号", "金额", "税额", "发票状态"};
    for (const Listed& l : changed) {
        std::vector<vantrel::TExchangeCell> row(7);
        row[0] = {vantrel::TExchangeCell::Number, "", static_cast<double>(sheet.rows.size() + 1)};
        row[1].text = l.number;
        row[2] = {vantrel::TExchangeCell::Date, "", vantrel::DateToSerial(QDate(2026, 11, l.day))};
        row[3].text = l.buyer;
        row[4] = {vantrel::TExchangeCell::Number, "", l.amount / 100.0};
        row[5] = {vantrel::TExchangeCell::Number, "", l.tax / 100.0};
        row[6].text = l.voided ? "作废" : "正常";
        sheet.rows.push_back(row);
    }
    std::string error;
    ASSERT_TRUE(vantrel::WriteXlsxFile(File("list.xlsx"), sheet, error)) << error;

    const auto run = [this](const QString& file, int& exitCode) {
        QProcess p;
        testhost::StartProgram(p, QString::fromUtf8(VANTREL_CLIENT_PATH),
                               {u"reconcile"_s, u"--db"_s, QString::fromStdString(dbTarget_), u"--company"_s,
                                QString::fromLatin1(testhost::kCompany), u"--period"_s,
                                QString::fromLatin1(testhost::kPeriod), file, u"--format"_s, u"csv"_s},
                               QString::fromStdString(dir_.string()));
        EXPECT_TRUE(p.waitForFinished(120000));
        exitCode = p.exitCode();
        EXPECT_TRUE(p.readAllStandardError().isEmpty());
        return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    };
    int exitCode = -1;
    const QStringList all = run(clean, exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(all.size(), invoices + 1) << all.join(u'\n').toStdString();
    EXPECT_EQ(all[0], u"结果,发票号码,开票日期,购方税号,金额,税额,说明"_s);

    const QStringList lines = run(File("list.xlsx"), exitCode);
    EXPECT_EQ(exitCode, 1);
    int matched = 0;
    std::map<std::string, std::pair<std::string, std::set<std::string>>> found;
    for (const QString& line : lines.mid(1)) {
        const QStringList f = line.split(u',');
        ASSERT_EQ(f.size(), 7) << line.toStdString();
        if (f[0] == u"一致"_s) {
            ++matched;
            continue;
        }
        std::set<std::string> fields;
        for (const QString& part : f[6].split(u'；'))
            if (part.contains(u'（')) fields.insert(QStringToGbk(part.left(part.indexOf(u'（'))));
        // A row only in the register is named by the list's number where the register knows it.
        const bool onlyRegister = f[0] == u"仅在登记簿"_s;
        EXPECT_TRUE(!onlyRegister || f[1].isEmpty() || f[1].toStdString() == missing.number) << line.toStdString();
        found[onlyRegister ? "" : f[1].toStdString()] = {QStringToGbk(f[0]), fields};
    }
    EXPECT_EQ(found, planted);
    EXPECT_EQ(matched, invoices - 3);
}

TEST_F(ReconcileTest, WindowAddsAnInvoiceOnlyInTheListAfterTheQuestionAndShowsItMatched) {
    testhost::EnsureApplication();
    std::ofstream(subAppDir_ / "fp_config.ini") << "[xxqtfp]\nsl=|17|13|6|0|\n";
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    const std::string period = UsePreviousMonth();
    const std::string day = period.substr(0, 4) + "-" + period.substr(4, 2) + "-10";
    InsertInvoice(PeriodInvoice(period, 1, 100));
    const QString list = WriteCsv("list.csv", "发票号码,开票日期,购方税号,金额,税额,税率\n2," + day +
                                                  ",91440300MA5DCB1K7D,200.00,26.00,13%\n");
    auto* window = new vantrel::TFrmReconcile(testhost::ContextFor(testhost::kCompany, period), list);
    ASSERT_TRUE(window->Reconcile());
    // A group's button says its count: "<group>　N 张".
    const auto group = [window](vantrel::TReconcileKind kind) {
        const QString text = testhost::Control<QToolButton>(window, u"btnGroup%1"_s.arg(static_cast<int>(kind)))->text();
        const QRegularExpressionMatch count = QRegularExpression(u"　(\\d+) 张\n"_s).match(text);
        return count.hasMatch() ? count.captured(1).toInt() : -1;
    };
    EXPECT_EQ(group(vantrel::TReconcileKind::OnlyList), 1);
    EXPECT_EQ(group(vantrel::TReconcileKind::OnlyRegister), 1);
    QTest::mouseClick(testhost::Control<QToolButton>(window, u"btnGroup2"_s), Qt::LeftButton);
    auto* grid = testhost::Control<QTreeView>(window, u"gridLines"_s);
    ASSERT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), u"2"_s);

    corlith::test::QueueConfirmAnswer(false);
    testhost::Control<QPushButton>(window, u"btnAdd"_s)->click();
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), 1);
    corlith::test::QueueConfirmAnswer(true);
    testhost::Control<QPushButton>(window, u"btnAdd"_s)->click();
    EXPECT_EQ(QueryText("select je || '/' || se || '/' || sl || '/' || gfnsr || '/' || kprq from sb07_xxfpb where xh = 2"),
              "200/26/13/91440300MA5DCB1K7D/" + day);
    EXPECT_EQ(QueryInt("select count(*) from sb07_bgjl where xh = 2"), 1);
    EXPECT_EQ(QueryText("select fphm from sb07_fply where xh = 2"), "2");
    EXPECT_EQ(group(vantrel::TReconcileKind::OnlyList), 0);
    EXPECT_EQ(group(vantrel::TReconcileKind::Matched), 1);

    EXPECT_TRUE(testhost::ChooseFile(File("result.xlsx"),
                                     [window] { testhost::Control<QPushButton>(window, u"btnExport"_s)->click(); }));
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ReadXlsxFile(File("result.xlsx"), table, error)) << error;
    EXPECT_EQ(table.header, vantrel::ReconcileHeader());
    EXPECT_EQ(table.rows.size(), 2u);
    delete window;
}

}  // namespace

// The return preview: its caption table against the catalogue, its figures against the
// document, the invoices behind each figure, the client's preview, drill and print verbs.
#include "context/f_ModuleContext.h"
#include "corlith/corlith_test.h"
#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "summary/f_QtfpSummary.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryCells.h"
#include "summary/f_SummaryDrill.h"
#include "summary/f_SummaryPreview.h"
#include "support/entry_helpers.h"
#include "support/detail_fields.h"
#include "support/host_fixture.h"
#include "support/manager_fields.h"
#include "support/window_fixture.h"
#include "support/list_rule.h"
#include "support/test_database.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/controls/PellowRadioButton.h"
#include "ui/detail/f_XxqtfpDetail.h"
#include "ui/manager/f_XxqtfpMgr.h"
#include "ui/preview/f_PreviewPrint.h"
#include "ui/preview/f_ReturnPreview.h"

#include <QApplication>
#include <QDate>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using testhost::Mgr;

// ---- the caption table ---------------------------------------------------------------------

bool Has(const std::string& text, const char* piece) { return text.find(piece) != std::string::npos; }

bool HasCondition(const vantrel::TSummaryGroup& group, std::string_view condition) {
    for (std::string_view c : group.conditions)
        if (c == condition) return true;
    return false;
}

TEST(PreviewCaptions, EveryCellHasExactlyOnePlaceAndNoTwoCellsShareOne) {
    std::set<std::string_view> catalogueNames;
    for (const vantrel::TSummaryGroup& group : vantrel::SummaryCatalogue())
        for (const vantrel::TSummaryCell& cell : group.cells) catalogueNames.insert(cell.name);
    ASSERT_EQ(catalogueNames.size(), 60u);  // 61 lines, the repeated one counted once

    std::map<std::string_view, int> placesOfName;
    std::set<std::tuple<int, int, int>> positions;
    const auto& sections = vantrel::SummarySections();
    for (const vantrel::TSummaryPlace& place : vantrel::SummaryPlaces()) {
        ++placesOfName[place.name];
        EXPECT_TRUE(catalogueNames.count(place.name)) << place.name << " is no cell of the document";
        EXPECT_TRUE(positions.emplace(place.section, place.row, place.column).second)
            << place.name << " shares its position with another cell";
        ASSERT_GE(place.section, 0);
        ASSERT_LT(place.section, static_cast<int>(sections.size()));
        const vantrel::TSummarySection& section = sections[static_cast<std::size_t>(place.section)];
        ASSERT_GE(place.row, 0);
        ASSERT_LT(place.row, static_cast<int>(section.rows.size())) << place.name;
        ASSERT_GE(place.column, 0);
        ASSERT_LT(place.column, static_cast<int>(section.columns.size())) << place.name;
    }
    for (std::string_view name : catalogueNames) EXPECT_EQ(placesOfName[name], 1) << name;

    std::set<std::string> captions;
    for (std::string_view name : catalogueNames) {
        const std::string caption = vantrel::SummaryCellCaption(name);
        EXPECT_FALSE(caption.empty()) << name;
        EXPECT_TRUE(captions.insert(caption).second) << name << " has the caption of another cell";
    }
    EXPECT_TRUE(vantrel::SummaryCellCaption("SB_XXQTFPMX_ZBJE_6_99").empty());
}

// A caption must say what its figure holds: every condition of the cell's group shows in it.
TEST(PreviewCaptions, CaptionsSayWhatTheConditionsSelect) {
    for (const vantrel::TSummaryGroup& group : vantrel::SummaryCatalogue()) {
        for (const vantrel::TSummaryCell& cell : group.cells) {
            const std::string c = vantrel::SummaryCellCaption(cell.name);
            const std::string n(cell.name);
            switch (cell.measure) {
            case vantrel::TSummaryMeasure::Fs: EXPECT_TRUE(Has(c, "份数")) << n; break;
            case vantrel::TSummaryMeasure::Je: EXPECT_TRUE(Has(c, "销售额") && !Has(c, "税额")) << n; break;
            case vantrel::TSummaryMeasure::Se: EXPECT_TRUE(Has(c, "税额")) << n; break;
            }
            EXPECT_EQ(Has(c, "即征即退"), HasCondition(group, "jzjt=1")) << n;
            EXPECT_EQ(Has(c, "一般项目"), HasCondition(group, "jzjt=0")) << n;
            EXPECT_EQ(Has(c, "免税"), HasCondition(group, "ms=1")) << n;
            EXPECT_EQ(Has(c, "劳务"), HasCondition(group, "lwfp=1")) << n;
            EXPECT_EQ(Has(c, "货物"), HasCondition(group, "lwfp=0")) << n;
            EXPECT_EQ(Has(c, "含作废"), !HasCondition(group, "zfbz=0")) << n;
            EXPECT_EQ(Has(c, "未开具"), HasCondition(group, "fplx=3")) << n;
            EXPECT_EQ(Has(c, "开具发票") && !Has(c, "未开具"), HasCondition(group, "fplx<>3")) << n;
            EXPECT_EQ(Has(c, "普通发票"), HasCondition(group, "fplx=1")) << n;
            EXPECT_EQ(Has(c, "非专用发票"), HasCondition(group, "fplx=2")) << n;

            const bool high = HasCondition(group, "(sl=17 or sl=13)"), low = HasCondition(group, "(sl=6 or sl=4)");
            EXPECT_EQ(Has(c, "17%"), high || HasCondition(group, "sl=17")) << n;
            EXPECT_EQ(Has(c, "13%"), high || HasCondition(group, "sl=13")) << n;
            EXPECT_EQ(Has(c, "6%"), low || HasCondition(group, "sl=6")) << n;
            EXPECT_EQ(Has(c, "4%"), low || HasCondition(group, "sl=4")) << n;
        }
    }
}

TEST(PreviewCaptions, CellsAreFoundWithOrWithoutThePrefix) {
    vantrel::TSummaryCellRef ref;
    ASSERT_TRUE(vantrel::FindSummaryCell("SB_XXQTFPMX_FB1SE_5_10", ref));
    EXPECT_EQ(ref.cell->name, "SB_XXQTFPMX_FB1SE_5_10");
    EXPECT_EQ(ref.cell->measure, vantrel::TSummaryMeasure::Se);
    EXPECT_EQ(ref.group->cells.size(), 2u);  // selected together with FB1JE_4_10

    ASSERT_TRUE(vantrel::FindSummaryCell("fb1fs_3_10", ref));
    EXPECT_EQ(ref.cell->name, "SB_XXQTFPMX_FB1FS_3_10");
    ASSERT_TRUE(vantrel::FindSummaryCell("ZBJE_9_32", ref));
    EXPECT_EQ(ref.group, &vantrel::SummaryCatalogue()[18]);  // the first of the two identical groups

    EXPECT_FALSE(vantrel::FindSummaryCell("ZBJE_9_99", ref));
    EXPECT_FALSE(vantrel::FindSummaryCell("SB_XXQTFPMX_", ref));
    EXPECT_FALSE(vantrel::FindSummaryCell("", ref));
    EXPECT_FALSE(vantrel::FindSummaryCell("XXQTFPMX_ZBJE_6_12", ref));
}

// ---- figures and the invoices behind them --------------------------------------------------

// The cell lines of a summary document, in order: element name and value.
std::vector<std::pair<std::string, std::string>> DocumentCells(const std::string& document) {
    static const QRegularExpression re(uR"(<(SB_XXQTFPMX_[A-Z0-9]+_\d+_\d+)>([^<]*)</\1>)"_s);
    std::vector<std::pair<std::string, std::string>> cells;
    for (auto it = re.globalMatch(QString::fromLatin1(document)); it.hasNext();) {
        const auto m = it.next();
        cells.emplace_back(m.captured(1).toStdString(), m.captured(2).toStdString());
    }
    return cells;
}

class PreviewTest : public testhost::HostFixture {
protected:
    // A register of n invoices of the current taxpayer and period (and some of others) with
    // every type, rate and flag, amounts with cents, some negative.
    void FillRandomRegister(unsigned seed, int n) {
        Exec("delete from sb07_xxfpb");
        std::mt19937 gen(seed);
        std::string error;
        THostTransaction transaction(testhost::kConnection, error);
        ASSERT_TRUE(transaction.Active()) << error;
        for (const testhost::InvoiceRow& row : testhost::RandomRegister(gen, n)) InsertInvoice(row);
        ASSERT_TRUE(transaction.Commit(error)) << error;
    }

    std::vector<vantrel::TSummaryLine> Lines() {
        std::vector<vantrel::TSummaryLine> lines;
        std::string error;
        EXPECT_TRUE(ComputeSummaryLines(testhost::ContextFor(testhost::kCompany, testhost::kPeriod), lines, error))
            << error;
        return lines;
    }
};

TEST_F(PreviewTest, RandomRegistersGiveTheDocumentsFiguresAndDrillsThatSumToThem) {
    for (unsigned seed : {3u, 11u, 2027u}) {
        FillRandomRegister(seed, 160);
        std::string document, error;
        ASSERT_TRUE(BuildSummaryText(vantrel::ModuleContextFromHost(), document, error)) << error;
        const auto cells = DocumentCells(document);
        const std::vector<vantrel::TSummaryLine> lines = Lines();
        ASSERT_EQ(lines.size(), 61u);
        ASSERT_EQ(cells.size(), lines.size());

        int nonZero = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string name(lines[i].cell->name);
            EXPECT_EQ(name, cells[i].first) << "line " << i;
            EXPECT_EQ(lines[i].value, cells[i].second) << name << " seed " << seed;

            std::vector<Txxqtfpxx*> rows;
            ASSERT_TRUE(vantrel::LoadDrillInvoices(*lines[i].group, testhost::ContextFor(testhost::kCompany, testhost::kPeriod),
                                          rows, error))
                << error;
            EXPECT_EQ(vantrel::DrillTotalText(*lines[i].cell, rows), lines[i].value) << name << " seed " << seed;
            for (const Txxqtfpxx* r : rows) {
                // Every condition of the cell shows in the rows it lists.
                const auto& conditions = lines[i].group->conditions;
                const auto has = [&conditions](std::string_view c) {
                    return std::find(conditions.begin(), conditions.end(), c) != conditions.end();
                };
                EXPECT_TRUE(!has("zfbz=0") || !vantrel::FlagSet(r->zfbz)) << name;
                EXPECT_TRUE(!has("ms=1") || vantrel::FlagSet(r->ms)) << name;
                EXPECT_TRUE(!has("fplx=3") || r->fplx == "3") << name;
                EXPECT_TRUE(!has("fplx<>3") || r->fplx != "3") << name;
            }
            if (lines[i].value != "0" && lines[i].value != "0.00") {
                ++nonZero;
                EXPECT_FALSE(rows.empty()) << name;
            }
            FreeInvoiceList(rows);
        }
        EXPECT_GT(nonZero, 40) << "the register should reach most cells";
    }
}

TEST_F(PreviewTest, DrillListsTheRowsInSequenceOrderWithTheirTypeNames) {
    testhost::InvoiceRow row;
    row.xh = 7;
    row.zfbz = 1;  // voided: counted, but in no amount
    InsertInvoice(row);
    row.xh = 2;
    row.zfbz = 0;
    row.je = 250.5;
    row.se = 42.59;
    row.fs = 3;
    InsertInvoice(row);
    row.xh = 5;
    row.fplx = 2;  // other type: not in the type-1 cells
    InsertInvoice(row);
    row.xh = 9;
    row.sbssq = "202610";  // other period
    row.fplx = 1;
    InsertInvoice(row);

    vantrel::TSummaryCellRef count, amount;
    ASSERT_TRUE(vantrel::FindSummaryCell("FB1FS_3_10", count));
    ASSERT_TRUE(vantrel::FindSummaryCell("FB1JE_4_10", amount));
    std::vector<Txxqtfpxx*> rows;
    std::string error;
    ASSERT_TRUE(
        vantrel::LoadDrillInvoices(*count.group, testhost::ContextFor(testhost::kCompany, testhost::kPeriod), rows, error))
        << error;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->xh, 2);
    EXPECT_EQ(rows[1]->xh, 7);
    EXPECT_EQ(rows[0]->fplxmc, "普通发票");
    EXPECT_EQ(vantrel::DrillTotalText(*count.cell, rows), "4");
    FreeInvoiceList(rows);

    ASSERT_TRUE(
        vantrel::LoadDrillInvoices(*amount.group, testhost::ContextFor(testhost::kCompany, testhost::kPeriod), rows, error))
        << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(vantrel::DrillTotalText(*amount.cell, rows), "250.50");
    EXPECT_EQ(vantrel::DrillTotalText(amount.group->cells[1], rows), "42.59");
    FreeInvoiceList(rows);
}

TEST_F(PreviewTest, DrillSelectQuotesTheTaxpayerAndKeepsTheConditionsOnTheInvoiceTable) {
    const std::string sql = vantrel::BuildDrillSelect(vantrel::SummaryCatalogue()[15], testhost::ContextFor("A'B", testhost::kPeriod));
    EXPECT_EQ(sql,
              "select fp.*,lx.mc as fplxmc from (select * from sb07_xxfpb where nsrsbh='A''B' and "
              "sbssq='202611' and fplx=3 and ms=0 and jzjt=0 and zfbz=0 and (sl=6 or sl=4)) fp left join "
              "sb07_fplxb lx on fp.fplx = lx.fplx order by fp.xh");
    std::vector<Txxqtfpxx*> rows;
    std::string error;
    EXPECT_TRUE(vantrel::LoadDrillInvoices(vantrel::SummaryCatalogue()[15], testhost::ContextFor("A'B", testhost::kPeriod), rows, error))
        << error;
    EXPECT_TRUE(rows.empty());
}

TEST_F(PreviewTest, FailingSelectLeavesTheLinesAndTheRowsAlone) {
    std::vector<vantrel::TSummaryLine> lines = Lines();
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "injected failure", "sum(fs)");
    std::string error;
    EXPECT_FALSE(ComputeSummaryLines(testhost::ContextFor(testhost::kCompany, testhost::kPeriod), lines, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(lines.size(), 61u);

    corlith::test::ClearFailures();
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "injected failure", "left join");
    std::vector<Txxqtfpxx*> rows;
    error.clear();
    EXPECT_FALSE(vantrel::LoadDrillInvoices(vantrel::SummaryCatalogue()[0], testhost::ContextFor(testhost::kCompany, testhost::kPeriod),
                                   rows, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(rows.empty());
}

TEST_F(PreviewTest, PreviewNamesTheTaxpayerFromTheParticulars) {
    vantrel::TSummaryPreview preview;
    std::string error;
    ASSERT_TRUE(vantrel::LoadSummaryPreview(vantrel::ModuleContextFromHost(), preview, error)) << error;
    EXPECT_EQ(preview.taxpayerId, "91110000MA001TEST");
    EXPECT_EQ(preview.taxpayerName, "测试公司");
    EXPECT_EQ(preview.period, "202611");
    EXPECT_EQ(vantrel::PeriodCaption(preview.period), "2026年11月");
    EXPECT_EQ(vantrel::PeriodCaption("2026-1"), "2026-1");
    EXPECT_EQ(preview.Value("SB_XXQTFPMX_FB1FS_3_10"), "0");
    EXPECT_EQ(preview.Value("SB_XXQTFPMX_ZBJE_6_12"), "0.00");
    EXPECT_EQ(preview.Value("SB_XXQTFPMX_NONE"), "");
}

// ---- the client's verbs ---------------------------------------------------------------------

struct ClientRun {
    int exitCode = -1;
    QString out;
    QString err;
};

std::ostream& operator<<(std::ostream& os, const ClientRun& run) {
    return os << "exit " << run.exitCode << "\nstdout: " << run.out.toStdString() << "\nstderr: " << run.err.toStdString();
}

ClientRun RunProgram(const QString& program, const QStringList& args, const QString& dir) {
    QProcess p;
    testhost::StartProgram(p, program, args, dir);
    ClientRun run;
    if (!p.waitForStarted() || !p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return run;
    run.exitCode = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

class PreviewClientTest : public PreviewTest {
protected:
    ClientRun Client(const QString& verb, QStringList args) {
        args = QStringList{verb, u"--db"_s, QString::fromStdString(dbTarget_), u"--company"_s,
                           QString::fromLatin1(testhost::kCompany), u"--period"_s,
                           QString::fromLatin1(testhost::kPeriod)} +
               args;
        return RunProgram(QString::fromUtf8(VANTREL_CLIENT_PATH), args, QString::fromStdString(dir_.string()));
    }

    // Fields of a CSV text without quoted fields (those of these listings have none).
    static std::vector<QStringList> Records(const QString& text) {
        std::vector<QStringList> records;
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) records.push_back(line.split(u','));
        return records;
    }
};

TEST_F(PreviewClientTest, PreviewCsvHasTheDocumentsCellsAndEachDrillSumsToItsCell) {
    FillRandomRegister(77, 120);
    const QString summaryFile = QString::fromStdString((dir_ / "summary.xml").string());
    const ClientRun summary = Client(u"summary"_s, {u"--out"_s, summaryFile});
    ASSERT_EQ(summary.exitCode, 0) << summary;
    QFile file(summaryFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto cells = DocumentCells(file.readAll().toStdString());
    ASSERT_EQ(cells.size(), 61u);

    const ClientRun preview = Client(u"preview"_s, {u"--format"_s, u"csv"_s});
    ASSERT_EQ(preview.exitCode, 0) << preview;
    const auto records = Records(preview.out);
    ASSERT_EQ(records.size(), cells.size() + 1);
    EXPECT_EQ(records[0], (QStringList{u"cell"_s, u"caption"_s, u"value"_s}));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const QStringList& record = records[i + 1];
        ASSERT_EQ(record.size(), 3) << record.join(u'|').toStdString();
        EXPECT_EQ(record[0].toStdString(), cells[i].first);
        EXPECT_EQ(record[1], GbkToQString(vantrel::SummaryCellCaption(cells[i].first)));
        EXPECT_EQ(record[2].toStdString(), cells[i].second) << cells[i].first;
    }

    std::set<std::string> drilled;
    for (const auto& [name, value] : cells) {
        if (value == "0" || value == "0.00" || !drilled.insert(name).second) continue;
        // Half of them named without the prefix, in lower case.
        const QString cell = drilled.size() % 2 ? QString::fromStdString(name)
                                                : QString::fromStdString(name.substr(12)).toLower();
        const ClientRun drill = Client(u"drill"_s, {cell, u"--format"_s, u"csv"_s});
        ASSERT_EQ(drill.exitCode, 0) << drill;
        const auto rows = Records(drill.out);
        ASSERT_GE(rows.size(), 3u) << drill;
        EXPECT_EQ(rows.front().size(), 11);
        EXPECT_EQ(rows.front()[0], u"发票类型"_s);
        EXPECT_EQ(rows.front()[4], u"税率"_s);
        const QStringList& total = rows.back();
        ASSERT_EQ(total.size(), 3) << drill;
        EXPECT_EQ(total[0], u"合计"_s);
        EXPECT_EQ(total[1].toULongLong(), rows.size() - 2) << name;
        EXPECT_EQ(total[2].toStdString(), value) << name;
    }
    EXPECT_GT(drilled.size(), 30u);
}

TEST_F(PreviewClientTest, TextListingsAndRefusals) {
    testhost::InvoiceRow row;
    row.gfnsr = "440300665812347";
    InsertInvoice(row);

    const ClientRun preview = Client(u"preview"_s, {});
    ASSERT_EQ(preview.exitCode, 0) << preview;
    const QStringList lines = preview.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 61);
    EXPECT_EQ(lines[0].split(u'\t'),
              (QStringList{u"SB_XXQTFPMX_ZBJE_6_12"_s, GbkToQString(vantrel::SummaryCellCaption("SB_XXQTFPMX_ZBJE_6_12")),
                           u"100.00"_s}));
    EXPECT_EQ(lines[18], lines[19]);  // the repeated line stands twice, as in the document

    const ClientRun drill = Client(u"drill"_s, {u"SB_XXQTFPMX_FB1SE_5_10"_s});
    ASSERT_EQ(drill.exitCode, 0) << drill;
    const QStringList drillLines = drill.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(drillLines.size(), 3);
    EXPECT_EQ(drillLines[1].split(u'\t'),
              (QStringList{u"普通发票"_s, u"2026-11-10"_s, u"1"_s, u"100.00"_s, u"17"_s, u"17.00"_s,
                           u"440300665812347"_s, u"否"_s, u"否"_s, u"否"_s, u"否"_s}));
    EXPECT_EQ(drillLines[2], u"合计\t1\t17.00"_s);

    for (const QStringList& args : {QStringList{u"ZBJE_6_99"_s}, QStringList{u"SB_XXQTFPMX_"_s}, QStringList{},
                                    QStringList{u"ZBJE_6_12"_s, u"--format"_s, u"xml"_s},
                                    QStringList{u"ZBJE_6_12"_s, u"ZBJE_6_13"_s}}) {
        const ClientRun refused = Client(u"drill"_s, args);
        EXPECT_EQ(refused.exitCode, 2) << args.join(u' ').toStdString() << "\n" << refused;
        EXPECT_TRUE(refused.out.isEmpty()) << refused;
        EXPECT_FALSE(refused.err.isEmpty());
    }
    const ClientRun noPdf = Client(u"print"_s, {});
    EXPECT_EQ(noPdf.exitCode, 2) << noPdf;
}

TEST_F(PreviewClientTest, UnreadableDatabaseIsASetupError) {
    VANTREL_SKIP_ON_SERVER("about a SQLite file");
    const QString bogus = QString::fromStdString((dir_ / "bogus.db").string());
    QFile file(bogus);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    for (const QStringList& args : {QStringList{u"preview"_s}, QStringList{u"drill"_s, u"ZBJE_6_12"_s}}) {
        const ClientRun run = RunProgram(QString::fromUtf8(VANTREL_CLIENT_PATH), args + QStringList{u"--db"_s, bogus},
                                         QString::fromStdString(dir_.string()));
        EXPECT_EQ(run.exitCode, 2) << run;
        EXPECT_TRUE(run.out.isEmpty()) << run;
    }
}

TEST_F(PreviewClientTest, PrintWritesOnePagePdfNamingTheTaxpayer) {
    VANTREL_SKIP_ON_SERVER("prints the demo database, a SQLite file");
    const QString dir = QString::fromStdString(dir_.string());
    const QString db = QString::fromStdString((dir_ / "demo.db").string());
    const QString pdf = QString::fromStdString((dir_ / "preview.pdf").string());
    const QString client = QString::fromUtf8(VANTREL_CLIENT_PATH);
    ASSERT_EQ(RunProgram(client, {u"init-db"_s, u"--demo"_s, u"--db"_s, db}, dir).exitCode, 0);
    const ClientRun print = RunProgram(client, {u"print"_s, u"--db"_s, db, u"--pdf"_s, pdf}, dir);
    ASSERT_EQ(print.exitCode, 0) << print;
    ASSERT_TRUE(QFile::exists(pdf));

    const ClientRun info = RunProgram(u"pdfinfo"_s, {pdf}, dir);
    ASSERT_EQ(info.exitCode, 0) << "pdfinfo (poppler-utils) is needed: " << info;
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Pages:\\s+1\\n"_s))) << info;
    const ClientRun text = RunProgram(u"pdftotext"_s, {pdf, u"-"_s}, dir);
    ASSERT_EQ(text.exitCode, 0) << text;
    EXPECT_TRUE(text.out.contains(u"深圳市恒通达电子科技有限公司"_s)) << text;
    EXPECT_TRUE(text.out.contains(u"2026年11月"_s)) << text;
    EXPECT_TRUE(text.out.contains(u"30900.00"_s)) << text;  // the demo's ZBJE_6_12

    // A file that cannot be written is a failure that leaves nothing behind.
    const QString missing = QString::fromStdString((dir_ / "no-such-folder" / "p.pdf").string());
    const ClientRun failed = RunProgram(client, {u"print"_s, u"--db"_s, db, u"--pdf"_s, missing}, dir);
    EXPECT_EQ(failed.exitCode, 1) << failed;
    EXPECT_FALSE(QFile::exists(missing));
}

// ---- the window ----------------------------------------------------------------------------

using testhost::Fields;
using testhost::WithModal;

const vantrel::TPreviewListProcs kManagerProcs{&TFrmXxqtfpMgr::VSTInvoideCommonGetText};

// The drill-down's list and what its totals line says: the listed invoices' sum and the figure.
struct DrillFields {
    explicit DrillFields(const vantrel::TFrmPreviewDrill* d)
        : model(qobject_cast<vantrel::TInvoiceListModel*>(testhost::Control<QTreeView>(d, u"VSTInvoice"_s)->model())),
          modify(testhost::Control<QPushButton>(d, u"btnModify"_s)) {
        const QString totals = testhost::Control<QLabel>(d, u"lbTotals"_s)->text();
        const QRegularExpressionMatch m = QRegularExpression(u"：(\\S+)　　预览中的数值：(\\S+)$"_s).match(totals);
        EXPECT_TRUE(m.hasMatch()) << totals.toStdString();
        listed = m.captured(1).toStdString();
        value = m.captured(2).toStdString();
    }
    vantrel::TInvoiceListModel* model;
    QPushButton* modify;
    std::string listed, value;
};

class PreviewWindowTest : public testhost::WindowFixture<PreviewTest> {
protected:
    void Invoice(int xh, double je, int jzjt = 0, int fplx = 1) {
        testhost::InvoiceRow row = PeriodInvoice(period_, xh, je);
        row.jzjt = jzjt;
        row.fplx = fplx;
        InsertInvoice(row);
    }

    vantrel::TFrmReturnPreview* OpenPreview() {
        auto* p = new vantrel::TFrmReturnPreview(vantrel::ModuleContextFromHost(), kManagerProcs);
        p->show();
        Keep(p);
        return p;
    }

    // The figures the window's sheet shows.
    static const vantrel::TSummaryPreview& Figures(const vantrel::TFrmReturnPreview* p) {
        static const vantrel::TSummaryPreview none;
        const vantrel::TSummaryPreview* shown = Sheet(p)->Preview();
        EXPECT_NE(shown, nullptr);
        return shown ? *shown : none;
    }
    static vantrel::TPreviewSheet* Sheet(const vantrel::TFrmReturnPreview* p) { return testhost::Control<vantrel::TPreviewSheet>(p, u"PreviewSheet"_s); }
    // A click on the figure, which opens the invoices behind it.
    static void ClickFigure(const vantrel::TFrmReturnPreview* p, const std::string& name) {
        vantrel::TPreviewSheet* sheet = Sheet(p);
        QTest::mouseClick(sheet, Qt::LeftButton, {}, sheet->CellCenter(name));
    }

    // The document's value of a cell, as CreateQtfp would write it now.
    std::string DocumentValue(const std::string& name) {
        std::string document, error;
        EXPECT_TRUE(BuildSummaryText(vantrel::ModuleContextFromHost(), document, error)) << error;
        for (const auto& [cell, value] : DocumentCells(document))
            if (cell == name) return value;
        return "<missing>";
    }
};

TEST_F(PreviewWindowTest, SheetShowsEveryFigureNamesItOnHoverAndMovesByKeys) {
    Invoice(1, 100);
    Invoice(2, 250, 1);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    const std::vector<vantrel::TSummaryLine> lines = [&] {
        std::vector<vantrel::TSummaryLine> l;
        std::string error;
        EXPECT_TRUE(ComputeSummaryLines(testhost::ContextFor(testhost::kCompany, period_), l, error)) << error;
        return l;
    }();
    ASSERT_EQ(Figures(p).lines.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Figures(p).lines[i].value, lines[i].value);
    EXPECT_EQ(Figures(p).Value("SB_XXQTFPMX_ZBJE_6_12"), "100.00");
    EXPECT_EQ(Figures(p).Value("SB_XXQTFPMX_ZBJE_9_12"), "250.00");

    vantrel::TPreviewSheet* sheet = Sheet(p);
    for (const vantrel::TSummaryPlace& place : vantrel::SummaryPlaces()) {
        const std::string name(place.name);
        const QString tip = sheet->ToolTipAt(sheet->CellCenter(name));
        EXPECT_EQ(tip, QString::fromLatin1(name) + u'\n' + GbkToQString(vantrel::SummaryCellCaption(name)));
    }
    EXPECT_TRUE(sheet->ToolTipAt(QPoint(2, 2)).isEmpty());

    EXPECT_EQ(sheet->FocusCell(), "SB_XXQTFPMX_ZBJE_6_12");
    // Each key and the cell that has the focus after it; the second Right is past the last
    // column and stays.
    const std::pair<Qt::Key, const char*> walk[] = {
        {Qt::Key_Right, "SB_XXQTFPMX_ZBJE_9_12"}, {Qt::Key_Down, "SB_XXQTFPMX_ZBJE_9_13"},
        {Qt::Key_Left, "SB_XXQTFPMX_ZBJE_6_13"},  {Qt::Key_Right, "SB_XXQTFPMX_ZBJE_9_13"},
        {Qt::Key_Right, "SB_XXQTFPMX_ZBJE_9_13"}, {Qt::Key_End, "SB_XXQTFPMX_FB1JE_8_30"},
        {Qt::Key_Up, "SB_XXQTFPMX_FB1JE_8_29"}};
    for (const auto& [key, cell] : walk) {
        QTest::keyClick(sheet, key);
        EXPECT_EQ(sheet->FocusCell(), cell) << QKeySequence(key).toString().toStdString();
    }
}

TEST_F(PreviewWindowTest, ClickAndEnterOpenTheInvoicesBehindTheFigure) {
    Invoice(1, 100);
    Invoice(2, 300);
    Invoice(3, 50, 1);
    Invoice(4, 70, 0, 2);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    vantrel::TPreviewSheet* sheet = testhost::Control<vantrel::TPreviewSheet>(p, u"PreviewSheet"_s);
    ASSERT_NE(sheet, nullptr);

    const std::string name = "SB_XXQTFPMX_FB1JE_4_10";
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>(
        [&] { QTest::mouseClick(sheet, Qt::LeftButton, {}, sheet->CellCenter(name)); },
        [&](vantrel::TFrmPreviewDrill* d) {
            EXPECT_TRUE(testhost::Control<QLabel>(d, u"lbCell"_s)->text().contains(u"FB1JE_4_10"_s));
            const DrillFields f(d);
            vantrel::TInvoiceListModel* model = f.model;
            ASSERT_EQ(model->rowCount(), 3);
            EXPECT_EQ(f.value, "450.00");
            EXPECT_EQ(f.listed, "450.00");
            const QString totals = testhost::Control<QLabel>(d, u"lbTotals"_s)->text();
            EXPECT_TRUE(totals.contains(u"共 3 张发票"_s)) << totals.toStdString();
            // The manager's columns and texts.
            EXPECT_EQ(model->columnCount(), vantrel::InvoiceListColumnCount);
            EXPECT_EQ(model->headerData(vantrel::ColFplxmc, Qt::Horizontal).toString(), u"发票类型"_s);
            EXPECT_EQ(model->data(model->index(0, vantrel::ColFplxmc)).toString(), u"普通发票"_s);
            EXPECT_EQ(model->data(model->index(1, vantrel::ColJe)).toString(), u"300.00"_s);
            EXPECT_EQ(model->data(model->index(2, vantrel::ColJzjt)).toString(), u"是"_s);
        }));
    EXPECT_EQ(sheet->FocusCell(), name);

    // Enter on the focused figure; the arrow moves to the tax of the same invoices.
    sheet->setFocus();
    QTest::keyClick(sheet, Qt::Key_Right);
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { QTest::keyClick(sheet, Qt::Key_Return); },
                                            [&](vantrel::TFrmPreviewDrill* d) {
                                                EXPECT_TRUE(testhost::Control<QLabel>(d, u"lbCell"_s)->text().contains(u"FB1SE_5_10"_s));
                                                const DrillFields f(d);
                                                EXPECT_EQ(f.model->rowCount(), 3);
                                                EXPECT_EQ(f.listed, f.value);
                                                EXPECT_EQ(f.value, DocumentValue("SB_XXQTFPMX_FB1SE_5_10"));
                                            }));
    // Zero figures open an empty list.
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_6_19"); },
                                            [&](vantrel::TFrmPreviewDrill* d) {
                                                const DrillFields f(d);
                                                EXPECT_EQ(f.model->rowCount(), 0);
                                                EXPECT_EQ(f.listed, "0.00");
                                            }));
}

TEST_F(PreviewWindowTest, ModifyFromTheDrillDownRefreshesTheListAndThePreview) {
    Invoice(1, 100);
    Invoice(2, 300);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    const std::string general = "SB_XXQTFPMX_ZBJE_6_12", refunded = "SB_XXQTFPMX_ZBJE_9_12";
    EXPECT_EQ(Figures(p).Value(general), "400.00");
    QSignalSpy changed(p, &vantrel::TFrmReturnPreview::InvoiceChanged);

    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, general); }, [&](vantrel::TFrmPreviewDrill* d) {
        // Nothing ticked: the manager's message, no window.
        corlith::test::ClearMessages();
        QTest::mouseClick(DrillFields(d).modify, Qt::LeftButton);
        ASSERT_FALSE(corlith::test::Messages().empty());
        EXPECT_EQ(corlith::test::Messages().back().number, 5037001);

        vantrel::TInvoiceListModel* model = DrillFields(d).model;
        ASSERT_TRUE(model->setData(model->index(1, vantrel::ColSelect), Qt::Checked, Qt::CheckStateRole));
        ASSERT_TRUE(WithModal<TFrmXxqtfpDetail>([&] { QTest::mouseClick(DrillFields(d).modify, Qt::LeftButton); },
                                                [&](TFrmXxqtfpDetail* detail) {
                                                    EXPECT_EQ(detail->EditMode(), vantrel::kDetailModify);
                                                    QTest::mouseClick(Fields(detail).rbJZJT_YES, Qt::LeftButton);
                                                    QTest::mouseClick(Fields(detail).BtnCommit, Qt::LeftButton);
                                                }));
        // The invoice left this figure: the list and the figure follow the database.
        ASSERT_EQ(model->rowCount(), 1);
        EXPECT_EQ(model->RecordAt(0)->xh, 1);
        EXPECT_EQ(DrillFields(d).value, "100.00");
        EXPECT_EQ(DrillFields(d).listed, "100.00");
    }));
    EXPECT_EQ(QueryText("select jzjt from sb07_xxfpb where xh=2"), "1");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(Figures(p).Value(general), "100.00");
    EXPECT_EQ(Figures(p).Value(refunded), "300.00");
    EXPECT_EQ(Figures(p).Value(refunded), DocumentValue(refunded));
}

TEST_F(PreviewWindowTest, ManagerOpensThePreviewAndReadsItsListAgainAfterAChange) {
    Invoice(1, 100);
    auto* m = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());
    Keep(m);
    m->show();
    ASSERT_EQ(Mgr(m).Records().size(), 1u);
    EXPECT_EQ(Mgr(m).Records()[0]->jzjt, "0");

    bool drilled = false;
    ASSERT_TRUE(WithModal<vantrel::TFrmReturnPreview>([&] { Mgr(m).ActPreview->trigger(); }, [&](vantrel::TFrmReturnPreview* p) {
        EXPECT_EQ(Figures(p).Value("SB_XXQTFPMX_ZBJE_6_12"), "100.00");
        drilled = WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_6_12"); }, [&](vantrel::TFrmPreviewDrill* d) {
            const DrillFields f(d);
            ASSERT_TRUE(f.model->setData(f.model->index(0, vantrel::ColSelect), Qt::Checked, Qt::CheckStateRole));
            WithModal<TFrmXxqtfpDetail>([&] { QTest::mouseClick(f.modify, Qt::LeftButton); }, [&](TFrmXxqtfpDetail* detail) {
                QTest::mouseClick(Fields(detail).rbJZJT_YES, Qt::LeftButton);
                QTest::mouseClick(Fields(detail).BtnCommit, Qt::LeftButton);
            });
        });
        // The preview closes itself (and frees itself) like any of the module's dialogs.
        p->close();
    }));
    EXPECT_TRUE(drilled);
    ASSERT_EQ(Mgr(m).Records().size(), 1u);
    EXPECT_EQ(Mgr(m).Records()[0]->jzjt, "1");
}

TEST_F(PreviewWindowTest, TheDrillDownListFollowsTheManagersRuleAndEnterModifiesTheFirstTicked) {
    for (int xh = 1; xh <= 5; ++xh) Invoice(xh, xh * 10);
    auto* m = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());
    Keep(m);
    m->show();
    bool drilled = false;
    ASSERT_TRUE(WithModal<vantrel::TFrmReturnPreview>([&] { Mgr(m).ActPreview->trigger(); }, [&](vantrel::TFrmReturnPreview* p) {
        drilled = WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_6_12"); }, [&](vantrel::TFrmPreviewDrill* d) {
            vantrel::TInvoiceListView* list = testhost::Control<vantrel::TInvoiceListView>(d, u"VSTInvoice"_s);
            list->setFocus();
            testlist::CheckListRule(list);
            testlist::Click(list, 1);
            testlist::Click(list, 3, Qt::ControlModifier);
            const vantrel::TInvoiceListModel* model = DrillFields(d).model;
            const QString first = model->data(model->index(1, vantrel::ColJe)).toString();
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_F2}) {
                QString opened;
                WithModal<TFrmXxqtfpDetail>([&] { QTest::keyClick(list, key); },
                                            [&](TFrmXxqtfpDetail* detail) { opened = GbkToQString(Fields(detail).edtje->Text()); });
                EXPECT_EQ(opened, first) << key;
            }
        });
        p->close();
    }));
    EXPECT_TRUE(drilled);
}

TEST_F(PreviewWindowTest, DeclaredPeriodRefusesModifyFromTheDrillDown) {
    Invoice(1, 100);
    // A return declared successfully blocks changes.
    DeclareThePeriod(period_);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    QSignalSpy changed(p, &vantrel::TFrmReturnPreview::InvoiceChanged);
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_6_12"); }, [&](vantrel::TFrmPreviewDrill* d) {
        const DrillFields f(d);
        ASSERT_TRUE(f.model->setData(f.model->index(0, vantrel::ColSelect), Qt::Checked, Qt::CheckStateRole));
        corlith::test::ClearMessages();
        const bool opened = WithModal<TFrmXxqtfpDetail>([&] { QTest::mouseClick(f.modify, Qt::LeftButton); }, [](TFrmXxqtfpDetail*) {});
        EXPECT_FALSE(opened);
        ASSERT_FALSE(corlith::test::Messages().empty());
        EXPECT_EQ(corlith::test::Messages().back().kind, corlith::test::MessageKind::InfoMsgBox);
    }));
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(PreviewWindowTest, FailedReadsAreReportedAndLeaveTheLastFigures) {
    Invoice(1, 100);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    // The figures read after a change fail: said once, the last figures stay.
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_6_12"); }, [&](vantrel::TFrmPreviewDrill* d) {
        const DrillFields f(d);
        ASSERT_TRUE(f.model->setData(f.model->index(0, vantrel::ColSelect), Qt::Checked, Qt::CheckStateRole));
        WithModal<TFrmXxqtfpDetail>([&] { QTest::mouseClick(f.modify, Qt::LeftButton); }, [&](TFrmXxqtfpDetail* detail) {
            QTest::mouseClick(Fields(detail).rbJZJT_YES, Qt::LeftButton);
            corlith::test::ClearMessages();
            corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "disk I/O error", "sum(");
            QTest::mouseClick(Fields(detail).BtnCommit, Qt::LeftButton);
        });
    }));
    int said = 0;
    for (const auto& message : corlith::test::Messages()) said += message.text.find("disk I/O error") != std::string::npos;
    EXPECT_EQ(said, 1);
    EXPECT_EQ(QueryText("select jzjt from sb07_xxfpb where xh=1"), "1");
    EXPECT_EQ(Figures(p).Value("SB_XXQTFPMX_ZBJE_6_12"), "100.00");

    // The invoices behind a figure fail to read: said, an empty list; the next opening reads them.
    corlith::test::ClearFailures();
    corlith::test::ClearMessages();
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "disk I/O error", "left join");
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_9_12"); }, [&](vantrel::TFrmPreviewDrill* d) {
        EXPECT_EQ(DrillFields(d).model->rowCount(), 0);
        ASSERT_FALSE(corlith::test::Messages().empty());
        EXPECT_EQ(corlith::test::Messages().back().number, 5037007);
    }));
    ASSERT_TRUE(WithModal<vantrel::TFrmPreviewDrill>([&] { ClickFigure(p, "SB_XXQTFPMX_ZBJE_9_12"); },
                                            [&](vantrel::TFrmPreviewDrill* d) { EXPECT_EQ(DrillFields(d).model->rowCount(), 1); }));
}

// ---- printing ------------------------------------------------------------------------------

TEST_F(PreviewWindowTest, ListPrintsAsATableOverAsManySheetsAsItNeeds) {
    for (int xh = 1; xh <= 70; ++xh) Invoice(xh, 1000 + xh);
    auto* m = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());
    Keep(m);
    m->show();
    ASSERT_EQ(Mgr(m).model->rowCount(), 70);

    const QString pdf = QString::fromStdString((dir_ / "list.pdf").string());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageOrientation(QPageLayout::Landscape);
    vantrel::TListPrintHeader header = vantrel::CurrentListHeader(vantrel::ModuleContextFromHost(), u"其它销项发票"_s);
    EXPECT_EQ(header.taxpayer, u"测试公司（91110000MA001TEST）"_s);
    header.note = u"共 70 张发票"_s;
    const int sheets = vantrel::PrintInvoiceTable(printer, *Mgr(m).model, {}, header, QDate(2026, 12, 1));
    EXPECT_GT(sheets, 1);

    const QString dir = QString::fromStdString(dir_.string());
    const ClientRun info = RunProgram(u"pdfinfo"_s, {pdf}, dir);
    ASSERT_EQ(info.exitCode, 0) << info;
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Pages:\\s+%1\\n"_s.arg(sheets)))) << info;
    const ClientRun text = RunProgram(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}, dir);
    ASSERT_EQ(text.exitCode, 0) << text;
    EXPECT_TRUE(text.out.contains(u"测试公司"_s));
    EXPECT_TRUE(text.out.contains(u"打印日期：2026-12-01"_s));
    EXPECT_TRUE(text.out.contains(u"第 %1 页，共 %1 页"_s.arg(sheets)));
    EXPECT_TRUE(text.out.contains(u"共 70 张发票"_s));
    // Every row once, the column captions on every sheet.
    for (int xh = 1; xh <= 70; ++xh) EXPECT_EQ(text.out.count(u"%1.00"_s.arg(1000 + xh)), 1) << xh;
    EXPECT_EQ(text.out.count(u"是否即征即退"_s), sheets);
}

TEST_F(PreviewWindowTest, PreviewPrintsOnOneSheet) {
    Invoice(1, 1234.5);
    vantrel::TFrmReturnPreview* p = OpenPreview();
    const QString pdf = QString::fromStdString((dir_ / "page.pdf").string());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    vantrel::PrintPreviewPage(printer, Figures(p), QDate(2026, 12, 2));
    const QString dir = QString::fromStdString(dir_.string());
    const ClientRun info = RunProgram(u"pdfinfo"_s, {pdf}, dir);
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Pages:\\s+1\\n"_s))) << info;
    const ClientRun text = RunProgram(u"pdftotext"_s, {pdf, u"-"_s}, dir);
    EXPECT_TRUE(text.out.contains(u"测试公司"_s)) << text;
    EXPECT_TRUE(text.out.contains(u"日期：2026-12-02"_s)) << text;
    EXPECT_TRUE(text.out.contains(u"1234.50"_s)) << text;
}

}  // namespace

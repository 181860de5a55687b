// Register import and export: CSV and spreadsheet files on disk, the row checks, the one
// transaction, and round trips through a real SQLite database.
#include "context/f_ModuleContext.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"

#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "summary/f_QtfpSummary.h"

#include "support/fault_steps.h"
#include "support/host_fixture.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <tuple>

using corlith::test::FailPoint;
using namespace testhost;

namespace {

std::string Utf8(const std::string& gbk) { return GbkToQString(gbk).toStdString(); }

std::string Msg(int number, const std::string& param = std::string()) {
    std::string text;
    GetMsg(number, param, 1, text);
    return text;
}

const char* const kHeader = "发票类型,开票日期,份数,金额,税率,税额,购方税号,是否免税,是否劳务发票,是否作废,是否即征即退\r\n";

}  // namespace

// ---- CSV ---------------------------------------------------------------------------------

TEST(CsvFile, ReadsTheQuotingOfRfc4180) {
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ParseCsvText("a,b\r\n\"x,1\",\"say \"\"hi\"\"\"\r\n\r\n\"two\r\nlines\",\r\nlast,row", table, error))
        << error;
    ASSERT_EQ(table.header, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0].cells[0].text, "x,1");
    EXPECT_EQ(table.rows[0].cells[1].text, "say \"hi\"");
    EXPECT_EQ(table.rows[1].cells[0].text, "two\r\nlines");
    EXPECT_EQ(table.rows[1].cells[1].text, "");
    EXPECT_EQ(table.rows[2].cells[1].text, "row");  // no line end after the last record
    EXPECT_EQ(table.rows[0].line, 2);
    // A blank line is no row, but it is counted, as a spreadsheet opening the file shows it.
    EXPECT_EQ(table.rows[1].line, 4);
    EXPECT_EQ(table.rows[2].line, 5);
}

TEST(CsvFile, RowNumbersCountBlankLinesWhateverTheLineEnds) {
    for (const char* text : {"\na,b\n1,2\n\n\n3,4\n", "\r\na,b\r\n1,2\r\n\r\n\r\n3,4\r\n",
                             "\ra,b\r1,2\r\r\r3,4", "\na,b\r\n1,2\n\r\n \n3,4\r\n\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(text)));
        vantrel::TExchangeTable table;
        std::string error;
        ASSERT_TRUE(vantrel::ParseCsvText(text, table, error)) << error;
        EXPECT_EQ(table.headerLine, 2);
        ASSERT_EQ(table.rows.size(), 2u);
        EXPECT_EQ(table.rows[0].line, 3);
        EXPECT_EQ(table.rows[1].line, 6);
        EXPECT_EQ(table.rows[1].cells[1].text, "4");
    }
}

TEST(CsvFile, RefusesAnUnbalancedQuote) {
    vantrel::TExchangeTable table;
    std::string error;
    EXPECT_FALSE(vantrel::ParseCsvText("a,b\r\n1,\"open\r\n2,3\r\n", table, error));
    EXPECT_NE(error.find("引号"), std::string::npos) << error;
    EXPECT_FALSE(vantrel::ParseCsvText("a,b\r\n1,x\"y\"\r\n", table, error));
}

TEST(CsvFile, WriterQuotesOnlyWhatNeedsItAndReadsBack) {
    const std::vector<std::string> fields = {"plain", "a,b", "say \"hi\"", "two\nlines", "", "发票"};
    std::string text;
    vantrel::AppendCsvRecord(text, fields);
    EXPECT_EQ(text, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",,发票\r\n");
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ParseCsvText(text + text, table, error)) << error;
    ASSERT_EQ(table.rows.size(), 1u);
    for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(table.rows[0].cells[i].text, fields[i]) << i;
}

// The export builds its file field by field; the bytes must be those of the whole GBK text
// converted at once, whatever the quoting, the GBK trail bytes and the texts repeated or not.
TEST(CsvFile, WriterBytesEqualTheWholeTextConvertedAtOnce) {
    std::mt19937 rng(4180);
    // Long plain runs with one byte that asks for quotes (or is just below or above those
    // bytes) anywhere in them, as the writer looks at eight bytes at a time.
    const std::vector<std::string> pieces = {"a", "发票", "是", "否", ",", "\"", "\r\n", "\n", " ", "\x81\x40",
                                             "\x95\x5C", "\x81\x7E", "12.50", "", "2026-11-03", "91440300MA5F3KXL27",
                                             "+", "-", "\x7F", "\t", "0123456789abcdef"};
    std::string gbk;
    vantrel::TCsvWriter writer;
    for (int record = 0; record < 400; ++record) {
        std::vector<std::string> fields(1 + rng() % 11);
        std::vector<bool> verbatim(fields.size());
        for (std::size_t f = 0; f < fields.size(); ++f) {
            // Numbers go in as they are written.
            verbatim[f] = f > 0 && rng() % 4 == 0;
            if (verbatim[f]) {
                fields[f] = std::to_string(static_cast<int>(rng() % 2000000) - 1000000) + ".25";
                continue;
            }
            // Column 0 cycles through more distinct texts than the writer keeps converted.
            const int parts = static_cast<int>(rng() % 5);
            for (int p = 0; p < parts; ++p) fields[f] += pieces[rng() % pieces.size()];
        }
        fields[0] = "类型" + std::to_string(record % 13) + fields[0];
        vantrel::AppendCsvRecord(gbk, fields);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (verbatim[f]) writer.Verbatim(fields[f]);
            else writer.Field(fields[f]);
        }
        writer.EndRecord();
    }
    const QByteArray whole = GbkToQString(gbk).toUtf8();
    const std::string expected = "\xEF\xBB\xBF" + std::string(whole.constData(), static_cast<std::size_t>(whole.size()));
    ASSERT_EQ(writer.Bytes().size(), expected.size());
    EXPECT_TRUE(writer.Bytes() == expected);
    vantrel::TExchangeTable table;
    std::string error, back;
    vantrel::TTextEncoding encoding;
    ASSERT_TRUE(vantrel::DecodeRegisterText(writer.Bytes(), back, encoding, error)) << error;
    EXPECT_EQ(back, gbk);
}

TEST(CsvFile, DetectsUtf8WithAndWithoutMarkAndGbk) {
    const std::string gbk = "发票类型,金额\r\n普通发票,￥1\r\n";
    std::string out, error;
    vantrel::TTextEncoding found;
    ASSERT_TRUE(vantrel::DecodeRegisterText(Utf8(gbk), out, found, error)) << error;
    EXPECT_EQ(found, vantrel::TTextEncoding::Utf8);
    EXPECT_EQ(out, gbk);
    ASSERT_TRUE(vantrel::DecodeRegisterText("\xEF\xBB\xBF" + Utf8(gbk), out, found, error)) << error;
    EXPECT_EQ(found, vantrel::TTextEncoding::Utf8Bom);
    EXPECT_EQ(out, gbk);
    ASSERT_TRUE(vantrel::DecodeRegisterText(gbk, out, found, error)) << error;
    EXPECT_EQ(found, vantrel::TTextEncoding::Gbk);
    EXPECT_EQ(out, gbk);
    // The half-width yen sign, which GBK lacks, reads as the full-width one.
    ASSERT_TRUE(vantrel::DecodeRegisterText("\xC2\xA5" "5", out, found, error)) << error;
    EXPECT_EQ(out, "￥5");
}

// A stream read in pieces finds what the whole text holds, wherever a piece ends: inside a
// character of either encoding, a quoted field or a CR LF pair.
TEST(CsvFile, ReadingInPiecesIsReadingTheWholeText) {
    std::mt19937 rng(64);
    const std::vector<std::string> words = {"普通发票", "是", "否", "\"引号,内\"", "a", "12.50", "\"两\r\n行\"", ""};
    std::string gbk = "发票类型,金额,税率\r\n";
    while (gbk.size() < 30000) {
        for (int c = 0; c < 3; ++c) gbk += (c ? "," : "") + words[rng() % words.size()];
        gbk += rng() % 2 ? "\r\n" : "\n";
    }
    vantrel::TExchangeTable expected;
    std::string error;
    ASSERT_TRUE(vantrel::ParseCsvText(gbk, expected, error)) << error;
    const auto flat = [](const vantrel::TExchangeTable& t) {
        std::string all;
        for (const vantrel::TExchangeRow& row : t.rows) {
            all += std::to_string(row.line);
            for (const vantrel::TExchangeCell& cell : row.cells) all += "|" + cell.text;
            all += "\n";
        }
        return all;
    };
    for (const std::string& bytes : {Utf8(gbk), "\xEF\xBB\xBF" + Utf8(gbk), gbk}) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, bytes.size()}) {
            vantrel::TExchangeTable table;
            vantrel::TExchangeTableSink sink(table);
            ASSERT_TRUE(vantrel::ReadCsvBytes(bytes, piece, sink, error)) << error;
            EXPECT_EQ(table.header, expected.header);
            EXPECT_EQ(flat(table), flat(expected)) << piece;
        }
    }
    // Byte-order marks inside the text (a fuzzing find): the same verdict whole or in pieces.
    const std::string marks = "a,b\r\n\xEF\xBB\xBF\xEF\xBB\xBF,1\r\n";
    std::string wholeError, piecesError;
    vantrel::TExchangeTable whole, pieces;
    vantrel::TExchangeTableSink wholeSink(whole), piecesSink(pieces);
    EXPECT_EQ(vantrel::ReadCsvBytes(marks, marks.size(), wholeSink, wholeError), vantrel::ReadCsvBytes(marks, 3, piecesSink, piecesError));
    EXPECT_EQ(wholeError, piecesError);
}

// A text a spreadsheet would compute is exported behind an apostrophe and read back without it;
// negative amounts stay numbers.
TEST(CsvFile, FormulaLikeTextsTravelBehindAnApostrophe) {
    for (const std::string lead : {"=", "+", "-", "@", "\t", "\r"}) {
        vantrel::TCsvWriter writer;
        writer.Field("a");
        writer.Field("b");
        writer.EndRecord();
        writer.Text(lead + "A1-B1");
        writer.Verbatim("-100.00");
        writer.EndRecord();
        const std::string bytes = writer.Bytes();
        EXPECT_NE(bytes.find("'" + lead + "A1-B1"), std::string::npos) << bytes;
        std::string gbk, error;
        vantrel::TTextEncoding found;
        vantrel::TExchangeTable table;
        ASSERT_TRUE(vantrel::DecodeRegisterText(bytes, gbk, found, error) && vantrel::ParseCsvText(gbk, table, error)) << error;
        ASSERT_EQ(table.rows.size(), 1u);
        EXPECT_EQ(table.rows[0].cells[0].text, lead + "A1-B1");
        EXPECT_EQ(table.rows[0].cells[1].text, "-100.00");
    }
    // The export guards its buyer ids, not its amounts.
    Txxqtfpxx r;
    r.gfnsr = "-A1-B1-C1";
    r.je = -100;
    const std::string bytes = vantrel::RegisterCsvBytes({&r});
    EXPECT_NE(bytes.find(",'-A1-B1-C1,"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(",-100.00,"), std::string::npos) << bytes;
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ParseCsvText("a,b\r\n'x,'=\r\n", table, error));
    EXPECT_EQ(table.rows[0].cells[0].text, "'x");   // only before what a spreadsheet computes
    EXPECT_EQ(table.rows[0].cells[1].text, "=");
}

TEST(CsvFile, RefusesTextThatIsNeitherUtf8NorGbk) {
    std::string out, error;
    vantrel::TTextEncoding found;
    EXPECT_FALSE(vantrel::DecodeRegisterText("a,b\r\n\xFF\xFE,1\r\n", out, found, error));
    EXPECT_NE(error.find("编码"), std::string::npos) << error;
    // UTF-8 holding a character that GBK cannot represent names its line.
    EXPECT_FALSE(vantrel::DecodeRegisterText("a\r\nb\r\n\xF0\x9F\x98\x80\r\n", out, found, error));
    EXPECT_NE(error.find("第 3 行"), std::string::npos) << error;
    // Also when the words around it came earlier and converted well.
    EXPECT_FALSE(vantrel::DecodeRegisterText(Utf8("普通发票,是\r\n普通发票,是\r\n") + Utf8("普通") + "\xF0\x9F\x98\x80" + Utf8("发票\r\n"),
                                    out, found, error));
    EXPECT_NE(error.find("第 3 行"), std::string::npos) << error;
    EXPECT_FALSE(vantrel::DecodeRegisterText("\xEF\xBB\xBF\xFF", out, found, error));
}

// ---- the entry checks the window and the import share -----------------------------------

// An entry with the texts of the window's type, count, amount, rate and tax fields.
vantrel::TInvoiceEntry TypedEntry(std::string typeName, std::string count, std::string amount, std::string rate,
                         std::string tax) {
    vantrel::TInvoiceEntry entry;
    entry.typeName = std::move(typeName);
    entry.countText = std::move(count);
    entry.amountText = std::move(amount);
    entry.rateText = std::move(rate);
    entry.taxText = std::move(tax);
    return entry;
}

TEST(EntryChecks, ListEveryFindingInTheWindowsOrderWithoutEchoes) {
    vantrel::TEntryContext context;
    context.period = "202611";
    context.taxpayer = "91110000MA001TEST";
    context.today = QDate(2026, 12, 1);
    context.idLengths = "|15|18|";
    vantrel::TInvoiceEntry entry = TypedEntry("未开具发票", "abc", "0", " ", "x");
    entry.buyer = "91110000MA001TEST";
    entry.issued = QDate(2026, 12, 2);
    entry.voided = true;
    std::vector<int> codes;
    for (const vantrel::TEntryFinding& f : CheckInvoiceEntry(entry, context)) codes.push_back(f.code);
    // Type, count (once, although the text is no number either), amount, rate, unreadable tax,
    // buyer length, the date after today (not also after the period), buyer is self, voided.
    EXPECT_EQ(codes, (std::vector<int>{5037017, 5037018, 5037019, 5037020, 5037022, 5037024, 5037026, 5037029,
                                       5037031}));

    vantrel::TInvoiceEntry good = TypedEntry("普通发票", "1", "100", "17%", "17.15");
    good.typeChosen = true;
    good.issued = QDate(2026, 11, 30);
    EXPECT_TRUE(vantrel::CheckInvoiceEntry(good, context).empty());
    good.issued = QDate(2026, 12, 1);
    const auto findings = vantrel::CheckInvoiceEntry(good, context);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_TRUE(findings[0].confirmation);
    EXPECT_EQ(findings[0].param, "2026年11月30日");
    good.taxText = "17.16";
    good.dateEnabled = false;  // a type without a date skips every date check
    ASSERT_EQ(CheckInvoiceEntry(good, context).size(), 1u);
    EXPECT_EQ(CheckInvoiceEntry(good, context)[0].code, 5037022);
    EXPECT_EQ(CheckInvoiceEntry(good, context)[0].param, "15");
}

// ---- spreadsheet cells -------------------------------------------------------------------

TEST(XlsxFile, SerialDaysOfThe1900System) {
    EXPECT_EQ(vantrel::DateToSerial(QDate(1900, 1, 1)), 1);
    EXPECT_EQ(vantrel::DateToSerial(QDate(1900, 3, 1)), 61);
    EXPECT_EQ(vantrel::DateToSerial(QDate(2026, 11, 10)), 46336);
    EXPECT_EQ(vantrel::SerialToDate(46336), QDate(2026, 11, 10));
    EXPECT_EQ(vantrel::SerialToDate(46336.75), QDate(2026, 11, 10));  // a time of day does not move the date
    EXPECT_EQ(vantrel::SerialToDate(59), QDate(1900, 2, 28));
    EXPECT_FALSE(vantrel::SerialToDate(60).isValid());
    EXPECT_FALSE(vantrel::SerialToDate(0).isValid());
}

// ---- import and export through the database --------------------------------------------

class ExchangeTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        std::ofstream ini(subAppDir_ / "fp_config.ini");
        ini << "[xxqtfp]\nsl=|17|13|6|4|0|\nwc=15\n";
        ini.close();
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    }

    // The plan's "today" is the host's: the last second of the year.
    ClockAt clock_{"2026-12-31 23:59:59"};

    QString File(const std::string& name) const { return QString::fromStdString((dir_ / name).string()); }

    void WriteBytes(const QString& path, const std::string& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    vantrel::TImportPlan Plan(const QString& path, const std::string& company = kCompany) {
        vantrel::TExchangeTable table;
        std::string error;
        EXPECT_TRUE(vantrel::ReadRegisterFile(path, table, error)) << error;
        vantrel::TImportTarget target;
        EXPECT_TRUE(vantrel::LoadImportTarget(testhost::ContextFor(company), target, error)) << error;
        vantrel::TImportPlan plan = vantrel::PlanImport(table, target);
        FreeInvoiceList(target.existing);
        return plan;
    }

    static std::string Issues(const vantrel::TImportPlan& plan) {
        std::string all;
        for (const vantrel::TImportIssue& i : plan.issues) all += vantrel::IssueText(i) + "\n";
        return all;
    }

    vantrel::TStoreResult Store(const vantrel::TImportPlan& plan, std::string& error, const std::string& company = kCompany,
                       const vantrel::TImportProgress& progress = {}) {
        return vantrel::StoreImport(plan, testhost::ContextFor(company), progress, error);
    }

    long long Count(const std::string& company = kCompany) {
        return QueryInt("select count(*) from sb07_xxfpb where nsrsbh='" + company + "' and sbssq='202611'");
    }

    // One stored row as "fplx|kprq|fs|je|se|sl|gfnsr|ms|lwfp|zfbz|jzjt", by sequence number.
    std::string Row(int xh, const std::string& company = kCompany) {
        std::vector<Txxqtfpxx*> list;
        std::string error;
        EXPECT_TRUE(vantrel::ReadInvoiceList(testhost::ContextFor(company), "", "", list, error)) << error;
        std::string text;
        for (const Txxqtfpxx* r : list)
            if (r->xh == xh)
                text = r->fplx + "|" + r->kprq + "|" + std::to_string(r->fs) + "|" + vantrel::AmountText(r->je) + "|" +
                       vantrel::AmountText(r->se) + "|" + std::to_string(r->sl) + "|" + r->gfnsr + "|" + r->ms + r->lwfp +
                       r->zfbz + r->jzjt;
        FreeInvoiceList(list);
        return text;
    }

    void ImportCsv(const std::string& gbkRows, int expectedRows) {
        const QString path = File("in.csv");
        WriteBytes(path, "\xEF\xBB\xBF" + Utf8(kHeader + gbkRows));
        const vantrel::TImportPlan plan = Plan(path);
        ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
        std::string error;
        ASSERT_EQ(Store(plan, error), vantrel::TStoreResult::Stored) << error;
        ASSERT_EQ(Count(), expectedRows);
    }
};

TEST_F(ExchangeTest, CsvInEveryEncodingStoresTheSameRows) {
    const std::string rows =
        "普通发票,2026-11-03,2,1000.00,17,170.00,110101199001011234,否,是,否,否\r\n"
        "纳税检查调整,2026-11-20,0,88.80,0%,0,,是,否,否,是\r\n";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"utf8.csv", Utf8(kHeader + rows)}, {"bom.csv", "\xEF\xBB\xBF" + Utf8(kHeader + rows)}, {"gbk.csv", kHeader + rows}};
    for (const auto& [name, bytes] : files) {
        Exec("delete from sb07_xxfpb");
        WriteBytes(File(name), bytes);
        const vantrel::TImportPlan plan = Plan(File(name));
        ASSERT_FALSE(plan.HasErrors()) << name << "\n" << Issues(plan);
        std::string error;
        ASSERT_EQ(Store(plan, error), vantrel::TStoreResult::Stored) << name << ": " << error;
        EXPECT_EQ(Row(1), "1|2026-11-03|2|1000.00|170.00|17|110101199001011234|0100") << name;
        EXPECT_EQ(Row(2), "5|2026-11-20|0|88.80|0.00|0| |1001") << name;
    }
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 1);
}

TEST_F(ExchangeTest, ValueFormsOfTheFile) {
    ImportCsv("1,2026/11/5,1,\"¥1,234.50\",0.13,,,N,Y,false,true\r\n"
              "普通发票,20261106,3,\"1,234,567.00\",13%,\"160,493.71\",, 否 ,1,0,TRUE\r\n"
              "  未开具发票 ,,,500,6,30.00,,no,n,N,0\r\n"
              "纳税检查调整,2026-11-7,,-100,17,-17,,,,,\r\n",
              4);
    EXPECT_EQ(Row(1), "1|2026-11-05|1|1234.50|160.49|13| |0101");  // empty tax: amount x rate in fen
    EXPECT_EQ(Row(2), "1|2026-11-06|3|1234567.00|160493.71|13| |0101");
    EXPECT_EQ(Row(3), "3|2026-11-10|0|500.00|30.00|6| |0000");  // no date: the period's usual day
    EXPECT_EQ(Row(4), "5|2026-11-07|0|-100.00|-17.00|17| |0000");
}

TEST_F(ExchangeTest, EveryErrorOfEveryRowIsListedAndNothingIsStored) {
    const QString path = File("bad.csv");
    WriteBytes(path, Utf8(std::string(kHeader) +
                          "普通发票,2026-11-03,1,0,17,,,否,否,否,否\r\n"                     // line 2: amount 0
                          "普通发票,2026-10-31,1,100,17,17,1234567890_2345,否,否,否,否\r\n"  // 3: date, buyer
                          "专用发票,2026-11-03,1,100,5,5,,否,否,否,否\r\n"                  // 4: type, rate
                          "未开具发票,,0,100,17,17,,否,否,是,否\r\n"                        // 5: voided
                          "普通发票,2026-11-03,1,100,17,17.16,,否,否,否,maybe\r\n"         // 6: tax, flag
                          "普通发票,2026-11-03,1,100,17,17,,否,否,否,否\r\n"               // 7: fine
                          "普通发票,2027-01-01,1,100,17,17,,否,否,否,否\r\n"));            // 8: after today
    const vantrel::TImportPlan plan = Plan(path);
    ASSERT_TRUE(plan.HasErrors());
    const std::string issues = Issues(plan);
    for (const std::string& expected : std::vector<std::string>{"第 2 行 金额：" + Msg(5037019), "第 3 行 开票日期：" + Msg(5037028, "2026年11月01日"),
          "第 3 行 购方税号：" + Msg(5037023), "第 4 行 发票类型：不在发票类型列表中：专用发票",
          "第 4 行 税率：税率 5% 不在设置的税率中", "第 5 行 是否作废：" + Msg(5037031),
          "第 6 行 税额：" + Msg(5037022, "15"), "第 6 行 是否即征即退：", "第 8 行 开票日期：" + Msg(5037026)})
        EXPECT_NE(issues.find(expected), std::string::npos) << expected << "\nin:\n" << issues;
    EXPECT_EQ(issues.find("第 7 行"), std::string::npos) << issues;
    EXPECT_EQ(plan.issues.size(), 9u) << Utf8(issues);

    std::string error;
    EXPECT_EQ(Store(plan, error), vantrel::TStoreResult::Refused);
    EXPECT_EQ(Count(), 0);
    for (const std::string& statement : corlith::test::StatementsOnly())
        EXPECT_EQ(statement.find("insert"), std::string::npos) << statement;
}

TEST_F(ExchangeTest, HeaderColumnsAreFoundInAnyOrderAndUnknownOnesNamed) {
    const QString path = File("cols.csv");
    WriteBytes(path, Utf8(" 金额 ,发票类型, 税率,开票日期,份数\r\n100,普通发票,17,2026-11-03,1\r\n"));
    vantrel::TImportPlan plan = Plan(path);
    ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
    EXPECT_EQ(plan.rows.at(0).se, 17.0);

    WriteBytes(path, Utf8("金额,发票类型,税率,备注,颜色\r\n100,普通发票,17,x,y\r\n"));
    plan = Plan(path);
    EXPECT_NE(Issues(plan).find("未知的列：备注、颜色"), std::string::npos) << Issues(plan);
    WriteBytes(path, Utf8("发票类型,开票日期\r\n普通发票,2026-11-03\r\n"));
    EXPECT_NE(Issues(Plan(path)).find("缺少列：金额、税率"), std::string::npos);
}

// Planning may take the table's cells instead of copying them; the plan is the same, with
// columns in another order, some missing, a column without a caption, and short and long rows.
TEST_F(ExchangeTest, PlanningFromATakenTableIsPlanningFromACopy) {
    const QString path = File("taken.csv");
    WriteBytes(path, Utf8(" 税额,金额 ,发票类型, 税率,开票日期,,份数,是否免税\r\n"
                          "17,100,普通发票,17,2026-11-03,,1,否\r\n"
                          ",200,普通发票,13,2026-11-04,多出的,2\r\n"
                          "5,50,专用发票,17,2026-11-05\r\n"
                          "0,100,普通发票,17,2026-11-03,,1,是,,多一列\r\n"
                          "17,100,普通发票,17,2026-11-03,,1,否\r\n"));
    vantrel::TExchangeTable table;
    vantrel::TImportTarget target;
    std::string error;
    ASSERT_TRUE(vantrel::ReadRegisterFile(path, table, error)) << error;
    ASSERT_TRUE(vantrel::LoadImportTarget(testhost::ContextFor(kCompany), target, error)) << error;
    const vantrel::TImportPlan copied = vantrel::PlanImport(table, target);
    const vantrel::TImportPlan taken = vantrel::PlanImport(std::move(table), target);
    FreeInvoiceList(target.existing);

    const auto rowText = [](const vantrel::TImportPlan& plan, const vantrel::TImportRow& row) {
        const Txxqtfpxx record = plan.Record(row);
        std::string text = std::to_string(row.line) + "|" + record.fplx + "|" + record.kprq + "|" +
                           std::to_string(record.fs) + "|" + vantrel::AmountText(record.je) + "|" +
                           vantrel::AmountText(record.se) + "|" + std::to_string(record.sl) + "|" + record.ms;
        for (const vantrel::TExchangeCell& cell : row.cells)
            text += "|" + std::to_string(cell.kind) + ":" + cell.text + ":" + std::to_string(cell.number);
        return text;
    };
    ASSERT_EQ(taken.rows.size(), 5u);
    ASSERT_EQ(copied.rows.size(), taken.rows.size());
    for (std::size_t i = 0; i < taken.rows.size(); ++i) {
        EXPECT_EQ(taken.rows[i].cells.size(), static_cast<std::size_t>(vantrel::RegisterColumnCount));
        EXPECT_EQ(rowText(taken, taken.rows[i]), rowText(copied, copied.rows[i])) << i;
    }
    EXPECT_EQ(taken.rows[1].cells[vantrel::RcJe].text, "200");
    EXPECT_EQ(taken.rows[1].cells[vantrel::RcFs].text, "2");
    EXPECT_TRUE(taken.rows[2].cells[vantrel::RcMs].text.empty());
    EXPECT_EQ(Issues(taken), Issues(copied));
    EXPECT_NE(Issues(taken).find("第 3 行 第 6 列有数据但没有标题"), std::string::npos) << Issues(taken);
    EXPECT_NE(Issues(taken).find("第 5 行 第 10 列有数据但没有标题"), std::string::npos) << Issues(taken);
    EXPECT_NE(Issues(taken).find("与文件第 2 行相同"), std::string::npos) << Issues(taken);
}

TEST_F(ExchangeTest, ConfirmationsAndDuplicatesAreWarningsThatDoNotStopTheImport) {
    InsertInvoice(InvoiceRow{.xh = 7, .kprq = "2026-11-10", .je = 100.0, .se = 17.0});
    const QString path = File("warn.csv");
    WriteBytes(path, Utf8(std::string(kHeader) +
                          "普通发票,2026-11-10,1,100,17,17,,否,否,否,否\r\n"    // as stored
                          "普通发票,2026-12-02,1,50,17,8.5,,否,否,否,否\r\n"    // after the period
                          "普通发票,2026-12-02,1,50,17,8.5,,否,否,否,否\r\n"));  // as line 3
    const vantrel::TImportPlan plan = Plan(path);
    EXPECT_FALSE(plan.HasErrors()) << Issues(plan);
    EXPECT_EQ(plan.WarningCount(), 4) << Issues(plan);
    const std::string issues = Issues(plan);
    EXPECT_NE(issues.find("提示：第 2 行 与登记簿中已有的一张发票相同"), std::string::npos) << issues;
    EXPECT_NE(issues.find("提示：第 3 行 开票日期：" + Msg(5037027, "2026年11月30日")), std::string::npos) << issues;
    EXPECT_NE(issues.find("提示：第 4 行 与文件第 3 行相同"), std::string::npos) << issues;

    std::string error;
    ASSERT_EQ(Store(plan, error), vantrel::TStoreResult::Stored) << error;
    // Numbered on from the largest stored sequence number.
    EXPECT_EQ(QueryText("select group_concat(xh) from (select xh from sb07_xxfpb order by xh) as t"), "7,8,9,10");
}

TEST_F(ExchangeTest, TheDeclarationStateGuardRefusesAsForAdding) {
    DeclareThePeriod();
    const QString path = File("ok.csv");
    WriteBytes(path, Utf8(std::string(kHeader) + "普通发票,2026-11-10,1,100,17,17,,否,否,否,否\r\n"));
    std::string error;
    EXPECT_EQ(Store(Plan(path), error), vantrel::TStoreResult::Refused);
    EXPECT_EQ(error, "申报成功， 不能操作！");
    EXPECT_EQ(Count(), 0);
}

TEST_F(ExchangeTest, CancellingStoresNothing) {
    std::string rows;
    for (int i = 0; i < 1200; ++i) rows += "普通发票,2026-11-10,1," + std::to_string(100 + i) + ",0,0,,是,否,否,否\r\n";
    const QString path = File("long.csv");
    WriteBytes(path, Utf8(kHeader + rows));
    const vantrel::TImportPlan plan = Plan(path);
    ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
    int calls = 0;
    std::string error;
    EXPECT_EQ(Store(plan, error, kCompany, [&calls](int done, int total) {
                  EXPECT_EQ(total, 1200);
                  EXPECT_LE(done, total);
                  return ++calls < 2;
              }),
              vantrel::TStoreResult::Cancelled);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Count(), 0);
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
}

class ImportFaultTest : public ExchangeTest, public ::testing::WithParamInterface<testhost::FaultStep> {};

TEST_P(ImportFaultTest, AFailureAtAnyStepStoresNothing) {
    const QString path = File("three.csv");
    WriteBytes(path, Utf8(std::string(kHeader) + "普通发票,2026-11-10,1,100,17,17,,否,否,否,否\r\n"
                                                 "普通发票,2026-11-11,1,200,17,34,,否,否,否,否\r\n"
                                                 "普通发票,2026-11-12,1,300,17,51,,否,否,否,否\r\n"));
    const vantrel::TImportPlan plan = Plan(path);
    ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
    testhost::ArmFault(GetParam());
    std::string error;
    EXPECT_EQ(Store(plan, error), vantrel::TStoreResult::Failed);
    EXPECT_EQ(error, "injected");
    corlith::test::ClearFailures();
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 0);
    EXPECT_FALSE(corlith::test::InTransaction(kConnection));
}

INSTANTIATE_TEST_SUITE_P(EveryStep, ImportFaultTest,
                         ::testing::Values(testhost::kBeginStep,
                                           testhost::StatementStep("FirstInsert", 1, "insert into"),
                                           testhost::StatementStep("LastInsert", 3, "insert into"),
                                           testhost::kMarkSelectStep, testhost::kMarkPostStep, testhost::kCommitStep),
                         testhost::StepName());

TEST_F(ExchangeTest, SpreadsheetExportHasTypedCellsAFrozenHeaderAndTotalsThatImportSkips) {
    InsertInvoice(InvoiceRow{.xh = 1, .fplx = 1, .kprq = "2026-11-03", .fs = 2, .je = 1234.5, .se = 209.87, .gfnsr = "110101199001011234"});
    InsertInvoice(InvoiceRow{.xh = 2, .fplx = 3, .kprq = "2026-11-10", .fs = 0, .je = 100, .se = 6, .sl = 6, .lwfp = 1});
    InsertInvoice(InvoiceRow{.xh = 3, .fs = 3, .je = 50.25, .se = 8.54, .zfbz = 1});
    std::vector<Txxqtfpxx*> list;
    std::string error;
    ASSERT_TRUE(vantrel::ReadInvoiceList(testhost::ContextFor(kCompany), "", "", list, error)) << error;
    std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->xh < b->xh; });
    const QString path = File("out.xlsx");
    ASSERT_TRUE(vantrel::ExportRegisterFile(path, {list.begin(), list.end()}, error)) << error;
    FreeInvoiceList(list);

    vantrel::TExchangeTable table;
    ASSERT_TRUE(vantrel::ReadXlsxFile(path, table, error)) << error;
    ASSERT_EQ(table.header.size(), static_cast<std::size_t>(vantrel::RegisterColumnCount));
    for (int c = 0; c < vantrel::RegisterColumnCount; ++c) EXPECT_EQ(table.header[static_cast<std::size_t>(c)], vantrel::RegisterColumnCaption(c));
    ASSERT_EQ(table.rows.size(), 5u);
    const auto& first = table.rows[0].cells;
    EXPECT_EQ(first[vantrel::RcKprq].kind, vantrel::TExchangeCell::Date);
    EXPECT_EQ(vantrel::SerialToDate(first[vantrel::RcKprq].number), QDate(2026, 11, 3));
    EXPECT_EQ(first[vantrel::RcJe].kind, vantrel::TExchangeCell::Number);
    EXPECT_DOUBLE_EQ(first[vantrel::RcJe].number, 1234.5);
    EXPECT_EQ(first[vantrel::RcGfnsr].text, "110101199001011234");
    // As the statistics line counts: every invoice, the sums without the voided ones, and those apart.
    const auto& total = table.rows[3].cells;
    EXPECT_EQ(total[vantrel::RcFplx].text, "合计：共 3 张发票，份数、金额、税额不含作废发票");
    EXPECT_EQ(std::vector<double>({total[vantrel::RcFs].number, total[vantrel::RcJe].number, total[vantrel::RcSe].number}),
              std::vector<double>({2, 1334.5, 215.87}));
    const auto& voided = table.rows[4].cells;
    EXPECT_EQ(voided[vantrel::RcFplx].text, "其中作废：1 张作废发票（不计入合计）");
    EXPECT_EQ(std::vector<double>({voided[vantrel::RcFs].number, voided[vantrel::RcJe].number, voided[vantrel::RcSe].number}),
              std::vector<double>({3, 50.25, 8.54}));

    // The frozen header is in the sheet's own XML.
    const vantrel::TImportPlan plan = Plan(path, "91440300MA5F3KXL2B");
    ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
    EXPECT_EQ(plan.rows.size(), 3u);
    ASSERT_EQ(Store(plan, error, "91440300MA5F3KXL2B"), vantrel::TStoreResult::Stored) << error;
    EXPECT_EQ(Row(1, "91440300MA5F3KXL2B"), "1|2026-11-03|2|1234.50|209.87|17|110101199001011234|0000");
    EXPECT_EQ(Row(2, "91440300MA5F3KXL2B"), "3|2026-11-10|0|100.00|6.00|6| |0100");
}

TEST_F(ExchangeTest, ReadsASpreadsheetWrittenByAnotherProgram) {
    const vantrel::TImportPlan plan = Plan(QString::fromUtf8(VANTREL_TEST_DATA "/register_openpyxl.xlsx"));
    ASSERT_FALSE(plan.HasErrors()) << Issues(plan);
    std::string error;
    ASSERT_EQ(Store(plan, error), vantrel::TStoreResult::Stored) << error;
    EXPECT_EQ(Row(1), "1|2026-11-03|2|1000.00|170.00|17|110101199001011234|0100");
    EXPECT_EQ(Row(2), "1|2026-11-05|1|1234.50|160.49|13| |0000");
    EXPECT_EQ(Row(3), "3|2026-11-10|0|500.00|30.00|6| |0000");
    EXPECT_EQ(Row(4), "5|2026-11-20|0|88.80|0.00|0| |1001");
}

// A numeric cell is read as strictly as a CSV field, and a message names the cell's own text.
TEST_F(ExchangeTest, NumericCellsAreReadAsStrictlyAsCsvFields) {
    const std::string issues = Issues(Plan(QStringLiteral(VANTREL_TEST_DATA "/hostile/numbers.xlsx")));
    for (const char* expected : {"第 2 行 金额：无法识别的金额：12abc", "第 3 行 金额：无法识别的金额：0x10",
                                 "第 4 行 税率：无法识别的税率：NaN", "第 5 行 金额：整数部分超过 12 位：1e15",
                                 "第 6 行 税率："})
        EXPECT_NE(issues.find(expected), std::string::npos) << expected << "\nin:\n" << Utf8(issues);
    EXPECT_NE(issues.find("1e400"), std::string::npos) << Utf8(issues);
}

TEST_F(ExchangeTest, RefusesAFileThatIsNoWorkbook) {
    const QString path = File("fake.xlsx");
    WriteBytes(path, "not a zip");
    vantrel::TExchangeTable table;
    std::string error;
    EXPECT_FALSE(vantrel::ReadRegisterFile(path, table, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(vantrel::ReadRegisterFile(File("missing.csv"), table, error));
    EXPECT_FALSE(vantrel::ReadRegisterFile(File("notes.txt"), table, error));
}

// Chosen records against the lines a bookkeeper reads: names that need quotes or hold a GBK
// trail byte of "\\", both signs, halves of a fen, blanks around a buyer, every flag form.
TEST(RegisterExport, CsvHoldsEachRecordsFieldsAsWritten) {
    const auto record = [](const char* name, const char* kprq, int fs, double je, int sl, double se, const char* gfnsr,
                           const char* ms, const char* lwfp, const char* zfbz, const char* jzjt) {
        Txxqtfpxx r;
        r.fplxmc = name, r.kprq = kprq, r.fs = fs, r.je = je, r.sl = sl, r.se = se, r.gfnsr = gfnsr;
        r.ms = ms, r.lwfp = lwfp, r.zfbz = zfbz, r.jzjt = jzjt;
        return r;
    };
    const std::vector<Txxqtfpxx> records = {
        record("普通发票", "2026-11-10", 2, 1234.5, 17, 209.865, " 91440300MA5F3KXL27 ", "1", "", "0", "x"),
        record("其它,发票", "", 0, -1000000.005, 0, 0, " ", "0", "1", "1", "1"),
        record("带\"引号\"", "2026-11-28", 9, 0.015, 13, -0.004, "4403", "11", "1", "", "0"),
        record("类型\x95\x5C", "2026-11-01", 1, 99999999999.99, 6, 6.0, "", "", "", "", ""),
    };
    const std::string lines = std::string(kHeader) +
                              "普通发票,2026-11-10,2,1234.50,17,209.87,91440300MA5F3KXL27,是,否,否,否\r\n"
                              "\"其它,发票\",,0,-1000000.01,0,0.00,,否,是,是,是\r\n"
                              "\"带\"\"引号\"\"\",2026-11-28,9,0.02,13,0.00,4403,否,是,否,否\r\n"
                              "类型\x95\x5C,2026-11-01,1,99999999999.99,6,6.00,,否,否,否,否\r\n";
    std::vector<const Txxqtfpxx*> pointers;
    for (const Txxqtfpxx& r : records) pointers.push_back(&r);
    const std::string bytes = vantrel::RegisterCsvBytes(pointers);
    EXPECT_EQ(bytes, "\xEF\xBB\xBF" + Utf8(lines)) << bytes;
}

// The period's export reads and writes row by row; its file must be the one written from the
// whole list in sequence order, however the engine orders the rows and whatever the filter.
TEST_F(ExchangeTest, PeriodExportIsTheListInSequenceOrderWhateverOrderTheRowsComeIn) {
    // Without its key the table is read in the order the rows went in.
    Exec("create table sb07_unkeyed as select * from sb07_xxfpb");
    Exec("drop table sb07_xxfpb");
    Exec("alter table sb07_unkeyed rename to sb07_xxfpb");
    const int order[] = {5, 3, 1, 4, 2, 7, 6};
    for (int xh : order)
        InsertInvoice(InvoiceRow{.xh = xh, .fplx = xh % 2 ? 1 : 3, .kprq = "2026-11-0" + std::to_string(xh), .fs = xh,
                                 .je = xh * 1000.25, .se = xh * 170.04, .gfnsr = xh % 3 ? " " : " 4403006658123" + std::to_string(xh),
                                 .jzjt = xh % 2, .lwfp = xh / 4, .ms = xh % 3 == 1, .zfbz = xh == 6});
    std::vector<int32_t> streamed;
    std::string error;
    ASSERT_TRUE(vantrel::ReadInvoiceRows(
        testhost::ContextFor(kCompany), "", "", [&](const Txxqtfpxx& r) { streamed.push_back(r.xh); }, error));
    // SQLite reads such a table in insertion order; the server sorts for the distinct.
    if (!testhost::OnServer()) {
        ASSERT_EQ(streamed, std::vector<int32_t>(std::begin(order), std::end(order)));
    }
    EXPECT_EQ(streamed.size(), 7u);

    const auto fileBytes = [](const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll().toStdString();
    };
    for (const auto& [fplx, gfnsr, rows] : std::vector<std::tuple<std::string, std::string, std::size_t>>{
             {"", "", 7}, {"1", "", 4}, {"", "4403", 2}, {"3", "4403", 1}, {"2", "", 0}}) {
        std::vector<Txxqtfpxx*> list;
        ASSERT_TRUE(vantrel::ReadInvoiceList(testhost::ContextFor(kCompany), fplx, gfnsr, list, error)) << error;
        std::sort(list.begin(), list.end(), [](const Txxqtfpxx* a, const Txxqtfpxx* b) { return a->xh < b->xh; });
        const std::string expected = vantrel::RegisterCsvBytes({list.begin(), list.end()});
        FreeInvoiceList(list);
        const QString path = File("period.csv");
        std::size_t written = 99;
        ASSERT_EQ(vantrel::ExportRegisterList(path, testhost::ContextFor(), fplx, gfnsr, written, error), vantrel::TExportResult::Written)
            << error;
        EXPECT_EQ(written, rows) << fplx << "/" << gfnsr;
        EXPECT_TRUE(fileBytes(path) == expected) << fplx << "/" << gfnsr;
    }

    // A spreadsheet gets the same rows in the same order.
    const QString xlsx = File("period.xlsx");
    std::size_t written = 0;
    ASSERT_EQ(vantrel::ExportRegisterList(xlsx, testhost::ContextFor(), "", "", written, error), vantrel::TExportResult::Written)
        << error;
    EXPECT_EQ(written, 7u);
    vantrel::TExchangeTable table;
    ASSERT_TRUE(vantrel::ReadXlsxFile(xlsx, table, error)) << error;
    ASSERT_EQ(table.rows.size(), 9u);   // and the two totals
    for (int i = 0; i < 7; ++i) EXPECT_EQ(table.rows[static_cast<std::size_t>(i)].cells[vantrel::RcFs].number, i + 1);
}

TEST_F(ExchangeTest, PeriodExportThatCannotReadOrWriteLeavesNoFile) {
    InsertInvoice(InvoiceRow{.xh = 1});
    std::size_t rows = 0;
    std::string error;
    const QString csv = File("failed.csv");
    corlith::test::FailAt(FailPoint::Statement, 1, "refused", "select distinct");
    EXPECT_EQ(vantrel::ExportRegisterList(csv, testhost::ContextFor(), "", "", rows, error), vantrel::TExportResult::ReadFailed);
    EXPECT_EQ(error, "refused");
    corlith::test::FailAt(FailPoint::Statement, 1, "refused", "select distinct");
    EXPECT_EQ(vantrel::ExportRegisterList(File("failed.xlsx"), testhost::ContextFor(), "", "", rows, error),
              vantrel::TExportResult::ReadFailed);
    corlith::test::ClearFailures();
    EXPECT_FALSE(QFile::exists(csv));
    EXPECT_FALSE(QFile::exists(File("failed.xlsx")));

    // An unknown file kind is refused before the period is read: the armed read failure stays unused.
    error.clear();
    corlith::test::FailAt(FailPoint::Statement, 1, "refused", "select distinct");
    EXPECT_EQ(vantrel::ExportRegisterList(File("failed.txt"), testhost::ContextFor(), "", "", rows, error),
              vantrel::TExportResult::WriteFailed);
    EXPECT_EQ(error, "只能导出为 .csv 或 .xlsx 文件");
    corlith::test::ClearFailures();
    EXPECT_FALSE(QFile::exists(File("failed.txt")));
    error.clear();
    EXPECT_EQ(vantrel::ExportRegisterList(File("no/such/folder.csv"), testhost::ContextFor(), "", "", rows, error),
              vantrel::TExportResult::WriteFailed);
    EXPECT_FALSE(error.empty());
}

TEST_F(ExchangeTest, RandomRegistersRoundTripToTheSameSummary) {
    std::mt19937 rng(20261107);
    const char* const other = "91440300MA5F3KXL2B";
    const auto summaryCells = [this]() {
        std::string text, error;
        EXPECT_TRUE(BuildSummaryText(vantrel::ModuleContextFromHost(), text, error)) << error;
        const auto from = text.find("<SB_XXQTFPMX>");
        const auto to = text.find("</SB_XXQTFPMX>");
        EXPECT_NE(from, std::string::npos);
        return text.substr(from, to - from);
    };
    for (int round = 0; round < 6; ++round) {
        Exec("delete from sb07_xxfpb");
        Exec("delete from SB07_FPTXQKB");
        GetCurSubAppVo()->SetText("curcompany", kCompany);
        const int rows = 1 + static_cast<int>(rng() % 40);
        for (const InvoiceRow& r : RandomRegister(rng, rows, true)) InsertInvoice(r);
        const std::string before = summaryCells();

        std::vector<Txxqtfpxx*> list;
        std::string error;
        ASSERT_TRUE(vantrel::ReadInvoiceList(testhost::ContextFor(kCompany), "", "", list, error)) << error;
        const QString path = File(round % 2 ? "round.xlsx" : "round.csv");
        ASSERT_TRUE(vantrel::ExportRegisterFile(path, {list.begin(), list.end()}, error)) << error;
        FreeInvoiceList(list);

        GetCurSubAppVo()->SetText("curcompany", other);
        const vantrel::TImportPlan plan = Plan(path, other);
        ASSERT_FALSE(plan.HasErrors()) << "round " << round << "\n" << Issues(plan);
        ASSERT_EQ(Store(plan, error, other), vantrel::TStoreResult::Stored) << error;
        EXPECT_EQ(Count(other), rows);
        EXPECT_EQ(summaryCells(), before) << "round " << round;
        Exec(std::string("delete from sb07_xxfpb where nsrsbh='") + other + "'");
    }
}

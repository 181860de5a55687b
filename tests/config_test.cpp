// fp_config.ini, the invoice-type and tax-rate lists, and the declaration status names.
#include "invoice/f_FpDealGlobal.h"

#include "support/host_fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using Items = std::vector<std::string>;

class ConfigTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        vantrel::CurrentInvoiceConfig() = InvoiceConfig{};
    }
    void WriteIni(const std::string& bytes) {
        std::ofstream((subAppDir_ / "fp_config.ini").string(), std::ios::binary) << bytes;
    }
    // Settings that differ from every default, to see LoadInvoiceConfig overwrite all three.
    void Scribble() {
        vantrel::CurrentInvoiceConfig().TaxRateList = "|99|";
        vantrel::CurrentInvoiceConfig().TaxTolerance = -1;
        vantrel::CurrentInvoiceConfig().TaxpayerIdLengths = "|1|";
    }
    // The three settings loaded now.
    static void ExpectSettings(const std::string& rateList, int tolerance, const std::string& idLengths) {
        const InvoiceConfig& c = vantrel::CurrentInvoiceConfig();
        EXPECT_EQ(c.TaxRateList, rateList);
        EXPECT_EQ(c.TaxTolerance, tolerance);
        EXPECT_EQ(c.TaxpayerIdLengths, idLengths);
    }
};

TEST_F(ConfigTest, WithoutAFileEverySettingIsDefault) {
    Scribble();
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    ExpectSettings("|17|0|", 15, "|15|18|16|17|20|19|");
    EXPECT_EQ(vantrel::TaxRateItems(), (Items{"17%", "0%"}));
}

TEST_F(ConfigTest, FilesAreReadBySectionAndKeyWhateverTheirCaseAndBlanks) {
    struct Case {
        const char* what;
        const char* ini;
        const char* rateList;
        int tolerance;
        const char* idLengths;
        Items items;
    };
    const Case cases[] = {
        {"keys from their own sections",
         "[Common]\nsl=|3|\nnsrlength=|18|\n[xxqtfp]\nsl=|17|13|6|\nwc=20\nnsrlength=|5|\n",
         "|17|13|6|",
         20,
         "|18|",
         {"17%", "13%", "6%"}},
        {"sections and keys in any case, values trimmed",
         "\xEF\xBB\xBF; comment\r\n[XXQTFP]\r\nSL =  |13| 9 |  \r\nWc= 7 \r\n[common]\r\nNSRLENGTH=|15|\r\n",
         "|13| 9 |",
         7,
         "|15|",
         {"13%", "9%"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteIni(c.ini);
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
        ExpectSettings(c.rateList, c.tolerance, c.idLengths);
        EXPECT_EQ(vantrel::TaxRateItems(), c.items);
    }
}

TEST_F(ConfigTest, TheRateLineInCommonHasNoEffect) {
    WriteIni("[Common]\nsl=|17|13|6|\n");
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    EXPECT_EQ(vantrel::TaxRateItems(), (Items{"17%", "0%"}));
}

TEST_F(ConfigTest, IndentedKeysAndSectionsReadLikeTheOthers) {
    WriteIni("[xxqtfp]\n    sl=|13|6|\n\twc = 9\n  [Common]\n \t nsrlength=|18|\n   ; an indented comment\n");
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    ExpectSettings("|13|6|", 9, "|18|");
    // The same text read without a file.
    const InvoiceConfig parsed = vantrel::ParseInvoiceConfig("[xxqtfp]\r\n  sl=|4|\r\n", "xxqtfp");
    EXPECT_EQ(parsed.TaxRateList, "|4|");
    EXPECT_EQ(parsed.TaxTolerance, 15);
}

TEST_F(ConfigTest, TheCallerNamesTheSection) {
    WriteIni("[xxqtfp]\nwc=20\n[other]\nwc=30\n");
    LoadInvoiceConfig(testhost::ContextFor(), "other");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxTolerance, 30);
    LoadInvoiceConfig(testhost::ContextFor(), "missing");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxTolerance, 15);
}

TEST_F(ConfigTest, AnIntegerThatIsNoIntegerGivesTheDefault) {
    for (const char* wc : {"abc", "", "1.5", "12abc", "99999999999", "-"}) {
        Scribble();
        WriteIni(std::string("[xxqtfp]\nwc=") + wc + "\n");
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
        EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxTolerance, 15) << "wc=" << wc;
    }
    WriteIni("[xxqtfp]\nwc=-3\n");
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxTolerance, -3);
}

TEST_F(ConfigTest, APresentButEmptyTextIsEmpty) {
    WriteIni("[xxqtfp]\nsl=\n[Common]\nnsrlength=\n");
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxRateList, "");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxpayerIdLengths, "");
    EXPECT_TRUE(vantrel::TaxRateItems().empty());
}

TEST_F(ConfigTest, AMalformedFileKeepsWhatWasReadAndDefaultsTheRest) {
    WriteIni("[xxqtfp\nsl=|5|\n[xxqtfp]\ngarbage line without equals\nwc=25\n" + std::string(500, 'x') +
             "\n\x01\x02\xFF[\n[Common\nnsrlength=|1|\n");
    Scribble();
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    ExpectSettings("|17|0|", 25, "|15|18|16|17|20|19|");

    // The section header hidden behind zero bytes is never seen, so wc belongs to no section.
    WriteIni(std::string("\0\0[xxqtfp]\nwc=3", 15));
    LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    EXPECT_EQ(vantrel::CurrentInvoiceConfig().TaxTolerance, 15);
}

TEST_F(ConfigTest, RateItemsSkipEmptyPiecesAndIgnoreTheTail) {
    vantrel::CurrentInvoiceConfig().TaxRateList = "| 17 ||0|13";
    EXPECT_EQ(vantrel::TaxRateItems(), (Items{"17%", "0%"}));
    vantrel::CurrentInvoiceConfig().TaxRateList = "6|";
    EXPECT_EQ(vantrel::TaxRateItems(), (Items{"6%"}));
    vantrel::CurrentInvoiceConfig().TaxRateList = "17";
    EXPECT_TRUE(vantrel::TaxRateItems().empty());
}

TEST_F(ConfigTest, TypeListSkipsTheNonSpecialInvoiceType) {
    Exec("delete from sb07_fplxb");
    Exec("insert into sb07_fplxb(fplx,mc) values (5,'纳税检查调整')");
    Exec("insert into sb07_fplxb(fplx,mc) values (2,'非专用发票')");
    Exec("insert into sb07_fplxb(fplx,mc) values (3,'未开具发票')");
    corlith::test::ClearStatementLog();
    const vantrel::LookupList list = vantrel::LoadInvoiceTypeList(testhost::ContextFor());
    EXPECT_EQ(list.items, (Items{"-请选择-", "未开具发票", "纳税检查调整"}));
    EXPECT_EQ(list.values, (Items{"", "3", "5"}));
    EXPECT_EQ(corlith::test::StatementsOnly(), (Items{"select mc,fplx from sb07_fplxb order by fplx"}));
    // Loading again gives the same list, not a longer one.
    const vantrel::LookupList again = vantrel::LoadInvoiceTypeList(testhost::ContextFor());
    EXPECT_EQ(again.items, list.items);
    EXPECT_EQ(again.values, list.values);
}

TEST_F(ConfigTest, TypeListOfTheStandardTable) {
    const vantrel::LookupList list = vantrel::LoadInvoiceTypeList(testhost::ContextFor());
    EXPECT_EQ(list.items, (Items{"-请选择-", "普通发票", "未开具发票", "纳税检查调整"}));
    EXPECT_EQ(list.values, (Items{"", "1", "3", "5"}));
}

TEST_F(ConfigTest, TypeListFallsBackWhenTheQueryFails) {
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "no such table");
    const vantrel::LookupList list = vantrel::LoadInvoiceTypeList(testhost::ContextFor());
    EXPECT_EQ(list.items, (Items{"-请选择-", "未知发票"}));
    EXPECT_EQ(list.values, (Items{"", ""}));
    EXPECT_TRUE(corlith::test::Messages().empty());
}

TEST_F(ConfigTest, TypeListFallsBackWithoutTheTable) {
    Exec("drop table sb07_fplxb");
    const vantrel::LookupList list = vantrel::LoadInvoiceTypeList(testhost::ContextFor());
    EXPECT_EQ(list.items, (Items{"-请选择-", "未知发票"}));
}

TEST(StatusNames, EveryCode) {
    EXPECT_EQ(DeclareStatusName(0), "未申报");
    EXPECT_EQ(DeclareStatusName(1), "未填写");
    EXPECT_EQ(DeclareStatusName(2), "发送成功");
    EXPECT_EQ(DeclareStatusName(3), "申报成功");
    EXPECT_EQ(DeclareStatusName(4), "申报成功，扣款成功");
    EXPECT_EQ(DeclareStatusName(5), "申报成功，扣款失败");
    EXPECT_EQ(DeclareStatusName(6), "申报成功，正在扣款");
    EXPECT_EQ(DeclareStatusName(7), "申报失败");
    EXPECT_EQ(DeclareStatusName(8), "作废成功");
    EXPECT_EQ(DeclareStatusName(9), "未填写");
    EXPECT_EQ(DeclareStatusName(static_cast<uint32_t>(-1)), "未填写");
}

}  // namespace

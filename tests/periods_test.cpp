// Reporting periods and the taxpayer header block.
#include "context/f_ModuleContext.h"
#include "report/f_DealReportPubFunc.h"

#include "support/host_fixture.h"

#include <QDate>

#include <gtest/gtest.h>

#include <string>

namespace {

struct Range {
    std::string start;
    std::string end;
};

Range Dates(const std::string& kind, const std::string& kjny) {
    Range r;
    EXPECT_TRUE(GetReportDate(kind + "起始", kjny, r.start)) << kjny;
    EXPECT_TRUE(GetReportDate(kind + "截止", kjny, r.end)) << kjny;
    return r;
}

std::string TodayYmd() { return testhost::Today().toString(u"yyyyMMdd").toStdString(); }


std::string FormNotFoundText() {
    std::string text;
    GetMsg(5050028, std::string(), 1, text);
    return text;
}

}  // namespace

// ---- date rules -------------------------------------------------------------------------

TEST(ReportDates, QuarterIsTheLatestEndedQuarter) {
    struct Case { const char* kjny; const char* start; const char* end; };
    const Case cases[] = {
        {"200901", "20081001", "20081231"}, {"200902", "20081001", "20081231"},
        {"200903", "20090101", "20090331"}, {"200905", "20090101", "20090331"},
        {"200906", "20090401", "20090630"}, {"200908", "20090401", "20090630"},
        {"200909", "20090701", "20090930"}, {"200911", "20090701", "20090930"},
        {"200912", "20091001", "20091231"},
    };
    for (const Case& c : cases) {
        const Range r = Dates("季报", c.kjny);
        EXPECT_EQ(r.start, c.start) << c.kjny;
        EXPECT_EQ(r.end, c.end) << c.kjny;
        std::string start = "x", end = "y";
        EXPECT_TRUE(GetQuarterRange(c.kjny, start, end));
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(end, c.end);
    }
}

TEST(ReportDates, QuarterOfAMonthOutsideTheYearIsEmpty) {
    std::string start = "keep", end = "keep";
    EXPECT_TRUE(GetQuarterRange("200913", start, end));
    EXPECT_EQ(start, "keep");
    EXPECT_EQ(end, "keep");
    EXPECT_TRUE(GetQuarterRange("200900", start, end));
    EXPECT_EQ(start, "keep");
    const Range r = Dates("季报", "200913");
    EXPECT_EQ(r.start, "");
    EXPECT_EQ(r.end, "");
}

TEST(ReportDates, YearlyTakesThePreviousYearUnlessDecember) {
    Range r = Dates("年报", "200912");
    EXPECT_EQ(r.start, "20090101");
    EXPECT_EQ(r.end, "20091231");
    r = Dates("年报", "200901");
    EXPECT_EQ(r.start, "20080101");
    EXPECT_EQ(r.end, "20081231");
    r = Dates("年报", "201011");
    EXPECT_EQ(r.start, "20090101");
}

TEST(ReportDates, MonthlyEndCountsLeapYears) {
    EXPECT_EQ(Dates("月报", "200802").start, "20080201");
    EXPECT_EQ(Dates("月报", "200802").end, "20080229");
    EXPECT_EQ(Dates("月报", "200902").end, "20090228");
    EXPECT_EQ(Dates("月报", "190002").end, "19000228");
    EXPECT_EQ(Dates("月报", "200002").end, "20000229");
    EXPECT_EQ(Dates("月报", "200904").end, "20090430");
    EXPECT_EQ(Dates("月报", "200912").end, "20091231");
}

TEST(ReportDates, UnknownRequestLeavesTheDate) {
    std::string date = "unchanged";
    EXPECT_TRUE(GetReportDate("半年报起始", "200906", date));
    EXPECT_EQ(date, "unchanged");
    EXPECT_TRUE(GetReportDate("起始", "200906", date));
    EXPECT_EQ(date, "unchanged");
}

TEST(ReportDates, NonNumericPeriodIsRefusedNotGuessed) {
    const char* bad[] = {"2009ab", "abcd02", "20 902", "2009", "", "2009-2", "+20902"};
    for (const char* kjny : bad) {
        for (const char* request : {"月报起始", "月报截止", "季报起始", "季报截止", "年报起始", "年报截止"}) {
            std::string date = "unchanged";
            EXPECT_FALSE(GetReportDate(request, kjny, date)) << request << " " << kjny;
            EXPECT_EQ(date, "unchanged");
        }
        std::string start = "s", end = "e";
        EXPECT_FALSE(GetQuarterRange(kjny, start, end)) << kjny;
        EXPECT_EQ(start, "s");
        EXPECT_EQ(end, "e");
    }
    // A monthly end needs a real month to count its days.
    std::string date = "unchanged";
    EXPECT_FALSE(GetReportDate("月报截止", "200913", date));
    EXPECT_FALSE(GetReportDate("月报截止", "200900", date));
    EXPECT_EQ(date, "unchanged");
}

// ---- taxpayer header --------------------------------------------------------------------

class ReportHeader : public testhost::HostFixture {
protected:
    std::string Header(const std::string& kjny, std::string* message = nullptr) {
        GetCurSubAppVo()->SetText("curKJNY", kjny);
        std::string msg = "stale", header;
        GetReportHeader(vantrel::ModuleContextFromHost(), "SB_XXQTFPMX", testhost::kFuncCode, msg, header);
        if (message) *message = msg;
        else EXPECT_EQ(msg, "");
        return header;
    }
};

TEST_F(ReportHeader, MonthlyBlockHoldsEveryParticularInOrder) {
    SetCatalogue(1);
    {
        testhost::ClockAt monthEnd("2026-11-30 23:59:59");
        EXPECT_EQ(Header("200802"), testhost::FixtureHeader("20080201", "20080229", "20261130"));
    }
    testhost::ClockAt leapDay("2028-02-29");
    EXPECT_EQ(Header("200902"), testhost::FixtureHeader("20090201", "20090228", "20280229"));
    EXPECT_TRUE(corlith::test::StatementsOnly().empty());
}

TEST_F(ReportHeader, QuarterlyAndYearlyKindsGiveTheirPeriods) {
    const std::string today = TodayYmd();
    SetCatalogue(2);
    EXPECT_EQ(Header("200902"), testhost::FixtureHeader("20081001", "20081231", today));
    EXPECT_EQ(Header("200903"), testhost::FixtureHeader("20090101", "20090331", today));
    EXPECT_EQ(Header("200905"), testhost::FixtureHeader("20090101", "20090331", today));
    EXPECT_EQ(Header("200912"), testhost::FixtureHeader("20091001", "20091231", today));
    SetCatalogue(3);
    EXPECT_EQ(Header("200912"), testhost::FixtureHeader("20090101", "20091231", today));
    EXPECT_EQ(Header("200901"), testhost::FixtureHeader("20080101", "20081231", today));
}

TEST_F(ReportHeader, UnknownPeriodKindLeavesTheDatesEmpty) {
    const std::string today = TodayYmd();
    for (int kind : {0, 4}) {
        SetCatalogue(kind);
        EXPECT_EQ(Header("200902"), testhost::FixtureHeader("", "", today)) << kind;
        // No date is computed, so the period's form does not matter.
        EXPECT_EQ(Header("abcdef"), testhost::FixtureHeader("", "", today)) << kind;
    }
}

TEST_F(ReportHeader, MarkupCharactersInValuesAreEscaped) {
    GetCurSubAppVo()->SetText("jbxx", "code=A&B<1>;name=甲&乙<公司>;tel=1&amp2");
    const std::string header = Header("200902");
    EXPECT_NE(header.find("<SB_XXQTFPMX_NSRSBH>A&amp;B&lt;1&gt;</SB_XXQTFPMX_NSRSBH>"), std::string::npos) << header;
    EXPECT_NE(header.find("<SB_XXQTFPMX_NSRMC>甲&amp;乙&lt;公司&gt;</SB_XXQTFPMX_NSRMC>"), std::string::npos);
    EXPECT_NE(header.find("<SB_XXQTFPMX_LXDH>1&amp;amp2</SB_XXQTFPMX_LXDH>"), std::string::npos);
    // Keys absent from the particulars give empty elements, not an error.
    EXPECT_NE(header.find("<SB_XXQTFPMX_SSHY></SB_XXQTFPMX_SSHY>"), std::string::npos);
    EXPECT_NE(header.find("<SB_XXQTFPMX_YYDZ></SB_XXQTFPMX_YYDZ>"), std::string::npos);
}

TEST_F(ReportHeader, MissingFormGivesTheHostMessageAndNoHeader) {
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", std::make_shared<TAryDeclareTypeInfo>());
    std::string message, header = "untouched";
    GetReportHeader(vantrel::ModuleContextFromHost(), "SB_XXQTFPMX", testhost::kFuncCode, message, header);
    EXPECT_EQ(header, "untouched");
    EXPECT_FALSE(FormNotFoundText().empty());
    EXPECT_EQ(message, FormNotFoundText());

    SetCatalogue(1);
    GetReportHeader(vantrel::ModuleContextFromHost(), "SB_XXQTFPMX", "07999-99", message, header);
    EXPECT_EQ(header, "untouched");
    EXPECT_EQ(message, FormNotFoundText());
}

TEST_F(ReportHeader, NonNumericPeriodIsAnErrorThatNamesIt) {
    for (int kind : {1, 2, 3}) {
        SetCatalogue(kind);
        std::string message;
        GetCurSubAppVo()->SetText("curKJNY", "20x912");
        std::string header = "untouched";
        GetReportHeader(vantrel::ModuleContextFromHost(), "SB_XXQTFPMX", testhost::kFuncCode, message, header);
        EXPECT_EQ(header, "untouched") << kind;
        EXPECT_NE(message.find("20x912"), std::string::npos) << kind;
    }
    SetCatalogue(1);
    std::string message;
    EXPECT_EQ(Header("200913", &message), "");
    EXPECT_NE(message.find("200913"), std::string::npos);
}

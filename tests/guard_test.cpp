// Which kind and form the module fills, the approval rules, the declaration state guard and
// the form-filled mark, against a real database.
#include "context/f_ModuleContext.h"
#include "report/f_DealReportImpl.h"

#include "invoice/f_GlobalUnit.h"
#include "support/host_fixture.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace {

using testhost::kCompany;
using testhost::kFormCode;
using testhost::kFuncCode;
using testhost::kKindCode;
using testhost::kPeriod;

std::string HostMsg(int number) {
    std::string text;
    GetMsg(number, std::string(), 1, text);
    return text;
}

const std::string kS2 =
    "select A.*, B.SBBZ from SB07_SBB A, SB07_SBZLB B where A.NSRSBH = B.NSRSBH AND A.KJNY = B.KJNY AND "
    "A.SBPC = B.SBPC AND  A.SBZLBH = B.SBZLBH AND A.SBZLBH = '01' and A.nsrsbh = '91110000MA001TEST' and "
    "A.kjny = '202611' and A.sbbbh = '004' and B.sbbz in(2,3,4, 5,6)";
const std::string kS1 =
    "select A.*, B.SBBZ from SB07_SBB A, SB07_SBZLB B where A.NSRSBH = B.NSRSBH AND A.KJNY = B.KJNY AND "
    "A.SBPC = B.SBPC AND  A.SBZLBH = B.SBZLBH AND A.SBZLBH = '01' and A.nsrsbh = '91110000MA001TEST' and "
    "A.kjny = '202611' and A.sbbbh = '004' and SBSHJG = '1' and B.sbbz in(0,7,8)";
const std::string kMarkSelect =
    "SELECT NSRSBH,KJNY, SBZLBH, SBBBH FROM SB07_FPTXQKB where  SBZLBH = '01' and nsrsbh = '91110000MA001TEST' "
    "and kjny = '202611' and sbbbh = '004'";

class GuardTest : public testhost::HostFixture {
protected:
    void TearDown() override {
        vantrel::ReleaseDeclareCatalogue();
        HostFixture::TearDown();
    }

    void WriteHdxx(const std::string& bytes) {
        const auto folder = subAppDir_ / "Temp" / kCompany / kPeriod;
        std::filesystem::create_directories(folder);
        std::ofstream((folder / "Hdxx.xml").string(), std::ios::binary) << bytes;
    }

    static std::string ApprovedXml(const std::string& kind, const std::vector<std::string>& forms) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<HDXX><NSRXX>纳税人</NSRXX><SBZL><SBZLCODE>" +
                          kind + "</SBZLCODE><SBBS>";
        for (const auto& f : forms) xml += "<SBBBH>" + f + "</SBBBH>";
        return xml + "</SBBS></SBZL></HDXX>";
    }

    static void SetHdxxKinds(const std::vector<std::string>& kinds) {
        std::string text = "<HDXX>";
        for (const auto& k : kinds) text += "<SBZL><SBZLCODE>" + k + "</SBZLCODE><MC>种类</MC></SBZL>";
        GetCurSubAppVo()->SetText("hdxx", text + "</HDXX>");
    }

    struct Found {
        bool ok;
        std::string kind, form;
        bool editable;
    };
    static Found Find(const std::string& funcCode = kFuncCode) {
        Found f{false, "unset", "unset", true};
        f.ok = FindDeclareForm(vantrel::ModuleContextFromHost(), funcCode, f.kind, f.form, f.editable);
        return f;
    }

    bool Check(std::string& message) { return CheckDeclareState(vantrel::ModuleContextFromHost(), kFuncCode, message); }
    // The guard's verdict on the form and the message that goes with it.
    void ExpectCheck(bool refused, const std::string& expected) {
        std::string message;
        EXPECT_EQ(Check(message), refused);
        EXPECT_EQ(message, expected);
    }
    // Marking the form fails with the message.
    static void ExpectMarkFails(const std::string& expected) {
        std::string message;
        EXPECT_FALSE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message));
        EXPECT_EQ(message, expected);
    }
};

// ---------------------------------------------------------------- kind and form lookup

TEST_F(GuardTest, FindsTheModulesFormAndHoldsTheCatalogue) {
    const Found f = Find();
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.kind, kKindCode);
    EXPECT_EQ(f.form, kFormCode);
    EXPECT_FALSE(f.editable);
    const auto held = vantrel::HeldDeclareCatalogue();
    EXPECT_EQ(held, GetCurSubAppVo()->GetObject("DeclareTypeInfo"));
    vantrel::ReleaseDeclareCatalogue();
    EXPECT_EQ(vantrel::HeldDeclareCatalogue(), nullptr);
}

TEST_F(GuardTest, AnUnknownFunctionCodeLeavesTheLastPairVisited) {
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    catalogue->Items.resize(2);
    catalogue->Items[0].Code = "01";
    catalogue->Items[0].Reports = {{"001", false, "x", ""}, {"002", false, "y", ""}};
    catalogue->Items[1].Code = "02";
    catalogue->Items[1].DeclaredEditable = true;
    catalogue->Items[1].Reports = {{"003", false, "z", ""}};
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", catalogue);
    const Found f = Find("07037-02-18-01");
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.kind, "02");
    EXPECT_EQ(f.form, "003");
    EXPECT_TRUE(f.editable);
    EXPECT_FALSE(Find("07037-02-18-0").ok);  // exact match only
}

TEST_F(GuardTest, WithoutACatalogueNothingIsFound) {
    GetCurSubAppVo()->Remove("DeclareTypeInfo");
    EXPECT_FALSE(Find().ok);
    EXPECT_EQ(vantrel::HeldDeclareCatalogue(), nullptr);
}

TEST_F(GuardTest, TheFirstApprovedPairInArrayOrderWins) {
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    catalogue->Items.resize(3);
    catalogue->Items[0].Code = "10";  // restricted and not approved: passed over
    catalogue->Items[0].ApprovalRestricted = true;
    catalogue->Items[0].Reports = {{"101", false, kFuncCode, ""}};
    catalogue->Items[1].Code = "20";
    catalogue->Items[1].Reports = {{"201", false, kFuncCode, ""}};
    catalogue->Items[2].Code = "30";
    catalogue->Items[2].Reports = {{"301", false, kFuncCode, ""}};
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", catalogue);
    Found f = Find();
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.kind, "20");
    EXPECT_EQ(f.form, "201");

    SetHdxxKinds({"10"});
    f = Find();
    EXPECT_EQ(f.kind, "10");
    EXPECT_EQ(f.form, "101");
}

TEST_F(GuardTest, KindApprovalComesFromTheHdxxText) {
    EXPECT_FALSE(IsKindApproved(vantrel::ModuleContextFromHost(), kKindCode));
    SetHdxxKinds({"02", "01"});
    EXPECT_TRUE(IsKindApproved(vantrel::ModuleContextFromHost(), "01"));
    EXPECT_TRUE(IsKindApproved(vantrel::ModuleContextFromHost(), "02"));
    EXPECT_FALSE(IsKindApproved(vantrel::ModuleContextFromHost(), "1"));
    GetCurSubAppVo()->SetText("hdxx", "<HDXX><SBZL><SBZLCODE> 01</SBZLCODE></SBZL><SBZLCODE>03</SBZLCODE></HDXX>");
    EXPECT_FALSE(IsKindApproved(vantrel::ModuleContextFromHost(), "01"));  // no trimming
    EXPECT_FALSE(IsKindApproved(vantrel::ModuleContextFromHost(), "03"));  // outside any SBZL
    GetCurSubAppVo()->SetText("hdxx", "<SBZL><SBZLCODE>01</SBZLCODE>");  // never closed
    EXPECT_FALSE(IsKindApproved(vantrel::ModuleContextFromHost(), "01"));
}

TEST_F(GuardTest, RestrictedKindNeedsApprovalButAnOpenFormNeedsNoFile) {
    SetCatalogue(1, /*kindRestricted=*/true, /*formRestricted=*/false);
    EXPECT_FALSE(Find().ok);
    SetHdxxKinds({kKindCode});
    EXPECT_TRUE(Find().ok);
}

// ---------------------------------------------------------------- approved forms (Hdxx.xml)

TEST_F(GuardTest, ApprovedFormsAreListedFromTheFile) {
    SetCatalogue(1, true, true);
    SetHdxxKinds({kKindCode});
    WriteHdxx("<HDXX><SBZL><SBZLCODE>02</SBZLCODE><SBBS><B>009</B></SBBS></SBZL>"
              "<SBZL><SBZLCODE>01</SBZLCODE><SBBS><SBBBH>004</SBBBH><SBBBH></SBBBH><SBBBH>005</SBBBH></SBBS></SBZL>"
              "<SBZL><SBZLCODE>01</SBZLCODE><SBBS><SBBBH>777</SBBBH></SBBS></SBZL></HDXX>");
    ASSERT_TRUE(Find().ok);
    std::string list = "stale";
    EXPECT_TRUE(GetApprovedForms(vantrel::ModuleContextFromHost(), kKindCode, list));
    EXPECT_EQ(list, "|004||005");
}

TEST_F(GuardTest, AnUnrestrictedOrUnknownKindHasAnEmptyApprovedList) {
    std::string list = "stale";
    EXPECT_TRUE(GetApprovedForms(vantrel::ModuleContextFromHost(), kKindCode, list));
    EXPECT_EQ(list, "");
    list = "stale";
    EXPECT_TRUE(GetApprovedForms(vantrel::ModuleContextFromHost(), "99", list));
    EXPECT_EQ(list, "");
}

TEST_F(GuardTest, ARestrictedFormMatchesBySubstringOfTheApprovedList) {
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    catalogue->Items.resize(1);
    catalogue->Items[0].Code = kKindCode;
    catalogue->Items[0].ApprovalRestricted = true;
    catalogue->Items[0].Reports = {{"01", true, kFuncCode, ""}};
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", catalogue);
    SetHdxxKinds({kKindCode});
    WriteHdxx(ApprovedXml(kKindCode, {"001"}));
    EXPECT_TRUE(Find().ok);
    WriteHdxx(ApprovedXml(kKindCode, {"100", "200"}));
    EXPECT_FALSE(Find().ok);
}

TEST_F(GuardTest, ARestrictedFormIsApprovedOnlyWhenListed) {
    SetCatalogue(1, true, true);
    SetHdxxKinds({kKindCode});
    WriteHdxx(ApprovedXml(kKindCode, {"003", "005"}));
    EXPECT_FALSE(Find().ok);
    WriteHdxx(ApprovedXml(kKindCode, {"003", "004"}));
    EXPECT_TRUE(Find().ok);
    WriteHdxx(ApprovedXml("02", {"004"}));  // listed, but under another kind
    EXPECT_FALSE(Find().ok);
}

TEST_F(GuardTest, AMissingApprovedFileIsReportedAndApprovesNothing) {
    SetCatalogue(1, true, true);
    SetHdxxKinds({kKindCode});
    ASSERT_FALSE(Find().ok);
    std::string list;
    EXPECT_FALSE(GetApprovedForms(vantrel::ModuleContextFromHost(), kKindCode, list));
    EXPECT_EQ(list, HostMsg(5050028));
    EXPECT_FALSE(list.empty());
}

TEST_F(GuardTest, AnEmptyOrMalformedApprovedFileIsAnErrorNotACrash) {
    SetCatalogue(1, true, true);
    SetHdxxKinds({kKindCode});
    const std::string prefix = "错误信息为：";
    for (const std::string& bytes : {std::string(), std::string("<HDXX><SBZL><SBZLCODE>01</SBZLCODE>"),
                                     std::string("not xml at all 004"), std::string("<a>004</b>"),
                                     std::string("\0\0\0", 3)}) {
        WriteHdxx(bytes);
        std::string list;
        EXPECT_FALSE(GetApprovedForms(vantrel::ModuleContextFromHost(), kKindCode, list)) << bytes;
        EXPECT_EQ(list.compare(0, prefix.size(), prefix), 0) << list;
        EXPECT_GT(list.size(), prefix.size());
        // An error text never approves a form, even one that it happens to contain.
        EXPECT_FALSE(Find().ok) << bytes;
    }
}

TEST_F(GuardTest, GbkTextInTheApprovedFilePassesUnchanged) {
    SetCatalogue(1, true, true);
    SetHdxxKinds({kKindCode});
    WriteHdxx("<?xml version=\"1.0\" encoding=\"GBK\"?><根><SBZL><SBZLCODE>01</SBZLCODE><SBBS><B>甲004</B>"
              "</SBBS></SBZL></根>");
    std::string list;
    EXPECT_TRUE(GetApprovedForms(vantrel::ModuleContextFromHost(), kKindCode, list));
    EXPECT_EQ(list, "|甲004");
}

TEST_F(GuardTest, FindApprovedNodeWalksPathsAndFilters) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(
        "<R><X/><SBZL><SBZLCODE>02</SBZLCODE></SBZL><SBZL><SBZLCODE>01</SBZLCODE><SBBS>"
        "<BB><CODE>001</CODE><KIND>a</KIND></BB><BB><CODE>002</CODE><KIND>b</KIND></BB></SBBS></SBZL></R>"));
    const pugi::xml_node root = doc.document_element();
    const pugi::xml_node kind01 = root.child("SBZL").next_sibling("SBZL");

    EXPECT_EQ(FindApprovedNode(root, "", "01"), kind01);
    EXPECT_EQ(FindApprovedNode(root, "SBBS.", "01"), kind01.child("SBBS"));
    EXPECT_EQ(FindApprovedNode(root, "SBBS.[002]", "01").child("KIND").text().as_string(), std::string("b"));
    EXPECT_EQ(FindApprovedNode(root, "SBBS.[KIND=a]", "01").child("CODE").text().as_string(), std::string("001"));
    EXPECT_EQ(FindApprovedNode(root, "SBBS.[KIND=z]", "01"), kind01.child("SBBS"));  // no match: current node
    EXPECT_FALSE(FindApprovedNode(root, "SBBS.", "03"));
    EXPECT_FALSE(FindApprovedNode(root, "NOPE.", "01"));
    EXPECT_FALSE(FindApprovedNode(root.child("X"), "SBBS.", "01"));
    EXPECT_FALSE(FindApprovedNode(pugi::xml_node(), "SBBS.", "01"));
}

// ---------------------------------------------------------------- declaration state guard

TEST_F(GuardTest, NoReturnMeansNoRefusalAndOnlyS2Runs) {
    std::string message = "stale";
    EXPECT_FALSE(Check(message));
    EXPECT_EQ(message, "");
    EXPECT_EQ(corlith::test::StatementsOnly(), std::vector<std::string>{kS2});
}

TEST_F(GuardTest, WithAuditSwitchedOnBothStatementsRunInOrder) {
    GetCurSubAppVo()->SetBool("global_usesbsh", true);
    std::string message;
    EXPECT_FALSE(Check(message));
    EXPECT_EQ(corlith::test::StatementsOnly(), (std::vector<std::string>{kS1, kS2}));
}

// The guard's verdict over the returns on file, with and without the audit rule, for a kind
// that is or is not editable once declared.
TEST_F(GuardTest, DecisionsOverTheReturnsOnFile) {
    struct Return {
        int sbbz;
        const char* audit = "0";
        int sbpc = 1;
        const char* nsrsbh = kCompany;
        const char* form = kFormCode;
    };
    struct Decision {
        const char* what;
        bool audit, editable;
        std::vector<Return> returns;
        bool refused;
        std::string message;
    };
    const std::string audited = HostMsg(5050031);
    ASSERT_FALSE(audited.empty());
    const Decision decisions[] = {
        {"undeclared or failed returns, no audit", false, false, {{0, "1", 1}, {7, "1", 2}, {8, "1", 3}}, false, ""},
        {"an audited voided return", true, false, {{8, "1"}}, true, audited},
        {"an unaudited return under the audit rule", true, false, {{8, "0"}}, false, ""},
        {"a declared return", false, false, {{3}}, true, "申报成功， 不能操作！"},
        {"the status message replaces the audit's", true, false, {{7, "1", 1}, {6, "0", 2}}, true,
         "申报成功，正在扣款， 不能操作！"},
        {"the first row names the status", false, false, {{5, "0", 1}, {2, "0", 2}}, true, "申报成功，扣款失败， 不能操作！"},
        {"a declared return of an editable kind", false, true, {{3}}, false, ""},
        {"the audit rule on an editable kind", true, true, {{3}, {0, "1", 2}}, true, audited},
        {"returns of another taxpayer and another form", false, false, {{3, "0", 1, "OTHER"}, {3, "0", 2, kCompany, "005"}},
         false, ""},
    };
    for (const Decision& d : decisions) {
        SCOPED_TRACE(d.what);
        Exec("delete from SB07_SBB");
        Exec("delete from SB07_SBZLB");
        vantrel::ReleaseDeclareCatalogue();
        SetCatalogue(1, false, false, d.editable);
        GetCurSubAppVo()->SetBool("global_usesbsh", d.audit);
        for (const Return& r : d.returns) AddReturn(r.sbbz, r.audit, r.sbpc, r.nsrsbh, r.form);
        ExpectCheck(d.refused, d.message);
    }
}

TEST_F(GuardTest, AFormOutsideTheCatalogueIsNotRefused) {
    AddReturn(3);
    std::string message;
    EXPECT_FALSE(CheckDeclareState(vantrel::ModuleContextFromHost(), "07999-99", message));
    EXPECT_EQ(message, HostMsg(5050028));
    EXPECT_TRUE(corlith::test::StatementsOnly().empty());
}

TEST_F(GuardTest, AFailedAuditSelectDoesNotRefuse) {
    GetCurSubAppVo()->SetBool("global_usesbsh", true);
    AddReturn(3);
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "database locked", "SBSHJG");
    ExpectCheck(false, "database locked");
    EXPECT_EQ(corlith::test::StatementsOnly().size(), 1u);  // S2 is not run
}

TEST_F(GuardTest, AFailedStatusSelectKeepsTheAuditDecision) {
    GetCurSubAppVo()->SetBool("global_usesbsh", true);
    AddReturn(8, "1");
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "io error", "in(2,3,4, 5,6)");
    ExpectCheck(true, "io error");
}

TEST_F(GuardTest, QuotedValuesAreDoubledAndStillMatch) {
    const std::string odd = "91'X";
    GetCurSubAppVo()->SetText("curcompany", odd);
    AddReturn(4, "0", 1, odd);
    std::string message;
    EXPECT_TRUE(Check(message)) << message;
    EXPECT_EQ(message, "申报成功，扣款成功， 不能操作！");
    ASSERT_EQ(corlith::test::StatementsOnly().size(), 1u);
    EXPECT_NE(corlith::test::StatementsOnly()[0].find("A.nsrsbh = '91''X' and"), std::string::npos);
}

// ---------------------------------------------------------------- form-filled mark

TEST_F(GuardTest, MarkingTwiceStoresOneRow) {
    std::string message;
    EXPECT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message)) << message;
    EXPECT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message)) << message;
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 1);
    EXPECT_EQ(QueryText("select NSRSBH || '/' || KJNY || '/' || SBZLBH || '/' || SBBBH from SB07_FPTXQKB"),
              "91110000MA001TEST/202611/01/004");
}

TEST_F(GuardTest, MarkRunsItsSelectAndPostsOnlyWhenMissing) {
    std::string message;
    ASSERT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message));
    const auto& log = corlith::test::StatementLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], kMarkSelect);
    EXPECT_EQ(log[1].rfind("POST ", 0), 0u) << log[1];
    corlith::test::ClearStatementLog();
    ASSERT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message));
    EXPECT_EQ(corlith::test::StatementLog(), std::vector<std::string>{kMarkSelect});
}

TEST_F(GuardTest, MarkKeepsRowsOfOtherPeriods) {
    Exec("insert into SB07_FPTXQKB values ('91110000MA001TEST','202610','01','004')");
    std::string message;
    ASSERT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message));
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 2);
}

TEST_F(GuardTest, AFailedPostIsAFailure) {
    corlith::test::FailAt(corlith::test::FailPoint::Post, 1, "disk full");
    ExpectMarkFails("disk full");
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 0);
}

TEST_F(GuardTest, AFailedMarkSelectIsAFailureWithTheHostsText) {
    corlith::test::FailAt(corlith::test::FailPoint::Statement, 1, "no such table: SB07_FPTXQKB");
    ExpectMarkFails("no such table: SB07_FPTXQKB");
}

TEST_F(GuardTest, MarkingAFormOutsideTheCatalogueFails) {
    std::string message;
    EXPECT_FALSE(MarkFormFilled(vantrel::ModuleContextFromHost(), "nope", message));
    EXPECT_EQ(message, HostMsg(5050028));
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 0);
}

TEST_F(GuardTest, MarkDoublesQuotesInTheTaxpayerId) {
    GetCurSubAppVo()->SetText("curcompany", "A'B");
    std::string message;
    ASSERT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message)) << message;
    ASSERT_TRUE(MarkFormFilled(vantrel::ModuleContextFromHost(), kFuncCode, message)) << message;
    EXPECT_EQ(QueryText("select NSRSBH from SB07_FPTXQKB"), "A'B");
    EXPECT_EQ(QueryInt("select count(*) from SB07_FPTXQKB"), 1);
}

}  // namespace

// The host library against real SQLite files: LIKE, text conversion, query readers, posting,
// transactions, failure injection, the statement log, messages and sub-application values.
#include "support/host_fixture.h"

#include <QString>

#include <chrono>

using namespace testhost;
using corlith::test::FailPoint;
using corlith::test::MessageKind;

namespace {

class CorlithDb : public HostFixture {
protected:
    // Runs a select and returns the query; fails the test on error.
    std::unique_ptr<THostQuery> Select(const std::string& sql) {
        auto q = std::make_unique<THostQuery>();
        std::string error;
        EXPECT_TRUE(ExecADOQueryMsg(kConnection, sql, q.get(), error, 1, 0)) << sql << ": " << error;
        return q;
    }
    bool Run(const std::string& sql, std::string& error) {
        THostQuery q;
        return ExecADOQueryMsg(kConnection, sql, &q, error, 0, 0);
    }
    long long Count(const std::string& table) { return QueryInt("select count(*) from " + table); }
    // Whether `text LIKE pattern` holds, as the database evaluates it.
    bool Like(const std::string& text, const std::string& pattern) {
        std::string quotedText, quotedPattern;
        for (char c : text) quotedText += c == '\'' ? std::string("''") : std::string(1, c);
        for (char c : pattern) quotedPattern += c == '\'' ? std::string("''") : std::string(1, c);
        return QueryInt("select '" + quotedText + "' like '" + quotedPattern + "'") == 1;
    }
};

}  // namespace

// ---- LIKE --------------------------------------------------------------------------------

TEST_F(CorlithDb, LikeBracketClassesAndRanges) {
    EXPECT_TRUE(Like("cat", "[abc]at"));
    EXPECT_FALSE(Like("rat", "[abc]at"));
    EXPECT_TRUE(Like("m5", "[a-z][0-9]"));
    EXPECT_FALSE(Like("m-", "[a-z][0-9]"));
    EXPECT_TRUE(Like("b", "[^a]"));
    EXPECT_FALSE(Like("a", "[^a]"));
    EXPECT_FALSE(Like("ab", "[^a]"));   // a class is one character
    EXPECT_TRUE(Like("x]y", "x[]]y"));
    EXPECT_TRUE(Like("a-c", "a[-]c"));
}

TEST_F(CorlithDb, LikeBracketedSpecialsMatchOnlyThemselves) {
    EXPECT_TRUE(Like("a_b", "a[_]b"));
    EXPECT_FALSE(Like("axb", "a[_]b"));
    EXPECT_TRUE(Like("50%", "50[%]"));
    EXPECT_FALSE(Like("500", "50[%]"));
    EXPECT_TRUE(Like("[x]", "[[]x]"));
    EXPECT_FALSE(Like("x", "[[]x]"));
    EXPECT_TRUE(Like("a^b", "a[^]b"));
    EXPECT_FALSE(Like("acb", "a[^]b"));
    for (const char* special : {"*", "?", "#", "!"}) {
        const std::string pattern = std::string("1[") + special + "]2";
        EXPECT_TRUE(Like(std::string("1") + special + "2", pattern)) << pattern;
        EXPECT_FALSE(Like("1x2", pattern)) << pattern;
        EXPECT_FALSE(Like("12", pattern)) << pattern;
    }
}

TEST_F(CorlithDb, LikeWildcardsCaseAndCodePoints) {
    EXPECT_TRUE(Like("ABCdef", "abc%"));
    EXPECT_TRUE(Like("abc", "A_C"));
    EXPECT_TRUE(Like("Q", "[p-r]"));
    EXPECT_FALSE(Like("abc", "ab"));
    EXPECT_TRUE(Like("", "%"));
    EXPECT_FALSE(Like("", "_"));
    // One "_" is one Chinese character, whatever its byte length.
    EXPECT_TRUE(Like("普通发票", "普_发票"));
    EXPECT_FALSE(Like("普通发票", "普__发票"));
    EXPECT_TRUE(Like("发票", "[发收]票"));
    EXPECT_FALSE(Like("aab", "a%a%a%b"));
    EXPECT_TRUE(Like("xaxayaxb", "%a%a%b"));
    EXPECT_TRUE(Like("[abc", "[abc"));   // an unclosed bracket is an ordinary character
    EXPECT_EQ(QueryText("select coalesce(null like 'a', 'null')"), "null");
}

TEST_F(CorlithDb, LikeWithEscapeClause) {
    EXPECT_EQ(QueryInt("select 'a%b' like 'a!%b' escape '!'"), 1);
    EXPECT_EQ(QueryInt("select 'axb' like 'a!%b' escape '!'"), 0);
    EXPECT_EQ(QueryInt("select 'a[b' like 'a![b' escape '!'"), 1);
    THostQuery q;
    std::string error;
    EXPECT_FALSE(ExecADOQueryMsg(kConnection, "select 'a' like 'a' escape 'xy'", &q, error, 1, 0));
    EXPECT_FALSE(error.empty());
}

TEST_F(CorlithDb, EscapedBuyerFilterFindsExactlyTheLiteralText) {
    const char* buyers[] = {"12'3_%X", "12'3a%X", "1223_%X", "12'3_X", "ab[c]*?#!^d", "abc*?#!^d", " "};
    int xh = 1;
    for (const char* b : buyers) {
        InvoiceRow row;
        row.xh = xh++;
        row.gfnsr = b;
        InsertInvoice(row);
    }
    // The module's escaping of 12'3_% and of [c]*?#!^ between '%' and '%'.
    auto q = Select("select xh from sb07_xxfpb where gfnsr like '%12''3[_][%]%' order by xh");
    ASSERT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->FieldAsInteger("xh"), 1);
    q = Select("select xh from sb07_xxfpb where gfnsr like '%[[]c][*][?][#][!][^]%' order by xh");
    ASSERT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->FieldAsInteger("xh"), 5);
}

TEST_F(CorlithDb, LikeOverManyRowsStaysFast) {
    Exec("create table t(v text)");
    Exec("with recursive n(i) as (select 1 union all select i+1 from n where i < 100000) "
         "insert into t select 'buyer-' || i || '-' || hex(randomblob(8)) from n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryInt("select count(*) from t where v like '%[-]99999[-]%'"), 1);
    EXPECT_EQ(QueryInt("select count(*) from t where v like '%a%a%a%a%a%a%a%a%a%a%a%a%z'"), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

// The text-based element finder, attribute parsing and node text with a default.
#include "report/f_XmlUtil.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Attrs = std::vector<std::string>;

TXmlNode Find(const std::string& text, const std::string& tag) {
    TXmlNode node;
    node.Index = 77;  // must be reset by every call
    node.Outer = "stale";
    FindElement(text, tag, node);
    return node;
}

TEST(FindElement, FindsTheFirstElementWithItsTexts) {
    const TXmlNode n = Find("<a><SBZL x=\"1\"> <C>01</C> </SBZL><SBZL>2</SBZL></a>", "SBZL");
    EXPECT_EQ(n.Index, 1);
    EXPECT_EQ(n.Outer, "<SBZL x=\"1\"> <C>01</C> </SBZL>");
    EXPECT_EQ(n.Inner, " <C>01</C> ");
    ASSERT_TRUE(n.Attributes.has_value());
    EXPECT_EQ(*n.Attributes, (Attrs{"x=1"}));
}

TEST(FindElement, NestedElementsOfTheSameTagSpanToTheMatchingClose) {
    const std::string text = "<r><g><g>in1</g><g>in2</g></g><g>after</g></r>";
    const TXmlNode n = Find(text, "g");
    EXPECT_EQ(n.Outer, "<g><g>in1</g><g>in2</g></g>");
    EXPECT_EQ(n.Inner, "<g>in1</g><g>in2</g>");
    EXPECT_FALSE(n.Attributes.has_value());
}

TEST(FindElement, NotFoundCases) {
    EXPECT_EQ(Find("<a><b>open only</a>", "b").Index, 0);             // no closing tag anywhere
    EXPECT_EQ(Find("<SBZLCODE>01</SBZLCODE>", "SBZL").Index, 0);    // only a prefix of a longer tag
    EXPECT_EQ(Find("", "b").Index, 0);
    EXPECT_EQ(Find("<b><b></b>", "b").Index, 0);                     // nested opening never closed
    const TXmlNode stale = Find("nothing here", "b");
    EXPECT_TRUE(stale.Outer.empty());
    EXPECT_TRUE(stale.Inner.empty());
    EXPECT_FALSE(stale.Attributes.has_value());
}

TEST(FindElement, SelfClosingElements) {
    // Without a blank before the slash the element is not seen at all.
    EXPECT_EQ(Find("<r><b/><b>x</b></r>", "b").Outer, "<b>x</b>");
    EXPECT_EQ(Find("<r><b/></r>", "b").Index, 0);
    // With a blank it opens an element that runs to the next closing mark of the name.
    const TXmlNode n = Find("<r><b /><c/></b></r>", "b");
    EXPECT_EQ(n.Outer, "<b /><c/></b>");
    EXPECT_EQ(n.Inner, "<c/>");
    ASSERT_TRUE(n.Attributes.has_value());
    EXPECT_TRUE(n.Attributes->empty());
    EXPECT_EQ(Find("<r><b /></r>", "b").Index, 0);
}

TEST(FindElement, TheEarlierOfBlankAndCloseFormsStarts) {
    EXPECT_EQ(Find("<b>1</b><b k=\"v\">2</b>", "b").Inner, "1");
    EXPECT_EQ(Find("<b k=\"v\">2</b><b>1</b>", "b").Inner, "2");
}

TEST(FindElement, AClosingMarkInsideTheOpeningTagGivesNoContent) {
    const TXmlNode n = Find("<b </b>>", "b");
    EXPECT_EQ(n.Index, 1);
    EXPECT_EQ(n.Outer, "<b </b>");
    EXPECT_EQ(n.Inner, "");
}

TEST(FindElement, GbkContentPassesUnchanged) {
    const TXmlNode n = Find("<MC>增值税</MC>", "MC");
    EXPECT_EQ(n.Inner, "增值税");
}

TEST(FindAllElements, NumbersEachDistinctElement) {
    const auto all = FindAllElements("<r><i>1</i><i a=\"x\">2</i><i>3</i></r>", "i");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Index, 1);
    EXPECT_EQ(all[1].Index, 2);
    EXPECT_EQ(all[2].Index, 3);
    EXPECT_EQ(all[0].Inner, "1");
    EXPECT_EQ(all[1].Inner, "2");
    EXPECT_EQ(all[2].Inner, "3");
    EXPECT_EQ(*all[1].Attributes, (Attrs{"a=x"}));
}

TEST(FindAllElements, IdenticalElementsAreListedOnce) {
    const auto all = FindAllElements("<i>1</i><i>2</i><i>1</i>", "i");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Inner, "1");
    EXPECT_EQ(all[1].Inner, "2");
    EXPECT_TRUE(FindAllElements("<x>1</x>", "i").empty());
}

TEST(FindAllElements, NestedElementsOfTheTagCountAsOne) {
    const auto all = FindAllElements("<i><i>a</i></i><i>b</i>", "i");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Outer, "<i><i>a</i></i>");
    EXPECT_EQ(all[1].Outer, "<i>b</i>");
}

// Random approved-information texts: kinds with codes from a small set (so that identical
// kinds recur), look-alike tags, attributes, GBK text, now and then a kind inside a kind.
std::string RandomApproved(std::mt19937& rng, int depth = 0) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string text;
    const int items = 1 + pick(6);
    for (int i = 0; i < items; ++i) {
        switch (pick(5)) {
        case 0: text += "<SBZLCODE>" + std::to_string(pick(4)) + "</SBZLCODE>"; break;
        case 1: text += "<SBZLX>近似</SBZLX>"; break;
        default: {
            text += pick(3) == 0 ? "<SBZL a=\"" + std::to_string(pick(3)) + "\">" : "<SBZL>";
            text += "<SBZLCODE>0" + std::to_string(pick(4)) + "</SBZLCODE>";
            if (depth < 2 && pick(4) == 0) text += RandomApproved(rng, depth + 1);
            text += "</SBZL>";
        }
        }
        if (pick(3) == 0) text += " ";
    }
    return text;
}

TEST(FindAllElements, OnePassListsWhatCuttingCopiesOutListed) {
    std::mt19937 rng(8);
    for (int round = 0; round < 2000; ++round) {
        const std::string text = "<HDXX>" + RandomApproved(rng) + "</HDXX>";
        const auto expected = vantrel::FindAllElementsByCutting(text, "SBZL");
        const auto actual = FindAllElements(text, "SBZL");
        ASSERT_EQ(actual.size(), expected.size()) << text;
        for (std::size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].Index, expected[i].Index) << text;
            EXPECT_EQ(actual[i].Outer, expected[i].Outer) << text;
            EXPECT_EQ(actual[i].Inner, expected[i].Inner) << text;
            EXPECT_EQ(actual[i].Attributes, expected[i].Attributes) << text;
        }
    }
}

TEST(FindAllElements, ARepeatInsideALaterElementIsCutOutOfIt) {
    // Cutting every copy of the first element changes the second one's text.
    const auto all = FindAllElements("<i>x</i><i><i>x</i>y</i>", "i");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Outer, "<i>x</i>");
    EXPECT_EQ(all[1].Outer, "<i>y</i>");
    // A cut that joins text into a new opening mark.
    const auto joined = FindAllElements("<r><S<SBZL>a</SBZL>BZL>b</SBZL></r>", "SBZL");
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[1].Outer, "<SBZL>b</SBZL>");
}

TEST(FindAllElements, TwentyThousandKindsAreEachListedInOrder) {
    std::string text = "<HDXX>";
    for (int i = 0; i < 20000; ++i) text += "<SBZL><SBZLCODE>" + std::to_string(i) + "</SBZLCODE></SBZL>";
    text += "<SBZL><SBZLCODE>7</SBZLCODE></SBZL></HDXX>";  // a repeat of the eighth
    const auto all = FindAllElements(text, "SBZL");
    ASSERT_EQ(all.size(), 20000u);
    EXPECT_EQ(all[7].Inner, "<SBZLCODE>7</SBZLCODE>");
    EXPECT_EQ(all.back().Inner, "<SBZLCODE>19999</SBZLCODE>");
    EXPECT_EQ(all.back().Index, 20000);
}

TEST(ParseAttributes, Cases) {
    EXPECT_FALSE(ParseAttributes("").has_value());
    EXPECT_EQ(*ParseAttributes("a=\"1\" b=\"2\""), (Attrs{"a=1", "b=2"}));
    // Blanks around the second "=": the one before stays in the name, the one after is dropped.
    EXPECT_EQ(*ParseAttributes("a=\"1\" b = \"2\""), (Attrs{"a=1", "b =2"}));
    // Only double quotes close a value.
    EXPECT_EQ(*ParseAttributes("a='1' b=\"2\""), (Attrs{"a=1' b="}));
    EXPECT_EQ(*ParseAttributes("  x=\"a=b\"  "), (Attrs{"x=a=b"}));
    EXPECT_TRUE(ParseAttributes("/")->empty());
    EXPECT_EQ(*ParseAttributes("a="), (Attrs{"a="}));
    EXPECT_EQ(*ParseAttributes("a=\"unclosed"), (Attrs{"a=unclosed"}));
}

TEST(GetNodeText, ValueOrDefault) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<r><a>001</a><e></e><m>x<k/></m><c><![CDATA[cd]]></c></r>"));
    const pugi::xml_node r = doc.document_element();
    std::string v = "junk";
    GetNodeText(r.child("a"), "def", v);
    EXPECT_EQ(v, "001");
    GetNodeText(r.child("e"), "def", v);
    EXPECT_EQ(v, "def");
    GetNodeText(r.child("missing"), "def", v);
    EXPECT_EQ(v, "def");
    GetNodeText(pugi::xml_node(), "", v);
    EXPECT_EQ(v, "");
    GetNodeText(r.child("m"), "def", v);  // not a single text: no value
    EXPECT_EQ(v, "def");
    GetNodeText(r.child("c"), "def", v);
    EXPECT_EQ(v, "cd");
    GetNodeText(r.child("a").first_child(), "def", v);
    EXPECT_EQ(v, "001");
}

}  // namespace

#include "report/f_XmlUtil.h"
#include "invoice/f_GlobalUnit.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace {
constexpr std::size_t npos = std::string::npos;

// The next "<tag " or "<tag>" at or after from: one forward search however long the text,
// where searching for each form on its own would read the rest of the text twice.
std::size_t FindOpening(const std::string& text, const std::string& mark, std::size_t from) {
    for (std::size_t at = text.find(mark, from); at != npos; at = text.find(mark, at + 1)) {
        const std::size_t after = at + mark.size();
        if (after < text.size() && (text[after] == ' ' || text[after] == '>')) return at;
    }
    return npos;
}

// The first element with the tag at or after from; its end (past the closing mark) in end.
// Each position of the text is searched a bounded number of times: the next nested opening
// and the next closing mark are remembered until the scan passes them.
bool FindElementFrom(const std::string& text, const std::string& tag, std::size_t from, TXmlNode& node,
                     std::size_t& end, bool& hadNested) {
    node = TXmlNode{};
    const std::string openMark = "<" + tag;
    const std::string closeMark = "</" + tag + ">";

    const std::size_t start = FindOpening(text, openMark, from);
    if (start == npos) return false;

    const std::size_t afterMark = start + openMark.size();
    const std::size_t tagEnd = text.find('>', afterMark);
    const std::size_t contentStart = tagEnd == npos ? text.size() : tagEnd + 1;

    int depth = 0;
    std::size_t rest = afterMark;
    std::size_t nested = FindOpening(text, openMark, rest);
    std::size_t closing = text.find(closeMark, rest);
    for (;;) {
        if (closing == npos) return false;
        if (nested != npos && nested < closing) {
            hadNested = true;
            ++depth;
            rest = nested + openMark.size();
            nested = FindOpening(text, openMark, rest);
            if (closing < rest) closing = text.find(closeMark, rest);  // only for a tag holding "<"
        } else if (depth == 0) {
            end = closing + closeMark.size();
            node.Index = 1;
            node.Outer = text.substr(start, end - start);
            // A closing mark inside the opening tag itself leaves no content.
            node.Inner = closing > contentStart ? text.substr(contentStart, closing - contentStart) : std::string();
            node.Attributes =
                ParseAttributes(vantrel::TrimBlanks(text.substr(afterMark, tagEnd == npos ? npos : tagEnd - afterMark)));
            return true;
        } else {
            --depth;
            rest = closing + closeMark.size();
            if (nested != npos && nested < rest) nested = FindOpening(text, openMark, rest);
            closing = text.find(closeMark, rest);
        }
    }
}

// True when the text between the previous element (ending at gapStart) and the one at start
// ends with a piece that could grow into a mark of the tag once the element is cut out:
// "<SB" before "<SBZL>..</SBZL>" and "ZL>" after it.
bool GapEndsLikeAMark(const std::string& text, std::size_t gapStart, std::size_t start, const std::string& tag) {
    if (start == gapStart) return false;
    const std::size_t lt = text.rfind('<', start - 1);
    if (lt == npos || lt < gapStart || start - lt > tag.size() + 2) return false;
    const std::string_view tail(text.data() + lt, start - lt);
    for (const std::string& mark : {"<" + tag + " ", "<" + tag + ">", "</" + tag + ">"})
        if (std::string_view(mark).substr(0, tail.size()) == tail) return true;
    return false;
}

}  // namespace

void FindElement(const std::string& text, const std::string& tag, TXmlNode& node) {
    std::size_t end = 0;
    bool hadNested = false;
    FindElementFrom(text, tag, 0, node, end, hadNested);
}

// One pass from the front, each element listed unless an identical one was. Cutting copies
// out gives the same list unless an element holds another of its tag, an opening is never
// closed, a cut could join text into a new mark, or the tag itself holds markup characters:
// then the listing is made by cutting.
std::vector<TXmlNode> FindAllElements(const std::string& text, const std::string& tag) {
    if (tag.empty() || tag.find_first_of("<>/ ") != npos) return vantrel::FindAllElementsByCutting(text, tag);
    std::vector<TXmlNode> found;
    std::unordered_set<std::string_view> listed;
    uint16_t number = 0;
    std::size_t from = 0;
    for (;;) {
        TXmlNode node;
        std::size_t end = 0;
        bool hadNested = false;
        if (!FindElementFrom(text, tag, from, node, end, hadNested)) {
            if (FindOpening(text, "<" + tag, from) != npos) return vantrel::FindAllElementsByCutting(text, tag);
            break;
        }
        const std::size_t start = end - node.Outer.size();
        if (hadNested || GapEndsLikeAMark(text, from, start, tag)) return vantrel::FindAllElementsByCutting(text, tag);
        const std::string_view outer(text.data() + start, node.Outer.size());
        from = end;
        if (!listed.insert(outer).second) continue;
        // Index 0 means "not found", so numbering stops at the largest value instead of wrapping.
        if (number < UINT16_MAX) ++number;
        node.Index = number;
        found.push_back(std::move(node));
    }
    return found;
}

namespace vantrel {

std::vector<TXmlNode> FindAllElementsByCutting(const std::string& text, const std::string& tag) {
    std::vector<TXmlNode> found;
    std::string copy = text;
    uint16_t number = 0;
    for (;;) {
        TXmlNode node;
        std::size_t end = 0;
        bool hadNested = false;
        if (!FindElementFrom(copy, tag, 0, node, end, hadNested)) break;
        if (number < UINT16_MAX) ++number;
        node.Index = number;
        std::string remaining;
        std::size_t from = 0;
        for (std::size_t at; (at = copy.find(node.Outer, from)) != npos; from = at + node.Outer.size())
            remaining.append(copy, from, at - from);
        remaining.append(copy, from, npos);
        copy.swap(remaining);
        found.push_back(std::move(node));
    }
    return found;
}

}  // namespace vantrel

std::optional<std::vector<std::string>> ParseAttributes(const std::string& attributeText) {
    if (attributeText.empty()) return std::nullopt;
    std::vector<std::string> list;
    std::string rest = vantrel::TrimBlanks(attributeText);
    for (std::size_t eq; (eq = rest.find('=')) != npos;) {
        const std::string name = rest.substr(0, eq);
        std::string remainder = vantrel::TrimBlanks(rest.substr(eq + 1));
        if (!remainder.empty()) remainder.erase(0, 1);  // the opening quote
        const std::size_t quote = remainder.find('"');
        list.push_back(name + "=" + remainder.substr(0, quote));
        rest = quote == npos ? std::string() : vantrel::TrimBlanks(remainder.substr(quote + 1));
    }
    return list;
}

void GetNodeText(const pugi::xml_node& node, const std::string& defaultValue, std::string& value) {
    value = defaultValue;
    if (!node) return;
    switch (node.type()) {
    case pugi::node_element: {
        // An element has a value only when its single child is text.
        const pugi::xml_node data = node.first_child();
        if (data && !data.next_sibling() && (data.type() == pugi::node_pcdata || data.type() == pugi::node_cdata))
            value = data.value();
        break;
    }
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi:
        value = node.value();
        break;
    default:
        break;
    }
}

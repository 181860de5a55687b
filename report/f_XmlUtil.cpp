#include "report/f_XmlUtil.h"
#include "invoice/f_GlobalUnit.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>

namespace {
constexpr std::size_t npos = std::string::npos;


// The earlier of "<tag " and "<tag>" at or after from.
std::size_t FindOpening(const std::string& text, const std::string& mark, std::size_t from) {
    const std::size_t withBlank = text.find(mark + " ", from);
    const std::size_t withClose = text.find(mark + ">", from);
    return std::min(withBlank, withClose);
}

}  // namespace

void FindElement(const std::string& text, const std::string& tag, TXmlNode& node) {
    node = TXmlNode{};
    const std::string openMark = "<" + tag;
    const std::string closeMark = "</" + tag + ">";

    const std::size_t start = FindOpening(text, openMark, 0);
    if (start == npos) return;
    if (text.find(closeMark) == npos) return;

    const std::size_t afterMark = start + openMark.size();
    const std::size_t tagEnd = text.find('>', afterMark);
    const std::string attributeText =
        TrimBlanks(text.substr(afterMark, tagEnd == npos ? npos : tagEnd - afterMark));
    const std::size_t contentStart = tagEnd == npos ? text.size() : tagEnd + 1;

    int depth = 0;
    std::size_t rest = afterMark;
    for (;;) {
        const std::size_t nested = FindOpening(text, openMark, rest);
        const std::size_t closing = text.find(closeMark, rest);
        if (closing == npos) return;
        if (nested != npos && nested < closing) {
            ++depth;
            rest = nested + openMark.size();
        } else if (depth == 0) {
            const std::size_t outerEnd = closing + closeMark.size();
            node.Index = 1;
            node.Outer = text.substr(start, outerEnd - start);
            // A closing mark inside the opening tag itself leaves no content.
            node.Inner = closing > contentStart ? text.substr(contentStart, closing - contentStart) : std::string();
            node.Attributes = ParseAttributes(attributeText);
            return;
        } else {
            --depth;
            rest = closing + closeMark.size();
        }
    }
}

std::vector<TXmlNode> FindAllElements(const std::string& text, const std::string& tag) {
    std::vector<TXmlNode> found;
    std::string copy = text;
    uint16_t number = 0;
    for (;;) {
        TXmlNode node;
        FindElement(copy, tag, node);
        if (node.Index == 0) break;
        // Index 0 means "not found", so numbering stops at the largest value instead of wrapping.
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

std::optional<std::vector<std::string>> ParseAttributes(const std::string& attributeText) {
    if (attributeText.empty()) return std::nullopt;
    std::vector<std::string> list;
    std::string rest = TrimBlanks(attributeText);
    for (std::size_t eq; (eq = rest.find('=')) != npos;) {
        const std::string name = rest.substr(0, eq);
        std::string remainder = TrimBlanks(rest.substr(eq + 1));
        if (!remainder.empty()) remainder.erase(0, 1);  // the opening quote
        const std::size_t quote = remainder.find('"');
        list.push_back(name + "=" + remainder.substr(0, quote));
        rest = quote == npos ? std::string() : TrimBlanks(remainder.substr(quote + 1));
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

// A text-based finder for XML elements (no document object) and node text with a default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pugi { class xml_node; }

struct TXmlNode {
    uint16_t Index = 0;  // 0: not found
    std::string Outer;   // from "<" of the opening tag through ">" of the matching closing tag
    std::string Inner;   // between the opening tag and the matching closing tag, untrimmed
    std::optional<std::vector<std::string>> Attributes;  // "name=value" each; none without attribute text
};

// The first element with the tag; an opening tag counts only as "<tag " or "<tag>".
void FindElement(const std::string& text, const std::string& tag, TXmlNode& node);
// Every element with the tag, numbered 1, 2, ...; elements of identical text are listed once.
std::vector<TXmlNode> FindAllElements(const std::string& text, const std::string& tag);
namespace vantrel {
// The same listing made the way it is defined: find the first element, cut every copy of its
// text out, start again. Reads the whole text per element; FindAllElements uses it only
// where a single pass could list something else.
std::vector<TXmlNode> FindAllElementsByCutting(const std::string& text, const std::string& tag);
}  // namespace vantrel
// "a=\"1\" b=\"2\"" -> {"a=1", "b=2"}; none for an empty text.
std::optional<std::vector<std::string>> ParseAttributes(const std::string& attributeText);
// The node's text, or the default when the node is missing or has no value.
void GetNodeText(const pugi::xml_node& node, const std::string& defaultValue, std::string& value);

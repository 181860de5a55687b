// The text element finder, attribute parsing and the approved-information file (Hdxx.xml).
#include "report/f_DealReportImpl.h"
#include "report/f_XmlUtil.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

void CheckListing(const std::string& text, const std::string& tag) {
    const std::vector<TXmlNode> all = FindAllElements(text, tag);
    const std::vector<TXmlNode> expected = vantrel::FindAllElementsByCutting(text, tag);
    if (all.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].Index != expected[i].Index || all[i].Outer != expected[i].Outer ||
            all[i].Inner != expected[i].Inner || all[i].Attributes != expected[i].Attributes)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange(0, 3);
    const std::string tag = mode == 0 ? in.ConsumeRandomLengthString(8) : std::string(mode == 1 ? "SBZL" : "i");
    const std::string path = in.ConsumeRandomLengthString(24);
    const std::string kind = in.ConsumeRandomLengthString(4);
    const std::string text = in.ConsumeRemainingBytesAsString();

    TXmlNode node;
    FindElement(text, tag, node);
    if (node.Index == 1 && node.Outer.size() < node.Inner.size()) std::abort();
    ParseAttributes(text);
    CheckListing(text, tag);

    pugi::xml_document doc;
    if (doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) {
        const pugi::xml_node forms = FindApprovedNode(doc.document_element(), path.empty() ? "SBBS." : path, kind);
        for (const pugi::xml_node child : forms.children()) {
            std::string value;
            GetNodeText(child, "-", value);
        }
    }
    return 0;
}

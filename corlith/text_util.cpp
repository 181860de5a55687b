// Text helpers of the host. They work on GBK: a match never starts on the second byte
// of a double-byte character.
#include "../host/corlith_api.h"

#include <string_view>

namespace {

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The first position >= from (itself a character boundary) where find occurs on a boundary.
size_t FindGbk(std::string_view text, std::string_view find, size_t from) {
    if (find.empty()) return std::string_view::npos;
    size_t i = from;
    while (i < text.size()) {
        if (text.compare(i, find.size(), find) == 0) return i;
        i += IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
    return std::string_view::npos;
}

std::string Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

std::string ReplaceStr(const std::string& text, const std::string& find, const std::string& replacement) {
    try {
        if (find.empty()) return text;
        std::string out;
        size_t start = 0;
        for (size_t pos = FindGbk(text, find, 0); pos != std::string::npos; pos = FindGbk(text, find, start)) {
            out.append(text, start, pos - start);
            out += replacement;
            start = pos + find.size();
        }
        out.append(text, start, std::string::npos);
        return out;
    } catch (...) {
        return text;
    }
}

// flag: also trim what stays in text.
std::string FetchHeadstrTrim(bool flag, const std::string& separator, std::string& text) {
    try {
        const size_t pos = FindGbk(text, separator, 0);
        std::string head;
        if (pos == std::string::npos) {
            head = Trim(text);
            text.clear();
            return head;
        }
        head = Trim(std::string_view(text).substr(0, pos));
        std::string rest = text.substr(pos + separator.size());
        text = flag ? Trim(rest) : rest;
        return head;
    } catch (...) {
        return std::string();
    }
}

#include "invoice/f_GlobalUnit.h"

#include "invoice/f_XxqtfpGlobal.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsGbkTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Byte length of the character at text[i]: 2 for a lead byte with a trail byte after it.
std::size_t GbkCharLength(const std::string& text, std::size_t i) {
    return IsGbkLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                   IsGbkTrail(static_cast<unsigned char>(text[i + 1]))
               ? 2
               : 1;
}

}  // namespace

namespace vantrel {

std::string GbkHead(const std::string& text, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + GbkCharLength(text, end);
        if (next > maxBytes) break;
        end = next;
    }
    return text.substr(0, end);
}

std::string GbkAbbreviate(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    const std::string ellipsis = "…";
    if (maxBytes <= ellipsis.size()) return GbkHead(text, maxBytes);
    const std::size_t room = maxBytes - ellipsis.size();
    const std::string head = GbkHead(text, room / 3);
    // The tail starts at the first character boundary that leaves it within the room.
    const std::size_t tailRoom = room - head.size();
    std::size_t at = 0;
    while (at < text.size() && text.size() - at > tailRoom) at += GbkCharLength(text, at);
    return head + ellipsis + text.substr(at);
}

std::string TrimBlanks(const std::string& s) { return std::string(TrimmedBlanks(s)); }

std::string_view TrimmedBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace vantrel

std::string QualifyTableName(const std::string& name, const std::string& code) {
    const std::string n = vantrel::TrimBlanks(name);
    if (n.size() <= 2) return n + code;
    return n.substr(0, 2) + code + n.substr(2);
}

std::string MainConnectionName(const std::string& subAppCode) { return "WSSBMainCon_" + subAppCode; }

namespace vantrel {

std::string ModuleFuncCode(const std::string& subAppCode) { return subAppCode + "037-02-18-01"; }

void AppendQuoteInner(std::string& out, std::string_view value) {
    // A quote byte never occurs inside a GBK double-byte character, so byte-wise is safe.
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
}

std::string QuotedLiteral(std::string_view value) {
    std::string literal = "'";
    AppendQuoteInner(literal, value);
    return literal + "'";
}

std::string QuoteInner(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    AppendQuoteInner(out, value);
    return out;
}

}  // namespace vantrel

std::string EscapeLikeText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // A double-byte character passes whole: its trail byte may look like "[", "^" or "_".
        if (IsGbkLead(c) && i + 1 < text.size() && IsGbkTrail(static_cast<unsigned char>(text[i + 1]))) {
            out += text[i];
            out += text[i + 1];
            ++i;
            continue;
        }
        switch (c) {
        case '\'': out += "''"; break;
        case '[': out += "[[]"; break;
        case '*': out += "[*]"; break;
        case '_': out += "[_]"; break;
        case '?': out += "[?]"; break;
        case '%': out += "[%]"; break;
        case '!': out += "[!]"; break;
        case '^': out += "[^]"; break;
        case '#': out += "[#]"; break;
        default: out += static_cast<char>(c); break;
        }
    }
    return out;
}

void FreeInvoiceList(std::vector<Txxqtfpxx*>& list) {
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        delete *it;
        *it = nullptr;
    }
    list.clear();
}

void ReadFileText(const std::string& path, std::string& text) {
    text.clear();
    // Only a regular file has a size to read; a folder or device would report nonsense.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return;
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size <= 0) return;
        in.seekg(0, std::ios::beg);
        std::string buffer(static_cast<std::size_t>(size), '\0');
        if (!in.read(buffer.data(), size) || in.gcount() != size) return;
        text.swap(buffer);
    } catch (const std::exception&) {
        text.clear();
    }
}

namespace vantrel {

std::string ErrorOrUnknown(const std::string& error) {
    return error.empty() ? std::string("未知错误！") : error;
}

int64_t MoneyToFixed(double value) {
    if (!std::isfinite(value)) return 0;
    const double scaled = value * 10000.0;
    constexpr double kLimit = 9.2e18;
    if (scaled >= kLimit) return std::numeric_limits<int64_t>::max();
    if (scaled <= -kLimit) return std::numeric_limits<int64_t>::min();
    const int saved = std::fegetround();
    // Setting the mode costs more than the rounding: only done when someone changed it.
    if (saved == FE_TONEAREST) return static_cast<int64_t>(std::nearbyint(scaled));
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(scaled);
    std::fesetround(saved);
    return static_cast<int64_t>(rounded);
}

char* FixedToChars(int64_t fixed, char* out) {
    const bool negative = fixed < 0;
    // Magnitude as unsigned so that the smallest int64 has one too.
    const uint64_t magnitude = negative ? uint64_t(0) - static_cast<uint64_t>(fixed) : static_cast<uint64_t>(fixed);
    const uint64_t cents = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    // Written by hand: exports format two amounts a row, and printf's parsing would dominate.
    char* end = out;
    if (negative && cents != 0) *end++ = '-';
    end = std::to_chars(end, out + kFixedTextSize - 3, cents / 100).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + cents % 100 / 10);
    *end++ = static_cast<char>('0' + cents % 10);
    return end;
}

std::string FixedToText(int64_t fixed) {
    char buf[kFixedTextSize];
    return std::string(buf, FixedToChars(fixed, buf));
}

std::string AmountText(double value) { return FixedToText(MoneyToFixed(value)); }

std::string DecimalText(double value) {
    if (value == 0) return "0";  // also turns -0 into 0
    char buf[64];
    if (!std::isfinite(value)) {
        std::snprintf(buf, sizeof buf, "%g", value);
        return buf;
    }
    // Amounts are whole fen nearly always: the value is then the double nearest to fen / 100,
    // which fifteen significant digits write as exactly that decimal (at most thirteen digits
    // here), so it is written directly instead of through printf, once per amount of a statement.
    const double fen = std::nearbyint(value * 100);
    if (std::fabs(fen) < 1e13 && fen / 100 == value) {
        const auto whole = static_cast<long long>(std::fabs(fen));
        char* end = buf;
        if (value < 0) *end++ = '-';
        end = std::to_chars(end, buf + sizeof buf, whole / 100).ptr;
        if (whole % 100 != 0) {
            *end++ = '.';
            *end++ = static_cast<char>('0' + whole % 100 / 10);
            if (whole % 10 != 0) *end++ = static_cast<char>('0' + whole % 10);
        }
        return std::string(buf, end);
    }
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string text = buf;
    if (text.find('e') == std::string::npos) return text;
    // Very small or very large values: the same 15 digits written out without an exponent.
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const std::string sci = buf;
    const std::size_t ePos = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + ePos + 1);
    std::string digits;
    for (std::size_t i = 0; i < ePos; ++i)
        if (sci[i] >= '0' && sci[i] <= '9') digits += sci[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<std::size_t>(exponent) + 1 >= digits.size()) {
        out += digits + std::string(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
               digits.substr(static_cast<std::size_t>(exponent) + 1);
    }
    return out;
}

}  // namespace vantrel

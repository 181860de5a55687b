// GBK <-> UTF-8, the one conversion of the host library. Invalid input never aborts:
// undecodable GBK becomes U+FFFD, characters GBK cannot hold become "?".
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace corlith::codec {

void GbkToUtf8(std::string_view gbk, std::string& out);      // appends
void Utf8ToGbk(std::string_view utf8, std::string& out);     // appends

// Eight bytes at a time: every text cell of a result passes here.
inline bool IsAscii(std::string_view s) {
    uint64_t bits = 0;
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        bits |= word;
    }
    for (; i < s.size(); ++i) bits |= static_cast<unsigned char>(s[i]);
    return (bits & 0x8080808080808080ull) == 0;
}

}  // namespace corlith::codec

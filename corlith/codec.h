// GBK <-> UTF-8, the one conversion of the host library. Invalid input never aborts:
// undecodable GBK becomes U+FFFD, characters GBK cannot hold become "?".
#pragma once

#include <string>
#include <string_view>

namespace corlith::codec {

void GbkToUtf8(std::string_view gbk, std::string& out);      // appends
void Utf8ToGbk(std::string_view utf8, std::string& out);     // appends

inline bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace corlith::codec

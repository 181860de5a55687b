// LIKE with bracket classes for every connection: "%" and "_" as wildcards, "[abc]", "[a-z]",
// "[^a]" (and "[^]" for a literal "^"), an optional escape character; ASCII letters match
// ignoring case; the text is compared by Unicode code point.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace corlith::like {

// Registers like(pattern, text) and like(pattern, text, escape) on the connection.
int Register(sqlite3* db);

// escape: a single code point, or 0 for none. Both texts are UTF-8.
bool Match(std::string_view pattern, std::string_view text, char32_t escape = 0);
// The same answer without shortcuts ("[x]" read as a literal, patterns of ASCII literals and
// "%" matched on bytes): every text character decoded and compared in turn.
bool MatchByCodePoints(std::string_view pattern, std::string_view text, char32_t escape = 0);

}  // namespace corlith::like

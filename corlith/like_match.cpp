#include "like_match.h"

#include "corlith_test.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corlith::like {
namespace {

char32_t FoldAscii(char32_t c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

char32_t UpperAscii(char32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Decodes one code point at s[i]; malformed bytes stand for themselves so that nothing is lost.
char32_t Decode(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    size_t len = 0;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) len = 2, cp = b0 & 0x1F;
    else if (b0 >= 0xE0 && b0 <= 0xEF) len = 3, cp = b0 & 0x0F;
    else if (b0 >= 0xF0 && b0 <= 0xF4) len = 4, cp = b0 & 0x07;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xDC00 + b0;   // a lone surrogate never equals a decoded character
    }
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xDC00 + b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += len;
    return cp;
}

struct CharClass {
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool containsExact(char32_t c) const {
        for (const auto& [lo, hi] : ranges)
            if (c >= lo && c <= hi) return true;
        return false;
    }
    bool contains(char32_t c) const {
        const bool in = containsExact(c) || containsExact(FoldAscii(c)) || containsExact(UpperAscii(c));
        return in != negate;
    }
};

struct Token {
    enum Kind : unsigned char { Literal, One, Many, Class } kind;
    char32_t ch;          // folded literal
    unsigned classIndex;  // for Class
};

struct Pattern {
    std::vector<Token> tokens;
    std::vector<CharClass> classes;
    char32_t escape = 0;
    bool valid = true;    // false: an escape character ends the pattern
    // Set when the pattern holds nothing but ASCII literals and "%": its literal runs
    // (folded) with whether the first is anchored at the start and the last at the end.
    // Such a pattern can be matched on the text's bytes, since an ASCII byte is always a
    // character of its own in UTF-8 and every other byte (or malformed byte) is not ASCII.
    bool asciiRuns = false;
    bool anchoredStart = false, anchoredEnd = false;
    std::vector<std::string> runs;
};

void FindAsciiRuns(Pattern& p) {
    std::vector<std::string> runs;
    bool open = false;   // whether the last run may still grow
    for (const Token& t : p.tokens) {
        if (t.kind == Token::Many) {
            open = false;
            continue;
        }
        if (t.kind != Token::Literal || t.ch >= 0x80) return;
        if (!open) runs.emplace_back();
        runs.back() += static_cast<char>(t.ch);
        open = true;
    }
    p.anchoredStart = p.tokens.empty() || p.tokens.front().kind != Token::Many;
    p.anchoredEnd = p.tokens.empty() || p.tokens.back().kind != Token::Many;
    p.runs = std::move(runs);
    p.asciiRuns = true;
}

// Without shortcuts every class stays a class and no pattern is matched on bytes.
void Compile(std::string_view text, char32_t escape, Pattern& out, bool shortcuts = true) {
    out.escape = escape;
    std::vector<char32_t> cps;
    for (size_t i = 0; i < text.size();) cps.push_back(Decode(text, i));
    const size_t n = cps.size();
    for (size_t i = 0; i < n; ++i) {
        const char32_t c = cps[i];
        if (escape != 0 && c == escape) {
            if (i + 1 >= n) {
                out.valid = false;
                return;
            }
            out.tokens.push_back({Token::Literal, FoldAscii(cps[++i]), 0});
            continue;
        }
        if (c == '%') {
            if (out.tokens.empty() || out.tokens.back().kind != Token::Many)
                out.tokens.push_back({Token::Many, 0, 0});
            continue;
        }
        if (c == '_') {
            out.tokens.push_back({Token::One, 0, 0});
            continue;
        }
        if (c == '[') {
            // "[^]" is the literal caret; a "]" right after the opening (or after "^") is a member.
            if (i + 2 < n && cps[i + 1] == '^' && cps[i + 2] == ']') {
                out.tokens.push_back({Token::Literal, '^', 0});
                i += 2;
                continue;
            }
            size_t start = i + 1;
            CharClass cls;
            if (start < n && cps[start] == '^') {
                cls.negate = true;
                ++start;
            }
            size_t close = start < n && cps[start] == ']' ? start + 1 : start;
            while (close < n && cps[close] != ']') ++close;
            if (close >= n || close == start) {
                out.tokens.push_back({Token::Literal, '[', 0});
                continue;
            }
            for (size_t k = start; k < close; ++k) {
                if (k + 2 < close && cps[k + 1] == '-') {
                    cls.ranges.emplace_back(cps[k], cps[k + 2]);
                    k += 2;
                } else {
                    cls.ranges.emplace_back(cps[k], cps[k]);
                }
            }
            i = close;
            // "[x]" means x whatever its case rules: that is what the module writes for a
            // wildcard character the user typed.
            if (shortcuts && !cls.negate && cls.ranges.size() == 1 && cls.ranges[0].first == cls.ranges[0].second) {
                out.tokens.push_back({Token::Literal, FoldAscii(cls.ranges[0].first), 0});
                continue;
            }
            out.tokens.push_back({Token::Class, 0, static_cast<unsigned>(out.classes.size())});
            out.classes.push_back(std::move(cls));
            continue;
        }
        out.tokens.push_back({Token::Literal, FoldAscii(c), 0});
    }
    if (shortcuts) FindAsciiRuns(out);
}

bool TokenMatches(const Pattern& p, const Token& t, char32_t c) {
    switch (t.kind) {
    case Token::Literal: return t.ch == FoldAscii(c);
    case Token::One: return true;
    case Token::Class: return p.classes[t.classIndex].contains(c);
    case Token::Many: break;
    }
    return false;
}

char FoldByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool RunAt(std::string_view text, size_t at, const std::string& run) {
    for (size_t k = 0; k < run.size(); ++k)
        if (FoldByte(text[at + k]) != run[k]) return false;
    return true;
}

// The literal runs in order, each at its leftmost place after the one before: for a pattern
// of runs and "%" only, that finds a match whenever there is one.
bool MatchAsciiRuns(const Pattern& p, std::string_view text) {
    const auto& runs = p.runs;
    if (runs.empty()) return !p.anchoredStart || text.empty();   // "" or only "%"
    size_t from = 0, last = runs.size();
    if (p.anchoredStart) {
        if (text.size() < runs[0].size() || !RunAt(text, 0, runs[0])) return false;
        from = runs[0].size();
        if (runs.size() == 1 && p.anchoredEnd) return from == text.size();
    }
    size_t end = text.size();
    if (p.anchoredEnd) {
        const std::string& tail = runs.back();
        if (end < from + tail.size() || !RunAt(text, end - tail.size(), tail)) return false;
        end -= tail.size();
        --last;
    }
    for (size_t r = p.anchoredStart ? 1 : 0; r < last; ++r) {
        const std::string& run = runs[r];
        size_t at = from;
        while (at + run.size() <= end && !RunAt(text, at, run)) ++at;
        if (at + run.size() > end) return false;
        from = at + run.size();
    }
    return true;
}

// Every token but "%" consumes exactly one code point, so one backtrack point (the last
// "%") is enough: greedy matching with restart is linear in practice and never recursive.
// Positions are byte offsets; the text is decoded as it is read.
bool MatchEachCodePoint(const Pattern& p, std::string_view text) {
    if (!p.valid) return false;
    const auto& tokens = p.tokens;
    const size_t m = tokens.size(), n = text.size();
    size_t pi = 0, ti = 0;
    size_t starP = SIZE_MAX, starT = 0;
    while (ti < n) {
        if (pi < m && tokens[pi].kind == Token::Many) {
            starP = pi++;
            starT = ti;
            continue;
        }
        size_t next = ti;
        const char32_t c = Decode(text, next);
        if (pi < m && TokenMatches(p, tokens[pi], c)) {
            ++pi;
            ti = next;
            continue;
        }
        if (starP == SIZE_MAX) return false;
        pi = starP + 1;
        Decode(text, starT);
        ti = starT;
    }
    while (pi < m && tokens[pi].kind == Token::Many) ++pi;
    return pi == m;
}

bool MatchCompiled(const Pattern& p, std::string_view text) {
    if (p.valid && p.asciiRuns) return MatchAsciiRuns(p, text);
    return MatchEachCodePoint(p, text);
}

void DeletePattern(void* p) { delete static_cast<Pattern*>(p); }

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return;   // NULL result
    char32_t escape = 0;
    if (argc == 3) {
        const auto* e = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
        const std::string_view esc(e ? e : "", static_cast<size_t>(sqlite3_value_bytes(argv[2])));
        size_t pos = 0;
        if (!esc.empty()) escape = Decode(esc, pos);
        if (esc.empty() || pos != esc.size()) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const auto* pat = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const std::string_view pattern(pat ? pat : "", static_cast<size_t>(sqlite3_value_bytes(argv[0])));
    const auto* txt = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const std::string_view text(txt ? txt : "", static_cast<size_t>(sqlite3_value_bytes(argv[1])));

    // The pattern is usually constant over a whole scan: compile it once per statement.
    auto* compiled = static_cast<Pattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!compiled || compiled->escape != escape) {
        auto fresh = std::make_unique<Pattern>();
        try {
            Compile(pattern, escape, *fresh);
        } catch (...) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        compiled = fresh.get();
        const bool ok = MatchCompiled(*compiled, text);
        sqlite3_set_auxdata(ctx, 0, fresh.release(), DeletePattern);
        sqlite3_result_int(ctx, ok ? 1 : 0);
        return;
    }
    sqlite3_result_int(ctx, MatchCompiled(*compiled, text) ? 1 : 0);
}

}  // namespace

int Register(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr, nullptr);
    return rc;
}

bool Match(std::string_view pattern, std::string_view text, char32_t escape) {
    Pattern p;
    Compile(pattern, escape, p);
    return MatchCompiled(p, text);
}

bool MatchByCodePoints(std::string_view pattern, std::string_view text, char32_t escape) {
    Pattern p;
    Compile(pattern, escape, p, false);
    return MatchEachCodePoint(p, text);
}

}  // namespace corlith::like

namespace corlith::test {

bool LikeMatches(const std::string& pattern, const std::string& text, char32_t escape, bool eachCodePoint) {
    return eachCodePoint ? like::MatchByCodePoints(pattern, text, escape) : like::Match(pattern, text, escape);
}

}  // namespace corlith::test

// Checks of a function against a table of arguments and the result expected of them.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace testhost {

// One text in, one text out.
template <typename F>
void ExpectEach(F f, std::initializer_list<std::pair<std::string, std::string>> cases) {
    for (const auto& [in, out] : cases) EXPECT_EQ(f(in), out) << "for \"" << in << '"';
}

// A text and a key in, one text out.
struct KeyedCase {
    std::string text;
    std::string key;
    std::string expected;
};

template <typename F>
void ExpectEachKeyed(F f, std::initializer_list<KeyedCase> cases) {
    for (const KeyedCase& c : cases) EXPECT_EQ(f(c.text, c.key), c.expected) << "for \"" << c.text << "\", " << c.key;
}

}  // namespace testhost

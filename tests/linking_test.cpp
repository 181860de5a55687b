// The built binaries as the linker made them: the code of the core exists once, in
// libvantrel_core.so; neither the client, the plug-in nor the host library defines it again.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// The defined symbols nm lists for a binary, with their type letters; the dynamic table only
// when dynamic is set.
std::map<std::string, char> DefinedSymbols(const std::string& binary, bool dynamic) {
    std::map<std::string, char> symbols;
    const std::string command = std::string("nm --defined-only ") + (dynamic ? "-D " : "") + "'" + binary + "' 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe) return symbols;
    char line[8192];
    while (std::fgets(line, sizeof line, pipe.get())) {
        // "<address> <type> <name>"
        const std::string text(line);
        const std::size_t first = text.find(' ');
        if (first == std::string::npos || first + 3 > text.size()) continue;
        std::string name = text.substr(first + 3);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        symbols.emplace(name, text[first + 1]);
    }
    return symbols;
}

bool IsStrongDefinition(char type) { return std::string("TtDdBbRr").find(type) != std::string::npos; }

}  // namespace

TEST(Linking, NoCoreSymbolIsDefinedInAnotherBinary) {
    // What the core exports as its own: strong code and data of C++ (inline functions and
    // template instances are weak, and every user may keep a copy of those; the linker's own
    // marks such as _end are in every binary).
    std::set<std::string> core;
    for (const auto& [name, type] : DefinedSymbols(VANTREL_CORE_PATH, true))
        if (IsStrongDefinition(type) && type >= 'A' && type <= 'Z' && name.rfind("_Z", 0) == 0) core.insert(name);
    bool seesTheSummary = false;
    for (const std::string& name : core) seesTheSummary |= name.find("BuildSummaryText") != std::string::npos;
    ASSERT_TRUE(seesTheSummary) << core.size() << " symbols read from " << VANTREL_CORE_PATH;

    for (const char* binary : {VANTREL_CLIENT_PATH, VANTREL_MODULE_PATH, VANTREL_CORLITH_PATH}) {
        const std::map<std::string, char> symbols = DefinedSymbols(binary, false);
        ASSERT_FALSE(symbols.empty()) << binary;
        std::vector<std::string> twice;
        for (const auto& [name, type] : symbols)
            if (IsStrongDefinition(type) && core.count(name)) twice.push_back(name);
        EXPECT_TRUE(twice.empty()) << binary << " defines " << twice.size() << " symbols of the core, first "
                                   << twice.front();
    }
}

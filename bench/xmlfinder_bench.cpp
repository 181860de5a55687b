// FindAllElements over approved-information texts of growing size, against pugixml parsing
// the same text and walking its elements (the floor). A linear finder keeps the ratio flat
// as the text grows; prints ratios only.
#include "report/f_XmlUtil.h"

#include "bench/bench_timing.h"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {



std::string Approved(int kinds) {
    std::string text = "<HDXX>";
    for (int i = 0; i < kinds; ++i)
        text += "<SBZL><SBZLCODE>" + std::to_string(i) + "</SBZLCODE><SBBS>1</SBBS></SBZL>";
    return text + "</HDXX>";
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 80000;
    std::printf("%10s %14s\n", "elements", "finder/pugixml");
    for (int n = std::max(1, largest / 16); n <= largest; n *= 2) {
        const std::string text = Approved(n);
        std::size_t found = 0, walked = 0;
        const double finder = BestOf(3, [&] { found = FindAllElements(text, "SBZL").size(); });
        const double floor = BestOf(3, [&] {
            pugi::xml_document doc;
            doc.load_buffer(text.data(), text.size());
            walked = 0;
            for (pugi::xml_node k : doc.child("HDXX").children("SBZL")) walked += k.child("SBZLCODE") ? 1 : 0;
        });
        if (found != static_cast<std::size_t>(n) || walked != found) {
            std::fprintf(stderr, "xmlfinder_bench: found %zu, pugixml %zu, expected %d\n", found, walked, n);
            return 1;
        }
        std::printf("%10d %14.2f\n", n, finder / floor);
    }
    return 0;
}

// The project's include edges against the layering table: a file that includes a layer its own
// layer may not use fails here, with the file, the line and the include named.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::set<std::string> kAnything = {"*"};

// What each layer may include besides itself.
const std::map<std::string, std::set<std::string>>& AllowedTable() {
    static const std::map<std::string, std::set<std::string>> table = {
        {"host", {}},
        {"param", {"host"}},
        {"invoice", {"host", "param"}},
        {"report", {"invoice", "host", "param"}},
        {"summary", {"report", "invoice", "host", "param"}},
        {"exchange", {"invoice", "report", "host", "param"}},
        {"ui/common", {"invoice", "report", "host", "param"}},
        {"ui/detail", {"ui/common", "invoice", "report", "host", "param"}},
        {"ui/preview/page", {"summary", "invoice", "report", "host", "param"}},
        {"ui/preview", {"ui/preview/page", "ui/detail", "ui/common", "summary", "invoice", "report", "host", "param"}},
        {"ui/manager",
         {"ui/preview", "ui/preview/page", "ui/detail", "ui/common", "exchange", "summary", "invoice", "report", "host",
          "param"}},
        {"module",
         {"ui/manager", "ui/preview", "ui/preview/page", "ui/detail", "ui/common", "exchange", "summary", "invoice",
          "report", "host", "param"}},
        {"corlith", {"host"}},
        {"client", {"host", "corlith", "param", "exchange", "summary", "invoice", "report", "ui/preview/page"}},
        {"fuzz", kAnything},
        {"tests", kAnything},
        {"bench", kAnything},
    };
    return table;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The layer of a file given relative to the source folder ("" when it has none).
std::string LayerOf(const std::string& file) {
    if (StartsWith(file, "module/f_ParamString.") || StartsWith(file, "module/f_Notify.")) return "param";
    // The page painter is the part of the preview that the client may print with.
    if (StartsWith(file, "ui/preview/f_PreviewPage.")) return "ui/preview/page";
    const std::size_t slash = file.find('/');
    if (slash == std::string::npos) return "";
    std::string layer = file.substr(0, slash);
    if (layer == "ui") {
        const std::size_t next = file.find('/', slash + 1);
        if (next == std::string::npos) return "";
        layer = file.substr(0, next);
    }
    return AllowedTable().count(layer) ? layer : "";
}

struct Edge {
    std::string file;  // relative to the source folder
    int line = 0;
    std::string include;
    std::string target;  // the included file, relative to the source folder
};

bool IsSource(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".cpp" || ext == ".h";
}

// Every quoted include of a file of ours that resolves to a file of ours.
std::vector<Edge> IncludeEdges(const fs::path& root) {
    std::vector<Edge> edges;
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name.empty() || name[0] == '.' || name == "build" || name == "var")) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file() || !IsSource(it->path())) continue;
        const std::string file = fs::relative(it->path(), root).generic_string();
        std::ifstream in(it->path());
        std::string text;
        for (int line = 1; std::getline(in, text); ++line) {
            std::smatch m;
            if (!std::regex_search(text, m, include)) continue;
            const std::string included = m[1];
            for (const fs::path& candidate : {it->path().parent_path() / included, root / included}) {
                std::error_code ec;
                if (!fs::is_regular_file(candidate, ec)) continue;
                const std::string target = fs::relative(fs::weakly_canonical(candidate), fs::weakly_canonical(root))
                                               .generic_string();
                edges.push_back({file, line, included, target});
                break;
            }
        }
    }
    return edges;
}

// One line per edge that breaks the table, and per file that belongs to no layer.
std::vector<std::string> Violations(const fs::path& root) {
    std::vector<std::string> found;
    std::set<std::string> unplaced;
    for (const Edge& e : IncludeEdges(root)) {
        const std::string from = LayerOf(e.file), to = LayerOf(e.target);
        if (from.empty() || to.empty()) {
            for (const std::string& f : {e.file, e.target})
                if (LayerOf(f).empty() && unplaced.insert(f).second)
                    found.push_back(f + ": belongs to no layer; add its folder to the table");
            continue;
        }
        if (from == to) continue;
        const std::set<std::string>& allowed = AllowedTable().at(from);
        if (allowed.count("*") || allowed.count(to)) continue;
        found.push_back(e.file + ":" + std::to_string(e.line) + ": includes \"" + e.include + "\": " + from +
                        " may not use " + to);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += "  " + l + "\n";
    return text;
}

class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("vantrel-layering-" + std::to_string(::testing::UnitTest::GetInstance()
                                                                                       ->random_seed()) +
                                             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    void Write(const std::string& file, const std::string& text) {
        fs::create_directories((root_ / file).parent_path());
        std::ofstream(root_ / file) << text;
    }
    fs::path root_;
};

}  // namespace

TEST(Layering, EveryIncludeOfTheProjectFollowsTheTable) {
    const fs::path root = VANTREL_SOURCE_DIR;
    const std::vector<Edge> edges = IncludeEdges(root);
    // The scan sees the tree: the manager window's use of the detail window is one of its edges.
    bool managerUsesDetail = false;
    for (const Edge& e : edges)
        managerUsesDetail |= LayerOf(e.file) == "ui/manager" && LayerOf(e.target) == "ui/detail";
    ASSERT_TRUE(managerUsesDetail) << edges.size() << " edges found under " << root;
    const std::vector<std::string> violations = Violations(root);
    EXPECT_TRUE(violations.empty()) << "include edges against the layering table:\n" << Joined(violations);
}

TEST_F(ScratchTree, ALowerLayerIncludingAHigherOneIsReported) {
    Write("invoice/f_Record.h", "#pragma once\n");
    Write("report/f_Guard.h", "#pragma once\n#include \"invoice/f_Record.h\"\n");
    Write("invoice/f_Store.cpp", "#include \"invoice/f_Record.h\"\n\n#include \"report/f_Guard.h\"\n");
    Write("ui/common/f_List.cpp", "#include \"../../ui/detail/f_Detail.h\"\n");
    Write("ui/detail/f_Detail.h", "#pragma once\n#include \"ui/common/f_List.h\"\n");
    Write("ui/common/f_List.h", "#pragma once\n");
    Write("tests/x_test.cpp", "#include \"ui/detail/f_Detail.h\"\n#include <vector>\n");
    EXPECT_EQ(Violations(root_), (std::vector<std::string>{
                                     "invoice/f_Store.cpp:3: includes \"report/f_Guard.h\": invoice may not use report",
                                     "ui/common/f_List.cpp:1: includes \"../../ui/detail/f_Detail.h\": ui/common "
                                     "may not use ui/detail",
                                 }));
}

TEST_F(ScratchTree, TheClientMayPrintButNotOpenWindowsAndNewFoldersNeedAPlace) {
    Write("ui/preview/f_PreviewPage.h", "#pragma once\n");
    Write("ui/preview/f_ReturnPreview.h", "#pragma once\n#include \"ui/preview/f_PreviewPage.h\"\n");
    Write("client/Print.cpp", "#include \"ui/preview/f_PreviewPage.h\"\n#include \"ui/preview/f_ReturnPreview.h\"\n");
    Write("module/f_ParamString.h", "#pragma once\n");
    Write("plugins/f_Extra.cpp", "#include \"module/f_ParamString.h\"\n");
    EXPECT_EQ(Violations(root_),
              (std::vector<std::string>{
                  "client/Print.cpp:2: includes \"ui/preview/f_ReturnPreview.h\": client may not use ui/preview",
                  "plugins/f_Extra.cpp: belongs to no layer; add its folder to the table",
              }));
}

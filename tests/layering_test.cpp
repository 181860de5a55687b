// The project's layers are its folders. Every include of a project file and every link edge of
// the CMake lists is checked against the table of what each folder may use: a file that
// includes a folder its own may not use, an include that names no file, and a target that
// links a folder its own may not use fail here, named with file and line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The core's folders, lowest first; each may use those before it.
const std::vector<std::string> kCore = {"host", "param", "invoice", "report", "context", "summary", "exchange", "print"};

std::set<std::string> CoreBelow(const std::string& folder) {
    std::set<std::string> below;
    for (const std::string& f : kCore) {
        if (f == folder) break;
        below.insert(f);
    }
    return below;
}

std::set<std::string> With(std::set<std::string> set, std::initializer_list<std::string> more) {
    set.insert(more.begin(), more.end());
    return set;
}

// What each folder may use besides itself; "*" is anything.
const std::map<std::string, std::set<std::string>>& AllowedTable() {
    static const std::map<std::string, std::set<std::string>> table = [] {
        std::map<std::string, std::set<std::string>> t;
        for (const std::string& f : kCore) t[f] = CoreBelow(f);
        // host/ is the host library's API as the module sees it; linking it links the library.
        t["host"].insert("corlith");
        t["summary"].erase("exchange");
        t["exchange"].erase("summary");
        t["core"] = With(CoreBelow(""), {"corlith"});  // the library made of all of them
        const std::set<std::string> core = With(CoreBelow(""), {"core"});
        t["ui/common"] = core;
        t["ui/detail"] = With(core, {"ui/common"});
        t["ui/preview"] = With(core, {"ui/common", "ui/detail"});
        t["ui/manager"] = With(core, {"ui/common", "ui/detail", "ui/preview"});
        t["module"] = With(core, {"ui/common", "ui/detail", "ui/preview", "ui/manager"});
        t["corlith"] = {"host"};
        t["client"] = With(core, {"corlith"});
        t["packaging"] = {};  // installed files and the package, no code
        t["cmake"] = {};      // build helpers: the precompiled headers name system headers only
        for (const char* any : {"fuzz", "tests", "bench"}) t[any] = {"*"};
        return t;
    }();
    return table;
}

// A file's layer: the longest folder of the table that holds it ("" for none).
std::string LayerOf(const std::string& file) {
    std::string layer;
    for (const auto& [folder, allowed] : AllowedTable())
        if (file.rfind(folder + "/", 0) == 0 && folder.size() > layer.size()) layer = folder;
    return layer;
}

bool IsSource(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".cpp" || ext == ".h";
}

// The files of the tree below root, relative to it, that match keep; build output and hidden
// folders are skipped.
std::vector<std::string> TreeFiles(const fs::path& root, bool (*keep)(const fs::path&)) {
    std::vector<std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name.empty() || name[0] == '.' || name == "build" || name == "var")) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && keep(it->path())) files.push_back(fs::relative(it->path(), root).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One line per rule broken.
using Findings = std::vector<std::string>;

void CheckUse(const std::string& where, const std::string& what, const std::string& from, const std::string& to,
              Findings& found) {
    if (from == to) return;
    const std::set<std::string>& allowed = AllowedTable().at(from);
    if (allowed.count("*") || allowed.count(to)) return;
    found.push_back(where + ": " + what + ": " + from + " may not use " + to);
}

// Every include of every source: quoted ones must name a project file (beside the file or
// from the root); angle ones that start with a project folder too. Others are the system's.
void CheckIncludes(const fs::path& root, Findings& found) {
    const std::regex include(R"re(^\s*#\s*include\s*([<"])([^>"]+)[>"])re");
    std::set<std::string> unplaced;
    for (const std::string& file : TreeFiles(root, IsSource)) {
        const std::string from = LayerOf(file);
        if (from.empty()) {
            found.push_back(file + ": belongs to no layer; add its folder to the table");
            continue;
        }
        std::ifstream in(root / file);
        std::string text;
        for (int line = 1; std::getline(in, text); ++line) {
            std::smatch m;
            if (!std::regex_search(text, m, include)) continue;
            const std::string included = m[2];
            const bool quoted = m[1] == "\"";
            const std::string head = included.substr(0, included.find('/'));
            if (!quoted && (included.find('/') == std::string::npos || LayerOf(head + "/x").empty())) continue;
            std::string target;
            for (const fs::path& candidate : {(root / file).parent_path() / included, root / included}) {
                std::error_code ec;
                if (!fs::is_regular_file(candidate, ec)) continue;
                target = fs::relative(fs::weakly_canonical(candidate), fs::weakly_canonical(root)).generic_string();
                break;
            }
            const std::string where = file + ":" + std::to_string(line);
            const std::string what = "includes " + std::string(quoted ? "\"" : "<") + included + (quoted ? "\"" : ">");
            if (target.empty()) {
                found.push_back(where + ": " + what + ": no such file of the project");
                continue;
            }
            const std::string to = LayerOf(target);
            if (to.empty()) {
                found.push_back(where + ": " + what + ": " + target + " belongs to no layer");
                continue;
            }
            CheckUse(where, what, from, to, found);
        }
    }
}

bool IsCMakeList(const fs::path& path) { return path.filename() == "CMakeLists.txt"; }

// Every target of ours that a CMake list defines, with the folder of that list, then every
// target a list links (target_link_libraries and the DEPENDS of a layer) against the table.
void CheckLinks(const fs::path& root, Findings& found) {
    const std::regex definition(R"re(\b(?:vantrel_layer|vantrel_core_layer|add_library|add_executable)\(\s*([A-Za-z0-9_:-]+))re");
    const std::regex linking(R"re(\b(target_link_libraries|vantrel_layer|vantrel_core_layer)\(([^)]*)\))re");
    std::map<std::string, std::string> folderOf;
    std::map<std::string, std::string> texts;
    for (const std::string& list : TreeFiles(root, IsCMakeList)) {
        std::ifstream in(root / list);
        std::stringstream s;
        s << in.rdbuf();
        const std::string text = s.str();
        texts[list] = text;
        const std::string folder = fs::path(list).parent_path().generic_string();
        for (auto it = std::sregex_iterator(text.begin(), text.end(), definition); it != std::sregex_iterator(); ++it)
            folderOf[(*it)[1]] = folder;
    }
    for (const auto& [list, text] : texts) {
        const std::string folder = fs::path(list).parent_path().generic_string();
        if (folder.empty()) continue;  // the top list names the folders and joins them for the tests
        const std::string from = LayerOf(folder + "/x");
        if (from.empty()) {
            found.push_back(list + ": belongs to no layer; add its folder to the table");
            continue;
        }
        for (auto it = std::sregex_iterator(text.begin(), text.end(), linking); it != std::sregex_iterator(); ++it) {
            std::string args = (*it)[2];
            if ((*it)[1] != "target_link_libraries") {
                const std::size_t depends = args.find("DEPENDS");
                args = depends == std::string::npos ? std::string() : args.substr(depends);
            }
            const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + it->position(), '\n'));
            std::istringstream words(args);
            bool first = (*it)[1] == "target_link_libraries";  // the target being linked
            for (std::string word; words >> word;) {
                if (std::exchange(first, false)) continue;
                const auto target = folderOf.find(word);
                if (target == folderOf.end() || target->second.empty()) continue;
                CheckUse(list + ":" + std::to_string(line), "links " + word, from, LayerOf(target->second + "/x"), found);
            }
        }
    }
}

Findings Violations(const fs::path& root) {
    Findings found;
    CheckIncludes(root, found);
    CheckLinks(root, found);
    std::sort(found.begin(), found.end());
    return found;
}

std::string Joined(const Findings& lines) {
    std::string text;
    for (const std::string& l : lines) text += "  " + l + "\n";
    return text;
}

class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("vantrel-layering-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
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

TEST(Layering, EveryIncludeAndLinkOfTheProjectFollowsTheTable) {
    const Findings violations = Violations(VANTREL_SOURCE_DIR);
    EXPECT_TRUE(violations.empty()) << "against the layering table:\n" << Joined(violations);
}

TEST_F(ScratchTree, UpwardIncludesUnresolvedIncludesUpwardLinksAndUnplacedFilesAreReported) {
    Write("invoice/f_Record.h", "#pragma once\n#include <vector>\n#include <QString>\n");
    Write("report/f_Guard.h", "#pragma once\n#include \"invoice/f_Record.h\"\n");
    Write("invoice/f_Store.cpp", "#include \"f_Record.h\"\n\n#include \"report/f_Guard.h\"\n#include <report/f_Gone.h>\n");
    Write("ui/common/f_List.cpp", "#include \"../../ui/detail/f_Detail.h\"\n#include \"f_Missing.h\"\n");
    Write("ui/detail/f_Detail.h", "#pragma once\n#include \"ui/common/f_List.h\"\n");
    Write("ui/common/f_List.h", "#pragma once\n");
    Write("client/Print.cpp", "#include \"print/f_Page.h\"\n#include \"ui/preview/f_Preview.h\"\n");
    Write("print/f_Page.h", "#pragma once\n");
    Write("ui/preview/f_Preview.h", "#pragma once\n");
    Write("tests/x_test.cpp", "#include \"ui/detail/f_Detail.h\"\n");
    Write("plugins/f_Extra.cpp", "\n");
    Write("invoice/CMakeLists.txt", "vantrel_core_layer(vantrel_invoice\n  SOURCES f_Store.cpp\n  DEPENDS vantrel_report Qt6::Core)\n");
    Write("report/CMakeLists.txt", "vantrel_core_layer(vantrel_report SOURCES f_Guard.h DEPENDS vantrel_invoice)\n");
    Write("client/CMakeLists.txt", "add_executable(client Print.cpp)\n"
                                   "target_link_libraries(client PRIVATE corlith vantrel_ui_preview)\n");
    Write("ui/preview/CMakeLists.txt", "vantrel_layer(vantrel_ui_preview SOURCES f_Preview.h)\n");
    Write("corlith/CMakeLists.txt", "add_library(corlith SHARED x.cpp)\n");
    EXPECT_EQ(Violations(root_), (Findings{
                                     "client/CMakeLists.txt:2: links vantrel_ui_preview: client may not use ui/preview",
                                     "client/Print.cpp:2: includes \"ui/preview/f_Preview.h\": client may not use "
                                     "ui/preview",
                                     "invoice/CMakeLists.txt:1: links vantrel_report: invoice may not use report",
                                     "invoice/f_Store.cpp:3: includes \"report/f_Guard.h\": invoice may not use report",
                                     "invoice/f_Store.cpp:4: includes <report/f_Gone.h>: no such file of the project",
                                     "plugins/f_Extra.cpp: belongs to no layer; add its folder to the table",
                                     "ui/common/f_List.cpp:1: includes \"../../ui/detail/f_Detail.h\": ui/common may "
                                     "not use ui/detail",
                                     "ui/common/f_List.cpp:2: includes \"f_Missing.h\": no such file of the project",
                                 }));
}

#include "message_catalog.h"

#include "codec.h"
#include "corlith_host.h"

#include <dlfcn.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <unordered_map>

namespace corlith::catalog {
namespace {

struct Catalogue {
    std::mutex mutex;
    bool loaded = false;
    std::unordered_map<int, std::string> texts;   // GBK
};

Catalogue& catalogue() {
    static Catalogue c;
    return c;
}

bool ReadFile(const std::filesystem::path& path, std::unordered_map<int, std::string>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        int number = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + tab, number);
        if (ec != std::errc() || end != line.data() + tab) continue;
        std::string text;
        // "\n" in the file stands for a line break inside the message.
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
                text += '\n';
                ++i;
            } else {
                text += line[i];
            }
        }
        std::string gbk;
        codec::Utf8ToGbk(text, gbk);
        out[number] = std::move(gbk);
    }
    return true;
}

std::filesystem::path LibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) && info.dli_fname)
        return std::filesystem::path(info.dli_fname).parent_path();
    return {};
}

void EnsureLoaded(Catalogue& c) {
    if (c.loaded) return;
    c.loaded = true;
    std::vector<std::filesystem::path> candidates;
    const std::filesystem::path folder = LibraryFolder();
    if (!folder.empty()) {
        candidates.push_back(folder / "corlith_messages.txt");
        candidates.push_back(folder / "messages.txt");
        candidates.push_back(folder / CORLITH_MESSAGES_RELATIVE);
    }
    for (const auto& path : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec) && ReadFile(path, c.texts)) return;
    }
}

void Substitute(std::string& text, const std::string& param) {
    for (size_t pos = 0; (pos = text.find("%s", pos)) != std::string::npos; pos += param.size())
        text.replace(pos, 2, param);
}

}  // namespace

std::string Text(int number, const std::string& param) {
    Catalogue& c = catalogue();
    std::string text;
    {
        std::lock_guard lock(c.mutex);
        EnsureLoaded(c);
        const auto it = c.texts.find(number);
        if (it != c.texts.end()) text = it->second;
    }
    if (text.empty()) {
        text = "提示信息 " + std::to_string(number) + " 未在信息库中定义";
        if (!param.empty()) text += "（参数：" + param + "）";
        return text;
    }
    Substitute(text, param);
    return text;
}

bool LoadFrom(const std::string& path) {
    Catalogue& c = catalogue();
    std::unordered_map<int, std::string> texts;
    if (!ReadFile(path, texts)) return false;
    std::lock_guard lock(c.mutex);
    c.texts = std::move(texts);
    c.loaded = true;
    return true;
}

}  // namespace corlith::catalog

void GetMsg(int number, const std::string& param, int /*flag*/, std::string& out) {
    try {
        out = corlith::catalog::Text(number, param);
    } catch (...) {
    }
}

#include "exchange/f_ZipPackage.h"

#include "exchange/f_CsvFile.h"
#include "host/corlith_api.h"

#include <zip.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace vantrel {

TZipPackage::TZipPackage() = default;

TZipPackage::~TZipPackage() {
    if (archive_) zip_discard(archive_);
}

bool TZipPackage::Adopt(zip_source_t* source) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    archive_ = zip_open_from_source(source, ZIP_RDONLY, &zipError);
    zip_error_fini(&zipError);
    if (!archive_) zip_source_free(source);
    return archive_ != nullptr;
}

bool TZipPackage::OpenFile(const QString& path, std::string& error) {
    const int fd = OpenRegularInput(path, error);
    if (fd < 0) return false;
    struct stat st {};
    packageBytes_ = ::fstat(fd, &st) == 0 ? static_cast<zip_uint64_t>(st.st_size) : 0;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        error = "无法打开文件：" + QStringToGbk(path);
        return false;
    }
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_filep_create(file, 0, -1, &zipError);
    zip_error_fini(&zipError);
    if (!source) {
        std::fclose(file);
        error = "无法打开文件：" + QStringToGbk(path);
        return false;
    }
    return Adopt(source);
}

bool TZipPackage::OpenBytes(const void* data, std::size_t size) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &zipError);
    zip_error_fini(&zipError);
    packageBytes_ = size;
    return source && Adopt(source);
}

std::vector<std::string> TZipPackage::EntryNames() const {
    std::vector<std::string> names;
    const zip_int64_t count = archive_ ? zip_get_num_entries(archive_, 0) : 0;
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0)) names.emplace_back(name);
    return names;
}

TZipRead TZipPackage::ReadEntry(const std::string& name, const std::string& part, const std::string& kind,
                                const std::function<bool(const char*, std::size_t)>& onBlock,
                                std::string& error) const {
    if (!archive_) return TZipRead::Missing;
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
    if (index < 0) return TZipRead::Missing;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return TZipRead::Missing;
    // A compressed size claimed beyond the whole file would lift the ratio's bound.
    const zip_uint64_t compressed = std::min((st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0, packageBytes_);
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
        zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0), &zip_fclose);
    if (!file) {
        error = part + "无法解压：" + zip_strerror(archive_);
        return TZipRead::Failed;
    }
    static thread_local char block[1 << 16];
    zip_uint64_t total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), block, sizeof block);
        if (got < 0) {
            error = part + "已损坏：" + zip_file_strerror(file.get());
            return TZipRead::Failed;
        }
        total += static_cast<zip_uint64_t>(got);
        if (total > kZipMaxEntryBytes) {
            error = part + "解压后超过 2 GB，不是" + kind;
            return TZipRead::Failed;
        }
        if (total > kZipRatioFreeBytes && total / kZipMaxRatio > compressed) {
            error = part + "的压缩比超过 100 倍，不是" + kind;
            return TZipRead::Failed;
        }
        if (!onBlock(block, static_cast<std::size_t>(got)) || got == 0) break;
    }
    return TZipRead::Read;
}

TZipRead TZipPackage::ReadEntryWhole(const std::string& name, const std::string& part, const std::string& kind,
                                     std::size_t maxBytes, std::string& bytes, std::string& error) const {
    bytes.clear();
    bool tooLong = false;
    const TZipRead read = ReadEntry(name, part, kind, [&](const char* data, std::size_t size) {
        if (bytes.size() + size > maxBytes) {
            tooLong = true;
            return false;
        }
        bytes.append(data, size);
        return true;
    }, error);
    if (read == TZipRead::Read && tooLong) {
        error = part + "超过 " + std::to_string(maxBytes) + " 字节，不是" + kind;
        return TZipRead::Failed;
    }
    return read;
}

std::string ResolvePackagePath(const std::string& base, const std::string& target) {
    std::vector<std::string_view> parts;
    const auto walk = [&parts](std::string_view path) {
        while (!path.empty()) {
            const std::size_t slash = path.find('/');
            const std::string_view part = path.substr(0, slash);
            path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
            if (part.empty() || part == ".") continue;
            if (part != "..") parts.push_back(part);
            else if (parts.empty()) return false;
            else parts.pop_back();
        }
        return true;
    };
    const bool fromRoot = !target.empty() && target[0] == '/';
    if (!walk(fromRoot ? std::string_view() : std::string_view(base)) || !walk(target) || parts.empty()) return {};
    std::string path;
    for (const std::string_view part : parts) {
        if (!path.empty()) path += '/';
        path += part;
    }
    return path;
}

}  // namespace vantrel

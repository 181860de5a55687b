// A zip package (a workbook, an OFD document, a ZIP of e-invoices) read as hostile input: an
// entry is inflated a block at a time within the limits below, never held unless asked for.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct zip;
struct zip_source;

namespace vantrel {

// An entry inflates to at most this much: a sheet of the format's 1,048,576 rows written
// the way spreadsheet programs write a register (about 500 bytes a row) stays below a
// quarter of it.
inline constexpr std::uint64_t kZipMaxEntryBytes = std::uint64_t{2} << 30;
// Past its first megabyte an entry may inflate to at most this multiple of its compressed
// size. Spreadsheet XML of real registers compresses 5 to 30 times; the deflate format
// allows about 1000, which only a file made to exhaust memory or time comes near.
inline constexpr std::uint64_t kZipMaxRatio = 100;
inline constexpr std::uint64_t kZipRatioFreeBytes = std::uint64_t{1} << 20;

// A reference inside the package as an entry name: relative to the folder base ("xl/"), or
// from the package's root when it starts with "/". Empty when it leads out of the package.
std::string ResolvePackagePath(const std::string& base, const std::string& target);

enum class TZipRead { Read, Missing, Failed };

class TZipPackage {
public:
    TZipPackage();
    ~TZipPackage();
    TZipPackage(const TZipPackage&) = delete;
    TZipPackage& operator=(const TZipPackage&) = delete;

    // A regular file (anything else is refused with the reason), or bytes held by the caller
    // for the package's life. False when they are no zip package.
    bool OpenFile(const QString& path, std::string& error);
    bool OpenBytes(const void* data, std::size_t size);

    // The entries' names in the package's order.
    std::vector<std::string> EntryNames() const;
    // Inflates the entry into onBlock a block at a time (a last call with size 0 ends it);
    // onBlock returning false stops reading without an error. Beyond the limits the read
    // fails with "<part>解压后超过 2 GB，不是<kind>" or "<part>的压缩比超过 100 倍，不是<kind>";
    // part names the entry ("工作簿的 xl/workbook.xml "), kind what the file should have been.
    TZipRead ReadEntry(const std::string& name, const std::string& part, const std::string& kind,
                       const std::function<bool(const char* data, std::size_t size)>& onBlock,
                       std::string& error) const;
    // The whole entry, when it inflates to at most maxBytes ("<part>超过 N 字节" otherwise).
    TZipRead ReadEntryWhole(const std::string& name, const std::string& part, const std::string& kind,
                            std::size_t maxBytes, std::string& bytes, std::string& error) const;

private:
    bool Adopt(struct zip_source* source);

    zip* archive_ = nullptr;
    std::uint64_t packageBytes_ = 0;
};

}  // namespace vantrel

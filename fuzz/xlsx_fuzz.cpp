// The workbook reader on any bytes (zip, relationships, shared strings, styles, sheet), and
// the resolution of relationship targets: a refusal says why, a row never holds more cells
// than the header, and a resolved target stays inside the package.
#include "exchange/f_XlsxFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class CheckingSink final : public vantrel::TExchangeSink {
public:
    void Header(std::vector<std::string>& captions, int line) override {
        if (headerSeen_ || line < 1) std::abort();
        headerSeen_ = true;
        width_ = captions.size();
        line_ = line;
    }
    void Row(vantrel::TExchangeRow& row) override {
        if (!headerSeen_ || row.line <= line_ || row.cells.size() > width_ || row.extra.size() > vantrel::kExtraColumnsKept)
            std::abort();
        line_ = row.line;
    }

private:
    bool headerSeen_ = false;
    std::size_t width_ = 0;
    int line_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingSink sink;
    std::string error;
    if (!vantrel::ReadXlsxBytes(data, size, sink, error) && error.empty()) std::abort();

    // A name such as "..2" is a file of the package; only a whole ".." segment climbs out.
    const std::string target(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 512));
    const std::string resolved = vantrel::ResolveXlsxTarget(target);
    std::size_t start = 0;
    while (!resolved.empty()) {
        const std::size_t slash = resolved.find('/', start);
        const std::string part = resolved.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty() || part == "." || part == "..") std::abort();
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return 0;
}

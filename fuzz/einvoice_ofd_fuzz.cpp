// The OFD reader (a zip package: its entries within the size, ratio and count limits, the
// embedded invoice XML or the custom tags and the page objects they point at) on any bytes,
// and the resolution of package paths: a refusal says why, an accepted invoice holds what the
// XML reader's does, and a resolved path stays inside the package.
#include "exchange/f_EInvoiceFile.h"
#include "exchange/f_ZipPackage.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TEInvoice invoice;
    std::string error;
    if (!ParseEInvoiceOfd(reinterpret_cast<const char*>(data), size, invoice, error)) {
        if (error.empty()) std::abort();
    } else if (invoice.number.empty() || invoice.rates.empty() || invoice.special) {
        std::abort();
    }

    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 512));
    const std::size_t cut = text.find('\n');
    const std::string resolved = ResolvePackagePath(text.substr(0, cut), cut == std::string::npos ? "" : text.substr(cut + 1));
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

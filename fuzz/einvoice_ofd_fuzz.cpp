// The OFD reader on any bytes: the zip package (entries within the size, ratio and count
// limits), the embedded invoice XML or the custom tags and the page objects they point at. A
// refusal says why; an accepted invoice holds what the XML reader's does. (The package paths
// it resolves are checked by the workbook harness, which resolves them the same way.)
#include "exchange/f_EInvoiceFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::TEInvoice invoice;
    std::string error;
    if (!vantrel::ParseEInvoiceOfd(reinterpret_cast<const char*>(data), size, invoice, error)) {
        if (error.empty()) std::abort();
    } else if (invoice.number.empty() || invoice.rates.empty() || invoice.special) {
        std::abort();
    }
    return 0;
}

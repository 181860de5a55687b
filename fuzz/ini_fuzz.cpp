// fp_config.ini as a user may have edited it.
#include "invoice/f_FpDealGlobal.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const InvoiceConfig config = vantrel::ParseInvoiceConfig(text, "xxqtfp");
    // Indenting every line changes nothing.
    std::string indented = " ";
    for (char c : text) {
        indented += c;
        if (c == '\n') indented += "\t ";
    }
    const InvoiceConfig same = vantrel::ParseInvoiceConfig(indented, "xxqtfp");
    if (same.TaxRateList != config.TaxRateList || same.TaxTolerance != config.TaxTolerance ||
        same.TaxpayerIdLengths != config.TaxpayerIdLengths)
        std::abort();
    return 0;
}

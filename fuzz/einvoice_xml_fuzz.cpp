// The e-invoice XML reader on any bytes: a refusal says why; an invoice it accepts has a
// number, a date without its time, at least one rate, is no special VAT invoice, and when it is
// red-letter its figures sum to at most zero.
#include "exchange/f_EInvoiceFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::TEInvoice invoice;
    std::string error;
    if (!vantrel::ParseEInvoiceXml(reinterpret_cast<const char*>(data), size, invoice, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (invoice.number.empty() || invoice.date.empty() || invoice.date.find(' ') != std::string::npos ||
        invoice.date.find('T') != std::string::npos || invoice.rates.empty() || invoice.special ||
        invoice.rates.size() > vantrel::kEInvoiceMaxItems)
        std::abort();
    int64_t amount = 0;
    for (const vantrel::TEInvoiceRate& rate : invoice.rates) {
        if (rate.rate.empty()) std::abort();
        amount += rate.amount;
    }
    if (invoice.red && amount > 0) std::abort();
    return 0;
}

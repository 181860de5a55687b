// The module's configuration (fp_config.ini) and the lookup lists its windows show.
#pragma once

#include "host/f_ModuleContext.h"

#include <cstdint>
#include <string>
#include <vector>

struct InvoiceConfig {
    std::string TaxRateList = "|17|0|";
    int32_t TaxTolerance = 15;  // hundredths of a yuan
    std::string TaxpayerIdLengths = "|15|18|16|17|20|19|";
};

// Reads section of fp_config.ini in the context's sub-application folder.
void LoadInvoiceConfig(const vantrel::TModuleContext& context, const std::string& section);
std::string DeclareStatusName(uint32_t code);

namespace vantrel {

// The settings of the last LoadInvoiceConfig; defaults before the first.
InvoiceConfig& CurrentInvoiceConfig();
// The settings that the text of an fp_config.ini gives for section; what it lacks or holds
// malformed stays default. Indented keys read like the others.
InvoiceConfig ParseInvoiceConfig(const std::string& iniText, const std::string& section);

// Items shown by a combo box and the parallel item values; windows only bind it.
struct LookupList {
    std::vector<std::string> items;
    std::vector<std::string> values;
};

// "-请选择-" with an empty value, then the types in code order without "非专用发票";
// when the type query fails, "未知发票" with an empty value follows the placeholder.
// everyType keeps the type that the entry windows leave out ("非专用发票"): a register can hold
// such rows, and an import must take back what an export wrote.
// The list of the context's tables, read on its connection.
LookupList LoadInvoiceTypeList(const TModuleContext& context, bool everyType = false);
// The configured rates as combo items ("17%", "0%"); values are not used.
std::vector<std::string> TaxRateItems();

}  // namespace vantrel

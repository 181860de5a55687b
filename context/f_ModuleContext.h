// Where the module's context lives: the taxpayer and period it works on, read from the host,
// and the invoice store of that period bound to the declaration guard.
#pragma once

#include "invoice/f_InvoiceStore.h"

#include <string>

// The current taxpayer (curcompany) and period (curKJNY) from the host's values; empty when
// missing.
void CurrentTaxpayerAndPeriod(std::string& nsrsbh, std::string& sbssq);

// The store of the taxpayer's invoices of the period whose writes mark the module's form filled.
TInvoiceStore ModuleInvoiceStore(const std::string& nsrsbh, const std::string& kjny);

// Where the module's context lives: the taxpayer, period, sub-application and connection the
// core works on, and the invoice store of that period bound to the declaration guard. The
// module reads the context from the host once; the client builds it from its options.
#pragma once

#include "invoice/f_InvoiceStore.h"

#include <string>

namespace vantrel {

struct TModuleContext {
    std::string taxpayer;    // nsrsbh
    std::string period;      // kjny, yyyymm
    std::string subAppCode;  // names the tables: sb<code>_xxfpb
    std::string connection;  // the host's connection name

    // The sub-application's table of a base name ("sb_xxfpb").
    std::string Table(const std::string& name) const;
};

// The host's current taxpayer (curcompany), period (curKJNY), sub-application and connection;
// empty texts when missing.
TModuleContext ModuleContextFromHost();

}  // namespace vantrel

// The store of the taxpayer's invoices of the period whose writes mark the module's form filled.
TInvoiceStore ModuleInvoiceStore(const std::string& nsrsbh, const std::string& kjny);

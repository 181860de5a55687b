// Where the module's context comes from: read from the host once (the client builds it from
// its options instead), and the invoice store of that context bound to the declaration guard.
#pragma once

#include "host/f_ModuleContext.h"
#include "invoice/f_InvoiceStore.h"

#include <string>

namespace vantrel {

// The host's current taxpayer (curcompany), period (curKJNY), particulars (jbxx), approved
// kinds (hdxx), sub-application, its folder, connection, audit switch (global_usesbsh) and
// catalogue (DeclareTypeInfo), and what a window captures of the host with the user's input
// method (RunParameter/SysIME); empty texts when missing. The one place the module reads these
// from the host.
TModuleContext ModuleContextFromHost();

// The store of the context's invoices whose writes mark the module's form filled.
TInvoiceStore ModuleInvoiceStore(const TModuleContext& context);

}  // namespace vantrel

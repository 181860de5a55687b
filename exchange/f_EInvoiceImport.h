// An import of e-invoice files into the register: each invoice becomes one row per rate of
// type 普通发票 (count 1, the buyer's id), checked like a register file's rows, with the
// invoice number and the file kept beside each row.
#pragma once

#include "exchange/f_RegisterExchange.h"

#include <QString>

#include <string>
#include <vector>

namespace vantrel {

// Reads the files of the paths (see ReadEInvoiceFiles) and plans their rows for the target's
// taxpayer and period. A file that cannot be read, an invoice of another seller or kind, and an
// invoice number that the taxpayer's register holds in any period, or that the import holds
// twice, are errors naming the file. False (error set) only when the files cannot be read at
// all (a path that does not exist, too many files) or the register cannot be read.
bool PlanEInvoiceImport(const std::vector<QString>& paths, const TModuleContext& context, const TImportTarget& target,
                        bool keepCells, TImportPlan& plan, std::string& error);

}  // namespace vantrel

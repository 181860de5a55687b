// The invoices behind a cell of the summary: the rows that the cell's own statement group
// sums, read with the same conditions, so that their sum is the cell's figure.
#pragma once

#include "host/f_ModuleContext.h"
#include "summary/f_SummaryCells.h"

#include <string>
#include <vector>

struct Txxqtfpxx;

namespace vantrel {

// The list's fields (those of the manager's list) of the group's rows of the context's
// taxpayer and period, in sequence-number order.
std::string BuildDrillSelect(const TSummaryGroup& group, const TModuleContext& context);

// Appends the group's invoices of the context's taxpayer and period to rows as new records
// (the caller frees them). False with the database's error; rows is then unchanged.
bool LoadDrillInvoices(const TSummaryGroup& group, const TModuleContext& context, std::vector<Txxqtfpxx*>& rows,
                       std::string& error);

// The sum of the cell's measure over rows, written as the document writes the cell.
std::string DrillTotalText(const TSummaryCell& cell, const std::vector<Txxqtfpxx*>& rows);

}  // namespace vantrel

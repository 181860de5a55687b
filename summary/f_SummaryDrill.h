// The invoices behind a cell of the summary: the rows that the cell's own statement group
// sums, read with the same conditions, so that their sum is the cell's figure.
#pragma once

#include "summary/f_SummaryCells.h"

#include <string>
#include <vector>

struct Txxqtfpxx;

// The list's fields (those of the manager's list) of the group's rows, in sequence-number order.
std::string BuildDrillSelect(const TSummaryGroup& group, const std::string& nsrsbh, const std::string& sbssq);

// Appends the group's invoices of taxpayer nsrsbh and period sbssq to rows as new records
// (the caller frees them). False with the database's error; rows is then unchanged.
bool LoadDrillInvoices(const TSummaryGroup& group, const std::string& nsrsbh, const std::string& sbssq,
                       std::vector<Txxqtfpxx*>& rows, std::string& error);

// The sum of the cell's measure over rows, written as the document writes the cell.
std::string DrillTotalText(const TSummaryCell& cell, const std::vector<Txxqtfpxx*>& rows);

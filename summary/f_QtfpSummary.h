// The declaration summary document: the period's invoices summed into the catalogue's cells
// behind the taxpayer header, written as one GBK file.
#pragma once

#include "summary/f_SummaryCells.h"

#include <string>

// The select of one statement group for taxpayer nsrsbh and period sbssq on table.
std::string BuildSummarySelect(const TSummaryGroup& group, const std::string& table,
                               const std::string& nsrsbh, const std::string& sbssq);

// The whole document, byte for byte as it goes into the file. False with error when the
// header cannot be built or a select fails.
bool BuildSummaryText(std::string& text, std::string& error);

// Replaces the file at path with text: written to a temporary file in the same folder and
// renamed over path only when every write succeeded, so a failure leaves any earlier file
// as it was. False with an error naming the path.
bool WriteSummaryFile(const std::string& path, const std::string& text, std::string& error);

// Builds the document and writes it to path (a file, not a folder).
bool BuildSummaryDocument(const std::string& path, std::string& error);

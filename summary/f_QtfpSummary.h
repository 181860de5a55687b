// The declaration summary document: the period's invoices summed into the catalogue's cells
// behind the taxpayer header, written as one GBK file.
#pragma once

#include "host/f_ModuleContext.h"
#include "summary/f_SummaryCells.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// " where " with the taxpayer, the period and the group's conditions: the rows that the
// group's cells sum.
std::string BuildSummaryWhere(const TSummaryGroup& group, const std::string& nsrsbh, const std::string& sbssq);

// The select of one statement group for taxpayer nsrsbh and period sbssq on table.
std::string BuildSummarySelect(const TSummaryGroup& group, const std::string& table, const std::string& nsrsbh,
                               const std::string& sbssq);

// One cell line of the document: the group whose select computed it, the cell, and its value
// exactly as the document writes it.
struct TSummaryLine {
    const TSummaryGroup* group = nullptr;
    const TSummaryCell* cell = nullptr;
    std::string value;
};

// The document's value texts: sums of amounts and taxes with two decimals ("-0.00" is
// written as "0.00"), counts in decimal.
std::string SummaryAmountText(double sum);
std::string SummaryCountText(int32_t count);

// Runs the catalogue's selects for the context's taxpayer and period on its connection: one
// line per cell line of the document, in document order. The document and the preview both
// come from here. False with the database's error when a select fails; lines is then left as
// it was.
bool ComputeSummaryLines(const TModuleContext& context, std::vector<TSummaryLine>& lines, std::string& error);

// The whole document of the context, byte for byte as it goes into the file. False with error
// when the header cannot be built or a select fails.
// lines, when given, gets the cell lines the text was made of.
bool BuildSummaryText(const TModuleContext& context, std::string& text, std::string& error,
                      std::vector<TSummaryLine>* lines = nullptr);

// Replaces the file at path (GBK) with text through the host library's file writer. False
// with an error naming the path.
bool WriteSummaryFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace vantrel

// Builds the document of the context and writes it to path (a file, not a folder); a document
// written is recorded in the change log's figures as declared (a database that refuses the
// record does not fail the document).
bool BuildSummaryDocument(const vantrel::TModuleContext& context, const std::string& path, std::string& error);

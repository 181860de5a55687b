// What the return preview shows: the taxpayer, the period and every cell line of the summary,
// computed by the same code path as the document.
#pragma once

#include "summary/f_QtfpSummary.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct TSummaryPreview {
    std::string taxpayerId;     // the company particulars' code, else the current taxpayer
    std::string taxpayerName;
    std::string period;         // yyyymm
    std::vector<TSummaryLine> lines;  // document order, the repeated line included
    // The value each cell had in the last summary document written for the period, for the
    // cells whose value differs now; declaredTime (UTC) is empty when none was written.
    std::map<std::string, std::string, std::less<>> declared;
    std::string declaredTime;

    // The value of a cell as the document writes it; empty when the preview has no such cell.
    std::string Value(std::string_view name) const;
};

// The taxpayer as the documents name it: the company particulars' code and name, the
// context's taxpayer id when the particulars have no code.
void CurrentTaxpayerParticulars(const TModuleContext& context, std::string& id, std::string& name);

// The preview of the context's taxpayer and period, with the values of the last document
// written where they differ. False with the database's error.
bool LoadSummaryPreview(const TModuleContext& context, TSummaryPreview& preview, std::string& error);

// "2026年11月" for "202611"; other texts as they are.
std::string PeriodCaption(const std::string& period);

}  // namespace vantrel

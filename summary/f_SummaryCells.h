// The fixed catalogue of the summary document's cells: one statement group per select,
// in document order.
#pragma once

#include <string_view>
#include <vector>

namespace vantrel {

enum class TSummaryMeasure { Je, Se, Fs };

// Every cell name starts with it; users may leave it out when they name a cell.
inline constexpr std::string_view kSummaryCellPrefix = "SB_XXQTFPMX_";

struct TSummaryCell {
    std::string_view name;
    TSummaryMeasure measure;
};

struct TSummaryGroup {
    std::vector<TSummaryCell> cells;            // written in this order
    std::vector<std::string_view> conditions;   // each appended as " and " + condition
};

// The 46 groups (61 cell lines).
const std::vector<TSummaryGroup>& SummaryCatalogue();

// The group and cell of a cell name, given with or without kSummaryCellPrefix (letters
// compared ignoring case). The repeated line's name gives its first group. False when the
// catalogue has no such cell.
struct TSummaryCellRef {
    const TSummaryGroup* group = nullptr;
    const TSummaryCell* cell = nullptr;
};
bool FindSummaryCell(std::string_view name, TSummaryCellRef& ref);

// The register column a measure sums: "je", "se", "fs".
std::string_view MeasureColumn(TSummaryMeasure measure);
// The field alias under which a measure is selected and read back: "zje", "zse", "zfs".
std::string_view MeasureAlias(TSummaryMeasure measure);

}  // namespace vantrel

// The fixed catalogue of the summary document's cells: one statement group per select,
// in document order.
#pragma once

#include <string_view>
#include <vector>

enum class TSummaryMeasure { Je, Se, Fs };

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

// The field alias under which a measure is selected and read back: "zje", "zse", "zfs".
std::string_view MeasureAlias(TSummaryMeasure measure);

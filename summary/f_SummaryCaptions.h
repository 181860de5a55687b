// Where each cell of the summary stands when it is shown or printed: grouped like the return's
// schedule, each section a grid whose rows and columns say what the figures hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct TSummaryColumn {
    std::string_view group;    // caption over a run of columns; empty when the column has none
    std::string_view caption;
};

struct TSummarySection {
    std::string_view form;     // the schedule the section belongs to ("主表", "附表一")
    std::string_view caption;
    std::vector<std::string_view> rows;
    std::vector<TSummaryColumn> columns;
};

struct TSummaryPlace {
    std::string_view name;     // the cell's element name
    int section;
    int row;
    int column;
};

// Texts are GBK.
const std::vector<TSummarySection>& SummarySections();
// One place per cell name; the document's repeated line has one place like any other cell.
const std::vector<TSummaryPlace>& SummaryPlaces();
// The place of a cell name (full element name), null when it has none.
const TSummaryPlace* FindSummaryPlace(std::string_view name);
// "主表：<row>，<column group><column>": what the figure of the cell holds. Empty when the
// name has no place.
std::string SummaryCellCaption(std::string_view name);

}  // namespace vantrel

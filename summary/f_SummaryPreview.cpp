#include "summary/f_SummaryPreview.h"
#include "summary/f_SummaryDeclared.h"

#include "report/f_DealReportPubFunc.h"

namespace vantrel {

std::string TSummaryPreview::Value(std::string_view name) const {
    for (const TSummaryLine& line : lines)
        if (line.cell->name == name) return line.value;
    return std::string();
}

void CurrentTaxpayerParticulars(const TModuleContext& context, std::string& id, std::string& name) {
    GetCompanyInfo(context, "code", id);
    GetCompanyInfo(context, "name", name);
    if (id.empty()) id = context.taxpayer;
}

bool LoadSummaryPreview(const TModuleContext& context, TSummaryPreview& preview, std::string& error) {
    TSummaryPreview loaded;
    loaded.period = context.period;
    CurrentTaxpayerParticulars(context, loaded.taxpayerId, loaded.taxpayerName);
    if (!ComputeSummaryLines(context, loaded.lines, error)) return false;
    TDeclaredDiff diff;
    if (!DiffDeclared(context, loaded.lines, diff, error, false)) return false;
    if (diff.found) loaded.declaredTime = diff.document.time;
    for (const TDeclaredDiff::TCell& cell : diff.changed) loaded.declared[cell.name] = cell.declared;
    preview = std::move(loaded);
    return true;
}

std::string PeriodCaption(const std::string& period) {
    const bool digits = period.size() == 6 && period.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) return period;
    return period.substr(0, 4) + "年" + period.substr(4, 2) + "月";
}

}  // namespace vantrel

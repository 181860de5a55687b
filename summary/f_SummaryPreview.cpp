#include "summary/f_SummaryPreview.h"

#include "context/f_ModuleContext.h"
#include "report/f_DealReportPubFunc.h"

std::string TSummaryPreview::Value(std::string_view name) const {
    for (const TSummaryLine& line : lines)
        if (line.cell->name == name) return line.value;
    return std::string();
}

void CurrentTaxpayerParticulars(std::string& id, std::string& name) {
    GetCompanyInfo("jbxx", "code", id);
    GetCompanyInfo("jbxx", "name", name);
    if (id.empty()) {
        std::string period;
        CurrentTaxpayerAndPeriod(id, period);
    }
}

bool LoadSummaryPreview(TSummaryPreview& preview, std::string& error) {
    TSummaryPreview loaded;
    std::string nsrsbh;
    CurrentTaxpayerAndPeriod(nsrsbh, loaded.period);
    CurrentTaxpayerParticulars(loaded.taxpayerId, loaded.taxpayerName);
    if (!ComputeSummaryLines(nsrsbh, loaded.period, loaded.lines, error)) return false;
    preview = std::move(loaded);
    return true;
}

std::string PeriodCaption(const std::string& period) {
    const bool digits = period.size() == 6 && period.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) return period;
    return period.substr(0, 4) + "年" + period.substr(4, 2) + "月";
}

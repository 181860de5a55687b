#include "summary/f_SummaryDrill.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "summary/f_QtfpSummary.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace vantrel {

std::string BuildDrillSelect(const TSummaryGroup& group, const TModuleContext& context) {
    // The conditions name bare columns, as in the group's own select: they are applied to the
    // invoice table alone, before the join that brings the type names.
    return "select fp.*,lx.mc as fplxmc from (select * from " + QualifyTableName("sb_xxfpb", context.subAppCode) +
           BuildSummaryWhere(group, context.taxpayer, context.period) + ") fp left join " +
           QualifyTableName("sb_fplxb", context.subAppCode) + " lx on fp.fplx = lx.fplx order by fp.xh";
}

bool LoadDrillInvoices(const TSummaryGroup& group, const TModuleContext& context, std::vector<Txxqtfpxx*>& rows,
                       std::string& error) {
    THostQuery query;
    if (!ExecADOQueryMsg(context.connection, BuildDrillSelect(group, context), &query, error, 1, 0)) {
        error = ErrorOrUnknown(error);
        return false;
    }
    ReadInvoiceRecords(query, rows);
    return true;
}

std::string DrillTotalText(const TSummaryCell& cell, const std::vector<Txxqtfpxx*>& rows) {
    if (cell.measure == TSummaryMeasure::Fs) {
        int64_t count = 0;
        for (const Txxqtfpxx* r : rows) count += r->fs;
        // The document reads the count as a 32-bit integer, held at its limits.
        return SummaryCountText(static_cast<int32_t>(
            std::clamp<int64_t>(count, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
    }
    // Summed in fixed point, so the order of the rows cannot change the last cent.
    int64_t fixed = 0;
    for (const Txxqtfpxx* r : rows) fixed += MoneyToFixed(cell.measure == TSummaryMeasure::Je ? r->je : r->se);
    return SummaryAmountText(static_cast<double>(fixed) / 10000.0);
}

}  // namespace vantrel

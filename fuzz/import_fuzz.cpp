// The import's mapping and checks on any CSV file: every row either fails with an error, or
// its stored record has a type of the list, a whole percent rate and a sequence of lines; the
// lines shown of the issues never outnumber them by more than their kinds.
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::TExchangeTable table;
    vantrel::TExchangeTableSink sink(table);
    std::string error;
    if (!vantrel::ReadCsvBytes(std::string_view(reinterpret_cast<const char*>(data), size), 4096, sink, error)) return 0;
    vantrel::TImportTarget target;
    target.nsrsbh = "91440300MA5F3KXL27";
    target.kjny = "202611";
    target.typeNames = {"type1", "type2", "type3", "type5"};
    target.typeCodes = {"1", "2", "3", "5"};
    target.rates = {"17%", "13%", "6%", "4%", "0%"};
    target.context.period = "202611";
    target.context.taxpayer = target.nsrsbh;
    target.context.today = QDate(2026, 12, 31);
    target.context.idLengths = "|15|18|20|";
    const vantrel::TImportPlan plan = vantrel::PlanImport(std::move(table), target);
    int line = 0;
    for (const vantrel::TImportRow& row : plan.rows) {
        if (row.line <= line) std::abort();
        line = row.line;
        if (plan.HasErrors()) continue;
        const Txxqtfpxx r = plan.Record(row);
        if (row.type >= target.typeCodes.size() || r.sl < 0 || r.sl > 100) std::abort();
    }
    if (vantrel::IssueLines(plan.issues, 3).size() > plan.issues.size()) std::abort();
    return 0;
}

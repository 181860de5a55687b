// The platform's list on any CSV file or workbook (a header cell "0" to "6" stands for that
// column's caption, so that mutations reach the mapping whatever bytes the literals are), then
// matched against a register made from it: a refusal says why; every invoice of either side
// ends in exactly one line, a line is 一致 exactly when nothing differs, and the groups count
// the lines.
#include "exchange/f_CsvFile.h"
#include "exchange/f_Reconcile.h"
#include "exchange/f_XlsxFile.h"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::TExchangeTable table;
    vantrel::TExchangeTableSink read(table);
    std::string error;
    const bool workbook = size >= 2 && data[0] == 'P' && data[1] == 'K';
    if (!(workbook ? vantrel::ReadXlsxBytes(data, size, read, error)
                   : vantrel::ReadCsvBytes(std::string_view(reinterpret_cast<const char*>(data), size), 1024, read, error)))
        return 0;
    for (std::string& caption : table.header)
        if (caption.size() == 1 && caption[0] >= '0' && caption[0] < '0' + vantrel::ListColumnCount)
            caption = vantrel::ListColumnCaption(caption[0] - '0');

    std::vector<vantrel::TListInvoice> list;
    vantrel::TPlatformListSink sink(list);
    if (!table.header.empty()) sink.Header(table.header, table.headerLine);
    for (vantrel::TExchangeRow& row : table.rows) sink.Row(row);
    if (!sink.Finish(error)) {
        if (error.empty()) std::abort();
        return 0;
    }

    // Every third invoice is in the register as listed, half of those known by number; every
    // third one with another amount; the rest only in the list.
    std::deque<Txxqtfpxx> rows;
    std::map<int, std::string> numbers;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i % 3 == 2) continue;
        Txxqtfpxx& r = rows.emplace_back();
        r.xh = static_cast<int32_t>(rows.size());
        r.fplxmc = "type";
        const int32_t d = list[i].date;
        r.kprq = std::to_string(d / 10000) + "-" + std::to_string(100 + d / 100 % 100).substr(1) + "-" +
                 std::to_string(100 + d % 100).substr(1);
        r.je = static_cast<double>(list[i].amount) / 10000.0 + (i % 3 == 1 ? 1 : 0);
        r.se = static_cast<double>(list[i].tax) / 10000.0;
        r.gfnsr = list[i].buyer;
        r.zfbz = list[i].voided ? "1" : "0";
        if (i % 2 == 0 && !list[i].number.empty()) numbers[r.xh] = list[i].number;
    }
    std::vector<const Txxqtfpxx*> pointers;
    for (const Txxqtfpxx& r : rows) pointers.push_back(&r);
    const vantrel::TReconcileResult result = vantrel::ReconcileInvoices(pointers, std::move(numbers), std::move(list));

    // The list's rows of one number are one invoice of the result.
    std::vector<int> registerSeen(result.registered.size()), listSeen(result.listed.size());
    int64_t counted = 0;
    for (const vantrel::TReconcileLine& line : result.lines) {
        if (line.registered >= 0) ++registerSeen.at(static_cast<std::size_t>(line.registered));
        if (line.listed >= 0) ++listSeen.at(static_cast<std::size_t>(line.listed));
        const bool paired = line.registered >= 0 && line.listed >= 0;
        if ((line.kind == vantrel::TReconcileKind::Matched) != (paired && line.differing == 0)) std::abort();
        if ((line.kind == vantrel::TReconcileKind::Differing) != (paired && line.differing != 0)) std::abort();
        if (vantrel::ReconcileFields(result, line).size() != vantrel::ReconcileHeader().size()) std::abort();
    }
    for (int seen : registerSeen)
        if (seen != 1) std::abort();
    for (int seen : listSeen)
        if (seen != 1) std::abort();
    for (const vantrel::TReconcileGroup& group : result.groups) counted += group.count;
    if (counted != static_cast<int64_t>(result.lines.size())) std::abort();
    return 0;
}

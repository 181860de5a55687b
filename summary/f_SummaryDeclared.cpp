#include "summary/f_SummaryDeclared.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"


#include <map>

namespace vantrel {

namespace {

constexpr std::size_t kRowsPerStatement = 100;

// Which of the entries have a row before or after the change that the group sums: the rows go
// into the group's own condition as a table of literals, so that the catalogue decides.
bool MatchGroup(const TModuleContext& context, const TSummaryGroup& group, const std::vector<TChangeEntry>& entries,
                std::vector<bool>& hit, std::string& error) {
    hit.assign(entries.size(), false);
    std::string head = "WITH t(k";
    for (const std::string& column : RegisterColumns()) head += "," + column;
    head += ") AS (VALUES ";
    const std::string where = BuildSummaryWhere(group, context.taxpayer, context.period);
    for (std::size_t from = 0; from < entries.size(); from += kRowsPerStatement) {
        std::string sql = head;
        bool any = false;
        for (std::size_t i = from; i < entries.size() && i < from + kRowsPerStatement; ++i)
            for (const std::string* row : {&entries[i].before, &entries[i].after}) {
                const std::vector<std::string> literals = LoggedRowLiterals(*row);
                if (literals.empty()) continue;
                sql += std::string(any ? ",(" : "(") + std::to_string(i);
                for (const std::string& literal : literals) sql += "," + literal;
                sql += ")";
                any = true;
            }
        if (!any) continue;
        THostQuery query;
        if (!ExecADOQueryRows(context.connection, sql + ") SELECT DISTINCT k FROM t" + where, &query, error, [&] {
                const int64_t k = query.FieldAsInt64("k");
                if (k >= 0 && static_cast<std::size_t>(k) < hit.size()) hit[static_cast<std::size_t>(k)] = true;
                return true;
            }))
            return false;
    }
    return true;
}

}  // namespace

bool ChangesOfGroupSince(const TModuleContext& context, const TSummaryGroup& group, int64_t seq,
                         std::vector<TChangeEntry>& entries, std::string& error) {
    std::vector<TChangeEntry> since;
    if (!ReadChangeEntriesSince(
            context, seq, [&since](const TChangeEntry& e) { since.push_back(e); }, error))
        return false;
    std::vector<bool> hit;
    if (!MatchGroup(context, group, since, hit, error)) return false;
    entries.clear();
    for (std::size_t i = 0; i < since.size(); ++i)
        if (hit[i]) entries.push_back(std::move(since[i]));
    return true;
}

bool DiffDeclared(const TModuleContext& context, const std::vector<TSummaryLine>& lines, TDeclaredDiff& diff,
                  std::string& error, bool batches) {
    diff = TDeclaredDiff();
    if (!ReadLastDeclaredDocument(context, diff.document, diff.found, error)) return false;
    if (!diff.found) return true;
    std::vector<TChangeEntry> since;
    if (batches && !ReadChangeEntriesSince(
                       context, diff.document.seq, [&since](const TChangeEntry& e) { since.push_back(e); }, error))
        return false;
    std::map<const TSummaryGroup*, std::vector<int64_t>> batchesOf;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TSummaryLine& line = lines[i];
        const std::string declared = i < diff.document.cells.size() ? diff.document.cells[i].second : std::string();
        if (declared == line.value) continue;
        if (batches && !batchesOf.count(line.group)) {
            std::vector<bool> hit;
            if (!MatchGroup(context, *line.group, since, hit, error)) return false;
            std::vector<int64_t>& found = batchesOf[line.group];
            for (std::size_t e = 0; e < since.size(); ++e)
                if (hit[e] && (found.empty() || found.back() != since[e].batch)) found.push_back(since[e].batch);
        }
        diff.changed.push_back({i, std::string(line.cell->name), declared, line.value, batchesOf[line.group]});
    }
    return true;
}

bool RecordWrittenDocument(const TModuleContext& context, const std::string& text,
                           const std::vector<TSummaryLine>& lines, std::string& error) {
    TDeclaredDocument document;
    document.time = UtcNow();
    document.sha256 = Sha256Hex(text);
    for (const TSummaryLine& line : lines) document.cells.emplace_back(std::string(line.cell->name), line.value);
    return RecordDeclaredDocument(context, document, error);
}

}  // namespace vantrel

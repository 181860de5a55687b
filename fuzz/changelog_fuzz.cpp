// The change log read back from a database whose rows are anything: entries (with a head) and
// register rows built from the input go into a SQLite file, and verify-log, the period's
// entries, the batches and the row decoder read them. Whatever the rows, a verdict never counts
// more entries than were stored, a whole chain counts exactly the taxpayer's entries, and a
// logged row that gives statement literals gives one per register column. Input: lines of
// fields separated by 0x1f; a line starting "R" is a register row, "H" the head, others entries
// (jlxh, sbssq, xh, lb, sj, czy, pc, pcsm, qz, hz, hx). A first byte that is odd makes the
// entries' numbers and hashes a proper chain first.
#include "corlith/corlith_host.h"
#include "host/corlith_api.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_GlobalUnit.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kConnection = "fuzz";
const char* const kTaxpayer = "T1";

bool Exec(const std::string& sql) {
    THostQuery query;
    std::string error;
    return ExecADOQueryMsg(kConnection, sql, &query, error, 0, 0);
}

std::string Q(const std::string& text) { return "'" + vantrel::QuoteInner(text) + "'"; }

std::vector<std::string> Split(std::string_view text, char by) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == by) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

bool Ready() {
    static const bool ready = [] {
        const std::string file = "/tmp/changelog_fuzz." + std::to_string(getpid()) + ".db";
        std::remove(file.c_str());
        std::string error;
        // Nothing needs to outlive the process: no journal on disk, no waiting for the disk.
        return corlith::BindConnection(kConnection, file, error) && corlith::CreateSchema(kConnection, "07", error) &&
               Exec("PRAGMA journal_mode=MEMORY") && Exec("PRAGMA synchronous=OFF");
    }();
    return ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || !Ready()) return 0;
    const bool chained = data[0] & 1;
    for (const char* table : {"sb07_bgjl", "sb07_bgjlmw", "sb07_xxfpb"}) Exec(std::string("delete from ") + table);
    const vantrel::TModuleContext context{kTaxpayer, "202611", "07", kConnection, {}, {}, {}, false, {}, {}};
    std::vector<vantrel::TChangeEntry> entries;
    std::string head;
    for (const std::string& line : Split(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), '\n')) {
        std::vector<std::string> f = Split(line, '\x1f');
        if (line.rfind("R", 0) == 0) {
            f.resize(4);
            Exec("insert into sb07_xxfpb (nsrsbh,sbssq,xh,je,gfnsr) values (" + Q(kTaxpayer) + "," + Q(f[1]) + "," +
                 std::to_string(std::atoi(f[2].c_str())) + "," + std::to_string(std::atof(f[3].c_str())) + ",'')");
            continue;
        }
        if (line.rfind("H", 0) == 0) {
            head = line;
            continue;
        }
        f.resize(11);
        vantrel::TChangeEntry e{kTaxpayer, std::atoll(f[0].c_str()), f[1], std::atoi(f[2].c_str()), f[3], f[4], f[5],
                                std::atoll(f[6].c_str()), f[7], f[8], f[9], f[10]};
        if (chained) {
            e.seq = static_cast<int64_t>(entries.size()) + 1;
            e.hash = vantrel::EntryHash(e, entries.empty() ? std::string() : entries.back().hash);
        }
        entries.push_back(std::move(e));
    }
    long long stored = 0;
    for (const vantrel::TChangeEntry& e : entries)
        stored += Exec("insert into sb07_bgjl (nsrsbh,jlxh,sbssq,xh,lb,sj,czy,pc,pcsm,qz,hz,hx) values (" + Q(e.nsrsbh) +
                       "," + std::to_string(e.seq) + "," + Q(e.sbssq) + "," + std::to_string(e.xh) + "," + Q(e.kind) +
                       "," + Q(e.time) + "," + Q(e.seat) + "," + std::to_string(e.batch) + "," + Q(e.batchNote) + "," +
                       Q(e.before) + "," + Q(e.after) + "," + Q(e.hash) + ")");
    if (chained && !entries.empty())
        Exec("insert into sb07_bgjlmw (nsrsbh,jlxh,hx) values (" + Q(kTaxpayer) + "," +
             std::to_string(entries.size()) + "," + Q(entries.back().hash) + ")");
    else if (!head.empty())
        Exec("insert into sb07_bgjlmw (nsrsbh,jlxh,hx) values (" + Q(kTaxpayer) + "," +
             std::to_string(std::atoll(head.c_str() + 1)) + "," + Q(head) + ")");

    vantrel::TLogVerdict verdict;
    std::string error;
    if (vantrel::VerifyChangeLog(context, verdict, error)) {
        if (verdict.entries > stored || verdict.entries < 0) std::abort();
        if (verdict.whole && verdict.entries != stored) std::abort();
        if (!verdict.whole && verdict.broken.empty()) std::abort();
    }
    vantrel::ReadChangeEntries(
        context, std::nullopt,
        [](const vantrel::TChangeEntry& e) {
            for (const std::string* row : {&e.before, &e.after}) {
                vantrel::DecodeRow(*row);
                const std::vector<std::string> literals = vantrel::LoggedRowLiterals(*row);
                if (!literals.empty() && literals.size() != vantrel::RegisterColumns().size()) std::abort();
            }
            vantrel::ChangedColumnsText(e);
        },
        error);
    std::vector<vantrel::TBatchInfo> batches;
    vantrel::ReadPeriodBatches(context, batches, error);
    for (const vantrel::TBatchInfo& b : batches) {
        std::vector<vantrel::TChangeEntry> members;
        vantrel::ReadBatchEntries(context, b.batch, members, error);
    }
    return 0;
}

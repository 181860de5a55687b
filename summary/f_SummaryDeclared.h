// The figures as declared: what the last summary document written for a period held, and which
// of its cells have changed since, with the batches of the change log that changed them.
#pragma once

#include "invoice/f_ChangeLog.h"
#include "summary/f_QtfpSummary.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

struct TDeclaredDiff {
    bool found = false;  // a document was recorded for the period
    TDeclaredDocument document;
    struct TCell {
        std::size_t line = 0;  // in document order, the repeated line included
        std::string name, declared, now;
        std::vector<int64_t> batches;  // those since the document whose rows the cell sums
    };
    std::vector<TCell> changed;
};

// Compares the current lines of the context's period (ComputeSummaryLines) with the last
// document recorded; with batches, also finds the batches behind each changed cell. False with
// the database's error.
bool DiffDeclared(const TModuleContext& context, const std::vector<TSummaryLine>& lines, TDeclaredDiff& diff,
                  std::string& error, bool batches = true);

// The entries since the document whose row before or after the change is one the group sums.
bool ChangesOfGroupSince(const TModuleContext& context, const TSummaryGroup& group, int64_t seq,
                         std::vector<TChangeEntry>& entries, std::string& error);

// Records a document just written: its SHA-256 and cells, the chain's end and the time.
bool RecordWrittenDocument(const TModuleContext& context, const std::string& text,
                           const std::vector<TSummaryLine>& lines, std::string& error);

}  // namespace vantrel

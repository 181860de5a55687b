// summary-all: every registered taxpayer's summary document of one period, written through
// the module's own CreateQtfp, one call per taxpayer, optionally by several processes side
// by side; an index of what was written.
#pragma once

struct ClientOptions;

int RunSummaryAll(const ClientOptions& options);

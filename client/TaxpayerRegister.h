// The client's taxpayer register verbs: the listing, the import from a file, and the demo
// taxpayers. Serving the company information from the register is the session's.
#pragma once

#include <string>

struct ClientOptions;
struct ClientSession;

// init-db --demo: the session's taxpayer and the demo's other taxpayer.
bool RegisterDemoTaxpayers(const ClientSession& session, std::string& error);

// taxpayers [--format text|csv]: every registered taxpayer with its number of invoices per
// period; taxpayers --import FILE: adds or updates them from a file, all or nothing.
int RunTaxpayers(const ClientOptions& options);

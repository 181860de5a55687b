// The client's side of the taxpayer register: the company information served from it, the
// taxpayers verb (listing and import from a file) and the demo taxpayers.
#pragma once

#include "corlith/corlith_host.h"

#include <string>

struct ClientOptions;
struct ClientSession;

// The register row's particulars as the "jbxx" parameter string the module reads.
std::string TaxpayerParticulars(const corlith::TaxpayerRecord& record);
// The approved kinds ("hdxx") of the row's kinds, named from the catalogue; empty when the row
// names none.
std::string TaxpayerApprovedKinds(const corlith::TaxpayerRecord& record, const TAryDeclareTypeInfo* catalogue);
// The row the session's own particulars give for its taxpayer.
corlith::TaxpayerRecord TaxpayerFromSession(const ClientSession& session);

// After the session is installed: the current taxpayer's particulars (and kinds, when its row
// names some) come from the register and replace the session's. A taxpayer the register does
// not hold is added from the session's particulars when they are its own, so that the session
// file fills the register the first time it names a taxpayer. A database that cannot take the
// row (read-only) is only read.
void ServeTaxpayerFromRegister(ClientSession& session);

// init-db --demo: the session's taxpayer and the demo's other taxpayer.
bool RegisterDemoTaxpayers(const ClientSession& session, std::string& error);

// taxpayers [--format text|csv]: every registered taxpayer with its number of invoices per
// period; taxpayers --import FILE: adds or updates them from a file, all or nothing.
int RunTaxpayers(const ClientOptions& options);

// What a host program (the client, a test) uses to set up the host library before it loads
// the module. The module never includes this header.
#pragma once

#include "../host/corlith_api.h"

#include <string>
#include <vector>

namespace corlith {

struct CORLITH_API HostSetup {
    THostHandle appHandle = 0;
    std::string appPath;        // GBK, ends with "/"
    std::string subAppPath;     // GBK, ends with "/"
    std::string subAppCode;     // GBK, e.g. "07"
    std::string funcCode;       // GBK
};

CORLITH_API void Configure(const HostSetup& setup);
CORLITH_API void SetMainFrameHandle(THostHandle handle);
CORLITH_API void SetParentForms(QWidget* parentForm, QWidget* mainFrameParentForm);

// Binds a connection name to a database: a PostgreSQL connection URI ("postgresql://...",
// as libpq reads it) or else a SQLite database file, created when missing. Returns false
// with a message in Chinese when it cannot be opened.
CORLITH_API bool BindConnection(const std::string& connection, const std::string& target,
                                std::string& error);
// Whether a text names a PostgreSQL database rather than a SQLite file.
CORLITH_API bool IsServerDatabase(const std::string& target);
CORLITH_API void CloseConnections();
// Called each time a statement on a SQLite file finds another writer's lock and starts waiting
// for it (at most five seconds); none by default.
CORLITH_API void SetBusyNotice(std::function<void()> notice);
// Creates the schema of a sub-application ("07" gives sb07_xxfpb ...) and its invoice types
// when they are missing. Returns false with the database's message on failure.
CORLITH_API bool CreateSchema(const std::string& connection, const std::string& subAppCode,
                              std::string& error);
// Whether every table of the sub-application exists.
CORLITH_API bool SchemaPresent(const std::string& connection, const std::string& subAppCode, bool& present,
                               std::string& error);

// One taxpayer of the register (GBK texts). The particulars are those of the company
// information's "jbxx" parameter string, under the same keys.
struct CORLITH_API TaxpayerRecord {
    std::string code;             // 纳税人识别号
    std::string name, industry, regkind, bank, account, frdb, regaddress, businessaddress, tel;
    std::string kinds;            // the declaration kinds that apply: codes joined by "|", e.g. "01|02"
    int periodKind = 1;           // the sub-application's period kind, as the catalogue's PeriodKind
};
// One taxpayer by id: found is false when the register does not hold it.
CORLITH_API bool ReadTaxpayer(const std::string& connection, const std::string& code, TaxpayerRecord& record,
                              bool& found, std::string& error);
// Every taxpayer, by id.
CORLITH_API bool ReadTaxpayers(const std::string& connection, std::vector<TaxpayerRecord>& records,
                               std::string& error);
// Adds the records, and updates those the register holds already, in one transaction: all or
// none of them.
CORLITH_API bool SaveTaxpayers(const std::string& connection, const std::vector<TaxpayerRecord>& records,
                               std::string& error);
// User settings read by GetUserConfigParam.
CORLITH_API void SetUserConfigParam(const std::string& section, const std::string& key,
                                     const std::string& value);
CORLITH_API void ClearUserConfig();

// Where message boxes appear. Without one (and without a QApplication) texts go to stderr
// and confirmations are declined.
CORLITH_API void SetDialogParent(QWidget* parent);

// The host library's text codec, for programs that meet UTF-8 (command lines, files).
// Invalid input is replaced, never rejected.
CORLITH_API std::string GbkToUtf8(const std::string& gbk);
CORLITH_API std::string Utf8ToGbk(const std::string& utf8);

// Resets every piece of host state to the empty defaults (used between tests).
CORLITH_API void ResetHost();

}  // namespace corlith

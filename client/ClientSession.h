// The session a host gives the module: the sub-application, its database and the values the
// module reads (taxpayer, period, company particulars, approved kinds, catalogue of forms).
// Read from a JSON session file or the built-in demo, then handed to the host library.
#pragma once

#include "corlith/corlith_host.h"
#include "host/corlith_api.h"
#include "host/f_ModuleContext.h"

#include <QString>

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ClientOptions;

struct UserSetting {
    std::string section;  // GBK
    std::string key;
    std::string value;
};

// Text members are GBK, as the host library takes them; paths are file-system paths.
struct ClientSession {
    std::string subAppCode = "07";
    std::string funcCode;            // empty: the code + "037-02-18-01"
    QString database;                // a SQLite file (empty: vantrel.db in the working folder) or a
                                     // postgresql:// connection URI
    QString subAppPath;              // empty: "sub" + code beside the database file (the working
                                     // folder for a server database)
    std::string company;             // curcompany
    std::string period;              // curKJNY
    bool useSbsh = false;            // global_usesbsh
    std::string hdxx;
    std::string jbxx;                // a parameter string
    bool particularsUnknown = false; // --company named another taxpayer, whose particulars are not known
    std::shared_ptr<TAryDeclareTypeInfo> catalogue = std::make_shared<TAryDeclareTypeInfo>();
    std::vector<UserSetting> userConfig;

    std::string connectionName() const { return "WSSBMainCon_" + subAppCode; }
    // What the core works on: this taxpayer in period (empty: the session's own).
    vantrel::TModuleContext context(const std::string& period = {}) const;
    std::string effectiveFuncCode() const;
    bool onServer() const;           // the database is a PostgreSQL server
    QString databaseFile() const;    // absolute, or the URI as given
    QString databaseLabel() const;   // for messages: the file, or the URI without its password
    QString subAppFolder() const;    // absolute, ends with "/"
};

// Relative paths in a session file are taken from the file's own folder.
bool LoadSessionFile(const QString& file, ClientSession& session, QString& error);
bool ParseSessionJson(const QByteArray& json, const QString& baseDir, ClientSession& session, QString& error);
// The session the client runs without --session (the shipped demo-session.json).
bool DemoSession(ClientSession& session, QString& error);

// --db, --company and --period over the session, then the checks every verb relies on.
bool ApplyOverrides(const ClientOptions& options, ClientSession& session, QString& error);
bool ValidateSession(const ClientSession& session, QString& error);
// The module puts the taxpayer id and period into statements between quotes as they are, so
// only these may reach it: an id of 1 to 30 ASCII letters or digits, a period yyyymm (1900 on).
bool ValidTaxpayerId(const std::string& id);
bool ValidPeriod(const std::string& period);

// Points the host library at the session: context, connection, sub-application values, user
// settings. A database that does not exist or lacks the tables is refused unless
// createDatabase (init-db), which creates the file and the schema; an existing database with
// the tables gains what indexes it lacks. The taxpayer's particulars then come from the
// taxpayer register when it holds them (session.jbxx follows).
bool InstallSession(ClientSession& session, THostHandle appHandle, QString& error,
                    bool createDatabase = false);

// Creates the sub-application folder and a demo fp_config.ini there when it has none.
bool PrepareSubAppFolder(const ClientSession& session, QString& error);

// ---- the taxpayer register as the session's source of particulars ------------------------

// The register's particulars under their keys in "jbxx", in the order of a taxpayer file's
// columns.
const std::vector<std::pair<const char*, std::string corlith::TaxpayerRecord::*>>& TaxpayerParticularKeys();
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

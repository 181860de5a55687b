#include "test_database.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace testhost {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A program registered for the server but started without one is skipped as a whole
// (ctest knows 77 as "skipped").
[[maybe_unused]] const bool kServerChecked = [] {
    if (Env("VANTREL_TEST_ENGINE") == "postgresql" && Env("VANTREL_TEST_PG").empty()) {
        std::fprintf(stderr, "VANTREL_TEST_PG is not set: no PostgreSQL server to test against\n");
        std::_Exit(77);
    }
    return true;
}();

void RunOnServer(const std::string& sql) {
    PGconn* conn = PQconnectdb(ServerUri().c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error("test server: " + message);
    }
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    PGresult* res = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK || PQresultStatus(res) == PGRES_TUPLES_OK;
    const std::string message = ok ? std::string() : PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    if (!ok) throw std::runtime_error("test server: " + sql + ": " + message);
}

}  // namespace

bool OnServer() { return Env("VANTREL_TEST_ENGINE") == "postgresql"; }

std::string ServerUri() { return Env("VANTREL_TEST_PG"); }

std::string SchemaUri(const std::string& schema) {
    const std::string uri = ServerUri();
    return uri + (uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
}

TestDatabase::TestDatabase(const std::filesystem::path& file) {
    if (!OnServer()) {
        target_ = file.string();
        return;
    }
    static std::atomic<int> counter{0};
    schema_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    // The tests read lists back with SQLite's group_concat; the schema offers the same.
    const std::string& x = schema_;
    RunOnServer("DROP SCHEMA IF EXISTS " + x + " CASCADE; CREATE SCHEMA " + x + ";"
                "CREATE FUNCTION " + x + ".concat_step(acc text, v anynonarray, sep text) RETURNS text "
                "LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN v IS NULL THEN acc WHEN acc IS NULL THEN v::text "
                "ELSE acc || sep || v::text END $$;"
                "CREATE FUNCTION " + x + ".concat_step(acc text, v anynonarray) RETURNS text "
                "LANGUAGE sql IMMUTABLE AS $$ SELECT " + x + ".concat_step(acc, v, ',') $$;"
                "CREATE AGGREGATE " + x + ".group_concat(anynonarray, text) (SFUNC = " + x + ".concat_step, STYPE = text);"
                "CREATE AGGREGATE " + x + ".group_concat(anynonarray) (SFUNC = " + x + ".concat_step, STYPE = text)");
    target_ = SchemaUri(schema_);
}

TestDatabase::~TestDatabase() {
    if (schema_.empty()) return;
    try {
        RunOnServer("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

}  // namespace testhost

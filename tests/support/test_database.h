// The database a test runs on. Test programs run on SQLite files; the same programs run a
// second time on a PostgreSQL server when VANTREL_TEST_ENGINE=postgresql, the server's URI
// coming from VANTREL_TEST_PG (./test starts a throw-away cluster and sets both).
#pragma once

#include <filesystem>
#include <string>

namespace testhost {

bool OnServer();
// The server's URI (empty when no server is configured).
std::string ServerUri();
// The URI with its search_path set to a schema, so that unqualified tables land there.
std::string SchemaUri(const std::string& schema);

// A database of the test's own: on SQLite the file, on the server a fresh schema that is
// dropped again at the end.
class TestDatabase {
public:
    explicit TestDatabase(const std::filesystem::path& file);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // What --db and BindConnection take: the file or the URI.
    const std::string& target() const { return target_; }

private:
    std::string schema_;
    std::string target_;
};

}  // namespace testhost

// For the few tests about SQLite files themselves.
#define VANTREL_SKIP_ON_SERVER(reason) \
    if (::testhost::OnServer()) GTEST_SKIP() << (reason)

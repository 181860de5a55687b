// SHA-256 through OpenSSL's libcrypto, several times faster than Qt's own on the short texts of
// the change log, every entry of which is hashed when it is written and again when verified.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace vantrel {

// A digest taken in pieces; Hex() ends it. Reused on one thread, it allocates nothing.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;
    void Add(std::string_view data);
    // The lower-case hex digest into out (64 characters); the digest starts over.
    void Hex(char (&out)[64]);
    std::string Hex();

private:
    struct Impl;
    Impl* d_;
};

// The lower-case hex SHA-256 of data.
std::string Sha256Hex(std::string_view data);
// The lower-case hex SHA-256 of the file's bytes; false when it cannot be read.
bool FileSha256Hex(const QString& path, std::string& hex);

}  // namespace vantrel

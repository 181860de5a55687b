#include "invoice/f_Sha256.h"

#include <QFile>

#include <openssl/evp.h>

#include <new>

namespace vantrel {

namespace {

// Fetched once: an implicit fetch on every digest would look the algorithm up each time.
const EVP_MD* Algorithm() {
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm;
}

}  // namespace

struct TSha256::Impl {
    EVP_MD_CTX* context = nullptr;
    bool begun = false;
};

TSha256::TSha256() : d_(new Impl) {
    d_->context = EVP_MD_CTX_new();
    if (!d_->context || !Algorithm()) {
        EVP_MD_CTX_free(d_->context);
        delete d_;
        throw std::bad_alloc();
    }
}

TSha256::~TSha256() {
    EVP_MD_CTX_free(d_->context);
    delete d_;
}

void TSha256::Add(std::string_view data) {
    if (!d_->begun) d_->begun = EVP_DigestInit_ex(d_->context, Algorithm(), nullptr) == 1;
    if (!d_->begun || EVP_DigestUpdate(d_->context, data.data(), data.size()) != 1) {
        d_->begun = false;
        throw std::bad_alloc();
    }
}

void TSha256::Hex(char (&out)[64]) {
    Add(std::string_view());
    unsigned char digest[32];
    unsigned int size = 0;
    d_->begun = false;
    if (EVP_DigestFinal_ex(d_->context, digest, &size) != 1 || size != sizeof digest) throw std::bad_alloc();
    static constexpr char kDigits[] = "0123456789abcdef";
    for (unsigned i = 0; i < sizeof digest; ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 15];
    }
}

std::string TSha256::Hex() {
    char out[64];
    Hex(out);
    return std::string(out, sizeof out);
}

std::string Sha256Hex(std::string_view data) {
    thread_local TSha256 sha;
    sha.Add(data);
    return sha.Hex();
}

bool FileSha256Hex(const QString& path, std::string& hex) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    TSha256 sha;
    char block[1 << 16];
    for (qint64 got; (got = file.read(block, sizeof block)) != 0;) {
        if (got < 0) return false;
        sha.Add(std::string_view(block, static_cast<std::size_t>(got)));
    }
    hex = sha.Hex();
    return true;
}

}  // namespace vantrel

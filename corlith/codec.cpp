#include "codec.h"

#include "corlith_host.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace corlith::codec {
namespace {

// iconv descriptors carry shift state and are not thread-safe: one pair per thread.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts in, appending to out; on an invalid or unconvertible sequence appends
    // `replacement` and skips `skip(in)` bytes.
    template <typename Skip>
    void run(std::string_view in, std::string& out, std::string_view replacement, Skip skip) {
        if (!valid()) {
            out.append(in);
            return;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, sizeof buffer - dstLeft);
            if (rc != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated at the end): replace and step over.
            out.append(replacement);
            const size_t n = std::min(srcLeft, skip(std::string_view(src, srcLeft)));
            src += n;
            srcLeft -= n;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
    }

private:
    iconv_t cd_;
};

size_t SkipGbk(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead >= 0x81 && lead <= 0xFE && s.size() >= 2) {
        const auto trail = static_cast<unsigned char>(s[1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
    }
    return 1;
}

size_t SkipUtf8(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    size_t len = 1;
    if (lead >= 0xF0 && lead <= 0xF7) len = 4;
    else if (lead >= 0xE0) len = lead <= 0xEF ? 3 : 1;
    else if (lead >= 0xC2) len = 2;
    if (len > s.size()) return 1;
    for (size_t i = 1; i < len; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    return len;
}

}  // namespace

void GbkToUtf8(std::string_view gbk, std::string& out) {
    if (IsAscii(gbk)) {
        out.append(gbk);
        return;
    }
    // GB18030 decodes every GBK sequence the same way and knows a few more.
    thread_local Converter decoder("UTF-8", "GB18030");
    decoder.run(gbk, out, "\xEF\xBF\xBD", SkipGbk);
}

void Utf8ToGbk(std::string_view utf8, std::string& out) {
    if (IsAscii(utf8)) {
        out.append(utf8);
        return;
    }
    thread_local Converter encoder("GBK", "UTF-8");
    encoder.run(utf8, out, "?", SkipUtf8);
}

}  // namespace corlith::codec

namespace corlith {

std::string GbkToUtf8(const std::string& gbk) {
    std::string out;
    try {
        codec::GbkToUtf8(gbk, out);
    } catch (...) {
    }
    return out;
}

std::string Utf8ToGbk(const std::string& utf8) {
    std::string out;
    try {
        codec::Utf8ToGbk(utf8, out);
    } catch (...) {
    }
    return out;
}

}  // namespace corlith

QString GbkToQString(const std::string& gbk) {
    try {
        std::string utf8;
        corlith::codec::GbkToUtf8(gbk, utf8);
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    } catch (...) {
        return QString();
    }
}

std::string QStringToGbk(const QString& text) {
    try {
        const QByteArray utf8 = text.toUtf8();
        std::string out;
        corlith::codec::Utf8ToGbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), out);
        return out;
    } catch (...) {
        return std::string();
    }
}

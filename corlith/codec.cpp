#include "codec.h"

#include "corlith_host.h"

#include <QString>

#include <algorithm>
#include <array>
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

    // Converts in, appending to out; at an invalid or unconvertible sequence calls
    // fallback(rest of the input, out), which appends what stands for it and returns how
    // many bytes it took (at least one).
    template <typename Fallback>
    void run(std::string_view in, std::string& out, Fallback fallback) {
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
            // EILSEQ or EINVAL (truncated at the end).
            const size_t n = std::min(srcLeft, std::max<size_t>(1, fallback(std::string_view(src, srcLeft), out)));
            src += n;
            srcLeft -= n;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
    }

    // Converts all of a short text; false (out untouched) when any of it does not convert.
    bool whole(std::string_view in, std::string& out) {
        if (!valid()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[16];
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return false;
        out.append(buffer, sizeof buffer - dstLeft);
        return true;
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

// The host's GBK is the Windows code page: the system's GBK converter (which reads 0x80 as
// the euro sign) does the work. Its table leaves out the user-defined areas and a few codes
// that later standards assigned; GB18030 gives every two-byte code a character, so those
// are taken from it both ways and every two-byte code comes back as it went in.
void GbkToUtf8(std::string_view gbk, std::string& out) {
    thread_local Converter decoder("UTF-8", "GBK");
    thread_local Converter wider("UTF-8", "GB18030");
    const auto fallback = [](std::string_view rest, std::string& to) -> size_t {
        // A four-byte GB18030 sequence is no GBK, but it is what a GB18030 literal makes of a
        // character GBK lacks ("¥"); read it as that character rather than as noise.
        if (rest.size() >= 4 && rest[1] >= '0' && rest[1] <= '9' && wider.whole(rest.substr(0, 4), to)) return 4;
        const size_t n = SkipGbk(rest);
        if (n == 2 && wider.whole(rest.substr(0, 2), to)) return 2;
        to.append("\xEF\xBF\xBD");
        return n;
    };
    // A statement is mostly ASCII around a few Chinese words: ASCII is copied as it stands and
    // only the stretches between go through the converter. No character (nor a four-byte
    // sequence) holds two ASCII bytes in a row, so a stretch ends before such a pair, and the
    // converter keeps no state from one character to the next.
    const auto ascii = [&gbk](size_t i) { return static_cast<unsigned char>(gbk[i]) < 0x80; };
    const size_t n = gbk.size();
    for (size_t i = 0; i < n;) {
        size_t from = i;
        while (i < n && ascii(i)) ++i;
        out.append(gbk.data() + from, i - from);
        if (i == n) break;
        from = i++;
        while (i < n && !(ascii(i) && ascii(i - 1))) ++i;
        decoder.run(gbk.substr(from, i - from), out, fallback);
    }
}

void Utf8ToGbk(std::string_view utf8, std::string& out) {
    if (IsAscii(utf8)) {
        out.append(utf8);
        return;
    }
    // Rows repeat the same few short names (an invoice type's on every row of a list): those
    // are remembered rather than run through the converter each time.
    struct Remembered {
        std::string utf8, gbk;
    };
    constexpr size_t kRemembered = 8, kShort = 64;
    thread_local std::array<Remembered, kRemembered> remembered;
    thread_local size_t nextSlot = 0;
    const bool isShort = utf8.size() <= kShort;
    if (isShort)
        for (const Remembered& r : remembered)
            if (r.utf8 == utf8) {
                out.append(r.gbk);
                return;
            }
    const size_t start = out.size();
    thread_local Converter encoder("GBK", "UTF-8");
    thread_local Converter wider("GB18030", "UTF-8");
    encoder.run(utf8, out, [](std::string_view rest, std::string& to) -> size_t {
        const size_t n = SkipUtf8(rest);
        // Only GB18030's two-byte codes are GBK's; its four-byte codes are not.
        std::string code;
        if (n > 1 && wider.whole(rest.substr(0, n), code) && code.size() == 2)
            to.append(code);
        else
            to.push_back('?');
        return n;
    });
    if (isShort) {
        Remembered& slot = remembered[nextSlot++ % kRemembered];
        slot.utf8.assign(utf8);
        slot.gbk.assign(out, start, std::string::npos);
    }
}

}  // namespace corlith::codec

namespace corlith {
namespace {

// The exported conversions let no exception out.
std::string Converted(void (*convert)(std::string_view, std::string&), const std::string& text) {
    std::string out;
    try {
        convert(text, out);
    } catch (...) {
    }
    return out;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) { return Converted(codec::GbkToUtf8, gbk); }

std::string Utf8ToGbk(const std::string& utf8) { return Converted(codec::Utf8ToGbk, utf8); }

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

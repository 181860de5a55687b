// The host library's GBK codec and its LIKE matcher.
#include "corlith/codec.h"
#include "corlith/like_match.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool like = in.ConsumeBool();
    const char32_t escape = in.ConsumeBool() ? in.ConsumeIntegralInRange<char32_t>(0, 0x10FFFF) : 0;
    const std::string pattern = in.ConsumeRandomLengthString(64);
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    // Once through the codec, text is stable: what GBK makes of it decodes and encodes back
    // to the same bytes.
    std::string utf8, gbk;
    corlith::codec::GbkToUtf8(bytes, utf8);
    corlith::codec::Utf8ToGbk(utf8, gbk);
    std::string again, gbkAgain;
    corlith::codec::GbkToUtf8(gbk, again);
    corlith::codec::Utf8ToGbk(again, gbkAgain);
    if (gbkAgain != gbk) std::abort();
    std::string fromUtf8;
    corlith::codec::Utf8ToGbk(bytes, fromUtf8);

    // The matcher's shortcuts give the answer of decoding every character.
    if (like && corlith::like::Match(pattern, utf8, escape) != corlith::like::MatchByCodePoints(pattern, utf8, escape))
        std::abort();
    return 0;
}

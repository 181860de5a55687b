// Parameter strings: reading and setting keys in any text the host may pass.
#include "param/f_ParamString.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(64);
    const std::string params = in.ConsumeRemainingBytesAsString();

    GetParamValue(params, key);
    std::vector<std::string> pieces;
    SplitText(params, ";", pieces);
    SplitText(params, key, pieces);
    const std::string updated = SetParamValue(params, key, value);

    // A key that can be written reads back what was set, when the value survives escaping.
    const bool plainKey = !key.empty() && key.find_first_of("=;") == std::string::npos;
    const bool plainValue = !value.empty() && value.find("&eq%") == std::string::npos &&
                            value.find("&lim%") == std::string::npos;
    if (plainKey && plainValue && GetParamValue(updated, key) != value) std::abort();
    if (DecodeParamValue(EncodeParamValue(value)) != value && plainValue) std::abort();
    return 0;
}

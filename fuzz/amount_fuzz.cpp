// The detail window's key filters and the amount normaliser, on any text and caret.
#include "ui/detail/f_AmountInput.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int caret = in.ConsumeIntegral<int>();
    const int selLength = in.ConsumeIntegral<int>();
    const int key = in.ConsumeIntegral<int>();
    const int intLength = in.ConsumeIntegralInRange(-2, 40);
    const int decLength = in.ConsumeIntegralInRange(-2, 12);
    const double value = in.ConsumeFloatingPoint<double>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    amountinput::AmountEditKeyPress(text, caret, selLength, key, intLength, decLength);
    amountinput::AmountEditKeyDown(text, caret, selLength, key, intLength);
    amountinput::CountEditKeyPress(key);
    const std::string normal = amountinput::NormaliseAmountText(text, decLength);
    double parsed = 0;
    // What the normaliser gives is a number the edit accepts.
    if (!normal.empty() && !amountinput::ParseDecimal(normal, parsed)) std::abort();
    int whole = 0;
    amountinput::ParseInt32(text, whole);
    amountinput::FormatHalfAway(value, decLength);
    return 0;
}

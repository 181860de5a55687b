#include "f_AmountInput.h"

#include "ui/common/controls/PellowEdit.h"

#include <QtCore/qnamespace.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace amountinput {

namespace {

struct AmountShape {
    int n = 0;      // text length
    int p = 0;      // 1-based position of ".", 0 when none
    int i = 0;      // characters before the point
    int d = 0;      // characters after it
    int minus = 0;  // 1-based position of "-", 0 when none
};

AmountShape ShapeOf(const std::string& text) {
    AmountShape s;
    s.n = static_cast<int>(text.size());
    const auto dot = text.find('.');
    s.p = dot == std::string::npos ? 0 : static_cast<int>(dot) + 1;
    s.i = s.p > 0 ? s.p - 1 : s.n;
    s.d = s.p > 0 ? s.n - s.p : 0;
    const auto minus = text.find('-');
    s.minus = minus == std::string::npos ? 0 : static_cast<int>(minus) + 1;
    return s;
}

// A caret and selection inside the text: an edit never reports others, and arithmetic on
// others could overflow.
void ClampToText(const AmountShape& s, int& caret, int& selLength) {
    caret = std::clamp(caret, 0, s.n);
    selLength = std::clamp(selLength, 0, s.n - caret);
}

bool SelectionHoldsPoint(const AmountShape& s, int caret, int selLength) {
    return s.p > 0 && caret < s.p && s.p <= caret + selLength;
}

bool IsDigit(int key) { return key >= '0' && key <= '9'; }

}  // namespace

bool AmountEditKeyPress(const std::string& text, int caret, int selLength, int key, int intLength,
                        int decLength) {
    if (key == kEnter) return true;
    if (!IsDigit(key) && key != '-' && key != '.' && key != kBackspace) return false;

    const AmountShape s = ShapeOf(text);
    ClampToText(s, caret, selLength);
    const bool wholeSelected = selLength == s.n;

    if (key == '-') return wholeSelected || (caret == 0 && s.minus == 0);
    if (key == '.') return wholeSelected || (s.p == 0 && caret >= s.minus);

    if (key == kBackspace) {
        if (selLength == 0) return !(s.p > 0 && caret == s.p) || s.n - 1 <= intLength;
        return !SelectionHoldsPoint(s, caret, selLength) || s.n - selLength <= intLength;
    }

    // A digit.
    if (selLength == 0) {
        if (s.p > 0 && caret >= s.p) return s.d < decLength;
        return s.i < intLength;
    }
    if (SelectionHoldsPoint(s, caret, selLength)) return s.n - selLength < intLength;
    if (s.p == 0) return s.n - selLength < intLength;
    if (caret + selLength < s.p) return s.p - selLength <= intLength;
    return s.n - s.p - selLength < decLength;
}

bool AmountEditKeyDown(const std::string& text, int caret, int selLength, int key, int intLength) {
    if (key != Qt::Key_Delete) return true;
    const AmountShape s = ShapeOf(text);
    ClampToText(s, caret, selLength);
    if (selLength == 0) return !(caret + 1 == s.p && s.n - 1 > intLength);
    return !(SelectionHoldsPoint(s, caret, selLength) && s.n - selLength > intLength);
}

bool CountEditKeyPress(int key) { return IsDigit(key) || key == kBackspace || key == kEnter; }

std::string FormatHalfAway(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (!std::isfinite(value)) value = 0;

    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);  // [-]d.ddddddddddddddde[+-]xx

    const bool negative = !sci.empty() && sci[0] == '-';
    if (negative) sci.erase(0, 1);
    const auto e = sci.find('e');
    std::string digits;
    for (std::size_t k = 0; k < e; ++k)
        if (sci[k] != '.') digits += sci[k];
    const int exponent = std::atoi(sci.c_str() + e + 1);

    // digits[0..pointPos) is the integer part.
    int pointPos = exponent + 1;
    if (pointPos < 1) {
        digits.insert(0, static_cast<std::size_t>(1 - pointPos), '0');
        pointPos = 1;
    }
    const std::size_t keep = static_cast<std::size_t>(pointPos + decimals);
    if (digits.size() < keep + 1) digits.append(keep + 1 - digits.size(), '0');
    const bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        int k = static_cast<int>(keep) - 1;
        while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9') digits[static_cast<std::size_t>(k--)] = '0';
        if (k >= 0) {
            ++digits[static_cast<std::size_t>(k)];
        } else {
            digits.insert(digits.begin(), '1');
            ++pointPos;
        }
    }

    std::string intPart = digits.substr(0, static_cast<std::size_t>(pointPos));
    const std::string fracPart = digits.substr(static_cast<std::size_t>(pointPos));
    const auto nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? std::string("0") : intPart.substr(nz);

    std::string out;
    if (negative && digits.find_first_not_of('0') != std::string::npos) out += '-';
    out += intPart;
    if (decimals > 0) out += '.' + fracPart;
    return out;
}

std::string NormaliseAmountText(const std::string& text, int decimals) {
    if (text.empty() || text == "-") return FormatHalfAway(0, decimals);
    double value = 0;
    if (!vantrel::ParseDecimal(text, value)) return "0.0";
    return FormatHalfAway(value, decimals);
}

bool AmountEditKeyPress(const TPellowEdit& field, char key, int intLength, int decLength) {
    return AmountEditKeyPress(field.Text(), field.SelStart(), field.SelLength(), static_cast<unsigned char>(key),
                              intLength, decLength);
}

bool AmountEditKeyDown(const TPellowEdit& field, int key, int intLength) {
    return AmountEditKeyDown(field.Text(), field.SelStart(), field.SelLength(), key, intLength);
}

void NormaliseAmountEdit(TPellowEdit& field) {
    const std::string text = field.Text();
    const std::string normalised = NormaliseAmountText(text, field.DecimalLength());
    if (normalised != text) field.SetText(normalised);
}

}  // namespace amountinput

#include "invoice/f_InvoiceWarnings.h"

#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"

#include <array>
#include <cstddef>

namespace vantrel {

namespace {

// Digits and capitals without I, O, Z, S and V, which read too much like 1, 0, 2, 5 and U.
constexpr std::string_view kAlphabet = "0123456789ABCDEFGHJKLMNPQRTUWXY";
constexpr std::array<int, 17> kWeights = {1, 3, 9, 27, 19, 26, 16, 17, 20, 29, 25, 13, 8, 24, 10, 30, 28};
constexpr std::size_t kCodeLength = 18;

int CodeValue(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// The issue date as the first ten characters, whatever time part a database appends.
std::string DatePart(const std::string& kprq) { return TrimBlanks(kprq).substr(0, 10); }

}  // namespace

char UnifiedCodeCheckChar(std::string_view first17) {
    if (first17.size() < kWeights.size()) return '\0';
    int sum = 0;
    for (std::size_t i = 0; i < kWeights.size(); ++i) {
        const int value = CodeValue(first17[i]);
        if (value < 0) return '\0';
        sum += value * kWeights[i];
    }
    const int modulus = static_cast<int>(kAlphabet.size());
    return kAlphabet[static_cast<std::size_t>((modulus - sum % modulus) % modulus)];
}

bool HasBadCheckDigit(std::string_view buyerId) {
    if (buyerId.size() != kCodeLength) return false;
    const char expected = UnifiedCodeCheckChar(buyerId.substr(0, kCodeLength - 1));
    const int given = CodeValue(buyerId[kCodeLength - 1]);
    return expected == '\0' || given < 0 || kAlphabet[static_cast<std::size_t>(given)] != expected;
}

bool SameInvoice(const Txxqtfpxx& a, const Txxqtfpxx& b) {
    return TrimBlanks(a.fplx) == TrimBlanks(b.fplx) && DatePart(a.kprq) == DatePart(b.kprq) &&
           AmountText(a.je) == AmountText(b.je) && AmountText(a.se) == AmountText(b.se) &&
           TrimBlanks(a.gfnsr) == TrimBlanks(b.gfnsr);
}

}  // namespace vantrel

// Mistakes worth a warning before an invoice is stored. Neither refuses anything: the
// windows (and imports) ask the user and store the invoice when told to.
#pragma once

#include <string_view>

struct Txxqtfpxx;

namespace vantrel {

// True only for an 18-character id that is not a valid unified social credit code: a check
// digit that does not match the first 17 characters, or a character outside the code's
// alphabet. Letters count in either case. Ids of any other length are never flagged.
bool HasBadCheckDigit(std::string_view buyerId);

// The check character that the first 17 characters of a unified social credit code call for;
// '\0' when one of them lies outside the code's alphabet.
char UnifiedCodeCheckChar(std::string_view first17);

// Same type, issue date, amount, tax and buyer: most likely one invoice entered twice.
// Amounts and tax are compared as they show (two decimals), texts without surrounding
// blanks, dates by their first ten characters.
bool SameInvoice(const Txxqtfpxx& a, const Txxqtfpxx& b);

}  // namespace vantrel

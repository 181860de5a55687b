// Shared rules: table names, the module's connection, LIKE escaping, amounts, files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Txxqtfpxx;

// "sb_xxfpb" -> "sb" + code + "_xxfpb", code the sub-application's (the context's).
std::string QualifyTableName(const std::string& name, const std::string& code);
// "WSSBMainCon_" + the sub-application code.
std::string MainConnectionName(const std::string& subAppCode);
// User text made safe between "'%" and "%'" of a LIKE condition.
std::string EscapeLikeText(const std::string& text);
void FreeInvoiceList(std::vector<Txxqtfpxx*>& list);
// The whole file as bytes; empty on any error.
void ReadFileText(const std::string& path, std::string& text);

namespace vantrel {

// Without leading and trailing blanks (every byte up to the space counts as blank).
std::string TrimBlanks(const std::string& text);
// The same part of text, in place.
std::string_view TrimmedBlanks(std::string_view text);
// The sub-application code + "037-02-18-01": names the module's form in the catalogue.
std::string ModuleFuncCode(const std::string& subAppCode);
// The longest head of text within maxBytes that ends on a whole GBK character.
std::string GbkHead(const std::string& text, std::size_t maxBytes);
// Text of at most maxBytes for a message: when longer, its head, "…" and its tail, cut on
// whole GBK characters.
std::string GbkAbbreviate(const std::string& text, std::size_t maxBytes);
// A value for use between the single quotes of a statement: every "'" inside doubled.
std::string QuoteInner(const std::string& value);
// The same, appended to out.
void AppendQuoteInner(std::string& out, std::string_view value);
// The value as a statement's string literal, between single quotes.
std::string QuotedLiteral(std::string_view value);
// The host's error text, or "未知错误！" when the host gave none.
std::string ErrorOrUnknown(const std::string& error);

// Money in fixed point: ten-thousandths of a yuan, value*10000 rounded half to even.
int64_t MoneyToFixed(double value);
// A fixed-point value with exactly two decimals ("0.00"), halves away from zero.
std::string FixedToText(int64_t fixed);
// The same text written at out, which has room for kFixedTextSize bytes; returns its end.
inline constexpr std::size_t kFixedTextSize = 32;
char* FixedToChars(int64_t fixed, char* out);
// The display form of a money value: MoneyToFixed then FixedToText.
std::string AmountText(double value);
// Shortest general decimal with at most 15 significant digits ("1234.5", "0").
std::string DecimalText(double value);

}  // namespace vantrel

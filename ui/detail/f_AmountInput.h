// Key filters and formatting of the detail window's count, amount and tax edits.
// The rules work on the edit's text, caret and selection alone, so the window only has to
// translate its key events into these calls.
#pragma once

#include "invoice/f_InvoiceChecks.h"

#include <string>

class TPellowEdit;

namespace amountinput {

inline constexpr int kBackspace = 8;
inline constexpr int kEnter = 13;

// Whether a typed character may reach an amount edit holding text, with the caret (0-based)
// at caret and selLength characters selected from there. At most intLength characters
// before the point (a leading "-" counts) and decLength after it.
bool AmountEditKeyPress(const std::string& text, int caret, int selLength, int key, int intLength,
                      int decLength);
// Whether a key that the edit handles itself may act. Only Delete (Qt::Key_Delete) is looked
// at: it is refused when removing the point would leave more than intLength characters
// before it.
bool AmountEditKeyDown(const std::string& text, int caret, int selLength, int key, int intLength);
// Count edits take digits, Backspace and Enter.
bool CountEditKeyPress(int key);

// The text an amount edit shows after it loses focus: empty or "-" becomes zero, any other
// number is rewritten with decimals digits after the point (halves away from zero), and a
// text that is no number becomes "0.0".
std::string NormaliseAmountText(const std::string& text, int decimals);

// The number readers are shared with the entry checks.
using ::vantrel::ParseDecimal;
using ::vantrel::ParseInt32;
// value with exactly decimals digits after the point, halves away from zero, computed on
// the value's 15-significant-digit decimal form so binary noise cannot tip a half.
std::string FormatHalfAway(double value, int decimals);

// The same rules applied to an edit's current text, caret and selection.
bool AmountEditKeyPress(const TPellowEdit& field, char key, int intLength, int decLength);
bool AmountEditKeyDown(const TPellowEdit& field, int key, int intLength);
// Rewrites the edit's text with its DecimalLength decimals (see NormaliseAmountText); an
// unchanged text is left alone so that no change event fires.
void NormaliseAmountEdit(TPellowEdit& field);

}  // namespace amountinput

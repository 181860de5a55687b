// Entering values into the module's controls as a user does, for the window tests.
#pragma once

#include <string>

class TPellowComboBox;
class TPellowEdit;

namespace testhost {

// Picks an item with the arrow keys, so that the change events fire; fails the test when the
// combo box has no such item.
void Choose(TPellowComboBox* combo, const std::string& text);
// Replaces the edit's text by typing the keys; an empty text is typed as a backspace.
void TypeInto(TPellowEdit* edit, const char* keys);
// The number of the last recorded message, 0 when none.
int LastMessageNumber();

}  // namespace testhost

// Hosting a module window in the host's frame, or free-standing on top of it.
#pragma once

#include <string>

class QWidget;

// With a parent: the window becomes a frameless child that fills the parent, maximised and
// shown, and the main frame gets 1282 "<ModalFormMsg>|<handle>|<help>|<extra>" when the
// parameter string has a ModalFormMsg. Without a parent: shown centred on the main frame (or
// the screen), on top, with no notification. Failures are swallowed.
void ShowModuleForm(QWidget* parent, QWidget* window, const std::string& params, bool helpFlag,
                    const std::string& helpPage, const std::string& caption, bool extraFlag);

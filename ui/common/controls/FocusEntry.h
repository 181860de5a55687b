// Whether a control is entered, for its enter and exit events: focus moves between windows
// (activation, pop-ups such as a drop-down list) are no entry into or exit from the control.
#pragma once

#include <Qt>

namespace vantrel {

class TFocusEntry {
public:
    // True when the focus arriving enters the control (it was not entered yet).
    bool Enter() {
        if (entered_) return false;
        entered_ = true;
        return true;
    }
    // True when the focus leaving for this reason exits the entered control.
    bool Exit(Qt::FocusReason reason) {
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !entered_) return false;
        entered_ = false;
        return true;
    }

private:
    bool entered_ = false;
};

}  // namespace vantrel

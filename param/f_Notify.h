// Notifications to the host's main frame window.
#pragma once

#include "host/corlith_api.h"

#include <string>

namespace vantrel {

// The host's application window, adopted by each entry-point call; sender of data notifications.
void SetModuleAppHandle(THostHandle handle);
THostHandle ModuleAppHandle();

// The main frame: GetMainFrameHandle(), else the top-level window of class "Tfrm_MainFrame".
QWidget* FindMainFrameWindow();

}  // namespace vantrel

// Plain notification: number with two zero parameters. Dropped when there is no main frame.
void NotifyFrame(int number);
// Data notification: number and a zero-terminated copy of text. Dropped when there is no main frame.
void NotifyFrameData(int number, const std::string& text);

// Message boxes: recorded under test, real dialogs with a QApplication, stderr without one.
#pragma once

namespace corlith::msgbox {

void Reset();

}  // namespace corlith::msgbox

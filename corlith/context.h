// The host's context: what Configure and the frame set, the sub-application values, the
// user settings and the help page.
#pragma once

namespace corlith::context {

void Reset();

}  // namespace corlith::context

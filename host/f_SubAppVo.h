// Reading the current sub-application's values; every reader copes with a host that has none.
#pragma once

#include "host/corlith_api.h"

#include <memory>
#include <string>

namespace vantrel {

bool SubAppBool(const std::string& key);
std::shared_ptr<THostObject> SubAppObject(const std::string& key);

}  // namespace vantrel

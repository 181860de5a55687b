#include "host/f_SubAppVo.h"

namespace vantrel {

bool SubAppBool(const std::string& key) {
    const SubAppVo* vo = GetCurSubAppVo();
    return vo ? vo->GetBool(key) : false;
}

std::shared_ptr<THostObject> SubAppObject(const std::string& key) {
    const SubAppVo* vo = GetCurSubAppVo();
    return vo ? vo->GetObject(key) : nullptr;
}

}  // namespace vantrel

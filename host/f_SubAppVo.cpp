#include "host/f_SubAppVo.h"

std::string SubAppText(const std::string& key) {
    const SubAppVo* vo = GetCurSubAppVo();
    return vo ? vo->GetText(key) : std::string();
}

bool SubAppBool(const std::string& key) {
    const SubAppVo* vo = GetCurSubAppVo();
    return vo ? vo->GetBool(key) : false;
}

std::shared_ptr<THostObject> SubAppObject(const std::string& key) {
    const SubAppVo* vo = GetCurSubAppVo();
    return vo ? vo->GetObject(key) : nullptr;
}

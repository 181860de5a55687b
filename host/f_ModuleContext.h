// The context the core works on: the taxpayer, period, sub-application and connection, the
// taxpayer's particulars and approved kinds, the sub-application's folder, audit switch and
// catalogue of forms, and what a window captures of the host. A plain
// value at the bottom, so that every layer may take it from its caller; context/ reads it from
// the host once, the client builds it from its options.
#pragma once

#include "host/corlith_api.h"

#include <memory>
#include <string>

namespace vantrel {

// What a window keeps of the host at its creation (the windows' LoadHostContext).
struct THostContext {
    THostHandle AppHandle = 0;
    THostHandle MainFrameHandle = 0;
    std::string AppPath;
    std::string SubAppPath;
    std::string SubAppCode;
    std::string FuncCode;
    SubAppVo* SubAppInfo = nullptr;
    SubAppVo* SubAppVoObj = nullptr;
    SubAppVo* UserInfo = nullptr;
    SubAppVo* CompanyInfo = nullptr;
    QWidget* ParentForm = nullptr;            // page windows only
    QWidget* MainFrameParentForm = nullptr;   // page windows only
    std::string SysIme;                       // the user's input method for Chinese edits
};

struct TModuleContext {
    std::string taxpayer;       // nsrsbh
    std::string period;         // kjny, yyyymm
    std::string subAppCode;     // names the tables: sb<code>_xxfpb
    std::string connection;     // the host's connection name
    std::string particulars;    // jbxx: the taxpayer's particulars, a parameter string
    std::string approvedKinds;  // hdxx: the declaration kinds approved for the taxpayer (XML)
    std::string subAppPath;     // the sub-application's folder, ends with "/" (fp_config.ini, Temp/)
    bool auditedReturns = false;  // global_usesbsh: an audited return also blocks changes
    // DeclareTypeInfo: the host's declaration kinds and their forms; null when it has none.
    std::shared_ptr<TAryDeclareTypeInfo> catalogue;
    THostContext host;          // empty where no window is shown
};

}  // namespace vantrel

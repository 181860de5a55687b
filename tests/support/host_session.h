// The host context the module runs in, set up the way a host does before calling it: the
// sub-application's folders and function code, the current taxpayer and period, and a
// declaration catalogue whose one kind holds the module's form. Shared by the test fixture,
// the benchmarks and the test tools, none of which needs gtest for it.
#pragma once

#include "corlith/corlith_host.h"

#include <memory>
#include <string>

namespace testhost {

inline constexpr const char* kSubAppCode = "07";
inline constexpr const char* kConnection = "WSSBMainCon_07";
inline constexpr const char* kFuncCode = "07037-02-18-01";
inline constexpr const char* kKindCode = "01";
inline constexpr const char* kFormCode = "004";

// Paths end with "/".
inline void ConfigureHost(const std::string& appPath, const std::string& subAppPath) {
    corlith::HostSetup setup;
    setup.appPath = appPath;
    setup.subAppPath = subAppPath;
    setup.subAppCode = kSubAppCode;
    setup.funcCode = kFuncCode;
    corlith::Configure(setup);
}

// An empty jbxx leaves the company particulars unset.
inline void SetTaxpayer(const std::string& company, const std::string& period, const std::string& jbxx = {}) {
    SubAppVo* vo = GetCurSubAppVo();
    vo->SetText("curcompany", company);
    vo->SetText("curKJNY", period);
    if (!jbxx.empty()) vo->SetText("jbxx", jbxx);
}

// Replaces the catalogue with one kind holding the module's form.
inline void InstallCatalogue(int periodKind = 1, bool kindRestricted = false, bool formRestricted = false,
                             bool declaredEditable = false) {
    auto catalogue = std::make_shared<TAryDeclareTypeInfo>();
    TDeclareTypeInfo kind;
    kind.Code = kKindCode;
    kind.Name = "增值税纳税申报";
    kind.PeriodKind = periodKind;
    kind.ApprovalRestricted = kindRestricted;
    kind.DeclaredEditable = declaredEditable;
    TReportInfo form;
    form.Code = kFormCode;
    form.Name = "其它销项发票明细表";
    form.ApprovalRestricted = formRestricted;
    form.FuncCode = kFuncCode;
    kind.Reports.push_back(form);
    catalogue->Items.push_back(kind);
    GetCurSubAppVo()->SetObject("DeclareTypeInfo", catalogue);
}

}  // namespace testhost

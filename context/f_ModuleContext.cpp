#include "context/f_ModuleContext.h"

#include "host/corlith_api.h"
#include "host/f_SubAppVo.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportImpl.h"

namespace vantrel {

TModuleContext ModuleContextFromHost() {
    TModuleContext context;
    if (const SubAppVo* vo = GetCurSubAppVo()) {
        context.taxpayer = vo->GetText("curcompany");
        context.period = vo->GetText("curKJNY");
        context.particulars = vo->GetText("jbxx");
        context.approvedKinds = vo->GetText("hdxx");
    }
    GetCurSubAppCode(context.subAppCode);
    context.connection = MainConnectionName(context.subAppCode);
    GetCurSubAppPath(context.subAppPath);
    context.auditedReturns = SubAppBool("global_usesbsh");
    context.catalogue = std::dynamic_pointer_cast<TAryDeclareTypeInfo>(SubAppObject("DeclareTypeInfo"));
    // In the order the windows have always captured it.
    THostContext& host = context.host;
    host.AppHandle = GetAppHandle();
    host.MainFrameHandle = GetMainFrameHandle();
    GetAppPath(host.AppPath);
    GetCurSubAppPath(host.SubAppPath);
    GetCurSubAppCode(host.SubAppCode);
    GetCurFuncCode(host.FuncCode);
    host.SubAppInfo = GetCurSubAppInfo();
    host.SubAppVoObj = GetCurSubAppVo();
    host.UserInfo = GetUserInfoVO();
    host.CompanyInfo = GetCompanyInfoVO();
    host.ParentForm = GetCurParentForm();
    host.MainFrameParentForm = GetgsMainFrameParentForm();
    GetUserConfigParam("RunParameter", "SysIME", "-请选择-", host.SysIme);
    return context;
}

TInvoiceStore ModuleInvoiceStore(const TModuleContext& context) {
    return TInvoiceStore(context, [context](std::string& message) {
        return MarkFormFilled(context, ModuleFuncCode(context.subAppCode), message);
    });
}

}  // namespace vantrel

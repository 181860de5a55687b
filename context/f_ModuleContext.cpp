#include "context/f_ModuleContext.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportImpl.h"

namespace vantrel {

std::string TModuleContext::Table(const std::string& name) const { return QualifyTableName(name, subAppCode); }

TModuleContext ModuleContextFromHost() {
    TModuleContext context;
    if (const SubAppVo* vo = GetCurSubAppVo()) {
        context.taxpayer = vo->GetText("curcompany");
        context.period = vo->GetText("curKJNY");
    }
    GetCurSubAppCode(context.subAppCode);
    context.connection = MainConnectionName();
    return context;
}

}  // namespace vantrel

TInvoiceStore ModuleInvoiceStore(const std::string& nsrsbh, const std::string& kjny) {
    return TInvoiceStore(nsrsbh, kjny, [](std::string& message) { return MarkFormFilled(ModuleFuncCode(), message); });
}

#include "context/f_ModuleContext.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportImpl.h"

namespace vantrel {

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

TInvoiceStore ModuleInvoiceStore(const TModuleContext& context) {
    return TInvoiceStore(
        context, [context](std::string& message) { return MarkFormFilled(context, ModuleFuncCode(), message); });
}

}  // namespace vantrel

#include "context/f_ModuleContext.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportImpl.h"

void CurrentTaxpayerAndPeriod(std::string& nsrsbh, std::string& sbssq) {
    const SubAppVo* vo = GetCurSubAppVo();
    sbssq = vo ? vo->GetText("curKJNY") : std::string();
    nsrsbh = vo ? vo->GetText("curcompany") : std::string();
}

TInvoiceStore ModuleInvoiceStore(const std::string& nsrsbh, const std::string& kjny) {
    return TInvoiceStore(nsrsbh, kjny, [](std::string& message) { return MarkFormFilled(ModuleFuncCode(), message); });
}

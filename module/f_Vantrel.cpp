// The module's two exported functions and its load/unload.
#include "context/f_ModuleContext.h"
#include "host/host_messages.h"
#include "host/module_exports.h"
#include "invoice/f_GlobalUnit.h"
#include "module/f_ModuleForm.h"
#include "param/f_Notify.h"
#include "param/f_ParamString.h"
#include "report/f_DealReportImpl.h"
#include "summary/f_QtfpSummary.h"
#include "ui/manager/f_XxqtfpMgr.h"
#include "ui/manager/f_doohckey.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Lives from load to unload of the library; at unload it gives back what the module holds
// of the host's objects, before the host library may go away.
class TModuleLifetime {
public:
    TModuleLifetime() = default;
    ~TModuleLifetime() {
        try {
            vantrel::ReleaseDecoratorRegistry();
        } catch (...) {
        }
        try {
            vantrel::ReleaseDeclareCatalogue();
        } catch (...) {
        }
    }
    TModuleLifetime(const TModuleLifetime&) = delete;
    TModuleLifetime& operator=(const TModuleLifetime&) = delete;
};

TModuleLifetime moduleLifetime;

// The longest head of error whose escaped form fits in room bytes.
std::string FitEscaped(const std::string& error, std::size_t room) {
    std::string fitted = vantrel::GbkHead(error, room);
    while (EncodeParamValue(fitted).size() > room) fitted = vantrel::GbkHead(fitted, fitted.size() - 1);
    return fitted;
}

// The host sized its buffer for its text plus kCreateQtfpGrowthBound: setting "err" adds at
// most ";err=" and the escaped error (replacing a pair or dropping empty pieces only shortens
// what else is there), so the escaped error gets the rest of the bound.
void ReportSummaryFailure(char* buffer, const std::string& params, const std::string& error) {
    const std::size_t room = kCreateQtfpGrowthBound - std::string(";err=").size();
    std::string updated = SetParamValue(params, "err", FitEscaped(error, room));
    if (updated.size() > params.size() + kCreateQtfpGrowthBound) return;
    std::memcpy(buffer, updated.c_str(), updated.size() + 1);
}

}  // namespace

void ShowQtfpMgr(std::uintptr_t appHandle, void* parent, char** params) {
    try {
        NotifyFrameData(hostmsg::kMsgModuleStart, std::string());
        // Windows need the host's QApplication; a headless host gets nothing rather than an abort.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        vantrel::SetModuleAppHandle(appHandle);
        auto* window = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());  // frees itself when closed
        const std::string paramString = params && params[0] ? std::string(params[0]) : std::string();
        ShowModuleForm(static_cast<QWidget*>(parent), window, paramString, false, std::string(), std::string(), true);
    } catch (...) {
    }
}

void CreateQtfp(std::uintptr_t appHandle, void*, char** params) {
    // Without a parameter string there is neither a file to write nor a place for "err".
    if (!params || !params[0]) return;
    try {
        vantrel::SetModuleAppHandle(appHandle);
        const std::string original = params[0];
        std::string error;
        if (BuildSummaryDocument(vantrel::ModuleContextFromHost(), GetParamValue(original, "dir"), error)) return;
        ReportSummaryFailure(params[0], original, error);
    } catch (...) {
        try {
            ReportSummaryFailure(params[0], params[0], "未知错误！");
        } catch (...) {
        }
    }
}

// The module's two exported functions and its load/unload.
#include "host/host_messages.h"
#include "module/f_ModuleForm.h"
#include "module/f_Notify.h"
#include "module/f_ParamString.h"
#include "report/f_DealReportImpl.h"
#include "summary/f_QtfpSummary.h"
#include "ui/manager/f_XxqtfpMgr.h"
#include "ui/manager/f_doohckey.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" {
__attribute__((visibility("default"))) void ShowQtfpMgr(std::uintptr_t appHandle, void* parent, char** params);
__attribute__((visibility("default"))) void CreateQtfp(std::uintptr_t appHandle, void* parent, char** params);
}

namespace {

// Lives from load to unload of the library; at unload it gives back what the module holds
// of the host's objects, before the host library may go away.
class TModuleLifetime {
public:
    TModuleLifetime() = default;
    ~TModuleLifetime() {
        try {
            ReleaseDecoratorRegistry();
        } catch (...) {
        }
        try {
            ReleaseDeclareCatalogue();
        } catch (...) {
        }
    }
    TModuleLifetime(const TModuleLifetime&) = delete;
    TModuleLifetime& operator=(const TModuleLifetime&) = delete;
};

TModuleLifetime moduleLifetime;

// The host sized its buffer for the parameter string with "err" added; the text is
// written in place with its terminating zero.
void ReportSummaryFailure(char* buffer, const std::string& params, const std::string& error) {
    const std::string updated = SetParamValue(params, "err", error);
    std::memcpy(buffer, updated.c_str(), updated.size() + 1);
}

}  // namespace

void ShowQtfpMgr(std::uintptr_t appHandle, void* parent, char** params) {
    try {
        NotifyFrameData(hostmsg::kMsgModuleStart, std::string());
        // Windows need the host's QApplication; a headless host gets nothing rather than an abort.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        SetModuleAppHandle(appHandle);
        auto* window = new TFrmXxqtfpMgr();  // frees itself when closed
        const std::string paramString = params && params[0] ? std::string(params[0]) : std::string();
        ShowModuleForm(static_cast<QWidget*>(parent), window, paramString, false, std::string(), std::string(), true);
    } catch (...) {
    }
}

void CreateQtfp(std::uintptr_t appHandle, void*, char** params) {
    // Without a parameter string there is neither a file to write nor a place for "err".
    if (!params || !params[0]) return;
    try {
        SetModuleAppHandle(appHandle);
        const std::string original = params[0];
        std::string error;
        if (BuildSummaryDocument(GetParamValue(original, "dir"), error)) return;
        ReportSummaryFailure(params[0], original, error);
    } catch (...) {
        try {
            ReportSummaryFailure(params[0], params[0], "未知错误！");
        } catch (...) {
        }
    }
}

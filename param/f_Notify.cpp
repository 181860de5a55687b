#include "param/f_Notify.h"

#include "host/host_messages.h"

namespace {
THostHandle g_appHandle = 0;

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }
}  // namespace

namespace vantrel {

void SetModuleAppHandle(THostHandle handle) { g_appHandle = handle; }

THostHandle ModuleAppHandle() { return g_appHandle; }

QWidget* FindMainFrameWindow() {
    // Widgets can only be looked up in a widget application; a headless host has no frame.
    if (!HaveWidgets()) return nullptr;
    if (const THostHandle handle = GetMainFrameHandle())
        if (QWidget* frame = hostmsg::WindowFromHandle(handle)) return frame;
    return hostmsg::FindWindowByClass(u"Tfrm_MainFrame");
}

}  // namespace vantrel

void NotifyFrame(int number) {
    hostmsg::SendMessageTo(vantrel::FindMainFrameWindow(), number, 0, 0);
}

void NotifyFrameData(int number, const std::string& text) {
    hostmsg::SendCopyDataTo(vantrel::FindMainFrameWindow(), g_appHandle, static_cast<std::uint32_t>(number), text);
}

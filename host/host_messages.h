// Window messages between the host's frame and module windows, carried as Qt events.
// Shared by the module (sender of notifications, receiver of 1280/1303) and the client.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdint>
#include <string>

namespace hostmsg {

constexpr int kUserBase = 1024;
constexpr int kMsgClose = kUserBase + 256;          // 1280, host -> page window
constexpr int kMsgSchemeChanged = kUserBase + 279;  // 1303, host -> module window
constexpr int kMsgHelp = kUserBase + 272;           // 1296, plain
constexpr int kMsgFormEnd = kUserBase + 278;        // 1302, data
constexpr int kMsgPageState = kUserBase + 305;      // 1329, data
constexpr int kMsgFormShown = kUserBase + 258;      // 1282, data
constexpr int kMsgModuleStart = kUserBase + 292;    // 1316, data
constexpr int kMsgNcActivate = 134;

inline QEvent::Type MessageEventType() { return static_cast<QEvent::Type>(QEvent::User + 1301); }
inline QEvent::Type CopyDataEventType() { return static_cast<QEvent::Type>(QEvent::User + 1302); }

// A synchronous window message: number and two parameters.
class MessageEvent : public QEvent {
public:
    MessageEvent(int number, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(MessageEventType()), number(number), wParam(wParam), lParam(lParam) {}
    int number;
    std::intptr_t wParam;
    std::intptr_t lParam;
};

// A copy-data message: the sender's handle and a record (number, byte count, data pointer).
// The data stays valid only while the event is being delivered.
class CopyDataEvent : public QEvent {
public:
    CopyDataEvent(std::uintptr_t sender, std::uint32_t number, std::uint32_t byteCount, const char* data)
        : QEvent(CopyDataEventType()), sender(sender), number(number), byteCount(byteCount), data(data) {}
    std::uintptr_t sender;
    std::uint32_t number;
    std::uint32_t byteCount;
    const char* data;
};

inline QWidget* WindowFromHandle(std::uintptr_t handle) {
    if (handle == 0 || !QCoreApplication::instance()) return nullptr;
    return QWidget::find(static_cast<WId>(handle));
}

// The top-level widget whose window class (the "windowClass" property) is className.
inline QWidget* FindWindowByClass(const char16_t* className) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    const QString wanted = QString::fromUtf16(className);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->property("windowClass").toString() == wanted) return w;
    return nullptr;
}

inline bool SendMessageTo(QWidget* target, int number, std::intptr_t wParam = 0, std::intptr_t lParam = 0) {
    if (!target) return false;
    MessageEvent ev(number, wParam, lParam);
    QCoreApplication::sendEvent(target, &ev);
    return true;
}

inline bool SendCopyDataTo(QWidget* target, std::uintptr_t sender, std::uint32_t number, const std::string& text) {
    if (!target) return false;
    QByteArray copy(text.c_str(), static_cast<qsizetype>(text.size()) + 1);  // with its zero byte
    CopyDataEvent ev(sender, number, static_cast<std::uint32_t>(text.size() + 1), copy.constData());
    QCoreApplication::sendEvent(target, &ev);
    return true;
}

}  // namespace hostmsg

#include "module/f_ModuleForm.h"

#include "host/corlith_api.h"
#include "host/host_messages.h"
#include "param/f_Notify.h"
#include "param/f_ParamString.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace {

// Keeps a hosted window the size of its parent's client area.
class TFillParent : public QObject {
public:
    TFillParent(QWidget* window, QWidget* parent) : QObject(window), window_(window), parent_(parent) {
        parent->installEventFilter(this);
        window->setGeometry(parent->rect());
    }
    ~TFillParent() override {
        if (parent_) parent_->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent_ && event->type() == QEvent::Resize && window_->parentWidget() == parent_)
            window_->setGeometry(parent_->rect());
        return false;
    }

private:
    QWidget* window_;
    QPointer<QWidget> parent_;
};

void HostInParent(QWidget* parent, QWidget* window) {
    window->setParent(parent, Qt::Widget);
    if (QLayout* layout = parent->layout())
        layout->addWidget(window);
    else
        new TFillParent(window, parent);
    window->setWindowState(window->windowState() | Qt::WindowMaximized);
    window->show();
}

std::string WindowShownText(const std::string& modalFormMsg, QWidget* window, bool helpFlag,
                            const std::string& helpPage, bool extraFlag) {
    std::string text = modalFormMsg + "|" + std::to_string(static_cast<unsigned long long>(window->winId())) + "|" +
                       (helpFlag ? "1" : "0");
    if (helpFlag) {
        std::string page = helpPage;
        if (page.empty()) {
            std::string fields = text;
            page = FetchHeadstrTrim(true, "|", fields) + ".htm";
        }
        SetgsHelpHtml(page);
    }
    return text + "|" + (extraFlag ? "1" : "0");
}

void ShowFreeStanding(QWidget* window) {
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QRect area;
    if (QWidget* frame = vantrel::FindMainFrameWindow())
        area = frame->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) {
        // Top-level windows take their size when first shown; take it now to centre them.
        if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();
        const QSize size = window->frameGeometry().size();
        window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    window->show();
}

}  // namespace

void ShowModuleForm(QWidget* parent, QWidget* window, const std::string& params, bool helpFlag,
                    const std::string& helpPage, const std::string& caption, bool extraFlag) {
    if (!window) return;
    try {
        if (!caption.empty()) window->setWindowTitle(GbkToQString(caption));
        if (!parent) {
            ShowFreeStanding(window);
            return;
        }
        HostInParent(parent, window);
        const std::string modalFormMsg = GetParamValue(params, "ModalFormMsg");
        if (modalFormMsg.empty()) return;
        NotifyFrameData(hostmsg::kMsgFormShown, WindowShownText(modalFormMsg, window, helpFlag, helpPage, extraFlag));
    } catch (...) {
        // The host is told nothing of a window that could not be shown.
    }
}

// The host's main frame: a command list, the container that module pages fill, and a log of
// every notification the module sends it.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <string>

class QDockWidget;
class QLabel;
class QListWidget;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class VantrelModule;
struct ClientSession;

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    MainFrame(VantrelModule& module, const ClientSession& session, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Registers the window with the host library as its main frame and dialog parent. Call
    // after the session is installed (installing resets the host's state).
    void attachToHost();

    // The command "其它销项发票": asks an open page to close, then hosts a new manager.
    void openManager();

    QWidget* pageContainer() const { return container_; }
    QTreeWidget* notificationLog() const { return log_; }
    QWidget* currentPage() const { return page_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildUi(const ClientSession& session);
    void onPlainMessage(int number, std::intptr_t wParam, std::intptr_t lParam);
    void onDataMessage(int number, const std::string& text, std::uintptr_t sender);
    void logNotification(int number, const QString& way, const QString& text, std::uintptr_t sender);
    void setPageMaximised(bool maximised);
    void setLogExpanded(bool expanded);
    void fillContainer();
    void updatePageView();

    VantrelModule& module_;
    QListWidget* commands_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QLabel* welcome_ = nullptr;
    QWidget* container_ = nullptr;
    QDockWidget* logDock_ = nullptr;
    QTreeWidget* log_ = nullptr;
    QToolButton* logToggle_ = nullptr;
    QPointer<QWidget> page_;
};

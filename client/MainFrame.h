// The host's main frame: a command list, the container that module pages fill, and a log of
// every notification the module sends it.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <string>

class QComboBox;
class QDateEdit;
class QDockWidget;
class QLabel;
class QMenu;
class QListWidget;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class PeriodOverview;
class VantrelModule;
struct ClientSession;

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The frame works on session, which must outlive it; switching taxpayer or period changes it.
    MainFrame(VantrelModule& module, ClientSession& session, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Registers the window with the host library as its main frame and dialog parent. Call
    // after the session is installed (installing resets the host's state).
    void attachToHost();

    // The command "其它销项发票": asks an open page to close, then hosts a new manager.
    void openManager();
    // The command "期间概览": the current taxpayer's periods side by side.
    void openOverview();

    // Makes taxpayer and period the host's current ones: an open page closes first (and the
    // switch is given up when it stays open), the company information follows the taxpayer
    // register, and a page that was open opens again on the new context. False when the
    // period is no yyyymm or the page refused to close.
    bool switchContext(const std::string& company, const std::string& period);
    // The taxpayer picker offers the register again (after an import of taxpayers).
    void reloadTaxpayers();

    QWidget* pageContainer() const { return container_; }
    QTreeWidget* notificationLog() const { return log_; }
    QWidget* currentPage() const { return page_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildUi();
    void buildContextBar();
    void showContext();
    void rememberRecent();
    void onPlainMessage(int number, std::intptr_t wParam, std::intptr_t lParam);
    void onDataMessage(int number, const std::string& text, std::uintptr_t sender);
    void logNotification(int number, const QString& way, const QString& text, std::uintptr_t sender);
    void setPageMaximised(bool maximised);
    void setLogExpanded(bool expanded);
    void fillContainer();
    void updatePageView();

    VantrelModule& module_;
    ClientSession& session_;
    std::string sessionJbxx_, sessionHdxx_, sessionCompany_;   // as the session file gave them
    QComboBox* taxpayerPicker_ = nullptr;
    QDateEdit* periodPicker_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLabel* contextLabel_ = nullptr;
    QListWidget* commands_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QLabel* welcome_ = nullptr;
    QWidget* container_ = nullptr;
    PeriodOverview* overview_ = nullptr;
    QDockWidget* logDock_ = nullptr;
    QTreeWidget* log_ = nullptr;
    QToolButton* logToggle_ = nullptr;
    QPointer<QWidget> page_;
};

#include "MainFrame.h"

#include "ClientSession.h"
#include "ModuleLoader.h"
#include "PeriodOverview.h"
#include "TaxpayerRegister.h"
#include "corlith/corlith_host.h"
#include "host/host_messages.h"
#include "param/f_ParamString.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCompleter>
#include <QDateEdit>
#include <QDateTime>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

enum LogColumn { ColTime, ColSentence, ColumnCount };

// What a notification tells the user, as a sentence; the raw message goes into the tooltip.
QString NotificationSentence(int number, const QString& text) {
    switch (number) {
    case hostmsg::kMsgModuleStart: return u"模块已启动"_s;
    case hostmsg::kMsgFormShown:
        // "<host's tag>|<window handle>|<help>|<extra>": only the help flag means something here.
        return text.section(u'|', 2, 2) == u"1" ? u"窗口已打开，按 F1 可查看帮助"_s : u"窗口已打开"_s;
    case hostmsg::kMsgHelp: return u"帮助：模块请求打开帮助（F1）"_s;
    case hostmsg::kMsgFormEnd: return u"窗口已关闭"_s;
    case hostmsg::kMsgPageState:
        if (text == u"max") return u"页面已最大化"_s;
        if (text == u"reset") return u"页面已还原"_s;
        return u"页面状态已改变：%1"_s.arg(text);
    case hostmsg::kMsgNcActivate: return u"模块窗口获得焦点，框架标题栏保持激活"_s;
    default: return u"收到未知通知"_s;
    }
}

// Every rule names the frame's own widgets: a style sheet cascades into the module's pages and
// dialogs, and a bare "QToolButton" rule would strip the module's buttons of their frames.
const QString kStyle = uR"(
QMainWindow { background: #f4f6f9; }
QToolBar#hostToolBar { background: #ffffff; border: none; border-bottom: 1px solid #dde3ea; spacing: 6px; padding: 4px; }
QToolBar#hostToolBar QToolButton { padding: 4px 10px; border-radius: 3px; }
QToolBar#hostToolBar QToolButton:hover { background: #e6eef8; }
QToolButton#logToggle { border: none; padding: 3px 6px; font-weight: bold; color: #3b4a59; }
QWidget#logTitle { background: #eef2f6; border-top: 1px solid #dde3ea; }
QListWidget#commands { background: #ffffff; border: none; border-right: 1px solid #dde3ea; font-size: 14px; }
QListWidget#commands::item { padding: 10px 14px; }
QListWidget#commands::item:selected { background: #dbe8f7; color: #1d4f91; }
QLabel#commandsTitle { background: #ffffff; color: #66788a; padding: 12px 14px 6px 14px; }
QLabel#welcome { color: #7a8896; font-size: 15px; }
QTreeWidget#log { background: #ffffff; border: 1px solid #dde3ea; }
QStatusBar { background: #ffffff; color: #4a5866; border-top: 1px solid #dde3ea; }
)"_s;

}  // namespace

MainFrame::MainFrame(VantrelModule& module, ClientSession& session, QWidget* parent)
    : QMainWindow(parent), module_(module), session_(session), sessionJbxx_(session.jbxx),
      sessionHdxx_(session.hdxx), sessionCompany_(session.particularsUnknown ? std::string() : session.company) {
    // The module finds the frame by this class name when the host gives it no handle.
    setProperty("windowClass", u"Tfrm_MainFrame"_s);
    setWindowTitle(u"其它销项发票 — Vantrel"_s);
    resize(1100, 750);
    buildUi();
    restoreGeometry(QSettings(u"Vantrel"_s, u"vantrel-client"_s).value(u"mainWindow/geometry"_s).toByteArray());
}

MainFrame::~MainFrame() {
    // Pages destroyed with the frame must not notify a half-destroyed window.
    setProperty("windowClass", QVariant());
    corlith::SetMainFrameHandle(0);
    corlith::SetDialogParent(nullptr);
    corlith::SetParentForms(nullptr, nullptr);
}

void MainFrame::buildUi() {
    setStyleSheet(kStyle);

    auto* toolbar = addToolBar(u"命令"_s);
    toolbar->setObjectName(u"hostToolBar"_s);
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* openAct = toolbar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), u"其它销项发票"_s);
    connect(openAct, &QAction::triggered, this, &MainFrame::openManager);
    toolbar->addSeparator();
    QAction* clearAct = toolbar->addAction(style()->standardIcon(QStyle::SP_DialogResetButton), u"清空通知记录"_s);

    auto* side = new QWidget;
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);
    auto* sideTitle = new QLabel(u"申报业务"_s);
    sideTitle->setObjectName(u"commandsTitle"_s);
    commands_ = new QListWidget;
    commands_->setObjectName(u"commands"_s);
    commands_->addItem(u"其它销项发票"_s);
    commands_->addItem(u"期间概览"_s);
    connect(commands_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (commands_->row(item) == 1)
            openOverview();
        else
            openManager();
    });
    sideLayout->addWidget(sideTitle);
    sideLayout->addWidget(commands_);
    side->setFixedWidth(180);

    stack_ = new QStackedWidget;
    welcome_ = new QLabel(u"请从左侧选择“其它销项发票”"_s);
    welcome_->setObjectName(u"welcome"_s);
    welcome_->setAlignment(Qt::AlignCenter);
    container_ = new QWidget;
    container_->setObjectName(u"pageContainer"_s);
    auto* containerLayout = new QVBoxLayout(container_);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->setSpacing(0);
    container_->installEventFilter(this);
    overview_ = new PeriodOverview(session_);
    connect(overview_, &PeriodOverview::periodChosen, this, [this](const std::string& period) {
        switchContext(session_.company, period);
        openManager();
    });
    stack_->addWidget(welcome_);
    stack_->addWidget(container_);
    stack_->addWidget(overview_);

    auto* central = new QWidget;
    auto* centralLayout = new QHBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    centralLayout->addWidget(side);
    centralLayout->addWidget(stack_, 1);
    setCentralWidget(central);

    log_ = new QTreeWidget;
    log_->setObjectName(u"log"_s);
    log_->setRootIsDecorated(false);
    log_->setUniformRowHeights(true);
    log_->setColumnCount(ColumnCount);
    log_->setHeaderLabels({u"时间"_s, u"通知"_s});
    log_->header()->setStretchLastSection(true);
    log_->setColumnWidth(ColTime, 90);
    connect(clearAct, &QAction::triggered, this, [this] {
        log_->clear();
        logToggle_->setText(u"通知记录（0 条）"_s);
    });

    logDock_ = new QDockWidget(u"通知记录"_s, this);
    logDock_->setObjectName(u"logDock"_s);
    logDock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
    // A title bar that folds the log away, so that the page gets the room; it starts folded.
    auto* logTitle = new QWidget;
    logTitle->setObjectName(u"logTitle"_s);
    logTitle->setAttribute(Qt::WA_StyledBackground);
    auto* titleLayout = new QHBoxLayout(logTitle);
    titleLayout->setContentsMargins(4, 0, 4, 0);
    logToggle_ = new QToolButton;
    logToggle_->setObjectName(u"logToggle"_s);
    logToggle_->setCheckable(true);
    logToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    logToggle_->setToolTip(u"展开或收起通知记录"_s);
    titleLayout->addWidget(logToggle_);
    titleLayout->addStretch(1);
    logDock_->setTitleBarWidget(logTitle);
    logDock_->setWidget(log_);
    addDockWidget(Qt::BottomDockWidgetArea, logDock_);
    connect(logToggle_, &QToolButton::toggled, this, &MainFrame::setLogExpanded);
    setLogExpanded(false);

    contextLabel_ = new QLabel;
    contextLabel_->setObjectName(u"contextLabel"_s);
    statusBar()->addPermanentWidget(contextLabel_);
    buildContextBar();
    showContext();
}

// The taxpayer and period the frame works on, and the ways to change them.
void MainFrame::buildContextBar() {
    auto* bar = new QToolBar(u"纳税人与所属期"_s);
    bar->setObjectName(u"contextBar"_s);
    bar->setMovable(false);
    addToolBarBreak();
    addToolBar(bar);
    bar->addWidget(new QLabel(u" 纳税人 "_s));
    taxpayerPicker_ = new QComboBox;
    taxpayerPicker_->setObjectName(u"taxpayerPicker"_s);
    taxpayerPicker_->setEditable(true);
    taxpayerPicker_->setInsertPolicy(QComboBox::NoInsert);
    taxpayerPicker_->setMinimumWidth(360);
    taxpayerPicker_->lineEdit()->setPlaceholderText(u"输入纳税人识别号或名称查找"_s);
    auto* completer = new QCompleter(taxpayerPicker_->model(), taxpayerPicker_);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    taxpayerPicker_->setCompleter(completer);
    bar->addWidget(taxpayerPicker_);
    connect(taxpayerPicker_, &QComboBox::activated, this, [this](int index) {
        const QString id = taxpayerPicker_->itemData(index).toString();
        if (!id.isEmpty()) switchContext(QStringToGbk(id), session_.period);
    });
    // An id typed whole that the register does not hold: its invoices, without particulars.
    connect(taxpayerPicker_->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (taxpayerPicker_->completer()->popup()->isVisible()) return;   // a completion is being taken
        const QString text = taxpayerPicker_->currentText().trimmed();
        if (taxpayerPicker_->findText(text) >= 0) return;   // the combo box activates it
        const std::string id = QStringToGbk(text.section(u' ', 0, 0));
        if (ValidTaxpayerId(id))
            switchContext(id, session_.period);
        else
            showContext();
    });

    bar->addSeparator();
    bar->addWidget(new QLabel(u" 所属期 "_s));
    const auto step = [this](int months) {
        const QDate date = QDate::fromString(QString::fromLatin1(session_.period.c_str()) + u"01"_s, u"yyyyMMdd"_s);
        if (date.isValid()) switchContext(session_.company, date.addMonths(months).toString(u"yyyyMM"_s).toStdString());
    };
    QAction* previous = bar->addAction(style()->standardIcon(QStyle::SP_ArrowLeft), u"上一期"_s, this, [step] { step(-1); });
    previous->setObjectName(u"previousPeriod"_s);
    previous->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    previous->setToolTip(u"上一期（Ctrl+PgUp）"_s);
    periodPicker_ = new QDateEdit;
    periodPicker_->setObjectName(u"periodPicker"_s);
    periodPicker_->setDisplayFormat(u"yyyy年MM月"_s);
    periodPicker_->setMinimumDate(QDate(1900, 1, 1));
    bar->addWidget(periodPicker_);
    connect(periodPicker_, &QDateEdit::dateChanged, this, [this](const QDate& date) {
        switchContext(session_.company, date.toString(u"yyyyMM"_s).toStdString());
    });
    QAction* next = bar->addAction(style()->standardIcon(QStyle::SP_ArrowRight), u"下一期"_s, this, [step] { step(1); });
    next->setObjectName(u"nextPeriod"_s);
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    next->setToolTip(u"下一期（Ctrl+PgDn）"_s);

    bar->addSeparator();
    auto* recent = new QToolButton;
    recent->setObjectName(u"recentContexts"_s);
    recent->setText(u"最近"_s);
    recent->setPopupMode(QToolButton::InstantPopup);
    recentMenu_ = new QMenu(recent);
    recent->setMenu(recentMenu_);
    bar->addWidget(recent);
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] {
        recentMenu_->clear();
        const QStringList entries = QSettings(u"Vantrel"_s, u"vantrel-client"_s).value(u"context/recent"_s).toStringList();
        for (const QString& entry : entries) {
            const QString id = entry.section(u'|', 0, 0), period = entry.section(u'|', 1, 1);
            const int at = taxpayerPicker_->findData(id);
            const QString name = at >= 0 ? taxpayerPicker_->itemText(at) : id;
            recentMenu_->addAction(u"%1    %2"_s.arg(name, period), this, [this, id, period] {
                switchContext(QStringToGbk(id), QStringToGbk(period));
            });
        }
        if (entries.isEmpty()) recentMenu_->addAction(u"（无）"_s)->setEnabled(false);
    });
}

void MainFrame::reloadTaxpayers() {
    std::vector<corlith::TaxpayerRecord> records;
    std::string error;
    const QSignalBlocker block(taxpayerPicker_);
    taxpayerPicker_->clear();
    if (corlith::ReadTaxpayers(session_.connectionName(), records, error))
        for (const corlith::TaxpayerRecord& r : records)
            taxpayerPicker_->addItem(GbkToQString(r.code) + u"  "_s + GbkToQString(r.name), GbkToQString(r.code));
    showContext();
}

void MainFrame::showContext() {
    const QString company = GbkToQString(session_.company), period = GbkToQString(session_.period);
    {
        const QSignalBlocker blockTaxpayer(taxpayerPicker_), blockPeriod(periodPicker_);
        const int at = taxpayerPicker_->findData(company);
        taxpayerPicker_->setCurrentIndex(at);
        if (at < 0) taxpayerPicker_->setEditText(company);
        periodPicker_->setDate(QDate::fromString(period + u"01"_s, u"yyyyMMdd"_s));
    }
    const QString name = GbkToQString(GetParamValue(session_.jbxx, "name"));
    contextLabel_->setText(u"纳税人识别号：%1%2    所属期：%3    数据库：%4"_s.arg(
        company, name.isEmpty() ? QString() : u"（"_s + name + u"）"_s, period, session_.databaseLabel()));
}

void MainFrame::rememberRecent() {
    QSettings settings(u"Vantrel"_s, u"vantrel-client"_s);
    QStringList entries = settings.value(u"context/recent"_s).toStringList();
    const QString entry = GbkToQString(session_.company) + u'|' + GbkToQString(session_.period);
    entries.removeAll(entry);
    entries.prepend(entry);
    while (entries.size() > 10) entries.removeLast();
    settings.setValue(u"context/recent"_s, entries);
}

bool MainFrame::switchContext(const std::string& company, const std::string& period) {
    if (!ValidPeriod(period) || !ValidTaxpayerId(company)) {
        showContext();
        return false;
    }
    if (company == session_.company && period == session_.period) return true;
    const bool reopen = page_ && page_->isVisible();
    if (page_) {
        hostmsg::SendMessageTo(page_, hostmsg::kMsgClose);
        if (page_ && page_->isVisible()) {   // the page kept itself open
            showContext();
            return false;
        }
    }
    session_.company = company;
    session_.period = period;
    const bool own = company == sessionCompany_;
    session_.jbxx = own ? sessionJbxx_ : SetParamValue(std::string(), "code", company);
    session_.hdxx = sessionHdxx_;
    session_.particularsUnknown = !own;
    SubAppVo* vo = GetCurSubAppVo();
    vo->SetText("curcompany", session_.company);
    vo->SetText("curKJNY", session_.period);
    vo->SetText("jbxx", session_.jbxx);
    vo->SetText("hdxx", session_.hdxx);
    ServeTaxpayerFromRegister(session_);
    showContext();
    rememberRecent();
    if (stack_->currentWidget() == overview_)
        overview_->reload();
    else if (reopen)
        openManager();
    else
        updatePageView();
    return true;
}

void MainFrame::attachToHost() {
    corlith::SetMainFrameHandle(static_cast<THostHandle>(winId()));
    corlith::SetDialogParent(this);
    corlith::SetParentForms(container_, this);
    reloadTaxpayers();
    rememberRecent();
}

void MainFrame::openOverview() {
    stack_->setCurrentWidget(overview_);
    commands_->setCurrentRow(1);
    overview_->reload();
}

void MainFrame::openManager() {
    commands_->setCurrentRow(0);
    if (page_) hostmsg::SendMessageTo(page_, hostmsg::kMsgClose);
    stack_->setCurrentWidget(container_);
    module_.showQtfpMgr(static_cast<std::uintptr_t>(winId()), container_, "ModalFormMsg=7");
    fillContainer();
    updatePageView();
}

bool MainFrame::event(QEvent* e) {
    if (e->type() == hostmsg::MessageEventType()) {
        const auto* m = static_cast<hostmsg::MessageEvent*>(e);
        onPlainMessage(m->number, m->wParam, m->lParam);
        return true;
    }
    if (e->type() == hostmsg::CopyDataEventType()) {
        const auto* c = static_cast<hostmsg::CopyDataEvent*>(e);
        // The record's count includes the zero byte; never read past it even if it is missing.
        std::string text;
        if (c->data && c->byteCount > 0) text.assign(c->data, ::strnlen(c->data, c->byteCount));
        onDataMessage(static_cast<int>(c->number), text, c->sender);
        return true;
    }
    return QMainWindow::event(e);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (watched == container_ && (e->type() == QEvent::Resize || e->type() == QEvent::ChildPolished))
        fillContainer();
    return QMainWindow::eventFilter(watched, e);
}

void MainFrame::setLogExpanded(bool expanded) {
    logToggle_->setChecked(expanded);
    logToggle_->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    logToggle_->setText(u"通知记录（%1 条）"_s.arg(log_->topLevelItemCount()));
    log_->setVisible(expanded);
    if (expanded) {
        logDock_->setMinimumHeight(150);
        logDock_->setMaximumHeight(QWIDGETSIZE_MAX);
        resizeDocks({logDock_}, {170}, Qt::Vertical);
    } else {
        logDock_->setFixedHeight(logDock_->titleBarWidget()->sizeHint().height());
    }
}

void MainFrame::closeEvent(QCloseEvent* e) {
    QSettings(u"Vantrel"_s, u"vantrel-client"_s).setValue(u"mainWindow/geometry"_s, saveGeometry());
    if (page_) hostmsg::SendMessageTo(page_, hostmsg::kMsgClose);
    e->accept();
}

void MainFrame::onPlainMessage(int number, std::intptr_t wParam, std::intptr_t lParam) {
    logNotification(number, u"普通"_s, u"%1, %2"_s.arg(wParam).arg(lParam), 0);
    if (number == hostmsg::kMsgHelp) statusBar()->showMessage(u"模块请求帮助（F1）"_s, 5000);
}

void MainFrame::onDataMessage(int number, const std::string& text, std::uintptr_t sender) {
    const QString shown = GbkToQString(text);
    logNotification(number, u"数据"_s, shown, sender);
    switch (number) {
    case hostmsg::kMsgFormShown: {
        // "<ModalFormMsg>|<page handle>|<help>|<extra>"
        const QStringList fields = shown.split(u'|');
        bool ok = false;
        const qulonglong handle = fields.size() > 1 ? fields.at(1).toULongLong(&ok) : 0;
        if (ok) page_ = hostmsg::WindowFromHandle(static_cast<std::uintptr_t>(handle));
        stack_->setCurrentWidget(container_);
        break;
    }
    case hostmsg::kMsgFormEnd:
        setPageMaximised(false);
        // The page is still being destroyed while it tells us; look once it is gone.
        QTimer::singleShot(0, this, &MainFrame::updatePageView);
        break;
    case hostmsg::kMsgPageState:
        if (shown == u"max")
            setPageMaximised(true);
        else if (shown == u"reset")
            setPageMaximised(false);
        break;
    default:
        break;
    }
}

void MainFrame::logNotification(int number, const QString& way, const QString& text, std::uintptr_t sender) {
    auto* item = new QTreeWidgetItem(log_);
    item->setText(ColTime, QTime::currentTime().toString(u"HH:mm:ss.zzz"_s));
    item->setText(ColSentence, NotificationSentence(number, text));
    QString raw = u"编号：%1\n方式：%2\n内容：%3"_s.arg(number).arg(way, text.isEmpty() ? u"（空）"_s : text);
    if (sender) raw += u"\n发送方句柄：%1"_s.arg(sender);
    for (int column = 0; column < ColumnCount; ++column) item->setToolTip(column, raw);
    log_->scrollToItem(item);
    logToggle_->setText(u"通知记录（%1 条）"_s.arg(log_->topLevelItemCount()));
}

// A maximised page gets the whole frame: the command list and the log step aside.
void MainFrame::setPageMaximised(bool maximised) {
    commands_->parentWidget()->setVisible(!maximised);
    logDock_->setVisible(!maximised);
}

// Pages that the container's layout does not manage are stretched over it by hand.
void MainFrame::fillContainer() {
    for (QObject* child : container_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isWindow() && container_->layout()->indexOf(w) < 0) w->setGeometry(container_->rect());
    }
}

void MainFrame::updatePageView() {
    if (stack_->currentWidget() == overview_) return;
    bool anyPage = false;
    for (QObject* child : container_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        anyPage = anyPage || (w && !w->isWindow() && w->isVisibleTo(container_));
    }
    stack_->setCurrentWidget(anyPage ? container_ : welcome_);
}

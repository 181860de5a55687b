#include "ui/manager/f_XxqtfpMgr.h"

#include "context/f_ModuleContext.h"
#include "host/corlith_api.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "report/f_DealReportImpl.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_FormSupport.h"
#include "ui/common/f_LookupCombos.h"
#include "ui/common/f_Status.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_doohckey.h"
#include "ui/preview/f_ReturnPreview.h"
#include "invoice/f_MessageIds.h"
#include "exchange/f_RegisterExchange.h"

#include <QAction>
#include <QActionGroup>
#include <QLineEdit>
#include <QTreeWidget>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

QString Text16(const char16_t* text) { return QString::fromUtf16(text); }

// Rows 22 pixels high with light grid lines between cells. Selected rows look like the others:
// their ticks show the selection, whatever colours the platform gives inactive windows.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(22);
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        opt.state &= ~(QStyle::State_HasFocus | QStyle::State_Selected);
        QStyledItemDelegate::paint(painter, opt, index);
        painter->save();
        painter->setPen(QColor(0xD9, 0xDE, 0xE6));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

QIcon QueryIcon() {
    return vantrel::DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 2.4));
        p.setBrush(QColor(0xDD, 0xEB, 0xFA));
        p.drawEllipse(QRectF(3.5, 3.5, 12, 12));
        p.setPen(QPen(QColor(0x6B, 0x4A, 0x2A), 3.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14.5, 14.5), QPointF(20.5, 20.5));
    });
}

// A clock face: the versions of an invoice over time.
QIcon HistoryIcon() {
    return vantrel::DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 1.6));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setPen(QPen(QColor(0x6B, 0x4A, 0x2A), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 12), QPointF(12, 6.5));
        p.drawLine(QPointF(12, 12), QPointF(16, 14));
    });
}

// A list of entries with a pen: the log of changes.
QIcon ChangeLogIcon() {
    return vantrel::DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 1.3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 2.5, 13, 18));
        p.setPen(QPen(QColor(0x7A, 0x8C, 0xA3), 1));
        for (qreal y : {6.5, 10.5, 14.5}) p.drawLine(QPointF(5.5, y), QPointF(14.5, y));
        p.setPen(QPen(QColor(0xC0, 0x6A, 0x1E), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13, 19), QPointF(20.5, 11.5));
    });
}

// A sheet with an arrow that comes into it from the left (import) or leaves it to the right (export).
QIcon SheetTransferIcon(bool into) {
    return vantrel::DrawnIcon([into](QPainter& p) {
        const qreal left = into ? 9.5 : 2.5;
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 1.3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(left, 2.5, 12, 17));
        p.setPen(QPen(QColor(0x7A, 0x8C, 0xA3), 1));
        for (qreal y : {7.5, 11.5, 15.5}) p.drawLine(QPointF(left + 1, y), QPointF(left + 11, y));
        p.drawLine(QPointF(left + 6, 3.5), QPointF(left + 6, 18.5));
        const QColor green(0x2E, 0x8B, 0x4A);
        p.setPen(QPen(green, 2.6, Qt::SolidLine, Qt::RoundCap));
        const qreal from = into ? 2.5 : 11.5, tip = into ? 14 : 23;
        p.drawLine(QPointF(from, 16.5), QPointF(tip - 4, 16.5));
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawPolygon(QPolygonF({QPointF(tip, 16.5), QPointF(tip - 5, 12), QPointF(tip - 5, 21)}));
    });
}

// Two sheets side by side with a check mark over them: the register held against a list.
QIcon ReconcileCommandIcon() {
    return vantrel::DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 4.5, 9, 14));
        p.drawRect(QRectF(12.5, 4.5, 9, 14));
        p.setPen(QPen(QColor(0x7A, 0x8C, 0xA3), 1));
        for (qreal y : {8.5, 11.5, 14.5}) {
            p.drawLine(QPointF(4, y), QPointF(10, y));
            p.drawLine(QPointF(14, y), QPointF(20, y));
        }
        p.setPen(QPen(QColor(0x2E, 0x8B, 0x4A), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(7, 15), QPointF(11, 20), QPointF(19, 9)}));
    });
}

QLabel* NewLabel(const char16_t* caption, QWidget* parent) {
    auto* label = new QLabel(Text16(caption), parent);
    return label;
}

void SetBold(QLabel* label) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

QLabel* NewValueLabel(const char16_t* caption, bool bold, QWidget* parent) {
    auto* label = new QLabel(Text16(caption), parent);
    if (bold) SetBold(label);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A strip of the page's column, of fixed height.
QFrame* NewBand(QWidget* parent, const QString& name, int height) {
    auto* band = new QFrame(parent);
    band->setObjectName(name);
    band->setFixedHeight(height);
    return band;
}

// The band's layout, indented 12 pixels on both sides.
template <typename Layout>
Layout* NewBandLayout(QFrame* band, int verticalMargin, int spacing) {
    auto* layout = new Layout(band);
    layout->setContentsMargins(12, verticalMargin, 12, verticalMargin);
    layout->setSpacing(spacing);
    return layout;
}

QPushButton* NewLinkButton(const char16_t* caption, QAction* action, QWidget* parent) {
    QPushButton* button = vantrel::NewLinkButton(Text16(caption), parent);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
    button->setEnabled(action->isEnabled());
    return button;
}

int CompareText(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

template <typename T>
int CompareNumber(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Set while a piece of work runs, cleared on every way out of it.
struct TBusyFlag {
    explicit TBusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~TBusyFlag() { flag_ = false; }
    TBusyFlag(const TBusyFlag&) = delete;
    TBusyFlag& operator=(const TBusyFlag&) = delete;
    bool& flag_;
};

// The waiting window goes away on every path out of a read.
struct TStatusGuard {
    explicit TStatusGuard(const std::string& text) { ShowStatus(text); }
    ~TStatusGuard() { HideStatus(); }
    TStatusGuard(const TStatusGuard&) = delete;
    TStatusGuard& operator=(const TStatusGuard&) = delete;
};

}  // namespace

TFrmXxqtfpMgr::TFrmXxqtfpMgr(vantrel::TModuleContext context, QWidget* parent)
    : Tfrm_CustomEx(context.host, parent), FContext(std::move(context)),
      FOwnBatches(std::make_unique<vantrel::TBatchWatch>(FContext.taxpayer)) {
    setWindowTitle(Text16(u"其它销项发票"));
    resize(776, 531);
    BuildControls();
    FormCreate();
}

TFrmXxqtfpMgr::~TFrmXxqtfpMgr() {
    FormDestroy();
}

void TFrmXxqtfpMgr::BuildControls() {
    BuildActions();
    QWidget* content = ContentArea();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(BuildQueryPanel(content));
    column->addWidget(BuildFilterRow(content));
    column->addWidget(BuildStatistics(content));
    column->addWidget(BuildTypeStatistics(content));
    column->addWidget(BuildOperations(content));
    BuildList(content);
    column->addWidget(VSTInvoideCommon, 1);
    NameControls();
}

// Each command and control takes its member's name as object name, by which it is found.
void TFrmXxqtfpMgr::NameControls() {
#define VANTREL_NAMED(member) {member, #member}
    const std::pair<QObject*, const char*> controls[] = {
        VANTREL_NAMED(actAdd),      VANTREL_NAMED(ActModify),         VANTREL_NAMED(ActDel),
        VANTREL_NAMED(ActQuery),    VANTREL_NAMED(ActClose),          VANTREL_NAMED(actQueryPanel),
        VANTREL_NAMED(ActPreview),  VANTREL_NAMED(ActPrint),          VANTREL_NAMED(actImport),
        VANTREL_NAMED(actImportEInvoice), VANTREL_NAMED(actExport),   VANTREL_NAMED(actReconcile),
        VANTREL_NAMED(actHistory),  VANTREL_NAMED(actChangeLog),      VANTREL_NAMED(actUndo),
        VANTREL_NAMED(ActCopy),     VANTREL_NAMED(ListMenu),          VANTREL_NAMED(btnQuery),
        VANTREL_NAMED(PanelQuery),  VANTREL_NAMED(cbbFplx),           VANTREL_NAMED(edtghfsh),
        VANTREL_NAMED(ModalSpeedButton1), VANTREL_NAMED(btnReset),    VANTREL_NAMED(lbFpsl),
        VANTREL_NAMED(lbje),        VANTREL_NAMED(lbse),              VANTREL_NAMED(lbzfzs),
        VANTREL_NAMED(lbzfje),      VANTREL_NAMED(lbzfse),            VANTREL_NAMED(lbScope),
        VANTREL_NAMED(lbEmptyHint), VANTREL_NAMED(btnAdd),            VANTREL_NAMED(btnModify),
        VANTREL_NAMED(btnDel),      VANTREL_NAMED(VSTInvoideCommon),  VANTREL_NAMED(PanelFilter),
        VANTREL_NAMED(edtDateFrom), VANTREL_NAMED(edtDateTo),         VANTREL_NAMED(edtAmountFrom),
        VANTREL_NAMED(edtAmountTo), VANTREL_NAMED(edtFilterText),     VANTREL_NAMED(btnFilterFlags),
        VANTREL_NAMED(btnClearFilter), VANTREL_NAMED(btnTypeStatistics), VANTREL_NAMED(TypeStatistics),
        VANTREL_NAMED(actResetColumns), VANTREL_NAMED(HeaderMenu)};
#undef VANTREL_NAMED
    for (const auto& [control, name] : controls) control->setObjectName(QLatin1String(name));
}

// The commands, their shortcuts and the tool bar.
void TFrmXxqtfpMgr::BuildActions() {
    actAdd = new QAction(Text16(u"新增"), this);
    ActModify = new QAction(Text16(u"修改 "), this);
    ActDel = new QAction(Text16(u"删除"), this);
    ActQuery = new QAction(Text16(u"查询.."), this);
    ActClose = new QAction(Text16(u"关闭"), this);
    connect(actAdd, &QAction::triggered, this, [this] { actAddExecute(); });
    connect(ActModify, &QAction::triggered, this, [this] { ActModifyExecute(); });
    connect(ActDel, &QAction::triggered, this, [this] { ActDelExecute(); });
    connect(ActQuery, &QAction::triggered, this, [this] { ActQueryExecute(); });
    connect(ActClose, &QAction::triggered, this, [this] { ActCloseExecute(); });

    actAdd->setToolTip(Text16(u"增加一张发票（Insert 或 Ctrl+N）"));
    ActModify->setToolTip(Text16(u"修改勾选的第一张发票（Enter 或 F2；双击行也可修改）"));
    ActDel->setToolTip(Text16(u"删除勾选的发票（Delete）；单击选一行，Ctrl 单击增减一行，Shift 单击选一段，空格勾选或取消焦点行，Ctrl+A 勾选全部"));
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_N)}) {
        auto* shortcut = new QShortcut(keys, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, actAdd, &QAction::trigger);
    }
    auto* findShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this, nullptr, nullptr,
                                       Qt::WidgetWithChildrenShortcut);
    connect(findShortcut, &QShortcut::activated, this, [this] { FocusFilter(); });
    BuildToolBar();
    actUndo = new QAction(Text16(u"撤销"), this);
    actUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actUndo->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(actUndo);
    connect(actUndo, &QAction::triggered, this, [this] { actUndoExecute(); });
    ActCopy = new QAction(Text16(u"复制"), this);
    ActCopy->setShortcut(QKeySequence::Copy);
    ActCopy->setShortcutContext(Qt::WidgetShortcut);  // on the list, whose view is its widget
    connect(ActCopy, &QAction::triggered, this, [this] { ActCopyExecute(); });
}

// The tool bar: the query bar's toggle, then the commands on the period and its files.
void TFrmXxqtfpMgr::BuildToolBar() {
    actQueryPanel = new QAction(QueryIcon(), Text16(u"查询..."), this);
    actQueryPanel->setIconText(actQueryPanel->text());  // keeps the dots that iconText() would drop
    actQueryPanel->setCheckable(true);
    actQueryPanel->setToolTip(Text16(u"查询条件（Ctrl+F）"));
    btnQuery = AddToolAction(actQueryPanel);
    // The pressed state always follows the panel's visibility (btnQueryClick).
    connect(actQueryPanel, &QAction::triggered, this, [this] { btnQueryClick(); });
    ActPreview = new QAction(vantrel::PreviewCommandIcon(), Text16(u"申报预览"), this);
    AddToolAction(ActPreview);
    connect(ActPreview, &QAction::triggered, this, [this] { ActPreviewExecute(); });
    ActPrint = new QAction(vantrel::PrintCommandIcon(), Text16(u"打印"), this);
    AddToolAction(ActPrint);
    connect(ActPrint, &QAction::triggered, this, [this] { ActPrintExecute(); });
    actImport = new QAction(SheetTransferIcon(true), Text16(u"导入"), this);
    actImport->setToolTip(Text16(u"从 CSV 或 Excel 文件导入发票"));
    AddToolAction(actImport);
    connect(actImport, &QAction::triggered, this, [this] { actImportExecute(); });
    actImportEInvoice = new QAction(SheetTransferIcon(true), Text16(u"导入电子发票"), this);
    actImportEInvoice->setToolTip(Text16(u"从电子发票文件（XML、OFD，或其 ZIP 压缩包）导入发票"));
    auto* einvoiceMenu = new QMenu(this);
    connect(einvoiceMenu->addAction(Text16(u"选择文件...")), &QAction::triggered, this,
            [this] { actImportEInvoiceExecute(false); });
    connect(einvoiceMenu->addAction(Text16(u"选择文件夹...")), &QAction::triggered, this,
            [this] { actImportEInvoiceExecute(true); });
    actImportEInvoice->setMenu(einvoiceMenu);
    if (QToolButton* button = AddToolAction(actImportEInvoice)) button->setPopupMode(QToolButton::MenuButtonPopup);
    connect(actImportEInvoice, &QAction::triggered, this, [this] { actImportEInvoiceExecute(false); });
    actExport = new QAction(SheetTransferIcon(false), Text16(u"导出"), this);
    actExport->setToolTip(Text16(u"将列表中的发票导出为 CSV 或 Excel 文件"));
    AddToolAction(actExport);
    connect(actExport, &QAction::triggered, this, [this] { actExportExecute(); });
    actReconcile = new QAction(ReconcileCommandIcon(), Text16(u"核对"), this);
    actReconcile->setToolTip(Text16(u"以电子发票服务平台导出的发票清单（CSV 或 Excel）核对本期发票"));
    AddToolAction(actReconcile);
    connect(actReconcile, &QAction::triggered, this, [this] { actReconcileExecute(); });
    actHistory = new QAction(HistoryIcon(), Text16(u"历史"), this);
    actHistory->setToolTip(Text16(u"勾选的发票的每个版本：谁在何时改了什么"));
    AddToolAction(actHistory);
    connect(actHistory, &QAction::triggered, this, [this] { actHistoryExecute(); });
    actChangeLog = new QAction(ChangeLogIcon(), Text16(u"变更记录"), this);
    actChangeLog->setToolTip(Text16(u"本期的每一批变更；删除的发票可在这里恢复"));
    AddToolAction(actChangeLog);
    connect(actChangeLog, &QAction::triggered, this, [this] { actChangeLogExecute(); });
}

// The query bar: type, buyer, 查询 and 重置; hidden until asked for.
QFrame* TFrmXxqtfpMgr::BuildQueryPanel(QWidget* content) {
    PanelQuery = NewBand(content, QStringLiteral("PanelQuery"), 45);
    PanelQuery->setFrameShape(QFrame::NoFrame);
    auto* row = NewBandLayout<QHBoxLayout>(PanelQuery, 0, 6);
    row->addWidget(NewLabel(u"发票类型：", PanelQuery));
    cbbFplx = new TPellowComboBox(PanelQuery);
    cbbFplx->setFixedWidth(121);
    row->addWidget(cbbFplx);
    row->addSpacing(14);
    row->addWidget(NewLabel(u"购方税号：", PanelQuery));
    edtghfsh = new TPellowEdit(PanelQuery);
    edtghfsh->setFixedWidth(QFontMetrics(edtghfsh->font()).horizontalAdvance(QStringLiteral("0")) * 21 + 12);
    edtghfsh->setToolTip(Text16(u"按 Enter 查询"));
    connect(edtghfsh, &QLineEdit::returnPressed, ActQuery, &QAction::trigger);
    row->addWidget(edtghfsh);
    row->addSpacing(14);
    ModalSpeedButton1 = new TModalSpeedButton(PanelQuery);
    // Bound to ActQuery but captioned on its own, so no action change can rename it.
    ModalSpeedButton1->setText(Text16(u"查询"));
    connect(ModalSpeedButton1, &TModalSpeedButton::OnClick, this, [this] { ActQuery->trigger(); });
    connect(ActQuery, &QAction::enabledChanged, ModalSpeedButton1, &QWidget::setEnabled);
    ModalSpeedButton1->setMinimumSize(60, 24);
    ModalSpeedButton1->setToolTip(Text16(u"按条件查询（在购方税号框中按 Enter）"));
    row->addWidget(ModalSpeedButton1);
    btnReset = new TModalSpeedButton(PanelQuery);
    btnReset->setText(Text16(u"重置"));
    btnReset->setMinimumSize(60, 24);
    connect(btnReset, &TModalSpeedButton::OnClick, this, &TFrmXxqtfpMgr::btnResetClick);
    row->addWidget(btnReset);
    row->addStretch(1);
    PanelQuery->setVisible(false);
    return PanelQuery;
}

// The two lines of counts and sums.
QFrame* TFrmXxqtfpMgr::BuildStatistics(QWidget* content) {
    QFrame* statistics = NewBand(content, QStringLiteral("PanelStatistics"), 73);
    auto* box = NewBandLayout<QVBoxLayout>(statistics, 6, 4);
    QLabel* heading = NewLabel(u"统计信息", statistics);
    SetBold(heading);
    lbScope = new QLabel(statistics);
    lbScope->setTextFormat(Qt::RichText);
    // A long line (filters, a bad filter entry) is cut at the window's edge instead of widening
    // the window; the whole of it is the tool tip.
    lbScope->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* headingRow = new QHBoxLayout();
    headingRow->setSpacing(12);
    headingRow->addWidget(heading);
    headingRow->addWidget(lbScope, 1);
    btnTypeStatistics = new QToolButton(statistics);
    btnTypeStatistics->setText(Text16(u"按发票类型统计"));
    btnTypeStatistics->setCheckable(true);
    btnTypeStatistics->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnTypeStatistics->setArrowType(Qt::RightArrow);
    btnTypeStatistics->setAutoRaise(true);
    headingRow->addWidget(btnTypeStatistics);
    box->addLayout(headingRow);

    // Both lines share one grid so that their values stand in columns.
    auto* grid = new QGridLayout();
    grid->setContentsMargins(8, 0, 0, 0);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(4);
    lbFpsl = NewValueLabel(u"0", true, statistics);
    lbje = NewValueLabel(u"0.00", false, statistics);
    lbse = NewValueLabel(u"00.00", false, statistics);
    lbzfzs = NewValueLabel(u"0", true, statistics);
    lbzfje = NewValueLabel(u"0.00", false, statistics);
    lbzfse = NewValueLabel(u"00.00", false, statistics);
    for (QLabel* number : {lbFpsl, lbzfzs}) number->setMinimumWidth(48);
    for (QLabel* money : {lbje, lbse, lbzfje, lbzfse}) money->setMinimumWidth(110);
    const char16_t* captions[2][5] = {{u"共", u"张发票", u"金额 ", u" (元)", u"税额 "},
                                      {u"其中", u"张作废发票", u"金额 ", u" (元)", u"税额 "}};
    QLabel* values[2][3] = {{lbFpsl, lbje, lbse}, {lbzfzs, lbzfje, lbzfse}};
    for (int line = 0; line < 2; ++line) {
        int col = 0;
        grid->addWidget(NewLabel(captions[line][0], statistics), line, col++);
        grid->addWidget(values[line][0], line, col++);
        grid->addWidget(NewLabel(captions[line][1], statistics), line, col++);
        grid->addItem(new QSpacerItem(16, 1, QSizePolicy::Fixed), line, col++);
        grid->addWidget(NewLabel(captions[line][2], statistics), line, col++);
        grid->addWidget(values[line][1], line, col++);
        grid->addWidget(NewLabel(captions[line][3], statistics), line, col++);
        grid->addItem(new QSpacerItem(16, 1, QSizePolicy::Fixed), line, col++);
        grid->addWidget(NewLabel(captions[line][4], statistics), line, col++);
        grid->addWidget(values[line][2], line, col++);
        grid->addWidget(NewLabel(captions[line][3], statistics), line, col++);
        grid->setColumnStretch(col, 1);
    }
    box->addLayout(grid);
    return statistics;
}

// The links 增加 - 修改 - 删除.
QFrame* TFrmXxqtfpMgr::BuildOperations(QWidget* content) {
    QFrame* operations = NewBand(content, QStringLiteral("PanelOperation"), 31);
    auto* row = NewBandLayout<QHBoxLayout>(operations, 0, 4);
    row->addWidget(NewLabel(u"操作：", operations));
    btnAdd = NewLinkButton(u"增加", actAdd, operations);
    row->addWidget(btnAdd);
    row->addWidget(NewLabel(u"－", operations));
    btnModify = NewLinkButton(u"修改 ", ActModify, operations);
    row->addWidget(btnModify);
    row->addWidget(NewLabel(u"－", operations));
    btnDel = NewLinkButton(u"删除", ActDel, operations);
    row->addWidget(btnDel);
    row->addStretch(1);
    return operations;
}

// The invoice list and the hint it shows when empty.
void TFrmXxqtfpMgr::BuildList(QWidget* content) {
    auto* list = new vantrel::TInvoiceListView(content);
    list->OnModify = [this] { ActModify->trigger(); };
    list->OnDelete = [this] { ActDel->trigger(); };
    VSTInvoideCommon = list;
    VSTInvoideCommon->setRootIsDecorated(false);
    VSTInvoideCommon->setItemsExpandable(false);
    VSTInvoideCommon->setUniformRowHeights(true);
    VSTInvoideCommon->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VSTInvoideCommon->setSelectionBehavior(QAbstractItemView::SelectRows);
    VSTInvoideCommon->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VSTInvoideCommon->setItemDelegate(new TGridDelegate(VSTInvoideCommon));
    QHeaderView* header = VSTInvoideCommon->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(true);
    header->setFixedHeight(24);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(VSTInvoideCommon, &QTreeView::doubleClicked, this, &TFrmXxqtfpMgr::VSTInvoideCommonDblClick);
    VSTInvoideCommon->addAction(ActCopy);

    BuildHeaderMenu(header);
    BuildListMenu();

    lbEmptyHint = new QLabel(VSTInvoideCommon->viewport());
    lbEmptyHint->setAlignment(Qt::AlignCenter);
    lbEmptyHint->setWordWrap(true);
    lbEmptyHint->setStyleSheet(QStringLiteral("color: #6b7785;"));
    lbEmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    lbEmptyHint->hide();
    auto* hintLayout = new QVBoxLayout(VSTInvoideCommon->viewport());
    hintLayout->setContentsMargins(20, 20, 20, 20);
    hintLayout->addWidget(lbEmptyHint);
}

// The header's menu (恢复默认列宽) and the widths and sort kept per user.
void TFrmXxqtfpMgr::BuildHeaderMenu(QHeaderView* header) {
    // The widths dragged and the sort are the user's: kept a moment after they change.
    FLayoutSaveTimer = new QTimer(this);
    FLayoutSaveTimer->setSingleShot(true);
    FLayoutSaveTimer->setInterval(300);
    connect(FLayoutSaveTimer, &QTimer::timeout, this, [this] { SaveListLayout(); });
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int size) { ColumnResized(column, size); });
    connect(header, &QHeaderView::sortIndicatorChanged, FLayoutSaveTimer, qOverload<>(&QTimer::start));
    actResetColumns = new QAction(Text16(u"恢复默认列宽"), this);
    connect(actResetColumns, &QAction::triggered, this, [this] { ResetColumnWidths(); });
    HeaderMenu = new QMenu(header);
    HeaderMenu->addAction(actResetColumns);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this,
            [this, header](const QPoint& at) { HeaderMenu->popup(header->mapToGlobal(at)); });
}

// The list's right-click menu.
void TFrmXxqtfpMgr::BuildListMenu() {
    // The menu's entries stand for the operation links' commands, enabled as they are.
    ListMenu = new QMenu(VSTInvoideCommon);
    const std::pair<const char16_t*, QAction*> entries[] = {
        {u"增加", actAdd}, {u"修改", ActModify}, {u"删除", ActDel}, {u"复制", ActCopy}, {u"历史", actHistory}};
    for (const auto& [caption, command] : entries) {
        QAction* entry = ListMenu->addAction(Text16(caption));
        if (command == actHistory) ListMenu->insertSeparator(entry);
        if (command == ActCopy) {
            entry->setShortcut(QKeySequence::Copy);  // shown; the list's own shortcut does the work
            entry->setShortcutContext(Qt::WidgetShortcut);
        }
        entry->setEnabled(command->isEnabled());
        connect(command, &QAction::enabledChanged, entry, &QAction::setEnabled);
        connect(entry, &QAction::triggered, command, &QAction::trigger);
    }
    VSTInvoideCommon->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(VSTInvoideCommon, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (VSTInvoideCommon->indexAt(at).isValid()) ListMenu->popup(VSTInvoideCommon->viewport()->mapToGlobal(at));
    });
}

void TFrmXxqtfpMgr::FormCreate() {
    Tfrm_CustomEx::FormCreate();
    FListModel = new vantrel::TInvoiceListModel(this);
    FListModel->SetList(&FInvoiceList);
    FListModel->SetTextProc(&TFrmXxqtfpMgr::VSTInvoideCommonGetText);
    VSTInvoideCommon->setModel(FListModel);
    SetupListColumns(VSTInvoideCommon, InvoiceListColumns);
    FInvoiceList.clear();
    LoadInvoiceConfig(FContext, "xxqtfp");
    AttachListDecorator(VSTInvoideCommon);
    // Compact widths in the header's own font, which the decorator sets; then the user's.
    {
        const std::vector<int> widths = CompactColumnWidths();
        const TBusyFlag fitting(FFittingColumns);
        for (size_t column = 0; column < widths.size(); ++column)
            VSTInvoideCommon->header()->resizeSection(static_cast<int>(column), widths[column]);
    }
    RestoreListLayout();
    VSTInvoideCommon->header()->setSortIndicator(FListModel->SortColumn(), FListModel->SortOrder());
}

void TFrmXxqtfpMgr::ApplySkin() {
    Tfrm_CustomEx::ApplySkin();
}

void TFrmXxqtfpMgr::showEvent(QShowEvent* event) {
    Tfrm_CustomEx::showEvent(event);
    // Restoring a minimised window is no new showing.
    if (!event->spontaneous()) FormShow();
}

void TFrmXxqtfpMgr::FormShow() {
    FReadOnly = DBIsReadOnly(FContext.connection);
    for (QAction* change : {actAdd, ActModify, ActDel, actImport, actImportEInvoice, actUndo})
        change->setEnabled(!FReadOnly);
    FillInvoiceTypeCombo(cbbFplx, FContext);
    VSTInvoideCommon->setFocus(Qt::OtherFocusReason);
    LoadInvoiceList("", "");
    ComputeNextXh();
}

void TFrmXxqtfpMgr::FormDestroy() {
    if (FDestroyed) return;
    FDestroyed = true;
    if (FLayoutSaveTimer->isActive()) SaveListLayout();
    Tfrm_CustomEx::FormDestroy();
    if (FListModel) FListModel->ResetRows(0);  // no row may point at a released record
    FreeInvoiceList(FInvoiceList);
    DetachListDecorator(VSTInvoideCommon);
}

void TFrmXxqtfpMgr::btnQueryClick() {
    const bool visible = !PanelQuery->isVisible();
    PanelQuery->setVisible(visible);
    actQueryPanel->setChecked(visible);
}

void TFrmXxqtfpMgr::ActQueryExecute() {
    const std::string fplx = cbbFplx->SelectedValue();
    LoadInvoiceList(fplx, vantrel::TrimBlanks(edtghfsh->Text()));
}

void TFrmXxqtfpMgr::btnResetClick() {
    cbbFplx->SetItemIndex(0);
    edtghfsh->SetText(std::string());
}

void TFrmXxqtfpMgr::ActCloseExecute() {
    close();
}

void TFrmXxqtfpMgr::VSTInvoideCommonDblClick(const QModelIndex& index) {
    if (!index.isValid() || !ListModel() || !ActModify->isEnabled()) return;
    if (Txxqtfpxx* record = ListModel()->RecordAt(index.row())) ModifyRecord(record);
}

void TFrmXxqtfpMgr::ActCopyExecute() {
    vantrel::TInvoiceListModel* model = ListModel();
    if (!model) return;
    std::vector<int> rows = model->CheckedRows();
    if (rows.empty() && VSTInvoideCommon->currentIndex().isValid()) rows.push_back(VSTInvoideCommon->currentIndex().row());
    if (!rows.empty()) QGuiApplication::clipboard()->setText(vantrel::InvoiceListText(VSTInvoideCommon, rows));
}

void TFrmXxqtfpMgr::FocusFilter() {
    if (!PanelQuery->isVisible()) btnQueryClick();
    edtghfsh->setFocus(Qt::ShortcutFocusReason);
    edtghfsh->selectAll();
}

void TFrmXxqtfpMgr::ShowRecord(const Txxqtfpxx* record) {
    const int row = ListModel() ? ListModel()->RowOf(record) : -1;
    if (row < 0) return;
    const QModelIndex cell = ListModel()->index(row, vantrel::ColFplxmc);
    VSTInvoideCommon->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    VSTInvoideCommon->scrollTo(cell);
}

void TFrmXxqtfpMgr::UpdateScope() {
    QString text = QString::fromUtf16(u"纳税人识别号 %1　所属期 %2")
                       .arg(GbkToQString(FContext.taxpayer).toHtmlEscaped(),
                            GbkToQString(vantrel::PeriodCaption(FContext.period)).toHtmlEscaped());
    QStringList filters;
    if (!FShownFplx.empty()) {
        const int index = cbbFplx->IndexOfValue(FShownFplx);
        const std::string name = index >= 0 ? cbbFplx->Items()[static_cast<size_t>(index)] : FShownFplx;
        filters << QString::fromUtf16(u"发票类型为“%1”").arg(GbkToQString(name).toHtmlEscaped());
    }
    if (!FShownGfnsr.empty())
        filters << QString::fromUtf16(u"购方税号含“%1”").arg(GbkToQString(FShownGfnsr).toHtmlEscaped());
    if (!filters.isEmpty())
        text += QString::fromUtf16(u"　<span style=\"color:#b3470b; font-weight:bold;\">已筛选：%1（按“重置”后再查询可显示全部）</span>")
                    .arg(filters.join(QString::fromUtf16(u"，")));
    const int shownRows = ListModel() ? ListModel()->rowCount() : 0;
    if (FFilter.Active())
        text += QString::fromUtf16(u"　<span style=\"color:#1d4f91; font-weight:bold;\">筛选后显示 %1 / %2 张</span>")
                    .arg(shownRows)
                    .arg(FInvoiceList.size());
    if (!FFilterError.isEmpty())
        text += QString::fromUtf16(u"　<span style=\"color:#c0392b; font-weight:bold;\">筛选条件有误：%1（未应用）</span>")
                    .arg(FFilterError.toHtmlEscaped());
    if (FReadOnly)
        text += QString::fromUtf16(u"　<span style=\"color:#b3470b; font-weight:bold;\">数据库是只读的：不能增加、修改、删除或导入发票</span>");
    lbScope->setText(text);
    lbScope->setToolTip(text);

    const bool empty = shownRows == 0;
    if (empty) {
        lbEmptyHint->setText(FFilter.Active() && !FInvoiceList.empty()
                                 ? QString::fromUtf16(u"没有符合筛选条件的发票。")
                             : filters.isEmpty()
                                 ? QString::fromUtf16(u"本所属期还没有录入其它销项发票。\n按 Insert（或点击“增加”）录入第一张。")
                                 : QString::fromUtf16(u"没有符合查询条件的发票。"));
    }
    lbEmptyHint->setVisible(empty);
}

void TFrmXxqtfpMgr::LoadInvoiceList(const std::string& fplx, const std::string& gfnsr) {
    // The waiting window paints while the list loads; a request that reaches this window
    // meanwhile (a posted click on 查询, a second window's start) finds the load running and
    // is dropped, and a close waits for the end of the load.
    if (FLoading) return;
    {
        const TBusyFlag loading(FLoading);
        FShownFplx = fplx;
        FShownGfnsr = gfnsr;
        if (FListModel) FListModel->ResetRows(0);
        FreeInvoiceList(FInvoiceList);
        {
            TStatusGuard status("请稍候，正在读取数据...");
            const vantrel::TStoreOutcome read = vantrel::ModuleInvoiceStore(FContext).LoadList(fplx, gfnsr, FInvoiceList);
            if (!read.Ok()) InforMsg(vantrel::kMsgListReadFailed, vantrel::ReasonLine(read.error), 1);
        }
        RefreshStatistics();
    }
    if (FCloseAfterLoad) {
        FCloseAfterLoad = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void TFrmXxqtfpMgr::closeEvent(QCloseEvent* event) {
    if (FLoading) {
        FCloseAfterLoad = true;
        event->ignore();
        return;
    }
    if (FLayoutSaveTimer->isActive()) SaveListLayout();
    Tfrm_CustomEx::closeEvent(event);
}

void TFrmXxqtfpMgr::ReloadInvoiceList() {
    LoadInvoiceList(FShownFplx, FShownGfnsr);
    KeepNextXhAhead();
}

std::string TFrmXxqtfpMgr::FlagText(const std::string& value, const std::string& setValue) {
    return value == setValue ? "是" : "否";
}

std::string TFrmXxqtfpMgr::IssueDateText(const std::string& kprq, const std::string& typeName) {
    return typeName == "未开具发票" ? std::string() : kprq;
}

std::string TFrmXxqtfpMgr::VSTInvoideCommonGetText(const Txxqtfpxx& r, int column) {
    switch (column) {
    case vantrel::ColFplxmc: return r.fplxmc;
    case vantrel::ColKprq: return IssueDateText(r.kprq, r.fplxmc);
    case vantrel::ColFs: return std::to_string(r.fs);
    case vantrel::ColJe: return vantrel::AmountText(r.je);
    case vantrel::ColSe: return vantrel::AmountText(r.se);
    case vantrel::ColGfnsr: return r.gfnsr;
    case vantrel::ColMs: return FlagText(r.ms, "1");
    case vantrel::ColLwfp: return FlagText(r.lwfp, "1");
    case vantrel::ColZfbz: return FlagText(r.zfbz, "1");
    case vantrel::ColJzjt: return FlagText(r.jzjt, "1");
    default: return std::string();
    }
}

int TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes(const Txxqtfpxx& a, const Txxqtfpxx& b, int column) {
    switch (column) {
    case vantrel::ColFplxmc: return CompareText(a.fplxmc, b.fplxmc);
    case vantrel::ColKprq: return CompareText(a.kprq, b.kprq);
    case vantrel::ColFs: return CompareNumber(a.fs, b.fs);
    case vantrel::ColJe: return CompareNumber(a.je, b.je);
    case vantrel::ColSe: return CompareNumber(a.se, b.se);
    case vantrel::ColGfnsr: return CompareText(a.gfnsr, b.gfnsr);
    case vantrel::ColMs: return CompareText(a.ms, b.ms);
    case vantrel::ColLwfp: return CompareText(a.lwfp, b.lwfp);
    case vantrel::ColZfbz: return CompareText(a.zfbz, b.zfbz);
    case vantrel::ColJzjt: return CompareText(a.jzjt, b.jzjt);
    default: return 0;
    }
}

void TFrmXxqtfpMgr::RefreshStatistics() {
    // The figures are those of the rows shown: all rows read unless the filter row hides some.
    ResetListRows(VSTInvoideCommon, static_cast<int>(FInvoiceList.size()));
    std::vector<Txxqtfpxx*> shown;
    shown.reserve(static_cast<size_t>(ListModel()->rowCount()));
    for (int row = 0; row < ListModel()->rowCount(); ++row) shown.push_back(ListModel()->RecordAt(row));
    const vantrel::TInvoiceStatistics s = vantrel::ComputeStatistics(shown);
    lbFpsl->setText(QString::number(shown.size()));
    lbje->setText(GbkToQString(vantrel::FixedToText(s.amount)));
    lbse->setText(GbkToQString(vantrel::FixedToText(s.tax)));
    lbzfzs->setText(QString::number(s.voidCount));
    lbzfje->setText(GbkToQString(vantrel::FixedToText(s.voidAmount)));
    lbzfse->setText(GbkToQString(vantrel::FixedToText(s.voidTax)));
    FillTypeStatistics(shown, s);
    FitListColumns();
    UpdateScope();
}

std::vector<int> TFrmXxqtfpMgr::CompactColumnWidths() const {
    const vantrel::TInvoiceListModel* model = ListModel();
    std::vector<int> widths(model ? static_cast<size_t>(model->columnCount()) : 0, 0);
    if (!model) return widths;
    const QHeaderView* header = VSTInvoideCommon->header();
    const QStyle* style = header->style();
    const QFontMetrics captionMetrics(header->font());
    const QFontMetrics cellMetrics(VSTInvoideCommon->font());
    constexpr int kCellPadding = 12;
    const int headerMargin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    // Any column but the check column may become the sort column: room for its arrow.
    const int captionPadding = 2 * headerMargin + style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 6;
    // An 18-character buyer id and a date always fit; amounts, type names and longer ids as
    // the list holds them. Only the longest texts can be the widest: measuring every row of a
    // long list would cost more than reading it. One pass finds them all.
    std::vector<std::string> buyers{"91440300MA5F3KXL2W"};
    std::vector<std::string> types;
    size_t longest = buyers.front().size();
    size_t longestType = 0;
    double jeLow = 0, jeHigh = 0, seLow = 0, seHigh = 0;
    for (const Txxqtfpxx* r : FInvoiceList) {
        const size_t size = r->gfnsr.size();
        if (size >= longest) {
            if (size > longest) buyers.clear();
            if (buyers.size() < 16) buyers.push_back(r->gfnsr);
            longest = size;
        }
        if (r->fplxmc.size() >= longestType) {
            if (r->fplxmc.size() > longestType) types.clear();
            if (types.size() < 8 && std::find(types.begin(), types.end(), r->fplxmc) == types.end()) types.push_back(r->fplxmc);
            longestType = r->fplxmc.size();
        }
        jeLow = std::min(jeLow, r->je);
        jeHigh = std::max(jeHigh, r->je);
        seLow = std::min(seLow, r->se);
        seHigh = std::max(seHigh, r->se);
    }
    for (int column = 0; column < model->columnCount(); ++column) {
        const int caption = captionMetrics.horizontalAdvance(GbkToQString(model->ColumnDef(column).caption));
        int needed = caption + captionPadding;
        std::vector<std::string> candidates;
        switch (column) {
        case vantrel::ColSelect:
            needed = std::max(caption + 2 * headerMargin + 8,
                              style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, VSTInvoideCommon) + kCellPadding + 8);
            break;
        case vantrel::ColFplxmc: candidates = types; break;
        case vantrel::ColKprq: candidates = {"0000-00-00"}; break;
        case vantrel::ColFs: candidates = {"000"}; break;
        case vantrel::ColJe: candidates = {"0000000.00", vantrel::AmountText(jeLow), vantrel::AmountText(jeHigh)}; break;
        case vantrel::ColSe: candidates = {"000000.00", vantrel::AmountText(seLow), vantrel::AmountText(seHigh)}; break;
        case vantrel::ColGfnsr: candidates = buyers; break;
        default: break;
        }
        for (const std::string& text : candidates)
            needed = std::max(needed, cellMetrics.horizontalAdvance(GbkToQString(text)) + kCellPadding);
        widths[static_cast<size_t>(column)] = needed;
    }
    return widths;
}

void TFrmXxqtfpMgr::FitListColumns() {
    const std::vector<int> needed = CompactColumnWidths();
    QHeaderView* header = VSTInvoideCommon->header();
    const TBusyFlag fitting(FFittingColumns);
    for (size_t column = 0; column < needed.size(); ++column) {
        const int section = static_cast<int>(column);
        if (column < FUserWidths.size() && FUserWidths[column] > 0) continue;
        if (header->sectionSize(section) < needed[column]) header->resizeSection(section, needed[column]);
    }
}

void TFrmXxqtfpMgr::ResetColumnWidths() {
    const std::vector<int> needed = CompactColumnWidths();
    FUserWidths.assign(needed.size(), 0);
    {
        const TBusyFlag fitting(FFittingColumns);
        for (size_t column = 0; column < needed.size(); ++column)
            VSTInvoideCommon->header()->resizeSection(static_cast<int>(column), needed[column]);
    }
    SaveListLayout();
}

void TFrmXxqtfpMgr::ColumnResized(int column, int newSize) {
    if (FFittingColumns || column < 0 || column >= static_cast<int>(FUserWidths.size())) return;
    FUserWidths[static_cast<size_t>(column)] = newSize;
    FLayoutSaveTimer->start();
}

namespace {

// The user's settings of the module, beside the client's own (~/.config/Vantrel/).
const QString kSettingsOrganization = QStringLiteral("Vantrel");
const QString kSettingsFile = QStringLiteral("vantrel");
const QString kColumnWidthsKey = QStringLiteral("invoiceList/columnWidths");
const QString kSortColumnKey = QStringLiteral("invoiceList/sortColumn");
const QString kSortDescendingKey = QStringLiteral("invoiceList/sortDescending");

}  // namespace

void TFrmXxqtfpMgr::RestoreListLayout() {
    const int columns = ListModel()->columnCount();
    FUserWidths.assign(static_cast<size_t>(columns), 0);
    const QSettings settings(kSettingsOrganization, kSettingsFile);
    const QStringList widths = settings.value(kColumnWidthsKey).toString().split(u',');
    if (widths.size() == columns) {
        const TBusyFlag fitting(FFittingColumns);
        for (int column = 0; column < columns; ++column) {
            const int width = widths[column].toInt();
            if (width <= 0 || width > 2000) continue;
            FUserWidths[static_cast<size_t>(column)] = width;
            VSTInvoideCommon->header()->resizeSection(column, width);
        }
    }
    const int sortColumn = settings.value(kSortColumnKey, -1).toInt();
    if (sortColumn > vantrel::ColSelect && sortColumn < columns)
        ListModel()->sort(sortColumn, settings.value(kSortDescendingKey).toBool() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TFrmXxqtfpMgr::SaveListLayout() {
    FLayoutSaveTimer->stop();
    if (!ListModel()) return;
    QStringList widths;
    for (int width : FUserWidths) widths << QString::number(width);
    QSettings settings(kSettingsOrganization, kSettingsFile);
    settings.setValue(kColumnWidthsKey, widths.join(u','));
    settings.setValue(kSortColumnKey, ListModel()->SortColumn());
    settings.setValue(kSortDescendingKey, ListModel()->SortOrder() == Qt::DescendingOrder);
}

namespace {

// Flags of the filter row, in the order of the list's columns.
constexpr std::string Txxqtfpxx::*kFilterFlags[4] = {&Txxqtfpxx::ms, &Txxqtfpxx::lwfp, &Txxqtfpxx::zfbz, &Txxqtfpxx::jzjt};
constexpr const char16_t* kFilterFlagCaptions[4] = {u"免税", u"劳务发票", u"作废", u"即征即退"};
constexpr const char* kFilterFlagNames[4] = {"Ms", "Lwfp", "Zfbz", "Jzjt"};

void MarkInvalid(QLineEdit* edit, const QString& problem) {
    edit->setStyleSheet(problem.isEmpty() ? QString() : QStringLiteral("QLineEdit { border: 1px solid #c0392b; background: #fdecea; }"));
    edit->setToolTip(problem);
}

}  // namespace

bool TFrmXxqtfpMgr::TListFilter::Active() const {
    return !dateFrom.empty() || !dateTo.empty() || amountFrom != INT64_MIN || amountTo != INT64_MAX ||
           std::any_of(std::begin(flags), std::end(flags), [](int f) { return f != 0; }) || !text.isEmpty();
}

bool TFrmXxqtfpMgr::TListFilter::Matches(const Txxqtfpxx& r) const {
    if (!dateFrom.empty() || !dateTo.empty()) {
        // A row without a date shown (未开具发票) has none to be in the range.
        const std::string date = IssueDateText(r.kprq, r.fplxmc).substr(0, 10);
        if (date.empty() || (!dateFrom.empty() && date < dateFrom) || (!dateTo.empty() && date > dateTo)) return false;
    }
    const int64_t amount = vantrel::MoneyToFixed(r.je);
    if (amount < amountFrom || amount > amountTo) return false;
    for (int flag = 0; flag < 4; ++flag)
        if (flags[flag] != 0 && (r.*kFilterFlags[flag] == "1") != (flags[flag] == 1)) return false;
    if (text.isEmpty()) return true;
    for (int column = vantrel::ColFplxmc; column < vantrel::InvoiceListColumnCount; ++column)
        if (GbkToQString(VSTInvoideCommonGetText(r, column)).contains(text, Qt::CaseInsensitive)) return true;
    return false;
}

// 筛选： 日期 [from] 至 [to]  金额 [from] 至 [to]  [标志]  [text]  清除筛选
QFrame* TFrmXxqtfpMgr::BuildFilterRow(QWidget* content) {
    PanelFilter = NewBand(content, QStringLiteral("PanelFilter"), 34);
    auto* row = NewBandLayout<QHBoxLayout>(PanelFilter, 0, 4);
    FFilterTimer = new QTimer(this);
    FFilterTimer->setSingleShot(true);
    FFilterTimer->setInterval(250);
    connect(FFilterTimer, &QTimer::timeout, this, [this] { ApplyListFilter(); });
    const QFontMetrics metrics(PanelFilter->font());
    const auto edit = [&](const char16_t* placeholder, const QString& widest) {
        auto* field = new QLineEdit(PanelFilter);
        field->setPlaceholderText(Text16(placeholder));
        field->setFixedWidth(std::max(metrics.horizontalAdvance(widest), metrics.horizontalAdvance(field->placeholderText())) + 14);
        connect(field, &QLineEdit::textEdited, FFilterTimer, qOverload<>(&QTimer::start));
        connect(field, &QLineEdit::returnPressed, this, [this] { ApplyListFilter(); });
        row->addWidget(field);
        return field;
    };
    const QString date = QStringLiteral("0000-00-00"), amount = QStringLiteral("000000.00");
    row->addWidget(NewLabel(u"筛选：", PanelFilter));
    row->addWidget(NewLabel(u"日期", PanelFilter));
    edtDateFrom = edit(u"起", date);
    row->addWidget(NewLabel(u"至", PanelFilter));
    edtDateTo = edit(u"止", date);
    row->addSpacing(8);
    row->addWidget(NewLabel(u"金额", PanelFilter));
    edtAmountFrom = edit(u"不限", amount);
    row->addWidget(NewLabel(u"至", PanelFilter));
    edtAmountTo = edit(u"不限", amount);
    row->addSpacing(8);
    for (QLineEdit* field : {edtDateFrom, edtDateTo})
        field->setToolTip(Text16(u"开票日期，如 2026-11-05；未开具发票没有开票日期，按日期筛选时不显示"));

    btnFilterFlags = new QToolButton(PanelFilter);
    btnFilterFlags->setPopupMode(QToolButton::InstantPopup);
    auto* flagsMenu = new QMenu(btnFilterFlags);
    flagsMenu->setObjectName(QStringLiteral("FilterFlagsMenu"));
    for (int flag = 0; flag < 4; ++flag) {
        flagsMenu->addSection(Text16(kFilterFlagCaptions[flag]));
        FFlagGroups[flag] = new QActionGroup(flagsMenu);
        const char16_t* choices[3] = {u"不限", u"是", u"否"};
        const char* suffixes[3] = {"Any", "Yes", "No"};
        for (int choice = 0; choice < 3; ++choice) {
            QAction* action = flagsMenu->addAction(Text16(choices[choice]));
            action->setObjectName(QStringLiteral("flag%1%2").arg(QLatin1String(kFilterFlagNames[flag]), QLatin1String(suffixes[choice])));
            action->setCheckable(true);
            action->setChecked(choice == 0);
            action->setData(choice);
            FFlagGroups[flag]->addAction(action);
        }
        connect(FFlagGroups[flag], &QActionGroup::triggered, this, [this] { ApplyListFilter(); });
    }
    btnFilterFlags->setMenu(flagsMenu);
    // Room for the menu's arrow: without it the arrow is drawn over the caption's last character.
    btnFilterFlags->setStyleSheet(QStringLiteral("QToolButton { padding-right: 14px; }"));
    btnFilterFlags->setText(Text16(u"标志：不限"));
    row->addWidget(btnFilterFlags);
    row->addSpacing(8);
    edtFilterText = edit(u"含文字（任一列）", QStringLiteral("91440300MA5F3K"));
    btnClearFilter = new QPushButton(Text16(u"清除筛选"), PanelFilter);
    connect(btnClearFilter, &QPushButton::clicked, this, [this] { ClearListFilter(); });
    row->addWidget(btnClearFilter);
    row->addStretch(1);
    return PanelFilter;
}

void TFrmXxqtfpMgr::ApplyListFilter() {
    FFilterTimer->stop();
    TListFilter next;
    QStringList problems;
    const auto readDate = [&problems](QLineEdit* field, std::string& into) {
        const QString text = field->text().trimmed();
        QString problem;
        if (!text.isEmpty()) {
            const QDate date = vantrel::DateOfText(QStringToGbk(text));
            if (date.isValid()) into = QStringToGbk(date.toString(QStringLiteral("yyyy-MM-dd")));
            else problem = QString::fromUtf16(u"“%1”不是日期（如 2026-11-05）").arg(text);
        }
        MarkInvalid(field, problem);
        if (!problem.isEmpty()) problems << problem;
    };
    const auto readAmount = [&problems](QLineEdit* field, int64_t& into) {
        QString text = field->text().trimmed();
        text.remove(u',').remove(u'¥');
        QString problem;
        if (!text.isEmpty()) {
            bool ok = false;
            const double value = QLocale::c().toDouble(text, &ok);
            if (ok && std::isfinite(value) && std::fabs(value) < 1e15) into = vantrel::MoneyToFixed(value);
            else problem = QString::fromUtf16(u"金额“%1”不是数字").arg(field->text().trimmed());
        }
        MarkInvalid(field, problem);
        if (!problem.isEmpty()) problems << problem;
    };
    readDate(edtDateFrom, next.dateFrom);
    readDate(edtDateTo, next.dateTo);
    readAmount(edtAmountFrom, next.amountFrom);
    readAmount(edtAmountTo, next.amountTo);
    if (!next.dateFrom.empty() && !next.dateTo.empty() && next.dateFrom > next.dateTo) {
        problems << QString::fromUtf16(u"起始日期晚于截止日期");
        for (QLineEdit* field : {edtDateFrom, edtDateTo}) MarkInvalid(field, problems.back());
    }
    if (next.amountFrom != INT64_MIN && next.amountTo != INT64_MAX && next.amountFrom > next.amountTo) {
        problems << QString::fromUtf16(u"金额下限大于上限");
        for (QLineEdit* field : {edtAmountFrom, edtAmountTo}) MarkInvalid(field, problems.back());
    }
    QStringList flagTexts;
    for (int flag = 0; flag < 4; ++flag) {
        const QAction* chosen = FFlagGroups[flag]->checkedAction();
        next.flags[flag] = chosen ? chosen->data().toInt() : 0;
        if (next.flags[flag] != 0) flagTexts << Text16(kFilterFlagCaptions[flag]) + Text16(next.flags[flag] == 1 ? u"是" : u"否");
    }
    btnFilterFlags->setText(Text16(u"标志：") + (flagTexts.isEmpty() ? Text16(u"不限") : flagTexts.join(u'，')));
    next.text = edtFilterText->text().trimmed();
    FFilterError = problems.join(QString::fromUtf16(u"；"));
    if (!problems.isEmpty()) {
        UpdateScope();
        return;
    }
    FFilter = next;
    if (FFilter.Active())
        ListModel()->SetRowFilter([this](const Txxqtfpxx& r) { return FFilter.Matches(r); });
    else
        ListModel()->SetRowFilter(nullptr);
    RefreshStatistics();
}

void TFrmXxqtfpMgr::ClearListFilter() {
    for (QLineEdit* field : {edtDateFrom, edtDateTo, edtAmountFrom, edtAmountTo, edtFilterText}) field->clear();
    for (QActionGroup* group : FFlagGroups) group->actions().front()->setChecked(true);
    ApplyListFilter();
}

QWidget* TFrmXxqtfpMgr::BuildTypeStatistics(QWidget* content) {
    TypeStatistics = new QTreeWidget(content);
    TypeStatistics->setRootIsDecorated(false);
    TypeStatistics->setSelectionMode(QAbstractItemView::NoSelection);
    TypeStatistics->setFocusPolicy(Qt::NoFocus);
    TypeStatistics->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TypeStatistics->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QStringList captions;
    for (const char16_t* caption : {u"发票类型", u"张数（含作废）", u"金额（不含作废）", u"税额（不含作废）",
                                    u"作废张数", u"作废金额", u"作废税额"})
        captions << Text16(caption);
    TypeStatistics->setHeaderLabels(captions);
    TypeStatistics->header()->setStretchLastSection(false);
    TypeStatistics->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TypeStatistics->hide();
    connect(btnTypeStatistics, &QToolButton::toggled, this, [this](bool open) {
        btnTypeStatistics->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        TypeStatistics->setVisible(open);
    });
    return TypeStatistics;
}

void TFrmXxqtfpMgr::FillTypeStatistics(const std::vector<Txxqtfpxx*>& shown, const vantrel::TInvoiceStatistics& all) {
    std::map<std::string, std::vector<Txxqtfpxx*>> byType;
    for (Txxqtfpxx* r : shown) byType[r->fplxmc].push_back(r);
    TypeStatistics->clear();
    const auto addLine = [this](const std::string& caption, const vantrel::TInvoiceStatistics& s, bool bold) {
        auto* item = new QTreeWidgetItem(TypeStatistics, QStringList{GbkToQString(caption),
                                                                     QString::number(s.count),
                                                                     GbkToQString(vantrel::FixedToText(s.amount)),
                                                                     GbkToQString(vantrel::FixedToText(s.tax)),
                                                                     QString::number(s.voidCount),
                                                                     GbkToQString(vantrel::FixedToText(s.voidAmount)),
                                                                     GbkToQString(vantrel::FixedToText(s.voidTax))});
        for (int column = 1; column < item->columnCount(); ++column) item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (bold) {
            QFont font = item->font(0);
            font.setBold(true);
            for (int column = 0; column < item->columnCount(); ++column) item->setFont(column, font);
        }
    };
    for (const auto& [type, records] : byType) addLine(type, vantrel::ComputeStatistics(records), false);
    addLine("合计", all, true);
    const int rows = TypeStatistics->topLevelItemCount();
    const int rowHeight = std::max(TypeStatistics->sizeHintForRow(0), 18);
    TypeStatistics->setFixedHeight(TypeStatistics->header()->sizeHint().height() + rows * rowHeight + 2 * TypeStatistics->frameWidth() + 2);
}

void TFrmXxqtfpMgr::ComputeNextXh() { FNextXh = vantrel::NextXhAfter(FInvoiceList); }

void TFrmXxqtfpMgr::KeepNextXhAhead() {
    // The list shown may be filtered: only the whole period knows the largest number.
    int32_t next = 0;
    if (vantrel::ModuleInvoiceStore(FContext).NextFreeXh(next).Ok()) FNextXh = std::max(FNextXh, next);
}

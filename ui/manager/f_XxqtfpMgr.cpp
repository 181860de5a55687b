#include "ui/manager/f_XxqtfpMgr.h"

#include "host/corlith_api.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/controls/PellowComboBox.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_Colors.h"
#include "ui/common/f_LookupCombos.h"
#include "ui/common/f_Status.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_doohckey.h"
#include "ui/preview/f_ReturnPreview.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

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

QPixmap QueryIcon() {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 2.4));
    p.setBrush(QColor(0xDD, 0xEB, 0xFA));
    p.drawEllipse(QRectF(3.5, 3.5, 12, 12));
    p.setPen(QPen(QColor(0x6B, 0x4A, 0x2A), 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14.5, 14.5), QPointF(20.5, 20.5));
    return pixmap;
}

QLabel* NewLabel(const char16_t* caption, QWidget* parent) {
    auto* label = new QLabel(Text16(caption), parent);
    return label;
}

QLabel* NewValueLabel(const char16_t* caption, bool bold, QWidget* parent) {
    auto* label = new QLabel(Text16(caption), parent);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* NewLinkButton(const char16_t* caption, QAction* action, QWidget* parent) {
    auto* button = new QPushButton(Text16(caption), parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; padding: 0 3px; color: #1c5aa6; background: transparent; }"
        "QPushButton:hover { color: #d9480f; text-decoration: underline; }"
        "QPushButton:disabled { color: #9a9a9a; }"));
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

// The waiting window goes away on every path out of a read.
struct TStatusGuard {
    explicit TStatusGuard(const std::string& text) { ShowStatus(text); }
    ~TStatusGuard() { HideStatus(); }
    TStatusGuard(const TStatusGuard&) = delete;
    TStatusGuard& operator=(const TStatusGuard&) = delete;
};

}  // namespace

TFrmXxqtfpMgr::TFrmXxqtfpMgr(QWidget* parent) : Tfrm_CustomEx(parent) {
    setWindowTitle(Text16(u"其它销项发票"));
    resize(776, 531);
    BuildControls();
    FormCreate();
}

TFrmXxqtfpMgr::~TFrmXxqtfpMgr() {
    FormDestroy();
}

void TFrmXxqtfpMgr::BuildControls() {
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

    actQueryPanel = new QAction(QIcon(QueryIcon()), Text16(u"查询..."), this);
    actQueryPanel->setIconText(actQueryPanel->text());  // keeps the dots that iconText() would drop
    actQueryPanel->setCheckable(true);
    btnQuery = AddToolAction(actQueryPanel);
    // The pressed state always follows the panel's visibility (btnQueryClick).
    connect(actQueryPanel, &QAction::triggered, this, [this] { btnQueryClick(); });
    ActPreview = new QAction(PreviewCommandIcon(), Text16(u"申报预览"), this);
    AddToolAction(ActPreview);
    connect(ActPreview, &QAction::triggered, this, [this] { ActPreviewExecute(); });
    ActPrint = new QAction(PrintCommandIcon(), Text16(u"打印"), this);
    AddToolAction(ActPrint);
    connect(ActPrint, &QAction::triggered, this, [this] { ActPrintExecute(); });

    QWidget* content = ContentArea();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    PanelQuery = new QFrame(content);
    PanelQuery->setObjectName(QStringLiteral("PanelQuery"));
    PanelQuery->setFixedHeight(45);
    PanelQuery->setFrameShape(QFrame::NoFrame);
    {
        auto* row = new QHBoxLayout(PanelQuery);
        row->setContentsMargins(12, 0, 12, 0);
        row->setSpacing(6);
        row->addWidget(NewLabel(u"发票类型：", PanelQuery));
        cbbFplx = new TPellowComboBox(PanelQuery);
        cbbFplx->setFixedWidth(121);
        row->addWidget(cbbFplx);
        row->addSpacing(14);
        row->addWidget(NewLabel(u"购方税号：", PanelQuery));
        edtghfsh = new TPellowEdit(PanelQuery);
        edtghfsh->setFixedWidth(120);
        row->addWidget(edtghfsh);
        row->addSpacing(14);
        ModalSpeedButton1 = new TModalSpeedButton(PanelQuery);
        // Bound to ActQuery but captioned on its own, so no action change can rename it.
        ModalSpeedButton1->setText(Text16(u"查询"));
        ModalSpeedButton1->OnClick = [this](TModalSpeedButton*) { ActQuery->trigger(); };
        connect(ActQuery, &QAction::enabledChanged, ModalSpeedButton1, &QWidget::setEnabled);
        ModalSpeedButton1->setMinimumSize(60, 24);
        row->addWidget(ModalSpeedButton1);
        btnReset = new TModalSpeedButton(PanelQuery);
        btnReset->setText(Text16(u"重置"));
        btnReset->setMinimumSize(60, 24);
        btnReset->OnClick = [this](TModalSpeedButton*) { btnResetClick(); };
        row->addWidget(btnReset);
        row->addStretch(1);
    }
    PanelQuery->setVisible(false);
    column->addWidget(PanelQuery);

    auto* statistics = new QFrame(content);
    statistics->setObjectName(QStringLiteral("PanelStatistics"));
    statistics->setFixedHeight(73);
    {
        auto* box = new QVBoxLayout(statistics);
        box->setContentsMargins(12, 6, 12, 6);
        box->setSpacing(4);
        QLabel* heading = NewLabel(u"统计信息", statistics);
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
        box->addWidget(heading);

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
    }
    column->addWidget(statistics);

    auto* operations = new QFrame(content);
    operations->setObjectName(QStringLiteral("PanelOperation"));
    operations->setFixedHeight(31);
    {
        auto* row = new QHBoxLayout(operations);
        row->setContentsMargins(12, 0, 12, 0);
        row->setSpacing(4);
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
    }
    column->addWidget(operations);

    VSTInvoideCommon = new QTreeView(content);
    VSTInvoideCommon->setObjectName(QStringLiteral("VSTInvoideCommon"));
    VSTInvoideCommon->setRootIsDecorated(false);
    VSTInvoideCommon->setItemsExpandable(false);
    VSTInvoideCommon->setUniformRowHeights(true);
    VSTInvoideCommon->setAllColumnsShowFocus(false);  // no focus band: the ticks show the selection
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
    column->addWidget(VSTInvoideCommon, 1);
}

void TFrmXxqtfpMgr::FormCreate() {
    Tfrm_CustomEx::FormCreate();
    FListModel = new TInvoiceListModel(this);
    FListModel->SetInitProc([this](int row) { return VSTInvoideCommonInitNode(row); });
    FListModel->SetTextProc(&TFrmXxqtfpMgr::VSTInvoideCommonGetText);
    FListModel->SetCompareProc(&TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes);
    VSTInvoideCommon->setModel(FListModel);
    SetupListColumns(VSTInvoideCommon, InvoiceListColumns);
    FInvoiceList.clear();
    if (SubAppVo* vo = GetCurSubAppVo()) {
        FNsrsbh = vo->GetText("curcompany");
        FKjny = vo->GetText("curKJNY");
    }
    LoadInvoiceConfig("xxqtfp");
    AttachListDecorator(VSTInvoideCommon);
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
    FillInvoiceTypeCombo(cbbFplx);
    LoadInvoiceList("", "");
    ComputeNextXh();
}

void TFrmXxqtfpMgr::FormDestroy() {
    if (FDestroyed) return;
    FDestroyed = true;
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
    std::string gfnsr = edtghfsh->Text();
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!gfnsr.empty() && blank(gfnsr.back())) gfnsr.pop_back();
    size_t start = 0;
    while (start < gfnsr.size() && blank(gfnsr[start])) ++start;
    LoadInvoiceList(fplx, gfnsr.substr(start));
}

void TFrmXxqtfpMgr::btnResetClick() {
    cbbFplx->SetItemIndex(0);
    edtghfsh->SetText(std::string());
}

void TFrmXxqtfpMgr::ActCloseExecute() {
    close();
}

void TFrmXxqtfpMgr::VSTInvoideCommonDblClick(const QModelIndex&) {
    ActModify->trigger();
}

void TFrmXxqtfpMgr::LoadInvoiceList(const std::string& fplx, const std::string& gfnsr) {
    if (FListModel) FListModel->ResetRows(0);
    FreeInvoiceList(FInvoiceList);
    {
        TStatusGuard status("请稍候，正在读取数据...");
        std::string error;
        if (!ReadInvoiceList(FNsrsbh, FKjny, fplx, gfnsr, FInvoiceList, error)) InforMsg(5037007, "", 1);
    }
    RefreshStatistics();
}

Txxqtfpxx* TFrmXxqtfpMgr::VSTInvoideCommonInitNode(int row) const {
    if (row < 0 || row >= static_cast<int>(FInvoiceList.size())) return nullptr;
    return FInvoiceList[static_cast<size_t>(row)];
}

std::string TFrmXxqtfpMgr::FlagText(const std::string& value, const std::string& setValue) {
    return value == setValue ? "是" : "否";
}

std::string TFrmXxqtfpMgr::IssueDateText(const std::string& kprq, const std::string& typeName) {
    return typeName == "未开具发票" ? std::string() : kprq;
}

std::string TFrmXxqtfpMgr::VSTInvoideCommonGetText(const Txxqtfpxx& r, int column) {
    switch (column) {
    case ColFplxmc: return r.fplxmc;
    case ColKprq: return IssueDateText(r.kprq, r.fplxmc);
    case ColFs: return std::to_string(r.fs);
    case ColJe: return AmountText(r.je);
    case ColSe: return AmountText(r.se);
    case ColGfnsr: return r.gfnsr;
    case ColMs: return FlagText(r.ms, "1");
    case ColLwfp: return FlagText(r.lwfp, "1");
    case ColZfbz: return FlagText(r.zfbz, "1");
    case ColJzjt: return FlagText(r.jzjt, "1");
    default: return std::string();
    }
}

int TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes(const Txxqtfpxx& a, const Txxqtfpxx& b, int column) {
    switch (column) {
    case ColFplxmc: return CompareText(a.fplxmc, b.fplxmc);
    case ColKprq: return CompareText(a.kprq, b.kprq);
    case ColFs: return CompareNumber(a.fs, b.fs);
    case ColJe: return CompareNumber(a.je, b.je);
    case ColSe: return CompareNumber(a.se, b.se);
    case ColGfnsr: return CompareText(a.gfnsr, b.gfnsr);
    case ColMs: return CompareText(a.ms, b.ms);
    case ColLwfp: return CompareText(a.lwfp, b.lwfp);
    case ColZfbz: return CompareText(a.zfbz, b.zfbz);
    case ColJzjt: return CompareText(a.jzjt, b.jzjt);
    default: return 0;
    }
}

TInvoiceStatistics TFrmXxqtfpMgr::ComputeStatistics(const std::vector<Txxqtfpxx*>& list) {
    TInvoiceStatistics s;
    for (const Txxqtfpxx* r : list) {
        if (!r) continue;
        ++s.count;
        if (r->zfbz == "1") {
            s.voidAmount += MoneyToFixed(r->je);
            ++s.voidCount;
            s.voidTax += MoneyToFixed(r->se);
        } else {
            s.amount += MoneyToFixed(r->je);
            s.tax += MoneyToFixed(r->se);
        }
    }
    return s;
}

void TFrmXxqtfpMgr::RefreshStatistics() {
    const TInvoiceStatistics s = ComputeStatistics(FInvoiceList);
    lbFpsl->setText(QString::number(FInvoiceList.size()));
    lbje->setText(GbkToQString(FixedToText(s.amount)));
    lbse->setText(GbkToQString(FixedToText(s.tax)));
    lbzfzs->setText(QString::number(s.voidCount));
    lbzfje->setText(GbkToQString(FixedToText(s.voidAmount)));
    lbzfse->setText(GbkToQString(FixedToText(s.voidTax)));
    ResetListRows(VSTInvoideCommon, static_cast<int>(FInvoiceList.size()));
}

void TFrmXxqtfpMgr::ComputeNextXh() {
    int64_t largest = 0;
    for (const Txxqtfpxx* r : FInvoiceList)
        if (r && r->xh > largest) largest = r->xh;
    FNextXh = static_cast<int32_t>(std::min<int64_t>(largest + 1, INT32_MAX));
}

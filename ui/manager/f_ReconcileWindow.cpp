#include "ui/manager/f_ReconcileWindow.h"

#include "exchange/f_RegisterExchange.h"
#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_Sha256.h"
#include "invoice/f_InvoiceChecks.h"
#include "report/f_DealReportImpl.h"
#include "ui/common/f_FormSupport.h"
#include "ui/common/f_Status.h"
#include "ui/detail/f_XxqtfpDetail.h"

#include <QButtonGroup>
#include <QColor>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace vantrel {

namespace {

enum TReconcileColumn { CcKind, CcNumber, CcDate, CcBuyer, CcAmount, CcTax, CcNote, ReconcileColumnCount };

// By TReconcileKind: differing, only in the register, only in the list, matched.
const QColor kKindColors[kReconcileKindCount] = {QColor(0xC0, 0x39, 0x2B), QColor(0x1C, 0x5A, 0xA6),
                                                          QColor(0x8E, 0x44, 0xAD), QColor(0x2E, 0x7D, 0x32)};

std::string ListRowNote(const TListInvoice& invoice) {
    return "清单第 " + std::to_string(invoice.line) + " 行的发票（号码 " +
           (invoice.number.empty() ? std::string("无") : invoice.number) + "，金额 " + FixedToText(invoice.amount) +
           "，税额 " + FixedToText(invoice.tax) + "）";
}

// The list's invoice as one row of a register file, planned by the import's own mapping and
// checks: type 普通发票 (the register's first dated type with a count when it has no such type),
// one copy, the rate as listed or as the tax makes it.
TImportPlan PlanListInvoice(const TListInvoice& invoice, const TImportTarget& target) {
    std::string type = "普通发票";
    if (std::find(target.typeNames.begin(), target.typeNames.end(), type) == target.typeNames.end())
        for (const std::string& name : target.typeNames)
            if (TypeTakesDate(name) && TypeTakesCount(name)) {
                type = name;
                break;
            }
    int32_t rate = invoice.rate;
    if (rate < 0 && invoice.amount != 0)
        rate = static_cast<int32_t>(std::lround(static_cast<double>(invoice.tax) * 100.0 / static_cast<double>(invoice.amount)));
    TExchangeTable table;
    const std::pair<int, std::string> cells[] = {
        {RcFplx, type},
        {RcKprq, std::to_string(invoice.date)},   // yyyyMMdd
        {RcFs, "1"},
        {RcJe, FixedToText(invoice.amount)},
        {RcSl, rate < 0 ? std::string() : std::to_string(rate) + "%"},
        {RcSe, FixedToText(invoice.tax)},
        {RcGfnsr, invoice.buyer},
        {RcZfbz, invoice.voided ? "是" : "否"},
    };
    TExchangeRow& row = table.rows.emplace_back();
    row.line = invoice.line;
    for (const auto& [column, text] : cells) {
        table.header.emplace_back(RegisterColumnCaption(column));
        row.cells.push_back(TExchangeCell{TExchangeCell::Text, text, 0});
    }
    return PlanImport(std::move(table), target);
}

}  // namespace

// ---- the model ---------------------------------------------------------------------------

void TReconcileModel::Show(const TReconcileResult* result, int group) {
    beginResetModel();
    result_ = result;
    lines_.clear();
    if (result)
        for (std::size_t i = 0; i < result->lines.size(); ++i)
            if (group < 0 || static_cast<int>(result->lines[i].kind) == group) lines_.push_back(static_cast<int>(i));
    endResetModel();
}

const TReconcileLine* TReconcileModel::LineAt(int row) const {
    return result_ && row >= 0 && static_cast<std::size_t>(row) < lines_.size()
               ? &result_->lines[static_cast<std::size_t>(lines_[static_cast<std::size_t>(row)])]
               : nullptr;
}

int TReconcileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int TReconcileModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ReconcileColumnCount; }

QVariant TReconcileModel::data(const QModelIndex& index, int role) const {
    const TReconcileLine* line = LineAt(index.row());
    if (!line || index.column() < 0 || index.column() >= ReconcileColumnCount) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return GbkToQString(ReconcileFields(*result_, *line)[static_cast<std::size_t>(index.column())]);
    case Qt::ForegroundRole:
        return index.column() == CcKind ? QVariant(kKindColors[static_cast<int>(line->kind)]) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == CcAmount || index.column() == CcTax ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                                     : QVariant();
    default: return {};
    }
}

QVariant TReconcileModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ReconcileColumnCount)
        return {};
    return GbkToQString(ReconcileHeader()[static_cast<std::size_t>(section)]);
}

// ---- the window --------------------------------------------------------------------------

TFrmReconcile::TFrmReconcile(TModuleContext context, QString listFile, QWidget* parent)
    : Tfrm_CustomDlg(context.host, parent), FContext(std::move(context)), FListFile(std::move(listFile)) {
    setObjectName(u"TFrmReconcile"_s);
    setWindowTitle(u"核对发票清单"_s);
    PlaceDialogParts(this, 980, 600);
    lbBusinessName->setText(u"核对发票清单"_s);

    auto* column = new QVBoxLayout(ContentArea());
    column->setContentsMargins(10, 6, 10, 4);
    column->setSpacing(6);
    lbFile = new QLabel(ContentArea());
    lbFile->setObjectName(u"lbFile"_s);
    lbFile->setText(u"清单：%1　　纳税人：%2　　所属期：%3"_s.arg(QFileInfo(FListFile).fileName(),
                                                               GbkToQString(FContext.taxpayer),
                                                               GbkToQString(FContext.period)));
    column->addWidget(lbFile);

    auto* groups = new QHBoxLayout();
    groups->setSpacing(6);
    auto* exclusive = new QButtonGroup(this);
    for (int g = 0; g <= kReconcileKindCount; ++g) {
        auto* button = new QToolButton(ContentArea());
        button->setObjectName(u"btnGroup%1"_s.arg(g));
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumHeight(44);
        const QColor color = g < kReconcileKindCount ? kKindColors[g] : QColor(0x55, 0x5F, 0x6B);
        button->setStyleSheet(u"QToolButton { border: 1px solid #c8d0da; border-left: 4px solid %1; background: #ffffff;"
                              " padding: 2px 8px; text-align: left; }"
                              "QToolButton:checked { background: #e8f0fb; border-color: %1; }"_s.arg(color.name()));
        exclusive->addButton(button, g);
        groups->addWidget(button, g < kReconcileKindCount ? 3 : 1);
        btnGroups[g] = button;
        connect(button, &QToolButton::clicked, this,
                [this, g] { ShowGroup(g < kReconcileKindCount ? g : -1); });
    }
    column->addLayout(groups);

    auto* operations = new QHBoxLayout();
    operations->setSpacing(4);
    operations->addWidget(new QLabel(u"操作："_s, ContentArea()));
    btnOpen = NewLinkButton(u"打开"_s, ContentArea());
    btnAdd = NewLinkButton(u"加入登记簿"_s, ContentArea());
    btnExport = NewLinkButton(u"导出..."_s, ContentArea());
    btnOpen->setObjectName(u"btnOpen"_s);
    btnAdd->setObjectName(u"btnAdd"_s);
    btnExport->setObjectName(u"btnExport"_s);
    btnOpen->setToolTip(u"在明细窗口中打开所选行的发票（双击行也可打开）"_s);
    btnAdd->setToolTip(u"将仅在清单中的发票加入本期登记簿"_s);
    for (QPushButton* button : {btnOpen, btnAdd, btnExport}) operations->addWidget(button);
    operations->addStretch(1);
    column->addLayout(operations);
    connect(btnOpen, &QPushButton::clicked, this, [this] { ActOpenExecute(); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { ActAddExecute(); });
    connect(btnExport, &QPushButton::clicked, this, [this] { ActExportExecute(); });
    btnAdd->setEnabled(!DBIsReadOnly(FContext.connection));

    FModel = new TReconcileModel(this);
    gridLines = new QTreeView(ContentArea());
    gridLines->setObjectName(u"gridLines"_s);
    gridLines->setRootIsDecorated(false);
    gridLines->setItemsExpandable(false);
    gridLines->setUniformRowHeights(true);
    gridLines->setAlternatingRowColors(true);
    gridLines->setSelectionMode(QAbstractItemView::SingleSelection);
    gridLines->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridLines->setModel(FModel);
    const int widths[ReconcileColumnCount] = {80, 170, 90, 170, 100, 90, 0};
    for (int c = 0; c < CcNote; ++c) gridLines->header()->resizeSection(c, widths[c]);
    gridLines->header()->setStretchLastSection(true);
    connect(gridLines, &QTreeView::doubleClicked, this, [this] { ActOpenExecute(); });
    column->addWidget(gridLines, 1);
    FormCreate();
}

TFrmReconcile::~TFrmReconcile() {
    FModel->Show(nullptr, -1);
    FreeInvoiceList(FInvoiceList);
}

bool TFrmReconcile::Reconcile() {
    FModel->Show(nullptr, -1);
    FResult = TReconcileResult();
    FreeInvoiceList(FInvoiceList);
    std::string error;
    ShowStatus("请稍候，正在核对...");
    const TReconcileRead read = ReconcileWithList(FContext, FListFile, FInvoiceList, FResult, error);
    HideStatus();
    if (read != TReconcileRead::Done) {
        FResult = TReconcileResult();
        InfoMsgBox((read == TReconcileRead::ListFailed ? "无法读取清单：" : "无法读取本期发票：") + error, 0);
    }
    for (int g = 0; g < kReconcileKindCount; ++g) {
        const TReconcileGroup& group = FResult.groups[g];
        btnGroups[g]->setText(u"%1　%2 张\n金额 %3　税额 %4"_s.arg(
            GbkToQString(ReconcileKindText(static_cast<TReconcileKind>(g))))
                                  .arg(group.count)
                                  .arg(GbkToQString(FixedToText(group.amount)), GbkToQString(FixedToText(group.tax))));
    }
    QString all = u"全部　%1 行"_s.arg(FResult.lines.size());
    if (FResult.uncompared > 0) all += u"\n另有 %1 行不参与核对"_s.arg(FResult.uncompared);
    btnGroups[kReconcileKindCount]->setText(all);
    btnGroups[kReconcileKindCount]->setToolTip(
        u"未开具发票、纳税检查调整等不是已开具的发票，不与清单核对"_s);
    // At first the first group that needs attention.
    if (FGroup == kFirstGroup) {
        FGroup = -1;
        for (int g = kReconcileKindCount - 1; g >= 0; --g)
            if (FResult.groups[g].count > 0) FGroup = g;
    }
    ShowGroup(FGroup);
    return read == TReconcileRead::Done;
}

void TFrmReconcile::ShowGroup(int group) {
    FGroup = group;
    btnGroups[group < 0 ? kReconcileKindCount : group]->setChecked(true);
    FModel->Show(&FResult, group);
    if (FModel->rowCount() > 0) gridLines->setCurrentIndex(FModel->index(0, 0));
}

const TReconcileLine* TFrmReconcile::CurrentLine() const {
    return FModel->LineAt(gridLines->currentIndex().row());
}

void TFrmReconcile::ActOpenExecute() {
    const TReconcileLine* line = CurrentLine();
    if (!line) {
        InfoMsgBox("请先在列表中选择一张发票", 0);
        return;
    }
    if (line->registered < 0) {
        TImportTarget target;
        std::string error;
        const bool loaded = LoadImportTarget(FContext, target, error);
        FreeInvoiceList(target.existing);
        if (!loaded) {
            InfoMsgBox("无法读取本期发票：" + error, 0);
            return;
        }
        const TImportPlan plan = PlanListInvoice(FResult.listed[static_cast<std::size_t>(line->listed)], target);
        if (plan.rows.empty()) return;
        Txxqtfpxx record = plan.Record(plan.rows.front());
        OpenDetailWindow(FContext, kDetailView, gridLines, nullptr, {}, &record);
        return;
    }
    // The result's rows are the window's own records.
    auto* record = const_cast<Txxqtfpxx*>(FResult.registered[static_cast<std::size_t>(line->registered)].row);
    std::string refusal;
    const bool changeable =
        !DBIsReadOnly(FContext.connection) && !CheckDeclareState(FContext, ModuleFuncCode(FContext.subAppCode), refusal);
    bool saved = false;
    QPointer<TFrmReconcile> self(this);
    const bool current = OpenDetailWindow(FContext, changeable ? kDetailModify : kDetailView, gridLines, &FInvoiceList,
                                          [&saved] { saved = true; }, record);
    if (!self || (!saved && current)) return;
    if (saved) emit InvoicesChanged();
    Reconcile();
}

void TFrmReconcile::ActAddExecute() {
    const TReconcileLine* line = CurrentLine();
    if (!line || line->kind != TReconcileKind::OnlyList) {
        InfoMsgBox("请先选择一张仅在清单中的发票", 0);
        return;
    }
    if (DeclareStateRefuses(FContext)) return;
    const TListInvoice& invoice = FResult.listed[static_cast<std::size_t>(line->listed)];
    TImportTarget target;
    std::string error;
    const bool loaded = LoadImportTarget(FContext, target, error);
    TImportPlan plan = loaded ? PlanListInvoice(invoice, target) : TImportPlan();
    FreeInvoiceList(target.existing);
    if (!loaded) {
        InfoMsgBox("无法读取本期发票：" + error, 0);
        return;
    }
    std::string issues;
    for (const std::string& issue : IssueLines(plan.issues)) issues += "\n" + issue;
    if (plan.HasErrors()) {
        InfoMsgBox("不能将" + ListRowNote(invoice) + "加入登记簿：" + issues, 0);
        return;
    }
    if (!ConfirmMsgBoxA("将" + ListRowNote(invoice) + "加入本期登记簿吗？" + issues, 0)) return;
    const std::string fileName = QStringToGbk(QFileInfo(FListFile).fileName());
    plan.source = "核对清单 " + fileName + " 第 " + std::to_string(invoice.line) + " 行" +
                  (invoice.number.empty() ? std::string() : " 发票号码 " + invoice.number);
    // The number goes beside the row, as an e-invoice import's does: the next reconciliation
    // pairs by it, and an import of the same invoice is refused as a duplicate.
    if (!invoice.number.empty()) {
        std::string hex;
        if (!FileSha256Hex(FListFile, hex)) hex = Sha256Hex({});  // as an empty file's, when it is gone
        plan.sources.push_back({0, invoice.number, fileName, hex});
    }
    if (StoreImport(plan, FContext, {}, error) != TStoreResult::Stored) {
        InfoMsgBox(error, 0);
        return;
    }
    emit InvoicesChanged();
    Reconcile();
}

void TFrmReconcile::ActExportExecute() {
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(this, u"导出核对结果"_s, u"核对结果.xlsx"_s,
                                                u"Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"_s, &chosenFilter);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += chosenFilter.contains(u"csv"_s) ? u".csv"_s : u".xlsx"_s;
    ExportFile(path);
}

bool TFrmReconcile::ExportFile(const QString& path) {
    std::string error;
    if (!ExportReconcileFile(path, FResult, error)) {
        InfoMsgBox("导出失败：" + error, 0);
        return false;
    }
    InfoMsgBox("已导出 " + std::to_string(FResult.lines.size()) + " 行核对结果到 " + QStringToGbk(path), 0);
    return true;
}

bool OpenReconcileWindow(QWidget* parent, const TModuleContext& context, const QString& listFile) {
    QPointer<TFrmReconcile> window = new TFrmReconcile(context, listFile, parent);
    bool changed = false;
    QObject::connect(window, &TFrmReconcile::InvoicesChanged, [&changed] { changed = true; });
    if (window->Reconcile()) window->exec();
    // exec() frees a dialog that closes itself; one still alive is freed here.
    delete window.data();
    return changed;
}

}  // namespace vantrel

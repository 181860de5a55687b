#include "ui/preview/f_ReturnPreview.h"

#include "context/f_ModuleContext.h"
#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_InvoiceStore.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryDeclared.h"
#include "summary/f_SummaryDrill.h"
#include "ui/common/controls/ModalSpeedButton.h"
#include "ui/common/f_FormSupport.h"
#include "ui/detail/f_XxqtfpDetail.h"
#include "ui/preview/f_PreviewPrint.h"
#include "invoice/f_MessageIds.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace vantrel {

namespace {

constexpr int kSheetMargin = 12;

TModalSpeedButton* BottomButton(Tfrm_CustomDlg* dialog, const char* caption, int right) {
    auto* button = new TModalSpeedButton(caption, dialog);
    const QRect close = dialog->sBtnClose->geometry();
    button->setGeometry(close.left() - right, close.top(), 86, close.height());
    return button;
}

QString MeasureCaption(TSummaryMeasure measure) {
    switch (measure) {
    case TSummaryMeasure::Je: return u"金额合计"_s;
    case TSummaryMeasure::Se: return u"税额合计"_s;
    case TSummaryMeasure::Fs: return u"份数合计"_s;
    }
    return QString();
}

}  // namespace

// ---- the sheet -----------------------------------------------------------------------------

TPreviewSheet::TPreviewSheet(QWidget* parent) : QWidget(parent) {
    setObjectName(u"PreviewSheet"_s);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    if (!layout_.CellOrder().empty()) marks_.focus = layout_.CellOrder().front();
    marks_.declared = true;
}

QSize TPreviewSheet::sizeHint() const {
    const QSizeF size = layout_.Size();
    return QSize(static_cast<int>(std::ceil(size.width())) + 2 * kSheetMargin,
                 static_cast<int>(std::ceil(size.height())) + 2 * kSheetMargin);
}

void TPreviewSheet::SetPreview(const TSummaryPreview* preview, const QDate& date) {
    preview_ = preview;
    date_ = date;
    update();
}

void TPreviewSheet::SetFocusCell(const std::string& name) {
    if (name.empty() || layout_.CellRect(name).isNull()) return;
    marks_.focus = name;
    emit FocusMoved(WidgetRect(name));
    update();
}

QRect TPreviewSheet::WidgetRect(const std::string& name) const {
    return layout_.CellRect(name).translated(kSheetMargin, kSheetMargin).toAlignedRect();
}

QPoint TPreviewSheet::CellCenter(const std::string& name) const { return WidgetRect(name).center(); }

std::string TPreviewSheet::CellAt(const QPoint& point) const {
    return layout_.CellAt(QPointF(point) - QPointF(kSheetMargin, kSheetMargin));
}

QString TPreviewSheet::ToolTipAt(const QPoint& point) const {
    const std::string name = CellAt(point);
    if (name.empty()) return QString();
    QString tip = GbkToQString(name) + u'\n' + GbkToQString(SummaryCellCaption(name));
    if (preview_)
        if (const auto declared = preview_->declared.find(name); declared != preview_->declared.end())
            tip += u"\n上次汇总文件（%1）中为 %2"_s.arg(GbkToQString(LocalTimeText(preview_->declaredTime)),
                                                    GbkToQString(declared->second));
    return tip;
}

bool TPreviewSheet::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = ToolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, WidgetRect(CellAt(help->pos())));
        return true;
    }
    return QWidget::event(event);
}

void TPreviewSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xE6, 0xE9, 0xEE));
    if (!preview_) return;
    painter.translate(kSheetMargin, kSheetMargin);
    TPreviewPageMarks marks = marks_;
    if (!hasFocus()) marks.focus.clear();
    PaintPreviewPage(painter, *preview_, date_, marks);
}

void TPreviewSheet::mouseMoveEvent(QMouseEvent* event) {
    const std::string hover = CellAt(event->position().toPoint());
    if (hover != marks_.hover) {
        marks_.hover = hover;
        setCursor(hover.empty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
        update();
    }
}

void TPreviewSheet::leaveEvent(QEvent*) {
    if (marks_.hover.empty()) return;
    marks_.hover.clear();
    update();
}

void TPreviewSheet::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    const std::string name = CellAt(event->position().toPoint());
    if (name.empty()) return;
    SetFocusCell(name);
    emit CellActivated(QString::fromLatin1(name));
}

void TPreviewSheet::keyPressEvent(QKeyEvent* event) {
    int dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!marks_.focus.empty()) emit CellActivated(QString::fromLatin1(marks_.focus));
        return;
    case Qt::Key_Left: dx = -1; break;
    case Qt::Key_Right: dx = 1; break;
    case Qt::Key_Up: dy = -1; break;
    case Qt::Key_Down: dy = 1; break;
    case Qt::Key_Home: SetFocusCell(layout_.CellOrder().front()); return;
    case Qt::Key_End: SetFocusCell(layout_.CellOrder().back()); return;
    default: return QWidget::keyPressEvent(event);
    }
    SetFocusCell(layout_.Neighbour(marks_.focus, dx, dy));
}

// ---- the preview window --------------------------------------------------------------------

TFrmReturnPreview::TFrmReturnPreview(TModuleContext context, TPreviewListProcs procs, QWidget* parent)
    : Tfrm_CustomDlg(context.host, parent), FContext(std::move(context)), FProcs(std::move(procs)) {
    setObjectName(u"TFrmReturnPreview"_s);
    setWindowTitle(PreviewTitle());
    PlaceDialogParts(this, 980, 720);
    lbBusinessName->setText(PreviewTitle());

    auto* column = new QVBoxLayout(ContentArea());
    column->setContentsMargins(8, 6, 8, 4);
    column->setSpacing(4);
    lbHint = new QLabel(u"单击数字或按回车键查看它所汇总的发票；鼠标停在数字上显示单元格名称。"_s, ContentArea());
    column->addWidget(lbHint);
    ScrollArea = new QScrollArea(ContentArea());
    ScrollArea->setObjectName(u"ScrollArea"_s);
    ScrollArea->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Sheet = new TPreviewSheet(ScrollArea);
    ScrollArea->setWidget(Sheet);
    column->addWidget(ScrollArea, 1);

    btnPrint = BottomButton(this, "打印...", 96);
    btnPrint->setObjectName(u"btnPrint"_s);
    connect(btnPrint, &TModalSpeedButton::OnClick, this, &TFrmReturnPreview::btnPrintClick);
    btnPdf = BottomButton(this, "导出PDF...", 192);
    btnPdf->setObjectName(u"btnPdf"_s);
    connect(btnPdf, &TModalSpeedButton::OnClick, this, &TFrmReturnPreview::btnPdfClick);

    connect(Sheet, &TPreviewSheet::CellActivated, this, [this](const QString& name) { OpenDrill(name.toStdString()); });
    connect(Sheet, &TPreviewSheet::FocusMoved, this,
            [this](const QRect& rect) { ScrollArea->ensureVisible(rect.center().x(), rect.center().y(), rect.width(), rect.height()); });
    FormCreate();
}

void TFrmReturnPreview::FormCreate() {
    Tfrm_CustomDlg::FormCreate();
    RefreshPreview();
    Sheet->setFocus();
}

bool TFrmReturnPreview::RefreshPreview() {
    std::string error;
    if (!LoadSummaryPreview(FContext, FPreview, error)) {
        InfoMsgBox("无法计算申报预览：" + error, 0);
        return false;
    }
    Sheet->SetPreview(&FPreview, HostToday());
    return true;
}

void TFrmReturnPreview::OpenDrill(const std::string& name) {
    TSummaryCellRef ref;
    if (!FindSummaryCell(name, ref)) return;
    QPointer<TFrmReturnPreview> self(this);
    auto* drill = new TFrmPreviewDrill(
        FContext, ref, FPreview.Value(name), FProcs,
        [self, name]() -> std::string {
            if (!self) return std::string();
            emit self->InvoiceChanged();
            self->RefreshPreview();
            return self->FPreview.Value(name);
        },
        this);
    drill->exec();
}

void TFrmReturnPreview::btnPrintClick() { ShowPreviewPagePrint(this, FPreview); }

void TFrmReturnPreview::btnPdfClick() {
    const QString suggested = u"申报预览_"_s + GbkToQString(FPreview.period) + u".pdf"_s;
    const QString file = QFileDialog::getSaveFileName(this, u"导出PDF"_s, suggested, u"PDF 文件 (*.pdf)"_s);
    if (file.isEmpty()) return;
    QString error;
    if (!WritePreviewPdf(file, FPreview, HostToday(), error)) InfoMsgBox(QStringToGbk(error), 0);
}

bool OpenReturnPreview(QWidget* parent, const TModuleContext& context, const TPreviewListProcs& procs) {
    QPointer<TFrmReturnPreview> preview = new TFrmReturnPreview(context, procs, parent);
    bool changed = false;
    QObject::connect(preview, &TFrmReturnPreview::InvoiceChanged, [&changed] { changed = true; });
    preview->exec();
    // exec() frees a dialog that closes itself; one still alive is freed here.
    delete preview.data();
    return changed;
}

// ---- the invoices behind a figure ----------------------------------------------------------

TFrmPreviewDrill::TFrmPreviewDrill(TModuleContext context, const TSummaryCellRef& cell, std::string value,
                                   const TPreviewListProcs& procs, std::function<std::string()> changed,
                                   QWidget* parent)
    : Tfrm_CustomDlg(context.host, parent),
      FContext(std::move(context)),
      FCell(cell),
      FValue(std::move(value)),
      FProcs(procs),
      FChangedProc(std::move(changed)) {
    setObjectName(u"TFrmPreviewDrill"_s);
    setWindowTitle(u"单元格所汇总的发票"_s);
    PlaceDialogParts(this, 900, 540);
    lbBusinessName->setText(u"单元格所汇总的发票"_s);

    auto* column = new QVBoxLayout(ContentArea());
    column->setContentsMargins(10, 6, 10, 4);
    column->setSpacing(4);
    const std::string name(FCell.cell->name);
    lbCell = new QLabel(GbkToQString(SummaryCellCaption(name)) + u"（"_s + GbkToQString(name) + u"）"_s, ContentArea());
    lbCell->setObjectName(u"lbCell"_s);
    QFont bold = lbCell->font();
    bold.setBold(true);
    lbCell->setFont(bold);
    column->addWidget(lbCell);
    lbTotals = new QLabel(ContentArea());
    lbTotals->setObjectName(u"lbTotals"_s);
    column->addWidget(lbTotals);

    auto* operations = new QHBoxLayout();
    operations->setSpacing(4);
    operations->addWidget(new QLabel(u"操作："_s, ContentArea()));
    btnModify = NewLinkButton(u"修改 "_s, ContentArea());
    btnPrintList = NewLinkButton(u"打印..."_s, ContentArea());
    btnModify->setObjectName(u"btnModify"_s);
    btnPrintList->setObjectName(u"btnPrintList"_s);
    operations->addWidget(btnModify);
    operations->addWidget(btnPrintList);
    operations->addStretch(1);
    column->addLayout(operations);
    connect(btnModify, &QPushButton::clicked, this, [this] { ActModifyExecute(); });
    connect(btnPrintList, &QPushButton::clicked, this, [this] { ActPrintExecute(); });

    VSTInvoice = new TInvoiceListView(ContentArea());
    VSTInvoice->setObjectName(u"VSTInvoice"_s);
    VSTInvoice->setRootIsDecorated(false);
    VSTInvoice->setItemsExpandable(false);
    VSTInvoice->setUniformRowHeights(true);
    VSTInvoice->setAlternatingRowColors(true);
    VSTInvoice->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VSTInvoice->setSelectionBehavior(QAbstractItemView::SelectRows);
    VSTInvoice->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VSTInvoice->header()->setStretchLastSection(false);
    VSTInvoice->OnModify = [this] { ActModifyExecute(); };
    connect(VSTInvoice, &QTreeView::doubleClicked, this, [this] { ActModifyExecute(); });
    column->addWidget(VSTInvoice, 1);
    memChanges = new QPlainTextEdit(ContentArea());
    memChanges->setObjectName(u"memChanges"_s);
    memChanges->setReadOnly(true);
    memChanges->setMaximumHeight(110);
    memChanges->hide();
    column->addWidget(memChanges);
    FormCreate();
}

TFrmPreviewDrill::~TFrmPreviewDrill() {
    if (FListModel) FListModel->ResetRows(0);
    FreeInvoiceList(FInvoiceList);
}

void TFrmPreviewDrill::FormCreate() {
    Tfrm_CustomDlg::FormCreate();
    FListModel = new TInvoiceListModel(this);
    FListModel->SetList(&FInvoiceList);
    if (FProcs.text) FListModel->SetTextProc(FProcs.text);
    VSTInvoice->setModel(FListModel);
    SetupListColumns(VSTInvoice, InvoiceListColumns);
    if (FProcs.decorate) FProcs.decorate(VSTInvoice);
    LoadInvoices();
}

bool TFrmPreviewDrill::LoadInvoices() {
    FListModel->ResetRows(0);
    FreeInvoiceList(FInvoiceList);
    std::string error;
    const bool loaded = LoadDrillInvoices(*FCell.group, FContext, FInvoiceList, error);
    if (!loaded) InforMsg(kMsgListReadFailed, ReasonLine(error), 1);
    ResetListRows(VSTInvoice, static_cast<int>(FInvoiceList.size()));
    ShowTotals();
    return loaded;
}

std::string TFrmPreviewDrill::ListedTotal() const { return DrillTotalText(*FCell.cell, FInvoiceList); }

void TFrmPreviewDrill::ShowTotals() {
    lbTotals->setText(u"共 %1 张发票　%2：%3　　预览中的数值：%4"_s.arg(FInvoiceList.size())
                          .arg(MeasureCaption(FCell.cell->measure), GbkToQString(ListedTotal()), GbkToQString(FValue)));
    ShowChangesSinceDeclared();
}

void TFrmPreviewDrill::ShowChangesSinceDeclared() {
    TDeclaredDocument document;
    bool found = false;
    std::vector<TChangeEntry> entries;
    std::string error;
    if (!ReadLastDeclaredDocument(FContext, document, found, error) || !found ||
        !ChangesOfGroupSince(FContext, *FCell.group, document.seq, entries, error)) {
        memChanges->setVisible(!error.empty());
        memChanges->setPlainText(u"无法读取变更记录：%1"_s.arg(GbkToQString(error)));
        return;
    }
    QString text = u"上次汇总文件（%1）以来，本单元格汇总的发票"_s.arg(GbkToQString(LocalTimeText(document.time)));
    text += entries.empty() ? u"没有变动"_s : u"有 %1 处变动："_s.arg(entries.size());
    for (const TChangeEntry& e : entries)
        text += u"\n%1　第 %2 批%3　第 %4 号　%5　%6"_s.arg(GbkToQString(LocalTimeText(e.time)))
                    .arg(e.batch)
                    .arg(GbkToQString(e.kind))
                    .arg(e.xh)
                    .arg(GbkToQString(e.seat), GbkToQString(ChangedColumnsText(e)));
    memChanges->setPlainText(text);
    memChanges->show();
}

void TFrmPreviewDrill::ActModifyExecute() {
    if (DeclareStateRefuses(FContext)) return;
    const std::vector<Txxqtfpxx*> checked = FListModel->CheckedRecords();
    if (checked.empty()) {
        InforMsg(kMsgNothingToModify, "", 1);
        return;
    }
    bool saved = false;
    QPointer<TFrmPreviewDrill> self(this);
    const bool current = OpenDetailWindow(
        FContext, kDetailModify, VSTInvoice, &FInvoiceList, [&saved] { saved = true; }, checked.front());
    if (!self || (!saved && current)) return;
    // The changed invoice may no longer belong to this figure: read the list and the figure anew.
    if (FChangedProc) FValue = FChangedProc();
    LoadInvoices();
}

void TFrmPreviewDrill::ActPrintExecute() {
    TListPrintHeader header = CurrentListHeader(FContext, lbCell->text());
    header.note = lbTotals->text();
    std::vector<int> widths;
    for (int c = 0; c < FListModel->columnCount(); ++c) widths.push_back(VSTInvoice->header()->sectionSize(c));
    ShowInvoiceTablePrint(this, *FListModel, widths, header);
}

QIcon PreviewCommandIcon() {
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2F, 0x6E, 0xB5), 1.4));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 2.5, 15, 19));
        p.fillRect(QRectF(5.2, 3.2, 13.6, 3.5), QColor(0xDD, 0xEB, 0xFA));
        p.setPen(QPen(QColor(0x7A, 0x8C, 0xA3), 1));
        for (qreal y : {9.5, 13.0, 16.5}) p.drawLine(QPointF(6.5, y), QPointF(17.5, y));
        p.drawLine(QPointF(12, 8), QPointF(12, 19.5));
    });
}

QIcon PrintCommandIcon() {
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x55, 0x5F, 0x6B), 1.3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 3.5, 9, 6));
        p.setBrush(QColor(0xC9, 0xD3, 0xDF));
        p.drawRoundedRect(QRectF(3.5, 9.5, 17, 8), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 14.5, 9, 6.5));
        p.fillRect(QRectF(17, 11.5, 2, 1.5), QColor(0x3B, 0xA5, 0x5C));
    });
}

}  // namespace vantrel

#include "ui/manager/f_ChangeBatches.h"

#include "context/f_ModuleContext.h"
#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceStore.h"
#include "ui/detail/f_XxqtfpDetail.h"
#include "ui/manager/f_InvoiceHistory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>
#include <string>

namespace vantrel {

namespace {

QTableWidget* NewGrid(QWidget* parent, const QString& name, const QStringList& headers) {
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(name);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    grid->setColumnCount(static_cast<int>(headers.size()));
    grid->setHorizontalHeaderLabels(headers);
    grid->horizontalHeader()->setStretchLastSection(true);
    return grid;
}

void SetRow(QTableWidget* grid, int row, const std::vector<std::string>& texts) {
    for (int c = 0; c < static_cast<int>(texts.size()); ++c)
        grid->setItem(row, c, new QTableWidgetItem(GbkToQString(texts[static_cast<std::size_t>(c)])));
}

}  // namespace

TFrmChangeBatches::TFrmChangeBatches(TModuleContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("ChangeBatches"));
    setWindowTitle(QString::fromUtf16(u"变更记录"));
    resize(900, 560);
    auto* column = new QVBoxLayout(this);
    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QString::fromUtf16(u"类别："), this));
    cbbKind_ = new QComboBox(this);
    cbbKind_->setObjectName(QStringLiteral("cbbKind"));
    cbbKind_->addItem(QString::fromUtf16(u"全部"));
    for (auto kind : {TChangeKind::Add, TChangeKind::Modify, TChangeKind::Delete,
                      TChangeKind::Import, TChangeKind::Restore, TChangeKind::Initial})
        cbbKind_->addItem(GbkToQString(ChangeKindText(kind)));
    filters->addWidget(cbbKind_);
    filters->addSpacing(14);
    filters->addWidget(new QLabel(QString::fromUtf16(u"操作人："), this));
    cbbSeat_ = new QComboBox(this);
    cbbSeat_->setObjectName(QStringLiteral("cbbSeat"));
    cbbSeat_->setMinimumContentsLength(24);
    filters->addWidget(cbbSeat_);
    filters->addStretch(1);
    lbCount_ = new QLabel(this);
    filters->addWidget(lbCount_);
    column->addLayout(filters);

    auto* split = new QSplitter(Qt::Vertical, this);
    gridBatches_ = NewGrid(split, QStringLiteral("gridBatches"),
                           {QString::fromUtf16(u"批次"), QString::fromUtf16(u"时间"), QString::fromUtf16(u"类别"),
                            QString::fromUtf16(u"操作人"), QString::fromUtf16(u"发票数"), QString::fromUtf16(u"说明")});
    gridEntries_ = NewGrid(split, QStringLiteral("gridEntries"),
                           {QString::fromUtf16(u"序号"), QString::fromUtf16(u"变化")});
    split->addWidget(gridBatches_);
    split->addWidget(gridEntries_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    column->addWidget(split, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    btnRestore_ = buttons->addButton(QString::fromUtf16(u"恢复"), QDialogButtonBox::ActionRole);
    btnRestore_->setObjectName(QStringLiteral("btnRestore"));
    btnRestore_->setToolTip(QString::fromUtf16(u"将这一批删除的发票恢复到登记簿"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnRestore_, &QPushButton::clicked, this, [this] { RestoreExecute(); });
    column->addWidget(buttons);

    connect(cbbKind_, &QComboBox::currentIndexChanged, this, [this] { ShowBatches(); });
    connect(cbbSeat_, &QComboBox::currentIndexChanged, this, [this] { ShowBatches(); });
    connect(gridBatches_, &QTableWidget::itemSelectionChanged, this, [this] { ShowEntries(); });
    LoadBatches();
}

void TFrmChangeBatches::LoadBatches() {
    std::string error;
    if (!ReadPeriodBatches(context_, batches_, error)) {
        batches_.clear();
        lbCount_->setText(QString::fromUtf16(u"无法读取变更记录：%1").arg(GbkToQString(error)));
    }
    const QString seat = cbbSeat_->currentIndex() > 0 ? cbbSeat_->currentText() : QString();
    QSignalBlocker quiet(cbbSeat_);
    cbbSeat_->clear();
    cbbSeat_->addItem(QString::fromUtf16(u"全部"));
    std::set<std::string> seats;
    for (const TBatchInfo& b : batches_) seats.insert(b.seat);
    for (const std::string& s : seats) cbbSeat_->addItem(GbkToQString(s));
    cbbSeat_->setCurrentIndex(std::max(0, cbbSeat_->findText(seat)));
    ShowBatches();
}

void TFrmChangeBatches::ShowBatches() {
    const std::string kind = cbbKind_->currentIndex() > 0 ? QStringToGbk(cbbKind_->currentText()) : std::string();
    const std::string seat = cbbSeat_->currentIndex() > 0 ? QStringToGbk(cbbSeat_->currentText()) : std::string();
    shown_.clear();
    for (const TBatchInfo& b : batches_)
        if ((kind.empty() || b.kind == kind) && (seat.empty() || b.seat == seat)) shown_.push_back(&b);
    gridBatches_->clearContents();
    gridBatches_->setRowCount(static_cast<int>(shown_.size()));
    for (int row = 0; row < static_cast<int>(shown_.size()); ++row) {
        const TBatchInfo& b = *shown_[static_cast<std::size_t>(row)];
        SetRow(gridBatches_, row,
               {std::to_string(b.batch), LocalTimeText(b.time), b.kind, b.seat, std::to_string(b.rows), b.note});
        gridBatches_->item(row, 5)->setToolTip(gridBatches_->item(row, 5)->text());
    }
    gridBatches_->resizeColumnsToContents();
    lbCount_->setText(QString::fromUtf16(u"所属期 %1：%2 批").arg(GbkToQString(context_.period)).arg(shown_.size()));
    if (!shown_.empty()) gridBatches_->selectRow(0);
    ShowEntries();
}

const TBatchInfo* TFrmChangeBatches::CurrentBatch() const {
    const QList<QTableWidgetItem*> selected = gridBatches_->selectedItems();
    if (selected.isEmpty()) return nullptr;
    const int row = selected.front()->row();
    return row < static_cast<int>(shown_.size()) ? shown_[static_cast<std::size_t>(row)] : nullptr;
}

void TFrmChangeBatches::ShowEntries() {
    const TBatchInfo* batch = CurrentBatch();
    btnRestore_->setEnabled(batch && batch->kind == ChangeKindText(TChangeKind::Delete));
    gridEntries_->clearContents();
    gridEntries_->setRowCount(0);
    if (!batch) return;
    std::vector<TChangeEntry> entries;
    std::string error;
    if (!ReadBatchEntries(context_, batch->batch, entries, error)) return;
    gridEntries_->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const TChangeEntry& e = entries[static_cast<std::size_t>(row)];
        const QString change = e.before.empty() ? QString::fromUtf16(u"新的一行：") + LoggedRowText(e.after)
                               : e.after.empty() ? QString::fromUtf16(u"删去：") + LoggedRowText(e.before)
                                                 : GbkToQString(ChangedColumnsText(e));
        gridEntries_->setItem(row, 0, new QTableWidgetItem(QString::number(e.xh)));
        gridEntries_->setItem(row, 1, new QTableWidgetItem(change));
        gridEntries_->item(row, 1)->setToolTip(change);
    }
    gridEntries_->resizeColumnToContents(0);
}

void TFrmChangeBatches::RestoreExecute() {
    const TBatchInfo* batch = CurrentBatch();
    if (!batch || batch->kind != ChangeKindText(TChangeKind::Delete)) return;
    if (DeclareStateRefuses(context_)) return;
    const int64_t number = batch->batch;
    std::string question = "恢复第 " + std::to_string(number) + " 批删除的 " + std::to_string(batch->rows) +
                           " 张发票吗？原序号已被占用的发票改用新的序号。";
    int64_t restoring = 0;
    std::string error;
    if (FindRestoringBatch(context_, number, restoring, error) && restoring != 0)
        question = "这一批已由第 " + std::to_string(restoring) + " 批恢复或撤销过，再恢复会使发票重复。\n" + question;
    if (!ConfirmMsgBoxA(question, 0)) return;
    std::vector<std::pair<int32_t, int32_t>> numbers;
    const TStoreOutcome outcome = ModuleInvoiceStore(context_).Restore(number, &numbers);
    if (!outcome.Ok()) {
        InfoMsgBox("恢复失败：" + ErrorOrUnknown(outcome.error), 0);
        return;
    }
    restored_ = true;
    std::string moved;
    for (const auto& [old, now] : numbers)
        if (old != now) moved += "\n第 " + std::to_string(old) + " 号已被占用，恢复为第 " + std::to_string(now) + " 号";
    InfoMsgBox("已恢复 " + std::to_string(numbers.size()) + " 张发票" + moved, 0);
    LoadBatches();
}

}  // namespace vantrel

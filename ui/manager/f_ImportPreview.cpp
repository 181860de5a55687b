#include "ui/manager/f_ImportPreview.h"

#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "host/corlith_api.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel {

namespace {

const QColor kErrorColor(0xF8, 0xD0, 0xCC);
const QColor kWarningColor(0xFF, 0xF0, 0xB8);

QString CellShown(const TExchangeCell& cell) {
    switch (cell.kind) {
    case TExchangeCell::Date: {
        const QDate date = SerialToDate(cell.number);
        return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString::number(cell.number);
    }
    case TExchangeCell::Number: return QString::number(cell.number, 'g', 15);
    case TExchangeCell::Text: break;
    }
    return GbkToQString(cell.text);
}

}  // namespace

TImportPreviewModel::TImportPreviewModel(const TImportPlan& plan, QObject* parent)
    : QAbstractTableModel(parent), plan_(plan) {
    const qint64 columns = RegisterColumnCount + 1;
    auto row = plan.rows.begin();
    for (std::size_t i = 0; i < plan.issues.size(); ++i) {
        const TImportIssue& issue = plan.issues[i];
        // Rows and issues are in file order, so the row is mostly the one of the issue before
        // or just after it. An issue of the header or the file as a whole is listed only.
        if (row != plan.rows.end() && row->line != issue.line && row + 1 != plan.rows.end() &&
            (row + 1)->line == issue.line)
            ++row;
        else if (row == plan.rows.end() || row->line != issue.line)
            row = std::lower_bound(plan.rows.begin(), plan.rows.end(), issue.line,
                                   [](const TImportRow& r, int line) { return r.line < line; });
        if (row == plan.rows.end() || row->line != issue.line) continue;
        int column = 0;
        for (int c = 0; c < RegisterColumnCount; ++c)
            if (issue.column == RegisterColumnCaption(c)) column = c + 1;
        cellIssues_.emplace_back((row - plan.rows.begin()) * columns + column, static_cast<int>(i));
    }
    std::stable_sort(cellIssues_.begin(), cellIssues_.end(),
                     [](const CellIssue& a, const CellIssue& b) { return a.first < b.first; });
}

std::pair<std::vector<TImportPreviewModel::CellIssue>::const_iterator,
          std::vector<TImportPreviewModel::CellIssue>::const_iterator>
TImportPreviewModel::IssuesAt(int row, int column) const {
    const qint64 cell = static_cast<qint64>(row) * (RegisterColumnCount + 1) + column;
    return std::equal_range(cellIssues_.begin(), cellIssues_.end(), CellIssue(cell, 0),
                            [](const CellIssue& a, const CellIssue& b) { return a.first < b.first; });
}

TCellMark TImportPreviewModel::MarkAt(int row, int column) const {
    TCellMark mark = TCellMark::None;
    for (auto [it, end] = IssuesAt(row, column); it != end; ++it)
        mark = plan_.issues[static_cast<std::size_t>(it->second)].warning ? std::max(mark, TCellMark::Warning)
                                                                          : TCellMark::Error;
    return mark;
}

int TImportPreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(plan_.rows.size());
}

int TImportPreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RegisterColumnCount + 1;
}

QVariant TImportPreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TImportRow& row = plan_.rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return plan_.sources.empty() ? QVariant(row.line)
                                         : QVariant(GbkToQString(plan_.sources[static_cast<std::size_t>(index.row())].fileName));
        return CellShown(row.cells[static_cast<std::size_t>(index.column() - 1)]);
    case Qt::BackgroundRole:
        switch (MarkAt(index.row(), index.column())) {
        case TCellMark::None: return {};
        case TCellMark::Warning: return QBrush(kWarningColor);
        case TCellMark::Error: return QBrush(kErrorColor);
        }
        return {};
    case Qt::ToolTipRole: {
        // Every message of the cell, one a line.
        QStringList texts;
        for (auto [it, end] = IssuesAt(index.row(), index.column()); it != end; ++it)
            texts << GbkToQString(IssueText(plan_.issues[static_cast<std::size_t>(it->second)]));
        return texts.isEmpty() ? QVariant() : QVariant(texts.join(u'\n'));
    }
    case Qt::TextAlignmentRole:
        return index.column() == 0 && plan_.sources.empty() ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default: return {};
    }
}

QVariant TImportPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 0) return plan_.sources.empty() ? QString::fromUtf16(u"行") : QString::fromUtf16(u"文件");
    return GbkToQString(RegisterColumnCaption(section - 1));
}

TFrmImportPreview::TFrmImportPreview(const QString& file, const TImportPlan& plan, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FrmImportPreview"));
    setWindowTitle(QString::fromUtf16(u"导入预览 - ") + QFileInfo(file).fileName());
    const bool einvoices = !plan.sources.empty();
    resize(860, 520);

    int errors = 0;
    for (const TImportIssue& issue : plan.issues) errors += issue.warning ? 0 : 1;
    const int warnings = plan.WarningCount();

    auto* column = new QVBoxLayout(this);
    lbSummary = new QLabel(this);
    lbSummary->setObjectName(QStringLiteral("lbSummary"));
    QString summary = QString::fromUtf16(u"共 %1 行发票").arg(plan.rows.size());
    if (einvoices) {
        std::size_t invoices = 0;
        for (std::size_t i = 0; i < plan.sources.size(); ++i)
            invoices += i == 0 || plan.sources[i].number != plan.sources[i - 1].number ? 1 : 0;
        summary = QString::fromUtf16(u"共 %1 张电子发票、%2 行发票").arg(invoices).arg(plan.rows.size());
    }
    if (errors > 0)
        summary += QString::fromUtf16(u"，%1 处错误：改正文件后重新导入，本次不会写入任何发票").arg(errors);
    if (warnings > 0) summary += QString::fromUtf16(u"，%1 处提示，请核对").arg(warnings);
    lbSummary->setText(summary + QString::fromUtf16(u"。"));
    column->addWidget(lbSummary);

    model_ = new TImportPreviewModel(plan, this);
    gridRows = new QTableView(this);
    gridRows->setObjectName(QStringLiteral("gridRows"));
    gridRows->setModel(model_);
    gridRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridRows->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridRows->verticalHeader()->hide();
    gridRows->verticalHeader()->setDefaultSectionSize(22);
    gridRows->horizontalHeader()->setDefaultSectionSize(84);
    gridRows->setColumnWidth(0, einvoices ? 160 : 48);
    column->addWidget(gridRows, 3);

    memIssues = new QPlainTextEdit(this);
    memIssues->setObjectName(QStringLiteral("memIssues"));
    memIssues->setReadOnly(true);
    QString lines;
    for (const std::string& line : IssueLines(plan.issues)) lines += GbkToQString(line) + u'\n';
    memIssues->setPlainText(lines);
    memIssues->setVisible(!plan.issues.empty());
    column->addWidget(memIssues, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    btnOk = new QPushButton(QString::fromUtf16(u"确定"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setEnabled(errors == 0 && !plan.rows.empty());
    btnOk->setDefault(btnOk->isEnabled());
    btnCancel = new QPushButton(QString::fromUtf16(u"取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    column->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace vantrel

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

#include <unordered_map>

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
    std::unordered_map<int, int> rowOfLine;
    for (std::size_t r = 0; r < plan.rows.size(); ++r) rowOfLine.emplace(plan.rows[r].line, static_cast<int>(r));
    for (const TImportIssue& issue : plan.issues) {
        const auto row = rowOfLine.find(issue.line);
        if (row == rowOfLine.end()) continue;  // the header or the file as a whole: listed only
        int column = 0;
        for (int c = 0; c < RegisterColumnCount; ++c)
            if (issue.column == RegisterColumnCaption(c)) column = c + 1;
        Mark& mark = marks_[{row->second, column}];
        if (!issue.warning)
            mark.mark = TCellMark::Error;
        else if (mark.mark == TCellMark::None)
            mark.mark = TCellMark::Warning;
        if (!mark.text.isEmpty()) mark.text += u'\n';
        mark.text += GbkToQString(IssueText(issue));
    }
}

TCellMark TImportPreviewModel::MarkAt(int row, int column) const {
    const auto it = marks_.find({row, column});
    return it == marks_.end() ? TCellMark::None : it->second.mark;
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
    const auto mark = marks_.find({index.row(), index.column()});
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0) return row.line;
        return CellShown(row.cells[static_cast<std::size_t>(index.column() - 1)]);
    case Qt::BackgroundRole:
        if (mark == marks_.end()) return {};
        return QBrush(mark->second.mark == TCellMark::Error ? kErrorColor : kWarningColor);
    case Qt::ToolTipRole: return mark == marks_.end() ? QVariant() : QVariant(mark->second.text);
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default: return {};
    }
}

QVariant TImportPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QString::fromUtf16(u"行") : GbkToQString(RegisterColumnCaption(section - 1));
}

TFrmImportPreview::TFrmImportPreview(const QString& file, const TImportPlan& plan, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FrmImportPreview"));
    setWindowTitle(QString::fromUtf16(u"导入预览 - ") + QFileInfo(file).fileName());
    resize(860, 520);

    int errors = 0;
    for (const TImportIssue& issue : plan.issues) errors += issue.warning ? 0 : 1;
    const int warnings = plan.WarningCount();

    auto* column = new QVBoxLayout(this);
    lbSummary = new QLabel(this);
    lbSummary->setObjectName(QStringLiteral("lbSummary"));
    QString summary = QString::fromUtf16(u"共 %1 行发票").arg(plan.rows.size());
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
    gridRows->setColumnWidth(0, 48);
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

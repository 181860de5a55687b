#include "ui/manager/f_InvoiceHistory.h"

#include "host/corlith_api.h"
#include "invoice/f_ChangeLog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <string>
#include <vector>

namespace vantrel {

namespace {

const QColor kChangedColor(0xFF, 0xE5, 0x8F);
const QColor kGoneColor(0x8A, 0x8F, 0x98);

// The register's columns a user reads, by their place in a logged row, with captions.
struct TShownColumn {
    int field;
    const char16_t* caption;
};
constexpr TShownColumn kShown[] = {
    {3, u"发票类型"}, {5, u"开票日期"}, {6, u"份数"},       {7, u"金额"},     {9, u"税率"},
    {8, u"税额"},     {10, u"购方税号"}, {13, u"是否免税"}, {12, u"是否劳务发票"}, {14, u"是否作废"},
    {11, u"是否即征即退"}, {4, u"填写时间"}, {15, u"申报文件名"},
};
constexpr int kLeading = 4;  // 时间, 类别, 操作人, 批次

}  // namespace

QString LoggedFieldText(int field, const std::string& value) {
    if (value.empty()) return QString();
    if (field == 7 || field == 8) return QString::number(std::strtod(value.c_str(), nullptr), 'f', 2);
    if (field >= 11 && field <= 14) return value == "1" ? QString::fromUtf16(u"是") : QString::fromUtf16(u"否");
    return GbkToQString(value);
}

QString LoggedRowText(const std::string& row) {
    const std::vector<std::string> fields = DecodeRow(row);
    QStringList parts;
    for (const TShownColumn& c : kShown) {
        if (c.field == 4 || c.field == 15 || static_cast<std::size_t>(c.field) >= fields.size()) continue;
        const QString text = LoggedFieldText(c.field, fields[static_cast<std::size_t>(c.field)]);
        if (!text.trimmed().isEmpty()) parts << QString::fromUtf16(c.caption) + QString::fromUtf16(u" ") + text;
    }
    return parts.join(QString::fromUtf16(u"，"));
}

TFrmInvoiceHistory::TFrmInvoiceHistory(const TModuleContext& context, int32_t xh, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("InvoiceHistory"));
    setWindowTitle(QString::fromUtf16(u"发票历史"));
    resize(1000, 360);
    auto* column = new QVBoxLayout(this);
    lbTitle_ = new QLabel(this);
    lbTitle_->setObjectName(QStringLiteral("lbTitle"));
    column->addWidget(lbTitle_);
    gridVersions_ = new QTableWidget(this);
    gridVersions_->setObjectName(QStringLiteral("gridVersions"));
    gridVersions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridVersions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridVersions_->verticalHeader()->hide();
    QStringList headers = {QString::fromUtf16(u"时间"), QString::fromUtf16(u"类别"), QString::fromUtf16(u"操作人"),
                           QString::fromUtf16(u"批次")};
    for (const TShownColumn& c : kShown) headers << QString::fromUtf16(c.caption);
    gridVersions_->setColumnCount(static_cast<int>(headers.size()));
    gridVersions_->setHorizontalHeaderLabels(headers);
    column->addWidget(gridVersions_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    std::vector<TChangeEntry> entries;
    std::string error;
    const bool read = ReadChangeEntries(
        context, xh, [&entries](const TChangeEntry& e) { entries.push_back(e); }, error);
    const QString invoice = QString::fromUtf16(u"所属期 %1 第 %2 号发票").arg(GbkToQString(context.period)).arg(xh);
    if (!read) {
        lbTitle_->setText(QString::fromUtf16(u"无法读取%1的变更记录：%2").arg(invoice, GbkToQString(error)));
        return;
    }
    lbTitle_->setText(QString::fromUtf16(u"%1：%2 个版本，改动的值以底色标出").arg(invoice).arg(entries.size()));
    gridVersions_->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const TChangeEntry& e = entries[static_cast<std::size_t>(row)];
        std::string batch = std::to_string(e.batch);
        if (!e.batchNote.empty()) batch += " " + e.batchNote;
        const std::string leading[kLeading] = {LocalTimeText(e.time), e.kind, e.seat, batch};
        for (int c = 0; c < kLeading; ++c)
            gridVersions_->setItem(row, c, new QTableWidgetItem(GbkToQString(leading[c])));
        const std::vector<std::string> before = DecodeRow(e.before), after = DecodeRow(e.after);
        for (int c = 0; c < static_cast<int>(std::size(kShown)); ++c) {
            const auto field = static_cast<std::size_t>(kShown[c].field);
            const QString now = field < after.size() ? LoggedFieldText(kShown[c].field, after[field]) : QString();
            const QString was = field < before.size() ? LoggedFieldText(kShown[c].field, before[field]) : QString();
            auto* item = new QTableWidgetItem(e.after.empty() ? was : now);
            if (e.after.empty()) {
                item->setForeground(kGoneColor);
                QFont struck = item->font();
                struck.setStrikeOut(true);
                item->setFont(struck);
            } else if (now != was && !e.before.empty()) {
                item->setBackground(kChangedColor);
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setToolTip(QString::fromUtf16(u"改前：%1").arg(was));
            }
            gridVersions_->setItem(row, kLeading + c, item);
        }
    }
    gridVersions_->resizeColumnsToContents();
    if (!entries.empty()) gridVersions_->scrollToBottom();
}

}  // namespace vantrel

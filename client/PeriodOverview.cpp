#include "PeriodOverview.h"

#include "ClientSession.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryCells.h"
#include "summary/f_SummaryDrill.h"
#include "summary/f_SummaryPreview.h"

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QBarSet>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

double Number(const std::string& text) { return text.empty() ? 0 : std::stod(text); }

// The change of a figure against the period before, as shown under it.
QString ChangeText(double now, double before, bool count) {
    const double change = now - before;
    if (change == 0) return u"持平"_s;
    const QString amount = count ? QString::number(static_cast<long long>(std::abs(change)))
                                 : QString::number(std::abs(change), 'f', 2);
    return (change > 0 ? u"▲ "_s : u"▼ "_s) + amount;
}

}  // namespace

PeriodOverview::PeriodOverview(const ClientSession& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName(u"periodOverview"_s);
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel;
    title_->setObjectName(u"overviewTitle"_s);
    title_->setStyleSheet(u"font-size: 15px; font-weight: bold; padding: 6px;"_s);
    table_ = new QTableWidget;
    table_->setObjectName(u"overviewTable"_s);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(true);
    table_->horizontalHeader()->setDefaultSectionSize(170);
    table_->verticalHeader()->setDefaultSectionSize(44);
    table_->setToolTip(u"双击数值列出它所汇总的发票；双击所属期打开该期的发票"_s);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &PeriodOverview::showInvoicesBehind);
    connect(table_->verticalHeader(), &QHeaderView::sectionDoubleClicked, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(periods_.size())) emit periodChosen(periods_[row]);
    });
    amounts_ = new QChartView;
    amounts_->setObjectName(u"amountChart"_s);
    taxes_ = new QChartView;
    taxes_->setObjectName(u"taxChart"_s);
    for (QChartView* view : {amounts_, taxes_}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(220);
    }
    auto* charts = new QSplitter(Qt::Horizontal);
    charts->addWidget(amounts_);
    charts->addWidget(taxes_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(charts);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(title_);
    layout->addWidget(split, 1);
}

void PeriodOverview::reload() {
    // The taxpayer's periods that hold invoices, and the current one, newest first.
    std::set<std::string, std::greater<>> periods{session_.period};
    THostQuery query;
    std::string error;
    if (ExecADOQueryMsg(session_.connectionName(),
                        "select distinct sbssq from sb" + session_.subAppCode + "_xxfpb where nsrsbh = '" +
                            session_.company + "'",
                        &query, error, 1, 0))
        for (; !query.Eof(); query.Next()) periods.insert(query.FieldAsString("sbssq"));
    const std::vector<std::string> list(periods.begin(), periods.end());
    title_->setText(u"期间概览：%1    共 %2 个所属期"_s.arg(GbkToQString(session_.company)).arg(list.size()));
    fillTable(list);
    fillCharts(list);
}

void PeriodOverview::fillTable(const std::vector<std::string>& periods) {
    periods_ = periods;
    cells_.clear();
    QStringList headers;
    for (const TSummaryPlace& place : SummaryPlaces()) {
        if (std::find(cells_.begin(), cells_.end(), place.name) != cells_.end()) continue;
        const TSummarySection& section = SummarySections()[static_cast<std::size_t>(place.section)];
        const TSummaryColumn& column = section.columns[static_cast<std::size_t>(place.column)];
        cells_.emplace_back(place.name);
        headers << GbkToQString(std::string(section.rows[static_cast<std::size_t>(place.row)])) + u'\n' +
                       GbkToQString(std::string(column.group) + std::string(column.caption));
    }
    table_->clear();
    table_->setRowCount(static_cast<int>(periods.size()));
    table_->setColumnCount(static_cast<int>(cells_.size()));
    table_->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < table_->columnCount(); ++c)
        table_->horizontalHeaderItem(c)->setToolTip(GbkToQString(SummaryCellCaption(cells_[static_cast<std::size_t>(c)])));

    std::vector<TSummaryPreview> previews(periods.size());
    for (std::size_t r = 0; r < periods.size(); ++r) {
        std::string error;
        table_->setVerticalHeaderItem(static_cast<int>(r), new QTableWidgetItem(GbkToQString(PeriodCaption(periods[r]))));
        if (!LoadSummaryPreview(session_.context(periods[r]), previews[r], error))
            table_->verticalHeaderItem(static_cast<int>(r))->setToolTip(GbkToQString(error));
    }
    for (std::size_t r = 0; r < periods.size(); ++r) {
        for (std::size_t c = 0; c < cells_.size(); ++c) {
            TSummaryCellRef ref;
            const bool count = FindSummaryCell(cells_[c], ref) && ref.cell->measure == TSummaryMeasure::Fs;
            const std::string value = previews[r].Value(cells_[c]);
            QString text = GbkToQString(value);
            if (r + 1 < periods.size())   // the row below is the period before
                text += u'\n' + ChangeText(Number(value), Number(previews[r + 1].Value(cells_[c])), count);
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
}

void PeriodOverview::fillCharts(const std::vector<std::string>& periods) {
    // The last 24 periods, oldest first, and per rate the sums of the invoices not voided.
    std::vector<std::string> shown(periods.begin(), periods.begin() + std::min<std::size_t>(periods.size(), 24));
    std::reverse(shown.begin(), shown.end());
    std::map<int, std::map<std::string, std::pair<double, double>>> byRate;   // rate -> period -> amount, tax
    THostQuery query;
    std::string error;
    if (!shown.empty() &&
        ExecADOQueryMsg(session_.connectionName(),
                        "select sbssq, sl, sum(je) as zje, sum(se) as zse from sb" + session_.subAppCode +
                            "_xxfpb where nsrsbh = '" + session_.company + "' and sbssq >= '" + shown.front() +
                            "' and zfbz = 0 group by sbssq, sl",
                        &query, error, 1, 0))
        for (; !query.Eof(); query.Next())
            byRate[query.FieldAsInteger("sl")][query.FieldAsString("sbssq")] = {query.FieldAsFloat("zje"),
                                                                               query.FieldAsFloat("zse")};
    QStringList categories;
    for (const std::string& p : shown) categories << GbkToQString(p.substr(2, 2) + "." + p.substr(4));
    const auto chart = [&](QChartView* view, const QString& title, bool tax) {
        auto* series = new QStackedBarSeries;
        for (const auto& [rate, values] : byRate) {
            auto* set = new QBarSet(u"%1%"_s.arg(rate));
            for (const std::string& p : shown) {
                const auto it = values.find(p);
                *set << (it == values.end() ? 0.0 : (tax ? it->second.second : it->second.first));
            }
            series->append(set);
        }
        auto* c = new QChart;
        c->setTitle(title);
        c->addSeries(series);
        auto* x = new QBarCategoryAxis;
        x->append(categories);
        x->setLabelsAngle(-90);
        auto* y = new QValueAxis;
        y->setLabelFormat(u"%.0f"_s);
        c->addAxis(x, Qt::AlignBottom);
        c->addAxis(y, Qt::AlignLeft);
        series->attachAxis(x);
        series->attachAxis(y);
        c->legend()->setAlignment(Qt::AlignRight);
        QChart* old = view->chart();
        view->setChart(c);
        delete old;
    };
    chart(amounts_, u"金额（元，按税率，未作废）"_s, false);
    chart(taxes_, u"税额（元，按税率，未作废）"_s, true);
}

void PeriodOverview::showInvoicesBehind(int row, int column) {
    if (row < 0 || column < 0 || row >= static_cast<int>(periods_.size()) || column >= static_cast<int>(cells_.size()))
        return;
    TSummaryCellRef ref;
    if (!FindSummaryCell(cells_[static_cast<std::size_t>(column)], ref)) return;
    std::vector<Txxqtfpxx*> rows;
    std::string error;
    QDialog dialog(this);
    dialog.setObjectName(u"overviewDrill"_s);
    dialog.setWindowTitle(GbkToQString(PeriodCaption(periods_[static_cast<std::size_t>(row)])) + u"  "_s +
                          GbkToQString(SummaryCellCaption(cells_[static_cast<std::size_t>(column)])));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QTableWidget;
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setColumnCount(RegisterColumnCount);
    QStringList captions;
    for (int c = 0; c < RegisterColumnCount; ++c) captions << GbkToQString(RegisterColumnCaption(c));
    list->setHorizontalHeaderLabels(captions);
    auto* total = new QLabel;
    if (LoadDrillInvoices(*ref.group, session_.context(periods_[static_cast<std::size_t>(row)]), rows, error)) {
        list->setRowCount(static_cast<int>(rows.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::vector<std::string> fields = RegisterExportFields(*rows[r]);
            for (std::size_t c = 0; c < fields.size(); ++c)
                list->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(GbkToQString(fields[c])));
        }
        total->setText(u"合计：%1 张，%2"_s.arg(rows.size()).arg(GbkToQString(DrillTotalText(*ref.cell, rows))));
        FreeInvoiceList(rows);
    } else {
        total->setText(u"无法读取发票：%1"_s.arg(GbkToQString(error)));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(list, 1);
    layout->addWidget(total);
    layout->addWidget(buttons);
    dialog.resize(900, 480);
    dialog.exec();
}

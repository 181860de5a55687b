#include "PeriodOverview.h"

#include "ClientSession.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryCells.h"
#include "summary/f_SummaryDrill.h"
#include "summary/f_SummaryPreview.h"
#include "print/f_PreviewPage.h"

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QBarSet>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
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

constexpr int kPageMargin = 12;

// The return's page of one period with one cell marked, as the preview window paints it; a
// double click on a figure asks for the invoices behind it.
class PreviewPageView : public QWidget {
public:
    PreviewPageView(const vantrel::TSummaryPreview& preview, std::string focus, std::function<void(const std::string&)> open)
        : preview_(preview), open_(std::move(open)) {
        setObjectName(u"overviewPreviewPage"_s);
        SetFocusCell(std::move(focus));
        const QSizeF size = layout_.Size();
        setFixedSize(static_cast<int>(std::ceil(size.width())) + 2 * kPageMargin,
                     static_cast<int>(std::ceil(size.height())) + 2 * kPageMargin);
    }
    QRect CellRect(const std::string& name) const {
        return layout_.CellRect(name).translated(kPageMargin, kPageMargin).toAlignedRect();
    }
    const std::string& Focus() const { return marks_.focus; }
    void SetFocusCell(std::string name) {
        marks_.focus = std::move(name);
        setProperty("focusCell", QString::fromStdString(marks_.focus));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0xE6, 0xE9, 0xEE));
        painter.translate(kPageMargin, kPageMargin);
        vantrel::PaintPreviewPage(painter, preview_, vantrel::HostToday(), marks_);
    }
    void mousePressEvent(QMouseEvent* event) override {
        const std::string cell = layout_.CellAt(event->position() - QPointF(kPageMargin, kPageMargin));
        if (!cell.empty()) SetFocusCell(cell);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        mousePressEvent(event);
        if (!marks_.focus.empty()) open_(marks_.focus);
    }

private:
    vantrel::TPreviewPageLayout layout_;
    const vantrel::TSummaryPreview& preview_;
    vantrel::TPreviewPageMarks marks_;
    std::function<void(const std::string&)> open_;
};

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
    table_->setToolTip(u"单击数值打开该期申报表预览并定位到该栏；双击所属期打开该期的发票"_s);
    table_->setCursor(Qt::PointingHandCursor);
    connect(table_, &QTableWidget::cellClicked, this, &PeriodOverview::showPreviewAt);
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
    for (const vantrel::TSummaryPlace& place : vantrel::SummaryPlaces()) {
        if (std::find(cells_.begin(), cells_.end(), place.name) != cells_.end()) continue;
        const vantrel::TSummarySection& section = vantrel::SummarySections()[static_cast<std::size_t>(place.section)];
        const vantrel::TSummaryColumn& column = section.columns[static_cast<std::size_t>(place.column)];
        cells_.emplace_back(place.name);
        headers << GbkToQString(std::string(section.rows[static_cast<std::size_t>(place.row)])) + u'\n' +
                       GbkToQString(std::string(column.group) + std::string(column.caption));
    }
    table_->clear();
    table_->setRowCount(static_cast<int>(periods.size()));
    table_->setColumnCount(static_cast<int>(cells_.size()));
    table_->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < table_->columnCount(); ++c)
        table_->horizontalHeaderItem(c)->setToolTip(GbkToQString(vantrel::SummaryCellCaption(cells_[static_cast<std::size_t>(c)])));

    std::vector<vantrel::TSummaryPreview> previews(periods.size());
    for (std::size_t r = 0; r < periods.size(); ++r) {
        std::string error;
        table_->setVerticalHeaderItem(static_cast<int>(r), new QTableWidgetItem(GbkToQString(vantrel::PeriodCaption(periods[r]))));
        if (!vantrel::LoadSummaryPreview(session_.context(periods[r]), previews[r], error))
            table_->verticalHeaderItem(static_cast<int>(r))->setToolTip(GbkToQString(error));
    }
    for (std::size_t r = 0; r < periods.size(); ++r) {
        for (std::size_t c = 0; c < cells_.size(); ++c) {
            vantrel::TSummaryCellRef ref;
            const bool count = vantrel::FindSummaryCell(cells_[c], ref) && ref.cell->measure == vantrel::TSummaryMeasure::Fs;
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

void PeriodOverview::showPreviewAt(int row, int column) {
    if (row < 0 || column < 0 || row >= static_cast<int>(periods_.size()) || column >= static_cast<int>(cells_.size()))
        return;
    const std::string period = periods_[static_cast<std::size_t>(row)];
    vantrel::TSummaryPreview preview;
    std::string error;
    if (!vantrel::LoadSummaryPreview(session_.context(period), preview, error)) {
        QMessageBox::warning(this, u"申报表预览"_s, u"无法计算申报预览：%1"_s.arg(GbkToQString(error)));
        return;
    }
    QDialog dialog(this);
    dialog.setObjectName(u"overviewPreview"_s);
    dialog.setWindowTitle(vantrel::PreviewTitle() + u"  "_s + GbkToQString(vantrel::PeriodCaption(period)));
    auto* page = new PreviewPageView(preview, cells_[static_cast<std::size_t>(column)],
                                     [this, period](const std::string& cell) { showInvoicesBehind(period, cell); });
    auto* scroll = new QScrollArea;
    scroll->setWidget(page);
    auto* hint = new QLabel(u"双击任一数值列出它所汇总的发票"_s);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* list = buttons->addButton(u"列出发票"_s, QDialogButtonBox::ActionRole);
    list->setObjectName(u"btnListInvoices"_s);
    connect(list, &QPushButton::clicked, &dialog, [this, period, page] { showInvoicesBehind(period, page->Focus()); });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(scroll, 1);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    dialog.resize(1000, 640);
    // Scrolled once the dialog has its size, that is once it runs.
    QTimer::singleShot(0, &dialog, [scroll, page] {
        const QRect cell = page->CellRect(page->Focus());
        scroll->ensureVisible(cell.center().x(), cell.center().y(), cell.width() + 80, cell.height() + 160);
    });
    dialog.exec();
}

void PeriodOverview::showInvoicesBehind(const std::string& period, const std::string& cell) {
    vantrel::TSummaryCellRef ref;
    if (!vantrel::FindSummaryCell(cell, ref)) return;
    std::string error;
    QDialog dialog(this);
    dialog.setObjectName(u"overviewDrill"_s);
    dialog.setWindowTitle(GbkToQString(vantrel::PeriodCaption(period)) + u"  "_s + GbkToQString(vantrel::SummaryCellCaption(cell)));
    std::vector<Txxqtfpxx*> rows;
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QTableWidget;
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setColumnCount(vantrel::RegisterColumnCount);
    QStringList captions;
    for (int c = 0; c < vantrel::RegisterColumnCount; ++c) captions << GbkToQString(vantrel::RegisterColumnCaption(c));
    list->setHorizontalHeaderLabels(captions);
    auto* total = new QLabel;
    if (vantrel::LoadDrillInvoices(*ref.group, session_.context(period), rows, error)) {
        list->setRowCount(static_cast<int>(rows.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::vector<std::string> fields = vantrel::RegisterExportFields(*rows[r]);
            for (std::size_t c = 0; c < fields.size(); ++c)
                list->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(GbkToQString(fields[c])));
        }
        total->setText(u"合计：%1 张，%2"_s.arg(rows.size()).arg(GbkToQString(vantrel::DrillTotalText(*ref.cell, rows))));
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

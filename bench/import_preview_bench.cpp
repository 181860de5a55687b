// The import preview dialog on a file of 10^5 rows that each have an error, against a plain
// QTableView over the same rows' texts (a bare model, no marks, no message list), both in the
// same run:
//  - opening: constructing the dialog to its first rendered frame;
//  - the longest stall of the event loop while the user works in it: scrolling to the end,
//    paging, ticking all rows and reading a cell's tool tip, each followed by a rendered frame.
// Prints ratios (best of several runs), and the dialog's times for scale.
//
//   import_preview_bench [--rows N] [--runs K]
#include "bench/bench_support.h"
#include "context/f_ModuleContext.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "ui/manager/f_ImportPreview.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using bench::Die;

// n rows, each with an error (a rate the register does not know) and, one in three, a warning.
std::string RegisterWithErrors(int n) {
    std::mt19937 gen(7);
    std::string text = "发票类型,开票日期,份数,金额,税率,税额,购方税号\r\n";
    for (int i = 0; i < n; ++i) {
        char line[160];
        const long long cents = 100 + static_cast<long long>(gen() % 10000000);
        std::snprintf(line, sizeof line, "普通发票,2026-11-%02d,1,%lld.%02lld,99,%s,%s\r\n", 1 + i % 28, cents / 100,
                      cents % 100, i % 3 ? "1.00" : "", i % 5 ? "440300665812347" : "12");
        text += line;
    }
    return text;
}

// The floor's model: the same rows' cell texts, nothing else.
class PlainModel : public QAbstractTableModel {
public:
    explicit PlainModel(const vantrel::TImportPlan& plan) : plan_(plan) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(plan_.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : vantrel::RegisterColumnCount + 1; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        const vantrel::TImportRow& row = plan_.rows[static_cast<std::size_t>(index.row())];
        if (index.column() == 0) return row.line;
        const vantrel::TExchangeCell& cell = row.cells[static_cast<std::size_t>(index.column() - 1)];
        return cell.kind == vantrel::TExchangeCell::Text ? GbkToQString(cell.text) : QVariant(cell.number);
    }

private:
    const vantrel::TImportPlan& plan_;
};

struct Times {
    double open = 0, stall = 0;
};

// Opens the view that make() builds, renders it, then works in it; each step's time.
Times Measure(const std::function<QWidget*()>& make, const std::function<QTableView*(QWidget*)>& table) {
    Times t;
    std::unique_ptr<QWidget> window;
    t.open = bench::Time([&] {
        window.reset(make());
        window->resize(860, 520);
        window->show();
        (void)window->grab();
    });
    QTableView* view = table(window.get());
    const std::vector<std::function<void()>> steps = {
        [&] { view->scrollToBottom(); },
        [&] { QTest::keyClick(view, Qt::Key_PageUp); },
        [&] { view->selectAll(); },
        [&] { view->scrollToTop(); },
        [&] { (void)view->model()->data(view->model()->index(3, 5), Qt::ToolTipRole); },
        [&] { view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2); },
    };
    for (const auto& step : steps)
        t.stall = std::max(t.stall, bench::Time([&] {
                               step();
                               QCoreApplication::processEvents();
                               (void)window->grab();
                           }));
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int rows = 100000, runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) rows = std::atoi(argv[++i]);
        else if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else Die("usage: import_preview_bench [--rows N] [--runs K]");
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-preview-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    bench::SetUpHost(dir);
    bench::OpenDatabase((dir / "bench.db").string());
    std::ofstream((dir / "fp_config.ini").string()) << "[xxqtfp]\nsl=|17|13|6|4|0|\n";
    LoadInvoiceConfig(vantrel::ModuleContextFromHost(), "xxqtfp");

    const QString csv = QString::fromStdString((dir / "errors.csv").string());
    std::string error;
    if (!vantrel::WriteCsvFile(csv, RegisterWithErrors(rows), error)) Die(error);
    vantrel::TImportTarget target;
    vantrel::TImportPlan plan;
    if (!vantrel::LoadImportTarget(vantrel::ModuleContextFromHost(), target, error) ||
        !vantrel::PlanImportFile(csv, target, true, plan, error))
        Die(error);
    if (plan.rows.size() != static_cast<std::size_t>(rows) || !plan.HasErrors()) Die("the plan lacks its rows or errors");

    Times product{1e300, 1e300}, floor{1e300, 1e300};
    for (int run = 0; run < runs; ++run) {
        const Times p = Measure([&] { return new vantrel::TFrmImportPreview(csv, plan); },
                                [](QWidget* w) { return w->findChild<QTableView*>(QStringLiteral("gridRows")); });
        PlainModel* model = nullptr;
        const Times f = Measure(
            [&] {
                auto* v = new QTableView;
                model = new PlainModel(plan);
                model->setParent(v);
                v->setModel(model);
                return v;
            },
            [](QWidget* w) { return static_cast<QTableView*>(w); });
        product = {std::min(product.open, p.open), std::min(product.stall, p.stall)};
        floor = {std::min(floor.open, f.open), std::min(floor.stall, f.stall)};
    }
    std::printf("Import preview of %d rows with %zu errors and warnings, against a plain QTableView over the\n"
                "same rows (best of %d; the dialog's own time in parentheses)\n",
                rows, plan.issues.size(), runs);
    std::printf("opening to the first frame:   %6.2f  (%.3f s)\n", product.open / floor.open, product.open);
    std::printf("longest stall while working:  %6.2f  (%.3f s)\n", product.stall / floor.stall, product.stall);
    FreeInvoiceList(target.existing);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

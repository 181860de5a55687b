// The manager window on periods of 10^5 and 10^6 invoices in tables ten times larger, against
// floors measured in the same run on the same file:
//  - showing the window to its first painted list, against SQLite stepping the list select
//    on a connection of its own and reading every column of every row;
//  - a header click to the repainted list, each column, against std::stable_sort of
//    (key, row) pairs of that column, the keys extracted beforehand;
//  - the buyer filter's query to the repainted list, against SQLite running the same LIKE
//    statement the same way;
//  - the peak resident memory per loaded invoice, by RSS, in a fresh process.
// Prints ratios, not bare times.
//
//   manager_bench [--max N]          N: the largest period (default 1000000)
//   manager_bench --memory N         only the memory measurement (what the first form runs)
#include "context/f_ModuleContext.h"
#include "bench_register.h"

#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_XxqtfpMgr.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include <cstring>
#include <memory>

namespace {

// Waits for the list's viewport to paint with the expected number of rows.
class PaintWatcher : public QObject {
public:
    PaintWatcher(QTreeView* view, int rows) : view_(view), rows_(rows) { view_->viewport()->installEventFilter(this); }
    ~PaintWatcher() override { view_->viewport()->removeEventFilter(this); }

    void Arm() { painted_ = false; }
    void Wait() {
        while (!painted_) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && view_->model() && view_->model()->rowCount() == rows_) painted_ = true;
        return false;
    }

private:
    QTreeView* view_;
    int rows_;
    bool painted_ = false;
};

void SetUpHost(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "sub");
    corlith::HostSetup setup;
    setup.appPath = dir.string() + "/";
    setup.subAppPath = (dir / "sub").string() + "/";
    setup.subAppCode = "07";
    setup.funcCode = "07037-02-18-01";
    corlith::Configure(setup);
    GetCurSubAppVo()->SetText("curcompany", bench::kCompany);
    GetCurSubAppVo()->SetText("curKJNY", bench::kPeriod);
}

std::string Folded(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// std::stable_sort of (key, row) pairs of the column, the pairs made beforehand.
double PlainSort(const std::vector<Txxqtfpxx*>& list, int column, int runs) {
    auto timed = [runs](auto pairs) {
        return BestOf(runs, [&pairs] {
            auto copy = pairs;
            std::stable_sort(copy.begin(), copy.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        });
    };
    switch (column) {
    case vantrel::ColFs: {
        std::vector<std::pair<int64_t, uint32_t>> pairs;
        for (uint32_t i = 0; i < list.size(); ++i) pairs.emplace_back(list[i]->fs, i);
        return timed(std::move(pairs));
    }
    case vantrel::ColJe:
    case vantrel::ColSe: {
        std::vector<std::pair<double, uint32_t>> pairs;
        for (uint32_t i = 0; i < list.size(); ++i) pairs.emplace_back(column == vantrel::ColJe ? list[i]->je : list[i]->se, i);
        return timed(std::move(pairs));
    }
    default: {
        std::vector<std::pair<std::string, uint32_t>> pairs;
        for (uint32_t i = 0; i < list.size(); ++i) {
            const Txxqtfpxx& r = *list[i];
            const std::string* text = column == vantrel::ColFplxmc ? &r.fplxmc
                                      : column == vantrel::ColKprq ? &r.kprq
                                      : column == vantrel::ColGfnsr ? &r.gfnsr
                                      : column == vantrel::ColMs   ? &r.ms
                                      : column == vantrel::ColLwfp ? &r.lwfp
                                      : column == vantrel::ColZfbz ? &r.zfbz
                                                          : &r.jzjt;
            pairs.emplace_back(Folded(*text), i);
        }
        return timed(std::move(pairs));
    }
    }
}

// The window's controls, found by their object names as the tests find them.
template <class T>
T* Named(const QObject* window, const char* name) {
    T* control = window->findChild<T*>(QLatin1String(name));
    if (!control) bench::Die(std::string("the window has no ") + name);
    return control;
}
QTreeView* List(const QObject* window) { return Named<QTreeView>(window, "VSTInvoideCommon"); }
vantrel::TInvoiceListModel* Model(const QObject* window) { return static_cast<vantrel::TInvoiceListModel*>(List(window)->model()); }

std::unique_ptr<TFrmXxqtfpMgr> ShowWindow(int rows, double& seconds) {
    auto window = std::make_unique<TFrmXxqtfpMgr>(vantrel::ModuleContextFromHost());
    window->resize(1100, 700);
    PaintWatcher watcher(List(window.get()), rows);
    seconds = bench::Time([&] {
        window->show();
        watcher.Wait();
    });
    if (Model(window.get())->rowCount() != rows) bench::Die("the window did not list the period");
    return window;
}

int MemoryOnly(long long n, int argc, char** argv) {
    const std::string file = bench::Register(n, 10);
    QApplication app(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-manager-bench-" + std::to_string(::getpid()));
    SetUpHost(dir);
    std::string error;
    if (!corlith::BindConnection(bench::kConnection, file, error)) bench::Die(error);
    // Everything the window needs besides its rows exists before the baseline: a window on an
    // empty period comes and goes first.
    GetCurSubAppVo()->SetText("curKJNY", "190001");
    {
        double ignored = 0;
        ShowWindow(0, ignored);
    }
    GetCurSubAppVo()->SetText("curKJNY", bench::kPeriod);
    if (!bench::ResetPeakResident()) bench::Die("cannot reset the peak resident size (/proc/self/clear_refs)");
    const long long before = bench::ResidentBytes();
    double seconds = 0;
    auto window = ShowWindow(static_cast<int>(n), seconds);
    const long long peak = bench::PeakResidentBytes();
    const long long after = bench::ResidentBytes();
    std::printf("%.0f %.0f\n", static_cast<double>(peak - before) / static_cast<double>(n),
                static_cast<double>(after - before) / static_cast<double>(n));
    window.reset();
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    long long largest = 1000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0) return MemoryOnly(std::atoll(argv[i + 1]), argc, argv);
        if (std::strcmp(argv[i], "--max") == 0) largest = std::atoll(argv[i + 1]);
    }
    // The registers first, so that making them disturbs nothing measured.
    std::vector<long long> sizes;
    for (long long n = 100000; n <= largest; n *= 10) sizes.push_back(n);
    for (long long n : sizes) bench::Register(n, 10);

    QApplication app(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-manager-bench-" + std::to_string(::getpid()));
    SetUpHost(dir);

    for (long long n : sizes) {
        const std::string file = bench::Register(n, 10);
        const int rows = static_cast<int>(n);
        std::string error;
        if (!corlith::BindConnection(bench::kConnection, file, error)) bench::Die(error);
        sqlite3* db = bench::OpenFloor(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        std::printf("== a period of %lld invoices in a table of %lld\n", n, 11 * n);

        // Show to first painted list; the first window counts on its own.
        const std::string listSql = vantrel::BuildListSql(vantrel::ModuleContextFromHost(), "", "");
        if (bench::ReadDirectly(db, listSql) != rows) bench::Die("the list select does not find the period");
        const double readFloor = BestOf(3, [&] { bench::ReadDirectly(db, listSql); });
        double first = 0, best = 1e300;
        std::unique_ptr<TFrmXxqtfpMgr> window;
        for (int run = 0; run < 3; ++run) {
            double seconds = 0;
            window.reset();
            window = ShowWindow(rows, seconds);
            if (run == 0) first = seconds;
            best = std::min(best, seconds);
        }
        std::printf("show to first painted list / SQLite reading the list select: first %.2f, warm %.2f"
                    " (target <= 1.5)\n", first / readFloor, best / readFloor);

        // Header click to repainted list, the best of as many rounds as the floor gets runs: single
        // clicks are short enough for the machine's other work to spoil a few of them.
        constexpr int kClickRounds = 5;
        vantrel::TInvoiceListModel* model = Model(window.get());
        QHeaderView* header = List(window.get())->header();
        auto watcher = std::make_unique<PaintWatcher>(List(window.get()), rows);
        std::vector<double> clickBest(vantrel::InvoiceListColumnCount, 1e300), clickFirst(vantrel::InvoiceListColumnCount, 0);
        for (int round = 0; round < kClickRounds; ++round) {
            for (int column = vantrel::ColFplxmc; column < vantrel::InvoiceListColumnCount; ++column) {
                const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                header->height() / 2);
                watcher->Arm();
                const double seconds = bench::Time([&] {
                    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
                    watcher->Wait();
                });
                if (model->SortColumn() != column || model->SortOrder() != Qt::AscendingOrder)
                    bench::Die("the click did not sort the column ascending");
                if (round == 0) clickFirst[static_cast<size_t>(column)] = seconds;
                clickBest[static_cast<size_t>(column)] = std::min(clickBest[static_cast<size_t>(column)], seconds);
            }
        }
        std::printf("%-8s %-14s %10s %10s\n", "column", "caption", "first", "warm");
        double worst = 0;
        for (int column = vantrel::ColFplxmc; column < vantrel::InvoiceListColumnCount; ++column) {
            const double floor = PlainSort(*Model(window.get())->List(), column, kClickRounds);
            const double ratio = clickBest[static_cast<size_t>(column)] / floor;
            worst = std::max(worst, ratio);
            std::printf("%-8d %-14s %10.2f %10.2f\n", column,
                        GbkToQString(InvoiceListColumns[column].caption).toStdString().c_str(),
                        clickFirst[static_cast<size_t>(column)] / floor, ratio);
        }
        // The target is set for 10^6 rows; at 10^5 the view's repaint, a few milliseconds whatever
        // the size, is most of what a click costs beside a sort that short.
        std::printf("header click to repainted list / std::stable_sort of (key, row): worst column %.2f%s\n", worst,
                    n >= 1000000 ? " (target <= 1.5)" : " (for comparison; the target is set at 10^6 rows)");

        // The buyer filter.
        const std::string buyer = "1234";
        const std::string likeSql = vantrel::BuildListSql(vantrel::ModuleContextFromHost(), "", buyer);
        const int matching = bench::ReadDirectly(db, likeSql);
        const double likeFloor = BestOf(3, [&] { bench::ReadDirectly(db, likeSql); });
        Named<TPellowEdit>(window.get(), "edtghfsh")->SetText(buyer);
        watcher.reset();
        auto filtered = std::make_unique<PaintWatcher>(List(window.get()), matching);
        double likeFirst = 0, likeBest = 1e300;
        for (int run = 0; run < 3; ++run) {
            const double seconds = bench::Time([&] {
                filtered->Arm();
                Named<QAction>(window.get(), "ActQuery")->trigger();
                filtered->Wait();
            });
            if (run == 0) likeFirst = seconds;
            likeBest = std::min(likeBest, seconds);
        }
        std::printf("buyer filter (%d rows) to repainted list / SQLite running the LIKE select: first %.2f,"
                    " warm %.2f%s\n", matching, likeFirst / likeFloor, likeBest / likeFloor,
                    n >= 1000000 ? " (target <= 1.5)" : " (for comparison; the target is set at 10^6 rows)");
        std::fflush(stdout);

        filtered.reset();   // before the window whose viewport it watches
        window.reset();
        sqlite3_close(db);
        corlith::CloseConnections();
    }

    // Memory in a process that has loaded nothing before.
    for (long long n : sizes) {
        const std::string command = std::string(argv[0]) + " --memory " + std::to_string(n);
        FILE* child = ::popen(command.c_str(), "r");
        double peak = 0, steady = 0;
        if (!child || std::fscanf(child, "%lf %lf", &peak, &steady) != 2) bench::Die("memory run failed");
        ::pclose(child);
        std::printf("resident memory per loaded invoice, %lld rows: peak %.0f bytes, after the load %.0f bytes"
                    " (target: peak <= 560)\n", n, peak, steady);
    }
    std::filesystem::remove_all(dir);
    return 0;
}

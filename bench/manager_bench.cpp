// The manager window on a period of 10^5 invoices, against floors measured in the same run:
//  - from showing the window to its first painted list, against the host library reading the
//    same statement's rows;
//  - re-sorting the list by each column, against std::stable_sort of the same record pointers
//    with the same comparison;
//  - heap bytes per loaded invoice.
// Prints ratios, not bare times.
#include "corlith/corlith_host.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_XxqtfpMgr.h"

#include <QApplication>
#include <QTreeView>

#include <sqlite3.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kConnection = "WSSBMainCon_07";
constexpr const char* kCompany = "91110000MA001BENCH";
constexpr const char* kPeriod = "202611";
constexpr int kInvoices = 100000;

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "manager_bench: %s\n", what.c_str());
    std::exit(1);
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double BestOf(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        work();
        best = std::min(best, Seconds(start));
    }
    return best;
}

void Fill(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Die("open");
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "insert into sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,"
                           "zfbz,sbwjm) values (?,?,?,?,'2026-11-30',?,?,?,?,?,?,?,?,?,?,'')",
                           -1, &insert, nullptr) != SQLITE_OK)
        Die(sqlite3_errmsg(db));
    std::mt19937 gen(776531);
    const int types[] = {1, 2, 3, 5, 9};
    for (int i = 0; i < kInvoices; ++i) {
        char date[16];
        std::snprintf(date, sizeof date, "2026-11-%02u", static_cast<unsigned>(1 + gen() % 30));
        std::string buyer = "9111";
        for (int k = 0; k < 14; ++k) buyer += static_cast<char>('0' + gen() % 10);
        if (gen() % 7 == 0) buyer += "AB";
        const double je = static_cast<double>(gen() % 100000000) / 100.0;
        sqlite3_bind_text(insert, 1, kCompany, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, kPeriod, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 3, i + 1);
        sqlite3_bind_int(insert, 4, types[gen() % 5]);
        sqlite3_bind_text(insert, 5, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 6, 1 + gen() % 50);
        sqlite3_bind_double(insert, 7, je);
        sqlite3_bind_double(insert, 8, static_cast<double>(static_cast<long long>(je * 17.0)) / 100.0);
        sqlite3_bind_int(insert, 9, 17);
        sqlite3_bind_text(insert, 10, buyer.c_str(), -1, SQLITE_TRANSIENT);
        for (int flag = 11; flag <= 14; ++flag) sqlite3_bind_int(insert, flag, gen() % 20 == 0 ? 1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE) Die(sqlite3_errmsg(db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Marks the first paint of a widget.
class PaintWatcher : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const bool result = QObject::eventFilter(watched, event);
            painted = true;
            return result;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-manager-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "sub");
    const std::string file = (dir / "bench.db").string();

    corlith::HostSetup setup;
    setup.appPath = dir.string() + "/";
    setup.subAppPath = (dir / "sub").string() + "/";
    setup.subAppCode = "07";
    setup.funcCode = "07037-02-18-01";
    corlith::Configure(setup);
    std::string error;
    if (!corlith::BindConnection(kConnection, file, error) || !corlith::CreateSchema(kConnection, "07", error))
        Die(error);
    GetCurSubAppVo()->SetText("curcompany", kCompany);
    GetCurSubAppVo()->SetText("curKJNY", kPeriod);
    Fill(file);

    // Floor 1: the host library reading the list statement's rows.
    const std::string sql = BuildListSql(kCompany, kPeriod, "", "");
    int hostRows = 0;
    const double hostRead = BestOf(3, [&] {
        THostQuery query;
        std::string err;
        if (!ExecADOQueryMsg(MainConnectionName(), sql, &query, err, 1, 0)) Die(err);
        hostRows = query.RecordCount();
    });

    // The window: from showing to the first painted list (best of three windows).
    double showToPaint = 1e300;
    double bytesPerInvoice = 0;
    for (int run = 0; run < 3; ++run) {
        auto* window = new TFrmXxqtfpMgr();
        window->resize(1100, 700);
        PaintWatcher watcher;
        window->VSTInvoideCommon->viewport()->installEventFilter(&watcher);
        const size_t heapBefore = mallinfo2().uordblks;
        const Clock::time_point start = Clock::now();
        window->show();
        while (!watcher.painted) QApplication::processEvents(QEventLoop::AllEvents, 5);
        showToPaint = std::min(showToPaint, Seconds(start));
        const size_t heapAfter = mallinfo2().uordblks;
        if (window->ListModel()->rowCount() != kInvoices) Die("the window did not list the period");
        bytesPerInvoice = static_cast<double>(heapAfter - heapBefore) / kInvoices;
        window->VSTInvoideCommon->viewport()->removeEventFilter(&watcher);
        if (run < 2) delete window;
        else {
            // Re-sorting through the list against a plain stable sort with the same comparison.
            TInvoiceListModel* model = window->ListModel();
            std::printf("rows listed: %d (host read %d)\n", model->rowCount(), hostRows);
            std::printf("%-14s %10s\n", "sort column", "list/plain");
            double worst = 0;
            for (int column = ColFplxmc; column < InvoiceListColumnCount; ++column) {
                double listBest = 1e300;
                double plainBest = 1e300;
                for (int round = 0; round < 3; ++round) {
                    model->sort(-1);  // keep the order, forget the column
                    window->RefreshStatistics();
                    const Clock::time_point listStart = Clock::now();
                    model->sort(column, Qt::AscendingOrder);
                    listBest = std::min(listBest, Seconds(listStart));

                    std::vector<Txxqtfpxx*> records = window->FInvoiceList;
                    const Clock::time_point plainStart = Clock::now();
                    std::stable_sort(records.begin(), records.end(), [column](const Txxqtfpxx* a, const Txxqtfpxx* b) {
                        return TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes(*a, *b, column) < 0;
                    });
                    plainBest = std::min(plainBest, Seconds(plainStart));
                    if (round == 0)
                        for (int row = 0; row < model->rowCount(); row += 997)
                            if (TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes(*model->RecordAt(row),
                                                                            *records[static_cast<size_t>(row)], column) != 0)
                                Die("the list and the plain sort disagree");
                }
                const double ratio = listBest / plainBest;
                worst = std::max(worst, ratio);
                std::printf("%-14d %10.2f\n", column, ratio);
            }
            std::printf("re-sort, worst column: list/plain = %.2f (target <= 2)\n", worst);

            // With a tenth of the rows checked the checks travel with their rows.
            double checkedBest = 1e300;
            double plainBest = 1e300;
            for (int round = 0; round < 3; ++round) {
                model->sort(-1);
                window->RefreshStatistics();
                std::vector<bool> checked(static_cast<size_t>(model->rowCount()));
                for (size_t i = 0; i < checked.size(); i += 10) checked[i] = true;
                model->SetCheckedRows(checked);
                const Clock::time_point listStart = Clock::now();
                model->sort(ColJe, Qt::AscendingOrder);
                checkedBest = std::min(checkedBest, Seconds(listStart));
                std::vector<Txxqtfpxx*> records = window->FInvoiceList;
                const Clock::time_point plainStart = Clock::now();
                std::stable_sort(records.begin(), records.end(), [](const Txxqtfpxx* a, const Txxqtfpxx* b) {
                    return TFrmXxqtfpMgr::VSTInvoideCommonCompareNodes(*a, *b, ColJe) < 0;
                });
                plainBest = std::min(plainBest, Seconds(plainStart));
            }
            std::printf("re-sort by amount with checked rows: list/plain = %.2f\n", checkedBest / plainBest);
            delete window;
        }
    }
    std::printf("show to first painted list / host read of the same rows = %.2f (target <= 1.5)\n",
                showToPaint / hostRead);
    std::printf("heap per loaded invoice: %.0f bytes (record %zu bytes + strings + one row pointer and check)\n",
                bytesPerInvoice, sizeof(Txxqtfpxx));

    corlith::CloseConnections();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}

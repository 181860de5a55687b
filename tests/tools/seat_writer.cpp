// One bookkeeper's seat without windows: adds invoices to a period through the module's store,
// as the detail window's 确定 does, and prints each saved one as "xh amount" once the store
// reports it saved. A save that the store gives up on (others kept taking its number) is pressed
// again, as the bookkeeper would; the test counts the presses. FIRST is the least number it saves
// with, as a manager whose next number is ahead of the stored ones.
//   seat_writer DATABASE TAXPAYER PERIOD COUNT SEAT [FIRST]
#include "corlith/corlith_host.h"
#include "invoice/f_InvoiceStore.h"
#include "context/f_ModuleContext.h"
#include "report/f_DealReportImpl.h"
#include "tests/support/host_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: seat_writer DATABASE TAXPAYER PERIOD COUNT SEAT [FIRST]\n");
        return 2;
    }
    const std::string database = argv[1], taxpayer = argv[2], period = argv[3];
    const int count = std::atoi(argv[4]), seat = std::atoi(argv[5]), first = argc == 7 ? std::atoi(argv[6]) : 0;

    testhost::ConfigureHost("/tmp/", "/tmp/");
    std::string error;
    if (!corlith::BindConnection(testhost::kConnection, database, error)) {
        std::fprintf(stderr, "seat %d: %s\n", seat, corlith::GbkToUtf8(error).c_str());
        return 2;
    }
    testhost::SetTaxpayer(taxpayer, period);
    testhost::InstallCatalogue();

    const vantrel::TInvoiceStore store = vantrel::ModuleInvoiceStore(vantrel::ModuleContextFromHost());
    int presses = 0;
    for (int i = 0; i < count; ++i) {
        // The amount tells the rows of the seats apart: seat * 10000 + i yuan.
        const double amount = seat * 10000.0 + i;
        for (;;) {
            int32_t next = 0;
            vantrel::TStoreOutcome outcome = store.NextFreeXh(next);
            next = std::max(next, first);
            Txxqtfpxx record = vantrel::MakeInvoiceTemplate(next, period, vantrel::TodayText());
            record.sbssq = period;
            record.fplx = "1";
            record.fs = 1;
            record.je = amount;
            record.se = amount * 0.17;
            if (outcome.Ok()) outcome = store.Insert(record);
            ++presses;
            if (outcome.Ok()) {
                std::printf("%d %.0f\n", record.xh, amount);
                std::fflush(stdout);
                break;
            }
            if (presses > 50 * count) {
                std::fprintf(stderr, "seat %d: gave up: %s\n", seat, corlith::GbkToUtf8(outcome.error).c_str());
                return 1;
            }
        }
    }
    std::fprintf(stderr, "seat %d: %d saves, %d presses\n", seat, count, presses);
    corlith::CloseConnections();
    return 0;
}

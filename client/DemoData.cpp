#include "DemoData.h"

#include "host/corlith_api.h"
#include "host/f_HostTransaction.h"
#include "invoice/f_ChangeLog.h"

#include <cstdio>
#include <map>
#include <vector>

namespace {

struct DemoInvoice {
    int xh;
    int fplx;
    int day;
    int fs;
    double je;
    double se;
    int sl;
    const char* gfnsr;
    int jzjt, lwfp, ms, zfbz;
};

// Types 1 普通发票, 2 非专用发票, 3 未开具发票 (no count), 5 纳税检查调整 (no count).
const std::vector<DemoInvoice> kPeriodRows = {
    {1, 1, 3, 3, 12000.00, 2040.00, 17, " ", 0, 0, 0, 0},
    {2, 1, 5, 1, 5800.00, 754.00, 13, "440300665812347", 0, 0, 0, 0},
    {3, 1, 8, 2, 3000.00, 510.00, 17, " ", 0, 1, 0, 0},
    {4, 2, 10, 1, 2500.00, 425.00, 17, " ", 0, 0, 0, 0},
    {5, 2, 12, 4, 8600.00, 1118.00, 13, "91440300MA5DCB1K7D", 0, 0, 0, 0},
    {6, 3, 15, 0, 4200.00, 252.00, 6, " ", 0, 0, 0, 0},
    {7, 3, 16, 0, 1500.00, 60.00, 4, " ", 0, 0, 0, 0},
    {8, 1, 18, 2, 6000.00, 360.00, 6, " ", 0, 0, 0, 0},
    {9, 1, 19, 1, 2200.00, 88.00, 4, " ", 0, 0, 0, 0},
    {10, 1, 20, 5, 9000.00, 1530.00, 17, " ", 1, 0, 0, 0},
    {11, 3, 21, 0, 3300.00, 198.00, 6, " ", 1, 0, 0, 0},
    {12, 1, 22, 2, 4800.00, 0.00, 0, " ", 0, 0, 1, 0},
    {13, 2, 23, 1, 1200.00, 0.00, 0, " ", 0, 1, 1, 0},
    {14, 1, 25, 1, 7000.00, 1190.00, 17, "91440300MA5DCB1K7D", 0, 0, 0, 1},
    {15, 5, 27, 0, 2000.00, 340.00, 17, " ", 0, 0, 0, 0},
    {16, 1, 28, 1, 1000.00, 130.00, 13, "440300665812347", 0, 1, 0, 0},
};

const std::vector<DemoInvoice> kPreviousPeriodRows = {
    {1, 1, 6, 2, 5000.00, 850.00, 17, " ", 0, 0, 0, 0},
    {2, 3, 14, 0, 1200.00, 72.00, 6, " ", 0, 0, 0, 0},
    {3, 1, 26, 1, 800.00, 104.00, 13, " ", 0, 0, 0, 0},
};

const std::vector<DemoInvoice> kOtherCompanyRows = {
    {1, 1, 9, 1, 1000.00, 170.00, 17, " ", 0, 0, 0, 0},
    {2, 2, 17, 2, 3000.00, 390.00, 13, " ", 0, 0, 0, 0},
};

std::string InsertStatement(const std::string& table, const std::string& company, const std::string& period,
                            const DemoInvoice& row) {
    char date[16];
    std::snprintf(date, sizeof date, "%.4s-%.2s-%02d", period.c_str(), period.c_str() + 4, row.day);
    char numbers[256];
    std::snprintf(numbers, sizeof numbers, "%d,%d,'%s','%s',%d,%.2f,%.2f,%d,", row.xh, row.fplx, date, date, row.fs,
                  row.je, row.se, row.sl);
    char flags[64];
    std::snprintf(flags, sizeof flags, ",%d,%d,%d,%d,'')", row.jzjt, row.lwfp, row.ms, row.zfbz);
    return "insert into " + table +
           " (nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,zfbz,sbwjm) values ('" + company + "','" +
           period + "'," + numbers + "'" + row.gfnsr + "'" + flags + " on conflict do nothing";
}

}  // namespace

std::string DemoOtherCompany(const std::string& company) {
    const std::string other = "91440300726123456D";
    return company == other ? std::string("91440300726123457G") : other;
}

std::string PreviousPeriod(const std::string& period) {
    int year = std::stoi(period.substr(0, 4));
    int month = std::stoi(period.substr(4, 2)) - 1;
    if (month == 0) {
        month = 12;
        --year;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d", year, month);
    return text;
}

bool InsertDemoInvoices(const std::string& connection, const std::string& subAppCode, const std::string& company,
                        const std::string& period, std::string& error) {
    const std::string table = "sb" + subAppCode + "_xxfpb";
    struct TRow {
        std::string period;
        const DemoInvoice* row;
    };
    std::vector<std::pair<std::string, std::vector<TRow>>> taxpayers(2);
    taxpayers[0].first = company;
    for (const DemoInvoice& row : kPeriodRows) taxpayers[0].second.push_back({period, &row});
    const std::string previous = PreviousPeriod(period);
    for (const DemoInvoice& row : kPreviousPeriodRows) taxpayers[0].second.push_back({previous, &row});
    taxpayers[1].first = DemoOtherCompany(company);
    for (const DemoInvoice& row : kOtherCompanyRows) taxpayers[1].second.push_back({period, &row});

    // Through the change log like every write, so that a taxpayer's chain stays whole.
    for (const auto& [taxpayer, rows] : taxpayers) {
        THostTransaction transaction(connection, error);
        if (!transaction.Active()) return false;
        const vantrel::TModuleContext context{taxpayer, period, subAppCode, connection, {}, {}, {}, false, {}, {}};
        vantrel::TChangeLogWriter log(context, {vantrel::TChangeKind::Import, "演示发票"});
        if (!log.Lock(error)) return false;
        std::map<std::string, std::vector<int32_t>> added;
        for (const TRow& r : rows) {
            THostQuery query;
            if (!ExecADOQueryMsg(connection, InsertStatement(table, taxpayer, r.period, *r.row), &query, error, 0, 0))
                return false;
            if (query.RowsAffected() > 0) added[r.period].push_back(r.row->xh);
        }
        for (const auto& [sbssq, xhs] : added) {
            std::map<int32_t, std::string> stored;
            if (!log.ReadRows(sbssq, xhs, stored, error)) return false;
            for (auto& [xh, row] : stored) log.Add(sbssq, xh, std::string(), std::move(row));
        }
        if (!log.Flush(error) || !transaction.Commit(error)) return false;
    }
    return true;
}

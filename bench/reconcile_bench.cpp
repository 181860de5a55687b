// Reconciling the platform's list against a register held in memory, against a floor of the
// same file read with the same reader (the fields a match needs taken from each row) plus one
// hash join of the two: the register by invoice number where it knows it, else by its figures.
// Half the register's rows are known by number; a few of the list's invoices differ or are
// missing on one side. Both sides are timed by the processor time they take, the best of K
// turns each, taken in alternation. Target: at most 1.5 at 10^5 rows, for a CSV and a workbook.
//   reconcile_bench [--rows N] [--runs K]
#include "exchange/f_CsvFile.h"
#include "exchange/f_Reconcile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_GlobalUnit.h"

#include <QDate>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>

namespace {

struct TBenchData {
    std::deque<Txxqtfpxx> rows;
    std::vector<const Txxqtfpxx*> pointers;
    std::map<int, std::string> numbers;
};

// The process's processor time of work: the machine is shared, and waiting for a processor is
// no part of either side.
double CpuSeconds(const std::function<void()>& work) {
    timespec start{}, end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    return static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-9;
}

std::string Number(int i) { return "2644200000" + std::to_string(1000000000 + i); }

// The register, and the list as a sheet: the platform's columns, every invoice of the register
// but the last hundredth, every fiftieth with another amount, a hundredth more of its own.
vantrel::TXlsxSheet MakeData(int n, TBenchData& data) {
    std::mt19937 gen(24);
    vantrel::TXlsxSheet sheet;
    sheet.name = "发票基础信息";
    sheet.header = {"序号", "发票代码", "发票号码", "开票日期", "购买方纳税人识别号", "购买方名称",
                    "金额", "税额", "价税合计", "税率", "发票状态"};
    const std::string buyers[] = {"91440300MA5DCB1K7D", "440300665812347", "91110108MA01ABCD3X", ""};
    const auto text = [](std::string value) { return vantrel::TExchangeCell{vantrel::TExchangeCell::Text, std::move(value), 0}; };
    const auto number = [](double value) { return vantrel::TExchangeCell{vantrel::TExchangeCell::Number, std::string(), value}; };
    for (int i = 0; i < n + n / 100; ++i) {
        const int day = 1 + static_cast<int>(gen() % 28);
        const long long fen = 100 + static_cast<long long>(gen() % 10000000);
        const long long taxFen = fen * 13 / 100;
        const std::string& buyer = buyers[gen() % 4];
        const bool voided = gen() % 50 == 0;
        if (i < n) {
            Txxqtfpxx& r = data.rows.emplace_back();
            r.xh = i + 1;
            r.fplxmc = "普通发票";
            r.kprq = "2026-11-" + std::to_string(100 + day).substr(1);
            r.je = static_cast<double>(fen) / 100;
            r.se = static_cast<double>(taxFen) / 100;
            r.sl = 13;
            r.gfnsr = buyer.empty() ? " " : buyer;
            r.zfbz = voided ? "1" : "0";
            if (i % 2 == 0) data.numbers[r.xh] = Number(i);
        }
        if (i >= n - n / 100 && i < n) continue;
        const double listed = static_cast<double>(fen + (i % 50 == 7 ? 100 : 0)) / 100;
        sheet.rows.push_back({number(static_cast<double>(sheet.rows.size() + 1)), text(""), text(Number(i)),
                              text("2026-11-" + std::to_string(100 + day).substr(1) + " 10:20:30"), text(buyer),
                              text("某某有限公司"), number(listed), number(static_cast<double>(taxFen) / 100),
                              number(listed + static_cast<double>(taxFen) / 100), text("13%"),
                              text(voided ? "作废" : "正常")});
    }
    for (const Txxqtfpxx& r : data.rows) data.pointers.push_back(&r);
    return sheet;
}

bool WriteCsv(const QString& path, const vantrel::TXlsxSheet& sheet, std::string& error) {
    std::string records;
    vantrel::AppendCsvRecord(records, sheet.header);
    std::vector<std::string> fields;
    for (const auto& row : sheet.rows) {
        fields.clear();
        for (const vantrel::TExchangeCell& cell : row)
            fields.push_back(cell.kind == vantrel::TExchangeCell::Number ? vantrel::FixedToText(vantrel::MoneyToFixed(cell.number)) : cell.text);
        vantrel::AppendCsvRecord(records, fields);
    }
    return vantrel::WriteCsvFile(path, records, error);
}

// The floor's reading: each row's number, date, buyer, amount and tax, as plainly as a reader
// can take them.
class TPlainSink final : public vantrel::TExchangeSink {
public:
    struct TListed {
        std::string number, date, buyer;
        double amount, tax;
    };
    std::vector<TListed> rows;
    void Header(std::vector<std::string>&, int) override {}
    void Row(vantrel::TExchangeRow& row) override {
        const auto value = [&row](std::size_t c) {
            const vantrel::TExchangeCell& cell = row.cells[c];
            return cell.kind == vantrel::TExchangeCell::Number ? cell.number : std::strtod(cell.text.c_str(), nullptr);
        };
        rows.push_back({std::move(row.cells[2].text), row.cells[3].text.substr(0, 10), std::move(row.cells[4].text),
                        value(6), value(7)});
    }
};

uint64_t FigureKey(std::string_view date, std::string_view buyer, double amount, double tax) {
    return std::hash<std::string_view>{}(date) ^ std::hash<std::string_view>{}(buyer) * 31 ^
           static_cast<uint64_t>(vantrel::MoneyToFixed(amount)) * 0x9E3779B97F4A7C15ULL ^ static_cast<uint64_t>(vantrel::MoneyToFixed(tax));
}

// The file read, then one hash join of the whole register with the list: the register's rows by
// number where it knows the number, else by their figures; each row of the list looked up.
std::size_t Floor(const QString& path, const TBenchData& data) {
    TPlainSink sink;
    std::string error;
    if (!vantrel::ReadRegisterRows(path, sink, error)) {
        std::fprintf(stderr, "reconcile_bench: %s\n", error.c_str());
        std::exit(1);
    }
    std::unordered_map<std::string_view, const Txxqtfpxx*> byNumber;
    std::unordered_multimap<uint64_t, const Txxqtfpxx*> byFigures;
    byNumber.reserve(data.numbers.size());
    byFigures.reserve(data.rows.size());
    for (const Txxqtfpxx& r : data.rows) {
        const auto known = data.numbers.find(r.xh);
        if (known != data.numbers.end()) byNumber.emplace(known->second, &r);
        else byFigures.emplace(FigureKey(r.kprq, vantrel::TrimmedBlanks(r.gfnsr), r.je, r.se), &r);
    }
    std::size_t differing = 0;
    for (const TPlainSink::TListed& row : sink.rows) {
        const auto it = byNumber.find(row.number);
        if (it != byNumber.end()) {
            if (it->second->je != row.amount || it->second->se != row.tax) ++differing;
        } else if (byFigures.find(FigureKey(row.date, row.buyer, row.amount, row.tax)) == byFigures.end()) {
            ++differing;
        }
    }
    return differing;
}

std::size_t Reconcile(const QString& path, const TBenchData& data, std::map<int, std::string> numbers) {
    std::vector<vantrel::TListInvoice> list;
    std::string error;
    if (!vantrel::ReadPlatformList(path, list, error)) {
        std::fprintf(stderr, "reconcile_bench: %s\n", error.c_str());
        std::exit(1);
    }
    const vantrel::TReconcileResult result = vantrel::ReconcileInvoices(data.pointers, std::move(numbers), std::move(list));
    return result.lines.size() - static_cast<std::size_t>(result.groups[static_cast<int>(vantrel::TReconcileKind::Matched)].count);
}

}  // namespace

int main(int argc, char** argv) {
    int rows = 100000, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) rows = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vantrel-reconcile-bench";
    std::filesystem::create_directories(dir);
    TBenchData data;
    const vantrel::TXlsxSheet sheet = MakeData(rows, data);
    std::printf("%8s %6s %12s %10s\n", "rows", "file", "differences", "ratio");
    for (const char* suffix : {"csv", "xlsx"}) {
        const QString path = QString::fromStdString((dir / (std::string("list.") + suffix)).string());
        std::string error;
        if (!(std::strcmp(suffix, "csv") == 0 ? WriteCsv(path, sheet, error) : vantrel::WriteXlsxFile(path, sheet, error))) {
            std::fprintf(stderr, "reconcile_bench: %s\n", error.c_str());
            return 1;
        }
        double floor = 1e300, measured = 1e300;
        std::size_t differences = 0;
        // Taking turns, so that both sides share the machine's conditions.
        for (int run = 0; run < runs; ++run) {
            floor = std::min(floor, CpuSeconds([&] { Floor(path, data); }));
            // The numbers as the register's read hands them over, made outside the time.
            std::map<int, std::string> numbers = data.numbers;
            measured = std::min(measured, CpuSeconds([&] { differences = Reconcile(path, data, std::move(numbers)); }));
        }
        std::printf("%8d %6s %12zu %10.2f\n", rows, suffix, differences, measured / floor);
    }
    std::filesystem::remove_all(dir);
    return 0;
}

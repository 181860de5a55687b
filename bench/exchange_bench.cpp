// Register import and export against floors measured in the same run on the same file, and
// the import's peak resident memory per row.
// Import: reading, checking and storing a CSV file of n rows, against SQLite executing the
// same insert statements in one transaction. Export: reading the period and writing the CSV
// file, against SQLite stepping the same select (every column read) plus writing the same
// bytes. Both sides run warm, alternately, and the best of several runs counts. Prints ratios
// only.
//
// Memory: a CSV file and a spreadsheet of M rows (default 10^6) are each imported in a child
// process whose peak resident size, less its size before, is divided by M (the largest of the
// runs). Time: each import against a floor run in a child of its own, taking turns with it: a
// plain parse of the same file with the same libraries (libcsv; libzip and expat), doing
// nothing with what it reads, plus SQLite executing the same inserts in one transaction.
//
//   exchange_bench [--max N] [--only import|export|memory] [--runs K] [--memory-rows M]
#include "bench/bench_register.h"
#include "context/f_ModuleContext.h"
#include "corlith/corlith_host.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"

#include <QFile>

#include <csv.h>
#include <expat.h>
#include <sqlite3.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using bench::Die;
using bench::kCompany;
using bench::kPeriod;

void SetUpHost(const std::filesystem::path& dir, const std::string& file) {
    bench::SetUpHost(dir);
    bench::OpenDatabase(file);
    std::ofstream((dir / "fp_config.ini").string()) << "[xxqtfp]\nsl=|17|13|6|4|0|\n";
    LoadInvoiceConfig(vantrel::ModuleContextFromHost(), "xxqtfp");
}

// n rows that pass every check, as the CSV text (GBK) of a file.
std::string RegisterText(int n) {
    std::mt19937 gen(20261107);
    const int rates[] = {17, 13, 6, 4};
    std::string text = "发票类型,开票日期,份数,金额,税率,税额,购方税号,是否免税,是否劳务发票,是否作废,是否即征即退\r\n";
    for (int i = 0; i < n; ++i) {
        const int rate = rates[gen() % 4];
        const long long cents = 100 + static_cast<long long>(gen() % 100000000);
        const long long tax = (cents * rate + 50) / 100;
        char line[256];
        std::snprintf(line, sizeof line, "普通发票,2026-11-%02d,%d,%lld.%02lld,%d,%lld.%02lld,%s,否,%s,否,否\r\n",
                      1 + static_cast<int>(gen() % 28), 1 + static_cast<int>(gen() % 9), cents / 100, cents % 100,
                      rate, tax / 100, tax % 100, gen() % 2 ? "440300665812347" : "", gen() % 4 ? "否" : "是");
        text += line;
    }
    return text;
}

// The same rows as a spreadsheet, written a row at a time as spreadsheet programs lay them
// out: texts inline, numbers, dates as date cells.
void WriteXlsxFromCsvText(const std::string& gbkCsv, const std::string& path) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
    lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
    lxw_format* date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_row_t row = 0;
    std::size_t start = 0;
    while (start < gbkCsv.size()) {
        const std::size_t end = gbkCsv.find("\r\n", start);
        const std::string line = gbkCsv.substr(start, end - start);
        start = end + 2;
        lxw_col_t col = 0;
        std::size_t from = 0;
        for (;;) {
            const std::size_t comma = line.find(',', from);
            const std::string field = line.substr(from, comma - from);
            double value = 0;
            QDate day;
            if (row > 0 && col == 1 && (day = QDate::fromString(QString::fromStdString(field), Qt::ISODate)).isValid())
                worksheet_write_number(ws, row, col, vantrel::DateToSerial(day), date);
            else if (row > 0 && !field.empty() && vantrel::ParseDecimal(field, value))
                worksheet_write_number(ws, row, col, value, nullptr);
            else if (!field.empty())
                worksheet_write_string(ws, row, col, corlith::GbkToUtf8(field).c_str(), nullptr);
            if (comma == std::string::npos) break;
            from = comma + 1;
            ++col;
        }
        ++row;
    }
    if (workbook_close(wb) != LXW_NO_ERROR) Die("cannot write the spreadsheet");
}

// Runs work in a child process and returns what it wrote to the pipe (two numbers).
std::pair<double, double> InChild(const std::function<std::pair<double, double>()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) Die("pipe");
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) Die("fork");
    if (child == 0) {
        const std::pair<double, double> result = work();
        if (::write(fds[1], &result, sizeof result) != sizeof result) ::_exit(1);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::pair<double, double> result{-1, -1};
    const bool got = ::read(fds[0], &result, sizeof result) == sizeof result;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("the measuring child failed");
    return result;
}

// The floor's parse: the file read with libcsv as the import reads it (the same options and
// pieces), the fields counted and nothing else done with them.
long long PlainCsvFields(const std::string& path) {
    csv_parser parser{};
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) Die("csv_init");
    csv_set_blk_size(&parser, 1 << 16);
    long long fields = 0;
    const auto onField = [](void*, size_t, void* count) { ++*static_cast<long long*>(count); };
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Die("cannot open " + path);
    std::vector<char> piece(1 << 16);
    for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), f)) > 0;)
        if (csv_parse(&parser, piece.data(), got, onField, nullptr, &fields) != got) Die("csv_parse");
    std::fclose(f);
    csv_fini(&parser, onField, nullptr, &fields);
    csv_free(&parser);
    return fields / 11;
}

// The floor's parse of a workbook: every part inflated with libzip in 64 KiB pieces into expat,
// the rows' elements counted and nothing else done.
long long PlainXlsxElements(const std::string& path) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) Die("cannot open " + path);
    long long rows = 0;
    std::vector<char> piece(1 << 16);
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
        zip_file_t* part = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &rows);
        XML_SetStartElementHandler(parser, [](void* count, const XML_Char* element, const XML_Char**) {
            if (std::strcmp(element, "row") == 0) ++*static_cast<long long*>(count);
        });
        XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
        for (zip_int64_t got; (got = zip_fread(part, piece.data(), piece.size())) > 0;)
            if (XML_Parse(parser, piece.data(), static_cast<int>(got), 0) == XML_STATUS_ERROR) Die("XML_Parse");
        if (XML_Parse(parser, nullptr, 0, 1) == XML_STATUS_ERROR) Die("XML_Parse");
        XML_ParserFree(parser);
        zip_fclose(part);
    }
    zip_discard(archive);
    return rows - 1;
}

void Exec(sqlite3* db, const char* sql) { bench::Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql); }

// Best of `runs` for each side, the two sides taking turns after one warm-up run each; each
// side's `before` runs untimed ahead of each of its runs.
std::pair<double, double> BestOfAlternating(int runs, const std::function<void()>& beforeProduct,
                                            const std::function<void()>& product,
                                            const std::function<void()>& beforeFloor,
                                            const std::function<void()>& floor) {
    double productBest = 1e300, floorBest = 1e300;
    for (int run = 0; run <= runs; ++run) {
        beforeProduct();
        const double p = bench::Time(product);
        beforeFloor();
        const double f = bench::Time(floor);
        if (run == 0) continue;
        productBest = std::min(productBest, p);
        floorBest = std::min(floorBest, f);
    }
    return {productBest, floorBest};
}

vantrel::TImportPlan PlanOf(const QString& csv) {
    vantrel::TImportTarget target;
    vantrel::TImportPlan plan;
    std::string e;
    if (!vantrel::LoadImportTarget(vantrel::ModuleContextFromHost(), target, e) || !vantrel::PlanImportFile(csv, target, false, plan, e))
        Die(e);
    FreeInvoiceList(target.existing);
    if (plan.HasErrors()) Die(vantrel::IssueText(plan.issues.front()));
    return plan;
}

void Import(const QString& csv) {
    std::string e;
    if (vantrel::StoreImport(PlanOf(csv), vantrel::ModuleContextFromHost(), {}, e) != vantrel::TStoreResult::Stored) Die(e);
}

struct Options {
    int max = 100000;
    bool import = true, exportToo = true;
    bool memory = true;
    int runs = 0;   // 0: by size
    int memoryRows = 1000000;
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--max" && i + 1 < argc) {
            o.max = std::atoi(argv[++i]);
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = std::atoi(argv[++i]);
        } else if (a == "--memory-rows" && i + 1 < argc) {
            o.memoryRows = std::atoi(argv[++i]);
        } else if (a == "--only" && i + 1 < argc) {
            const std::string what = argv[++i];
            o.import = what == "import";
            o.exportToo = what == "export";
            o.memory = what == "memory";
            if (!o.import && !o.exportToo && !o.memory) Die("--only takes import, export or memory");
        } else {
            Die("usage: exchange_bench [--max N] [--only import|export|memory] [--runs K] [--memory-rows M]");
        }
    }
    if (o.max < 1000 || o.memoryRows < 1000) Die("--max and --memory-rows must be at least 1000");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vantrel-exchange-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "bench.db").string();
    SetUpHost(dir, file);
    const QString csv = QString::fromStdString((dir / "in.csv").string());
    // The floor's connection is opened as the host library opens its own.
    sqlite3* db = bench::OpenFloor(file);
    // Each side empties the tables on its own connection, so both start with that connection's
    // page cache as the last change left it.
    const auto clear = [db] { Exec(db, "delete from sb07_xxfpb; delete from SB07_FPTXQKB"); };
    const auto clearThroughHost = [] {
        std::string e;
        for (const char* sql : {"delete from sb07_xxfpb", "delete from SB07_FPTXQKB"})
            if (!ExecADOQueryMsg(bench::kConnection, sql, nullptr, e, 0, 0)) Die(e);
    };

    if (options.import) {
        std::printf("Import: read, check and store a CSV file, as a multiple of SQLite executing the same\n"
                    "inserts in one transaction (best of several runs; target at most 1.5)\n");
        std::printf("%-8s %8s\n", "rows", "ratio");
    }
    for (int n = 1000; options.import && n <= options.max; n *= 10) {
        std::string error;
        if (!vantrel::WriteCsvFile(csv, RegisterText(n), error)) Die(error);
        // The floor: the statements the import runs, straight on SQLite in one transaction.
        std::vector<std::string> inserts;
        int xh = 0;
        const vantrel::TImportPlan plan = PlanOf(csv);
        for (const vantrel::TImportRow& row : plan.rows) {
            Txxqtfpxx r = plan.Record(row);
            r.xh = ++xh;
            inserts.push_back(corlith::GbkToUtf8(vantrel::BuildInsertSql(vantrel::ModuleContextFromHost(), r)));
        }
        // At 10^3 rows the commit's sync is a large and uneven part of either side: more runs.
        const int runs = options.runs > 0 ? options.runs : n >= 100000 ? 7 : n >= 10000 ? 11 : 31;
        const auto [product, floor] = BestOfAlternating(runs, clearThroughHost, [&] { Import(csv); }, clear, [&] {
            Exec(db, "begin immediate");
            for (const std::string& sql : inserts) Exec(db, sql.c_str());
            Exec(db, "commit");
        });
        std::printf("%-8d %8.2f\n", n, product / floor);
    }

    if (options.exportToo) {
        // The period as an import of max rows stores it.
        const int n = options.max;
        std::string error;
        if (!vantrel::WriteCsvFile(csv, RegisterText(n), error)) Die(error);
        clear();
        Import(csv);
        const QString out = QString::fromStdString((dir / "out.csv").string());
        const std::string plain = (dir / "plain.csv").string();
        // As the client's export: the list select, in sequence order, to the file.
        const auto exportOnce = [&] {
            std::string e;
            std::size_t rows = 0;
            if (vantrel::ExportRegisterList(out, vantrel::ModuleContextFromHost(), "", "", rows, e) != vantrel::TExportResult::Written)
                Die(e);
            if (rows != static_cast<std::size_t>(n)) Die("the export did not write every row");
        };
        exportOnce();
        std::string bytes;
        {
            QFile f(out);
            if (!f.open(QIODevice::ReadOnly)) Die("cannot read the export");
            const QByteArray all = f.readAll();
            bytes.assign(all.constData(), static_cast<std::size_t>(all.size()));
        }
        const std::string select = vantrel::BuildListSql(vantrel::ModuleContextFromHost(), "", "");
        if (bench::ReadDirectly(db, select) != n) Die("the list select does not find the period");
        const int runs = options.runs > 0 ? options.runs : 11;
        const auto [product, floor] = BestOfAlternating(runs, [] {}, exportOnce, [] {}, [&] {
            bench::ReadDirectly(db, select);
            std::FILE* f = std::fopen(plain.c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
                Die("cannot write the floor's file");
        });
        std::printf("\nExport of %d rows to CSV, as a multiple of SQLite stepping the same select plus\n"
                    "writing the same bytes (best of %d; target at most 1.5): %.2f\n",
                    n, runs, product / floor);
    }

    if (options.memory) {
        const int n = options.memoryRows;
        std::string error;
        const std::string text = RegisterText(n);
        if (!vantrel::WriteCsvFile(csv, text, error)) Die(error);
        const std::string xlsx = (dir / "in.xlsx").string();
        WriteXlsxFromCsvText(text, xlsx);
        std::vector<std::string> inserts;
        {
            const vantrel::TImportPlan plan = PlanOf(csv);
            int xh = 0;
            for (const vantrel::TImportRow& row : plan.rows) {
                Txxqtfpxx r = plan.Record(row);
                r.xh = ++xh;
                inserts.push_back(corlith::GbkToUtf8(vantrel::BuildInsertSql(vantrel::ModuleContextFromHost(), r)));
            }
        }
        const int runs = options.runs > 0 ? options.runs : 3;
        clear();
        std::printf("\nImport of %d rows (best of %d): peak resident memory per row (target at most 400 bytes)\n"
                    "and time as a multiple of a plain parse of the file plus SQLite executing the same\n"
                    "inserts (target at most 1.5)\n", n, runs);
        std::printf("%-6s %10s %8s %10s %10s\n", "file", "bytes/row", "ratio", "import s", "floor s");
        for (const QString& file : {csv, QString::fromStdString(xlsx)}) {
            const bool isCsv = file.endsWith(QStringLiteral(".csv"));
            const std::string path = QFile::encodeName(file).toStdString();
            double perRow = 0, seconds = 1e300, floor = 1e300;
            for (int run = 0; run < runs; ++run) {
                // What the parent freed goes back to the system, so the child starts from what is live.
                ::malloc_trim(0);
                const auto [bytes, took] = InChild([&] {
                    if (!bench::ResetPeakResident()) Die("cannot reset the peak resident size (/proc/self/clear_refs)");
                    const long long before = bench::ResidentBytes();
                    const double time = bench::Time([&] { Import(file); });
                    return std::pair<double, double>(static_cast<double>(bench::PeakResidentBytes() - before) / n, time);
                });
                perRow = std::max(perRow, bytes);
                seconds = std::min(seconds, took);
                clearThroughHost();
                ::malloc_trim(0);
                floor = std::min(floor, InChild([&] {
                                            const double time = bench::Time([&] {
                                                if ((isCsv ? PlainCsvFields(path) : PlainXlsxElements(path)) < n)
                                                    Die("the plain parse read less than the rows");
                                                Exec(db, "begin immediate");
                                                for (const std::string& sql : inserts) Exec(db, sql.c_str());
                                                Exec(db, "commit");
                                            });
                                            return std::pair<double, double>(time, 0);
                                        }).first);
                clear();
            }
            std::printf("%-6s %10.0f %8.2f %10.2f %10.2f\n", isCsv ? "csv" : "xlsx", perRow, seconds / floor, seconds,
                        floor);
        }
    }

    sqlite3_close(db);
    corlith::CloseConnections();
    std::filesystem::remove_all(dir);
    return 0;
}

#include "exchange/f_XlsxFile.h"

#include "exchange/f_CsvFile.h"
#include "host/corlith_api.h"
#include "host/corlith_files.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vantrel {

namespace {

std::string Utf8Of(const std::string& gbk) { return GbkToQString(gbk).toStdString(); }

// ---- writing ---------------------------------------------------------------------------

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const {
        if (wb) workbook_close(wb);
    }
};

std::string ColumnName(int column) {
    std::string name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

}  // namespace

double DateToSerial(const QDate& date) {
    const qint64 days = QDate(1899, 12, 30).daysTo(date);
    // Serial 60 is the leap day 1900-02-29 that the 1900 system counts; earlier days sit one lower.
    return static_cast<double>(days < 61 ? days - 1 : days);
}

QDate SerialToDate(double serial) {
    if (!std::isfinite(serial) || serial < 1 || serial > 2958465) return QDate();
    const qint64 day = static_cast<qint64>(std::floor(serial));
    if (day == 60) return QDate();  // 1900-02-29
    return QDate(1899, 12, 30).addDays(day < 60 ? day + 1 : day);
}

namespace {

// The cell formats of a workbook: captions bold, amounts with two places, dates.
struct TWorkbookFormats {
    lxw_format* bold;
    lxw_format* money;
    lxw_format* moneyBold;
    lxw_format* date;
};

TWorkbookFormats AddWorkbookFormats(lxw_workbook* workbook) {
    TWorkbookFormats f{};
    f.bold = workbook_add_format(workbook);
    format_set_bold(f.bold);
    f.money = workbook_add_format(workbook);
    format_set_num_format(f.money, "#,##0.00");
    f.moneyBold = workbook_add_format(workbook);
    format_set_num_format(f.moneyBold, "#,##0.00");
    format_set_bold(f.moneyBold);
    f.date = workbook_add_format(workbook);
    format_set_num_format(f.date, "yyyy-mm-dd");
    return f;
}

bool IsMoneyColumn(const TXlsxSheet& sheet, int column) {
    return std::find(sheet.moneyColumns.begin(), sheet.moneyColumns.end(), column) != sheet.moneyColumns.end();
}

// The header row, frozen, with the columns' widths.
void WriteHeaderRow(lxw_worksheet* ws, const TXlsxSheet& sheet, const TWorkbookFormats& formats) {
    worksheet_freeze_panes(ws, 1, 0);
    for (std::size_t c = 0; c < sheet.header.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        worksheet_set_column(ws, col, col, IsMoneyColumn(sheet, static_cast<int>(c)) ? 16 : 14, nullptr);
        worksheet_write_string(ws, 0, col, Utf8Of(sheet.header[c]).c_str(), formats.bold);
    }
}

// The data rows from row 1 on; row ends after the last.
bool WriteDataRows(lxw_worksheet* ws, const TXlsxSheet& sheet, const TWorkbookFormats& formats, lxw_row_t& row,
                   std::string& error) {
    std::string utf8;
    for (const auto& cells : sheet.rows) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const TExchangeCell& cell = cells[c];
            const auto col = static_cast<lxw_col_t>(c);
            lxw_error rc = LXW_NO_ERROR;
            switch (cell.kind) {
            case TExchangeCell::Number:
                rc = worksheet_write_number(ws, row, col, cell.number,
                                            IsMoneyColumn(sheet, static_cast<int>(c)) ? formats.money : nullptr);
                break;
            case TExchangeCell::Date: rc = worksheet_write_number(ws, row, col, cell.number, formats.date); break;
            case TExchangeCell::Text:
                if (cell.text.empty()) break;
                utf8 = Utf8Of(cell.text);
                rc = worksheet_write_string(ws, row, col, utf8.c_str(), nullptr);
                break;
            }
            if (rc != LXW_NO_ERROR) {
                error = std::string("无法写入工作表：") + lxw_strerror(rc);
                return false;
            }
        }
        ++row;
    }
    return true;
}

// The total lines from row on, each a formula over the data rows (up to last, counted from 1)
// with its value computed here.
void WriteTotalLines(lxw_worksheet* ws, const TXlsxSheet& sheet, const TWorkbookFormats& formats, lxw_row_t row,
                     lxw_row_t last) {
    for (const TXlsxSheet::Total& line : sheet.totals) {
        worksheet_write_string(ws, row, 0, Utf8Of(line.caption).c_str(), formats.bold);
        const auto counted = [&line](const std::vector<TExchangeCell>& cells) {
            const auto where = static_cast<std::size_t>(line.whereColumn);
            return line.whereColumn < 0 || (where < cells.size() && cells[where].text == line.whereText);
        };
        for (int column : sheet.sumColumns) {
            const auto at = static_cast<std::size_t>(column);
            // In ten-thousandths, as the statistics add them: no drift of binary fractions.
            int64_t fixed = 0;
            for (const auto& cells : sheet.rows)
                if (at < cells.size() && cells[at].kind == TExchangeCell::Number && counted(cells))
                    fixed += std::llround(cells[at].number * 10000);
            const std::string name = ColumnName(column);
            const std::string sum = name + "2:" + name + std::to_string(last);
            const std::string formula =
                line.whereColumn < 0 ? "=SUM(" + sum + ")"
                                     : "=SUMIF(" + ColumnName(line.whereColumn) + "2:" + ColumnName(line.whereColumn) +
                                           std::to_string(last) + ",\"" + Utf8Of(line.whereText) + "\"," + sum + ")";
            worksheet_write_formula_num(ws, row, static_cast<lxw_col_t>(column), formula.c_str(),
                                        IsMoneyColumn(sheet, column) ? formats.moneyBold : formats.bold,
                                        static_cast<double>(fixed) / 10000);
        }
        ++row;
    }
}

// The workbook into the file fileName (the file system's bytes).
bool RenderWorkbook(const char* fileName, const TXlsxSheet& sheet, std::string& error) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(fileName, &options));
    if (!workbook) {
        error = "无法创建工作簿";
        return false;
    }
    lxw_worksheet* ws = workbook_add_worksheet(workbook.get(), Utf8Of(sheet.name).c_str());
    const TWorkbookFormats formats = AddWorkbookFormats(workbook.get());
    if (!ws) {
        error = "无法创建工作表";
        return false;
    }
    WriteHeaderRow(ws, sheet, formats);
    lxw_row_t row = 1;
    if (!WriteDataRows(ws, sheet, formats, row, error)) return false;
    // The totals follow the data; counted from 1, the last data row has the same number.
    WriteTotalLines(ws, sheet, formats, row, row);
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR) {
        error = std::string("无法写入文件：") + lxw_strerror(closed);
        return false;
    }
    return true;
}

// The library prints its own English lines on the C library's stderr stream when a write
// fails; the caller's Chinese message is what the user reads. Only that stream is swapped, and
// only for the library's calls.
class LibraryNoticesDropped {
public:
    LibraryNoticesDropped() : sink_(std::fopen("/dev/null", "w")), saved_(stderr) {
        if (sink_) stderr = sink_;
    }
    ~LibraryNoticesDropped() {
        if (!sink_) return;
        stderr = saved_;
        std::fclose(sink_);
    }
    LibraryNoticesDropped(const LibraryNoticesDropped&) = delete;
    LibraryNoticesDropped& operator=(const LibraryNoticesDropped&) = delete;

private:
    std::FILE* sink_;
    std::FILE* saved_;
};

}  // namespace

bool WriteXlsxFile(const QString& path, const TXlsxSheet& sheet, std::string& error) {
    // The library writes to a file name of its own; the workbook is made in a private folder
    // and then handed whole to the one file writer.
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        error = "无法写入文件：" + QStringToGbk(scratch.errorString());
        return false;
    }
    const QString rendered = scratch.filePath(QStringLiteral("book.xlsx"));
    const QByteArray name = QFile::encodeName(rendered);
    bool made = false;
    if (corlith::HoldingFileSizeSignal([&] {
            const LibraryNoticesDropped dropped;
            made = RenderWorkbook(name.constData(), sheet, error);
        }))
        error = "无法写入文件：" + corlith::FileErrorText(EFBIG);
    if (!made) return false;
    QFile book(rendered);
    if (!book.open(QIODevice::ReadOnly)) {
        error = "无法写入文件：" + QStringToGbk(book.errorString());
        return false;
    }
    const QByteArray bytes = book.readAll();
    return WriteWholeFile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error);
}

}  // namespace vantrel

#include "exchange/f_XlsxFile.h"

#include "exchange/f_CsvFile.h"
#include "host/corlith_api.h"
#include "host/corlith_files.h"

#include <QFile>
#include <QTemporaryDir>

#include <pugixml.hpp>
#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

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

// ---- reading ---------------------------------------------------------------------------

bool ReadEntry(zip_t* archive, const std::string& name, std::string& out) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
    zip_file_t* file = zip_fopen(archive, name.c_str(), 0);
    if (!file) return false;
    out.resize(static_cast<std::size_t>(st.size));
    const zip_int64_t got = st.size ? zip_fread(file, out.data(), st.size) : 0;
    zip_fclose(file);
    return got == static_cast<zip_int64_t>(st.size);
}

// Names compared without their namespace prefix, since writers choose their own prefixes.
const char* LocalName(const pugi::xml_node& node) {
    const char* name = node.name();
    const char* colon = std::strchr(name, ':');
    return colon ? colon + 1 : name;
}

pugi::xml_node Child(const pugi::xml_node& node, const char* local) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && std::strcmp(LocalName(c), local) == 0) return c;
    return pugi::xml_node();
}

pugi::xml_attribute Attribute(const pugi::xml_node& node, const char* local) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        const char* colon = std::strchr(name, ':');
        if (std::strcmp(colon ? colon + 1 : name, local) == 0) return a;
    }
    return pugi::xml_attribute();
}

// The text of a string item: every <t> below it, leaving out phonetic runs.
void CollectText(const pugi::xml_node& node, std::string& out) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        const char* local = LocalName(c);
        if (std::strcmp(local, "t") == 0)
            out += c.text().get();
        else if (std::strcmp(local, "rPh") != 0)
            CollectText(c, out);
    }
}

bool IsDateFormatCode(const std::string& code) {
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        if (bracket) {
            if (c == ']') bracket = false;
            continue;
        }
        if (c == '"') quoted = true;
        else if (c == '[') bracket = true;
        else if (c == '\\' || c == '_' || c == '*') ++i;
        else if (c == 'd' || c == 'D' || c == 'y' || c == 'Y' || c == 'm' || c == 'M') return true;
        else if (c == ';') break;  // the format of positive numbers decides
    }
    return false;
}

bool IsBuiltInDateFormat(int id) { return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58); }

// Which cell styles show dates.
std::vector<bool> DateStyles(const pugi::xml_document& styles) {
    const pugi::xml_node sheet = Child(styles, "styleSheet");
    std::map<int, bool> custom;
    for (pugi::xml_node f = Child(Child(sheet, "numFmts"), "numFmt"); f; f = f.next_sibling())
        if (std::strcmp(LocalName(f), "numFmt") == 0)
            custom[Attribute(f, "numFmtId").as_int()] = IsDateFormatCode(Attribute(f, "formatCode").as_string());
    std::vector<bool> result;
    for (pugi::xml_node xf = Child(Child(sheet, "cellXfs"), "xf"); xf; xf = xf.next_sibling()) {
        if (std::strcmp(LocalName(xf), "xf") != 0) continue;
        const int id = Attribute(xf, "numFmtId").as_int();
        const auto it = custom.find(id);
        result.push_back(it != custom.end() ? it->second : IsBuiltInDateFormat(id));
    }
    return result;
}

// "BC12" -> column 54 (0-based); -1 when the reference has no letters.
int ColumnOfReference(const char* ref) {
    int column = 0;
    int letters = 0;
    for (; *ref; ++ref) {
        char c = *ref;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') break;
        column = column * 26 + (c - 'A' + 1);
        ++letters;
    }
    return letters ? column - 1 : -1;
}

std::string ResolveTarget(const std::string& target) {
    if (!target.empty() && target[0] == '/') return target.substr(1);
    std::string path = "xl/" + target;
    // "xl/../x" style targets
    for (std::size_t up; (up = path.find("/../")) != std::string::npos;) {
        const std::size_t start = path.rfind('/', up - 1);
        path.erase(start == std::string::npos ? 0 : start + 1, up + 4 - (start == std::string::npos ? 0 : start + 1));
    }
    return path;
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
    lxw_format* bold = workbook_add_format(workbook.get());
    format_set_bold(bold);
    lxw_format* money = workbook_add_format(workbook.get());
    format_set_num_format(money, "#,##0.00");
    lxw_format* moneyBold = workbook_add_format(workbook.get());
    format_set_num_format(moneyBold, "#,##0.00");
    format_set_bold(moneyBold);
    lxw_format* date = workbook_add_format(workbook.get());
    format_set_num_format(date, "yyyy-mm-dd");
    if (!ws) {
        error = "无法创建工作表";
        return false;
    }

    const auto isMoney = [&sheet](int column) {
        return std::find(sheet.moneyColumns.begin(), sheet.moneyColumns.end(), column) != sheet.moneyColumns.end();
    };
    worksheet_freeze_panes(ws, 1, 0);
    for (std::size_t c = 0; c < sheet.header.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        worksheet_set_column(ws, col, col, isMoney(static_cast<int>(c)) ? 16 : 14, nullptr);
        worksheet_write_string(ws, 0, col, Utf8Of(sheet.header[c]).c_str(), bold);
    }
    lxw_row_t row = 1;
    std::string utf8;
    for (const auto& cells : sheet.rows) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const TExchangeCell& cell = cells[c];
            const auto col = static_cast<lxw_col_t>(c);
            lxw_error rc = LXW_NO_ERROR;
            switch (cell.kind) {
            case TExchangeCell::Number:
                rc = worksheet_write_number(ws, row, col, cell.number, isMoney(static_cast<int>(c)) ? money : nullptr);
                break;
            case TExchangeCell::Date: rc = worksheet_write_number(ws, row, col, cell.number, date); break;
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
    if (!sheet.totalCaption.empty()) {
        worksheet_write_string(ws, row, 0, Utf8Of(sheet.totalCaption).c_str(), bold);
        for (int column : sheet.sumColumns) {
            double total = 0;
            for (const auto& cells : sheet.rows)
                if (static_cast<std::size_t>(column) < cells.size() &&
                    cells[static_cast<std::size_t>(column)].kind == TExchangeCell::Number)
                    total += cells[static_cast<std::size_t>(column)].number;
            const std::string name = ColumnName(column);
            const std::string formula = "=SUM(" + name + "2:" + name + std::to_string(row) + ")";
            worksheet_write_formula_num(ws, row, static_cast<lxw_col_t>(column), formula.c_str(),
                                        isMoney(column) ? moneyBold : bold, std::round(total * 100) / 100);
        }
    }
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR) {
        error = std::string("无法写入文件：") + lxw_strerror(closed);
        return false;
    }
    return true;
}

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
    corlith::HoldingFileSizeSignal([&] { made = RenderWorkbook(name.constData(), sheet, error); });
    if (!made) return false;
    QFile book(rendered);
    if (!book.open(QIODevice::ReadOnly)) {
        error = "无法写入文件：" + QStringToGbk(book.errorString());
        return false;
    }
    const QByteArray bytes = book.readAll();
    return WriteWholeFile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error);
}

bool ReadXlsxFile(const QString& path, TExchangeTable& table, std::string& error) {
    table = TExchangeTable();
    const QByteArray name = QFile::encodeName(path);
    int zipError = 0;
    zip_t* archive = zip_open(name.constData(), ZIP_RDONLY, &zipError);
    if (!archive) {
        error = QFile::exists(path) ? "文件不是有效的 xlsx 工作簿" : "无法打开文件：" + QStringToGbk(path);
        return false;
    }
    std::unique_ptr<zip_t, decltype(&zip_discard)> closer(archive, &zip_discard);

    std::string workbookXml, relsXml, sheetXml, stringsXml, stylesXml;
    pugi::xml_document workbook, rels, sheetDoc, strings, styles;
    if (!ReadEntry(archive, "xl/workbook.xml", workbookXml) || !workbook.load_buffer(workbookXml.data(), workbookXml.size())) {
        error = "文件不是有效的 xlsx 工作簿：缺少 xl/workbook.xml";
        return false;
    }
    const pugi::xml_node wbRoot = Child(workbook, "workbook");
    const bool system1904 = Attribute(Child(wbRoot, "workbookPr"), "date1904").as_bool();
    const pugi::xml_node firstSheet = Child(Child(wbRoot, "sheets"), "sheet");
    const std::string relId = Attribute(firstSheet, "id").as_string();
    std::string sheetPath;
    if (ReadEntry(archive, "xl/_rels/workbook.xml.rels", relsXml) && rels.load_buffer(relsXml.data(), relsXml.size())) {
        for (pugi::xml_node r = Child(Child(rels, "Relationships"), "Relationship"); r; r = r.next_sibling())
            if (relId == Attribute(r, "Id").as_string()) sheetPath = ResolveTarget(Attribute(r, "Target").as_string());
    }
    if (sheetPath.empty() || !ReadEntry(archive, sheetPath, sheetXml) ||
        !sheetDoc.load_buffer(sheetXml.data(), sheetXml.size())) {
        error = "文件不是有效的 xlsx 工作簿：找不到第一个工作表";
        return false;
    }

    std::vector<std::string> shared;
    if (ReadEntry(archive, "xl/sharedStrings.xml", stringsXml) && strings.load_buffer(stringsXml.data(), stringsXml.size())) {
        const pugi::xml_node sst = Child(strings, "sst");
        for (pugi::xml_node si = sst.first_child(); si; si = si.next_sibling()) {
            if (si.type() != pugi::node_element || std::strcmp(LocalName(si), "si") != 0) continue;
            shared.emplace_back();
            CollectText(si, shared.back());
        }
    }
    std::vector<bool> dateStyle;
    if (ReadEntry(archive, "xl/styles.xml", stylesXml) && styles.load_buffer(stylesXml.data(), stylesXml.size()))
        dateStyle = DateStyles(styles);

    const pugi::xml_node data = Child(Child(sheetDoc, "worksheet"), "sheetData");
    bool headerSeen = false;
    int lastLine = 0;
    std::string gbk;
    for (pugi::xml_node row = data.first_child(); row; row = row.next_sibling()) {
        if (row.type() != pugi::node_element || std::strcmp(LocalName(row), "row") != 0) continue;
        const int line = Attribute(row, "r") ? Attribute(row, "r").as_int() : lastLine + 1;
        lastLine = line;
        TExchangeRow out;
        out.line = line;
        int nextColumn = 0;
        bool blank = true;
        for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || std::strcmp(LocalName(c), "c") != 0) continue;
            int column = ColumnOfReference(Attribute(c, "r").as_string());
            if (column < 0) column = nextColumn;
            nextColumn = column + 1;
            const std::string type = Attribute(c, "t").as_string();
            const int style = Attribute(c, "s").as_int();
            const char* value = Child(c, "v").text().get();
            TExchangeCell cell;
            std::string utf8;
            if (type == "s") {
                const auto index = static_cast<std::size_t>(std::atol(value));
                if (index < shared.size()) utf8 = shared[index];
            } else if (type == "inlineStr") {
                CollectText(Child(c, "is"), utf8);
            } else if (type == "str" || type == "e") {
                utf8 = value;
            } else if (type == "b") {
                utf8 = std::strcmp(value, "1") == 0 ? "TRUE" : "FALSE";
            } else if (*value) {
                cell.text = value;
                cell.number = std::atof(value);
                const bool isDate = style >= 0 && static_cast<std::size_t>(style) < dateStyle.size() &&
                                    dateStyle[static_cast<std::size_t>(style)];
                cell.kind = isDate ? TExchangeCell::Date : TExchangeCell::Number;
                if (isDate && system1904) cell.number += 1462;  // to the 1900 system's day numbers
            }
            if (cell.kind == TExchangeCell::Text) {
                if (!Utf8ToGbkText(utf8, gbk)) {
                    error = "第 " + std::to_string(line) + " 行含有 GBK 无法表示的字符";
                    return false;
                }
                cell.text = gbk;
                if (cell.text.find_first_not_of(" \t") == std::string::npos) cell.text.clear();
            }
            if (cell.kind != TExchangeCell::Text || !cell.text.empty()) blank = false;
            if (out.cells.size() < static_cast<std::size_t>(column) + 1) out.cells.resize(static_cast<std::size_t>(column) + 1);
            out.cells[static_cast<std::size_t>(column)] = std::move(cell);
        }
        if (blank) continue;
        if (!headerSeen) {
            headerSeen = true;
            table.headerLine = line;
            for (TExchangeCell& cell : out.cells) table.header.push_back(std::move(cell.text));
        } else {
            table.rows.push_back(std::move(out));
        }
    }
    if (!headerSeen) {
        error = "工作表中没有标题行";
        return false;
    }
    return true;
}

#include "summary/f_QtfpSummary.h"
#include "summary/f_SummaryDeclared.h"

#include "host/corlith_api.h"
#include "host/corlith_files.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportPubFunc.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kPrefix = "SB_XXQTFPMX";

std::string SelectItem(vantrel::TSummaryMeasure measure) {
    return "sum(" + std::string(vantrel::MeasureColumn(measure)) + ") as " + std::string(vantrel::MeasureAlias(measure));
}

std::string_view CellIndent(std::string_view name) {
    if (name == "SB_XXQTFPMX_ZBJE_6_12") return " ";
    if (name == "SB_XXQTFPMX_FB1JE_4_23") return "";
    return "  ";
}

// The cell's text; false when the sum cannot stand in a document: an amount that is not
// finite, or a count beyond the 32-bit range the form allows.
bool FormatCell(const THostQuery& query, const vantrel::TSummaryCell& cell, std::string& out, std::string& error) {
    const std::string alias(vantrel::MeasureAlias(cell.measure));
    const bool hasValue = query.RecordCount() > 0 && !query.FieldIsNull(alias);
    const double value = hasValue ? query.FieldAsFloat(alias) : 0.0;
    const bool isCount = cell.measure == vantrel::TSummaryMeasure::Fs;
    if (!std::isfinite(value) || (isCount && (value > INT32_MAX || value < INT32_MIN))) {
        error = "汇总项" + std::string(cell.name) + "的合计值" + (isCount ? "超出份数的允许范围" : "不是有效的数值") +
                "，请检查本期发票的金额、税额和份数";
        return false;
    }
    out = isCount ? vantrel::SummaryCountText(hasValue ? query.FieldAsInteger(alias) : 0) : vantrel::SummaryAmountText(value);
    return true;
}

// Paths of any length go into the message, which the host has to carry back whole.
std::string ShownPath(const std::string& path) { return vantrel::GbkAbbreviate(path, 240); }

std::string WriteFailure(const std::string& path, const corlith::TFileWrite& result) {
    switch (result.failure) {
    case corlith::TFileWrite::NotAFile:
        return "无法写入汇总文件“" + ShownPath(path) + "”：" + corlith::FileWriteReason(result);
    case corlith::TFileWrite::Write:
        return "写入汇总文件“" + ShownPath(path) + "”失败：" + corlith::FileWriteReason(result);
    default: return "无法创建汇总文件“" + ShownPath(path) + "”：" + corlith::FileWriteReason(result);
    }
}

// The host names the file in GBK like every other text; the file system here names files in
// the locale's encoding. Bytes that are not GBK are passed on as they are.
std::string NativePath(const std::string& path) {
    const QString text = GbkToQString(path);
    if (QStringToGbk(text) != path) return path;
    const QByteArray native = QFile::encodeName(text);
    return std::string(native.constData(), static_cast<std::size_t>(native.size()));
}

}  // namespace

namespace vantrel {

std::string BuildSummaryWhere(const TSummaryGroup& group, const std::string& nsrsbh, const std::string& sbssq) {
    std::string where = " where nsrsbh='" + QuoteInner(nsrsbh) + "' and sbssq='" + QuoteInner(sbssq) + "'";
    for (std::string_view condition : group.conditions) {
        where += " and ";
        where += condition;
    }
    return where;
}

std::string BuildSummarySelect(const TSummaryGroup& group, const std::string& table, const std::string& nsrsbh,
                               const std::string& sbssq) {
    std::string sql = "select ";
    for (std::size_t i = 0; i < group.cells.size(); ++i) {
        if (i > 0) sql += ",";
        sql += SelectItem(group.cells[i].measure);
    }
    sql += " from " + table;
    sql += BuildSummaryWhere(group, nsrsbh, sbssq);
    return sql;
}

std::string SummaryAmountText(double sum) {
    char text[400];  // room for every finite double in full
    std::snprintf(text, sizeof text, "%.2f", sum);
    // A sum that is zero to the cent may land a hair below zero in floating point; a tax
    // document shows it as zero, not "-0.00".
    if (std::strcmp(text, "-0.00") == 0) return "0.00";
    return text;
}

std::string SummaryCountText(int32_t count) { return std::to_string(count); }

bool ComputeSummaryLines(const TModuleContext& context, std::vector<TSummaryLine>& lines, std::string& error) {
    const std::string table = QualifyTableName("sb_xxfpb", context.subAppCode);
    const std::string& connection = context.connection;
    std::vector<TSummaryLine> computed;
    THostQuery query;
    for (const TSummaryGroup& group : SummaryCatalogue()) {
        const std::string sql = BuildSummarySelect(group, table, context.taxpayer, context.period);
        if (!ExecADOQueryMsg(connection, sql, &query, error, 1, 0)) {
            error = ErrorOrUnknown(error);
            return false;
        }
        for (const TSummaryCell& cell : group.cells) {
            std::string value;
            if (!FormatCell(query, cell, value, error)) return false;
            computed.push_back(TSummaryLine{&group, &cell, std::move(value)});
        }
    }
    lines = std::move(computed);
    return true;
}

bool BuildSummaryText(const TModuleContext& context, std::string& text, std::string& error,
                      std::vector<TSummaryLine>* computed) {
    std::string header;
    GetReportHeader(context, kPrefix, ModuleFuncCode(context.subAppCode), error, header);
    if (header.empty()) return false;

    std::vector<TSummaryLine> own;
    std::vector<TSummaryLine>& lines = computed ? *computed : own;
    if (!ComputeSummaryLines(context, lines, error)) return false;

    std::string document = "<?xml version=\"1.0\" encoding=\"GBK\"?><DZSBB>";
    document += kCrLf;
    document += "<SB_XXQTFPMX>";
    document += kCrLf;
    document += header;
    document += "<SB_XXQTFPMX_HJXX>";
    document += kCrLf;
    for (const TSummaryLine& line : lines) {
        const std::string_view name = line.cell->name;
        document += CellIndent(name);
        document += "<";
        document += name;
        document += ">";
        document += line.value;
        document += "</";
        document += name;
        document += ">";
        document += kCrLf;
    }
    document += "</SB_XXQTFPMX_HJXX></SB_XXQTFPMX>";
    document += kCrLf;
    document += "</DZSBB>";
    document += kCrLf;
    document += kCrLf;
    text = std::move(document);
    return true;
}

bool WriteSummaryFile(const std::string& path, const std::string& text, std::string& error) {
    if (path.empty()) {
        error = "未指定汇总文件的路径（参数dir为空），无法写入汇总文件";
        return false;
    }
    const corlith::TFileWrite written = corlith::WriteFileWhole(NativePath(path), text);
    if (!written.Ok()) error = WriteFailure(path, written);
    return written.Ok();
}


}  // namespace vantrel
bool BuildSummaryDocument(const vantrel::TModuleContext& context, const std::string& path, std::string& error) {
    try {
        std::string text;
        std::vector<vantrel::TSummaryLine> lines;
        if (!BuildSummaryText(context, text, error, &lines) || !vantrel::WriteSummaryFile(path, text, error)) {
            error = vantrel::ErrorOrUnknown(error);
            return false;
        }
        std::string ignored;
        vantrel::RecordWrittenDocument(context, text, lines, ignored);
        return true;
    } catch (const std::exception& e) {
        error = std::string("生成汇总文件时出错：") + e.what();
    } catch (...) {
        error = vantrel::ErrorOrUnknown(std::string());
    }
    return false;
}

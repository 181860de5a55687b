#include "summary/f_QtfpSummary.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportPubFunc.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kPrefix = "SB_XXQTFPMX";

std::string_view SelectItem(TSummaryMeasure measure) {
    switch (measure) {
    case TSummaryMeasure::Je: return "sum(je) as zje";
    case TSummaryMeasure::Se: return "sum(se) as zse";
    case TSummaryMeasure::Fs: return "sum(fs) as zfs";
    }
    return "sum(je) as zje";
}

std::string_view CellIndent(std::string_view name) {
    if (name == "SB_XXQTFPMX_ZBJE_6_12") return " ";
    if (name == "SB_XXQTFPMX_FB1JE_4_23") return "";
    return "  ";
}

std::string FormatCell(const THostQuery& query, TSummaryMeasure measure) {
    const std::string alias(MeasureAlias(measure));
    const bool hasValue = query.RecordCount() > 0 && !query.FieldIsNull(alias);
    if (measure == TSummaryMeasure::Fs) return SummaryCountText(hasValue ? query.FieldAsInteger(alias) : 0);
    return SummaryAmountText(hasValue ? query.FieldAsFloat(alias) : 0.0);
}

// The user reads these texts in Chinese; the system's own wording stays as the fallback.
std::string SystemMessage(int error) {
    switch (error) {
    case ENOENT: return "文件夹不存在";
    case ENOTDIR: return "路径中的某一级不是文件夹";
    case EISDIR: return "该路径是一个文件夹";
    case EACCES:
    case EPERM: return "没有访问权限";
    case EROFS: return "文件系统为只读";
    case ENOSPC:
    case EDQUOT: return "磁盘空间不足";
    case ENAMETOOLONG: return "路径过长";
    case EFBIG: return "文件超出允许的大小";
    default: return std::error_code(error, std::generic_category()).message();
    }
}

std::string CreateFailure(const std::string& path, int error) {
    return "无法创建汇总文件“" + path + "”：" + SystemMessage(error);
}

std::string WriteFailure(const std::string& path, int error) {
    return "写入汇总文件“" + path + "”失败：" + SystemMessage(error);
}

// The host names the file in GBK like every other text; the file system here names files in
// the locale's encoding. Bytes that are not GBK are passed on as they are.
std::string NativePath(const std::string& path) {
    const QString text = GbkToQString(path);
    if (QStringToGbk(text) != path) return path;
    const QByteArray native = QFile::encodeName(text);
    return std::string(native.constData(), static_cast<std::size_t>(native.size()));
}

// A name beside the target, unique within the process and, through O_EXCL, on disk.
std::string TemporaryName(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    return path + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt) + ".tmp";
}

bool WriteAll(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

std::string BuildSummaryWhere(const TSummaryGroup& group, const std::string& nsrsbh, const std::string& sbssq) {
    std::string where = " where nsrsbh='" + QuoteInner(nsrsbh) + "' and sbssq='" + QuoteInner(sbssq) + "'";
    for (std::string_view condition : group.conditions) {
        where += " and ";
        where += condition;
    }
    return where;
}

std::string BuildSummarySelect(const TSummaryGroup& group, const std::string& table,
                               const std::string& nsrsbh, const std::string& sbssq) {
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
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", sum);
    // A sum that is zero to the cent may land a hair below zero in floating point; a tax
    // document shows it as zero, not "-0.00".
    if (std::strcmp(text, "-0.00") == 0) return "0.00";
    return text;
}

std::string SummaryCountText(int32_t count) { return std::to_string(count); }

void CurrentTaxpayerAndPeriod(std::string& nsrsbh, std::string& sbssq) {
    const SubAppVo* vo = GetCurSubAppVo();
    sbssq = vo ? vo->GetText("curKJNY") : std::string();
    nsrsbh = vo ? vo->GetText("curcompany") : std::string();
}

bool ComputeSummaryLines(const std::string& nsrsbh, const std::string& sbssq, std::vector<TSummaryLine>& lines,
                         std::string& error) {
    const std::string table = QualifyTableName("sb_xxfpb");
    const std::string connection = MainConnectionName();
    std::vector<TSummaryLine> computed;
    THostQuery query;
    for (const TSummaryGroup& group : SummaryCatalogue()) {
        const std::string sql = BuildSummarySelect(group, table, nsrsbh, sbssq);
        if (!ExecADOQueryMsg(connection, sql, &query, error, 1, 0)) {
            error = ErrorOrUnknown(error);
            return false;
        }
        for (const TSummaryCell& cell : group.cells)
            computed.push_back(TSummaryLine{&group, &cell, FormatCell(query, cell.measure)});
    }
    lines = std::move(computed);
    return true;
}

bool BuildSummaryText(std::string& text, std::string& error) {
    std::string nsrsbh, sbssq;
    CurrentTaxpayerAndPeriod(nsrsbh, sbssq);

    std::string header;
    GetReportHeader(kPrefix, ModuleFuncCode(), error, header);
    if (header.empty()) return false;

    std::vector<TSummaryLine> lines;
    if (!ComputeSummaryLines(nsrsbh, sbssq, lines, error)) return false;

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

    const std::string target = NativePath(path);
    struct stat existing {};
    const bool hadFile = ::stat(target.c_str(), &existing) == 0;

    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = TemporaryName(target, attempt);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = CreateFailure(path, errno);
        return false;
    }

    auto fail = [&](const std::string& message) {
        ::unlink(temporary.c_str());
        error = message;
        return false;
    };

    if (hadFile && S_ISREG(existing.st_mode)) ::fchmod(fd, existing.st_mode & 07777);
    if (!WriteAll(fd, text)) {
        const int saved = errno;
        ::close(fd);
        return fail(WriteFailure(path, saved));
    }
    if (::close(fd) != 0) return fail(WriteFailure(path, errno));
    if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(CreateFailure(path, errno));
    return true;
}

bool BuildSummaryDocument(const std::string& path, std::string& error) {
    try {
        std::string text;
        if (!BuildSummaryText(text, error) || !WriteSummaryFile(path, text, error)) {
            error = ErrorOrUnknown(error);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = std::string("生成汇总文件时出错：") + e.what();
    } catch (...) {
        error = ErrorOrUnknown(std::string());
    }
    return false;
}

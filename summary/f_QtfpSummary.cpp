#include "summary/f_QtfpSummary.h"

#include "host/corlith_api.h"
#include "invoice/f_GlobalUnit.h"
#include "report/f_DealReportPubFunc.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <system_error>

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kPrefix = "SB_XXQTFPMX";

std::string SelectItem(TSummaryMeasure measure) {
    return "sum(" + std::string(MeasureColumn(measure)) + ") as " + std::string(MeasureAlias(measure));
}

std::string_view CellIndent(std::string_view name) {
    if (name == "SB_XXQTFPMX_ZBJE_6_12") return " ";
    if (name == "SB_XXQTFPMX_FB1JE_4_23") return "";
    return "  ";
}

// The cell's text; false when the sum cannot stand in a document: an amount that is not
// finite, or a count beyond the 32-bit range the form allows.
bool FormatCell(const THostQuery& query, const TSummaryCell& cell, std::string& out, std::string& error) {
    const std::string alias(MeasureAlias(cell.measure));
    const bool hasValue = query.RecordCount() > 0 && !query.FieldIsNull(alias);
    const double value = hasValue ? query.FieldAsFloat(alias) : 0.0;
    const bool isCount = cell.measure == TSummaryMeasure::Fs;
    if (!std::isfinite(value) || (isCount && (value > INT32_MAX || value < INT32_MIN))) {
        error = "汇总项" + std::string(cell.name) + "的合计值" + (isCount ? "超出份数的允许范围" : "不是有效的数值") +
                "，请检查本期发票的金额、税额和份数";
        return false;
    }
    out = isCount ? SummaryCountText(hasValue ? query.FieldAsInteger(alias) : 0) : SummaryAmountText(value);
    return true;
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

// Paths of any length go into the message, which the host has to carry back whole.
std::string ShownPath(const std::string& path) { return GbkAbbreviate(path, 240); }

std::string CreateFailure(const std::string& path, int error) {
    return "无法创建汇总文件“" + ShownPath(path) + "”：" + SystemMessage(error);
}

std::string WriteFailure(const std::string& path, int error) {
    return "写入汇总文件“" + ShownPath(path) + "”失败：" + SystemMessage(error);
}

std::string NotAFileFailure(const std::string& path) {
    return "无法写入汇总文件“" + ShownPath(path) + "”：该路径不是普通文件（如管道或设备），未作改动";
}

// The host names the file in GBK like every other text; the file system here names files in
// the locale's encoding. Bytes that are not GBK are passed on as they are.
std::string NativePath(const std::string& path) {
    const QString text = GbkToQString(path);
    if (QStringToGbk(text) != path) return path;
    const QByteArray native = QFile::encodeName(text);
    return std::string(native.constData(), static_cast<std::size_t>(native.size()));
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of symbolic links ends at (existing or not), so that the document
// replaces that file and the links stay links. Empty with errnoOut on a loop or bad link.
std::string FollowLinks(std::string path, int& errnoOut) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
            errnoOut = n < 0 ? errno : ENAMETOOLONG;
            return std::string();
        }
        target.resize(static_cast<std::size_t>(n));
        path = !target.empty() && target[0] == '/' ? target : FolderOf(path) + target;
    }
    errnoOut = ELOOP;
    return std::string();
}

// A short name beside the target whatever the target's own name length; unique through
// O_EXCL.
std::string TemporaryName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    const unsigned mix = static_cast<unsigned>(::getpid()) * 2654435761u ^ counter++ * 40503u ^
                         static_cast<unsigned>(std::time(nullptr));
    char name[32];
    std::snprintf(name, sizeof name, ".vt%08x.tmp", mix);
    return folder + name;
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

// A write beyond the file-size limit raises SIGXFSZ, which would end the host. While this
// lives the signal is held for the calling thread and taken off afterwards, so the write
// fails with EFBIG instead.
class TFileSizeSignalHold {
public:
    TFileSizeSignalHold() {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGXFSZ);
        held_ = pthread_sigmask(SIG_BLOCK, &only, &previous_) == 0;
    }
    ~TFileSizeSignalHold() {
        if (!held_) return;
        sigset_t pending;
        if (!sigismember(&previous_, SIGXFSZ) && sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ)) {
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, SIGXFSZ);
            const timespec now{0, 0};
            while (sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    TFileSizeSignalHold(const TFileSizeSignalHold&) = delete;
    TFileSizeSignalHold& operator=(const TFileSizeSignalHold&) = delete;

private:
    sigset_t previous_{};
    bool held_ = false;
};

// Writes text over the existing regular file at target, keeping its inode (and so every
// hard link to it). Opened without blocking so that a FIFO put there meanwhile cannot hang.
bool WriteInPlace(const std::string& target, const std::string& path, const std::string& text, std::string& error) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = CreateFailure(path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = NotAFileFailure(path);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!WriteAll(fd, text) || ::ftruncate(fd, static_cast<off_t>(text.size())) != 0) {
        const int saved = errno;
        ::close(fd);
        error = WriteFailure(path, saved);
        return false;
    }
    if (::close(fd) != 0) {
        error = WriteFailure(path, errno);
        return false;
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
    char text[400];  // room for every finite double in full
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
        for (const TSummaryCell& cell : group.cells) {
            std::string value;
            if (!FormatCell(query, cell, value, error)) return false;
            computed.push_back(TSummaryLine{&group, &cell, std::move(value)});
        }
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

    int linkError = 0;
    const std::string target = FollowLinks(NativePath(path), linkError);
    if (target.empty()) {
        error = CreateFailure(path, linkError);
        return false;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        error = CreateFailure(path, EISDIR);
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        error = NotAFileFailure(path);
        return false;
    }

    const TFileSizeSignalHold signalHold;
    // Renaming a new file over one with several names would part it from the others.
    if (exists && existing.st_nlink > 1) return WriteInPlace(target, path, text, error);

    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = TemporaryName(FolderOf(target));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int saved = errno;
        // A folder that takes no new file may still hold a file that can be written.
        if (exists) return WriteInPlace(target, path, text, error);
        error = CreateFailure(path, saved);
        return false;
    }

    auto fail = [&](const std::string& message) {
        ::unlink(temporary.c_str());
        error = message;
        return false;
    };

    if (exists) ::fchmod(fd, existing.st_mode & 07777);
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

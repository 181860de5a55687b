#include "SummaryAll.h"

#include "ClientCommands.h"
#include "ClientOptions.h"
#include "ClientSession.h"
#include "ModuleLoader.h"
#include "TaxpayerRegister.h"
#include "exchange/f_CsvFile.h"
#include "host/corlith_files.h"
#include "host/f_HostTransaction.h"
#include "param/f_ParamString.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <set>

using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    bool done = false;   // reported at all
    bool ok = false;
    QString file;        // as written, in the output folder
    QString sha256;      // hex, of the file written
    QString error;
};

using Report = std::function<void(std::size_t index, const Outcome& outcome)>;

QString DocumentPath(const QString& dir, const std::string& code, const std::string& period) {
    return QDir(dir).filePath(GbkToQString(code + "_" + period + ".xml"));
}

// A commit of written documents flushes its file system once; a few dozen at a time keeps
// the progress moving without a flush per document.
constexpr std::size_t kDocumentsPerCommit = 64;

// Writes the documents of the taxpayers named by slice, in this process, on the session's
// connection: the host's company information follows each taxpayer before its call. A
// document counts as written once its batch is committed and the file reads back.
void WriteDocuments(const ClientSession& session, VantrelModule& module,
                    const std::vector<corlith::TaxpayerRecord>& taxpayers, const std::vector<std::size_t>& slice,
                    const QString& dir, const Report& report) {
    for (std::size_t first = 0; first < slice.size(); first += kDocumentsPerCommit) {
        const std::size_t last = std::min(slice.size(), first + kDocumentsPerCommit);
        std::vector<Outcome> outcomes(last - first);
        std::vector<std::pair<std::size_t, std::size_t>> staged(last - first);   // its writes in the batch
        corlith::TFileBatch batch;
        // The module records each document it writes; on a SQLite file one transaction per
        // batch keeps that from costing a journal flush per document. Not on a server, where a
        // refused record would end the transaction for the documents after it.
        std::string ignored;
        std::optional<THostTransaction> records;
        if (!session.onServer()) records.emplace(session.connectionName(), ignored);
        for (std::size_t k = first; k < last; ++k) {
            const corlith::TaxpayerRecord& r = taxpayers[slice[k]];
            Outcome& outcome = outcomes[k - first];
            outcome.done = true;
            outcome.file = DocumentPath(dir, r.code, session.period);
            const std::string hdxx = TaxpayerApprovedKinds(r, session.catalogue.get());
            SubAppVo* vo = GetCurSubAppVo();
            vo->SetText("curcompany", r.code);
            vo->SetText("jbxx", TaxpayerParticulars(r));
            vo->SetText("hdxx", hdxx.empty() ? session.hdxx : hdxx);
            const std::string params = "dir=" + EncodeParamValue(QStringToGbk(outcome.file));
            std::string after;
            staged[k - first].first = batch.Staged();
            try {
                after = module.createQtfp(0, params);
            } catch (...) {
                after = SetParamValue(params, "err", "模块异常结束");
            }
            staged[k - first].second = batch.Staged();
            if (after != params) {
                outcome.error = GbkToQString(GetParamValue(after, "err"));
                if (outcome.error.isEmpty()) outcome.error = u"生成汇总失败"_s;
            }
        }
        const std::vector<std::pair<std::string, corlith::TFileWrite>> committed = batch.Commit();
        if (records && records->Active()) records->Commit(ignored);   // the documents stand either way
        for (std::size_t k = first; k < last; ++k) {
            Outcome& outcome = outcomes[k - first];
            for (std::size_t w = staged[k - first].first; w < staged[k - first].second && outcome.error.isEmpty(); ++w)
                if (!committed[w].second.Ok())
                    outcome.error = u"写入汇总文件“%1”失败：%2"_s.arg(outcome.file, GbkToQString(corlith::FileWriteReason(committed[w].second)));
            if (outcome.error.isEmpty()) {
                QFile written(outcome.file);
                if (!written.open(QIODevice::ReadOnly))
                    outcome.error = u"模块未写出文件"_s;
                else {
                    outcome.ok = true;
                    outcome.sha256 =
                        QString::fromLatin1(QCryptographicHash::hash(written.readAll(), QCryptographicHash::Sha256).toHex());
                }
            }
            report(slice[k], outcome);
        }
    }
}

// One outcome as a line between processes: index, ok, digest, error (no tab or line end).
QByteArray EncodeOutcome(std::size_t index, const Outcome& o) {
    QString error = o.error;
    error.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    return QByteArray::number(static_cast<qulonglong>(index)) + '\t' + (o.ok ? "1" : "0") + '\t' + o.sha256.toLatin1() +
           '\t' + error.toUtf8() + '\n';
}

bool DecodeOutcome(const QByteArray& line, std::size_t& index, Outcome& o) {
    const QList<QByteArray> fields = line.split('\t');
    bool number = false;
    if (fields.size() != 4) return false;
    index = fields[0].toULongLong(&number);
    o.done = true;
    o.ok = fields[1] == "1";
    o.sha256 = QString::fromLatin1(fields[2]);
    o.error = QString::fromUtf8(fields[3]);
    return number;
}

// Runs the slices in child processes, each with its own connection, and reports every
// outcome as its line arrives. A child that ends without reporting leaves its taxpayers
// unreported.
void WriteInProcesses(ClientSession& session, const std::vector<corlith::TaxpayerRecord>& taxpayers,
                      const std::vector<std::vector<std::size_t>>& slices, const QString& dir, const Report& report) {
    corlith::CloseConnections();   // a connection must never be shared with a child
    std::vector<pid_t> children;
    std::vector<pollfd> pipes;
    for (const std::vector<std::size_t>& slice : slices) {
        int fds[2];
        if (::pipe(fds) != 0) continue;
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            continue;
        }
        if (pid == 0) {
            ::close(fds[0]);
            for (const pollfd& p : pipes) ::close(p.fd);
            QString error;
            VantrelModule module;
            int status = 0;
            if (InstallSession(session, 0, error) && module.load(error)) {
                WriteDocuments(session, module, taxpayers, slice, dir, [&](std::size_t index, const Outcome& o) {
                    const QByteArray line = EncodeOutcome(index, o);
                    if (::write(fds[1], line.constData(), static_cast<std::size_t>(line.size())) != line.size()) status = 1;
                });
                corlith::CloseConnections();
            } else {
                for (std::size_t index : slice) {
                    Outcome o;
                    o.done = true;
                    o.error = error;
                    const QByteArray line = EncodeOutcome(index, o);
                    if (::write(fds[1], line.constData(), static_cast<std::size_t>(line.size())) != line.size()) status = 1;
                }
            }
            ::close(fds[1]);
            std::fflush(nullptr);
            ::_exit(status);
        }
        ::close(fds[1]);
        children.push_back(pid);
        pipes.push_back({fds[0], POLLIN, 0});
    }
    std::map<int, QByteArray> pending;
    std::size_t open = pipes.size();
    while (open > 0) {
        if (::poll(pipes.data(), pipes.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (pollfd& p : pipes) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(p.fd);
                p.fd = -1;
                --open;
                continue;
            }
            QByteArray& data = pending[p.fd];
            data.append(buffer, n);
            for (qsizetype end; (end = data.indexOf('\n')) >= 0; data.remove(0, end + 1)) {
                std::size_t index = 0;
                Outcome o;
                if (DecodeOutcome(data.left(end), index, o) && index < taxpayers.size()) report(index, o);
            }
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

// The ids of a --taxpayers file: one a line (the first field of a CSV line), blank lines and
// lines starting with "#" skipped.
bool ReadTaxpayerList(const QString& path, std::vector<std::string>& ids, QString& error) {
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        error = u"无法读取纳税人列表 %1"_s.arg(path);
        return false;
    }
    for (QByteArray line : f.readAll().split('\n')) {
        if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
        line = line.split(',').first().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        ids.push_back(line.toStdString());
    }
    return true;
}

class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), terminal_(::isatty(STDERR_FILENO) == 1) { clock_.start(); }

    void Step(const corlith::TaxpayerRecord& r, const Outcome& o) {
        ++done_;
        if (!terminal_) {
            PrintLine(stderr, o.ok ? u"%1 %2：已写出 %3"_s.arg(GbkToQString(r.code), GbkToQString(r.name), o.file)
                                   : u"%1 %2：失败：%3"_s.arg(GbkToQString(r.code), GbkToQString(r.name), o.error));
            return;
        }
        const double seconds = std::max(clock_.elapsed(), qint64(1)) / 1000.0;
        const double rate = done_ / seconds;
        const int left = rate > 0 ? static_cast<int>((total_ - done_) / rate) : 0;
        const int width = 30, filled = static_cast<int>(width * done_ / std::max<std::size_t>(total_, 1));
        const QString line = u"\r[%1%2] %3/%4  %5 个/秒  剩余 %6:%7 "_s.arg(QString(filled, u'#'), QString(width - filled, u'.'))
                                 .arg(done_).arg(total_).arg(rate, 0, 'f', 1)
                                 .arg(left / 60, 2, 10, QChar(u'0')).arg(left % 60, 2, 10, QChar(u'0'));
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        if (done_ == total_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    std::size_t total_, done_ = 0;
    bool terminal_;
    QElapsedTimer clock_;
};

}  // namespace

int RunSummaryAll(const ClientOptions& options) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error) || !InstallSession(session, 0, error)) return SetupError(error);
    const QString dir = QFileInfo(options.outDir).absoluteFilePath();
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
        corlith::CloseConnections();
        return SetupError(u"无法创建输出目录 %1"_s.arg(options.outDir));
    }

    std::vector<corlith::TaxpayerRecord> registered, taxpayers;
    std::string hostError;
    if (!corlith::ReadTaxpayers(session.connectionName(), registered, hostError)) {
        corlith::CloseConnections();
        return SetupError(u"无法读取纳税人登记：%1"_s.arg(GbkToQString(hostError)));
    }
    // Named but not registered: failures of their own, never silently left out.
    std::vector<Outcome> outcomes;
    if (options.taxpayerList.isEmpty()) {
        taxpayers = std::move(registered);
    } else {
        std::vector<std::string> ids;
        if (!ReadTaxpayerList(options.taxpayerList, ids, error)) {
            corlith::CloseConnections();
            return SetupError(error);
        }
        std::map<std::string, const corlith::TaxpayerRecord*> byId;
        for (const corlith::TaxpayerRecord& r : registered) byId[r.code] = &r;
        std::set<std::string> seen;
        for (const std::string& id : ids) {
            if (!seen.insert(id).second) continue;
            const auto it = byId.find(id);
            corlith::TaxpayerRecord r;
            r.code = id;
            taxpayers.push_back(it != byId.end() ? *it->second : r);
            Outcome missing;
            if (it == byId.end()) {
                missing.done = true;
                missing.error = u"纳税人登记中没有该纳税人"_s;
            }
            outcomes.push_back(missing);
        }
        std::vector<corlith::TaxpayerRecord>().swap(registered);   // a run over a few holds a few
    }
    outcomes.resize(taxpayers.size());

    std::vector<std::size_t> todo;
    for (std::size_t i = 0; i < taxpayers.size(); ++i)
        if (!outcomes[i].done) todo.push_back(i);
    Progress progress(taxpayers.size());
    for (std::size_t i = 0; i < taxpayers.size(); ++i)
        if (outcomes[i].done) progress.Step(taxpayers[i], outcomes[i]);
    // Kept per taxpayer until the index: the outcome without its path, which the index derives.
    const Report report = [&](std::size_t index, const Outcome& o) {
        Outcome shown = o;
        shown.file = DocumentPath(dir, taxpayers[index].code, session.period);
        progress.Step(taxpayers[index], shown);
        outcomes[index] = o;
        outcomes[index].file = QString();
    };

    const std::size_t jobs = std::min<std::size_t>(static_cast<std::size_t>(options.jobs), std::max<std::size_t>(todo.size(), 1));
    if (jobs <= 1) {
        VantrelModule module;
        if (!module.load(error)) {
            corlith::CloseConnections();
            return SetupError(error);
        }
        WriteDocuments(session, module, taxpayers, todo, dir, report);
        corlith::CloseConnections();
    } else {
        std::vector<std::vector<std::size_t>> slices(jobs);
        for (std::size_t k = 0; k < todo.size(); ++k) slices[k % jobs].push_back(todo[k]);
        WriteInProcesses(session, taxpayers, slices, dir, report);
    }

    // The table, and the index beside the documents.
    std::string index;
    vantrel::AppendCsvRecord(index, {"id", "name", "file", "SHA-256", "status", "error"});
    std::size_t failed = 0;
    PrintListing({"纳税人识别号", "纳税人名称", "状态", "文件或原因"}, false);
    for (std::size_t i = 0; i < taxpayers.size(); ++i) {
        Outcome& o = outcomes[i];
        if (!o.done) o.error = u"写出进程异常结束，未报告结果"_s;
        if (!o.ok) ++failed;
        const std::string file = o.ok ? taxpayers[i].code + "_" + session.period + ".xml" : std::string();
        const std::string status = o.ok ? "ok" : "failed";
        vantrel::AppendCsvRecord(index, {taxpayers[i].code, taxpayers[i].name, file, o.sha256.toStdString(), status,
                                QStringToGbk(o.error)});
        PrintListing({taxpayers[i].code, taxpayers[i].name, o.ok ? "已写出" : "失败", o.ok ? file : QStringToGbk(o.error)},
                     false);
    }
    const QString indexPath = QDir(dir).filePath(u"index.csv"_s);
    const corlith::TFileWrite written = corlith::WriteFileWhole(indexPath, "\xEF\xBB\xBF" + corlith::GbkToUtf8(index));
    if (!written.Ok()) {
        PrintLine(stderr, u"无法写入索引 %1：%2"_s.arg(indexPath, GbkToQString(corlith::FileWriteReason(written))));
        return kExitFailed;
    }
    PrintLine(stderr, u"共 %1 个纳税人：写出 %2 个，失败 %3 个；索引 %4"_s.arg(taxpayers.size())
                          .arg(taxpayers.size() - failed).arg(failed).arg(indexPath));
    return failed == 0 ? kExitOk : kExitFailed;
}

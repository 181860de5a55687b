#include "ClientCommands.h"

#include "ClientOptions.h"
#include "ClientSession.h"
#include "DemoData.h"
#include "MainFrame.h"
#include "ModuleLoader.h"
#include "corlith/corlith_host.h"
#include "module/f_ParamString.h"

#include <QApplication>
#include <QLocale>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

void PrintLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int SetupError(const QString& message) {
    PrintLine(stderr, u"vantrel-client: "_s + message);
    return kExitSetup;
}

bool PrepareSession(const ClientOptions& options, ClientSession& session, QString& error) {
    const bool loaded = options.sessionFile.isEmpty() ? DemoSession(session, error)
                                                      : LoadSessionFile(options.sessionFile, session, error);
    return loaded && ApplyOverrides(options, session, error);
}

long long CountInvoices(const ClientSession& session) {
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(session.connectionName(), "select count(*) as n from sb" + session.subAppCode + "_xxfpb",
                         &query, error, 1, 0))
        return -1;
    return query.FieldAsInt64("n");
}

}  // namespace

int RunInitDb(const ClientOptions& options) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error) || !InstallSession(session, 0, error) ||
        !PrepareSubAppFolder(session, error))
        return SetupError(error);

    // Fills in the invoice types when the type table is empty.
    std::string hostError;
    if (!corlith::CreateSchema(session.connectionName(), session.subAppCode, hostError))
        return SetupError(u"无法建表：%1"_s.arg(GbkToQString(hostError)));
    if (options.demo &&
        !InsertDemoInvoices(session.connectionName(), session.subAppCode, session.company, session.period, hostError))
        return SetupError(u"无法写入演示发票：%1"_s.arg(GbkToQString(hostError)));

    PrintLine(stdout, u"数据库 %1 已就绪，发票 %2 行"_s.arg(session.databaseFile()).arg(CountInvoices(session)));
    corlith::CloseConnections();
    return kExitOk;
}

int RunSummary(const ClientOptions& options) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error)) return SetupError(error);

    std::string params;
    if (options.hasParamText) {
        params = QStringToGbk(options.paramText);
        if (GbkToQString(params) != options.paramText) return SetupError(u"--params 含有 GBK 无法表示的字符"_s);
    } else {
        const std::string path = QStringToGbk(options.outFile);
        if (GbkToQString(path) != options.outFile) return SetupError(u"--out 的路径含有 GBK 无法表示的字符"_s);
        params = "dir=" + EncodeParamValue(path);
    }

    VantrelModule module;
    if (!InstallSession(session, 0, error) || !module.load(error)) return SetupError(error);

    std::string after;
    try {
        after = module.createQtfp(0, params);
    } catch (const std::exception& e) {
        PrintLine(stderr, u"vantrel-client: 生成汇总时模块异常：%1"_s.arg(QString::fromLocal8Bit(e.what())));
        return kExitFailed;
    } catch (...) {
        PrintLine(stderr, u"vantrel-client: 生成汇总时模块异常结束"_s);
        return kExitFailed;
    }
    corlith::CloseConnections();

    // The module leaves the text as it was when it succeeded and adds "err" when it failed.
    const bool failed = after != params;
    if (options.hasParamText) {
        PrintLine(stdout, GbkToQString(after));
        return failed ? kExitFailed : kExitOk;
    }
    if (failed) {
        const std::string message = GetParamValue(after, "err");
        PrintLine(stderr, message.empty() ? u"生成汇总失败，参数串：%1"_s.arg(GbkToQString(after))
                                          : u"生成汇总失败：%1"_s.arg(GbkToQString(message)));
        return kExitFailed;
    }
    if (!QFileInfo(options.outFile).isFile()) {
        PrintLine(stderr, u"生成汇总失败：模块未写出文件 %1"_s.arg(options.outFile));
        return kExitFailed;
    }
    return kExitOk;
}

int RunWindow(const ClientOptions& options, int& argc, char** argv) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error)) return SetupError(error);

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vantrel"_s);
    // The declaration client speaks Chinese: calendars, day names and number formats follow.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QString chineseFont = u"WenQuanYi Zen Hei"_s;
    if (QFontDatabase::families().contains(chineseFont)) QApplication::setFont(QFont(chineseFont, 10));

    VantrelModule module;
    if (!module.load(error)) return SetupError(error);

    int code = kExitOk;
    {
        MainFrame frame(module, session);
        if (!InstallSession(session, static_cast<THostHandle>(frame.winId()), error) ||
            !PrepareSubAppFolder(session, error))
            return SetupError(error);
        frame.attachToHost();
        frame.show();
        if (options.verb == ClientVerb::Manager) frame.openManager();
        code = QApplication::exec();
    }
    corlith::CloseConnections();
    return code;
}

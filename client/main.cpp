// vantrel-client: a small declaration client that hosts the Vantrel module.
#include "ClientCommands.h"
#include "ClientOptions.h"
#include "SummaryAll.h"
#include "TaxpayerRegister.h"
#include "corlith/corlith_host.h"
#include "corlith/corlith_test.h"

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

}  // namespace

int main(int argc, char** argv) {
    // A write beyond the file-size limit fails with EFBIG everywhere in the client, also in
    // libraries that flush a stream of their own late (the spreadsheet writer at exit).
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);

    // A test stops the host's clock at the moment it names; every date the client and the
    // module read as today follows it.
    if (const char* clock = std::getenv("VANTREL_TEST_CLOCK"); clock && !corlith::test::SetClock(clock)) {
        Print(stderr, QStringLiteral(u"vantrel-client: VANTREL_TEST_CLOCK is not \"yyyy-MM-dd[ hh:mm:ss]\"\n"));
        return kExitSetup;
    }
    corlith::SetBusyNotice([] { Print(stderr, QStringLiteral(u"vantrel-client: 数据库正由另一处写入，等待它完成……\n")); });
    ClientOptions options;
    QString error;
    if (!ParseClientOptions(args, options, error)) {
        Print(stderr, QStringLiteral(u"vantrel-client: ") + error + u'\n' + ClientUsage());
        return kExitSetup;
    }
    if (options.help) {
        Print(stdout, ClientUsage());
        return kExitOk;
    }
    switch (options.verb) {
    case ClientVerb::InitDb: return RunInitDb(options);
    case ClientVerb::Summary: return RunSummary(options);
    case ClientVerb::Preview: return RunPreview(options);
    case ClientVerb::Drill: return RunDrill(options);
    case ClientVerb::Print: return RunPrint(options, argc, argv);
    case ClientVerb::Import:
    case ClientVerb::ImportEInvoice: return RunImport(options);
    case ClientVerb::Export: return RunExport(options);
    case ClientVerb::Taxpayers: return RunTaxpayers(options);
    case ClientVerb::SummaryAll: return RunSummaryAll(options);
    case ClientVerb::VerifyLog: return RunVerifyLog(options);
    case ClientVerb::History: return RunHistory(options);
    case ClientVerb::Reconcile: return RunReconcile(options);
    case ClientVerb::Restore: return RunRestore(options);
    case ClientVerb::DiffDeclared: return RunDiffDeclared(options);
    case ClientVerb::Window:
    case ClientVerb::Manager: break;
    }
    return RunWindow(options, argc, argv);
}

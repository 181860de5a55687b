#include "ClientCommands.h"

#include "context/f_ModuleContext.h"
#include "ClientOptions.h"
#include "ClientSession.h"
#include "DemoData.h"
#include "MainFrame.h"
#include "ModuleLoader.h"
#include "TaxpayerRegister.h"
#include "corlith/corlith_host.h"
#include "exchange/f_CsvFile.h"
#include "exchange/f_EInvoiceImport.h"
#include "exchange/f_Reconcile.h"
#include "exchange/f_RegisterExchange.h"
#include "invoice/f_ChangeLog.h"
#include "summary/f_SummaryDeclared.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "param/f_ParamString.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryDrill.h"
#include "summary/f_SummaryPreview.h"
#include "print/f_PreviewPage.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QGuiApplication>
#include <QLocale>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>

#include <xcb/xcb.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <exception>
#include <memory>
#include <set>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

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

void PrintListing(const std::vector<std::string>& fields, bool csv) {
    std::string line;
    if (csv) {
        vantrel::AppendCsvRecord(line, fields);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    } else {
        for (std::size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "\t" : "") + fields[i];
    }
    PrintLine(stdout, GbkToQString(line));
}

namespace {

// A session for the verbs that write: installed, with its sub-application folder ready. Only
// init-db creates the database.
bool PrepareWritingSession(const ClientOptions& options, ClientSession& session, QString& error,
                           bool createDatabase = false) {
    return PrepareSession(options, session, error) && InstallSession(session, 0, error, createDatabase) &&
           PrepareSubAppFolder(session, error);
}

long long CountInvoices(const ClientSession& session) {
    THostQuery query;
    std::string error;
    if (!ExecADOQueryMsg(session.connectionName(), "select count(*) as n from sb" + session.subAppCode + "_xxfpb",
                         &query, error, 1, 0))
        return -1;
    return query.FieldAsInt64("n");
}

// A headless verb: the session installed and verb run on it and its context, the connections
// closed after it; when the session cannot be installed, the setup error printed and its exit
// code returned.
int RunHeadless(const ClientOptions& options,
                const std::function<int(const ClientSession&, const vantrel::TModuleContext&)>& verb) {
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error) || !InstallSession(session, 0, error)) return SetupError(error);
    const int code = verb(session, session.context());
    corlith::CloseConnections();
    return code;
}

// What keeps a typed taxpayer or period from passing unseen for a real return: a taxpayer
// whose particulars are unknown, a period without any invoice of the taxpayer.
void WarnAboutReturn(const ClientSession& session) {
    const QString company = GbkToQString(session.company), period = GbkToQString(session.period);
    if (session.particularsUnknown)
        PrintLine(stderr, u"vantrel-client: 提示：不知道纳税人 %1 的基本信息（名称、开户银行、地址等），"
                          u"表头除纳税人识别号外均为空"_s.arg(company));
    const vantrel::TModuleContext context = session.context();
    THostQuery query;
    std::string error;
    const std::string sql = "select count(*) as n from " + QualifyTableName("sb_xxfpb", context.subAppCode) +
                            " where nsrsbh='" + session.company + "' and sbssq='" + session.period + "'";
    if (ExecADOQueryMsg(context.connection, sql, &query, error, 1, 0) && query.FieldAsInt64("n") == 0)
        PrintLine(stderr, u"vantrel-client: 提示：纳税人 %1 在所属期 %2 没有发票，各项数值均为零"_s.arg(company, period));
}

// Qt ends the process in an abort when it finds no display; this asks first. A platform other
// than X (offscreen, Wayland) is left to Qt.
bool DisplayAvailable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb")) return true;
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = connection && xcb_connection_has_error(connection) == 0;
    if (connection) xcb_disconnect(connection);
    return reached;
}

int ComputeFailed(const char16_t* what, const std::string& error) {
    PrintLine(stderr, u"vantrel-client: %1：%2"_s.arg(QString::fromUtf16(what), GbkToQString(error)));
    corlith::CloseConnections();
    return kExitFailed;
}

}  // namespace

int RunInitDb(const ClientOptions& options) {
    ClientSession session;
    QString error;
    if (!PrepareWritingSession(options, session, error, true)) return SetupError(error);

    // Fills in the invoice types when the type table is empty.
    std::string hostError;
    if (!corlith::CreateSchema(session.connectionName(), session.subAppCode, hostError))
        return SetupError(u"无法建表：%1"_s.arg(GbkToQString(hostError)));
    if (options.demo &&
        !InsertDemoInvoices(session.connectionName(), session.subAppCode, session.company, session.period, hostError))
        return SetupError(u"无法写入演示发票：%1"_s.arg(GbkToQString(hostError)));
    if (options.demo && !RegisterDemoTaxpayers(session, hostError))
        return SetupError(u"无法登记演示纳税人：%1"_s.arg(GbkToQString(hostError)));
    // Rows of other taxpayers stored before the log start their chains.
    if (options.demo && !vantrel::StartChangeLogs(session.context(), hostError))
        return SetupError(u"无法写入变更记录：%1"_s.arg(GbkToQString(hostError)));

    PrintLine(stdout, u"数据库 %1 已就绪，发票 %2 行"_s.arg(session.databaseLabel()).arg(CountInvoices(session)));
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
    // The module leaves the text as it was when it succeeded and adds "err" when it failed.
    const bool failed = after != params;
    if (!failed) WarnAboutReturn(session);
    corlith::CloseConnections();

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

int RunImport(const ClientOptions& options) {
    ClientSession session;
    QString setupError;
    // The folder's fp_config.ini gives the rates, as it does for the windows.
    if (!PrepareWritingSession(options, session, setupError)) return SetupError(setupError);
    const vantrel::TModuleContext context = session.context();
    LoadInvoiceConfig(context, "xxqtfp");
    std::string error;

    vantrel::TImportTarget target;
    if (!vantrel::LoadImportTarget(context, target, error)) {
        FreeInvoiceList(target.existing);
        corlith::CloseConnections();
        return SetupError(u"无法读取本期发票：%1"_s.arg(GbkToQString(error)));
    }
    vantrel::TImportPlan plan;
    const bool einvoices = options.verb == ClientVerb::ImportEInvoice;
    const bool read = einvoices ? vantrel::PlanEInvoiceImport({options.paths.begin(), options.paths.end()}, context, target,
                                                     false, plan, error)
                                : vantrel::PlanImportFile(options.file, target, false, plan, error);
    FreeInvoiceList(target.existing);
    if (!read) {
        corlith::CloseConnections();
        return SetupError(einvoices ? GbkToQString(error) : u"%1：%2"_s.arg(options.file, GbkToQString(error)));
    }
    for (const std::string& line : vantrel::IssueLines(plan.issues)) PrintLine(stderr, GbkToQString(line));
    if (plan.HasErrors()) return ComputeFailed(u"导入失败", "文件中有错误，未导入任何发票");

    const int rows = static_cast<int>(plan.rows.size());
    std::set<std::string> invoices;
    for (const vantrel::TInvoiceSource& source : plan.sources) invoices.insert(source.number);
    const QString what = einvoices ? u"%1 张电子发票（%2 行发票）"_s.arg(invoices.size()).arg(rows) : u"%1 行发票"_s.arg(rows);
    // The same file imported twice would double the register.
    if (!plan.storedDuplicateLines.empty() && !options.allowDuplicates)
        return ComputeFailed(u"导入被拒绝", vantrel::StoredDuplicatesText(plan) +
                                                 "，可能已经导入过，未导入任何发票。确实要导入时请加 --allow-duplicates");
    if (options.dryRun) {
        if (!vantrel::ImportAllowed(context, error)) return ComputeFailed(u"不能导入", error);
        corlith::CloseConnections();
        PrintLine(stdout, u"检查通过：%1可以导入（未写入）"_s.arg(what));
        return kExitOk;
    }
    if (vantrel::StoreImport(plan, context, {}, error) != vantrel::TStoreResult::Stored) return ComputeFailed(u"导入失败", error);
    corlith::CloseConnections();
    PrintLine(stdout, u"已导入 %1"_s.arg(what));
    return kExitOk;
}

int RunExport(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::string error;
        const std::string buyer = QStringToGbk(options.buyer.trimmed());
        if (GbkToQString(buyer) != options.buyer.trimmed()) return SetupError(u"--buyer 含有 GBK 无法表示的字符"_s);

        std::size_t rows = 0;
        const vantrel::TExportResult result =
            vantrel::ExportRegisterList(options.file, context, QStringToGbk(options.typeCode), buyer, rows, error);
        if (result == vantrel::TExportResult::ReadFailed) return SetupError(u"无法读取本期发票：%1"_s.arg(GbkToQString(error)));
        if (result != vantrel::TExportResult::Written) {
            PrintLine(stderr, u"vantrel-client: 导出失败：%1"_s.arg(GbkToQString(error)));
            return kExitFailed;
        }
        PrintLine(stdout, u"已导出 %1 行发票到 %2"_s.arg(rows).arg(options.file));
        return kExitOk;
    });
}

int RunVerifyLog(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        vantrel::TLogVerdict verdict;
        std::string error;
        const bool read = vantrel::VerifyChangeLog(context, verdict, error);
        if (!read) return SetupError(u"无法读取变更记录：%1"_s.arg(GbkToQString(error)));
        if (!verdict.whole) {
            PrintLine(stdout, u"变更记录有误：%1"_s.arg(GbkToQString(verdict.broken)));
            return kExitFailed;
        }
        PrintLine(stdout, u"变更记录完整：%1 条记录，重演后与纳税人 %2 各期的登记簿一致"_s.arg(verdict.entries).arg(
                              GbkToQString(context.taxpayer)));
        return kExitOk;
    });
}

int RunHistory(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::vector<std::string> header = {"时间", "类别", "序号", "操作人", "批次"};
        if (options.csv) {
            for (const char* side : {"改前", "改后"})
                for (const std::string& column : vantrel::RegisterColumns()) header.push_back(side + column);
        } else {
            header.push_back("变化");
        }
        PrintListing(header, options.csv);
        const std::size_t columns = vantrel::RegisterColumns().size();
        std::string error;
        const bool read = vantrel::ReadChangeEntries(
            context, options.xh > 0 ? std::optional<int32_t>(options.xh) : std::nullopt,
            [&](const vantrel::TChangeEntry& e) {
                std::string batch = std::to_string(e.batch);
                if (!e.batchNote.empty()) batch += " " + e.batchNote;
                std::vector<std::string> fields = {vantrel::LocalTimeText(e.time), e.kind, std::to_string(e.xh), e.seat,
                                                   batch};
                if (options.csv) {
                    std::vector<std::string> before = vantrel::DecodeRow(e.before), after = vantrel::DecodeRow(e.after);
                    before.resize(columns);
                    after.resize(columns);
                    fields.insert(fields.end(), before.begin(), before.end());
                    fields.insert(fields.end(), after.begin(), after.end());
                } else {
                    fields.push_back(vantrel::ChangedColumnsText(e));
                }
                PrintListing(fields, options.csv);
            },
            error);
        if (!read) return SetupError(u"无法读取变更记录：%1"_s.arg(GbkToQString(error)));
        return kExitOk;
    });
}

int RunReconcile(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::vector<Txxqtfpxx*> rows;
        vantrel::TReconcileResult result;
        std::string error;
        const vantrel::TReconcileRead read = vantrel::ReconcileWithList(context, options.file, rows, result, error);
        if (read != vantrel::TReconcileRead::Done) {
            FreeInvoiceList(rows);
            return read == vantrel::TReconcileRead::ListFailed
                       ? SetupError(u"%1：%2"_s.arg(options.file, GbkToQString(error)))
                       : SetupError(u"无法读取本期发票：%1"_s.arg(GbkToQString(error)));
        }
        // The text lists what needs attention and the groups' totals; the CSV file every invoice.
        const bool allMatched = result.AllMatched();
        if (options.csv || !allMatched) PrintListing(vantrel::ReconcileHeader(), options.csv);
        for (const vantrel::TReconcileLine& line : result.lines)
            if (options.csv || line.kind != vantrel::TReconcileKind::Matched)
                PrintListing(vantrel::ReconcileFields(result, line), options.csv);
        if (!options.csv)
            for (const std::string& line : vantrel::ReconcileSummaryLines(result)) PrintLine(stdout, GbkToQString(line));
        FreeInvoiceList(rows);
        return allMatched ? kExitOk : kExitFailed;
    });
}

int RunRestore(const ClientOptions& options) {
    ClientSession session;
    QString setupError;
    if (!PrepareWritingSession(options, session, setupError)) return SetupError(setupError);
    const vantrel::TModuleContext context = session.context();
    std::string error;
    if (!vantrel::ImportAllowed(context, error)) return ComputeFailed(u"不能恢复", error);
    int64_t restoring = 0;
    if (!vantrel::FindRestoringBatch(context, options.batch, restoring, error)) {
        corlith::CloseConnections();
        return SetupError(u"无法读取变更记录：%1"_s.arg(GbkToQString(error)));
    }
    if (restoring != 0)
        return ComputeFailed(u"不能恢复", "第 " + std::to_string(options.batch) + " 批已由第 " +
                                               std::to_string(restoring) + " 批恢复或撤销过");
    std::vector<std::pair<int32_t, int32_t>> numbers;
    vantrel::TBatchWatch watch(context.taxpayer);
    const vantrel::TStoreOutcome outcome = vantrel::ModuleInvoiceStore(context).Restore(options.batch, &numbers);
    if (!outcome.Ok()) return ComputeFailed(u"恢复失败", vantrel::ErrorOrUnknown(outcome.error));
    corlith::CloseConnections();
    for (const auto& [old, now] : numbers)
        if (old != now) PrintLine(stdout, u"第 %1 号已被占用，恢复为第 %2 号"_s.arg(old).arg(now));
    PrintLine(stdout, u"已恢复 %1 张发票（第 %2 批）"_s.arg(numbers.size()).arg(watch.Batches().empty() ? 0 : watch.Batches().back()));
    return kExitOk;
}

int RunDiffDeclared(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::string error;
        std::vector<vantrel::TSummaryLine> lines;
        vantrel::TDeclaredDiff diff;
        const bool read = ComputeSummaryLines(context, lines, error) && vantrel::DiffDeclared(context, lines, diff, error);
        if (!read) return SetupError(u"无法读取变更记录：%1"_s.arg(GbkToQString(error)));
        if (!diff.found)
            return SetupError(u"纳税人 %1 所属期 %2 还没有生成过汇总文件"_s.arg(GbkToQString(context.taxpayer),
                                                                       GbkToQString(context.period)));
        PrintLine(stdout, u"上次汇总文件：%1，SHA-256 %2"_s.arg(GbkToQString(vantrel::LocalTimeText(diff.document.time)),
                                                          QString::fromStdString(diff.document.sha256)));
        if (diff.changed.empty()) {
            PrintLine(stdout, u"此后没有单元格变动"_s);
            return kExitOk;
        }
        PrintListing({"单元格", "说明", "申报值", "当前值", "批次"}, false);
        for (const vantrel::TDeclaredDiff::TCell& cell : diff.changed) {
            std::string batches;
            for (int64_t b : cell.batches) batches += (batches.empty() ? "" : ",") + std::to_string(b);
            PrintListing({cell.name, vantrel::SummaryCellCaption(cell.name), cell.declared, cell.now, batches}, false);
        }
        return kExitFailed;
    });
}

int RunWindow(const ClientOptions& options, int& argc, char** argv) {
    if (!DisplayAvailable())
        return SetupError(u"打开窗口需要图形显示，但没有找到可用的显示（DISPLAY）。summary、preview、drill、print、"
                          u"import 和 export 不需要显示即可运行。"_s);
    ClientSession session;
    QString error;
    if (!PrepareSession(options, session, error)) return SetupError(error);

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vantrel"_s);
    // The declaration client speaks Chinese: calendars, day names and number formats follow.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // Qt's own dialogs and buttons (file chooser, print dialog, 确定/取消) in Chinese too, from
    // Qt's translations when the machine has them.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Chinese, QLocale::China), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    const QString chineseFont = u"WenQuanYi Zen Hei"_s;
    if (QFontDatabase::families().contains(chineseFont)) QApplication::setFont(QFont(chineseFont, 10));

    VantrelModule module;
    if (!module.load(error)) return SetupError(error);

    int code = kExitOk;
    {
        MainFrame frame(module, session);
        // A terminate request (the desktop session ending, a test) closes the window as its close
        // box does, so that it keeps its place for the next run; one that comes while the window
        // is still being set up waits for the event loop.
        static int terminateWrite = -1;
        int terminatePipe[2];
        const bool terminable = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminatePipe) == 0;
        if (terminable) {
            terminateWrite = terminatePipe[0];
            std::signal(SIGTERM, [](int) { [[maybe_unused]] const auto n = ::write(terminateWrite, "t", 1); });
        }
        if (!InstallSession(session, static_cast<THostHandle>(frame.winId()), error) ||
            !PrepareSubAppFolder(session, error))
            return SetupError(error);
        frame.attachToHost();
        frame.show();
        if (options.verb == ClientVerb::Manager) frame.openManager();
        std::unique_ptr<QSocketNotifier> terminateNotice;
        if (terminable) {
            terminateNotice = std::make_unique<QSocketNotifier>(terminatePipe[1], QSocketNotifier::Read);
            QObject::connect(terminateNotice.get(), &QSocketNotifier::activated, &frame, [&frame, &terminateNotice] {
                terminateNotice->setEnabled(false);
                frame.close();
            });
        }
        code = QApplication::exec();
    }
    corlith::CloseConnections();
    return code;
}

int RunPreview(const ClientOptions& options) {
    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::string error;
        std::vector<vantrel::TSummaryLine> lines;
        if (!ComputeSummaryLines(context, lines, error)) return ComputeFailed(u"无法计算申报预览", error);

        if (options.csv) PrintListing({"cell", "caption", "value"}, true);
        for (const vantrel::TSummaryLine& line : lines) {
            const std::string name(line.cell->name);
            PrintListing({name, vantrel::SummaryCellCaption(name), line.value}, options.csv);
        }
        return kExitOk;
    });
}

int RunDrill(const ClientOptions& options) {
    vantrel::TSummaryCellRef ref;
    if (!vantrel::FindSummaryCell(QStringToGbk(options.cell), ref))
        return SetupError(u"没有名为 %1 的单元格"_s.arg(options.cell));

    return RunHeadless(options, [&](const ClientSession&, const vantrel::TModuleContext& context) -> int {
        std::string error;
        std::vector<Txxqtfpxx*> rows;
        if (!vantrel::LoadDrillInvoices(*ref.group, context, rows, error)) return ComputeFailed(u"无法读取发票", error);

        std::vector<std::string> captions;
        for (int c = 0; c < vantrel::RegisterColumnCount; ++c) captions.emplace_back(vantrel::RegisterColumnCaption(c));
        PrintListing(captions, options.csv);
        for (const Txxqtfpxx* r : rows) PrintListing(vantrel::RegisterExportFields(*r), options.csv);
        PrintListing({"合计", std::to_string(rows.size()), vantrel::DrillTotalText(*ref.cell, rows)}, options.csv);
        FreeInvoiceList(rows);
        return kExitOk;
    });
}

int RunPrint(const ClientOptions& options, int& argc, char** argv) {
    // Printing to a file never needs a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RunHeadless(options, [&](const ClientSession& session, const vantrel::TModuleContext& context) -> int {
        vantrel::TSummaryPreview preview;
        std::string error;
        if (!vantrel::LoadSummaryPreview(context, preview, error)) return ComputeFailed(u"无法计算申报预览", error);
        WarnAboutReturn(session);

        QString writeError;
        if (!vantrel::WritePreviewPdf(options.pdfFile, preview, vantrel::HostToday(), writeError)) {
            PrintLine(stderr, u"vantrel-client: "_s + writeError);
            return kExitFailed;
        }
        return kExitOk;
    });
}

#include "ClientOptions.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

bool TakeValue(const QStringList& args, qsizetype& i, const QString& name, const QString& inlineValue,
               bool hasInline, QString& value, bool& seen, bool allowEmpty, QString& error) {
    if (seen) {
        error = u"选项 %1 只能给出一次"_s.arg(name);
        return false;
    }
    if (hasInline) {
        value = inlineValue;
    } else {
        if (i + 1 >= args.size()) {
            error = u"选项 %1 缺少取值"_s.arg(name);
            return false;
        }
        value = args.at(++i);
    }
    if (!allowEmpty && value.isEmpty()) {
        error = u"选项 %1 的取值不能为空"_s.arg(name);
        return false;
    }
    seen = true;
    return true;
}

// The options that take one non-empty value, each with the verb it belongs to (none: all).
struct ValueOption {
    const char16_t* name;
    QString ClientOptions::*field;
    std::optional<ClientVerb> verb;
};

const ValueOption kValueOptions[] = {
    {u"--session", &ClientOptions::sessionFile, std::nullopt}, {u"--db", &ClientOptions::database, std::nullopt},
    {u"--company", &ClientOptions::company, std::nullopt},     {u"--period", &ClientOptions::period, std::nullopt},
    {u"--out", &ClientOptions::outFile, ClientVerb::Summary},  {u"--pdf", &ClientOptions::pdfFile, ClientVerb::Print},
    {u"--type", &ClientOptions::typeCode, ClientVerb::Export}, {u"--buyer", &ClientOptions::buyer, ClientVerb::Export},
    {u"--import", &ClientOptions::taxpayerImport, ClientVerb::Taxpayers},
    {u"--out-dir", &ClientOptions::outDir, ClientVerb::SummaryAll},
    {u"--taxpayers", &ClientOptions::taxpayerList, ClientVerb::SummaryAll},
};

// The verb, when the first argument names one; i then points past it.
bool ParseVerb(const QStringList& args, ClientOptions& options, qsizetype& i, QString& error) {
    if (args.isEmpty() || args.first().startsWith(u'-')) return true;
    const QString verb = args.first();
    static const std::pair<const char16_t*, ClientVerb> kVerbs[] = {
        {u"init-db", ClientVerb::InitDb}, {u"summary", ClientVerb::Summary}, {u"manager", ClientVerb::Manager},
        {u"preview", ClientVerb::Preview}, {u"drill", ClientVerb::Drill},     {u"print", ClientVerb::Print},
        {u"import", ClientVerb::Import},   {u"export", ClientVerb::Export},
        {u"taxpayers", ClientVerb::Taxpayers}, {u"summary-all", ClientVerb::SummaryAll},
        {u"verify-log", ClientVerb::VerifyLog}, {u"history", ClientVerb::History},
        {u"reconcile", ClientVerb::Reconcile}, {u"import-einvoice", ClientVerb::ImportEInvoice},
        {u"restore", ClientVerb::Restore}, {u"diff-declared", ClientVerb::DiffDeclared}};
    const auto known = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&](const auto& entry) { return verb == QStringView(entry.first); });
    if (known == std::end(kVerbs)) {
        error = u"未知的命令：%1"_s.arg(verb);
        return false;
    }
    options.verb = known->second;
    i = 1;
    return true;
}

// What a run over the arguments has seen (each option is given once) and what the verb takes.
struct TOptionScan {
    explicit TOptionScan(ClientVerb verb)
        : takesFile(verb == ClientVerb::Import || verb == ClientVerb::Export || verb == ClientVerb::Reconcile),
          listsCells(verb == ClientVerb::Preview || verb == ClientVerb::Drill || verb == ClientVerb::Taxpayers ||
                     verb == ClientVerb::History || verb == ClientVerb::Reconcile) {}

    bool seen[std::size(kValueOptions)] = {};
    bool seenFormat = false, seenJobs = false, seenXh = false, seenBatch = false;
    const bool takesFile;
    const bool listsCells;
};

using TTake = std::function<bool(QString& value, bool& taken)>;

// --format, --jobs, --xh and --batch, for the verbs that take them: a value that must be one of a
// few or a number in a range.
bool IsCheckedOption(const QString& name, ClientVerb verb, const TOptionScan& scan) {
    return (name == u"--format" && scan.listsCells) || (name == u"--jobs" && verb == ClientVerb::SummaryAll) ||
           (name == u"--xh" && verb == ClientVerb::History) || (name == u"--batch" && verb == ClientVerb::Restore);
}

// A whole number from 1 to highest; message names the option and takes the value given.
template <typename T>
bool TakeNumber(const TTake& take, bool& seen, T& out, T highest, const QString& message, QString& error) {
    QString value;
    const bool ok = take(value, seen);
    bool valid = false;
    const qint64 number = value.toLongLong(&valid);
    if (ok && (!valid || number < 1 || number > highest)) {
        error = message.arg(value);
        return false;
    }
    out = static_cast<T>(number);
    return ok;
}

bool TakeCheckedOption(const QString& name, const TTake& take, TOptionScan& scan, ClientOptions& options,
                       QString& error) {
    if (name == u"--format") {
        QString value;
        const bool ok = take(value, scan.seenFormat);
        if (ok && value != u"text" && value != u"csv") {
            error = u"--format 只能是 text 或 csv：%1"_s.arg(value);
            return false;
        }
        options.csv = value == u"csv";
        return ok;
    }
    if (name == u"--jobs") return TakeNumber(take, scan.seenJobs, options.jobs, 64, u"--jobs 应为 1 至 64 的整数：%1"_s, error);
    if (name == u"--xh")
        return TakeNumber(take, scan.seenXh, options.xh, std::numeric_limits<int>::max(), u"--xh 应为正整数：%1"_s, error);
    return TakeNumber(take, scan.seenBatch, options.batch, std::numeric_limits<qint64>::max(), u"--batch 应为正整数：%1"_s,
                      error);
}

// The argument at i, an option (with its value, after which i points) or a path or cell.
bool ParseArgument(const QStringList& args, qsizetype& i, TOptionScan& scan, ClientOptions& options,
                   QString& error) {
    const QString arg = args.at(i);
    QString name = arg, inlineValue;
    bool hasInline = false;
    if (arg.startsWith(u"--")) {
        const qsizetype eq = arg.indexOf(u'=');
        if (eq > 0) {
            name = arg.left(eq);
            inlineValue = arg.mid(eq + 1);
            hasInline = true;
        }
    }

    const auto take = [&](QString& value, bool& taken, bool allowEmpty = false) {
        return TakeValue(args, i, name, inlineValue, hasInline, value, taken, allowEmpty, error);
    };
    const auto valueOption = std::find_if(std::begin(kValueOptions), std::end(kValueOptions), [&](const auto& o) {
        return name == QStringView(o.name) && (!o.verb || *o.verb == options.verb);
    });
    if (name == u"-h" || name == u"--help") {
        options.help = true;
    } else if (valueOption != std::end(kValueOptions)) {
        return take(options.*(valueOption->field), scan.seen[valueOption - std::begin(kValueOptions)]);
    } else if (name == u"--demo" && options.verb == ClientVerb::InitDb && !hasInline) {
        options.demo = true;
    } else if (name == u"--params" && options.verb == ClientVerb::Summary) {
        // The parameter string goes to the module as typed, even when empty.
        return take(options.paramText, options.hasParamText, true);
    } else if (IsCheckedOption(name, options.verb, scan)) {
        return TakeCheckedOption(name, [&take](QString& value, bool& taken) { return take(value, taken); }, scan,
                                 options, error);
    } else if (name == u"--dry-run" && !hasInline &&
               (options.verb == ClientVerb::Import || options.verb == ClientVerb::ImportEInvoice)) {
        options.dryRun = true;
    } else if (name == u"--allow-duplicates" && options.verb == ClientVerb::Import && !hasInline) {
        options.allowDuplicates = true;
    } else if (name.startsWith(u'-')) {
        error = u"无法识别的选项：%1"_s.arg(arg);
        return false;
    } else if (options.verb == ClientVerb::ImportEInvoice && !arg.isEmpty()) {
        options.paths << arg;
    } else if (scan.takesFile && options.file.isEmpty() && !arg.isEmpty()) {
        options.file = arg;
    } else if (options.verb == ClientVerb::Drill && options.cell.isEmpty() && !arg.isEmpty()) {
        options.cell = arg;
    } else {
        error = u"多余的参数：%1"_s.arg(arg);
        return false;
    }
    return true;
}

// What each verb needs once every argument is read.
bool CheckVerbNeeds(ClientOptions& options, bool takesFile, QString& error) {
    if (options.verb == ClientVerb::Summary) {
        if (options.outFile.isEmpty() != options.hasParamText) {
            error = u"summary 需要 --out FILE 或 --params TEXT 二者之一"_s;
            return false;
        }
    }
    if (options.verb == ClientVerb::Drill && options.cell.isEmpty()) {
        error = u"drill 需要单元格名称 CELL"_s;
        return false;
    }
    if (takesFile && options.file.isEmpty()) {
        error = options.verb == ClientVerb::Import   ? u"import 需要文件名 FILE"_s
                : options.verb == ClientVerb::Export ? u"export 需要文件名 FILE"_s
                                                     : u"reconcile 需要清单文件名 FILE"_s;
        return false;
    }
    if (options.verb == ClientVerb::ImportEInvoice && options.paths.isEmpty()) {
        error = u"import-einvoice 需要文件或文件夹 PATH"_s;
        return false;
    }
    if (options.verb == ClientVerb::Export && !options.typeCode.isEmpty()) {
        bool number = false;
        options.typeCode.toInt(&number);
        if (!number) {
            error = u"--type 应为发票类型代码（整数）：%1"_s.arg(options.typeCode);
            return false;
        }
    }
    if (options.verb == ClientVerb::SummaryAll) {
        if (!options.company.isEmpty()) {
            error = u"summary-all 写出每个登记的纳税人，不接受 --company（用 --taxpayers FILE 选择纳税人）"_s;
            return false;
        }
        if (options.period.isEmpty() || options.outDir.isEmpty()) {
            error = u"summary-all 需要 --period YYYYMM 和 --out-dir DIR"_s;
            return false;
        }
    }
    if (options.verb == ClientVerb::Restore && options.batch == 0) {
        error = u"restore 需要 --batch N（变更记录中删除批次的编号）"_s;
        return false;
    }
    if (options.verb == ClientVerb::Print && options.pdfFile.isEmpty()) {
        error = u"print 需要 --pdf FILE"_s;
        return false;
    }
    return true;
}

}  // namespace

bool ParseClientOptions(const QStringList& args, ClientOptions& options, QString& error) {
    options = ClientOptions();
    qsizetype i = 0;
    if (!ParseVerb(args, options, i, error)) return false;
    TOptionScan scan(options.verb);
    for (; i < args.size(); ++i)
        if (!ParseArgument(args, i, scan, options, error)) return false;
    if (options.help) return true;
    return CheckVerbNeeds(options, scan.takesFile, error);
}

QString ClientUsage() {
    return u"用法：\n"
           "  vantrel-client [COMMON]                        主窗口\n"
           "  vantrel-client manager [COMMON]                主窗口，启动时打开其它销项发票\n"
           "  vantrel-client init-db [COMMON] [--demo]       建表、发票类型；--demo 写入演示发票\n"
           "  vantrel-client summary [COMMON] --out FILE     生成汇总文件\n"
           "  vantrel-client summary [COMMON] --params TEXT  以 TEXT 为参数串生成汇总，输出调用后的参数串\n"
           "  vantrel-client preview [COMMON] [--format text|csv]\n"
           "                                                 申报预览：按文书顺序列出每个单元格的名称、说明和数值\n"
           "  vantrel-client drill [COMMON] CELL [--format text|csv]\n"
           "                                                 列出单元格 CELL 所汇总的发票，末行为张数和合计\n"
           "  vantrel-client print [COMMON] --pdf FILE       将申报预览输出为 PDF（无需显示器）\n"
           "  vantrel-client import [COMMON] FILE [--dry-run] [--allow-duplicates]\n"
           "                                                 检查并导入 .csv 或 .xlsx 文件中的发票，全部通过才写入\n"
           "  vantrel-client import-einvoice [COMMON] PATH... [--dry-run]\n"
           "                                                 检查并导入电子发票（.xml、.ofd，文件夹或 .zip），全部通过才写入\n"
           "  vantrel-client export [COMMON] FILE [--type CODE] [--buyer TEXT]\n"
           "                                                 将本期发票导出为 .csv 或 .xlsx 文件\n"
           "  vantrel-client taxpayers [COMMON] [--format text|csv]\n"
           "                                                 列出登记的纳税人及其各所属期的发票数\n"
           "  vantrel-client taxpayers [COMMON] --import FILE\n"
           "                                                 从 .csv 或 .xlsx 文件登记或更新纳税人，全部通过才写入\n"
           "  vantrel-client summary-all [COMMON] --period YYYYMM --out-dir DIR [--jobs N] [--taxpayers FILE]\n"
           "                                                 为每个登记的纳税人生成该所属期的汇总文件（不接受 --company）\n"
           "  vantrel-client verify-log [COMMON]             核对变更记录的校验链，并以记录重演核对登记簿\n"
           "  vantrel-client history [COMMON] [--xh N] [--format text|csv]\n"
           "                                                 本期（或一张发票）的变更记录，按时间先后\n"
           "  vantrel-client reconcile [COMMON] FILE [--format text|csv]\n"
           "                                                 以电子发票服务平台的发票清单（.csv 或 .xlsx）核对本期登记簿\n"
           "  vantrel-client restore [COMMON] --batch N      将第 N 批删除的发票恢复到本期登记簿\n"
           "  vantrel-client diff-declared [COMMON]          列出上次生成汇总文件以来变动的单元格及改动它们的批次\n"
           "COMMON：--session FILE  --db FILE  --company ID  --period YYYYMM\n"_s;
}

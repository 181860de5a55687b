#include "ClientOptions.h"

#include <algorithm>
#include <iterator>
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

}  // namespace

bool ParseClientOptions(const QStringList& args, ClientOptions& options, QString& error) {
    options = ClientOptions();
    qsizetype i = 0;
    if (!args.isEmpty() && !args.first().startsWith(u'-')) {
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
    }

    bool seen[std::size(kValueOptions)] = {};
    bool seenFormat = false, seenJobs = false;
    const bool takesFile = options.verb == ClientVerb::Import || options.verb == ClientVerb::Export ||
                           options.verb == ClientVerb::Reconcile;
    const bool listsCells = options.verb == ClientVerb::Preview || options.verb == ClientVerb::Drill ||
                            options.verb == ClientVerb::Taxpayers ||
                            options.verb == ClientVerb::History || options.verb == ClientVerb::Reconcile;
    bool seenXh = false, seenBatch = false;
    for (; i < args.size(); ++i) {
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
        bool ok = true;
        if (name == u"-h" || name == u"--help") {
            options.help = true;
        } else if (valueOption != std::end(kValueOptions)) {
            ok = take(options.*(valueOption->field), seen[valueOption - std::begin(kValueOptions)]);
        } else if (name == u"--demo" && options.verb == ClientVerb::InitDb && !hasInline) {
            options.demo = true;
        } else if (name == u"--params" && options.verb == ClientVerb::Summary) {
            // The parameter string goes to the module as typed, even when empty.
            ok = take(options.paramText, options.hasParamText, true);
        } else if (name == u"--format" && listsCells) {
            QString format;
            ok = take(format, seenFormat);
            if (ok && format != u"text" && format != u"csv") {
                error = u"--format 只能是 text 或 csv：%1"_s.arg(format);
                return false;
            }
            options.csv = format == u"csv";
        } else if (name == u"--jobs" && options.verb == ClientVerb::SummaryAll) {
            QString jobs;
            ok = take(jobs, seenJobs);
            bool number = false;
            options.jobs = jobs.toInt(&number);
            if (ok && (!number || options.jobs < 1 || options.jobs > 64)) {
                error = u"--jobs 应为 1 至 64 的整数：%1"_s.arg(jobs);
                return false;
            }
        } else if (name == u"--xh" && options.verb == ClientVerb::History) {
            QString number;
            ok = take(number, seenXh);
            bool valid = false;
            options.xh = number.toInt(&valid);
            if (ok && (!valid || options.xh < 1)) {
                error = u"--xh 应为正整数：%1"_s.arg(number);
                return false;
            }
        } else if (name == u"--batch" && options.verb == ClientVerb::Restore) {
            QString number;
            ok = take(number, seenBatch);
            bool valid = false;
            options.batch = number.toLongLong(&valid);
            if (ok && (!valid || options.batch < 1)) {
                error = u"--batch 应为正整数：%1"_s.arg(number);
                return false;
            }
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
        } else if (takesFile && options.file.isEmpty() && !arg.isEmpty()) {
            options.file = arg;
        } else if (options.verb == ClientVerb::Drill && options.cell.isEmpty() && !arg.isEmpty()) {
            options.cell = arg;
        } else {
            error = u"多余的参数：%1"_s.arg(arg);
            return false;
        }
        if (!ok) return false;
    }

    if (options.help) return true;
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

#include "ClientSession.h"

#include "ClientOptions.h"
#include "ModuleLoader.h"
#include "corlith/corlith_host.h"
#include "host/corlith_files.h"
#include "invoice/f_ChangeLog.h"
#include "param/f_ParamString.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <climits>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Reads a JSON session while remembering where it is, so that every complaint names the
// exact entry ("DeclareTypeInfo[0].Reports[1].FuncCode").
class SessionReader {
public:
    explicit SessionReader(QString& error) : error_(error) {}

    bool fail(const QString& where, const QString& what) {
        error_ = u"会话文件中 %1：%2"_s.arg(where, what);
        return false;
    }

    bool gbk(const QJsonValue& value, const QString& where, std::string& out) {
        if (!value.isString()) return fail(where, u"应为文本"_s);
        const QString text = value.toString();
        out = QStringToGbk(text);
        if (GbkToQString(out) != text) return fail(where, u"含有 GBK 无法表示的字符"_s);
        return true;
    }

    // The value converted when it has the JSON type the entry needs; else `what` is the complaint.
    template <class T>
    bool typed(bool hasType, T converted, const QString& where, const QString& what, T& out) {
        if (!hasType) return fail(where, what);
        out = std::move(converted);
        return true;
    }

    bool flag(const QJsonValue& value, const QString& where, bool& out) {
        return typed(value.isBool(), value.toBool(), where, u"应为 true 或 false"_s, out);
    }

    bool integer(const QJsonValue& value, const QString& where, int32_t& out) {
        const double d = value.toDouble();
        // The range comes first: converting a double outside it to int32_t is undefined.
        if (!value.isDouble() || !(d >= INT32_MIN && d <= INT32_MAX) || d != std::trunc(d))
            return fail(where, u"应为整数"_s);
        out = static_cast<int32_t>(d);
        return true;
    }

    bool object(const QJsonValue& value, const QString& where, QJsonObject& out) {
        return typed(value.isObject(), value.toObject(), where, u"应为对象"_s, out);
    }

    bool array(const QJsonValue& value, const QString& where, QJsonArray& out) {
        return typed(value.isArray(), value.toArray(), where, u"应为数组"_s, out);
    }

    bool unknown(const QString& where) { return fail(where, u"无法识别的项"_s); }

    // An object whose entries `entry` reads, but for its Code, which it must have.
    template <class Entry>
    bool coded(const QJsonValue& value, const QString& where, std::string& code, Entry&& entry) {
        QJsonObject o;
        if (!object(value, where, o)) return false;
        bool hasCode = false;
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString at = where + u'.' + it.key();
            const bool ok = it.key() == u"Code" ? (hasCode = gbk(it.value(), at, code)) : entry(it.key(), it.value(), at);
            if (!ok) return false;
        }
        return hasCode || fail(where, u"缺少 Code"_s);
    }

    bool report(const QJsonValue& value, const QString& where, TReportInfo& out) {
        return coded(value, where, out.Code, [&](const QString& key, const QJsonValue& v, const QString& at) {
            if (key == u"Name") return gbk(v, at, out.Name);
            if (key == u"FuncCode") return gbk(v, at, out.FuncCode);
            if (key == u"ApprovalRestricted") return flag(v, at, out.ApprovalRestricted);
            return unknown(at);
        });
    }

    bool kind(const QJsonValue& value, const QString& where, TDeclareTypeInfo& out) {
        return coded(value, where, out.Code, [&](const QString& key, const QJsonValue& v, const QString& at) {
            if (key == u"Name") return gbk(v, at, out.Name);
            if (key == u"PeriodKind") return integer(v, at, out.PeriodKind);
            if (key == u"ApprovalRestricted") return flag(v, at, out.ApprovalRestricted);
            if (key == u"DeclaredEditable") return flag(v, at, out.DeclaredEditable);
            if (key != u"Reports") return unknown(at);
            QJsonArray reports;
            bool ok = array(v, at, reports);
            for (qsizetype i = 0; ok && i < reports.size(); ++i) {
                TReportInfo r;
                ok = report(reports.at(i), u"%1[%2]"_s.arg(at).arg(i), r);
                out.Reports.push_back(r);
            }
            return ok;
        });
    }

    // The company particulars: an object of texts (written as a parameter string, values
    // escaped) or a parameter string given as is.
    bool jbxx(const QJsonValue& value, const QString& where, std::string& out) {
        if (value.isString()) return gbk(value, where, out);
        QJsonObject o;
        if (!object(value, where, o)) return fail(where, u"应为对象或文本"_s);
        out.clear();
        for (auto it = o.begin(); it != o.end(); ++it) {
            std::string key, text;
            if (!gbk(it.key(), where, key) || !gbk(it.value(), where + u'.' + it.key(), text)) return false;
            if (key.empty() || key.find_first_of("=;") != std::string::npos)
                return fail(where + u'.' + it.key(), u"键名不能为空，也不能含有“=”或“;”"_s);
            out = SetParamValue(out, key, text);
        }
        return true;
    }

    bool userConfig(const QJsonValue& value, const QString& where, std::vector<UserSetting>& out) {
        QJsonObject sections;
        if (!object(value, where, sections)) return false;
        for (auto s = sections.begin(); s != sections.end(); ++s) {
            QJsonObject keys;
            if (!object(s.value(), where + u'.' + s.key(), keys)) return false;
            for (auto k = keys.begin(); k != keys.end(); ++k) {
                UserSetting setting;
                if (!gbk(s.key(), where, setting.section) || !gbk(k.key(), where, setting.key) ||
                    !gbk(k.value(), where + u'.' + s.key() + u'.' + k.key(), setting.value))
                    return false;
                out.push_back(setting);
            }
        }
        return true;
    }

private:
    QString& error_;
};

QString ResolvePath(const QString& baseDir, const QString& path) {
    return QFileInfo(path).isAbsolute() ? path : QDir(baseDir).absoluteFilePath(path);
}

bool IsAsciiAlnum(const std::string& text) {
    for (unsigned char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

}  // namespace

std::string ClientSession::effectiveFuncCode() const {
    return funcCode.empty() ? subAppCode + "037-02-18-01" : funcCode;
}

bool ClientSession::onServer() const { return corlith::IsServerDatabase(QStringToGbk(database)); }

QString ClientSession::databaseFile() const {
    if (onServer()) return database;
    return QFileInfo(database.isEmpty() ? u"vantrel.db"_s : database).absoluteFilePath();
}

QString ClientSession::databaseLabel() const {
    if (!onServer()) return databaseFile();
    QUrl url(database);
    QUrlQuery query(url);
    query.removeAllQueryItems(u"password"_s);
    url.setQuery(query);
    return url.toString(QUrl::RemovePassword);
}

vantrel::TModuleContext ClientSession::context(const std::string& period) const {
    vantrel::TModuleContext context;
    context.taxpayer = company;
    context.period = period.empty() ? this->period : period;
    context.subAppCode = subAppCode;
    context.connection = connectionName();
    context.particulars = jbxx;
    context.approvedKinds = hdxx;
    context.subAppPath = QStringToGbk(subAppFolder());
    context.auditedReturns = useSbsh;
    context.catalogue = catalogue;
    return context;
}

QString ClientSession::subAppFolder() const {
    const QString base = onServer() ? QDir::currentPath() : QFileInfo(databaseFile()).absolutePath();
    QString folder = subAppPath.isEmpty() ? base + u"/sub"_s + GbkToQString(subAppCode)
                                          : QFileInfo(subAppPath).absoluteFilePath();
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder;
}

bool ParseSessionJson(const QByteArray& json, const QString& baseDir, ClientSession& session, QString& error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = u"会话文件不是有效的 JSON（第 %1 个字符处）：%2"_s.arg(parseError.offset + 1).arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        error = u"会话文件的顶层应为 JSON 对象"_s;
        return false;
    }

    ClientSession s;
    SessionReader r(error);
    const QJsonObject root = doc.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QString key = it.key();
        const auto is = [&](const char16_t* name) { return key.compare(QStringView(name), Qt::CaseInsensitive) == 0; };
        bool ok;
        if (is(u"subAppCode")) {
            ok = r.gbk(it.value(), key, s.subAppCode);
        } else if (is(u"funcCode")) {
            ok = r.gbk(it.value(), key, s.funcCode);
        } else if (is(u"database") || is(u"subAppPath")) {
            ok = it.value().isString() && !it.value().toString().isEmpty();
            if (!ok) {
                r.fail(key, u"应为非空的路径"_s);
            } else {
                const QString value = it.value().toString();
                const bool uri = is(u"database") && corlith::IsServerDatabase(QStringToGbk(value));
                const QString path = uri ? value : ResolvePath(baseDir, value);
                (is(u"database") ? s.database : s.subAppPath) = path;
            }
        } else if (is(u"curcompany")) {
            ok = r.gbk(it.value(), key, s.company);
        } else if (is(u"curKJNY")) {
            ok = r.gbk(it.value(), key, s.period);
        } else if (is(u"global_usesbsh")) {
            ok = r.flag(it.value(), key, s.useSbsh);
        } else if (is(u"hdxx")) {
            ok = r.gbk(it.value(), key, s.hdxx);
        } else if (is(u"jbxx")) {
            ok = r.jbxx(it.value(), key, s.jbxx);
        } else if (is(u"DeclareTypeInfo")) {
            QJsonArray kinds;
            ok = r.array(it.value(), key, kinds);
            for (qsizetype i = 0; ok && i < kinds.size(); ++i) {
                TDeclareTypeInfo kind;
                ok = r.kind(kinds.at(i), u"%1[%2]"_s.arg(key).arg(i), kind);
                s.catalogue->Items.push_back(kind);
            }
        } else if (is(u"userConfig")) {
            ok = r.userConfig(it.value(), key, s.userConfig);
        } else {
            ok = r.unknown(key);
        }
        if (!ok) return false;
    }
    session = std::move(s);
    return true;
}

bool LoadSessionFile(const QString& file, ClientSession& session, QString& error) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        error = u"无法读取会话文件 %1：%2"_s.arg(file, f.errorString());
        return false;
    }
    const QByteArray json = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        error = u"无法读取会话文件 %1：%2"_s.arg(file, f.errorString());
        return false;
    }
    if (!ParseSessionJson(json, QFileInfo(file).absolutePath(), session, error)) {
        error = file + u"："_s + error;
        return false;
    }
    return true;
}

bool DemoSession(ClientSession& session, QString& error) {
    QFile f(u":/vantrel/demo-session.json"_s);
    if (!f.open(QIODevice::ReadOnly)) {
        error = u"内置演示会话缺失"_s;
        return false;
    }
    return ParseSessionJson(f.readAll(), QDir::currentPath(), session, error);
}

bool ApplyOverrides(const ClientOptions& options, ClientSession& session, QString& error) {
    const auto take = [&](const QString& value, const QString& option, std::string& out) {
        out = QStringToGbk(value);
        if (GbkToQString(out) == value) return true;
        error = u"%1 含有 GBK 无法表示的字符"_s.arg(option);
        return false;
    };
    if (!options.database.isEmpty())
        session.database = corlith::IsServerDatabase(QStringToGbk(options.database))
                               ? options.database
                               : QFileInfo(options.database).absoluteFilePath();
    if (!options.company.isEmpty()) {
        const std::string sessionCompany = session.company;
        if (!take(options.company, u"--company"_s, session.company)) return false;
        // A header names one taxpayer: the session's particulars belong to its own taxpayer
        // only, so another one gets its number and nothing else.
        if (session.company != sessionCompany) {
            session.jbxx.clear();
            session.particularsUnknown = true;
        }
        session.jbxx = SetParamValue(session.jbxx, "code", session.company);
    }
    if (!options.period.isEmpty() && !take(options.period, u"--period"_s, session.period)) return false;
    return ValidateSession(session, error);
}

bool ValidTaxpayerId(const std::string& id) { return !id.empty() && id.size() <= 30 && IsAsciiAlnum(id); }

bool ValidPeriod(const std::string& p) {
    bool digits = p.size() == 6;
    for (char c : p) digits = digits && c >= '0' && c <= '9';
    const int month = digits ? std::stoi(p.substr(4, 2)) : 0;
    return digits && month >= 1 && month <= 12 && p.compare(0, 4, "1900") >= 0;
}

bool ValidateSession(const ClientSession& session, QString& error) {
    if (session.subAppCode.empty() || session.subAppCode.size() > 8 || !IsAsciiAlnum(session.subAppCode)) {
        error = u"子系统代码“%1”无效：应为 1 至 8 位字母或数字"_s.arg(GbkToQString(session.subAppCode));
        return false;
    }
    if (!ValidTaxpayerId(session.company)) {
        error = u"纳税人识别号“%1”无效：应为 1 至 30 位字母或数字"_s.arg(GbkToQString(session.company));
        return false;
    }
    if (!ValidPeriod(session.period)) {
        error = u"所属期“%1”无效：应为 YYYYMM，例如 202611"_s.arg(GbkToQString(session.period));
        return false;
    }
    return true;
}

bool InstallSession(ClientSession& session, THostHandle appHandle, QString& error, bool createDatabase) {
    const QString dbFile = session.databaseFile();
    const QString dbLabel = session.databaseLabel();
    const QFileInfo dbInfo(dbFile);
    if (!session.onServer() && dbInfo.exists() && !dbInfo.isFile()) {
        error = u"数据库 %1 不是文件"_s.arg(dbFile);
        return false;
    }
    // A mistyped path must not turn into an empty database and a return of zeros.
    if (!session.onServer() && !dbInfo.exists() && !createDatabase) {
        error = u"数据库文件 %1 不存在。只有 init-db 会新建数据库：请检查路径是否写错，或先运行 "
                u"vantrel-client init-db --db %1 新建。"_s.arg(dbFile);
        return false;
    }
    if (!session.onServer() && !dbInfo.exists() && !dbInfo.dir().exists()) {
        error = u"无法创建数据库 %1：目录不存在"_s.arg(dbFile);
        return false;
    }

    corlith::ResetHost();
    corlith::HostSetup setup;
    setup.appHandle = appHandle;
    setup.appPath = QStringToGbk(ClientProgramDir() + u'/');
    setup.subAppPath = QStringToGbk(session.subAppFolder());
    setup.subAppCode = session.subAppCode;
    setup.funcCode = session.effectiveFuncCode();
    corlith::Configure(setup);

    const std::string connection = session.connectionName();
    std::string hostError;
    if (!corlith::BindConnection(connection, QStringToGbk(dbFile), hostError)) {
        error = session.onServer() ? GbkToQString(hostError)
                                   : u"无法打开数据库 %1：%2"_s.arg(dbLabel, GbkToQString(hostError));
        return false;
    }
    // A file that is no database shows here, before any verb relies on it. The schema is
    // added only when a table is missing, so that a read-only database still serves reads.
    bool present = false;
    if (!corlith::SchemaPresent(connection, session.subAppCode, present, hostError)) {
        error = u"无法读取数据库 %1：%2"_s.arg(dbLabel, GbkToQString(hostError));
        corlith::CloseConnections();
        return false;
    }
    // A database of ours holds at least the invoice table; a lost table beside it is restored.
    THostQuery probe;
    if (!present && !createDatabase &&
        !ExecADOQueryMsg(connection, "select count(*) as n from sb" + session.subAppCode + "_xxfpb where 1=0", &probe,
                         hostError, 1, 0)) {
        error = u"数据库 %1 中没有本系统的数据表（尚未初始化，或不是本系统的数据库）。请检查路径，或先运行 "
                u"vantrel-client init-db --db %1。"_s.arg(dbLabel);
        corlith::CloseConnections();
        return false;
    }
    if (!present) {
        if (!corlith::CreateSchema(connection, session.subAppCode, hostError)) {
            error = u"无法在数据库 %1 中建表：%2"_s.arg(dbLabel, GbkToQString(hostError));
            corlith::CloseConnections();
            return false;
        }
    } else {
        // Adds what later versions index; writes nothing when all of it is there. A read-only
        // database refuses and is read without those indexes.
        std::string ignored;
        corlith::CreateSchema(connection, session.subAppCode, ignored);
    }

    SubAppVo* vo = GetCurSubAppVo();
    vo->Clear();
    vo->SetText("curcompany", session.company);
    vo->SetText("curKJNY", session.period);
    vo->SetText("jbxx", session.jbxx);
    vo->SetText("hdxx", session.hdxx);
    vo->SetBool("global_usesbsh", session.useSbsh);
    vo->SetObject("DeclareTypeInfo", session.catalogue);
    // Rows stored before the change log existed start each taxpayer's chain; a database that
    // takes no writes is read without it.
    std::string ignored;
    vantrel::StartChangeLogs(session.context(), ignored);

    corlith::ClearUserConfig();
    for (const UserSetting& s : session.userConfig) corlith::SetUserConfigParam(s.section, s.key, s.value);
    ServeTaxpayerFromRegister(session);
    return true;
}

bool PrepareSubAppFolder(const ClientSession& session, QString& error) {
    const QString folder = session.subAppFolder();
    if (!QDir().mkpath(folder)) {
        error = u"无法创建子系统目录 %1"_s.arg(folder);
        return false;
    }
    const QString iniPath = folder + u"fp_config.ini"_s;
    if (QFileInfo::exists(iniPath)) return true;

    const std::string ini =
        "; 其它销项发票：可选税率（%）、税额容差（分）、购方识别号允许的长度\r\n"
        "[xxqtfp]\r\n"
        "sl=|17|13|6|4|0|\r\n"
        "wc=15\r\n"
        "\r\n"
        "[Common]\r\n"
        "nsrlength=|15|18|16|17|20|19|\r\n";
    const corlith::TFileWrite written = corlith::WriteFileWhole(iniPath, ini);
    if (!written.Ok()) error = u"无法写入 %1：%2"_s.arg(iniPath, GbkToQString(corlith::FileWriteReason(written)));
    return written.Ok();
}

const std::vector<std::pair<const char*, std::string corlith::TaxpayerRecord::*>>& TaxpayerParticularKeys() {
    static const std::vector<std::pair<const char*, std::string corlith::TaxpayerRecord::*>> keys = {
        {"code", &corlith::TaxpayerRecord::code},          {"name", &corlith::TaxpayerRecord::name},
        {"industry", &corlith::TaxpayerRecord::industry},  {"regkind", &corlith::TaxpayerRecord::regkind},
        {"bank", &corlith::TaxpayerRecord::bank},          {"account", &corlith::TaxpayerRecord::account},
        {"frdb", &corlith::TaxpayerRecord::frdb},          {"regaddress", &corlith::TaxpayerRecord::regaddress},
        {"businessaddress", &corlith::TaxpayerRecord::businessaddress}, {"tel", &corlith::TaxpayerRecord::tel}};
    return keys;
}

std::string TaxpayerParticulars(const corlith::TaxpayerRecord& record) {
    std::string jbxx;
    for (const auto& [key, field] : TaxpayerParticularKeys()) jbxx = SetParamValue(jbxx, key, record.*field);
    return jbxx;
}

std::string TaxpayerApprovedKinds(const corlith::TaxpayerRecord& record, const TAryDeclareTypeInfo* catalogue) {
    std::string hdxx;
    for (const QString& code : GbkToQString(record.kinds).split(u'|', Qt::SkipEmptyParts)) {
        const std::string c = QStringToGbk(code);
        std::string name;
        if (catalogue)
            for (const TDeclareTypeInfo& kind : catalogue->Items)
                if (kind.Code == c) name = kind.Name;
        hdxx += "<SBZL><SBZLCODE>" + c + "</SBZLCODE><SBZLMC>" + name + "</SBZLMC></SBZL>";
    }
    return hdxx.empty() ? hdxx : "<HDXX>" + hdxx + "</HDXX>";
}

corlith::TaxpayerRecord TaxpayerFromSession(const ClientSession& session) {
    corlith::TaxpayerRecord r;
    for (const auto& [key, field] : TaxpayerParticularKeys()) r.*field = GetParamValue(session.jbxx, key);
    r.code = session.company;
    for (const TDeclareTypeInfo& kind : session.catalogue->Items) r.periodKind = kind.PeriodKind;
    return r;
}

void ServeTaxpayerFromRegister(ClientSession& session) {
    corlith::TaxpayerRecord record;
    bool found = false;
    std::string error;
    if (!corlith::ReadTaxpayer(session.connectionName(), session.company, record, found, error)) return;
    if (!found) {
        // Only particulars of the session's own taxpayer are worth keeping.
        if (!session.particularsUnknown && !GetParamValue(session.jbxx, "name").empty() &&
            !DBIsReadOnly(session.connectionName()))
            corlith::SaveTaxpayers(session.connectionName(), {TaxpayerFromSession(session)}, error);
        return;
    }
    session.jbxx = TaxpayerParticulars(record);
    session.particularsUnknown = false;
    const std::string hdxx = TaxpayerApprovedKinds(record, session.catalogue.get());
    if (!hdxx.empty()) session.hdxx = hdxx;
    SubAppVo* vo = GetCurSubAppVo();
    vo->SetText("jbxx", session.jbxx);
    vo->SetText("hdxx", session.hdxx);
}

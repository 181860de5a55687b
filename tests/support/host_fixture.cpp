#include "host_fixture.h"

#include "context/f_ModuleContext.h"
#include "invoice/f_ChangeLog.h"
#include "invoice/f_InvoiceSource.h"

#include <QApplication>
#include <QDate>

#include <atomic>
#include <memory>
#include <unistd.h>

namespace testhost {

vantrel::TModuleContext ContextFor(std::string taxpayer, std::string period) {
    vantrel::TModuleContext context = vantrel::ModuleContextFromHost();
    context.taxpayer = std::move(taxpayer);
    context.period = std::move(period);
    return context;
}

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "vantrel-test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);  // lives for the whole test program
}

void StartProgram(QProcess& process, const QString& program, const QStringList& args, const QString& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("VANTREL_MODULE"));
    env.remove(QStringLiteral("VANTREL_TEST_CLOCK"));
    if (const std::string clock = corlith::test::ClockSetting(); !clock.empty())
        env.insert(QStringLiteral("VANTREL_TEST_CLOCK"), QString::fromLatin1(clock.c_str()));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    process.start(program, args);
}

ClockAt::ClockAt(const std::string& dateTime) : previous_(corlith::test::ClockSetting()) {
    EXPECT_TRUE(corlith::test::SetClock(dateTime)) << dateTime;
}

ClockAt::~ClockAt() { corlith::test::SetClock(previous_); }

QDate Today() { return QDate::fromString(QString::fromLatin1(GetHostNow().substr(0, 10).c_str()), u"yyyy-MM-dd"); }

std::string FixtureHeader(const std::string& start, const std::string& end, std::string today) {
    if (today.empty()) today = Today().toString(u"yyyyMMdd").toStdString();
    return "<SB_XXQTFPMX_BTXX>"
           "<SB_XXQTFPMX_NSRSBH>91110000MA001TEST</SB_XXQTFPMX_NSRSBH>"
           "<SB_XXQTFPMX_NSRMC>测试公司</SB_XXQTFPMX_NSRMC>"
           "<SB_XXQTFPMX_SBRQ>" + today + "</SB_XXQTFPMX_SBRQ>"
           "<SB_XXQTFPMX_QSRQ>" + start + "</SB_XXQTFPMX_QSRQ>"
           "<SB_XXQTFPMX_JZRQ>" + end + "</SB_XXQTFPMX_JZRQ>"
           "<SB_XXQTFPMX_TBRQ>" + today + "</SB_XXQTFPMX_TBRQ>"
           "<SB_XXQTFPMX_SSHY>制造业</SB_XXQTFPMX_SSHY>"
           "<SB_XXQTFPMX_QYDJZCLX>有限责任公司</SB_XXQTFPMX_QYDJZCLX>"
           "<SB_XXQTFPMX_KHYH>工商银行</SB_XXQTFPMX_KHYH>"
           "<SB_XXQTFPMX_ZH>6222000011112222</SB_XXQTFPMX_ZH>"
           "<SB_XXQTFPMX_FRXM>张三</SB_XXQTFPMX_FRXM>"
           "<SB_XXQTFPMX_ZCDZ>北京市</SB_XXQTFPMX_ZCDZ>"
           "<SB_XXQTFPMX_YYDZ>北京市海淀区</SB_XXQTFPMX_YYDZ>"
           "<SB_XXQTFPMX_LXDH>010-12345678</SB_XXQTFPMX_LXDH>"
           "</SB_XXQTFPMX_BTXX>";
}

void HostFixture::SetUp() {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("vantrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir_);
    subAppDir_ = dir_ / "sub";
    std::filesystem::create_directories(subAppDir_);
    dbFile_ = dir_ / "test.db";

    corlith::ResetHost();
    ConfigureHost(dir_.string() + "/", subAppDir_.string() + "/");

    db_ = std::make_unique<TestDatabase>(dbFile_);
    dbTarget_ = db_->target();
    std::string error;
    ASSERT_TRUE(corlith::BindConnection(kConnection, dbTarget_, error)) << error;
    ASSERT_TRUE(corlith::CreateSchema(kConnection, "07", error)) << error;

    ASSERT_NE(GetCurSubAppVo(), nullptr);
    SetTaxpayer(kCompany, kPeriod,
                "code=91110000MA001TEST;name=测试公司;industry=制造业;regkind=有限责任公司;"
                "bank=工商银行;account=6222000011112222;frdb=张三;regaddress=北京市;"
                "businessaddress=北京市海淀区;tel=010-12345678");
    SetCatalogue(1);

    corlith::test::EnableRecording(true);
    corlith::test::EnableStatementLog(true);
    corlith::test::ClearMessages();
    corlith::test::ClearStatementLog();
    corlith::test::ClearFailures();
}

void HostFixture::TearDown() {
    corlith::test::ClearFailures();
    corlith::CloseConnections();
    db_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void HostFixture::SetCatalogue(int periodKind, bool kindRestricted, bool formRestricted,
                               bool declaredEditable) {
    InstallCatalogue(periodKind, kindRestricted, formRestricted, declaredEditable);
}

void HostFixture::MakeConnectionReadOnly() {
    Exec(OnServer() ? "set default_transaction_read_only = on" : "pragma query_only = 1");
}

void HostFixture::Exec(const std::string& sql) {
    THostQuery q;
    std::string error;
    ASSERT_TRUE(ExecADOQueryMsg(kConnection, sql, &q, error, 0, 0)) << sql << ": " << error;
}

std::string HostFixture::UsePreviousMonth() {
    const std::string period = Today().addMonths(-1).toString(u"yyyyMM").toStdString();
    GetCurSubAppVo()->SetText("curKJNY", period);
    return period;
}

void HostFixture::AddReturn(int sbbz, const std::string& audit, int sbpc, const std::string& nsrsbh,
                            const std::string& form, const std::string& period) {
    std::string id;
    for (char c : nsrsbh) id += c == '\'' ? std::string("''") : std::string(1, c);
    const std::string key = "('" + id + "','" + period + "'," + std::to_string(sbpc) + ",'" + kKindCode + "',";
    Exec("insert into SB07_SBB values " + key + "'" + form + "','" + audit + "')");
    Exec("insert into SB07_SBZLB values " + key + std::to_string(sbbz) + ")");
    corlith::test::ClearStatementLog();
}

std::string HostFixture::QueryText(const std::string& sql) {
    THostQuery q;
    std::string error;
    EXPECT_TRUE(ExecADOQueryMsg(kConnection, sql, &q, error, 1, 0)) << sql << ": " << error;
    if (q.RecordCount() == 0) return std::string();
    return q.StringAt(0);
}

long long HostFixture::QueryInt(const std::string& sql) {
    THostQuery q;
    std::string error;
    EXPECT_TRUE(ExecADOQueryMsg(kConnection, sql, &q, error, 1, 0)) << sql << ": " << error;
    if (q.RecordCount() == 0) return 0;
    return q.Int64At(0);
}

InvoiceRow HostFixture::PeriodInvoice(const std::string& period, int xh, double je) {
    InvoiceRow row;
    row.sbssq = period;
    row.xh = xh;
    row.je = je;
    row.se = je * 0.17;
    row.kprq = QDate::fromString(QString::fromStdString(period), QStringLiteral("yyyyMM"))
                   .addDays(9)
                   .toString(QStringLiteral("yyyy-MM-dd"))
                   .toStdString();
    return row;
}

std::string InvoiceInsertSql(const InvoiceRow& r) {
    const auto quoted = [](const std::string& text) {
        std::string out;
        for (char c : text) out += (c == '\'') ? std::string("''") : std::string(1, c);
        return out;
    };
    char num[64];
    std::string sql = "insert into sb07_xxfpb(nsrsbh,sbssq,xh,fplx,txsj,kprq,fs,je,se,sl,gfnsr,jzjt,lwfp,ms,zfbz,sbwjm) values ('" +
                      quoted(r.nsrsbh) + "','" + r.sbssq + "'," + std::to_string(r.xh) + "," + std::to_string(r.fplx) +
                      ",'2026-11-30','" + r.kprq + "'," + std::to_string(r.fs) + ",";
    std::snprintf(num, sizeof num, "%.15g,%.15g,", r.je, r.se);
    sql += num;
    sql += std::to_string(r.sl) + ",'" + quoted(r.gfnsr) + "'," + std::to_string(r.jzjt) + "," + std::to_string(r.lwfp) +
           "," + std::to_string(r.ms) + "," + std::to_string(r.zfbz) + ",'')";
    return sql;
}

void HostFixture::InsertInvoice(const InvoiceRow& r, const char* connection) {
    const std::string sql = InvoiceInsertSql(r);
    THostQuery q;
    std::string error;
    ASSERT_TRUE(ExecADOQueryMsg(connection, sql, &q, error, 0, 0)) << sql << ": " << error;
}

std::vector<InvoiceRow> RandomRegister(std::mt19937& gen, int rows, bool importable) {
    const auto pick = [&gen](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    const int rates[] = {17, 13, 6, 4, 0, 3};
    const int types[] = {1, 2, 3, 5};
    std::vector<InvoiceRow> register_;
    for (int i = 0; i < rows; ++i) {
        InvoiceRow r;
        r.xh = i + 1;
        if (!importable && pick(6) == 0) r.nsrsbh = "91110000MA002OTHER";
        if (!importable && pick(6) == 0) r.sbssq = pick(2) ? "202610" : "202612";
        r.fplx = types[pick(4)];
        r.sl = rates[pick(importable ? 5 : 6)];
        r.kprq = "2026-11-" + std::to_string(10 + pick(19));
        r.fs = importable && r.fplx != 1 && r.fplx != 2 ? 0 : 1 + pick(9);
        const long long cents = (pick(10) == 0 ? -1 : 1) * (1 + pick(importable ? 100000000 : 5000000));
        const long long tax = (cents * r.sl + (cents < 0 ? -50 : 50)) / 100 + (importable ? 0 : pick(3) - 1);
        r.je = static_cast<double>(cents) / 100.0;
        r.se = static_cast<double>(tax) / 100.0;
        r.jzjt = pick(2);
        r.lwfp = pick(2);
        r.ms = (importable && tax == 0) || pick(3) == 0 ? 1 : 0;
        r.zfbz = importable && r.fplx == 3 ? 0 : pick(5) == 0;
        r.gfnsr = pick(2) ? std::string(" ") : "9144030072612345" + std::to_string(10 + pick(90));
        register_.push_back(r);
    }
    return register_;
}

namespace {

std::vector<std::string> WithoutChangeLog(const std::vector<std::string>& log) {
    std::vector<std::string> kept;
    for (const std::string& entry : log)
        if (!vantrel::IsChangeLogStatement(entry, kSubAppCode) && !vantrel::IsInvoiceSourceStatement(entry, kSubAppCode))
            kept.push_back(entry);
    return kept;
}

}  // namespace

std::vector<std::string> RegisterStatementLog() { return WithoutChangeLog(corlith::test::StatementLog()); }
std::vector<std::string> RegisterStatementsOnly() { return WithoutChangeLog(corlith::test::StatementsOnly()); }

}  // namespace testhost

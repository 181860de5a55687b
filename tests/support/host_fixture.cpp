#include "host_fixture.h"

#include <QApplication>
#include <QDate>

#include <atomic>
#include <memory>
#include <unistd.h>

namespace testhost {

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
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    process.start(program, args);
}

std::string FixtureHeader(const std::string& start, const std::string& end, std::string today) {
    if (today.empty()) today = QDate::currentDate().toString(u"yyyyMMdd").toStdString();
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

void HostFixture::InsertInvoice(const InvoiceRow& r) {
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
    Exec(sql);
}

}  // namespace testhost

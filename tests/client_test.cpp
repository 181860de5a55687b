// The host client as a user runs it: its verbs on temporary databases, the summary document
// it has the module write, the parameter string it hands over and reads back, its session
// files and its refusals of bad input.
#include "corlith/corlith_host.h"
#include "host/corlith_api.h"
#include "invoice/f_InvoiceWarnings.h"
#include "param/f_ParamString.h"
#include "support/host_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kDemoCompany = u"91440300MA5F3KXL27"_s;
const QString kDemoName = u"深圳市恒通达电子科技有限公司"_s;
const QString kOtherCompany = u"91440300726123456D"_s;
constexpr const char* kCheckConnection = "ClientCheck";

struct ClientRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

std::ostream& operator<<(std::ostream& os, const ClientRun& run) {
    return os << "exit " << run.exitCode << "\nstdout: " << run.out.toStdString() << "\nstderr: " << run.err.toStdString();
}

// The summary's cell lines: every element named SB_XXQTFPMX_<group word>_<n>_<n>.
const QRegularExpression& CellLinePattern() {
    static const QRegularExpression re(
        uR"(^\s*<(SB_XXQTFPMX_(?:ZBJE|ZBSE|FB1FS|FB1JE|FB1SE)_\d+_\d+)>([^<]*)</\1>\r?$)"_s,
        QRegularExpression::MultilineOption);
    return re;
}

std::multimap<QString, QString> CellLines(const QString& doc) {
    std::multimap<QString, QString> cells;
    for (auto it = CellLinePattern().globalMatch(doc); it.hasNext();) {
        const auto m = it.next();
        cells.emplace(m.captured(1), m.captured(2));
    }
    return cells;
}

QString Cell(const QString& doc, const QString& name) {
    const auto cells = CellLines(doc);
    const auto it = cells.find(name);
    return it == cells.end() ? u"<missing>"_s : it->second;
}

QString Element(const QString& doc, const QString& name) {
    const QRegularExpression re(u"<%1>([^<]*)</%1>"_s.arg(name));
    const auto m = re.match(doc);
    return m.hasMatch() ? m.captured(1) : u"<missing>"_s;
}

// Each named value of a document (read as a cell or as an element) against the text expected.
using ReadValue = QString (*)(const QString& doc, const QString& name);
void ExpectValues(const QString& doc, ReadValue read, const std::vector<std::pair<QString, QString>>& expected) {
    for (const auto& [name, value] : expected) EXPECT_EQ(read(doc, name), value) << name.toStdString();
}

// The run's standard error names each of the first texts and none of the second.
void ExpectErrorText(const ClientRun& run, std::initializer_list<QString> named,
                     std::initializer_list<QString> unnamed) {
    const QString err = QString::fromUtf8(run.err);
    for (const QString& text : named) EXPECT_TRUE(err.contains(text)) << text.toStdString() << "\n" << run;
    for (const QString& text : unnamed) EXPECT_FALSE(err.contains(text)) << text.toStdString() << "\n" << run;
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        testhost::EnsureApplication();
        corlith::ResetHost();
        static int counter = 0;
        dir_ = QString::fromStdString((std::filesystem::temp_directory_path() /
                                       ("vantrel-client-test-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter++)))
                                          .string());
        QDir(dir_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(dir_));
        database_ = std::make_unique<testhost::TestDatabase>(Path(u"demo.db"_s).toStdString());
        db_ = QString::fromStdString(database_->target());
    }

    void TearDown() override {
        corlith::CloseConnections();
        database_.reset();
        QDir(dir_).removeRecursively();
    }

    QString Path(const QString& name) const { return dir_ + u'/' + name; }

    ClientRun Run(const QStringList& args, int timeoutMs = 120000) {
        return RunVia({}, args, timeoutMs);
    }

    // Runs the client through a launcher (a shell that sets a limit, setpriv): the launcher's
    // words, then the client's path, then args.
    ClientRun RunVia(QStringList launcher, const QStringList& args, int timeoutMs = 120000) {
        QProcess p;
        const QString client = QString::fromUtf8(VANTREL_CLIENT_PATH);
        if (launcher.isEmpty()) {
            testhost::StartProgram(p, client, args, dir_);
        } else {
            const QString program = launcher.takeFirst();
            testhost::StartProgram(p, program, launcher + QStringList{client} + args, dir_);
        }
        ClientRun run;
        if (!p.waitForStarted()) return run;
        run.finished = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
        run.exitCode = p.exitCode();
        run.out = p.readAllStandardOutput();
        run.err = p.readAllStandardError();
        return run;
    }

    // init-db --demo on the test's database; every summary test starts from it.
    void InitDemo() {
        const ClientRun run = Run({u"init-db"_s, u"--demo"_s, u"--db"_s, db_});
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    }

    // Runs summary --out and returns the document decoded from GBK.
    QString Summary(QStringList extra = {}) {
        const QString out = Path(u"summary.xml"_s);
        QFile::remove(out);
        QStringList args{u"summary"_s, u"--db"_s, db_, u"--out"_s, out};
        args += extra;
        const ClientRun run = Run(args);
        EXPECT_TRUE(run.finished && run.exitCode == 0) << run;
        return GbkToQString(ReadFile(out).toStdString());
    }

    long long Count(const std::string& sql) {
        std::string error;
        if (!bound_) {
            EXPECT_TRUE(corlith::BindConnection(kCheckConnection, QStringToGbk(db_), error)) << error;
            bound_ = true;
        }
        THostQuery q;
        EXPECT_TRUE(ExecADOQueryMsg(kCheckConnection, sql, &q, error, 1, 0)) << sql << ": " << error;
        return q.RecordCount() > 0 ? q.Int64At(0) : -1;
    }

    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // A session file built from the shipped demo with some entries replaced.
    QString SessionWith(const QByteArray& replaceFrom, const QByteArray& replaceTo, const QString& name = u"s.json"_s) {
        QByteArray json = ReadFile(DemoSessionFile());
        EXPECT_TRUE(json.contains(replaceFrom)) << replaceFrom.toStdString();
        json.replace(replaceFrom, replaceTo);
        const QString path = Path(name);
        WriteFile(path, json);
        return path;
    }

    static QString DemoSessionFile() {
        // Not __FILE__: a compiler cache may hand the compiler a path relative to the build.
        return QString::fromUtf8(VANTREL_SOURCE_DIR) + u"/client/demo-session.json"_s;
    }

    // How many of the tables exist in the test's database.
    long long TableCount(const std::string& quotedNames) {
        return Count(testhost::OnServer()
                         ? "select count(*) from information_schema.tables where table_schema = current_schema() "
                           "and table_name in (" + quotedNames + ")"
                         : "select count(*) from sqlite_master where type='table' and lower(name) in (" + quotedNames +
                               ")");
    }

    QString dir_;
    std::unique_ptr<testhost::TestDatabase> database_;
    QString db_;   // a SQLite file, or the server's URI on the test's own schema
    bool bound_ = false;
};

// ---- init-db ------------------------------------------------------------------------------

TEST_F(ClientTest, InitDbCreatesSchemaAndInvoiceTypes) {
    const ClientRun run = Run({u"init-db"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;

    EXPECT_EQ(TableCount("'sb07_fplxb','sb07_xxfpb','sb07_sbb','sb07_sbzlb','sb07_fptxqkb'"), 5);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), 0);
    EXPECT_EQ(Count("select count(*) from sb07_fplxb where (fplx=1 and mc='普通发票') or (fplx=2 and mc='非专用发票') "
                    "or (fplx=3 and mc='未开具发票') or (fplx=5 and mc='纳税检查调整')"),
              4);
    // The module's configuration file beside the database offers the demo's rates.
    const QByteArray ini = ReadFile(Path(u"sub07/fp_config.ini"_s));
    EXPECT_TRUE(ini.contains("[xxqtfp]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("sl=|17|13|6|4|0|")) << ini.toStdString();
}

TEST_F(ClientTest, InitDbDemoWritesSamplesOnceCoveringEveryTypeRateAndFlag) {
    InitDemo();
    const std::string period = "nsrsbh='91440300MA5F3KXL27' and sbssq='202611'";
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where " + period), 16);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91440300MA5F3KXL27' and sbssq='202610'"), 3);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91440300726123456D' and sbssq='202611'"), 2);
    EXPECT_EQ(Count("select count(distinct fplx) from sb07_xxfpb where " + period + " and fplx in (1,2,3,5)"), 4);
    EXPECT_EQ(Count("select count(distinct sl) from sb07_xxfpb where " + period + " and sl in (17,13,6,4,0)"), 5);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where " + period + " and zfbz=1"), 1);
    for (const char* flag : {"jzjt", "lwfp", "ms"})
        EXPECT_GT(Count("select count(*) from sb07_xxfpb where " + period + " and " + flag + "=1"), 0) << flag;
    EXPECT_GE(Count("select count(distinct gfnsr) from sb07_xxfpb where " + period + " and gfnsr<>' '"), 2);

    // Taxpayer and buyer codes of the demo pass their own check digit, so the demo shows no
    // warning that a bookkeeper would not see on real data.
    {
        THostQuery q;
        std::string error;
        ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection,
                                    "select nsrsbh as id from sb07_xxfpb union select gfnsr from sb07_xxfpb", &q,
                                    error, 1, 0))
            << error;
        int codes = 0;
        for (q.First(); !q.Eof(); q.Next()) {
            const std::string id = q.StringAt(0);
            EXPECT_FALSE(vantrel::HasBadCheckDigit(id)) << id;
            codes += id.size() == 18;
        }
        EXPECT_EQ(codes, 3);
    }

    // Running it again adds nothing and keeps a row the user changed meanwhile.
    ASSERT_EQ(Count("select count(*) from sb07_xxfpb where " + period + " and xh=1 and je=12000"), 1);
    corlith::CloseConnections();
    bound_ = false;
    {
        std::string error;
        ASSERT_TRUE(corlith::BindConnection(kCheckConnection, QStringToGbk(db_), error)) << error;
        THostQuery q;
        ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, "update sb07_xxfpb set je=1 where " + period + " and xh=1", &q,
                                    error, 0, 0))
            << error;
        corlith::CloseConnections();
    }
    InitDemo();
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), 21);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where " + period + " and xh=1 and je=1"), 1);
    EXPECT_EQ(Count("select count(*) from sb07_fplxb"), 4);
}

TEST_F(ClientTest, AnyVerbRestoresAMissingTableAndKeepsTheRows) {
    InitDemo();
    {
        std::string error;
        ASSERT_TRUE(corlith::BindConnection(kCheckConnection, QStringToGbk(db_), error)) << error;
        THostQuery q;
        ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, "drop table SB07_FPTXQKB", &q, error, 0, 0)) << error;
        corlith::CloseConnections();
    }
    const QString doc = Summary();
    EXPECT_EQ(Cell(doc, u"SB_XXQTFPMX_ZBJE_6_12"_s), u"30900.00"_s);
    EXPECT_EQ(TableCount("'sb07_fptxqkb'"), 1);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), 21);
}

TEST_F(ClientTest, InitDbWaitsForAnotherWriterToFinish) {
    VANTREL_SKIP_ON_SERVER("about SQLite's file lock; the server locks rows");
    InitDemo();
    Count("select count(*) from sb07_fplxb");  // binds the check connection
    std::string error;
    ASSERT_TRUE(DBBeginTrans(kCheckConnection, error)) << error;
    ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, "insert into sb07_fplxb (fplx, mc) values (9, 'x')", nullptr, error, 0, 0))
        << error;

    QProcess p;
    testhost::StartProgram(p, QString::fromUtf8(VANTREL_CLIENT_PATH), {u"init-db"_s, u"--db"_s, db_}, dir_);
    ASSERT_TRUE(p.waitForStarted());
    // The client says when it meets the lock; only then does the writer let go.
    p.setReadChannel(QProcess::StandardError);
    QString err;
    while (!err.contains(u"等待") && p.waitForReadyRead(-1)) err += QString::fromUtf8(p.readAllStandardError());
    ASSERT_TRUE(err.contains(u"等待")) << err.toStdString();
    ASSERT_TRUE(DBCommitTrans(kCheckConnection, error)) << error;
    ASSERT_TRUE(p.waitForFinished(-1));
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString() << p.readAllStandardError().toStdString();
    EXPECT_EQ(Count("select count(*) from sb07_fplxb"), 5);
}

TEST_F(ClientTest, AnExistingDatabaseGainsTheInvoiceIndexesAtStartAndAtInitDbKeepingItsRows) {
    const std::string names = "('ix_sb07_xxfpb_flags','ix_sb07_xxfpb_types')";
    const std::string indexes =
        testhost::OnServer()
            ? "select count(*) from pg_indexes where schemaname = current_schema() and indexname in " + names
            : "select count(*) from sqlite_master where type='index' and lower(name) in " + names;
    const auto dropIndexes = [this] {
        corlith::CloseConnections();
        bound_ = false;
        std::string error;
        ASSERT_TRUE(corlith::BindConnection(kCheckConnection, QStringToGbk(db_), error)) << error;
        THostQuery q;
        for (const char* name : {"ix_sb07_xxfpb_flags", "ix_sb07_xxfpb_types"})
            ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, std::string("drop index ") + name, &q, error, 0, 0)) << error;
        corlith::CloseConnections();
    };
    InitDemo();
    EXPECT_EQ(Count(indexes), 2);
    dropIndexes();
    EXPECT_EQ(Count(indexes), 0);

    // A database made before the indexes: the next start adds them.
    const QString before = Summary();
    corlith::CloseConnections();
    bound_ = false;
    EXPECT_EQ(Count(indexes), 2);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), 21);
    EXPECT_EQ(Cell(before, u"SB_XXQTFPMX_ZBJE_6_12"_s), u"30900.00"_s);

    // And so does init-db.
    dropIndexes();
    const ClientRun run = Run({u"init-db"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_EQ(Count(indexes), 2);
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), 21);
    EXPECT_EQ(Summary(), before);
}

TEST_F(ClientTest, InitDbKeepsAnExistingConfigurationFile) {
    ASSERT_TRUE(QDir().mkpath(Path(u"sub07"_s)));
    WriteFile(Path(u"sub07/fp_config.ini"_s), "[xxqtfp]\r\nsl=|13|\r\n");
    const ClientRun run = Run({u"init-db"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_EQ(ReadFile(Path(u"sub07/fp_config.ini"_s)), QByteArray("[xxqtfp]\r\nsl=|13|\r\n"));
}

// ---- summary --out ------------------------------------------------------------------------

TEST_F(ClientTest, SummaryOutWritesGbkDocumentWithEveryCellAndTheDemoHeader) {
    InitDemo();
    const QString out = Path(u"summary.xml"_s);
    const ClientRun run = Run({u"summary"_s, u"--db"_s, db_, u"--out"_s, out});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(run.err.isEmpty()) << run;

    const QByteArray raw = ReadFile(out);
    ASSERT_TRUE(raw.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?><DZSBB>\r\n")) << raw.left(80).toStdString();
    EXPECT_TRUE(raw.endsWith("</DZSBB>\r\n\r\n"));
    // The company name is in GBK, not UTF-8.
    EXPECT_TRUE(raw.contains(QByteArray::fromStdString(QStringToGbk(kDemoName))));
    EXPECT_FALSE(raw.contains(kDemoName.toUtf8()));

    const QString doc = GbkToQString(raw.toStdString());
    const auto cells = CellLines(doc);
    EXPECT_EQ(cells.size(), 61u);
    EXPECT_EQ(cells.count(u"SB_XXQTFPMX_ZBJE_9_32"_s), 2u);

    ExpectValues(doc, Element,
                 {{u"SB_XXQTFPMX_NSRSBH"_s, kDemoCompany},
                  {u"SB_XXQTFPMX_NSRMC"_s, kDemoName},
                  {u"SB_XXQTFPMX_QSRQ"_s, u"20261101"_s},
                  {u"SB_XXQTFPMX_JZRQ"_s, u"20261130"_s},
                  {u"SB_XXQTFPMX_FRXM"_s, u"陈立明"_s},
                  {u"SB_XXQTFPMX_LXDH"_s, u"0755-26881234"_s}});

    // Sums over the demo period only: the previous period and the other taxpayer stay out.
    // FB1FS_3_10 counts the voided invoice too.
    ExpectValues(doc, Cell,
                 {{u"SB_XXQTFPMX_ZBJE_6_12"_s, u"30900.00"_s},
                  {u"SB_XXQTFPMX_ZBJE_6_21"_s, u"5317.00"_s},
                  {u"SB_XXQTFPMX_FB1FS_3_10"_s, u"9"_s},
                  {u"SB_XXQTFPMX_FB1JE_4_10"_s, u"21000.00"_s},
                  {u"SB_XXQTFPMX_ZBJE_9_15"_s, u"3300.00"_s},
                  {u"SB_XXQTFPMX_FB1JE_4_23"_s, u"7500.00"_s},
                  {u"SB_XXQTFPMX_FB1SE_5_23"_s, u"450.00"_s},
                  {u"SB_XXQTFPMX_FB1FS_10_10"_s, u"3"_s},
                  {u"SB_XXQTFPMX_FB1JE_4_29"_s, u"4800.00"_s},
                  {u"SB_XXQTFPMX_FB1JE_8_30"_s, u"1200.00"_s}});
}

TEST_F(ClientTest, SummaryFollowsCompanyAndPeriodGivenOnTheCommandLine) {
    InitDemo();
    const QString other = Summary({u"--company"_s, kOtherCompany});
    EXPECT_EQ(Element(other, u"SB_XXQTFPMX_NSRSBH"_s), kOtherCompany);
    EXPECT_EQ(Cell(other, u"SB_XXQTFPMX_ZBJE_6_12"_s), u"4000.00"_s);
    EXPECT_EQ(Cell(other, u"SB_XXQTFPMX_FB1FS_3_10"_s), u"1"_s);

    const QString previous = Summary({u"--period"_s, u"202610"_s});
    ExpectValues(previous, Element, {{u"SB_XXQTFPMX_QSRQ"_s, u"20261001"_s}, {u"SB_XXQTFPMX_JZRQ"_s, u"20261031"_s}});
    ExpectValues(previous, Cell,
                 {{u"SB_XXQTFPMX_ZBJE_6_12"_s, u"5800.00"_s}, {u"SB_XXQTFPMX_FB1JE_4_13"_s, u"0.00"_s}});
}

TEST_F(ClientTest, SummaryOutPathWithSeparatorCharactersReachesTheModuleWhole) {
    InitDemo();
    const QString out = Path(u"a;b=c.xml"_s);
    const ClientRun run = Run({u"summary"_s, u"--db"_s, db_, u"--out"_s, out});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(ReadFile(out).endsWith("</DZSBB>\r\n\r\n"));
    EXPECT_FALSE(QFileInfo::exists(Path(u"a"_s)));
}

TEST_F(ClientTest, SummaryNeedsNoDisplay) {
    InitDemo();
    // With a platform that cannot start, any QApplication would end the process at once.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir_);
    p.start(QString::fromUtf8(VANTREL_CLIENT_PATH), {u"summary"_s, u"--db"_s, db_, u"--out"_s, u"relative.xml"_s});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(ReadFile(Path(u"relative.xml"_s)).endsWith("</DZSBB>\r\n\r\n"));
}

// The module's failure, whatever its cause (what the file writer refuses, a form the session
// lacks), is its message on standard error and exit 1.
TEST_F(ClientTest, SummaryOutFailureReportsTheModulesMessageAndExitsOne) {
    InitDemo();
    std::string formMissing;
    GetMsg(5050028, std::string(), 1, formMissing);
    const QString session = SessionWith("\"07037-02-18-01\"", "\"07037-02-18-99\"");
    for (const auto& [args, says] : {std::pair{QStringList{u"--out"_s, Path(u"missing/summary.xml"_s)}, u"文件夹不存在"_s},
                                     std::pair{QStringList{u"--session"_s, session, u"--out"_s, Path(u"kept.xml"_s)},
                                               GbkToQString(formMissing)}}) {
        const ClientRun run = Run(QStringList{u"summary"_s, u"--db"_s, db_} + args);
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 1) << run;
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(says)) << run;
        EXPECT_TRUE(run.out.isEmpty()) << run;
    }
}

// ---- summary --out: what is already at the path ------------------------------------------

// Files in the test's folder (and one level of sub-folders) whose names mark a temporary.
QStringList Temporaries(const QString& dir) {
    QStringList found;
    for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry.fileName().endsWith(u".tmp"_s)) found << entry.filePath();
        if (entry.isDir() && !entry.isSymLink()) found += Temporaries(entry.filePath());
    }
    return found;
}

bool IsDocument(const QByteArray& bytes) {
    return bytes.startsWith("<?xml version=\"1.0\" encoding=\"GBK\"?><DZSBB>") && bytes.endsWith("</DZSBB>\r\n\r\n");
}

// Every verb that writes a file goes through the host library's file writer (whose rules
// file_writer_test checks): each follows a link and, beyond the file-size limit, fails with the
// reason and keeps the earlier file, which a writer of its own would not both do.
TEST_F(ClientTest, EveryWriterFollowsALinkAndKeepsTheFileBeyondTheSizeLimit) {
    InitDemo();
    struct Writer {
        QString extension;
        QStringList args;  // the file's path follows
    };
    const std::vector<Writer> writers = {
        {u"xml"_s, {u"summary"_s, u"--db"_s, db_, u"--out"_s}},
        {u"csv"_s, {u"export"_s, u"--db"_s, db_}},
        {u"xlsx"_s, {u"export"_s, u"--db"_s, db_}},
        {u"pdf"_s, {u"print"_s, u"--db"_s, db_, u"--pdf"_s}},
    };
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.args.first().toStdString() + " ." + w.extension.toStdString());
        const QString folder = Path(w.extension);
        ASSERT_TRUE(QDir().mkpath(folder + u"/real"_s));
        const auto file = [&](const QString& name) { return folder + u'/' + name + u'.' + w.extension; };

        WriteFile(file(u"real/target"_s), "earlier");
        ASSERT_EQ(::symlink(("real/target." + w.extension).toLocal8Bit().constData(), file(u"link"_s).toLocal8Bit().constData()), 0);
        ClientRun run = Run(w.args + QStringList{file(u"link"_s)});
        EXPECT_EQ(run.exitCode, 0) << run;
        EXPECT_TRUE(QFileInfo(file(u"link"_s)).isSymLink());
        EXPECT_GT(ReadFile(file(u"real/target"_s)).size(), 100);

        WriteFile(file(u"limited"_s), "earlier");
        run = RunVia({u"sh"_s, u"-c"_s, u"ulimit -f 1; exec \"$@\""_s, u"sh"_s}, w.args + QStringList{file(u"limited"_s)});
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 1) << run;
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"文件超出允许的大小"_s)) << run;
        EXPECT_FALSE(run.err.contains("[ERROR]")) << run;  // no library's own lines
        EXPECT_EQ(ReadFile(file(u"limited"_s)), QByteArray("earlier"));
        EXPECT_TRUE(Temporaries(folder).isEmpty()) << Temporaries(folder).join(u' ').toStdString();
    }
}

TEST_F(ClientTest, SummaryOutTakesTheLongestFileNameTheFolderAccepts) {
    InitDemo();
    const QString name = QString(236, u'n') + u".xml"_s;
    const ClientRun run = Run({u"summary"_s, u"--db"_s, db_, u"--out"_s, Path(name)});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(IsDocument(ReadFile(Path(name))));
    EXPECT_TRUE(Temporaries(dir_).isEmpty());
}

TEST_F(ClientTest, SummaryOutWithAHundredThousandCharacterPathFailsCleanly) {
    InitDemo();
    const QString out = Path(u"d/"_s.repeated(50000) + u"x.xml"_s);
    const ClientRun run = Run({u"summary"_s, u"--db"_s, db_, u"--out"_s, out});
    ASSERT_TRUE(run.finished) << run.exitCode << "\n" << run.err.left(2000).toStdString();
    EXPECT_EQ(run.exitCode, 1) << run.err.left(2000).toStdString();
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"路径过长"_s)) << run.err.left(2000).toStdString();
    EXPECT_FALSE(run.err.contains("Sanitizer")) << run.err.left(4000).toStdString();
    EXPECT_LT(run.err.size(), 2000);

    const QString params = u"dir="_s + out;
    const ClientRun viaParams = Run({u"summary"_s, u"--db"_s, db_, u"--params"_s, params});
    ASSERT_TRUE(viaParams.finished) << viaParams.err.left(2000).toStdString();
    EXPECT_EQ(viaParams.exitCode, 1);
    EXPECT_FALSE(viaParams.err.contains("Sanitizer")) << viaParams.err.left(4000).toStdString();
    const std::string after = QStringToGbk(QString::fromUtf8(viaParams.out.chopped(1)));
    EXPECT_EQ(after.rfind(QStringToGbk(params) + ";err=", 0), 0u);
    EXPECT_LE(after.size(), QStringToGbk(params).size() + 1024);
}

// ---- summary --params ---------------------------------------------------------------------

TEST_F(ClientTest, ParamsSuccessPrintsTheParameterStringByteForByte) {
    InitDemo();
    const QString out = Path(u"p.xml"_s);
    const QString params = u"ModalFormMsg=7;dir=%1;备注=中文&eq%值;"_s.arg(out);
    const ClientRun run = Run({u"summary"_s, u"--db"_s, db_, u"--params"_s, params});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_EQ(run.out, params.toUtf8() + '\n');
    EXPECT_TRUE(ReadFile(out).endsWith("</DZSBB>\r\n\r\n"));
}

// A failure adds the err pair behind the others, its value escaped: no separator of its own.
TEST_F(ClientTest, ParamsFailureAddsTheEscapedErrPair) {
    InitDemo();
    const QString missing = u"dir=%1;ModalFormMsg=7"_s.arg(Path(u"missing/p.xml"_s));
    const QString session = SessionWith("\"07037-02-18-01\"", "\"07037-02-18-99\"");
    const QString formless = u"dir="_s + Path(u"kept.xml"_s);
    for (const auto& [params, args] : {std::pair{missing, QStringList{}}, std::pair{formless, QStringList{u"--session"_s, session}}}) {
        const ClientRun run = Run(QStringList{u"summary"_s, u"--db"_s, db_, u"--params"_s, params} + args);
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 1) << run;
        ASSERT_TRUE(run.out.endsWith('\n')) << run;
        const QString after = QString::fromUtf8(run.out.chopped(1));
        ASSERT_TRUE(after.startsWith(params + u";err="_s)) << run;
        EXPECT_GT(after.size(), params.size() + 5) << run;
        EXPECT_FALSE(after.mid(params.size() + 5).contains(u';')) << run;
        if (params == formless) {
            EXPECT_EQ(after, params + u";err=在本纳税人的申报种类中没有找到本模块对应的申报表，或该申报表尚未核定。"_s);
        }
    }
}

// ---- sessions ------------------------------------------------------------------------------

TEST_F(ClientTest, ShippedSessionFileEqualsTheBuiltInDemo) {
    InitDemo();
    const QString builtIn = Summary();
    const QString fromFile = Summary({u"--session"_s, DemoSessionFile()});
    ASSERT_FALSE(builtIn.isEmpty());
    EXPECT_EQ(builtIn, fromFile);
}

TEST_F(ClientTest, SessionValuesReachTheModule) {
    InitDemo();
    // A quarterly kind and particulars whose name holds the parameter-string separators, of a
    // taxpayer the register does not hold yet (a registered one's particulars come from there).
    QByteArray json = ReadFile(DemoSessionFile());
    json.replace("\"PeriodKind\": 1", "\"PeriodKind\": 2");
    json.replace(kDemoCompany.toUtf8(), "91440300MA5F3KXL99");
    json.replace(kDemoName.toUtf8(), u"甲=乙;丙有限公司"_s.toUtf8());
    WriteFile(Path(u"quarter.json"_s), json);

    const QString doc = Summary({u"--session"_s, Path(u"quarter.json"_s)});
    ExpectValues(doc, Element,
                 {{u"SB_XXQTFPMX_QSRQ"_s, u"20260701"_s},
                  {u"SB_XXQTFPMX_JZRQ"_s, u"20260930"_s},
                  {u"SB_XXQTFPMX_NSRMC"_s, u"甲=乙;丙有限公司"_s}});
}

TEST_F(ClientTest, SessionPathsAreTakenFromTheSessionFilesFolder) {
    VANTREL_SKIP_ON_SERVER("about a database file beside the session");
    ASSERT_TRUE(QDir().mkpath(Path(u"conf"_s)));
    SessionWith("\"subAppCode\": \"07\",", "\"subAppCode\": \"07\", \"database\": \"data/x.db\", \"subAppPath\": \"app\",",
                u"conf/s.json"_s);
    ASSERT_TRUE(QDir().mkpath(Path(u"conf/data"_s)));
    const ClientRun run = Run({u"init-db"_s, u"--demo"_s, u"--session"_s, Path(u"conf/s.json"_s)});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(QFileInfo(Path(u"conf/data/x.db"_s)).isFile());
    EXPECT_TRUE(QFileInfo(Path(u"conf/app/fp_config.ini"_s)).isFile());
    EXPECT_FALSE(QFileInfo::exists(db_));
}

TEST_F(ClientTest, BadSessionFilesAreRefusedWithTheOffendingEntry) {
    struct Case {
        QByteArray from, to;
        QString mentioned;
    };
    const Case cases[] = {
        {"\"curKJNY\": \"202611\"", "\"curKJNY\": 202611", u"curKJNY"_s},
        {"\"global_usesbsh\": false", "\"global_usesbsh\": \"no\"", u"global_usesbsh"_s},
        {"\"PeriodKind\": 1", "\"PeriodKind\": 1.5", u"DeclareTypeInfo[0].PeriodKind"_s},
        {"\"PeriodKind\": 1", "\"PeriodKind\": 1e300", u"DeclareTypeInfo[0].PeriodKind"_s},
        {"\"PeriodKind\": 1", "\"PeriodKind\": -3e9", u"DeclareTypeInfo[0].PeriodKind"_s},
        {"\"FuncCode\": \"07037-02-18-01\"", "\"FuncCod\": \"07037-02-18-01\"", u"Reports[1].FuncCod"_s},
        {"\"subAppCode\": \"07\"", "\"subAppCode\": \"07; drop\"", u"07; drop"_s},
        {"\"curcompany\": \"91440300MA5F3KXL27\"", "\"curcompany\": \"9144'--\"", u"9144'--"_s},
        {"\"jbxx\": {", "\"jbxx\": [", u"JSON"_s},
    };
    for (const Case& c : cases) {
        const QString session = SessionWith(c.from, c.to);
        const ClientRun run = Run({u"summary"_s, u"--session"_s, session, u"--db"_s, db_, u"--out"_s, Path(u"x.xml"_s)});
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 2) << c.to.toStdString() << "\n" << run;
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(c.mentioned)) << c.mentioned.toStdString() << "\n" << run;
        EXPECT_FALSE(QFileInfo::exists(Path(u"x.xml"_s)));
    }
    const ClientRun missing = Run({u"init-db"_s, u"--session"_s, Path(u"none.json"_s), u"--db"_s, db_});
    EXPECT_EQ(missing.exitCode, 2) << missing;
    EXPECT_TRUE(QString::fromUtf8(missing.err).contains(u"none.json"_s)) << missing;
    EXPECT_FALSE(QFileInfo::exists(db_));
}

// ---- refusals -----------------------------------------------------------------------------

TEST_F(ClientTest, BadArgumentsExitNonZeroWithAMessage) {
    const QString out = Path(u"x.xml"_s);
    const QList<QStringList> cases = {
        {u"frobnicate"_s},
        {u"--bogus"_s},
        {u"init-db"_s, u"--db"_s},
        {u"init-db"_s, u"--db"_s, db_, u"stray"_s},
        {u"init-db"_s, u"--db"_s, db_, u"--out"_s, out},
        {u"init-db"_s, u"--db"_s, db_, u"--db"_s, db_},
        {u"summary"_s, u"--db"_s, db_},
        {u"summary"_s, u"--db"_s, db_, u"--out"_s, out, u"--params"_s, u"dir=x"_s},
        {u"summary"_s, u"--db"_s, db_, u"--demo"_s, u"--out"_s, out},
        {u"summary"_s, u"--db"_s, db_, u"--period"_s, u"202613"_s, u"--out"_s, out},
        {u"summary"_s, u"--db"_s, db_, u"--period"_s, u"2026-11"_s, u"--out"_s, out},
        {u"summary"_s, u"--db"_s, db_, u"--period"_s, u"202600"_s, u"--out"_s, out},
        {u"summary"_s, u"--db"_s, db_, u"--company"_s, u"91' or '1'='1"_s, u"--out"_s, out},
        {u"summary"_s, u"--db"_s, db_, u"--params"_s, u"dir=😀.xml"_s},
        {u"--period"_s, u"13"_s},
        {u"manager"_s, u"--company"_s, u""_s},
    };
    for (const QStringList& args : cases) {
        const ClientRun run = Run(args);
        ASSERT_TRUE(run.finished) << args.join(u' ').toStdString() << "\n" << run;
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString() << "\n" << run;
        EXPECT_TRUE(run.err.startsWith("vantrel-client: ")) << args.join(u' ').toStdString() << "\n" << run;
    }
    EXPECT_FALSE(QFileInfo::exists(db_));
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(ClientTest, ServerThatIsDownIsReportedInChineseAndExitsTwo) {
    // A socket folder where no server listens: nothing to wait for, the refusal is immediate.
    const QString uri = u"postgresql://clerk:s3cret@/books?host=%1&port=5999"_s.arg(Path(u"nosocket"_s));
    const QString out = Path(u"summary.xml"_s);
    const ClientRun run = Run({u"summary"_s, u"--db"_s, uri, u"--out"_s, out});
    ASSERT_TRUE(run.finished) << run;
    EXPECT_EQ(run.exitCode, 2) << run;
    ExpectErrorText(run, {u"无法连接 PostgreSQL"_s, u"服务器未启动"_s}, {u"s3cret"_s});
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_FALSE(QFileInfo::exists(Path(u"sub07"_s)));
}

TEST_F(ClientTest, UnreadableDatabasesAreRefused) {
    ASSERT_TRUE(QDir().mkpath(Path(u"folder.db"_s)));
    WriteFile(Path(u"text.db"_s), QByteArray("this is no database, only text that goes on for a while\n").repeated(40));
    for (const QString& db : {Path(u"folder.db"_s), Path(u"text.db"_s), Path(u"missing/x.db"_s)}) {
        const ClientRun run = Run({u"summary"_s, u"--db"_s, db, u"--out"_s, Path(u"x.xml"_s)});
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 2) << db.toStdString() << "\n" << run;
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(db)) << run;
    }
    EXPECT_FALSE(QFileInfo::exists(Path(u"x.xml"_s)));
    EXPECT_FALSE(QFileInfo::exists(Path(u"missing"_s)));
}

TEST_F(ClientTest, OnlyInitDbCreatesADatabase) {
    WriteFile(Path(u"empty.db"_s), QByteArray());  // a database without the tables
    const QString csv = Path(u"r.csv"_s);
    WriteFile(csv, u"发票类型,开票日期,份数,金额,税率,税额\r\n普通发票,2026-11-03,1,100,17,17\r\n"_s.toUtf8());
    const QStringList verbs[] = {{u"summary"_s, u"--out"_s, Path(u"x.xml"_s)}, {u"preview"_s}, {u"import"_s, csv},
                                 {u"export"_s, Path(u"e.csv"_s)}, {u"manager"_s}};
    for (const QString& db : {Path(u"dmeo.db"_s), Path(u"empty.db"_s), QString()}) {
        for (const QStringList& verb : verbs) {
            const ClientRun run = Run(db.isEmpty() ? verb : verb + QStringList{u"--db"_s, db}, 30000);
            ASSERT_TRUE(run.finished) << run;
            EXPECT_EQ(run.exitCode, 2) << run;
            ExpectErrorText(run, {db.isEmpty() ? Path(u"vantrel.db"_s) : db, u"init-db"_s}, {});
        }
    }
    QStringList entries = QDir(dir_).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    entries.removeAll(u"demo.db"_s);  // the fixture's
    EXPECT_EQ(entries, (QStringList{u"empty.db"_s, u"r.csv"_s}));
    EXPECT_EQ(QFileInfo(Path(u"empty.db"_s)).size(), 0);
}

TEST_F(ClientTest, AnotherTaxpayerOrAnEmptyPeriodIsSaidOnStandardError) {
    InitDemo();
    struct Case {
        QStringList extra;
        QString id, name;
        bool unknown, empty;
    };
    const Case cases[] = {
        {{}, kDemoCompany, kDemoName, false, false},
        {{u"--company"_s, kDemoCompany}, kDemoCompany, kDemoName, false, false},
        {{u"--company"_s, u"NOSUCHCO"_s}, u"NOSUCHCO"_s, QString(), true, true},
        {{u"--period"_s, u"202501"_s}, kDemoCompany, kDemoName, false, true},
    };
    for (const Case& c : cases) {
        const QString out = Path(u"s.xml"_s);
        const ClientRun run = Run(QStringList{u"summary"_s, u"--db"_s, db_, u"--out"_s, out} + c.extra);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
        const QString doc = GbkToQString(ReadFile(out).toStdString());
        EXPECT_EQ(Element(doc, u"SB_XXQTFPMX_NSRSBH"_s), c.id) << run;
        for (const QString& particular : {u"SB_XXQTFPMX_NSRMC"_s, u"SB_XXQTFPMX_KHYH"_s, u"SB_XXQTFPMX_ZCDZ"_s})
            EXPECT_EQ(Element(doc, particular).isEmpty(), c.name.isEmpty()) << particular.toStdString() << "\n" << run;
        EXPECT_EQ(Element(doc, u"SB_XXQTFPMX_NSRMC"_s), c.name.isEmpty() ? QString() : c.name);
        const QString err = QString::fromUtf8(run.err);
        EXPECT_EQ(err.contains(u"基本信息"_s), c.unknown) << run;
        EXPECT_EQ(err.contains(u"没有发票"_s), c.empty) << run;
    }
}

// A random office: taxpayers registered from a file, their invoices in several periods, one
// taxpayer whose approved kinds do not hold the module's (restricted) kind.
TEST_F(ClientTest, SummaryAllWritesEachRegisteredTaxpayersOwnDocumentAndIndexesFailures) {
    testhost::ClockAt clock("2026-12-08 10:00:00");
    InitDemo();
    std::mt19937 gen(testing::UnitTest::GetInstance()->random_seed());
    const QString session = SessionWith("\"ApprovalRestricted\": false,\n      \"DeclaredEditable\"",
                                        "\"ApprovalRestricted\": true,\n      \"DeclaredEditable\"");
    QByteArray file = u"纳税人识别号,纳税人名称,开户银行,申报种类\n"_s.toUtf8();
    std::map<QString, std::map<std::string, int>> invoices;   // id -> period -> count
    QStringList ids;
    const int count = 3 + static_cast<int>(gen() % 4);
    for (int t = 0; t < count; ++t) {
        const QString id = u"TP%1X%2"_s.arg(t).arg(gen() % 100000);
        ids << id;
        file += u"%1,公司%2,\"银行\"\"%2\"\"\",%3\n"_s.arg(id).arg(t).arg(t == 0 ? u"09"_s : u"01"_s).toUtf8();
        const std::vector<testhost::InvoiceRow> rows = testhost::RandomRegister(gen, 1 + static_cast<int>(gen() % 12));
        for (testhost::InvoiceRow r : rows) {
            r.nsrsbh = id.toStdString();
            ++invoices[id][r.sbssq];
            Count("select count(*) from sb07_xxfpb where 1=0");   // binds the check connection
            THostQuery none;
            std::string error;
            ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, testhost::InvoiceInsertSql(r), &none, error, 0, 0)) << error;
        }
    }
    WriteFile(Path(u"t.csv"_s), file);
    const QStringList common{u"--session"_s, session, u"--db"_s, db_};
    ClientRun run = Run(QStringList{u"taxpayers"_s, u"--import"_s, Path(u"t.csv"_s)} + common);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    // A bad id refuses the whole file.
    WriteFile(Path(u"bad.csv"_s), u"纳税人识别号,纳税人名称\nGOOD1,甲\nBAD-ID,乙\n"_s.toUtf8());
    run = Run(QStringList{u"taxpayers"_s, u"--import"_s, Path(u"bad.csv"_s)} + common);
    EXPECT_TRUE(run.finished && run.exitCode == 1 && run.err.contains("BAD-ID")) << run;
    EXPECT_EQ(Count("select count(*) from nsrxxb where code = 'GOOD1'"), 0);

    run = Run(QStringList{u"taxpayers"_s, u"--format"_s, u"csv"_s} + common);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    for (const QString& id : ids)
        for (const auto& [period, n] : invoices[id])
            EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"%1,公司%2,%3,%4"_s.arg(id).arg(ids.indexOf(id))
                                                               .arg(QString::fromStdString(period)).arg(n)))
                << id.toStdString() << " " << period << "\n" << run;

    for (const QString& jobs : {u"1"_s, u"3"_s}) {
        const QString out = Path(u"out"_s + jobs);
        run = Run(QStringList{u"summary-all"_s, u"--period"_s, u"202611"_s, u"--out-dir"_s, out, u"--jobs"_s, jobs} +
                  common);
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 1) << run;
        const QString index = QString::fromUtf8(ReadFile(out + u"/index.csv"_s));
        for (const QString& id : ids) {
            const QString doc = out + u'/' + id + u"_202611.xml"_s;
            if (id == ids.first()) {   // kind 09 only: the restricted kind 01 is not approved
                EXPECT_FALSE(QFileInfo::exists(doc));
                EXPECT_TRUE(QRegularExpression(u"\n"_s + id + u",公司0,,,failed,.+"_s).match(index).hasMatch()) << index.toStdString();
                continue;
            }
            const QString single = Path(u"single.xml"_s);
            const ClientRun one = Run(QStringList{u"summary"_s, u"--company"_s, id, u"--out"_s, single} + common);
            ASSERT_TRUE(one.finished && one.exitCode == 0) << one;
            EXPECT_EQ(ReadFile(doc), ReadFile(single)) << id.toStdString() << " --jobs " << jobs.toStdString();
            const qsizetype t = ids.indexOf(id);
            EXPECT_TRUE(GbkToQString(ReadFile(doc).toStdString()).contains(u"银行\"%1\""_s.arg(t)));
            const QByteArray digest = QCryptographicHash::hash(ReadFile(doc), QCryptographicHash::Sha256).toHex();
            EXPECT_TRUE(index.contains(u"%1,公司%2,%1_202611.xml,%3,ok,"_s.arg(id).arg(t).arg(QString::fromLatin1(digest))))
                << index.toStdString();
        }
    }
}

TEST_F(ClientTest, AWindowWithoutADisplaySaysWhichVerbsNeedNone) {
    InitDemo();
    for (const QStringList& verb : {QStringList(), QStringList{u"manager"_s}}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s}) env.remove(name);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_);
        p.start(QString::fromUtf8(VANTREL_CLIENT_PATH), verb + QStringList{u"--db"_s, db_});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(p.exitCode(), 2) << err.toStdString();
        EXPECT_TRUE(err.contains(u"图形显示"_s) && err.contains(u"summary"_s) && err.count(u'\n') == 1)
            << err.toStdString();
    }
}

TEST_F(ClientTest, HelpPrintsTheCommandLine) {
    const ClientRun run = Run({u"--help"_s});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    const QString text = QString::fromUtf8(run.out);
    for (const QString& word : {u"init-db"_s, u"summary"_s, u"manager"_s, u"--session"_s, u"--params"_s, u"主窗口"_s})
        EXPECT_TRUE(text.contains(word)) << word.toStdString();
}

// ---- import and export -------------------------------------------------------------------

TEST_F(ClientTest, ExportedRegisterImportsIntoAnotherTaxpayersEmptyPeriod) {
    InitDemo();
    const QString xlsx = Path(u"plain.xlsx"_s);
    ClientRun run = Run({u"export"_s, u"--db"_s, db_, xlsx});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    // The demo taxpayer is the session's; every other one in the file is the demo's "other".
    const QRegularExpression company(u"\"curcompany\"\\s*:\\s*\"([0-9A-Z]+)\""_s);
    const std::string demo = company.match(QString::fromUtf8(ReadFile(DemoSessionFile()))).captured(1).toStdString();
    ASSERT_FALSE(demo.empty());
    // The whole period, 非专用发票 and 未开具发票 rows included.
    const long long plain = Count("select count(*) from sb07_xxfpb where sbssq='202611' and nsrsbh='" + demo + "'");
    ASSERT_GT(Count("select count(*) from sb07_xxfpb where sbssq='202611' and fplx=2 and nsrsbh='" + demo + "'"), 0);
    ASSERT_GT(plain, 0);
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"已导出 %1 行"_s.arg(plain))) << run;

    const QStringList other{u"--db"_s, db_, u"--company"_s, u"91110000MA001OTHER"_s};
    run = Run(QStringList{u"import"_s, xlsx, u"--dry-run"_s} + other);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91110000MA001OTHER'"), 0);

    run = Run(QStringList{u"import"_s, xlsx} + other);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"已导入 %1 行"_s.arg(plain))) << run;
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91110000MA001OTHER'"), plain);
    EXPECT_EQ(Count("select count(*) from (select fplx,kprq,fs,je,se,sl,trim(gfnsr),ms,lwfp,zfbz,jzjt from sb07_xxfpb "
                    "where nsrsbh='" + demo + "' and sbssq='202611' except "
                    "select fplx,kprq,fs,je,se,sl,trim(gfnsr),ms,lwfp,zfbz,jzjt from sb07_xxfpb "
                    "where nsrsbh='91110000MA001OTHER') as t"),
              0);

    // The same file again: every row is a duplicate, listed, and the import is refused unless
    // duplicates are allowed.
    for (const bool dryRun : {true, false}) {
        run = Run(QStringList{u"import"_s, xlsx} + (dryRun ? QStringList{u"--dry-run"_s} : QStringList()) + other);
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, 1) << run;
        EXPECT_EQ(QString::fromUtf8(run.err).count(u"与登记簿中已有的一张发票相同"_s), plain) << run;
        ExpectErrorText(run, {u"%1 行与登记簿中已有的发票相同（第 2、3、"_s.arg(plain), u"--allow-duplicates"_s}, {});
        EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91110000MA001OTHER'"), plain);
    }
    run = Run(QStringList{u"import"_s, xlsx, u"--allow-duplicates"_s} + other);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='91110000MA001OTHER'"), 2 * plain);

    // CSV goes out as UTF-8 with a byte-order mark and CRLF line ends, filtered by buyer.
    const QString csv = Path(u"buyer.csv"_s);
    run = Run({u"export"_s, u"--db"_s, db_, csv, u"--buyer"_s, u"4403"_s});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    const QByteArray bytes = ReadFile(csv);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "\xE5\x8F\x91")) << bytes.left(8).toHex().toStdString();  // BOM, "发"
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_GE(lines.size(), 3);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) EXPECT_TRUE(lines[i].endsWith('\r')) << i;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) EXPECT_TRUE(lines[i].contains("4403")) << lines[i].toStdString();
}

TEST_F(ClientTest, ImportWithFailingRowsListsThemAndStoresNothing) {
    InitDemo();
    const QString csv = Path(u"bad.csv"_s);
    WriteFile(csv, u"发票类型,开票日期,份数,金额,税率,税额\r\n"
                   "普通发票,2026-11-03,1,0,17,\r\n"
                   "普通发票,2026-11-03,1,100,17,17\r\n"
                   "普通发票,2026-13-03,1,100,17,17\r\n"_s.toUtf8());
    const long long before = Count("select count(*) from sb07_xxfpb");
    const ClientRun run = Run({u"import"_s, u"--db"_s, db_, csv});
    ASSERT_TRUE(run.finished) << run;
    EXPECT_EQ(run.exitCode, 1) << run;
    ExpectErrorText(run, {u"第 2 行 金额："_s, u"第 4 行 开票日期：无法识别的日期：2026-13-03"_s}, {u"第 3 行"_s});
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), before);
}

// The verbs' failures: each exits with its code and says why, and the register stays as it was.
TEST_F(ClientTest, VerbFailuresExitWithTheirCodeSayWhyAndStoreNothing) {
    InitDemo();
    const QString good = Path(u"good.csv"_s);
    WriteFile(good, u"发票类型,开票日期,份数,金额,税率,税额\r\n普通发票,2026-11-10,1,100,17,17\r\n"_s.toUtf8());
    WriteFile(Path(u"latin.csv"_s), QByteArray("a,b\r\n\xFF\xFE,1\r\n"));
    ASSERT_TRUE(QDir().mkpath(Path(u"locked"_s)));
    ::chmod(Path(u"locked"_s).toLocal8Bit().constData(), 0555);
    // Root passes any permission; without the override capabilities it sees them as a user does.
    const QStringList asUser{u"setpriv"_s, u"--inh-caps=-all"_s, u"--bounding-set=-dac_override,-dac_read_search,-fowner"_s};
    const long long rows = Count("select count(*) from sb07_xxfpb");
    const auto db = [this](const std::vector<std::string>& statements) {
        for (const std::string& sql : statements) {
            THostQuery q;
            std::string error;
            EXPECT_TRUE(ExecADOQueryMsg(kCheckConnection, sql, &q, error, 0, 0)) << sql << ": " << error;
        }
    };
    const auto expectFailure = [&](const QStringList& args, int exitCode, const QString& says, bool viaUser = false) {
        const ClientRun run = RunVia(viaUser ? asUser : QStringList{}, args);
        ASSERT_TRUE(run.finished) << run;
        EXPECT_EQ(run.exitCode, exitCode) << args.join(u' ').toStdString() << "\n" << run;
        ExpectErrorText(run, {says}, {});
        EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), rows) << args.join(u' ').toStdString();
    };
    const QStringList onDb{u"--db"_s, db_};

    expectFailure(QStringList{u"import"_s, Path(u"none.csv"_s)} + onDb, 2, u"none.csv"_s);
    expectFailure(QStringList{u"import"_s, Path(u"latin.csv"_s)} + onDb, 2, u"编码"_s);
    expectFailure(QStringList{u"import"_s} + onDb, 2, u"vantrel-client: "_s);
    expectFailure(QStringList{u"export"_s, Path(u"x.csv"_s), u"--type"_s, u"普通"_s} + onDb, 2, u"vantrel-client: "_s);
    expectFailure(QStringList{u"export"_s, Path(u"x.csv"_s), u"--buyer"_s, u"😀"_s} + onDb, 2, u"--buyer"_s);
    expectFailure(QStringList{u"export"_s, Path(u"x.txt"_s)} + onDb, 1, u"导出失败"_s);
    expectFailure(QStringList{u"export"_s, Path(u"missing/x.csv"_s)} + onDb, 1, u"导出失败"_s);
    if (!testhost::OnServer())  // the server's socket folder is closed to a plain user too
        expectFailure(QStringList{u"export"_s, Path(u"locked/x.csv"_s)} + onDb, 1, u"导出失败"_s, true);
    ::chmod(Path(u"locked"_s).toLocal8Bit().constData(), 0755);

    // A declared period takes no import.
    db({"insert into SB07_SBB values ('91440300MA5F3KXL27','202611',1,'01','004','0')",
        "insert into SB07_SBZLB values ('91440300MA5F3KXL27','202611',1,'01',3)"});
    expectFailure(QStringList{u"import"_s, good} + onDb, 1, u"申报成功"_s);
    db({"delete from SB07_SBB", "delete from SB07_SBZLB"});

    // The database refuses every new row: the import and the demo of another taxpayer fail.
    if (testhost::OnServer())
        db({"create function refuse() returns trigger language plpgsql as $$ begin raise exception 'disk full'; end $$",
            "create trigger refuse before insert on sb07_xxfpb for each row execute function refuse()"});
    else
        db({"create trigger refuse before insert on sb07_xxfpb begin select raise(abort, 'disk full'); end"});
    expectFailure(QStringList{u"import"_s, good} + onDb, 1, u"disk full"_s);
    expectFailure(QStringList{u"init-db"_s, u"--demo"_s, u"--company"_s, u"91110000MA001OTHER"_s} + onDb, 2,
                  u"无法写入演示发票"_s);
    db({testhost::OnServer() ? "drop trigger refuse on sb07_xxfpb" : "drop trigger refuse"});

    // The period's invoices cannot be read, or their sums computed.
    db({"alter table sb07_fplxb rename column fplx to fplx_gone"});
    expectFailure(QStringList{u"import"_s, good} + onDb, 2, u"无法读取本期发票"_s);
    expectFailure(QStringList{u"export"_s, Path(u"x.csv"_s)} + onDb, 2, u"无法读取本期发票"_s);
    expectFailure(QStringList{u"drill"_s, u"ZBJE_6_12"_s} + onDb, 1, u"无法读取发票"_s);
    db({"alter table sb07_fplxb rename column fplx_gone to fplx", "alter table sb07_xxfpb rename column je to je_gone"});
    expectFailure(QStringList{u"preview"_s} + onDb, 1, u"无法计算申报预览"_s);
    db({"alter table sb07_xxfpb rename column je_gone to je"});

    // An existing file is replaced whole.
    WriteFile(Path(u"x.csv"_s), QByteArray("an earlier and much longer file\n").repeated(400));
    const ClientRun run = Run(QStringList{u"export"_s, Path(u"x.csv"_s)} + onDb);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    const QByteArray bytes = ReadFile(Path(u"x.csv"_s));
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF") && !bytes.contains("earlier")) << bytes.left(64).toStdString();
}

TEST_F(ClientTest, ImportBeyondTheFileSizeLimitFailsWithTheReasonAndStoresNothing) {
    InitDemo();
    if (!QFileInfo(db_).isFile()) GTEST_SKIP() << "the server's files are the server's";
    QByteArray csv = u"发票类型,开票日期,份数,金额,税率\r\n"_s.toUtf8();
    for (int i = 0; i < 5000; ++i) csv += "1,2026-11-05,1," + QByteArray::number(1000 + i) + ",17\r\n";
    WriteFile(Path(u"many.csv"_s), csv);
    const long long before = Count("select count(*) from sb07_xxfpb");
    // The database may grow by a few pages, not by 5000 rows (sh counts 512-byte blocks).
    const QString blocks = QString::number(QFileInfo(db_).size() / 512 + 16);
    const ClientRun run = RunVia({u"sh"_s, u"-c"_s, u"ulimit -f "_s + blocks + u"; exec \"$@\""_s, u"sh"_s},
                                 {u"import"_s, u"--db"_s, db_, Path(u"many.csv"_s)});
    ASSERT_TRUE(run.finished) << run;
    EXPECT_EQ(run.exitCode, 1) << run;
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"文件超出允许的大小"_s)) << run;
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb"), before);
}

// ---- the window ---------------------------------------------------------------------------

TEST_F(ClientTest, ManagerVerbSetsUpTheSessionAndKeepsRunningUntilClosed) {
    InitDemo();
    ASSERT_TRUE(QDir(Path(u"sub07"_s)).removeRecursively());
    // The window's settings land in the test's folder, where its close shows.
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", Path(u"config"_s).toUtf8());
    QProcess p;
    testhost::StartProgram(p, QString::fromUtf8(VANTREL_CLIENT_PATH), {u"manager"_s, u"--db"_s, db_}, dir_);
    qputenv("XDG_CONFIG_HOME", config);
    ASSERT_TRUE(p.waitForStarted());
    // The module's folder is made once the window exists; then a terminate request closes it.
    while (!QFileInfo(Path(u"sub07/fp_config.ini"_s)).isFile() && !p.waitForFinished(20)) {
    }
    ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(-1));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(ReadFile(Path(u"config/Vantrel/vantrel-client.conf"_s)).contains("geometry"));
    // The window set up its session: the module's folder.
    EXPECT_TRUE(QFileInfo(Path(u"sub07/fp_config.ini"_s)).isFile());
}

}  // namespace

// ---- the change log -------------------------------------------------------------------------

TEST_F(ClientTest, TheChangeLogStartsOnAnOlderDatabaseRecordsAnImportAndNamesWhatBreaksIt) {
    InitDemo();
    const std::string demo = kDemoCompany.toStdString();
    const long long demoRows = Count("select count(*) from sb07_xxfpb where nsrsbh='" + demo + "'");
    // A database from before the log: the next start adds it, the rows as one 初始 batch.
    std::string error;
    THostQuery q;
    for (const char* table : {"sb07_bgjl", "sb07_bgjlmw", "sb07_fply"})
        ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, std::string("drop table ") + table, &q, error, 0, 0)) << error;
    corlith::CloseConnections();
    bound_ = false;
    ClientRun run = Run({u"verify-log"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"%1 条记录"_s.arg(demoRows))) << run;
    EXPECT_EQ(Count("select count(*) from sb07_xxfpb where nsrsbh='" + demo + "'"), demoRows);
    EXPECT_EQ(Count("select count(*) from sb07_fply"), 0);
    EXPECT_EQ(Count("select count(*) from sb07_bgjl where lb='" + QStringToGbk(u"初始"_s) + "' and nsrsbh='" + demo + "'"),
              demoRows);

    const QString csv = Path(u"two.csv"_s);
    const QByteArray bytes = u"发票类型,开票日期,份数,金额,税率\r\n1,2026-11-03,1,100,17\r\n1,2026-11-04,1,200,17\r\n"_s.toUtf8();
    WriteFile(csv, bytes);
    run = Run({u"import"_s, csv, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    run = Run({u"history"_s, u"--db"_s, db_, u"--format"_s, u"csv"_s});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    const QStringList lines = QString::fromUtf8(run.out).split(u"\n"_s, Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(u"时间,类别,序号,操作人,批次,改前nsrsbh,"_s)) << lines[0].toStdString();
    EXPECT_EQ(lines[0].count(u','), 4 + 2 * 16);
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    for (const QString& line : lines.mid(lines.size() - 2)) {
        EXPECT_TRUE(line.contains(u",导入,"_s) && line.contains(u"two.csv SHA-256 "_s + sha)) << line.toStdString();
        EXPECT_EQ(line.count(u','), 4 + 2 * 16) << line.toStdString();
    }
    run = Run({u"restore"_s, u"--batch"_s, u"99999"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 1) << run;
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(u"没有第 99999 批"_s)) << run;

    // The demo of another period goes through the chain the taxpayer has.
    run = Run({u"init-db"_s, u"--demo"_s, u"--period"_s, u"202612"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    run = Run({u"verify-log"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;

    // A row changed outside the product is named, and so is an entry edited.
    const auto tamper = [&](const std::string& sql) {
        THostQuery t;
        ASSERT_TRUE(ExecADOQueryMsg(kCheckConnection, sql, &t, error, 0, 0)) << error;
    };
    Count("select 1");
    tamper("update sb07_xxfpb set je=je+1 where nsrsbh='" + demo + "' and sbssq='202611' and xh=1");
    run = Run({u"verify-log"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 1) << run;
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"所属期 202611 第 1 号发票"_s)) << run;
    tamper("update sb07_xxfpb set je=je-1 where nsrsbh='" + demo + "' and sbssq='202611' and xh=1");
    tamper("update sb07_bgjl set czy='x' where nsrsbh='" + demo + "' and jlxh=2");
    run = Run({u"verify-log"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 1) << run;
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(u"第 2 条记录"_s)) << run;
}

TEST_F(ClientTest, DiffDeclaredNamesTheCellsChangedSinceTheLastDocumentWithTheBatchesBehindThem) {
    InitDemo();
    ClientRun run = Run({u"diff-declared"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 2) << run;  // no document written yet
    const QString out = Path(u"declared.xml"_s);
    ASSERT_EQ(Run({u"summary"_s, u"--db"_s, db_, u"--out"_s, out}).exitCode, 0);
    const QByteArray document = ReadFile(out);
    run = Run({u"diff-declared"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run;
    EXPECT_TRUE(QString::fromUtf8(run.out).contains(
        QString::fromLatin1(QCryptographicHash::hash(document, QCryptographicHash::Sha256).toHex())))
        << run;

    const QString csv = Path(u"more.csv"_s);
    WriteFile(csv, u"发票类型,开票日期,份数,金额,税率\r\n1,2026-11-03,1,100,17\r\n"_s.toUtf8());
    ASSERT_EQ(Run({u"import"_s, csv, u"--db"_s, db_}).exitCode, 0);
    run = Run({u"history"_s, u"--db"_s, db_});
    const QString batch = QString::fromUtf8(run.out).trimmed().split(u'\n').last().split(u'\t')[4].split(u' ')[0];
    const ClientRun preview = Run({u"preview"_s, u"--db"_s, db_});
    run = Run({u"diff-declared"_s, u"--db"_s, db_});
    ASSERT_TRUE(run.finished && run.exitCode == 1) << run;
    // Each changed cell: its value in the document, its value now (the preview's) and the batch.
    const QString written = GbkToQString(document.toStdString());
    int changed = 0;
    for (const QString& line : QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts).mid(2)) {
        const QStringList f = line.split(u'\t');
        ASSERT_EQ(f.size(), 5) << line.toStdString();
        EXPECT_TRUE(written.contains(u"<%1>%2</%1>"_s.arg(f[0], f[2]))) << line.toStdString();
        EXPECT_TRUE(QString::fromUtf8(preview.out).contains(u"%1\t%2\t%3\n"_s.arg(f[0], f[1], f[3])))
            << line.toStdString();
        EXPECT_NE(f[2], f[3]);
        EXPECT_EQ(f[4], batch) << line.toStdString();
        ++changed;
    }
    int differing = 0;
    for (const QString& line : QString::fromUtf8(preview.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        differing += f.size() == 3 && !written.contains(u"<%1>%2</%1>"_s.arg(f[0], f[2]));
    }
    EXPECT_EQ(changed, differing);
    EXPECT_GE(changed, 2);  // at least the amount and the tax at 17 %
}

TEST_F(ClientTest, AProcessKilledDuringASaveOrAnImportLeavesTheRegisterAndTheLogAgreeing) {
    InitDemo();
    const auto verify = [this] {
        corlith::CloseConnections();
        bound_ = false;
        const ClientRun run = Run({u"verify-log"_s, u"--db"_s, db_});
        EXPECT_TRUE(run.finished && run.exitCode == 0) << run;
    };
    // A seat saving one invoice after another, killed after its fifth save.
    QProcess seat;
    seat.start(QString::fromUtf8(VANTREL_SEAT_WRITER_PATH), {db_, kDemoCompany, u"202611"_s, u"100000"_s, u"1"_s});
    ASSERT_TRUE(seat.waitForStarted());
    QByteArray saved;
    while (saved.count('\n') < 5 && seat.waitForReadyRead(60000)) saved += seat.readAllStandardOutput();
    // While it saves, verify-log finds the chain whole: an entry that lands during the walk is
    // not taken for a missing one.
    for (int i = 0; i < 10; ++i) {
        const ClientRun run = Run({u"verify-log"_s, u"--db"_s, db_});
        EXPECT_TRUE(run.finished && run.exitCode == 0) << run;
    }
    seat.kill();
    ASSERT_TRUE(seat.waitForFinished());
    ASSERT_GE(saved.count('\n'), 5);
    verify();

    // An import of many rows, killed while it runs.
    QByteArray csv = u"发票类型,开票日期,份数,金额,税率\r\n"_s.toUtf8();
    for (int row = 0; row < 20000; ++row) csv += "1,2026-11-05,1," + QByteArray::number(1000 + row) + ",17\r\n";
    WriteFile(Path(u"many.csv"_s), csv);
    const long long before = Count("select count(*) from sb07_xxfpb");
    QProcess import;
    testhost::StartProgram(import, QString::fromUtf8(VANTREL_CLIENT_PATH),
                           {u"import"_s, Path(u"many.csv"_s), u"--db"_s, db_, u"--allow-duplicates"_s}, dir_);
    ASSERT_TRUE(import.waitForStarted());
    import.waitForFinished(2500);
    import.kill();
    import.waitForFinished();
    const long long after = Count("select count(*) from sb07_xxfpb");
    EXPECT_TRUE(after == before || after == before + 20000) << before << " -> " << after;
    verify();
}

// Files made to crash, hang or exhaust the import: each is refused with its reason, quickly
// and in bounded memory. The program runs under a memory limit of 1 GB (AddressSanitizer's
// RSS limit, set by tests/CMakeLists.txt, or the data segment's limit without it) and each
// case under a time limit of CTest.
#include "exchange/f_CsvFile.h"
#include "exchange/f_RegisterExchange.h"
#include "exchange/f_XlsxFile.h"
#include "host/corlith_api.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <string>

namespace {

constexpr rlim_t kMemoryLimit = rlim_t{1} << 30;

class MemoryLimit : public ::testing::Environment {
public:
    void SetUp() override {
#if !defined(__SANITIZE_ADDRESS__)
        const rlimit limit{kMemoryLimit, kMemoryLimit};
        ASSERT_EQ(setrlimit(RLIMIT_DATA, &limit), 0);
#endif
    }
};
const auto* const kLimit = ::testing::AddGlobalTestEnvironment(new MemoryLimit);

QString DataFile(const char* name) { return QStringLiteral(VANTREL_TEST_DATA "/hostile/") + QString::fromUtf8(name); }

std::string Utf8(const std::string& gbk) { return GbkToQString(gbk).toStdString(); }

bool Write(const QString& path, const std::string& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                                                static_cast<qint64>(bytes.size());
}

}  // namespace

TEST(HostileFiles, EveryKeptWorkbookIsRefusedWithItsReason) {
    const struct {
        const char* file;
        const char* reason;   // GBK; none: the file is read, without taking what its headers claim
    } cases[] = {
        {"deep_inline.xlsx", "嵌套过深"},
        {"deep_shared.xlsx", "嵌套过深"},
        {"column_zzzzzz.xlsx", "最后一列（XFD）：ZZZZZZ2"},
        {"column_zzzzzzzz.xlsx", "最后一列（XFD）：ZZZZZZZZ2"},
        {"column_aaaaa.xlsx", "最后一列（XFD）：AAAAA2"},
        {"relationship_loop.xlsx", "指向工作簿之外"},
        {"relationship_outside.xlsx", "指向工作簿之外"},
        {"shared_strings_bomb.xlsx", "压缩比超过 100 倍"},
        {"entity_expansion.xlsx", "DTD"},
        {"row_numbers_backwards.xlsx", "不是递增的：2"},
        {"shared_index_missing.xlsx", "不存在的共享字符串：99999999999"},
        {"claims_4gib.xlsx", nullptr},
    };
    for (const auto& c : cases) {
        vantrel::TExchangeTable table;
        std::string error;
        EXPECT_EQ(vantrel::ReadRegisterFile(DataFile(c.file), table, error), c.reason == nullptr) << c.file << ": " << Utf8(error);
        if (c.reason) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << Utf8(error);
        }
    }
}

TEST(HostileFiles, OnlyRegularFilesAreRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.csv"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.xlsx"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.xlsx")));
    for (const char* name : {"pipe.csv", "zero.csv", "zero.xlsx", "folder.xlsx"}) {
        vantrel::TExchangeTable table;
        std::string error;
        EXPECT_FALSE(vantrel::ReadRegisterFile(dir.filePath(QString::fromUtf8(name)), table, error)) << name;
        EXPECT_NE(error.find("不是普通文件"), std::string::npos) << name << ": " << Utf8(error);
    }
}

TEST(HostileFiles, ACsvRecordBeyondAMegabyteIsRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    // An unclosed quote and a line without end alike would hold the whole file as one field.
    for (const std::string& body : {"a,b\r\n\"" + std::string(3 << 20, 'x'), "a,b\r\n" + std::string(3 << 20, '\0')}) {
        ASSERT_TRUE(Write(path, body));
        vantrel::TExchangeTable table;
        std::string error;
        EXPECT_FALSE(vantrel::ReadCsvFile(path, table, error));
        EXPECT_NE(error.find("第 2 行超过 1 MB"), std::string::npos) << Utf8(error);
    }
}

TEST(HostileFiles, WideRowsKeepOnlyTheHeadersColumnsAndAFewMore) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.csv"));
    // 200 rows of 50,000 fields.
    std::string wide = "a,b\r\n";
    const std::string row = "1,2" + std::string(49998, ',') + "x\r\n";
    for (int i = 0; i < 200; ++i) wide += row;
    ASSERT_TRUE(Write(path, wide));
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ReadCsvFile(path, table, error)) << Utf8(error);
    ASSERT_EQ(table.rows.size(), 200u);
    EXPECT_EQ(table.rows[0].cells.size(), 2u);
    EXPECT_EQ(table.rows[0].extra, std::vector<int>{49999});
}

// A header of 200,000 unknown names and 100,000 warnings of one kind make a few lines.
TEST(HostileFiles, FloodsOfOneKindArePrintedAsAHundredAndACount) {
    vantrel::TExchangeTable table;
    for (int i = 0; i < 200000; ++i) table.header.push_back("x" + std::to_string(i));
    table.header.push_back("金额");
    vantrel::TImportTarget target;
    target.kjny = "202611";
    const vantrel::TImportPlan plan = vantrel::PlanImport(std::move(table), target);
    ASSERT_EQ(plan.issues.size(), 2u);   // the unknown columns, the missing ones
    EXPECT_LT(plan.issues[0].text.size(), 200u);
    EXPECT_NE(plan.issues[0].text.find("x0、x1、x2、x3、x4 等 200000 列"), std::string::npos) << Utf8(plan.issues[0].text);

    std::vector<vantrel::TImportIssue> issues;
    for (int line = 2; line < 100002; ++line) {
        issues.push_back({line, "", "与文件第 " + std::to_string(line - 1) + " 行相同（类型、日期、金额、税额、购方税号）", true});
        if (line % 1000 == 0) issues.push_back({line, "金额", "无法识别的金额：x" + std::to_string(line), false});
    }
    const std::vector<std::string> lines = vantrel::IssueLines(issues);
    ASSERT_EQ(lines.size(), 100u + 100u + 1u);
    EXPECT_EQ(lines.back(), "……另有 99900 条同类提示未列出");
}

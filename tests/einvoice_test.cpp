// E-invoice files into the register: random invoices written by a generator of our own as the
// platform's XML and as OFD documents, read, checked and stored through the real store.
#include "exchange/f_EInvoiceFile.h"
#include "exchange/f_EInvoiceImport.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_GlobalUnit.h"
#include "invoice/f_InvoiceSource.h"

#include "support/host_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <zip.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <set>
#include <tuple>

using namespace testhost;

namespace {

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

std::string Fen(long long fen) {
    const long long m = fen < 0 ? -fen : fen;
    return (fen < 0 ? "-" : "") + std::to_string(m / 100) + "." + (m % 100 < 10 ? "0" : "") + std::to_string(m % 100);
}

struct GenItem {
    int rate = 13;
    bool exempt = false;
    long long amount = 0, tax = 0;  // fen, negative on a red-letter invoice
};

struct GenInvoice {
    std::string number, date, seller, buyer;
    bool red = false, special = false;
    unsigned style = 0;  // bits: GBK declaration, date-time, rate as "13%", red figures written positive
    std::vector<GenItem> items;
};

// The platform's layout, from its public element names.
std::string Xml(const GenInvoice& g) {
    const bool gbk = g.style & 1;
    const auto text = [gbk](const char* narrow, std::u8string_view wide) { return gbk ? std::string(narrow) : U8(wide); };
    const bool positive = g.red && (g.style & 8);
    const auto figure = [positive](long long fen) { return Fen(positive ? -fen : fen); };
    long long amount = 0, tax = 0;
    std::string items;
    for (const GenItem& i : g.items) {
        amount += i.amount;
        tax += i.tax;
        const std::string rate = i.exempt ? text("免税", u8"免税")
                                 : (g.style & 4) ? std::to_string(i.rate) + "%"
                                                 : Fen(i.rate);  // 13 -> "0.13"
        items += "<IssuItemInformation><ItemName>" + text("服务", u8"服务") + "</ItemName><Amount>" + figure(i.amount) +
                 "</Amount><TaxRate>" + rate + "</TaxRate><ComTaxAm>" + figure(i.tax) + "</ComTaxAm></IssuItemInformation>";
    }
    return "<?xml version=\"1.0\" encoding=\"" + std::string(gbk ? "GBK" : "UTF-8") + "\"?>\n<EInvoice><Header><InherentLabel>"
           "<EInvoiceType><LabelCode>" + (g.special ? "01" : "02") + "</LabelCode><LabelName>" +
           (g.special ? text("增值税专用发票", u8"增值税专用发票") : text("普通发票", u8"普通发票")) +
           "</LabelName></EInvoiceType><InIssuType><LabelName>" +
           (g.red ? text("红字发票", u8"红字发票") : text("蓝字发票", u8"蓝字发票")) +
           "</LabelName></InIssuType></InherentLabel></Header><EInvoiceData><SellerInformation><SellerIdNum>" + g.seller +
           "</SellerIdNum></SellerInformation><BuyerInformation><BuyerIdNum>" + g.buyer +
           "</BuyerIdNum></BuyerInformation><BasicInformation><TotalAmWithoutTax>" + figure(amount) +
           "</TotalAmWithoutTax><TotalTaxAm>" + figure(tax) + "</TotalTaxAm></BasicInformation>" + items +
           "</EInvoiceData><TaxSupervisionInfo><InvoiceNumber>" + g.number + "</InvoiceNumber><IssueTime>" + g.date +
           ((g.style & 2) ? " 09:30:15" : "") + "</IssueTime></TaxSupervisionInfo></EInvoice>";
}

// An OFD package: the invoice's XML as an attachment, or only custom tags pointing at the
// text objects of its page.
void WriteOfd(const std::string& path, const GenInvoice& g, bool embedded) {
    std::map<std::string, std::string> entries;
    entries["OFD.xml"] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ofd:OFD xmlns:ofd=\"http://www.ofdspec.org/2016\" "
                         "DocType=\"OFD\" Version=\"1.1\"><ofd:DocBody><ofd:DocInfo><ofd:DocID>d</ofd:DocID></ofd:DocInfo>"
                         "<ofd:DocRoot>Doc_0/Document.xml</ofd:DocRoot></ofd:DocBody></ofd:OFD>";
    entries["Doc_0/Document.xml"] = "<ofd:Document xmlns:ofd=\"http://www.ofdspec.org/2016\"><ofd:Pages><ofd:Page ID=\"1\" "
                                    "BaseLoc=\"Pages/Page_0/Content.xml\"/></ofd:Pages>" +
                                    std::string(embedded ? "" : "<ofd:CustomTags>Tags/CustomTags.xml</ofd:CustomTags>") +
                                    "</ofd:Document>";
    std::string objects, tags;
    int id = 10;
    const auto tag = [&](const std::string& field, const std::string& value) {
        objects += "<ofd:TextObject ID=\"" + std::to_string(id) + "\" Boundary=\"0 0 50 5\" Font=\"1\" Size=\"3\">"
                   "<ofd:TextCode X=\"0\" Y=\"3\">" + value + "</ofd:TextCode></ofd:TextObject>";
        tags += "<fp:" + field + "><ofd:ObjectRef PageRef=\"1\">" + std::to_string(id++) + "</ofd:ObjectRef></fp:" + field + ">";
    };
    long long amount = 0, tax = 0;
    for (const GenItem& i : g.items) amount += i.amount, tax += i.tax;
    tag("InvoiceNo", g.number);
    tag("IssueDate", g.date);
    tag("SellerTaxID", g.seller);
    tag("BuyerTaxID", g.buyer);
    tag("TaxExclusiveTotalAmount", Fen(amount));
    tag("TaxTotalAmount", Fen(tax));
    if (g.special) tag("InvoiceKind", U8(u8"增值税专用发票"));
    for (const GenItem& i : g.items) {
        tag("Amount", Fen(i.amount));
        tag("TaxRate", i.exempt ? U8(u8"免税") : std::to_string(i.rate) + "%");
        tag("TaxAmount", Fen(i.tax));
    }
    entries["Doc_0/Pages/Page_0/Content.xml"] = "<ofd:Page xmlns:ofd=\"http://www.ofdspec.org/2016\"><ofd:Content>"
                                                "<ofd:Layer ID=\"2\">" + objects + "</ofd:Layer></ofd:Content></ofd:Page>";
    if (embedded) {
        entries["Doc_0/Attachs/invoice.xml"] = Xml(g);
    } else {
        entries["Doc_0/Tags/CustomTags.xml"] = "<ofd:CustomTags xmlns:ofd=\"http://www.ofdspec.org/2016\"><ofd:CustomTag "
                                               "TypeID=\"invoice\"><ofd:FileLoc>CustomTag.xml</ofd:FileLoc></ofd:CustomTag>"
                                               "</ofd:CustomTags>";
        entries["Doc_0/Tags/CustomTag.xml"] = "<fp:eInvoice xmlns:fp=\"urn:example:einvoice\" xmlns:ofd=\"http://www.ofdspec.org/2016\">" +
                                              tags + "</fp:eInvoice>";
    }
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

void WriteText(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EInvoiceTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        std::ofstream(subAppDir_ / "fp_config.ini") << "[xxqtfp]\nsl=|17|13|6|4|0|\nwc=15\n";
        LoadInvoiceConfig(testhost::ContextFor(), "xxqtfp");
    }

    vantrel::TImportPlan Plan(const std::vector<std::string>& paths) {
        vantrel::TImportTarget target;
        vantrel::TImportPlan plan;
        std::string error;
        EXPECT_TRUE(vantrel::LoadImportTarget(ContextFor(), target, error)) << error;
        std::vector<QString> qpaths;
        for (const std::string& p : paths) qpaths.push_back(QString::fromStdString((dir_ / p).string()));
        EXPECT_TRUE(vantrel::PlanEInvoiceImport(qpaths, ContextFor(), target, true, plan, error)) << error;
        FreeInvoiceList(target.existing);
        return plan;
    }

    // Rows, invoices, amounts and taxes of the period by rate and exemption.
    using Summary = std::map<std::pair<int, int>, std::tuple<long long, long long, long long, long long>>;
    Summary Stored() {
        Summary summary;
        THostQuery q;
        std::string error;
        EXPECT_TRUE(ExecADOQueryMsg(kConnection, "select sl, ms, count(*) as n, sum(fs) as fs, sum(je) as je, sum(se) as se "
                                                 "from sb07_xxfpb group by sl, ms", &q, error, 1, 0)) << error;
        for (q.First(); !q.Eof(); q.Next())
            summary[{q.FieldAsInteger("sl"), q.FieldAsInteger("ms")}] = {
                q.FieldAsInt64("n"), q.FieldAsInt64("fs"), q.FieldAsCurrency("je") / 100, q.FieldAsCurrency("se") / 100};
        return summary;
    }

    ClockAt clock_{"2026-12-31 23:59:59"};
};

}  // namespace

TEST_F(EInvoiceTest, RandomFilesImportToTheGeneratorsFiguresAndEveryBadFileIsNamedWithNothingStored) {
    std::mt19937 gen(20261208);
    const auto pick = [&gen](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    long long serial = 44200000001;
    const auto invoice = [&](const std::string& seller = kCompany) {
        GenInvoice g;
        g.number = "26" + std::to_string(serial++) + std::to_string(1000000 + pick(9000000));
        g.date = "2026-11-" + std::string(pick(2) ? "0" : "1") + std::to_string(1 + pick(9));
        g.seller = seller;
        g.buyer = pick(4) ? "91440300MA5F" + std::to_string(100000 + pick(900000)) : std::string();
        g.red = pick(6) == 0;
        g.style = static_cast<unsigned>(pick(16));
        // A zero rate is stored exempt: the register asks a tax of 0 to be marked so.
        const int rates[] = {17, 13, 6, 4};
        for (int n = 1 + pick(4); n > 0; --n) {
            GenItem i;
            i.exempt = pick(8) == 0;
            i.rate = i.exempt ? 0 : rates[pick(4)];
            i.amount = (10000 + pick(5000000)) * (g.red ? -1 : 1);
            i.tax = (i.amount * i.rate + (i.amount < 0 ? -50 : 50)) / 100;
            g.items.push_back(i);
        }
        return g;
    };
    // Written as UTF-8 or GBK XML, or as an OFD with or without the XML inside.
    const auto write = [&](const std::string& path, const GenInvoice& g) {
        const int kind = pick(3);
        if (kind == 0) WriteText((dir_ / (path + ".xml")).string(), Xml(g));
        else WriteOfd((dir_ / (path + ".ofd")).string(), g, kind == 1);
        return path + (kind == 0 ? ".xml" : ".ofd");
    };

    // Good invoices in a folder and in a ZIP package; the generator's own summary of them.
    QDir(QString::fromStdString(dir_.string())).mkpath(QStringLiteral("good/sub"));
    Summary expected;
    std::vector<GenInvoice> good;
    std::set<std::string> numbers;
    for (int n = 0; n < 45; ++n) {
        good.push_back(invoice());
        std::map<std::pair<int, int>, std::pair<long long, long long>> perRate;
        for (const GenItem& i : good.back().items) {
            perRate[{i.rate, i.exempt}].first += i.amount;
            perRate[{i.rate, i.exempt}].second += i.tax;
        }
        for (const auto& [rate, figures] : perRate) {
            auto& [rows, count, amount, tax] = expected[rate];
            ++rows, ++count, amount += figures.first, tax += figures.second;
        }
        numbers.insert(good.back().number);
        if (n >= 30) continue;
        write((n % 2 ? "good/" : "good/sub/") + std::to_string(n), good.back());
    }
    {
        std::string zipPath = (dir_ / "batch.zip").string();
        int error = 0;
        zip_t* zip = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(zip, nullptr);
        std::vector<std::string> held;
        held.reserve(15);
        for (std::size_t n = 30; n < good.size(); ++n) {
            const std::string name = "z" + std::to_string(n);
            if (pick(2)) {
                held.push_back(Xml(good[n]));
            } else {
                WriteOfd((dir_ / (name + ".ofd")).string(), good[n], pick(2));
                std::ifstream in(dir_ / (name + ".ofd"), std::ios::binary);
                held.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            const std::string member = name + (held.back().rfind("<?xml", 0) == 0 ? ".xml" : ".ofd");
            ASSERT_GE(zip_file_add(zip, member.c_str(), zip_source_buffer(zip, held.back().data(), held.back().size(), 0), 0), 0);
        }
        ASSERT_EQ(zip_close(zip), 0);
    }
    const vantrel::TImportPlan first = Plan({"good", "batch.zip"});
    ASSERT_FALSE(first.HasErrors()) << [&] {
        std::string all;
        for (const vantrel::TImportIssue& i : first.issues) all += vantrel::IssueText(i) + "\n";
        return GbkToQString(all).toStdString();
    }();
    std::string error;
    ASSERT_EQ(vantrel::StoreImport(first, ContextFor(), {}, error), vantrel::TStoreResult::Stored) << error;
    EXPECT_EQ(Stored(), expected);
    const std::map<int, std::string> sources = vantrel::ReadInvoiceNumbers(ContextFor(), kPeriod);
    EXPECT_EQ(sources.size(), first.rows.size());
    std::set<std::string> storedNumbers;
    for (const auto& [xh, number] : sources) storedNumbers.insert(number);
    EXPECT_EQ(storedNumbers, numbers);

    // Bad files beside good ones: each named with its reason, nothing of any stored.
    QDir(QString::fromStdString(dir_.string())).mkpath(QStringLiteral("mixed"));
    std::map<std::string, std::string> bad;  // file -> what its error says (empty: the column 开票日期)
    GenInvoice g = invoice("91110000MA00OTHER");
    bad[write("mixed/seller", g)] = "不是当前纳税人";
    g = invoice();
    g.date = "2026-10-31";
    bad[write("mixed/october", g)] = "";
    g = invoice();
    g.date = "T09:30:15";
    bad[write("mixed/timeonly", g)] = "开票日期不是日期";
    g = invoice();
    g.special = true;
    bad[write("mixed/special", g)] = "专用发票";
    g = invoice();
    g.items.front().rate = 3;
    g.items.front().exempt = false;
    bad[write("mixed/rate3", g)] = "3% 不在设置的税率中";
    bad[write("mixed/stored", good[static_cast<std::size_t>(pick(45))])] = "已在登记簿中";
    const GenInvoice twice = invoice();
    const std::string firstOfTwo = write("mixed/a_first", twice), secondOfTwo = write("mixed/b_again", twice);
    bad[secondOfTwo] = "重复";
    WriteText((dir_ / "mixed/broken.xml").string(), Xml(invoice()).substr(0, 200));
    bad["mixed/broken.xml"] = "XML 格式错误";
    for (int n = 0; n < 5; ++n) write("mixed/fine" + std::to_string(n), invoice());

    const long long rows = QueryInt("select count(*) from sb07_xxfpb"), log = QueryInt("select count(*) from sb07_bgjl");
    const vantrel::TImportPlan second = Plan({"mixed"});
    std::set<std::string> named;
    for (const vantrel::TImportIssue& issue : second.issues) {
        if (issue.warning) continue;
        const std::string file = "mixed/" + issue.file;
        ASSERT_TRUE(bad.count(file)) << GbkToQString(vantrel::IssueText(issue)).toStdString();
        const std::string& why = bad[file];
        if (why.empty() ? issue.column == "开票日期" : issue.text.find(why) != std::string::npos) named.insert(file);
    }
    std::set<std::string> all;
    for (const auto& [file, why] : bad) all.insert(file);
    EXPECT_EQ(named, all);
    EXPECT_EQ(vantrel::StoreImport(second, ContextFor(), {}, error), vantrel::TStoreResult::Refused);

    // A number that another import stored between the plan and the store refuses the store.
    const vantrel::TImportPlan late = Plan({firstOfTwo});
    ASSERT_FALSE(late.HasErrors());
    ASSERT_EQ(vantrel::StoreImport(Plan({secondOfTwo}), ContextFor(), {}, error), vantrel::TStoreResult::Stored) << error;
    std::set<std::pair<int, bool>> rates;
    for (const GenItem& i : twice.items) rates.insert({i.rate, i.exempt});
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), rows + static_cast<long long>(rates.size()));
    EXPECT_EQ(vantrel::StoreImport(late, ContextFor(), {}, error), vantrel::TStoreResult::Failed);
    EXPECT_NE(error.find("已在登记簿中"), std::string::npos) << GbkToQString(error).toStdString();
    EXPECT_EQ(QueryInt("select count(*) from sb07_xxfpb"), rows + static_cast<long long>(rates.size()));
    EXPECT_EQ(QueryInt("select count(*) from sb07_fply"), QueryInt("select count(*) from sb07_xxfpb"));
    EXPECT_EQ(QueryInt("select count(*) from sb07_bgjl") - log, static_cast<long long>(rates.size()));
}

TEST_F(EInvoiceTest, AFolderYieldsWhatAFileManagerListsOfItsInvoiceFilesInPathOrder) {
    // Regular files and links to them, in subfolders too; hidden entries, links to folders,
    // broken links, pipes and other kinds of file left out. Qt's own listing is the measure.
    const QDir root(QString::fromStdString((dir_ / "tree").string()));
    for (const char* folder : {"tree/sub/deeper", "tree/.hidden", "tree/other"})
        QDir(QString::fromStdString(dir_.string())).mkpath(QString::fromLatin1(folder));
    for (const char* file : {"a.xml", "B.XML", "c.ofd", "d.zip", "e.txt", ".h.xml", ".hidden/x.xml", "sub/f.xml",
                             "sub/.g.xml", "sub/deeper/h.OFD", "other/i.xml"})
        WriteText(root.filePath(QString::fromLatin1(file)).toStdString(), "x");
    ASSERT_EQ(::symlink("a.xml", root.filePath("link.xml").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("other", root.filePath("folderlink").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("nowhere.xml", root.filePath("broken.xml").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::mkfifo(root.filePath("pipe.xml").toLocal8Bit().constData(), 0600), 0);

    QStringList expected;
    QDirIterator it(root.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (QRegularExpression(QStringLiteral("\\.(xml|ofd|zip)$"), QRegularExpression::CaseInsensitiveOption)
                .match(file).hasMatch())
            expected << file;
    }
    expected.sort();
    for (QString& file : expected) file = QFileInfo(file).fileName();
    ASSERT_EQ(expected.size(), 8);  // a B c d link f h i

    for (const QString& given : {root.path(), root.path() + "/"}) {
        QStringList listed;
        std::string error;
        ASSERT_TRUE(vantrel::ReadEInvoiceFiles({given}, [&](vantrel::TEInvoiceFile& f) {
            listed << QString::fromStdString(f.name);
        }, error)) << error;
        EXPECT_EQ(listed, expected) << given.toStdString();
    }
}

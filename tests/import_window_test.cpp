// The manager's import and export commands: the preview dialog's marks, storing on "确定",
// the refresh afterwards, and the export of the list as it is shown.
#include "context/f_ModuleContext.h"
#include "ui/manager/f_XxqtfpMgr.h"

#include "exchange/f_RegisterExchange.h"
#include "invoice/f_FpDealGlobal.h"
#include "invoice/f_InvoiceChecks.h"
#include "invoice/f_XxqtfpGlobal.h"
#include "ui/common/controls/PellowEdit.h"
#include "ui/common/f_InvoiceListModel.h"
#include "ui/manager/f_ImportPreview.h"

#include "support/entry_helpers.h"
#include "support/host_fixture.h"
#include "support/manager_fields.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

using testhost::Mgr;

std::string Msg(int number, const std::string& param = std::string()) {
    std::string text;
    GetMsg(number, param, 1, text);
    return text;
}

// The preview dialog's controls, reached by their names.
struct PreviewFields {
    explicit PreviewFields(const vantrel::TFrmImportPreview* d)
        : btnOk(testhost::Control<QPushButton>(d, QStringLiteral("btnOk"))),
          lbSummary(testhost::Control<QLabel>(d, QStringLiteral("lbSummary"))),
          memIssues(testhost::Control<QPlainTextEdit>(d, QStringLiteral("memIssues"))),
          model(qobject_cast<vantrel::TImportPreviewModel*>(testhost::Control<QTableView>(d, QStringLiteral("gridRows"))->model())) {}
    QPushButton* btnOk;
    QLabel* lbSummary;
    QPlainTextEdit* memIssues;
    vantrel::TImportPreviewModel* model;
};

class ImportWindowTest : public testhost::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        if (HasFatalFailure()) return;
        testhost::EnsureApplication();
        std::ofstream ini(subAppDir_ / "fp_config.ini");
        ini << "[xxqtfp]\nsl=|17|13|6|0|\n";
        ini.close();
        period_ = UsePreviousMonth();
        day_ = period_.substr(0, 4) + "-" + period_.substr(4, 2) + "-10";
        manager_ = new TFrmXxqtfpMgr(vantrel::ModuleContextFromHost());
        manager_->resize(900, 600);
        manager_->show();
        corlith::test::ClearMessages();
    }

    void TearDown() override {
        delete manager_.data();
        HostFixture::TearDown();
    }

    QString WriteCsv(const std::string& gbkRows) {
        const QString path = QString::fromStdString((dir_ / "in.csv").string());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(GbkToQString("发票类型,开票日期,份数,金额,税率,税额,购方税号,是否免税\r\n" + gbkRows).toUtf8());
        return path;
    }

    // Runs the import of path, chosen in the command's file dialog; inspect sees the preview
    // dialog, which is then closed by answer (true: "确定") unless inspect closed it. Returns
    // whether rows were stored.
    bool Import(const QString& path, const std::function<void(vantrel::TFrmImportPreview*)>& inspect, bool answer) {
        return ImportBy(path, Mgr(manager_).actImport, inspect, answer);
    }
    bool ImportBy(const QString& path, QAction* command, const std::function<void(vantrel::TFrmImportPreview*)>& inspect,
                  bool answer) {
        const long long before = Count();
        bool shown = false;
        EXPECT_TRUE(testhost::ChooseFile(path, [&] {
            shown = testhost::AnswerModal<vantrel::TFrmImportPreview>(
                [&](vantrel::TFrmImportPreview* d) {
                    inspect(d);
                    QPushButton* ok = PreviewFields(d).btnOk;
                    if (answer && ok->isEnabled())
                        QTest::mouseClick(ok, Qt::LeftButton);
                    else
                        d->reject();
                },
                [command] { command->trigger(); });
        }));
        EXPECT_TRUE(shown);
        return Count() > before;
    }

    // 导出 to path, chosen in its file dialog; whether the export said it wrote the file.
    bool Export(const QString& path) {
        corlith::test::ClearMessages();
        EXPECT_TRUE(testhost::ChooseFile(path, [this] { Mgr(manager_).actExport->trigger(); }));
        return !corlith::test::Messages().empty() && corlith::test::Messages().back().text.rfind("已导出 ", 0) == 0;
    }

    long long Count() { return QueryInt("select count(*) from sb07_xxfpb where sbssq='" + period_ + "'"); }

    std::string period_, day_;
    QPointer<TFrmXxqtfpMgr> manager_;
};

TEST_F(ImportWindowTest, PreviewMarksEachFailingCellAndOffersNoConfirmation) {
    const QString path = WriteCsv("普通发票," + day_ + ",1,0,17,,,否\r\n"        // amount 0
                                  "普通发票," + day_ + ",1,100,17,17,,否\r\n"    // fine
                                  "普通发票," + day_ + ",1,100,17,17,,否\r\n");  // same as line 3
    const bool stored = Import(
        path,
        [&](vantrel::TFrmImportPreview* d) {
            const PreviewFields f(d);
            EXPECT_FALSE(f.btnOk->isEnabled());
            vantrel::TImportPreviewModel* model = f.model;
            ASSERT_EQ(model->rowCount(), 3);
            EXPECT_EQ(model->MarkAt(0, vantrel::RcJe + 1), vantrel::TCellMark::Error);
            EXPECT_EQ(model->MarkAt(0, vantrel::RcFplx + 1), vantrel::TCellMark::None);
            EXPECT_EQ(model->MarkAt(1, vantrel::RcJe + 1), vantrel::TCellMark::None);
            EXPECT_EQ(model->MarkAt(2, 0), vantrel::TCellMark::Warning);  // a duplicate belongs to the whole row
            EXPECT_EQ(model->data(model->index(0, vantrel::RcJe + 1), Qt::ToolTipRole).toString(),
                      GbkToQString("第 2 行 金额：" + Msg(5037019)));
            EXPECT_TRUE(f.memIssues->toPlainText().contains(GbkToQString("第 4 行 与文件第 3 行相同")));
            EXPECT_TRUE(f.lbSummary->text().contains(QString::fromUtf16(u"1 处错误")));
        },
        true);
    EXPECT_FALSE(stored);
    EXPECT_EQ(Count(), 0);
}

TEST_F(ImportWindowTest, ConfirmedRowsAreStoredAndTheListStatisticsAndNextNumberFollow) {
    testhost::InvoiceRow old;
    old.sbssq = period_;
    old.xh = 4;
    old.kprq = day_;
    InsertInvoice(old);
    Mgr(manager_).ActQuery->trigger();

    const QString path = WriteCsv("普通发票," + day_ + ",1,200,17,,,否\r\n"
                                  "纳税检查调整," + day_ + ",,50.5,0,0,,是\r\n");
    const bool stored = Import(path, [](vantrel::TFrmImportPreview* d) { EXPECT_TRUE(PreviewFields(d).btnOk->isEnabled()); }, true);
    ASSERT_TRUE(stored);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(Mgr(manager_).Records().size(), 3u);
    EXPECT_EQ(Mgr(manager_).lbFpsl->text(), QStringLiteral("3"));
    EXPECT_EQ(Mgr(manager_).lbje->text(), QStringLiteral("350.50"));
    EXPECT_EQ(Mgr(manager_).lbse->text(), QStringLiteral("51.00"));
    EXPECT_EQ(Mgr(manager_).NextXh(), 7);
    ASSERT_FALSE(corlith::test::Messages().empty());
    EXPECT_EQ(corlith::test::Messages().back().text, "已导入 2 张发票");

    // The same file again asks first, naming the rows the register holds; only 是 stores them.
    for (const bool answer : {false, true}) {
        corlith::test::ClearMessages();
        corlith::test::QueueConfirmAnswer(answer);
        EXPECT_EQ(Import(path, [](vantrel::TFrmImportPreview*) {}, true), answer);
        ASSERT_FALSE(corlith::test::Messages().empty());
        const corlith::test::ShownMessage& question = corlith::test::Messages().front();
        EXPECT_EQ(question.kind, corlith::test::MessageKind::Confirm);
        EXPECT_NE(question.text.find("2 行与登记簿中已有的发票相同（第 2、3 行）"), std::string::npos) << question.text;
        EXPECT_EQ(Count(), answer ? 5 : 3);
    }
}

TEST_F(ImportWindowTest, CancellingThePreviewStoresNothing) {
    const QString path = WriteCsv("普通发票," + day_ + ",1,200,17,,,否\r\n");
    EXPECT_FALSE(Import(path, [](vantrel::TFrmImportPreview*) {}, false));
    EXPECT_EQ(Count(), 0);
}

TEST_F(ImportWindowTest, ImportIsRefusedWhileThePeriodIsDeclared) {
    DeclareThePeriod(period_);
    Mgr(manager_).actImport->trigger();  // refused before any file dialog opens
    ASSERT_EQ(corlith::test::Messages().size(), 1u);
    EXPECT_EQ(corlith::test::Messages()[0].text, "申报成功， 不能操作！");
}

TEST_F(ImportWindowTest, ExportWritesTheListAsItIsShown) {
    for (int i = 1; i <= 3; ++i) {
        testhost::InvoiceRow row;
        row.sbssq = period_;
        row.xh = i;
        row.kprq = day_;
        row.je = 100.0 * (i == 2 ? 5 : i);
        row.se = row.je * 0.17;
        row.gfnsr = i == 3 ? "440300665812347" : " ";
        InsertInvoice(row);
    }
    Mgr(manager_).ActQuery->trigger();
    Mgr(manager_).model->sort(vantrel::ColJe, Qt::DescendingOrder);
    const QString path = QString::fromStdString((dir_ / "shown.csv").string());
    ASSERT_TRUE(Export(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",500.00,"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(",300.00,"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral(",100.00,"))) << lines[3].toStdString();

    Mgr(manager_).edtghfsh->SetText("4403");
    Mgr(manager_).ActQuery->trigger();
    ASSERT_TRUE(Export(QString::fromStdString((dir_ / "shown.xlsx").string())));
    vantrel::TExchangeTable table;
    std::string error;
    ASSERT_TRUE(vantrel::ReadRegisterFile(QString::fromStdString((dir_ / "shown.xlsx").string()), table, error)) << error;
    ASSERT_EQ(table.rows.size(), 3u);  // the one shown row and the two total lines
    EXPECT_EQ(table.rows[0].cells[vantrel::RcGfnsr].text, "440300665812347");
}

}  // namespace

TEST_F(ImportWindowTest, EInvoicesShowTheirFileInThePreviewAndAreStoredWithTheirNumber) {
    const QString path = QString::fromStdString((dir_ / "fp.xml").string());
    std::ofstream(path.toStdString())
        << "<EInvoice><EInvoiceData><SellerInformation><SellerIdNum>" << testhost::kCompany
        << "</SellerIdNum></SellerInformation><BasicInformation><TotalAmWithoutTax>300.00</TotalAmWithoutTax>"
           "<TotalTaxAm>47.00</TotalTaxAm></BasicInformation><IssuItemInformation><Amount>100.00</Amount>"
           "<TaxRate>0.17</TaxRate><ComTaxAm>17.00</ComTaxAm></IssuItemInformation><IssuItemInformation>"
           "<Amount>200.00</Amount><TaxRate>15%</TaxRate><ComTaxAm>30.00</ComTaxAm></IssuItemInformation>"
           "</EInvoiceData><TaxSupervisionInfo><InvoiceNumber>26440000000000000001</InvoiceNumber><IssueTime>"
        << day_ << "T08:00:00</IssueTime></TaxSupervisionInfo></EInvoice>";
    const auto inspect = [](const char* rate, bool ok) {
        return [rate, ok](vantrel::TFrmImportPreview* d) {
            const PreviewFields f(d);
            vantrel::TImportPreviewModel* model = f.model;
            ASSERT_EQ(model->rowCount(), 2);
            EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QString::fromUtf16(u"文件"));
            EXPECT_EQ(model->data(model->index(1, 0)).toString(), QStringLiteral("fp.xml"));
            EXPECT_EQ(model->MarkAt(1, vantrel::RcSl + 1), ok ? vantrel::TCellMark::None : vantrel::TCellMark::Error);
            EXPECT_EQ(model->data(model->index(1, vantrel::RcSl + 1)).toString(), QString::fromLatin1(rate));
            EXPECT_TRUE(f.lbSummary->text().contains(QString::fromUtf16(u"共 1 张电子发票、2 行发票")));
            EXPECT_EQ(f.btnOk->isEnabled(), ok);
        };
    };
    EXPECT_FALSE(ImportBy(path, Mgr(manager_).actImportEInvoice, inspect("15%", false), true));
    EXPECT_EQ(Count(), 0);
    std::string xml;
    {
        std::ifstream in(path.toStdString());
        xml.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    xml.replace(xml.find("15%"), 3, "6%");
    xml.replace(xml.find("30.00"), 5, "12.00");
    xml.replace(xml.find("47.00"), 5, "29.00");
    std::ofstream(path.toStdString()) << xml;
    EXPECT_TRUE(ImportBy(path, Mgr(manager_).actImportEInvoice, inspect("6%", true), true));
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(QueryInt("select count(*) from sb07_fply where fphm='26440000000000000001' and sbssq='" + period_ + "'"), 2);
}

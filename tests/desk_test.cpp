// The office desk in the client's main frame: switching taxpayer and period with the keyboard
// and the picker, on a real database, with the module's page following.
#include "../client/ClientOptions.h"
#include "../client/ClientSession.h"
#include "../client/DemoData.h"
#include "../client/MainFrame.h"
#include "../client/ModuleLoader.h"
#include "../client/TaxpayerRegister.h"
#include "corlith/corlith_host.h"
#include "host/host_messages.h"
#include "param/f_ParamString.h"
#include "summary/f_SummaryCaptions.h"
#include "summary/f_SummaryPreview.h"
#include "support/test_database.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QRegularExpression>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Texts of the visible labels of a widget tree, joined.
QString VisibleTexts(const QWidget* root) {
    QString all;
    for (const QLabel* label : root->findChildren<QLabel*>())
        if (label->isVisible()) all += label->text() + u'\n';
    return all;
}

// A key pressed in the frame as a user whose window has the keyboard presses it.
void Press(QWidget& frame, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, key, modifiers);
}

// The demo session on a database of the test's folder with the demo invoices of two
// taxpayers, and the module loaded.
class Desk : public ::testing::Test {
protected:
    void SetUp() override {
        ClientOptions options;
        options.database = QString::fromStdString(database.target());
        QString error;
        ASSERT_TRUE(LoadSessionFile(QString::fromUtf8(VANTREL_SOURCE_DIR) + u"/client/demo-session.json"_s, session, error) &&
                    ApplyOverrides(options, session, error) && InstallSession(session, 0, error, true) &&
                    PrepareSubAppFolder(session, error))
            << error.toStdString();
        std::string hostError;
        ASSERT_TRUE(InsertDemoInvoices(session.connectionName(), session.subAppCode, session.company, session.period,
                                       hostError) &&
                    RegisterDemoTaxpayers(session, hostError))
            << hostError;
        ASSERT_TRUE(module.load(error)) << error.toStdString();
    }
    void TearDown() override { corlith::CloseConnections(); }

    // The frame, made the host's main window.
    void Attach(MainFrame& frame) {
        QString error;
        ASSERT_TRUE(InstallSession(session, static_cast<THostHandle>(frame.winId()), error)) << error.toStdString();
        frame.attachToHost();
    }

    QTemporaryDir dir;
    const testhost::TestDatabase database{dir.filePath(u"desk.db"_s).toStdString()};
    ClientSession session;
    VantrelModule module;
};

TEST_F(Desk, TaxpayerAndPeriodSwitchByKeysAndPickerAndThePageFollows) {
    std::string hostError;
    const std::string own = session.company, other = DemoOtherCompany(own);
    {
        MainFrame frame(module, session);
        ASSERT_NO_FATAL_FAILURE(Attach(frame));
        frame.show();
        frame.openManager();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        ASSERT_TRUE(frame.currentPage());
        EXPECT_TRUE(VisibleTexts(frame.pageContainer()).contains(u"所属期 2026年11月"_s));

        // The notification log speaks in sentences; the raw message is in each row's tooltip.
        QStringList sentences, tips;
        const QTreeWidget* log = frame.notificationLog();
        for (int i = 0; i < log->topLevelItemCount(); ++i) {
            sentences << log->topLevelItem(i)->text(1);
            tips << log->topLevelItem(i)->toolTip(1);
        }
        const auto shown = sentences.indexOf(QRegularExpression(u"^窗口已打开"_s));
        ASSERT_GE(shown, 0) << sentences.join(u" / "_s).toStdString();
        EXPECT_TRUE(tips.at(shown).contains(u"编号：%1"_s.arg(hostmsg::kMsgFormShown)) &&
                    tips.at(shown).contains(QString::number(frame.currentPage()->winId())))
            << tips.at(shown).toStdString();

        // Ctrl+PgDn, Ctrl+PgUp twice: the host's period and the reopened page follow.
        Press(frame, Qt::Key_PageDown, Qt::ControlModifier);
        EXPECT_EQ(GetCurSubAppVo()->GetText("curKJNY"), "202612");
        Press(frame, Qt::Key_PageUp, Qt::ControlModifier);
        Press(frame, Qt::Key_PageUp, Qt::ControlModifier);
        EXPECT_EQ(GetCurSubAppVo()->GetText("curKJNY"), "202610");
        ASSERT_TRUE(frame.currentPage());
        EXPECT_TRUE(VisibleTexts(frame.pageContainer()).contains(u"所属期 2026年10月"_s));

        // The overview: the taxpayer's periods newest first, each figure the preview's.
        frame.openOverview();
        auto* overview = frame.findChild<QTableWidget*>(u"overviewTable"_s);
        ASSERT_TRUE(overview && overview->isVisible());
        ASSERT_EQ(overview->rowCount(), 2);   // 202611 and the current 202610, both with invoices
        vantrel::TSummaryPreview preview;
        ASSERT_TRUE(vantrel::LoadSummaryPreview(session.context("202611"),
                                       preview, hostError))
            << hostError;
        EXPECT_EQ(overview->verticalHeaderItem(0)->text(), u"2026年11月"_s);
        for (int c = 0; c < overview->columnCount(); c += 7)
            EXPECT_EQ(overview->item(0, c)->text().section(u'\n', 0, 0),
                      GbkToQString(preview.Value(vantrel::SummaryPlaces()[static_cast<std::size_t>(c)].name)));
        // A click on a figure opens that period's page with the figure's cell marked.
        const int column = 7;
        QString title, focus;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog) return;
            poll.stop();
            title = dialog->windowTitle();
            if (QWidget* page = dialog->findChild<QWidget*>(u"overviewPreviewPage"_s))
                focus = page->property("focusCell").toString();
            dialog->close();
        });
        poll.start(20);
        QTest::mouseClick(overview->viewport(), Qt::LeftButton, {}, overview->visualItemRect(overview->item(0, column)).center());
        EXPECT_TRUE(title.contains(u"2026年11月"_s)) << title.toStdString();
        EXPECT_EQ(focus.toStdString(), vantrel::SummaryPlaces()[column].name);
        frame.openManager();

        // Part of the other taxpayer's id typed into the picker, its completion taken.
        auto* picker = frame.findChild<QComboBox*>(u"taxpayerPicker"_s);
        ASSERT_TRUE(picker);
        picker->lineEdit()->selectAll();
        QTest::keyClicks(picker->lineEdit(), QString::fromStdString(other.substr(8, 6)));
        QAbstractItemView* popup = picker->completer()->popup();
        ASSERT_TRUE(QTest::qWaitFor([popup] { return popup->isVisible(); }));
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_EQ(GetCurSubAppVo()->GetText("curcompany"), other);
        EXPECT_EQ(GetParamValue(GetCurSubAppVo()->GetText("jbxx"), "name"), "深圳市南岭贸易有限公司");
        ASSERT_TRUE(frame.currentPage());
        EXPECT_TRUE(VisibleTexts(frame.pageContainer()).contains(QString::fromStdString(other)));
        EXPECT_TRUE(frame.findChild<QLabel*>(u"contextLabel"_s)->text().contains(u"南岭"_s));

        // A typed id the register does not hold: its page, no particulars.
        picker->lineEdit()->selectAll();
        QTest::keyClicks(picker->lineEdit(), u"NEWCO123"_s);
        QTest::keyClick(picker->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(GetCurSubAppVo()->GetText("curcompany"), "NEWCO123");
        EXPECT_EQ(GetParamValue(GetCurSubAppVo()->GetText("jbxx"), "name"), "");
        frame.close();
    }
}

// At the frame's first size every column shows whole without scrolling; the widths the user
// drags and the sort come back in the next window, until 恢复默认列宽.
TEST_F(Desk, AllColumnsFitAndTheUsersWidthsAndSortComeBack) {
    MainFrame frame(module, session);
    ASSERT_NO_FATAL_FAILURE(Attach(frame));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const auto list = [&frame] {
        frame.openManager();
        QCoreApplication::processEvents();
        return frame.currentPage()->findChild<QTreeView*>(u"VSTInvoideCommon"_s);
    };
    QTreeView* view = list();
    ASSERT_TRUE(view && view->model()->rowCount() > 10);
    EXPECT_LE(view->header()->length(), view->viewport()->width());
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    const QFontMetrics cells(view->font());
    for (int row = 0; row < view->model()->rowCount(); ++row)
        for (int column = 1; column < view->model()->columnCount(); ++column) {
            const QString text = view->model()->index(row, column).data().toString();
            EXPECT_LT(cells.horizontalAdvance(text), view->columnWidth(column)) << text.toStdString();
        }
    const int compact = view->columnWidth(6);
    view->header()->resizeSection(6, compact + 37);   // what a drag of the edge does
    for (int click = 0; click < 2; ++click)          // 金额, descending
        QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {},
                          QPoint(view->header()->sectionViewportPosition(4) + 10, view->header()->height() / 2));

    view = list();
    EXPECT_EQ(view->columnWidth(6), compact + 37);
    EXPECT_EQ(view->header()->sortIndicatorSection(), 4);
    EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_GE(view->model()->index(0, 4).data().toString().toDouble(), view->model()->index(1, 4).data().toString().toDouble());
    frame.currentPage()->findChild<QAction*>(u"actResetColumns"_s)->trigger();
    EXPECT_EQ(view->columnWidth(6), compact);
    EXPECT_EQ(list()->columnWidth(6), compact);
    frame.close();
}

}  // namespace

int main(int argc, char** argv) {
    // The frame's and the list's settings stay in the run's own folder.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

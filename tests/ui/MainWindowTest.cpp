#include "TestWindow.h"

#include "core/Messages.h"
#include "core/Text.h"
#include "navbar/NavigationBar.h"
#include "ui/Application.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }

    void click(int item) {
        TNavigationBar* bar = window.navigationBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->itemRect(item).center());
    }
    void key(Qt::Key k) { QTest::keyClick(window.navigationBar(), k); }
    int highlighted() const { return window.navigationBar()->currentItemIndex(); }
    int page() const { return window.pages()->currentIndex(); }

    RecordingBoxes recorder;
    FakeDataSource source;
    TestWindow window{source};
};

TEST_F(MainWindowTest, LayoutHasItsNamedControlsInPlace) {
    EXPECT_EQ(window.size(), QSize(800, 600));
    // At least the designed width, wider when the bar's texts need it (tested below).
    EXPECT_GE(window.navigationBar()->width(), 175);
    EXPECT_EQ(window.navigationBar()->width(), window.navigationBar()->sizeHint().width());
    EXPECT_EQ(window.navigationBar()->panelCaption(), QStringLiteral("Seznam akcí"));
    ASSERT_EQ(window.navigationBar()->itemCount(), 5);
    EXPECT_EQ(window.navigationBar()->itemCaption(2),
              QStringLiteral("Test konfliktu současné editace"));
    EXPECT_GE(window.pages()->height(), 440);
    const char* pageNames[] = {"TSMain", "TSData", "TSRecordLock", "TSInfo", "TSAbout"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(window.pages()->widget(i)->objectName(), QString::fromLatin1(pageNames[i]));
        EXPECT_EQ(window.navigationBar()->itemTag(i), i);
    }
    for (const char* name :
         {"InBMain", "PnlMain", "PCMain", "Splitter1", "MeOpDuration", "Label5", "Label8",
          "LblDriver", "CBDrivers", "BtnTestConnectivity", "LblConnStr", "MeConnStr", "EdConnStr",
          "Label10", "MeInfo", "Label1", "Label2", "Label3"})
        EXPECT_NE(window.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    auto* log = window.findChild<QPlainTextEdit*>(QStringLiteral("MeOpDuration"));
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_FALSE(window.findChild<QWidget*>(QStringLiteral("EdConnStr"))->isVisible());
    auto* driverLabel = window.findChild<QLabel*>(QStringLiteral("LblDriver"));
    EXPECT_EQ(driverLabel->buddy(), window.findChild<QWidget*>(QStringLiteral("CBDrivers")));
}

// Every caption of the navigation bar is drawn whole at the window's default font and at the
// larger ones a desktop may give it: its wrapped text fits the rectangle it is drawn in, no
// word cut at the edge, no line lost below, the bar as wide as that needs.
TEST_F(MainWindowTest, NavigationCaptionsAreWholeAtTheDefaultAndLargerFonts) {
    TNavigationBar* bar = window.navigationBar();
    for (int pointSize : {0, 11, 14, 20}) {
        if (pointSize > 0) {
            QFont larger = window.font();
            larger.setPointSize(pointSize);
            window.setFont(larger);
        }
        QApplication::processEvents();
        SCOPED_TRACE(bar->font().pointSize());
        EXPECT_EQ(bar->width(), bar->sizeHint().width());
        const QFontMetrics metrics(bar->font());
        for (int i = 0; i < bar->itemCount(); ++i) {
            const QRect area = bar->itemTextRect(i);
            const QRect used =
                metrics.boundingRect(area, TNavigationBar::itemTextFlags, bar->itemCaption(i));
            EXPECT_TRUE(area.contains(used))
                << bar->itemCaption(i).toStdString() << ": needs " << used.width() << "x"
                << used.height() << ", has " << area.width() << "x" << area.height();
        }
        QFont bold = bar->font();
        bold.setBold(true);
        const QRect header = bar->headerRect();
        EXPECT_TRUE(header.contains(
            QFontMetrics(bold).boundingRect(header, Qt::AlignCenter, bar->panelCaption())));
    }
}

TEST_F(MainWindowTest, ExtraHeightGoesToTheOperationLogAndThePagesKeepTheirs) {
    auto* log = window.findChild<QPlainTextEdit*>(QStringLiteral("MeOpDuration"));
    auto* splitter = window.findChild<QSplitter*>(QStringLiteral("Splitter1"));
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(window.pages()->height(), 440);
    const int logAt600 = log->height();
    EXPECT_GT(logAt600, 40);

    window.resize(800, 900);
    QApplication::processEvents();
    EXPECT_EQ(window.pages()->height(), 440);
    EXPECT_EQ(log->height(), logAt600 + 300);

    // A split the user chose is kept in the same way.
    splitter->setSizes({520, splitter->height() - 520 - splitter->handleWidth()});
    window.resize(800, 1000);
    QApplication::processEvents();
    EXPECT_EQ(window.pages()->height(), 520);
    window.resize(800, 600);
    QApplication::processEvents();
    EXPECT_GE(window.pages()->height(), 440) << "never below its least height";
}

TEST_F(MainWindowTest, CreationShowsPageZeroAndOpensTheSettingsFile) {
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(highlighted(), 0);
    EXPECT_EQ(window.communicator, nullptr);
    ASSERT_NE(window.settings, nullptr);
    EXPECT_EQ(window.settings->fileName(), ".\\Options.ini");
    EXPECT_EQ(applicationTitle(), fromQString(window.windowTitle()));
    EXPECT_EQ(applicationTitle(), "Vantrel \x96 zku\x9A\x65\x62n\xED okno");
}

TEST_F(MainWindowTest, ArrowsStopAtBothEndsAndEnterOpensThatItem) {
    key(Qt::Key_Up);
    EXPECT_EQ(highlighted(), 0);
    for (int i = 0; i < 7; ++i)
        key(Qt::Key_Down);
    EXPECT_EQ(highlighted(), 4);
    EXPECT_EQ(page(), 0); // the arrows only move the highlight
    key(Qt::Key_Return);
    EXPECT_EQ(page(), 4);
    EXPECT_EQ(source.connectAttempts, 0); // the about page needs no connection
    for (int i = 0; i < 7; ++i)
        key(Qt::Key_Up);
    EXPECT_EQ(highlighted(), 0);
    key(Qt::Key_Down);
    key(Qt::Key_Enter);
    EXPECT_EQ(page(), 1);
    EXPECT_EQ(source.openConnections, 1);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(MainWindowTest, UnreachableSourceShowsTheErrorAndReturnsToPageZero) {
    source.reachable = false;
    click(2);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].kind, "error");
    EXPECT_EQ(recorder.boxes[0].text, msgConnectFailed());
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(highlighted(), 0);
    EXPECT_EQ(window.communicator, nullptr);
    EXPECT_EQ(source.alive, 0);
    EXPECT_TRUE(window.afterConnectCalls.empty());
    // The failed attempt is measured like any other.
    ASSERT_EQ(window.logLines().size(), 1u);
    EXPECT_TRUE(startsWith(window.logLines()[0], opConnect() + ": 0:00:00:"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ConnectionIsKeptAmongPagesAndDroppedOnTheSourcePage) {
    click(1);
    ASSERT_NE(window.communicator, nullptr);
    TCommunicator* first = window.communicator.get();
    EXPECT_TRUE(first->isConnected());
    EXPECT_EQ(window.afterConnectCalls, std::vector<TCommunicator*>{first});
    EXPECT_TRUE(source.cursorBusyDuringConnect);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    click(4);
    click(2);
    EXPECT_EQ(window.communicator.get(), first);
    EXPECT_EQ(source.connectAttempts, 1);

    click(0);
    EXPECT_EQ(window.communicator, nullptr);
    EXPECT_EQ(source.alive, 0);
    click(1);
    EXPECT_EQ(source.openConnections, 1);

    std::vector<std::string> lines = window.logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(startsWith(lines[0], opConnect() + ": "));
    EXPECT_TRUE(startsWith(lines[1], opDisconnect() + ": "));
    EXPECT_TRUE(startsWith(lines[2], opConnect() + ": "));
}

TEST_F(MainWindowTest, ConnectionTestOpensASecondConnectionAndLeavesTheFirstOpen) {
    click(3);
    TCommunicator* own = window.communicator.get();
    ASSERT_NE(own, nullptr);
    window.BtnTestConnectivityClick();
    EXPECT_EQ(window.communicator.get(), own);
    EXPECT_TRUE(own->isConnected());
    EXPECT_EQ(source.openConnections, 1);
    EXPECT_EQ(source.alive, 1);
    ASSERT_EQ(window.afterConnectCalls.size(), 2u);
    EXPECT_NE(window.afterConnectCalls[1], own);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].kind, "information");
    EXPECT_EQ(recorder.boxes[0].text, msgConnectionTestOk());
    std::vector<std::string> lines = window.logLines();
    ASSERT_EQ(lines.size(), 4u); // own connect, own getInfo, test connect, test disconnect
    EXPECT_TRUE(startsWith(lines[2], opConnect() + ": "));
    EXPECT_TRUE(startsWith(lines[3], opDisconnect() + ": "));

    source.reachable = false;
    window.BtnTestConnectivityClick();
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[1].kind, "error");
    EXPECT_EQ(recorder.boxes[1].text, msgConnectionTestFailed());
    EXPECT_EQ(window.communicator.get(), own);
    EXPECT_TRUE(own->isConnected());
    EXPECT_EQ(source.alive, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, InformationIsFetchedAnewOnEveryVisit) {
    click(3);
    click(4);
    click(3);
    EXPECT_EQ(source.getInfoCalls, 2);
    EXPECT_TRUE(window.info()->toPlainText().contains(QStringLiteral("visit 2")));
    EXPECT_EQ(source.connectAttempts, 1);
}

TEST_F(MainWindowTest, AConnectThatRaisesLeavesNoCommunicatorAndRestoresTheCursor) {
    source.connectThrows = true;
    click(1); // the application object shows the exception
    EXPECT_EQ(window.communicator, nullptr);
    EXPECT_EQ(source.alive, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].kind, applicationTitle());
    EXPECT_EQ(recorder.boxes[0].text, "driver crashed.");
    source.connectThrows = false;
    click(1);
    EXPECT_EQ(source.openConnections, 1);
}

TEST_F(MainWindowTest, DestructionDisconnectsThenClosesTheSettings) {
    click(1);
    window.FormDestroy();
    EXPECT_EQ(window.communicator, nullptr);
    EXPECT_EQ(window.settings, nullptr);
    EXPECT_EQ(source.alive, 0);
    std::vector<std::string> lines = window.logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[1], opDisconnect() + ": "));
    window.FormDestroy(); // a second run finds nothing to do
    EXPECT_EQ(window.logLines().size(), 2u);
}

} // namespace

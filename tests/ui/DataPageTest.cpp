#include "TestWindow.h"

#include "core/Messages.h"
#include "navbar/NavigationBar.h"
#include "ui/QtText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DataPageTest : public ::testing::Test {
protected:
    DataPageTest() {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }

    void enterDataPage() { window.InBMainItemClick(0, 1); }
    bool enabled(const char* name) const { return window.control(name)->isEnabled(); }
    void press(const char* name) { QTest::mouseClick(window.control(name), Qt::LeftButton); }
    QAbstractItemModel* model() const { return window.grid()->model(); }
    QString header(int column) const {
        return model()->headerData(column - 1, Qt::Horizontal).toString();
    }
    QString rowNumber(int row) const {
        return model()->headerData(row - 1, Qt::Vertical).toString();
    }
    QString cell(int column, int row) const {
        return model()->data(model()->index(row - 1, column - 1)).toString();
    }

    RecordingBoxes recorder;
    FakeDataSource source;
    TestWindow window{source};
};

// Lines a caption needs when wrapped at blanks into `width` pixels; 0 when a word alone is
// wider than that.
int linesNeeded(const QFontMetrics& metrics, const QString& caption, int width) {
    int lines = 1;
    QString line;
    for (const QString& word : QString(caption).remove(QLatin1Char('&')).split(QLatin1Char(' '))) {
        if (metrics.horizontalAdvance(word) > width)
            return 0;
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(longer) <= width) {
            line = longer;
        } else {
            ++lines;
            line = word;
        }
    }
    return lines;
}

// The row of table buttons as designed: one font (the window's), one size, in order at their
// places, every caption whole within its button.
void expectTableButtonsAlike(TestWindow& window) {
    const char* names[] = {"BtnCreateTables", "BtnGenData", "BtnClearData", "BtnDropTables"};
    const QWidget* first = window.control(names[0]);
    for (int i = 0; i < 4; ++i) {
        const QWidget* button = window.control(names[i]);
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(button->font(), window.font());
        EXPECT_EQ(button->size(), first->size());
        EXPECT_EQ(button->width(), 144);
        EXPECT_GE(button->height(), 35);
        EXPECT_EQ(button->x(), 8 + 150 * i);
        EXPECT_EQ(button->y(), first->y());
        const QString caption = qobject_cast<const QAbstractButton*>(button)->text();
        const int lines = linesNeeded(button->fontMetrics(), caption, button->width() - 4);
        EXPECT_GT(lines, 0) << "a word of the caption is wider than the button";
        EXPECT_LE(lines * button->fontMetrics().lineSpacing(), button->height() - 4)
            << "the caption's lines do not fit";
    }
    EXPECT_GT(window.tabs()->parentWidget()->y(), first->geometry().bottom());
}

TEST_F(DataPageTest, TheFourButtonsLookAlikeAndShowTheirWholeCaptionsInAnyDesktopFont) {
    expectTableButtonsAlike(window);
    const QFont before = QApplication::font();
    for (double points : {8.0, 11.0, 14.0}) {
        SCOPED_TRACE(points);
        QFont desktop = before;
        desktop.setPointSizeF(points);
        QApplication::setFont(desktop);
        FakeDataSource other;
        TestWindow larger{other};
        larger.show();
        (void)QTest::qWaitForWindowExposed(&larger);
        larger.InBMainItemClick(0, 1);
        expectTableButtonsAlike(larger);
    }
    QApplication::setFont(before);
}

TEST_F(DataPageTest, WithoutTablesOnlyCreationIsOfferedAndTheTabsAreHidden) {
    enterDataPage();
    EXPECT_TRUE(enabled("BtnCreateTables"));
    EXPECT_FALSE(enabled("BtnGenData"));
    EXPECT_FALSE(enabled("BtnClearData"));
    EXPECT_FALSE(enabled("BtnDropTables"));
    EXPECT_FALSE(window.tabs()->isVisible());
    EXPECT_FALSE(window.grid()->isVisible());
    // The drop capability is asked only when there is something to drop.
    EXPECT_EQ(std::count(source.calls.begin(), source.calls.end(), "canDrop"), 0);
    EXPECT_EQ(window.count(), QStringLiteral("# Count"));
    EXPECT_EQ(source.listErrorCalls, 1); // the tab's table could not be prepared
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(DataPageTest, CreatingShowsTheEmptyTablesWithOneNumberedRow) {
    enterDataPage();
    press("BtnCreateTables");
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].kind, "information");
    EXPECT_EQ(recorder.boxes[0].text, msgTablesCreated());
    EXPECT_TRUE(source.cursorBusyDuringOperation);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(enabled("BtnCreateTables"));
    EXPECT_TRUE(enabled("BtnGenData"));
    EXPECT_FALSE(enabled("BtnClearData"));
    EXPECT_TRUE(enabled("BtnDropTables"));
    EXPECT_TRUE(window.tabs()->isVisible());
    EXPECT_EQ(window.count(), QStringLiteral("# 0"));
    ASSERT_EQ(model()->rowCount(), 1);
    ASSERT_EQ(model()->columnCount(), 3);
    EXPECT_EQ(header(1), QStringLiteral("Bid"));
    EXPECT_EQ(header(3), QStringLiteral("Remark"));
    EXPECT_EQ(rowNumber(1), QStringLiteral("1"));
    EXPECT_EQ(cell(1, 1), QString()); // beyond the rows: empty, not asked of the layer
}

TEST_F(DataPageTest, FillingAndEmptyingSwapTheButtonsAndRefreshTheGrid) {
    source.tablesExist = true;
    enterDataPage();
    press("BtnGenData");
    EXPECT_EQ(recorder.boxes.back().text, msgTablesFilled());
    EXPECT_FALSE(enabled("BtnGenData"));
    EXPECT_TRUE(enabled("BtnClearData"));
    EXPECT_EQ(window.count(), QStringLiteral("# 1"));
    EXPECT_EQ(cell(2, 1), QStringLiteral("2/1"));

    window.tabs()->setCurrentIndex(2);
    EXPECT_EQ(window.count(), QStringLiteral("# 100000"));
    EXPECT_EQ(model()->rowCount(), 100000);
    EXPECT_EQ(rowNumber(100000), QStringLiteral("100000"));

    press("BtnClearData");
    EXPECT_EQ(recorder.boxes.back().text, msgTablesEmptied());
    EXPECT_TRUE(enabled("BtnGenData"));
    EXPECT_EQ(window.count(), QStringLiteral("# 0"));
    EXPECT_EQ(model()->rowCount(), 1);

    press("BtnDropTables");
    EXPECT_EQ(recorder.boxes.back().text, msgTablesDropped());
    EXPECT_TRUE(enabled("BtnCreateTables"));
    EXPECT_FALSE(window.tabs()->isVisible());
}

TEST_F(DataPageTest, SwitchingTabsReleasesTheOldTableBeforePreparingTheNew) {
    source.tablesExist = true;
    source.dataExist = true;
    enterDataPage();
    source.calls.clear();
    window.tabs()->setCurrentIndex(3);
    ASSERT_GE(source.calls.size(), 2u);
    EXPECT_EQ(source.calls[0], "unprepare 0");
    EXPECT_EQ(source.calls[1], "prepare 3");
    QStringList headers;
    for (int c = 1; c <= model()->columnCount(); ++c)
        headers << header(c);
    EXPECT_EQ(headers, (QStringList{"Tid", "Bid", "Aid", "Delta", "Time", "Remark"}));
    // history holds no rows: one empty numbered row, the label says so.
    EXPECT_EQ(window.count(), QStringLiteral("# 0"));
    EXPECT_EQ(model()->rowCount(), 1);
}

TEST_F(DataPageTest, AReadOnlySourceGetsNoEnabledButton) {
    source.readOnly = true;
    for (bool exist : {false, true}) {
        source.tablesExist = exist;
        source.dataExist = exist;
        window.InBMainItemClick(0, 0);
        enterDataPage();
        for (const char* name : {"BtnCreateTables", "BtnGenData", "BtnClearData", "BtnDropTables"})
            EXPECT_FALSE(enabled(name)) << name << " exist=" << exist;
        EXPECT_EQ(window.tabs()->isVisible(), exist);
    }
    EXPECT_EQ(std::count(source.calls.begin(), source.calls.end(), "canCreate"), 0);
}

TEST_F(DataPageTest, AFailedOperationListsErrorsInsteadOfABoxAndStillRefreshes) {
    source.tablesExist = true;
    enterDataPage();
    int listed = source.listErrorCalls;
    source.operationsSucceed = false;
    source.calls.clear();
    press("BtnGenData");
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(source.listErrorCalls, listed + 1);
    EXPECT_EQ(source.calls.back(), "prepare 0"); // refreshed as after a success
}

TEST_F(DataPageTest, AFailedPrepareKeepsWhatCountAndGridShowed) {
    source.tablesExist = true;
    source.dataExist = true;
    enterDataPage();
    window.tabs()->setCurrentIndex(1);
    ASSERT_EQ(window.count(), QStringLiteral("# 10"));
    source.prepareSucceeds = false;
    window.tabs()->setCurrentIndex(2);
    EXPECT_EQ(window.count(), QStringLiteral("# 10"));
    EXPECT_EQ(model()->rowCount(), 10);
    // Nothing is prepared now, so the grid draws nothing rather than asking the layer.
    EXPECT_FALSE(model()->data(model()->index(0, 0)).isValid());
}

TEST_F(DataPageTest, GridShowsNothingWithoutACommunicatorOrWhileDisabled) {
    source.tablesExist = true;
    source.dataExist = true;
    enterDataPage();
    EXPECT_EQ(cell(1, 1), QStringLiteral("1/1"));
    window.grid()->setEnabled(false);
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_EQ(header(1), QString());
    window.grid()->setEnabled(true);
    window.InBMainItemClick(0, 0); // drops the communicator
    EXPECT_FALSE(model()->data(model()->index(0, 0)).isValid());
    EXPECT_FALSE(model()->headerData(0, Qt::Horizontal).isValid());
    window.grid()->viewport()->repaint(); // painting without a communicator must be harmless
}

TEST_F(DataPageTest, LeavingThePageKeepsTheTablePrepared) {
    source.tablesExist = true;
    enterDataPage();
    window.InBMainItemClick(0, 4);
    ASSERT_NE(window.communicator, nullptr);
    EXPECT_TRUE(window.communicator->isTablePrepared());
    source.calls.clear();
    window.InBMainItemClick(0, 0);
    EXPECT_EQ(source.calls, std::vector<std::string>{"unprepare 0"}); // released by disconnect
}

} // namespace

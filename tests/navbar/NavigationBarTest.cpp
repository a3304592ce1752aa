#include "navbar/NavigationBar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class NavigationBarTest : public ::testing::Test {
protected:
    NavigationBarTest() {
        bar = new TNavigationBar(&parent);
        bar->setPanelCaption(QStringLiteral("Seznam akcí"));
        bar->addItem(QStringLiteral("zero"), 0, 10);
        bar->addItem(QStringLiteral("one"), 1, 11);
        bar->addItem(QStringLiteral("two"), 5, 12); // an image the list does not have
        bar->resize(175, 500);
        parent.show();
        (void)QTest::qWaitForWindowExposed(&parent);
    }

    // The parent sees keys the bar leaves unconsumed.
    class Parent : public QWidget {
    public:
        QList<int> keys;

    protected:
        void keyPressEvent(QKeyEvent* event) override { keys.append(event->key()); }
    } parent;
    TNavigationBar* bar;
};

TEST_F(NavigationBarTest, ItemsKeepCaptionsImagesAndTags) {
    EXPECT_EQ(bar->panelCount(), 1);
    EXPECT_EQ(bar->panelCaption(), QStringLiteral("Seznam akcí"));
    ASSERT_EQ(bar->itemCount(), 3);
    EXPECT_EQ(bar->itemCaption(1), QStringLiteral("one"));
    EXPECT_EQ(bar->itemImageIndex(2), 5);
    EXPECT_EQ(bar->itemTag(2), 12);
    EXPECT_EQ(bar->itemCaption(3), QString());
    EXPECT_EQ(bar->itemTag(-1), 0);
    // Painting with an image index outside the list must not fail.
    bar->setLargeImages({QIcon(), QIcon()});
    bar->repaint();
}

// Short captions keep the designed width; a caption that would need a third line (or a word
// wider than the bar) widens it, and so does a larger font.
TEST_F(NavigationBarTest, WidthFollowsTheTextsAndTheFont) {
    EXPECT_EQ(bar->sizeHint().width(), TNavigationBar::preferredWidth);
    const QString longCaption = QStringLiteral("Generování a prohlížení dat");
    const int item = bar->addItem(longCaption, 0, 13);
    for (int pointSize : {9, 14, 24}) {
        QFont font = bar->font();
        font.setPointSize(pointSize);
        bar->setFont(font);
        bar->resize(bar->sizeHint());
        const QRect area = bar->itemTextRect(item);
        const QRect used =
            QFontMetrics(font).boundingRect(area, TNavigationBar::itemTextFlags, longCaption);
        EXPECT_TRUE(area.contains(used))
            << pointSize << ": " << used.width() << "x" << used.height() << " in " << area.width()
            << "x" << area.height();
    }
    EXPECT_GT(bar->sizeHint().width(), TNavigationBar::preferredWidth); // at 24 points
    EXPECT_EQ(bar->minimumSizeHint().width(), bar->sizeHint().width());
}

TEST_F(NavigationBarTest, SettingTheCurrentItemOnlyMovesTheHighlight) {
    QSignalSpy clicks(bar, &TNavigationBar::itemClick);
    EXPECT_EQ(bar->currentItemIndex(), -1);
    bar->setCurrentItemIndex(2);
    EXPECT_EQ(bar->currentItemIndex(), 2);
    bar->setCurrentItemIndex(3);
    bar->setCurrentItemIndex(-7);
    EXPECT_EQ(bar->currentItemIndex(), 2);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(NavigationBarTest, ClickReportsPanelAndItemUnderTheMouse) {
    QSignalSpy clicks(bar, &TNavigationBar::itemClick);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->itemRect(1).center());
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].toInt(), 0);
    EXPECT_EQ(clicks[0][1].toInt(), 1);
    // The panel caption and the space below the last item are no items.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(80, 2));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(80, 495));
    QTest::mouseClick(bar, Qt::RightButton, {}, bar->itemRect(0).center());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(bar->itemAt(bar->itemRect(2).topLeft()), 2);
    EXPECT_EQ(bar->currentItemIndex(), -1); // a click does not move the highlight by itself
}

TEST_F(NavigationBarTest, KeysArriveAsWindowsCodesAndGoOnToTheParent) {
    QSignalSpy keys(bar, &TNavigationBar::keyDown);
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Return);
    QTest::keyClick(bar, Qt::Key_Enter);
    QTest::keyClick(bar, Qt::Key_Up);
    QTest::keyClick(bar, Qt::Key_Down);
    QTest::keyClick(bar, Qt::Key_A);
    QTest::keyClick(bar, Qt::Key_F5);
    QList<int> codes;
    for (const auto& args : keys)
        codes.append(args[0].toInt());
    EXPECT_EQ(codes, (QList<int>{13, 13, 38, 40, 65, 116}));
    EXPECT_EQ(parent.keys.size(), 6);
    EXPECT_EQ(windowsKeyCode(Qt::Key_Launch0), 0);
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

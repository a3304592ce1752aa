#include "TestWindow.h"

#include "core/Communicator.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "ui/Application.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

TEST(FullStop, AppendedUnlessTheTextEndsInAFullStopOrBelowIt) {
    EXPECT_EQ(messageWithFullStop("Chyba"), "Chyba.");
    EXPECT_EQ(messageWithFullStop("Chyba."), "Chyba.");
    EXPECT_EQ(messageWithFullStop("Chyba!"), "Chyba!");
    EXPECT_EQ(messageWithFullStop("(Chyba)"), "(Chyba)");
    EXPECT_EQ(messageWithFullStop("Chyba "), "Chyba ");
    EXPECT_EQ(messageWithFullStop("Chyba-"), "Chyba-");
    EXPECT_EQ(messageWithFullStop("a/b"), "a/b.");
    EXPECT_EQ(messageWithFullStop("Chyba?"), "Chyba?.");
    // Letters above ASCII sort after the full stop as unsigned bytes.
    EXPECT_EQ(messageWithFullStop(utf8ToCp1250("Nelze uložit: č")),
              utf8ToCp1250("Nelze uložit: č."));
    EXPECT_EQ(messageWithFullStop(""), "");
}

// A button whose click raises, as a handler of the window would.
class RaisingButton : public QPushButton {
public:
    std::function<void()> raise;
    bool leaveHourglass = false;

protected:
    void mouseReleaseEvent(QMouseEvent*) override {
        if (leaveHourglass)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        raise();
    }
};

class ExceptionHandlerTest : public ::testing::Test {
protected:
    ExceptionHandlerTest() {
        setApplicationTitle(utf8ToCp1250("Zkušební aplikace"));
        button.resize(80, 30);
        button.show();
        (void)QTest::qWaitForWindowExposed(&button);
    }
    void clickButton() { QTest::mouseClick(&button, Qt::LeftButton); }

    RecordingBoxes recorder;
    RaisingButton button;
};

TEST_F(ExceptionHandlerTest, ShowsTheMessageCaptionedWithTheTitleAndTakesDownTheHourglass) {
    button.raise = [] { throw ECommunicator(msgNotConnected()); };
    button.leaveHourglass = true;
    QApplication::setOverrideCursor(Qt::WaitCursor); // one more, as nested guards might leave
    clickButton();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].kind, utf8ToCp1250("Zkušební aplikace"));
    EXPECT_EQ(recorder.boxes[0].text, msgNotConnected()); // already ends in a full stop
}

TEST_F(ExceptionHandlerTest, ForeignExceptionsShowTheirTextToo) {
    button.raise = [] { throw std::runtime_error("disk full"); };
    clickButton();
    button.raise = [] { throw 42; };
    clickButton();
    button.raise = [] { throw std::bad_alloc(); };
    clickButton();
    ASSERT_EQ(recorder.boxes.size(), 3u);
    EXPECT_EQ(recorder.boxes[0].text, "disk full.");
    EXPECT_EQ(recorder.boxes[1].text, utf8ToCp1250("Neznámá výjimka."));
    EXPECT_EQ(recorder.boxes[2].text, utf8ToCp1250("Nedostatek paměti."));
    // The application goes on handling events afterwards.
    button.raise = [] {};
    clickButton();
    EXPECT_EQ(recorder.boxes.size(), 3u);
}

} // namespace

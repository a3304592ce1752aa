// The bench as its user meets it, end to end: the real OLE DB window over the real service
// components and the embedded SQLite provider, driven by clicks in a fresh working directory.
// Along the way it checks the operation log, every box shown, Options.ini and, from outside
// the OLE DB stack, the database file itself.

#include "DatabaseProbe.h"
#include "JourneyWindow.h"
#include "Screenshots.h"
#include "support/MessageBoxRecorder.h"

#include "DataLinksHook.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "oledb/OleDbApi.h"
#include "ui/MessageBoxes.h"
#include "ui/WrappingButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string sqliteDescription = "Vantrel Embedded OLE DB Provider for SQLite";
// The refusal an optimistic row set gives when the row changed since it was fetched, and the
// one a row set gives under the locking policy while another holds the row it changed.
const std::string concurrencyViolation = "0x80040e38";
const std::string resourceLocked = "0x80040e92";

std::string cp(const char* utf8) {
    return utf8ToCp1250(utf8);
}

// Lines as UTF-8, so that a failure shows them readably.
std::vector<std::string> readable(const std::vector<std::string>& cp1250Lines) {
    std::vector<std::string> lines;
    for (const std::string& line : cp1250Lines) {
        lines.push_back(cp1250ToUtf8(line));
    }
    return lines;
}

struct TShownBox {
    std::string kind; // "information" or "error"
    std::string text;
    bool operator==(const TShownBox&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TShownBox& box) {
    return out << box.kind << ": " << cp1250ToUtf8(box.text);
}

// The window's boxes, recorded instead of shown.
class TShownBoxes : public TMessageBoxes {
public:
    void information(QWidget*, const std::string& text) override {
        shown.push_back({"information", text});
    }
    void error(QWidget*, const std::string& text) override { shown.push_back({"error", text}); }
    void errorWithCaption(QWidget*, const std::string&, const std::string& text) override {
        shown.push_back({"error", text});
    }
    std::vector<TShownBox> shown;
};

// The user in front of the Data Links dialog: looks at what it offers, types a data source
// and picks a concurrency policy when told to, and presses OK.
struct TDialogUser {
    int shown = 0;
    std::string offeredDataSource;
    std::string typedDataSource;   // empty: keep the provider's default
    std::string pickedConcurrency; // empty: keep the provider's default
};
TDialogUser dialogUser;

// The value field of a property on the dialog's All page.
void setAllPageValue(QDialog* dialog, const QString& name, const QString& value) {
    auto* table = dialog->findChild<QTableWidget*>(vantrel::services::dataLinksNames::allTable);
    ASSERT_NE(table, nullptr);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0) == nullptr || table->item(row, 0)->text() != name) {
            continue;
        }
        QWidget* field = table->cellWidget(row, 1);
        if (auto* combo = qobject_cast<QComboBox*>(field)) {
            combo->setCurrentText(value);
            return;
        }
        auto* edit = qobject_cast<QLineEdit*>(field);
        ASSERT_NE(edit, nullptr);
        edit->setText(value);
        return;
    }
    ADD_FAILURE() << "the All page lists no " << name.toStdString();
}

void answerDataLinks(QDialog* dialog) {
    ++dialogUser.shown;
    namespace names = vantrel::services::dataLinksNames;
    auto* edit = dialog->findChild<QLineEdit*>(names::dataSource);
    if (edit != nullptr) {
        dialogUser.offeredDataSource = fromQString(edit->text());
        if (!dialogUser.typedDataSource.empty()) {
            edit->setText(toQString(dialogUser.typedDataSource));
        }
    }
    if (!dialogUser.pickedConcurrency.empty()) {
        setAllPageValue(dialog, QStringLiteral("Concurrency"),
                        toQString(dialogUser.pickedConcurrency));
    }
    auto* tabs = dialog->findChild<QTabWidget*>(names::tabs);
    QWidget* connectionPage = dialog->findChild<QWidget*>(names::connectionPage);
    if (tabs != nullptr && connectionPage != nullptr && dialogUser.shown == 1) {
        const int shownTab = tabs->currentIndex();
        tabs->setCurrentWidget(connectionPage);
        EXPECT_TRUE(snap(dialog, QStringLiteral("6-data-links-dialog")));
        tabs->setCurrentIndex(shownTab);
    }
    dialog->accept();
}

class JourneyTest : public ::testing::Test {
protected:
    void SetUp() override {
        before = fs::current_path();
        char pattern[] = "/tmp/vantrel-journey-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        fs::current_path(directory);
        databaseFile = directory / "vantrel.db";
        setMessageBoxes(&windowBoxes);
        dialogUser = TDialogUser();
        previousHook = vantrel::services::setDataLinksShownHook(&answerDataLinks);
    }
    void TearDown() override {
        window.reset();
        vantrel::services::setDataLinksShownHook(previousHook);
        setMessageBoxes(nullptr);
        fs::current_path(before);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    void startBench() {
        window = std::make_unique<TJourneyWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        loggedSoFar = 0;
    }
    void closeBench() {
        window->close();
        window.reset();
    }

    std::string settingsText() const {
        std::ifstream in(directory / "Options.ini", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::string settingsWith(const std::string& connectionString) {
        return "[General]\nDriver=" + sqliteDescription + "\nConnectionString=" + connectionString +
               "\n";
    }

    // The operation log's lines since the last call carry exactly these operation names, in
    // this order, each followed by ": " and a duration in the form h:nn:ss:zzz.
    void expectLogged(const std::vector<std::string>& names) {
        static const std::regex line("^(.+): [0-9]+:[0-5][0-9]:[0-5][0-9]:[0-9]{3}$");
        const std::vector<std::string> all = TJourneyWindow::lines(window->MeOpDuration);
        ASSERT_GE(all.size(), loggedSoFar);
        std::vector<std::string> logged;
        for (std::size_t i = loggedSoFar; i < all.size(); ++i) {
            std::smatch parts;
            ASSERT_TRUE(std::regex_match(all[i], parts, line)) << cp1250ToUtf8(all[i]);
            logged.push_back(parts[1]);
        }
        loggedSoFar = all.size();
        EXPECT_EQ(readable(logged), readable(names));
    }
    // The window showed exactly these boxes since the last call, and the OLE DB layer none.
    void expectBoxes(const std::vector<TShownBox>& boxes) {
        EXPECT_EQ(windowBoxes.shown, boxes);
        windowBoxes.shown.clear();
        for (const TRecordedBox& box : oledbBoxes.boxes()) {
            ADD_FAILURE() << "OLE DB box: " << cp1250ToUtf8(box.text);
        }
        oledbBoxes.clear();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    }
    // Every text of the page shows whole: a wrapped label is as tall as its lines need and a
    // button's caption fits between its edges.
    void expectNothingCutOff(QWidget* page) {
        QApplication::processEvents();
        for (const QLabel* label : page->findChildren<QLabel*>()) {
            if (label->isVisible() && label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                    << label->objectName().toStdString() << " is cut off";
            }
        }
        for (const QPushButton* button : page->findChildren<QPushButton*>()) {
            if (!button->isVisible()) {
                continue;
            }
            const QString caption = QString(button->text()).remove(QLatin1Char('&'));
            const QFontMetrics metrics = button->fontMetrics();
            if (qobject_cast<const TWrappingButton*>(button) == nullptr) {
                EXPECT_LE(metrics.horizontalAdvance(caption), button->width() - 4)
                    << button->objectName().toStdString() << " is cut off";
                continue;
            }
            // A wrapping caption: every word fits the width, and all its lines the height.
            const QRect lines = metrics.boundingRect(QRect(0, 0, button->width() - 4, 10000),
                                                     Qt::TextWordWrap, caption);
            EXPECT_LE(lines.width(), button->width() - 4)
                << button->objectName().toStdString() << " is cut off";
            EXPECT_LE(lines.height(), button->height() - 4)
                << button->objectName().toStdString() << " is cut off";
        }
    }
    void expectPage(int page) {
        EXPECT_EQ(window->PCMain->currentIndex(), page);
        EXPECT_EQ(window->InBMain->currentItemIndex(), page);
    }
    // Which of create, fill, empty and drop the data page offers.
    void expectDataButtons(bool create, bool fill, bool empty, bool drop) {
        EXPECT_EQ(window->BtnCreateTables->isEnabled(), create);
        EXPECT_EQ(window->BtnGenData->isEnabled(), fill);
        EXPECT_EQ(window->BtnClearData->isEnabled(), empty);
        EXPECT_EQ(window->BtnDropTables->isEnabled(), drop);
    }
    void expectTableRows(long long branches, long long tellers, long long accounts,
                         long long history) {
        const TDatabaseProbe probe(database().string());
        EXPECT_EQ(probe.rowCount("branches"), branches);
        EXPECT_EQ(probe.rowCount("tellers"), tellers);
        EXPECT_EQ(probe.rowCount("accounts"), accounts);
        EXPECT_EQ(probe.rowCount("history"), history);
    }
    void expectNoTables() {
        const TDatabaseProbe probe(database().string());
        EXPECT_EQ(probe.firstValue("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND "
                                   "name IN ('branches','tellers','accounts','history')"),
                  "0");
    }
    // The user picks the second test type with the keyboard.
    void pickSecondTestType() {
        window->CBType->setFocus();
        QTest::keyClick(window->CBType, Qt::Key_Down);
        ASSERT_EQ(window->CBType->currentIndex(), 1);
        EXPECT_EQ(fromQString(window->LblTypeDescr->text()), msgConflictTypeRowInSet());
    }
    // The progress list of a conflict test whose second change the provider refused with
    // `refusal`; side 1 has written the generated value back and no other teller was touched.
    void expectSideTwoRefused(int type, const std::string& refusal) {
        const std::vector<std::string> expected = {
            type == 0 ? cp("1: Vybrání řádku tabulky tellers kde Tid=1")
                      : cp("1: Vybrání všech řádků tabulky tellers"),
            cp("2: Vybrání řádku tabulky tellers kde Tid=1"),
            cp("1: Přemístění kurzoru na řádek s Tid=1"),
            cp("2: Přemístění kurzoru na řádek s Tid=1"),
            cp("1: Měním řádek ..."),
            cp("1: Řádek změněn"),
            cp("2: Měním řádek ..."),
            // The refusal's dump begins with a line feed, so it starts a line of its own.
            cp("2: Při změně řádku došlo k chybě - "),
        };
        const std::vector<std::string> shown = TJourneyWindow::lines(window->MeCRProgress);
        ASSERT_GT(shown.size(), expected.size()) << "the refusal is followed by its dump";
        EXPECT_EQ(readable({shown.begin(), shown.begin() + expected.size()}), readable(expected));
        const std::string progress = fromQString(window->MeCRProgress->toPlainText());
        EXPECT_NE(progress.find("HResult: " + refusal), std::string::npos)
            << cp1250ToUtf8(progress);
        EXPECT_EQ(progress.find(cp("2: Řádek změněn")), std::string::npos);
        const TDatabaseProbe probe(database().string());
        EXPECT_EQ(probe.firstValue("SELECT Remark FROM tellers WHERE Tid=1"), "filler");
        EXPECT_EQ(probe.firstValue("SELECT COUNT(*) FROM tellers WHERE Remark='filler'"), "10");
    }
    const fs::path& database() const { return databaseFile; }

    // The stages of the journey, in the order a user goes through them.
    void firstStart();
    void connectionTestThroughTheDialog();
    void firstVisitOfTheDataPage();
    void createTables();
    void fillTables();
    void browseEveryTab();
    void conflictTestOfBothTypes();
    void informationPage();
    void emptyTables();
    void conflictTestOnEmptyTables();
    void dropTables();
    void leaveTheConnectionAndComeBack();
    void closeAndStartAgain();

    fs::path before;
    fs::path directory;
    fs::path databaseFile; // where the provider keeps the bench's tables
    TShownBoxes windowBoxes;
    TMessageBoxRecorder oledbBoxes;
    vantrel::services::DataLinksShownHook previousHook = nullptr;
    std::unique_ptr<TJourneyWindow> window;
    std::size_t loggedSoFar = 0;
    std::string connectionString;
};

void JourneyTest::firstStart() {
    ASSERT_FALSE(fs::exists("Options.ini"));
    ASSERT_NO_FATAL_FAILURE(startBench());
    expectPage(TFoMainAncestor::pageMain);
    ASSERT_GT(window->CBDrivers->count(), 0);
    EXPECT_EQ(window->CBDrivers->currentIndex(), 0) << "the first provider in sorted order";
    EXPECT_EQ(fromQString(window->CBDrivers->currentText()), sqliteDescription);
    EXPECT_TRUE(window->MeConnStr->toPlainText().isEmpty());
    EXPECT_EQ(settingsText(), settingsWith(""));
    EXPECT_FALSE(window->communicator) << "nothing connects at start";
    expectLogged({});
    expectBoxes({});
}

void JourneyTest::connectionTestThroughTheDialog() {
    TJourneyWindow::clickButton(window->BtnTestConnectivity);
    EXPECT_EQ(dialogUser.shown, 1) << "no stored string: the provider's dialog asks";
    EXPECT_EQ(dialogUser.offeredDataSource, "vantrel.db");
    expectBoxes({{"information", msgConnectionTestOk()}});
    expectLogged({opConnect(), opDisconnect()});
    EXPECT_FALSE(window->communicator) << "the test's connection was its own";

    connectionString = fromQString(window->MeConnStr->toPlainText());
    EXPECT_NE(connectionString.find("vantrel.db"), std::string::npos) << connectionString;
    EXPECT_EQ(fromQString(window->EdConnStr->text()), connectionString);
    EXPECT_EQ(settingsText(), settingsWith(connectionString));
    EXPECT_TRUE(fs::exists(database()));
    expectNothingCutOff(window->PCMain->widget(TFoMainAncestor::pageMain));
    EXPECT_TRUE(snap(window.get(), QStringLiteral("1-data-source")));
}

void JourneyTest::firstVisitOfTheDataPage() {
    window->clickNavigationItem(TFoMainAncestor::pageData);
    expectPage(TFoMainAncestor::pageData);
    EXPECT_EQ(dialogUser.shown, 1) << "the stored string connects without the dialog";
    ASSERT_TRUE(window->communicator && window->communicator->isConnected());
    // Without tables there is nothing to browse: the preparation fails quietly.
    expectLogged({opConnect(), opPrepareTableForBrowsing()});
    expectBoxes({});
    expectDataButtons(true, false, false, false);
    EXPECT_FALSE(window->PnlTables->isVisible());
    EXPECT_EQ(settingsText(), settingsWith(connectionString)) << "a stored string is not rewritten";
    expectNoTables();
}

void JourneyTest::createTables() {
    TJourneyWindow::clickButton(window->BtnCreateTables);
    expectBoxes({{"information", msgTablesCreated()}});
    expectLogged({opCreateTables(), opPrepareTableForBrowsing()});
    expectDataButtons(false, true, false, true);
    EXPECT_TRUE(window->PnlTables->isVisible());
    EXPECT_EQ(window->TCTables->currentIndex(), 0);
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 0");
    // An empty table shows its headers and one empty row numbered 1.
    EXPECT_EQ(window->gridDataColumns(), 3);
    EXPECT_EQ(window->gridDataRows(), 1);
    EXPECT_EQ(window->gridHeader(1), "Bid");
    EXPECT_EQ(window->gridHeader(3), "Remark");
    EXPECT_EQ(window->gridRowNumber(1), "1");
    EXPECT_EQ(window->gridCell(1, 1), "");
    expectTableRows(0, 0, 0, 0);
}

void JourneyTest::fillTables() {
    TJourneyWindow::clickButton(window->BtnGenData);
    expectBoxes({{"information", msgTablesFilled()}});
    expectLogged({opGenerateData(), opPrepareTableForBrowsing()});
    expectDataButtons(false, false, true, true);
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 1") << "the current tab shows at once";
    EXPECT_EQ(window->gridDataRows(), 1);
    EXPECT_EQ(window->gridCell(1, 1), "0");
    EXPECT_EQ(window->gridCell(2, 1), "0");
    EXPECT_EQ(window->gridCell(3, 1), "filler");
    expectTableRows(1, 10, 100000, 0);
    const TDatabaseProbe probe(database().string());
    EXPECT_EQ(probe.firstValue("SELECT COUNT(*) FROM accounts WHERE Bid=0 AND Abalance=0 AND "
                               "Remark='filler' AND Aid BETWEEN 0 AND 99999"),
              "100000");
}

void JourneyTest::browseEveryTab() {
    window->clickTableTab(1);
    expectLogged({opPrepareTableForBrowsing()});
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 10");
    EXPECT_EQ(window->gridDataColumns(), 4);
    EXPECT_EQ(window->gridHeader(1), "Tid");
    EXPECT_EQ(window->gridHeader(3), "Tbalance");
    EXPECT_EQ(window->gridCell(1, 10), "9");
    EXPECT_EQ(window->gridCell(4, 10), "filler");
    EXPECT_EQ(window->gridCell(1, 11), "") << "past the last row";

    window->clickTableTab(2);
    expectLogged({opPrepareTableForBrowsing()});
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 100000");
    EXPECT_EQ(window->gridDataRows(), 100000);
    EXPECT_EQ(window->gridHeader(1), "Aid");
    // The far end of the table, then back to its start: rows come from blocks of held rows.
    EXPECT_EQ(window->gridCell(1, 100000), "99999");
    EXPECT_EQ(window->gridRowNumber(100000), "100000");
    EXPECT_EQ(window->gridCell(1, 1), "0");
    EXPECT_EQ(window->gridCell(1, 50001), "50000");
    EXPECT_EQ(window->gridCell(4, 50001), "filler");
    expectNothingCutOff(window->PCMain->widget(TFoMainAncestor::pageData));
    EXPECT_TRUE(snap(window.get(), QStringLiteral("2-data")));

    window->clickTableTab(3);
    expectLogged({opPrepareTableForBrowsing()});
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 0");
    ASSERT_EQ(window->gridDataColumns(), 6);
    const char* historyColumns[] = {"Tid", "Bid", "Aid", "Delta", "Time", "Remark"};
    for (int column = 1; column <= 6; ++column) {
        EXPECT_EQ(window->gridHeader(column), historyColumns[column - 1]);
    }
    EXPECT_EQ(window->gridDataRows(), 1);
    EXPECT_EQ(window->gridCell(1, 1), "");
    expectBoxes({});
}

void JourneyTest::conflictTestOfBothTypes() {
    window->clickNavigationItem(TFoMainAncestor::pageRecordLock);
    expectPage(TFoMainAncestor::pageRecordLock);
    expectLogged({}); // the connection stays open among the pages that need it
    EXPECT_EQ(window->CBType->currentIndex(), 0);
    EXPECT_EQ(fromQString(window->LblTypeDescr->text()), msgConflictTypeSameRow());

    // The embedded provider is optimistic by default: side 2 still holds the values it fetched
    // before side 1 changed the row, so its change is refused.

    for (int type = 0; type < 2; ++type) {
        SCOPED_TRACE("test type " + std::to_string(type));
        if (type == 1) {
            ASSERT_NO_FATAL_FAILURE(pickSecondTestType());
        }
        TJourneyWindow::clickButton(window->BtnStartCR);
        expectBoxes({{"information", msgTestFinished()}});
        expectLogged({opTestConcurrentEdit()});

        ASSERT_NO_FATAL_FAILURE(expectSideTwoRefused(type, concurrencyViolation));
        if (type == 0) {
            expectNothingCutOff(window->PCMain->widget(TFoMainAncestor::pageRecordLock));
            EXPECT_TRUE(snap(window.get(), QStringLiteral("3-conflict-test")));
        }
    }
}

void JourneyTest::informationPage() {
    const char* captions[] = {"Jméno použitého ovladače",
                              "Verze použitého ovladače",
                              "Verze ODBC podporovaná ovladačem",
                              "Jméno datového zdroje",
                              "Je datový zdroj pouze pro čtení",
                              "Jméno DBMS produktu, ke kterému přistupujeme",
                              "Verze DBMS produktu",
                              "Jméno serveru, ke kterému jsme připojeni",
                              "Jméno databáze"};
    // Two visits, with the about page between them: the facts are read anew each time and
    // the memo holds nine lines, not eighteen.
    for (int visit = 0; visit < 2; ++visit) {
        SCOPED_TRACE("visit " + std::to_string(visit + 1));
        window->clickNavigationItem(TFoMainAncestor::pageInfo);
        expectPage(TFoMainAncestor::pageInfo);
        expectLogged({opGetInfo()});
        expectBoxes({});
        const std::vector<std::string> lines = TJourneyWindow::lines(window->MeInfo);
        ASSERT_EQ(lines.size(), 9u);
        for (std::size_t i = 0; i < 9; ++i) {
            const std::string caption = cp(captions[i]) + ": ";
            EXPECT_EQ(lines[i].substr(0, caption.size()), caption) << cp1250ToUtf8(lines[i]);
        }
        EXPECT_EQ(lines[3], cp("Jméno datového zdroje: vantrel.db"));
        EXPECT_EQ(lines[4], cp("Je datový zdroj pouze pro čtení: N"));
        EXPECT_EQ(lines[5], cp("Jméno DBMS produktu, ke kterému přistupujeme: SQLite"));
        EXPECT_GT(lines[0].size(), cp(captions[0]).size() + 2) << "the provider names itself";
        EXPECT_GT(lines[6].size(), cp(captions[6]).size() + 2) << "the DBMS gives its version";
        if (visit == 0) {
            expectNothingCutOff(window->PCMain->widget(TFoMainAncestor::pageInfo));
            EXPECT_TRUE(snap(window.get(), QStringLiteral("4-information")));
            window->clickNavigationItem(TFoMainAncestor::pageAbout);
            expectPage(TFoMainAncestor::pageAbout);
            expectLogged({});
            expectNothingCutOff(window->PCMain->widget(TFoMainAncestor::pageAbout));
            EXPECT_TRUE(snap(window.get(), QStringLiteral("5-about")));
        }
    }
}

void JourneyTest::emptyTables() {
    window->clickNavigationItem(TFoMainAncestor::pageData);
    expectPage(TFoMainAncestor::pageData);
    expectLogged({opPrepareTableForBrowsing()}); // history, the tab left open
    EXPECT_EQ(window->TCTables->currentIndex(), 3);
    window->clickTableTab(1);
    expectLogged({opPrepareTableForBrowsing()});
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 10");

    TJourneyWindow::clickButton(window->BtnClearData);
    expectBoxes({{"information", msgTablesEmptied()}});
    expectLogged({opClearData(), opPrepareTableForBrowsing()});
    expectDataButtons(false, true, false, true);
    EXPECT_TRUE(window->PnlTables->isVisible());
    EXPECT_EQ(fromQString(window->LblCount->text()), "# 0");
    EXPECT_EQ(window->gridCell(1, 1), "");
    expectTableRows(0, 0, 0, 0);
}

void JourneyTest::conflictTestOnEmptyTables() {
    window->clickNavigationItem(TFoMainAncestor::pageRecordLock);
    expectLogged({});
    const QString earlierRun = window->MeCRProgress->toPlainText();
    TJourneyWindow::clickButton(window->BtnStartCR);
    expectBoxes({{"information", msgTablesEmptyOrMissing()}});
    expectLogged({});
    EXPECT_EQ(window->MeCRProgress->toPlainText(), earlierRun) << "the last run's list stays";
}

void JourneyTest::dropTables() {
    window->clickNavigationItem(TFoMainAncestor::pageData);
    expectLogged({opPrepareTableForBrowsing()});
    TJourneyWindow::clickButton(window->BtnDropTables);
    expectBoxes({{"information", msgTablesDropped()}});
    expectLogged({opDropTables(), opPrepareTableForBrowsing()});
    expectDataButtons(true, false, false, false);
    EXPECT_FALSE(window->PnlTables->isVisible());
    expectNoTables();
}

void JourneyTest::leaveTheConnectionAndComeBack() {
    window->clickNavigationItem(TFoMainAncestor::pageMain);
    expectPage(TFoMainAncestor::pageMain);
    expectLogged({opDisconnect()});
    EXPECT_FALSE(window->communicator);

    window->clickNavigationItem(TFoMainAncestor::pageData);
    expectPage(TFoMainAncestor::pageData);
    expectLogged({opConnect(), opPrepareTableForBrowsing()});
    ASSERT_TRUE(window->communicator && window->communicator->isConnected());
    expectDataButtons(true, false, false, false);
    expectBoxes({});
    EXPECT_EQ(dialogUser.shown, 1);
}

void JourneyTest::closeAndStartAgain() {
    ASSERT_NO_FATAL_FAILURE(closeBench());
    EXPECT_EQ(settingsText(), settingsWith(connectionString)) << "leaving writes nothing";
    // The closed window let go of the database and of its COM apartment.
    EXPECT_TRUE(TDatabaseProbe(database().string()).canLockExclusively());
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();

    ASSERT_NO_FATAL_FAILURE(startBench());
    EXPECT_EQ(fromQString(window->CBDrivers->currentText()), sqliteDescription);
    EXPECT_EQ(fromQString(window->MeConnStr->toPlainText()), connectionString);
    window->clickNavigationItem(TFoMainAncestor::pageData);
    expectPage(TFoMainAncestor::pageData);
    ASSERT_TRUE(window->communicator && window->communicator->isConnected());
    EXPECT_EQ(dialogUser.shown, 1) << "the restored string connects without the dialog";
    expectLogged({opConnect(), opPrepareTableForBrowsing()});
    expectBoxes({});
    expectDataButtons(true, false, false, false);
    EXPECT_EQ(settingsText(), settingsWith(connectionString));
    closeBench();
}

// Each stage builds on the one before; a failure names its stage and ends the journey.
#define JOURNEY_STAGE(stage)                                                                       \
    do {                                                                                           \
        SCOPED_TRACE("stage " #stage);                                                             \
        ASSERT_NO_FATAL_FAILURE(stage());                                                          \
    } while (false)

TEST_F(JourneyTest, FromFirstStartThroughEveryPageToASecondStart) {
    JOURNEY_STAGE(firstStart);
    JOURNEY_STAGE(connectionTestThroughTheDialog);
    JOURNEY_STAGE(firstVisitOfTheDataPage);
    JOURNEY_STAGE(createTables);
    JOURNEY_STAGE(fillTables);
    JOURNEY_STAGE(browseEveryTab);
    JOURNEY_STAGE(conflictTestOfBothTypes);
    JOURNEY_STAGE(informationPage);
    JOURNEY_STAGE(emptyTables);
    JOURNEY_STAGE(conflictTestOnEmptyTables);
    JOURNEY_STAGE(dropTables);
    JOURNEY_STAGE(leaveTheConnectionAndComeBack);
    JOURNEY_STAGE(closeAndStartAgain);
}

} // namespace

namespace {

// A user who knows what they want: on the very first page visit the dialog asks, and they give
// a file of their own and the locking policy. Both reach the connection string, Options.ini and
// the provider, whose conflict test then answers with the lock.
TEST_F(JourneyTest, AFileAndTheLockingPolicyChosenInTheDialogOfTheFirstPageVisit) {
    databaseFile = directory / "locking.db";
    dialogUser.typedDataSource = databaseFile.string();
    dialogUser.pickedConcurrency = "Locking";
    ASSERT_NO_FATAL_FAILURE(startBench());

    window->clickNavigationItem(TFoMainAncestor::pageRecordLock);
    expectPage(TFoMainAncestor::pageRecordLock);
    EXPECT_EQ(dialogUser.shown, 1);
    ASSERT_TRUE(window->communicator && window->communicator->isConnected());
    expectLogged({opConnect()});
    expectBoxes({});
    connectionString = fromQString(window->MeConnStr->toPlainText());
    EXPECT_NE(connectionString.find("Data Source=" + databaseFile.string()), std::string::npos)
        << connectionString;
    EXPECT_NE(connectionString.find("Concurrency=Locking"), std::string::npos) << connectionString;
    EXPECT_EQ(settingsText(), settingsWith(connectionString));
    EXPECT_FALSE(fs::exists(directory / "vantrel.db")) << "the default was not used";
    EXPECT_EQ(fromQString(window->LblTypeDescr->text()), msgConflictTypeSameRow());

    // Nothing to test yet: the page says so and leaves its list alone.
    TJourneyWindow::clickButton(window->BtnStartCR);
    expectBoxes({{"information", msgTablesEmptyOrMissing()}});
    expectLogged({});
    EXPECT_TRUE(window->MeCRProgress->toPlainText().isEmpty());

    window->clickNavigationItem(TFoMainAncestor::pageData);
    TJourneyWindow::clickButton(window->BtnCreateTables);
    TJourneyWindow::clickButton(window->BtnGenData);
    expectBoxes({{"information", msgTablesCreated()}, {"information", msgTablesFilled()}});
    expectLogged({opPrepareTableForBrowsing(), opCreateTables(), opPrepareTableForBrowsing(),
                  opGenerateData(), opPrepareTableForBrowsing()});
    expectTableRows(1, 10, 100000, 0);

    window->clickNavigationItem(TFoMainAncestor::pageRecordLock);
    ASSERT_NO_FATAL_FAILURE(pickSecondTestType());
    TJourneyWindow::clickButton(window->BtnStartCR);
    expectBoxes({{"information", msgTestFinished()}});
    expectLogged({opTestConcurrentEdit()});
    ASSERT_NO_FATAL_FAILURE(expectSideTwoRefused(1, resourceLocked));
    closeBench();
}

} // namespace

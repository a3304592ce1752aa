// TFoMain on the real SQLite provider and service components: provider list, settings file,
// both connection roads through the window, the conflict-test page, creation and destruction.

#include "support/FailingProvider.h"
#include "support/MessageBoxRecorder.h"

#include "DataLinksHook.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "oledb/OLEDBCommunicator.h"
#include "ui/Fo_Main.h"
#include "ui/MessageBoxes.h"
#include "ui/OleDbMessageBox.h"
#include "ui/QtText.h"

#include "vantrel/ClassRegistry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string sqliteDescription = "Vantrel Embedded OLE DB Provider for SQLite";

class TTestFoMain : public TFoMain {
public:
    using TFoMain::afterConnect;
    using TFoMain::BtnStartCRClick;
    using TFoMain::BtnTestConnectivityClick;
    using TFoMain::CBDrivers;
    using TFoMain::CBDriversChange;
    using TFoMain::CBType;
    using TFoMain::CBTypeChange;
    using TFoMain::communicator;
    using TFoMain::EdConnStr;
    using TFoMain::InBMainItemClick;
    using TFoMain::Label9;
    using TFoMain::LblNote;
    using TFoMain::LblTypeDescr;
    using TFoMain::MeConnStr;
    using TFoMain::MeCRProgress;
    using TFoMain::MeOpDuration;
    using TFoMain::PCMain;

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const QStringList texts = MeOpDuration->toPlainText().split(QLatin1Char('\n'));
        for (const QString& line : texts) {
            if (!line.isEmpty()) {
                lines.push_back(fromQString(line));
            }
        }
        return lines;
    }
    int selectItemWithText(const std::string& text) {
        const int index = CBDrivers->findText(toQString(text), Qt::MatchExactly);
        CBDrivers->setCurrentIndex(index);
        return index;
    }
};

struct TUiBox {
    std::string kind;
    std::string text;
    std::string caption; // of the exception handler's box only
};

class TUiBoxes : public TMessageBoxes {
public:
    void information(QWidget*, const std::string& text) override {
        shown.push_back({"information", text, ""});
    }
    void error(QWidget*, const std::string& text) override { shown.push_back({"error", text, ""}); }
    void errorWithCaption(QWidget*, const std::string& caption, const std::string& text) override {
        shown.push_back({"error", text, caption});
    }
    std::vector<TUiBox> shown;
};

// What the scripted user does when the Data Links dialog appears.
struct TDialogScript {
    int shown = 0;
    bool cancel = false;
    std::string dataSource; // empty: keep what the dialog offers
    std::string offered;    // what the dialog offered
};
TDialogScript dialogScript;

void driveDialog(QDialog* dialog) {
    ++dialogScript.shown;
    auto* edit = dialog->findChild<QLineEdit*>(vantrel::services::dataLinksNames::dataSource);
    if (edit != nullptr) {
        dialogScript.offered = fromQString(edit->text());
        if (!dialogScript.dataSource.empty()) {
            edit->setText(toQString(dialogScript.dataSource));
        }
    }
    if (dialogScript.cancel) {
        dialog->reject();
    } else {
        dialog->accept();
    }
}

class FoMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        before = fs::current_path();
        char pattern[] = "/tmp/vantrel-fomain-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        fs::current_path(directory);
        setMessageBoxes(&uiBoxes);
        dialogScript = TDialogScript();
        previousHook = vantrel::services::setDataLinksShownHook(&driveDialog);
    }
    void TearDown() override {
        vantrel::services::setDataLinksShownHook(previousHook);
        setMessageBoxes(nullptr);
        fs::current_path(before);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    std::string settingsText() const {
        std::ifstream in(directory / "Options.ini", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeSettings(const std::string& text) {
        std::ofstream out(directory / "Options.ini", std::ios::binary);
        out << text;
    }
    static bool startsWith(const std::string& text, const std::string& prefix) {
        return text.rfind(prefix, 0) == 0;
    }

    fs::path before;
    fs::path directory;
    TUiBoxes uiBoxes;
    TMessageBoxRecorder oledbBoxes;
    vantrel::services::DataLinksShownHook previousHook = nullptr;
};

TEST_F(FoMainTest, FirstStartSelectsTheFirstProviderAndWritesAPrivateSettingsFile) {
    TTestFoMain window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vantrel"));
    ASSERT_GT(window.CBDrivers->count(), 0);
    EXPECT_EQ(window.CBDrivers->currentIndex(), 0);
    EXPECT_EQ(fromQString(window.CBDrivers->currentText()), sqliteDescription);
    EXPECT_TRUE(window.EdConnStr->text().isEmpty());
    EXPECT_EQ(settingsText(), "[General]\nDriver=" + sqliteDescription + "\nConnectionString=\n");
    struct stat info {};
    ASSERT_EQ(stat("Options.ini", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(uiBoxes.shown.empty());
    EXPECT_EQ(oledbBoxes.count(), 0u);
}

TEST_F(FoMainTest, ProviderListIsSortedAndEveryItemCarriesItsOwnProvidersIndex) {
    failing::TRegistration failingProvider;
    TTestFoMain window;
    for (int i = 1; i < window.CBDrivers->count(); ++i) {
        EXPECT_LE(QString::compare(window.CBDrivers->itemText(i - 1), window.CBDrivers->itemText(i),
                                   Qt::CaseInsensitive),
                  0);
    }
    ASSERT_NE(providerNames, nullptr);
    const int failingItem = window.CBDrivers->findText(toQString(failing::description));
    ASSERT_GE(failingItem, 0);
    const int index = window.CBDrivers->itemData(failingItem).toInt();
    ASSERT_LT(static_cast<std::size_t>(index), providerNames->size());
    EXPECT_EQ((*providerNames)[index], failing::progId);
}

TEST_F(FoMainTest, FirstConnectionAsksTheDialogThenStoresAndShowsItsString) {
    const std::string database = (directory / "dialog.db").string();
    {
        TTestFoMain window;
        dialogScript.dataSource = database;
        window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
        EXPECT_EQ(dialogScript.shown, 1);
        EXPECT_EQ(dialogScript.offered, "vantrel.db") << "the provider's default is offered";
        ASSERT_TRUE(window.communicator && window.communicator->isConnected());
        EXPECT_EQ(window.PCMain->currentIndex(), TFoMainAncestor::pageRecordLock);
        const std::string shown = fromQString(window.MeConnStr->toPlainText());
        EXPECT_NE(shown.find(database), std::string::npos) << shown;
        EXPECT_EQ(fromQString(window.EdConnStr->text()), shown);
        EXPECT_NE(settingsText().find("ConnectionString=" + shown), std::string::npos);
        const auto lines = window.logLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(startsWith(lines[0], opConnect() + ": 0:00:")) << lines[0];
        EXPECT_EQ(fromQString(window.LblTypeDescr->text()), msgConflictTypeSameRow());
        EXPECT_TRUE(fs::exists(database));
    }
    // A restart restores provider and string and connects without the dialog, writing nothing.
    const std::string stored = settingsText();
    TTestFoMain window;
    EXPECT_EQ(fromQString(window.CBDrivers->currentText()), sqliteDescription);
    EXPECT_NE(fromQString(window.MeConnStr->toPlainText()).find(database), std::string::npos);
    window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
    EXPECT_EQ(dialogScript.shown, 1);
    ASSERT_TRUE(window.communicator && window.communicator->isConnected());
    EXPECT_EQ(settingsText(), stored);
    EXPECT_TRUE(uiBoxes.shown.empty());
}

TEST_F(FoMainTest, CancelledDialogShowsOneOleDbBoxThenTheConnectionFailure) {
    TTestFoMain window;
    dialogScript.cancel = true;
    window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
    EXPECT_EQ(dialogScript.shown, 1);
    ASSERT_EQ(oledbBoxes.count(), 1u);
    EXPECT_NE(oledbBoxes.boxes()[0].text.find("0x80040e4e"), std::string::npos);
    ASSERT_EQ(uiBoxes.shown.size(), 1u);
    EXPECT_EQ(uiBoxes.shown[0].text, msgConnectFailed());
    EXPECT_FALSE(window.communicator);
    EXPECT_EQ(window.PCMain->currentIndex(), TFoMainAncestor::pageMain);
    EXPECT_TRUE(window.EdConnStr->text().isEmpty());
    EXPECT_EQ(settingsText(), "[General]\nDriver=" + sqliteDescription + "\nConnectionString=\n");
}

TEST_F(FoMainTest, PickingAProviderEmptiesTheStringAndSavesAtOnce) {
    failing::TRegistration failingProvider;
    writeSettings("[General]\nDriver=" + sqliteDescription +
                  "\nConnectionString=Provider=" + "Vantrel.SQLite.1;Data Source=x.db\n");
    TTestFoMain window;
    EXPECT_FALSE(window.MeConnStr->toPlainText().isEmpty());
    ASSERT_GE(window.selectItemWithText(failing::description), 0);
    window.CBDriversChange();
    EXPECT_TRUE(window.MeConnStr->toPlainText().isEmpty());
    EXPECT_TRUE(window.EdConnStr->text().isEmpty());
    EXPECT_EQ(settingsText(),
              "[General]\nDriver=" + std::string(failing::description) + "\nConnectionString=\n");
}

TEST_F(FoMainTest, StoredDriverMatchesWithoutLetterCaseAndKeepsItsString) {
    writeSettings("[general]\r\ndriver=VANTREL embedded ole db PROVIDER for sqlite\r\n"
                  "connectionstring=Provider=Vantrel.SQLite.1;Data Source=case.db\r\n");
    const std::string stored = settingsText();
    TTestFoMain window;
    EXPECT_EQ(fromQString(window.CBDrivers->currentText()), sqliteDescription);
    EXPECT_EQ(fromQString(window.MeConnStr->toPlainText()),
              "Provider=Vantrel.SQLite.1;Data Source=case.db");
    EXPECT_EQ(settingsText(), stored) << "loading writes nothing";
}

TEST_F(FoMainTest, StoredDriverThatIsNoLongerInstalledFallsBackToTheFirstProvider) {
    writeSettings("[General]\nDriver=Some Removed Provider\nConnectionString=secret=1\n");
    TTestFoMain window;
    EXPECT_EQ(window.CBDrivers->currentIndex(), 0);
    EXPECT_TRUE(window.EdConnStr->text().isEmpty());
    EXPECT_EQ(settingsText(), "[General]\nDriver=" + sqliteDescription + "\nConnectionString=\n");
}

TEST_F(FoMainTest, ConnectionTestConnectsAndDisconnectsASecondCommunicator) {
    writeSettings("[General]\nDriver=" + sqliteDescription +
                  "\nConnectionString=Provider=Vantrel.SQLite.1;Data Source=" +
                  (directory / "test.db").string() + "\n");
    TTestFoMain window;
    window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
    ASSERT_TRUE(window.communicator && window.communicator->isConnected());
    window.BtnTestConnectivityClick();
    ASSERT_EQ(uiBoxes.shown.size(), 1u);
    EXPECT_EQ(uiBoxes.shown[0].kind, "information");
    EXPECT_EQ(uiBoxes.shown[0].text, msgConnectionTestOk());
    EXPECT_TRUE(window.communicator->isConnected()) << "the window's connection stays open";
    const auto lines = window.logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(startsWith(lines[1], opConnect() + ": "));
    EXPECT_TRUE(startsWith(lines[2], opDisconnect() + ": "));
    EXPECT_EQ(dialogScript.shown, 0);
}

TEST_F(FoMainTest, ConnectionTestThroughTheDialogTakesOverItsString) {
    TTestFoMain window;
    dialogScript.dataSource = (directory / "tested.db").string();
    window.BtnTestConnectivityClick();
    EXPECT_EQ(dialogScript.shown, 1);
    ASSERT_EQ(uiBoxes.shown.size(), 1u);
    EXPECT_EQ(uiBoxes.shown[0].text, msgConnectionTestOk());
    EXPECT_NE(settingsText().find("tested.db"), std::string::npos);
    EXPECT_FALSE(window.communicator);
}

TEST_F(FoMainTest, ConflictPageTypeDescriptionsAndTheEmptyTablesBox) {
    writeSettings("[General]\nDriver=" + sqliteDescription +
                  "\nConnectionString=Provider=Vantrel.SQLite.1;Data Source=" +
                  (directory / "empty.db").string() + "\n");
    TTestFoMain window;
    ASSERT_EQ(window.CBType->count(), 2);
    EXPECT_EQ(window.CBType->currentIndex(), 0);
    window.CBType->setCurrentIndex(1);
    window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
    EXPECT_EQ(fromQString(window.LblTypeDescr->text()), msgConflictTypeRowInSet());
    window.CBType->setCurrentIndex(0);
    window.CBTypeChange();
    EXPECT_EQ(fromQString(window.LblTypeDescr->text()), msgConflictTypeSameRow());

    window.MeCRProgress->setPlainText(QStringLiteral("earlier run"));
    window.BtnStartCRClick();
    ASSERT_EQ(uiBoxes.shown.size(), 1u);
    EXPECT_EQ(uiBoxes.shown[0].kind, "information");
    EXPECT_EQ(uiBoxes.shown[0].text, msgTablesEmptyOrMissing());
    EXPECT_EQ(window.MeCRProgress->toPlainText(), QStringLiteral("earlier run"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FoMainTest, OleDbTextsOfTheWindow) {
    TTestFoMain window;
    EXPECT_EQ(window.Label9->text(),
              QString::fromUtf8("Otestováno pouze na datovém zdroji \"Microsoft OLE DB Provider "
                                "for SQL Server\""));
    EXPECT_TRUE(window.Label9->wordWrap());
    EXPECT_TRUE(window.LblNote->text().startsWith(QString::fromUtf8("Poznámka: Výsledek")));
    EXPECT_EQ(
        window.CBType->itemText(1),
        QString::fromUtf8("1. výběr řádku, editace - 2. výběr několika řádků, editace stejného"));
}

TEST_F(FoMainTest, AConnectionStringLongerThanALineEditHoldsIsKeptWhole) {
    TTestFoMain window;
    TOLEDBCommunicator prompted(&window, nullptr, "", 0);
    prompted.connectionString = "Provider=Vantrel.SQLite.1;Data Source=" + std::string(40000, 'p');
    prompted.connectionStringPrompted = true;
    window.afterConnect(&prompted);
    EXPECT_EQ(fromQString(window.EdConnStr->text()), prompted.connectionString);
    EXPECT_EQ(fromQString(window.MeConnStr->toPlainText()), prompted.connectionString);
    EXPECT_NE(settingsText().find(prompted.connectionString), std::string::npos);
}

TEST_F(FoMainTest, ClosingWhileConnectedDisconnectsBeforeComIsLeft) {
    failing::TRegistration failingProvider;
    writeSettings("[General]\nDriver=" + std::string(failing::description) + "\nConnectionString=" +
                  failing::connectionString((directory / "close.db").string()) + "\n");
    {
        TTestFoMain window;
        window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
        ASSERT_TRUE(window.communicator && window.communicator->isConnected());
        EXPECT_EQ(failing::callCount("IDBInitialize::Uninitialize"), 0);
    }
    EXPECT_EQ(failing::callCount("IDBInitialize::Uninitialize"), 1);
    EXPECT_TRUE(failing::apartmentAtLastUninitialize());
    // The window left its apartment: the thread is free for a new one.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
}

TEST_F(FoMainTest, AnUnwritableSettingsFileAtFirstStartIsReportedAndTheWindowOpens) {
    fs::create_directory(directory / "Options.ini"); // stands where the file would be written
    {
        TTestFoMain window;
        ASSERT_EQ(uiBoxes.shown.size(), 1u);
        EXPECT_EQ(uiBoxes.shown[0].kind, "error");
        EXPECT_EQ(uiBoxes.shown[0].caption, "Vantrel");
        EXPECT_EQ(uiBoxes.shown[0].text, "Unable to write to .\\Options.ini.");
        EXPECT_EQ(fromQString(window.CBDrivers->currentText()), sqliteDescription);
        EXPECT_TRUE(window.EdConnStr->text().isEmpty());
        ASSERT_NE(providerNames, nullptr);
    }
    EXPECT_TRUE(fs::is_directory(directory / "Options.ini"));
    EXPECT_EQ(providerNames, nullptr);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the apartment was left";
    CoUninitialize();
}

// Boxes that fail themselves, so that an exception leaves the window's creation.
class TRaisingBoxes : public TUiBoxes {
public:
    void errorWithCaption(QWidget*, const std::string&, const std::string&) override {
        throw std::runtime_error("no box today");
    }
};

TEST_F(FoMainTest, ACreationThatFailsTearsTheOleDbEnvironmentDownBeforeTheExceptionLeaves) {
    fs::create_directory(directory / "Options.ini");
    TRaisingBoxes raising;
    setMessageBoxes(&raising);
    EXPECT_THROW(TTestFoMain window, std::runtime_error);
    setMessageBoxes(&uiBoxes);
    EXPECT_EQ(providerNames, nullptr);
    EXPECT_EQ(taskAllocator, nullptr);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the apartment was left";
    CoUninitialize();
}

class NoProviderTest : public FoMainTest {
protected:
    void SetUp() override {
        FoMainTest::SetUp();
        // The built-in classes are registered when COM is first entered in the process.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoUninitialize();
        for (const VantrelClassRegistration& r : VantrelRegisteredClasses()) {
            if (r.sourceType != 0 && r.clsid != CLSID_OLEDB_ENUMERATOR) {
                removed.push_back(r);
                VantrelUnregisterClass(r.clsid);
            }
        }
    }
    void TearDown() override {
        for (const VantrelClassRegistration& r : removed) {
            VantrelRegisterClass(r);
        }
        FoMainTest::TearDown();
    }
    std::vector<VantrelClassRegistration> removed;
};

TEST_F(NoProviderTest, AnEmptyProviderListGivesClearMessagesAndNothingActs) {
    TTestFoMain window;
    EXPECT_EQ(window.CBDrivers->count(), 0);
    EXPECT_EQ(settingsText(), "[General]\nDriver=\nConnectionString=\n");

    window.InBMainItemClick(0, TFoMainAncestor::pageRecordLock);
    ASSERT_EQ(uiBoxes.shown.size(), 2u);
    EXPECT_NE(uiBoxes.shown[0].text.find(utf8ToCp1250("Není vybrán")), std::string::npos);
    EXPECT_EQ(uiBoxes.shown[1].text, msgConnectFailed());
    EXPECT_FALSE(window.communicator);
    EXPECT_EQ(window.PCMain->currentIndex(), TFoMainAncestor::pageMain);

    uiBoxes.shown.clear();
    window.BtnTestConnectivityClick();
    ASSERT_EQ(uiBoxes.shown.size(), 2u);
    EXPECT_EQ(uiBoxes.shown[1].text, msgConnectionTestFailed());

    uiBoxes.shown.clear();
    window.BtnStartCRClick();
    ASSERT_EQ(uiBoxes.shown.size(), 1u);
    EXPECT_EQ(uiBoxes.shown[0].text, msgNotConnected());
    EXPECT_EQ(oledbBoxes.count(), 0u);
}

TEST(OleDbMessageBoxTest, ShowsTextAndCaptionWithoutIconAndWithThePointer) {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    Qt::CursorShape shapeWhileShown = Qt::WaitCursor;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        shapeWhileShown = QApplication::overrideCursor()->shape();
        box->accept();
    });
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const int answer = showOleDbMessageBox(nullptr, "\nNo Error Info posted; HResult: 0x80004005\n",
                                           "OLE DB Error", MB_OK);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "the hourglass is back";
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(title, QStringLiteral("OLE DB Error"));
    EXPECT_EQ(text, QStringLiteral("\nNo Error Info posted; HResult: 0x80004005\n"));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(shapeWhileShown, Qt::ArrowCursor);
}

} // namespace

#pragma once
// The generic window under test, with a communicator that does no real work but connects or
// fails on demand and logs its measured operations like a real layer.

#include "core/Communicator.h"
#include "navbar/NavigationBar.h"
#include "ui/Fo_MainAncestor.h"
#include "ui/MessageBoxes.h"

#include <QCursor>
#include <string>
#include <vector>

// What the fake communicators share: the data source they reach and what happened to them.
struct FakeDataSource {
    bool reachable = true;
    bool connectThrows = false;
    int alive = 0;           // fake communicators in existence
    int openConnections = 0; // of those, connected
    int connectAttempts = 0;
    int getInfoCalls = 0;
    bool cursorBusyDuringConnect = false;

    // The benchmark tables behind it.
    bool tablesExist = false;
    bool dataExist = false;
    bool readOnly = false;
    bool canCreate = true;
    bool canDrop = true;
    bool operationsSucceed = true;
    bool prepareSucceeds = true;
    int filledRows[4] = {1, 10, 100000, 0}; // data rows of each table once filled
    std::vector<std::string> calls;         // table operations, in order
    int listErrorCalls = 0;
    bool cursorBusyDuringOperation = false;
};

class FakeCommunicator : public TCommunicator {
public:
    FakeCommunicator(TCommunicatorOwner* owner, TMemo* log, FakeDataSource& source);
    ~FakeCommunicator() override;

    bool connect() override;
    void disconnect() override;
    bool getInfo(TMemo* memo) override;
    bool tablesExist() override;
    bool dataExist() override;
    bool isReadOnly() override;
    bool canCreateTables() override;
    bool canDropTables() override;
    bool createTables() override;
    bool dropTables() override;
    bool generateData() override;
    bool clearData() override;
    bool prepareTableForBrowsing(TTableIndex table, int& colCount, int& rowCount) override;
    bool unprepareTableForBrowsing(TTableIndex table) override;
    void listErrorMessages() override;

protected:
    std::string fetchCellData(int column, int row) override;

private:
    // Runs one measured table operation: fails on demand, otherwise applies change.
    template <typename Change> bool tableOperation(const char* name, Change change);

    FakeDataSource& source;
};

// One recorded box.
struct RecordedBox {
    std::string kind; // "information", "error" or the caption of errorWithCaption
    std::string text;
};

class RecordingBoxes : public TMessageBoxes {
public:
    RecordingBoxes() { previous = setMessageBoxes(this); }
    ~RecordingBoxes() override { setMessageBoxes(previous); }

    void information(QWidget*, const std::string& text) override {
        boxes.push_back({"information", text});
    }
    void error(QWidget*, const std::string& text) override { boxes.push_back({"error", text}); }
    void errorWithCaption(QWidget*, const std::string& caption, const std::string& text) override {
        boxes.push_back({caption, text});
    }

    std::vector<RecordedBox> boxes;

private:
    TMessageBoxes* previous;
};

class TestWindow : public TFoMainAncestor {
public:
    explicit TestWindow(FakeDataSource& source);
    ~TestWindow() override;

    std::vector<std::string> logLines() const;

    // Reached by the tests.
    using TFoMainAncestor::BtnTestConnectivityClick;
    using TFoMainAncestor::communicator;
    using TFoMainAncestor::FormDestroy;
    using TFoMainAncestor::InBMainItemClick;
    using TFoMainAncestor::InBMainKeyDown;
    using TFoMainAncestor::settings;
    using TFoMainAncestor::updateDataButtons;

    TNavigationBar* navigationBar() const { return InBMain; }
    QStackedWidget* pages() const { return PCMain; }
    QPlainTextEdit* info() const { return MeInfo; }
    QWidget* control(const char* name) const {
        return findChild<QWidget*>(QString::fromLatin1(name));
    }
    QTabBar* tabs() const { return TCTables; }
    QTableView* grid() const { return SGData; }
    QString count() const { return LblCount->text(); }

    std::vector<TCommunicator*> afterConnectCalls;

protected:
    std::unique_ptr<TCommunicator> createCommunicator() override;
    void loadSettings() override {}
    void saveSettings() override {}
    void afterConnect(TCommunicator* connected) override { afterConnectCalls.push_back(connected); }

private:
    FakeDataSource& source;
};

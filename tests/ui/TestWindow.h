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
};

class FakeCommunicator : public TCommunicator {
public:
    FakeCommunicator(TCommunicatorOwner* owner, TMemo* log, FakeDataSource& source);
    ~FakeCommunicator() override;

    bool connect() override;
    void disconnect() override;
    bool getInfo(TMemo* memo) override;

protected:
    std::string fetchCellData(int column, int row) override;

private:
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

    TNavigationBar* navigationBar() const { return InBMain; }
    QStackedWidget* pages() const { return PCMain; }
    QPlainTextEdit* info() const { return MeInfo; }

    std::vector<TCommunicator*> afterConnectCalls;

protected:
    std::unique_ptr<TCommunicator> createCommunicator() override;
    void loadSettings() override {}
    void saveSettings() override {}
    void afterConnect(TCommunicator* connected) override { afterConnectCalls.push_back(connected); }

private:
    FakeDataSource& source;
};

#pragma once
// TFoMainAncestor: the bench's main window, the same for every database layer. It owns the one
// communicator, connects it when a page that needs the data source is entered and drops it on
// the data-source page, hosts five pages chosen from the navigation bar, and shows the
// operation log below them. What depends on the layer is left to four hooks.
//
// A derived window builds itself in its constructor, then calls FormCreate() and loads its
// settings; its destructor calls FormDestroy() before releasing its own environment.

#include "core/Communicator.h"
#include "core/CommunicatorOwner.h"
#include "ui/IniFile.h"
#include "ui/PlainTextMemo.h"
#include "ui/WrappingButton.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>

#include <memory>

class TNavigationBar;
class TGridModel;

class TFoMainAncestor : public QMainWindow, public TCommunicatorOwner {
    Q_OBJECT

public:
    // Page indexes, which are also the navigation items' tags.
    enum Page { pageMain = 0, pageData = 1, pageRecordLock = 2, pageInfo = 3, pageAbout = 4 };

    explicit TFoMainAncestor(QWidget* parent = nullptr);
    ~TFoMainAncestor() override;

    void* nativeWindowHandle() override { return static_cast<QWidget*>(this); }

    // The window's communicator, null while there is none.
    TCommunicator* currentCommunicator() const { return communicator.get(); }

protected:
    // A new, unconnected communicator for this window (owner this, log operationLog()).
    virtual std::unique_ptr<TCommunicator> createCommunicator() = 0;
    virtual void loadSettings() = 0;
    virtual void saveSettings() = 0;
    // Runs right after a communicator (the window's or the connection test's) has connected.
    virtual void afterConnect(TCommunicator* connected) = 0;

    // Creation: no communicator, application title from the caption, page 0, settings open.
    void FormCreate();
    // Destruction: the communicator disconnected and destroyed, then the settings closed.
    void FormDestroy();

    // Navigation: select the item's page, focus it and run its enter handler.
    void InBMainItemClick(int panel, int item);
    // Enter opens the current item; Up and Down only move the highlight.
    void InBMainKeyDown(int key);

    // Page enter handlers.
    virtual void TSMainEnter();
    virtual void TSDataEnter();
    virtual void TSRecordLockEnter();
    virtual void TSInfoEnter();
    // Connects on demand for the pages that need the data source.
    void TSCommunicatorEnter();

    void BtnTestConnectivityClick();

    // The data page.
    void updateDataButtons();
    void BtnCreateTablesClick();
    void BtnGenDataClick();
    void BtnClearDataClick();
    void BtnDropTablesClick();
    // The tab bar is about to leave oldIndex (the table prepared until now).
    void TCTablesChanging(int oldIndex);
    // The tab bar shows a new tab: prepare its table and size the grid from it.
    void TCTablesChange();
    // What the grid shows in cell (column, row), fixed row and column counted as 0; a null
    // value when there is nothing to show.
    QVariant SGDataDrawCell(int column, int row);

    // Ends the window's connection, if any: disconnect when connected, then destroy.
    void dropCommunicator();
    // After a call that ended the communicator's connection (a lost connection it has already
    // reported): destroys the communicator, so that the next page visit connects anew, and
    // clears the data page. True when that happened; the caller then stops.
    bool leaveLostConnection();

    // What communicators write to.
    TMemo* operationLog() { return &opDurationMemo; }
    TMemo* infoMemo() { return &infoMemoAdapter; }

    std::unique_ptr<TCommunicator> communicator;
    std::unique_ptr<TIniFile> settings;

    // Controls, named as their object names.
    QList<QIcon> ILInB;
    TNavigationBar* InBMain;
    QWidget* PnlMain;
    QStackedWidget* PCMain;
    QSplitter* Splitter1;
    QPlainTextEdit* MeOpDuration;

    QWidget* TSMain;
    QLabel* Label5;
    QLabel* Label8;
    QLabel* LblDriver;
    QComboBox* CBDrivers;
    QPushButton* BtnTestConnectivity;
    QLabel* LblConnStr;
    QPlainTextEdit* MeConnStr;
    QLineEdit* EdConnStr;

    QWidget* TSData;
    QLabel* Label4;
    TWrappingButton* BtnCreateTables;
    TWrappingButton* BtnGenData;
    TWrappingButton* BtnClearData;
    TWrappingButton* BtnDropTables;
    QWidget* PnlTables; // the tab control's area: the tabs, the count and the grid
    QTabBar* TCTables;
    QLabel* LblCount;
    QTableView* SGData;
    TGridModel* SGDataModel;

    QWidget* TSRecordLock;

    QWidget* TSInfo;
    QLabel* Label10;
    QPlainTextEdit* MeInfo;

    QWidget* TSAbout;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;

private:
    void buildLayout();
    void buildNavigation();
    void buildMainPage();
    void buildInfoPage();
    void buildAboutPage();
    void buildDataPage();
    void layOutDataPage();
    // The data page with nothing of a connection on it: buttons disabled, no tabs, empty grid.
    void clearDataPage();
    void runTableOperation(bool (TCommunicator::*operation)(), const std::string& doneMessage);
    void tablesTabChanged(int index);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void runPageEnter(int page);

    TPlainTextMemo opDurationMemo;
    TPlainTextMemo infoMemoAdapter;
    int shownTablesTab = 0; // the tab the tab bar showed before its current one
};

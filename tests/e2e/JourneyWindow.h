#pragma once
// The OLE DB main window as the journey drives it: the real TFoMain, with its controls in
// reach so that the test can press them the way a user does and read what they show.

#include "ui/Fo_Main.h"
#include "ui/QtText.h"

#include <QAbstractItemModel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "navbar/NavigationBar.h"

#include <string>
#include <vector>

class TJourneyWindow : public TFoMain {
public:
    using TFoMain::BtnClearData;
    using TFoMain::BtnCreateTables;
    using TFoMain::BtnDropTables;
    using TFoMain::BtnGenData;
    using TFoMain::BtnStartCR;
    using TFoMain::BtnTestConnectivity;
    using TFoMain::CBDrivers;
    using TFoMain::CBType;
    using TFoMain::communicator;
    using TFoMain::EdConnStr;
    using TFoMain::InBMain;
    using TFoMain::LblCount;
    using TFoMain::LblNote;
    using TFoMain::LblTypeDescr;
    using TFoMain::MeConnStr;
    using TFoMain::MeCRProgress;
    using TFoMain::MeInfo;
    using TFoMain::MeOpDuration;
    using TFoMain::PCMain;
    using TFoMain::PnlTables;
    using TFoMain::SGData;
    using TFoMain::TCTables;

    // A left click on a navigation item, as the user gives it.
    void clickNavigationItem(int item) {
        QTest::mouseClick(InBMain, Qt::LeftButton, {}, InBMain->itemRect(item).center());
    }
    // A left click on a tab of the table tabs.
    void clickTableTab(int tab) {
        QTest::mouseClick(TCTables, Qt::LeftButton, {}, TCTables->tabRect(tab).center());
    }
    static void clickButton(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // The lines of a memo, Windows-1250, without the empty last one.
    static std::vector<std::string> lines(const QPlainTextEdit* memo) {
        std::vector<std::string> result;
        const QString text = memo->toPlainText();
        if (text.isEmpty()) {
            return result;
        }
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            result.push_back(fromQString(line));
        }
        return result;
    }

    // What the grid shows: data cell (column, row), header of a column, number of a row, all
    // counted as the communicator counts them (1-based, fixed row and column are 0).
    std::string gridCell(int column, int row) const {
        const QAbstractItemModel* model = SGData->model();
        return fromQString(model->data(model->index(row - 1, column - 1)).toString());
    }
    std::string gridHeader(int column) const {
        return fromQString(SGData->model()->headerData(column - 1, Qt::Horizontal).toString());
    }
    std::string gridRowNumber(int row) const {
        return fromQString(SGData->model()->headerData(row - 1, Qt::Vertical).toString());
    }
    int gridDataRows() const { return SGData->model()->rowCount(); }
    int gridDataColumns() const { return SGData->model()->columnCount(); }
};

// The data page of TFoMainAncestor: buttons that create, fill, empty and drop the benchmark
// tables, and a grid that browses the table of the current tab.

#include "ui/Fo_MainAncestor.h"

#include "core/Messages.h"
#include "ui/BusyCursor.h"
#include "ui/GridModel.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"
#include "ui/WrappingButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

// The designed places, for the classic 8-point font: the row of buttons at 64 pixels from the
// top, each 144 by 35 pixels with 6 pixels between them, the tables 13 pixels below the row.
// In a larger font a caption wraps and the row grows taller (the tables move down with it);
// the widths and places stay.
constexpr int buttonTop = 64;
constexpr int buttonWidth = 144;
constexpr int buttonHeight = 35;
constexpr int buttonGap = 6;
constexpr int tablesGap = 13;
constexpr int pageMargin = 8;

TWrappingButton* tableButton(const char* caption, QWidget* parent, const char* name) {
    auto* button = new TWrappingButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setEnabled(false);
    button->setMinimumHeight(buttonHeight); // a caption of several lines keeps the same margins
    return button;
}

} // namespace

void TFoMainAncestor::buildDataPage() {
    Label4 = new QLabel(
        QString::fromUtf8("Zde můžete vytvářet a mazat tabulky, naplnit je zkušebními daty nebo "
                          "naopak vyprázdnit a prohlížet si jejich obsah. Pokud existují tabulky, "
                          "zobrazí se mřížka se záložkami pro každou tabulku. Přepínáním záložek "
                          "se bude zobrazovat obsah příslušné tabulky."),
        TSData);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    BtnCreateTables = tableButton("&Vytvoření tabulek", TSData, "BtnCreateTables");
    BtnGenData = tableButton("&Generování zkušebních dat", TSData, "BtnGenData");
    BtnClearData = tableButton("Vy&prázdnění tabulek", TSData, "BtnClearData");
    BtnDropTables = tableButton("&Smazání tabulek", TSData, "BtnDropTables");
    connect(BtnCreateTables, &QPushButton::clicked, this, &TFoMainAncestor::BtnCreateTablesClick);
    connect(BtnGenData, &QPushButton::clicked, this, &TFoMainAncestor::BtnGenDataClick);
    connect(BtnClearData, &QPushButton::clicked, this, &TFoMainAncestor::BtnClearDataClick);
    connect(BtnDropTables, &QPushButton::clicked, this, &TFoMainAncestor::BtnDropTablesClick);

    PnlTables = new QWidget(TSData);
    PnlTables->setObjectName(QStringLiteral("PnlTables"));
    auto* column = new QVBoxLayout(PnlTables);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* tabRow = new QHBoxLayout;
    column->addLayout(tabRow);

    TCTables = new QTabBar(PnlTables);
    TCTables->setObjectName(QStringLiteral("TCTables"));
    TCTables->setExpanding(false);
    for (const char* caption : {"&Branches", "&Tellers", "&Accounts", "&History"})
        TCTables->addTab(QString::fromLatin1(caption));
    TCTables->setCurrentIndex(0);
    tabRow->addWidget(TCTables);
    tabRow->addStretch(1);

    LblCount = new QLabel(QStringLiteral("# Count"), PnlTables);
    LblCount->setObjectName(QStringLiteral("LblCount"));
    LblCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tabRow->addWidget(LblCount);
    tabRow->addSpacing(6);

    SGDataModel = new TGridModel([this](int c, int r) { return SGDataDrawCell(c, r); }, this);
    SGData = new QTableView(PnlTables);
    SGData->setObjectName(QStringLiteral("SGData"));
    SGData->setModel(SGDataModel);
    SGData->setTextElideMode(Qt::ElideNone); // clipped to the cell, as a string grid does
    SGData->setWordWrap(false);
    SGData->setSortingEnabled(false);
    SGData->setSelectionMode(QAbstractItemView::SingleSelection);
    SGData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SGData->horizontalHeader()->setDefaultSectionSize(64);
    SGData->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    SGData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SGData->verticalHeader()->setDefaultSectionSize(24);
    SGData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SGData->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    column->addWidget(SGData, 1);
    PnlTables->setVisible(false);

    connect(TCTables, &QTabBar::currentChanged, this, &TFoMainAncestor::tablesTabChanged);
    TSData->installEventFilter(this);
    layOutDataPage();
}

// The label and the tab area follow the page's width, the tab area its height too. The buttons
// keep their widths and order; the row moves down only when the label needs more lines than
// designed, and grows taller only when a caption needs more than one line.
void TFoMainAncestor::layOutDataPage() {
    const int width = TSData->width();
    const int labelWidth = std::max(0, width - 2 * pageMargin);
    const int labelHeight = std::max(buttonTop - 12, Label4->heightForWidth(labelWidth));
    Label4->setGeometry(pageMargin, pageMargin, labelWidth, labelHeight);

    const int top = pageMargin + labelHeight + 4;
    int height = buttonHeight;
    const QList<TWrappingButton*> buttons = {BtnCreateTables, BtnGenData, BtnClearData,
                                             BtnDropTables};
    for (const TWrappingButton* button : buttons)
        height = std::max(height, button->heightForWidth(buttonWidth));
    int left = pageMargin;
    for (TWrappingButton* button : buttons) {
        button->setGeometry(left, top, buttonWidth, height);
        left += buttonWidth + buttonGap;
    }

    const int tablesTop = top + height + tablesGap;
    PnlTables->setGeometry(0, tablesTop, width, std::max(0, TSData->height() - tablesTop));
}

bool TFoMainAncestor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TSData && event->type() == QEvent::Resize)
        layOutDataPage();
    return QMainWindow::eventFilter(watched, event);
}

void TFoMainAncestor::TSDataEnter() {
    TSCommunicatorEnter();
    if (communicator && communicator->isConnected()) {
        updateDataButtons();
        TCTablesChange();
    }
}

// Each probe may find the connection gone; the first to do so has shown it, and the page stops
// asking.
void TFoMainAncestor::updateDataButtons() {
    if (!communicator || !communicator->isConnected())
        return;
    const bool exist = communicator->tablesExist();
    if (leaveLostConnection())
        return;
    const bool data = communicator->dataExist();
    if (leaveLostConnection())
        return;
    const bool readOnly = communicator->isReadOnly();
    if (leaveLostConnection())
        return;
    const bool canCreate = !readOnly && !exist && communicator->canCreateTables();
    const bool canDrop = !readOnly && exist && communicator->canDropTables();
    if (leaveLostConnection())
        return;
    BtnCreateTables->setEnabled(canCreate);
    BtnGenData->setEnabled(!readOnly && exist && !data);
    BtnClearData->setEnabled(!readOnly && exist && data);
    BtnDropTables->setEnabled(canDrop);
    PnlTables->setVisible(exist);
    TCTables->setVisible(exist);
}

bool TFoMainAncestor::leaveLostConnection() {
    if (!communicator || communicator->isConnected())
        return false;
    dropCommunicator();
    clearDataPage();
    return true;
}

void TFoMainAncestor::clearDataPage() {
    for (QPushButton* button : {BtnCreateTables, BtnGenData, BtnClearData, BtnDropTables})
        button->setEnabled(false);
    PnlTables->setVisible(false);
    LblCount->setText(QStringLiteral("# Count"));
    SGDataModel->setGridSize(1, 1);
    SGDataModel->repaintAll();
}

void TFoMainAncestor::runTableOperation(bool (TCommunicator::*operation)(),
                                        const std::string& doneMessage) {
    if (!communicator)
        return;
    TBusyCursor busy;
    if ((communicator.get()->*operation)())
        showInformation(this, doneMessage);
    else if (leaveLostConnection())
        return;
    else
        communicator->listErrorMessages();
    updateDataButtons();
    TCTablesChange();
}

void TFoMainAncestor::BtnCreateTablesClick() {
    runTableOperation(&TCommunicator::createTables, msgTablesCreated());
}

void TFoMainAncestor::BtnGenDataClick() {
    runTableOperation(&TCommunicator::generateData, msgTablesFilled());
}

void TFoMainAncestor::BtnClearDataClick() {
    runTableOperation(&TCommunicator::clearData, msgTablesEmptied());
}

void TFoMainAncestor::BtnDropTablesClick() {
    runTableOperation(&TCommunicator::dropTables, msgTablesDropped());
}

// A tab bar reports only the new tab; the handler of the change to come gets the old one.
void TFoMainAncestor::tablesTabChanged(int index) {
    const int old = shownTablesTab;
    shownTablesTab = index;
    TCTablesChanging(old);
    TCTablesChange();
}

void TFoMainAncestor::TCTablesChanging(int oldIndex) {
    if (!communicator || !communicator->isTablePrepared())
        return;
    TBusyCursor busy;
    if (!communicator->unprepareTableForBrowsing(static_cast<TTableIndex>(oldIndex)))
        communicator->listErrorMessages();
}

void TFoMainAncestor::TCTablesChange() {
    if (!communicator)
        return;
    TBusyCursor busy;
    const int tab = TCTables->currentIndex();
    if (tab < 0)
        return;
    int colCount = 0;
    int rowCount = 0;
    if (!communicator->prepareTableForBrowsing(static_cast<TTableIndex>(tab), colCount, rowCount)) {
        if (leaveLostConnection())
            return;
        communicator->listErrorMessages();
        return;
    }
    char count[32];
    std::snprintf(count, sizeof count, litCountFormat().c_str(), rowCount - 1);
    LblCount->setText(toQString(count));
    // A grid needs one row and one column besides its fixed ones.
    SGDataModel->setGridSize(std::max(rowCount, 2), std::max(colCount, 2));
    SGDataModel->repaintAll();
    SGData->viewport()->update();
}

QVariant TFoMainAncestor::SGDataDrawCell(int column, int row) {
    if (!communicator || !communicator->isTablePrepared())
        return QVariant();
    if (!SGData->isEnabled())
        return QString();
    // Painting cannot carry an exception through the view; a cell that cannot be supplied
    // shows the error text instead.
    try {
        return toQString(communicator->getDataForCell(column, row));
    } catch (const std::exception&) {
        return toQString(msgCellError());
    }
}

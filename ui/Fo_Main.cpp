#include "ui/Fo_Main.h"

#include "core/Messages.h"
#include "core/Text.h"
#include "oledb/OLEDBCommunicator.h"
#include "ui/Application.h"
#include "ui/BusyCursor.h"
#include "ui/MessageBoxes.h"
#include "ui/ProviderComboList.h"
#include "ui/QtText.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

// Shown where a communicator would be built while the provider list offers nothing to pick.
const std::string& msgNoProviderSelected() {
    static const std::string text = utf8ToCp1250(
        "Není vybrán žádný datový zdroj pro připojení: seznam zprostředkovatelů OLE DB je "
        "prázdný.");
    return text;
}

QLabel* wrappedLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    return label;
}

} // namespace

TFoMain::TFoMain(QWidget* parent) : TFoMainAncestor(parent) {
    setObjectName(QStringLiteral("FoMain"));
    buildTexts();
    buildRecordLockPage();
    // The connection string may be longer than a line edit holds by default; it is never cut.
    EdConnStr->setMaxLength(std::numeric_limits<int>::max());
    connect(EdConnStr, &QLineEdit::textChanged, MeConnStr, &QPlainTextEdit::setPlainText);
    connect(CBDrivers, &QComboBox::activated, this, [this](int) { CBDriversChange(); });
    try {
        FormCreate();
    } catch (...) {
        // The destructor does not run for a window whose construction fails: what the creation
        // set up is torn down here, in the order of an ordinary close.
        FormDestroy();
        throw;
    }
}

TFoMain::~TFoMain() {
    FormDestroy();
}

void TFoMain::buildTexts() {
    setWindowTitle(QStringLiteral("Vantrel"));
    Label5->setText(QString::fromUtf8(
        "Zvolte datový zdroj, který bude použit při testování databázové metavrstvy OLE DB. "
        "Doporučujeme také vyzkoušet funkčnost připojení k tomuto datovému zdroji. Zvolené "
        "nastavení datového zdroje bude uloženo pro příští použití."));
    Label9 = wrappedLabel(QString::fromUtf8("Otestováno pouze na datovém zdroji \"Microsoft OLE "
                                            "DB Provider for SQL Server\""),
                          TSMain, "Label9");
    QPalette red = Label9->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label9->setPalette(red);
    // Below the connection string: after MeConnStr, before the hidden EdConnStr.
    auto* mainLayout = qobject_cast<QVBoxLayout*>(TSMain->layout());
    if (mainLayout != nullptr) {
        mainLayout->insertWidget(mainLayout->indexOf(MeConnStr) + 1, Label9);
    }
    Label1->setText(QString::fromUtf8("Program pro testování databázové metavrstvy OLE DB"));
    Label3->setText(QStringLiteral("Vantrel v.1.0"));
}

void TFoMain::buildRecordLockPage() {
    auto* layout = new QVBoxLayout(TSRecordLock);
    Label6 = wrappedLabel(
        QString::fromUtf8("Tlačítkem Start testu se provede test na vznik konfliktu při současné "
                          "editaci množiny dat z více vláken. Můžeme si vybrat z několika typů "
                          "testů a uvidíme, jak jednotlivé databázové vrstvy (v tomto případě OLE "
                          "DB) tyto konflikty řeší."),
        TSRecordLock, "Label6");
    layout->addWidget(Label6);

    LblType = wrappedLabel(QString::fromUtf8("&Typ testu:"), TSRecordLock, "LblType");
    CBType = new QComboBox(TSRecordLock);
    CBType->setObjectName(QStringLiteral("CBType"));
    CBType->setEditable(false);
    CBType->setFixedWidth(481);
    CBType->addItem(QString::fromUtf8("1. výběr řádku, editace - 2. výběr řádku, editace"));
    CBType->addItem(
        QString::fromUtf8("1. výběr řádku, editace - 2. výběr několika řádků, editace stejného"));
    CBType->setCurrentIndex(0);
    LblType->setBuddy(CBType);
    layout->addWidget(LblType);
    layout->addWidget(CBType);
    connect(CBType, &QComboBox::activated, this, [this](int) { CBTypeChange(); });

    LblTypeDescr = wrappedLabel(QString(), TSRecordLock, "LblTypeDescr");
    LblTypeDescr->setFixedWidth(481);
    layout->addWidget(LblTypeDescr);

    auto* startRow = new QHBoxLayout;
    BtnStartCR = new QPushButton(QString::fromUtf8("&Start testu"), TSRecordLock);
    BtnStartCR->setObjectName(QStringLiteral("BtnStartCR"));
    BtnStartCR->setFixedSize(144, 35);
    connect(BtnStartCR, &QPushButton::clicked, this, [this] { BtnStartCRClick(); });
    LblNote = wrappedLabel(
        QString::fromUtf8("Poznámka: Výsledek testu plně závisí na ovladači, který je použit pro "
                          "připojení k datovému zdroji. Některé ovladače záznamy zamykají pro "
                          "editaci, jiné používají optimistický přístup."),
        TSRecordLock, "LblNote");
    // 321 by 49 pixels as designed, but never shorter than its wrapped text: with a wider
    // font than the classic one the note needs a fourth line, which a fixed height cuts off.
    LblNote->setFixedWidth(321);
    LblNote->setMinimumHeight(std::max(49, LblNote->heightForWidth(321)));
    startRow->addWidget(BtnStartCR, 0, Qt::AlignTop);
    startRow->addWidget(LblNote, 0, Qt::AlignTop);
    startRow->addStretch(1);
    layout->addLayout(startRow);

    Label7 = wrappedLabel(QString::fromUtf8("&Průběh testu:"), TSRecordLock, "Label7");
    MeCRProgress = new QPlainTextEdit(TSRecordLock);
    MeCRProgress->setObjectName(QStringLiteral("MeCRProgress"));
    MeCRProgress->setReadOnly(true);
    MeCRProgress->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label7->setBuddy(MeCRProgress);
    layout->addWidget(Label7);
    layout->addWidget(MeCRProgress, 1);
    crProgressMemo.attach(MeCRProgress);
}

void TFoMain::FormCreate() {
    setUpOleDbEnvironment();
    created = true;
    TFoMainAncestor::FormCreate();
    TProviderComboList items(CBDrivers);
    enumerateProviders(items);
    try {
        loadSettings();
    } catch (const EIniFileException&) {
        // Options.ini could not be written (a read-only working directory, say). The bench works
        // as well without it: the user is told, as by the default handler, and the window opens
        // with the choice it has, which is simply not remembered.
        showCurrentException();
    }
}

void TFoMain::FormDestroy() {
    if (!created) {
        return;
    }
    created = false;
    // The environment is released even when the disconnect raises.
    struct TEnvironmentRelease {
        ~TEnvironmentRelease() { tearDownOleDbEnvironment(); }
    } release;
    TFoMainAncestor::FormDestroy();
}

void TFoMain::setConnectionString(const QString& text) {
    EdConnStr->setText(text);
    MeConnStr->setPlainText(EdConnStr->text());
}

void TFoMain::CBDriversChange() {
    setConnectionString(QString());
    saveSettings();
}

std::unique_ptr<TCommunicator> TFoMain::createCommunicator() {
    const int selected = CBDrivers->currentIndex();
    if (selected < 0) {
        showError(this, msgNoProviderSelected());
        return nullptr;
    }
    const int providerIndex = CBDrivers->itemData(selected).toInt();
    return std::make_unique<TOLEDBCommunicator>(this, operationLog(),
                                                fromQString(EdConnStr->text()), providerIndex);
}

void TFoMain::loadSettings() {
    const std::string driver = settings->readString(litSectionGeneral(), litKeyDriver(), "");
    const int found =
        driver.empty() ? -1 : CBDrivers->findText(toQString(driver), Qt::MatchFixedString);
    if (found < 0) {
        CBDrivers->setCurrentIndex(CBDrivers->count() > 0 ? 0 : -1);
        CBDriversChange();
        return;
    }
    CBDrivers->setCurrentIndex(found);
    setConnectionString(
        toQString(settings->readString(litSectionGeneral(), litKeyConnectionString(), "")));
}

void TFoMain::saveSettings() {
    if (!settings) {
        return;
    }
    const std::string driver =
        CBDrivers->currentIndex() >= 0 ? fromQString(CBDrivers->currentText()) : std::string();
    settings->writeString(litSectionGeneral(), litKeyDriver(), driver);
    settings->writeString(litSectionGeneral(), litKeyConnectionString(),
                          fromQString(EdConnStr->text()));
}

void TFoMain::afterConnect(TCommunicator* connected) {
    auto* oledb = dynamic_cast<TOLEDBCommunicator*>(connected);
    if (oledb == nullptr || !oledb->connectionStringPrompted) {
        return;
    }
    setConnectionString(toQString(oledb->connectionString));
    saveSettings();
}

void TFoMain::TSRecordLockEnter() {
    TSCommunicatorEnter();
    if (communicator && communicator->isConnected()) {
        CBTypeChange();
    }
}

void TFoMain::CBTypeChange() {
    switch (CBType->currentIndex()) {
    case 0:
        LblTypeDescr->setText(toQString(msgConflictTypeSameRow()));
        break;
    case 1:
        LblTypeDescr->setText(toQString(msgConflictTypeRowInSet()));
        break;
    default:
        break;
    }
}

void TFoMain::BtnStartCRClick() {
    TBusyCursor busy;
    if (!communicator) {
        // Only reachable when the page's connection failed: nothing to test with.
        busy.release();
        showError(this, msgNotConnected());
        return;
    }
    if (!communicator->dataExist()) {
        // A lost connection has been shown already; it is no sign of empty tables.
        if (leaveLostConnection())
            return;
        busy.release();
        showInformation(this, msgTablesEmptyOrMissing());
        return;
    }
    const int type = CBType->currentIndex() < 0 ? 0 : CBType->currentIndex();
    const bool finished =
        communicator->testConcurrentEdit(static_cast<std::uint8_t>(type), &crProgressMemo);
    busy.release();
    if (finished) {
        showInformation(this, msgTestFinished());
    }
}

#include "ui/Fo_MainAncestor.h"

#include "core/Messages.h"
#include "navbar/NavigationBar.h"
#include "ui/Application.h"
#include "ui/BusyCursor.h"
#include "ui/MessageBoxes.h"
#include "ui/NavigationIcons.h"
#include "ui/QtText.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int pagesMinimumHeight = 440;

QLabel* wrappedLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    return label;
}

QWidget* page(QStackedWidget* pages, const char* name) {
    auto* widget = new QWidget(pages);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFocusPolicy(Qt::StrongFocus); // a page can take the focus, as on entry
    pages->addWidget(widget);
    return widget;
}

QPlainTextEdit* readOnlyMemo(QWidget* parent, const char* name) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    return memo;
}

} // namespace

TFoMainAncestor::TFoMainAncestor(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FoMainAncestor"));
    setWindowTitle(QStringLiteral("Vantrel"));
    QFont classic(QStringLiteral("MS Sans Serif"));
    classic.setStyleHint(QFont::SansSerif);
    classic.setPointSize(font().pointSize());
    setFont(classic);
    buildLayout();
    opDurationMemo.attach(MeOpDuration);
    infoMemoAdapter.attach(MeInfo);

    resize(800, 600);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TFoMainAncestor::~TFoMainAncestor() {
    // Normally the derived window has already run FormDestroy; this only makes sure that no
    // connection outlives the window. Nothing may escape a destructor.
    try {
        FormDestroy();
    } catch (...) {
    }
}

void TFoMainAncestor::buildLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    buildNavigation();
    row->addWidget(InBMain);

    PnlMain = new QWidget(central);
    PnlMain->setObjectName(QStringLiteral("PnlMain"));
    row->addWidget(PnlMain, 1);
    auto* column = new QVBoxLayout(PnlMain);
    column->setContentsMargins(0, 0, 0, 0);

    Splitter1 = new QSplitter(Qt::Vertical, PnlMain);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1);

    PCMain = new QStackedWidget(Splitter1);
    PCMain->setObjectName(QStringLiteral("PCMain"));
    PCMain->setMinimumHeight(pagesMinimumHeight);
    Splitter1->addWidget(PCMain);

    MeOpDuration = readOnlyMemo(Splitter1, "MeOpDuration");
    MeOpDuration->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MeOpDuration->setMinimumHeight(40);
    Splitter1->addWidget(MeOpDuration);
    // The pages keep their height when the window grows or shrinks; the log takes the rest.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    buildMainPage();
    TSData = page(PCMain, "TSData");
    buildDataPage();
    TSRecordLock = page(PCMain, "TSRecordLock");
    buildInfoPage();
    buildAboutPage();

    setCentralWidget(central);
}

void TFoMainAncestor::buildNavigation() {
    ILInB = navigationIcons();
    InBMain = new TNavigationBar(this);
    InBMain->setObjectName(QStringLiteral("InBMain"));
    // As wide as the bar's texts need at the window's font (see TNavigationBar::sizeHint).
    InBMain->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    InBMain->setPanelCaption(QStringLiteral("Seznam akcí"));
    InBMain->setLargeImages(ILInB);
    const char* captions[] = {"Volba datového zdroje", "Generování a prohlížení dat",
                              "Test konfliktu současné editace", "Informace o metavrstvě",
                              "O programu"};
    for (int i = 0; i < 5; ++i)
        InBMain->addItem(QString::fromUtf8(captions[i]), i, i);
    InBMain->setCurrentItemIndex(0);
    connect(InBMain, &TNavigationBar::itemClick, this, &TFoMainAncestor::InBMainItemClick);
    connect(InBMain, &TNavigationBar::keyDown, this, &TFoMainAncestor::InBMainKeyDown);
}

void TFoMainAncestor::buildMainPage() {
    TSMain = page(PCMain, "TSMain");
    auto* layout = new QVBoxLayout(TSMain);

    Label5 = wrappedLabel(QString(), TSMain, "Label5");
    layout->addWidget(Label5);
    Label8 = wrappedLabel(
        QString::fromUtf8("POZOR: Z důvodu jednoduchosti tohoto příkladu nejsou nijak šifrována "
                          "zadávaná hesla. Proto se může stát, že bude vaše heslo pro přístup k "
                          "datovému zdroji zobrazeno na obrazovce a uloženo v konfiguračním "
                          "souboru."),
        TSMain, "Label8");
    QFont warning = Label8->font();
    warning.setBold(true);
    Label8->setFont(warning);
    layout->addWidget(Label8);
    layout->addSpacing(8);

    LblDriver =
        wrappedLabel(QString::fromUtf8("&Datový zdroj pro připojení:"), TSMain, "LblDriver");
    CBDrivers = new QComboBox(TSMain);
    CBDrivers->setObjectName(QStringLiteral("CBDrivers"));
    CBDrivers->setEditable(false);
    LblDriver->setBuddy(CBDrivers);
    layout->addWidget(LblDriver);
    layout->addWidget(CBDrivers);

    BtnTestConnectivity =
        new QPushButton(QString::fromUtf8("&Test připojení k datovému zdroji"), TSMain);
    BtnTestConnectivity->setObjectName(QStringLiteral("BtnTestConnectivity"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(BtnTestConnectivity);
    buttonRow->addStretch(1);
    layout->addLayout(buttonRow);
    connect(BtnTestConnectivity, &QPushButton::clicked, this,
            &TFoMainAncestor::BtnTestConnectivityClick);
    layout->addSpacing(8);

    LblConnStr = wrappedLabel(QString::fromUtf8("&Přihlašovací řetězec:"), TSMain, "LblConnStr");
    MeConnStr = readOnlyMemo(TSMain, "MeConnStr");
    LblConnStr->setBuddy(MeConnStr);
    layout->addWidget(LblConnStr);
    layout->addWidget(MeConnStr, 1);

    EdConnStr = new QLineEdit(TSMain);
    EdConnStr->setObjectName(QStringLiteral("EdConnStr"));
    EdConnStr->setReadOnly(true);
    EdConnStr->setVisible(false);
    layout->addWidget(EdConnStr);
}

void TFoMainAncestor::buildInfoPage() {
    TSInfo = page(PCMain, "TSInfo");
    auto* layout = new QVBoxLayout(TSInfo);
    Label10 = wrappedLabel(
        QString::fromUtf8("Zde vidíte některé zajímavé informace o databázové metavrstvě nebo "
                          "zvoleném ovladači, které by mohly být užitečné při implementaci "
                          "reálné aplikace."),
        TSInfo, "Label10");
    layout->addWidget(Label10);
    MeInfo = readOnlyMemo(TSInfo, "MeInfo");
    MeInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MeInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MeInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(MeInfo, 1);
}

void TFoMainAncestor::buildAboutPage() {
    TSAbout = page(PCMain, "TSAbout");
    auto* layout = new QVBoxLayout(TSAbout);
    layout->addStretch(1);
    Label1 = wrappedLabel(QString(), TSAbout, "Label1");
    QFont titleFont = Label1->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    Label1->setFont(titleFont);
    Label2 = wrappedLabel(QString::fromUtf8("Autor: vývojový tým Vantrel"), TSAbout, "Label2");
    Label3 = wrappedLabel(QString(), TSAbout, "Label3");
    for (QLabel* label : {Label1, Label2, Label3}) {
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
    }
    layout->addStretch(2);
}

void TFoMainAncestor::FormCreate() {
    communicator.reset();
    settings.reset();
    setApplicationTitle(fromQString(windowTitle()));
    InBMain->setCurrentItemIndex(pageMain);
    PCMain->setCurrentIndex(pageMain);
    InBMain->setFocus(Qt::OtherFocusReason); // the arrows and Enter work from the start
    settings = std::make_unique<TIniFile>(litSettingsFile());
}

void TFoMainAncestor::FormDestroy() {
    dropCommunicator();
    settings.reset();
}

void TFoMainAncestor::dropCommunicator() {
    if (!communicator)
        return;
    // Destroyed on every way out, even when the disconnect raises.
    std::unique_ptr<TCommunicator> ending = std::move(communicator);
    if (ending->isConnected())
        ending->disconnect();
}

void TFoMainAncestor::InBMainItemClick(int, int item) {
    if (item < 0 || item >= InBMain->itemCount())
        return;
    int tag = InBMain->itemTag(item);
    if (tag < 0 || tag >= PCMain->count())
        return;
    InBMain->setCurrentItemIndex(tag);
    PCMain->setCurrentIndex(tag);
    PCMain->widget(tag)->setFocus(Qt::OtherFocusReason);
    runPageEnter(tag);
}

void TFoMainAncestor::InBMainKeyDown(int key) {
    int current = InBMain->currentItemIndex();
    switch (key) {
    case TNavigationBar::vkReturn:
        if (current >= 0)
            InBMainItemClick(0, current);
        break;
    case TNavigationBar::vkUp:
        if (current > 0)
            InBMain->setCurrentItemIndex(current - 1);
        break;
    case TNavigationBar::vkDown:
        if (current < InBMain->itemCount() - 1)
            InBMain->setCurrentItemIndex(current + 1);
        break;
    default:
        break;
    }
}

void TFoMainAncestor::runPageEnter(int pageIndex) {
    switch (pageIndex) {
    case pageMain:
        TSMainEnter();
        break;
    case pageData:
        TSDataEnter();
        break;
    case pageRecordLock:
        TSRecordLockEnter();
        break;
    case pageInfo:
        TSInfoEnter();
        break;
    default:
        break; // the about page needs nothing
    }
}

void TFoMainAncestor::TSMainEnter() {
    dropCommunicator();
}

void TFoMainAncestor::TSRecordLockEnter() {
    TSCommunicatorEnter();
}

void TFoMainAncestor::TSCommunicatorEnter() {
    if (communicator && communicator->isConnected())
        return;
    // One that lost its connection is replaced by a new one.
    dropCommunicator();
    TBusyCursor busy;
    communicator = createCommunicator();
    bool connected = false;
    if (communicator) {
        try {
            connected = communicator->connect();
        } catch (...) {
            // A connect that raised leaves no half-made communicator behind, so the next
            // visit tries again.
            communicator.reset();
            throw;
        }
    }
    if (connected) {
        afterConnect(communicator.get());
        return;
    }
    busy.release();
    InBMainItemClick(0, 0);
    showError(this, msgConnectFailed());
}

void TFoMainAncestor::TSInfoEnter() {
    TSCommunicatorEnter();
    if (communicator && communicator->isConnected())
        communicator->getInfo(infoMemo());
}

void TFoMainAncestor::BtnTestConnectivityClick() {
    TBusyCursor busy;
    std::unique_ptr<TCommunicator> test = createCommunicator();
    bool ok = false;
    if (test) {
        // A test connection is closed on every way out, also when afterConnect raises.
        struct Closer {
            TCommunicator* c;
            ~Closer() {
                if (c->isConnected()) {
                    try {
                        c->disconnect();
                    } catch (...) {
                    }
                }
            }
        } closer{test.get()};
        if (test->connect()) {
            afterConnect(test.get());
            test->disconnect();
            ok = true;
        }
    }
    test.reset();
    busy.release();
    if (ok)
        showInformation(this, msgConnectionTestOk());
    else
        showError(this, msgConnectionTestFailed());
}

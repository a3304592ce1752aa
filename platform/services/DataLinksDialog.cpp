#include "DataLinksDialog.h"

#include "DataLinksHook.h"

#include <oledberr.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vantrel::services {
namespace {

QString toQString(const std::u16string& s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}

QString hresultText(HRESULT hr) {
    return QStringLiteral("0x%1").arg(quint32(hr), 8, 16, QLatin1Char('0'));
}

// The provider's own message for the last failed call, or the HRESULT when it left none.
QString lastErrorText(HRESULT hr) {
    QString text;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description)) && description)
            text = QString::fromUtf16(description, SysStringLen(description));
        SysFreeString(description);
    }
    if (text.isEmpty())
        return hresultText(hr);
    return text + QStringLiteral(" (") + hresultText(hr) + QStringLiteral(")");
}

// Which standard property each Connection-page field edits, with its label and name.
struct CommonField {
    DBPROPID id;
    const char* label;
    const char* objectName;
};
constexpr CommonField commonFields[] = {
    {DBPROP_INIT_DATASOURCE, "&Data source:", dataLinksNames::dataSource},
    {DBPROP_INIT_LOCATION, "&Location:", dataLinksNames::location},
    {DBPROP_AUTH_USERID, "User &name:", dataLinksNames::userName},
    {DBPROP_AUTH_PASSWORD, "&Password:", dataLinksNames::password},
    {DBPROP_INIT_CATALOG, "Initial &catalog:", dataLinksNames::catalog},
};

// An editable combo box offering the property's choices (the provider's offered values or
// the named values), showing `text`; nullptr when there is nothing to offer or the property
// is read-only. Other texts can still be typed ("Read|Share Deny None", a DSN added later).
QComboBox* choicesBox(const InitProperty& property, const QString& text) {
    const std::vector<std::u16string> choices = valueChoices(property);
    if (choices.empty() || !property.isWritable())
        return nullptr;
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const std::u16string& choice : choices)
        combo->addItem(toQString(choice));
    combo->setCurrentText(text);
    return combo;
}

} // namespace

bool dataSourceIsFile(const std::vector<InitProperty>& properties) {
    bool hasDataSource = false;
    for (const InitProperty& p : properties) {
        if (p.isDbInit(DBPROP_INIT_LOCATION) || p.isDbInit(DBPROP_AUTH_USERID))
            return false;
        hasDataSource = hasDataSource || p.isDbInit(DBPROP_INIT_DATASOURCE);
    }
    return hasDataSource;
}

DataLinksDialog::DataLinksDialog(QWidget* parent, IUnknown* dataSource,
                                 std::vector<ProviderChoice> providers)
    : QDialog(parent), providers_(std::move(providers)) {
    setWindowTitle(QStringLiteral("Data Link Properties"));
    setModal(true);
    setMinimumSize(460, 420);

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(dataLinksNames::tabs);
    layout->addWidget(tabs_);

    if (!providers_.empty()) {
        auto* page = new QWidget;
        page->setObjectName(dataLinksNames::providerPage);
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->addWidget(
            new QLabel(QStringLiteral("Select the data you want to connect to:")));
        providerList_ = new QListWidget(page);
        providerList_->setObjectName(dataLinksNames::providerList);
        for (const ProviderChoice& p : providers_)
            providerList_->addItem(p.description.isEmpty() ? p.progId : p.description);
        pageLayout->addWidget(providerList_);
        auto* next = new QPushButton(QStringLiteral("&Next >>"), page);
        connect(next, &QPushButton::clicked, this, [this] {
            if (tabs_->count() > 1)
                tabs_->setCurrentIndex(1);
        });
        auto* nextRow = new QHBoxLayout;
        nextRow->addStretch();
        nextRow->addWidget(next);
        pageLayout->addLayout(nextRow);
        tabs_->addTab(page, QStringLiteral("Provider"));
    }

    status_ = new QLabel(this);
    status_->setObjectName(dataLinksNames::status);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DataLinksDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DataLinksDialog::reject);
    layout->addWidget(buttons);

    if (dataSource) {
        dataSource->AddRef();
        loadDataSource(ComPtr<IUnknown>::adopt(dataSource));
    }
    if (providerList_) {
        int current = -1;
        for (std::size_t i = 0; i < providers_.size(); ++i)
            if (dataSource_ && providers_[i].clsid == clsid_)
                current = int(i);
        if (current >= 0)
            providerList_->setCurrentRow(current);
        connect(providerList_, &QListWidget::currentRowChanged, this,
                &DataLinksDialog::selectProvider);
        if (!dataSource_)
            tabs_->setCurrentIndex(0);
    }
}

DataLinksDialog::~DataLinksDialog() = default;

IUnknown* DataLinksDialog::acceptedDataSource() const {
    IUnknown* p = dataSource_.get();
    if (p)
        p->AddRef();
    return p;
}

bool DataLinksDialog::loadDataSource(ComPtr<IUnknown> dataSource) {
    ComPtr<IDBProperties> properties;
    HRESULT hr = dataSource.as(IID_IDBProperties, properties);
    std::vector<InitProperty> read;
    if (SUCCEEDED(hr))
        hr = readInitProperties(properties.get(), read);
    if (FAILED(hr)) {
        showStatus(QStringLiteral("Vlastnosti ovladače nelze přečíst: ") + lastErrorText(hr), true);
        return false;
    }
    CLSID clsid{};
    ComPtr<IPersist> persist;
    if (SUCCEEDED(dataSource.as(IID_IPersist, persist)))
        persist->GetClassID(&clsid);
    dataSource_ = std::move(dataSource);
    clsid_ = clsid;
    properties_ = std::move(read);
    rebuildPages();
    return true;
}

void DataLinksDialog::rebuildPages() {
    const int firstPage = providerList_ ? 1 : 0;
    while (tabs_->count() > firstPage) {
        QWidget* page = tabs_->widget(firstPage);
        tabs_->removeTab(firstPage);
        delete page;
    }
    allEdits_.clear();
    dataSourceEdit_ = nullptr;
    allPage_ = buildAllPage(); // first, so the Connection page can link to its fields
    connectionPage_ = buildConnectionPage();
    tabs_->addTab(connectionPage_, QStringLiteral("Connection"));
    tabs_->addTab(allPage_, QStringLiteral("All"));
    tabs_->setCurrentIndex(firstPage);
    status_->clear();
}

QWidget* DataLinksDialog::buildAllPage() {
    auto* page = new QWidget;
    page->setObjectName(dataLinksNames::allPage);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(
        QStringLiteral("These are the initialization properties for this type of data. To "
                       "edit a value, change it in the Value column.")));
    auto* table = new QTableWidget(int(properties_.size()), 2, page);
    table->setObjectName(dataLinksNames::allTable);
    table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    for (std::size_t i = 0; i < properties_.size(); ++i) {
        const InitProperty& p = properties_[i];
        auto* name = new QTableWidgetItem(toQString(p.description));
        name->setFlags(Qt::ItemIsEnabled);
        table->setItem(int(i), 0, name);
        const QString text = toQString(textFromValue(p, p.value));
        QLineEdit* edit = nullptr;
        if (QComboBox* combo = choicesBox(p, text)) {
            combo->setFrame(false);
            edit = combo->lineEdit();
            table->setCellWidget(int(i), 1, combo);
        } else {
            edit = new QLineEdit(text);
            edit->setFrame(false);
            edit->setReadOnly(!p.isWritable());
            if (p.isPassword())
                edit->setEchoMode(QLineEdit::Password);
            table->setCellWidget(int(i), 1, edit);
        }
        allEdits_.push_back(edit);
    }
    table->resizeColumnToContents(0);
    layout->addWidget(table);
    return page;
}

QWidget* DataLinksDialog::buildConnectionPage() {
    auto* page = new QWidget;
    page->setObjectName(dataLinksNames::connectionPage);
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const CommonField& field : commonFields) {
        for (std::size_t i = 0; i < properties_.size(); ++i) {
            const InitProperty& p = properties_[i];
            if (!p.isDbInit(field.id))
                continue;
            QComboBox* combo = p.isPassword() ? nullptr : choicesBox(p, allEdits_[i]->text());
            QLineEdit* edit = combo ? combo->lineEdit() : new QLineEdit(allEdits_[i]->text());
            QWidget* fieldWidget = combo ? static_cast<QWidget*>(combo) : edit;
            edit->setObjectName(field.objectName);
            edit->setReadOnly(!p.isWritable());
            if (p.isPassword())
                edit->setEchoMode(QLineEdit::Password);
            linkEdits(edit, allEdits_[i]);
            auto* label = new QLabel(QString::fromLatin1(field.label));
            label->setBuddy(fieldWidget);
            if (field.id == DBPROP_INIT_DATASOURCE && dataSourceIsFile(properties_)) {
                dataSourceEdit_ = edit;
                auto* row = new QHBoxLayout;
                row->addWidget(fieldWidget);
                auto* browse = new QPushButton(QStringLiteral("..."));
                browse->setObjectName(dataLinksNames::dataSourceBrowse);
                browse->setToolTip(QStringLiteral("Choose the database file"));
                connect(browse, &QPushButton::clicked, this, &DataLinksDialog::browseForDataSource);
                row->addWidget(browse);
                form->addRow(label, row);
            } else {
                form->addRow(label, fieldWidget);
            }
        }
    }
    auto* test = new QPushButton(QStringLiteral("&Test Connection"), page);
    test->setObjectName(dataLinksNames::testConnection);
    connect(test, &QPushButton::clicked, this, &DataLinksDialog::testConnection);
    auto* testRow = new QHBoxLayout;
    testRow->addStretch();
    testRow->addWidget(test);
    layout->addLayout(testRow);
    layout->addStretch();
    return page;
}

void DataLinksDialog::linkEdits(QLineEdit* a, QLineEdit* b) {
    connect(a, &QLineEdit::textChanged, b, [b](const QString& text) {
        if (b->text() != text)
            b->setText(text);
    });
    connect(b, &QLineEdit::textChanged, a, [a](const QString& text) {
        if (a->text() != text)
            a->setText(text);
    });
}

void DataLinksDialog::selectProvider(int row) {
    if (row < 0 || std::size_t(row) >= providers_.size())
        return;
    if (dataSource_ && providers_[std::size_t(row)].clsid == clsid_)
        return;
    ComPtr<IUnknown> created;
    const HRESULT hr = CoCreateInstance(providers_[std::size_t(row)].clsid, nullptr,
                                        CLSCTX_INPROC_SERVER, IID_IUnknown, created.putVoid());
    if (FAILED(hr)) {
        showStatus(QStringLiteral("Ovladač nelze načíst: ") + lastErrorText(hr), true);
        return;
    }
    loadDataSource(std::move(created));
}

void DataLinksDialog::browseForDataSource() {
    if (!dataSourceEdit_)
        return;
    // A file that does not exist yet is fine: the provider may create it.
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Select Database File"),
                                                      dataSourceEdit_->text(), QString(), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty())
        dataSourceEdit_->setText(file);
}

bool DataLinksDialog::collectChanges(std::vector<InitProperty>& changes, QString& problem) const {
    changes.clear();
    for (std::size_t i = 0; i < properties_.size(); ++i) {
        const InitProperty& p = properties_[i];
        if (!p.isWritable())
            continue;
        const std::u16string text = allEdits_[i]->text().toStdU16String();
        if (text == textFromValue(p, p.value))
            continue;
        std::optional<InitValue> value = valueFromText(p, text);
        if (!value) {
            problem = QStringLiteral("Hodnota \"%1\" není platná pro \"%2\".")
                          .arg(allEdits_[i]->text(), toQString(p.description));
            return false;
        }
        InitProperty changed = p;
        changed.value = *value;
        changes.push_back(std::move(changed));
    }
    return true;
}

HRESULT DataLinksDialog::makeScratchCopy(const std::vector<InitProperty>& changes,
                                         ComPtr<IUnknown>& scratch, QString& problem) const {
    HRESULT hr =
        CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, scratch.putVoid());
    if (FAILED(hr)) {
        problem = QStringLiteral("Ovladač nelze načíst: ") + lastErrorText(hr);
        return hr;
    }
    std::vector<InitProperty> values;
    for (const InitProperty& p : properties_) {
        if (!p.isWritable())
            continue;
        InitProperty v = p;
        for (const InitProperty& c : changes)
            if (c.set == p.set && c.id == p.id)
                v.value = c.value;
        if (!v.value.isEmpty())
            values.push_back(std::move(v));
    }
    ComPtr<IDBProperties> properties;
    hr = scratch.as(IID_IDBProperties, properties);
    const InitProperty* refused = nullptr;
    DBPROPSTATUS status = DBPROPSTATUS_OK;
    if (SUCCEEDED(hr))
        hr = writeInitProperties(properties.get(), values, &refused, &status);
    if (FAILED(hr)) {
        problem = refused ? QStringLiteral("Ovladač odmítl hodnotu \"%1\": %2.")
                                .arg(toQString(refused->description),
                                     toQString(describePropertyStatus(status)))
                          : QStringLiteral("Ovladač odmítl hodnoty: ") + lastErrorText(hr);
        scratch.reset();
    }
    return hr;
}

void DataLinksDialog::testConnection() {
    std::vector<InitProperty> changes;
    QString problem;
    if (!collectChanges(changes, problem)) {
        showStatus(problem, true);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ComPtr<IUnknown> scratch;
    HRESULT hr = makeScratchCopy(changes, scratch, problem);
    if (SUCCEEDED(hr)) {
        ComPtr<IDBInitialize> init;
        hr = scratch.as(IID_IDBInitialize, init);
        if (SUCCEEDED(hr)) {
            SetErrorInfo(0, nullptr);
            hr = init->Initialize();
            if (FAILED(hr))
                problem = lastErrorText(hr);
            else
                init->Uninitialize();
        } else {
            problem = QStringLiteral("Datový zdroj nelze inicializovat (chybí IDBInitialize).");
        }
    }
    QApplication::restoreOverrideCursor();
    if (FAILED(hr))
        showStatus(QStringLiteral("Test připojení selhal: ") + problem, true);
    else
        showStatus(QStringLiteral("Test připojení proběhl úspěšně."), false);
}

void DataLinksDialog::accept() {
    if (!dataSource_) {
        showStatus(QStringLiteral("Nejprve vyberte ovladač."), true);
        return;
    }
    std::vector<InitProperty> changes;
    QString problem;
    if (!collectChanges(changes, problem)) {
        showStatus(problem, true);
        return;
    }
    if (!changes.empty()) {
        // A scratch copy takes the values first, so that a refusal leaves the object untouched.
        ComPtr<IUnknown> scratch;
        if (FAILED(makeScratchCopy(changes, scratch, problem))) {
            showStatus(problem, true);
            return;
        }
        ComPtr<IDBProperties> properties;
        HRESULT hr = dataSource_.as(IID_IDBProperties, properties);
        const InitProperty* refused = nullptr;
        DBPROPSTATUS status = DBPROPSTATUS_OK;
        if (SUCCEEDED(hr))
            hr = writeInitProperties(properties.get(), changes, &refused, &status);
        if (FAILED(hr)) {
            showStatus(refused ? QStringLiteral("Ovladač odmítl hodnotu \"%1\": %2.")
                                     .arg(toQString(refused->description),
                                          toQString(describePropertyStatus(status)))
                               : QStringLiteral("Hodnoty nelze nastavit: ") + lastErrorText(hr),
                       true);
            return;
        }
    }
    QDialog::accept();
}

void DataLinksDialog::showStatus(const QString& text, bool failure) {
    status_->setText(text);
    status_->setProperty("failure", failure);
}

} // namespace vantrel::services

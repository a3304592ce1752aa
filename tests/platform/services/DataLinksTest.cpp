// The Data Links dialog on Qt's offscreen platform, driven through its shown-hook so that it
// never waits for a user: fields built from the provider's properties, OK, Cancel, the
// connection test and the provider page.
#include "TestSupport.h"

#include "DataLinksHook.h"

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <filesystem>
#include <functional>

using namespace servicestest;
namespace names = vantrel::services::dataLinksNames;

namespace {

std::function<void(QDialog*)> script;
bool scriptRan = false;

void runScript(QDialog* dialog) {
    scriptRan = true;
    if (script)
        script(dialog);
    // Whatever the script did, the dialog must not stay open and block the test.
    if (dialog->isVisible())
        dialog->reject();
}

class DataLinksTest : public testing::Test {
protected:
    void SetUp() override {
        previous_ = vantrel::services::setDataLinksShownHook(&runScript);
        scriptRan = false;
        script = nullptr;
    }
    void TearDown() override {
        vantrel::services::setDataLinksShownHook(previous_);
        script = nullptr;
    }

    static ComPtr<IUnknown> newDataSource(const char16_t* progId) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        ComPtr<IUnknown> dataSource;
        EXPECT_EQ(dataInitialize()->CreateDBInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, nullptr,
                                                     IID_IUnknown, dataSource.put()),
                  S_OK);
        return dataSource;
    }

    // PromptDataSource as the bench calls it, on an existing object.
    static HRESULT prompt(ComPtr<IUnknown>& dataSource,
                          DBPROMPTOPTIONS options = DBPROMPTOPTIONS_PROPERTYSHEET |
                                                    DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION,
                          QWidget* parent = nullptr) {
        ComPtr<IDBPromptInitialize> links =
            create<IDBPromptInitialize>(CLSID_DataLinks, IID_IDBPromptInitialize);
        IUnknown* inOut = dataSource.detach();
        const HRESULT hr = links->PromptDataSource(nullptr, reinterpret_cast<HWND>(parent), options,
                                                   0, nullptr, nullptr, IID_IDBInitialize, &inOut);
        dataSource = ComPtr<IUnknown>::adopt(inOut);
        return hr;
    }

    static QLineEdit* edit(QDialog* dialog, const char* name) {
        return dialog->findChild<QLineEdit*>(name);
    }

    // The All page's value field of the property with this description.
    static QLineEdit* allField(QDialog* dialog, const QString& description) {
        auto* table = dialog->findChild<QTableWidget*>(names::allTable);
        if (!table)
            return nullptr;
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 0)->text() == description) {
                if (auto* combo = qobject_cast<QComboBox*>(table->cellWidget(r, 1)))
                    return combo->lineEdit();
                return qobject_cast<QLineEdit*>(table->cellWidget(r, 1));
            }
        return nullptr;
    }

    static QString status(QDialog* dialog) {
        auto* label = dialog->findChild<QLabel*>(names::status);
        return label ? label->text() : QString();
    }

private:
    vantrel::services::DataLinksShownHook previous_ = nullptr;
};

// The provider's initialisation property descriptions, read directly.
std::vector<QString> describedProperties(IUnknown* dataSource) {
    ComPtr<IDBProperties> properties;
    EXPECT_EQ(dataSource->QueryInterface(IID_IDBProperties, properties.putVoid()), S_OK);
    DBPROPIDSET all{nullptr, 0, DBPROPSET_DBINITALL};
    ULONG count = 0;
    DBPROPINFOSET* sets = nullptr;
    OLECHAR* buffer = nullptr;
    EXPECT_EQ(properties->GetPropertyInfo(1, &all, &count, &sets, &buffer), S_OK);
    std::vector<QString> out;
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i) {
            if (sets[s].rgPropertyInfos[i].dwFlags != DBPROPFLAGS_NOTSUPPORTED)
                out.push_back(QString::fromUtf16(sets[s].rgPropertyInfos[i].pwszDescription));
            VariantClear(&sets[s].rgPropertyInfos[i].vValues);
        }
        CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(buffer);
    return out;
}

TEST_F(DataLinksTest, BuildsItsFieldsFromTheSqliteProvidersProperties) {
    ComPtr<IUnknown> dataSource = newDataSource(u"Vantrel.SQLite.1");
    const std::vector<QString> described = describedProperties(dataSource.get());
    QWidget parent;
    script = [&](QDialog* dialog) {
        EXPECT_EQ(dialog->parentWidget(), &parent);
        EXPECT_TRUE(dialog->isModal());
        auto* tabs = dialog->findChild<QTabWidget*>(names::tabs);
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->count(), 2); // no provider page
        EXPECT_EQ(dialog->findChild<QWidget*>(names::providerPage), nullptr);
        EXPECT_EQ(tabs->currentWidget()->objectName(), names::connectionPage);

        // The Connection page: the provider's defaults, a file chooser, no user fields.
        ASSERT_NE(edit(dialog, names::dataSource), nullptr);
        EXPECT_EQ(edit(dialog, names::dataSource)->text(), "vantrel.db");
        EXPECT_NE(dialog->findChild<QPushButton*>(names::dataSourceBrowse), nullptr);
        EXPECT_EQ(edit(dialog, names::userName), nullptr);
        EXPECT_EQ(edit(dialog, names::password), nullptr);
        EXPECT_NE(dialog->findChild<QPushButton*>(names::testConnection), nullptr);

        // The All page: one row per initialisation property, with its current value.
        auto* table = dialog->findChild<QTableWidget*>(names::allTable);
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(std::size_t(table->rowCount()), described.size());
        for (int r = 0; r < table->rowCount(); ++r)
            EXPECT_EQ(table->item(r, 0)->text(), described[std::size_t(r)]);
        ASSERT_NE(allField(dialog, "Connect Timeout"), nullptr);
        EXPECT_EQ(allField(dialog, "Connect Timeout")->text(), "5");
        EXPECT_EQ(allField(dialog, "Mode")->text(), "ReadWrite");
        // Named values are offered for picking.
        auto* mode = qobject_cast<QComboBox*>(allField(dialog, "Mode")->parentWidget());
        ASSERT_NE(mode, nullptr);
        EXPECT_GE(mode->findText("Share Deny None"), 0);

        // Both pages edit the same value.
        edit(dialog, names::dataSource)->setText("linked.db");
        EXPECT_EQ(allField(dialog, "Data Source")->text(), "linked.db");
        dialog->reject();
    };
    EXPECT_EQ(prompt(dataSource,
                     DBPROMPTOPTIONS_PROPERTYSHEET | DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION,
                     &parent),
              DB_E_CANCELED);
    EXPECT_TRUE(scriptRan);
    EXPECT_TRUE(dataSource);
}

TEST_F(DataLinksTest, OkWritesTheValuesAndCancelLeavesThemAlone) {
    ComPtr<IUnknown> dataSource = newDataSource(u"Vantrel.SQLite.1");
    IUnknown* const original = dataSource.get();
    const std::u16string file = scratchPath("dialog.db");

    script = [&](QDialog* dialog) {
        edit(dialog, names::dataSource)->setText(QString::fromStdU16String(file));
        allField(dialog, "Connect Timeout")->setText("12");
        dialog->reject();
    };
    EXPECT_EQ(prompt(dataSource), DB_E_CANCELED);
    EXPECT_NE(takeErrorDescription().find(u"zrušen"), std::u16string::npos);
    EXPECT_EQ(dataSource.get(), original);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"vantrel.db");
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_TIMEOUT), u"5");

    script = [&](QDialog* dialog) {
        edit(dialog, names::dataSource)->setText(QString::fromStdU16String(file));
        allField(dialog, "Connect Timeout")->setText("12");
        dialog->accept();
    };
    ASSERT_EQ(prompt(dataSource), S_OK);
    EXPECT_EQ(dataSource.get(), original); // the same object, edited
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), file);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_TIMEOUT), u"12");
    EXPECT_NE(initString(dataSource.get(), true).find(u"Connect Timeout=12"), std::u16string::npos);

    ComPtr<IDBInitialize> init;
    ASSERT_EQ(dataSource.as(IID_IDBInitialize, init), S_OK);
    EXPECT_EQ(init->Initialize(), S_OK) << utf8(takeErrorDescription());
    EXPECT_TRUE(std::filesystem::exists(utf8(file)));
    init->Uninitialize();
    init.reset();
    EXPECT_EQ(dataSource.detach()->Release(), 0u);
}

TEST_F(DataLinksTest, NamedValuesArePickedFromAList) {
    // Both providers offer Mode, so a read-only session can be asked for in the dialog.
    for (const char16_t* progId : {u"Vantrel.SQLite.1", u"Vantrel.PostgreSQL.1"}) {
        ComPtr<IUnknown> dataSource = newDataSource(progId);
        script = [](QDialog* dialog) {
            ASSERT_NE(allField(dialog, "Mode"), nullptr);
            EXPECT_EQ(allField(dialog, "Mode")->text(), "ReadWrite");
            auto* mode = qobject_cast<QComboBox*>(allField(dialog, "Mode")->parentWidget());
            ASSERT_NE(mode, nullptr);
            mode->setCurrentIndex(mode->findText("Read"));
            dialog->accept();
        };
        ASSERT_EQ(prompt(dataSource), S_OK) << utf8(progId);
        EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_MODE), u"1") << utf8(progId);
        EXPECT_NE(initString(dataSource.get(), false).find(u"Mode=Read;"), std::u16string::npos)
            << utf8(progId);
    }
}

TEST_F(DataLinksTest, RefusedValuesKeepTheDialogOpenAndTheObjectUntouched) {
    ComPtr<IUnknown> dataSource = newDataSource(u"Vantrel.SQLite.1");
    bool stayedOpen = false;
    script = [&](QDialog* dialog) {
        allField(dialog, "Data Source")->setText("changed.db");
        allField(dialog, "Connect Timeout")->setText("soon");
        dialog->accept();
        stayedOpen = dialog->isVisible() && dialog->result() != QDialog::Accepted;
        EXPECT_TRUE(status(dialog).contains("Connect Timeout")) << status(dialog).toStdString();
        dialog->reject();
    };
    EXPECT_EQ(prompt(dataSource), DB_E_CANCELED);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"vantrel.db");
}

TEST_F(DataLinksTest, DefaultsGiveAWorkingDatabaseInTheWorkingDirectory) {
    std::filesystem::remove("vantrel.db");
    ComPtr<IUnknown> dataSource = newDataSource(u"Vantrel.SQLite.1");
    script = [](QDialog* dialog) { dialog->accept(); };
    ASSERT_EQ(prompt(dataSource), S_OK);
    const std::u16string text = initString(dataSource.get(), true);
    EXPECT_NE(text.find(u"Data Source=vantrel.db"), std::u16string::npos) << utf8(text);
    ComPtr<IDBInitialize> init;
    ASSERT_EQ(dataSource.as(IID_IDBInitialize, init), S_OK);
    EXPECT_EQ(init->Initialize(), S_OK) << utf8(takeErrorDescription());
    EXPECT_TRUE(std::filesystem::exists("vantrel.db"));
    init->Uninitialize();
}

TEST_F(DataLinksTest, TestConnectionReportsTheOutcomeWithTheProvidersMessage) {
    ComPtr<IUnknown> dataSource = newDataSource(u"Vantrel.SQLite.1");
    const std::u16string file = scratchPath("tested.db");
    script = [&](QDialog* dialog) {
        edit(dialog, names::dataSource)->setText(QString::fromStdU16String(file));
        dialog->findChild<QPushButton*>(names::testConnection)->click();
        EXPECT_TRUE(status(dialog).contains(QString::fromUtf8("proběhl úspěšně")))
            << status(dialog).toStdString();
        dialog->reject();
    };
    EXPECT_EQ(prompt(dataSource), DB_E_CANCELED);
    // The test ran on a scratch copy: the object itself is neither changed nor initialised.
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"vantrel.db");
    EXPECT_TRUE(std::filesystem::exists(utf8(file)));

    AuthProviderRegistration registration;
    ComPtr<IUnknown> auth = newDataSource(AuthProviderRegistration::progId());
    script = [&](QDialog* dialog) {
        ASSERT_NE(edit(dialog, names::userName), nullptr);
        ASSERT_NE(edit(dialog, names::password), nullptr);
        EXPECT_EQ(edit(dialog, names::password)->echoMode(), QLineEdit::Password);
        EXPECT_EQ(allField(dialog, "Password")->echoMode(), QLineEdit::Password);
        EXPECT_NE(edit(dialog, names::catalog), nullptr);
        // A server database: no file chooser.
        EXPECT_EQ(dialog->findChild<QPushButton*>(names::dataSourceBrowse), nullptr);
        edit(dialog, names::userName)->setText("karel");
        edit(dialog, names::password)->setText("wrong");
        dialog->findChild<QPushButton*>(names::testConnection)->click();
        EXPECT_TRUE(status(dialog).startsWith(QString::fromUtf8("Test připojení selhal: ")))
            << status(dialog).toStdString();
        EXPECT_TRUE(status(dialog).contains("password authentication failed for user \"karel\""))
            << status(dialog).toStdString();
        dialog->accept();
    };
    ASSERT_EQ(prompt(auth), S_OK);
    EXPECT_EQ(initText(auth.get(), DBPROP_AUTH_USERID), u"karel");
    EXPECT_EQ(initText(auth.get(), DBPROP_AUTH_PASSWORD), u"wrong");
}

TEST_F(DataLinksTest, ProviderPageCreatesTheChosenProvidersDataSource) {
    script = [](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>(names::providerList);
        ASSERT_NE(list, nullptr);
        int sqliteRow = -1;
        for (int r = 0; r < list->count(); ++r)
            if (list->item(r)->text().contains("SQLite"))
                sqliteRow = r;
        ASSERT_GE(sqliteRow, 0);
        // The service components are not providers.
        for (int r = 0; r < list->count(); ++r)
            EXPECT_FALSE(list->item(r)->text().contains("Root Enumerator"));
        list->setCurrentRow(sqliteRow);
        ASSERT_NE(edit(dialog, names::dataSource), nullptr);
        edit(dialog, names::dataSource)->setText("picked.db");
        dialog->accept();
    };
    ComPtr<IUnknown> dataSource;
    ASSERT_EQ(prompt(dataSource, DBPROMPTOPTIONS_PROPERTYSHEET), S_OK);
    ASSERT_TRUE(dataSource);
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"picked.db");
    EXPECT_EQ(initString(dataSource.get(), false).rfind(u"Provider=Vantrel.SQLite.1;", 0), 0u);
}

TEST_F(DataLinksTest, PromptFileNameReturnsTheChosenDataLinkFile) {
    ComPtr<IDBPromptInitialize> links =
        create<IDBPromptInitialize>(CLSID_DataLinks, IID_IDBPromptInitialize);
    const std::u16string dir = scratchPath("links");
    std::filesystem::create_directories(utf8(dir));
    const QString chosen = QString::fromStdU16String(dir) + "/bank.udl";
    script = [&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr);
        files->selectFile(chosen);
        static_cast<QDialog*>(files)->accept(); // QFileDialog::accept is protected
    };
    LPOLESTR file = nullptr;
    ASSERT_EQ(links->PromptFileName(nullptr, DBPROMPTOPTIONS_NONE, dir.c_str(), u"bank.udl", &file),
              S_OK);
    EXPECT_EQ(QString::fromUtf16(file), chosen);
    CoTaskMemFree(file);

    script = [](QDialog* dialog) { dialog->reject(); };
    file = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(
        links->PromptFileName(nullptr, DBPROMPTOPTIONS_BROWSEONLY, dir.c_str(), nullptr, &file),
        DB_E_CANCELED);
    EXPECT_EQ(file, nullptr);
}

TEST_F(DataLinksTest, ArgumentChecks) {
    ComPtr<IDBPromptInitialize> links =
        create<IDBPromptInitialize>(CLSID_DataLinks, IID_IDBPromptInitialize);
    IUnknown* none = nullptr;
    // No object to edit and no provider page to pick one on.
    EXPECT_EQ(links->PromptDataSource(nullptr, nullptr,
                                      DBPROMPTOPTIONS_PROPERTYSHEET |
                                          DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION,
                                      0, nullptr, nullptr, IID_IDBInitialize, &none),
              E_INVALIDARG);
    EXPECT_EQ(links->PromptDataSource(nullptr, nullptr, DBPROMPTOPTIONS_PROPERTYSHEET, 0, nullptr,
                                      nullptr, IID_IDBInitialize, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(links->PromptDataSource(nullptr, nullptr, DBPROMPTOPTIONS_PROPERTYSHEET, 1, nullptr,
                                      nullptr, IID_IDBInitialize, &none),
              E_INVALIDARG);
    // A provider filter nothing matches.
    EXPECT_EQ(links->PromptDataSource(nullptr, nullptr, DBPROMPTOPTIONS_PROPERTYSHEET, 0, nullptr,
                                      u"No.Such.Provider\0", IID_IDBInitialize, &none),
              DB_E_NOPROVIDERSREGISTERED);
    EXPECT_FALSE(scriptRan);
    EXPECT_EQ(none, nullptr);
}

} // namespace

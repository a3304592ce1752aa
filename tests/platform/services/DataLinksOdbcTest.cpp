// The Data Links dialog over the ODBC provider and the test-only unixODBC configuration that
// scripts/test writes (scripts/odbc-config): the data sources and drivers the driver manager
// knows are offered for picking, and what is picked connects.
#include "TestSupport.h"

#include "DataLinksHook.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <functional>

using namespace servicestest;
namespace names = vantrel::services::dataLinksNames;

namespace {

// The driver manager loads its configuration library for each listing and unloads it again,
// leaving what it parsed under a name the leak checker can no longer show. Kept loaded for the
// whole process, those blocks stay named (scripts/lsan.supp names the library).
[[maybe_unused]] const bool configurationLibraryKept =
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE) != nullptr;

std::function<void(QDialog*)> odbcScript;

void runOdbcScript(QDialog* dialog) {
    if (odbcScript)
        odbcScript(dialog);
    if (dialog->isVisible())
        dialog->reject();
}

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

class DataLinksOdbcTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("VANTREL_SKIP_ODBC") &&
            std::string(std::getenv("VANTREL_SKIP_ODBC")) == "1")
            GTEST_SKIP() << "VANTREL_SKIP_ODBC=1";
        ASSERT_TRUE(isSet("ODBCINI") && isSet("ODBCSYSINI"))
            << "no test ODBC configuration: run through scripts/test, or set VANTREL_SKIP_ODBC=1";
        previous_ = vantrel::services::setDataLinksShownHook(&runOdbcScript);
    }
    void TearDown() override {
        vantrel::services::setDataLinksShownHook(previous_);
        odbcScript = nullptr;
    }

    static HRESULT prompt(ComPtr<IUnknown>& dataSource) {
        ComPtr<IDBPromptInitialize> links =
            create<IDBPromptInitialize>(CLSID_DataLinks, IID_IDBPromptInitialize);
        IUnknown* inOut = dataSource.detach();
        const HRESULT hr = links->PromptDataSource(nullptr, nullptr,
                                                   DBPROMPTOPTIONS_PROPERTYSHEET |
                                                       DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION,
                                                   0, nullptr, nullptr, IID_IDBInitialize, &inOut);
        dataSource = ComPtr<IUnknown>::adopt(inOut);
        return hr;
    }

    static ComPtr<IUnknown> odbcDataSource() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Vantrel.ODBC.1", &clsid), S_OK);
        return create<IUnknown>(clsid, IID_IUnknown);
    }

    // The combo box whose line edit is the named field, or the All page's value of a property.
    static QComboBox* comboOf(QLineEdit* edit) {
        return edit ? qobject_cast<QComboBox*>(edit->parentWidget()) : nullptr;
    }
    static QComboBox* allCombo(QDialog* dialog, const QString& description) {
        auto* table = dialog->findChild<QTableWidget*>(names::allTable);
        for (int r = 0; table && r < table->rowCount(); ++r)
            if (table->item(r, 0)->text() == description)
                return qobject_cast<QComboBox*>(table->cellWidget(r, 1));
        return nullptr;
    }
    static QStringList items(QComboBox* combo) {
        QStringList out;
        for (int i = 0; combo && i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    }
    static QString status(QDialog* dialog) {
        auto* label = dialog->findChild<QLabel*>(names::status);
        return label ? label->text() : QString();
    }

private:
    vantrel::services::DataLinksShownHook previous_ = nullptr;
};

TEST_F(DataLinksOdbcTest, OffersTheKnownDataSourcesAndDriversAndConnectsToThePickedOne) {
    QStringList expectedSources{"VantrelSQLite"};
    if (isSet("VANTREL_PG_PORT"))
        expectedSources << "VantrelPostgreSQL";
    if (isSet("VANTREL_MARIADB_PORT"))
        expectedSources << "VantrelMariaDB";

    ComPtr<IUnknown> dataSource = odbcDataSource();
    odbcScript = [&](QDialog* dialog) {
        QComboBox* sources = comboOf(dialog->findChild<QLineEdit*>(names::dataSource));
        ASSERT_NE(sources, nullptr) << "Data Source is not offered as a list";
        EXPECT_TRUE(sources->isEditable());
        // Each name once, though unixODBC reads the same file as user and system list here.
        EXPECT_EQ(items(sources).size(), expectedSources.size())
            << items(sources).join(", ").toStdString();
        for (const QString& name : expectedSources)
            EXPECT_TRUE(items(sources).contains(name)) << name.toStdString();
        EXPECT_EQ(sources->currentText(), ""); // nothing chosen until the user picks

        QComboBox* drivers = allCombo(dialog, "Extended Properties");
        ASSERT_NE(drivers, nullptr);
        for (const char* driver : {"Vantrel SQLite3", "Vantrel PostgreSQL", "Vantrel MariaDB"})
            EXPECT_TRUE(items(drivers).contains(QString("DRIVER={%1};").arg(driver)))
                << items(drivers).join(", ").toStdString();
        // The password never becomes a list, the others stay plain fields.
        EXPECT_EQ(comboOf(dialog->findChild<QLineEdit*>(names::password)), nullptr);

        // Picking in the list fills the field both pages show, and the test connects.
        sources->setCurrentIndex(sources->findText("VantrelSQLite"));
        EXPECT_EQ(allCombo(dialog, "Data Source")->currentText(), "VantrelSQLite");
        dialog->findChild<QPushButton*>(names::testConnection)->click();
        EXPECT_TRUE(status(dialog).contains(QString::fromUtf8("proběhl úspěšně")))
            << status(dialog).toStdString();
        dialog->accept();
    };
    ASSERT_EQ(prompt(dataSource), S_OK) << utf8(takeErrorDescription());
    EXPECT_EQ(initText(dataSource.get(), DBPROP_INIT_DATASOURCE), u"VantrelSQLite");
    ComPtr<IDBInitialize> init;
    ASSERT_EQ(dataSource.as(IID_IDBInitialize, init), S_OK);
    EXPECT_EQ(init->Initialize(), S_OK) << utf8(takeErrorDescription());
    init->Uninitialize();

    // A driver picked from the list, completed by hand into a whole connection string.
    const std::u16string file = scratchPath("picked-driver.db");
    ComPtr<IUnknown> second = odbcDataSource();
    odbcScript = [&](QDialog* dialog) {
        QComboBox* drivers = allCombo(dialog, "Extended Properties");
        ASSERT_NE(drivers, nullptr);
        drivers->setCurrentIndex(drivers->findText("DRIVER={Vantrel SQLite3};"));
        drivers->lineEdit()->setText(drivers->currentText() +
                                     "Database=" + QString::fromStdU16String(file) + ";");
        dialog->accept();
    };
    ASSERT_EQ(prompt(second), S_OK) << utf8(takeErrorDescription());
    ComPtr<IDBInitialize> secondInit;
    ASSERT_EQ(second.as(IID_IDBInitialize, secondInit), S_OK);
    EXPECT_EQ(secondInit->Initialize(), S_OK) << utf8(takeErrorDescription());
    EXPECT_TRUE(std::filesystem::exists(utf8(file)));
    secondInit->Uninitialize();
}

} // namespace

// A seam for driving the Data Links dialog without a user: when set, the hook runs once the
// dialog is shown (from the dialog's own event loop), and may fill fields and press OK or
// Cancel. Tests use it so that PromptDataSource never waits for input.
//
// The dialog runs inside the Data Links module while the test that installs the hook is
// another binary, so the hook is kept where both meet: a property of the application object.
#pragma once

#include <QCoreApplication>
#include <QVariant>

class QDialog;

namespace vantrel::services {

using DataLinksShownHook = void (*)(QDialog* dialog);

inline constexpr const char* dataLinksHookProperty = "vantrelDataLinksShownHook";

// The installed hook, or nullptr (also when there is no application object).
inline DataLinksShownHook dataLinksShownHook() {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    return reinterpret_cast<DataLinksShownHook>(
        app->property(dataLinksHookProperty).value<quintptr>());
}

// Installs the hook (nullptr removes it) and returns the previous one. Needs the application
// object; without one nothing is installed.
inline DataLinksShownHook setDataLinksShownHook(DataLinksShownHook hook) {
    const DataLinksShownHook previous = dataLinksShownHook();
    if (QCoreApplication* app = QCoreApplication::instance())
        app->setProperty(dataLinksHookProperty,
                         QVariant::fromValue(reinterpret_cast<quintptr>(hook)));
    return previous;
}

// Object names of the dialog's parts, for the hook to find them with findChild. A field whose
// property has values to pick from is the line edit of an editable QComboBox (its parent).
namespace dataLinksNames {
inline constexpr const char* tabs = "tabs";
inline constexpr const char* providerPage = "providerPage";
inline constexpr const char* providerList = "providerList"; // QListWidget
inline constexpr const char* connectionPage = "connectionPage";
inline constexpr const char* allPage = "allPage";
inline constexpr const char* dataSource = "dataSourceEdit"; // QLineEdit
inline constexpr const char* dataSourceBrowse = "dataSourceBrowse";
inline constexpr const char* location = "locationEdit";
inline constexpr const char* userName = "userNameEdit";
inline constexpr const char* password = "passwordEdit";
inline constexpr const char* catalog = "catalogEdit";
inline constexpr const char* allTable = "allTable"; // QTableWidget: name, value (QLineEdit)
inline constexpr const char* testConnection = "testConnectionButton";
inline constexpr const char* status = "statusLabel"; // outcome of the test, refusals on OK
} // namespace dataLinksNames

} // namespace vantrel::services

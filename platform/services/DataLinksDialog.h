// The Data Link Properties dialog: pages generated from a data source object's initialisation
// properties (GetPropertyInfo), a connection test on a scratch copy, and OK writing the edited
// values through IDBProperties::SetProperties.
#pragma once

#include "ComPtr.h"
#include "InitProperties.h"

#include <QDialog>
#include <QString>

#include <map>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QWidget;

namespace vantrel::services {

struct ProviderChoice {
    CLSID clsid{};
    QString progId;
    QString description;
};

class DataLinksDialog : public QDialog {
public:
    // `dataSource` (may be null when providers are offered) is the object to edit; it is not
    // changed before OK. `providers` empty means no provider page.
    DataLinksDialog(QWidget* parent, IUnknown* dataSource, std::vector<ProviderChoice> providers);
    ~DataLinksDialog() override;

    // After OK: the data source holding the values (the one given, or a new object when the
    // user picked another provider). A new reference.
    IUnknown* acceptedDataSource() const;

    void accept() override;

private:
    // Shows `dataSource`'s properties (a new object after a provider change).
    bool loadDataSource(ComPtr<IUnknown> dataSource);
    void rebuildPages();
    QWidget* buildConnectionPage();
    QWidget* buildAllPage();
    void selectProvider(int row);
    void testConnection();
    void browseForDataSource();

    // The edited values that differ from the object's, or false (and a message) when a text
    // does not fit its property's type.
    bool collectChanges(std::vector<InitProperty>& changes, QString& problem) const;
    // A fresh object of the same class carrying the current values with `changes` applied.
    HRESULT makeScratchCopy(const std::vector<InitProperty>& changes, ComPtr<IUnknown>& scratch,
                            QString& problem) const;
    void showStatus(const QString& text, bool failure);
    // Keeps the Connection page's field and the All page's field of a property in step.
    void linkEdits(QLineEdit* a, QLineEdit* b);

    ComPtr<IUnknown> dataSource_;
    CLSID clsid_{};
    std::vector<InitProperty> properties_;
    std::vector<QLineEdit*> allEdits_; // parallel to properties_
    std::vector<ProviderChoice> providers_;

    QTabWidget* tabs_ = nullptr;
    QWidget* connectionPage_ = nullptr;
    QWidget* allPage_ = nullptr;
    QListWidget* providerList_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* dataSourceEdit_ = nullptr;
};

// True when the provider's data source is a file: it has a data-source property but neither a
// location (server) nor user authentication.
bool dataSourceIsFile(const std::vector<InitProperty>& properties);

} // namespace vantrel::services

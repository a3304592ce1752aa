#include "DataLinks.h"

#include "ServiceObject.h"

#include "ComPtr.h"
#include "DataLinksDialog.h"
#include "DataLinksHook.h"
#include "ErrorReport.h"
#include "InitString.h"

#include <vantrel/ClassRegistry.h>

#include <oledberr.h>

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QTimer>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

namespace vantrel::services {
namespace {

QString toQString(const std::u16string& s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}

// The ProgIDs of a double-NUL-terminated provider filter.
std::vector<std::u16string> splitFilter(LPCOLESTR filter) {
    std::vector<std::u16string> names;
    while (filter && *filter) {
        std::u16string name(filter);
        filter += name.size() + 1;
        names.push_back(std::move(name));
    }
    return names;
}

// The registered providers the dialog may offer, sorted by description.
std::vector<ProviderChoice> offeredProviders(ULONG typeCount, const DBSOURCETYPE* types,
                                             LPCOLESTR providerFilter) {
    const std::vector<std::u16string> filter = splitFilter(providerFilter);
    std::vector<ProviderChoice> choices;
    for (const VantrelClassRegistration& info : VantrelRegisteredClasses()) {
        bool typeOk = false;
        if (typeCount == 0)
            typeOk = info.sourceType == DBSOURCETYPE_DATASOURCE_TDP ||
                     info.sourceType == DBSOURCETYPE_DATASOURCE_MDP;
        for (ULONG i = 0; i < typeCount; ++i)
            typeOk = typeOk || info.sourceType == types[i];
        if (!typeOk)
            continue;
        if (!filter.empty()) {
            bool named = false;
            for (const std::u16string& f : filter)
                named = named || sameInitKeyword(f, info.progId) ||
                        sameInitKeyword(f, info.versionIndependentProgId);
            if (!named)
                continue;
        }
        choices.push_back(
            ProviderChoice{info.clsid, toQString(info.progId), toQString(info.description)});
    }
    std::sort(choices.begin(), choices.end(), [](const ProviderChoice& a, const ProviderChoice& b) {
        return a.description.localeAwareCompare(b.description) < 0;
    });
    return choices;
}

class DataLinks final : public ServiceObject<IDBPromptInitialize, IID_IDBPromptInitialize> {
public:
    HRESULT STDMETHODCALLTYPE PromptDataSource(IUnknown* outer, HWND parent,
                                               DBPROMPTOPTIONS options, ULONG typeCount,
                                               DBSOURCETYPE* types, LPCOLESTR providerFilter,
                                               REFIID riid, IUnknown** dataSource) override;
    HRESULT STDMETHODCALLTYPE PromptFileName(HWND parent, DBPROMPTOPTIONS options,
                                             LPCOLESTR initialDirectory, LPCOLESTR initialFile,
                                             LPOLESTR* selectedFile) override;

private:
    ~DataLinks() = default;
};

// Runs the dialog modally, letting the test hook drive it when one is installed.
int runDialog(QDialog& dialog) {
    if (DataLinksShownHook hook = dataLinksShownHook()) {
        QPointer<QDialog> guard(&dialog);
        QTimer::singleShot(0, &dialog, [guard, hook] {
            if (guard)
                hook(guard.data());
        });
    }
    return dialog.exec();
}

HRESULT needsApplication(REFIID iid) {
    return reportError(E_UNEXPECTED, iid,
                       u"Dialog Data Links potřebuje v tomto vlákně běžící aplikaci Qt.");
}

HRESULT DataLinks::PromptDataSource(IUnknown* outer, HWND parent, DBPROMPTOPTIONS options,
                                    ULONG typeCount, DBSOURCETYPE* types, LPCOLESTR providerFilter,
                                    REFIID riid, IUnknown** dataSource) {
    SetErrorInfo(0, nullptr);
    if (!dataSource || (typeCount > 0 && !types))
        return E_INVALIDARG;
    if (outer) // the dialog hands out existing objects; it cannot aggregate them
        return CLASS_E_NOAGGREGATION;
    const bool offerProviders = (options & DBPROMPTOPTIONS_DISABLE_PROVIDER_SELECTION) == 0;
    IUnknown* existing = *dataSource;
    if (!existing && !offerProviders)
        return reportError(E_INVALIDARG, IID_IDBPromptInitialize,
                           u"Bez výběru ovladače potřebuje dialog objekt datového zdroje.");
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return needsApplication(IID_IDBPromptInitialize);

    std::vector<ProviderChoice> providers;
    if (offerProviders) {
        providers = offeredProviders(typeCount, types, providerFilter);
        if (providers.empty() && !existing)
            return reportError(DB_E_NOPROVIDERSREGISTERED, IID_IDBPromptInitialize,
                               u"Filtru neodpovídá žádný ovladač OLE DB.");
    }

    DataLinksDialog dialog(reinterpret_cast<QWidget*>(parent), existing, std::move(providers));
    if (parent)
        dialog.setWindowModality(Qt::WindowModal);
    if (runDialog(dialog) != QDialog::Accepted)
        return reportError(DB_E_CANCELED, IID_IDBPromptInitialize,
                           u"Dialog Data Link Properties byl zrušen.");

    ComPtr<IUnknown> accepted = ComPtr<IUnknown>::adopt(dialog.acceptedDataSource());
    IUnknown* result = nullptr;
    const HRESULT hr = accepted->QueryInterface(riid, reinterpret_cast<void**>(&result));
    if (FAILED(hr))
        return hr;
    if (existing)
        existing->Release(); // the caller's reference is replaced by the one handed back
    *dataSource = result;
    return S_OK;
}

HRESULT DataLinks::PromptFileName(HWND parent, DBPROMPTOPTIONS options, LPCOLESTR initialDirectory,
                                  LPCOLESTR initialFile, LPOLESTR* selectedFile) {
    SetErrorInfo(0, nullptr);
    if (!selectedFile)
        return E_INVALIDARG;
    *selectedFile = nullptr;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return needsApplication(IID_IDBPromptInitialize);

    QFileDialog dialog(reinterpret_cast<QWidget*>(parent), QStringLiteral("Select Data Link File"));
    dialog.setNameFilters(
        {QStringLiteral("Microsoft Data Link (*.udl)"), QStringLiteral("All files (*)")});
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (initialDirectory && *initialDirectory)
        dialog.setDirectory(QString::fromUtf16(initialDirectory));
    if (initialFile && *initialFile)
        dialog.selectFile(QString::fromUtf16(initialFile));
    if (options & DBPROMPTOPTIONS_BROWSEONLY) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (runDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return DB_E_CANCELED;

    const std::u16string file = dialog.selectedFiles().front().toStdU16String();
    auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((file.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::copy(file.begin(), file.end(), out);
    out[file.size()] = 0;
    *selectedFile = out;
    return S_OK;
}

} // namespace

HRESULT createDataLinks(IUnknown* outer, REFIID riid, void** ppv) {
    return createServiceObject<DataLinks>(outer, riid, ppv);
}

} // namespace vantrel::services

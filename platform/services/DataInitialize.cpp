#include "DataInitialize.h"

#include "ServiceObject.h"

#include <oledberr.h>

#include "ComPtr.h"
#include "ErrorReport.h"
#include "InitProperties.h"
#include "InitString.h"
#include "UdlFile.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

namespace vantrel::services {
namespace {

std::u16string number(std::size_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string quoted(std::u16string_view s) {
    return u"'" + std::u16string(s) + u"'";
}

constexpr const char16_t* providerKeyword = u"Provider";

// Keywords that belong to the service components rather than the provider; accepted (and
// ignored) when the provider does not describe a property of that name itself.
bool isServiceKeyword(std::u16string_view keyword) {
    return sameInitKeyword(keyword, u"OLE DB Services") ||
           sameInitKeyword(keyword, u"Persist Security Info");
}

// The provider the initialisation string names, by ProgID (either form) or braced CLSID.
HRESULT resolveProvider(const std::u16string& name, CLSID& clsid) {
    if (name.empty())
        return reportError(DB_E_BADINITSTRING, IID_IDataInitialize,
                           u"Inicializační řetězec: klíčové slovo 'Provider' nemá hodnotu.");
    if (FAILED(CLSIDFromProgID(name.c_str(), &clsid)))
        return reportError(REGDB_E_CLASSNOTREG, IID_IDataInitialize,
                           u"Ovladač " + quoted(name) + u" není zaregistrován.");
    return S_OK;
}

class DataInitialize final : public ServiceObject<IDataInitialize, IID_IDataInitialize> {
public:
    // IDataInitialize
    HRESULT STDMETHODCALLTYPE GetDataSource(IUnknown* outer, DWORD clsctx, LPCOLESTR initString,
                                            REFIID riid, IUnknown** dataSource) override;
    HRESULT STDMETHODCALLTYPE GetInitializationString(IUnknown* dataSource, boolean includePassword,
                                                      LPOLESTR* initString) override;
    HRESULT STDMETHODCALLTYPE CreateDBInstance(REFCLSID provider, IUnknown* outer, DWORD clsctx,
                                               LPOLESTR reserved, REFIID riid,
                                               IUnknown** dataSource) override;
    HRESULT STDMETHODCALLTYPE CreateDBInstanceEx(REFCLSID provider, IUnknown* outer, DWORD clsctx,
                                                 LPOLESTR reserved, COSERVERINFO* serverInfo,
                                                 ULONG count, MULTI_QI* results) override;
    HRESULT STDMETHODCALLTYPE LoadStringFromStorage(LPCOLESTR fileName,
                                                    LPOLESTR* initString) override;
    HRESULT STDMETHODCALLTYPE WriteStringToStorage(LPCOLESTR fileName, LPCOLESTR initString,
                                                   DWORD creationDisposition) override;

private:
    ~DataInitialize() = default;
};

// Applies the pairs of a parsed string (all but Provider) to the data source's properties.
HRESULT applyPairs(IDBProperties* properties, const std::vector<InitStringPair>& pairs,
                   const std::u16string& providerName) {
    std::vector<InitProperty> known;
    HRESULT hr = readInitProperties(properties, known);
    if (FAILED(hr))
        return hr;

    // Later occurrences of a property (under any of its names) replace earlier ones.
    std::vector<InitProperty> assigned;
    std::vector<const InitStringPair*> sources;
    for (const InitStringPair& pair : pairs) {
        if (sameInitKeyword(pair.keyword, providerKeyword))
            continue;
        const InitProperty* property = findByKeyword(known, pair.keyword);
        if (!property) {
            if (isServiceKeyword(pair.keyword))
                continue;
            return reportError(DB_E_BADINITSTRING, IID_IDataInitialize,
                               u"Inicializační řetězec: klíčové slovo " + quoted(pair.keyword) +
                                   u" (na znaku " + number(pair.keywordOffset + 1) +
                                   u") není vlastností ovladače " + quoted(providerName) + u".");
        }
        std::optional<InitValue> value = valueFromText(*property, pair.value);
        if (!value)
            return reportError(DB_E_ERRORSOCCURRED, IID_IDataInitialize,
                               u"Inicializační řetězec: hodnota " + quoted(pair.value) +
                                   u" klíčového slova " + quoted(pair.keyword) + u" (na znaku " +
                                   number(pair.valueOffset + 1) + u") neodpovídá typu vlastnosti.");
        if (!property->isWritable())
            return reportError(DB_E_ERRORSOCCURRED, IID_IDataInitialize,
                               u"Inicializační řetězec: vlastnost " + quoted(pair.keyword) +
                                   u" nelze nastavit.");
        std::size_t i = 0;
        while (i < assigned.size() &&
               !(assigned[i].set == property->set && assigned[i].id == property->id))
            ++i;
        if (value->isEmpty()) {
            // "Keyword=" leaves a non-text property at the provider's default, also over an
            // earlier occurrence.
            if (i < assigned.size()) {
                assigned.erase(assigned.begin() + std::ptrdiff_t(i));
                sources.erase(sources.begin() + std::ptrdiff_t(i));
            }
            continue;
        }
        InitProperty target = *property;
        target.value = *value;
        if (i == assigned.size()) {
            assigned.push_back(std::move(target));
            sources.push_back(&pair);
        } else {
            assigned[i] = std::move(target);
            sources[i] = &pair;
        }
    }

    const InitProperty* refused = nullptr;
    DBPROPSTATUS status = DBPROPSTATUS_OK;
    hr = writeInitProperties(properties, assigned, &refused, &status);
    if (FAILED(hr)) {
        if (refused) {
            const InitStringPair* pair = sources[std::size_t(refused - assigned.data())];
            return reportError(hr, IID_IDataInitialize,
                               u"Inicializační řetězec: ovladač odmítl hodnotu " +
                                   quoted(pair->value) + u" klíčového slova " +
                                   quoted(pair->keyword) + u": " + describePropertyStatus(status) +
                                   u".");
        }
        return hr;
    }
    return S_OK;
}

HRESULT DataInitialize::GetDataSource(IUnknown* outer, DWORD clsctx, LPCOLESTR initString,
                                      REFIID riid, IUnknown** dataSource) {
    SetErrorInfo(0, nullptr);
    if (!dataSource)
        return E_INVALIDARG;
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    IUnknown* existing = *dataSource;
    if (!initString) {
        if (!existing)
            return E_INVALIDARG;
        return existing->QueryInterface(riid, reinterpret_cast<void**>(dataSource));
    }

    const InitStringParse parse = parseInitString(initString);
    if (parse.error) {
        if (!existing)
            *dataSource = nullptr;
        return reportError(DB_E_BADINITSTRING, IID_IDataInitialize,
                           describeInitStringError(*parse.error));
    }

    ComPtr<IUnknown> object;
    std::u16string providerName;
    bool providerNamed = false;
    for (const InitStringPair& pair : parse.pairs)
        if (sameInitKeyword(pair.keyword, providerKeyword)) {
            providerName = pair.value; // the first Provider keyword counts
            providerNamed = true;
            break;
        }
    if (existing) {
        existing->AddRef();
        object.reset(existing);
    } else {
        *dataSource = nullptr;
        if (!providerNamed)
            return reportError(DB_E_BADINITSTRING, IID_IDataInitialize,
                               u"Inicializační řetězec: ovladač není určen klíčovým slovem "
                               u"'Provider'.");
        CLSID clsid{};
        HRESULT hr = resolveProvider(providerName, clsid);
        if (FAILED(hr))
            return hr;
        hr = CoCreateInstance(clsid, outer, clsctx, IID_IUnknown, object.putVoid());
        if (FAILED(hr))
            return reportError(hr, IID_IDataInitialize,
                               u"Ovladač " + quoted(providerName) +
                                   u" nedokázal vytvořit objekt datového zdroje.");
    }

    ComPtr<IDBProperties> properties;
    HRESULT hr = object.as(IID_IDBProperties, properties);
    if (FAILED(hr))
        return reportError(hr, IID_IDataInitialize,
                           u"Objekt datového zdroje nemá rozhraní IDBProperties.");
    hr = applyPairs(properties.get(), parse.pairs, providerName);
    if (FAILED(hr))
        return hr;
    IUnknown* result = nullptr;
    hr = object->QueryInterface(riid, reinterpret_cast<void**>(&result));
    if (FAILED(hr))
        return hr;
    if (existing)
        existing->Release(); // the in/out reference is replaced by the one asked for
    *dataSource = result;
    return S_OK;
}

HRESULT DataInitialize::GetInitializationString(IUnknown* dataSource, boolean includePassword,
                                                LPOLESTR* initString) {
    SetErrorInfo(0, nullptr);
    if (!initString)
        return E_INVALIDARG;
    *initString = nullptr;
    if (!dataSource)
        return E_INVALIDARG;

    ComPtr<IPersist> persist;
    CLSID clsid{};
    if (FAILED(dataSource->QueryInterface(IID_IPersist, persist.putVoid())) ||
        FAILED(persist->GetClassID(&clsid)))
        return reportError(E_NOINTERFACE, IID_IDataInitialize,
                           u"Objekt datového zdroje neuvádí svou třídu (IPersist).");
    LPOLESTR progId = nullptr;
    HRESULT hr = ProgIDFromCLSID(clsid, &progId);
    if (FAILED(hr))
        return reportError(hr, IID_IDataInitialize, u"Třída objektu datového zdroje nemá ProgID.");
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    pairs.emplace_back(providerKeyword, progId);
    CoTaskMemFree(progId);

    ComPtr<IDBProperties> properties;
    hr = dataSource->QueryInterface(IID_IDBProperties, properties.putVoid());
    if (FAILED(hr))
        return hr;
    std::vector<InitProperty> known;
    hr = readInitProperties(properties.get(), known);
    if (FAILED(hr))
        return hr;
    for (const InitProperty& p : known) {
        if (p.value.isEmpty() || p.description.empty())
            continue;
        if (p.value.type == VT_BSTR && p.value.text.empty())
            continue; // an empty string is the "not set" of text properties
        if (p.isDbInit(DBPROP_INIT_HWND))
            continue; // a window handle means nothing outside this process
        if (p.isPassword() && !includePassword)
            continue;
        pairs.emplace_back(p.description, textFromValue(p, p.value));
    }
    std::optional<std::u16string> text = formatInitString(pairs);
    if (!text)
        return reportError(E_FAIL, IID_IDataInitialize,
                           u"Popis vlastnosti ovladače nelze zapsat jako klíčové slovo.");
    auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((text->size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::copy(text->begin(), text->end(), out);
    out[text->size()] = 0;
    *initString = out;
    return S_OK;
}

HRESULT DataInitialize::CreateDBInstance(REFCLSID provider, IUnknown* outer, DWORD clsctx, LPOLESTR,
                                         REFIID riid, IUnknown** dataSource) {
    SetErrorInfo(0, nullptr);
    if (!dataSource)
        return E_INVALIDARG;
    *dataSource = nullptr;
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    return CoCreateInstance(provider, outer, clsctx, riid, reinterpret_cast<void**>(dataSource));
}

HRESULT DataInitialize::CreateDBInstanceEx(REFCLSID provider, IUnknown* outer, DWORD clsctx,
                                           LPOLESTR, COSERVERINFO* serverInfo, ULONG count,
                                           MULTI_QI* results) {
    SetErrorInfo(0, nullptr);
    if (count == 0 || !results)
        return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i) {
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
        if (!results[i].pIID)
            return E_INVALIDARG;
    }
    if (serverInfo) // objects live in this process only
        return reportError(E_INVALIDARG, IID_IDataInitialize,
                           u"Objekty datového zdroje nelze vytvářet na jiném počítači.");
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(provider, outer, clsctx, IID_IUnknown, object.putVoid());
    if (FAILED(hr))
        return hr;
    ULONG obtained = 0;
    for (ULONG i = 0; i < count; ++i) {
        results[i].hr =
            object->QueryInterface(*results[i].pIID, reinterpret_cast<void**>(&results[i].pItf));
        if (SUCCEEDED(results[i].hr))
            ++obtained;
        else
            results[i].pItf = nullptr;
    }
    if (obtained == 0)
        return E_NOINTERFACE;
    return obtained == count ? S_OK : CO_S_NOTALLINTERFACES;
}

HRESULT DataInitialize::LoadStringFromStorage(LPCOLESTR fileName, LPOLESTR* initString) {
    SetErrorInfo(0, nullptr);
    return loadUdlFile(fileName, initString);
}

HRESULT DataInitialize::WriteStringToStorage(LPCOLESTR fileName, LPCOLESTR initString,
                                             DWORD creationDisposition) {
    SetErrorInfo(0, nullptr);
    return writeUdlFile(fileName, initString, creationDisposition);
}

} // namespace

HRESULT createDataInitialize(IUnknown* outer, REFIID riid, void** ppv) {
    return createServiceObject<DataInitialize>(outer, riid, ppv);
}

} // namespace vantrel::services

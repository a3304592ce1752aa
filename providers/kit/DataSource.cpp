#include "DataSource.h"

#include "Errors.h"
#include "KitText.h"
#include "Session.h"

#include <cstring>

namespace vantrel::kit {
namespace {

bool sameGuid(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool isInitSet(REFGUID set) {
    return sameGuid(set, DBPROPSET_DBINIT) || sameGuid(set, DBPROPSET_VANTREL_KITINIT);
}

bool visibleBeforeInit(REFGUID set, const void*) {
    return isInitSet(set);
}

// After Initialize over a backend without a driver of its own: everything but the driver set.
bool visibleWithoutDriver(REFGUID set, const void*) {
    return !sameGuid(set, DBPROPSET_PROVIDERDATASOURCEINFO);
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
        if (x != y)
            return false;
    }
    return true;
}

DBPROPSTATUS validateInit(const PropertyDef& def, const PropertyValue& value, const void*) {
    if (sameGuid(*def.set, DBPROPSET_VANTREL_KITINIT) && def.id == kitPropConcurrency) {
        if (value.text.empty() || equalsIgnoreCase(value.text, u"Optimistic") ||
            equalsIgnoreCase(value.text, u"Locking"))
            return DBPROPSTATUS_OK;
        return DBPROPSTATUS_BADVALUE;
    }
    return DBPROPSTATUS_OK;
}

std::vector<PropertyDef> allDataSourceDefs(const ProviderEntry& provider) {
    std::vector<PropertyDef> defs = provider.initDefs;
    for (const PropertyDef& d : dataSourceInfoProperties())
        defs.push_back(d);
    return defs;
}

LONG isolationBits(const std::vector<IsolationLevel>& levels) {
    LONG bits = 0;
    for (IsolationLevel l : levels) {
        switch (l) {
        case IsolationLevel::ReadUncommitted:
            bits |= DBPROPVAL_TI_READUNCOMMITTED;
            break;
        case IsolationLevel::ReadCommitted:
            bits |= DBPROPVAL_TI_READCOMMITTED;
            break;
        case IsolationLevel::RepeatableRead:
            bits |= DBPROPVAL_TI_REPEATABLEREAD;
            break;
        case IsolationLevel::Serializable:
            bits |= DBPROPVAL_TI_SERIALIZABLE;
            break;
        }
    }
    return bits;
}

} // namespace

DataSource::DataSource(const ProviderEntry& provider)
    : provider_(provider), properties_(allDataSourceDefs(provider)) {}

void* DataSource::findInterface(REFIID riid) {
    if (riid == IID_IDBInitialize)
        return static_cast<IDBInitialize*>(this);
    if (riid == IID_IDBProperties)
        return static_cast<IDBProperties*>(this);
    if (riid == IID_IDBCreateSession)
        return static_cast<IDBCreateSession*>(this);
    if (riid == IID_IDBInfo)
        return static_cast<IDBInfo*>(this);
    if (riid == IID_IPersist)
        return static_cast<IPersist*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT DataSource::fail(HRESULT hr, const char* description, REFIID iid) {
    return postError(hr, std::string_view(description), source(), iid);
}

HRESULT STDMETHODCALLTYPE DataSource::Initialize() {
    clearError();
    if (initialized_)
        return fail(DB_E_ALREADYINITIALIZED, "Datový zdroj je již inicializován.",
                    IID_IDBInitialize);
    InitSettings settings;
    for (const PropertyDef& d : properties_.defs()) {
        if (!isInitSet(*d.set))
            continue;
        InitSetting s{sameGuid(*d.set, DBPROPSET_DBINIT) ? PropertySet::DbInit
                                                         : PropertySet::KitInit,
                      d.id,
                      {}};
        const PropertyValue& v = properties_.value(*d.set, d.id);
        if (v.type == VT_BSTR) {
            s.value.kind = ValueKind::Text;
            s.value.bytes = utf16ToUtf8(v.text);
        } else if (v.type != VT_EMPTY) {
            s.value.kind = ValueKind::Int;
            s.value.integer = v.integer;
        }
        settings.push_back(std::move(s));
    }
    try {
        connection_ = provider_.descriptor->open(settings);
        if (!connection_)
            return fail(E_FAIL, "Datový zdroj nebylo možné otevřít.", IID_IDBInitialize);
        publishInformation();
    } catch (...) {
        connection_.reset();
        return postCurrentException(source(), IID_IDBInitialize);
    }
    locking_ = equalsIgnoreCase(
        properties_.value(DBPROPSET_VANTREL_KITINIT, kitPropConcurrency).text, u"Locking");
    initialized_ = true;
    return S_OK;
}

void DataSource::publishInformation() {
    ConnectionInfo info = connection_->info();
    const ProviderDescriptor& d = *provider_.descriptor;
    auto text = [](const char16_t* t) { return PropertyValue::ofText(t ? t : u""); };
    const GUID& set = DBPROPSET_DATASOURCEINFO;
    properties_.assign(set, DBPROP_PROVIDERFRIENDLYNAME, text(d.friendlyName));
    properties_.assign(set, DBPROP_PROVIDERVER, text(d.providerVersion));
    properties_.assign(set, DBPROP_PROVIDERNAME, text(d.fileName));
    properties_.assign(set, DBPROP_DATASOURCENAME,
                       PropertyValue::ofText(utf8ToUtf16(info.dataSourceName)));
    properties_.assign(set, DBPROP_DATASOURCEREADONLY, PropertyValue::ofBool(info.readOnly));
    properties_.assign(set, DBPROP_DBMSNAME, PropertyValue::ofText(utf8ToUtf16(info.dbmsName)));
    properties_.assign(set, DBPROP_DBMSVER, PropertyValue::ofText(utf8ToUtf16(info.dbmsVersion)));
    properties_.assign(set, DBPROP_SERVERNAME, PropertyValue::ofText(utf8ToUtf16(info.serverName)));
    properties_.assign(set, DBPROP_SUPPORTEDTXNISOLEVELS,
                       PropertyValue::ofInt(isolationBits(info.isolationLevels)));
    hasDriver_ = !info.driverName.empty();
    const GUID& driverSet = DBPROPSET_PROVIDERDATASOURCEINFO;
    properties_.assign(driverSet, KAGPROP_DRIVERNAME,
                       PropertyValue::ofText(utf8ToUtf16(info.driverName)));
    properties_.assign(driverSet, KAGPROP_DRIVERVER,
                       PropertyValue::ofText(utf8ToUtf16(info.driverVersion)));
    properties_.assign(driverSet, KAGPROP_DRIVERODBCVER,
                       PropertyValue::ofText(utf8ToUtf16(info.driverOdbcVersion)));
    properties_.assign(DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG,
                       PropertyValue::ofText(utf8ToUtf16(info.catalog)));
    if (properties_.find(DBPROPSET_DBINIT, DBPROP_INIT_CATALOG) &&
        properties_.value(DBPROPSET_DBINIT, DBPROP_INIT_CATALOG).text.empty())
        properties_.assign(DBPROPSET_DBINIT, DBPROP_INIT_CATALOG,
                           PropertyValue::ofText(utf8ToUtf16(info.catalog)));
}

PropertyStore::SetFilter DataSource::visibleSets() const {
    if (!initialized_)
        return visibleBeforeInit;
    return hasDriver_ ? nullptr : visibleWithoutDriver;
}

HRESULT STDMETHODCALLTYPE DataSource::Uninitialize() {
    if (!initialized_)
        return S_OK;
    if (sessions_ > 0)
        return fail(DB_E_OBJECTOPEN, "Relace tohoto datového zdroje jsou stále otevřené.",
                    IID_IDBInitialize);
    connection_.reset();
    initialized_ = false;
    hasDriver_ = false;
    // The information properties go back to their defaults; the initialisation ones stay.
    for (const PropertyDef& d : dataSourceInfoProperties())
        properties_.assign(*d.set, d.id, PropertyValue::ofDefault(d));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DataSource::GetProperties(ULONG cPropertyIDSets,
                                                    const DBPROPIDSET rgPropertyIDSets[],
                                                    ULONG* pcPropertySets,
                                                    DBPROPSET** prgPropertySets) {
    return properties_.getProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                     prgPropertySets, visibleSets(), nullptr);
}

HRESULT STDMETHODCALLTYPE DataSource::GetPropertyInfo(ULONG cPropertyIDSets,
                                                      const DBPROPIDSET rgPropertyIDSets[],
                                                      ULONG* pcPropertyInfoSets,
                                                      DBPROPINFOSET** prgPropertyInfoSets,
                                                      OLECHAR** ppDescBuffer) {
    return properties_.getPropertyInfo(cPropertyIDSets, rgPropertyIDSets, pcPropertyInfoSets,
                                       prgPropertyInfoSets, ppDescBuffer, visibleSets(), nullptr);
}

HRESULT STDMETHODCALLTYPE DataSource::SetProperties(ULONG cPropertySets,
                                                    DBPROPSET rgPropertySets[]) {
    clearError();
    HRESULT hr = properties_.setProperties(cPropertySets, rgPropertySets, !initialized_,
                                           validateInit, nullptr);
    if (hr == DB_E_ERRORSOCCURRED)
        return fail(hr,
                    "Nepodařilo se nastavit žádnou vlastnost (viz stav jednotlivých vlastností).",
                    IID_IDBProperties);
    return hr;
}

HRESULT STDMETHODCALLTYPE DataSource::CreateSession(IUnknown* pUnkOuter, REFIID riid,
                                                    IUnknown** ppDBSession) {
    clearError();
    if (!ppDBSession)
        return E_INVALIDARG;
    *ppDBSession = nullptr;
    if (!initialized_)
        return fail(E_UNEXPECTED, "Datový zdroj není inicializován.", IID_IDBCreateSession);
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    try {
        return handOut(new Session(this), riid, reinterpret_cast<void**>(ppDBSession));
    } catch (...) {
        return postCurrentException(source(), IID_IDBCreateSession);
    }
}

HRESULT STDMETHODCALLTYPE DataSource::GetKeywords(LPOLESTR* ppwszKeywords) {
    if (!ppwszKeywords)
        return E_INVALIDARG;
    *ppwszKeywords = nullptr;
    if (!initialized_)
        return fail(E_UNEXPECTED, "Datový zdroj není inicializován.", IID_IDBInfo);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DataSource::GetLiteralInfo(ULONG cLiterals, const DBLITERAL rgLiterals[],
                                                     ULONG* pcLiteralInfo,
                                                     DBLITERALINFO** prgLiteralInfo,
                                                     OLECHAR** ppCharBuffer) {
    if (pcLiteralInfo)
        *pcLiteralInfo = 0;
    if (prgLiteralInfo)
        *prgLiteralInfo = nullptr;
    if (ppCharBuffer)
        *ppCharBuffer = nullptr;
    if (!pcLiteralInfo || !prgLiteralInfo || !ppCharBuffer || (cLiterals && !rgLiterals))
        return E_INVALIDARG;
    if (!initialized_)
        return fail(E_UNEXPECTED, "Datový zdroj není inicializován.", IID_IDBInfo);
    // Identifiers are quoted the SQL way; other literals are not described.
    static const DBLITERAL supported[] = {DBLITERAL_QUOTE, DBLITERAL_QUOTE_SUFFIX};
    std::vector<DBLITERAL> asked(rgLiterals, rgLiterals + cLiterals);
    if (cLiterals == 0)
        asked.assign(std::begin(supported), std::end(supported));
    auto* info = static_cast<DBLITERALINFO*>(CoTaskMemAlloc(asked.size() * sizeof(DBLITERALINFO)));
    auto* chars = static_cast<OLECHAR*>(CoTaskMemAlloc(2 * sizeof(OLECHAR)));
    if (!info || !chars) {
        CoTaskMemFree(info);
        CoTaskMemFree(chars);
        return E_OUTOFMEMORY;
    }
    chars[0] = u'"';
    chars[1] = 0;
    std::size_t good = 0;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        std::memset(&info[i], 0, sizeof info[i]);
        info[i].lt = asked[i];
        bool ok = asked[i] == DBLITERAL_QUOTE || asked[i] == DBLITERAL_QUOTE_SUFFIX;
        info[i].fSupported = ok ? TRUE : FALSE;
        if (ok) {
            info[i].pwszLiteralValue = chars;
            info[i].cchMaxLen = 1;
            ++good;
        }
    }
    *pcLiteralInfo = static_cast<ULONG>(asked.size());
    *prgLiteralInfo = info;
    *ppCharBuffer = chars;
    if (good == asked.size())
        return S_OK;
    return good ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

HRESULT STDMETHODCALLTYPE DataSource::GetClassID(CLSID* pClassID) {
    if (!pClassID)
        return E_INVALIDARG;
    *pClassID = provider_.clsid;
    return S_OK;
}

HRESULT createDataSource(const ProviderEntry& provider, IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    try {
        return handOut(new DataSource(provider), riid, ppv);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace vantrel::kit

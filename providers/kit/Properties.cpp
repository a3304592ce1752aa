#include "Properties.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <new>

namespace vantrel::kit {

const GUID DBPROPSET_VANTREL_KITINIT = {
    0x7a1f3c10, 0x5b2e, 0x4c8d, {0x9e, 0x61, 0x0b, 0x3a, 0x4d, 0x5c, 0x6e, 0x01}};

namespace {

constexpr DBPROPFLAGS infoFlags = DBPROPFLAGS_DATASOURCEINFO | DBPROPFLAGS_READ;
constexpr DBPROPFLAGS sessionFlags = DBPROPFLAGS_SESSION | DBPROPFLAGS_READ;
constexpr DBPROPFLAGS rowsetRead = DBPROPFLAGS_ROWSET | DBPROPFLAGS_READ;
constexpr DBPROPFLAGS rowsetWrite = DBPROPFLAGS_ROWSET | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE;

const PropertyDef dataSourceInfoTable[] = {
    {&DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERFRIENDLYNAME, VT_BSTR, infoFlags, 0, nullptr,
     u"Provider Friendly Name"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERVER, VT_BSTR, infoFlags, 0, nullptr,
     u"Provider Version"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDEROLEDBVER, VT_BSTR, infoFlags, 0, u"02.80",
     u"OLE DB Version"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_PROVIDERNAME, VT_BSTR, infoFlags, 0, nullptr,
     u"Provider Name"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_DATASOURCENAME, VT_BSTR, infoFlags, 0, nullptr,
     u"Data Source Name"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_DATASOURCEREADONLY, VT_BOOL, infoFlags, 0, nullptr,
     u"Read-Only Data Source"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_DBMSNAME, VT_BSTR, infoFlags, 0, nullptr, u"DBMS Name"},
    {&DBPROPSET_PROVIDERDATASOURCEINFO, KAGPROP_DRIVERNAME, VT_BSTR, infoFlags, 0, nullptr,
     u"Driver Name"},
    {&DBPROPSET_PROVIDERDATASOURCEINFO, KAGPROP_DRIVERVER, VT_BSTR, infoFlags, 0, nullptr,
     u"Driver Version"},
    {&DBPROPSET_PROVIDERDATASOURCEINFO, KAGPROP_DRIVERODBCVER, VT_BSTR, infoFlags, 0, nullptr,
     u"Driver ODBC Version"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_DBMSVER, VT_BSTR, infoFlags, 0, nullptr, u"DBMS Version"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_SERVERNAME, VT_BSTR, infoFlags, 0, nullptr, u"Server Name"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_SUPPORTEDTXNISOLEVELS, VT_I4, infoFlags, 0, nullptr,
     u"Isolation Levels"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_MULTIPLEPARAMSETS, VT_BOOL, infoFlags, 1, nullptr,
     u"Multiple Parameter Sets"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_ROWSETCONVERSIONSONCOMMAND, VT_BOOL, infoFlags, 1, nullptr,
     u"Rowset Conversions on Command"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_SQLSUPPORT, VT_I4, infoFlags, DBPROPVAL_SQL_ODBC_CORE,
     nullptr, u"SQL Support"},
    {&DBPROPSET_DATASOURCEINFO, DBPROP_CONCATNULLBEHAVIOR, VT_I4, infoFlags, DBPROPVAL_CB_NULL,
     nullptr, u"NULL Concatenation Behavior"},
    {&DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG, VT_BSTR,
     DBPROPFLAGS_DATASOURCE | DBPROPFLAGS_READ, 0, nullptr, u"Current Catalog"},
};

const PropertyDef sessionTable[] = {
    {&DBPROPSET_SESSION, DBPROP_SESS_AUTOCOMMITISOLEVELS, VT_I4, sessionFlags | DBPROPFLAGS_WRITE,
     ISOLATIONLEVEL_SERIALIZABLE, nullptr, u"Autocommit Isolation Levels"},
};

const PropertyDef rowsetTable[] = {
    {&DBPROPSET_ROWSET, DBPROP_IAccessor, VT_BOOL, rowsetRead, 1, nullptr, u"IAccessor"},
    {&DBPROPSET_ROWSET, DBPROP_IColumnsInfo, VT_BOOL, rowsetRead, 1, nullptr, u"IColumnsInfo"},
    {&DBPROPSET_ROWSET, DBPROP_IConvertType, VT_BOOL, rowsetRead, 1, nullptr, u"IConvertType"},
    {&DBPROPSET_ROWSET, DBPROP_IRowset, VT_BOOL, rowsetRead, 1, nullptr, u"IRowset"},
    {&DBPROPSET_ROWSET, DBPROP_IRowsetInfo, VT_BOOL, rowsetRead, 1, nullptr, u"IRowsetInfo"},
    {&DBPROPSET_ROWSET, DBPROP_ISupportErrorInfo, VT_BOOL, rowsetRead, 1, nullptr,
     u"ISupportErrorInfo"},
    {&DBPROPSET_ROWSET, DBPROP_IRowsetChange, VT_BOOL, rowsetWrite, 0, nullptr, u"IRowsetChange"},
    {&DBPROPSET_ROWSET, DBPROP_IRowsetLocate, VT_BOOL, rowsetWrite, 0, nullptr, u"IRowsetLocate"},
    {&DBPROPSET_ROWSET, DBPROP_BOOKMARKS, VT_BOOL, rowsetWrite, 0, nullptr, u"Use Bookmarks"},
    {&DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS, VT_BOOL, rowsetWrite, 0, nullptr,
     u"Fetch Backwards"},
    {&DBPROPSET_ROWSET, DBPROP_CANSCROLLBACKWARDS, VT_BOOL, rowsetWrite, 0, nullptr,
     u"Scroll Backwards"},
    {&DBPROPSET_ROWSET, DBPROP_CANHOLDROWS, VT_BOOL, rowsetWrite, 1, nullptr, u"Hold Rows"},
    {&DBPROPSET_ROWSET, DBPROP_UPDATABILITY, VT_I4, rowsetWrite, 0, nullptr, u"Updatability"},
    {&DBPROPSET_ROWSET, DBPROP_OWNUPDATEDELETE, VT_BOOL, rowsetRead, 1, nullptr,
     u"Own Changes Visible"},
    {&DBPROPSET_ROWSET, DBPROP_OTHERUPDATEDELETE, VT_BOOL, rowsetRead, 0, nullptr,
     u"Others' Changes Visible"},
    {&DBPROPSET_ROWSET, DBPROP_REMOVEDELETED, VT_BOOL, rowsetRead, 0, nullptr,
     u"Remove Deleted Rows"},
    {&DBPROPSET_ROWSET, DBPROP_MAXROWS, VT_I4, rowsetWrite, 0, nullptr, u"Maximum Rows"},
    {&DBPROPSET_ROWSET, DBPROP_MAXOPENROWS, VT_I4, rowsetRead, 0, nullptr, u"Maximum Open Rows"},
};

bool sameGuid(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// The "all sets of this group" GUID a property set belongs to.
const GUID* groupOf(REFGUID set) {
    if (sameGuid(set, DBPROPSET_DBINIT) || sameGuid(set, DBPROPSET_VANTREL_KITINIT))
        return &DBPROPSET_DBINITALL;
    if (sameGuid(set, DBPROPSET_DATASOURCEINFO) || sameGuid(set, DBPROPSET_PROVIDERDATASOURCEINFO))
        return &DBPROPSET_DATASOURCEINFOALL;
    if (sameGuid(set, DBPROPSET_DATASOURCE))
        return &DBPROPSET_DATASOURCEALL;
    if (sameGuid(set, DBPROPSET_SESSION))
        return &DBPROPSET_SESSIONALL;
    if (sameGuid(set, DBPROPSET_ROWSET))
        return &DBPROPSET_ROWSETALL;
    return nullptr;
}

bool isGroupGuid(REFGUID set) {
    return sameGuid(set, DBPROPSET_DBINITALL) || sameGuid(set, DBPROPSET_DATASOURCEINFOALL) ||
           sameGuid(set, DBPROPSET_DATASOURCEALL) || sameGuid(set, DBPROPSET_SESSIONALL) ||
           sameGuid(set, DBPROPSET_ROWSETALL);
}

// Distinct property sets of the table, in table order.
std::vector<GUID> setsOf(const std::vector<PropertyDef>& defs) {
    std::vector<GUID> out;
    for (const PropertyDef& d : defs) {
        bool seen = false;
        for (const GUID& g : out)
            seen = seen || sameGuid(g, *d.set);
        if (!seen)
            out.push_back(*d.set);
    }
    return out;
}

template <class T> T* allocArray(std::size_t n) {
    if (n == 0)
        return nullptr;
    void* p = CoTaskMemAlloc(n * sizeof(T));
    if (!p)
        throw std::bad_alloc();
    std::memset(p, 0, n * sizeof(T));
    return static_cast<T*>(p);
}

// A VT_ARRAY | VT_BSTR of the values into a VT_EMPTY variant; throws bad_alloc.
void offeredValuesVariant(const std::vector<std::u16string>& values, VARIANT& out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size()));
    if (!array)
        throw std::bad_alloc();
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    auto* strings = static_cast<BSTR*>(data);
    bool complete = true;
    for (std::size_t i = 0; i < values.size() && complete; ++i) {
        strings[i] = SysAllocStringLen(values[i].data(), static_cast<UINT>(values[i].size()));
        complete = strings[i] != nullptr;
    }
    SafeArrayUnaccessData(array);
    if (!complete) {
        SafeArrayDestroy(array);
        throw std::bad_alloc();
    }
    out.vt = VT_ARRAY | VT_BSTR;
    out.parray = array;
}

} // namespace

PropertyValue PropertyValue::ofDefault(const PropertyDef& def) {
    PropertyValue v;
    v.type = def.type;
    if (def.type == VT_BSTR)
        v.text = def.textDefault ? def.textDefault : u"";
    else
        v.integer = def.type == VT_BOOL ? (def.intDefault ? 1 : 0) : def.intDefault;
    return v;
}

void PropertyValue::toVariant(VARIANT& v) const {
    VariantInit(&v);
    switch (type) {
    case VT_BOOL:
        v.vt = VT_BOOL;
        v.boolVal = integer ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_I2:
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(integer);
        break;
    case VT_I4:
        v.vt = VT_I4;
        v.lVal = integer;
        break;
    case VT_BSTR:
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!v.bstrVal)
            v.vt = VT_EMPTY;
        break;
    default:
        break;
    }
}

bool PropertyValue::fromVariant(const VARIANT& v, VARTYPE wanted, PropertyValue& out) {
    out = PropertyValue();
    if (v.vt != wanted) {
        // Integers of another width are accepted where they fit.
        if (wanted == VT_I4 && v.vt == VT_I2) {
            out = ofInt(v.iVal);
            return true;
        }
        return false;
    }
    switch (wanted) {
    case VT_BOOL:
        if (v.boolVal != VARIANT_TRUE && v.boolVal != VARIANT_FALSE)
            return false;
        out = ofBool(v.boolVal == VARIANT_TRUE);
        return true;
    case VT_I2:
        out = {VT_I2, v.iVal, {}};
        return true;
    case VT_I4:
        out = ofInt(v.lVal);
        return true;
    case VT_BSTR:
        out = ofText(v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal))
                               : std::u16string());
        return true;
    default:
        return false;
    }
}

namespace {

// Property ids below this are found through the table's direct index.
constexpr DBPROPID directIds = 512;
constexpr std::uint8_t absent = 0xFF;

} // namespace

struct PropertyStore::Table {
    std::vector<PropertyValue> defaults; // per definition
    // For a table whose properties are all of one set (a rowset's, a session's): the index of
    // each id below directIds, or `absent`; other ids and tables are searched.
    const GUID* onlySet = nullptr;
    std::array<std::uint8_t, directIds> byId{};

    explicit Table(const std::vector<PropertyDef>& defs) {
        defaults.reserve(defs.size());
        for (const PropertyDef& d : defs)
            defaults.push_back(PropertyValue::ofDefault(d));
        byId.fill(absent);
        if (defs.empty() || defs.size() >= absent)
            return;
        for (const PropertyDef& d : defs)
            if (!sameGuid(*d.set, *defs.front().set))
                return;
        onlySet = defs.front().set;
        for (std::size_t i = 0; i < defs.size(); ++i)
            if (defs[i].id < directIds && byId[defs[i].id] == absent)
                byId[defs[i].id] = static_cast<std::uint8_t>(i);
    }
};

// The rowset table's, built once for every command and rowset.
const std::shared_ptr<const PropertyStore::Table>& PropertyStore::sharedRowsetTable() {
    static const auto shared = std::make_shared<const Table>(*sharedRowsetProperties());
    return shared;
}

PropertyStore::PropertyStore(std::vector<PropertyDef> defs)
    : defs_(std::make_shared<const std::vector<PropertyDef>>(std::move(defs))),
      table_(std::make_shared<const Table>(*defs_)) {}

PropertyStore::PropertyStore(std::shared_ptr<const std::vector<PropertyDef>> defs)
    : defs_(std::move(defs)),
      table_(defs_ == sharedRowsetProperties() ? sharedRowsetTable()
                                               : std::make_shared<const Table>(*defs_)) {}

const std::shared_ptr<const std::vector<PropertyDef>>& sharedRowsetProperties() {
    static const auto shared = std::make_shared<const std::vector<PropertyDef>>(
        rowsetProperties().begin(), rowsetProperties().end());
    return shared;
}

void PropertyStore::resetAll() {
    changed_.clear();
}

const PropertyStore::Changed* PropertyStore::changedAt(std::size_t index) const {
    for (const Changed& c : changed_)
        if (c.index == index)
            return &c;
    return nullptr;
}

PropertyStore::Changed& PropertyStore::change(std::size_t index) {
    for (Changed& c : changed_)
        if (c.index == index)
            return c;
    return changed_.emplace_back(Changed{index, table_->defaults[index]});
}

const PropertyValue& PropertyStore::valueAt(std::size_t index) const {
    const Changed* c = changedAt(index);
    return c ? c->value : table_->defaults[index];
}

bool PropertyStore::isOptional(REFGUID set, DBPROPID id) const {
    const Changed* c = changedAt(indexOf(set, id));
    return c && c->optional;
}

bool PropertyStore::isSet(REFGUID set, DBPROPID id) const {
    const Changed* c = changedAt(indexOf(set, id));
    return c && c->set;
}

std::size_t PropertyStore::indexOf(REFGUID set, DBPROPID id) const {
    if (table_->onlySet && id < directIds) {
        const std::uint8_t i = table_->byId[id];
        return i != absent && sameGuid(*table_->onlySet, set) ? i : defs().size();
    }
    for (std::size_t i = 0; i < defs().size(); ++i)
        if (defs()[i].id == id && sameGuid(*defs()[i].set, set))
            return i;
    return defs().size();
}

const PropertyDef* PropertyStore::find(REFGUID set, DBPROPID id) const {
    std::size_t i = indexOf(set, id);
    return i < defs().size() ? &defs()[i] : nullptr;
}

const PropertyValue& PropertyStore::value(REFGUID set, DBPROPID id) const {
    static const PropertyValue empty;
    std::size_t i = indexOf(set, id);
    return i < defs().size() ? valueAt(i) : empty;
}

void PropertyStore::assign(REFGUID set, DBPROPID id, PropertyValue value) {
    std::size_t i = indexOf(set, id);
    if (i < defs().size())
        change(i).value = std::move(value);
}

HRESULT PropertyStore::getProperties(ULONG count, const DBPROPIDSET sets[], ULONG* setCount,
                                     DBPROPSET** result, SetFilter visible,
                                     const void* context) const {
    if (setCount)
        *setCount = 0;
    if (result)
        *result = nullptr;
    if (!setCount || !result || (count && !sets))
        return E_INVALIDARG;
    for (ULONG s = 0; s < count; ++s)
        if (sets[s].cPropertyIDs && !sets[s].rgPropertyIDs)
            return E_INVALIDARG;

    // What to answer: one entry per requested set, or every visible set.
    struct Request {
        GUID set;
        std::vector<DBPROPID> ids; // empty: all of the set
        bool all;
    };
    std::vector<Request> requests;
    if (count == 0) {
        for (const GUID& g : setsOf(defs()))
            if (!visible || visible(g, context))
                requests.push_back({g, {}, true});
    } else {
        for (ULONG s = 0; s < count; ++s) {
            Request r{sets[s].guidPropertySet, {}, sets[s].cPropertyIDs == 0};
            r.ids.assign(sets[s].rgPropertyIDs, sets[s].rgPropertyIDs + sets[s].cPropertyIDs);
            requests.push_back(std::move(r));
        }
    }

    std::size_t ok = 0, failed = 0;
    DBPROPSET* out = nullptr;
    try {
        out = allocArray<DBPROPSET>(requests.size());
        for (std::size_t s = 0; s < requests.size(); ++s) {
            Request& r = requests[s];
            bool shown = !visible || visible(r.set, context);
            if (r.all) {
                for (const PropertyDef& d : defs())
                    if (sameGuid(*d.set, r.set) && shown)
                        r.ids.push_back(d.id);
                if (r.ids.empty())
                    ++failed;
            }
            out[s].guidPropertySet = r.set;
            out[s].cProperties = static_cast<ULONG>(r.ids.size());
            out[s].rgProperties = allocArray<DBPROP>(r.ids.size());
            for (std::size_t p = 0; p < r.ids.size(); ++p) {
                DBPROP& prop = out[s].rgProperties[p];
                prop.dwPropertyID = r.ids[p];
                prop.dwOptions = DBPROPOPTIONS_REQUIRED;
                VariantInit(&prop.vValue);
                std::size_t i = indexOf(r.set, r.ids[p]);
                if (i == defs().size() || !shown) {
                    prop.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                    ++failed;
                } else {
                    prop.dwStatus = DBPROPSTATUS_OK;
                    valueAt(i).toVariant(prop.vValue);
                    ++ok;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        freePropertySets(static_cast<ULONG>(requests.size()), out);
        return E_OUTOFMEMORY;
    }
    *setCount = static_cast<ULONG>(requests.size());
    *result = out;
    if (failed == 0)
        return S_OK;
    return ok ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

HRESULT PropertyStore::setProperties(ULONG count, DBPROPSET sets[], bool writable,
                                     Validator validate, const void* context) {
    if (count && !sets)
        return E_INVALIDARG;
    for (ULONG s = 0; s < count; ++s)
        if (sets[s].cProperties && !sets[s].rgProperties)
            return E_INVALIDARG;
    std::size_t ok = 0, failed = 0;
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p) {
            DBPROP& prop = sets[s].rgProperties[p];
            bool optional = prop.dwOptions == DBPROPOPTIONS_OPTIONAL;
            DBPROPSTATUS status = DBPROPSTATUS_OK;
            std::size_t i = indexOf(sets[s].guidPropertySet, prop.dwPropertyID);
            PropertyValue v;
            if (prop.dwOptions != DBPROPOPTIONS_REQUIRED && !optional) {
                status = DBPROPSTATUS_BADOPTION;
            } else if (i == defs().size()) {
                status = DBPROPSTATUS_NOTSUPPORTED;
            } else if (prop.vValue.vt == VT_EMPTY) {
                v = PropertyValue::ofDefault(defs()[i]);
            } else if (!PropertyValue::fromVariant(prop.vValue, defs()[i].type, v)) {
                status = DBPROPSTATUS_BADVALUE;
            }
            if (status == DBPROPSTATUS_OK && i < defs().size()) {
                bool canWrite = writable && (defs()[i].flags & DBPROPFLAGS_WRITE);
                if (!canWrite && !(v == valueAt(i)))
                    status = optional ? DBPROPSTATUS_NOTSET : DBPROPSTATUS_NOTSETTABLE;
                else if (validate)
                    status = validate(defs()[i], v, context);
            }
            prop.dwStatus = status;
            if (status == DBPROPSTATUS_OK) {
                Changed& c = change(i);
                c.value = std::move(v);
                c.optional = optional;
                c.set = prop.vValue.vt != VT_EMPTY;
                ++ok;
            } else {
                ++failed;
            }
        }
    }
    if (failed == 0)
        return S_OK;
    return ok ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

HRESULT PropertyStore::getPropertyInfo(ULONG count, const DBPROPIDSET sets[], ULONG* setCount,
                                       DBPROPINFOSET** result, OLECHAR** descriptions,
                                       SetFilter visible, const void* context) const {
    if (setCount)
        *setCount = 0;
    if (result)
        *result = nullptr;
    if (descriptions)
        *descriptions = nullptr;
    if (!setCount || !result || (count && !sets))
        return E_INVALIDARG;
    for (ULONG s = 0; s < count; ++s)
        if (sets[s].cPropertyIDs && !sets[s].rgPropertyIDs)
            return E_INVALIDARG;

    struct Entry {
        const PropertyDef* def; // nullptr: not supported
        DBPROPID id;
    };
    struct Request {
        GUID set;
        std::vector<Entry> entries;
    };
    std::vector<Request> requests;
    auto addAllOf = [&](REFGUID set) {
        Request r{set, {}};
        for (const PropertyDef& d : defs())
            if (sameGuid(*d.set, set))
                r.entries.push_back({&d, d.id});
        requests.push_back(std::move(r));
    };
    // Property-info answers describe every supported property, visible now or not, except
    // where the object hides a whole set (its filter).
    auto shown = [&](REFGUID set) { return !visible || visible(set, context); };
    std::size_t failed = 0, ok = 0;
    if (count == 0) {
        for (const GUID& g : setsOf(defs()))
            if (shown(g))
                addAllOf(g);
    } else {
        for (ULONG s = 0; s < count; ++s) {
            REFGUID set = sets[s].guidPropertySet;
            if (isGroupGuid(set)) {
                for (const GUID& g : setsOf(defs()))
                    if (groupOf(g) && sameGuid(*groupOf(g), set) && shown(g))
                        addAllOf(g);
                continue;
            }
            if (sets[s].cPropertyIDs == 0) {
                if (shown(set))
                    addAllOf(set);
                else
                    requests.push_back({set, {}});
                if (requests.back().entries.empty())
                    ++failed;
                continue;
            }
            Request r{set, {}};
            for (ULONG p = 0; p < sets[s].cPropertyIDs; ++p) {
                DBPROPID id = sets[s].rgPropertyIDs[p];
                const PropertyDef* d = shown(set) ? find(set, id) : nullptr;
                r.entries.push_back({d, id});
            }
            requests.push_back(std::move(r));
        }
    }

    std::size_t chars = 0;
    for (const Request& r : requests)
        for (const Entry& e : r.entries) {
            if (e.def) {
                chars += std::char_traits<char16_t>::length(e.def->description) + 1;
                ++ok;
            } else {
                ++failed;
            }
        }

    DBPROPINFOSET* out = nullptr;
    OLECHAR* buffer = nullptr;
    try {
        out = allocArray<DBPROPINFOSET>(requests.size());
        if (descriptions && chars)
            buffer = allocArray<OLECHAR>(chars);
        OLECHAR* next = buffer;
        for (std::size_t s = 0; s < requests.size(); ++s) {
            const Request& r = requests[s];
            out[s].guidPropertySet = r.set;
            out[s].cPropertyInfos = static_cast<ULONG>(r.entries.size());
            out[s].rgPropertyInfos = allocArray<DBPROPINFO>(r.entries.size());
            for (std::size_t p = 0; p < r.entries.size(); ++p) {
                DBPROPINFO& info = out[s].rgPropertyInfos[p];
                info.dwPropertyID = r.entries[p].id;
                VariantInit(&info.vValues);
                if (!r.entries[p].def) {
                    info.dwFlags = DBPROPFLAGS_NOTSUPPORTED;
                    info.vtType = VT_EMPTY;
                    continue;
                }
                const PropertyDef& d = *r.entries[p].def;
                info.dwFlags = d.flags;
                info.vtType = d.type;
                if (d.offeredValues)
                    offeredValuesVariant(d.offeredValues(), info.vValues);
                if (next) {
                    std::size_t n = std::char_traits<char16_t>::length(d.description);
                    std::memcpy(next, d.description, (n + 1) * sizeof(OLECHAR));
                    info.pwszDescription = next;
                    next += n + 1;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        if (out) {
            for (std::size_t s = 0; s < requests.size(); ++s) {
                for (ULONG p = 0; out[s].rgPropertyInfos && p < out[s].cPropertyInfos; ++p)
                    VariantClear(&out[s].rgPropertyInfos[p].vValues);
                CoTaskMemFree(out[s].rgPropertyInfos);
            }
            CoTaskMemFree(out);
        }
        CoTaskMemFree(buffer);
        return E_OUTOFMEMORY;
    }
    *setCount = static_cast<ULONG>(requests.size());
    *result = out;
    if (descriptions)
        *descriptions = buffer;
    if (failed == 0)
        return S_OK;
    return ok ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

std::span<const PropertyDef> dataSourceInfoProperties() {
    return dataSourceInfoTable;
}
std::span<const PropertyDef> sessionProperties() {
    return sessionTable;
}
std::span<const PropertyDef> rowsetProperties() {
    return rowsetTable;
}

std::vector<PropertyDef> initProperties(std::span<const PropertyRow> backendRows) {
    std::vector<PropertyDef> out;
    bool hasConcurrency = false;
    for (const PropertyRow& row : backendRows) {
        const GUID* set =
            row.set == PropertySet::DbInit ? &DBPROPSET_DBINIT : &DBPROPSET_VANTREL_KITINIT;
        hasConcurrency =
            hasConcurrency || (row.set == PropertySet::KitInit && row.id == kitPropConcurrency);
        out.push_back({set, row.id, row.type, row.flags | DBPROPFLAGS_DBINIT,
                       static_cast<LONG>(row.intDefault), row.textDefault, row.description,
                       row.offeredValues});
    }
    if (!hasConcurrency)
        out.push_back({&DBPROPSET_VANTREL_KITINIT, kitPropConcurrency, VT_BSTR,
                       DBPROPFLAGS_DBINIT | DBPROPFLAGS_READ | DBPROPFLAGS_WRITE, 0, u"Optimistic",
                       u"Concurrency"});
    return out;
}

void freePropertySets(ULONG count, DBPROPSET* sets) {
    if (!sets)
        return;
    for (ULONG s = 0; s < count; ++s) {
        for (ULONG p = 0; p < sets[s].cProperties; ++p)
            VariantClear(&sets[s].rgProperties[p].vValue);
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
}

} // namespace vantrel::kit

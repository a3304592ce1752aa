#include "InitProperties.h"

#include "InitString.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace vantrel::services {
namespace {

// Frees what GetPropertyInfo hands over.
void freePropertyInfo(ULONG count, DBPROPINFOSET* sets, OLECHAR* descriptions) {
    for (ULONG s = 0; sets && s < count; ++s) {
        for (ULONG i = 0; i < sets[s].cPropertyInfos; ++i)
            VariantClear(&sets[s].rgPropertyInfos[i].vValues);
        CoTaskMemFree(sets[s].rgPropertyInfos);
    }
    CoTaskMemFree(sets);
    CoTaskMemFree(descriptions);
}

// Frees what GetProperties hands over.
void freePropertySets(ULONG count, DBPROPSET* sets) {
    for (ULONG s = 0; sets && s < count; ++s) {
        for (ULONG i = 0; i < sets[s].cProperties; ++i)
            VariantClear(&sets[s].rgProperties[i].vValue);
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
}

// The other names users write for the standard initialisation properties.
struct Synonyms {
    DBPROPID id;
    std::array<const char16_t*, 3> names;
};
constexpr Synonyms synonymTable[] = {
    {DBPROP_INIT_DATASOURCE, {u"Data Source", u"Server", nullptr}},
    {DBPROP_INIT_CATALOG, {u"Initial Catalog", u"Database", nullptr}},
    {DBPROP_AUTH_USERID, {u"User ID", u"UID", u"User"}},
    {DBPROP_AUTH_PASSWORD, {u"Password", u"PWD", nullptr}},
    {DBPROP_INIT_TIMEOUT, {u"Connect Timeout", u"Connection Timeout", u"Timeout"}},
    {DBPROP_INIT_PROVIDERSTRING, {u"Extended Properties", nullptr, nullptr}},
    {DBPROP_INIT_LOCATION, {u"Location", nullptr, nullptr}},
    {DBPROP_INIT_MODE, {u"Mode", nullptr, nullptr}},
    {DBPROP_INIT_PROMPT, {u"Prompt", nullptr, nullptr}},
    {DBPROP_INIT_LCID, {u"Locale Identifier", nullptr, nullptr}},
    {DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, {u"Persist Security Info", nullptr, nullptr}},
    {DBPROP_INIT_OLEDBSERVICES, {u"OLE DB Services", nullptr, nullptr}},
};

struct NamedValue {
    const char16_t* name;
    std::int64_t value;
};
constexpr NamedValue modeAccessNames[] = {
    {u"Read", DB_MODE_READ}, {u"Write", DB_MODE_WRITE}, {u"ReadWrite", DB_MODE_READWRITE}};
constexpr NamedValue modeShareNames[] = {{u"Share Deny Read", DB_MODE_SHARE_DENY_READ},
                                         {u"Share Deny Write", DB_MODE_SHARE_DENY_WRITE},
                                         {u"Share Exclusive", DB_MODE_SHARE_EXCLUSIVE},
                                         {u"Share Deny None", DB_MODE_SHARE_DENY_NONE}};
constexpr NamedValue promptNames[] = {{u"Prompt", DBPROMPT_PROMPT},
                                      {u"Complete", DBPROMPT_COMPLETE},
                                      {u"CompleteRequired", DBPROMPT_COMPLETEREQUIRED},
                                      {u"NoPrompt", DBPROMPT_NOPROMPT}};

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isIntegerType(VARTYPE type) {
    switch (type) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool fitsType(VARTYPE type, std::int64_t v) {
    auto within = [v](std::int64_t lo, std::int64_t hi) { return v >= lo && v <= hi; };
    switch (type) {
    case VT_I1:
        return within(-128, 127);
    case VT_UI1:
        return within(0, 255);
    case VT_I2:
        return within(-32768, 32767);
    case VT_UI2:
        return within(0, 65535);
    case VT_I4:
    case VT_INT:
        return within(std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max());
    case VT_UI4:
    case VT_UINT:
        return within(0, std::numeric_limits<std::uint32_t>::max());
    case VT_UI8:
        return v >= 0;
    default:
        return true;
    }
}

// A decimal integer with an optional sign, nothing else.
std::optional<std::int64_t> parseDecimal(std::u16string_view text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7f)
            return std::nullopt;
        ascii += char(c);
    }
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    if (ascii.empty())
        return std::nullopt;
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (ec != std::errc() || end != ascii.data() + ascii.size())
        return std::nullopt;
    return v;
}

template <std::size_t N>
std::optional<std::int64_t> lookupName(const NamedValue (&names)[N], std::u16string_view text) {
    for (const NamedValue& n : names)
        if (sameInitKeyword(text, n.name))
            return n.value;
    return std::nullopt;
}

// "ReadWrite|Share Deny None", or numbers, or a mix, joined with '|'.
std::optional<std::int64_t> parseMode(std::u16string_view text) {
    std::int64_t result = 0;
    while (true) {
        const std::size_t bar = text.find(u'|');
        const std::u16string_view part = trimmed(text.substr(0, bar));
        std::optional<std::int64_t> v = lookupName(modeAccessNames, part);
        if (!v)
            v = lookupName(modeShareNames, part);
        if (!v)
            v = parseDecimal(part);
        if (!v)
            return std::nullopt;
        result |= *v;
        if (bar == std::u16string_view::npos)
            return result;
        text.remove_prefix(bar + 1);
    }
}

std::u16string decimalText(std::int64_t v) {
    const std::string digits = std::to_string(v);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string modeText(std::int64_t v) {
    if (v <= 0 || (v & ~std::int64_t(0x1f)) != 0)
        return decimalText(v);
    const std::int64_t access = v & 0x3;
    const std::int64_t share = v & 0x1c;
    std::u16string text;
    for (const NamedValue& n : modeAccessNames)
        if (n.value == access)
            text = n.name;
    if (share != 0) {
        const char16_t* shareName = nullptr;
        for (const NamedValue& n : modeShareNames)
            if (n.value == share)
                shareName = n.name;
        if (!shareName)
            return decimalText(v);
        if (!text.empty())
            text += u'|';
        text += shareName;
    }
    return text;
}

} // namespace

HRESULT readInitProperties(IDBProperties* properties, std::vector<InitProperty>& out) {
    out.clear();
    if (!properties)
        return E_INVALIDARG;

    DBPROPIDSET all{};
    all.guidPropertySet = DBPROPSET_DBINITALL;
    ULONG infoCount = 0;
    DBPROPINFOSET* infoSets = nullptr;
    OLECHAR* descriptions = nullptr;
    HRESULT hr = properties->GetPropertyInfo(1, &all, &infoCount, &infoSets, &descriptions);
    bool filterByFlag = false;
    if (FAILED(hr)) {
        // A provider that does not know DBPROPSET_DBINITALL: ask for everything and keep the
        // initialisation properties.
        freePropertyInfo(infoCount, infoSets, descriptions);
        infoCount = 0;
        infoSets = nullptr;
        descriptions = nullptr;
        hr = properties->GetPropertyInfo(0, nullptr, &infoCount, &infoSets, &descriptions);
        if (FAILED(hr)) {
            freePropertyInfo(infoCount, infoSets, descriptions);
            return hr;
        }
        filterByFlag = true;
    }
    for (ULONG s = 0; s < infoCount; ++s) {
        const DBPROPINFOSET& set = infoSets[s];
        for (ULONG i = 0; i < set.cPropertyInfos; ++i) {
            const DBPROPINFO& info = set.rgPropertyInfos[i];
            if (info.dwFlags == DBPROPFLAGS_NOTSUPPORTED)
                continue;
            if (filterByFlag && !(info.dwFlags & DBPROPFLAGS_DBINIT))
                continue;
            InitProperty p;
            p.set = set.guidPropertySet;
            p.id = info.dwPropertyID;
            p.type = info.vtType;
            p.flags = info.dwFlags;
            if (info.pwszDescription)
                p.description = info.pwszDescription;
            p.offered = offeredValueTexts(p, info.vValues);
            out.push_back(std::move(p));
        }
    }
    freePropertyInfo(infoCount, infoSets, descriptions);

    // The values, asked for by each set's explicit ids (the *ALL groups are for
    // GetPropertyInfo only).
    std::vector<GUID> setGuids;
    std::vector<std::vector<DBPROPID>> setIds;
    for (const InitProperty& p : out) {
        std::size_t g = 0;
        while (g < setGuids.size() && !(setGuids[g] == p.set))
            ++g;
        if (g == setGuids.size()) {
            setGuids.push_back(p.set);
            setIds.emplace_back();
        }
        setIds[g].push_back(p.id);
    }
    std::vector<DBPROPIDSET> request(setGuids.size());
    for (std::size_t g = 0; g < setGuids.size(); ++g)
        request[g] = DBPROPIDSET{setIds[g].data(), ULONG(setIds[g].size()), setGuids[g]};
    ULONG valueCount = 0;
    DBPROPSET* valueSets = nullptr;
    if (!request.empty()) {
        hr = properties->GetProperties(ULONG(request.size()), request.data(), &valueCount,
                                       &valueSets);
        if (FAILED(hr) && hr != DB_E_ERRORSOCCURRED) {
            freePropertySets(valueCount, valueSets);
            return hr;
        }
    }
    for (ULONG s = 0; valueSets && s < valueCount; ++s) {
        const DBPROPSET& set = valueSets[s];
        for (ULONG i = 0; i < set.cProperties; ++i) {
            const DBPROP& prop = set.rgProperties[i];
            if (prop.dwStatus != DBPROPSTATUS_OK)
                continue;
            for (InitProperty& p : out)
                if (p.set == set.guidPropertySet && p.id == prop.dwPropertyID)
                    if (std::optional<InitValue> v = initValueFromVariant(prop.vValue))
                        p.value = *v;
        }
    }
    freePropertySets(valueCount, valueSets);
    return S_OK;
}

HRESULT writeInitProperties(IDBProperties* properties, const std::vector<InitProperty>& values,
                            const InitProperty** refused, DBPROPSTATUS* status) {
    if (refused)
        *refused = nullptr;
    if (status)
        *status = DBPROPSTATUS_OK;
    if (!properties)
        return E_INVALIDARG;

    // One DBPROPSET per property-set GUID, in first-seen order; `owners` maps each DBPROP back.
    std::vector<GUID> guids;
    std::vector<std::vector<DBPROP>> props;
    std::vector<std::vector<const InitProperty*>> owners;
    HRESULT hr = S_OK;
    for (const InitProperty& p : values) {
        std::size_t g = 0;
        while (g < guids.size() && !(guids[g] == p.set))
            ++g;
        if (g == guids.size()) {
            guids.push_back(p.set);
            props.emplace_back();
            owners.emplace_back();
        }
        DBPROP prop{};
        prop.dwPropertyID = p.id;
        prop.dwOptions = DBPROPOPTIONS_REQUIRED;
        prop.dwStatus = DBPROPSTATUS_OK;
        prop.colid = DB_NULLID;
        VariantInit(&prop.vValue);
        if (!initValueToVariant(p.value, prop.vValue))
            hr = E_OUTOFMEMORY;
        props[g].push_back(prop);
        owners[g].push_back(&p);
    }
    std::vector<DBPROPSET> sets(guids.size());
    for (std::size_t g = 0; g < guids.size(); ++g) {
        sets[g].guidPropertySet = guids[g];
        sets[g].cProperties = ULONG(props[g].size());
        sets[g].rgProperties = props[g].data();
    }
    if (SUCCEEDED(hr) && !sets.empty())
        hr = properties->SetProperties(ULONG(sets.size()), sets.data());

    for (std::size_t g = 0; g < props.size(); ++g) {
        for (std::size_t i = 0; i < props[g].size(); ++i) {
            if (props[g][i].dwStatus != DBPROPSTATUS_OK && refused && !*refused) {
                *refused = owners[g][i];
                if (status)
                    *status = props[g][i].dwStatus;
            }
            VariantClear(&props[g][i].vValue);
        }
    }
    // Every property was required, so a partial success is a failure here.
    if (hr == DB_S_ERRORSOCCURRED)
        hr = DB_E_ERRORSOCCURRED;
    return hr;
}

const InitProperty* findByKeyword(const std::vector<InitProperty>& properties,
                                  std::u16string_view keyword) {
    for (const InitProperty& p : properties)
        if (!p.description.empty() && sameInitKeyword(p.description, keyword))
            return &p;
    for (const Synonyms& s : synonymTable) {
        bool named = false;
        for (const char16_t* name : s.names)
            named = named || (name && sameInitKeyword(name, keyword));
        if (!named)
            continue;
        for (const InitProperty& p : properties)
            if (p.isDbInit(s.id))
                return &p;
    }
    return nullptr;
}

std::optional<InitValue> valueFromText(const InitProperty& property, std::u16string_view text) {
    InitValue value;
    if (property.type == VT_BSTR) {
        value.type = VT_BSTR;
        value.text = std::u16string(text);
        return value;
    }
    text = trimmed(text);
    if (text.empty())
        return value; // no value: the provider's default stays
    if (property.type == VT_BOOL) {
        for (const char16_t* yes : {u"true", u"yes", u"1", u"-1"})
            if (sameInitKeyword(text, yes))
                value.integer = 1, value.type = VT_BOOL;
        for (const char16_t* no : {u"false", u"no", u"0"})
            if (sameInitKeyword(text, no))
                value.integer = 0, value.type = VT_BOOL;
        if (value.type != VT_BOOL)
            return std::nullopt;
        return value;
    }
    if (!isIntegerType(property.type))
        return std::nullopt;
    std::optional<std::int64_t> v;
    if (property.isDbInit(DBPROP_INIT_MODE))
        v = parseMode(text);
    else if (property.isDbInit(DBPROP_INIT_PROMPT))
        v = lookupName(promptNames, text);
    if (!v)
        v = parseDecimal(text);
    if (!v || !fitsType(property.type, *v))
        return std::nullopt;
    value.type = property.type;
    value.integer = *v;
    return value;
}

std::u16string textFromValue(const InitProperty& property, const InitValue& value) {
    switch (value.type) {
    case VT_EMPTY:
        return {};
    case VT_BSTR:
        return value.text;
    case VT_BOOL:
        return value.integer ? u"True" : u"False";
    default:
        break;
    }
    if (property.isDbInit(DBPROP_INIT_MODE))
        return modeText(value.integer);
    if (property.isDbInit(DBPROP_INIT_PROMPT))
        for (const NamedValue& n : promptNames)
            if (n.value == value.integer)
                return n.name;
    return decimalText(value.integer);
}

std::vector<std::u16string> namedValues(const InitProperty& property) {
    std::vector<std::u16string> names;
    if (property.type == VT_BOOL) {
        names = {u"True", u"False"};
    } else if (property.isDbInit(DBPROP_INIT_MODE) && isIntegerType(property.type)) {
        for (const NamedValue& n : modeAccessNames)
            names.push_back(n.name);
        for (const NamedValue& n : modeShareNames)
            names.push_back(n.name);
    } else if (property.isDbInit(DBPROP_INIT_PROMPT) && isIntegerType(property.type)) {
        for (const NamedValue& n : promptNames)
            names.push_back(n.name);
    }
    return names;
}

std::vector<std::u16string> offeredValueTexts(const InitProperty& property, const VARIANT& values) {
    std::vector<std::u16string> texts;
    if (!(values.vt & VT_ARRAY) || (values.vt & VT_BYREF) || !values.parray)
        return texts;
    SAFEARRAY* array = values.parray;
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || upper < lower)
        return texts;
    const VARTYPE element = values.vt & VARTYPE(~VT_ARRAY);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)))
        return texts;
    const std::size_t count = std::size_t(std::int64_t(upper) - lower + 1);
    for (std::size_t i = 0; i < count; ++i) {
        // Each element read as a VARIANT of the element type, so one conversion serves all.
        VARIANT item;
        VariantInit(&item);
        const auto* at = static_cast<const unsigned char*>(data) + i * array->cbElements;
        if (element == VT_VARIANT) {
            item = *reinterpret_cast<const VARIANT*>(at);
        } else if (array->cbElements <= sizeof(item.llVal)) {
            item.vt = element;
            std::memcpy(&item.llVal, at, array->cbElements);
        } else {
            break;
        }
        std::optional<InitValue> v = initValueFromVariant(item);
        if (v && !v->isEmpty())
            texts.push_back(textFromValue(property, *v));
    }
    SafeArrayUnaccessData(array);
    return texts;
}

std::vector<std::u16string> valueChoices(const InitProperty& property) {
    return property.offered.empty() ? namedValues(property) : property.offered;
}

std::optional<InitValue> initValueFromVariant(const VARIANT& variant) {
    InitValue v;
    v.type = variant.vt;
    switch (variant.vt) {
    case VT_EMPTY:
        return v;
    case VT_BSTR:
        if (variant.bstrVal)
            v.text.assign(variant.bstrVal, SysStringLen(variant.bstrVal));
        return v;
    case VT_BOOL:
        v.integer = variant.boolVal != VARIANT_FALSE ? 1 : 0;
        return v;
    case VT_I1:
        v.integer = variant.cVal;
        return v;
    case VT_UI1:
        v.integer = variant.bVal;
        return v;
    case VT_I2:
        v.integer = variant.iVal;
        return v;
    case VT_UI2:
        v.integer = variant.uiVal;
        return v;
    case VT_I4:
        v.integer = variant.lVal;
        return v;
    case VT_INT:
        v.integer = variant.intVal;
        return v;
    case VT_UI4:
        v.integer = variant.ulVal;
        return v;
    case VT_UINT:
        v.integer = variant.uintVal;
        return v;
    case VT_I8:
        v.integer = variant.llVal;
        return v;
    case VT_UI8:
        if (variant.ullVal > ULONGLONG(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        v.integer = std::int64_t(variant.ullVal);
        return v;
    default:
        return std::nullopt;
    }
}

bool initValueToVariant(const InitValue& value, VARIANT& variant) {
    VariantClear(&variant);
    variant.vt = value.type;
    switch (value.type) {
    case VT_BSTR:
        variant.bstrVal = SysAllocStringLen(value.text.data(), UINT(value.text.size()));
        if (!variant.bstrVal) {
            variant.vt = VT_EMPTY;
            return false;
        }
        return true;
    case VT_BOOL:
        variant.boolVal = value.integer ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    case VT_I1:
        variant.cVal = CHAR(value.integer);
        return true;
    case VT_UI1:
        variant.bVal = BYTE(value.integer);
        return true;
    case VT_I2:
        variant.iVal = SHORT(value.integer);
        return true;
    case VT_UI2:
        variant.uiVal = USHORT(value.integer);
        return true;
    case VT_I4:
        variant.lVal = LONG(value.integer);
        return true;
    case VT_INT:
        variant.intVal = INT(value.integer);
        return true;
    case VT_UI4:
        variant.ulVal = ULONG(value.integer);
        return true;
    case VT_UINT:
        variant.uintVal = UINT(value.integer);
        return true;
    case VT_I8:
        variant.llVal = value.integer;
        return true;
    case VT_UI8:
        variant.ullVal = ULONGLONG(value.integer);
        return true;
    default:
        variant.vt = VT_EMPTY;
        return true;
    }
}

std::u16string describePropertyStatus(DBPROPSTATUS status) {
    switch (status) {
    case DBPROPSTATUS_OK:
        return u"přijato";
    case DBPROPSTATUS_NOTSUPPORTED:
        return u"vlastnost není podporována";
    case DBPROPSTATUS_BADVALUE:
        return u"hodnota není platná";
    case DBPROPSTATUS_BADOPTION:
        return u"volba není platná";
    case DBPROPSTATUS_NOTSETTABLE:
        return u"vlastnost nelze nastavit";
    case DBPROPSTATUS_CONFLICTING:
        return u"hodnota je v rozporu s jinou vlastností";
    default:
        return u"ovladač hodnotu odmítl (stav " + decimalText(status) + u")";
    }
}

} // namespace vantrel::services

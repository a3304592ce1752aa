#include "TestSupport.h"

#include "InitProperties.h"
#include "kit/KitProvider.h"

#include <filesystem>
#include <unistd.h>

namespace servicestest {
namespace {

using namespace vantrel::kit;

constexpr std::uint32_t readWrite = propFlagDbInit | propFlagRead | propFlagWrite;

constexpr PropertyRow authProperties[] = {
    {PropertySet::DbInit, DBPROP_INIT_DATASOURCE, VT_BSTR, readWrite, 0, u"db.example",
     u"Data Source"},
    {PropertySet::DbInit, DBPROP_AUTH_USERID, VT_BSTR, readWrite, 0, nullptr, u"User ID"},
    {PropertySet::DbInit, DBPROP_AUTH_PASSWORD, VT_BSTR, readWrite, 0, nullptr, u"Password"},
    {PropertySet::DbInit, DBPROP_INIT_CATALOG, VT_BSTR, readWrite, 0, nullptr, u"Initial Catalog"},
    {PropertySet::DbInit, DBPROP_INIT_TIMEOUT, VT_I4, readWrite, 15, nullptr, u"Connect Timeout"},
    {PropertySet::DbInit, DBPROP_INIT_MODE, VT_I4, readWrite, DB_MODE_READ, nullptr, u"Mode"},
    {PropertySet::DbInit, DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, VT_BOOL, readWrite, 0, nullptr,
     u"Persist Security Info"},
};

std::unique_ptr<Connection> refuseLogin(const InitSettings& settings) {
    const Value* user = findSetting(settings, PropertySet::DbInit, DBPROP_AUTH_USERID);
    throw BackendError(ErrorClass::CantOpen, "password authentication failed for user \"" +
                                                 (user ? user->bytes : std::string()) + "\"");
}

const ProviderDescriptor authDescriptor = {
    "{6F1E2B3C-4D5A-4E6F-8A9B-0C1D2E3F4A5B}",
    u"Vantrel.Test.Auth.1",
    u"Vantrel.Test.Auth",
    u"Vantrel Test Provider with Authentication",
    u"Vantrel Test Auth",
    u"01.00.0000",
    u"services_tests",
    authProperties,
    &refuseLogin,
};

} // namespace

std::u16string takeErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info)
        return {};
    BSTR description = nullptr;
    std::u16string text;
    if (SUCCEEDED(info->GetDescription(&description)) && description)
        text.assign(description, SysStringLen(description));
    SysFreeString(description);
    return text;
}

std::optional<std::u16string> propertyText(IUnknown* object, REFGUID set, DBPROPID id) {
    ComPtr<IDBProperties> properties;
    if (!object || FAILED(object->QueryInterface(IID_IDBProperties, properties.putVoid())))
        return std::nullopt;
    DBPROPIDSET ids{&id, 1, set};
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    const HRESULT hr = properties->GetProperties(1, &ids, &count, &sets);
    std::optional<std::u16string> text;
    if (hr == S_OK && count == 1 && sets[0].cProperties == 1 &&
        sets[0].rgProperties[0].dwStatus == DBPROPSTATUS_OK) {
        VARIANT& v = sets[0].rgProperties[0].vValue;
        if (v.vt == VT_BSTR)
            text = v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"";
        else if (std::optional<vantrel::services::InitValue> iv =
                     vantrel::services::initValueFromVariant(v))
            text = utf16(std::to_string(iv->integer));
    }
    for (ULONG s = 0; sets && s < count; ++s) {
        for (ULONG i = 0; i < sets[s].cProperties; ++i)
            VariantClear(&sets[s].rgProperties[i].vValue);
        CoTaskMemFree(sets[s].rgProperties);
    }
    CoTaskMemFree(sets);
    return text;
}

std::u16string initString(IUnknown* dataSource, bool includePassword) {
    ComPtr<IDataInitialize> service = dataInitialize();
    LPOLESTR text = nullptr;
    const HRESULT hr = service->GetInitializationString(dataSource, includePassword, &text);
    EXPECT_EQ(hr, S_OK) << utf8(takeErrorDescription());
    std::u16string result = text ? text : u"";
    CoTaskMemFree(text);
    return result;
}

std::u16string scratchPath(const std::string& name) {
    std::filesystem::path dir = std::filesystem::current_path() / "scratch";
    std::filesystem::create_directories(dir);
    return utf16((dir / name).string());
}

std::string utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char16_t(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            out += char16_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 1;
        } else if (i + 2 < s.size()) {
            out += char16_t(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 2;
        }
    }
    return out;
}

AuthProviderRegistration::AuthProviderRegistration() {
    EXPECT_EQ(registerKitProvider(authDescriptor), S_OK);
}

AuthProviderRegistration::~AuthProviderRegistration() {
    unregisterKitProvider(authDescriptor);
}

} // namespace servicestest

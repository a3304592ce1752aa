// Helpers shared by the service tests: creating the services through COM, reading one
// initialisation property straight through IDBProperties, the thread's error text, and a
// provider with user authentication that refuses every login (the SQLite provider has none).
#pragma once

#include "ComPtr.h"

#include <msdaguid.h>
#include <msdasc.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace servicestest {

using vantrel::services::ComPtr;

template <class T> ComPtr<T> create(REFCLSID clsid, REFIID iid) {
    ComPtr<T> p;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, p.putVoid()), S_OK);
    return p;
}

inline ComPtr<IDataInitialize> dataInitialize() {
    return create<IDataInitialize>(CLSID_MSDAINITIALIZE, IID_IDataInitialize);
}

// The description of the thread's error object (consumed), or "" when there is none.
std::u16string takeErrorDescription();

// One property's value as the provider reports it: VT_BSTR as text, integers and VT_BOOL as
// their number in decimal; nothing when the provider does not answer it.
std::optional<std::u16string> propertyText(IUnknown* object, REFGUID set, DBPROPID id);
inline std::optional<std::u16string> initText(IUnknown* object, DBPROPID id) {
    return propertyText(object, DBPROPSET_DBINIT, id);
}

// An initialisation string from the service, or "" with a test failure.
std::u16string initString(IUnknown* dataSource, bool includePassword);

// A private directory path for database files of one test.
std::u16string scratchPath(const std::string& name);
std::string utf8(const std::u16string& s);
std::u16string utf16(const std::string& s);

// The authenticating test provider ("Vantrel.Test.Auth.1"), registered while an object of this
// class lives. Its data source refuses Initialize with the message
// `password authentication failed for user "<User ID>"`.
class AuthProviderRegistration {
public:
    AuthProviderRegistration();
    ~AuthProviderRegistration();
    static const char16_t* progId() { return u"Vantrel.Test.Auth.1"; }
};

} // namespace servicestest

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "oledb/OleDbApi.h"

namespace {

struct PublishedGuid {
    const char* name;
    const GUID& value;
    const char16_t* text;
};

// The values the bench writes out (the connection, enumeration, property and command GUIDs),
// then the interface ids and property sets a consumer and the providers exchange.
const PublishedGuid publishedGuids[] = {
    {"CLSID_OLEDB_ENUMERATOR", CLSID_OLEDB_ENUMERATOR, u"{C8B522D0-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_ROWSET", DBPROPSET_ROWSET, u"{C8B522BE-5CF3-11CE-ADE5-00AA0044773D}"},
    {"CLSID_MSDAINITIALIZE", CLSID_MSDAINITIALIZE, u"{2206CDB0-19C1-11D1-89E0-00C04FD7A829}"},
    {"IID_IDataInitialize", IID_IDataInitialize, u"{2206CCB1-19C1-11D1-89E0-00C04FD7A829}"},
    {"CLSID_DataLinks", CLSID_DataLinks, u"{2206CDB2-19C1-11D1-89E0-00C04FD7A829}"},
    {"IID_IDBPromptInitialize", IID_IDBPromptInitialize, u"{2206CCB0-19C1-11D1-89E0-00C04FD7A829}"},
    {"DBPROPSET_DATASOURCEINFO", DBPROPSET_DATASOURCEINFO,
     u"{C8B522BB-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBGUID_DBSQL", DBGUID_DBSQL, u"{C8B521FB-5CF3-11CE-ADE5-00AA0044773D}"},
    {"GUID_NULL", GUID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
    {"IID_IUnknown", IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
    {"IID_IClassFactory", IID_IClassFactory, u"{00000001-0000-0000-C000-000000000046}"},
    {"IID_IMalloc", IID_IMalloc, u"{00000002-0000-0000-C000-000000000046}"},
    {"IID_IPersist", IID_IPersist, u"{0000010C-0000-0000-C000-000000000046}"},
    {"IID_IErrorInfo", IID_IErrorInfo, u"{1CF2B120-547D-101B-8E65-08002B2BD119}"},
    {"IID_ICreateErrorInfo", IID_ICreateErrorInfo, u"{22F03340-547D-101B-8E65-08002B2BD119}"},
    {"IID_ISupportErrorInfo", IID_ISupportErrorInfo, u"{DF0B3D60-548F-101B-8E65-08002B2BD119}"},
    {"IID_ISequentialStream", IID_ISequentialStream, u"{0C733A30-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBInitialize", IID_IDBInitialize, u"{0C733A8B-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBProperties", IID_IDBProperties, u"{0C733A8A-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBCreateSession", IID_IDBCreateSession, u"{0C733A5D-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBInfo", IID_IDBInfo, u"{0C733A89-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IGetDataSource", IID_IGetDataSource, u"{0C733A75-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IOpenRowset", IID_IOpenRowset, u"{0C733A69-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ISessionProperties", IID_ISessionProperties, u"{0C733A85-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBCreateCommand", IID_IDBCreateCommand, u"{0C733A1D-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ITableDefinition", IID_ITableDefinition, u"{0C733A86-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ITransaction", IID_ITransaction, u"{0FB15084-AF41-11CE-BD2B-204C4F4F5020}"},
    {"IID_ITransactionLocal", IID_ITransactionLocal, u"{0C733A5F-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ITransactionOptions", IID_ITransactionOptions, u"{3A6AD9E0-23B9-11CF-AD60-00AA00A74CCD}"},
    {"IID_ICommand", IID_ICommand, u"{0C733A63-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ICommandText", IID_ICommandText, u"{0C733A27-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ICommandProperties", IID_ICommandProperties, u"{0C733A79-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ICommandPrepare", IID_ICommandPrepare, u"{0C733A26-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ICommandWithParameters", IID_ICommandWithParameters,
     u"{0C733A64-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IAccessor", IID_IAccessor, u"{0C733A8C-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IColumnsInfo", IID_IColumnsInfo, u"{0C733A11-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IConvertType", IID_IConvertType, u"{0C733A88-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowset", IID_IRowset, u"{0C733A7C-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowsetInfo", IID_IRowsetInfo, u"{0C733A55-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowsetChange", IID_IRowsetChange, u"{0C733A05-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowsetLocate", IID_IRowsetLocate, u"{0C733A7D-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowsetUpdate", IID_IRowsetUpdate, u"{0C733A6D-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IRowsetIdentity", IID_IRowsetIdentity, u"{0C733A09-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_ISourcesRowset", IID_ISourcesRowset, u"{0C733A1E-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IErrorRecords", IID_IErrorRecords, u"{0C733A67-2A1C-11CE-ADE5-00AA0044773D}"},
    {"IID_IDBSchemaRowset", IID_IDBSchemaRowset, u"{0C733A7B-2A1C-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_DBINIT", DBPROPSET_DBINIT, u"{C8B522BC-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_COLUMN", DBPROPSET_COLUMN, u"{C8B522B9-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_DATASOURCE", DBPROPSET_DATASOURCE, u"{C8B522BA-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_SESSION", DBPROPSET_SESSION, u"{C8B522C6-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_PROPERTIESINERROR", DBPROPSET_PROPERTIESINERROR,
     u"{C8B522D4-5CF3-11CE-ADE5-00AA0044773D}"},
    {"DBPROPSET_DBINITALL", DBPROPSET_DBINITALL, u"{C8B522CA-5CF3-11CE-ADE5-00AA0044773D}"},
};

std::string hexOf(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08x", static_cast<unsigned>(hr));
    return buffer;
}

} // namespace

TEST(PublishedValues, GuidsMatchTheirPublishedText) {
    for (const auto& guid : publishedGuids) {
        OLECHAR buffer[CHARS_IN_GUID];
        ASSERT_EQ(StringFromGUID2(guid.value, buffer, CHARS_IN_GUID), CHARS_IN_GUID);
        EXPECT_EQ(std::u16string(buffer), std::u16string(guid.text)) << guid.name;
    }
}

TEST(PublishedValues, GuidConstantsAreDistinctWhereTheyMustBe) {
    EXPECT_NE(CLSID_MSDAINITIALIZE, CLSID_DataLinks);
    EXPECT_NE(IID_IRowset, IID_IRowsetLocate);
    EXPECT_TRUE(IsEqualGUID(DBGUID_DEFAULT, DBGUID_DBSQL));
    EXPECT_FALSE(IsEqualIID(IID_IUnknown, IID_IClassFactory));
    // Every byte takes part in the comparison.
    for (int i = 0; i < 16; ++i) {
        GUID changed = IID_IRowset;
        reinterpret_cast<unsigned char*>(&changed)[i] ^= 1;
        EXPECT_FALSE(changed == IID_IRowset) << "byte " << i;
    }
}

TEST(PublishedValues, ResultCodesPrintAsTheBenchShowsThem) {
    EXPECT_EQ(hexOf(E_FAIL), "80004005");
    EXPECT_EQ(hexOf(DB_E_CANCELED), "80040e4e");
    EXPECT_EQ(hexOf(DB_E_ERRORSOCCURRED), "80040e21");
    EXPECT_EQ(hexOf(DB_S_ERRORSOCCURRED), "00040eda");
    EXPECT_EQ(hexOf(DB_E_CONCURRENCYVIOLATION), "80040e38");
    EXPECT_EQ(hexOf(REGDB_E_CLASSNOTREG), "80040154");
    EXPECT_EQ(hexOf(CO_E_CLASSSTRING), "800401f3");
    EXPECT_EQ(hexOf(E_INVALIDARG), "80070057");
    EXPECT_EQ(hexOf(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)), "800700b7");
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(DB_E_CANCELED));
    EXPECT_TRUE(SUCCEEDED(DB_S_ENDOFROWSET));
    EXPECT_EQ(HRESULT_FACILITY(DB_E_CANCELED), FACILITY_ITF);
    EXPECT_EQ(HRESULT_CODE(DB_E_CANCELED), 0x0E4E);
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0E4E), DB_E_CANCELED);
}

TEST(PublishedValues, NullColumnIdIsAllZero) {
    const DBID null = DB_NULLID;
    EXPECT_EQ(null.eKind, 0u);
    EXPECT_EQ(null.uGuid.guid, GUID_NULL);
    EXPECT_EQ(null.uName.pwszName, nullptr);
    EXPECT_EQ(std::u16string(OLESTR("abc")), u"abc");
}

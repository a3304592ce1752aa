#include "OdbcProvider.h"

#include "OdbcOpen.h"
#include "OdbcSettings.h"

#include "kit/KitText.h"

#include <algorithm>
#include <array>

namespace vantrel::odbc {

namespace {

// VARTYPE values of the property table.
constexpr kit::VarType vtI4 = 3;
constexpr kit::VarType vtBstr = 8;
constexpr std::uint32_t readWrite = kit::propFlagDbInit | kit::propFlagRead | kit::propFlagWrite;

// Data Source offers the data source names the driver manager knows now.
std::vector<std::u16string> offeredDataSources() {
    std::vector<std::u16string> names;
    for (const std::string& name : odbcDataSourceNames()) {
        // A name in both the user's and the system's list is one choice.
        std::u16string wide = kit::utf8ToUtf16(name);
        if (std::find(names.begin(), names.end(), wide) == names.end())
            names.push_back(std::move(wide));
    }
    return names;
}

// Extended Properties offers the start of a connection string for each installed driver.
std::vector<std::u16string> offeredDriverStrings() {
    std::vector<std::u16string> strings;
    for (const std::string& driver : odbcDriverNames()) {
        // Braced as users write driver names, even where the name would not need it.
        std::string value = connectionValue(driver);
        if (value.empty() || value.front() != '{')
            value = "{" + value + "}";
        strings.push_back(kit::utf8ToUtf16("DRIVER=" + value + ";"));
    }
    return strings;
}

constexpr std::array<kit::PropertyRow, 8> initialisationProperties = {{
    {kit::PropertySet::DbInit, propDataSource, vtBstr, readWrite, 0, nullptr, u"Data Source",
     &offeredDataSources},
    {kit::PropertySet::DbInit, propCatalog, vtBstr, readWrite, 0, nullptr, u"Initial Catalog"},
    {kit::PropertySet::DbInit, propUserId, vtBstr, readWrite, 0, nullptr, u"User ID"},
    {kit::PropertySet::DbInit, propPassword, vtBstr, readWrite, 0, nullptr, u"Password"},
    {kit::PropertySet::DbInit, propTimeout, vtI4, readWrite, defaultConnectTimeout, nullptr,
     u"Connect Timeout"},
    {kit::PropertySet::DbInit, propMode, vtI4, readWrite, modeReadWrite, nullptr, u"Mode"},
    {kit::PropertySet::DbInit, propProviderString, vtBstr, readWrite, 0, nullptr,
     u"Extended Properties", &offeredDriverStrings},
    {kit::PropertySet::KitInit, kit::kitPropConcurrency, vtBstr, readWrite, 0, u"Optimistic",
     u"Concurrency"},
}};

} // namespace

const kit::ProviderDescriptor& odbcProviderDescriptor() {
    static const kit::ProviderDescriptor descriptor{
        "{6E0B7C52-3F8A-4D19-9B26-A1C4E07D5F38}",
        u"Vantrel.ODBC.1",
        u"Vantrel.ODBC",
        // Sorts after "Vantrel Embedded OLE DB Provider for SQLite", so a fresh start still
        // selects the embedded default.
        u"Vantrel OLE DB Provider for ODBC Drivers",
        u"Vantrel OLE DB Provider for ODBC Drivers",
        u"01.00.0000",
        u"vantrel-odbc.so",
        initialisationProperties,
        &openOdbcConnection,
    };
    return descriptor;
}

const char16_t* providerName() {
    return odbcProviderDescriptor().description;
}

} // namespace vantrel::odbc

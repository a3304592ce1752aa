#include "PgProvider.h"

#include "PgConnection.h"
#include "PgSettings.h"

#include <array>

namespace vantrel::postgres {

namespace {

// VARTYPE values of the property table.
constexpr kit::VarType vtI4 = 3;
constexpr kit::VarType vtBstr = 8;
constexpr std::uint32_t readWrite = kit::propFlagDbInit | kit::propFlagRead | kit::propFlagWrite;

constexpr std::array<kit::PropertyRow, 8> initialisationProperties = {{
    {kit::PropertySet::DbInit, propDataSource, vtBstr, readWrite, 0, nullptr, u"Data Source"},
    {kit::PropertySet::DbInit, propCatalog, vtBstr, readWrite, 0, nullptr, u"Initial Catalog"},
    {kit::PropertySet::DbInit, propUserId, vtBstr, readWrite, 0, nullptr, u"User ID"},
    {kit::PropertySet::DbInit, propPassword, vtBstr, readWrite, 0, nullptr, u"Password"},
    {kit::PropertySet::DbInit, propMode, vtI4, readWrite, modeReadWrite, nullptr, u"Mode"},
    {kit::PropertySet::DbInit, propTimeout, vtI4, readWrite, defaultConnectTimeout, nullptr,
     u"Connect Timeout"},
    {kit::PropertySet::DbInit, propProviderString, vtBstr, readWrite, 0, nullptr,
     u"Extended Properties"},
    {kit::PropertySet::KitInit, kit::kitPropConcurrency, vtBstr, readWrite, 0, u"Locking",
     u"Concurrency"},
}};

} // namespace

const kit::ProviderDescriptor& postgresProviderDescriptor() {
    static const kit::ProviderDescriptor descriptor{
        "{9CDBC4C1-B6A5-45A2-B41E-E57F0255D642}",
        u"Vantrel.PostgreSQL.1",
        u"Vantrel.PostgreSQL",
        // Sorts after "Vantrel Embedded OLE DB Provider for SQLite", so a fresh start still
        // selects the embedded default.
        u"Vantrel OLE DB Provider for PostgreSQL",
        u"Vantrel OLE DB Provider for PostgreSQL",
        u"01.00.0000",
        u"vantrel-postgres.so",
        initialisationProperties,
        &openPgConnection,
    };
    return descriptor;
}

} // namespace vantrel::postgres

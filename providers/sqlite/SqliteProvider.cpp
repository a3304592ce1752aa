#include "SqliteProvider.h"

#include "SqliteConnection.h"
#include "kit/KitProvider.h"

#include <array>

namespace vantrel::sqlite {

namespace {

// VARTYPE values of the property table.
constexpr kit::VarType vtI4 = 3;
constexpr kit::VarType vtBstr = 8;
constexpr std::uint32_t readWrite = kit::propFlagDbInit | kit::propFlagRead | kit::propFlagWrite;

constexpr std::array<kit::PropertyRow, 5> initialisationProperties = {{
    {kit::PropertySet::DbInit, propDataSource, vtBstr, readWrite, 0, u"vantrel.db", u"Data Source"},
    {kit::PropertySet::DbInit, propMode, vtI4, readWrite, modeReadWrite, nullptr, u"Mode"},
    {kit::PropertySet::DbInit, propTimeout, vtI4, readWrite, 5, nullptr, u"Connect Timeout"},
    {kit::PropertySet::DbInit, propProviderString, vtBstr, readWrite, 0, nullptr,
     u"Extended Properties"},
    {kit::PropertySet::DbInit, propCatalog, vtBstr, readWrite, 0, nullptr, u"Initial Catalog"},
}};

} // namespace

const kit::ProviderDescriptor& sqliteProviderDescriptor() {
    static const kit::ProviderDescriptor descriptor{
        "{72C3F878-E855-4C10-AFBE-15E23A61B8AA}",
        u"Vantrel.SQLite.1",
        u"Vantrel.SQLite",
        // "Embedded" sorts before "OLE DB Provider for ..." of the other Vantrel providers (and
        // before any description that starts later than "V"), so a fresh start selects it.
        u"Vantrel Embedded OLE DB Provider for SQLite",
        u"Vantrel Embedded OLE DB Provider for SQLite",
        u"01.00.0000",
        u"vantrel-sqlite.so",
        initialisationProperties,
        &openSqliteConnection,
    };
    return descriptor;
}

} // namespace vantrel::sqlite

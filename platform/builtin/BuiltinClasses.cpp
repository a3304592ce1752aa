// Registers the classes built into libvantrel-oledb. Each provider and service component adds
// its one registration call here, so that the set of built-in classes is visible in one place.
#include "vantrel/BuiltinClasses.h"

#include "ServiceClasses.h"
#include "odbc/OdbcProvider.h"
#include "postgres/PgProvider.h"
#include "sqlite/SqliteProvider.h"

void VantrelRegisterBuiltinClasses() {
    // The embedded SQLite provider, the bench's default.
    VantrelRegisterSqliteProvider();
    // The OLE DB service components: root enumerator, data initialisation, Data Links.
    vantrel::services::registerServiceClasses();
    // The PostgreSQL provider (its description sorts after the embedded SQLite provider's).
    VantrelRegisterPostgresProvider();
    // The bridge to the system's ODBC drivers (its description sorts after SQLite's too).
    VantrelRegisterOdbcProvider();
}

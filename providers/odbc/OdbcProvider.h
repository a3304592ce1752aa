// The Vantrel OLE DB Provider for ODBC Drivers: a provider-kit backend over the system's
// unixODBC driver manager, reaching any database that has an ODBC driver.
//
// Initialisation properties (DBPROPSET_DBINIT unless noted):
//   Data Source          an ODBC data source name (odbc.ini; the Data Links dialog lists them).
//   Extended Properties  a whole ODBC connection string, "DRIVER={MariaDB Unicode};SERVER=...",
//                        or keywords added to the data source's ("Port=5433").
//   User ID, Password    passed to the driver as UID and PWD unless the string has its own.
//   Initial Catalog      the database to change to after connecting (SQL_ATTR_CURRENT_CATALOG).
//   Connect Timeout      seconds the driver may take to log in. Default 15; 0 means the default
//                        too, so a dead server never hangs the window.
//   Mode                 without DB_MODE_WRITE the connection is made read-only where the driver
//                        or the database can (SQL_MODE_READ_ONLY, the session's read-only mode
//                        on PostgreSQL and MariaDB).
//   Concurrency          (the kit's property set) "Optimistic", the default: a change is refused
//                        with DB_E_CONCURRENCYVIOLATION when the row no longer holds the values
//                        the rowset fetched. "Locking": a row changed through one rowset stays
//                        locked against changes through the session's other rowsets until that
//                        rowset releases it (DB_E_RESOURCELOCKED).
//
// Every diagnostic record of a failed ODBC call is part of the error object's description, one
// per line with its SQLSTATE; the SQLSTATE class chooses the HRESULT.
#pragma once

#include "kit/Backend.h"
#include "kit/KitProvider.h"

namespace vantrel::odbc {

// The provider as the kit registers it.
const kit::ProviderDescriptor& odbcProviderDescriptor();

} // namespace vantrel::odbc

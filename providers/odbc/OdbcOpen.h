// Opening an ODBC connection, listing what the driver manager knows and naming the provider,
// without the ODBC headers (whose Windows type names clash with the COM declarations the
// provider table needs).
#pragma once

#include "kit/Backend.h"

#include <memory>
#include <string>
#include <vector>

namespace vantrel::odbc {

// Opens a connection from the initialisation settings (the kit's OpenConnection).
std::unique_ptr<kit::Connection> openOdbcConnection(const kit::InitSettings& settings);

// The data source names and the drivers the driver manager knows now (SQLDataSources,
// SQLDrivers), for a consumer's choice list.
std::vector<std::string> odbcDataSourceNames();
std::vector<std::string> odbcDriverNames();

// The provider's description, the source of the error objects its warnings go to.
const char16_t* providerName();

} // namespace vantrel::odbc

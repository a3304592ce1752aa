// The module vantrel-odbc.so: serves the ODBC provider's class and stays loaded once loaded.
#include "OdbcProvider.h"

#include <vantrel/Module.h>

// Resident: the driver manager and the drivers it loads keep process-wide state (environment
// handles, loaded drivers, parsed configuration) that is not torn down when the module goes, and
// a driver manager unloaded under it would leave that state unreachable.
VANTREL_RESIDENT_MODULE(
    vantrel::kit::kitProviderClasses({&vantrel::odbc::odbcProviderDescriptor()}))

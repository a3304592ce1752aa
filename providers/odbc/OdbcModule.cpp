// The module vantrel-odbc.so: serves the ODBC provider's class.
#include "OdbcProvider.h"

#include <vantrel/Module.h>

VANTREL_MODULE(vantrel::kit::kitProviderClasses({&vantrel::odbc::odbcProviderDescriptor()}))

// The provider-specific data source information of the OLE DB provider for ODBC drivers: the
// property set and the ids of the ODBC driver's own facts, as published.
#pragma once

#include "guiddef.h"

// {497C60E0-7123-11CF-B171-00AA0057599E}
DEFINE_GUID(DBPROPSET_PROVIDERDATASOURCEINFO, 0x497c60e0, 0x7123, 0x11cf, 0xb1, 0x71, 0x00, 0xaa,
            0x00, 0x57, 0x59, 0x9e);

// VT_BSTR values of DBPROPSET_PROVIDERDATASOURCEINFO.
#define KAGPROP_DRIVERNAME 7    // the driver's file name (SQL_DRIVER_NAME)
#define KAGPROP_DRIVERVER 8     // the driver's version (SQL_DRIVER_VER)
#define KAGPROP_DRIVERODBCVER 9 // the ODBC version the driver supports (SQL_DRIVER_ODBC_VER)

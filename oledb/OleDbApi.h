// The one include through which the bench sees COM and OLE DB: the Windows SDK on Windows, the
// platform/com declarations (same names, values and signatures) everywhere else.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <msdaguid.h>
#include <msdasc.h>
#include <oledb.h>
#include <oledberr.h>
#include <transact.h>
#else
#include <msdaguid.h>
#include <msdasc.h>
#include <objbase.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>
#include <transact.h>
#include <winuser.h>
#endif

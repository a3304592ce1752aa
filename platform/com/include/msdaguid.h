// Class ids of the OLE DB core services.
#pragma once

#include "guiddef.h"

// The root enumerator: a sources rowset of every registered provider and enumerator.
VANTREL_DEFINE_OLEDB_GUID(CLSID_OLEDB_ENUMERATOR, 0xc8b522d0);
VANTREL_DEFINE_OLEDB_GUID(CLSID_EXTENDEDERRORINFO, 0xc8b522cf);
VANTREL_DEFINE_OLEDB_GUID(CLSID_OLEDB_CONVERSIONLIBRARY, 0xc8b522d1);
VANTREL_DEFINE_OLEDB_IID(CLSID_MSDAVTM, 0x0c733a8e);
DEFINE_GUID(CLSID_OLEDB_ROWPOSITIONLIBRARY, 0x2048eee6, 0x7fa2, 0x11d0, 0x9e, 0x6a, 0x00, 0xa0,
            0xc9, 0x13, 0x8c, 0x29);

// Registration of the service components with the class registry.
#pragma once

#include <objbase.h>

namespace vantrel::services {

// Registers the root enumerator (CLSID_OLEDB_ENUMERATOR, source type enumerator), the data
// initialisation service (CLSID_MSDAINITIALIZE) and the Data Links service (CLSID_DataLinks).
// Returns the first failure, having registered what it could.
HRESULT registerServiceClasses();

} // namespace vantrel::services

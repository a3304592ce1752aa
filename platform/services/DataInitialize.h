// The data initialisation service (CLSID_MSDAINITIALIZE): IDataInitialize over any registered
// provider. It turns initialisation strings into uninitialised data source objects and back,
// using only the provider's published IDBProperties.
#pragma once

#include <msdasc.h>

namespace vantrel::services {

// Class factory function for the class registry. Refuses aggregation.
HRESULT createDataInitialize(IUnknown* outer, REFIID riid, void** ppv);

} // namespace vantrel::services

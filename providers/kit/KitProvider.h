// Turning a backend into a registered OLE DB provider.
#pragma once

#include "Backend.h"

#include "KitCom.h"

namespace vantrel::kit {

// Registers the provider described by `descriptor` with the COM class registry (CLSID, both
// ProgIDs, description, DBSOURCETYPE_DATASOURCE_TDP); CoCreateInstance then yields the kit's
// data source object over the backend. The descriptor and everything it points to must outlive
// the registration (use static storage). Returns S_OK, or E_INVALIDARG for a malformed CLSID.
HRESULT registerKitProvider(const ProviderDescriptor& descriptor);

// Removes the registration again (tests).
HRESULT unregisterKitProvider(const ProviderDescriptor& descriptor);

} // namespace vantrel::kit

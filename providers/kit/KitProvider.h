// Turning a backend into a registered OLE DB provider.
#pragma once

#include "Backend.h"

#include "KitCom.h"

#include <vantrel/ClassRegistry.h>

#include <initializer_list>
#include <vector>

namespace vantrel::kit {

// Registers the provider described by `descriptor` with the COM class registry (CLSID, both
// ProgIDs, description, DBSOURCETYPE_DATASOURCE_TDP); CoCreateInstance then yields the kit's
// data source object over the backend. The descriptor and everything it points to must outlive
// the registration (use static storage). Returns S_OK, or E_INVALIDARG for a malformed CLSID.
HRESULT registerKitProvider(const ProviderDescriptor& descriptor);

// The class of each provider, served by the kit's data source object: the list a provider
// module hands to VANTREL_MODULE. The descriptors must have static storage.
std::vector<VantrelClassRegistration>
kitProviderClasses(std::initializer_list<const ProviderDescriptor*> descriptors);

// Removes the registration again (tests).
HRESULT unregisterKitProvider(const ProviderDescriptor& descriptor);

} // namespace vantrel::kit

// The classes of the service components, as their modules serve them.
#pragma once

#include <vantrel/ClassRegistry.h>

#include <vector>

namespace vantrel::services {

// The root enumerator (CLSID_OLEDB_ENUMERATOR, source type enumerator) and the data
// initialisation service (CLSID_MSDAINITIALIZE): the module vantrel-services.so.
std::vector<VantrelClassRegistration> serviceClasses();

// The Data Links service (CLSID_DataLinks): the module vantrel-datalinks.so, the only one that
// links Qt Widgets.
std::vector<VantrelClassRegistration> dataLinksClasses();

} // namespace vantrel::services

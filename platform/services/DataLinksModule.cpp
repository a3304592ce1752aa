// The module vantrel-datalinks.so: the Data Links service, the one module that links Qt
// Widgets. It stays loaded once loaded: Qt keeps process-wide state (the application object,
// its plugins, exit handlers) that must not be unloaded under a running program.
#include "DataLinks.h"
#include "ServiceClasses.h"

#include <msdasc.h>
#include <vantrel/Module.h>

namespace vantrel::services {

std::vector<VantrelClassRegistration> dataLinksClasses() {
    return {{CLSID_DataLinks,
             u"Vantrel.DataLinks.1",
             u"Vantrel.DataLinks",
             u"OLE DB Data Links",
             {},
             0,
             &createDataLinks,
             {},
             {}}};
}

} // namespace vantrel::services

VANTREL_RESIDENT_MODULE(vantrel::services::dataLinksClasses())

#include "ServiceClasses.h"

#include "DataInitialize.h"
#include "RootEnumerator.h"

#include <msdaguid.h>
#include <msdasc.h>
#include <oledb.h>

namespace vantrel::services {

std::vector<VantrelClassRegistration> serviceClasses() {
    return {
        {CLSID_OLEDB_ENUMERATOR,
         u"Vantrel.RootEnumerator.1",
         u"Vantrel.RootEnumerator",
         u"OLE DB Root Enumerator",
         {},
         DBSOURCETYPE_ENUMERATOR,
         &createRootEnumerator,
         {},
         {}},
        {CLSID_MSDAINITIALIZE,
         u"Vantrel.DataInitialize.1",
         u"Vantrel.DataInitialize",
         u"OLE DB Data Initialization Service",
         {},
         0,
         &createDataInitialize,
         {},
         {}},
    };
}

} // namespace vantrel::services

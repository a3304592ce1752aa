#include "ServiceClasses.h"

#include "DataInitialize.h"
#include "DataLinks.h"
#include "RootEnumerator.h"

#include <msdaguid.h>
#include <msdasc.h>
#include <oledb.h>
#include <vantrel/ClassRegistry.h>

namespace vantrel::services {

HRESULT registerServiceClasses() {
    const VantrelClassRegistration classes[] = {
        {CLSID_OLEDB_ENUMERATOR,
         u"Vantrel.RootEnumerator.1",
         u"Vantrel.RootEnumerator",
         u"OLE DB Root Enumerator",
         {},
         DBSOURCETYPE_ENUMERATOR,
         &createRootEnumerator},
        {CLSID_MSDAINITIALIZE,
         u"Vantrel.DataInitialize.1",
         u"Vantrel.DataInitialize",
         u"OLE DB Data Initialization Service",
         {},
         0,
         &createDataInitialize},
        {CLSID_DataLinks,
         u"Vantrel.DataLinks.1",
         u"Vantrel.DataLinks",
         u"OLE DB Data Links",
         {},
         0,
         &createDataLinks},
    };
    HRESULT first = S_OK;
    for (const VantrelClassRegistration& c : classes) {
        const HRESULT hr = VantrelRegisterClass(c);
        if (FAILED(hr) && SUCCEEDED(first))
            first = hr;
    }
    return first;
}

} // namespace vantrel::services

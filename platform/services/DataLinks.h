// The Data Links service (CLSID_DataLinks): IDBPromptInitialize, whose PromptDataSource shows
// the Data Link Properties dialog for a data source object of any registered provider.
#pragma once

#include <msdasc.h>

namespace vantrel::services {

// Class factory function for the class registry. Refuses aggregation.
HRESULT createDataLinks(IUnknown* outer, REFIID riid, void** ppv);

} // namespace vantrel::services

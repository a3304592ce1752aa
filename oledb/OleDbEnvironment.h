#pragma once
// The process-wide OLE DB objects owned by the OLE DB main window: the COM apartment of the
// user-interface thread, the COM task allocator and the names of the enumerated providers.

#include "oledb/OleDbApi.h"

#include <string>
#include <vector>

// The COM task allocator (one owned reference); null outside the environment.
extern IMalloc* taskAllocator;
// The source names found by enumerateProviders, in enumeration order; null outside the
// environment.
extern std::vector<std::string>* providerNames;

// Enters a single-threaded apartment (result not tested), takes the task allocator and creates
// an empty providerNames.
void setUpOleDbEnvironment();
// Frees providerNames, releases taskAllocator and leaves the apartment, in this order. Safe to
// call when the environment was never set up beyond the apartment.
void tearDownOleDbEnvironment();

// Frees memory that OLE DB handed over as column or parameter information: through
// taskAllocator, or CoTaskMemFree when there is none. Null is ignored.
void freeTaskMemory(void* memory);

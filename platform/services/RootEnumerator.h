// The OLE DB root enumerator (CLSID_OLEDB_ENUMERATOR): ISourcesRowset over every provider and
// enumerator in the class registry.
#pragma once

#include <oledb.h>

#include <string>
#include <vector>

namespace vantrel::services {

// One row of the sources rowset.
struct SourceRow {
    std::u16string name;        // SOURCES_NAME: the ProgID
    std::u16string parseName;   // SOURCES_PARSENAME
    std::u16string description; // SOURCES_DESCRIPTION
    DBTYPE type = 0;            // SOURCES_TYPE: a DBSOURCETYPE (stored as UI2)
    bool isParent = false;      // SOURCES_ISPARENT
    std::u16string clsid;       // SOURCES_CLSID, "{...}"
};

// The rows the registry gives now: every class with a source type except the root enumerator
// itself, in registration order.
std::vector<SourceRow> registeredSources();

// Builds the sources rowset over `rows` with the rowset properties asked for; what
// GetSourcesRowset answers.
HRESULT createSourcesRowset(const std::vector<SourceRow>& rows, IUnknown* outer, REFIID riid,
                            ULONG propertySetCount, DBPROPSET* propertySets, IUnknown** rowset);

// Class factory function for the class registry. Refuses aggregation.
HRESULT createRootEnumerator(IUnknown* outer, REFIID riid, void** ppv);

} // namespace vantrel::services

#pragma once
// TOLEDBCommunicator with its connection and browsing state readable, for tests that check
// what an operation left behind.

#include "oledb/OLEDBCommunicator.h"

class TCommunicatorProbe : public TOLEDBCommunicator {
public:
    using TOLEDBCommunicator::TOLEDBCommunicator;

    IDBInitialize* dataSourceObject() const { return dataSource; }
    IOpenRowset* sessionObject() const { return session; }
    std::int32_t chosenProviderIndex() const { return providerIndex; }
    IRowset* browseRowsetObject() const { return browseRowset; }
    IAccessor* browseAccessorObject() const { return browseAccessor; }
    DBCOUNTITEM heldRowCount() const { return blockRowCount; }
    std::int32_t heldBlockFirstRow() const { return blockFirstRow; }
    TTableIndex prepared() const { return preparedTable; }
    const std::string& currentOperationName() const { return operationName; }
    std::string cell(int column, int row) { return fetchCellData(column, row); }
};

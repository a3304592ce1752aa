// The capability probes: whether the benchmark tables may be created or dropped, and whether the
// data source is read-only. None of them is timed or logged.

#include "oledb/OLEDBCommunicator.h"

#include "oledb/ComPtr.h"

namespace {

// Tables are both created and dropped through the session's ITableDefinition; a provider
// without it answers the QueryInterface with a failure, which is the answer and not an error.
bool sessionHasTableDefinition(IOpenRowset* session) {
    TComPtr<ITableDefinition> tableDefinition;
    return session->QueryInterface(IID_ITableDefinition, tableDefinition.outVoid()) >= 0;
}

} // namespace

bool TOLEDBCommunicator::canCreateTables() {
    TCommunicator::canCreateTables();
    return sessionHasTableDefinition(session);
}

bool TOLEDBCommunicator::canDropTables() {
    TCommunicator::canDropTables();
    return sessionHasTableDefinition(session);
}

bool TOLEDBCommunicator::isReadOnly() {
    TCommunicator::isReadOnly();
    try {
        return getBoolProperty(dataSource, DBPROP_DATASOURCEREADONLY, DBPROPSET_DATASOURCEINFO) !=
               0;
    } catch (const EResultException&) {
        return false;
    }
}

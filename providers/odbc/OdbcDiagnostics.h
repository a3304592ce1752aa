// Diagnostic records of unixODBC and its drivers, as the kit's BackendError.
#pragma once

#include "kit/Backend.h"

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::odbc {

// One diagnostic record (SQLGetDiagRec): SQLSTATE, the driver's native code and its message.
struct DiagnosticRecord {
    std::string state; // five characters, "" when the driver gave none
    int nativeCode = 0;
    std::string message; // UTF-8
};

// Every diagnostic record of the last call on a handle, in the order the driver numbered them.
std::vector<DiagnosticRecord> diagnosticRecords(SQLSMALLINT handleType, SQLHANDLE handle);

// The kit's class for a SQLSTATE: the published ODBC states ("42S02" no table, "23000"
// integrity, "HYT00" time-out, "08001" cannot connect, ...) and the server states that
// PostgreSQL's driver passes through ("42P01", "25006", ...).
kit::ErrorClass classifySqlState(std::string_view state);

// The failure of a call: every record, one per line ("message [SQLSTATE 42S02, native 1146]"),
// classed by the first record whose state is not a warning. `what` names the call for a driver
// that left no record.
kit::BackendError failure(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what);

// One record as a line of an error object: "message [SQLSTATE 01000, native 0]".
std::string describeRecord(const DiagnosticRecord& record, std::string_view what);

// The records of a call that answered SQL_SUCCESS_WITH_INFO, kept as the running method's
// warnings (its error object) while it succeeds. String truncation (01004) is left out: the
// provider reads long values in pieces and asks for the rest itself.
void keepWarnings(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what);

// Throws failure(...) unless `rc` is SQL_SUCCESS or SQL_SUCCESS_WITH_INFO (the information is
// no failure: the call succeeded, its records are kept as warnings). SQL_NO_DATA counts as
// success too, for calls where the caller looks at it.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what);

inline bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

} // namespace vantrel::odbc

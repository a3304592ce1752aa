#include "OdbcDiagnostics.h"

#include "OdbcOpen.h"
#include "OdbcText.h"

#include "kit/Warnings.h"

#include <array>

namespace vantrel::odbc {

namespace {

// A driver that keeps answering records (or numbers them wrongly) cannot hold the caller.
constexpr SQLSMALLINT maxRecords = 64;

} // namespace

std::vector<DiagnosticRecord> diagnosticRecords(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagnosticRecord> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    for (SQLSMALLINT n = 1; n <= maxRecords; ++n) {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        WideText message(512, 0);
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, n, state.data(), &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message was longer than the buffer: ask again with room for all of it.
            message.assign(static_cast<std::size_t>(length) + 1, 0);
            rc = SQLGetDiagRecW(handleType, handle, n, state.data(), &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!succeeded(rc))
            break;
        DiagnosticRecord r;
        std::size_t stateLength = 0;
        while (stateLength < 5 && state[stateLength] != 0)
            ++stateLength;
        r.state = fromWide(state.data(), stateLength);
        r.nativeCode = static_cast<int>(native);
        r.message = fromWideBuffer(message.data(), message.size(),
                                   SQLLEN(length) * SQLLEN(sizeof(SQLWCHAR)));
        while (!r.message.empty() && (r.message.back() == '\n' || r.message.back() == ' '))
            r.message.pop_back();
        records.push_back(std::move(r));
    }
    return records;
}

kit::ErrorClass classifySqlState(std::string_view state) {
    if (state.size() != 5)
        return kit::ErrorClass::Other;
    const std::string_view cls = state.substr(0, 2);
    if (state == "42S02" || state == "42P01" || state == "3F000")
        return kit::ErrorClass::NoTable;
    if (state == "42S01" || state == "42P07")
        return kit::ErrorClass::DuplicateTable;
    if (state == "42501" || state == "25006" || state == "25000")
        return kit::ErrorClass::ReadOnly;
    if (state == "HYT00" || state == "HYT01" || state == "40001" || state == "40P01" ||
        state == "55P03" || state == "57014")
        return kit::ErrorClass::Timeout;
    if (state == "07006" || cls == "22")
        return kit::ErrorClass::TypeMismatch;
    if (cls == "42" || state == "37000")
        return kit::ErrorClass::Syntax;
    if (cls == "23")
        return kit::ErrorClass::Integrity;
    if (cls == "08" || cls == "28" || cls == "IM" || state == "3D000")
        return kit::ErrorClass::CantOpen;
    return kit::ErrorClass::Other;
}

namespace {

// SQLite's driver answers HY000 for every failure and puts SQLite's result code in the native
// code ("[SQLite]UNIQUE constraint failed ... (19)"); that code says what the state does not.
kit::ErrorClass classifyRecord(const DiagnosticRecord& r) {
    if (r.state == "HY000" && r.message.rfind("[SQLite]", 0) == 0) {
        switch (r.nativeCode & 0xff) {
        case 19: // SQLITE_CONSTRAINT
            return kit::ErrorClass::Integrity;
        case 5: // SQLITE_BUSY
        case 6: // SQLITE_LOCKED
            return kit::ErrorClass::Timeout;
        case 8: // SQLITE_READONLY
            return kit::ErrorClass::ReadOnly;
        case 20: // SQLITE_MISMATCH
            return kit::ErrorClass::TypeMismatch;
        case 1: // SQLITE_ERROR: the statement itself
            if (r.message.find("no such table") != std::string::npos)
                return kit::ErrorClass::NoTable;
            if (r.message.find("already exists") != std::string::npos)
                return kit::ErrorClass::DuplicateTable;
            return kit::ErrorClass::Syntax;
        default:
            break;
        }
    }
    return classifySqlState(r.state);
}

} // namespace

std::string describeRecord(const DiagnosticRecord& r, std::string_view what) {
    return (r.message.empty() ? std::string(what) + " selhalo" : r.message) + " [SQLSTATE " +
           (r.state.empty() ? std::string("?????") : r.state) + ", native " +
           std::to_string(r.nativeCode) + "]";
}

void keepWarnings(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what) {
    for (const DiagnosticRecord& r : diagnosticRecords(handleType, handle)) {
        // A value read in pieces is the provider's own doing, not the driver's news.
        if (r.state == "01004")
            continue;
        kit::postWarning(describeRecord(r, what), providerName());
    }
}

kit::BackendError failure(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what) {
    const std::vector<DiagnosticRecord> records = diagnosticRecords(handleType, handle);
    if (records.empty())
        return kit::BackendError(kit::ErrorClass::Other,
                                 std::string(what) + " selhalo a ovladač ODBC nic nesdělil");
    std::string message;
    kit::ErrorClass errorClass = kit::ErrorClass::Other;
    bool classed = false;
    for (const DiagnosticRecord& r : records) {
        if (!message.empty())
            message += '\n';
        message += describeRecord(r, what);
        if (!classed && r.state.rfind("01", 0) != 0) {
            errorClass = classifyRecord(r);
            classed = true;
        }
    }
    return kit::BackendError(errorClass, message, records.front().nativeCode);
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what) {
    if (rc == SQL_SUCCESS || rc == SQL_NO_DATA)
        return;
    if (rc == SQL_SUCCESS_WITH_INFO) {
        keepWarnings(handleType, handle, what);
        return;
    }
    if (rc == SQL_INVALID_HANDLE)
        throw kit::BackendError(kit::ErrorClass::Other,
                                std::string(what) + ": neplatný popisovač ODBC");
    throw failure(handleType, handle, what);
}

} // namespace vantrel::odbc

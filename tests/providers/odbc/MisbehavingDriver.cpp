// A test ODBC driver that forwards every call to the real SQLite ODBC driver and misbehaves in
// the ways a real driver cannot be made to on demand. Chosen per connection by the connection
// string keyword Misbehave:
//   Warnings        every call that succeeded answers SQL_SUCCESS_WITH_INFO with one extra
//                   diagnostic record (SQLSTATE 01000) in front of the driver's own
//   LongerThanSaid  result text columns are described (SQLDescribeCol, SQLColAttribute) as 3
//                   characters wide, whatever they hold
//   LengthOverstated SQLGetData reports 40 bytes more text than it delivered
// Handles are the real driver's own; the driver manager loads this library by path.
#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#ifndef REAL_SQLITE_ODBC_DRIVER
#error "REAL_SQLITE_ODBC_DRIVER names the driver this one forwards to"
#endif

namespace {

enum class Mode { None, Warnings, LongerThanSaid, LengthOverstated };

constexpr SQLLEN overstatedBy = 40;
constexpr SQLULEN saidWidth = 3;
const char* const warningText = "[Misbehaving] every call warns";

struct State {
    std::mutex mutex;
    std::map<SQLHANDLE, Mode> modes;   // connections and their statements
    std::map<SQLHANDLE, bool> pending; // the extra record waits on this handle
};
State& state() {
    static State* s = new State; // outlives every handle, whatever the order of unloading
    return *s;
}

void* real(const char* name) {
    static void* library = dlopen(REAL_SQLITE_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "misbehaving driver: %s\n", dlerror());
        std::abort();
    }
    void* f = dlsym(library, name);
    if (!f) {
        std::fprintf(stderr, "misbehaving driver: the real driver has no %s\n", name);
        std::abort();
    }
    return f;
}

#define REAL(name) reinterpret_cast<decltype(&::name)>(real(#name))

Mode modeOf(SQLHANDLE handle) {
    std::lock_guard lock(state().mutex);
    auto it = state().modes.find(handle);
    return it == state().modes.end() ? Mode::None : it->second;
}

// The start of a call on a handle: its earlier extra record is gone, as the driver's own are.
void starting(SQLHANDLE handle) {
    std::lock_guard lock(state().mutex);
    state().pending.erase(handle);
}

// The end of a call: a success becomes a success with information on a warning connection.
SQLRETURN finished(SQLHANDLE handle, SQLRETURN rc) {
    if (rc != SQL_SUCCESS || modeOf(handle) != Mode::Warnings)
        return rc;
    std::lock_guard lock(state().mutex);
    state().pending[handle] = true;
    return SQL_SUCCESS_WITH_INFO;
}

bool pendingOn(SQLHANDLE handle) {
    std::lock_guard lock(state().mutex);
    return state().pending.count(handle) != 0;
}

bool isText(SQLSMALLINT type) {
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR ||
           type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
}

Mode modeFromConnectionString(const SQLCHAR* text, SQLSMALLINT length) {
    std::string s = length == SQL_NTS ? std::string(reinterpret_cast<const char*>(text))
                                      : std::string(reinterpret_cast<const char*>(text), length);
    for (auto& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (s.find("misbehave=warnings") != std::string::npos)
        return Mode::Warnings;
    if (s.find("misbehave=longerthansaid") != std::string::npos)
        return Mode::LongerThanSaid;
    if (s.find("misbehave=lengthoverstated") != std::string::npos)
        return Mode::LengthOverstated;
    return Mode::None;
}

// Writes the extra record. Called by name inside this library only through this function:
// the driver manager exports the same SQL names, and a call by one of them would reach it.
SQLRETURN extraRecord(SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT max,
                      SQLSMALLINT* length) {
    if (state)
        std::memcpy(state, "01000", 6);
    if (native)
        *native = 7001;
    const SQLSMALLINT full = SQLSMALLINT(std::strlen(warningText));
    if (length)
        *length = full;
    if (message && max > 0) {
        const SQLSMALLINT copied = std::min<SQLSMALLINT>(full, SQLSMALLINT(max - 1));
        std::memcpy(message, warningText, std::size_t(copied));
        message[copied] = 0;
        if (copied < full)
            return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

} // namespace

// A call on a handle, forwarded, its answer passed through finished().
#define FORWARD(handle, call)                                                                      \
    do {                                                                                           \
        starting(handle);                                                                          \
        return finished(handle, call);                                                             \
    } while (0)

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    const SQLRETURN rc = REAL(SQLAllocHandle)(type, input, output);
    if (SQL_SUCCEEDED(rc) && type == SQL_HANDLE_STMT) {
        const Mode mode = modeOf(input);
        std::lock_guard lock(state().mutex);
        state().modes[*output] = mode;
    }
    return rc;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    {
        std::lock_guard lock(state().mutex);
        state().modes.erase(handle);
        state().pending.erase(handle);
    }
    return REAL(SQLFreeHandle)(type, handle);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER length) {
    return REAL(SQLSetEnvAttr)(env, attribute, value, length);
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER length, SQLINTEGER* outLength) {
    return REAL(SQLGetEnvAttr)(env, attribute, value, length, outLength);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT function, SQLUSMALLINT* supported) {
    return REAL(SQLGetFunctions)(dbc, function, supported);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT completion) {
    starting(dbc);
    const SQLRETURN rc =
        REAL(SQLDriverConnect)(dbc, window, in, inLength, out, outMax, outLength, completion);
    if (SQL_SUCCEEDED(rc)) {
        std::lock_guard lock(state().mutex);
        state().modes[dbc] = modeFromConnectionString(in, inLength);
    }
    return finished(dbc, rc);
}

SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                             SQLSMALLINT userLength, SQLCHAR* password,
                             SQLSMALLINT passwordLength) {
    return REAL(SQLConnect)(dbc, dsn, dsnLength, user, userLength, password, passwordLength);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
    starting(dbc);
    return REAL(SQLDisconnect)(dbc);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
                             SQLSMALLINT* length) {
    FORWARD(dbc, REAL(SQLGetInfo)(dbc, type, value, max, length));
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
    FORWARD(dbc, REAL(SQLSetConnectAttr)(dbc, attribute, value, length));
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER max, SQLINTEGER* length) {
    FORWARD(dbc, REAL(SQLGetConnectAttr)(dbc, attribute, value, max, length));
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    FORWARD(handle, REAL(SQLEndTran)(type, handle, completion));
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT s, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER length) {
    FORWARD(s, REAL(SQLSetStmtAttr)(s, attribute, value, length));
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT s, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER max,
                                 SQLINTEGER* length) {
    FORWARD(s, REAL(SQLGetStmtAttr)(s, attribute, value, max, length));
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT s, SQLCHAR* text, SQLINTEGER length) {
    FORWARD(s, REAL(SQLExecDirect)(s, text, length));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT s, SQLCHAR* text, SQLINTEGER length) {
    FORWARD(s, REAL(SQLPrepare)(s, text, length));
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT s) {
    FORWARD(s, REAL(SQLExecute)(s));
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT s, SQLSMALLINT* count) {
    FORWARD(s, REAL(SQLNumResultCols)(s, count));
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT s, SQLSMALLINT* count) {
    FORWARD(s, REAL(SQLNumParams)(s, count));
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT* type, SQLULEN* size,
                                   SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    FORWARD(s, REAL(SQLDescribeParam)(s, n, type, size, digits, nullable));
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT s, SQLUSMALLINT n, SQLCHAR* name, SQLSMALLINT max,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size,
                                 SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    starting(s);
    SQLSMALLINT realType = 0;
    const SQLRETURN rc =
        REAL(SQLDescribeCol)(s, n, name, max, nameLength, &realType, size, digits, nullable);
    if (type)
        *type = realType;
    if (SQL_SUCCEEDED(rc) && size && isText(realType) && modeOf(s) == Mode::LongerThanSaid)
        *size = saidWidth;
    return finished(s, rc);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT s, SQLUSMALLINT n, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT max, SQLSMALLINT* length, SQLLEN* number) {
    starting(s);
    const SQLRETURN rc = REAL(SQLColAttribute)(s, n, field, text, max, length, number);
    if (SQL_SUCCEEDED(rc) && number && modeOf(s) == Mode::LongerThanSaid &&
        (field == SQL_DESC_LENGTH || field == SQL_DESC_OCTET_LENGTH ||
         field == SQL_DESC_DISPLAY_SIZE || field == SQL_COLUMN_LENGTH)) {
        SQLLEN type = 0;
        REAL(SQLColAttribute)(s, n, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &type);
        if (isText(SQLSMALLINT(type)))
            *number = SQLLEN(saidWidth);
    }
    return finished(s, rc);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                                   SQLPOINTER value, SQLLEN max, SQLLEN* indicator) {
    FORWARD(s,
            REAL(SQLBindParameter)(s, n, io, cType, sqlType, size, digits, value, max, indicator));
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT cType, SQLPOINTER value,
                             SQLLEN max, SQLLEN* indicator) {
    FORWARD(s, REAL(SQLBindCol)(s, n, cType, value, max, indicator));
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT s) {
    FORWARD(s, REAL(SQLFetch)(s));
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT s, SQLSMALLINT orientation, SQLLEN offset) {
    FORWARD(s, REAL(SQLFetchScroll)(s, orientation, offset));
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT cType, SQLPOINTER value,
                             SQLLEN max, SQLLEN* indicator) {
    starting(s);
    const SQLRETURN rc = REAL(SQLGetData)(s, n, cType, value, max, indicator);
    const Mode mode = modeOf(s);
    const bool text = cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
    if (rc == SQL_SUCCESS && indicator && *indicator >= 0 && text && mode == Mode::LengthOverstated)
        *indicator += overstatedBy;
    return finished(s, rc);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT s, SQLLEN* count) {
    FORWARD(s, REAL(SQLRowCount)(s, count));
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT s) {
    FORWARD(s, REAL(SQLMoreResults)(s));
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT s, SQLUSMALLINT option) {
    FORWARD(s, REAL(SQLFreeStmt)(s, option));
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT s) {
    FORWARD(s, REAL(SQLCloseCursor)(s));
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT s) {
    return REAL(SQLCancel)(s);
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT s, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                             SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                             SQLSMALLINT tableLength, SQLCHAR* column, SQLSMALLINT columnLength) {
    FORWARD(s, REAL(SQLColumns)(s, catalog, catalogLength, schema, schemaLength, table, tableLength,
                                column, columnLength));
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT s, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                                 SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                                 SQLSMALLINT tableLength) {
    FORWARD(s, REAL(SQLPrimaryKeys)(s, catalog, catalogLength, schema, schemaLength, table,
                                    tableLength));
}

SQLRETURN SQL_API SQLTables(SQLHSTMT s, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                            SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                            SQLSMALLINT tableLength, SQLCHAR* type, SQLSMALLINT typeLength) {
    FORWARD(s, REAL(SQLTables)(s, catalog, catalogLength, schema, schemaLength, table, tableLength,
                               type, typeLength));
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT s, SQLSMALLINT type) {
    FORWARD(s, REAL(SQLGetTypeInfo)(s, type));
}

// Diagnostics: the extra record is number 1, the driver's own follow it.
SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT n, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT max,
                                SQLSMALLINT* length) {
    if (!pendingOn(handle))
        return REAL(SQLGetDiagRec)(type, handle, n, state, native, message, max, length);
    if (n > 1)
        return REAL(SQLGetDiagRec)(type, handle, SQLSMALLINT(n - 1), state, native, message, max,
                                   length);
    if (n < 1)
        return SQL_ERROR;
    return extraRecord(state, native, message, max, length);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT n,
                                  SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT max,
                                  SQLSMALLINT* length) {
    if (!pendingOn(handle))
        return REAL(SQLGetDiagField)(type, handle, n, field, info, max, length);
    if (n == 0) {
        const SQLRETURN rc = REAL(SQLGetDiagField)(type, handle, 0, field, info, max, length);
        if (field == SQL_DIAG_NUMBER && info) {
            if (!SQL_SUCCEEDED(rc))
                *static_cast<SQLINTEGER*>(info) = 0;
            *static_cast<SQLINTEGER*>(info) += 1;
            return SQL_SUCCESS;
        }
        if (field == SQL_DIAG_RETURNCODE && info)
            *static_cast<SQLRETURN*>(info) = SQL_SUCCESS_WITH_INFO;
        return rc;
    }
    if (n > 1)
        return REAL(SQLGetDiagField)(type, handle, SQLSMALLINT(n - 1), field, info, max, length);
    // The extra record's fields that a driver manager asks for besides SQLGetDiagRec's.
    if ((field == SQL_DIAG_ROW_NUMBER || field == SQL_DIAG_COLUMN_NUMBER) && info) {
        *static_cast<SQLLEN*>(info) = SQL_NO_ROW_NUMBER;
        return SQL_SUCCESS;
    }
    return SQL_NO_DATA;
}

// The older call hands out each record once, the extra one first.
SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT s, SQLCHAR* state, SQLINTEGER* native,
                           SQLCHAR* message, SQLSMALLINT max, SQLSMALLINT* length) {
    const SQLHANDLE handle = s != SQL_NULL_HSTMT ? s : dbc != SQL_NULL_HDBC ? dbc : env;
    if (!pendingOn(handle))
        return REAL(SQLError)(env, dbc, s, state, native, message, max, length);
    const SQLRETURN rc = extraRecord(state, native, message, max, length);
    starting(handle);
    return rc;
}

} // extern "C"

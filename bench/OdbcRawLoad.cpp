#include "OdbcRawLoad.h"

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <stdexcept>

namespace {

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT n = 1; n < 10; ++n) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(
                SQLGetDiagRec(type, handle, n, state, &native, message, sizeof message, &length)))
            break;
        out += std::string(reinterpret_cast<char*>(state)) + " " +
               reinterpret_cast<char*>(message) + "; ";
    }
    return out;
}

void ok(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (!SQL_SUCCEEDED(rc))
        throw std::runtime_error(std::string(what) + ": " + diagnostics(type, handle));
}

// One raw ODBC connection.
struct Raw {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    explicit Raw(const std::string& connection) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        std::string text = connection;
        const SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                             SQLSMALLINT(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            const std::string message = diagnostics(SQL_HANDLE_DBC, dbc);
            free();
            throw std::runtime_error("SQLDriverConnect: " + message);
        }
        connected = true;
    }
    ~Raw() { free(); }
    void free() {
        if (connected)
            SQLDisconnect(dbc);
        connected = false;
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        dbc = SQL_NULL_HDBC;
        env = SQL_NULL_HENV;
    }
    bool connected = false;
    void run(const std::string& sql) {
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
        std::string text = sql;
        const SQLRETURN rc =
            SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(text.data()), SQLINTEGER(text.size()));
        const std::string message =
            SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "" : diagnostics(SQL_HANDLE_STMT, s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        if (!message.empty())
            throw std::runtime_error(sql + ": " + message);
    }
};

void rawPass(Raw& c, const char* insert, int rows, int bidDivisor, int parameters) {
    ok(SQLSetConnectAttr(c.dbc, SQL_ATTR_TXN_ISOLATION,
                         reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0),
       SQL_HANDLE_DBC, c.dbc, "SQL_ATTR_TXN_ISOLATION");
    ok(SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
       SQL_HANDLE_DBC, c.dbc, "SQL_ATTR_AUTOCOMMIT");
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s);
    std::string text = insert;
    ok(SQLPrepare(s, reinterpret_cast<SQLCHAR*>(text.data()), SQLINTEGER(text.size())),
       SQL_HANDLE_STMT, s, "SQLPrepare");
    SQLINTEGER key = 0;
    SQLINTEGER bid = 0;
    SQLINTEGER balance = 0;
    char remark[] = "filler";
    SQLLEN remarkLength = 6;
    SQLUSMALLINT n = 1;
    ok(SQLBindParameter(s, n++, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &key, 0, nullptr),
       SQL_HANDLE_STMT, s, "SQLBindParameter");
    if (parameters == 4)
        ok(SQLBindParameter(s, n++, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &bid, 0,
                            nullptr),
           SQL_HANDLE_STMT, s, "SQLBindParameter");
    ok(SQLBindParameter(s, n++, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &balance, 0,
                        nullptr),
       SQL_HANDLE_STMT, s, "SQLBindParameter");
    ok(SQLBindParameter(s, n++, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 87, 0, remark, sizeof remark,
                        &remarkLength),
       SQL_HANDLE_STMT, s, "SQLBindParameter");
    for (int row = 0; row < rows; ++row) {
        key = row;
        bid = bidDivisor > 0 ? row / bidDivisor : 0;
        ok(SQLExecute(s), SQL_HANDLE_STMT, s, "SQLExecute");
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ok(SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT), SQL_HANDLE_DBC, c.dbc, "SQLEndTran");
    ok(SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
       SQL_HANDLE_DBC, c.dbc, "SQL_ATTR_AUTOCOMMIT");
}

} // namespace

bool rawOdbcRun(const std::string& connection, const std::string& sql, std::string& error) {
    try {
        Raw c(connection);
        c.run(sql);
        return true;
    } catch (const std::runtime_error& e) {
        error = e.what();
        return false;
    }
}

double rawOdbcLoad(const std::string& connection, std::string& error) {
    try {
        Raw c(connection);
        const auto start = std::chrono::steady_clock::now();
        rawPass(c, "INSERT INTO branches (Bid, Bbalance, Remark) VALUES (?, ?, ?)", 1, 0, 3);
        rawPass(c, "INSERT INTO tellers (Tid, Bid, Tbalance, Remark) VALUES (?, ?, ?, ?)", 10, 10,
                4);
        rawPass(c, "INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (?, ?, ?, ?)", 100000,
                100000, 4);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    } catch (const std::runtime_error& e) {
        error = e.what();
        return -1;
    }
}

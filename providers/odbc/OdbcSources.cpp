#include "OdbcDiagnostics.h"
#include "OdbcHandle.h"
#include "OdbcOpen.h"
#include "OdbcText.h"

#include <algorithm>

namespace vantrel::odbc {

namespace {

// Walks SQLDataSources or SQLDrivers; the first name of each entry.
template <typename Next> std::vector<std::string> listNames(Next next) {
    std::vector<std::string> names;
    SQLHANDLE env = SQL_NULL_HANDLE;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return names;
    Handle environment(SQL_HANDLE_ENV, env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (int guard = 0; guard < 4096; ++guard) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT length = 0;
        SQLWCHAR detail[1024] = {};
        SQLSMALLINT detailLength = 0;
        if (!succeeded(next(env, direction, name, SQLSMALLINT(std::size(name)), &length, detail,
                            SQLSMALLINT(std::size(detail)), &detailLength)))
            break;
        names.push_back(
            fromWide(name, std::min<std::size_t>(length < 0 ? 0 : length, std::size(name) - 1)));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

} // namespace

std::vector<std::string> odbcDataSourceNames() {
    return listNames(&SQLDataSourcesW);
}

std::vector<std::string> odbcDriverNames() {
    return listNames(&SQLDriversW);
}

} // namespace vantrel::odbc

#include "SqliteError.h"

#include <sqlite3.h>

#include <string>

namespace vantrel::sqlite {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

kit::ErrorClass classifySqliteError(int rc, std::string_view message, ErrorStage stage) {
    using kit::ErrorClass;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ErrorClass::Timeout;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ErrorClass::ReadOnly;
    case SQLITE_CONSTRAINT:
        return ErrorClass::Integrity;
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
        return ErrorClass::TypeMismatch;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return ErrorClass::CantOpen;
    case SQLITE_CORRUPT:
        return stage == ErrorStage::Open ? ErrorClass::CantOpen : ErrorClass::Other;
    case SQLITE_ERROR:
        if (startsWith(message, "no such table"))
            return ErrorClass::NoTable;
        if (startsWith(message, "table ") && message.find("already exists") != message.npos)
            return ErrorClass::DuplicateTable;
        if (stage == ErrorStage::Open)
            return ErrorClass::CantOpen;
        return stage == ErrorStage::Prepare ? ErrorClass::Syntax : ErrorClass::Other;
    default:
        return stage == ErrorStage::Open ? ErrorClass::CantOpen : ErrorClass::Other;
    }
}

void throwSqliteError(sqlite3* db, int rc, ErrorStage stage) {
    // The connection's message belongs to its last call; when that call was not the failing
    // one (or there is no connection) SQLite's text for the code still says what happened.
    std::string message = db != nullptr && (sqlite3_extended_errcode(db) & 0xff) == (rc & 0xff)
                              ? sqlite3_errmsg(db)
                              : sqlite3_errstr(rc);
    throw kit::BackendError(classifySqliteError(rc, message, stage), message, rc);
}

} // namespace vantrel::sqlite

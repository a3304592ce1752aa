// SQLite result codes as the kit's error classes, always with SQLite's own message.
#pragma once

#include "kit/Backend.h"

#include <string_view>

struct sqlite3;

namespace vantrel::sqlite {

// Where a failure happened: compiling a statement text is the consumer's syntax; running it
// is the data's or the database's business.
enum class ErrorStage { Open, Prepare, Run };

// The error class of result code rc with message text, at the given stage.
kit::ErrorClass classifySqliteError(int rc, std::string_view message, ErrorStage stage);

// Throws BackendError for rc with the connection's current message (or SQLite's generic text
// for rc when db is null). Contract: rc is a failure code, not SQLITE_OK/ROW/DONE.
[[noreturn]] void throwSqliteError(sqlite3* db, int rc, ErrorStage stage);

} // namespace vantrel::sqlite

#pragma once
// A look at the bench's database from outside the OLE DB stack: its own connection through the
// sqlite3 C API, read-only, opened and closed for each question.

#include <optional>
#include <string>

class TDatabaseProbe {
public:
    explicit TDatabaseProbe(std::string path) : path(std::move(path)) {}

    // Rows of the table, or nothing when the table (or the file) does not exist.
    std::optional<long long> rowCount(const std::string& table) const;
    // The first column of the first row the query yields, as text; nothing for no row.
    std::optional<std::string> firstValue(const std::string& query) const;
    // Whether a writer can take the database's exclusive lock at once, that is whether no other
    // connection holds a lock on it.
    bool canLockExclusively() const;

private:
    std::string path;
};

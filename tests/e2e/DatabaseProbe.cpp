#include "DatabaseProbe.h"

#include <sqlite3.h>

#include <memory>

namespace {

struct TCloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDatabase = std::unique_ptr<sqlite3, TCloseDatabase>;

struct TFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using TStatement = std::unique_ptr<sqlite3_stmt, TFinalize>;

TDatabase open(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    TDatabase owned(db);
    if (opened != SQLITE_OK) {
        owned.reset();
    }
    return owned;
}

} // namespace

std::optional<std::string> TDatabaseProbe::firstValue(const std::string& query) const {
    TDatabase db = open(path, SQLITE_OPEN_READONLY);
    if (!db) {
        return std::nullopt;
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), query.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        return std::nullopt;
    }
    TStatement statement(raw);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::optional<long long> TDatabaseProbe::rowCount(const std::string& table) const {
    const std::optional<std::string> count = firstValue("SELECT COUNT(*) FROM \"" + table + "\"");
    if (!count) {
        return std::nullopt;
    }
    return std::stoll(*count);
}

bool TDatabaseProbe::canLockExclusively() const {
    TDatabase db = open(path, SQLITE_OPEN_READWRITE);
    if (!db) {
        return false;
    }
    const bool locked =
        sqlite3_exec(db.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (locked) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return locked;
}

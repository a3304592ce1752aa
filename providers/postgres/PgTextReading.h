// What the text of a statement tells the backend before it is sent: its leading keyword,
// whether it is a query that may be read in batches, what proves its result short and where
// a row limit fits. A connection remembers the last few readings, so that statements which
// differ only in their numbers (the same lookup for another key) are not read again.
#pragma once

#include "PgSqlText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::postgres {

struct TextReading {
    std::string keyword;    // upper case; empty when there is none
    bool browsable = false; // SELECT, VALUES or TABLE: its rows may be read in batches
    // What the keyword says, worked out once per reading instead of once per statement.
    bool transactionControl = false; // ends or shapes a transaction: no statement savepoint
    bool insert = false;             // INSERT: its parameters are sized from the table
    bool copy = false;               // COPY: may stream data through the client
    std::size_t trailing = 0; // blanks and ';' at its end, which a query nested elsewhere drops
    ShortResult shortResult;  // of the query without its trailing part (browsable only)
    TextOutline outline;      // of that query, or of text that holds a ';'; else as is
    // Whether a key lookup is by the table's one-column primary key, as the connection's
    // catalog facts of generation `keyFactsGeneration` said (0: not found out yet).
    std::uint64_t keyFactsGeneration = 0;
    bool byPrimaryKey = false;
};

TextReading readText(std::string_view numberedSql);

class TextReadings {
public:
    // The reading of `numberedSql`: one remembered from a text that differs from it only in
    // numbers, or a new one (then remembered). Valid until the next call.
    TextReading& of(std::string_view numberedSql);

private:
    struct Entry {
        std::string text;
        TextReading reading;
    };
    std::vector<Entry> entries_;
    std::size_t next_ = 0; // the entry replaced next
    std::size_t last_ = 0; // the entry that matched last
    TextReading unkept_;
};

} // namespace vantrel::postgres

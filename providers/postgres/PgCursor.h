// A server-side cursor over one query, read in batches: a rowset over a large result holds one
// batch at a time instead of the whole result, and a jump moves the cursor on the server
// (MOVE ABSOLUTE) without sending the rows passed over.
//
// The cursor lives in the transaction that is open when it is declared; outside one, in a
// transaction the connection opens for its cursors and ends before any other request (see
// PgConnection::runCursorRequests). When that transaction has ended, the next fetch declares
// the cursor again and moves it to the row asked for, so the rows are read afresh.
#pragma once

#include "PgConnection.h"

#include <cstdint>
#include <string>

namespace vantrel::postgres {

class PgCursor {
public:
    explicit PgCursor(PgConnection& connection) : connection_(connection) {}
    ~PgCursor() { close(); }
    PgCursor(const PgCursor&) = delete;
    PgCursor& operator=(const PgCursor&) = delete;

    // Up to `rows` rows of `query` (with the parameters of `parameters`) from row `from`
    // (0-based), in one round trip. `query`'s first row is row `base` of the result the
    // caller numbers (a query that starts part-way through it); contract: from >= base. A
    // cursor open for another query or base is closed in the same round trip. Throws
    // BackendError; the cursor is closed then.
    Result fetch(const std::string& query, const Execution& parameters, std::uint64_t from,
                 int rows, std::uint64_t base = 0);
    // How many rows the server would pass over to reach row `from` of `query` (declared at
    // `base`): from the cursor's position when it is open for them, from base otherwise.
    std::uint64_t distance(const std::string& query, std::uint64_t from,
                           std::uint64_t base = 0) const;
    // Closes the cursor; never throws (also called on the way out of a failure).
    void close() noexcept;
    bool isOpen() const { return open_ && generation_ == connection_.cursorGeneration(); }
    // The query the cursor was declared for last, and the row number of its first row.
    const std::string& query() const { return query_; }
    std::uint64_t base() const { return base_; }

private:
    PgConnection& connection_;
    std::string name_;
    std::uint64_t generation_ = 0;
    bool open_ = false;
    std::uint64_t position_ = 0; // the row the next FETCH gives
    std::string query_;          // the query the cursor was declared for
    std::uint64_t base_ = 0;     // the row number of its first row
    bool serves(const std::string& query, std::uint64_t base) const {
        return isOpen() && base == base_ && query == query_;
    }
};

} // namespace vantrel::postgres

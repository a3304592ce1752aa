#include "PgCursor.h"

namespace vantrel::postgres {

std::uint64_t PgCursor::distance(const std::string& query, std::uint64_t from,
                                 std::uint64_t base) const {
    if (!serves(query, base))
        return from - base;
    return from >= position_ ? from - position_ : position_ - from;
}

Result PgCursor::fetch(const std::string& query, const Execution& parameters, std::uint64_t from,
                       int rows, std::uint64_t base) {
    const bool declare = !serves(query, base);
    const bool replace = declare && isOpen();
    std::string closeText, declareText, moveText;
    const std::string previous = replace ? name_ : std::string();
    std::vector<Execution> requests;
    if (replace) {
        closeText = "CLOSE " + name_;
        Execution e;
        e.sql = &closeText;
        requests.push_back(e);
    }
    if (declare) {
        // A fresh name each time: after a failure the old cursor may linger until its
        // transaction ends.
        name_ = connection_.nextCursorName();
        declareText = "DECLARE " + name_ + " SCROLL CURSOR FOR " + query;
        Execution e = parameters;
        e.preparedName = nullptr;
        e.sql = &declareText;
        requests.push_back(e);
    }
    if (declare ? from != base : from != position_) {
        moveText = "MOVE ABSOLUTE " + std::to_string(from - base) + " IN " + name_;
        Execution e;
        e.sql = &moveText;
        requests.push_back(e);
    }
    const std::string fetchText = "FETCH FORWARD " + std::to_string(rows) + " FROM " + name_;
    Execution e;
    e.sql = &fetchText;
    requests.push_back(e);

    open_ = false;
    try {
        std::vector<Result> results = connection_.runCursorRequests(requests, declare);
        if (replace)
            connection_.cursorClosedAlongside();
        open_ = true;
        generation_ = connection_.cursorGeneration();
        if (declare) {
            query_ = query;
            base_ = base;
        }
        Result batch = std::move(results.back());
        position_ = from + static_cast<std::uint64_t>(PQntuples(batch.get()));
        return batch;
    } catch (...) {
        // Where the cursor stands after a failed request is unknown: the next fetch starts
        // afresh with a new one.
        if (!declare || replace) {
            if (replace)
                name_ = previous;
            open_ = true;
            close();
        }
        throw;
    }
}

void PgCursor::close() noexcept {
    if (!open_)
        return;
    open_ = false;
    if (generation_ != connection_.cursorGeneration())
        return; // its transaction has ended, and the cursor with it
    connection_.closeCursor(name_);
}

} // namespace vantrel::postgres

#include "PgCursor.h"

namespace vantrel::postgres {

Result PgCursor::fetch(const std::string& query, const Execution& parameters, std::uint64_t from,
                       int rows) {
    const bool declare = !isOpen();
    std::string declareText, moveText;
    std::vector<Execution> requests;
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
    if (declare ? from != 0 : from != position_) {
        moveText = "MOVE ABSOLUTE " + std::to_string(from) + " IN " + name_;
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
        open_ = true;
        generation_ = connection_.cursorGeneration();
        Result batch = std::move(results.back());
        position_ = from + static_cast<std::uint64_t>(PQntuples(batch.get()));
        return batch;
    } catch (...) {
        // Where the cursor stands after a failed request is unknown: the next fetch starts
        // afresh with a new one.
        if (!declare) {
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

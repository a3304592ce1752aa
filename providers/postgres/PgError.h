// Failures of libpq and the server, as the kit's BackendError.
#pragma once

#include "kit/Backend.h"

#include <libpq-fe.h>

#include <string>
#include <string_view>

namespace vantrel::postgres {

// The kit's class for a SQLSTATE ("23505" -> Integrity, "42P01" -> NoTable, ...). An empty
// state (libpq's own failures, a lost connection) is Other.
kit::ErrorClass classifySqlState(std::string_view sqlState);

// The error of a failed result: the server's message, its detail, and the SQLSTATE, e.g.
// "duplicate key value violates unique constraint "tellers_pkey" (DETAIL: Key (tid)=(1)
// already exists.) [SQLSTATE 23505]". A null result or one without a message falls back to the
// connection's message.
kit::BackendError resultError(PGconn* connection, const PGresult* result);

// The connection's last message (trailing line breaks removed), for failures without a result.
std::string connectionMessage(PGconn* connection);

} // namespace vantrel::postgres

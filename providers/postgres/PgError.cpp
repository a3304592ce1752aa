#include "PgError.h"

namespace vantrel::postgres {

namespace {

std::string trimmed(const char* text) {
    std::string out = text != nullptr ? text : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace

kit::ErrorClass classifySqlState(std::string_view state) {
    if (state.size() != 5)
        return kit::ErrorClass::Other;
    const std::string_view cls = state.substr(0, 2);
    if (state == "42P01" || state == "3F000") // undefined table, undefined schema
        return kit::ErrorClass::NoTable;
    if (state == "42P07") // duplicate table
        return kit::ErrorClass::DuplicateTable;
    if (state == "42501" || state == "25006") // insufficient privilege, read-only transaction
        return kit::ErrorClass::ReadOnly;
    if (state == "42804") // datatype mismatch
        return kit::ErrorClass::TypeMismatch;
    if (state == "55P03" || state == "57014" || state == "40P01")
        // lock not available, statement or lock time-out, deadlock
        return kit::ErrorClass::Timeout;
    if (cls == "42") // syntax errors and access rule violations
        return kit::ErrorClass::Syntax;
    if (cls == "23") // integrity constraint violations
        return kit::ErrorClass::Integrity;
    if (cls == "22") // data exceptions: bad input syntax, out of range, too long
        return kit::ErrorClass::TypeMismatch;
    if (cls == "08" || cls == "28" || state == "3D000")
        // connection failures, invalid authorisation, no such database
        return kit::ErrorClass::CantOpen;
    return kit::ErrorClass::Other;
}

kit::BackendError resultError(PGconn* connection, const PGresult* result) {
    const char* primary =
        result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (primary == nullptr) {
        std::string message = result != nullptr ? trimmed(PQresultErrorMessage(result)) : "";
        if (message.empty())
            message = connectionMessage(connection);
        if (message.empty())
            message = "server PostgreSQL neodpověděl";
        return kit::BackendError(kit::ErrorClass::Other, message);
    }
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL);
    std::string message = trimmed(primary);
    if (detail != nullptr && *detail != '\0')
        message += " (DETAIL: " + trimmed(detail) + ")";
    if (state != nullptr && *state != '\0')
        message += std::string(" [SQLSTATE ") + state + "]";
    return kit::BackendError(classifySqlState(state != nullptr ? state : ""), message);
}

std::string connectionMessage(PGconn* connection) {
    return connection != nullptr ? trimmed(PQerrorMessage(connection)) : std::string();
}

} // namespace vantrel::postgres

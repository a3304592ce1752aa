// An owned ODBC handle, freed with SQLFreeHandle.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <utility>

namespace vantrel::odbc {

class Handle {
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept
        : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            type_ = other.type_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
    void reset() {
        if (handle_ != SQL_NULL_HANDLE)
            SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }

private:
    SQLSMALLINT type_ = SQL_HANDLE_STMT;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

} // namespace vantrel::odbc

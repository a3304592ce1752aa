// The consumer side of the conformance tests: one fixture that connects to each provider the
// way a consumer written from the reference does (an initialisation string through the data
// initialisation service), and the few routines the tests share.
#pragma once

#include <gtest/gtest.h>
#include <msdasc.h>
#include <objbase.h>
#include <oledb.h>
#include <oledberr.h>
#include <transact.h>

#include <string>
#include <utility>
#include <vector>

namespace conformance {

// One owned interface reference.
template <class T> class Ptr {
public:
    Ptr() = default;
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ptr& operator=(Ptr&& o) noexcept {
        reset();
        p_ = std::exchange(o.p_, nullptr);
        return *this;
    }
    ~Ptr() { reset(); }
    void reset() {
        if (p_ != nullptr)
            p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    IUnknown** outUnknown() { return reinterpret_cast<IUnknown**>(out()); }
    explicit operator bool() const { return p_ != nullptr; }
    template <class U> Ptr<U> query(REFIID iid) const {
        Ptr<U> other;
        if (p_ == nullptr || FAILED(p_->QueryInterface(iid, other.outVoid())))
            return Ptr<U>();
        return other;
    }

private:
    T* p_ = nullptr;
};

enum class Provider { SQLite, PostgreSQL, OdbcSQLite };
std::string nameOf(Provider provider);

// A test run once per provider, with a data source and a session of its own. The SQLite
// provider works on a file in a fresh temporary directory; the PostgreSQL provider in a fresh
// schema on the test server (skipped with VANTREL_SKIP_POSTGRES=1); the ODBC bridge on a file
// through the SQLite ODBC driver of the test-only unixODBC configuration (skipped with
// VANTREL_SKIP_ODBC=1).
class ProviderTest : public ::testing::TestWithParam<Provider> {
protected:
    void SetUp() override;
    void TearDown() override;

    // The initialisation string of this test's data source.
    std::string initString() const;
    // A data source from initString(), not yet initialised.
    Ptr<IDBInitialize> createDataSource() const;
    // A new command with the text set (not prepared).
    Ptr<ICommandText> command(const std::string& sql) const;
    // Runs sql on the session and returns Execute's answer.
    HRESULT execute(const std::string& sql) const;
    // The same, expecting success.
    void run(const std::string& sql) const;
    // The first column of the first row as text ("<null>", "<no row>", "<error>").
    std::string firstCell(const std::string& sql) const;
    // A rowset over sql, updatable when `changeable`.
    Ptr<IRowset> open(const std::string& sql, bool changeable = false) const;

    // The database speaks SQLite's SQL (the SQLite provider, or SQLite behind the ODBC bridge).
    bool isSQLite() const { return GetParam() != Provider::PostgreSQL; }

    Ptr<IDBInitialize> dataSource_;
    Ptr<IUnknown> session_;

private:
    std::string directory_;
    std::string schema_;
};

// A binding of one column or parameter into a Cell-per-binding buffer (value, length, status).
struct Cell {
    DBSTATUS status;
    DBLENGTH length;
    alignas(8) BYTE value[64];
};
DBBINDING cellBinding(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLength, std::size_t index,
                      DBPARAMIO io = DBPARAMIO_NOTPARAM);

// The description of the thread's error object, or "<none>".
std::string takeErrorDescription();

std::u16string u16(const std::string& utf8);

// Printed test names: "SQLite", "PostgreSQL", "OdbcSQLite".
struct ProviderName {
    std::string operator()(const ::testing::TestParamInfo<Provider>& info) const {
        return nameOf(info.param);
    }
};

} // namespace conformance

// What the SQLite provider's tests share: a COM apartment, a temporary directory, data sources
// made the way a consumer makes them (CoCreateInstance + IDBProperties), and a few consumer
// routines (run a statement, read a rowset's cells, read the thread's error object).
#pragma once

#include <gtest/gtest.h>
#include <msdaguid.h>
#include <objbase.h>
#include <oledb.h>
#include <oledberr.h>
#include <transact.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sqlitetest {

// One owned interface reference.
template <class T> class Ptr {
public:
    Ptr() = default;
    explicit Ptr(T* p) : p_(p) {}
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
    // Releases the reference and returns the count Release reported.
    ULONG release() { return std::exchange(p_, nullptr)->Release(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
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

std::u16string u16(const std::string& utf8);
std::string utf8(const OLECHAR* text);

// The provider's CLSID, from its ProgID.
CLSID providerClsid();

// An initialisation property to set before Initialize.
struct InitProperty {
    const GUID* set;
    DBPROPID id;
    VARIANT value; // owned by the list (cleared in its destructor)
};
class InitProperties {
public:
    ~InitProperties();
    InitProperties& text(DBPROPID id, const std::string& utf8);
    InitProperties& integer(DBPROPID id, LONG value);
    InitProperties& concurrency(const std::string& policy);
    std::vector<InitProperty>& items() { return items_; }

private:
    std::vector<InitProperty> items_;
};

// The kit's provider property set (concurrency policy), found through GetPropertyInfo.
GUID kitInitPropertySet();
constexpr DBPROPID kitPropConcurrency = 0x1001;

// A test with a COM apartment and a fresh temporary directory of its own, removed afterwards.
class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string pathOf(const std::string& name) const { return directory_ + "/" + name; }

    // A data source over `file` (in the temporary directory unless absolute), not yet
    // initialised, with the given properties set.
    Ptr<IDBInitialize> createDataSource(const std::string& file, InitProperties& extra);
    Ptr<IDBInitialize> createDataSource(const std::string& file) {
        InitProperties none;
        return createDataSource(file, none);
    }
    // An initialised data source and a session on it (fails the test if either fails).
    struct Connection {
        Ptr<IDBInitialize> dataSource;
        Ptr<IUnknown> session;
    };
    Connection connect(const std::string& file, InitProperties& extra);
    Connection connect(const std::string& file = "test.db") {
        InitProperties none;
        return connect(file, none);
    }

    std::string directory_;
};

// Runs sql on the session; returns Execute's HRESULT. rowsAffected receives the count when
// not null; rowset receives the result when asked for (iid IID_IRowset etc.).
HRESULT execute(IUnknown* session, const std::string& sql, DBROWCOUNT* rowsAffected = nullptr,
                REFIID iid = IID_NULL, IUnknown** rowset = nullptr);
// The same, expecting success (fails the test otherwise).
void run(IUnknown* session, const std::string& sql);
// A query's result set as text cells (NULL as "<null>"), read through a DBTYPE_WSTR
// accessor over all columns.
std::vector<std::vector<std::string>> query(IUnknown* session, const std::string& sql);
// The first column of every row as a BSTR the provider sizes itself: whole values however
// long, at their own length (SysStringLen, so NULs or stray characters would show); NULL as
// nothing.
std::vector<std::optional<std::u16string>> wholeTexts(IUnknown* session, const std::string& sql);
// A single-value query's value as 64-bit integer.
std::int64_t scalar(IUnknown* session, const std::string& sql);

// The thread's error object: description and source, or nothing when none is posted.
struct ErrorText {
    std::string description;
    std::string source;
};
std::optional<ErrorText> takeError();

// The interface's current reference count (AddRef + Release).
ULONG refCount(IUnknown* object);

} // namespace sqlitetest

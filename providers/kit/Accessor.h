// Accessors: validated bindings kept under handles, and the transfer of one row or parameter
// set between the kit's values and the consumer's buffer through them.
#pragma once

#include "Backend.h"

#include "KitCom.h"
#include "SmallVector.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace vantrel::kit {

// How a binding takes the value kind it is made for without the general conversion: chosen
// once per binding when the accessor is made, so that each row written only compares kinds.
enum class QuickWrite : unsigned char {
    None,
    Int8,  // DBTYPE_I8 from an integer
    Int4,  // DBTYPE_I4 from an integer that fits
    Real8, // DBTYPE_R8 from a real
};

struct Accessor {
    DBACCESSORFLAGS flags = 0;
    // pObject, pTypeInfo and pBindExt are not kept. A few bindings live in the accessor itself.
    SmallVector<DBBINDING, 4> bindings;
    // One per binding, or empty (every value converted in full).
    SmallVector<QuickWrite, 8> quick;
    DBLENGTH rowSize = 0;
    // What a rowset checks its columns against before every GetData.
    DBORDINAL highestOrdinal = 0;
    bool bindsBookmark = false;
};

// What an accessor is checked against at creation.
struct AccessorTarget {
    bool isRowset = false;     // rowsets take row accessors only
    bool columnsKnown = false; // ordinals can be checked now
    DBORDINAL columnCount = 0; // without the bookmark
    bool hasBookmark = false;  // ordinal 0 allowed
    std::vector<DBTYPE> types; // column types for conversion checks (index = ordinal)
    // A rowset's columns instead of `types` (ordinal n is columns[n - 1]; the bookmark is
    // `bookmarkType`), so that no type list is built per accessor.
    const ColumnInfo* columns = nullptr;
    DBTYPE bookmarkType = 0;
    // The immutable list `columns` points into, when the rowset has one: bindings checked
    // against it once are not checked again for the next rowset over the same list.
    const std::shared_ptr<const std::vector<ColumnInfo>>* columnList = nullptr;
};

// The last row accessor a command's rowsets made, with what it was checked against. A command
// executed again and again gives every rowset the same column list, and a consumer binds each
// the same way: the next identical request takes the checked accessor instead of checking and
// copying the bindings again.
class CheckedRowAccessor {
public:
    // The accessor made from exactly these bindings against this column list, or nullptr.
    std::shared_ptr<const Accessor> find(DBACCESSORFLAGS flags, DBCOUNTITEM count,
                                         const DBBINDING bindings[], DBLENGTH rowSize,
                                         const AccessorTarget& target);
    void remember(std::shared_ptr<const Accessor> accessor, const AccessorTarget& target);

private:
    // Taken without waiting: rowsets of one command used on two threads at once simply check
    // their bindings in full.
    std::atomic_flag busy_;
    std::shared_ptr<const Accessor> accessor_;
    std::shared_ptr<const std::vector<ColumnInfo>> columnList_; // kept, so never another's
    bool hasBookmark_ = false;
    DBTYPE bookmarkType_ = 0;
};

class AccessorTable {
public:
    HRESULT create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                   DBLENGTH rowSize, HACCESSOR* handle, DBBINDSTATUS statuses[],
                   const AccessorTarget& target);
    HRESULT addRef(HACCESSOR handle, DBREFCOUNT* refCount);
    HRESULT release(HACCESSOR handle, DBREFCOUNT* refCount);
    HRESULT getBindings(HACCESSOR handle, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                        DBBINDING** bindings) const;
    // nullptr when the handle is unknown.
    std::shared_ptr<const Accessor> find(HACCESSOR handle) const;
    // The same without taking a reference (an execution's per-row path): valid until the
    // handle is released.
    const Accessor* lookup(HACCESSOR handle) const;
    // Forgets every accessor (a command kept for reuse), keeping the room and the memory of
    // the last row accessor checked: the next statement likely binds its rows the same way.
    void clear() { entries_.clear(); }
    // The rowset inherits its command's accessors with their handles, and shares its memory
    // of the last row accessor checked.
    void inheritFrom(const AccessorTable& other);

private:
    struct Entry {
        HACCESSOR handle = DB_NULL_HACCESSOR;
        std::shared_ptr<const Accessor> accessor;
        DBREFCOUNT references = 0;
    };
    // A flat list of entries whose first few live in the table itself: a rowset usually holds
    // its command's accessor and one of its own, and is made for every statement.
    class Entries {
    public:
        Entry* begin() { return spilled_ ? heap_.data() : inline_; }
        Entry* end() { return begin() + size(); }
        const Entry* begin() const { return spilled_ ? heap_.data() : inline_; }
        const Entry* end() const { return begin() + size(); }
        std::size_t size() const { return spilled_ ? heap_.size() : count_; }
        bool empty() const { return size() == 0; }
        Entry& back() { return end()[-1]; }
        // Throws std::bad_alloc, leaving the list as it was.
        void push_back(Entry entry);
        void erase(Entry* at);
        // Forgets every entry; the room stays.
        void clear();

    private:
        static constexpr std::size_t inlineCount = 3;
        Entry inline_[inlineCount];
        std::size_t count_ = 0; // entries in inline_, while not spilled_
        bool spilled_ = false;  // all entries are in heap_
        std::vector<Entry> heap_;
    };
    // Sorted by handle. Handles only grow, so a new accessor goes at the end; an object holds
    // few accessors, so a flat list costs less than a tree node per accessor.
    Entries entries_;
    // Shared by a command and the rowsets that inherit from it; made on the first inheritance.
    mutable std::shared_ptr<CheckedRowAccessor> checked_;

    Entry* entry(HACCESSOR handle);
    const Entry* entry(HACCESSOR handle) const;
    void add(std::shared_ptr<const Accessor> accessor, HACCESSOR* handle);
    // inheritFrom for a table that already holds accessors of its own.
    void merge(const AccessorTable& other);
};

// IAccessor as a command and a rowset both answer it over their own table; a failure carries
// an error object naming `source`. Column checks at creation follow `target`.
HRESULT createAccessorCall(AccessorTable& table, DBACCESSORFLAGS flags, DBCOUNTITEM count,
                           const DBBINDING bindings[], DBLENGTH rowSize, HACCESSOR* handle,
                           DBBINDSTATUS statuses[], const AccessorTarget& target,
                           const char16_t* source);
HRESULT addRefAccessorCall(AccessorTable& table, HACCESSOR handle, DBREFCOUNT* refCount,
                           const char16_t* source);
HRESULT releaseAccessorCall(AccessorTable& table, HACCESSOR handle, DBREFCOUNT* refCount,
                            const char16_t* source);
HRESULT getBindingsCall(const AccessorTable& table, HACCESSOR handle, DBACCESSORFLAGS* flags,
                        DBCOUNTITEM* count, DBBINDING** bindings, const char16_t* source);

// Writes one value through a binding: its value, length and status parts. False when its
// status is an error (not OK, ISNULL or TRUNCATED); a NULL without a status part is one.
bool writeBinding(const DBBINDING& binding, void* data, const ValueView& value);

// The quick form of a binding (QuickWrite::None when it has none).
QuickWrite quickWriteOf(const DBBINDING& binding);

// Writes `value` through a binding whose quick form is `quick` when the value is of the kind
// that form takes; false leaves the buffer untouched, for writeBinding to do.
inline bool writeQuick(QuickWrite quick, const DBBINDING& b, void* data, const ValueView& value) {
    char* at = static_cast<char*>(data);
    DBLENGTH length;
    switch (quick) {
    case QuickWrite::Int8:
        if (value.kind != ValueKind::Int)
            return false;
        std::memcpy(at + b.obValue, &value.integer, sizeof(std::int64_t));
        length = sizeof(std::int64_t);
        break;
    case QuickWrite::Int4: {
        if (value.kind != ValueKind::Int ||
            value.integer != static_cast<std::int32_t>(value.integer))
            return false;
        const auto n = static_cast<std::int32_t>(value.integer);
        std::memcpy(at + b.obValue, &n, sizeof n);
        length = sizeof n;
        break;
    }
    case QuickWrite::Real8:
        if (value.kind != ValueKind::Real)
            return false;
        std::memcpy(at + b.obValue, &value.real, sizeof(double));
        length = sizeof(double);
        break;
    default:
        return false;
    }
    if (b.dwPart & DBPART_LENGTH)
        std::memcpy(at + b.obLength, &length, sizeof length);
    if (b.dwPart & DBPART_STATUS) {
        const DBSTATUS ok = DBSTATUS_S_OK;
        std::memcpy(at + b.obStatus, &ok, sizeof ok);
    }
    return true;
}

// Writes one row through an accessor. `valueAt(ordinal)` gives the value of a column
// (0 = bookmark). Returns S_OK when every status is OK, ISNULL or TRUNCATED (truncation is a
// warning the status carries), else DB_S_ERRORSOCCURRED or DB_E_ERRORSOCCURRED.
template <class ValueAt> HRESULT writeRow(const Accessor& accessor, void* data, ValueAt&& valueAt) {
    std::size_t errors = 0;
    const QuickWrite* quick =
        accessor.quick.size() == accessor.bindings.size() ? accessor.quick.data() : nullptr;
    for (const DBBINDING& b : accessor.bindings) {
        const ValueView value = valueAt(b.iOrdinal);
        if (quick && writeQuick(*quick++, b, data, value))
            continue;
        if (!writeBinding(b, data, value))
            ++errors;
    }
    // A truncated value is a warning its status carries; the call itself succeeded.
    if (errors == 0)
        return S_OK;
    return errors < accessor.bindings.size() ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

// One consumer value read through a binding. `value` may point into the consumer's buffer
// (text and bytes that need no conversion) or into `converted`, so it is valid while that
// buffer is unchanged and the BoundValue is not moved.
struct BoundValue {
    DBORDINAL ordinal = 0;
    enum class Use { Value, Default, Ignore } use = Use::Value;
    ValueView value;
    Value converted;
};

// Reads every binding of `accessor` from `data`. Returns S_OK, or DB_E_ERRORSOCCURRED with the
// failing bindings' status parts set (DBSTATUS_E_CANTCONVERTVALUE, DBSTATUS_E_BADSTATUS,
// DBSTATUS_E_UNAVAILABLE, DBSTATUS_E_DATAOVERFLOW). `values` is resized first and then filled,
// so its elements keep their conversion buffers from call to call.
HRESULT readRow(const Accessor& accessor, void* data, std::vector<BoundValue>& values);

// What readRow does for one binding: DBSTATUS_S_OK with `use` and `value` set (a null view
// for NULL, DEFAULT and IGNORE), or the failing status, also written to the status part.
// `value` may point into `data` or `storage`.
DBSTATUS readBinding(const DBBINDING& binding, void* data, BoundValue::Use& use, ValueView& value,
                     Value& storage);

} // namespace vantrel::kit

#include "Accessor.h"

#include "Convert.h"
#include "Errors.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <set>
#include <utility>

namespace vantrel::kit {
namespace {

constexpr DBACCESSORFLAGS knownFlags =
    DBACCESSOR_PASSBYREF | DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA | DBACCESSOR_OPTIMIZED;
constexpr DBPART knownParts = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;

DBBINDSTATUS checkBinding(const DBBINDING& b, DBACCESSORFLAGS flags, const AccessorTarget& target) {
    if ((b.dwPart & ~knownParts) || !(b.dwPart & knownParts))
        return DBBINDSTATUS_BADBINDINFO;
    if (b.wType & (DBTYPE_BYREF | DBTYPE_ARRAY | DBTYPE_VECTOR | DBTYPE_RESERVED))
        return DBBINDSTATUS_BADBINDINFO;
    if (b.dwMemOwner != DBMEMOWNER_CLIENTOWNED)
        return DBBINDSTATUS_BADBINDINFO;
    if (b.pObject)
        return DBBINDSTATUS_BADBINDINFO;
    if (b.wType == DBTYPE_EMPTY || b.wType == DBTYPE_NULL)
        return DBBINDSTATUS_BADBINDINFO;
    const TypeClass to = typeClassOf(b.wType);
    if (to == TypeClass::None)
        return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    if (flags & DBACCESSOR_PARAMETERDATA) {
        if (b.iOrdinal == 0)
            return DBBINDSTATUS_BADORDINAL;
        if (!(b.eParamIO & DBPARAMIO_INPUT) || (b.eParamIO & ~(DBPARAMIO_INPUT | DBPARAMIO_OUTPUT)))
            return DBBINDSTATUS_BADBINDINFO;
        return DBBINDSTATUS_OK;
    }
    if (target.columnsKnown) {
        if (b.iOrdinal > target.columnCount || (b.iOrdinal == 0 && !target.hasBookmark))
            return DBBINDSTATUS_BADORDINAL;
        if (target.columns) {
            DBTYPE from = b.iOrdinal ? target.columns[b.iOrdinal - 1].type : target.bookmarkType;
            if (!convertibleClasses(typeClassOf(from), to))
                return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
        } else if (b.iOrdinal < target.types.size() &&
                   !canConvert(target.types[b.iOrdinal], b.wType)) {
            return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
        }
    }
    return DBBINDSTATUS_OK;
}

// Handles are unique in the process, so a handle of another object, or one released here, is
// never taken for one of this table's.
HACCESSOR nextHandle() {
    static std::atomic<HACCESSOR> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

template <class T> void put(void* data, DBBYTEOFFSET offset, T value) {
    std::memcpy(static_cast<char*>(data) + offset, &value, sizeof value);
}

template <class T> T get(const void* data, DBBYTEOFFSET offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(data) + offset, sizeof value);
    return value;
}

} // namespace

AccessorTable::Entry* AccessorTable::entry(HACCESSOR handle) {
    return const_cast<Entry*>(std::as_const(*this).entry(handle));
}

const AccessorTable::Entry* AccessorTable::entry(HACCESSOR handle) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), handle,
                               [](const Entry& e, HACCESSOR h) { return e.handle < h; });
    return it != entries_.end() && it->handle == handle ? &*it : nullptr;
}

HRESULT AccessorTable::create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                              DBLENGTH rowSize, HACCESSOR* handle, DBBINDSTATUS statuses[],
                              const AccessorTarget& target) {
    if (!handle || (count && !bindings))
        return E_INVALIDARG;
    *handle = DB_NULL_HACCESSOR;
    if ((flags & ~knownFlags) || !(flags & (DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA)))
        return DB_E_BADACCESSORFLAGS;
    if (flags & DBACCESSOR_PASSBYREF)
        return DB_E_BYREFACCESSORNOTSUPPORTED;
    if (target.isRowset && (flags & DBACCESSOR_PARAMETERDATA))
        return DB_E_BADACCESSORFLAGS;
    if (count == 0)
        return DB_E_NULLACCESSORNOTSUPPORTED;

    try {
        if (checked_ && target.columnList) {
            if (auto same = checked_->find(flags, count, bindings, rowSize, target)) {
                if (statuses)
                    std::fill(statuses, statuses + count, DBBINDSTATUS_OK);
                add(std::move(same), handle);
                return S_OK;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    bool failed = false;
    std::set<DBORDINAL> parameterOrdinals;
    for (DBCOUNTITEM i = 0; i < count; ++i) {
        DBBINDSTATUS s = checkBinding(bindings[i], flags, target);
        if (s == DBBINDSTATUS_OK && (flags & DBACCESSOR_PARAMETERDATA) &&
            !parameterOrdinals.insert(bindings[i].iOrdinal).second)
            s = DBBINDSTATUS_BADBINDINFO; // one parameter bound twice
        if (statuses)
            statuses[i] = s;
        failed = failed || s != DBBINDSTATUS_OK;
    }
    if (failed)
        return DB_E_ERRORSOCCURRED;
    try {
        auto accessor = std::make_shared<Accessor>();
        accessor->flags = flags;
        accessor->rowSize = rowSize;
        accessor->bindings.assign(bindings, bindings + count);
        for (DBBINDING& b : accessor->bindings) {
            b.pTypeInfo = nullptr;
            b.pObject = nullptr;
            b.pBindExt = nullptr;
            accessor->highestOrdinal = std::max(accessor->highestOrdinal, b.iOrdinal);
            accessor->bindsBookmark = accessor->bindsBookmark || b.iOrdinal == 0;
        }
        if (flags & DBACCESSOR_ROWDATA)
            for (const DBBINDING& b : accessor->bindings)
                accessor->quick.push_back(quickWriteOf(b));
        if (checked_ && target.columnList)
            checked_->remember(accessor, target);
        add(std::move(accessor), handle);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

QuickWrite quickWriteOf(const DBBINDING& b) {
    if (!(b.dwPart & DBPART_VALUE))
        return QuickWrite::None;
    switch (b.wType) {
    case DBTYPE_I8:
        return QuickWrite::Int8;
    case DBTYPE_I4:
        return QuickWrite::Int4;
    case DBTYPE_R8:
        return QuickWrite::Real8;
    default:
        return QuickWrite::None;
    }
}

void AccessorTable::add(std::shared_ptr<const Accessor> accessor, HACCESSOR* handle) {
    entries_.push_back(Entry{nextHandle(), std::move(accessor), 1});
    *handle = entries_.back().handle;
}

void AccessorTable::Entries::push_back(Entry entry) {
    if (!spilled_ && count_ < inlineCount) {
        inline_[count_++] = std::move(entry);
        return;
    }
    if (!spilled_) {
        heap_.reserve(2 * inlineCount);
        for (std::size_t i = 0; i < count_; ++i)
            heap_.push_back(std::move(inline_[i]));
        count_ = 0;
        spilled_ = true;
    }
    heap_.push_back(std::move(entry));
}

void AccessorTable::Entries::erase(Entry* at) {
    if (spilled_) {
        heap_.erase(heap_.begin() + (at - heap_.data()));
        return;
    }
    std::move(at + 1, inline_ + count_, at);
    inline_[--count_] = Entry{};
}

void AccessorTable::Entries::clear() {
    for (std::size_t i = 0; i < count_; ++i)
        inline_[i] = Entry{};
    count_ = 0;
    heap_.clear();
    spilled_ = false;
}

std::shared_ptr<const Accessor> CheckedRowAccessor::find(DBACCESSORFLAGS flags, DBCOUNTITEM count,
                                                         const DBBINDING bindings[],
                                                         DBLENGTH rowSize,
                                                         const AccessorTarget& target) {
    if (busy_.test_and_set(std::memory_order_acquire))
        return nullptr;
    std::shared_ptr<const Accessor> found;
    const Accessor* a = accessor_.get();
    // Byte equality, so the ignored pointers must be null as they are in the kept copy; any
    // difference (padding included) only means a full check.
    if (a && columnList_ == *target.columnList && hasBookmark_ == target.hasBookmark &&
        bookmarkType_ == target.bookmarkType && a->flags == flags && a->rowSize == rowSize &&
        a->bindings.size() == count &&
        std::memcmp(a->bindings.data(), bindings, count * sizeof(DBBINDING)) == 0)
        found = accessor_;
    busy_.clear(std::memory_order_release);
    return found;
}

void CheckedRowAccessor::remember(std::shared_ptr<const Accessor> accessor,
                                  const AccessorTarget& target) {
    if (busy_.test_and_set(std::memory_order_acquire))
        return;
    accessor_ = std::move(accessor);
    columnList_ = *target.columnList;
    hasBookmark_ = target.hasBookmark;
    bookmarkType_ = target.bookmarkType;
    busy_.clear(std::memory_order_release);
}

HRESULT AccessorTable::addRef(HACCESSOR handle, DBREFCOUNT* refCount) {
    Entry* e = entry(handle);
    if (!e)
        return DB_E_BADACCESSORHANDLE;
    ++e->references;
    if (refCount)
        *refCount = e->references;
    return S_OK;
}

HRESULT AccessorTable::release(HACCESSOR handle, DBREFCOUNT* refCount) {
    Entry* e = entry(handle);
    if (!e)
        return DB_E_BADACCESSORHANDLE;
    DBREFCOUNT left = --e->references;
    if (left == 0)
        entries_.erase(e);
    if (refCount)
        *refCount = left;
    return S_OK;
}

HRESULT AccessorTable::getBindings(HACCESSOR handle, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                                   DBBINDING** bindings) const {
    if (flags)
        *flags = DBACCESSOR_INVALID;
    if (count)
        *count = 0;
    if (bindings)
        *bindings = nullptr;
    if (!flags || !count || !bindings)
        return E_INVALIDARG;
    const Entry* e = entry(handle);
    if (!e)
        return DB_E_BADACCESSORHANDLE;
    const Accessor& a = *e->accessor;
    auto* out = static_cast<DBBINDING*>(CoTaskMemAlloc(a.bindings.size() * sizeof(DBBINDING)));
    if (!out)
        return E_OUTOFMEMORY;
    std::memcpy(out, a.bindings.data(), a.bindings.size() * sizeof(DBBINDING));
    *flags = a.flags;
    *count = a.bindings.size();
    *bindings = out;
    return S_OK;
}

std::shared_ptr<const Accessor> AccessorTable::find(HACCESSOR handle) const {
    const Entry* e = entry(handle);
    return e ? e->accessor : nullptr;
}

const Accessor* AccessorTable::lookup(HACCESSOR handle) const {
    const Entry* e = entry(handle);
    return e ? e->accessor.get() : nullptr;
}

void AccessorTable::inheritFrom(const AccessorTable& other) {
    // Each inherited handle starts with one reference of this table's own; the merged list
    // stays sorted by handle, the inherited entry replacing one of this table's own handle.
    if (entries_.empty()) {
        for (const Entry& e : other.entries_)
            entries_.push_back(Entry{e.handle, e.accessor, 1});
    } else {
        merge(other);
    }
    if (!other.checked_)
        other.checked_ = std::make_shared<CheckedRowAccessor>();
    checked_ = other.checked_;
}

void AccessorTable::merge(const AccessorTable& other) {
    Entries merged;
    const Entry* mine = entries_.begin();
    for (const Entry& e : other.entries_) {
        while (mine != entries_.end() && mine->handle < e.handle)
            merged.push_back(*mine++);
        if (mine != entries_.end() && mine->handle == e.handle)
            ++mine;
        merged.push_back(Entry{e.handle, e.accessor, 1});
    }
    for (; mine != entries_.end(); ++mine)
        merged.push_back(*mine);
    entries_.clear();
    for (Entry& e : merged)
        entries_.push_back(std::move(e));
}

namespace {

// A binding without a value part: the value is converted into scratch room to learn its
// length and status.
[[gnu::noinline]] DBSTATUS probeValue(const DBBINDING& b, const ValueView& v, DBLENGTH& length) {
    alignas(16) unsigned char scratch[sizeof(VARIANT) + sizeof(DBTIMESTAMP)];
    DBSTATUS status = writeValue(v, b.wType, scratch, 0, length);
    if (b.wType == DBTYPE_BSTR && status == DBSTATUS_S_OK) {
        BSTR s;
        std::memcpy(&s, scratch, sizeof s);
        length = SysStringByteLen(s);
        SysFreeString(s);
    } else if (b.wType == DBTYPE_VARIANT) {
        VARIANT var;
        std::memcpy(&var, scratch, sizeof var);
        VariantClear(&var);
    }
    return status == DBSTATUS_S_TRUNCATED ? static_cast<DBSTATUS>(DBSTATUS_S_OK) : status;
}

} // namespace

[[gnu::hot]] bool writeBinding(const DBBINDING& b, void* data, const ValueView& v) {
    DBLENGTH length = 0;
    DBSTATUS status;
    if (b.dwPart & DBPART_VALUE) [[likely]]
        status = writeValue(v, b.wType, static_cast<char*>(data) + b.obValue, b.cbMaxLen, length);
    else
        status = probeValue(b, v, length);
    if (status == DBSTATUS_S_ISNULL && !(b.dwPart & DBPART_STATUS))
        status = DBSTATUS_E_UNAVAILABLE;
    bool isError =
        status != DBSTATUS_S_OK && status != DBSTATUS_S_ISNULL && status != DBSTATUS_S_TRUNCATED;
    if (b.dwPart & DBPART_LENGTH)
        put<DBLENGTH>(data, b.obLength, isError ? 0 : length);
    if (b.dwPart & DBPART_STATUS)
        put<DBSTATUS>(data, b.obStatus, status);
    return !isError;
}

// Hot: runs for every parameter of a load (see Command::Execute).
[[gnu::hot]] DBSTATUS readBinding(const DBBINDING& b, void* data, BoundValue::Use& use,
                                  ValueView& value, Value& storage) {
    use = BoundValue::Use::Value;
    DBSTATUS status = DBSTATUS_S_OK;
    if (b.dwPart & DBPART_STATUS)
        status = get<DBSTATUS>(data, b.obStatus);
    DBSTATUS result = DBSTATUS_S_OK;
    if (status == DBSTATUS_S_OK && (b.dwPart & DBPART_VALUE)) {
        DBLENGTH length = 0;
        if (b.dwPart & DBPART_LENGTH)
            length = get<DBLENGTH>(data, b.obLength);
        result =
            readValue(b.wType, static_cast<char*>(data) + b.obValue,
                      (b.dwPart & DBPART_LENGTH) ? &length : nullptr, b.cbMaxLen, value, storage);
    } else {
        value = ValueView::null();
        switch (status) {
        case DBSTATUS_S_OK: // no value part
            result = DBSTATUS_E_UNAVAILABLE;
            break;
        case DBSTATUS_S_ISNULL:
            break;
        case DBSTATUS_S_DEFAULT:
            use = BoundValue::Use::Default;
            break;
        case DBSTATUS_S_IGNORE:
            use = BoundValue::Use::Ignore;
            break;
        default:
            result = DBSTATUS_E_BADSTATUS;
            break;
        }
    }
    if (result != DBSTATUS_S_OK && (b.dwPart & DBPART_STATUS))
        put<DBSTATUS>(data, b.obStatus, result);
    return result;
}

HRESULT readRow(const Accessor& accessor, void* data, std::vector<BoundValue>& values) {
    values.resize(accessor.bindings.size());
    bool failed = false;
    for (std::size_t i = 0; i < accessor.bindings.size(); ++i) {
        const DBBINDING& b = accessor.bindings[i];
        BoundValue& bound = values[i];
        bound.ordinal = b.iOrdinal;
        if (readBinding(b, data, bound.use, bound.value, bound.converted) != DBSTATUS_S_OK)
            failed = true;
    }
    return failed ? DB_E_ERRORSOCCURRED : S_OK;
}

HRESULT createAccessorCall(AccessorTable& table, DBACCESSORFLAGS flags, DBCOUNTITEM count,
                           const DBBINDING bindings[], DBLENGTH rowSize, HACCESSOR* handle,
                           DBBINDSTATUS statuses[], const AccessorTarget& target,
                           const char16_t* source) {
    clearError();
    HRESULT hr = table.create(flags, count, bindings, rowSize, handle, statuses, target);
    if (FAILED(hr) && hr != E_INVALIDARG)
        return postError(hr, std::string_view("Z těchto vazeb nelze přístupový objekt vytvořit."),
                         source, IID_IAccessor);
    return hr;
}

HRESULT addRefAccessorCall(AccessorTable& table, HACCESSOR handle, DBREFCOUNT* refCount,
                           const char16_t* source) {
    HRESULT hr = table.addRef(handle, refCount);
    return FAILED(hr)
               ? postError(hr, std::string_view("Popisovač přístupového objektu není platný."),
                           source, IID_IAccessor)
               : hr;
}

HRESULT releaseAccessorCall(AccessorTable& table, HACCESSOR handle, DBREFCOUNT* refCount,
                            const char16_t* source) {
    HRESULT hr = table.release(handle, refCount);
    return FAILED(hr)
               ? postError(hr, std::string_view("Popisovač přístupového objektu není platný."),
                           source, IID_IAccessor)
               : hr;
}

HRESULT getBindingsCall(const AccessorTable& table, HACCESSOR handle, DBACCESSORFLAGS* flags,
                        DBCOUNTITEM* count, DBBINDING** bindings, const char16_t* source) {
    HRESULT hr = table.getBindings(handle, flags, count, bindings);
    return hr == DB_E_BADACCESSORHANDLE
               ? postError(hr, std::string_view("Popisovač přístupového objektu není platný."),
                           source, IID_IAccessor)
               : hr;
}

} // namespace vantrel::kit

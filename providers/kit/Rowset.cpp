#include "Rowset.h"

#include "ColumnsInfo.h"
#include "Convert.h"
#include "Errors.h"

#include <atomic>
#include <cstring>

namespace vantrel::kit {
namespace {

constexpr std::size_t bookmarkSize = sizeof(std::uint32_t);

// A windowed rowset keeps at most about this many rows besides the ones the consumer holds.
constexpr std::size_t windowRows = 1024;
// Moving back, the window starts this many rows before the end of the rows asked for, so that
// paging backwards moves it once every few pages.
constexpr std::size_t backwardReach = 200;
// Forward gaps up to this many rows are stepped over; longer ones are left to the statement's
// seek, which passes over rows inside the database.
constexpr std::size_t stepOverLimit = 256;

HRESULT statusResult(DBCOUNTITEM good, DBCOUNTITEM total) {
    if (good == total)
        return S_OK;
    return good ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

bool sameValue(const ValueView& a, const ValueView& b) {
    if (a.kind == ValueKind::Int && b.kind == ValueKind::Real)
        return static_cast<double>(a.integer) == b.real;
    if (a.kind == ValueKind::Real && b.kind == ValueKind::Int)
        return a.real == static_cast<double>(b.integer);
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case ValueKind::Null:
        return true;
    case ValueKind::Int:
        return a.integer == b.integer;
    case ValueKind::Real:
        return a.real == b.real;
    case ValueKind::Timestamp:
        return a.timestamp == b.timestamp;
    case ValueKind::Text:
    case ValueKind::Blob:
        return a.bytes == b.bytes;
    }
    return false;
}

// The memory of the last rowset destroyed, freed when the module is unloaded. Not kept under
// AddressSanitizer, which would then miss a use of a destroyed rowset.
class SpareRowset {
public:
    ~SpareRowset() { ::operator delete(memory_.exchange(nullptr)); }
    void* take() { return memory_.exchange(nullptr, std::memory_order_acquire); }
    bool keep(void* memory) {
        void* none = nullptr;
        return memory_.compare_exchange_strong(none, memory, std::memory_order_release,
                                               std::memory_order_relaxed);
    }

private:
    std::atomic<void*> memory_{nullptr};
};
#if !defined(__SANITIZE_ADDRESS__)
SpareRowset spareRowset;
#endif

} // namespace

void* Rowset::operator new(std::size_t size) {
#if !defined(__SANITIZE_ADDRESS__)
    if (void* memory = spareRowset.take())
        return memory;
#endif
    return ::operator new(size);
}

void Rowset::operator delete(void* memory, std::size_t size) {
#if !defined(__SANITIZE_ADDRESS__)
    if (spareRowset.keep(memory))
        return;
#endif
    ::operator delete(memory, size);
}

PropertyStore effectiveRowsetProperties(const PropertyStore& requested) {
    PropertyStore p = requested;
    if (p.value(DBPROPSET_ROWSET, DBPROP_IRowsetLocate).boolean())
        p.assign(DBPROPSET_ROWSET, DBPROP_BOOKMARKS, PropertyValue::ofBool(true));
    LONG up = p.value(DBPROPSET_ROWSET, DBPROP_UPDATABILITY).integer;
    if (p.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean() && up == 0)
        p.assign(
            DBPROPSET_ROWSET, DBPROP_UPDATABILITY,
            PropertyValue::ofInt(DBPROPVAL_UP_CHANGE | DBPROPVAL_UP_DELETE | DBPROPVAL_UP_INSERT));
    else if (up != 0)
        p.assign(DBPROPSET_ROWSET, DBPROP_IRowsetChange, PropertyValue::ofBool(true));
    return p;
}

bool wantsChanges(const PropertyStore& requested) {
    return requested.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean() ||
           requested.value(DBPROPSET_ROWSET, DBPROP_UPDATABILITY).integer != 0;
}

RowsetProperties::RowsetProperties(PropertyStore effective) : store(std::move(effective)) {
    bookmarks = store.value(DBPROPSET_ROWSET, DBPROP_BOOKMARKS).boolean();
    locate = store.value(DBPROPSET_ROWSET, DBPROP_IRowsetLocate).boolean();
    fetchBackwards = store.value(DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS).boolean();
    scrollBackwards = store.value(DBPROPSET_ROWSET, DBPROP_CANSCROLLBACKWARDS).boolean();
    change = store.value(DBPROPSET_ROWSET, DBPROP_IRowsetChange).boolean();
    wantsChanges = kit::wantsChanges(store);
    updatability = store.value(DBPROPSET_ROWSET, DBPROP_UPDATABILITY).integer;
    const LONG rows = store.value(DBPROPSET_ROWSET, DBPROP_MAXROWS).integer;
    maxRows = rows > 0 ? static_cast<std::size_t>(rows) : 0;
}

[[gnu::hot]] Rowset::Rowset(RowsetSetup setup)
    : statement_(std::move(setup.statement)), columnList_(statement_->columnSnapshot()),
      columns_(*columnList_), cache_(columns_.size(), statement_->hasRowIdentity()),
      source_(setup.source), creator_(setup.creator), hostObject_(setup.hostObject),
      host_(setup.host), properties_(std::move(setup.properties)) {
    if (setup.inheritedAccessors)
        accessors_.inheritFrom(*setup.inheritedAccessors);
    const RowsetProperties& p = *properties_;
    bookmarks_ = p.bookmarks;
    locate_ = p.locate;
    fetchBackwards_ = p.fetchBackwards;
    scrollBackwards_ = p.scrollBackwards;
    changeable_ = host_ && p.change && statement_->hasRowIdentity();
    updatability_ = p.updatability;
    maxRows_ = p.maxRows;
    if (changeable_)
        baseTable_ = statement_->baseTable();
    windowed_ = !changeable_ && statement_->canSeek();
    if (setup.firstRowReady) {
        cache_.append(*statement_);
    } else {
        exhausted_ = true;
        rowCount_ = 0;
        statement_->reset();
    }
}

[[gnu::hot]] Rowset::~Rowset() {
    // Only changes through IRowsetChange take locks.
    if (host_ && changeable_)
        host_->unlockAll(this);
    if (!exhausted_)
        statement_->reset();
    // The statement goes before the session reference does: the session keeps the data source
    // and with it the connection the statement belongs to.
    statement_.reset();
}

[[gnu::hot]] void* Rowset::findInterface(REFIID riid) {
    if (riid == IID_IRowset)
        return static_cast<IRowset*>(this);
    if (riid == IID_IRowsetLocate)
        return locate_ ? static_cast<IRowsetLocate*>(this) : nullptr;
    if (riid == IID_IAccessor)
        return static_cast<IAccessor*>(this);
    if (riid == IID_IColumnsInfo)
        return static_cast<IColumnsInfo*>(this);
    if (riid == IID_IRowsetInfo)
        return static_cast<IRowsetInfo*>(this);
    if (riid == IID_IConvertType)
        return static_cast<IConvertType*>(this);
    if (riid == IID_IRowsetChange)
        return changeable_ ? static_cast<IRowsetChange*>(this) : nullptr;
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT Rowset::fail(HRESULT hr, const char* description, REFIID iid) {
    return postError(hr, std::string_view(description), source_, iid);
}

[[gnu::hot]] void Rowset::endOfResult() {
    exhausted_ = true;
    rowCount_ = cache_.end();
    statement_->reset(); // releases the statement's hold on the database
}

void Rowset::pinHeldRows() {
    for (const HeldRows::Entry& held : held_) {
        const std::size_t row = held.row;
        if (!cache_.contains(row) || pinned_.count(row))
            continue;
        std::vector<Value>& values = pinned_[row];
        for (std::size_t c = 0; c < columns_.size(); ++c)
            values.emplace_back(cache_.value(row, c));
    }
}

void Rowset::moveWindow(std::size_t first, std::size_t end) {
    std::size_t target = first;
    if (first < cache_.first())
        target = std::min(first, end > backwardReach ? end - backwardReach : 0);
    pinHeldRows();
    // `at`: the row the statement's next step gives.
    std::size_t at = cache_.end();
    if (exhausted_ || target < at || target - at > stepOverLimit) {
        exhausted_ = false;
        if (statement_->seek(target)) {
            at = target;
        } else {
            statement_->reset();
            at = 0;
        }
    }
    for (; at < target && !(maxRows_ && at >= maxRows_); ++at) {
        if (!statement_->step())
            break;
    }
    cache_.restartAt(at);
    if (at < target)
        endOfResult();
}

[[gnu::hot]] bool Rowset::ensureRange(std::size_t first, std::size_t end, HRESULT& hr) {
    hr = S_OK;
    if (rowCount_)
        end = std::min(end, *rowCount_);
    if (first >= end)
        return true;
    try {
        const bool fits = first >= cache_.first() &&
                          (first < cache_.end() ||
                           (first == cache_.end() && cache_.count() + (end - first) <= windowRows));
        if (windowed_ && !fits)
            moveWindow(first, end);
        while (cache_.end() < end && !exhausted_) {
            if (maxRows_ && cache_.end() >= maxRows_)
                endOfResult();
            else if (statement_->step())
                cache_.append(*statement_);
            else
                endOfResult();
        }
    } catch (...) {
        exhausted_ = true;
        try {
            statement_->reset();
        } catch (...) {
        }
        hr = postCurrentException(source_, IID_IRowset);
        return false;
    }
    reached_ = std::max(reached_, cache_.end());
    return true;
}

bool Rowset::ensureAll(HRESULT& hr) {
    if (!windowed_)
        return ensureRange(cache_.end(), static_cast<std::size_t>(-1), hr);
    // A windowed rowset only needs to know where the result ends: the rows are passed over.
    hr = S_OK;
    if (rowCount_)
        return true;
    try {
        pinHeldRows();
        std::size_t at = cache_.end();
        while (!exhausted_ && !(maxRows_ && at >= maxRows_) && statement_->step())
            ++at;
        cache_.restartAt(at);
        endOfResult();
    } catch (...) {
        exhausted_ = true;
        try {
            statement_->reset();
        } catch (...) {
        }
        hr = postCurrentException(source_, IID_IRowset);
        return false;
    }
    reached_ = std::max(reached_, cache_.end());
    return true;
}

std::size_t Rowset::knownRows() const {
    return windowed_ ? std::max(reached_, rowCount_.value_or(0)) : cache_.end();
}

ValueView Rowset::valueOf(std::size_t row, std::size_t column) const {
    if (cache_.contains(row))
        return cache_.value(row, column);
    return pinned_.at(row)[column].view();
}

bool Rowset::validRow(HROW row) const {
    // A released handle is refused like a made-up one, rather than reading a row the consumer
    // no longer holds; a held row is in the window or pinned.
    return row != DB_NULL_HROW && held_.contains(row - 1) &&
           (cache_.contains(row - 1) || pinned_.count(row - 1) != 0);
}

void Rowset::holdRow(std::size_t index) {
    held_.hold(index);
}

bool Rowset::pickBackwards(std::int64_t start, std::size_t wanted, std::size_t& firstPicked,
                           std::size_t& picked, std::int64_t* nextPosition, HRESULT& hr) {
    // The rows before `start`, nearest first. Past the end of a result whose length is known,
    // they are the last rows.
    auto before = static_cast<std::size_t>(std::max<std::int64_t>(start, 0));
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (rowCount_)
            before = std::min(before, *rowCount_);
        if (!ensureRange(before > wanted ? before - wanted : 0, before, hr))
            return false;
    }
    before = std::min(before, cache_.end());
    firstPicked = before - 1;
    while (picked < wanted && picked < before && cache_.contains(before - 1 - picked))
        ++picked;
    if (nextPosition)
        *nextPosition = static_cast<std::int64_t>(before - picked);
    return true;
}

[[gnu::hot]] HRESULT Rowset::fetchFrom(std::int64_t start, DBROWCOUNT cRows, DBCOUNTITEM* obtained,
                                       HROW** rows, std::int64_t* nextPosition, REFIID iid) {
    std::size_t wanted =
        cRows > 0 ? static_cast<std::size_t>(cRows) : static_cast<std::size_t>(-cRows);
    // The rows picked are consecutive: `picked` of them from `firstPicked`, going forward or
    // (fetching backwards) back.
    std::size_t firstPicked = 0;
    std::size_t picked = 0;
    HRESULT hr;
    if (cRows > 0) {
        if (start < 0)
            return DB_S_ENDOFROWSET;
        const auto first = static_cast<std::size_t>(start);
        if (!ensureRange(first, first + wanted, hr))
            return hr;
        firstPicked = first;
        while (picked < wanted && cache_.contains(first + picked))
            ++picked;
        if (nextPosition)
            *nextPosition = start + static_cast<std::int64_t>(picked);
    } else if (!pickBackwards(start, wanted, firstPicked, picked, nextPosition, hr)) {
        return hr;
    }
    if (picked) {
        HROW* out = *rows;
        if (!out) {
            out = static_cast<HROW*>(CoTaskMemAlloc(picked * sizeof(HROW)));
            if (!out)
                return fail(E_OUTOFMEMORY, "Nedostatek paměti pro popisovače řádků.", iid);
            *rows = out;
        }
        for (std::size_t k = 0; k < picked; ++k) {
            const std::size_t row = cRows > 0 ? firstPicked + k : firstPicked - k;
            out[k] = row + 1;
            holdRow(row);
        }
    }
    *obtained = picked;
    return picked < wanted ? DB_S_ENDOFROWSET : S_OK;
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Rowset::GetNextRows(HCHAPTER, DBROWOFFSET lRowsOffset,
                                                           DBROWCOUNT cRows,
                                                           DBCOUNTITEM* pcRowsObtained,
                                                           HROW** prghRows) {
    clearError();
    if (pcRowsObtained)
        *pcRowsObtained = 0;
    if (!pcRowsObtained || !prghRows)
        return E_INVALIDARG;
    if (lRowsOffset < 0 && !scrollBackwards_)
        return fail(DB_E_CANTSCROLLBACKWARDS,
                    "Sada řádků neumí přeskakovat zpět (vlastnost DBPROP_CANSCROLLBACKWARDS není "
                    "nastavena).",
                    IID_IRowset);
    if (cRows < 0 && !fetchBackwards_)
        return fail(DB_E_CANTFETCHBACKWARDS,
                    "Sada řádků neumí načítat pozpátku (vlastnost DBPROP_CANFETCHBACKWARDS není "
                    "nastavena).",
                    IID_IRowset);
    if (cRows == 0)
        return S_OK;
    std::int64_t start = position_ + lRowsOffset;
    if (start < 0) {
        position_ = 0;
        return DB_S_ENDOFROWSET;
    }
    std::int64_t next = position_;
    const HRESULT hr = fetchFrom(start, cRows, pcRowsObtained, prghRows, &next, IID_IRowset);
    if (FAILED(hr))
        return hr;
    // Nothing ahead: the next fetch starts at the end, however far the offset reached.
    position_ = cRows > 0 && *pcRowsObtained == 0
                    ? static_cast<std::int64_t>(rowCount_.value_or(cache_.end()))
                    : next;
    return hr;
}

HRESULT STDMETHODCALLTYPE Rowset::AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                             DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[]) {
    if (cRows && !rghRows)
        return E_INVALIDARG;
    DBCOUNTITEM good = 0;
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        DBREFCOUNT* references = validRow(rghRows[i]) ? held_.find(rghRows[i] - 1) : nullptr;
        bool ok = references != nullptr;
        if (ok) {
            ++*references;
            ++good;
        }
        if (rgRefCounts)
            rgRefCounts[i] = ok ? *references : 0;
        if (rgRowStatus)
            rgRowStatus[i] = ok ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    return statusResult(good, cRows);
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Rowset::ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                                           DBROWOPTIONS[], DBREFCOUNT rgRefCounts[],
                                                           DBROWSTATUS rgRowStatus[]) {
    if (cRows && !rghRows)
        return E_INVALIDARG;
    DBCOUNTITEM good = 0;
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        // What validRow checks, with the entry kept for the release (a null handle wraps to
        // a row that is never held).
        const std::size_t row = rghRows[i] - 1;
        HeldRows::Entry* held = held_.entry(row);
        const bool ok = held && (cache_.contains(row) || pinned_.count(row) != 0);
        DBREFCOUNT left = 0;
        if (ok) {
            left = --held->references;
            if (left == 0) {
                held_.erase(held);
                if (!pinned_.empty())
                    pinned_.erase(row);
                if (host_ && changeable_)
                    host_->unlockRow(baseTable_, cache_.identity(row), this);
            }
            ++good;
        }
        if (rgRefCounts)
            rgRefCounts[i] = left;
        if (rgRowStatus)
            rgRowStatus[i] = ok ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    return statusResult(good, cRows);
}

HRESULT STDMETHODCALLTYPE Rowset::RestartPosition(HCHAPTER) {
    position_ = 0;
    return S_OK;
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Rowset::GetData(HROW hRow, HACCESSOR hAccessor,
                                                       void* pData) {
    clearError();
    const Accessor* accessor = accessors_.lookup(hAccessor);
    if (!accessor)
        return fail(DB_E_BADACCESSORHANDLE, "Popisovač přístupového objektu není platný.",
                    IID_IRowset);
    if (!(accessor->flags & DBACCESSOR_ROWDATA))
        return fail(DB_E_BADACCESSORTYPE, "Přístupový objekt není určen pro řádky.", IID_IRowset);
    if (!validRow(hRow))
        return fail(DB_E_BADROWHANDLE, "Popisovač řádku není platný.", IID_IRowset);
    std::size_t row = hRow - 1;
    if (cache_.isDeleted(row))
        return fail(DB_E_DELETEDROW, "Řádek byl odstraněn.", IID_IRowset);
    if (!pData)
        return E_INVALIDARG;
    if (accessor->highestOrdinal > columns_.size() || (accessor->bindsBookmark && !bookmarks_))
        return fail(DB_E_BADORDINAL, "Vazba odkazuje na sloupec, který sada řádků nemá.",
                    IID_IRowset);
    // A row in the cache is read in one walk; a held row the window has left is pinned.
    const std::vector<Value>* pinned = cache_.contains(row) ? nullptr : &pinned_.at(row);
    std::optional<RowCache::RowReader> reader;
    if (!pinned)
        reader.emplace(cache_, row);
    return writeRow(*accessor, pData, [&](DBORDINAL ordinal) {
        if (ordinal == 0)
            return ValueView::ofInt(static_cast<std::int64_t>(row + 1));
        if (pinned) [[unlikely]]
            return (*pinned)[ordinal - 1].view();
        return reader->value(ordinal - 1);
    });
}

// ---- bookmarks ----

std::int64_t Rowset::rowOfBookmark(DBBKMARK size, const BYTE* bookmark, HRESULT& hr) {
    hr = S_OK;
    if (!bookmark || size == 0)
        return -1;
    if (size == 1) {
        if (*bookmark == DBBMK_FIRST) {
            if (!ensureRange(0, 1, hr))
                return -1;
            return knownRows() ? 0 : -2; // -2: valid but the rowset is empty
        }
        if (*bookmark == DBBMK_LAST) {
            if (!ensureAll(hr))
                return -1;
            return knownRows() ? static_cast<std::int64_t>(knownRows()) - 1 : -2;
        }
        return -1;
    }
    if (size != bookmarkSize)
        return -1;
    std::uint32_t value;
    std::memcpy(&value, bookmark, sizeof value);
    if (value == 0 || value > knownRows())
        return -1;
    return static_cast<std::int64_t>(value) - 1;
}

std::int64_t Rowset::rowOfStoredBookmark(DBBKMARK size, const BYTE* bookmark) {
    HRESULT ignored;
    return size == bookmarkSize ? rowOfBookmark(size, bookmark, ignored) : -1;
}

HRESULT STDMETHODCALLTYPE Rowset::Compare(HCHAPTER, DBBKMARK cbBookmark1, const BYTE* pBookmark1,
                                          DBBKMARK cbBookmark2, const BYTE* pBookmark2,
                                          DBCOMPARE* pComparison) {
    if (!pComparison || !pBookmark1 || !pBookmark2 || !cbBookmark1 || !cbBookmark2)
        return E_INVALIDARG;
    auto special = [](DBBKMARK n, const BYTE*) { return n == 1; };
    if (special(cbBookmark1, pBookmark1) || special(cbBookmark2, pBookmark2)) {
        auto validSpecial = [](DBBKMARK n, const BYTE* b) {
            return n != 1 || *b == DBBMK_FIRST || *b == DBBMK_LAST;
        };
        if (!validSpecial(cbBookmark1, pBookmark1) || !validSpecial(cbBookmark2, pBookmark2))
            return fail(DB_E_BADBOOKMARK, "Záložka není platná.", IID_IRowsetLocate);
        bool same = cbBookmark1 == cbBookmark2 && *pBookmark1 == *pBookmark2;
        *pComparison = same ? DBCOMPARE_EQ : DBCOMPARE_NE;
        return S_OK;
    }
    HRESULT hr;
    std::int64_t a = rowOfBookmark(cbBookmark1, pBookmark1, hr);
    std::int64_t b = rowOfBookmark(cbBookmark2, pBookmark2, hr);
    if (a < 0 || b < 0)
        return fail(DB_E_BADBOOKMARK, "Záložka není platná.", IID_IRowsetLocate);
    *pComparison = a < b ? DBCOMPARE_LT : a > b ? DBCOMPARE_GT : DBCOMPARE_EQ;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Rowset::GetRowsAt(HWATCHREGION, HCHAPTER, DBBKMARK cbBookmark,
                                            const BYTE* pBookmark, DBROWOFFSET lRowsOffset,
                                            DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                                            HROW** prghRows) {
    clearError();
    if (pcRowsObtained)
        *pcRowsObtained = 0;
    if (!pcRowsObtained || !prghRows || !pBookmark || !cbBookmark)
        return E_INVALIDARG;
    if (cRows < 0 && !fetchBackwards_)
        return fail(DB_E_CANTFETCHBACKWARDS, "Sada řádků neumí načítat pozpátku.",
                    IID_IRowsetLocate);
    HRESULT hr;
    std::int64_t row = rowOfBookmark(cbBookmark, pBookmark, hr);
    if (FAILED(hr))
        return hr;
    if (row == -2)
        return DB_S_ENDOFROWSET;
    if (row < 0)
        return fail(DB_E_BADBOOKMARK, "Záložka není platná.", IID_IRowsetLocate);
    if (cRows == 0)
        return S_OK;
    std::int64_t start = row + lRowsOffset;
    if (start < 0)
        return DB_S_ENDOFROWSET;
    // Backwards from row r means r itself first: fetchFrom takes the rows before its start.
    return fetchFrom(cRows > 0 ? start : start + 1, cRows, pcRowsObtained, prghRows, nullptr,
                     IID_IRowsetLocate);
}

HRESULT STDMETHODCALLTYPE Rowset::GetRowsByBookmark(HCHAPTER, DBCOUNTITEM cRows,
                                                    const DBBKMARK rgcbBookmarks[],
                                                    const BYTE* rgpBookmarks[], HROW rghRows[],
                                                    DBROWSTATUS rgRowStatus[]) {
    if (cRows && (!rgcbBookmarks || !rgpBookmarks || !rghRows))
        return E_INVALIDARG;
    DBCOUNTITEM good = 0;
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        std::int64_t row = rowOfStoredBookmark(rgcbBookmarks[i], rgpBookmarks[i]);
        HRESULT hr;
        if (row >= 0 &&
            !ensureRange(static_cast<std::size_t>(row), static_cast<std::size_t>(row) + 1, hr))
            row = -1;
        // A row the result no longer reaches (it shrank since) counts as deleted.
        bool ok = row >= 0 && cache_.contains(static_cast<std::size_t>(row)) &&
                  !cache_.isDeleted(static_cast<std::size_t>(row));
        rghRows[i] = ok ? static_cast<HROW>(row + 1) : DB_NULL_HROW;
        if (ok) {
            holdRow(static_cast<std::size_t>(row));
            ++good;
        }
        if (rgRowStatus)
            rgRowStatus[i] = ok         ? DBROWSTATUS_S_OK
                             : row >= 0 ? DBROWSTATUS_E_DELETED
                                        : DBROWSTATUS_E_INVALID;
    }
    return statusResult(good, cRows);
}

HRESULT STDMETHODCALLTYPE Rowset::Hash(HCHAPTER, DBBKMARK cBookmarks,
                                       const DBBKMARK rgcbBookmarks[], const BYTE* rgpBookmarks[],
                                       DBHASHVALUE rgHashedValues[],
                                       DBROWSTATUS rgBookmarkStatus[]) {
    if (cBookmarks && (!rgcbBookmarks || !rgpBookmarks || !rgHashedValues))
        return E_INVALIDARG;
    DBBKMARK good = 0;
    for (DBBKMARK i = 0; i < cBookmarks; ++i) {
        std::int64_t row = rowOfStoredBookmark(rgcbBookmarks[i], rgpBookmarks[i]);
        rgHashedValues[i] = row >= 0 ? static_cast<DBHASHVALUE>(row) : 0;
        if (rgBookmarkStatus)
            rgBookmarkStatus[i] = row >= 0 ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
        if (row >= 0)
            ++good;
    }
    return statusResult(good, cBookmarks);
}

// ---- accessors, columns, information ----

HRESULT STDMETHODCALLTYPE Rowset::AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
    return addRefAccessorCall(accessors_, hAccessor, pcRefCount, source_);
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Rowset::CreateAccessor(
    DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
    DBLENGTH cbRowSize, HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) {
    AccessorTarget target;
    target.isRowset = true;
    target.columnsKnown = true;
    target.columnCount = columns_.size();
    target.hasBookmark = bookmarks_;
    target.columns = columns_.data();
    target.bookmarkType = bookmarkType;
    target.columnList = &columnList_;
    return createAccessorCall(accessors_, dwAccessorFlags, cBindings, rgBindings, cbRowSize,
                              phAccessor, rgStatus, target, source_);
}

HRESULT STDMETHODCALLTYPE Rowset::GetBindings(HACCESSOR hAccessor,
                                              DBACCESSORFLAGS* pdwAccessorFlags,
                                              DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) {
    return getBindingsCall(accessors_, hAccessor, pdwAccessorFlags, pcBindings, prgBindings,
                           source_);
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Rowset::ReleaseAccessor(HACCESSOR hAccessor,
                                                               DBREFCOUNT* pcRefCount) {
    return releaseAccessorCall(accessors_, hAccessor, pcRefCount, source_);
}

HRESULT STDMETHODCALLTYPE Rowset::GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                                OLECHAR** ppStringsBuffer) {
    try {
        std::call_once(keysDescribed_, [this] {
            std::vector<ColumnInfo> described = columns_;
            statement_->describeKeys(described);
            described_ = std::move(described);
        });
    } catch (...) {
        if (pcColumns)
            *pcColumns = 0;
        if (prgInfo)
            *prgInfo = nullptr;
        if (ppStringsBuffer)
            *ppStringsBuffer = nullptr;
        return postCurrentException(source_, IID_IColumnsInfo);
    }
    return getColumnInfo({described_, bookmarks_, changeable_}, pcColumns, prgInfo,
                         ppStringsBuffer);
}

HRESULT STDMETHODCALLTYPE Rowset::MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                               DBORDINAL rgColumns[]) {
    return mapColumnIds({columns_, bookmarks_, changeable_}, cColumnIDs, rgColumnIDs, rgColumns);
}

HRESULT STDMETHODCALLTYPE Rowset::GetProperties(const ULONG cPropertyIDSets,
                                                const DBPROPIDSET rgPropertyIDSets[],
                                                ULONG* pcPropertySets,
                                                DBPROPSET** prgPropertySets) {
    if (windowed_) {
        // Moving its window runs the query again, so such a rowset sees what changed meanwhile.
        // Said here, where it is asked, rather than stored at every rowset's set-up.
        PropertyStore answer = properties_->store;
        answer.assign(DBPROPSET_ROWSET, DBPROP_OTHERUPDATEDELETE, PropertyValue::ofBool(true));
        return answer.getProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                    prgPropertySets, nullptr, nullptr);
    }
    return properties_->store.getProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                            prgPropertySets, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE Rowset::GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid,
                                                      IUnknown** ppReferencedRowset) {
    if (!ppReferencedRowset)
        return E_INVALIDARG;
    *ppReferencedRowset = nullptr;
    if (iOrdinal > columns_.size() || (iOrdinal == 0 && !bookmarks_))
        return fail(DB_E_BADORDINAL, "Sada řádků takový sloupec nemá.", IID_IRowsetInfo);
    if (iOrdinal != 0)
        return fail(DB_E_NOTAREFERENCECOLUMN, "Sloupec neodkazuje na sadu řádků.", IID_IRowsetInfo);
    return QueryInterface(riid, reinterpret_cast<void**>(ppReferencedRowset));
}

HRESULT STDMETHODCALLTYPE Rowset::GetSpecification(REFIID riid, IUnknown** ppSpecification) {
    if (!ppSpecification)
        return E_INVALIDARG;
    *ppSpecification = nullptr;
    if (!creator_)
        return S_FALSE;
    return creator_->QueryInterface(riid, reinterpret_cast<void**>(ppSpecification));
}

HRESULT STDMETHODCALLTYPE Rowset::CanConvert(DBTYPE wFromType, DBTYPE wToType,
                                             DBCONVERTFLAGS dwConvertFlags) {
    constexpr DBCONVERTFLAGS known =
        DBCONVERTFLAGS_ISLONG | DBCONVERTFLAGS_ISFIXEDLENGTH | DBCONVERTFLAGS_FROMVARIANT;
    if ((dwConvertFlags & DBCONVERTFLAGS_PARAMETER) || (dwConvertFlags & ~known))
        return fail(DB_E_BADCONVERTFLAG, "Sada řádků převádí jen data sloupců.", IID_IConvertType);
    return canConvert(wFromType, wToType) ? S_OK : S_FALSE;
}

// ---- changes ----

std::vector<std::string> Rowset::baseColumns() const {
    std::vector<std::string> names;
    for (const ColumnInfo& c : columns_)
        names.push_back(c.baseColumn.empty() ? c.name : c.baseColumn);
    return names;
}

void Rowset::refreshRow(std::size_t row, const RowIdentity& id) {
    std::vector<std::string> names;
    std::vector<std::size_t> which;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c].writable) {
            names.push_back(columns_[c].baseColumn.empty() ? columns_[c].name
                                                           : columns_[c].baseColumn);
            which.push_back(c);
        }
    std::vector<Value> current;
    std::vector<Value> all;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        all.emplace_back(cache_.value(row, c));
    if (!names.empty() && host_->connection().readRow(baseTable_, id, names, current))
        for (std::size_t k = 0; k < which.size() && k < current.size(); ++k)
            all[which[k]] = current[k];
    std::vector<ValueView> views;
    for (const Value& v : all)
        views.push_back(v.view());
    cache_.replace(row, views);
}

HRESULT Rowset::checkWrite(HROW hRow, HACCESSOR hAccessor, void* pData,
                           std::shared_ptr<const Accessor>& accessor) {
    accessor = accessors_.find(hAccessor);
    if (!accessor)
        return fail(DB_E_BADACCESSORHANDLE, "Popisovač přístupového objektu není platný.",
                    IID_IRowsetChange);
    if (!(accessor->flags & DBACCESSOR_ROWDATA))
        return fail(DB_E_BADACCESSORTYPE, "Přístupový objekt není určen pro řádky.",
                    IID_IRowsetChange);
    if (hRow != DB_NULL_HROW && !validRow(hRow))
        return fail(DB_E_BADROWHANDLE, "Popisovač řádku není platný.", IID_IRowsetChange);
    if (hRow != DB_NULL_HROW && cache_.isDeleted(hRow - 1))
        return fail(DB_E_DELETEDROW, "Řádek byl odstraněn.", IID_IRowsetChange);
    if (!pData)
        return E_INVALIDARG;
    for (const DBBINDING& b : accessor->bindings)
        if (b.iOrdinal > columns_.size() || (b.iOrdinal == 0 && !bookmarks_))
            return fail(DB_E_BADORDINAL, "Vazba odkazuje na sloupec, který sada řádků nemá.",
                        IID_IRowsetChange);
    return S_OK;
}

bool Rowset::writableValues(const Accessor& accessor, void* pData,
                            const std::vector<BoundValue>& values, std::vector<std::string>& names,
                            std::vector<ValueView>& views) const {
    bool allWritable = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const BoundValue& v = values[i];
        if (v.use != BoundValue::Use::Value)
            continue;
        const ColumnInfo* c = v.ordinal ? &columns_[v.ordinal - 1] : nullptr;
        if (c && c->writable) {
            names.push_back(c->baseColumn.empty() ? c->name : c->baseColumn);
            views.push_back(v.value);
            continue;
        }
        // The bookmark, an expression or a column of another table: the status says which.
        allWritable = false;
        const DBBINDING& b = accessor.bindings[i];
        if (b.dwPart & DBPART_STATUS) {
            DBSTATUS denied = DBSTATUS_E_PERMISSIONDENIED;
            std::memcpy(static_cast<char*>(pData) + b.obStatus, &denied, sizeof denied);
        }
    }
    return allWritable;
}

HRESULT Rowset::checkConcurrency(std::size_t row) {
    RowIdentity id = cache_.identity(row);
    if (host_->lockingPolicy()) {
        const void* owner = host_->lockOwner(baseTable_, id);
        if (owner == this)
            return S_OK; // this rowset's own lock: its values are the row's values
        if (owner)
            return fail(DB_E_RESOURCELOCKED,
                        "Řádek je zamčený: jiná sada řádků této relace jej změnila a stále jej "
                        "drží. Zde jej bude možné změnit, až jej ta sada řádků uvolní.",
                        IID_IRowsetChange);
    }
    std::vector<std::string> names;
    std::vector<std::size_t> which;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c].writable) {
            names.push_back(columns_[c].baseColumn.empty() ? columns_[c].name
                                                           : columns_[c].baseColumn);
            which.push_back(c);
        }
    std::vector<Value> current;
    if (!host_->connection().readRow(baseTable_, id, names, current))
        return fail(DB_E_DELETEDROW, "Řádek již v databázi neexistuje.", IID_IRowsetChange);
    for (std::size_t k = 0; k < which.size() && k < current.size(); ++k)
        if (!sameValue(current[k].view(), cache_.value(row, which[k])))
            return fail(DB_E_CONCURRENCYVIOLATION,
                        "Řádek byl v databázi změněn poté, co jej tato sada řádků načetla; změna "
                        "byla odmítnuta (optimistické řízení souběhu).",
                        IID_IRowsetChange);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Rowset::SetData(HROW hRow, HACCESSOR hAccessor, void* pData) {
    clearError();
    if (!(updatability_ & DBPROPVAL_UP_CHANGE))
        return fail(DB_E_NOTSUPPORTED, "Sada řádků nedovoluje měnit řádky.", IID_IRowsetChange);
    if (hRow == DB_NULL_HROW)
        return fail(DB_E_BADROWHANDLE, "Popisovač řádku není platný.", IID_IRowsetChange);
    std::shared_ptr<const Accessor> accessor;
    HRESULT hr = checkWrite(hRow, hAccessor, pData, accessor);
    if (hr != S_OK)
        return hr;
    std::vector<BoundValue> values;
    if (FAILED(readRow(*accessor, pData, values)))
        return fail(DB_E_ERRORSOCCURRED,
                    "Hodnotu nebylo možné přečíst z vyrovnávací paměti konzumenta.",
                    IID_IRowsetChange);
    std::vector<std::string> names;
    std::vector<ValueView> views;
    if (!writableValues(*accessor, pData, values, names, views))
        return fail(DB_E_ERRORSOCCURRED,
                    "Navázaný sloupec nelze změnit (viz stav sloupců); nic nebylo změněno.",
                    IID_IRowsetChange);
    if (names.empty())
        return S_OK;
    std::size_t row = hRow - 1;
    Connection& connection = host_->connection();
    std::string savepoint = host_->nextSavepointName();
    try {
        connection.savepoint(savepoint);
    } catch (...) {
        return postCurrentException(source_, IID_IRowsetChange);
    }
    RowIdentity id = cache_.identity(row);
    try {
        hr = checkConcurrency(row);
        if (hr == S_OK && !connection.updateRow(baseTable_, id, names, views))
            hr = fail(DB_E_DELETEDROW, "Řádek již v databázi neexistuje.", IID_IRowsetChange);
        if (hr == S_OK) {
            connection.releaseSavepoint(savepoint);
            refreshRow(row, id);
            if (host_->lockingPolicy())
                host_->lockRow(baseTable_, id, this);
            return S_OK;
        }
    } catch (...) {
        hr = postCurrentException(source_, IID_IRowsetChange);
    }
    try {
        connection.rollbackToSavepoint(savepoint);
        connection.releaseSavepoint(savepoint);
    } catch (...) {
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE Rowset::DeleteRows(HCHAPTER, DBCOUNTITEM cRows, const HROW rghRows[],
                                             DBROWSTATUS rgRowStatus[]) {
    clearError();
    if (cRows && !rghRows)
        return E_INVALIDARG;
    if (!(updatability_ & DBPROPVAL_UP_DELETE))
        return fail(DB_E_NOTSUPPORTED, "Sada řádků nedovoluje mazat řádky.", IID_IRowsetChange);
    DBCOUNTITEM good = 0;
    Connection& connection = host_->connection();
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
        DBROWSTATUS status = DBROWSTATUS_S_OK;
        if (!validRow(rghRows[i])) {
            status = DBROWSTATUS_E_INVALID;
        } else if (cache_.isDeleted(rghRows[i] - 1)) {
            status = DBROWSTATUS_E_DELETED;
        } else {
            std::size_t row = rghRows[i] - 1;
            std::string savepoint = host_->nextSavepointName();
            try {
                connection.savepoint(savepoint);
                HRESULT hr = checkConcurrency(row);
                if (hr == DB_E_CONCURRENCYVIOLATION)
                    status = DBROWSTATUS_E_CONCURRENCYVIOLATION;
                else if (hr == DB_E_DELETEDROW)
                    status = DBROWSTATUS_E_DELETED;
                else if (FAILED(hr))
                    status = DBROWSTATUS_E_FAIL;
                else if (!connection.deleteRow(baseTable_, cache_.identity(row)))
                    status = DBROWSTATUS_E_DELETED;
                if (status == DBROWSTATUS_S_OK) {
                    connection.releaseSavepoint(savepoint);
                    cache_.markDeleted(row);
                } else {
                    connection.rollbackToSavepoint(savepoint);
                    connection.releaseSavepoint(savepoint);
                }
            } catch (const BackendError& e) {
                postCurrentException(source_, IID_IRowsetChange);
                status = e.errorClass() == ErrorClass::Integrity ? DBROWSTATUS_E_INTEGRITYVIOLATION
                                                                 : DBROWSTATUS_E_FAIL;
                try {
                    connection.rollbackToSavepoint(savepoint);
                    connection.releaseSavepoint(savepoint);
                } catch (...) {
                }
            }
        }
        if (rgRowStatus)
            rgRowStatus[i] = status;
        if (status == DBROWSTATUS_S_OK)
            ++good;
    }
    return statusResult(good, cRows);
}

HRESULT STDMETHODCALLTYPE Rowset::InsertRow(HCHAPTER, HACCESSOR hAccessor, void* pData,
                                            HROW* phRow) {
    clearError();
    if (phRow)
        *phRow = DB_NULL_HROW;
    if (!(updatability_ & DBPROPVAL_UP_INSERT))
        return fail(DB_E_NOTSUPPORTED, "Sada řádků nedovoluje vkládat řádky.", IID_IRowsetChange);
    std::shared_ptr<const Accessor> accessor;
    HRESULT hr = checkWrite(DB_NULL_HROW, hAccessor, pData, accessor);
    if (hr != S_OK)
        return hr;
    std::vector<BoundValue> values;
    if (FAILED(readRow(*accessor, pData, values)))
        return fail(DB_E_ERRORSOCCURRED,
                    "Hodnotu nebylo možné přečíst z vyrovnávací paměti konzumenta.",
                    IID_IRowsetChange);
    std::vector<std::string> names;
    std::vector<ValueView> views;
    if (!writableValues(*accessor, pData, values, names, views))
        return fail(DB_E_ERRORSOCCURRED,
                    "Navázaný sloupec nelze nastavit (viz stav sloupců); žádný řádek nebyl vložen.",
                    IID_IRowsetChange);
    try {
        // Every row before the new one is fetched first so the new row's index is its place.
        if (!ensureAll(hr))
            return hr;
        RowIdentity id = host_->connection().insertRow(baseTable_, names, views);
        std::vector<ValueView> empty;
        std::size_t row = cache_.append(empty, &id);
        rowCount_ = cache_.end();
        refreshRow(row, id);
        if (phRow) {
            *phRow = row + 1;
            holdRow(row);
        }
    } catch (...) {
        return postCurrentException(source_, IID_IRowsetChange);
    }
    return S_OK;
}

} // namespace vantrel::kit

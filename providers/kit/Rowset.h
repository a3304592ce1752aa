// The kit's rowset: IRowset (and IRowsetLocate with bookmarks), IAccessor, IColumnsInfo,
// IRowsetInfo, IConvertType, IRowsetChange when requested, ISupportErrorInfo.
//
// Rows are fetched from the statement as the consumer asks for them and kept in a RowCache;
// an HROW is the row's index plus one, so handing one out costs nothing. Reference counts of
// handed-out rows live in a small list of the rows currently held. A read-only rowset over a
// statement that can seek keeps only a window of rows: a jump far ahead or back moves the
// window, and the rows jumped over are never read.
//
// Changes are sent at once. The row is found by its identity; before a change the current
// values in the database are compared with those this rowset fetched (optimistic concurrency)
// and a mismatch is refused with DB_E_CONCURRENCYVIOLATION. Under the locking policy a row
// changed through this rowset is also locked against changes through the session's other
// rowsets until this rowset releases its handle (DB_E_RESOURCELOCKED).
#pragma once

#include "Accessor.h"
#include "Backend.h"
#include "ComObject.h"
#include "HeldRows.h"
#include "KitCom.h"
#include "Properties.h"
#include "RowCache.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vantrel::kit {

// What a rowset needs of the session that opened it.
class RowsetHost {
public:
    virtual ~RowsetHost() = default;
    virtual Connection& connection() = 0;
    virtual bool lockingPolicy() const = 0;
    // The rowset holding the row's lock, or nullptr.
    virtual const void* lockOwner(const std::string& table, const RowIdentity& id) const = 0;
    virtual void lockRow(const std::string& table, const RowIdentity& id, const void* owner) = 0;
    virtual void unlockRow(const std::string& table, const RowIdentity& id, const void* owner) = 0;
    virtual void unlockAll(const void* owner) = 0;
    virtual std::string nextSavepointName() = 0;
};

// A rowset's effective properties and what its set-up reads of them, derived once and then
// immutable: a command executed again and again hands every rowset the same object.
struct RowsetProperties {
    explicit RowsetProperties(PropertyStore effective);
    PropertyStore store;
    bool bookmarks = false;
    bool locate = false;
    bool fetchBackwards = false;
    bool scrollBackwards = false;
    bool change = false;       // DBPROP_IRowsetChange
    bool wantsChanges = false; // IRowsetChange or a DBPROP_UPDATABILITY
    LONG updatability = 0;
    std::size_t maxRows = 0; // DBPROP_MAXROWS; 0 = all
};

struct RowsetSetup {
    std::shared_ptr<Statement> statement;
    bool firstRowReady = false; // the statement already stands on its first row
    const char16_t* source = u"";
    IUnknown* creator = nullptr;    // command or session (AddRef'd by the rowset)
    IUnknown* hostObject = nullptr; // keeps the host alive (AddRef'd)
    RowsetHost* host = nullptr;     // nullptr: read-only rowset without a session
    std::shared_ptr<const RowsetProperties> properties; // required
    const AccessorTable* inheritedAccessors = nullptr;
};

class Rowset final : public ComObject<IRowsetLocate, IAccessor, IColumnsInfo, IRowsetInfo,
                                      IConvertType, IRowsetChange, ISupportErrorInfo> {
public:
    explicit Rowset(RowsetSetup setup);

    // A rowset is made and destroyed for nearly every statement: the memory of the last one
    // destroyed is kept for the next one made instead of going back to the heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* memory, std::size_t size);

    // IRowset
    HRESULT STDMETHODCALLTYPE AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                         DBREFCOUNT rgRefCounts[],
                                         DBROWSTATUS rgRowStatus[]) override;
    HRESULT STDMETHODCALLTYPE GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override;
    HRESULT STDMETHODCALLTYPE GetNextRows(HCHAPTER hReserved, DBROWOFFSET lRowsOffset,
                                          DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                                          HROW** prghRows) override;
    HRESULT STDMETHODCALLTYPE ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[],
                                          DBROWOPTIONS rgRowOptions[], DBREFCOUNT rgRefCounts[],
                                          DBROWSTATUS rgRowStatus[]) override;
    HRESULT STDMETHODCALLTYPE RestartPosition(HCHAPTER hReserved) override;
    // IRowsetLocate
    HRESULT STDMETHODCALLTYPE Compare(HCHAPTER hReserved, DBBKMARK cbBookmark1,
                                      const BYTE* pBookmark1, DBBKMARK cbBookmark2,
                                      const BYTE* pBookmark2, DBCOMPARE* pComparison) override;
    HRESULT STDMETHODCALLTYPE GetRowsAt(HWATCHREGION hReserved1, HCHAPTER hReserved2,
                                        DBBKMARK cbBookmark, const BYTE* pBookmark,
                                        DBROWOFFSET lRowsOffset, DBROWCOUNT cRows,
                                        DBCOUNTITEM* pcRowsObtained, HROW** prghRows) override;
    HRESULT STDMETHODCALLTYPE GetRowsByBookmark(HCHAPTER hReserved, DBCOUNTITEM cRows,
                                                const DBBKMARK rgcbBookmarks[],
                                                const BYTE* rgpBookmarks[], HROW rghRows[],
                                                DBROWSTATUS rgRowStatus[]) override;
    HRESULT STDMETHODCALLTYPE Hash(HCHAPTER hReserved, DBBKMARK cBookmarks,
                                   const DBBKMARK rgcbBookmarks[], const BYTE* rgpBookmarks[],
                                   DBHASHVALUE rgHashedValues[],
                                   DBROWSTATUS rgBookmarkStatus[]) override;
    // IAccessor
    HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
    HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                             const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                                             HACCESSOR* phAccessor,
                                             DBBINDSTATUS rgStatus[]) override;
    HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                          DBCOUNTITEM* pcBindings,
                                          DBBINDING** prgBindings) override;
    HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
    // IColumnsInfo
    HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                            OLECHAR** ppStringsBuffer) override;
    HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                           DBORDINAL rgColumns[]) override;
    // IRowsetInfo
    HRESULT STDMETHODCALLTYPE GetProperties(const ULONG cPropertyIDSets,
                                            const DBPROPIDSET rgPropertyIDSets[],
                                            ULONG* pcPropertySets,
                                            DBPROPSET** prgPropertySets) override;
    HRESULT STDMETHODCALLTYPE GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid,
                                                  IUnknown** ppReferencedRowset) override;
    HRESULT STDMETHODCALLTYPE GetSpecification(REFIID riid, IUnknown** ppSpecification) override;
    // IConvertType
    HRESULT STDMETHODCALLTYPE CanConvert(DBTYPE wFromType, DBTYPE wToType,
                                         DBCONVERTFLAGS dwConvertFlags) override;
    // IRowsetChange
    HRESULT STDMETHODCALLTYPE DeleteRows(HCHAPTER hReserved, DBCOUNTITEM cRows,
                                         const HROW rghRows[], DBROWSTATUS rgRowStatus[]) override;
    HRESULT STDMETHODCALLTYPE SetData(HROW hRow, HACCESSOR hAccessor, void* pData) override;
    HRESULT STDMETHODCALLTYPE InsertRow(HCHAPTER hReserved, HACCESSOR hAccessor, void* pData,
                                        HROW* phRow) override;
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return supportsErrorInfo(riid);
    }

    std::size_t cachedRows() const { return cache_.count(); }
    std::size_t cacheBytes() const { return cache_.bytesUsed(); }

protected:
    void* findInterface(REFIID riid) override;

private:
    ~Rowset() override;

    [[gnu::cold]] HRESULT fail(HRESULT hr, const char* description, REFIID iid);
    // Makes rows [first, end) readable, as far as the result reaches: appended in turn, or
    // for a windowed rowset after moving its window there. False on a backend error (posted).
    bool ensureRange(std::size_t first, std::size_t end, HRESULT& hr);
    // Reaches the end of the result, so its length is known. A windowed rowset passes over the
    // rows without reading them.
    bool ensureAll(HRESULT& hr);
    // Windowed rowsets: starts the window afresh at `first` (a little earlier when going back),
    // stepping over a short gap or seeking past a long one, never reading the rows passed.
    void moveWindow(std::size_t first, std::size_t end);
    // Keeps the values of held rows that are about to leave the window.
    void pinHeldRows();
    void endOfResult();
    // Rows known to exist (they may lie outside the window).
    std::size_t knownRows() const;
    // Contract: validRow(row + 1).
    ValueView valueOf(std::size_t row, std::size_t column) const;
    // fetchFrom's backward half: the `picked` rows from `firstPicked` down. Out of line, so
    // that the forward fetch a consumer usually makes stays small. False on an error (posted).
    [[gnu::noinline]] bool pickBackwards(std::int64_t start, std::size_t wanted,
                                         std::size_t& firstPicked, std::size_t& picked,
                                         std::int64_t* nextPosition, HRESULT& hr);
    // Fetches a block of rows starting at `start` going forward (cRows > 0) or backward.
    HRESULT fetchFrom(std::int64_t start, DBROWCOUNT cRows, DBCOUNTITEM* obtained, HROW** rows,
                      std::int64_t* nextPosition, REFIID iid);
    // A handle this rowset handed out and the consumer still holds.
    bool validRow(HROW row) const;
    void holdRow(std::size_t index);
    // Index of a bookmark's row, or -1 when invalid; DBBMK_FIRST / DBBMK_LAST resolved.
    std::int64_t rowOfBookmark(DBBKMARK size, const BYTE* bookmark, HRESULT& hr);
    // The same for a bookmark of this rowset's own size only (no DBBMK_FIRST / DBBMK_LAST).
    std::int64_t rowOfStoredBookmark(DBBKMARK size, const BYTE* bookmark);
    HRESULT checkWrite(HROW hRow, HACCESSOR hAccessor, void* pData,
                       std::shared_ptr<const Accessor>& accessor);
    // The base column names and values of the bindings that carry a value. False when one
    // names a column that cannot change; its status part says DBSTATUS_E_PERMISSIONDENIED.
    bool writableValues(const Accessor& accessor, void* pData,
                        const std::vector<BoundValue>& values, std::vector<std::string>& names,
                        std::vector<ValueView>& views) const;
    // Refuses the change when another rowset holds the row's lock or the database no longer
    // holds what this rowset fetched. Returns S_OK to go on.
    HRESULT checkConcurrency(std::size_t row);
    std::vector<std::string> baseColumns() const;
    void refreshRow(std::size_t row, const RowIdentity& id);

    std::shared_ptr<Statement> statement_;
    // The statement's columns as they were when the rowset opened (shared, never changed).
    std::shared_ptr<const std::vector<ColumnInfo>> columnList_;
    const std::vector<ColumnInfo>& columns_;
    // A copy of columns_ with nullability and key flags, looked up on the first column
    // description (only descriptions report them).
    std::once_flag keysDescribed_;
    std::vector<ColumnInfo> described_;
    RowCache cache_;
    // A rowset over a statement that can seek keeps only a window of rows (read-only rowsets;
    // an updatable one keeps every row it has fetched, as its changes refer to them).
    bool windowed_ = false;
    // Held rows the window has moved away from, with their values.
    std::map<std::size_t, std::vector<Value>> pinned_;
    // While not exhausted, the statement's next step gives row cache_.end().
    bool exhausted_ = false;
    std::optional<std::size_t> rowCount_; // known once the result's end was reached
    std::size_t reached_ = 0;             // rows seen so far
    std::int64_t position_ = 0;           // next fetch position (row index)
    HeldRows held_;
    const char16_t* source_;
    ComRef<IUnknown> creator_;
    ComRef<IUnknown> hostObject_;
    RowsetHost* host_;
    std::shared_ptr<const RowsetProperties> properties_;
    AccessorTable accessors_;
    bool bookmarks_ = false;
    bool locate_ = false;
    bool fetchBackwards_ = false;
    bool scrollBackwards_ = false;
    bool changeable_ = false;
    LONG updatability_ = 0;
    std::size_t maxRows_ = 0; // DBPROP_MAXROWS; 0 = all
    std::string baseTable_;
};

// Applies the dependencies between rowset properties (IRowsetLocate implies bookmarks,
// IRowsetChange and DBPROP_UPDATABILITY imply each other) to a copy of the requested ones.
PropertyStore effectiveRowsetProperties(const PropertyStore& requested);

// Whether the requested properties ask for changes.
bool wantsChanges(const PropertyStore& requested);

} // namespace vantrel::kit

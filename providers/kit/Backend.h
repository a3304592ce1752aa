// The seam between the provider kit and a database backend.
//
// The kit (providers/kit) implements everything OLE DB once: data source, session, command and
// rowset objects, properties, accessors, conversions, row handles, statuses, error objects and
// reference counts. A backend implements only what is database-shaped, through the three
// interfaces below:
//
//   Connection  opened from the initialisation settings; describes itself (DBMS name and
//               version, server, catalog, read-only); prepares statements; runs transactions
//               and savepoints; does DDL; locates, reads, updates, inserts and deletes one row
//               of a base table by its row identity.
//   Statement   one compiled statement: describes its parameters and result columns, binds
//               values, steps through rows, resets, reports rows affected.
//   BackendError  the one way a backend reports a failure: the database's own message (UTF-8)
//               and a class the kit maps to an HRESULT.
//
// Rules of the seam:
// - All text crossing it is UTF-8 (names, SQL, values of kind Text).
// - Types are OLE DB DBTYPE values held in a plain uint16 (DbType), so a backend needs no OLE DB
//   header. Ordinals are 0-based here; the kit adds OLE DB's 1-based numbering and bookmarks.
// - Every backend call either succeeds or throws BackendError (anything else thrown is a bug the
//   kit reports as E_FAIL). The kit catches at each interface method.
// - Views (ValueView, spans) handed to the backend are valid only for the duration of the call;
//   views returned by Statement::value are valid until the next step, reset or destruction.
// - A Connection and its Statements are used from one thread at a time. Statements never outlive
//   their Connection (the kit guarantees the order of destruction).
//
// A backend becomes an OLE DB provider by one registration call with its ProviderDescriptor
// (see KitProvider.h): CLSID, ProgIDs, description, the initialisation property table and the
// function that opens a Connection.
#pragma once

#include "DbTypes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantrel::kit {

// An OLE Automation VARTYPE value (VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11, ...).
using VarType = std::uint16_t;

// Same fields and meaning as DBTIMESTAMP (fraction in nanoseconds).
struct Timestamp {
    std::int16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint32_t fraction = 0;
    friend bool operator==(const Timestamp&, const Timestamp&) = default;
};

enum class ValueKind : std::uint8_t { Null, Int, Real, Text, Blob, Timestamp };

// A non-owning value: what is bound to a parameter and what a statement returns per column.
// For Text, bytes are UTF-8 (no terminator counted); for Blob, raw bytes.
struct ValueView {
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0; // Int
    double real = 0;          // Real
    Timestamp timestamp{};    // Timestamp
    std::string_view bytes;   // Text, Blob

    static ValueView null() { return {}; }
    static ValueView ofInt(std::int64_t v) {
        ValueView r;
        r.kind = ValueKind::Int;
        r.integer = v;
        return r;
    }
    static ValueView ofReal(double v) {
        ValueView r;
        r.kind = ValueKind::Real;
        r.real = v;
        return r;
    }
    static ValueView ofText(std::string_view utf8) {
        ValueView r;
        r.kind = ValueKind::Text;
        r.bytes = utf8;
        return r;
    }
    static ValueView ofBlob(std::string_view raw) {
        ValueView r;
        r.kind = ValueKind::Blob;
        r.bytes = raw;
        return r;
    }
    static ValueView ofTimestamp(const Timestamp& t) {
        ValueView r;
        r.kind = ValueKind::Timestamp;
        r.timestamp = t;
        return r;
    }
    bool isNull() const { return kind == ValueKind::Null; }
};

// An owning value, for the few places that keep one (current row values, settings).
struct Value {
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0;
    double real = 0;
    Timestamp timestamp{};
    std::string bytes;

    Value() = default;
    explicit Value(const ValueView& v)
        : kind(v.kind), integer(v.integer), real(v.real), timestamp(v.timestamp), bytes(v.bytes) {}
    ValueView view() const {
        ValueView v;
        v.kind = kind;
        v.integer = integer;
        v.real = real;
        v.timestamp = timestamp;
        v.bytes = bytes;
        return v;
    }
    bool isNull() const { return kind == ValueKind::Null; }
};

// What went wrong, as far as the kit needs to know to pick an HRESULT.
enum class ErrorClass : std::uint8_t {
    Syntax,         // the statement text is not valid (DB_E_ERRORSINCOMMAND)
    NoTable,        // a named table does not exist (DB_E_NOTABLE)
    DuplicateTable, // a table to create already exists (DB_E_DUPLICATETABLEID)
    Integrity,      // a constraint refused the change (DB_E_INTEGRITYVIOLATION)
    Timeout,        // busy or locked beyond the time-out (DB_E_... lock time-out)
    ReadOnly,       // the database or connection is read-only (DB_SEC_E_PERMISSIONDENIED)
    CantOpen,       // the data source cannot be opened or is not a database (at Initialize)
    TypeMismatch,   // a value cannot be stored in the column (DB_E_CANTCONVERTVALUE)
    UnknownType,    // a column type name the database does not know (DB_E_BADTYPE)
    Other           // anything else (E_FAIL)
};

class BackendError : public std::runtime_error {
public:
    BackendError(ErrorClass errorClass, const std::string& messageUtf8, int nativeCode = 0)
        : std::runtime_error(messageUtf8), errorClass_(errorClass), nativeCode_(nativeCode) {}
    ErrorClass errorClass() const { return errorClass_; }
    // The database's own error code, for diagnostics only.
    int nativeCode() const { return nativeCode_; }

private:
    ErrorClass errorClass_;
    int nativeCode_;
};

// A row identity: a rowid-like integer or an opaque key the backend encodes as it likes.
using RowIdentity = std::variant<std::int64_t, std::string>;

struct ColumnInfo {
    std::string name;     // as the consumer sees it (alias if any)
    DbType type = 0;      // the type the kit reports and converts from
    std::size_t size = 0; // characters for STR/WSTR, bytes for BYTES, fixed size otherwise;
                          // 0 = unlimited ("long" data)
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool nullable = true;    // may hold NULL (or unknown)
    bool writable = false;   // maps to a base column that can be changed
    bool primaryKey = false; // part of the base table's primary key
    std::string baseTable;   // empty for expressions
    std::string baseColumn;  // empty for expressions
};

struct ParameterInfo {
    bool known = false; // false: the backend cannot tell (the kit answers DB_E_PARAMUNAVAILABLE
                        // unless the consumer described the parameter)
    std::string name;   // e.g. ":id"; empty for anonymous '?'
    DbType type = 0;
    std::size_t size = 0;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool nullable = true;
};

struct PrepareOptions {
    // The kit wants each row's identity (updatable rowsets, locking). The backend provides it
    // when the statement reads a single base table that has one; Statement::hasRowIdentity
    // says whether it succeeded. The identity is never one of the visible columns.
    bool wantRowIdentity = false;
    // The statement runs once, right away, and nobody asked for its columns or parameters
    // before that: a backend may skip compiling it ahead and describe it from its result
    // (a client/server backend saves a round trip). Until the first step() such a statement
    // reports no parameters it cannot tell without the server, and columns() may be empty.
    bool runOnce = false;
};

class Statement {
public:
    virtual ~Statement() = default;

    virtual std::size_t parameterCount() const = 0;
    // Contract: index < parameterCount().
    virtual ParameterInfo parameterInfo(std::size_t index) const = 0;

    // Result columns; empty for statements that return no rows. A backend may leave nullable
    // and primaryKey at their defaults here when finding them costs a catalogue look-up per
    // column, and fill them in describeKeys; likewise baseTable and baseColumn of a statement
    // without row identity (only writable columns need them outside describeKeys).
    virtual const std::vector<ColumnInfo>& columns() const = 0;
    // The same list as an immutable snapshot a rowset keeps for its lifetime. A backend may
    // hand the same snapshot to every rowset until its columns change (a prepared statement
    // executed again and again), instead of each rowset copying the list.
    virtual std::shared_ptr<const std::vector<ColumnInfo>> columnSnapshot() const {
        return std::make_shared<const std::vector<ColumnInfo>>(columns());
    }
    // Sets nullable and primaryKey of columns (this statement's column list or a copy of it),
    // and baseTable and baseColumn where columns() left them out, for column descriptions;
    // only they report those facts.
    virtual void describeKeys(std::vector<ColumnInfo>& columns) const { (void)columns; }
    // True when the statement produces a result set (even an empty one).
    virtual bool returnsRows() const = 0;
    // True when rows carry a RowIdentity and a single base table (see PrepareOptions).
    virtual bool hasRowIdentity() const = 0;
    // The single base table of the rows when hasRowIdentity().
    virtual std::string baseTable() const = 0;

    // Bind one parameter for the next execution. Contract: index < parameterCount(), and the
    // statement is reset (not between steps). The backend copies what it needs.
    virtual void bind(std::size_t index, const ValueView& value) = 0;
    // All parameters back to NULL.
    virtual void clearBindings() = 0;

    // Executes (first call) or advances. Returns true when a row is current; false when done.
    // For statements without rows, the first call runs it and returns false.
    virtual bool step() = 0;
    // The current row's value. Contract: the last step() returned true, index < columns().size().
    virtual ValueView value(std::size_t index) const = 0;
    // The current row's identity. Contract: hasRowIdentity() and the last step() returned true.
    virtual RowIdentity rowIdentity() const = 0;
    // Ready to run again with the same bindings.
    virtual void reset() = 0;
    // Whether seek() can place this statement on any row of its result cheaply: a query the
    // database can run afresh from an offset, passing over the rows before it without handing
    // them out. A rowset over such a statement keeps only a window of rows, not all it has seen.
    virtual bool canSeek() const { return false; }
    // Runs the query afresh so that the next step() gives its row `row` (0-based), or the end
    // when the result is shorter. The rows before it are not read. Returns false when the
    // statement cannot be placed this way after all (the statement is then reset). Contract:
    // canSeek(). A query over unchanged data gives its rows in the same order on every run.
    virtual bool seek(std::uint64_t row) {
        (void)row;
        return false;
    }
    // Rows changed by the last completed run; -1 when not a data-changing statement.
    virtual std::int64_t rowsAffected() const = 0;
};

enum class IsolationLevel : std::uint8_t {
    ReadUncommitted,
    ReadCommitted,
    RepeatableRead,
    Serializable
};

struct ConnectionInfo {
    std::string dbmsName;       // DBPROP_DBMSNAME, e.g. "SQLite"
    std::string dbmsVersion;    // DBPROP_DBMSVER, the library's version text
    std::string serverName;     // DBPROP_SERVERNAME
    std::string catalog;        // DBPROP_CURRENTCATALOG / DBPROP_INIT_CATALOG
    std::string dataSourceName; // DBPROP_DATASOURCENAME
    bool readOnly = false;      // DBPROP_DATASOURCEREADONLY
    // A bridge's driver (KAGPROP_DRIVERNAME, _DRIVERVER, _DRIVERODBCVER of
    // DBPROPSET_PROVIDERDATASOURCEINFO); a backend without a driver leaves the name empty and
    // the set is not offered.
    std::string driverName;
    std::string driverVersion;
    std::string driverOdbcVersion;
    // Isolation levels begin() accepts as such; others are raised to the next stronger one.
    std::vector<IsolationLevel> isolationLevels;
};

// A column to create (from ITableDefinition::CreateTable). The backend chooses declarations
// that describe back as the same type and size.
struct ColumnDefinition {
    std::string name;
    std::string typeName; // the consumer's type name (DBCOLUMNDESC::pwszTypeName), may be empty
    DbType type = 0;
    std::size_t size = 0; // 0 = the type's default
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool nullable = true;
    bool primaryKey = false;
    bool unique = false;
    std::optional<Value> defaultValue;
};

class Connection {
public:
    virtual ~Connection() = default;

    virtual ConnectionInfo info() const = 0;

    virtual std::unique_ptr<Statement> prepare(std::string_view sqlUtf8,
                                               const PrepareOptions& options) = 0;
    // The same, as the shared statement the kit keeps. A backend that makes the statement and
    // its reference count in one allocation (make_shared) saves one per execution.
    virtual std::shared_ptr<Statement> prepareShared(std::string_view sqlUtf8,
                                                     const PrepareOptions& options) {
        return prepare(sqlUtf8, options);
    }
    // A statement reading all columns of one table (IOpenRowset). Throws NoTable when missing.
    virtual std::unique_ptr<Statement> prepareTableScan(std::string_view table,
                                                        const PrepareOptions& options) = 0;

    // Transactions. Outside begin()/commit() every statement commits on its own.
    virtual void begin(IsolationLevel level) = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // Statement-level savepoints, usable inside and outside a transaction. Names are plain
    // identifiers chosen by the kit.
    virtual void savepoint(std::string_view name) = 0;
    virtual void releaseSavepoint(std::string_view name) = 0;
    virtual void rollbackToSavepoint(std::string_view name) = 0;

    // DDL.
    virtual void createTable(std::string_view table, std::span<const ColumnDefinition> columns) = 0;
    virtual void dropTable(std::string_view table) = 0;
    virtual bool tableExists(std::string_view table) = 0;

    // One row of a base table by its identity. Column names are base column names.
    // readRow: the current values of the columns, or false when the row no longer exists.
    virtual bool readRow(std::string_view table, const RowIdentity& id,
                         std::span<const std::string> columns, std::vector<Value>& values) = 0;
    // updateRow / deleteRow: false when the row no longer exists.
    virtual bool updateRow(std::string_view table, const RowIdentity& id,
                           std::span<const std::string> columns,
                           std::span<const ValueView> values) = 0;
    virtual RowIdentity insertRow(std::string_view table, std::span<const std::string> columns,
                                  std::span<const ValueView> values) = 0;
    virtual bool deleteRow(std::string_view table, const RowIdentity& id) = 0;
};

// ---- Initialisation settings and the provider's property table ----

// Which property set an initialisation property lives in.
enum class PropertySet : std::uint8_t {
    DbInit,  // DBPROPSET_DBINIT (DBPROP_INIT_DATASOURCE, DBPROP_INIT_MODE, ...)
    KitInit, // DBPROPSET_VANTREL_KITINIT: the kit's own initialisation properties (below)
};

// Properties of DBPROPSET_VANTREL_KITINIT, implemented by the kit for every provider.
// kitPropConcurrency: VT_BSTR "Optimistic" (default) or "Locking" (case-insensitive).
inline constexpr std::uint32_t kitPropConcurrency = 0x1001;

// DBPROPFLAGS_* values as published, so a backend's table needs no OLE DB header.
inline constexpr std::uint32_t propFlagRead = 0x400;
inline constexpr std::uint32_t propFlagWrite = 0x800;
inline constexpr std::uint32_t propFlagRequired = 0x1000;
inline constexpr std::uint32_t propFlagDbInit = 0x80;

// One row of a declarative property table. A backend lists DBPROP_INIT_CATALOG when it has
// catalogs; left empty by the consumer, the kit reports ConnectionInfo::catalog for it after
// Initialize. Integer-like types (VT_I2, VT_I4, VT_BOOL) use
// intDefault (VT_BOOL: 0 false, non-zero true); VT_BSTR uses textDefault (nullptr = empty,
// which means "not set" for an optional property).
struct PropertyRow {
    PropertySet set;
    std::uint32_t id;
    VarType type;
    std::uint32_t flags;
    std::int64_t intDefault;
    const char16_t* textDefault;
    // GetPropertyInfo's description, also the connection-string keyword ("Data Source").
    const char16_t* description;
    // Values to offer a user for picking (DBPROPINFO.vValues, a VT_ARRAY | VT_BSTR), asked
    // each time the property is described, so a list that changes outside the provider stays
    // current. The provider still takes other values. nullptr: no list.
    std::vector<std::u16string> (*offeredValues)() = nullptr;
};

// The value of one initialisation property as the consumer left it (or its default).
struct InitSetting {
    PropertySet set;
    std::uint32_t id;
    Value value; // Int for integer-like and VT_BOOL (0/1), Text (UTF-8) for VT_BSTR
};
using InitSettings = std::vector<InitSetting>;

inline const Value* findSetting(const InitSettings& settings, PropertySet set, std::uint32_t id) {
    for (const InitSetting& s : settings)
        if (s.set == set && s.id == id)
            return &s.value;
    return nullptr;
}

// Opens a connection from the settings. Throws BackendError (typically CantOpen, ReadOnly,
// Timeout) with the database's message.
using OpenConnection = std::unique_ptr<Connection> (*)(const InitSettings& settings);

struct ProviderDescriptor {
    const char* clsid;                        // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
    const char16_t* progId;                   // u"Vantrel.SQLite.1"
    const char16_t* versionIndependentProgId; // u"Vantrel.SQLite"
    const char16_t* description;              // class description and error-object source
    const char16_t* friendlyName;             // DBPROP_PROVIDERFRIENDLYNAME
    const char16_t* providerVersion;          // DBPROP_PROVIDERVER, "01.00.0000"
    const char16_t* fileName;                 // DBPROP_PROVIDERFILENAME
    std::span<const PropertyRow> initProperties;
    OpenConnection open;
};

} // namespace vantrel::kit

#include "OdbcStatement.h"

#include "OdbcDiagnostics.h"
#include "OdbcSqlText.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vantrel::odbc {

namespace {

// First size of a text column's read buffer (characters) when the column's size is unknown.
constexpr std::size_t firstChunk = 256;

// Marks the part of a text buffer the driver has not written: a noncharacter, never in text.
constexpr SQLWCHAR unwritten = 0xFFFF;

// How many characters a driver really put into a piece of `fits` characters (and its NUL),
// given the length it claimed. A driver's NUL ends character data: where the claim does not
// land on it (a driver that says more than it wrote), the terminator is the last NUL before
// the unwritten marks, so stale text from an earlier row never becomes part of this value.
std::size_t deliveredLength(const SQLWCHAR* piece, std::size_t fits, std::size_t claimed) {
    if (claimed <= fits && piece[claimed] == 0)
        return claimed;
    std::size_t written = 0;
    while (written <= fits && piece[written] != unwritten)
        ++written;
    for (std::size_t i = written; i-- > 0;)
        if (piece[i] == 0)
            return i;
    return std::min(written, fits);
}

bool equalNames(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string columnText(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLWCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLColAttributeW(statement, column, field, buffer, sizeof buffer, &length, nullptr);
    if (!succeeded(rc))
        return {};
    return fromWideBuffer(buffer, std::size(buffer), length);
}

SQLLEN columnNumber(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field, SQLLEN fallback) {
    SQLLEN value = fallback;
    if (!succeeded(SQLColAttributeW(statement, column, field, nullptr, 0, nullptr, &value)))
        return fallback;
    return value;
}

} // namespace

OdbcStatement::OdbcStatement(OdbcConnection& connection, std::string_view sql,
                             const kit::PrepareOptions& options)
    : connection_(connection) {
    const std::string text(sql);
    prepareText(text);
    describeColumns(0);
    describeParameters(text);
    if (options.wantRowIdentity && !columns_.empty())
        findRowIdentity(text);
    sizeTextColumnsFromCatalog();
}

void OdbcStatement::sizeTextColumnsFromCatalog() {
    // Some drivers describe a prepared query's character columns with a default size (255)
    // until it runs; the catalog knows the declared one.
    for (kit::ColumnInfo& c : columns_) {
        if (c.type != dbtype::Str || c.baseTable.empty() || c.baseColumn.empty())
            continue;
        for (const TableColumn& t : connection_.tableColumns(c.baseTable))
            if (equalNames(t.name, c.baseColumn) && t.size > 0 && t.size <= longDataThreshold)
                c.size = t.size;
    }
}

void OdbcStatement::prepareText(const std::string& sql) {
    statement_ = connection_.newStatement();
    WideText wide = toWide(sql);
    check(SQLPrepareW(statement_.get(), wide.data(), static_cast<SQLINTEGER>(wide.size())),
          SQL_HANDLE_STMT, statement_.get(), "SQLPrepare");
}

void OdbcStatement::describeColumns(std::size_t hidden) {
    SQLHSTMT s = statement_.get();
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(s, &count), SQL_HANDLE_STMT, s, "SQLNumResultCols");
    if (count < 0 || std::size_t(count) < hidden)
        throw kit::BackendError(kit::ErrorClass::Other,
                                "ovladač ODBC popsal méně sloupců, než se čekalo");
    columns_.clear();
    readers_.assign(std::size_t(count), Column{});
    hidden_ = hidden;
    for (SQLUSMALLINT n = 1; n <= SQLUSMALLINT(count); ++n) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        check(SQLDescribeColW(s, n, name, SQLSMALLINT(std::size(name)), &nameLength, &sqlType,
                              &size, &digits, &nullable),
              SQL_HANDLE_STMT, s, "SQLDescribeCol");
        const bool isUnsigned = columnNumber(s, n, SQL_DESC_UNSIGNED, SQL_FALSE) == SQL_TRUE;
        const OleDbType type = oleDbTypeOf(sqlType, size, digits, isUnsigned);
        readers_[n - 1].reading = readingOf(type);
        if (n <= hidden)
            continue;
        kit::ColumnInfo c;
        c.name =
            fromWideBuffer(name, std::size(name), SQLLEN(nameLength) * SQLLEN(sizeof(SQLWCHAR)));
        c.type = type.type;
        c.size = type.size;
        c.precision = type.precision;
        c.scale = type.scale;
        c.nullable = nullable != SQL_NO_NULLS;
        c.baseTable = columnText(s, n, SQL_DESC_BASE_TABLE_NAME);
        c.baseColumn = columnText(s, n, SQL_DESC_BASE_COLUMN_NAME);
        // A column changes only where the driver names the table and column it comes from: some
        // drivers (SQLite's) name an expression's label as its base column and leave the table
        // empty, and call it updatable.
        c.writable =
            !c.baseTable.empty() && !c.baseColumn.empty() &&
            columnNumber(s, n, SQL_DESC_UPDATABLE, SQL_ATTR_READWRITE_UNKNOWN) != SQL_ATTR_READONLY;
        columns_.push_back(std::move(c));
    }
    row_.assign(std::size_t(count), kit::Value());
    refuseUnknownBaseColumns();
}

void OdbcStatement::refuseUnknownBaseColumns() {
    // SQLite's driver names an alias ("amount AS a2") as the base column of a real table; a
    // write through it would target a column that does not exist. Where the catalog lists the
    // table, a base column it does not list is no base column.
    for (kit::ColumnInfo& c : columns_) {
        if (!c.writable)
            continue;
        const std::vector<TableColumn>& known = connection_.tableColumns(c.baseTable);
        if (known.empty())
            continue; // the catalog cannot tell; the driver's word stands
        const bool listed = std::any_of(known.begin(), known.end(), [&](const TableColumn& t) {
            return equalNames(t.name, c.baseColumn);
        });
        if (!listed) {
            c.writable = false;
            c.baseColumn.clear();
        }
    }
}

void OdbcStatement::describeParameters(const std::string& sql) {
    SQLHSTMT s = statement_.get();
    SQLSMALLINT count = 0;
    check(SQLNumParams(s, &count), SQL_HANDLE_STMT, s, "SQLNumParams");
    parameters_.assign(count > 0 ? std::size_t(count) : 0, Parameter{});
    if (parameters_.empty() || describeInsertParameters(sql))
        return;
    for (SQLUSMALLINT n = 1; n <= parameters_.size(); ++n) {
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        if (!succeeded(SQLDescribeParam(s, n, &sqlType, &size, &digits, &nullable)))
            continue; // unknown: the consumer describes it, or the kit says what is missing
        Parameter& p = parameters_[n - 1];
        const OleDbType type = oleDbTypeOf(sqlType, size, digits, false);
        p.info.known = true;
        p.info.type = type.type;
        p.info.size = type.size;
        p.info.precision = type.precision;
        p.info.scale = type.scale;
        p.info.nullable = nullable != SQL_NO_NULLS;
        p.describedType = sqlType;
    }
}

bool OdbcStatement::describeInsertParameters(const std::string& sql) {
    const std::optional<InsertShape> shape = insertShape(sql);
    if (!shape || shape->markerColumns.size() != parameters_.size())
        return false;
    const std::vector<TableColumn>& table = connection_.tableColumns(shape->table);
    std::vector<const TableColumn*> found;
    for (const std::string& name : shape->markerColumns) {
        auto it = std::find_if(table.begin(), table.end(),
                               [&](const TableColumn& c) { return equalNames(c.name, name); });
        if (it == table.end())
            return false; // the INSERT's own error tells when it runs
        found.push_back(&*it);
    }
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        const TableColumn& c = *found[i];
        const OleDbType type = oleDbTypeOf(c.sqlType, c.size, c.digits, false);
        Parameter& p = parameters_[i];
        p.info.known = true;
        p.info.name = c.name;
        p.info.type = type.type;
        p.info.size = type.size;
        p.info.precision = type.precision;
        p.info.scale = type.scale;
        p.info.nullable = c.nullable;
        p.describedType = c.sqlType;
    }
    return true;
}

void OdbcStatement::findRowIdentity(const std::string& sql) {
    std::string table;
    for (const kit::ColumnInfo& c : columns_) {
        if (c.baseTable.empty())
            continue;
        if (table.empty())
            table = c.baseTable;
        else if (c.baseTable != table)
            return; // several tables
    }
    if (table.empty()) {
        // Drivers that do not name base tables: a plain single-table SELECT names it.
        const std::optional<std::string> named = singleTable(sql);
        if (!named)
            return;
        table = *named;
        const std::vector<TableColumn>& known = connection_.tableColumns(table);
        for (kit::ColumnInfo& c : columns_) {
            if (c.baseColumn.empty())
                c.baseColumn = c.name;
            // Only a column of the table itself changes; an expression stays read-only.
            const bool ofTable = std::any_of(known.begin(), known.end(), [&](const TableColumn& t) {
                return equalNames(t.name, c.baseColumn);
            });
            if (ofTable)
                c.baseTable = table;
            c.writable = ofTable;
        }
    }
    const std::vector<std::string>& key = connection_.primaryKey(table);
    if (key.empty())
        return;
    std::vector<std::size_t> found;
    for (const std::string& k : key) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (equalNames(columns_[i].baseColumn, k)) {
                found.push_back(i);
                break;
            }
        }
    }
    if (found.size() == key.size()) {
        keyColumns_ = std::move(found);
        for (std::size_t i : keyColumns_)
            columns_[i].primaryKey = true;
        baseTable_ = table;
        return;
    }
    // The key is not among the columns: prepare again with it as hidden leading columns.
    const std::optional<std::string_view> rest = afterSelect(sql);
    if (!rest)
        return;
    std::string list;
    for (const std::string& k : key)
        list += connection_.sqlName(k) + ", ";
    std::vector<kit::ColumnInfo> visible = columns_;
    std::vector<Column> readers = std::move(readers_);
    Handle plain = std::move(statement_);
    try {
        prepareText("SELECT " + list + std::string(*rest));
        describeColumns(key.size());
        if (columns_.size() != visible.size())
            throw kit::BackendError(kit::ErrorClass::Other, "sloupce výsledku se změnily");
    } catch (const kit::BackendError&) {
        statement_ = std::move(plain);
        columns_ = std::move(visible);
        readers_ = std::move(readers);
        hidden_ = 0;
        row_.assign(readers_.size(), kit::Value());
        return;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const bool wasKey = columns_[i].primaryKey;
        columns_[i] = visible[i];
        columns_[i].primaryKey = wasKey;
    }
    for (std::size_t i = 0; i < key.size(); ++i)
        keyColumns_.push_back(i);
    baseTable_ = table;
}

void OdbcStatement::bind(std::size_t index, const kit::ValueView& value) {
    Parameter& p = parameters_.at(index);
    p.kind = value.kind;
    switch (value.kind) {
    case kit::ValueKind::Null:
        p.indicator = SQL_NULL_DATA;
        return;
    case kit::ValueKind::Int:
        p.integer = value.integer;
        p.indicator = 0;
        return;
    case kit::ValueKind::Real:
        p.real = value.real;
        p.indicator = 0;
        return;
    case kit::ValueKind::Text: {
        // ASCII is the same in every character set a driver may read SQL_C_CHAR in, and costs
        // no conversion (nor the driver manager's, for drivers without wide functions).
        p.narrow = std::all_of(value.bytes.begin(), value.bytes.end(),
                               [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (p.narrow) {
            p.bytes.assign(value.bytes);
            p.indicator = SQLLEN(p.bytes.size());
        } else {
            assignWide(p.text, value.bytes);
            p.indicator = SQLLEN(p.text.size() * sizeof(SQLWCHAR));
        }
        return;
    }
    case kit::ValueKind::Blob:
        p.bytes.assign(value.bytes);
        p.indicator = SQLLEN(p.bytes.size());
        return;
    case kit::ValueKind::Timestamp: {
        const kit::Timestamp& t = value.timestamp;
        p.timestamp = {static_cast<SQLSMALLINT>(t.year),
                       t.month,
                       t.day,
                       t.hour,
                       t.minute,
                       t.second,
                       t.fraction};
        p.indicator = 0;
        return;
    }
    }
}

void OdbcStatement::clearBindings() {
    for (Parameter& p : parameters_) {
        p.kind = kit::ValueKind::Null;
        p.indicator = SQL_NULL_DATA;
    }
}

void OdbcStatement::bindOne(std::size_t index, Parameter& p) {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLPOINTER pointer = nullptr;
    SQLLEN bufferLength = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    switch (p.kind) {
    case kit::ValueKind::Null:
        // NULL needs no buffer; keep whatever was bound so a NULL among values costs nothing.
        if (p.boundCType != 0)
            return;
        pointer = p.text.data();
        size = p.info.size > 0 ? p.info.size : 1;
        break;
    case kit::ValueKind::Int:
        cType = SQL_C_SBIGINT;
        pointer = &p.integer;
        size = 19;
        break;
    case kit::ValueKind::Real:
        cType = SQL_C_DOUBLE;
        pointer = &p.real;
        size = 15;
        break;
    case kit::ValueKind::Text: {
        if (p.narrow) {
            cType = SQL_C_CHAR;
            pointer = p.bytes.data();
            bufferLength = SQLLEN(p.bytes.capacity());
        } else {
            pointer = p.text.data();
            bufferLength = SQLLEN(p.text.capacity() * sizeof(SQLWCHAR));
        }
        const std::size_t length = p.narrow ? p.bytes.size() : p.text.size();
        // Sizes in steps, so a loop of values of varying length rarely binds again.
        size = std::max<SQLULEN>(p.info.size, 255);
        while (size < length)
            size *= 2;
        break;
    }
    case kit::ValueKind::Blob:
        cType = SQL_C_BINARY;
        pointer = p.bytes.data();
        bufferLength = SQLLEN(p.bytes.capacity());
        size = std::max<SQLULEN>(p.info.size, 255);
        while (size < p.bytes.size())
            size *= 2;
        break;
    case kit::ValueKind::Timestamp:
        cType = SQL_C_TYPE_TIMESTAMP;
        pointer = &p.timestamp;
        digits = p.timestamp.fraction % 1000 == 0 ? 6 : 9;
        size = 20 + SQLULEN(digits);
        break;
    }
    SQLSMALLINT sqlType = p.describedType != 0 ? p.describedType : sqlTypeFor(p.kind);
    if (p.kind == kit::ValueKind::Text && p.describedType == 0)
        sqlType = SQL_WVARCHAR;
    if (cType == p.boundCType && sqlType == p.boundSqlType && pointer == p.boundPointer &&
        size == p.boundSize && digits == p.boundDigits)
        return;
    SQLHSTMT s = statement_.get();
    check(SQLBindParameter(s, SQLUSMALLINT(index + 1), SQL_PARAM_INPUT, cType, sqlType, size,
                           digits, pointer, bufferLength, &p.indicator),
          SQL_HANDLE_STMT, s, "SQLBindParameter");
    p.boundCType = cType;
    p.boundSqlType = sqlType;
    p.boundPointer = pointer;
    p.boundSize = size;
    p.boundDigits = digits;
}

void OdbcStatement::bindParameters() {
    for (std::size_t i = 0; i < parameters_.size(); ++i)
        bindOne(i, parameters_[i]);
}

bool OdbcStatement::step() {
    SQLHSTMT s = statement_.get();
    if (done_)
        return false;
    if (!executed_) {
        bindParameters();
        const SQLRETURN rc = SQLExecute(s);
        if (rc != SQL_NO_DATA)
            check(rc, SQL_HANDLE_STMT, s, "SQLExecute");
        executed_ = true;
        if (columns_.empty() && readers_.empty()) {
            SQLLEN count = -1;
            rowsAffected_ = succeeded(SQLRowCount(s, &count)) ? std::int64_t(count) : -1;
            done_ = true;
            return false;
        }
        rowsAffected_ = -1;
    }
    const SQLRETURN rc = SQLFetch(s);
    if (rc == SQL_NO_DATA) {
        done_ = true;
        SQLFreeStmt(s, SQL_CLOSE);
        return false;
    }
    check(rc, SQL_HANDLE_STMT, s, "SQLFetch");
    readRow();
    return true;
}

void OdbcStatement::readRow() {
    for (std::size_t i = 0; i < row_.size(); ++i)
        readColumn(i, row_[i]);
}

void OdbcStatement::readColumn(std::size_t index, kit::Value& out) {
    SQLHSTMT s = statement_.get();
    const SQLUSMALLINT column = SQLUSMALLINT(index + 1);
    Column& c = readers_[index];
    SQLLEN indicator = 0;
    switch (c.reading) {
    case Reading::Int: {
        SQLBIGINT v = 0;
        check(SQLGetData(s, column, SQL_C_SBIGINT, &v, sizeof v, &indicator), SQL_HANDLE_STMT, s,
              "SQLGetData");
        out.kind = indicator == SQL_NULL_DATA ? kit::ValueKind::Null : kit::ValueKind::Int;
        out.integer = v;
        return;
    }
    case Reading::Real: {
        double v = 0;
        check(SQLGetData(s, column, SQL_C_DOUBLE, &v, sizeof v, &indicator), SQL_HANDLE_STMT, s,
              "SQLGetData");
        out.kind = indicator == SQL_NULL_DATA ? kit::ValueKind::Null : kit::ValueKind::Real;
        out.real = v;
        return;
    }
    case Reading::Timestamp:
    case Reading::Date: {
        SQL_TIMESTAMP_STRUCT v{};
        check(SQLGetData(s, column, SQL_C_TYPE_TIMESTAMP, &v, sizeof v, &indicator),
              SQL_HANDLE_STMT, s, "SQLGetData");
        out.kind = indicator == SQL_NULL_DATA ? kit::ValueKind::Null : kit::ValueKind::Timestamp;
        out.timestamp = {
            static_cast<std::int16_t>(v.year),     v.month, v.day, v.hour, v.minute, v.second,
            static_cast<std::uint32_t>(v.fraction)};
        return;
    }
    case Reading::Bytes:
        readBytes(column, c, out);
        return;
    case Reading::Text:
        readText(column, c, out);
        return;
    }
}

void OdbcStatement::readText(SQLUSMALLINT column, Column& c, kit::Value& out) {
    SQLHSTMT s = statement_.get();
    if (c.wide.size() < firstChunk)
        c.wide.assign(firstChunk, 0);
    std::size_t have = 0;
    for (int piece = 0;; ++piece) {
        const std::size_t room = c.wide.size() - have; // characters, one kept for the NUL
        std::fill(c.wide.begin() + std::ptrdiff_t(have), c.wide.end(), unwritten);
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(s, column, SQL_C_WCHAR, c.wide.data() + have,
                                        SQLLEN(room * sizeof(SQLWCHAR)), &indicator);
        if (rc == SQL_NO_DATA)
            break; // everything was read by the previous piece
        check(rc, SQL_HANDLE_STMT, s, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            out.kind = kit::ValueKind::Null;
            return;
        }
        // The buffer less the NUL when the driver says the value goes on, else what it says it
        // wrote; either way only as far as its terminator, never past the buffer.
        const std::size_t fits = room - 1;
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO &&
            (indicator == SQL_NO_TOTAL || std::size_t(indicator) / sizeof(SQLWCHAR) > fits);
        const std::size_t claimed = truncated       ? fits
                                    : indicator < 0 ? 0
                                                    : std::size_t(indicator) / sizeof(SQLWCHAR);
        have += deliveredLength(c.wide.data() + have, fits, claimed);
        if (!truncated)
            break;
        const std::size_t wanted =
            indicator == SQL_NO_TOTAL ? c.wide.size() * 2
                                      : have + std::size_t(indicator) / sizeof(SQLWCHAR) - fits + 1;
        c.wide.resize(std::max(wanted, have + firstChunk), 0);
        if (piece > 100000)
            throw kit::BackendError(kit::ErrorClass::Other,
                                    "ovladač ODBC posílal stále další části jedné hodnoty");
    }
    out.kind = kit::ValueKind::Text;
    out.bytes = fromWide(c.wide.data(), have);
}

void OdbcStatement::readBytes(SQLUSMALLINT column, Column& c, kit::Value& out) {
    SQLHSTMT s = statement_.get();
    if (c.scratch.size() < firstChunk)
        c.scratch.assign(firstChunk, '\0');
    std::size_t have = 0;
    for (int piece = 0;; ++piece) {
        const std::size_t room = c.scratch.size() - have;
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(s, column, SQL_C_BINARY, c.scratch.data() + have, SQLLEN(room), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, s, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            out.kind = kit::ValueKind::Null;
            return;
        }
        const bool truncated = rc == SQL_SUCCESS_WITH_INFO &&
                               (indicator == SQL_NO_TOTAL || std::size_t(indicator) > room);
        if (!truncated) {
            have += indicator < 0 ? 0 : std::min(std::size_t(indicator), room);
            break;
        }
        have += room;
        const std::size_t wanted =
            indicator == SQL_NO_TOTAL ? c.scratch.size() * 2 : have + std::size_t(indicator) - room;
        c.scratch.resize(std::max(wanted, have + firstChunk), '\0');
        if (piece > 100000)
            throw kit::BackendError(kit::ErrorClass::Other,
                                    "ovladač ODBC posílal stále další části jedné hodnoty");
    }
    out.kind = kit::ValueKind::Blob;
    out.bytes.assign(c.scratch.data(), have);
}

kit::ValueView OdbcStatement::value(std::size_t index) const {
    return row_.at(hidden_ + index).view();
}

kit::RowIdentity OdbcStatement::rowIdentity() const {
    std::vector<kit::Value> key;
    for (std::size_t i : keyColumns_)
        key.push_back(row_.at(i < hidden_ ? i : hidden_ + i));
    return encodeIdentity(key);
}

void OdbcStatement::reset() {
    if (executed_)
        SQLFreeStmt(statement_.get(), SQL_CLOSE);
    executed_ = false;
    done_ = false;
}

} // namespace vantrel::odbc

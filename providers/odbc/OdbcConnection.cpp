#include "OdbcConnection.h"

#include "OdbcDiagnostics.h"
#include "OdbcSqlText.h"
#include "OdbcStatement.h"
#include "OdbcText.h"
#include "OdbcTypes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace vantrel::odbc {

namespace {

bool isPlainName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

const std::string& identityText(const kit::RowIdentity& id) {
    if (const auto* text = std::get_if<std::string>(&id))
        return *text;
    throw kit::BackendError(kit::ErrorClass::Other, "nejde o identitu řádku tohoto ovladače");
}

std::string literal(const kit::Value& v) {
    switch (v.kind) {
    case kit::ValueKind::Null:
        return "NULL";
    case kit::ValueKind::Int:
        return std::to_string(v.integer);
    case kit::ValueKind::Real: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.real);
        return buffer;
    }
    case kit::ValueKind::Timestamp: {
        const kit::Timestamp& t = v.timestamp;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "{ts '%04d-%02u-%02u %02u:%02u:%02u'}", t.year,
                      t.month, t.day, t.hour, t.minute, t.second);
        return buffer;
    }
    case kit::ValueKind::Text:
    case kit::ValueKind::Blob:
        break;
    }
    std::string out = "'";
    for (char c : v.bytes) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

SQLUINTEGER isolationValue(kit::IsolationLevel level) {
    switch (level) {
    case kit::IsolationLevel::ReadUncommitted:
        return SQL_TXN_READ_UNCOMMITTED;
    case kit::IsolationLevel::ReadCommitted:
        return SQL_TXN_READ_COMMITTED;
    case kit::IsolationLevel::RepeatableRead:
        return SQL_TXN_REPEATABLE_READ;
    case kit::IsolationLevel::Serializable:
        break;
    }
    return SQL_TXN_SERIALIZABLE;
}

} // namespace

std::string encodeIdentity(std::span<const kit::Value> keyValues) {
    // Per value: its kind letter, the length of its text form, ':' and the text.
    std::string out;
    for (const kit::Value& v : keyValues) {
        std::string text;
        char kind = 'n';
        switch (v.kind) {
        case kit::ValueKind::Null:
            break;
        case kit::ValueKind::Int:
            kind = 'i';
            text = std::to_string(v.integer);
            break;
        case kit::ValueKind::Real: {
            kind = 'r';
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.17g", v.real);
            text = buffer;
            break;
        }
        case kit::ValueKind::Text:
            kind = 't';
            text = v.bytes;
            break;
        case kit::ValueKind::Blob:
            kind = 'b';
            text = v.bytes;
            break;
        case kit::ValueKind::Timestamp: {
            kind = 'd';
            const kit::Timestamp& t = v.timestamp;
            text = std::to_string(t.year) + " " + std::to_string(t.month) + " " +
                   std::to_string(t.day) + " " + std::to_string(t.hour) + " " +
                   std::to_string(t.minute) + " " + std::to_string(t.second) + " " +
                   std::to_string(t.fraction);
            break;
        }
        }
        out += kind;
        out += std::to_string(text.size());
        out += ':';
        out += text;
    }
    return out;
}

std::vector<kit::Value> decodeIdentity(const std::string& identity) {
    auto malformed = [] {
        return kit::BackendError(kit::ErrorClass::Other, "poškozená identita řádku");
    };
    std::vector<kit::Value> values;
    std::size_t pos = 0;
    while (pos < identity.size()) {
        const char kind = identity[pos++];
        std::size_t length = 0;
        const auto [end, ec] =
            std::from_chars(identity.data() + pos, identity.data() + identity.size(), length);
        const std::size_t colon = std::size_t(end - identity.data());
        if (ec != std::errc() || colon >= identity.size() || identity[colon] != ':' ||
            length > identity.size() - colon - 1)
            throw malformed();
        const std::string text = identity.substr(colon + 1, length);
        pos = colon + 1 + length;
        kit::Value v;
        switch (kind) {
        case 'n':
            break;
        case 'i':
            v.kind = kit::ValueKind::Int;
            v.integer = std::stoll(text);
            break;
        case 'r':
            v.kind = kit::ValueKind::Real;
            v.real = std::stod(text);
            break;
        case 't':
        case 'b':
            v.kind = kind == 't' ? kit::ValueKind::Text : kit::ValueKind::Blob;
            v.bytes = text;
            break;
        case 'd': {
            v.kind = kit::ValueKind::Timestamp;
            int y = 0;
            unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0, f = 0;
            if (std::sscanf(text.c_str(), "%d %u %u %u %u %u %u", &y, &mo, &d, &h, &mi, &s, &f) !=
                7)
                throw malformed();
            v.timestamp = {static_cast<std::int16_t>(y),
                           static_cast<std::uint16_t>(mo),
                           static_cast<std::uint16_t>(d),
                           static_cast<std::uint16_t>(h),
                           static_cast<std::uint16_t>(mi),
                           static_cast<std::uint16_t>(s),
                           f};
            break;
        }
        default:
            throw malformed();
        }
        values.push_back(std::move(v));
    }
    return values;
}

OdbcConnection::OdbcConnection(const ConnectSettings& settings) {
    SQLHANDLE env = SQL_NULL_HANDLE;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw kit::BackendError(kit::ErrorClass::CantOpen,
                                "správce ovladačů ODBC nemohl vytvořit prostředí");
    environment_ = Handle(SQL_HANDLE_ENV, env);
    check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env, "SQLSetEnvAttr");
    SQLHANDLE dbc = SQL_NULL_HANDLE;
    check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "SQLAllocHandle");
    dbc_ = Handle(SQL_HANDLE_DBC, dbc);
    const SQLULEN timeout = SQLULEN(settings.timeout);
    // Not every driver has the time-outs; those that do not say so with a warning.
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    SQLSetConnectAttrW(dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    WideText text = toWide(settings.connectionString);
    SQLWCHAR completed[1024] = {};
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(
        dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), completed,
        SQLSMALLINT(std::size(completed)), &completedLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        kit::BackendError error = failure(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
        throw kit::BackendError(kit::ErrorClass::CantOpen, error.what(), error.nativeCode());
    }
    if (rc == SQL_SUCCESS_WITH_INFO)
        keepWarnings(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    connected_ = true;
    try {
        if (!settings.catalog.empty()) {
            WideText catalog = toWide(settings.catalog);
            check(SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, catalog.data(),
                                     SQLINTEGER(catalog.size() * sizeof(SQLWCHAR))),
                  SQL_HANDLE_DBC, dbc, "Initial Catalog");
        }
        describe(settings);
    } catch (const kit::BackendError& e) {
        throw kit::BackendError(kit::ErrorClass::CantOpen, e.what(), e.nativeCode());
    }
}

OdbcConnection::~OdbcConnection() {
    if (connected_) {
        if (!autocommit_)
            SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        SQLDisconnect(dbc_.get());
    }
}

std::string OdbcConnection::infoText(SQLUSMALLINT what) const {
    SQLWCHAR buffer[512] = {};
    SQLSMALLINT length = 0;
    if (!succeeded(SQLGetInfoW(dbc_.get(), what, buffer, sizeof buffer, &length)))
        return {};
    return fromWideBuffer(buffer, std::size(buffer), length);
}

void OdbcConnection::describe(const ConnectSettings& settings) {
    SQLHDBC dbc = dbc_.get();
    if (settings.readOnly) {
        // Drivers that cannot keep a connection read-only say so here; the session itself is
        // made read-only where the database has the statement for it.
        SQLSetConnectAttrW(dbc, SQL_ATTR_ACCESS_MODE,
                           reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    }
    info_.dbmsName = infoText(SQL_DBMS_NAME);
    info_.dbmsVersion = infoText(SQL_DBMS_VER);
    info_.serverName = infoText(SQL_SERVER_NAME);
    info_.dataSourceName = infoText(SQL_DATA_SOURCE_NAME);
    info_.driverName = infoText(SQL_DRIVER_NAME);
    info_.driverVersion = infoText(SQL_DRIVER_VER);
    info_.driverOdbcVersion = infoText(SQL_DRIVER_ODBC_VER);
    if (info_.dataSourceName.empty())
        info_.dataSourceName = settings.dataSourceName;
    {
        SQLWCHAR buffer[512] = {};
        SQLINTEGER length = 0;
        if (succeeded(
                SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, buffer, sizeof buffer, &length)))
            info_.catalog = fromWideBuffer(buffer, std::size(buffer), length);
        if (info_.catalog.empty())
            info_.catalog = infoText(SQL_DATABASE_NAME);
    }
    const std::string quote = infoText(SQL_IDENTIFIER_QUOTE_CHAR);
    quote_ = quote == " " ? std::string() : quote.empty() ? "\"" : quote;

    if (settings.readOnly) {
        const std::string dbms = lower(info_.dbmsName);
        if (dbms.find("postgres") != std::string::npos)
            run("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
        else if (dbms.find("mysql") != std::string::npos ||
                 dbms.find("mariadb") != std::string::npos)
            run("SET SESSION TRANSACTION READ ONLY");
    }
    SQLUINTEGER mode = SQL_MODE_READ_WRITE;
    SQLGetConnectAttrW(dbc, SQL_ATTR_ACCESS_MODE, &mode, sizeof mode, nullptr);
    info_.readOnly = settings.readOnly || mode == SQL_MODE_READ_ONLY ||
                     infoText(SQL_DATA_SOURCE_READ_ONLY) == "Y";

    SQLUINTEGER mask = 0;
    if (succeeded(SQLGetInfoW(dbc, SQL_TXN_ISOLATION_OPTION, &mask, sizeof mask, nullptr)))
        isolationMask_ = mask;
    const std::pair<SQLUINTEGER, kit::IsolationLevel> levels[] = {
        {SQL_TXN_READ_UNCOMMITTED, kit::IsolationLevel::ReadUncommitted},
        {SQL_TXN_READ_COMMITTED, kit::IsolationLevel::ReadCommitted},
        {SQL_TXN_REPEATABLE_READ, kit::IsolationLevel::RepeatableRead},
        {SQL_TXN_SERIALIZABLE, kit::IsolationLevel::Serializable}};
    for (const auto& [bit, level] : levels)
        if ((isolationMask_ & bit) != 0)
            info_.isolationLevels.push_back(level);
}

Handle OdbcConnection::newStatement() {
    SQLHANDLE statement = SQL_NULL_HANDLE;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &statement), SQL_HANDLE_DBC, dbc_.get(),
          "SQLAllocHandle");
    return Handle(SQL_HANDLE_STMT, statement);
}

std::string OdbcConnection::sqlName(std::string_view name) const {
    if (isPlainName(name) || quote_.empty())
        return std::string(name);
    std::string out = quote_;
    for (char c : name) {
        out += c;
        if (std::string_view(quote_) == std::string_view(&c, 1))
            out += c;
    }
    return out + quote_;
}

std::unique_ptr<kit::Statement> OdbcConnection::prepare(std::string_view sql,
                                                        const kit::PrepareOptions& options) {
    return std::make_unique<OdbcStatement>(*this, sql, options);
}

std::unique_ptr<kit::Statement>
OdbcConnection::prepareTableScan(std::string_view table, const kit::PrepareOptions& options) {
    if (!tableExists(table))
        throw kit::BackendError(kit::ErrorClass::NoTable,
                                "tabulka \"" + std::string(table) + "\" neexistuje");
    return prepare("SELECT * FROM " + sqlName(table), options);
}

void OdbcConnection::run(const std::string& sql) {
    Handle statement = newStatement();
    WideText wide = toWide(sql);
    const SQLRETURN rc =
        SQLExecDirectW(statement.get(), wide.data(), static_cast<SQLINTEGER>(wide.size()));
    if (rc != SQL_NO_DATA)
        check(rc, SQL_HANDLE_STMT, statement.get(), "SQLExecDirect");
}

std::unique_ptr<OdbcStatement> OdbcConnection::runWith(const std::string& sql,
                                                       std::span<const kit::ValueView> parameters,
                                                       bool& hasRow) {
    auto statement = std::make_unique<OdbcStatement>(*this, sql, kit::PrepareOptions{});
    if (statement->parameterCount() != parameters.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "ovladač napočítal v příkazu jiné parametry: " + sql);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        statement->bind(i, parameters[i]);
    hasRow = statement->step();
    return statement;
}

void OdbcConnection::setAutocommit(bool on) {
    if (autocommit_ == on)
        return;
    check(SQLSetConnectAttrW(
              dbc_.get(), SQL_ATTR_AUTOCOMMIT,
              reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
              SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc_.get(), "SQLSetConnectAttr(SQL_ATTR_AUTOCOMMIT)");
    autocommit_ = on;
}

void OdbcConnection::begin(kit::IsolationLevel level) {
    if (!autocommit_)
        throw kit::BackendError(kit::ErrorClass::Other, "transakce již probíhá");
    SQLUINTEGER wanted = isolationValue(level);
    // The next stronger level the driver has, if any.
    for (SQLUINTEGER bit = wanted; bit != 0 && bit <= SQL_TXN_SERIALIZABLE; bit <<= 1) {
        if ((isolationMask_ & bit) != 0) {
            wanted = bit;
            break;
        }
    }
    if ((isolationMask_ & wanted) != 0 && isolation_ != wanted) {
        check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_TXN_ISOLATION,
                                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(wanted)),
                                 SQL_IS_UINTEGER),
              SQL_HANDLE_DBC, dbc_.get(), "SQLSetConnectAttr(SQL_ATTR_TXN_ISOLATION)");
        isolation_ = wanted;
    }
    setAutocommit(false);
    implicitTransaction_ = false;
}

void OdbcConnection::endTransaction(SQLSMALLINT completion) {
    if (autocommit_)
        throw kit::BackendError(kit::ErrorClass::Other, "žádná transakce neprobíhá");
    implicitTransaction_ = false;
    implicitSavepoints_ = 0;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion);
    if (!succeeded(rc)) {
        kit::BackendError error = failure(SQL_HANDLE_DBC, dbc_.get(), "SQLEndTran");
        // The transaction is over either way; back to autocommit, which a lost connection may
        // refuse too.
        if (completion == SQL_COMMIT)
            SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
        autocommit_ = true;
        throw error;
    }
    if (rc == SQL_SUCCESS_WITH_INFO)
        keepWarnings(SQL_HANDLE_DBC, dbc_.get(), "SQLEndTran");
    setAutocommit(true);
}

void OdbcConnection::commit() {
    endTransaction(SQL_COMMIT);
}

void OdbcConnection::rollback() {
    endTransaction(SQL_ROLLBACK);
}

void OdbcConnection::savepoint(std::string_view name) {
    if (autocommit_) {
        setAutocommit(false);
        implicitTransaction_ = true;
        implicitSavepoints_ = 0;
    }
    try {
        run("SAVEPOINT " + sqlName(name));
    } catch (...) {
        if (implicitTransaction_ && implicitSavepoints_ == 0) {
            try {
                endTransaction(SQL_ROLLBACK);
            } catch (const kit::BackendError&) {
            }
        }
        throw;
    }
    if (implicitTransaction_)
        ++implicitSavepoints_;
}

void OdbcConnection::releaseSavepoint(std::string_view name) {
    run("RELEASE SAVEPOINT " + sqlName(name));
    if (implicitTransaction_ && --implicitSavepoints_ <= 0)
        endTransaction(SQL_COMMIT);
}

void OdbcConnection::rollbackToSavepoint(std::string_view name) {
    run("ROLLBACK TO SAVEPOINT " + sqlName(name));
}

const std::vector<TypeInfo>& OdbcConnection::typesOf(SQLSMALLINT sqlType) {
    if (auto it = types_.find(sqlType); it != types_.end())
        return it->second;
    std::vector<TypeInfo> rows;
    Handle statement = newStatement();
    SQLHSTMT s = statement.get();
    const SQLRETURN rc = SQLGetTypeInfoW(s, sqlType);
    if (succeeded(rc)) {
        auto text = [&](SQLUSMALLINT column) {
            SQLWCHAR buffer[256] = {};
            SQLLEN length = 0;
            if (!succeeded(SQLGetData(s, column, SQL_C_WCHAR, buffer, sizeof buffer, &length)) ||
                length <= 0)
                return std::string();
            return fromWideBuffer(buffer, std::size(buffer), length);
        };
        auto number = [&](SQLUSMALLINT column) {
            SQLINTEGER value = 0;
            SQLLEN length = 0;
            if (!succeeded(SQLGetData(s, column, SQL_C_SLONG, &value, sizeof value, &length)) ||
                length == SQL_NULL_DATA)
                return SQLINTEGER(0);
            return value;
        };
        while (succeeded(SQLFetch(s))) {
            TypeInfo t;
            t.name = text(1);
            t.sqlType = static_cast<SQLSMALLINT>(number(2));
            t.columnSize = number(3);
            t.createParams = lower(text(6));
            t.isUnsigned = number(10) == SQL_TRUE;
            t.autoUnique = number(12) == SQL_TRUE;
            if (!t.name.empty())
                rows.push_back(std::move(t));
        }
    }
    return types_[sqlType] = std::move(rows);
}

namespace {

// Type names consumers commonly give, with the SQL type the driver's own name is looked up by
// when the driver does not know the name itself.
struct CommonTypeName {
    std::string_view name;
    SQLSMALLINT sqlType;
};
constexpr CommonTypeName commonTypeNames[] = {
    {"char", SQL_CHAR},
    {"character", SQL_CHAR},
    {"nchar", SQL_WCHAR},
    {"varchar", SQL_VARCHAR},
    {"character varying", SQL_VARCHAR},
    {"nvarchar", SQL_WVARCHAR},
    {"text", SQL_LONGVARCHAR},
    {"ntext", SQL_WLONGVARCHAR},
    {"clob", SQL_LONGVARCHAR},
    {"datetime", SQL_TYPE_TIMESTAMP},
    {"datetime2", SQL_TYPE_TIMESTAMP},
    {"timestamp", SQL_TYPE_TIMESTAMP},
    {"date", SQL_TYPE_DATE},
    {"time", SQL_TYPE_TIME},
    {"int", SQL_INTEGER},
    {"integer", SQL_INTEGER},
    {"smallint", SQL_SMALLINT},
    {"tinyint", SQL_TINYINT},
    {"bigint", SQL_BIGINT},
    {"real", SQL_REAL},
    {"float", SQL_DOUBLE},
    {"double", SQL_DOUBLE},
    {"double precision", SQL_DOUBLE},
    {"decimal", SQL_DECIMAL},
    {"numeric", SQL_NUMERIC},
    {"bit", SQL_BIT},
    {"bool", SQL_BIT},
    {"boolean", SQL_BIT},
    {"binary", SQL_BINARY},
    {"varbinary", SQL_VARBINARY},
    {"blob", SQL_LONGVARBINARY},
};

} // namespace

std::optional<std::string> OdbcConnection::typeFor(std::span<const SQLSMALLINT> sqlTypes,
                                                   const kit::ColumnDefinition& column) {
    const bool isText =
        column.type == dbtype::Str || column.type == dbtype::WStr || column.type == dbtype::Bytes;
    const bool mysqlLike = lower(info_.dbmsName).find("mysql") != std::string::npos ||
                           lower(info_.dbmsName).find("mariadb") != std::string::npos;
    // Types that number themselves (PostgreSQL's serial) only when nothing else fits: MariaDB
    // marks every integer type as able to.
    for (const bool allowAutoUnique : {false, true}) {
        for (SQLSMALLINT sqlType : sqlTypes) {
            for (const TypeInfo& t : typesOf(sqlType)) {
                if ((t.autoUnique && !allowAutoUnique) || t.isUnsigned)
                    continue; // unsigned variants change what the column holds
                // MySQL's TIMESTAMP sets itself on every update; DATETIME holds what is stored.
                if (mysqlLike && lower(t.name) == "timestamp" && sqlType == SQL_TYPE_TIMESTAMP)
                    continue;
                const bool sized = t.createParams.find("length") != std::string::npos ||
                                   t.createParams.find("size") != std::string::npos;
                if (isText && column.size > 0) {
                    if (t.columnSize > 0 && SQLULEN(t.columnSize) < column.size)
                        continue; // too short for the wanted size
                    if (sized)
                        return t.name + "(" + std::to_string(column.size) + ")";
                }
                if (isText && column.size == 0 && sized)
                    continue; // needs a length
                return t.name;
            }
        }
    }
    return std::nullopt;
}

std::string OdbcConnection::declarationFor(const kit::ColumnDefinition& column) {
    const bool isText =
        column.type == dbtype::Str || column.type == dbtype::WStr || column.type == dbtype::Bytes;
    if (!column.typeName.empty()) {
        // A type name of the consumer's: as the driver knows it, else the driver's own name
        // for a common one ("datetime" is "timestamp" on PostgreSQL), else refused.
        const std::string wanted = lower(column.typeName);
        for (const TypeInfo& t : typesOf(SQL_ALL_TYPES)) {
            if (lower(t.name) == wanted) {
                if (isText && column.size > 0 && !t.createParams.empty())
                    return t.name + "(" + std::to_string(column.size) + ")";
                return t.name;
            }
        }
        for (const CommonTypeName& common : commonTypeNames) {
            if (common.name != wanted)
                continue;
            const SQLSMALLINT sqlTypes[] = {common.sqlType};
            if (std::optional<std::string> found = typeFor(sqlTypes, column))
                return *found;
            const std::vector<SQLSMALLINT> byType = sqlTypesFor(column.type, column.size);
            if (std::optional<std::string> found = typeFor(byType, column))
                return *found;
        }
        throw kit::BackendError(kit::ErrorClass::UnknownType, "sloupec " + column.name +
                                                                  ": ovladač ODBC nezná typ \"" +
                                                                  column.typeName + "\"");
    }
    const std::vector<SQLSMALLINT> byType = sqlTypesFor(column.type, column.size);
    if (std::optional<std::string> found = typeFor(byType, column))
        return *found;
    throw kit::BackendError(kit::ErrorClass::TypeMismatch,
                            "sloupec " + column.name + ": ovladač ODBC nemá typ pro DBTYPE " +
                                std::to_string(column.type));
}

void OdbcConnection::createTable(std::string_view table,
                                 std::span<const kit::ColumnDefinition> columns) {
    if (table.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax, "tabulka musí mít název");
    if (columns.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax,
                                "tabulka musí mít alespoň jeden sloupec: " + std::string(table));
    if (tableExists(table))
        throw kit::BackendError(kit::ErrorClass::DuplicateTable,
                                "tabulka \"" + std::string(table) + "\" již existuje");
    std::string sql = "CREATE TABLE " + sqlName(table) + " (";
    std::string key;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const kit::ColumnDefinition& c = columns[i];
        if (c.name.empty())
            throw kit::BackendError(kit::ErrorClass::Syntax, "sloupec " + std::to_string(i + 1) +
                                                                 " tabulky " + std::string(table) +
                                                                 " nemá název");
        const std::string name = sqlName(c.name);
        sql += (i != 0 ? ", " : "") + name + " " + declarationFor(c);
        if (c.defaultValue && !c.defaultValue->isNull())
            sql += " DEFAULT " + literal(*c.defaultValue);
        if (!c.nullable || c.primaryKey)
            sql += " NOT NULL";
        if (c.unique && !c.primaryKey)
            sql += " UNIQUE";
        if (c.primaryKey)
            key += (key.empty() ? "" : ", ") + name;
    }
    if (!key.empty())
        sql += ", PRIMARY KEY (" + key + ")";
    sql += ")";
    run(sql);
    keys_.clear();
    columns_.clear();
}

void OdbcConnection::dropTable(std::string_view table) {
    if (!tableExists(table))
        throw kit::BackendError(kit::ErrorClass::NoTable,
                                "tabulka \"" + std::string(table) + "\" neexistuje");
    keys_.clear();
    columns_.clear();
    run("DROP TABLE " + sqlName(table));
}

bool OdbcConnection::tableExists(std::string_view table) {
    if (table.empty() || table.find('\0') != std::string_view::npos)
        return false;
    // Asking the table itself finds it exactly as the consumer's SQL would (search path,
    // current database, case folding), which catalog functions do not all agree on.
    try {
        Handle statement = newStatement();
        WideText wide = toWide("SELECT 1 FROM " + sqlName(table) + " WHERE 1 = 0");
        const SQLRETURN rc =
            SQLExecDirectW(statement.get(), wide.data(), static_cast<SQLINTEGER>(wide.size()));
        return succeeded(rc) || rc == SQL_NO_DATA;
    } catch (const kit::BackendError&) {
        return false;
    }
}

const std::vector<std::string>& OdbcConnection::primaryKey(const std::string& table) {
    if (auto it = keys_.find(table); it != keys_.end())
        return it->second;
    std::vector<std::string> key;
    // The name as written, then as the database may have folded it.
    for (const std::string& candidate : {table, lower(table), upper(table)}) {
        Handle statement = newStatement();
        SQLHSTMT s = statement.get();
        WideText name = toWide(candidate);
        if (!succeeded(SQLPrimaryKeysW(s, nullptr, 0, nullptr, 0, name.data(),
                                       static_cast<SQLSMALLINT>(name.size()))))
            continue;
        std::vector<std::pair<int, std::string>> columns;
        while (succeeded(SQLFetch(s))) {
            SQLWCHAR column[256] = {};
            SQLLEN length = 0;
            SQLSMALLINT sequence = 0;
            SQLLEN sequenceLength = 0;
            if (!succeeded(SQLGetData(s, 4, SQL_C_WCHAR, column, sizeof column, &length)) ||
                length <= 0)
                continue;
            SQLGetData(s, 5, SQL_C_SSHORT, &sequence, sizeof sequence, &sequenceLength);
            columns.emplace_back(sequence, fromWideBuffer(column, std::size(column), length));
        }
        if (columns.empty())
            continue;
        std::sort(columns.begin(), columns.end());
        for (auto& [sequence, column] : columns)
            key.push_back(std::move(column));
        break;
    }
    return keys_[table] = std::move(key);
}

const std::vector<TableColumn>& OdbcConnection::tableColumns(const std::string& table) {
    if (auto it = columns_.find(table); it != columns_.end())
        return it->second;
    std::vector<TableColumn> found;
    for (const std::string& candidate : {table, lower(table), upper(table)}) {
        Handle statement = newStatement();
        SQLHSTMT s = statement.get();
        WideText name = toWide(candidate);
        if (!succeeded(SQLColumnsW(s, nullptr, 0, nullptr, 0, name.data(),
                                   static_cast<SQLSMALLINT>(name.size()), nullptr, 0)))
            continue;
        while (succeeded(SQLFetch(s))) {
            SQLWCHAR column[256] = {};
            SQLLEN length = 0;
            if (!succeeded(SQLGetData(s, 4, SQL_C_WCHAR, column, sizeof column, &length)) ||
                length <= 0)
                continue;
            TableColumn c;
            c.name = fromWideBuffer(column, std::size(column), length);
            SQLLEN ignored = 0;
            SQLINTEGER size = 0;
            SQLSMALLINT nullable = SQL_NULLABLE;
            SQLGetData(s, 5, SQL_C_SSHORT, &c.sqlType, sizeof c.sqlType, &ignored);
            if (succeeded(SQLGetData(s, 7, SQL_C_SLONG, &size, sizeof size, &ignored)) &&
                ignored != SQL_NULL_DATA && size > 0)
                c.size = SQLULEN(size);
            if (!succeeded(SQLGetData(s, 9, SQL_C_SSHORT, &c.digits, sizeof c.digits, &ignored)) ||
                ignored == SQL_NULL_DATA)
                c.digits = 0;
            SQLGetData(s, 11, SQL_C_SSHORT, &nullable, sizeof nullable, &ignored);
            c.nullable = nullable != SQL_NO_NULLS;
            // Several tables of the name (other schemas): the first one's columns only.
            if (std::any_of(found.begin(), found.end(),
                            [&](const TableColumn& f) { return f.name == c.name; }))
                break;
            found.push_back(std::move(c));
        }
        if (!found.empty())
            break;
    }
    return columns_[table] = std::move(found);
}

const std::vector<std::string>& OdbcConnection::requireKey(const std::string& table) {
    const std::vector<std::string>& key = primaryKey(table);
    if (key.empty())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "tabulka \"" + table +
                                    "\" nemá primární klíč, podle kterého by šlo najít její řádky");
    return key;
}

std::string OdbcConnection::keyCondition(const std::string& table, const kit::RowIdentity& id,
                                         std::vector<kit::Value>& keyValues) {
    const std::vector<std::string>& key = requireKey(table);
    std::string identity = identityText(id);
    // A row whose key this connection changed is followed along; the bound guards cycles.
    for (int hop = 0; hop < 64; ++hop) {
        auto it = moved_.find({table, identity});
        if (it == moved_.end())
            break;
        identity = it->second;
    }
    keyValues = decodeIdentity(identity);
    if (keyValues.size() != key.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "identita řádku neodpovídá klíči tabulky " + table);
    std::string condition;
    for (const std::string& column : key)
        condition += (condition.empty() ? "" : " AND ") + sqlName(column) + " = ?";
    return condition;
}

bool OdbcConnection::readRow(std::string_view table, const kit::RowIdentity& id,
                             std::span<const std::string> columns,
                             std::vector<kit::Value>& values) {
    const std::string name(table);
    std::vector<kit::Value> keyValues;
    const std::string condition = keyCondition(name, id, keyValues);
    std::string list;
    for (const std::string& c : columns)
        list += (list.empty() ? "" : ", ") + sqlName(c);
    std::vector<kit::ValueView> parameters;
    for (const kit::Value& v : keyValues)
        parameters.push_back(v.view());
    bool hasRow = false;
    auto statement = runWith("SELECT " + (list.empty() ? std::string("1") : list) + " FROM " +
                                 sqlName(name) + " WHERE " + condition,
                             parameters, hasRow);
    if (!hasRow)
        return false;
    values.clear();
    for (std::size_t i = 0; i < columns.size(); ++i)
        values.emplace_back(statement->value(i));
    return true;
}

bool OdbcConnection::updateRow(std::string_view table, const kit::RowIdentity& id,
                               std::span<const std::string> columns,
                               std::span<const kit::ValueView> values) {
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba jedna hodnota");
    if (columns.empty()) {
        std::vector<kit::Value> none;
        return readRow(table, id, columns, none);
    }
    const std::string name(table);
    std::vector<kit::Value> keyValues;
    const std::string condition = keyCondition(name, id, keyValues);
    std::string sql = "UPDATE " + sqlName(name) + " SET ";
    std::vector<kit::ValueView> parameters(values.begin(), values.end());
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i != 0 ? ", " : "") + sqlName(columns[i]) + " = ?";
    sql += " WHERE " + condition;
    for (const kit::Value& v : keyValues)
        parameters.push_back(v.view());
    bool hasRow = false;
    auto statement = runWith(sql, parameters, hasRow);
    if (statement->rowsAffected() == 0)
        return false;
    // A changed key moves the row: later calls with the old identity find it again.
    const std::vector<std::string>& key = requireKey(name);
    std::vector<kit::Value> newKey = keyValues;
    bool keyChanged = false;
    for (std::size_t k = 0; k < key.size(); ++k)
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (lower(columns[i]) == lower(key[k])) {
                newKey[k] = kit::Value(values[i]);
                keyChanged = true;
            }
    if (keyChanged) {
        const std::string from = encodeIdentity(keyValues);
        const std::string to = encodeIdentity(newKey);
        if (from != to)
            moved_[{name, from}] = to;
    }
    return true;
}

kit::RowIdentity OdbcConnection::insertRow(std::string_view table,
                                           std::span<const std::string> columns,
                                           std::span<const kit::ValueView> values) {
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba jedna hodnota");
    const std::string name(table);
    const std::vector<std::string>& key = requireKey(name);
    std::vector<kit::Value> keyValues;
    for (const std::string& k : key) {
        bool found = false;
        for (std::size_t i = 0; i < columns.size() && !found; ++i)
            if (lower(columns[i]) == lower(k)) {
                keyValues.emplace_back(values[i]);
                found = true;
            }
        if (!found)
            throw kit::BackendError(kit::ErrorClass::Other,
                                    "nový řádek tabulky \"" + name +
                                        "\" potřebuje hodnotu klíčového sloupce " + k +
                                        ": ovladač hledá řádky podle klíče");
    }
    std::string list;
    std::string markers;
    for (const std::string& c : columns) {
        list += (list.empty() ? "" : ", ") + sqlName(c);
        markers += markers.empty() ? "?" : ", ?";
    }
    bool hasRow = false;
    runWith("INSERT INTO " + sqlName(name) + " (" + list + ") VALUES (" + markers + ")", values,
            hasRow);
    return encodeIdentity(keyValues);
}

bool OdbcConnection::deleteRow(std::string_view table, const kit::RowIdentity& id) {
    const std::string name(table);
    std::vector<kit::Value> keyValues;
    const std::string condition = keyCondition(name, id, keyValues);
    std::vector<kit::ValueView> parameters;
    for (const kit::Value& v : keyValues)
        parameters.push_back(v.view());
    bool hasRow = false;
    auto statement =
        runWith("DELETE FROM " + sqlName(name) + " WHERE " + condition, parameters, hasRow);
    return statement->rowsAffected() > 0;
}

std::unique_ptr<kit::Connection> openOdbcConnection(const kit::InitSettings& settings) {
    return std::make_unique<OdbcConnection>(connectSettings(settings));
}

} // namespace vantrel::odbc

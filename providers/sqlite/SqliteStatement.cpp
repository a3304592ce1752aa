#include "SqliteStatement.h"

#include "SqlTokens.h"
#include "SqliteError.h"
#include "SqliteSchema.h"
#include "SqliteTimestamp.h"

#include <algorithm>
#include <cstring>

namespace vantrel::sqlite {

kit::ValueView readColumn(sqlite3_stmt* statement, int column, ValueReading reading) {
    // Through the column's value object: each sqlite3_column_* call looks the column up and
    // checks the connection again, the value calls read the object as it is. The connection is
    // used by one thread at a time, so its unprotected value is safe to read.
    sqlite3_value* v = sqlite3_column_value(statement, column);
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return kit::ValueView::ofInt(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return kit::ValueView::ofReal(sqlite3_value_double(v));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
        const std::string_view view(text, static_cast<std::size_t>(sqlite3_value_bytes(v)));
        if (reading == ValueReading::Temporal)
            if (const auto timestamp = parseTimestamp(view))
                return kit::ValueView::ofTimestamp(*timestamp);
        return kit::ValueView::ofText(view);
    }
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_value_blob(v));
        const auto size = static_cast<std::size_t>(sqlite3_value_bytes(v));
        return kit::ValueView::ofBlob(bytes != nullptr ? std::string_view(bytes, size)
                                                       : std::string_view());
    }
    default:
        return kit::ValueView::null();
    }
}

// Hot, like bind, step and reset below: they run for every row of a load, and hot functions
// are placed together, so that they and SQLite's own code stay in the instruction cache.
[[gnu::hot]] void bindValue(sqlite3* db, sqlite3_stmt* statement, int number,
                            const kit::ValueView& value, kit::DbType target, std::string* keep) {
    // Where SQLite reads the bytes from, and whether it must take its own copy.
    auto bytesToBind = [keep](std::string_view bytes) {
        if (keep == nullptr)
            return std::pair{bytes.data(), SQLITE_TRANSIENT};
        keep->assign(bytes);
        return std::pair{static_cast<const char*>(keep->data()), SQLITE_STATIC};
    };
    int rc = SQLITE_OK;
    switch (value.kind) {
    case kit::ValueKind::Null:
        rc = sqlite3_bind_null(statement, number);
        break;
    case kit::ValueKind::Int:
        rc = sqlite3_bind_int64(statement, number, value.integer);
        break;
    case kit::ValueKind::Real:
        rc = sqlite3_bind_double(statement, number, value.real);
        break;
    // SQLite binds a null pointer as NULL: an empty text or blob must not become one.
    case kit::ValueKind::Text:
        if (value.bytes.empty()) {
            rc = sqlite3_bind_text64(statement, number, "", 0, SQLITE_STATIC, SQLITE_UTF8);
        } else {
            const auto [data, destructor] = bytesToBind(value.bytes);
            rc = sqlite3_bind_text64(statement, number, data, value.bytes.size(), destructor,
                                     SQLITE_UTF8);
        }
        break;
    case kit::ValueKind::Blob:
        if (value.bytes.empty()) {
            rc = sqlite3_bind_zeroblob(statement, number, 0);
        } else {
            const auto [data, destructor] = bytesToBind(value.bytes);
            rc = sqlite3_bind_blob64(statement, number, data, value.bytes.size(), destructor);
        }
        break;
    case kit::ValueKind::Timestamp: {
        const kit::Timestamp& t = value.timestamp;
        const bool dateOnly = target == dbtype::DbDate && t.hour == 0 && t.minute == 0 &&
                              t.second == 0 && t.fraction == 0;
        const std::string text = formatTimestamp(t, dateOnly);
        rc = sqlite3_bind_text64(statement, number, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
        break;
    }
    }
    if (rc != SQLITE_OK)
        throwSqliteError(db, rc, ErrorStage::Run);
}

namespace {

ValueReading readingFor(kit::DbType type) {
    return type == dbtype::DbTimestamp || type == dbtype::DbDate ? ValueReading::Temporal
                                                                 : ValueReading::AsStored;
}

// The rewritten text that reads the single table's rowid first, or nothing.
std::optional<std::string> withRowIdentity(sqlite3* db, std::string_view sql,
                                           const StatementShape& shape) {
    if (!shape.singleTable)
        return std::nullopt;
    const SingleTableQuery& query = *shape.singleTable;
    const std::string rowid = rowidName(db, query.table.schema, query.table.name);
    if (rowid.empty())
        return std::nullopt;
    std::string text(sql.substr(0, query.insertPosition));
    text += " " + query.qualifier + "." + rowid + ",";
    text += sql.substr(query.insertPosition);
    return text;
}

// The text that runs the query `sql` from an offset bound to its last parameter, or empty when
// `sql` is not a plain query (a PRAGMA or a data-changing statement must never run twice).
std::string positionedForm(std::string_view sql) {
    const std::vector<Token> tokens = tokenizeSql(sql);
    if (tokens.empty() ||
        !(isKeyword(tokens.front(), "SELECT") || isKeyword(tokens.front(), "WITH") ||
          isKeyword(tokens.front(), "VALUES")))
        return {};
    std::size_t last = tokens.size();
    while (last > 0 && tokens[last - 1].text == ";")
        --last;
    if (last == 0)
        return {};
    const Token& end = tokens[last - 1];
    // New lines around the query, so a comment at its end cannot swallow the wrapper.
    std::string text = "SELECT * FROM (\n";
    text += sql.substr(0, end.offset + end.text.size());
    text += "\n) LIMIT -1 OFFSET ?";
    return text;
}

// What a statement's first word says it is.
enum class Opening : std::uint8_t { Query, With, Change, Other };

// The word in lower case, one byte each, in an integer: the words told apart below are
// compared with one comparison each. Longer words pack to 0, which no candidate is.
constexpr std::uint64_t packedWord(std::string_view word) {
    if (word.size() > 8)
        return 0;
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        const char folded = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        packed |= static_cast<std::uint64_t>(static_cast<unsigned char>(folded)) << (8 * i);
    }
    return packed;
}

Opening openingOf(std::string_view first) {
    switch (packedWord(first)) {
    case packedWord("with"):
        return Opening::With;
    case packedWord("select"):
    case packedWord("values"):
        return Opening::Query;
    case packedWord("insert"):
    case packedWord("update"):
    case packedWord("delete"):
    case packedWord("replace"):
        return Opening::Change;
    default:
        return Opening::Other;
    }
}

} // namespace

SqliteStatement::SqliteStatement(Database& database, std::string_view sql,
                                 const kit::PrepareOptions& options)
    : database_(database) {
    // Exactly one statement: SQLite compiles only the first, and running less than the
    // consumer wrote without a word would be worse than refusing.
    // A statement run once is freed right after: SQLite's small-allocation pool serves it
    // better than the long-lived memory a persistent statement asks for.
    const bool persistent = !options.runOnce;
    const auto compile = [&](std::string_view text) {
        const char* tail = nullptr;
        StatementHandle compiled = database.prepare(text, &tail, persistent);
        if (!compiled)
            throw kit::BackendError(kit::ErrorClass::Syntax,
                                    "text příkazu neobsahuje žádný příkaz SQL");
        if (!isOnlyTrivia(text.substr(static_cast<std::size_t>(tail - text.data()))))
            throw kit::BackendError(kit::ErrorClass::Syntax,
                                    "text příkazu obsahuje více než jeden příkaz SQL; spouštějte "
                                    "je každý zvlášť");
        return compiled;
    };
    statement_ = compile(sql);
    // Reading the whole text's shape costs more than SQLite's own compiling of a short
    // statement, so it is read only when something needs it: parameter targets, the
    // single-table rewrite, or a WITH whose data change may hide after the first word.
    const Opening opening = openingOf(leadingWord(sql));
    StatementShape shape;
    if (options.wantRowIdentity || sqlite3_bind_parameter_count(statement_.get()) > 0 ||
        opening == Opening::With) {
        shape = analyzeStatement(sql);
        changesData_ = shape.changesData;
    } else {
        changesData_ = opening == Opening::Change;
    }
    if (options.wantRowIdentity)
        if (const auto rewritten = withRowIdentity(database.handle(), sql, shape)) {
            // The rewrite only adds a column; should SQLite still refuse it, the plain
            // statement stands, without row identity.
            try {
                statement_ = compile(*rewritten);
                identityColumns_ = 1;
                baseTable_ = shape.singleTable->table.name;
            } catch (const kit::BackendError&) {
            }
        }
    returnsRows_ = sqlite3_column_count(statement_.get()) > identityColumns_;
    current_ = statement_.get();
    describeParameters(shape);
    describeColumns();
    // The positioned text itself is built on the first seek: most rowsets never seek.
    seekable_ = returnsRows_ && parameters_.empty() && !changesData_ &&
                sqlite3_stmt_readonly(statement_.get()) &&
                (opening == Opening::Query || opening == Opening::With);
}

bool SqliteStatement::seek(std::uint64_t row) {
    reset();
    if (!seekable_)
        return false;
    if (!checkpointsLooked_) {
        checkpointsLooked_ = true;
        if (identityColumns_ == 0)
            checkpoints_ = RowidCheckpoints::forQuery(database_, statement_.get());
    }
    if (checkpoints_) {
        // A statement that is not yet running would start outside the caller's transaction.
        if (database_.transactionEndedByEngine())
            database_.checkTransactionAlive(); // throws
        running_ = true;
        const RowidCheckpoints::Placed placed = checkpoints_->place(row);
        if (placed.statement != nullptr) {
            current_ = placed.statement;
            primed_ = placed.firstStep;
            return true;
        }
        checkpoints_.reset(); // retired: the schema changed under them
    }
    if (!seekStatement_) {
        const std::string seekText = positionedForm(sqlite3_sql(statement_.get()));
        try {
            if (!seekText.empty())
                seekStatement_ = database_.prepare(seekText, nullptr, true);
        } catch (const kit::BackendError&) {
        }
        // The wrapped form must give the very columns of the query, or it is not used.
        if (!seekStatement_ ||
            sqlite3_column_count(seekStatement_.get()) != sqlite3_column_count(statement_.get())) {
            seekStatement_.reset();
            seekable_ = false;
            return false;
        }
    }
    sqlite3_stmt* s = seekStatement_.get();
    const int rc =
        sqlite3_bind_int64(s, sqlite3_bind_parameter_count(s), static_cast<sqlite3_int64>(row));
    if (rc != SQLITE_OK)
        throwSqliteError(database_.handle(), rc, ErrorStage::Run);
    current_ = s;
    running_ = true;
    return true;
}

void SqliteStatement::describeParameters(const StatementShape& shape) {
    sqlite3* db = database_.handle();
    const int count = sqlite3_bind_parameter_count(statement_.get());
    parameters_.resize(static_cast<std::size_t>(count));
    bound_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        kit::ParameterInfo& info = parameters_[static_cast<std::size_t>(i)];
        if (const char* name = sqlite3_bind_parameter_name(statement_.get(), i + 1))
            info.name = name;
        if (static_cast<std::size_t>(i) >= shape.parameters.size() ||
            !shape.parameters[static_cast<std::size_t>(i)])
            continue;
        const ParameterTarget& target = *shape.parameters[static_cast<std::size_t>(i)];
        if (target.integerOnly) {
            info.known = true;
            info.type = dbtype::I8;
            info.size = 8;
            info.nullable = false;
            continue;
        }
        // Qualified: that table; otherwise the first of the statement's tables that has it.
        std::vector<const TableReference*> candidates;
        if (!target.table.empty()) {
            if (const TableReference* t = resolveTable(shape.tables, target.table))
                candidates.push_back(t);
        } else {
            for (const TableReference& t : shape.tables)
                candidates.push_back(&t);
        }
        for (const TableReference* table : candidates) {
            std::string column = target.column;
            if (!column.empty() && column[0] == '#') {
                const std::vector<std::string> names =
                    tableColumnNames(db, table->schema, table->name);
                const std::size_t position = std::stoul(column.substr(1));
                if (position >= names.size())
                    continue;
                column = names[position];
            }
            const auto facts = lookupColumn(db, table->schema, table->name, column);
            if (!facts)
                continue;
            const auto type = typeOfDeclaration(facts->declaredType);
            if (!type)
                break; // an untyped column takes anything: nothing to tell
            info.known = true;
            info.type = type->type;
            info.size = type->size;
            info.precision = type->precision;
            info.scale = type->scale;
            info.nullable = !facts->notNull;
            break;
        }
    }
}

namespace {

// Where column `column` of statement comes from: its table and column, or nothing (an
// expression).
void readBaseNames(sqlite3_stmt* statement, int column, kit::ColumnInfo& info) {
    const char* table = sqlite3_column_table_name(statement, column);
    const char* origin = sqlite3_column_origin_name(statement, column);
    if (table != nullptr && origin != nullptr) {
        info.baseTable = table;
        info.baseColumn = origin;
    }
}

} // namespace

void SqliteStatement::describeColumns() {
    sqlite3_stmt* s = statement_.get();
    const int count = sqlite3_column_count(s);
    const auto visible = static_cast<std::size_t>(std::max(count - identityColumns_, 0));
    if (visible == 0) {
        columns_ = noColumns();
        return;
    }
    columnFacts_.reserve(visible);
    // Without row identity a column is described by its name and its declaration alone, so a
    // statement whose columns are named and declared as a recent one's shares that list.
    ColumnShapes& shapes = database_.columnShapes();
    const bool shareable = identityColumns_ == 0 && visible <= ColumnShapes::mostColumns;
    const char* names[ColumnShapes::mostColumns] = {};
    const char* declarations[ColumnShapes::mostColumns] = {};
    if (shareable) {
        for (std::size_t i = 0; i < visible; ++i) {
            names[i] = sqlite3_column_name(s, static_cast<int>(i));
            declarations[i] = sqlite3_column_decltype(s, static_cast<int>(i));
        }
        if (ColumnShapes::List known = shapes.find({names, visible}, {declarations, visible})) {
            columns_ = std::move(known);
            ColumnFacts facts[ColumnShapes::mostColumns];
            for (std::size_t i = 0; i < visible; ++i) {
                const kit::ColumnInfo& info = (*columns_)[i];
                facts[i].reading = readingFor(info.type);
                facts[i].undeclared = info.type == dbtype::Empty;
                if (facts[i].undeclared)
                    typesResolved_ = false;
            }
            columnFacts_.assign(facts, facts + visible);
            return;
        }
    }
    DeclaredTypes& declaredTypes = database_.declaredTypes();
    // Built in place, in the list rowsets will share: a column moved into the list, or the
    // list copied for them, would copy each of its names once more.
    columns_ = std::make_shared<std::vector<kit::ColumnInfo>>(visible);
    for (std::size_t i = 0; i < visible; ++i) {
        const int c = static_cast<int>(i) + identityColumns_;
        kit::ColumnInfo& info = (*columns_)[i];
        if (const char* name = shareable ? names[i] : sqlite3_column_name(s, c))
            info.name = name;
        const char* declared = shareable ? declarations[i] : sqlite3_column_decltype(s, c);
        const auto type = declared != nullptr ? declaredTypes.typeOf(declared) : std::nullopt;
        if (type) {
            info.type = type->type;
            info.size = type->size;
            info.precision = type->precision;
            info.scale = type->scale;
        } else {
            typesResolved_ = false;
        }
        // Rows that can be changed need their base columns now; for any other rows only a
        // column description asks, and describeKeys reads them then.
        if (identityColumns_ == 1) {
            readBaseNames(s, c, info);
            info.writable = !info.baseTable.empty() && sameName(info.baseTable, baseTable_);
        }
        ColumnFacts facts;
        facts.reading = readingFor(info.type);
        facts.undeclared = !type.has_value();
        columnFacts_.push_back(facts);
    }
    if (shareable)
        shapes.remember(columns_, {names, visible}, {declarations, visible});
}

void SqliteStatement::describeKeys(std::vector<kit::ColumnInfo>& columns) const {
    sqlite3* db = database_.handle();
    sqlite3_stmt* s = statement_.get();
    const int count = sqlite3_column_count(s);
    for (std::size_t c = 0; c < columns.size() && c < columnFacts_.size(); ++c) {
        kit::ColumnInfo& info = columns[c];
        const int column = static_cast<int>(c) + identityColumns_;
        if (column >= count)
            break;
        if (info.baseTable.empty())
            readBaseNames(s, column, info);
        if (info.baseTable.empty() || info.baseColumn.empty())
            continue;
        // The database of the base table is asked only here: most statements are never
        // described. Copied, since the look-up below runs statements of its own.
        const char* name = sqlite3_column_database_name(s, column);
        const std::string schema = name != nullptr ? name : "";
        if (const auto facts = lookupColumn(db, schema, info.baseTable, info.baseColumn)) {
            info.nullable = !facts->notNull;
            info.primaryKey = facts->primaryKey;
        }
    }
}

void SqliteStatement::resolveUndeclaredTypes() const {
    sqlite3_stmt* s = hasRow_ ? current_ : statement_.get();
    // Values tell the type: the current row's, or the first row's of a read-only query, which
    // can be run once more without effect. A data-changing statement is never run for it.
    // Without a row the columns read as text for now, and the next call with a current row
    // settles them.
    bool peeked = false;
    bool haveRow = hasRow_;
    if (!haveRow && !sqlite3_stmt_busy(s) && sqlite3_stmt_readonly(s)) {
        haveRow = sqlite3_step(s) == SQLITE_ROW;
        peeked = true;
    }
    for (std::size_t i = 0; i < columnFacts_.size(); ++i) {
        if (!columnFacts_[i].undeclared)
            continue;
        const int storageClass =
            haveRow ? sqlite3_column_type(s, static_cast<int>(i) + identityColumns_) : SQLITE_NULL;
        const OleDbType type = typeOfStorageClass(storageClass);
        if ((*columns_)[i].type != type.type || (*columns_)[i].size != type.size) {
            kit::ColumnInfo& info = ownColumns()[i];
            info.type = type.type;
            info.size = type.size;
        }
        if (haveRow)
            columnFacts_[i].undeclared = false;
    }
    typesResolved_ = haveRow;
    if (peeked)
        sqlite3_reset(s);
}

std::vector<kit::ColumnInfo>& SqliteStatement::ownColumns() const {
    // Rowsets keep the list they were given: a change goes to a copy of this statement's own.
    if (columns_.use_count() > 1)
        columns_ = std::make_shared<std::vector<kit::ColumnInfo>>(*columns_);
    return *columns_;
}

const std::shared_ptr<std::vector<kit::ColumnInfo>>& SqliteStatement::noColumns() {
    static const auto none = std::make_shared<std::vector<kit::ColumnInfo>>();
    return none;
}

const std::vector<kit::ColumnInfo>& SqliteStatement::columns() const {
    if (!typesResolved_)
        resolveUndeclaredTypes();
    return *columns_;
}

std::shared_ptr<const std::vector<kit::ColumnInfo>> SqliteStatement::columnSnapshot() const {
    if (!typesResolved_)
        resolveUndeclaredTypes();
    return columns_;
}

// Inline: it runs for every parameter of every execution.
inline bool SqliteStatement::sameAsBound(const BoundParameter& last, const kit::ValueView& value) {
    if (!last.known || last.kind != value.kind)
        return false;
    switch (value.kind) {
    case kit::ValueKind::Null:
        return true;
    case kit::ValueKind::Int:
        return last.integer == value.integer;
    case kit::ValueKind::Real:
        return std::memcmp(&last.real, &value.real, sizeof value.real) == 0;
    case kit::ValueKind::Text:
    case kit::ValueKind::Blob:
        return last.bytes == value.bytes;
    case kit::ValueKind::Timestamp:
        return false;
    }
    return false;
}

[[gnu::hot]] void SqliteStatement::bind(std::size_t index, const kit::ValueView& value) {
    // Bound between runs only; one still running (or positioned) is reset first.
    if (running_)
        reset();
    sqlite3_stmt* s = statement_.get();
    if (index >= bound_.size()) {
        // Not a parameter of this statement: SQLite's refusal says so.
        bindValue(database_.handle(), s, static_cast<int>(index) + 1, value, dbtype::Empty);
        return;
    }
    BoundParameter& now = bound_[index];
    if (sameAsBound(now, value))
        return;
    now.known = false;
    bindValue(database_.handle(), s, static_cast<int>(index) + 1, value, parameters_[index].type,
              &now.bytes);
    now.known = true;
    now.kind = value.kind;
    now.integer = value.integer;
    now.real = value.real;
    // An empty text or blob is bound without the kept string: keep it equal to what is bound.
    if ((value.kind == kit::ValueKind::Text || value.kind == kit::ValueKind::Blob) &&
        value.bytes.empty())
        now.bytes.clear();
}

void SqliteStatement::clearBindings() {
    sqlite3_clear_bindings(statement_.get());
    for (BoundParameter& parameter : bound_)
        parameter.known = false;
}

[[gnu::hot]] bool SqliteStatement::step() {
    sqlite3_stmt* s = current_;
    int rc = primed_;
    if (rc != 0) {
        primed_ = 0; // taken by seek
    } else {
        // A statement that is not yet running would start outside the caller's transaction.
        if (!sqlite3_stmt_busy(s) && database_.transactionEndedByEngine())
            database_.checkTransactionAlive(); // throws
        running_ = true;
        rc = sqlite3_step(s);
    }
    if (rc == SQLITE_ROW) {
        hasRow_ = true;
        return true;
    }
    hasRow_ = false;
    if (rc == SQLITE_DONE) {
        rowsAffected_ = changesData_ ? sqlite3_changes64(database_.handle()) : -1;
        return false;
    }
    // Keep SQLite's message, then make the statement runnable again.
    const std::string message = sqlite3_errmsg(database_.handle());
    sqlite3_reset(s);
    database_.noteFailure(message);
    throw kit::BackendError(classifySqliteError(rc, message, ErrorStage::Run), message, rc);
}

[[gnu::hot]] void SqliteStatement::reset() {
    // Executions reset before and after; the second time there is nothing to do.
    if (!running_)
        return;
    running_ = false;
    primed_ = 0;
    sqlite3_reset(statement_.get());
    if (seekStatement_)
        sqlite3_reset(seekStatement_.get());
    if (checkpoints_)
        checkpoints_->reset();
    current_ = statement_.get();
    hasRow_ = false;
}

} // namespace vantrel::sqlite

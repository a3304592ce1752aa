#include "PgStatement.h"

#include "PgError.h"
#include "PgSqlText.h"

#include <cctype>
#include <cstring>

namespace vantrel::postgres {

namespace {

constexpr unsigned tidOid = 27;

bool startsWith(const char* text, std::string_view prefix) {
    return std::strncmp(text, prefix.data(), prefix.size()) == 0;
}

bool changesCatalog(const char* commandTag) {
    switch (commandTag[0]) {
    case 'C':
        return startsWith(commandTag, "CREATE") || startsWith(commandTag, "COMMENT");
    case 'A':
        return startsWith(commandTag, "ALTER");
    case 'D':
        return startsWith(commandTag, "DROP");
    case 'G':
        return startsWith(commandTag, "GRANT");
    case 'R':
        return startsWith(commandTag, "REVOKE");
    default:
        return false;
    }
}

// The first batch and one row more: that row tells whether the result goes on. A query with
// no limit of its own takes the LIMIT directly, which the server plans in less time than a
// subquery; any other query is nested. The line breaks end a trailing comment of the query.
std::string firstBatchOf(const std::string& query, bool takesLimit) {
    static const std::string limit = "LIMIT " + std::to_string(PgStatement::batchRows + 1);
    std::string text;
    text.reserve(query.size() + limit.size() + 40);
    text += takesLimit ? "" : "SELECT * FROM (\n";
    text += query;
    text += takesLimit ? "\n" : "\n) AS vantrel_rows ";
    text += limit;
    return text;
}

bool changesData(const char* commandTag) {
    switch (commandTag[0]) {
    case 'I':
        return startsWith(commandTag, "INSERT");
    case 'U':
        return startsWith(commandTag, "UPDATE");
    case 'D':
        return startsWith(commandTag, "DELETE");
    case 'M':
        return startsWith(commandTag, "MERGE");
    default:
        return false;
    }
}

// The description of a statement before it has one, and of results without columns. It lives
// as long as the program and owns nothing, so copies of it count no references.
const std::shared_ptr<const ResultColumns>& noColumns() {
    static const ResultColumns empty;
    static const std::shared_ptr<const ResultColumns> none(std::shared_ptr<void>(), &empty);
    return none;
}

} // namespace

[[gnu::hot]] PgStatement::PgStatement(PgConnection& connection, std::string_view sql,
                                      const kit::PrepareOptions& options)
    : connection_(connection), described_(noColumns()), cursor_(connection) {
    std::size_t questionMarks = 0;
    std::string numbered = numberPlaceholders(sql, questionMarks);
    // Valid until the connection reads another text, which nothing here does.
    TextReading& reading = connection_.readText(numbered);
    const bool insert = reading.insert;
    // The server would hand the connection over to a data stream nobody feeds or reads.
    if (reading.copy && copiesThroughClient(numbered))
        throw kit::BackendError(kit::ErrorClass::Other,
                                "COPY s přenosem dat od klienta (FROM STDIN) nebo ke klientovi "
                                "(TO STDOUT) tento ovladač nepodporuje");
    atomic_ = !reading.transactionControl;
    batched_ = reading.browsable && !options.wantRowIdentity;
    const bool direct = options.runOnce && !options.wantRowIdentity && questionMarks == 0;
    // The query without trailing blanks and semicolons, so that it nests in other statements.
    if (batched_) {
        numbered.resize(numbered.size() - reading.trailing);
        query_ = std::move(numbered);
        wholeResult_ = provesShort(reading, !direct);
    }
    // Text that proves its result short is one statement.
    const TextOutline outline = wholeResult_ ? TextOutline{} : reading.outline;
    const bool takesLimit = outline.takesLimit;
    if (direct) {
        if (!batched_)
            directText_ = std::move(numbered);
        else if (!wholeResult_)
            directText_ = firstBatchOf(query_, takesLimit);
        oneStatement_ = !outline.severalStatements;
        return;
    }
    name_ = connection_.nextStatementName();
    Result description;
    if (batched_) {
        try {
            description = connection_.prepareAndDescribe(
                name_, wholeResult_ ? query_ : firstBatchOf(query_, takesLimit));
        } catch (const kit::BackendError&) {
            // Not a query that nests (SELECT ... INTO): as it is, and its own error if any.
            // A statement that failed to prepare is none the server has: nothing to forget.
            batched_ = false;
            wholeResult_ = false;
            name_ = connection_.nextStatementName();
        }
    }
    if (!batched_)
        description = connection_.prepareAndDescribe(name_, query_.empty() ? numbered : query_);
    try {
        describe(description.get());
        if (options.wantRowIdentity && returnsRows_)
            addRowIdentity(numbered);
        if (insert)
            describeInsert(numbered);
    } catch (...) {
        connection_.forgetStatement(name_);
        throw;
    }
}

[[gnu::hot]] bool PgStatement::provesShort(TextReading& reading, bool ask) {
    const ShortResult& shape = reading.shortResult;
    if (shape.kind == ShortResult::Kind::OneRow)
        return true;
    if (shape.kind != ShortResult::Kind::KeyLookup)
        return false;
    // The same lookup for another key: the facts have not changed since they answered.
    if (reading.keyFactsGeneration == connection_.factsGeneration())
        return reading.byPrimaryKey;
    try {
        const TableFacts* facts = connection_.tableNamed(shape.table, ask);
        if (facts == nullptr)
            return false;
        const TableFacts::Column* column = facts->column(shape.column);
        reading.byPrimaryKey = facts->keyAttnums.size() == 1 && column != nullptr &&
                               column == facts->column(facts->keyAttnums[0]);
        reading.keyFactsGeneration = connection_.factsGeneration();
        return reading.byPrimaryKey;
    } catch (const kit::BackendError&) {
        // Not knowing the table is no failure of the statement: it keeps the row limit.
        return false;
    }
}

[[gnu::hot]] PgStatement::~PgStatement() {
    if (!name_.empty())
        connection_.forgetStatement(name_);
}

std::shared_ptr<const std::vector<kit::ColumnInfo>> PgStatement::columnSnapshot() const {
    return {described_, &described_->columns};
}

void PgStatement::describeParameters(const PGresult* d, int parameterCount) {
    parameters_.assign(parameterCount, kit::ParameterInfo());
    bound_.assign(parameterCount, BoundParameter());
    parameterValues_.assign(parameterCount, nullptr);
    for (int i = 0; i < parameterCount; ++i) {
        const unsigned type = PQparamtype(d, i);
        const OleDbType t = oleDbTypeOf(type, -1);
        kit::ParameterInfo& p = parameters_[i];
        p.known = type != pgoid::Unknown && type != 0;
        p.type = t.type;
        p.size = t.size;
        p.precision = t.precision;
        p.scale = t.scale;
        bound_[i].type = type;
    }
}

[[gnu::hot]] void PgStatement::describe(const PGresult* d) {
    const int parameterCount = PQnparams(d);
    // Text run once has no parameters: nothing to size.
    if (parameterCount > 0 || !parameters_.empty())
        describeParameters(d, parameterCount);
    returnsRows_ = PQnfields(d) > 0;
    described_ = returnsRows_ ? connection_.resultColumns(d, identityColumns_) : noColumns();
    baseTableOid_ = described_->baseTableOid;
    scratch_.clear();
    if (described_->needsScratch)
        scratch_.resize(described_->columns.size());
}

void PgStatement::addRowIdentity(std::string_view numbered) {
    const TableFacts* facts = connection_.tableFacts(baseTableOid_);
    const std::optional<std::size_t> start = selectListStart(numbered);
    if (facts == nullptr || !facts->updatable || !start)
        return;
    std::string identity;
    if (facts->keyAttnums.empty()) {
        identity = "ctid";
    } else {
        for (int attnum : facts->keyAttnums)
            identity += (identity.empty() ? "" : ", ") + quoteName(facts->column(attnum)->name);
    }
    const std::string sql = std::string(numbered.substr(0, *start)) + " " + identity + "," +
                            std::string(numbered.substr(*start));
    const std::string name = connection_.nextStatementName();
    Result d;
    try {
        d = connection_.prepareAndDescribe(name, sql);
    } catch (const kit::BackendError&) {
        // The hidden columns do not fit this query (a join naming them twice): no identity.
        return;
    }
    // The hidden columns must really be the table's key (or its ctid).
    const int hidden = facts->keyAttnums.empty() ? 1 : static_cast<int>(facts->keyAttnums.size());
    bool fits = PQnfields(d.get()) == hidden + static_cast<int>(described_->columns.size());
    for (int i = 0; fits && i < hidden; ++i) {
        fits = PQftable(d.get(), i) == facts->oid &&
               (facts->keyAttnums.empty() ? PQftype(d.get(), i) == tidOid
                                          : PQftablecol(d.get(), i) == facts->keyAttnums[i]);
    }
    if (!fits) {
        connection_.forgetStatement(name);
        return;
    }
    connection_.forgetStatement(name_);
    name_ = name;
    identityColumns_ = hidden;
    const unsigned table = facts->oid;
    baseTable_ = facts->name;
    describe(d.get());
    baseTableOid_ = table;
}

void PgStatement::describeInsert(std::string_view numbered) {
    const std::optional<InsertShape> shape = insertShape(numbered, parameters_.size());
    if (!shape)
        return;
    const TableFacts* facts = connection_.tableNamed(shape->table);
    if (facts == nullptr)
        return;
    // Repeatable when nothing but the given values goes into the row: no trigger, rule or
    // policy acts, and every column left out has no default the server computes.
    replayable_ = shape->constantValues && facts->updatable && !facts->sideEffects;
    int seen = 0;
    for (const TableFacts::Column& c : facts->columns) {
        if (c.name.empty() || !replayable_)
            continue;
        bool listed = false;
        if (shape->columns.empty()) {
            listed = std::size_t(seen++) < shape->valueCount;
        } else {
            for (const std::string& name : shape->columns)
                listed = listed || facts->column(name) == &c;
        }
        replayable_ = listed || !c.computedDefault;
    }
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        const int position = shape->positionOfParameter[i];
        if (position < 0)
            continue;
        const TableFacts::Column* column = nullptr;
        if (!shape->columns.empty()) {
            if (std::size_t(position) < shape->columns.size())
                column = facts->column(shape->columns[position]);
        } else {
            // No column list: the table's columns in order.
            int seen = -1;
            for (const TableFacts::Column& c : facts->columns)
                if (!c.name.empty() && ++seen == position) {
                    column = &c;
                    break;
                }
        }
        if (column == nullptr || column->typeOid != bound_[i].type)
            continue;
        const OleDbType t = oleDbTypeOf(column->typeOid, column->typmod);
        parameters_[i].size = t.size;
        parameters_[i].precision = t.precision;
        parameters_[i].scale = t.scale;
        parameters_[i].nullable = !column->notNull;
        parameters_[i].known = true;
    }
}

void PgStatement::bind(std::size_t index, const kit::ValueView& value) {
    if (index >= parameters_.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "parametr " + std::to_string(index + 1) + " neexistuje");
    BoundParameter& bound = bound_[index];
    bound.isNull = value.isNull();
    if (!value.isNull())
        parameterText(value, bound.type, bound.text);
}

void PgStatement::clearBindings() {
    for (BoundParameter& bound : bound_)
        bound.isNull = true;
}

[[gnu::hot]] bool PgStatement::step() {
    if (done_)
        return false;
    if (!result_) {
        run();
    } else if (++row_ >= batchLength_) {
        if (!moreRows_) {
            // All rows have been handed over (the kit keeps what it needs): free the result.
            result_.reset();
            done_ = true;
            return false;
        }
        fetchBatch(batchStart_ + static_cast<std::uint64_t>(batchLength_),
                   std::min(batchAsked_ * 4, batchRows));
        row_ = 0;
    }
    if (row_ < batchLength_)
        return true;
    result_.reset();
    done_ = true;
    return false;
}

[[gnu::hot]] void PgStatement::run() {
    for (std::size_t i = 0; i < parameters_.size(); ++i)
        parameterValues_[i] = bound_[i].isNull ? nullptr : bound_[i].text.c_str();
    Execution e;
    if (name_.empty()) {
        e.sql = wholeResult_ ? &query_ : &directText_;
        e.simpleQuery = oneStatement_;
    } else
        e.preparedName = &name_;
    e.parameterCount = static_cast<int>(parameters_.size());
    e.values = parameterValues_.data();
    e.atomic = atomic_;
    e.replayable = replayable_;
    Result r;
    try {
        r = connection_.execute(e);
    } catch (const kit::BackendError&) {
        if (!batched_ || !name_.empty() || wholeResult_)
            throw;
        // A query that does not nest (SELECT ... INTO) runs as it is, and fails as it is.
        batched_ = false;
        directText_ = query_;
        r = connection_.execute(e);
    }
    if (name_.empty())
        describe(r.get());
    const char* tag = PQcmdStatus(r.get());
    rowsAffected_ = changesData(tag) ? std::atoll(PQcmdTuples(r.get())) : -1;
    if (changesCatalog(tag))
        connection_.catalogChanged();
    if (!atomic_)
        connection_.transactionEnded();
    batchStart_ = 0;
    row_ = 0;
    batchLength_ = 0;
    batchAsked_ = batchRows;
    moreRows_ = false;
    if (PQresultStatus(r.get()) == PGRES_TUPLES_OK) {
        batchLength_ = PQntuples(r.get());
        if (batched_ && !wholeResult_ && batchLength_ > batchRows) {
            batchLength_ = batchRows;
            moreRows_ = true;
        }
        result_ = std::move(r);
    }
}

void PgStatement::fetchBatch(std::uint64_t from, int rows) {
    result_.reset();
    batchLength_ = 0;
    moreRows_ = false;
    Execution parameters;
    parameters.parameterCount = static_cast<int>(parameters_.size());
    parameters.values = parameterValues_.data();
    // The cheapest way there: on from where the open cursor stands (whichever query it
    // reads), the query from its first row, or the query from a counted place near the row.
    const bool onward = cursor_.isOpen() && from >= cursor_.base();
    const std::uint64_t fromCursor =
        onward ? cursor_.distance(cursor_.query(), from, cursor_.base()) : UINT64_MAX;
    const std::uint64_t best = std::min(fromCursor, from);
    std::optional<PgPositions::Start> start;
    if (best > nearRows)
        start = farStart(from, best);
    // A start beyond the counted pages would move a cursor over the limited query as far as
    // over the plain one, at a higher cost per row: only a counted run near the row is taken.
    if (start && from - start->firstRow < std::min(best, farFromStart))
        result_ = cursor_.fetch(start->query, parameters, from, rows, start->firstRow);
    else if (fromCursor <= from)
        result_ = cursor_.fetch(cursor_.query(), parameters, from, rows, cursor_.base());
    else
        result_ = cursor_.fetch(query_, parameters, from, rows);
    batchStart_ = from;
    batchAsked_ = rows;
    batchLength_ = PQntuples(result_.get());
    moreRows_ = batchLength_ == rows;
}

std::optional<PgPositions::Start> PgStatement::farStart(std::uint64_t row, std::uint64_t moving) {
    // The first far jump of a statement moves its cursor: a single jump to the end (the usual
    // first one) costs less so than counting the pages before it. Unless the connection kept
    // counts for the query: they serve when nothing changed since. Queries with parameters are
    // left to the cursor.
    if (!parameters_.empty())
        return std::nullopt;
    const bool first = farJumps_++ == 0;
    if (first && connection_.positionMemory().find(query_) == nullptr)
        return std::nullopt;
    if (!positionsLooked_ && connection_.cursorsOnTheirOwn()) {
        positionsLooked_ = true;
        positions_ = PgPositions::forQuery(connection_, query_, described_->columns.size());
    }
    if (!positions_ || positions_->retired())
        return std::nullopt;
    return positions_->startFor(row, first ? 0 : moving, !first);
}

bool PgStatement::seek(std::uint64_t row) {
    if (!batched_)
        return false;
    done_ = false;
    for (std::size_t i = 0; i < parameters_.size(); ++i)
        parameterValues_[i] = bound_[i].isNull ? nullptr : bound_[i].text.c_str();
    if (result_ && row >= batchStart_ && row - batchStart_ <= std::uint64_t(batchLength_) &&
        (row - batchStart_ < std::uint64_t(batchLength_) || !moreRows_)) {
        // Within the batch at hand (or at the known end): nothing to ask the server.
        row_ = static_cast<int>(row - batchStart_) - 1;
        return true;
    }
    try {
        fetchBatch(row, batchAfterJump);
    } catch (...) {
        result_.reset();
        done_ = true;
        throw;
    }
    row_ = -1;
    return true;
}

[[gnu::hot]] kit::ValueView PgStatement::value(std::size_t index) const {
    const int column = static_cast<int>(index) + identityColumns_;
    const std::vector<ValueReading>& readings = described_->readings;
    if (!result_ || index >= readings.size())
        return kit::ValueView::null();
    // Results come in text format, whose values end with a NUL and hold none (bytea is hex),
    // so the length is where the NUL is; only an empty value can be NULL.
    const char* value = PQgetvalue(result_.get(), row_, column);
    if (*value == '\0' && PQgetisnull(result_.get(), row_, column))
        return kit::ValueView::null();
    const std::string_view text(value);
    return readValue(readings[index], text,
                     index < scratch_.size() ? scratch_[index] : unusedScratch_);
}

kit::RowIdentity PgStatement::rowIdentity() const {
    std::vector<std::string_view> parts;
    for (int i = 0; i < identityColumns_ && result_; ++i)
        parts.emplace_back(PQgetvalue(result_.get(), row_, i),
                           static_cast<std::size_t>(PQgetlength(result_.get(), row_, i)));
    return encodeIdentity(parts);
}

[[gnu::hot]] void PgStatement::reset() {
    result_.reset();
    row_ = -1;
    done_ = false;
    cursor_.close();
}

} // namespace vantrel::postgres

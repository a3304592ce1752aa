#include "PgConnection.h"

#include "PgError.h"
#include "PgSqlText.h"
#include "PgStatement.h"
#include "PgTypes.h"

#include <charconv>
#include <cstring>

namespace vantrel::postgres {

namespace {

const char* const statementSavepoint = "SAVEPOINT vantrel_statement";
const char* const releaseStatementSavepoint = "RELEASE SAVEPOINT vantrel_statement";
const char* const repairStatementSavepoint = "ROLLBACK TO SAVEPOINT vantrel_statement";
const char* const checkpointSavepoint = "SAVEPOINT vantrel_checkpoint";
const char* const releaseCheckpoint = "RELEASE SAVEPOINT vantrel_checkpoint";
const char* const rollbackToCheckpoint = "ROLLBACK TO SAVEPOINT vantrel_checkpoint";
// Replayable statements between two checkpoints: bounds the work of a restore.
constexpr std::size_t checkpointInterval = 256;

// The facts of one table: its name, kind, columns and primary key, in one query.
const char* const tableFactsQuery =
    "SELECT n.nspname, c.relname, c.relkind, pg_table_is_visible(c.oid), a.attnum, a.attname, "
    "a.attnotnull, a.atttypid, a.atttypmod, array_position(i.indkey::smallint[], a.attnum), "
    "a.atthasdef OR a.attidentity <> '', c.relhasrules OR c.relrowsecurity OR EXISTS (SELECT 1 "
    "FROM pg_trigger t WHERE t.tgrelid = c.oid AND NOT t.tgisinternal) "
    "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
    "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
    "WHERE c.oid = $1::oid ORDER BY a.attnum";

const char* isolationClause(kit::IsolationLevel level) {
    switch (level) {
    case kit::IsolationLevel::ReadUncommitted:
        return "BEGIN ISOLATION LEVEL READ UNCOMMITTED";
    case kit::IsolationLevel::ReadCommitted:
        return "BEGIN ISOLATION LEVEL READ COMMITTED";
    case kit::IsolationLevel::RepeatableRead:
        return "BEGIN ISOLATION LEVEL REPEATABLE READ";
    case kit::IsolationLevel::Serializable:
        break;
    }
    return "BEGIN ISOLATION LEVEL SERIALIZABLE";
}

bool succeeded(const PGresult* r) {
    const ExecStatusType s = PQresultStatus(r);
    return r != nullptr &&
           (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY);
}

const std::string& identityText(const kit::RowIdentity& id) {
    if (const auto* text = std::get_if<std::string>(&id))
        return *text;
    throw kit::BackendError(kit::ErrorClass::Other, "nejde o identitu řádku tohoto ovladače");
}

// Notices ("NOTICE: table does not exist, skipping") are not errors; libpq would print them.
void ignoreNotice(void*, const char*) {}

} // namespace

bool PgConnection::sendStep(PGconn* c, const Step& s) {
    switch (s.kind) {
    case Step::Kind::RunText:
        return PQsendQueryParams(c, s.text, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    case Step::Kind::Prepare:
        return PQsendPrepare(c, s.name->c_str(), s.text, 0, nullptr) == 1;
    case Step::Kind::Describe:
        return PQsendDescribePrepared(c, s.name->c_str()) == 1;
    case Step::Kind::Run: {
        const Execution& e = *s.execution;
        if (e.preparedName != nullptr)
            return PQsendQueryPrepared(c, e.preparedName->c_str(), e.parameterCount, e.values,
                                       e.lengths, e.formats, 0) == 1;
        return PQsendQueryParams(c, e.sql->c_str(), e.parameterCount, nullptr, e.values, e.lengths,
                                 e.formats, 0) == 1;
    }
    }
    return false;
}

const TableFacts::Column* TableFacts::column(std::string_view wanted) const {
    for (const Column& c : columns)
        if (!c.name.empty() && c.name == wanted)
            return &c;
    const std::string folded = foldName(wanted);
    for (const Column& c : columns)
        if (!c.name.empty() && c.name == folded)
            return &c;
    return nullptr;
}

std::string encodeIdentity(const std::vector<std::string_view>& parts) {
    std::string out;
    for (std::string_view p : parts) {
        out += std::to_string(p.size());
        out += ':';
        out.append(p);
    }
    return out;
}

std::vector<std::string> decodeIdentity(const std::string& identity) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos < identity.size()) {
        std::size_t length = 0;
        const auto [end, ec] =
            std::from_chars(identity.data() + pos, identity.data() + identity.size(), length);
        const std::size_t colon = static_cast<std::size_t>(end - identity.data());
        if (ec != std::errc() || colon >= identity.size() || identity[colon] != ':' ||
            length > identity.size() - colon - 1)
            throw kit::BackendError(kit::ErrorClass::Other, "poškozená identita řádku");
        parts.push_back(identity.substr(colon + 1, length));
        pos = colon + 1 + length;
    }
    return parts;
}

PgConnection::PgConnection(const Keywords& keywords, std::string dataSource)
    : dataSource_(std::move(dataSource)) {
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : keywords) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    connection_ = PQconnectdbParams(keys.data(), values.data(), 0);
    if (connection_ == nullptr)
        throw kit::BackendError(kit::ErrorClass::CantOpen,
                                "knihovna libpq nedokázala vytvořit spojení");
    if (PQstatus(connection_) != CONNECTION_OK) {
        const std::string message = connectionMessage(connection_);
        PQfinish(connection_);
        connection_ = nullptr;
        throw kit::BackendError(kit::ErrorClass::CantOpen,
                                message.empty() ? "k serveru se nepodařilo připojit" : message);
    }
    PQsetNoticeProcessor(connection_, &ignoreNotice, nullptr);
    // The forms the value reading expects, whatever the server's defaults. A scan of a large
    // table starts at its first page, not where another scan happens to be: a query over
    // unchanged data gives its rows in the same order on every run, which placing a rowset by
    // row number relies on.
    Result r(PQexec(connection_, "SET DateStyle = ISO, MDY; SET bytea_output = hex; SET "
                                 "extra_float_digits = 3; SET synchronize_seqscans = off"));
    if (!succeeded(r.get())) {
        kit::BackendError error = resultError(connection_, r.get());
        PQfinish(connection_);
        connection_ = nullptr;
        throw kit::BackendError(kit::ErrorClass::CantOpen, error.what());
    }
}

PgConnection::~PgConnection() {
    if (connection_ != nullptr)
        PQfinish(connection_);
}

kit::ConnectionInfo PgConnection::info() const {
    kit::ConnectionInfo info;
    info.dbmsName = "PostgreSQL";
    const char* version = PQparameterStatus(connection_, "server_version");
    info.dbmsVersion = version != nullptr ? version : std::to_string(PQserverVersion(connection_));
    const char* host = PQhost(connection_);
    const char* port = PQport(connection_);
    info.serverName = std::string(host != nullptr ? host : "") +
                      (port != nullptr && *port != '\0' ? std::string(":") + port : "");
    info.catalog = PQdb(connection_);
    info.dataSourceName = dataSource_.empty() ? info.serverName : dataSource_;
    auto on = [&](const char* parameter) {
        const char* value = PQparameterStatus(connection_, parameter);
        return value != nullptr && std::strcmp(value, "on") == 0;
    };
    info.readOnly = on("default_transaction_read_only") || on("in_hot_standby");
    info.isolationLevels = {kit::IsolationLevel::ReadUncommitted,
                            kit::IsolationLevel::ReadCommitted, kit::IsolationLevel::RepeatableRead,
                            kit::IsolationLevel::Serializable};
    return info;
}

std::unique_ptr<kit::Statement> PgConnection::prepare(std::string_view sql,
                                                      const kit::PrepareOptions& options) {
    return std::make_unique<PgStatement>(*this, sql, options);
}

[[gnu::hot]] std::shared_ptr<kit::Statement>
PgConnection::prepareShared(std::string_view sql, const kit::PrepareOptions& options) {
    return std::make_shared<PgStatement>(*this, sql, options);
}

std::unique_ptr<kit::Statement> PgConnection::prepareTableScan(std::string_view table,
                                                               const kit::PrepareOptions& options) {
    const TableFacts& facts = requireTable(table);
    return prepare("SELECT * FROM " + facts.qualified, options);
}

bool PgConnection::inTransaction() const {
    const PGTransactionStatusType s = PQtransactionStatus(connection_);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR;
}

std::string PgConnection::nextStatementName() {
    return "vantrel_" + std::to_string(++statementCounter_);
}

void PgConnection::forgetStatement(const std::string& name) {
    forgotten_.push_back(name);
}

void PgConnection::flushForgotten() {
    // In a failed transaction even DEALLOCATE is refused: wait for the repair.
    // The statements remembered since the checkpoint must stay prepared for a restore.
    // Outside a transaction the next request's pipeline carries them (sendForgotten).
    if (forgotten_.empty() || repairPending_ || checkpoint_ ||
        PQstatus(connection_) != CONNECTION_OK || !inTransaction())
        return;
    // A statement the server no longer has (the consumer's own DEALLOCATE ALL) is no failure
    // worth reporting; a savepoint keeps such a failure from aborting the transaction.
    std::string sql = "SAVEPOINT vantrel_forget;";
    for (const std::string& name : forgotten_)
        sql += "DEALLOCATE " + name + ";";
    sql += "RELEASE SAVEPOINT vantrel_forget";
    forgotten_.clear();
    Result r(PQexec(connection_, sql.c_str()));
    if (!succeeded(r.get()) && PQstatus(connection_) == CONNECTION_OK)
        Result(PQexec(connection_, "ROLLBACK TO SAVEPOINT vantrel_forget;"
                                   "RELEASE SAVEPOINT vantrel_forget"));
}

std::size_t PgConnection::sendForgotten() {
    if (forgotten_.empty() || repairPending_ || checkpoint_ || inTransaction())
        return 0;
    // Each in a sync of its own: outside a transaction a failure (a name the server no longer
    // has) then ends only its own implicit transaction, not the request behind it.
    std::size_t sent = 0;
    for (const std::string& name : forgotten_) {
        const std::string sql = "DEALLOCATE " + name;
        if (PQsendQueryParams(connection_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) !=
                1 ||
            PQpipelineSync(connection_) != 1)
            break;
        ++sent;
    }
    forgotten_.clear();
    return sent;
}

void PgConnection::readForgotten(std::size_t sent) {
    for (std::size_t i = 0; i < sent && PQstatus(connection_) == CONNECTION_OK; ++i) {
        // The DEALLOCATE's result (or error), its end, then its sync.
        for (int guard = 0; guard < 8 && PQstatus(connection_) == CONNECTION_OK; ++guard) {
            Result r(PQgetResult(connection_));
            if (r && PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC)
                break;
        }
    }
}

void PgConnection::requireConnection() const {
    if (PQstatus(connection_) != CONNECTION_OK)
        throw kit::BackendError(kit::ErrorClass::Other,
                                "spojení se serverem PostgreSQL bylo ztraceno: " +
                                    connectionMessage(connection_));
}

std::vector<Result> PgConnection::runPipeline(const std::vector<Step>& steps, bool wrap) {
    PGconn* c = connection_;
    if (PQenterPipelineMode(c) != 1)
        throw kit::BackendError(kit::ErrorClass::Other, connectionMessage(c));
    const std::size_t dropped = sendForgotten();
    std::vector<Step> all;
    std::size_t first = 0; // index of steps[0] in all
    const bool repairing = repairPending_;
    const bool closing = checkpoint_;
    if (closing) {
        // Anything that is not replayable ends the checkpoint first: a restore could not
        // repeat it.
        all.push_back({Step::Kind::RunText, nullptr, releaseCheckpoint, nullptr});
    }
    if (repairing) {
        // Rolling back to the savepoint keeps it, so it also guards this request.
        all.push_back({Step::Kind::RunText, nullptr, repairStatementSavepoint, nullptr});
        if (!wrap)
            all.push_back({Step::Kind::RunText, nullptr, releaseStatementSavepoint, nullptr});
    } else if (wrap) {
        all.push_back({Step::Kind::RunText, nullptr, statementSavepoint, nullptr});
    }
    first = all.size();
    all.insert(all.end(), steps.begin(), steps.end());
    if (wrap)
        all.push_back({Step::Kind::RunText, nullptr, releaseStatementSavepoint, nullptr});

    std::size_t sent = 0;
    bool sendFailed = false;
    for (const Step& s : all) {
        if (!sendStep(c, s)) {
            sendFailed = true;
            break;
        }
        ++sent;
    }
    std::vector<Result> results(all.size());
    if (PQpipelineSync(c) == 1) {
        readForgotten(dropped);
        for (std::size_t i = 0; i < sent; ++i) {
            while (PGresult* r = PQgetResult(c)) {
                if (!results[i])
                    results[i].reset(r);
                else
                    PQclear(r);
            }
            if (!results[i] && PQstatus(c) == CONNECTION_BAD)
                break;
        }
        // Then the answer to the sync; a broken connection gives no more answers.
        for (int guard = 0; guard < 8 && PQstatus(c) == CONNECTION_OK; ++guard) {
            Result r(PQgetResult(c));
            if (r && PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC)
                break;
        }
    } else {
        sendFailed = true;
    }
    PQexitPipelineMode(c);

    // Judge the answers in the order they were sent.
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (results[i] && succeeded(results[i].get())) {
            if (repairing && i == 0)
                repairPending_ = false;
            if (closing && i == 0) {
                checkpoint_ = false;
                journal_.clear();
            }
            continue;
        }
        if (!results[i] && (sendFailed || PQstatus(c) != CONNECTION_OK))
            throw kit::BackendError(kit::ErrorClass::Other,
                                    "spojení se serverem PostgreSQL bylo ztraceno: " +
                                        connectionMessage(c));
        kit::BackendError error = resultError(c, results[i].get());
        // A failure under the savepoint leaves the transaction to be repaired; a failed
        // repair leaves it pending.
        if (wrap && i >= first)
            repairPending_ = true;
        throw error;
    }
    repairPending_ = false;
    std::vector<Result> out;
    for (std::size_t i = first; i < first + steps.size(); ++i)
        out.push_back(std::move(results[i]));
    return out;
}

[[gnu::hot]] Result PgConnection::execute(const Execution& execution) {
    settleCursors();
    requireConnection();
    if (!brokenTransaction_.empty() && inTransaction())
        throw kit::BackendError(kit::ErrorClass::Other, brokenTransaction_);
    flushForgotten();
    const bool inside = inTransaction();
    if (inside && execution.replayable && execution.atomic && !repairPending_)
        return executeReplayable(execution);
    const bool wrap = execution.atomic && inside;
    // Statements dropped since the last request go in front of this one, in its pipeline.
    if (!wrap && !repairPending_ && !checkpoint_ && forgotten_.empty()) {
        const Execution& e = execution;
        Result r;
        if (e.preparedName != nullptr)
            r.reset(PQexecPrepared(connection_, e.preparedName->c_str(), e.parameterCount, e.values,
                                   e.lengths, e.formats, 0));
        else if (e.simpleQuery && e.parameterCount == 0)
            r.reset(PQexec(connection_, e.sql->c_str()));
        else
            r.reset(PQexecParams(connection_, e.sql->c_str(), e.parameterCount, nullptr, e.values,
                                 e.lengths, e.formats, 0));
        if (!succeeded(r.get()))
            throw resultError(connection_, r.get());
        return r;
    }
    return std::move(runPipeline({{Step::Kind::Run, &execution, nullptr, nullptr}}, wrap)[0]);
}

Result PgConnection::executeReplayable(const Execution& e) {
    PGconn* c = connection_;
    const bool renew = checkpoint_ && journal_.size() >= checkpointInterval;
    Result r;
    if (checkpoint_ && !renew) {
        // The common case: exactly one request, as a plain client loop would send.
        r.reset(e.preparedName != nullptr
                    ? PQexecPrepared(c, e.preparedName->c_str(), e.parameterCount, e.values,
                                     e.lengths, e.formats, 0)
                    : PQexecParams(c, e.sql->c_str(), e.parameterCount, nullptr, e.values,
                                   e.lengths, e.formats, 0));
    } else {
        // Establish (or renew) the checkpoint in the same round trip.
        if (PQenterPipelineMode(c) != 1)
            throw kit::BackendError(kit::ErrorClass::Other, connectionMessage(c));
        std::vector<const char*> prefix;
        if (renew)
            prefix.push_back(releaseCheckpoint);
        prefix.push_back(checkpointSavepoint);
        std::vector<Result> answers;
        bool sent = true;
        for (const char* sql : prefix)
            sent = sent && PQsendQueryParams(c, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        sent = sent && sendStep(c, {Step::Kind::Run, &e, nullptr, nullptr});
        if (sent && PQpipelineSync(c) == 1) {
            for (std::size_t i = 0; i < prefix.size() + 1; ++i) {
                Result first;
                while (PGresult* x = PQgetResult(c)) {
                    if (!first)
                        first.reset(x);
                    else
                        PQclear(x);
                }
                answers.push_back(std::move(first));
                if (!answers.back() && PQstatus(c) != CONNECTION_OK)
                    break;
            }
            for (int guard = 0; guard < 8 && PQstatus(c) == CONNECTION_OK; ++guard) {
                Result x(PQgetResult(c));
                if (x && PQresultStatus(x.get()) == PGRES_PIPELINE_SYNC)
                    break;
            }
        }
        PQexitPipelineMode(c);
        if (answers.size() != prefix.size() + 1)
            throw kit::BackendError(kit::ErrorClass::Other,
                                    "spojení se serverem PostgreSQL bylo ztraceno: " +
                                        connectionMessage(c));
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if (!succeeded(answers[i].get())) {
                // The old checkpoint may be gone with the failed renewal: the transaction
                // cannot be restored any more.
                if (renew)
                    brokenTransaction_ = "transakce nedokázala obnovit svůj kontrolní bod: " +
                                         std::string(resultError(c, answers[i].get()).what());
                throw resultError(c, answers[i].get());
            }
        }
        checkpoint_ = true;
        if (renew)
            journal_.clear();
        r = std::move(answers.back());
    }
    if (!succeeded(r.get())) {
        kit::BackendError error = resultError(c, r.get());
        if (PQstatus(c) == CONNECTION_OK)
            restoreCheckpoint();
        throw error;
    }
    JournalEntry entry;
    entry.name = e.preparedName != nullptr ? *e.preparedName : std::string();
    entry.values.resize(e.parameterCount);
    entry.nulls.resize(e.parameterCount);
    for (int i = 0; i < e.parameterCount; ++i) {
        entry.nulls[i] = e.values[i] == nullptr;
        if (e.values[i] != nullptr)
            entry.values[i] = e.values[i];
    }
    journal_.push_back(std::move(entry));
    return r;
}

void PgConnection::restoreCheckpoint() {
    PGconn* c = connection_;
    std::vector<std::vector<const char*>> values(journal_.size());
    bool sent = PQenterPipelineMode(c) == 1;
    sent = sent &&
           PQsendQueryParams(c, rollbackToCheckpoint, 0, nullptr, nullptr, nullptr, nullptr, 0);
    for (std::size_t j = 0; sent && j < journal_.size(); ++j) {
        const JournalEntry& entry = journal_[j];
        for (std::size_t i = 0; i < entry.values.size(); ++i)
            values[j].push_back(entry.nulls[i] ? nullptr : entry.values[i].c_str());
        sent = entry.name.empty() ||
               PQsendQueryPrepared(c, entry.name.c_str(), static_cast<int>(values[j].size()),
                                   values[j].data(), nullptr, nullptr, 0) == 1;
    }
    // The restored state becomes the new checkpoint.
    sent = sent &&
           PQsendQueryParams(c, releaseCheckpoint, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    sent = sent &&
           PQsendQueryParams(c, checkpointSavepoint, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    std::string failure;
    const std::size_t expected = journal_.size() + 3;
    std::size_t answered = 0;
    if (sent && PQpipelineSync(c) == 1) {
        for (std::size_t i = 0; i < expected; ++i) {
            Result first;
            while (PGresult* x = PQgetResult(c)) {
                if (!first)
                    first.reset(x);
                else
                    PQclear(x);
            }
            if (!first && PQstatus(c) != CONNECTION_OK)
                break;
            ++answered;
            if (failure.empty() && !succeeded(first.get()))
                failure = resultError(c, first.get()).what();
        }
        for (int guard = 0; guard < 8 && PQstatus(c) == CONNECTION_OK; ++guard) {
            Result x(PQgetResult(c));
            if (x && PQresultStatus(x.get()) == PGRES_PIPELINE_SYNC)
                break;
        }
    }
    PQexitPipelineMode(c);
    journal_.clear();
    if (!sent || answered != expected || !failure.empty()) {
        checkpoint_ = false;
        brokenTransaction_ =
            "příkazy, které v této transakci uspěly, nebylo možné zopakovat poté, co "
            "pozdější příkaz selhal (" +
            (failure.empty() ? connectionMessage(c) : failure) + "); transakci lze již jen odvolat";
        return;
    }
    checkpoint_ = true;
}

void PgConnection::resetTransactionState() {
    cursorsGone();
    repairPending_ = false;
    implicitTransaction_ = false;
    checkpoint_ = false;
    journal_.clear();
    brokenTransaction_.clear();
}

Result PgConnection::executeText(const std::string& sql, bool atomic) {
    Execution e;
    e.sql = &sql;
    e.atomic = atomic;
    return execute(e);
}

Result PgConnection::executeParams(const std::string& sql,
                                   const std::vector<std::optional<std::string>>& params) {
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    Execution e;
    e.sql = &sql;
    e.parameterCount = static_cast<int>(values.size());
    e.values = values.data();
    return execute(e);
}

Result PgConnection::prepareAndDescribe(const std::string& name, const std::string& sql) {
    settleCursors();
    requireConnection();
    flushForgotten();
    std::vector<Step> steps{{Step::Kind::Prepare, nullptr, sql.c_str(), &name},
                            {Step::Kind::Describe, nullptr, nullptr, &name}};
    std::vector<Result> results = runPipeline(steps, inTransaction());
    return std::move(results[1]);
}

void PgConnection::begin(kit::IsolationLevel level) {
    resetTransactionState();
    executeText(isolationClause(level), false);
}

void PgConnection::commit() {
    implicitTransaction_ = false;
    if (!brokenTransaction_.empty()) {
        const std::string why = brokenTransaction_;
        rollbackQuietly();
        throw kit::BackendError(kit::ErrorClass::Other, "transakce byla odvolána: " + why);
    }
    Result r = executeText("COMMIT", false);
    cursorsGone();
    checkpoint_ = false;
    journal_.clear();
    // COMMIT of a transaction that failed answers ROLLBACK: that is no success.
    if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
        throw kit::BackendError(kit::ErrorClass::Other, "transakce selhala a byla odvolána");
}

void PgConnection::rollback() {
    resetTransactionState();
    // A server that lost the connection has rolled the transaction back itself: aborting it
    // succeeds, so a consumer cleaning up after the failure gets no second error.
    if (PQstatus(connection_) != CONNECTION_OK)
        return;
    executeText("ROLLBACK", false);
}

// PostgreSQL knows savepoints only inside a transaction block. Outside one, the outermost
// savepoint opens a transaction that its release commits, so the statements between them
// still succeed or fail together (as a change through a rowset in autocommit mode needs).
void PgConnection::savepoint(std::string_view name) {
    settleCursors();
    const std::string sql = "SAVEPOINT " + quoteName(name);
    if (!inTransaction()) {
        executeText("BEGIN", false);
        implicitSavepoints_ = 0;
        implicitTransaction_ = true;
    }
    try {
        executeText(sql, false);
    } catch (...) {
        if (implicitTransaction_ && implicitSavepoints_ == 0) {
            implicitTransaction_ = false;
            rollbackQuietly();
        }
        throw;
    }
    if (implicitTransaction_)
        ++implicitSavepoints_;
}

void PgConnection::releaseSavepoint(std::string_view name) {
    executeText("RELEASE SAVEPOINT " + quoteName(name), false);
    if (implicitTransaction_ && --implicitSavepoints_ <= 0) {
        implicitTransaction_ = false;
        commit();
    }
}

void PgConnection::rollbackToSavepoint(std::string_view name) {
    executeText("ROLLBACK TO SAVEPOINT " + quoteName(name), false);
    // Cursors declared after the savepoint are gone; which ones is not worth tracking.
    cursorsGone();
}

std::string PgConnection::nextCursorName() {
    return "vantrel_cursor_" + std::to_string(++cursorCounter_);
}

void PgConnection::settleCursors() noexcept {
    if (!cursorTransaction_)
        return;
    cursorTransaction_ = false;
    cursorsGone();
    // Nothing was changed in it; a failure here leaves nothing to report, and a broken
    // connection is reported by the request that follows.
    if (PQstatus(connection_) == CONNECTION_OK && inTransaction())
        Result r(PQexec(connection_, "COMMIT"));
}

std::vector<Result> PgConnection::runCursorRequests(const std::vector<Execution>& requests,
                                                    bool declares) {
    requireConnection();
    const bool own = cursorTransaction_ || !inTransaction();
    if (!own && !brokenTransaction_.empty())
        throw kit::BackendError(kit::ErrorClass::Other, brokenTransaction_);
    flushForgotten();
    std::vector<Step> steps;
    if (!inTransaction()) {
        cursorsGone();
        cursorTransaction_ = true;
        // One snapshot for all its cursors: row positions learnt in it hold until it ends.
        // Its text goes along in the same round trip: positions counted under an identical
        // snapshot, by the same role, hold in this one too (see PgPositionMemory).
        steps.push_back(
            {Step::Kind::RunText, nullptr, "BEGIN ISOLATION LEVEL REPEATABLE READ", nullptr});
        steps.push_back({Step::Kind::RunText, nullptr,
                         "SELECT pg_current_snapshot()::text || ' ' || current_user", nullptr});
        cursorSnapshot_.clear();
    }
    const std::size_t first = steps.size();
    for (const Execution& e : requests)
        steps.push_back({Step::Kind::Run, &e, nullptr, nullptr});
    std::vector<Result> results;
    try {
        results = runPipeline(steps, !own);
    } catch (...) {
        // A failed request aborts the cursors' own transaction: end it, and its cursors.
        if (own)
            settleCursors();
        throw;
    }
    if (first == 2 && PQntuples(results[1].get()) == 1)
        cursorSnapshot_ = PQgetvalue(results[1].get(), 0, 0);
    if (declares)
        ++cursorsOpen_;
    results.erase(results.begin(), results.begin() + static_cast<std::ptrdiff_t>(first));
    return results;
}

void PgConnection::openCursorTransaction() {
    if (!cursorTransaction_ && !inTransaction())
        runCursorRequests({}, false);
}

void PgConnection::closeCursor(const std::string& name) noexcept {
    if (cursorsOpen_ > 0)
        --cursorsOpen_;
    if (cursorTransaction_ && cursorsOpen_ == 0) {
        settleCursors();
        return;
    }
    try {
        const std::string sql = "CLOSE " + name;
        Execution e;
        e.sql = &sql;
        runCursorRequests({e}, false);
    } catch (...) {
        // A cursor that cannot be closed goes with its transaction or connection.
    }
}

void PgConnection::rollbackQuietly() {
    resetTransactionState();
    try {
        executeText("ROLLBACK", false);
    } catch (const kit::BackendError&) {
    }
}

void PgConnection::createTable(std::string_view table,
                               std::span<const kit::ColumnDefinition> columns) {
    if (table.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax, "tabulka musí mít název");
    if (columns.empty())
        throw kit::BackendError(kit::ErrorClass::Syntax,
                                "tabulka musí mít alespoň jeden sloupec: " + std::string(table));
    // A type the consumer names, by its catalog name ("int4") or its standard spelling
    // ("timestamp with time zone"): the catalog's spelling of a visible type that can hold data.
    const auto catalogType = [this](const std::string& name) {
        Result r = executeParams(
            "SELECT pg_catalog.format_type(t.oid, NULL) FROM pg_catalog.pg_type t "
            "WHERE (t.typname = $1 OR pg_catalog.format_type(t.oid, NULL) = $1) "
            "AND t.typtype <> 'p' AND t.typisdefined AND pg_catalog.pg_type_is_visible(t.oid) "
            "LIMIT 1",
            {name});
        return PQntuples(r.get()) > 0 ? std::string(PQgetvalue(r.get(), 0, 0)) : std::string();
    };
    std::string sql = "CREATE TABLE " + quoteName(foldName(table)) + " (";
    std::string key;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const kit::ColumnDefinition& c = columns[i];
        if (c.name.empty())
            throw kit::BackendError(kit::ErrorClass::Syntax, "column " + std::to_string(i + 1) +
                                                                 " of " + std::string(table) +
                                                                 " has no name");
        const std::string name = quoteName(foldName(c.name));
        sql += (i != 0 ? ", " : "") + name + " " + declarationFor(c, catalogType);
        if (!c.nullable || c.primaryKey)
            sql += " NOT NULL";
        if (c.unique && !c.primaryKey)
            sql += " UNIQUE";
        if (c.defaultValue && !c.defaultValue->isNull()) {
            std::string literal;
            parameterText(c.defaultValue->view(), 0, literal);
            sql += " DEFAULT " + quoteLiteral(literal);
        }
        if (c.primaryKey)
            key += (key.empty() ? "" : ", ") + name;
    }
    if (!key.empty())
        sql += ", PRIMARY KEY (" + key + ")";
    sql += ")";
    executeText(sql);
    catalogChanged();
}

void PgConnection::dropTable(std::string_view table) {
    const TableFacts& facts = requireTable(table);
    const std::string sql = "DROP TABLE " + facts.qualified;
    catalogChanged();
    executeText(sql);
}

bool PgConnection::tableExists(std::string_view table) {
    return tableNamed(table) != nullptr;
}

const TableFacts* PgConnection::tableFacts(unsigned oid) {
    if (oid == 0)
        return nullptr;
    if (auto it = facts_.find(oid); it != facts_.end())
        return it->second.get();
    const std::string sql = tableFactsQuery;
    Result r = executeParams(sql, {std::to_string(oid)});
    if (PQntuples(r.get()) == 0)
        return nullptr;
    auto facts = std::make_unique<TableFacts>();
    facts->oid = oid;
    const std::string schema = PQgetvalue(r.get(), 0, 0);
    const std::string name = PQgetvalue(r.get(), 0, 1);
    const char kind = *PQgetvalue(r.get(), 0, 2);
    const bool visible = *PQgetvalue(r.get(), 0, 3) == 't';
    facts->name = visible ? name : schema + "." + name;
    facts->qualified = quoteName(schema) + "." + quoteName(name);
    facts->updatable = kind == 'r' || kind == 'p';
    facts->sideEffects = *PQgetvalue(r.get(), 0, 11) == 't';
    std::vector<std::pair<int, int>> key; // position in key, attnum
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const int attnum = std::atoi(PQgetvalue(r.get(), row, 4));
        if (attnum < 1 || attnum > 1600)
            continue;
        if (facts->columns.size() < std::size_t(attnum))
            facts->columns.resize(attnum);
        TableFacts::Column& c = facts->columns[attnum - 1];
        c.name = PQgetvalue(r.get(), row, 5);
        c.notNull = *PQgetvalue(r.get(), row, 6) == 't';
        c.typeOid = static_cast<unsigned>(std::strtoul(PQgetvalue(r.get(), row, 7), nullptr, 10));
        c.typmod = std::atoi(PQgetvalue(r.get(), row, 8));
        c.computedDefault = *PQgetvalue(r.get(), row, 10) == 't';
        if (!PQgetisnull(r.get(), row, 9))
            key.emplace_back(std::atoi(PQgetvalue(r.get(), row, 9)), attnum);
    }
    std::sort(key.begin(), key.end());
    for (const auto& [position, attnum] : key)
        facts->keyAttnums.push_back(attnum);
    const TableFacts* out = facts.get();
    facts_[oid] = std::move(facts);
    return out;
}

[[gnu::hot]] std::shared_ptr<const ResultColumns>
PgConnection::resultColumns(const PGresult* result, int hidden) {
    // A handful covers the statements a consumer repeats; each miss costs a look at each.
    constexpr std::size_t kept = 8;
    for (const auto& d : described_)
        if (d->fit(result, hidden))
            return d;
    std::shared_ptr<const ResultColumns> made = describeResult(*this, result, hidden);
    if (described_.size() < kept) {
        described_.push_back(made);
    } else {
        described_[nextDescribed_] = made;
        nextDescribed_ = (nextDescribed_ + 1) % kept;
    }
    return made;
}

const TableFacts* PgConnection::tableNamed(std::string_view table, bool ask) {
    if (table.empty() || table.find('\0') != std::string_view::npos)
        return nullptr;
    for (const auto& [oid, facts] : facts_)
        if (facts->name == table)
            return facts.get();
    if (!ask)
        return nullptr;
    std::vector<std::optional<std::string>> candidates{quoteName(foldName(table)),
                                                       quoteName(table)};
    // "schema.table" as Statement::baseTable reports a table off the search path.
    if (const std::size_t dot = table.find('.'); dot != std::string_view::npos && dot > 0 &&
                                                 dot + 1 < table.size() &&
                                                 table.find('.', dot + 1) == std::string_view::npos)
        candidates.push_back(quoteName(foldName(table.substr(0, dot))) + "." +
                             quoteName(foldName(table.substr(dot + 1))));
    else
        candidates.push_back(std::nullopt);
    Result r = executeParams(
        "SELECT COALESCE(to_regclass($1), to_regclass($2), to_regclass($3))::oid", candidates);
    if (PQntuples(r.get()) != 1 || PQgetisnull(r.get(), 0, 0))
        return nullptr;
    return tableFacts(static_cast<unsigned>(std::strtoul(PQgetvalue(r.get(), 0, 0), nullptr, 10)));
}

const TableFacts& PgConnection::requireTable(std::string_view table) {
    const TableFacts* facts = tableNamed(table);
    if (facts == nullptr)
        throw kit::BackendError(kit::ErrorClass::NoTable,
                                "relation \"" + std::string(table) + "\" does not exist");
    return *facts;
}

std::string PgConnection::currentIdentity(unsigned table, const std::string& identity) const {
    std::string current = identity;
    // A row moved several times is followed along; the bound guards against cycles.
    for (int hop = 0; hop < 64; ++hop) {
        auto it = moved_.find({table, current});
        if (it == moved_.end())
            break;
        current = it->second;
    }
    return current;
}

void PgConnection::rememberMove(unsigned table, const std::string& from, const std::string& to) {
    if (from != to)
        moved_[{table, from}] = to;
}

std::string PgConnection::identityList(const TableFacts& facts) const {
    if (facts.keyAttnums.empty())
        return "ctid";
    std::string list;
    for (int attnum : facts.keyAttnums)
        list += (list.empty() ? "" : ", ") + quoteName(facts.column(attnum)->name);
    return list;
}

std::string PgConnection::identityCondition(const TableFacts& facts, const kit::RowIdentity& id,
                                            std::vector<std::optional<std::string>>& params) const {
    const std::vector<std::string> parts =
        decodeIdentity(currentIdentity(facts.oid, identityText(id)));
    const std::size_t expected = facts.keyAttnums.empty() ? 1 : facts.keyAttnums.size();
    if (parts.size() != expected)
        throw kit::BackendError(kit::ErrorClass::Other,
                                "identita řádku neodpovídá klíči tabulky " + facts.name);
    if (facts.keyAttnums.empty()) {
        params.push_back(parts[0]);
        return "ctid = $" + std::to_string(params.size()) + "::tid";
    }
    std::string condition;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        params.push_back(parts[i]);
        condition += (i != 0 ? " AND " : "") + quoteName(facts.column(facts.keyAttnums[i])->name) +
                     " = $" + std::to_string(params.size());
    }
    return condition;
}

std::string PgConnection::identityOf(const TableFacts& facts, const PGresult* result, int row,
                                     int firstColumn) const {
    const int count = facts.keyAttnums.empty() ? 1 : static_cast<int>(facts.keyAttnums.size());
    std::vector<std::string_view> parts;
    for (int i = 0; i < count; ++i)
        parts.emplace_back(PQgetvalue(result, row, firstColumn + i),
                           static_cast<std::size_t>(PQgetlength(result, row, firstColumn + i)));
    return encodeIdentity(parts);
}

namespace {

std::string columnList(const TableFacts& facts, std::span<const std::string> columns,
                       std::vector<const TableFacts::Column*>* found = nullptr) {
    std::string list;
    for (const std::string& name : columns) {
        const TableFacts::Column* c = facts.column(name);
        if (c == nullptr)
            throw kit::BackendError(kit::ErrorClass::Syntax, "column \"" + name +
                                                                 "\" of relation \"" + facts.name +
                                                                 "\" does not exist");
        list += (list.empty() ? "" : ", ") + quoteName(c->name);
        if (found != nullptr)
            found->push_back(c);
    }
    return list;
}

void addValues(std::span<const kit::ValueView> values,
               const std::vector<const TableFacts::Column*>& columns,
               std::vector<std::optional<std::string>>& params) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].isNull()) {
            params.emplace_back(std::nullopt);
            continue;
        }
        std::string text;
        parameterText(values[i], columns[i]->typeOid, text);
        params.emplace_back(std::move(text));
    }
}

} // namespace

bool PgConnection::readRow(std::string_view table, const kit::RowIdentity& id,
                           std::span<const std::string> columns, std::vector<kit::Value>& values) {
    const TableFacts& facts = requireTable(table);
    std::vector<std::optional<std::string>> params;
    const std::string list = columns.empty() ? "1" : columnList(facts, columns);
    const std::string sql = "SELECT " + list + " FROM " + facts.qualified + " WHERE " +
                            identityCondition(facts, id, params);
    Result r = executeParams(sql, params);
    if (PQntuples(r.get()) == 0)
        return false;
    values.clear();
    std::string scratch;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int column = static_cast<int>(i);
        if (PQgetisnull(r.get(), 0, column)) {
            values.emplace_back();
            continue;
        }
        const std::string_view text(PQgetvalue(r.get(), 0, column),
                                    static_cast<std::size_t>(PQgetlength(r.get(), 0, column)));
        values.emplace_back(readValue(readingOf(PQftype(r.get(), column)), text, scratch));
    }
    return true;
}

bool PgConnection::updateRow(std::string_view table, const kit::RowIdentity& id,
                             std::span<const std::string> columns,
                             std::span<const kit::ValueView> values) {
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba právě jedna hodnota");
    if (columns.empty()) {
        std::vector<kit::Value> none;
        return readRow(table, id, columns, none);
    }
    const TableFacts& facts = requireTable(table);
    std::vector<const TableFacts::Column*> found;
    columnList(facts, columns, &found);
    std::vector<std::optional<std::string>> params;
    addValues(values, found, params);
    std::string sql = "UPDATE " + facts.qualified + " SET ";
    for (std::size_t i = 0; i < found.size(); ++i)
        sql += (i != 0 ? ", " : "") + quoteName(found[i]->name) + " = $" + std::to_string(i + 1);
    sql += " WHERE " + identityCondition(facts, id, params) + " RETURNING " + identityList(facts);
    Result r = executeParams(sql, params);
    if (PQntuples(r.get()) == 0)
        return false;
    rememberMove(facts.oid, currentIdentity(facts.oid, identityText(id)),
                 identityOf(facts, r.get(), 0, 0));
    return true;
}

kit::RowIdentity PgConnection::insertRow(std::string_view table,
                                         std::span<const std::string> columns,
                                         std::span<const kit::ValueView> values) {
    if (columns.size() != values.size())
        throw kit::BackendError(kit::ErrorClass::Other,
                                "pro každý sloupec je potřeba právě jedna hodnota");
    const TableFacts& facts = requireTable(table);
    std::string sql = "INSERT INTO " + facts.qualified;
    std::vector<std::optional<std::string>> params;
    if (columns.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        std::vector<const TableFacts::Column*> found;
        sql += " (" + columnList(facts, columns, &found) + ") VALUES (";
        addValues(values, found, params);
        for (std::size_t i = 0; i < found.size(); ++i)
            sql += (i != 0 ? ", $" : "$") + std::to_string(i + 1);
        sql += ")";
    }
    sql += " RETURNING " + identityList(facts);
    Result r = executeParams(sql, params);
    if (PQntuples(r.get()) != 1)
        throw kit::BackendError(kit::ErrorClass::Other, "server nevrátil vložený řádek");
    return identityOf(facts, r.get(), 0, 0);
}

bool PgConnection::deleteRow(std::string_view table, const kit::RowIdentity& id) {
    const TableFacts& facts = requireTable(table);
    std::vector<std::optional<std::string>> params;
    const std::string sql =
        "DELETE FROM " + facts.qualified + " WHERE " + identityCondition(facts, id, params);
    Result r = executeParams(sql, params);
    return std::atoll(PQcmdTuples(r.get())) > 0;
}

std::unique_ptr<kit::Connection> openPgConnection(const kit::InitSettings& settings) {
    const kit::Value* source = kit::findSetting(settings, kit::PropertySet::DbInit, propDataSource);
    return std::make_unique<PgConnection>(
        connectionKeywords(settings),
        source != nullptr && source->kind == kit::ValueKind::Text ? source->bytes : "");
}

} // namespace vantrel::postgres

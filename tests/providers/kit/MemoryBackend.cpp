#include "MemoryBackend.h"

#include "kit/KitCom.h"

#include <sstream>

namespace memdb {
namespace {

std::vector<std::string> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool equal(const ValueView& a, const ValueView& b) {
    if (a.kind != b.kind)
        return false;
    if (a.kind == ValueKind::Int)
        return a.integer == b.integer;
    return a.bytes == b.bytes;
}

class MemoryConnection;

class MemoryStatement final : public Statement {
public:
    enum class Kind { Scan, Count, Insert, Unknown, Fail };

    MemoryStatement(MemoryConnection& connection, Kind kind, std::string table,
                    std::string filterColumn, bool identity, ErrorClass failure)
        : connection_(connection), kind_(kind), table_(std::move(table)),
          filter_(std::move(filterColumn)), identity_(identity), failure_(failure) {
        describe();
    }

    std::size_t parameterCount() const override { return parameters_.size(); }
    ParameterInfo parameterInfo(std::size_t index) const override { return parameters_[index]; }
    const std::vector<ColumnInfo>& columns() const override { return columns_; }
    void describeKeys(std::vector<ColumnInfo>&) const override {
        if (table_ == unreachableCatalogue)
            throw BackendError(ErrorClass::Other, "catalogue unreachable");
    }
    bool returnsRows() const override { return kind_ == Kind::Scan || kind_ == Kind::Count; }
    bool hasRowIdentity() const override { return identity_ && kind_ == Kind::Scan; }
    std::string baseTable() const override { return table_; }
    void bind(std::size_t index, const ValueView& value) override {
        bound_.at(index) = Value(value);
    }
    void clearBindings() override { bound_.assign(bound_.size(), Value()); }
    bool step() override;
    ValueView value(std::size_t index) const override { return current_[index].view(); }
    RowIdentity rowIdentity() const override { return currentId_; }
    void reset() override {
        started_ = false;
        position_ = 0;
    }
    std::int64_t rowsAffected() const override { return affected_; }

private:
    void describe();
    Table& table();

    MemoryConnection& connection_;
    Kind kind_;
    std::string table_;
    std::string filter_;
    bool identity_;
    ErrorClass failure_;
    std::vector<ParameterInfo> parameters_;
    std::vector<ColumnInfo> columns_;
    std::vector<Value> bound_;
    std::vector<std::int64_t> matches_;
    std::vector<Value> current_;
    std::int64_t currentId_ = 0;
    std::size_t position_ = 0;
    bool started_ = false;
    std::int64_t affected_ = -1;
};

class MemoryConnection final : public Connection {
public:
    explicit MemoryConnection(bool readOnly, std::string name)
        : readOnly_(readOnly), name_(std::move(name)) {}

    ConnectionInfo info() const override {
        ConnectionInfo i;
        i.dbmsName = "MemoryDB";
        i.dbmsVersion = "01.02.0003";
        i.serverName = "memory";
        i.catalog = "main";
        i.dataSourceName = name_;
        i.readOnly = readOnly_;
        i.isolationLevels = {IsolationLevel::ReadCommitted, IsolationLevel::Serializable};
        return i;
    }

    std::unique_ptr<Statement> prepare(std::string_view sql,
                                       const PrepareOptions& options) override {
        std::vector<std::string> w = words(sql);
        using K = MemoryStatement::Kind;
        auto needTable = [&](const std::string& t) {
            if (!database().count(t))
                throw BackendError(ErrorClass::NoTable, "no such table: " + t);
        };
        if (w.size() == 2 && w[0] == "SCAN") {
            needTable(w[1]);
            return std::make_unique<MemoryStatement>(*this, K::Scan, w[1], "",
                                                     options.wantRowIdentity, ErrorClass::Other);
        }
        if (w.size() == 6 && w[0] == "SCAN" && w[2] == "WHERE" && w[4] == "=" && w[5] == "?") {
            needTable(w[1]);
            return std::make_unique<MemoryStatement>(*this, K::Scan, w[1], w[3],
                                                     options.wantRowIdentity, ErrorClass::Other);
        }
        if (w.size() == 2 && (w[0] == "COUNT" || w[0] == "INSERT")) {
            needTable(w[1]);
            return std::make_unique<MemoryStatement>(*this, w[0] == "COUNT" ? K::Count : K::Insert,
                                                     w[1], "", false, ErrorClass::Other);
        }
        if (w.size() == 2 && w[0] == "UNKNOWN")
            return std::make_unique<MemoryStatement>(*this, K::Unknown, "", "", false,
                                                     ErrorClass::Other);
        if (w.size() == 2 && w[0] == "FAIL") {
            ErrorClass c = w[1] == "integrity" ? ErrorClass::Integrity
                           : w[1] == "timeout" ? ErrorClass::Timeout
                                               : ErrorClass::Other;
            return std::make_unique<MemoryStatement>(*this, K::Fail, "", "", false, c);
        }
        throw BackendError(ErrorClass::Syntax, "syntax error near \"" + std::string(sql) + "\"");
    }

    std::unique_ptr<Statement> prepareTableScan(std::string_view table,
                                                const PrepareOptions& options) override {
        return prepare("SCAN " + std::string(table), options);
    }

    void begin(IsolationLevel) override {
        if (inTransaction_)
            throw BackendError(ErrorClass::Other, "transaction already open");
        snapshot_ = database();
        inTransaction_ = true;
    }
    void commit() override { inTransaction_ = false; }
    void rollback() override {
        database() = snapshot_;
        inTransaction_ = false;
    }
    void savepoint(std::string_view name) override {
        savepoints_.push_back({std::string(name), database()});
    }
    void releaseSavepoint(std::string_view name) override {
        while (!savepoints_.empty()) {
            bool last = savepoints_.back().first == name;
            savepoints_.pop_back();
            if (last)
                break;
        }
    }
    void rollbackToSavepoint(std::string_view name) override {
        for (auto it = savepoints_.rbegin(); it != savepoints_.rend(); ++it)
            if (it->first == name) {
                database() = it->second;
                return;
            }
        throw BackendError(ErrorClass::Other, "no such savepoint");
    }

    void createTable(std::string_view table, std::span<const ColumnDefinition> columns) override {
        writable();
        std::string name(table);
        if (database().count(name))
            throw BackendError(ErrorClass::DuplicateTable, "table " + name + " already exists");
        Table t;
        for (const ColumnDefinition& d : columns) {
            ColumnInfo c;
            c.name = d.name;
            c.type = d.type;
            c.size = d.size;
            c.nullable = d.nullable;
            c.primaryKey = d.primaryKey;
            c.writable = true;
            c.baseTable = name;
            c.baseColumn = d.name;
            t.columns.push_back(c);
        }
        database()[name] = t;
    }
    void dropTable(std::string_view table) override {
        writable();
        if (!database().erase(std::string(table)))
            throw BackendError(ErrorClass::NoTable, "no such table: " + std::string(table));
    }
    bool tableExists(std::string_view table) override {
        return database().count(std::string(table)) > 0;
    }

    bool readRow(std::string_view table, const RowIdentity& id,
                 std::span<const std::string> columns, std::vector<Value>& values) override {
        Table& t = database().at(std::string(table));
        auto row = t.rows.find(std::get<std::int64_t>(id));
        if (row == t.rows.end())
            return false;
        values.clear();
        for (const std::string& c : columns)
            values.push_back(row->second[columnIndex(t, c)]);
        return true;
    }
    bool updateRow(std::string_view table, const RowIdentity& id,
                   std::span<const std::string> columns,
                   std::span<const ValueView> values) override {
        writable();
        Table& t = database().at(std::string(table));
        auto row = t.rows.find(std::get<std::int64_t>(id));
        if (row == t.rows.end())
            return false;
        for (std::size_t i = 0; i < columns.size(); ++i)
            row->second[columnIndex(t, columns[i])] = Value(values[i]);
        ++changes;
        return true;
    }
    RowIdentity insertRow(std::string_view table, std::span<const std::string> columns,
                          std::span<const ValueView> values) override {
        writable();
        Table& t = database().at(std::string(table));
        std::vector<Value> row(t.columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i)
            row[columnIndex(t, columns[i])] = Value(values[i]);
        std::int64_t id = t.nextRowid++;
        t.rows[id] = row;
        return id;
    }
    bool deleteRow(std::string_view table, const RowIdentity& id) override {
        writable();
        return database().at(std::string(table)).rows.erase(std::get<std::int64_t>(id)) > 0;
    }

    void writable() const {
        if (readOnly_)
            throw BackendError(ErrorClass::ReadOnly, "attempt to write a readonly database");
    }
    static std::size_t columnIndex(const Table& t, const std::string& name) {
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == name)
                return i;
        throw BackendError(ErrorClass::Other, "no such column: " + name);
    }

    int changes = 0;

private:
    bool readOnly_;
    std::string name_;
    bool inTransaction_ = false;
    Tables snapshot_;
    std::vector<std::pair<std::string, Tables>> savepoints_;
};

void MemoryStatement::describe() {
    switch (kind_) {
    case Kind::Scan: {
        columns_ = table().columns;
        if (!filter_.empty()) {
            ParameterInfo p;
            p.known = true;
            const ColumnInfo& c = columns_[MemoryConnection::columnIndex(table(), filter_)];
            p.type = c.type;
            p.size = c.size;
            parameters_.push_back(p);
        }
        break;
    }
    case Kind::Count: {
        ColumnInfo c;
        c.name = "count";
        c.type = DBTYPE_I4;
        c.nullable = false;
        columns_.push_back(c);
        break;
    }
    case Kind::Insert:
        for (const ColumnInfo& c : table().columns) {
            ParameterInfo p;
            p.known = true;
            p.name = ":" + c.name;
            p.type = c.type;
            p.size = c.size;
            p.nullable = c.nullable;
            parameters_.push_back(p);
        }
        break;
    case Kind::Unknown:
        parameters_.push_back(ParameterInfo{});
        break;
    case Kind::Fail:
        break;
    }
    bound_.resize(parameters_.size());
}

Table& MemoryStatement::table() {
    return database().at(table_);
}

bool MemoryStatement::step() {
    if (kind_ == Kind::Fail)
        throw BackendError(failure_, "the statement failed as it was asked to", 19);
    if (kind_ == Kind::Insert) {
        connection_.writable();
        Table& t = table();
        for (const auto& [id, row] : t.rows)
            if (equal(row[0].view(), bound_[0].view()))
                throw BackendError(ErrorClass::Integrity, "UNIQUE constraint failed: id");
        t.rows[t.nextRowid++] = bound_;
        affected_ = 1;
        return false;
    }
    if (kind_ == Kind::Unknown)
        return false;
    if (!started_) {
        started_ = true;
        matches_.clear();
        Table& t = table();
        std::size_t column = filter_.empty() ? 0 : MemoryConnection::columnIndex(t, filter_);
        for (const auto& [id, row] : t.rows)
            if (filter_.empty() || equal(row[column].view(), bound_[0].view()))
                matches_.push_back(id);
        if (kind_ == Kind::Count) {
            current_ = {Value(ValueView::ofInt(static_cast<std::int64_t>(matches_.size())))};
            position_ = 1;
            return true;
        }
    }
    if (kind_ == Kind::Count || position_ >= matches_.size())
        return false;
    currentId_ = matches_[position_++];
    current_ = table().rows.at(currentId_);
    return true;
}

std::unique_ptr<Connection> open(const InitSettings& settings) {
    const Value* source = findSetting(settings, PropertySet::DbInit, DBPROP_INIT_DATASOURCE);
    std::string name = source ? source->bytes : "";
    if (name == "missing")
        throw BackendError(ErrorClass::CantOpen, "unable to open database file");
    const Value* mode = findSetting(settings, PropertySet::DbInit, DBPROP_INIT_MODE);
    bool readOnly = mode && mode->integer == DB_MODE_READ;
    return std::make_unique<MemoryConnection>(readOnly, name);
}

const PropertyRow initRows[] = {
    {PropertySet::DbInit, DBPROP_INIT_DATASOURCE, VT_BSTR, propFlagRead | propFlagWrite, 0,
     u"memory.db", u"Data Source"},
    {PropertySet::DbInit, DBPROP_INIT_MODE, VT_I4, propFlagRead | propFlagWrite, DB_MODE_READWRITE,
     nullptr, u"Mode"},
    {PropertySet::DbInit, DBPROP_INIT_CATALOG, VT_BSTR, propFlagRead | propFlagWrite, 0, nullptr,
     u"Initial Catalog"},
};

const ProviderDescriptor memoryDescriptor = {
    "{5C1E0A2B-7D44-4F0E-9A61-3B2C4D5E6F70}",
    u"Vantrel.KitTestMemory.1",
    u"Vantrel.KitTestMemory",
    u"Vantrel kit test provider",
    u"Kit Test Memory Provider",
    u"01.00.0000",
    u"libvantrel-oledb.so",
    initRows,
    &open,
};

} // namespace

Tables& database() {
    static Tables tables;
    return tables;
}

const ProviderDescriptor& descriptor() {
    return memoryDescriptor;
}

void createPeople(const std::string& name) {
    Table t;
    ColumnInfo id;
    id.name = "id";
    id.type = DBTYPE_I4;
    id.nullable = false;
    id.primaryKey = true;
    id.writable = true;
    id.baseTable = name;
    id.baseColumn = "id";
    ColumnInfo text = id;
    text.name = text.baseColumn = "name";
    text.type = DBTYPE_STR;
    text.size = 20;
    text.nullable = true;
    text.primaryKey = false;
    t.columns = {id, text};
    for (int i = 0; i < 3; ++i)
        t.rows[t.nextRowid++] = {Value(ValueView::ofInt(i)), Value(ValueView::ofText("filler"))};
    database()[name] = t;
}

} // namespace memdb

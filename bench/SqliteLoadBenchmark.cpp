// bench_sqlite_load: the bench's 100,011-row load through the SQLite OLE DB provider, and the
// same load written directly against the SQLite C API, in one run.
//
// Provider path, as the bench makes it: one command, prepared per table with the expected
// number of executions, a parameter accessor built from the provider's parameter description,
// one Execute per row with one parameter set, one serializable transaction per table. Raw
// path: one prepared statement per table, the values bound and the statement stepped and reset
// per row, one BEGIN IMMEDIATE ... COMMIT per table. Both run on a fresh database file whose
// schema the provider created (so the schema is the same), alternating, five times each; the
// program prints both medians and their ratio.
//
// Usage: bench_sqlite_load [directory]   (default: the system's temporary directory)
#include <msdaguid.h>
#include <objbase.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>
#include <sqlite3.h>
#include <transact.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char text[128];
        std::snprintf(text, sizeof text, "%s failed: 0x%08X", what, static_cast<unsigned>(hr));
        throw std::runtime_error(text);
    }
}

template <class T> struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p != nullptr)
            p->Release();
    }
    void** out() { return reinterpret_cast<void**>(&p); }
    T* operator->() const { return p; }
};

struct Table {
    const char16_t* name;
    int rows;
    const char* insert;
    std::vector<const char16_t*> columns;
    std::vector<DBLENGTH> textSizes; // 0 for integer columns
    int keyColumns;                  // columns 0..keyColumns-1 not null, the first the key
};

const std::vector<Table>& tables() {
    static const std::vector<Table> t = {
        {u"branches",
         1,
         "INSERT INTO branches (Bid, Bbalance, Remark) VALUES (?, ?, ?)",
         {u"Bid", u"Bbalance", u"Remark"},
         {0, 0, 91},
         2},
        {u"tellers",
         10,
         "INSERT INTO tellers (Tid, Bid, Tbalance, Remark) VALUES (?, ?, ?, ?)",
         {u"Tid", u"Bid", u"Tbalance", u"Remark"},
         {0, 0, 0, 87},
         3},
        {u"accounts",
         100000,
         "INSERT INTO accounts (Aid, Bid, Abalance, Remark) VALUES (?, ?, ?, ?)",
         {u"Aid", u"Bid", u"Abalance", u"Remark"},
         {0, 0, 0, 87},
         3},
    };
    return t;
}

std::u16string widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

struct Session {
    Ref<IDBInitialize> dataSource;
    Ref<IUnknown> session;
};

void openSession(const std::string& file, Session& s) {
    CLSID clsid;
    check(CLSIDFromProgID(u"Vantrel.SQLite", &clsid), "CLSIDFromProgID");
    check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                           s.dataSource.out()),
          "CoCreateInstance");
    Ref<IDBProperties> properties;
    check(s.dataSource->QueryInterface(IID_IDBProperties, properties.out()), "IDBProperties");
    const std::u16string path = widen(file);
    DBPROP prop{};
    prop.dwPropertyID = DBPROP_INIT_DATASOURCE;
    prop.colid = DB_NULLID;
    prop.vValue.vt = VT_BSTR;
    prop.vValue.bstrVal = SysAllocString(path.c_str());
    DBPROPSET set{&prop, 1, DBPROPSET_DBINIT};
    const HRESULT hr = properties->SetProperties(1, &set);
    SysFreeString(prop.vValue.bstrVal);
    check(hr, "SetProperties");
    check(s.dataSource->Initialize(), "Initialize");
    Ref<IDBCreateSession> create;
    check(s.dataSource->QueryInterface(IID_IDBCreateSession, create.out()), "IDBCreateSession");
    check(create->CreateSession(nullptr, IID_IUnknown, &s.session.p), "CreateSession");
}

DBPROP columnProp(DBPROPID id, bool value) {
    DBPROP p{};
    p.dwPropertyID = id;
    p.dwOptions = DBPROPOPTIONS_OPTIONAL;
    p.colid = DB_NULLID;
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return p;
}

// The bench's schema through ITableDefinition (history has no rows, and is left out).
void createSchema(IUnknown* session) {
    Ref<ITableDefinition> definition;
    check(session->QueryInterface(IID_ITableDefinition, definition.out()), "ITableDefinition");
    DBPROP key[] = {columnProp(DBPROP_COL_NULLABLE, false),
                    columnProp(DBPROP_COL_PRIMARYKEY, true)};
    DBPROP notNull[] = {columnProp(DBPROP_COL_NULLABLE, false)};
    DBPROP nullable[] = {columnProp(DBPROP_COL_NULLABLE, true)};
    DBPROPSET keySet{key, 2, DBPROPSET_COLUMN};
    DBPROPSET notNullSet{notNull, 1, DBPROPSET_COLUMN};
    DBPROPSET nullableSet{nullable, 1, DBPROPSET_COLUMN};
    for (const Table& t : tables()) {
        std::vector<DBCOLUMNDESC> descs;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            DBCOLUMNDESC d{};
            d.dbcid.eKind = DBKIND_NAME;
            d.dbcid.uName.pwszName = const_cast<LPOLESTR>(t.columns[i]);
            d.cPropertySets = 1;
            d.rgPropertySets = i == 0                               ? &keySet
                               : static_cast<int>(i) < t.keyColumns ? &notNullSet
                                                                    : &nullableSet;
            if (t.textSizes[i] != 0) {
                d.wType = DBTYPE_STR;
                d.pwszTypeName = const_cast<LPOLESTR>(u"char");
                d.ulColumnSize = t.textSizes[i];
            } else {
                d.wType = DBTYPE_I4;
            }
            descs.push_back(d);
        }
        DBID id{};
        id.eKind = DBKIND_NAME;
        id.uName.pwszName = const_cast<LPOLESTR>(t.name);
        check(definition->CreateTable(nullptr, &id, descs.size(), descs.data(), IID_NULL, 0,
                                      nullptr, nullptr, nullptr),
              "CreateTable");
    }
}

// The load through the provider; returns its duration in seconds.
double loadThroughProvider(IUnknown* session) {
    const auto start = Clock::now();
    Ref<ITransactionLocal> transaction;
    Ref<IDBCreateCommand> create;
    check(session->QueryInterface(IID_ITransactionLocal, transaction.out()), "ITransactionLocal");
    check(session->QueryInterface(IID_IDBCreateCommand, create.out()), "IDBCreateCommand");
    Ref<ICommandText> command;
    check(
        create->CreateCommand(nullptr, IID_ICommandText, reinterpret_cast<IUnknown**>(&command.p)),
        "CreateCommand");
    Ref<ICommandWithParameters> withParameters;
    Ref<ICommandPrepare> prepare;
    check(command->QueryInterface(IID_ICommandWithParameters, withParameters.out()),
          "ICommandWithParameters");
    check(command->QueryInterface(IID_ICommandPrepare, prepare.out()), "ICommandPrepare");
    for (const Table& t : tables()) {
        check(transaction->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr),
              "StartTransaction");
        const std::u16string text = widen(t.insert);
        check(command->SetCommandText(DBGUID_DBSQL, text.c_str()), "SetCommandText");
        check(prepare->Prepare(static_cast<ULONG>(t.rows)), "Prepare");
        DB_UPARAMS count = 0;
        DBPARAMINFO* info = nullptr;
        OLECHAR* names = nullptr;
        check(withParameters->GetParameterInfo(&count, &info, &names), "GetParameterInfo");
        if (count > 6)
            throw std::runtime_error("more parameters than the buffer has room for");
        DBBINDING bindings[6] = {};
        for (DB_UPARAMS i = 0; i < count; ++i) {
            bindings[i].iOrdinal = i + 1;
            bindings[i].obValue = 4 * i;
            bindings[i].dwPart = DBPART_VALUE;
            bindings[i].dwMemOwner = DBMEMOWNER_CLIENTOWNED;
            bindings[i].eParamIO = DBPARAMIO_INPUT;
            bindings[i].cbMaxLen = info[i].ulParamSize;
            bindings[i].wType = info[i].wType;
            bindings[i].bPrecision = info[i].bPrecision;
            bindings[i].bScale = info[i].bScale;
        }
        Ref<IAccessor> accessor;
        check(command->QueryInterface(IID_IAccessor, accessor.out()), "IAccessor");
        HACCESSOR handle = DB_NULL_HACCESSOR;
        DBBINDSTATUS statuses[6];
        check(accessor->CreateAccessor(DBACCESSOR_PARAMETERDATA, count, bindings, 100, &handle,
                                       statuses),
              "CreateAccessor");
        alignas(8) unsigned char buffer[100] = {};
        std::memcpy(buffer + 4 * (count - 1), "filler", 7);
        DBPARAMS params{buffer, 1, handle};
        const unsigned divisor = t.rows == 1 ? 0 : static_cast<unsigned>(t.rows);
        for (int n = 0; n < t.rows; ++n) {
            const std::int32_t key = n;
            std::memcpy(buffer, &key, 4);
            if (divisor != 0) {
                const std::int32_t bid =
                    static_cast<std::int32_t>(static_cast<unsigned>(n) / divisor);
                std::memcpy(buffer + 4, &bid, 4);
            }
            command->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
        }
        accessor->ReleaseAccessor(handle, nullptr);
        CoTaskMemFree(info);
        CoTaskMemFree(names);
        check(prepare->Unprepare(), "Unprepare");
        check(transaction->Commit(FALSE, XACTTC_SYNC, 0), "Commit");
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sqliteCheck(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// The same load against the C API; returns its duration in seconds.
double loadThroughSqlite(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + file);
    const auto start = Clock::now();
    for (const Table& t : tables()) {
        sqliteCheck(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqliteCheck(
            db, sqlite3_prepare_v3(db, t.insert, -1, SQLITE_PREPARE_PERSISTENT, &insert, nullptr),
            "prepare");
        const int parameters = sqlite3_bind_parameter_count(insert);
        const unsigned divisor = t.rows == 1 ? 0 : static_cast<unsigned>(t.rows);
        for (int n = 0; n < t.rows; ++n) {
            sqlite3_bind_int(insert, 1, n);
            sqlite3_bind_int(
                insert, 2, divisor != 0 ? static_cast<int>(static_cast<unsigned>(n) / divisor) : 0);
            if (parameters == 4)
                sqlite3_bind_int(insert, 3, 0);
            sqlite3_bind_text(insert, parameters, "filler", 6, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqliteCheck(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "COMMIT");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sqlite3_close(db);
    return seconds;
}

// A fresh database file with the schema, made through the provider.
std::string freshDatabase(const std::filesystem::path& directory, const std::string& name) {
    const std::string file = (directory / name).string();
    std::filesystem::remove(file);
    Session s;
    openSession(file, s);
    createSchema(s.session.p);
    return file;
}

std::int64_t countAccounts(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT (SELECT COUNT(*) FROM accounts) + (SELECT COUNT(*) FROM "
                       "tellers) + (SELECT COUNT(*) FROM branches)",
                       -1, &s, nullptr);
    const std::int64_t n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path root =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    std::string pattern = (root / "vantrel-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path directory = pattern;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 1;
    }
    int status = 0;
    try {
        std::vector<double> provider;
        std::vector<double> raw;
        for (int run = 0; run < 5; ++run) {
            // Alternate which path goes first, so neither always meets a warm cache.
            for (int side = 0; side < 2; ++side) {
                const bool viaProvider = (run + side) % 2 == 0;
                const std::string file =
                    freshDatabase(directory, viaProvider ? "provider.db" : "raw.db");
                double seconds;
                if (viaProvider) {
                    Session s;
                    openSession(file, s);
                    seconds = loadThroughProvider(s.session.p);
                    provider.push_back(seconds);
                } else {
                    seconds = loadThroughSqlite(file);
                    raw.push_back(seconds);
                }
                if (countAccounts(file) != 100011)
                    throw std::runtime_error("the load did not insert 100,011 rows");
                std::printf("run %d %-8s %8.1f ms\n", run + 1, viaProvider ? "provider" : "raw",
                            seconds * 1000);
            }
        }
        const double p = median(provider);
        const double r = median(raw);
        std::printf("median provider %.1f ms, median raw SQLite %.1f ms\n", p * 1000, r * 1000);
        std::printf("ratio: %.2f (target at most 1.10)\n", p / r);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_sqlite_load: %s\n", e.what());
        status = 1;
    }
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return status;
}

#include "Session.h"

#include "Command.h"
#include "Convert.h"
#include "Errors.h"
#include "KitText.h"

#include <cstring>
#include <set>

namespace vantrel::kit {
namespace {

bool sameGuid(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool levelOf(ISOLEVEL level, IsolationLevel& out) {
    auto is = [level](ISOLATIONLEVEL l) { return level == static_cast<ISOLEVEL>(l); };
    if (is(ISOLATIONLEVEL_READUNCOMMITTED))
        out = IsolationLevel::ReadUncommitted;
    else if (is(ISOLATIONLEVEL_READCOMMITTED) || is(ISOLATIONLEVEL_UNSPECIFIED))
        out = IsolationLevel::ReadCommitted;
    else if (is(ISOLATIONLEVEL_REPEATABLEREAD))
        out = IsolationLevel::RepeatableRead;
    else if (is(ISOLATIONLEVEL_SERIALIZABLE))
        out = IsolationLevel::Serializable;
    else
        return false;
    return true;
}

// Column properties CreateTable understands; the others are reported not supported.
struct ColumnRequest {
    bool nullable = true;
    bool primaryKey = false;
    bool unique = false;
    std::optional<Value> defaultValue;
};

// Applies one column's properties; returns the count of those that failed and whether a
// required one did.
void readColumnProperties(const DBCOLUMNDESC& desc, ColumnRequest& out, std::size_t& failed,
                          std::size_t& total, bool& requiredFailed) {
    for (ULONG s = 0; s < desc.cPropertySets; ++s) {
        DBPROPSET& set = desc.rgPropertySets[s];
        for (ULONG p = 0; p < set.cProperties; ++p) {
            DBPROP& prop = set.rgProperties[p];
            ++total;
            DBPROPSTATUS status = DBPROPSTATUS_OK;
            bool isColumnSet = sameGuid(set.guidPropertySet, DBPROPSET_COLUMN);
            bool optional = prop.dwOptions == DBPROPOPTIONS_OPTIONAL;
            if (prop.dwOptions != DBPROPOPTIONS_REQUIRED && !optional) {
                status = DBPROPSTATUS_BADOPTION;
            } else if (!isColumnSet) {
                status = DBPROPSTATUS_NOTSUPPORTED;
            } else if (prop.dwPropertyID == DBPROP_COL_NULLABLE ||
                       prop.dwPropertyID == DBPROP_COL_PRIMARYKEY ||
                       prop.dwPropertyID == DBPROP_COL_UNIQUE) {
                if (prop.vValue.vt != VT_BOOL) {
                    status = DBPROPSTATUS_BADVALUE;
                } else {
                    bool on = prop.vValue.boolVal == VARIANT_TRUE;
                    if (prop.dwPropertyID == DBPROP_COL_NULLABLE)
                        out.nullable = on;
                    else if (prop.dwPropertyID == DBPROP_COL_PRIMARYKEY)
                        out.primaryKey = on;
                    else
                        out.unique = on;
                }
            } else if (prop.dwPropertyID == DBPROP_COL_DEFAULT) {
                Value v;
                if (readValue(DBTYPE_VARIANT, &prop.vValue, nullptr, 0, v) != DBSTATUS_S_OK)
                    status = DBPROPSTATUS_BADVALUE;
                else
                    out.defaultValue = v;
            } else {
                status = DBPROPSTATUS_NOTSUPPORTED;
            }
            prop.dwStatus = status;
            if (status != DBPROPSTATUS_OK) {
                ++failed;
                if (!optional)
                    requiredFailed = true;
            }
        }
    }
}

} // namespace

bool tableNameOf(const DBID* id, std::string& nameUtf8) {
    if (!id)
        return false;
    if ((id->eKind == DBKIND_NAME || id->eKind == DBKIND_GUID_NAME ||
         id->eKind == DBKIND_PGUID_NAME) &&
        id->uName.pwszName && id->uName.pwszName[0]) {
        nameUtf8 = utf16ToUtf8(id->uName.pwszName);
        return true;
    }
    return false;
}

Session::Session(DataSource* dataSource)
    : dataSource_(dataSource), dataSourceRef_(dataSource->unknown()),
      properties_(
          std::vector<PropertyDef>(sessionProperties().begin(), sessionProperties().end())) {
    dataSource_->sessionOpened();
}

Session::~Session() {
    delete spareCommand_.exchange(nullptr);
    if (inTransaction_) {
        try {
            connection().rollback();
        } catch (...) {
        }
    }
    dataSource_->sessionClosed();
}

void* Session::findInterface(REFIID riid) {
    if (riid == IID_IGetDataSource)
        return static_cast<IGetDataSource*>(this);
    if (riid == IID_IOpenRowset)
        return static_cast<IOpenRowset*>(this);
    if (riid == IID_ISessionProperties)
        return static_cast<ISessionProperties*>(this);
    if (riid == IID_IDBCreateCommand)
        return static_cast<IDBCreateCommand*>(this);
    if (riid == IID_ITableDefinition)
        return static_cast<ITableDefinition*>(this);
    if (riid == IID_ITransactionLocal)
        return static_cast<ITransactionLocal*>(this);
    if (riid == IID_ITransaction)
        return static_cast<ITransaction*>(static_cast<ITransactionLocal*>(this));
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT Session::fail(HRESULT hr, const char* description, REFIID iid) {
    return postError(hr, std::string_view(description), source(), iid);
}

// ---- row locks ----

const void* Session::lockOwner(const std::string& table, const RowIdentity& id) const {
    auto it = locks_.find({table, id});
    return it == locks_.end() ? nullptr : it->second;
}

void Session::lockRow(const std::string& table, const RowIdentity& id, const void* owner) {
    locks_[{table, id}] = owner;
}

void Session::unlockRow(const std::string& table, const RowIdentity& id, const void* owner) {
    auto it = locks_.find({table, id});
    if (it != locks_.end() && it->second == owner)
        locks_.erase(it);
}

void Session::unlockAll(const void* owner) {
    for (auto it = locks_.begin(); it != locks_.end();)
        it = it->second == owner ? locks_.erase(it) : std::next(it);
}

std::string Session::nextSavepointName() {
    return "vantrel_kit_" + std::to_string(++savepoints_);
}

// ---- objects ----

HRESULT STDMETHODCALLTYPE Session::GetDataSource(REFIID riid, IUnknown** ppDataSource) {
    if (!ppDataSource)
        return E_INVALIDARG;
    *ppDataSource = nullptr;
    return dataSource_->QueryInterface(riid, reinterpret_cast<void**>(ppDataSource));
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Session::CreateCommand(IUnknown* pUnkOuter, REFIID riid,
                                                              IUnknown** ppCommand) {
    clearError();
    if (!ppCommand)
        return E_INVALIDARG;
    *ppCommand = nullptr;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    try {
        Command* command = spareCommand_.exchange(nullptr);
        if (command)
            command->reopen();
        else
            command = new Command(this);
        return handOut(command, riid, reinterpret_cast<void**>(ppCommand));
    } catch (...) {
        return postCurrentException(source(), IID_IDBCreateCommand);
    }
}

[[gnu::hot]] bool Session::parkCommand(Command* command) {
    Command* none = nullptr;
    return spareCommand_.compare_exchange_strong(none, command);
}

[[gnu::hot]] HRESULT Session::openRowset(std::shared_ptr<Statement> statement, bool firstRow,
                                         std::shared_ptr<const RowsetProperties> effective,
                                         IUnknown* creator, const AccessorTable* accessors,
                                         REFIID riid, IUnknown** ppRowset) {
    if (effective->wantsChanges && !statement->hasRowIdentity()) {
        PropertyStore readOnly = effective->store;
        readOnly.assign(DBPROPSET_ROWSET, DBPROP_IRowsetChange, PropertyValue::ofBool(false));
        readOnly.assign(DBPROPSET_ROWSET, DBPROP_UPDATABILITY, PropertyValue::ofInt(0));
        effective = std::make_shared<const RowsetProperties>(std::move(readOnly));
    }
    RowsetSetup setup;
    setup.statement = std::move(statement);
    setup.firstRowReady = firstRow;
    setup.source = source();
    setup.creator = creator;
    setup.hostObject = unknown();
    setup.host = this;
    setup.properties = std::move(effective);
    setup.inheritedAccessors = accessors;
    return handOut(new Rowset(std::move(setup)), riid, reinterpret_cast<void**>(ppRowset));
}

HRESULT STDMETHODCALLTYPE Session::OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID* pIndexID,
                                              REFIID riid, ULONG cPropertySets,
                                              DBPROPSET rgPropertySets[], IUnknown** ppRowset) {
    clearError();
    if (ppRowset)
        *ppRowset = nullptr;
    if (!pTableID && !pIndexID)
        return E_INVALIDARG;
    if (cPropertySets && !rgPropertySets)
        return E_INVALIDARG;
    if (pUnkOuter && riid != IID_IUnknown)
        return DB_E_NOAGGREGATION;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    if (pIndexID)
        return fail(DB_E_NOINDEX, "Otevření sady řádků nad indexem není podporováno.",
                    IID_IOpenRowset);
    std::string table;
    if (!tableNameOf(pTableID, table))
        return fail(DB_E_NOTABLE, "Tabulka nemá zadaný název.", IID_IOpenRowset);
    PropertyStore requested(sharedRowsetProperties());
    HRESULT props = requested.setProperties(cPropertySets, rgPropertySets, true, nullptr, nullptr);
    bool requiredFailed = false;
    for (ULONG s = 0; s < cPropertySets; ++s)
        for (ULONG p = 0; p < rgPropertySets[s].cProperties; ++p)
            requiredFailed =
                requiredFailed ||
                (rgPropertySets[s].rgProperties[p].dwStatus != DBPROPSTATUS_OK &&
                 rgPropertySets[s].rgProperties[p].dwOptions == DBPROPOPTIONS_REQUIRED);
    if (requiredFailed)
        return fail(DB_E_ERRORSOCCURRED, "Požadovaná vlastnost sady řádků není podporována.",
                    IID_IOpenRowset);
    try {
        if (!ppRowset)
            return connection().tableExists(table)
                       ? S_OK
                       : fail(DB_E_NOTABLE, "Tabulka neexistuje.", IID_IOpenRowset);
        bool change = wantsChanges(effectiveRowsetProperties(requested));
        std::shared_ptr<Statement> statement =
            connection().prepareTableScan(table, PrepareOptions{change});
        if (change && !statement->hasRowIdentity() &&
            !requested.isOptional(DBPROPSET_ROWSET, DBPROP_IRowsetChange)) {
            for (ULONG s = 0; s < cPropertySets; ++s)
                for (ULONG p = 0; p < rgPropertySets[s].cProperties; ++p) {
                    DBPROP& prop = rgPropertySets[s].rgProperties[p];
                    if (sameGuid(rgPropertySets[s].guidPropertySet, DBPROPSET_ROWSET) &&
                        (prop.dwPropertyID == DBPROP_IRowsetChange ||
                         prop.dwPropertyID == DBPROP_UPDATABILITY))
                        prop.dwStatus = DBPROPSTATUS_NOTSETTABLE;
                }
            return fail(
                DB_E_ERRORSOCCURRED,
                "Řádky tabulky nemají identitu, proto sada řádků nemůže být aktualizovatelná.",
                IID_IOpenRowset);
        }
        bool first = statement->step();
        HRESULT hr = openRowset(
            std::move(statement), first,
            std::make_shared<const RowsetProperties>(effectiveRowsetProperties(requested)),
            unknown(), nullptr, riid, ppRowset);
        return SUCCEEDED(hr) && props != S_OK ? DB_S_ERRORSOCCURRED : hr;
    } catch (...) {
        return postCurrentException(source(), IID_IOpenRowset);
    }
}

// ---- properties ----

HRESULT STDMETHODCALLTYPE Session::GetProperties(ULONG cPropertyIDSets,
                                                 const DBPROPIDSET rgPropertyIDSets[],
                                                 ULONG* pcPropertySets,
                                                 DBPROPSET** prgPropertySets) {
    return properties_.getProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                     prgPropertySets, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE Session::SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[]) {
    return properties_.setProperties(cPropertySets, rgPropertySets, true, nullptr, nullptr);
}

// ---- tables ----

HRESULT STDMETHODCALLTYPE Session::CreateTable(IUnknown* pUnkOuter, DBID* pTableID,
                                               DBORDINAL cColumnDescs,
                                               const DBCOLUMNDESC rgColumnDescs[], REFIID riid,
                                               ULONG cPropertySets, DBPROPSET rgPropertySets[],
                                               DBID** ppTableID, IUnknown** ppRowset) {
    clearError();
    if (ppTableID)
        *ppTableID = nullptr;
    if (ppRowset)
        *ppRowset = nullptr;
    if ((cColumnDescs && !rgColumnDescs) || (cPropertySets && !rgPropertySets))
        return E_INVALIDARG;
    if (!pTableID && !ppTableID)
        return E_INVALIDARG;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    std::string table;
    if (pTableID && !tableNameOf(pTableID, table))
        return fail(DB_E_BADTABLEID, "Název tabulky není platný.", IID_ITableDefinition);
    if (!pTableID)
        table = "table_" + std::to_string(++savepoints_);
    if (cColumnDescs == 0)
        return fail(DB_E_BADCOLUMNID, "Tabulka musí mít alespoň jeden sloupec.",
                    IID_ITableDefinition);

    std::vector<ColumnDefinition> columns;
    std::set<std::string> names;
    std::size_t failed = 0, total = 0;
    bool requiredFailed = false;
    for (DBORDINAL i = 0; i < cColumnDescs; ++i) {
        const DBCOLUMNDESC& d = rgColumnDescs[i];
        ColumnDefinition c;
        if (!tableNameOf(&d.dbcid, c.name))
            return fail(DB_E_BADCOLUMNID, "Sloupec nemá platný název.", IID_ITableDefinition);
        std::string folded = c.name;
        for (char& ch : folded)
            if (ch >= 'A' && ch <= 'Z')
                ch += 32;
        if (!names.insert(folded).second)
            return fail(DB_E_DUPLICATECOLUMNID, "Dva sloupce mají stejný název.",
                        IID_ITableDefinition);
        if (d.wType == DBTYPE_EMPTY || !isSupportedType(d.wType) || d.wType == DBTYPE_VARIANT)
            return fail(DB_E_BADTYPE, "Typ sloupce není podporován.", IID_ITableDefinition);
        if (d.pwszTypeName)
            c.typeName = utf16ToUtf8(d.pwszTypeName);
        c.type = d.wType;
        c.size = d.ulColumnSize;
        c.precision = d.bPrecision;
        c.scale = d.bScale;
        ColumnRequest request;
        readColumnProperties(d, request, failed, total, requiredFailed);
        c.nullable = request.nullable && !request.primaryKey;
        c.primaryKey = request.primaryKey;
        c.unique = request.unique;
        c.defaultValue = request.defaultValue;
        columns.push_back(std::move(c));
    }
    // Table properties: none are supported.
    for (ULONG s = 0; s < cPropertySets; ++s)
        for (ULONG p = 0; p < rgPropertySets[s].cProperties; ++p) {
            DBPROP& prop = rgPropertySets[s].rgProperties[p];
            prop.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
            ++failed;
            ++total;
            if (prop.dwOptions != DBPROPOPTIONS_OPTIONAL)
                requiredFailed = true;
        }
    if (requiredFailed)
        return fail(DB_E_ERRORSOCCURRED,
                    "Požadovaná vlastnost sloupce nebo tabulky není podporována; žádná tabulka "
                    "nebyla vytvořena.",
                    IID_ITableDefinition);
    try {
        connection().createTable(table, columns);
        if (ppTableID) {
            std::u16string wide = utf8ToUtf16(table);
            auto* id = static_cast<DBID*>(CoTaskMemAlloc(sizeof(DBID)));
            auto* name = static_cast<OLECHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
            if (!id || !name) {
                CoTaskMemFree(id);
                CoTaskMemFree(name);
                return E_OUTOFMEMORY;
            }
            std::memset(id, 0, sizeof(DBID));
            std::memcpy(name, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
            id->eKind = DBKIND_NAME;
            id->uName.pwszName = name;
            *ppTableID = id;
        }
        if (ppRowset && riid != IID_NULL) {
            DBID id{};
            std::u16string wide = utf8ToUtf16(table);
            id.eKind = DBKIND_NAME;
            id.uName.pwszName = wide.data();
            HRESULT hr = OpenRowset(nullptr, &id, nullptr, riid, 0, nullptr, ppRowset);
            if (FAILED(hr))
                return hr;
        }
    } catch (...) {
        return postCurrentException(source(), IID_ITableDefinition);
    }
    return failed ? DB_S_ERRORSOCCURRED : S_OK;
}

HRESULT STDMETHODCALLTYPE Session::DropTable(DBID* pTableID) {
    clearError();
    std::string table;
    if (!pTableID)
        return E_INVALIDARG;
    if (!tableNameOf(pTableID, table))
        return fail(DB_E_NOTABLE, "Tabulka nemá zadaný název.", IID_ITableDefinition);
    try {
        connection().dropTable(table);
    } catch (...) {
        return postCurrentException(source(), IID_ITableDefinition);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::AddColumn(DBID* pTableID, DBCOLUMNDESC* pColumnDesc,
                                             DBID** ppColumnID) {
    if (ppColumnID)
        *ppColumnID = nullptr;
    if (!pTableID || !pColumnDesc)
        return E_INVALIDARG;
    return fail(E_NOTIMPL, "Přidávání sloupců do existující tabulky není podporováno.",
                IID_ITableDefinition);
}

HRESULT STDMETHODCALLTYPE Session::DropColumn(DBID* pTableID, DBID* pColumnID) {
    if (!pTableID || !pColumnID)
        return E_INVALIDARG;
    return fail(E_NOTIMPL, "Odebírání sloupců existující tabulky není podporováno.",
                IID_ITableDefinition);
}

// ---- transactions ----

HRESULT STDMETHODCALLTYPE Session::StartTransaction(ISOLEVEL isoLevel, ULONG isoFlags,
                                                    ITransactionOptions*,
                                                    ULONG* pulTransactionLevel) {
    clearError();
    if (pulTransactionLevel)
        *pulTransactionLevel = 0;
    if (isoFlags != 0)
        return fail(XACT_E_NOISORETAIN, "Příznaky izolace nejsou podporovány.",
                    IID_ITransactionLocal);
    IsolationLevel level = IsolationLevel::ReadCommitted;
    if (!levelOf(isoLevel, level))
        return fail(XACT_E_ISOLATIONLEVEL, "Úroveň izolace není podporována.",
                    IID_ITransactionLocal);
    if (inTransaction_)
        return fail(XACT_E_XTIONEXISTS,
                    "V této relaci již probíhá transakce; vnořené transakce nejsou podporovány.",
                    IID_ITransactionLocal);
    try {
        connection().begin(level);
    } catch (...) {
        return postCurrentException(source(), IID_ITransactionLocal);
    }
    inTransaction_ = true;
    isolation_ = isoLevel == static_cast<ISOLEVEL>(ISOLATIONLEVEL_UNSPECIFIED)
                     ? static_cast<ISOLEVEL>(ISOLATIONLEVEL_READCOMMITTED)
                     : isoLevel;
    if (pulTransactionLevel)
        *pulTransactionLevel = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::Commit(BOOL fRetaining, DWORD grfTC, DWORD) {
    clearError();
    if (grfTC != XACTTC_NONE && grfTC != XACTTC_SYNC_PHASEONE && grfTC != XACTTC_SYNC_PHASETWO)
        return fail(XACT_E_NOTSUPPORTED, "Asynchronní potvrzení transakce není podporováno.",
                    IID_ITransaction);
    if (!inTransaction_)
        return fail(XACT_E_NOTRANSACTION, "V této relaci neprobíhá žádná transakce.",
                    IID_ITransaction);
    IsolationLevel level = IsolationLevel::ReadCommitted;
    levelOf(isolation_, level);
    try {
        connection().commit();
        inTransaction_ = false;
        if (fRetaining) {
            connection().begin(level);
            inTransaction_ = true;
        }
    } catch (...) {
        return postCurrentException(source(), IID_ITransaction);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::Abort(BOID*, BOOL fRetaining, BOOL fAsync) {
    clearError();
    if (fAsync)
        return fail(XACT_E_NOTSUPPORTED, "Asynchronní zrušení transakce není podporováno.",
                    IID_ITransaction);
    if (!inTransaction_)
        return fail(XACT_E_NOTRANSACTION, "V této relaci neprobíhá žádná transakce.",
                    IID_ITransaction);
    IsolationLevel level = IsolationLevel::ReadCommitted;
    levelOf(isolation_, level);
    try {
        connection().rollback();
        inTransaction_ = false;
        if (fRetaining) {
            connection().begin(level);
            inTransaction_ = true;
        }
    } catch (...) {
        return postCurrentException(source(), IID_ITransaction);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetTransactionInfo(XACTTRANSINFO* pinfo) {
    if (!pinfo)
        return E_INVALIDARG;
    if (!inTransaction_)
        return fail(XACT_E_NOTRANSACTION, "V této relaci neprobíhá žádná transakce.",
                    IID_ITransaction);
    std::memset(pinfo, 0, sizeof *pinfo);
    pinfo->isoLevel = isolation_;
    pinfo->grfTCSupported = XACTTC_SYNC;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetOptionsObject(ITransactionOptions** ppOptions) {
    if (!ppOptions)
        return E_INVALIDARG;
    *ppOptions = nullptr;
    return fail(E_NOTIMPL, "Možnosti transakce nejsou podporovány.", IID_ITransactionLocal);
}

} // namespace vantrel::kit

#include "FailingProvider.h"

#include "oledb/OleString.h"

#include "vantrel/ClassRegistry.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <stdexcept>

namespace failing {
namespace {

// {5C1B7E8A-3F2D-4B6E-9A41-0D7C2E9F1A63}
const CLSID classId = {
    0x5c1b7e8a, 0x3f2d, 0x4b6e, {0x9a, 0x41, 0x0d, 0x7c, 0x2e, 0x9f, 0x1a, 0x63}};

struct TPlanned {
    HRESULT result;
    int skip;
    int times;
    std::string description;
};

struct TPlan {
    std::map<std::string, TPlanned> failures;
    std::map<std::string, int> counts;
    std::vector<std::string> swallowed;
    bool emptyValues = false;
    bool apartmentAtUninitialize = false;
};

TPlan& plan() {
    static TPlan instance;
    return instance;
}

void postError(const std::string& text) {
    ICreateErrorInfo* create = nullptr;
    if (CreateErrorInfo(&create) < 0 || create == nullptr) {
        return;
    }
    TOleString description = toOleString(text);
    TOleString source = toOleString("Vantrel.FailingSQLite");
    create->SetDescription(description.data());
    create->SetSource(source.data());
    IErrorInfo* info = nullptr;
    if (create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)) >= 0) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

// Counts the call and answers S_OK, or the planned failure (with its error object posted).
HRESULT ask(const char* call) {
    TPlan& p = plan();
    ++p.counts[call];
    auto planned = p.failures.find(call);
    if (planned == p.failures.end() || planned->second.times == 0) {
        return S_OK;
    }
    if (planned->second.skip > 0) {
        --planned->second.skip;
        return S_OK;
    }
    if (planned->second.times > 0) {
        --planned->second.times;
    }
    postError(planned->second.description);
    return planned->second.result;
}

bool swallowed(const char* call) {
    const auto& list = plan().swallowed;
    return std::find(list.begin(), list.end(), call) != list.end();
}

#define FAILING_ASK(call)                                                                          \
    do {                                                                                           \
        const HRESULT planned = ask(call);                                                         \
        if (planned != S_OK) {                                                                     \
            return planned;                                                                        \
        }                                                                                          \
    } while (false)

// Reference counting, the inner object and its interfaces (asked for once, kept until the end).
class TWrapper {
public:
    explicit TWrapper(IUnknown* innerObject) : inner(innerObject) { inner->AddRef(); }
    virtual ~TWrapper() {
        for (auto& held : interfaces) {
            held.second->Release();
        }
        inner->Release();
    }
    TWrapper(const TWrapper&) = delete;
    TWrapper& operator=(const TWrapper&) = delete;

protected:
    ULONG addRef() { return ++refs; }
    ULONG release() {
        const ULONG left = --refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    // The inner object's interface iid, or null when it has none.
    template <class I> I* innerAs(REFIID iid) {
        for (auto& held : interfaces) {
            if (held.first == iid) {
                return static_cast<I*>(held.second);
            }
        }
        IUnknown* found = nullptr;
        if (inner->QueryInterface(iid, reinterpret_cast<void**>(&found)) < 0 || found == nullptr) {
            return nullptr;
        }
        interfaces.push_back({iid, found});
        return static_cast<I*>(found);
    }
    // Hands out `self` for a wrapped iid the inner object also has, the inner object's own
    // interface for any other iid.
    HRESULT answer(REFIID iid, void** ppv, bool wrapped, IUnknown* self) {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (iid == IID_IUnknown) {
            *ppv = self;
            self->AddRef();
            return S_OK;
        }
        if (wrapped) {
            if (innerAs<IUnknown>(iid) == nullptr) {
                return E_NOINTERFACE;
            }
            *ppv = self;
            self->AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, ppv);
    }

    IUnknown* inner;

private:
    std::atomic<ULONG> refs{1};
    std::vector<std::pair<IID, IUnknown*>> interfaces;
};

// Wraps an object that a wrapped call produced and answers iid on the wrapper.
template <class W> HRESULT wrapResult(IUnknown* produced, REFIID iid, IUnknown** out) {
    auto* wrapper = new W(produced);
    produced->Release();
    const HRESULT hr = wrapper->QueryInterface(iid, reinterpret_cast<void**>(out));
    wrapper->Release();
    return hr;
}

class TRowset final : public TWrapper,
                      public IRowset,
                      public IRowsetChange,
                      public IAccessor,
                      public IColumnsInfo {
public:
    using TWrapper::TWrapper;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        IUnknown* self = static_cast<IRowset*>(this);
        if (iid == IID_IRowset || iid == IID_IRowsetChange || iid == IID_IAccessor ||
            iid == IID_IColumnsInfo) {
            const HRESULT hr = answer(iid, ppv, true, self);
            if (hr >= 0) {
                *ppv = iid == IID_IRowset ? static_cast<void*>(static_cast<IRowset*>(this))
                       : iid == IID_IRowsetChange
                           ? static_cast<void*>(static_cast<IRowsetChange*>(this))
                       : iid == IID_IAccessor
                           ? static_cast<void*>(static_cast<IAccessor*>(this))
                           : static_cast<void*>(static_cast<IColumnsInfo*>(this));
            }
            return hr;
        }
        return answer(iid, ppv, false, self);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE AddRefRows(DBCOUNTITEM c, const HROW r[], DBREFCOUNT rc[],
                                         DBROWSTATUS rs[]) override {
        FAILING_ASK("IRowset::AddRefRows");
        return innerAs<IRowset>(IID_IRowset)->AddRefRows(c, r, rc, rs);
    }
    HRESULT STDMETHODCALLTYPE GetData(HROW row, HACCESSOR accessor, void* data) override {
        FAILING_ASK("IRowset::GetData");
        return innerAs<IRowset>(IID_IRowset)->GetData(row, accessor, data);
    }
    HRESULT STDMETHODCALLTYPE GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT rows,
                                          DBCOUNTITEM* obtained, HROW** handles) override {
        FAILING_ASK("IRowset::GetNextRows");
        return innerAs<IRowset>(IID_IRowset)->GetNextRows(chapter, offset, rows, obtained, handles);
    }
    HRESULT STDMETHODCALLTYPE ReleaseRows(DBCOUNTITEM c, const HROW r[], DBROWOPTIONS o[],
                                          DBREFCOUNT rc[], DBROWSTATUS rs[]) override {
        FAILING_ASK("IRowset::ReleaseRows");
        return innerAs<IRowset>(IID_IRowset)->ReleaseRows(c, r, o, rc, rs);
    }
    HRESULT STDMETHODCALLTYPE RestartPosition(HCHAPTER chapter) override {
        FAILING_ASK("IRowset::RestartPosition");
        return innerAs<IRowset>(IID_IRowset)->RestartPosition(chapter);
    }

    HRESULT STDMETHODCALLTYPE DeleteRows(HCHAPTER chapter, DBCOUNTITEM c, const HROW r[],
                                         DBROWSTATUS rs[]) override {
        FAILING_ASK("IRowsetChange::DeleteRows");
        return innerAs<IRowsetChange>(IID_IRowsetChange)->DeleteRows(chapter, c, r, rs);
    }
    HRESULT STDMETHODCALLTYPE SetData(HROW row, HACCESSOR accessor, void* data) override {
        FAILING_ASK("IRowsetChange::SetData");
        if (swallowed("IRowsetChange::SetData")) {
            return S_OK;
        }
        return innerAs<IRowsetChange>(IID_IRowsetChange)->SetData(row, accessor, data);
    }
    HRESULT STDMETHODCALLTYPE InsertRow(HCHAPTER chapter, HACCESSOR accessor, void* data,
                                        HROW* row) override {
        FAILING_ASK("IRowsetChange::InsertRow");
        return innerAs<IRowsetChange>(IID_IRowsetChange)->InsertRow(chapter, accessor, data, row);
    }

    HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* count) override {
        FAILING_ASK("IAccessor::AddRefAccessor");
        return innerAs<IAccessor>(IID_IAccessor)->AddRefAccessor(accessor, count);
    }
    HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count,
                                             const DBBINDING bindings[], DBLENGTH rowSize,
                                             HACCESSOR* accessor, DBBINDSTATUS status[]) override {
        FAILING_ASK("IAccessor::CreateAccessor");
        if ((flags & DBACCESSOR_PARAMETERDATA) != 0) {
            FAILING_ASK("IAccessor::CreateAccessor:PARAMETERDATA");
        }
        return innerAs<IAccessor>(IID_IAccessor)
            ->CreateAccessor(flags, count, bindings, rowSize, accessor, status);
    }
    HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags,
                                          DBCOUNTITEM* count, DBBINDING** bindings) override {
        FAILING_ASK("IAccessor::GetBindings");
        return innerAs<IAccessor>(IID_IAccessor)->GetBindings(accessor, flags, count, bindings);
    }
    HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* count) override {
        FAILING_ASK("IAccessor::ReleaseAccessor");
        return innerAs<IAccessor>(IID_IAccessor)->ReleaseAccessor(accessor, count);
    }

    HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info,
                                            OLECHAR** strings) override {
        FAILING_ASK("IColumnsInfo::GetColumnInfo");
        return innerAs<IColumnsInfo>(IID_IColumnsInfo)->GetColumnInfo(count, info, strings);
    }
    HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL count, const DBID ids[],
                                           DBORDINAL columns[]) override {
        FAILING_ASK("IColumnsInfo::MapColumnIDs");
        return innerAs<IColumnsInfo>(IID_IColumnsInfo)->MapColumnIDs(count, ids, columns);
    }
};

class TCommand final : public TWrapper,
                       public ICommandText,
                       public ICommandProperties,
                       public ICommandPrepare,
                       public ICommandWithParameters {
public:
    using TWrapper::TWrapper;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        IUnknown* self = static_cast<ICommandText*>(this);
        void* as = nullptr;
        if (iid == IID_ICommand || iid == IID_ICommandText) {
            as = static_cast<ICommandText*>(this);
        } else if (iid == IID_ICommandProperties) {
            as = static_cast<ICommandProperties*>(this);
        } else if (iid == IID_ICommandPrepare) {
            as = static_cast<ICommandPrepare*>(this);
        } else if (iid == IID_ICommandWithParameters) {
            as = static_cast<ICommandWithParameters*>(this);
        }
        const HRESULT hr = answer(iid, ppv, as != nullptr, self);
        if (hr >= 0 && as != nullptr) {
            *ppv = as;
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE Cancel() override {
        FAILING_ASK("ICommand::Cancel");
        return innerAs<ICommandText>(IID_ICommandText)->Cancel();
    }
    HRESULT STDMETHODCALLTYPE Execute(IUnknown* outer, REFIID iid, DBPARAMS* params,
                                      DBROWCOUNT* affected, IUnknown** rowset) override {
        if (rowset != nullptr) {
            *rowset = nullptr;
        }
        FAILING_ASK("ICommand::Execute");
        IUnknown* produced = nullptr;
        const HRESULT hr =
            innerAs<ICommandText>(IID_ICommandText)
                ->Execute(outer, iid, params, affected, rowset != nullptr ? &produced : nullptr);
        if (hr < 0 || produced == nullptr) {
            return hr;
        }
        const HRESULT wrapped = wrapResult<TRowset>(produced, iid, rowset);
        return wrapped < 0 ? wrapped : hr;
    }
    HRESULT STDMETHODCALLTYPE GetDBSession(REFIID iid, IUnknown** session) override {
        FAILING_ASK("ICommand::GetDBSession");
        return innerAs<ICommandText>(IID_ICommandText)->GetDBSession(iid, session);
    }
    HRESULT STDMETHODCALLTYPE GetCommandText(GUID* dialect, LPOLESTR* text) override {
        FAILING_ASK("ICommandText::GetCommandText");
        return innerAs<ICommandText>(IID_ICommandText)->GetCommandText(dialect, text);
    }
    HRESULT STDMETHODCALLTYPE SetCommandText(REFGUID dialect, LPCOLESTR text) override {
        FAILING_ASK("ICommandText::SetCommandText");
        return innerAs<ICommandText>(IID_ICommandText)->SetCommandText(dialect, text);
    }

    HRESULT STDMETHODCALLTYPE GetProperties(const ULONG count, const DBPROPIDSET ids[],
                                            ULONG* setCount, DBPROPSET** sets) override {
        FAILING_ASK("ICommandProperties::GetProperties");
        return innerAs<ICommandProperties>(IID_ICommandProperties)
            ->GetProperties(count, ids, setCount, sets);
    }
    HRESULT STDMETHODCALLTYPE SetProperties(ULONG count, DBPROPSET sets[]) override {
        FAILING_ASK("ICommandProperties::SetProperties");
        return innerAs<ICommandProperties>(IID_ICommandProperties)->SetProperties(count, sets);
    }

    HRESULT STDMETHODCALLTYPE Prepare(ULONG runs) override {
        FAILING_ASK("ICommandPrepare::Prepare");
        return innerAs<ICommandPrepare>(IID_ICommandPrepare)->Prepare(runs);
    }
    HRESULT STDMETHODCALLTYPE Unprepare() override {
        FAILING_ASK("ICommandPrepare::Unprepare");
        return innerAs<ICommandPrepare>(IID_ICommandPrepare)->Unprepare();
    }

    HRESULT STDMETHODCALLTYPE GetParameterInfo(DB_UPARAMS* count, DBPARAMINFO** info,
                                               OLECHAR** names) override {
        FAILING_ASK("ICommandWithParameters::GetParameterInfo");
        return innerAs<ICommandWithParameters>(IID_ICommandWithParameters)
            ->GetParameterInfo(count, info, names);
    }
    HRESULT STDMETHODCALLTYPE MapParameterNames(DB_UPARAMS count, const OLECHAR* names[],
                                                DB_LPARAMS ordinals[]) override {
        FAILING_ASK("ICommandWithParameters::MapParameterNames");
        return innerAs<ICommandWithParameters>(IID_ICommandWithParameters)
            ->MapParameterNames(count, names, ordinals);
    }
    HRESULT STDMETHODCALLTYPE SetParameterInfo(DB_UPARAMS count, const DB_UPARAMS ordinals[],
                                               const DBPARAMBINDINFO info[]) override {
        FAILING_ASK("ICommandWithParameters::SetParameterInfo");
        return innerAs<ICommandWithParameters>(IID_ICommandWithParameters)
            ->SetParameterInfo(count, ordinals, info);
    }
};

class TSession final : public TWrapper,
                       public IOpenRowset,
                       public IDBCreateCommand,
                       public ITableDefinition,
                       public ITransactionLocal {
public:
    using TWrapper::TWrapper;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        IUnknown* self = static_cast<IOpenRowset*>(this);
        void* as = nullptr;
        if (iid == IID_IOpenRowset) {
            as = static_cast<IOpenRowset*>(this);
        } else if (iid == IID_IDBCreateCommand) {
            as = static_cast<IDBCreateCommand*>(this);
        } else if (iid == IID_ITableDefinition) {
            as = static_cast<ITableDefinition*>(this);
        } else if (iid == IID_ITransactionLocal || iid == IID_ITransaction) {
            as = static_cast<ITransactionLocal*>(this);
        }
        const HRESULT hr = answer(iid, ppv, as != nullptr, self);
        if (hr >= 0 && as != nullptr) {
            *ppv = as;
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE OpenRowset(IUnknown* outer, DBID* table, DBID* index, REFIID iid,
                                         ULONG count, DBPROPSET sets[],
                                         IUnknown** rowset) override {
        FAILING_ASK("IOpenRowset::OpenRowset");
        IUnknown* produced = nullptr;
        const HRESULT hr = innerAs<IOpenRowset>(IID_IOpenRowset)
                               ->OpenRowset(outer, table, index, iid, count, sets,
                                            rowset != nullptr ? &produced : nullptr);
        if (hr < 0 || produced == nullptr) {
            return hr;
        }
        const HRESULT wrapped = wrapResult<TRowset>(produced, iid, rowset);
        return wrapped < 0 ? wrapped : hr;
    }
    HRESULT STDMETHODCALLTYPE CreateCommand(IUnknown* outer, REFIID iid,
                                            IUnknown** command) override {
        FAILING_ASK("IDBCreateCommand::CreateCommand");
        IUnknown* produced = nullptr;
        const HRESULT hr = innerAs<IDBCreateCommand>(IID_IDBCreateCommand)
                               ->CreateCommand(outer, IID_IUnknown, &produced);
        if (hr < 0) {
            return hr;
        }
        return wrapResult<TCommand>(produced, iid, command);
    }
    HRESULT STDMETHODCALLTYPE CreateTable(IUnknown* outer, DBID* table, DBORDINAL count,
                                          const DBCOLUMNDESC columns[], REFIID iid, ULONG setCount,
                                          DBPROPSET sets[], DBID** tableId,
                                          IUnknown** rowset) override {
        FAILING_ASK("ITableDefinition::CreateTable");
        return innerAs<ITableDefinition>(IID_ITableDefinition)
            ->CreateTable(outer, table, count, columns, iid, setCount, sets, tableId, rowset);
    }
    HRESULT STDMETHODCALLTYPE DropTable(DBID* table) override {
        FAILING_ASK("ITableDefinition::DropTable");
        return innerAs<ITableDefinition>(IID_ITableDefinition)->DropTable(table);
    }
    HRESULT STDMETHODCALLTYPE AddColumn(DBID* table, DBCOLUMNDESC* column, DBID** id) override {
        FAILING_ASK("ITableDefinition::AddColumn");
        return innerAs<ITableDefinition>(IID_ITableDefinition)->AddColumn(table, column, id);
    }
    HRESULT STDMETHODCALLTYPE DropColumn(DBID* table, DBID* column) override {
        FAILING_ASK("ITableDefinition::DropColumn");
        return innerAs<ITableDefinition>(IID_ITableDefinition)->DropColumn(table, column);
    }
    HRESULT STDMETHODCALLTYPE Commit(BOOL retaining, DWORD tc, DWORD rm) override {
        FAILING_ASK("ITransaction::Commit");
        return innerAs<ITransactionLocal>(IID_ITransactionLocal)->Commit(retaining, tc, rm);
    }
    HRESULT STDMETHODCALLTYPE Abort(BOID* reason, BOOL retaining, BOOL async) override {
        FAILING_ASK("ITransaction::Abort");
        return innerAs<ITransactionLocal>(IID_ITransactionLocal)->Abort(reason, retaining, async);
    }
    HRESULT STDMETHODCALLTYPE GetTransactionInfo(XACTTRANSINFO* info) override {
        FAILING_ASK("ITransaction::GetTransactionInfo");
        return innerAs<ITransactionLocal>(IID_ITransactionLocal)->GetTransactionInfo(info);
    }
    HRESULT STDMETHODCALLTYPE GetOptionsObject(ITransactionOptions** options) override {
        FAILING_ASK("ITransactionLocal::GetOptionsObject");
        return innerAs<ITransactionLocal>(IID_ITransactionLocal)->GetOptionsObject(options);
    }
    HRESULT STDMETHODCALLTYPE StartTransaction(ISOLEVEL level, ULONG flags,
                                               ITransactionOptions* options,
                                               ULONG* transactionLevel) override {
        FAILING_ASK("ITransactionLocal::StartTransaction");
        return innerAs<ITransactionLocal>(IID_ITransactionLocal)
            ->StartTransaction(level, flags, options, transactionLevel);
    }
};

class TDataSource final : public TWrapper,
                          public IDBInitialize,
                          public IDBProperties,
                          public IDBCreateSession,
                          public IPersist {
public:
    using TWrapper::TWrapper;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        IUnknown* self = static_cast<IDBInitialize*>(this);
        if (iid == IID_IPersist) {
            if (ppv == nullptr) {
                return E_POINTER;
            }
            *ppv = static_cast<IPersist*>(this);
            AddRef();
            return S_OK;
        }
        void* as = nullptr;
        if (iid == IID_IDBInitialize) {
            as = static_cast<IDBInitialize*>(this);
        } else if (iid == IID_IDBProperties) {
            as = static_cast<IDBProperties*>(this);
        } else if (iid == IID_IDBCreateSession) {
            as = static_cast<IDBCreateSession*>(this);
        }
        const HRESULT hr = answer(iid, ppv, as != nullptr, self);
        if (hr >= 0 && as != nullptr) {
            *ppv = as;
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

    HRESULT STDMETHODCALLTYPE Initialize() override {
        FAILING_ASK("IDBInitialize::Initialize");
        return innerAs<IDBInitialize>(IID_IDBInitialize)->Initialize();
    }
    HRESULT STDMETHODCALLTYPE Uninitialize() override {
        FAILING_ASK("IDBInitialize::Uninitialize");
        // S_FALSE: the thread already was in an apartment. Either way the call is balanced.
        const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        plan().apartmentAtUninitialize = entered == S_FALSE;
        if (entered >= 0) {
            CoUninitialize();
        }
        return innerAs<IDBInitialize>(IID_IDBInitialize)->Uninitialize();
    }
    HRESULT STDMETHODCALLTYPE GetProperties(ULONG count, const DBPROPIDSET ids[], ULONG* setCount,
                                            DBPROPSET** sets) override {
        FAILING_ASK("IDBProperties::GetProperties");
        if (count == 1 && ids != nullptr && ids[0].cPropertyIDs == 1 &&
            ids[0].rgPropertyIDs != nullptr) {
            const std::string narrow =
                "IDBProperties::GetProperties:" + std::to_string(ids[0].rgPropertyIDs[0]);
            FAILING_ASK(narrow.c_str());
        }
        const HRESULT hr =
            innerAs<IDBProperties>(IID_IDBProperties)->GetProperties(count, ids, setCount, sets);
        if (hr >= 0 && plan().emptyValues && sets != nullptr && *sets != nullptr) {
            for (ULONG i = 0; i < *setCount; ++i) {
                for (ULONG j = 0; j < (*sets)[i].cProperties; ++j) {
                    VariantClear(&(*sets)[i].rgProperties[j].vValue);
                }
            }
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyInfo(ULONG count, const DBPROPIDSET ids[], ULONG* setCount,
                                              DBPROPINFOSET** sets,
                                              OLECHAR** descriptions) override {
        FAILING_ASK("IDBProperties::GetPropertyInfo");
        return innerAs<IDBProperties>(IID_IDBProperties)
            ->GetPropertyInfo(count, ids, setCount, sets, descriptions);
    }
    HRESULT STDMETHODCALLTYPE SetProperties(ULONG count, DBPROPSET sets[]) override {
        FAILING_ASK("IDBProperties::SetProperties");
        return innerAs<IDBProperties>(IID_IDBProperties)->SetProperties(count, sets);
    }
    HRESULT STDMETHODCALLTYPE CreateSession(IUnknown* outer, REFIID iid,
                                            IUnknown** session) override {
        FAILING_ASK("IDBCreateSession::CreateSession");
        IUnknown* produced = nullptr;
        const HRESULT hr = innerAs<IDBCreateSession>(IID_IDBCreateSession)
                               ->CreateSession(outer, IID_IUnknown, &produced);
        if (hr < 0) {
            return hr;
        }
        return wrapResult<TSession>(produced, iid, session);
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        if (id == nullptr) {
            return E_POINTER;
        }
        *id = classId;
        return S_OK;
    }
};

HRESULT createDataSource(IUnknown* outer, REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    const TOleString sqlite = toOleString("Vantrel.SQLite.1");
    CLSID sqliteClass;
    HRESULT hr = CLSIDFromProgID(sqlite.c_str(), &sqliteClass);
    if (hr < 0) {
        return hr;
    }
    IUnknown* inner = nullptr;
    hr = CoCreateInstance(sqliteClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&inner));
    if (hr < 0) {
        return hr;
    }
    auto* wrapper = new TDataSource(inner);
    inner->Release();
    hr = wrapper->QueryInterface(iid, ppv);
    wrapper->Release();
    return hr;
}

// The root enumerator's stand-in: ISourcesRowset over the real enumerator, its rowset wrapped.
VantrelClassRegistration realEnumerator;

class TEnumerator final : public TWrapper, public ISourcesRowset {
public:
    using TWrapper::TWrapper;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        IUnknown* self = static_cast<ISourcesRowset*>(this);
        const bool wrapped = iid == IID_ISourcesRowset;
        const HRESULT hr = answer(iid, ppv, wrapped, self);
        if (hr >= 0 && wrapped) {
            *ppv = static_cast<ISourcesRowset*>(this);
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE GetSourcesRowset(IUnknown* outer, REFIID iid, ULONG count,
                                               DBPROPSET sets[], IUnknown** rowset) override {
        FAILING_ASK("ISourcesRowset::GetSourcesRowset");
        IUnknown* produced = nullptr;
        const HRESULT hr = innerAs<ISourcesRowset>(IID_ISourcesRowset)
                               ->GetSourcesRowset(outer, iid, count, sets, &produced);
        if (hr < 0 || produced == nullptr) {
            return hr;
        }
        const HRESULT wrapped = wrapResult<TRowset>(produced, iid, rowset);
        return wrapped < 0 ? wrapped : hr;
    }
};

// The real root enumerator behind the stand-in: from its factory when it is registered in the
// process, else from the class object of the module that serves it.
HRESULT createRealEnumerator(IUnknown** inner) {
    if (realEnumerator.createInstance) {
        return realEnumerator.createInstance(nullptr, IID_IUnknown,
                                             reinterpret_cast<void**>(inner));
    }
    static void* module = dlopen(realEnumerator.modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto getClassObject =
        module ? reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(module, "DllGetClassObject")) : nullptr;
    if (!getClassObject) {
        return CO_E_ERRORINDLL;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(CLSID_OLEDB_ENUMERATOR, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
    if (hr < 0) {
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(inner));
    factory->Release();
    return hr;
}

HRESULT createEnumerator(IUnknown* outer, REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    IUnknown* inner = nullptr;
    HRESULT hr = createRealEnumerator(&inner);
    if (hr < 0) {
        return hr;
    }
    auto* wrapper = new TEnumerator(inner);
    inner->Release();
    hr = wrapper->QueryInterface(iid, ppv);
    wrapper->Release();
    return hr;
}

bool registered = false;

} // namespace

TEnumeratorOverride::TEnumeratorOverride() {
    if (VantrelLookupClass(CLSID_OLEDB_ENUMERATOR, &realEnumerator) < 0) {
        throw std::runtime_error("no root enumerator to stand in front of");
    }
    VantrelUnregisterClass(CLSID_OLEDB_ENUMERATOR);
    VantrelClassRegistration standIn = realEnumerator;
    standIn.createInstance = &createEnumerator;
    if (VantrelRegisterClass(standIn) < 0) {
        VantrelRegisterClass(realEnumerator);
        throw std::runtime_error("cannot register the counting enumerator");
    }
}

TEnumeratorOverride::~TEnumeratorOverride() {
    VantrelUnregisterClass(CLSID_OLEDB_ENUMERATOR);
    VantrelRegisterClass(realEnumerator);
}

TRegistration::TRegistration() {
    if (registered) {
        throw std::logic_error("the failing provider is registered once at a time");
    }
    VantrelClassRegistration registration;
    registration.clsid = classId;
    registration.progId = u"Vantrel.FailingSQLite.1";
    registration.versionIndependentProgId = u"Vantrel.FailingSQLite";
    registration.description = u"Vantrel Failing Test Provider";
    registration.sourceType = DBSOURCETYPE_DATASOURCE_TDP;
    registration.createInstance = &createDataSource;
    if (VantrelRegisterClass(registration) < 0) {
        throw std::runtime_error("cannot register the failing provider");
    }
    registered = true;
    reset();
}

TRegistration::~TRegistration() {
    VantrelUnregisterClass(classId);
    registered = false;
    reset();
}

void failCall(const std::string& call, HRESULT result, int skip, int times,
              const std::string& description) {
    plan().failures[call] = {result, skip, times, description};
}

void swallowCall(const std::string& call) {
    plan().swallowed.push_back(call);
}

void answerEmptyPropertyValues(bool empty) {
    plan().emptyValues = empty;
}

void reset() {
    plan() = TPlan();
}

bool apartmentAtLastUninitialize() {
    return plan().apartmentAtUninitialize;
}

int callCount(const std::string& call) {
    auto found = plan().counts.find(call);
    return found == plan().counts.end() ? 0 : found->second;
}

std::string connectionString(const std::string& databasePath) {
    return std::string("Provider=") + progId + ";Data Source=" + databasePath;
}

} // namespace failing

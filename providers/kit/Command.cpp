#include "Command.h"

#include "ColumnsInfo.h"
#include "Convert.h"
#include "Errors.h"
#include "KitText.h"
#include "Rowset.h"
#include "Session.h"

#include <cstring>
#include <new>

namespace vantrel::kit {
namespace {

bool sameGuid(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool hasSurrogate(std::u16string_view text) {
    for (char16_t c : text)
        if (c >= 0xD800 && c <= 0xDFFF)
            return true;
    return false;
}

// The published type names of DBPARAMBINDINFO::pwszDataSourceType.
struct TypeName {
    const char16_t* name;
    DBTYPE type;
};
constexpr TypeName typeNames[] = {
    {u"DBTYPE_I1", DBTYPE_I1},
    {u"DBTYPE_I2", DBTYPE_I2},
    {u"DBTYPE_I4", DBTYPE_I4},
    {u"DBTYPE_I8", DBTYPE_I8},
    {u"DBTYPE_UI1", DBTYPE_UI1},
    {u"DBTYPE_UI2", DBTYPE_UI2},
    {u"DBTYPE_UI4", DBTYPE_UI4},
    {u"DBTYPE_UI8", DBTYPE_UI8},
    {u"DBTYPE_R4", DBTYPE_R4},
    {u"DBTYPE_R8", DBTYPE_R8},
    {u"DBTYPE_BOOL", DBTYPE_BOOL},
    {u"DBTYPE_CHAR", DBTYPE_STR},
    {u"DBTYPE_VARCHAR", DBTYPE_STR},
    {u"DBTYPE_LONGVARCHAR", DBTYPE_STR},
    {u"DBTYPE_WCHAR", DBTYPE_WSTR},
    {u"DBTYPE_WVARCHAR", DBTYPE_WSTR},
    {u"DBTYPE_WLONGVARCHAR", DBTYPE_WSTR},
    {u"DBTYPE_BSTR", DBTYPE_BSTR},
    {u"DBTYPE_BINARY", DBTYPE_BYTES},
    {u"DBTYPE_VARBINARY", DBTYPE_BYTES},
    {u"DBTYPE_LONGVARBINARY", DBTYPE_BYTES},
    {u"DBTYPE_DBTIMESTAMP", DBTYPE_DBTIMESTAMP},
    {u"DBTYPE_DBDATE", DBTYPE_DBDATE},
};

bool isSigned(DBTYPE t) {
    return t == DBTYPE_I1 || t == DBTYPE_I2 || t == DBTYPE_I4 || t == DBTYPE_I8 || t == DBTYPE_R4 ||
           t == DBTYPE_R8;
}

DBPROPSTATUS validateRowsetProperty(const PropertyDef& def, const PropertyValue& value,
                                    const void*) {
    if (def.id == DBPROP_UPDATABILITY &&
        (value.integer & ~(DBPROPVAL_UP_CHANGE | DBPROPVAL_UP_DELETE | DBPROPVAL_UP_INSERT)))
        return DBPROPSTATUS_BADVALUE;
    if (def.id == DBPROP_MAXROWS && value.integer < 0)
        return DBPROPSTATUS_BADVALUE;
    return DBPROPSTATUS_OK;
}

// A new command's properties are the defaults, whose effective form never changes: derived
// once, and shared by every command until it sets properties of its own.
const std::shared_ptr<const RowsetProperties>& defaultEffectiveProperties() {
    static const std::shared_ptr<const RowsetProperties> effective =
        std::make_shared<const RowsetProperties>(
            effectiveRowsetProperties(PropertyStore(sharedRowsetProperties())));
    return effective;
}

} // namespace

Command::Command(Session* session)
    : session_(session), sessionRef_(session->unknown()), properties_(sharedRowsetProperties()),
      effective_(defaultEffectiveProperties()), change_(effective_->wantsChanges) {}

[[gnu::hot]] ULONG STDMETHODCALLTYPE Command::Release() {
    const ULONG left = dropReference();
    if (left == 0)
        retire();
    return left;
}

[[gnu::hot]] void Command::retire() {
    IUnknown* session = sessionRef_.detach();
    forgetAll();
    if (!session_->parkCommand(this))
        delete this;
    // Not before: the session may go with this reference, and a parked command with it.
    session->Release();
}

[[gnu::hot]] void Command::forgetAll() {
    // Large buffers are not kept for a command that may never need them.
    constexpr std::size_t keptText = 16 * 1024;
    prepared_.reset();
    checkedAccessor_.reset();
    openStatements_.clear();
    accessors_.clear();
    described_.clear();
    conversion_ = Value();
    inError_.clear();
    if (sql_.capacity() > keptText)
        std::string().swap(sql_);
    sql_.clear();
    std::u16string().swap(exactText_);
    hasText_ = false;
    dialect_ = GUID{};
    properties_.resetAll();
    effective_ = defaultEffectiveProperties();
    change_ = effective_->wantsChanges;
    preparedForChange_ = false;
}

void Command::reopen() {
    sessionRef_ = ComRef<IUnknown>(session_->unknown());
}

void* Command::findInterface(REFIID riid) {
    if (riid == IID_ICommand)
        return static_cast<ICommand*>(static_cast<ICommandText*>(this));
    if (riid == IID_ICommandText)
        return static_cast<ICommandText*>(this);
    if (riid == IID_ICommandProperties)
        return static_cast<ICommandProperties*>(this);
    if (riid == IID_ICommandPrepare)
        return static_cast<ICommandPrepare*>(this);
    if (riid == IID_ICommandWithParameters)
        return static_cast<ICommandWithParameters*>(this);
    if (riid == IID_IAccessor)
        return static_cast<IAccessor*>(this);
    if (riid == IID_IColumnsInfo)
        return static_cast<IColumnsInfo*>(this);
    if (riid == IID_IConvertType)
        return static_cast<IConvertType*>(this);
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

HRESULT Command::fail(HRESULT hr, const char* description, REFIID iid) {
    return postError(hr, std::string_view(description), session_->source(), iid);
}

HRESULT STDMETHODCALLTYPE Command::Cancel() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Command::GetDBSession(REFIID riid, IUnknown** ppSession) {
    if (!ppSession)
        return E_INVALIDARG;
    *ppSession = nullptr;
    return session_->QueryInterface(riid, reinterpret_cast<void**>(ppSession));
}

// ---- text ----

HRESULT STDMETHODCALLTYPE Command::GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) {
    if (!ppwszCommand)
        return E_INVALIDARG;
    *ppwszCommand = nullptr;
    if (!hasText_) {
        if (pguidDialect)
            *pguidDialect = DB_NULLGUID;
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_ICommandText);
    }
    std::u16string converted;
    try {
        if (exactText_.empty())
            converted = utf8ToUtf16(sql_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const std::u16string& text = exactText_.empty() ? converted : exactText_;
    auto* out = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *ppwszCommand = out;
    HRESULT hr = S_OK;
    if (pguidDialect) {
        if (!sameGuid(*pguidDialect, dialect_) && !sameGuid(*pguidDialect, DBGUID_DEFAULT))
            hr = DB_S_DIALECTIGNORED;
        *pguidDialect = dialect_;
    }
    return hr;
}

[[gnu::hot]] HRESULT STDMETHODCALLTYPE Command::SetCommandText(REFGUID rguidDialect,
                                                               LPCOLESTR pwszCommand) {
    clearError();
    if (!sameGuid(rguidDialect, DBGUID_DBSQL) && !sameGuid(rguidDialect, DBGUID_SQL) &&
        !sameGuid(rguidDialect, DBGUID_DEFAULT))
        return fail(DB_E_DIALECTNOTSUPPORTED, "Podporován je jen text příkazu v jazyce SQL.",
                    IID_ICommandText);
    if (rowsetOpen())
        return fail(DB_E_OBJECTOPEN, "Sada řádků tohoto příkazu je stále otevřená.",
                    IID_ICommandText);
    setPrepared(nullptr);
    described_.clear();
    // Kept as the UTF-8 every statement is prepared from, converted once here rather than at
    // every Execute; the text as given only when UTF-8 cannot give it back exactly (a lone
    // surrogate). Out of memory, the command is left without text rather than half set.
    hasText_ = false;
    try {
        const std::u16string_view text(pwszCommand, assignUtf8(sql_, pwszCommand));
        if (sql_.size() != text.size() && hasSurrogate(text))
            exactText_.assign(text);
        else
            exactText_.clear();
    } catch (const std::bad_alloc&) {
        sql_.clear();
        exactText_.clear();
        return E_OUTOFMEMORY;
    }
    hasText_ = !sql_.empty();
    dialect_ = sameGuid(rguidDialect, DBGUID_DEFAULT) ? DBGUID_DBSQL : rguidDialect;
    return S_OK;
}

// ---- properties ----

HRESULT STDMETHODCALLTYPE Command::GetProperties(const ULONG cPropertyIDSets,
                                                 const DBPROPIDSET rgPropertyIDSets[],
                                                 ULONG* pcPropertySets,
                                                 DBPROPSET** prgPropertySets) {
    if (cPropertyIDSets == 1 && rgPropertyIDSets &&
        sameGuid(rgPropertyIDSets[0].guidPropertySet, DBPROPSET_PROPERTIESINERROR)) {
        if (!pcPropertySets || !prgPropertySets)
            return E_INVALIDARG;
        *pcPropertySets = 0;
        *prgPropertySets = nullptr;
        if (inError_.empty())
            return S_OK;
        DBPROPIDSET ask{inError_.data(), static_cast<ULONG>(inError_.size()), DBPROPSET_ROWSET};
        HRESULT hr =
            properties_.getProperties(1, &ask, pcPropertySets, prgPropertySets, nullptr, nullptr);
        if (SUCCEEDED(hr) && *prgPropertySets)
            for (ULONG p = 0; p < (*prgPropertySets)[0].cProperties; ++p)
                (*prgPropertySets)[0].rgProperties[p].dwStatus = DBPROPSTATUS_NOTSETTABLE;
        return hr;
    }
    return properties_.getProperties(cPropertyIDSets, rgPropertyIDSets, pcPropertySets,
                                     prgPropertySets, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE Command::SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[]) {
    clearError();
    if (rowsetOpen())
        return fail(DB_E_OBJECTOPEN, "Sada řádků tohoto příkazu je stále otevřená.",
                    IID_ICommandProperties);
    HRESULT hr = properties_.setProperties(cPropertySets, rgPropertySets, true,
                                           validateRowsetProperty, nullptr);
    effective_ = std::make_shared<const RowsetProperties>(effectiveRowsetProperties(properties_));
    change_ = effective_->wantsChanges;
    if (hr == DB_E_ERRORSOCCURRED)
        return fail(hr,
                    "Nepodařilo se nastavit žádnou vlastnost (viz stav jednotlivých vlastností).",
                    IID_ICommandProperties);
    return hr;
}

// ---- preparation ----

[[gnu::hot]] bool Command::rowsetOpen() {
    if (prepared_ && prepared_.use_count() > 1)
        return true;
    std::erase_if(openStatements_, [](const std::weak_ptr<Statement>& s) { return s.expired(); });
    return !openStatements_.empty();
}

[[gnu::hot]] void Command::rememberRowset(const std::shared_ptr<Statement>& statement) {
    // Takes the place of a closed rowset's statement: a weak reference keeps the statement's
    // memory, and rowsetOpen has usually just swept the list anyway.
    for (std::weak_ptr<Statement>& s : openStatements_)
        if (s.expired()) {
            s = statement;
            return;
        }
    openStatements_.push_back(statement);
}

[[gnu::hot]] Statement& Command::statementFor(bool change, std::shared_ptr<Statement>& fresh) {
    if (prepared_ && prepared_.use_count() == 1 && preparedForChange_ == change)
        return *prepared_;
    PrepareOptions options;
    options.wantRowIdentity = change;
    // Not prepared by the consumer: nothing was asked of the statement before this execution.
    options.runOnce = true;
    fresh = session_->connection().prepareShared(sql_, options);
    return *fresh;
}

HRESULT STDMETHODCALLTYPE Command::Prepare(ULONG) {
    clearError();
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_ICommandPrepare);
    if (rowsetOpen())
        return fail(DB_E_OBJECTOPEN, "Sada řádků tohoto příkazu je stále otevřená.",
                    IID_ICommandPrepare);
    bool change = change_;
    try {
        setPrepared(session_->connection().prepareShared(sql_, PrepareOptions{change}));
        preparedForChange_ = change;
    } catch (...) {
        setPrepared(nullptr);
        return postCurrentException(session_->source(), IID_ICommandPrepare);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Command::Unprepare() {
    if (rowsetOpen())
        return fail(DB_E_OBJECTOPEN, "Sada řádků tohoto příkazu je stále otevřená.",
                    IID_ICommandPrepare);
    setPrepared(nullptr);
    return S_OK;
}

void Command::setPrepared(std::shared_ptr<Statement> statement) {
    prepared_ = std::move(statement);
    checkedAccessor_.reset();
}

// ---- parameters ----

HRESULT STDMETHODCALLTYPE Command::GetParameterInfo(DB_UPARAMS* pcParams,
                                                    DBPARAMINFO** prgParamInfo,
                                                    OLECHAR** ppNamesBuffer) {
    clearError();
    if (pcParams)
        *pcParams = 0;
    if (prgParamInfo)
        *prgParamInfo = nullptr;
    if (ppNamesBuffer)
        *ppNamesBuffer = nullptr;
    if (!pcParams || !prgParamInfo)
        return E_INVALIDARG;
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_ICommandWithParameters);
    std::vector<ParameterInfo> params;
    if (prepared_) {
        for (std::size_t i = 0; i < prepared_->parameterCount(); ++i) {
            auto d = described_.find(i + 1);
            params.push_back(d != described_.end() ? d->second : prepared_->parameterInfo(i));
        }
    } else if (!described_.empty()) {
        for (const auto& [ordinal, info] : described_) {
            while (params.size() + 1 < ordinal)
                params.push_back(ParameterInfo{});
            params.push_back(info);
        }
    } else {
        return fail(DB_E_NOTPREPARED, "Před popisem parametrů je nutné příkaz připravit.",
                    IID_ICommandWithParameters);
    }
    for (const ParameterInfo& p : params)
        if (!p.known)
            return fail(DB_E_PARAMUNAVAILABLE,
                        "Typ parametru nelze z příkazu určit; popište jej pomocí SetParameterInfo.",
                        IID_ICommandWithParameters);
    if (params.empty())
        return S_OK;
    std::vector<std::u16string> names;
    std::size_t chars = 0;
    for (const ParameterInfo& p : params) {
        names.push_back(utf8ToUtf16(p.name));
        if (!p.name.empty())
            chars += names.back().size() + 1;
    }
    auto* info = static_cast<DBPARAMINFO*>(CoTaskMemAlloc(params.size() * sizeof(DBPARAMINFO)));
    OLECHAR* buffer = chars && ppNamesBuffer
                          ? static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR)))
                          : nullptr;
    if (!info || (chars && ppNamesBuffer && !buffer)) {
        CoTaskMemFree(info);
        CoTaskMemFree(buffer);
        return E_OUTOFMEMORY;
    }
    std::memset(info, 0, params.size() * sizeof(DBPARAMINFO));
    OLECHAR* next = buffer;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const ParameterInfo& p = params[i];
        DBPARAMINFO& out = info[i];
        out.iOrdinal = i + 1;
        out.wType = p.type;
        DBLENGTH fixed = fixedSize(p.type);
        out.ulParamSize = fixed && p.type != DBTYPE_BSTR ? fixed : (p.size ? p.size : ~DBLENGTH(0));
        out.bPrecision = p.precision;
        out.bScale = p.scale;
        out.dwFlags = DBPARAMFLAGS_ISINPUT;
        if (p.nullable)
            out.dwFlags |= DBPARAMFLAGS_ISNULLABLE;
        if (isSigned(p.type))
            out.dwFlags |= DBPARAMFLAGS_ISSIGNED;
        if (out.ulParamSize == ~DBLENGTH(0))
            out.dwFlags |= DBPARAMFLAGS_ISLONG;
        if (next && !p.name.empty()) {
            std::memcpy(next, names[i].c_str(), (names[i].size() + 1) * sizeof(OLECHAR));
            out.pwszName = next;
            next += names[i].size() + 1;
        }
    }
    *pcParams = params.size();
    *prgParamInfo = info;
    if (ppNamesBuffer)
        *ppNamesBuffer = buffer;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Command::MapParameterNames(DB_UPARAMS cParamNames,
                                                     const OLECHAR* rgParamNames[],
                                                     DB_LPARAMS rgParamOrdinals[]) {
    if (cParamNames && (!rgParamNames || !rgParamOrdinals))
        return E_INVALIDARG;
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_ICommandWithParameters);
    if (!prepared_ && described_.empty())
        return fail(DB_E_NOTPREPARED, "Příkaz je nutné nejprve připravit.",
                    IID_ICommandWithParameters);
    DB_UPARAMS found = 0;
    for (DB_UPARAMS i = 0; i < cParamNames; ++i) {
        rgParamOrdinals[i] = 0;
        if (!rgParamNames[i])
            continue;
        std::string name = utf16ToUtf8(rgParamNames[i]);
        for (const auto& [ordinal, info] : described_)
            if (info.name == name)
                rgParamOrdinals[i] = static_cast<DB_LPARAMS>(ordinal);
        if (!rgParamOrdinals[i] && prepared_)
            for (std::size_t k = 0; k < prepared_->parameterCount(); ++k)
                if (prepared_->parameterInfo(k).name == name)
                    rgParamOrdinals[i] = static_cast<DB_LPARAMS>(k + 1);
        if (rgParamOrdinals[i])
            ++found;
    }
    if (found == cParamNames)
        return S_OK;
    return found ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

HRESULT STDMETHODCALLTYPE Command::SetParameterInfo(DB_UPARAMS cParams,
                                                    const DB_UPARAMS rgParamOrdinals[],
                                                    const DBPARAMBINDINFO rgParamBindInfo[]) {
    if (cParams && !rgParamOrdinals)
        return E_INVALIDARG;
    if (cParams == 0) {
        described_.clear();
        return S_OK;
    }
    std::map<DB_UPARAMS, ParameterInfo> updated = described_;
    bool overridden = false;
    for (DB_UPARAMS i = 0; i < cParams; ++i) {
        DB_UPARAMS ordinal = rgParamOrdinals[i];
        if (ordinal == 0)
            return fail(DB_E_BADORDINAL, "Pořadová čísla parametrů začínají od 1.",
                        IID_ICommandWithParameters);
        if (!rgParamBindInfo) {
            updated.erase(ordinal);
            continue;
        }
        const DBPARAMBINDINFO& b = rgParamBindInfo[i];
        if (!b.pwszDataSourceType)
            return E_INVALIDARG;
        std::u16string_view typeName(b.pwszDataSourceType);
        const TypeName* match = nullptr;
        for (const TypeName& t : typeNames)
            if (typeName == t.name)
                match = &t;
        if (!match)
            return fail(DB_E_BADTYPENAME, "Název typu parametru není znám.",
                        IID_ICommandWithParameters);
        if (b.dwFlags & DBPARAMFLAGS_ISOUTPUT)
            return fail(E_INVALIDARG, "Výstupní parametry nejsou podporovány.",
                        IID_ICommandWithParameters);
        ParameterInfo info;
        info.known = true;
        info.name = b.pwszName ? utf16ToUtf8(b.pwszName) : std::string();
        info.type = match->type;
        info.size = b.ulParamSize;
        info.precision = b.bPrecision;
        info.scale = b.bScale;
        info.nullable = (b.dwFlags & DBPARAMFLAGS_ISNULLABLE) != 0;
        if (prepared_ && ordinal <= prepared_->parameterCount() &&
            prepared_->parameterInfo(ordinal - 1).known)
            overridden = true;
        updated[ordinal] = info;
    }
    described_ = std::move(updated);
    return overridden ? DB_S_TYPEINFOOVERRIDDEN : S_OK;
}

// ---- accessors, columns ----

HRESULT STDMETHODCALLTYPE Command::AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
    return addRefAccessorCall(accessors_, hAccessor, pcRefCount, session_->source());
}

HRESULT STDMETHODCALLTYPE Command::CreateAccessor(DBACCESSORFLAGS dwAccessorFlags,
                                                  DBCOUNTITEM cBindings,
                                                  const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                                                  HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) {
    // Columns are checked when a rowset uses the accessor.
    return createAccessorCall(accessors_, dwAccessorFlags, cBindings, rgBindings, cbRowSize,
                              phAccessor, rgStatus, AccessorTarget{}, session_->source());
}

HRESULT STDMETHODCALLTYPE Command::GetBindings(HACCESSOR hAccessor,
                                               DBACCESSORFLAGS* pdwAccessorFlags,
                                               DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) {
    return getBindingsCall(accessors_, hAccessor, pdwAccessorFlags, pcBindings, prgBindings,
                           session_->source());
}

HRESULT STDMETHODCALLTYPE Command::ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) {
    return releaseAccessorCall(accessors_, hAccessor, pcRefCount, session_->source());
}

HRESULT STDMETHODCALLTYPE Command::GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                                 OLECHAR** ppStringsBuffer) {
    if (pcColumns)
        *pcColumns = 0;
    if (prgInfo)
        *prgInfo = nullptr;
    if (ppStringsBuffer)
        *ppStringsBuffer = nullptr;
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_IColumnsInfo);
    if (!prepared_)
        return fail(DB_E_NOTPREPARED, "Příkaz je nutné nejprve připravit.", IID_IColumnsInfo);
    bool bookmarks = effective_->bookmarks;
    bool change = change_ && prepared_->hasRowIdentity();
    std::vector<ColumnInfo> columns = prepared_->columns();
    prepared_->describeKeys(columns);
    return getColumnInfo({columns, bookmarks, change}, pcColumns, prgInfo, ppStringsBuffer);
}

HRESULT STDMETHODCALLTYPE Command::MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                                DBORDINAL rgColumns[]) {
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_IColumnsInfo);
    if (!prepared_)
        return fail(DB_E_NOTPREPARED, "Příkaz je nutné nejprve připravit.", IID_IColumnsInfo);
    bool bookmarks = effective_->bookmarks;
    return mapColumnIds({prepared_->columns(), bookmarks, false}, cColumnIDs, rgColumnIDs,
                        rgColumns);
}

HRESULT STDMETHODCALLTYPE Command::CanConvert(DBTYPE wFromType, DBTYPE wToType,
                                              DBCONVERTFLAGS dwConvertFlags) {
    constexpr DBCONVERTFLAGS known =
        DBCONVERTFLAGS(DBCONVERTFLAGS_PARAMETER) | DBCONVERTFLAGS(DBCONVERTFLAGS_ISLONG) |
        DBCONVERTFLAGS(DBCONVERTFLAGS_ISFIXEDLENGTH) | DBCONVERTFLAGS(DBCONVERTFLAGS_FROMVARIANT);
    if (dwConvertFlags & ~known)
        return fail(DB_E_BADCONVERTFLAG, "Neznámé příznaky převodu.", IID_IConvertType);
    return canConvert(wFromType, wToType) ? S_OK : S_FALSE;
}

// ---- execution ----

// Hot: runs for every row of a load (see Execute below).
[[gnu::hot]] HRESULT Command::bindParameters(Statement& statement, const Accessor& accessor,
                                             const DBPARAMS& params, DB_UPARAMS index) {
    void* data = static_cast<char*>(params.pData) + index * accessor.rowSize;
    // Each value is bound as soon as it is read (the statement copies what it needs), so a
    // converted text needs room only until then. After a failure the rest are still read, for
    // their statuses, but not bound: the statement is not run, and the next execution binds
    // every parameter again.
    bool failed = false;
    for (const DBBINDING& b : accessor.bindings) {
        BoundValue::Use use;
        ValueView value;
        if (readBinding(b, data, use, value, conversion_) != DBSTATUS_S_OK)
            failed = true;
        else if (!failed)
            statement.bind(b.iOrdinal - 1, value); // a default or ignored value is a null view
    }
    if (failed)
        return fail(DB_E_ERRORSOCCURRED,
                    "Hodnotu parametru nebylo možné převést (viz stav parametrů).", IID_ICommand);
    return S_OK;
}

HRESULT Command::checkParameterBindings(const Accessor& accessor, const DBPARAMS& params,
                                        std::size_t count) {
    // Every parameter needs a value from the consumer, and every binding a parameter: a
    // statement run with a parameter left out would store NULL where no value was given.
    std::vector<bool> bound(count, false);
    bool badBinding = false;
    for (const DBBINDING& b : accessor.bindings) {
        if (b.iOrdinal >= 1 && b.iOrdinal <= count) {
            bound[b.iOrdinal - 1] = true;
            continue;
        }
        badBinding = true;
        for (DB_UPARAMS set = 0; set < params.cParamSets && (b.dwPart & DBPART_STATUS); ++set) {
            DBSTATUS status = DBSTATUS_E_BADACCESSOR;
            std::memcpy(static_cast<char*>(params.pData) + set * accessor.rowSize + b.obStatus,
                        &status, sizeof status);
        }
    }
    if (badBinding)
        return fail(DB_E_ERRORSOCCURRED,
                    "Vazba parametru odkazuje na parametr, který příkaz nemá (viz stav parametrů); "
                    "nic nebylo provedeno.",
                    IID_ICommand);
    for (std::size_t i = 0; i < count; ++i)
        if (!bound[i])
            return postError(DB_E_PARAMNOTOPTIONAL,
                             "Pro parametr " + std::to_string(i + 1) +
                                 " nebyla zadána hodnota; nic nebylo provedeno.",
                             session_->source(), IID_ICommand);
    return S_OK;
}

HRESULT Command::refuseChange(const char* why) {
    inError_ = {DBPROP_IRowsetChange};
    if (properties_.isSet(DBPROPSET_ROWSET, DBPROP_UPDATABILITY))
        inError_.push_back(DBPROP_UPDATABILITY);
    return fail(DB_E_ERRORSOCCURRED, why, IID_ICommand);
}

[[gnu::hot]] HRESULT Command::openRowsetOver(const std::shared_ptr<Statement>& statement,
                                             bool isPrepared, bool row, REFIID riid,
                                             IUnknown** ppRowset) {
    // The command's own properties, unless the interface asked for adds one.
    const bool addChange = riid == IID_IRowsetChange && !change_;
    const bool addLocate = riid == IID_IRowsetLocate;
    std::shared_ptr<const RowsetProperties> properties = effective_;
    if (addChange || addLocate) {
        PropertyStore widened(properties_);
        if (addChange)
            widened.assign(DBPROPSET_ROWSET, DBPROP_IRowsetChange, PropertyValue::ofBool(true));
        if (addLocate)
            widened.assign(DBPROPSET_ROWSET, DBPROP_IRowsetLocate, PropertyValue::ofBool(true));
        properties = std::make_shared<const RowsetProperties>(effectiveRowsetProperties(widened));
    }
    HRESULT hr = session_->openRowset(statement, row, std::move(properties), unknown(), &accessors_,
                                      riid, ppRowset);
    if (SUCCEEDED(hr) && !isPrepared)
        rememberRowset(statement);
    return hr;
}

// Hot: it runs for every row of a load, and hot functions are placed together, so that they
// and SQLite's own code stay in the instruction cache (several percent of a load's time).
[[gnu::hot]] HRESULT STDMETHODCALLTYPE Command::Execute(IUnknown* pUnkOuter, REFIID riid,
                                                        DBPARAMS* pParams,
                                                        DBROWCOUNT* pcRowsAffected,
                                                        IUnknown** ppRowset) {
    clearError();
    if (ppRowset)
        *ppRowset = nullptr;
    if (pcRowsAffected)
        *pcRowsAffected = DB_COUNTUNAVAILABLE;
    const bool wantRowset = riid != IID_NULL;
    if (wantRowset && !ppRowset)
        return E_INVALIDARG;
    if (pUnkOuter)
        return DB_E_NOAGGREGATION;
    if (!hasText_)
        return fail(DB_E_NOCOMMAND, "Nebyl zadán text příkazu.", IID_ICommand);
    inError_.clear();

    // Asking for IRowsetChange or IRowsetLocate asks for what they need.
    bool change = change_ || riid == IID_IRowsetChange;
    // Looked up without a reference: nothing in this call can release it.
    const Accessor* accessor = nullptr;
    if (pParams && pParams->cParamSets > 0) {
        accessor = accessors_.lookup(pParams->hAccessor);
        if (!accessor)
            return fail(DB_E_BADACCESSORHANDLE,
                        "Popisovač přístupového objektu parametrů není platný.", IID_ICommand);
        if (!(accessor->flags & DBACCESSOR_PARAMETERDATA))
            return fail(DB_E_BADACCESSORTYPE, "Přístupový objekt není určen pro parametry.",
                        IID_ICommand);
        if (!pParams->pData)
            return E_INVALIDARG;
        if (pParams->cParamSets > 1 && accessor->rowSize == 0)
            return fail(
                E_INVALIDARG,
                "Pro více sad parametrů je nutné zadat velikost řádku přístupového objektu.",
                IID_ICommand);
    }
    std::shared_ptr<Statement> fresh;
    Statement* statement = nullptr;
    try {
        statement = &statementFor(change, fresh);
        const bool isPrepared = !fresh;
        std::size_t count = statement->parameterCount();
        if (count > 0 && !accessor)
            return fail(DB_E_PARAMNOTOPTIONAL, "Příkaz má parametry, ale žádné nebyly zadány.",
                        IID_ICommand);
        // The check depends only on the accessor and the statement's parameters, so a
        // prepared statement executed again with the same accessor needs it once.
        if (accessor && !(isPrepared && accessor == checkedAccessor_.get())) {
            HRESULT hr = checkParameterBindings(*accessor, *pParams, count);
            if (hr != S_OK)
                return hr;
            if (isPrepared)
                checkedAccessor_ = accessors_.find(pParams->hAccessor);
        }
        if (statement->returnsRows() && change && !statement->hasRowIdentity() &&
            !properties_.isOptional(DBPROPSET_ROWSET, DBPROP_IRowsetChange))
            return refuseChange("The rowset cannot be updatable: the query does not read rows "
                                "of one table that can be located again.");
        DB_UPARAMS sets = accessor ? pParams->cParamSets : 1;
        DBROWCOUNT affected = 0;
        bool counted = false;
        for (DB_UPARAMS set = 0; set < sets; ++set) {
            statement->reset();
            if (accessor) {
                HRESULT hr = bindParameters(*statement, *accessor, *pParams, set);
                if (hr != S_OK)
                    return hr;
            }
            bool row = statement->step();
            // Asked again: a statement may learn whether it returns rows only when run.
            if (statement->returnsRows()) {
                if (set + 1 == sets && wantRowset)
                    return openRowsetOver(isPrepared ? prepared_ : fresh, isPrepared, row, riid,
                                          ppRowset);
                statement->reset();
                continue;
            }
            while (row)
                row = statement->step();
            if (pcRowsAffected) {
                const std::int64_t n = statement->rowsAffected();
                if (n >= 0) {
                    affected += n;
                    counted = true;
                }
            }
            statement->reset();
        }
        if (pcRowsAffected && counted)
            *pcRowsAffected = affected;
    } catch (...) {
        if (statement) {
            try {
                statement->reset();
            } catch (...) {
            }
        }
        return postCurrentException(session_->source(), IID_ICommand);
    }
    return S_OK;
}

} // namespace vantrel::kit

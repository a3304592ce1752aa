// The kit's command: ICommandText (ICommand), ICommandProperties, ICommandPrepare,
// ICommandWithParameters, IAccessor, IColumnsInfo, IConvertType, ISupportErrorInfo.
//
// Prepare keeps one compiled statement that every later Execute reuses (rebinding its
// parameters) as long as no rowset still reads from it.
#pragma once

#include "Accessor.h"
#include "ComObject.h"
#include "KitCom.h"
#include "Properties.h"

#include <map>
#include <memory>
#include <string>

namespace vantrel::kit {

class Session;
struct RowsetProperties;

class Command final
    : public ComObject<ICommandText, ICommandProperties, ICommandPrepare, ICommandWithParameters,
                       IAccessor, IColumnsInfo, IConvertType, ISupportErrorInfo> {
public:
    explicit Command(Session* session);

    // Released for the last time, the command is cleared and handed to its session for the
    // next CreateCommand (see retire) instead of being destroyed.
    ULONG STDMETHODCALLTYPE Release() override;

    // ICommand
    HRESULT STDMETHODCALLTYPE Cancel() override;
    HRESULT STDMETHODCALLTYPE Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams,
                                      DBROWCOUNT* pcRowsAffected, IUnknown** ppRowset) override;
    HRESULT STDMETHODCALLTYPE GetDBSession(REFIID riid, IUnknown** ppSession) override;
    // ICommandText
    HRESULT STDMETHODCALLTYPE GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) override;
    HRESULT STDMETHODCALLTYPE SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) override;
    // ICommandProperties
    HRESULT STDMETHODCALLTYPE GetProperties(const ULONG cPropertyIDSets,
                                            const DBPROPIDSET rgPropertyIDSets[],
                                            ULONG* pcPropertySets,
                                            DBPROPSET** prgPropertySets) override;
    HRESULT STDMETHODCALLTYPE SetProperties(ULONG cPropertySets,
                                            DBPROPSET rgPropertySets[]) override;
    // ICommandPrepare
    HRESULT STDMETHODCALLTYPE Prepare(ULONG cExpectedRuns) override;
    HRESULT STDMETHODCALLTYPE Unprepare() override;
    // ICommandWithParameters
    HRESULT STDMETHODCALLTYPE GetParameterInfo(DB_UPARAMS* pcParams, DBPARAMINFO** prgParamInfo,
                                               OLECHAR** ppNamesBuffer) override;
    HRESULT STDMETHODCALLTYPE MapParameterNames(DB_UPARAMS cParamNames,
                                                const OLECHAR* rgParamNames[],
                                                DB_LPARAMS rgParamOrdinals[]) override;
    HRESULT STDMETHODCALLTYPE SetParameterInfo(DB_UPARAMS cParams,
                                               const DB_UPARAMS rgParamOrdinals[],
                                               const DBPARAMBINDINFO rgParamBindInfo[]) override;
    // IAccessor
    HRESULT STDMETHODCALLTYPE AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
    HRESULT STDMETHODCALLTYPE CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings,
                                             const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                                             HACCESSOR* phAccessor,
                                             DBBINDSTATUS rgStatus[]) override;
    HRESULT STDMETHODCALLTYPE GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags,
                                          DBCOUNTITEM* pcBindings,
                                          DBBINDING** prgBindings) override;
    HRESULT STDMETHODCALLTYPE ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) override;
    // IColumnsInfo
    HRESULT STDMETHODCALLTYPE GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                                            OLECHAR** ppStringsBuffer) override;
    HRESULT STDMETHODCALLTYPE MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                                           DBORDINAL rgColumns[]) override;
    // IConvertType
    HRESULT STDMETHODCALLTYPE CanConvert(DBTYPE wFromType, DBTYPE wToType,
                                         DBCONVERTFLAGS dwConvertFlags) override;
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return supportsErrorInfo(riid);
    }

protected:
    void* findInterface(REFIID riid) override;

private:
    friend class Session;
    ~Command() override = default;
    // After the last Release: everything the consumer gave or made goes (the statement first,
    // before the session reference), and the object, now as a new one, is parked in the
    // session or destroyed when the session already keeps one.
    void retire();
    // Back to what a new command is.
    void forgetAll();
    // A parked command taken for a new CreateCommand: it holds its session again.
    void reopen();
    [[gnu::cold]] HRESULT fail(HRESULT hr, const char* description, REFIID iid);
    // The statement for this execution: the prepared one when free, else a fresh one, which
    // `fresh` then owns. Executed row after row, the prepared one is taken without a reference.
    Statement& statementFor(bool change, std::shared_ptr<Statement>& fresh);
    // Binds parameter set `index` of pParams; returns S_OK or a posted failure.
    HRESULT bindParameters(Statement& statement, const Accessor& accessor, const DBPARAMS& params,
                           DB_UPARAMS index);
    [[gnu::cold]] HRESULT refuseChange(const char* why);
    // DB_E_ERRORSOCCURRED (statuses set) for a binding to a parameter the statement does not
    // have, DB_E_PARAMNOTOPTIONAL for a parameter no binding gives; else S_OK.
    HRESULT checkParameterBindings(const Accessor& accessor, const DBPARAMS& params,
                                   std::size_t count);
    // Opens the rowset over an executed statement (`row`: it stands on its first row). Kept
    // out of Execute, so that the path a load runs row after row stays small.
    [[gnu::noinline]] HRESULT openRowsetOver(const std::shared_ptr<Statement>& statement,
                                             bool isPrepared, bool row, REFIID riid,
                                             IUnknown** ppRowset);
    // Whether a rowset this command produced is still open.
    bool rowsetOpen();
    // Notes a rowset opened over a statement other than the prepared one.
    void rememberRowset(const std::shared_ptr<Statement>& statement);
    // Replaces the prepared statement; what was checked against the old one is forgotten.
    void setPrepared(std::shared_ptr<Statement> statement);

    Session* session_;
    ComRef<IUnknown> sessionRef_;
    std::string sql_;          // the command text in UTF-8
    std::u16string exactText_; // the text as given, when UTF-8 does not keep it exactly
    bool hasText_ = false;
    GUID dialect_{};
    PropertyStore properties_;
    // properties_ with their dependencies applied, and whether they ask for changes; kept up
    // to date by SetProperties so that each Execute does not derive them again, and shared
    // with the rowsets as they are.
    std::shared_ptr<const RowsetProperties> effective_;
    bool change_ = false;
    // Properties in error after the last Execute (DBPROPSET_PROPERTIESINERROR).
    std::vector<DBPROPID> inError_;
    std::shared_ptr<Statement> prepared_;
    // The parameter accessor last found complete for prepared_: a load executes the same
    // accessor on the same statement row after row, and neither can change in between (an
    // accessor is immutable; a new statement goes through setPrepared). Held, so that its
    // address cannot be taken by another accessor while it is remembered here.
    std::shared_ptr<const Accessor> checkedAccessor_;
    // Statements of open rowsets executed outside the prepared one; they expire with them.
    std::vector<std::weak_ptr<Statement>> openStatements_;
    bool preparedForChange_ = false;
    std::map<DB_UPARAMS, ParameterInfo> described_; // from SetParameterInfo, by ordinal
    AccessorTable accessors_;
    Value conversion_; // a parameter's converted text, until it is bound
};

} // namespace vantrel::kit

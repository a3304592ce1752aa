// The kit's session: IGetDataSource, IOpenRowset, ISessionProperties, IDBCreateCommand,
// ITableDefinition, ITransactionLocal, ISupportErrorInfo. It also hosts its rowsets' row
// locks under the locking concurrency policy.
#pragma once

#include "ComObject.h"
#include "DataSource.h"
#include "KitCom.h"
#include "Properties.h"
#include "Rowset.h"

#include <atomic>
#include <map>
#include <string>
#include <utility>

namespace vantrel::kit {

class Command;

class Session final
    : public ComObject<IGetDataSource, IOpenRowset, ISessionProperties, IDBCreateCommand,
                       ITableDefinition, ITransactionLocal, ISupportErrorInfo>,
      public RowsetHost {
public:
    explicit Session(DataSource* dataSource);

    // IGetDataSource
    HRESULT STDMETHODCALLTYPE GetDataSource(REFIID riid, IUnknown** ppDataSource) override;
    // IOpenRowset
    HRESULT STDMETHODCALLTYPE OpenRowset(IUnknown* pUnkOuter, DBID* pTableID, DBID* pIndexID,
                                         REFIID riid, ULONG cPropertySets,
                                         DBPROPSET rgPropertySets[], IUnknown** ppRowset) override;
    // ISessionProperties
    HRESULT STDMETHODCALLTYPE GetProperties(ULONG cPropertyIDSets,
                                            const DBPROPIDSET rgPropertyIDSets[],
                                            ULONG* pcPropertySets,
                                            DBPROPSET** prgPropertySets) override;
    HRESULT STDMETHODCALLTYPE SetProperties(ULONG cPropertySets,
                                            DBPROPSET rgPropertySets[]) override;
    // Keeps a command released for the last time (cleared, holding no reference to the
    // session) for the next CreateCommand; false when one is kept already.
    bool parkCommand(Command* command);

    // IDBCreateCommand
    HRESULT STDMETHODCALLTYPE CreateCommand(IUnknown* pUnkOuter, REFIID riid,
                                            IUnknown** ppCommand) override;
    // ITableDefinition
    HRESULT STDMETHODCALLTYPE CreateTable(IUnknown* pUnkOuter, DBID* pTableID,
                                          DBORDINAL cColumnDescs,
                                          const DBCOLUMNDESC rgColumnDescs[], REFIID riid,
                                          ULONG cPropertySets, DBPROPSET rgPropertySets[],
                                          DBID** ppTableID, IUnknown** ppRowset) override;
    HRESULT STDMETHODCALLTYPE DropTable(DBID* pTableID) override;
    HRESULT STDMETHODCALLTYPE AddColumn(DBID* pTableID, DBCOLUMNDESC* pColumnDesc,
                                        DBID** ppColumnID) override;
    HRESULT STDMETHODCALLTYPE DropColumn(DBID* pTableID, DBID* pColumnID) override;
    // ITransaction / ITransactionLocal
    HRESULT STDMETHODCALLTYPE Commit(BOOL fRetaining, DWORD grfTC, DWORD grfRM) override;
    HRESULT STDMETHODCALLTYPE Abort(BOID* pboidReason, BOOL fRetaining, BOOL fAsync) override;
    HRESULT STDMETHODCALLTYPE GetTransactionInfo(XACTTRANSINFO* pinfo) override;
    HRESULT STDMETHODCALLTYPE GetOptionsObject(ITransactionOptions** ppOptions) override;
    HRESULT STDMETHODCALLTYPE StartTransaction(ISOLEVEL isoLevel, ULONG isoFlags,
                                               ITransactionOptions* pOtherOptions,
                                               ULONG* pulTransactionLevel) override;
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return supportsErrorInfo(riid);
    }

    // RowsetHost
    Connection& connection() override { return dataSource_->connection(); }
    bool lockingPolicy() const override { return dataSource_->lockingPolicy(); }
    const void* lockOwner(const std::string& table, const RowIdentity& id) const override;
    void lockRow(const std::string& table, const RowIdentity& id, const void* owner) override;
    void unlockRow(const std::string& table, const RowIdentity& id, const void* owner) override;
    void unlockAll(const void* owner) override;
    std::string nextSavepointName() override;

    const char16_t* source() const { return dataSource_->source(); }
    // Builds a rowset over a statement that has been run once (`firstRow`: it stands on a
    // row). `effective` are the consumer's rowset properties with their dependencies applied
    // (effectiveRowsetProperties).
    HRESULT openRowset(std::shared_ptr<Statement> statement, bool firstRow,
                       std::shared_ptr<const RowsetProperties> effective, IUnknown* creator,
                       const AccessorTable* accessors, REFIID riid, IUnknown** ppRowset);

protected:
    void* findInterface(REFIID riid) override;

private:
    ~Session() override;
    [[gnu::cold]] HRESULT fail(HRESULT hr, const char* description, REFIID iid);

    // A command the consumer released, cleared and kept for the next CreateCommand, so that
    // a command made per statement is not allocated and built each time (nullptr: none).
    std::atomic<Command*> spareCommand_{nullptr};
    DataSource* dataSource_;
    ComRef<IUnknown> dataSourceRef_;
    PropertyStore properties_;
    bool inTransaction_ = false;
    ISOLEVEL isolation_ = 0;
    std::map<std::pair<std::string, RowIdentity>, const void*> locks_;
    unsigned savepoints_ = 0;
};

// The table name of a DBID (DBKIND_NAME and the other named kinds), or false.
bool tableNameOf(const DBID* id, std::string& nameUtf8);

} // namespace vantrel::kit

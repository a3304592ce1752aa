// The kit's data source object: IDBInitialize, IDBProperties, IDBCreateSession, IDBInfo,
// IPersist, ISupportErrorInfo. It owns the backend Connection while initialised.
#pragma once

#include "Backend.h"
#include "ComObject.h"
#include "KitCom.h"
#include "Properties.h"

#include <atomic>
#include <memory>

namespace vantrel::kit {

// A registered provider: its descriptor and what the kit derived from it.
struct ProviderEntry {
    const ProviderDescriptor* descriptor = nullptr;
    CLSID clsid{};
    std::vector<PropertyDef> initDefs; // the descriptor's rows plus the kit's
};

class DataSource final : public ComObject<IDBInitialize, IDBProperties, IDBCreateSession, IDBInfo,
                                          IPersist, ISupportErrorInfo> {
public:
    explicit DataSource(const ProviderEntry& provider);

    // IDBInitialize
    HRESULT STDMETHODCALLTYPE Initialize() override;
    HRESULT STDMETHODCALLTYPE Uninitialize() override;
    // IDBProperties
    HRESULT STDMETHODCALLTYPE GetProperties(ULONG cPropertyIDSets,
                                            const DBPROPIDSET rgPropertyIDSets[],
                                            ULONG* pcPropertySets,
                                            DBPROPSET** prgPropertySets) override;
    HRESULT STDMETHODCALLTYPE GetPropertyInfo(ULONG cPropertyIDSets,
                                              const DBPROPIDSET rgPropertyIDSets[],
                                              ULONG* pcPropertyInfoSets,
                                              DBPROPINFOSET** prgPropertyInfoSets,
                                              OLECHAR** ppDescBuffer) override;
    HRESULT STDMETHODCALLTYPE SetProperties(ULONG cPropertySets,
                                            DBPROPSET rgPropertySets[]) override;
    // IDBCreateSession
    HRESULT STDMETHODCALLTYPE CreateSession(IUnknown* pUnkOuter, REFIID riid,
                                            IUnknown** ppDBSession) override;
    // IDBInfo
    HRESULT STDMETHODCALLTYPE GetKeywords(LPOLESTR* ppwszKeywords) override;
    HRESULT STDMETHODCALLTYPE GetLiteralInfo(ULONG cLiterals, const DBLITERAL rgLiterals[],
                                             ULONG* pcLiteralInfo, DBLITERALINFO** prgLiteralInfo,
                                             OLECHAR** ppCharBuffer) override;
    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return supportsErrorInfo(riid);
    }

    // For the data source's sessions.
    Connection& connection() { return *connection_; }
    bool lockingPolicy() const { return locking_; }
    const char16_t* source() const { return provider_.descriptor->description; }
    void sessionOpened() { ++sessions_; }
    void sessionClosed() { --sessions_; }

protected:
    void* findInterface(REFIID riid) override;

private:
    ~DataSource() override = default;
    [[gnu::cold]] HRESULT fail(HRESULT hr, const char* description, REFIID iid);
    void publishInformation();
    // Which property sets the consumer sees now; nullptr: all.
    PropertyStore::SetFilter visibleSets() const;

    const ProviderEntry& provider_;
    PropertyStore properties_;
    std::unique_ptr<Connection> connection_;
    bool initialized_ = false;
    bool locking_ = false;
    bool hasDriver_ = false; // the backend named a driver of its own (a bridge)
    std::atomic<int> sessions_{0};
};

// Creates an uninitialised data source of a registered provider (the class factory).
HRESULT createDataSource(const ProviderEntry& provider, IUnknown* outer, REFIID riid, void** ppv);

} // namespace vantrel::kit

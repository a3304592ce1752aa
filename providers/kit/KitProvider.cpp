#include "KitProvider.h"

#include "DataSource.h"
#include "KitText.h"

#include <vantrel/ClassRegistry.h>

#include <array>
#include <memory>
#include <mutex>

namespace vantrel::kit {
namespace {

// The class registry calls plain factory functions, so each registered provider takes one
// slot with a factory of its own. Entries stay alive after unregistering: objects created
// earlier still use them.
constexpr std::size_t slotCount = 16;
std::array<std::unique_ptr<ProviderEntry>, slotCount> slots;
std::mutex slotsLock;

template <std::size_t N> HRESULT slotFactory(IUnknown* outer, REFIID riid, void** ppv) {
    return createDataSource(*slots[N], outer, riid, ppv);
}

template <std::size_t... N>
constexpr std::array<VantrelCreateInstanceFunction, slotCount>
makeFactories(std::index_sequence<N...>) {
    return {&slotFactory<N>...};
}
constexpr auto factories = makeFactories(std::make_index_sequence<slotCount>());

bool parseClsid(const char* text, CLSID& out) {
    if (!text)
        return false;
    std::u16string wide = utf8ToUtf16(text);
    return SUCCEEDED(CLSIDFromString(wide.c_str(), &out));
}

} // namespace

HRESULT registerKitProvider(const ProviderDescriptor& descriptor) {
    CLSID clsid;
    if (!parseClsid(descriptor.clsid, clsid) || !descriptor.open || !descriptor.description)
        return E_INVALIDARG;
    std::lock_guard guard(slotsLock);
    std::size_t slot = slotCount;
    for (std::size_t i = 0; i < slotCount && slot == slotCount; ++i)
        if (slots[i] && slots[i]->descriptor == &descriptor)
            slot = i;
    for (std::size_t i = 0; i < slotCount && slot == slotCount; ++i)
        if (!slots[i])
            slot = i;
    if (slot == slotCount)
        return E_OUTOFMEMORY;
    if (!slots[slot]) {
        auto entry = std::make_unique<ProviderEntry>();
        entry->descriptor = &descriptor;
        entry->clsid = clsid;
        entry->initDefs = initProperties(descriptor.initProperties);
        slots[slot] = std::move(entry);
    }
    VantrelClassRegistration r;
    r.clsid = clsid;
    r.progId = descriptor.progId ? descriptor.progId : u"";
    r.versionIndependentProgId =
        descriptor.versionIndependentProgId ? descriptor.versionIndependentProgId : u"";
    r.description = descriptor.description;
    r.sourceType = DBSOURCETYPE_DATASOURCE_TDP;
    r.createInstance = factories[slot];
    return VantrelRegisterClass(r);
}

HRESULT unregisterKitProvider(const ProviderDescriptor& descriptor) {
    CLSID clsid;
    if (!parseClsid(descriptor.clsid, clsid))
        return E_INVALIDARG;
    return VantrelUnregisterClass(clsid);
}

} // namespace vantrel::kit

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

// Fills the class registration of a provider, giving it a factory slot.
HRESULT providerClass(const ProviderDescriptor& descriptor, VantrelClassRegistration& r) {
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
    r.clsid = clsid;
    r.progId = descriptor.progId ? descriptor.progId : u"";
    r.versionIndependentProgId =
        descriptor.versionIndependentProgId ? descriptor.versionIndependentProgId : u"";
    r.description = descriptor.description;
    r.sourceType = DBSOURCETYPE_DATASOURCE_TDP;
    r.createInstance = factories[slot];
    return S_OK;
}

} // namespace

HRESULT registerKitProvider(const ProviderDescriptor& descriptor) {
    VantrelClassRegistration r;
    const HRESULT hr = providerClass(descriptor, r);
    return FAILED(hr) ? hr : VantrelRegisterClass(r);
}

std::vector<VantrelClassRegistration>
kitProviderClasses(std::initializer_list<const ProviderDescriptor*> descriptors) {
    std::vector<VantrelClassRegistration> classes;
    for (const ProviderDescriptor* descriptor : descriptors) {
        VantrelClassRegistration r;
        if (descriptor && SUCCEEDED(providerClass(*descriptor, r)))
            classes.push_back(std::move(r));
    }
    return classes;
}

HRESULT unregisterKitProvider(const ProviderDescriptor& descriptor) {
    CLSID clsid;
    if (!parseClsid(descriptor.clsid, clsid))
        return E_INVALIDARG;
    return VantrelUnregisterClass(clsid);
}

} // namespace vantrel::kit

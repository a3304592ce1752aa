// Apartments: each thread counts its own CoInitializeEx calls and remembers its model.

#include "RuntimeInternal.h"
#include "objbase.h"

namespace {

enum class Model { none, singleThreaded, multiThreaded };

struct ThreadApartment {
    Model model = Model::none;
    unsigned long count = 0;
};

thread_local ThreadApartment apartment;

constexpr DWORD knownCoInitFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

} // namespace

namespace vantrel::com {
bool threadInApartment() {
    return apartment.count > 0;
}
} // namespace vantrel::com

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved != nullptr || (dwCoInit & ~knownCoInitFlags) != 0)
        return E_INVALIDARG;
    const Model wanted =
        (dwCoInit & COINIT_APARTMENTTHREADED) ? Model::singleThreaded : Model::multiThreaded;
    if (apartment.count > 0 && apartment.model != wanted)
        return RPC_E_CHANGED_MODE;
    if (apartment.count++ > 0)
        return S_FALSE;
    apartment.model = wanted;
    return S_OK;
}

HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void STDAPICALLTYPE CoUninitialize() {
    if (apartment.count == 0)
        return;
    if (--apartment.count == 0) {
        apartment.model = Model::none;
        vantrel::com::clearThreadErrorInfo();
    }
}

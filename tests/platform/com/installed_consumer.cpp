// A program written against the published COM and OLE DB API only, built outside the project
// against an installed copy of libvantrel-com.
#include <cstdio>

#include <msdasc.h>
#include <objbase.h>
#include <oleauto.h>
#include <oledb.h>
#include <oledberr.h>

// {0D1C9E57-2B3A-4C1F-8E6D-5A4B3C2D1E0F}: registered by nobody.
static const CLSID CLSID_Nobody = {
    0x0d1c9e57, 0x2b3a, 0x4c1f, {0x8e, 0x6d, 0x5a, 0x4b, 0x3c, 0x2d, 0x1e, 0x0f}};

static int failures = 0;

static void expect(const char* what, HRESULT got, HRESULT wanted) {
    std::printf("%s: 0x%08x\n", what, static_cast<unsigned>(got));
    if (got != wanted) {
        std::printf("  expected 0x%08x\n", static_cast<unsigned>(wanted));
        ++failures;
    }
}

int main() {
    expect("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);

    IMalloc* malloc = nullptr;
    expect("CoGetMalloc", CoGetMalloc(MEMCTX_TASK, &malloc), S_OK);
    if (malloc) {
        void* block = malloc->Alloc(64);
        if (!block)
            ++failures;
        malloc->Free(block);
        malloc->Release();
    }

    IDBInitialize* dataSource = nullptr;
    expect("CoCreateInstance",
           CoCreateInstance(CLSID_Nobody, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                            reinterpret_cast<void**>(&dataSource)),
           REGDB_E_CLASSNOTREG);
    if (dataSource)
        ++failures;

    IErrorInfo* error = nullptr;
    expect("GetErrorInfo", GetErrorInfo(0, &error), S_FALSE);
    if (error)
        ++failures;

    CoUninitialize();
    std::printf(failures ? "consumer: FAILED\n" : "consumer: all calls answered as published\n");
    return failures ? 1 : 0;
}

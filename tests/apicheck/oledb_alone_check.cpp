// <oledb.h> on its own declares the COM and Automation calls every consumer makes around OLE DB,
// as the published header does (it brings in ole2.h).
#include <oledb.h>

[[maybe_unused]] static void useWhatOledbHBringsAlong() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return;
    IDBInitialize* dataSource = nullptr;
    CLSID clsid = {};
    if (SUCCEEDED(CLSIDFromProgID(OLESTR("Some.Provider"), &clsid)) &&
        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                                   reinterpret_cast<void**>(&dataSource))))
        dataSource->Release();
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error) {
        BSTR description = nullptr;
        error->GetDescription(&description);
        SysFreeString(description);
        error->Release();
    }
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(OLESTR("text"));
    VariantClear(&value);
    CoTaskMemFree(CoTaskMemAlloc(16));
    MessageBoxA(nullptr, "text", "caption", MB_OK);
    CoUninitialize();
}

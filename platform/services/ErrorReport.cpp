#include "ErrorReport.h"

#include "ComPtr.h"

namespace vantrel::services {

HRESULT reportError(HRESULT hr, REFIID iid, const std::u16string& description) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put())))
        return hr;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(serviceErrorSource));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.as(IID_IErrorInfo, info)))
        SetErrorInfo(0, info.get());
    return hr;
}

std::u16string currentErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info)
        return {};
    std::u16string text;
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description)
        text.assign(description, SysStringLen(description));
    SysFreeString(description);
    SetErrorInfo(0, info.get());
    return text;
}

} // namespace vantrel::services

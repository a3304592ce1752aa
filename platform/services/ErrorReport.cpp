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

} // namespace vantrel::services

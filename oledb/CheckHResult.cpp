// The single success test and failure report for OLE DB and COM results.

#include "core/Text.h"
#include "oledb/ComPtr.h"
#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleString.h"

#include <cstdio>

namespace {

const char* const errorBoxCaption = "OLE DB Error";

std::string hexResult(HRESULT result) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08x", static_cast<unsigned>(result));
    return digits;
}

} // namespace

std::string formatErrorInfoDump(HRESULT result, const OLECHAR* description, const OLECHAR* source) {
    return "\nErrorInfo:  HResult: " + hexResult(result) +
           ", Description: " + fromOleString(description) + "\nSource: " + fromOleString(source) +
           "\n";
}

std::string formatNoErrorInfoDump(HRESULT result) {
    return "\nNo Error Info posted; HResult: " + hexResult(result) + "\n";
}

std::string takeErrorInfoDump(HRESULT result) {
    TComPtr<IErrorInfo> errorInfo;
    if (GetErrorInfo(0, errorInfo.out()) < 0 || !errorInfo) {
        return formatNoErrorInfoDump(result);
    }
    BSTR description = nullptr;
    BSTR source = nullptr;
    errorInfo->GetDescription(&description);
    errorInfo->GetSource(&source);
    std::string dump = formatErrorInfoDump(result, description, source);
    SysFreeString(description);
    SysFreeString(source);
    return dump;
}

void checkHResult(HRESULT result) {
    if (result >= 0) {
        return;
    }
    const std::string dump = takeErrorInfoDump(result);
    MessageBoxA(nullptr, dump.c_str(), errorBoxCaption, MB_OK);
    throw EResultException();
}

void checkHResult(HRESULT result, std::string& outText) {
    if (result >= 0) {
        outText.clear();
        return;
    }
    outText = takeErrorInfoDump(result);
}

void reportOleDbFailure(const std::string& text) {
    const std::string shown = utf8ToCp1250(text);
    MessageBoxA(nullptr, shown.c_str(), errorBoxCaption, MB_OK);
    throw EResultException();
}

// Error objects of the service components: what GetErrorInfo shows the caller after a failed
// call, with a description naming the keyword, property or position at fault.
#pragma once

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>

namespace vantrel::services {

// The source every service error object carries.
inline constexpr const char16_t* serviceErrorSource = u"Vantrel OLE DB Service Components";

// Sets the thread's error object (description, source, interface) and returns `hr`.
HRESULT reportError(HRESULT hr, REFIID iid, const std::u16string& description);

} // namespace vantrel::services

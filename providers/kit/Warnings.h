// Warnings of a call that succeeded, for backends: no COM declarations here, so a backend whose
// client library brings Windows-like names of its own (unixODBC) can include it.
#pragma once

#include <string_view>

namespace vantrel::kit {

// A warning from a call that succeeded (a backend's information, a driver's note). The method
// keeps its success code; the thread's error object describes every warning since the method
// began (clearError), one per line, so a consumer that asks after a success can read them. A
// method that then fails replaces them with its error.
void postWarning(std::string_view textUtf8, const char16_t* source);

} // namespace vantrel::kit

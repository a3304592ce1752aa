// Error objects and the mapping of backend failures to HRESULTs.
#pragma once

#include "Backend.h"

#include "KitCom.h"
#include "Warnings.h"

#include <string_view>

namespace vantrel::kit {

// The HRESULT for a backend error class.
HRESULT hresultFor(ErrorClass errorClass);

// Posts a thread error object (description, source, interface) and returns hr unchanged.
// Failures are the rare way out of a call: kept apart from the code that runs every time.
[[gnu::cold]] HRESULT postError(HRESULT hr, std::u16string_view description, const char16_t* source,
                                REFIID iid);
[[gnu::cold]] HRESULT postError(HRESULT hr, std::string_view descriptionUtf8,
                                const char16_t* source, REFIID iid);

// Maps whatever the current exception is to an HRESULT with an error object. Use inside a
// catch (...) block around backend calls.
[[gnu::cold]] HRESULT postCurrentException(const char16_t* source, REFIID iid);

// Clears the thread's error object and the warnings kept for it (start of a method that may
// post one).
void clearError();

} // namespace vantrel::kit

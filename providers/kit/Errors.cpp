#include "Errors.h"

#include "KitText.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>

namespace vantrel::kit {

namespace {

// The warnings of the method running on a thread live in the error object that holds them:
// each new one extends that object's description. The kit keeps, per thread that has warnings,
// only which object that is and how many lines it holds. Not in thread-local storage: a module
// with thread-locals leaves dynamic TLS behind when it is unloaded, which the leak checker's
// thread scan trips over. Threads without warnings (every thread, with most drivers) cost one
// relaxed load. A driver that warns on every row of a long fetch must not grow the text without
// bound: past the limit only their number is kept, in a last line.
constexpr std::size_t keptWarnings = 32;
struct Warnings {
    const void* object = nullptr; // the error object last posted with them (compared only)
    std::size_t kept = 0;
    std::size_t dropped = 0;
};
std::mutex warningsMutex;
std::map<std::thread::id, Warnings> warningsByThread; // only threads that have warnings
std::atomic<bool> anyWarnings{false};

void forgetWarnings() {
    // A thread only ever erases its own entry, which it stored itself, so a relaxed load
    // cannot miss it.
    if (!anyWarnings.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(warningsMutex);
    warningsByThread.erase(std::this_thread::get_id());
    anyWarnings.store(!warningsByThread.empty(), std::memory_order_relaxed);
}

Warnings loadWarnings() {
    if (!anyWarnings.load(std::memory_order_relaxed))
        return {};
    std::lock_guard<std::mutex> lock(warningsMutex);
    auto found = warningsByThread.find(std::this_thread::get_id());
    return found != warningsByThread.end() ? found->second : Warnings{};
}

void storeWarnings(const Warnings& state) {
    std::lock_guard<std::mutex> lock(warningsMutex);
    warningsByThread[std::this_thread::get_id()] = state;
    anyWarnings.store(true, std::memory_order_relaxed);
}

// The kept lines of the thread's warnings object, taken off the thread, with its counts in
// state; empty (and the counts restarted) when the thread's error object is not that one.
std::u16string takeWarningLines(Warnings& state) {
    state = loadWarnings();
    IErrorInfo* current = nullptr;
    if (FAILED(GetErrorInfo(0, &current)) || current == nullptr) {
        state = Warnings{};
        return {};
    }
    std::u16string lines;
    if (current == state.object) {
        BSTR description = nullptr;
        if (SUCCEEDED(current->GetDescription(&description)) && description != nullptr)
            lines.assign(description, SysStringLen(description));
        SysFreeString(description);
        if (state.dropped > 0)
            lines.erase(std::min(lines.size(), lines.rfind(u'\n')));
    } else {
        state = Warnings{};
    }
    current->Release();
    return lines;
}

} // namespace

HRESULT hresultFor(ErrorClass errorClass) {
    switch (errorClass) {
    case ErrorClass::Syntax:
        return DB_E_ERRORSINCOMMAND;
    case ErrorClass::NoTable:
        return DB_E_NOTABLE;
    case ErrorClass::DuplicateTable:
        return DB_E_DUPLICATETABLEID;
    case ErrorClass::Integrity:
        return DB_E_INTEGRITYVIOLATION;
    case ErrorClass::Timeout:
        return DB_E_RESOURCELOCKED;
    case ErrorClass::ReadOnly:
        return DB_SEC_E_PERMISSIONDENIED;
    case ErrorClass::CantOpen:
        return E_FAIL;
    case ErrorClass::TypeMismatch:
        return DB_E_CANTCONVERTVALUE;
    case ErrorClass::UnknownType:
        return DB_E_BADTYPE;
    case ErrorClass::Other:
        break;
    }
    return E_FAIL;
}

HRESULT postError(HRESULT hr, std::u16string_view description, const char16_t* source, REFIID iid) {
    if (FAILED(hr))
        forgetWarnings();
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create)
        return hr;
    std::u16string text(description);
    std::u16string src = source ? source : u"";
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    create->SetSource(const_cast<LPOLESTR>(src.c_str()));
    create->SetGUID(iid);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) &&
        info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

HRESULT postError(HRESULT hr, std::string_view descriptionUtf8, const char16_t* source,
                  REFIID iid) {
    return postError(hr, std::u16string_view(utf8ToUtf16(descriptionUtf8)), source, iid);
}

HRESULT postCurrentException(const char16_t* source, REFIID iid) {
    try {
        throw;
    } catch (const BackendError& e) {
        return postError(hresultFor(e.errorClass()), std::string_view(e.what()), source, iid);
    } catch (const std::bad_alloc&) {
        return postError(E_OUTOFMEMORY, std::string_view("Nedostatek paměti."), source, iid);
    } catch (const std::exception& e) {
        return postError(E_FAIL, std::string_view(e.what()), source, iid);
    } catch (...) {
        return postError(E_FAIL, std::string_view("Neočekávaná chyba ovladače."), source, iid);
    }
}

void clearError() {
    forgetWarnings();
    SetErrorInfo(0, nullptr);
}

void postWarning(std::string_view textUtf8, const char16_t* source) {
    Warnings state;
    std::u16string text = takeWarningLines(state);
    if (state.kept >= keptWarnings) {
        ++state.dropped;
    } else {
        if (!text.empty())
            text += u'\n';
        text += utf8ToUtf16(textUtf8);
        ++state.kept;
    }
    if (state.dropped > 0)
        text += utf8ToUtf16("\n(dalších varování: " + std::to_string(state.dropped) + ")");
    postError(S_OK, std::u16string_view(text), source, GUID_NULL);
    // What postError just set, without taking it: its address identifies it next time.
    IErrorInfo* posted = nullptr;
    if (SUCCEEDED(GetErrorInfo(0, &posted)) && posted != nullptr) {
        state.object = posted;
        SetErrorInfo(0, posted);
        posted->Release();
    }
    storeWarnings(state);
}

} // namespace vantrel::kit

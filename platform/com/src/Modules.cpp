// In-process server modules: loaded with dlopen the first time one of their classes is asked
// for, kept once per process, and unloaded by CoFreeUnusedLibraries when they allow it.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "ClassFiles.h"
#include "RuntimeInternal.h"

namespace {

struct LoadedModule {
    void* handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr; // null: the module is never unloaded
};

// Recursive: a module's static constructors may create objects of other modules while it is
// being loaded on this thread.
std::recursive_mutex modulesMutex;
std::map<std::string, LoadedModule>& loadedModules() {
    static std::map<std::string, LoadedModule> modules;
    return modules;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(hr));
    return text;
}

// "class {CLSID} (ProgID) registered in FILE", for error texts.
std::string describe(const VantrelClassRegistration& r) {
    std::string text = "class " + vantrel::com::bracedGuid(r.clsid);
    const std::u16string& progId = r.progId.empty() ? r.versionIndependentProgId : r.progId;
    if (!progId.empty())
        text += " (" + vantrel::com::utf16ToUtf8(progId) + ")";
    if (!r.classFile.empty())
        text += " registered in " + r.classFile;
    return text;
}

// Finds or loads the module of r. Called with modulesMutex held.
HRESULT loadModule(const VantrelClassRegistration& r, LoadedModule** module) {
    auto& modules = loadedModules();
    auto found = modules.find(r.modulePath);
    if (found != modules.end()) {
        *module = &found->second;
        return S_OK;
    }
    struct stat info {};
    if (::stat(r.modulePath.c_str(), &info) != 0) {
        vantrel::com::postRuntimeError("The module " + r.modulePath + " of " + describe(r) +
                                       " cannot be found: " + std::strerror(errno) + ".");
        return CO_E_DLLNOTFOUND;
    }
    void* handle = ::dlopen(r.modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        vantrel::com::postRuntimeError(
            "The module " + r.modulePath + " of " + describe(r) +
            " cannot be loaded: " + (reason ? reason : "unknown reason") + ".");
        return CO_E_ERRORINDLL;
    }
    LoadedModule loaded;
    loaded.handle = handle;
    loaded.getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
    loaded.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(handle, "DllCanUnloadNow"));
    if (!loaded.getClassObject) {
        ::dlclose(handle);
        vantrel::com::postRuntimeError("The module " + r.modulePath + " of " + describe(r) +
                                       " does not export DllGetClassObject.");
        return CO_E_ERRORINDLL;
    }
    *module = &modules.emplace(r.modulePath, loaded).first->second;
    return S_OK;
}

} // namespace

namespace vantrel::com {

HRESULT moduleClassObject(const VantrelClassRegistration& r, REFIID riid, void** ppv) {
    *ppv = nullptr;
    HRESULT hr;
    try {
        std::lock_guard lock(modulesMutex);
        LoadedModule* module = nullptr;
        hr = loadModule(r, &module);
        if (FAILED(hr))
            return hr;
        // Asked with the lock held, so CoFreeUnusedLibraries cannot unload the module between
        // finding it and its class object counting as a live object of it.
        try {
            hr = module->getClassObject(r.clsid, riid, ppv);
        } catch (...) {
            hr = E_UNEXPECTED;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr) && !*ppv)
        hr = E_UNEXPECTED;
    if (FAILED(hr)) {
        *ppv = nullptr;
        postRuntimeError("The module " + r.modulePath + " refused the class object of " +
                         describe(r) + ": " + hex(hr) + ".");
    }
    return hr;
}

} // namespace vantrel::com

void STDAPICALLTYPE CoFreeUnusedLibraries() {
    std::lock_guard lock(modulesMutex);
    auto& modules = loadedModules();
    for (auto it = modules.begin(); it != modules.end();) {
        bool unload = false;
        try {
            unload = it->second.canUnloadNow && it->second.canUnloadNow() == S_OK;
        } catch (...) {
        }
        if (unload) {
            ::dlclose(it->second.handle);
            it = modules.erase(it);
        } else {
            ++it;
        }
    }
}

// Writing an in-process server module (a provider or a service component in a shared library
// of its own). The module's one source file lists its classes and says, once:
//
//     VANTREL_MODULE(expression giving a vantrel::module::ClassList)
//
// which defines the four entry points every module exports with their published meanings:
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer and DllUnregisterServer. Each class of
// the list needs its createInstance; DllRegisterServer writes one class file per class naming
// this module (see platform/com/README.md). Link the module with libvantrel-module.
#pragma once

#include <vector>

#include "ClassRegistry.h"

namespace vantrel::module {

using ClassList = std::vector<VantrelClassRegistration>;
using ClassListFunction = const ClassList& (*)();

// Every object a module hands out counts itself from construction to destruction, so that
// DllCanUnloadNow answers S_FALSE while one lives: the provider kit's and the service
// components' object bases do so; other objects hold an ObjectCount member.
void objectCreated() noexcept;
void objectDestroyed() noexcept;
// Live objects plus server locks (IClassFactory::LockServer).
long liveObjects() noexcept;

struct ObjectCount {
    ObjectCount() noexcept { objectCreated(); }
    ObjectCount(const ObjectCount&) noexcept { objectCreated(); }
    ObjectCount& operator=(const ObjectCount&) noexcept { return *this; }
    ~ObjectCount() { objectDestroyed(); }
};

// The implementations behind the entry points VANTREL_MODULE defines.
HRESULT getClassObject(ClassListFunction classes, REFCLSID clsid, REFIID riid, void** ppv);
HRESULT canUnloadNow(bool resident);
HRESULT registerServer(ClassListFunction classes);
HRESULT unregisterServer(ClassListFunction classes);

} // namespace vantrel::module

#define VANTREL_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

// resident: the module is never unloaded (one that links a library which cannot be unloaded
// under a running program, such as a GUI toolkit).
#define VANTREL_MODULE_WITH(classesExpression, resident)                                           \
    namespace {                                                                                    \
    const ::vantrel::module::ClassList& vantrelModuleClasses() {                                   \
        static const ::vantrel::module::ClassList classes = (classesExpression);                   \
        return classes;                                                                            \
    }                                                                                              \
    }                                                                                              \
    VANTREL_MODULE_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,    \
                                                                   LPVOID* ppv) {                  \
        return ::vantrel::module::getClassObject(&vantrelModuleClasses, clsid, riid, ppv);         \
    }                                                                                              \
    VANTREL_MODULE_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {                               \
        return ::vantrel::module::canUnloadNow(resident);                                          \
    }                                                                                              \
    VANTREL_MODULE_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {                             \
        return ::vantrel::module::registerServer(&vantrelModuleClasses);                           \
    }                                                                                              \
    VANTREL_MODULE_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {                           \
        return ::vantrel::module::unregisterServer(&vantrelModuleClasses);                         \
    }

#define VANTREL_MODULE(classesExpression) VANTREL_MODULE_WITH(classesExpression, false)
#define VANTREL_RESIDENT_MODULE(classesExpression) VANTREL_MODULE_WITH(classesExpression, true)

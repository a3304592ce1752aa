// The classes that ship in libvantrel-oledb (service components and built-in providers).
#pragma once

// Registers every built-in class with VantrelRegisterClass. The runtime calls it exactly once
// per process, when a thread first enters COM through CoInitializeEx; nothing registers by
// static initialisation. It must only register (not create or look up classes).
// Implemented in platform/builtin/BuiltinClasses.cpp.
void VantrelRegisterBuiltinClasses();

// Registers the classes built into libvantrel-oledb. Each provider and service component adds
// its one registration call here, so that the set of built-in classes is visible in one place.
#include "vantrel/BuiltinClasses.h"

void VantrelRegisterBuiltinClasses() {}

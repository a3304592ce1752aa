// The module vantrel-example-csv.so: the four entry points every in-process server exports
// (DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer), serving the one
// class of the CSV provider through the kit's data source object.
#include "CsvProvider.h"

#include <vantrel/Module.h>

VANTREL_MODULE(vantrel::kit::kitProviderClasses({&csvprovider::csvProviderDescriptor()}))

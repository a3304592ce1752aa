// The module vantrel-sqlite.so: serves the SQLite provider's class.
#include "SqliteProvider.h"

#include <vantrel/Module.h>

VANTREL_MODULE(vantrel::kit::kitProviderClasses({&vantrel::sqlite::sqliteProviderDescriptor()}))

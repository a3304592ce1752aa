// The module vantrel-postgres.so: serves the PostgreSQL provider's class.
#include "PgProvider.h"

#include <vantrel/Module.h>

VANTREL_MODULE(vantrel::kit::kitProviderClasses({&vantrel::postgres::postgresProviderDescriptor()}))

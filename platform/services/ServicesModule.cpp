// The module vantrel-services.so: the root enumerator and the data initialisation service.
#include "ServiceClasses.h"

#include <vantrel/Module.h>

VANTREL_MODULE(vantrel::services::serviceClasses())

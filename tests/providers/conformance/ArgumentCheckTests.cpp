#include "ConformanceSupport.h"

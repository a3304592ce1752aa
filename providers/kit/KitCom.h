// The COM and OLE DB declarations the kit is written against.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <msdasql.h>
#include <oledb.h>
#include <oledberr.h>
#include <transact.h>

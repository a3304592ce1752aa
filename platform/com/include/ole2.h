// Everything of COM and OLE Automation in one include.
#pragma once

#include "oaidl.h"
#include "objbase.h"
#include "oleauto.h"
#include "winerror.h"

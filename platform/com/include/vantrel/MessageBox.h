// Where MessageBoxA goes: the application installs a handler that shows a real box; tests
// install one that records the call.
#pragma once

#include "../winuser.h"

// text and caption are Windows-1250 (the ANSI code page) and may be null; type is the MB_
// style. Answers the button pressed (IDOK, ...).
using VantrelMessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption,
                                         UINT type);

// Installs handler (null restores the default, which writes to standard error and answers
// IDOK) and answers the handler installed before. Thread-safe.
VantrelMessageBoxHandler VantrelSetMessageBoxHandler(VantrelMessageBoxHandler handler);

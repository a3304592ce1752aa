#pragma once
// The box behind MessageBoxA, through which the OLE DB layer reports a failed call: a modal Qt
// box with no icon and one OK button. main() installs it.

#include "oledb/OleDbApi.h"

// text and caption are Windows-1250; answers IDOK.
int showOleDbMessageBox(HWND owner, const char* text, const char* caption, UINT type);

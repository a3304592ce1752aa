#pragma once
// While it lives, every message box the OLE DB layer would show (an "OLE DB Error" with the
// provider's error information, mostly) is kept instead of shown, so that vantrel-compare can
// put the text into its report. One collector at a time; the handler before it comes back
// afterwards.

#include "oledb/OleDbApi.h"

#include "vantrel/MessageBox.h"

#include <string>
#include <vector>

class TBoxCollector {
public:
    TBoxCollector();
    ~TBoxCollector();
    TBoxCollector(const TBoxCollector&) = delete;
    TBoxCollector& operator=(const TBoxCollector&) = delete;

    // The boxes since the last take, each as "caption: text" in UTF-8; the list is emptied.
    std::vector<std::string> take();

private:
    static int collect(HWND owner, const char* text, const char* caption, UINT type);
    VantrelMessageBoxHandler previous;
};

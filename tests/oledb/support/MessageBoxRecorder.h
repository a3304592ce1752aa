#pragma once
// Records every MessageBoxA call while it lives instead of showing a box, and restores the
// previous handler afterwards. One recorder at a time.

#include "oledb/OleDbApi.h"

#include "vantrel/MessageBox.h"

#include <string>
#include <vector>

struct TRecordedBox {
    HWND owner;
    std::string text;    // cp1250
    std::string caption; // cp1250
    UINT type;
};

class TMessageBoxRecorder {
public:
    TMessageBoxRecorder();
    ~TMessageBoxRecorder();
    TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
    TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

    const std::vector<TRecordedBox>& boxes() const { return recorded; }
    std::size_t count() const { return recorded.size(); }
    void clear() { recorded.clear(); }

private:
    static int record(HWND owner, const char* text, const char* caption, UINT type);

    std::vector<TRecordedBox> recorded;
    VantrelMessageBoxHandler previous;
};

#include "MessageBoxRecorder.h"

namespace {
std::vector<TRecordedBox>* sink = nullptr;
} // namespace

TMessageBoxRecorder::TMessageBoxRecorder() {
    sink = &recorded;
    previous = VantrelSetMessageBoxHandler(&TMessageBoxRecorder::record);
}

TMessageBoxRecorder::~TMessageBoxRecorder() {
    VantrelSetMessageBoxHandler(previous);
    sink = nullptr;
}

int TMessageBoxRecorder::record(HWND owner, const char* text, const char* caption, UINT type) {
    if (sink != nullptr) {
        sink->push_back(
            {owner, text != nullptr ? text : "", caption != nullptr ? caption : "", type});
    }
    return IDOK;
}

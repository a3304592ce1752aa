#include "compare/BoxCollector.h"

#include "core/Text.h"

#include <mutex>

namespace {

// The handler is a plain function pointer; the boxes it keeps live here.
std::mutex boxesMutex;
std::vector<std::string> collectedBoxes;

} // namespace

TBoxCollector::TBoxCollector() : previous(VantrelSetMessageBoxHandler(&TBoxCollector::collect)) {}

TBoxCollector::~TBoxCollector() {
    VantrelSetMessageBoxHandler(previous);
    std::lock_guard<std::mutex> lock(boxesMutex);
    collectedBoxes.clear();
}

std::vector<std::string> TBoxCollector::take() {
    std::lock_guard<std::mutex> lock(boxesMutex);
    std::vector<std::string> boxes;
    boxes.swap(collectedBoxes);
    return boxes;
}

int TBoxCollector::collect(HWND, const char* text, const char* caption, UINT) {
    std::string line = cp1250ToUtf8(caption != nullptr ? caption : "");
    line += ": ";
    line += cp1250ToUtf8(text != nullptr ? text : "");
    std::lock_guard<std::mutex> lock(boxesMutex);
    collectedBoxes.push_back(std::move(line));
    return IDOK;
}

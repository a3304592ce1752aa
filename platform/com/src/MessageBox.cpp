// MessageBoxA through the handler the application installs.
#include <atomic>
#include <cstdio>

#include "vantrel/MessageBox.h"
#include "winuser.h"

namespace {
std::atomic<VantrelMessageBoxHandler> installedHandler{nullptr};
}

VantrelMessageBoxHandler VantrelSetMessageBoxHandler(VantrelMessageBoxHandler handler) {
    return installedHandler.exchange(handler);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if (VantrelMessageBoxHandler handler = installedHandler.load())
        return handler(hWnd, lpText, lpCaption, uType);
    std::fprintf(stderr, "[%s] %s\n", lpCaption ? lpCaption : "", lpText ? lpText : "");
    return IDOK;
}

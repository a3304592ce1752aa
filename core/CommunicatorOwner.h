#pragma once
// What a communicator knows of the window that owns it: the native handle a layer uses as the
// parent of its own dialogs.

class TCommunicatorOwner {
public:
    virtual ~TCommunicatorOwner() = default;
    virtual void* nativeWindowHandle() = 0;
};

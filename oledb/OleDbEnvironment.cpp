#include "oledb/OleDbEnvironment.h"

IMalloc* taskAllocator = nullptr;
std::vector<std::string>* providerNames = nullptr;

void setUpOleDbEnvironment() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (taskAllocator == nullptr) {
        CoGetMalloc(MEMCTX_TASK, &taskAllocator);
    }
    if (providerNames == nullptr) {
        providerNames = new std::vector<std::string>();
    }
}

void tearDownOleDbEnvironment() {
    delete providerNames;
    providerNames = nullptr;
    if (taskAllocator != nullptr) {
        taskAllocator->Release();
        taskAllocator = nullptr;
    }
    CoUninitialize();
}

void freeTaskMemory(void* memory) {
    if (memory == nullptr) {
        return;
    }
    if (taskAllocator != nullptr) {
        taskAllocator->Free(memory);
    } else {
        CoTaskMemFree(memory);
    }
}

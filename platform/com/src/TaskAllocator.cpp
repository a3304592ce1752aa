// The task allocator: one process-wide IMalloc over the C heap. Each block carries a header
// with its size so that GetSize and Realloc know it; the header keeps 16-byte alignment.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "objbase.h"

namespace {

constexpr SIZE_T headerSize = 16;
static_assert(headerSize >= sizeof(SIZE_T) && headerSize % alignof(std::max_align_t) == 0);

unsigned char* headerOf(void* pv) {
    return static_cast<unsigned char*>(pv) - headerSize;
}

SIZE_T sizeOf(void* pv) {
    SIZE_T size;
    std::memcpy(&size, headerOf(pv), sizeof size);
    return size;
}

void* allocateBlock(SIZE_T cb) {
    if (cb > SIZE_T(-1) - headerSize)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(headerSize + cb));
    if (!block)
        return nullptr;
    std::memcpy(block, &cb, sizeof cb);
    return block + headerSize;
}

void* reallocateBlock(void* pv, SIZE_T cb) {
    if (!pv)
        return allocateBlock(cb);
    if (cb == 0) {
        std::free(headerOf(pv));
        return nullptr;
    }
    if (cb > SIZE_T(-1) - headerSize)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::realloc(headerOf(pv), headerSize + cb));
    if (!block)
        return nullptr; // the old block stays valid, as realloc promises
    std::memcpy(block, &cb, sizeof cb);
    return block + headerSize;
}

void freeBlock(void* pv) {
    if (pv)
        std::free(headerOf(pv));
}

// The allocator object lives as long as the process; its count is real so that callers'
// AddRef/Release pairs can be checked, but reaching zero does not destroy it.
class TaskAllocator final : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *ppv = static_cast<IMalloc*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        // Never below zero, even when a caller releases more than it holds.
        ULONG current = references.load();
        while (current > 0 && !references.compare_exchange_weak(current, current - 1)) {
        }
        return current > 0 ? current - 1 : 0;
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override { return allocateBlock(cb); }
    void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override {
        return reallocateBlock(pv, cb);
    }
    void STDMETHODCALLTYPE Free(void* pv) override { freeBlock(pv); }
    SIZE_T STDMETHODCALLTYPE GetSize(void* pv) override { return pv ? sizeOf(pv) : SIZE_T(-1); }
    // Blocks carry no mark that could be checked safely on a foreign pointer.
    int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}

private:
    std::atomic<ULONG> references{0};
};

TaskAllocator taskAllocator;

} // namespace

HRESULT STDAPICALLTYPE CoGetMalloc(DWORD dwMemContext, LPMALLOC* ppMalloc) {
    if (!ppMalloc)
        return E_POINTER;
    *ppMalloc = nullptr;
    if (dwMemContext != MEMCTX_TASK)
        return E_INVALIDARG;
    taskAllocator.AddRef();
    *ppMalloc = &taskAllocator;
    return S_OK;
}

LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) {
    return allocateBlock(cb);
}
LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return reallocateBlock(pv, cb);
}
void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) {
    freeBlock(pv);
}

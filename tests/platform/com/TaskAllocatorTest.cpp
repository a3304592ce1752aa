#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "objbase.h"

TEST(TaskAllocator, CoGetMallocHandsOutAnAddRefdAllocator) {
    IMalloc* first = nullptr;
    IMalloc* second = nullptr;
    ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &first), S_OK);
    ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &second), S_OK);
    EXPECT_EQ(first, second);
    IMalloc* viaQuery = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IMalloc, reinterpret_cast<void**>(&viaQuery)), S_OK);
    EXPECT_EQ(viaQuery, first);
    EXPECT_EQ(viaQuery->Release(), 2u);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(first->Release(), 0u);
    // An unbalanced extra Release does not wrap the count around.
    EXPECT_EQ(first->Release(), 0u);
}

TEST(TaskAllocator, CoGetMallocRejectsBadArguments) {
    EXPECT_EQ(CoGetMalloc(MEMCTX_TASK, nullptr), E_POINTER);
    IMalloc* malloc = reinterpret_cast<IMalloc*>(1);
    EXPECT_EQ(CoGetMalloc(MEMCTX_SHARED, &malloc), E_INVALIDARG);
    EXPECT_EQ(malloc, nullptr);
}

TEST(TaskAllocator, BlocksKeepSizeContentAndAlignment) {
    IMalloc* malloc = nullptr;
    ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &malloc), S_OK);
    auto* block = static_cast<unsigned char*>(malloc->Alloc(10));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(malloc->GetSize(block), 10u);
    std::memcpy(block, "0123456789", 10);
    block = static_cast<unsigned char*>(malloc->Realloc(block, 100000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(malloc->GetSize(block), 100000u);
    EXPECT_EQ(std::memcmp(block, "0123456789", 10), 0);
    block = static_cast<unsigned char*>(CoTaskMemRealloc(block, 4));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block, "0123", 4), 0);
    // Blocks from the allocator object and from CoTaskMem* are the same kind.
    CoTaskMemFree(block);
    EXPECT_EQ(malloc->GetSize(nullptr), SIZE_T(-1));
    malloc->Release();
}

TEST(TaskAllocator, EdgeSizesFollowTheTaskMemoryRules) {
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    CoTaskMemFree(empty);
    void* fresh = CoTaskMemRealloc(nullptr, 8);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(CoTaskMemRealloc(fresh, 0), nullptr); // freed
    CoTaskMemFree(nullptr);
    // Sizes that cannot be met fail cleanly instead of wrapping around.
    EXPECT_EQ(CoTaskMemAlloc(SIZE_T(-1)), nullptr);
    EXPECT_EQ(CoTaskMemAlloc(SIZE_T(-1) - 8), nullptr);
    void* kept = CoTaskMemAlloc(4);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(CoTaskMemRealloc(kept, SIZE_T(-1)), nullptr);
    CoTaskMemFree(kept); // still valid after the failed Realloc
}

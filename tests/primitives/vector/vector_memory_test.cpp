// The primitives' aligned allocator and its replaceable heap pointers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "primitives/vector/ipps_vector.h"

namespace {

// A heap that serves blocks at a chosen distance from a 32-byte boundary and records its calls.
struct RecordingHeap
{
    static inline std::size_t shift = 0;
    static inline std::size_t lastSize = 0;
    static inline int mallocs = 0;
    static inline void* lastRaw = nullptr;
    static inline void* freed = nullptr;
    static inline bool fail = false;
    alignas(64) static inline unsigned char arena[4096];

    static void* malloc(std::size_t n)
    {
        ++mallocs;
        lastSize = n;
        if (fail || n + shift > sizeof arena)
            return nullptr;
        lastRaw = arena + shift;
        return lastRaw;
    }
    static void free(void* p) { freed = p; }
};

class VectorMemory : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedMalloc = i_malloc;
        savedFree = i_free;
        RecordingHeap::mallocs = 0;
        RecordingHeap::fail = false;
        RecordingHeap::freed = nullptr;
    }
    void TearDown() override
    {
        i_malloc = savedMalloc;
        i_free = savedFree;
    }
    void useRecordingHeap()
    {
        i_malloc = &RecordingHeap::malloc;
        i_free = &RecordingHeap::free;
    }
    IppMallocFn savedMalloc;
    IppFreeFn savedFree;
};

TEST_F(VectorMemory, NonPositiveLengthsAllocateNothing)
{
    useRecordingHeap();
    EXPECT_EQ(ippMalloc(0), nullptr);
    EXPECT_EQ(ippMalloc(-5), nullptr);
    EXPECT_EQ(ippMalloc(-2147483647 - 1), nullptr);
    EXPECT_EQ(m7_ippsMalloc_8u(0), nullptr);
    EXPECT_EQ(u8_ippsMalloc_8u(-1), nullptr);
    EXPECT_EQ(y8_ippsMalloc_8u(0), nullptr);
    EXPECT_EQ(RecordingHeap::mallocs, 0);
    ippFree(nullptr);
    m7_ippsFree(nullptr);
    y8_ippsFree(nullptr);
    EXPECT_EQ(RecordingHeap::freed, nullptr);
}

TEST_F(VectorMemory, FirstMultipleOf32AtOrAboveRawPlus8)
{
    useRecordingHeap();
    for (std::size_t shift = 0; shift < 32; ++shift) {
        RecordingHeap::shift = shift;
        void* p = ippMalloc(100);
        ASSERT_NE(p, nullptr);
        const auto raw = reinterpret_cast<std::uintptr_t>(RecordingHeap::lastRaw);
        const auto user = reinterpret_cast<std::uintptr_t>(p);
        EXPECT_EQ(RecordingHeap::lastSize, 140u);
        EXPECT_EQ(user % 32, 0u);
        EXPECT_GE(user, raw + 8);
        EXPECT_LE(user, raw + 39);
        EXPECT_LT(user - 32, raw + 8);    // the first such multiple
        EXPECT_GE(raw + 140, user + 101); // length + 1 bytes fit
        void* kept;
        std::memcpy(&kept, reinterpret_cast<unsigned char*>(p) - 8, sizeof kept);
        EXPECT_EQ(kept, RecordingHeap::lastRaw);
        ippFree(p);
        EXPECT_EQ(RecordingHeap::freed, RecordingHeap::lastRaw);
    }
}

TEST_F(VectorMemory, HeapFailureGivesNull)
{
    useRecordingHeap();
    RecordingHeap::fail = true;
    EXPECT_EQ(ippMalloc(16), nullptr);
    EXPECT_EQ(u8_ippsMalloc_8u(16), nullptr);
}

TEST_F(VectorMemory, LargestLengthIsSizedIn64Bits)
{
    useRecordingHeap();
    RecordingHeap::fail = true;
    EXPECT_EQ(ippMalloc(2147483647), nullptr);
    EXPECT_EQ(RecordingHeap::lastSize, std::size_t(2147483647) + 40);
}

} // namespace

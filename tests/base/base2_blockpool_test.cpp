#include "base/blockpool.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <thread>
#include <vector>

using namespace Calvereth;
using testthreads::runThreads;

TEST(Base2FObjectAllocator, ConsecutiveElementsUntilASecondBlockAndDoubleFreesStaySafe)
{
    FObjectAllocator pool(1);
    auto* first = static_cast<char*>(pool.allocate());
    char* last = first;
    for (uint32_t i = 1; i < 65535; ++i)
        last = static_cast<char*>(pool.allocate());
    EXPECT_EQ(last - first, 65534);
    auto* next = static_cast<char*>(pool.allocate());
    EXPECT_TRUE(next < first || next >= first + 65535);
    pool.free(first + 10);
    EXPECT_EQ(pool.allocate(), first + 10); // freed elements come back first
    pool.free(nullptr);
    // A size whose low 16 bits are 0, and more frees of one element than the stack holds.
    FObjectAllocator wide(65536);
    void* a = wide.allocate();
    EXPECT_NE(wide.allocate(), a);
    for (int i = 0; i < 70000; ++i)
        wide.free(a);
    EXPECT_EQ(wide.allocate(), a);
}

TEST(Base2FObjectAllocator, ConcurrentUseGivesDistinctElements)
{
    FObjectAllocator pool(16);
    std::vector<std::vector<void*>> got(4);
    runThreads(4, [&](int t) {
        for (int i = 0; i < 2000; ++i) {
            void* p = pool.allocate();
            std::memset(p, t, 16);
            if (i % 3 == 0)
                pool.free(p);
            else
                got[t].push_back(p);
        }
    });
    std::set<void*> all;
    for (auto& v : got)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), 4u * 1333u);
}

TEST(Base2FBlockAllocator, RegionsGrowByTheDoublingRule)
{
    FBlockAllocator pool(1024);
    EXPECT_EQ(pool.allocate(0), nullptr);
    EXPECT_EQ(pool.allocate(0x7FFFFFF4u), nullptr);
    void* a = pool.allocate(100);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(pool.getRegionCount(), 1);
    EXPECT_EQ(pool.getRegionSize(), 1024u);
    void* b = pool.allocate(2000);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(pool.getRegionCount(), 2);
    EXPECT_EQ(pool.getRegionSize(), 4096u);
    void* c = pool.allocate(100); // fits after a in the first region
    EXPECT_EQ(static_cast<char*>(c) - static_cast<char*>(a), 112);
    std::memset(a, 1, 100);
    std::memset(b, 2, 2000);
    std::memset(c, 3, 100);
    // A zero region size and tiny regions still hold the chunk.
    FBlockAllocator zero(0), tiny(4);
    std::memset(zero.allocate(5), 1, 5);
    std::memset(tiny.allocate(1), 1, 1);
    EXPECT_GE(tiny.getRegionSize(), 13u);
}

TEST(Base2FBlockAllocator, ReleasedChunksAreSplitAndMergedWithoutOverlap)
{
    std::mt19937 rng(5);
    FBlockAllocator pool(4096);
    struct Live
    {
        uint8_t* p;
        uint32_t n;
        uint8_t fill;
    };
    std::vector<Live> live;
    for (int step = 0; step < 3000; ++step) {
        if (!live.empty() && rng() % 2) {
            const size_t i = rng() % live.size();
            for (uint32_t k = 0; k < live[i].n; ++k)
                ASSERT_EQ(live[i].p[k], live[i].fill);
            EXPECT_TRUE(pool.release(live[i].p));
            EXPECT_FALSE(pool.release(live[i].p));
            live.erase(live.begin() + i);
        } else {
            const uint32_t n = 1 + rng() % 300;
            auto* p = static_cast<uint8_t*>(pool.allocate(n));
            ASSERT_NE(p, nullptr);
            const uint8_t fill = static_cast<uint8_t>(rng());
            std::memset(p, fill, n);
            live.push_back({p, n, fill});
        }
    }
    for (auto& l : live)
        for (uint32_t k = 0; k < l.n; ++k)
            ASSERT_EQ(l.p[k], l.fill);
    int local = 0;
    EXPECT_FALSE(pool.release(&local));
}

TEST(Base2ChunkPool, ReusesLastFreedFirstGrowsByChunksAndRecyclesAtMostTheMaximum)
{
    ChunkPool pool(4, 16);
    std::vector<void*> got;
    for (int i = 0; i < 9; ++i)
        got.push_back(pool.allocate());
    EXPECT_EQ(static_cast<char*>(got[1]) - static_cast<char*>(got[0]), 16);
    EXPECT_EQ(std::set<void*>(got.begin(), got.end()).size(), 9u);
    pool.free(got[2]);
    pool.free(got[5]);
    EXPECT_EQ(pool.allocate(), got[5]);
    EXPECT_EQ(pool.allocate(), got[2]);
    ChunkPool small(0, 1); // at least one element of 8 bytes per chunk
    std::memset(small.allocate(), 0, 8);
    std::memset(small.allocate(), 0, 8);

    // A recycle pool keeps at most its maximum.
    RecyclePool recycle(2, 64);
    void* a = recycle.allocate();
    void* b = recycle.allocate();
    void* c = recycle.allocate();
    for (void* p : {a, b, c})
        recycle.free(p); // the third is freed, not kept
    EXPECT_EQ(recycle.keptCount(), 2);
    EXPECT_EQ(recycle.allocate(), b);
    EXPECT_EQ(recycle.allocate(), a);
    EXPECT_EQ(recycle.keptCount(), 0);
    recycle.free(a);
    recycle.free(b);
}

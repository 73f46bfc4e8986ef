// Growable byte buffers and the block, chunk and recycle pools.
#include "base/blockpool.h"
#include "base/buffer.h"
#include "base/fstring.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Calvereth;
using testthreads::runThreads;

namespace {
std::string filled(const Buffer& b)
{
    return std::string(reinterpret_cast<const char*>(b.getData()), b.getFill());
}
} // namespace

TEST(Base2Buffer, GrowthEqualityCopiesTakeSetSizeFlushAndCopy)
{
    Buffer b;
    EXPECT_TRUE(b.put('x'));
    EXPECT_EQ(b.getSize(), 4096u);
    std::vector<uint8> more(5000, 7);
    EXPECT_TRUE(b.put(more.data(), 4096));
    EXPECT_EQ(b.getSize(), 8192u);
    EXPECT_FALSE(b.put(nullptr, 1));
    b.setDelta(0); // replaced by the default when growing
    EXPECT_TRUE(b.put(more.data(), 5000));
    EXPECT_EQ(b.getSize(), 12288u);

    // Equality, copies and take.
    Buffer x(4, 0), y(4, 0);
    x.setFillSize(1);
    EXPECT_TRUE(x == y); // equal memory, different fill positions
    y.put('r');
    EXPECT_FALSE(x == y);
    Buffer copy(x);
    EXPECT_TRUE(copy == x);
    EXPECT_EQ(copy.getFill(), 1u);
    Buffer moved;
    moved.take(copy);
    EXPECT_EQ(copy.getData(), nullptr);
    EXPECT_TRUE(moved == x);
    uint8 out[8];
    EXPECT_EQ(moved.get(out, 8), 3u); // reads from the fill position
    EXPECT_EQ(moved.get(nullptr, 4), 0u);

    // Setting the size, flushing and copying within the buffer.
    Buffer sized(10, 1);
    sized.setFillSize(8);
    EXPECT_TRUE(sized.setSize(4));
    EXPECT_EQ(sized.getFill(), 4u);
    EXPECT_TRUE(sized.flush());
    EXPECT_EQ(sized.getSize(), 4u);
    EXPECT_TRUE(sized.setSize(0));
    EXPECT_EQ(sized.getData(), nullptr);
    EXPECT_TRUE(sized.setSize(0));

    Buffer c;
    c.putString8("abcdef");
    EXPECT_FALSE(c.copy(0, 0, 0));
    EXPECT_FALSE(c.copy(4090, 0, 10));
    EXPECT_TRUE(c.copy(0, 2, 4)); // overlapping
    EXPECT_EQ(std::string(reinterpret_cast<char*>(c.getData()), 6), "ababcd");
    EXPECT_TRUE(c.copy(0, 4096, 3)); // grows the memory
    EXPECT_EQ(c.getSize(), 4099u);
    EXPECT_EQ(std::memcmp(c.getData() + 4096, "aba", 3), 0);
    EXPECT_FALSE(c.copy(0, 0xFFFFFFFFu, 2));
}

TEST(Base2Buffer, ShiftsOpenAndCloseGapsWithinBounds)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 500; ++round) {
        Buffer b;
        b.setDelta(16);
        std::string model(rng() % 40, ' ');
        for (char& c : model)
            b.put(c = static_cast<char>('a' + rng() % 26));
        const uint32 position = rng() % 50;
        const int32 amount = static_cast<int32>(rng() % 60) - 30;
        b.shiftAt(position, amount);
        const std::string got = filled(b);
        const size_t n = static_cast<size_t>(amount < 0 ? -amount : amount);
        if (amount > 0) {
            ASSERT_EQ(got.size(), model.size() + n);
            if (position < model.size()) { // the gap's bytes are not specified
                EXPECT_EQ(got.substr(0, position) + got.substr(position + n), model);
            }
        } else if (amount < 0) {
            // The filled bytes from position on, at most n of them.
            EXPECT_EQ(got, model.size() <= n || position >= model.size() ? model : model.erase(position, n));
        }
    }
    Buffer digits;
    digits.putString8("0123456789");
    digits.shiftAt(8, -5); // reaches past the end: only "89" goes
    EXPECT_EQ(filled(digits), "01234567");
    digits.shiftAt(8, -5); // at the end: nothing to remove
    EXPECT_EQ(filled(digits), "01234567");
    Buffer empty;
    EXPECT_TRUE(empty.prependChar16(u'Z'));
    char16 unit;
    std::memcpy(&unit, empty.getData(), 2);
    EXPECT_EQ(unit, u'Z');
    empty.shiftAt(0, INT32_MIN); // nothing to remove that far
    EXPECT_EQ(empty.getFill(), 2u);

    // Shifting the start moves all memory.
    Buffer b(6, 0);
    std::memcpy(b.getData(), "abcdef", 6);
    b.shiftStart(2, '.');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "..abcd");
    b.shiftStart(-3, '#');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "bcd###");
    b.shiftStart(INT32_MIN, '-');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "------");
    Buffer none;
    none.shiftStart(3, 'x');
    EXPECT_EQ(none.getSize(), 0u);
}

TEST(Base2Buffer, WideMultibyteAndHexText)
{
    // Up to three bytes per unit in UTF-8: the destination holds them all, terminated.
    Buffer w;
    const char16 text[] = u"\u20AC\u20AC\u20AC\u00E9x";
    w.put(text, sizeof(text) - 2); // without the terminator
    EXPECT_TRUE(w.toMultibyteString(65001));
    EXPECT_EQ(filled(w), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xC3\xA9x");
    EXPECT_EQ(w.getData()[w.getFill()], 0);
    EXPECT_TRUE(w.toWideString(65001));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16*>(w.getData()), w.getFill() / 2), std::u16string(text));
    EXPECT_TRUE(Buffer().toWideString(0));
    Buffer bad;
    bad.putString8("\xC3(");
    EXPECT_FALSE(bad.toWideString(65001));

    // Hex text.
    Buffer b;
    EXPECT_TRUE(b.fromHexString("0aFF"));
    EXPECT_EQ(filled(b), "\x0A\xFF");
    String hex;
    EXPECT_TRUE(b.toHexString(hex));
    EXPECT_EQ(hex, String("0AFF"));
    for (const char* wrong : {"0G", "abc", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(b.fromHexString(wrong));
    EXPECT_EQ(b.getFill(), 0u);
    EXPECT_FALSE(Buffer().toHexString(hex));
}

TEST(Base2FObjectAllocator, ConsecutiveElementsUntilASecondBlockAndDoubleFreesStaySafe)
{
    FObjectAllocator pool(1);
    auto* first = static_cast<char*>(pool.allocate());
    char* last = first;
    for (uint32_t i = 1; i < 65535; ++i)
        last = static_cast<char*>(pool.allocate());
    EXPECT_EQ(last - first, 65534);
    // The 65536th comes from a second block: first + 65535 would lie just past the first one.
    auto* next = static_cast<char*>(pool.allocate());
    EXPECT_TRUE(next < first || next > first + 65535);
    pool.free(first + 10);
    EXPECT_EQ(pool.allocate(), first + 10); // freed elements come back first
    pool.free(nullptr);
    // More frees of one element than the stack holds.
    FObjectAllocator small(8);
    void* a = small.allocate();
    EXPECT_NE(small.allocate(), a);
    for (int i = 0; i < 70000; ++i)
        small.free(a);
    EXPECT_EQ(small.allocate(), a);
}

// Elements handed out never overlap: sizes a block can hold give whole elements, larger ones
// (whose low 16 bits would give tiny or zero-sized elements) give none.
TEST(Base2FObjectAllocator, ElementsNeverOverlap)
{
    for (uint32_t size : {0u, 1u, 3u, 8u, 1000u, 65536u, 65537u, 65536u + 8u, 1u << 20, 0xFFFFFFFFu}) {
        FObjectAllocator pool(size);
        const size_t span = size ? size : 1;
        std::vector<uint8_t*> elements;
        for (int i = 0; i < 64; ++i)
            if (auto* p = static_cast<uint8_t*>(pool.allocate()))
                elements.push_back(p);
        if (size > 0xFFFF) {
            EXPECT_TRUE(elements.empty()) << size;
            pool.free(&size); // not one of its elements: ignored
            continue;
        }
        ASSERT_EQ(elements.size(), 64u) << size;
        std::sort(elements.begin(), elements.end());
        for (size_t i = 1; i < elements.size(); ++i)
            EXPECT_GE(static_cast<size_t>(elements[i] - elements[i - 1]), span) << size;
        for (size_t i = 0; i < elements.size(); ++i)
            std::memset(elements[i], static_cast<int>(i), span); // whole elements are writable
    }
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

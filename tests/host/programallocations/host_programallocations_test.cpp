// meter's own allocation functions (host/main_allocations.cpp), the ones of this program too: each
// passes its call on to the C library's and counts on the calling thread the calls that fail for
// want of memory, whichever function or operator new asked, and leaves errno as the C library does.
#include "host/main_allocations.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <thread>

namespace {

// Beyond any address space: the C library refuses it at once, without touching memory.
volatile std::size_t gHuge = std::size_t(1) << 62;

// What an allocation gave, escaped: clang drops an allocation whose result is only compared with
// null, and the function is then never called.
void* made(void* p)
{
    __asm__ __volatile__("" : : "r"(p) : "memory");
    return p;
}

std::uint64_t failedHere()
{
    return meterprogram::failedAllocationCounter()();
}

// Whether operator new threw std::bad_alloc for `allocate`.
bool throwsBadAlloc(const std::function<void*()>& allocate)
{
    try {
        allocate();
        return false;
    } catch (const std::bad_alloc&) {
        return true;
    }
}

TEST(ProgramAllocations, EachWayToAllocateThatRunsShortCountsOneFailure)
{
    void* kept = std::malloc(64);
    ASSERT_NE(kept, nullptr);
    const std::pair<const char*, std::function<bool()>> shortOnes[] = {
        {"malloc", [] { return made(std::malloc(gHuge)) == nullptr; }},
        {"calloc", [] { return made(std::calloc(gHuge, 1)) == nullptr; }},
        {"calloc of a size that overflows", [] { return made(std::calloc(gHuge, 8)) == nullptr; }},
        {"realloc", [kept] { return made(std::realloc(kept, gHuge)) == nullptr; }},
        {"reallocarray of a size that overflows", [kept] { return made(reallocarray(kept, gHuge, 8)) == nullptr; }},
        {"memalign", [] { return made(memalign(64, gHuge)) == nullptr; }},
        {"aligned_alloc", [] { return made(aligned_alloc(64, gHuge)) == nullptr; }},
        {"valloc", [] { return made(valloc(gHuge)) == nullptr; }},
        {"pvalloc", [] { return made(pvalloc(gHuge)) == nullptr; }},
    };
    for (const auto& [what, runsShort] : shortOnes) {
        const std::uint64_t before = failedHere();
        errno = 0;
        EXPECT_TRUE(runsShort()) << what;
        EXPECT_EQ(errno, ENOMEM) << what;
        EXPECT_EQ(failedHere() - before, 1u) << what;
    }
    std::uint64_t before = failedHere();
    void* none = nullptr;
    EXPECT_EQ(posix_memalign(&none, 64, gHuge), ENOMEM);
    EXPECT_EQ(failedHere() - before, 1u) << "posix_memalign";

    const std::pair<const char*, std::function<void*()>> newOnes[] = {
        {"new", [] { return made(::operator new(gHuge)); }},
        {"new[]", [] { return made(::operator new[](gHuge)); }},
        {"aligned new", [] { return made(::operator new(gHuge, std::align_val_t(256))); }},
        {"aligned new[]", [] { return made(::operator new[](gHuge, std::align_val_t(256))); }},
    };
    for (const auto& [what, allocate] : newOnes) {
        before = failedHere();
        EXPECT_TRUE(throwsBadAlloc(allocate)) << what;
        EXPECT_EQ(failedHere() - before, 1u) << what;
    }
    before = failedHere();
    EXPECT_EQ(made(::operator new(gHuge, std::nothrow)), nullptr);
    EXPECT_EQ(failedHere() - before, 1u) << "nothrow new";
    // A block that could not grow is still there to give back.
    std::free(kept);
}

TEST(ProgramAllocations, CallsThatHaveTheirMemoryCountNothingAndLeaveErrnoAlone)
{
    const std::uint64_t before = failedHere();
    // As a call that had its memory may leave it (glibc falling back from huge pages).
    errno = ENOMEM;
    void* a = made(std::malloc(100));
    void* b = made(std::calloc(10, 10));
    a = made(std::realloc(a, 100000));
    a = made(reallocarray(a, 1000, 1000));
    void* c = made(memalign(64, 100));
    void* d = made(aligned_alloc(256, 512));
    void* e = made(valloc(100));
    void* f = made(pvalloc(100));
    void* g = nullptr;
    const int answer = posix_memalign(&g, 128, 100);
    void* h = made(::operator new(100, std::align_val_t(512)));
    EXPECT_EQ(errno, ENOMEM);
    ASSERT_TRUE(a && b && c && d && e && f && g && h);
    EXPECT_EQ(answer, 0);
    const auto alignedTo = [](void* p, std::uintptr_t to) { return reinterpret_cast<std::uintptr_t>(p) % to == 0; };
    EXPECT_TRUE(alignedTo(c, 64) && alignedTo(d, 256) && alignedTo(e, 4096) && alignedTo(f, 4096) &&
                alignedTo(g, 128) && alignedTo(h, 512));
    for (std::size_t i = 0; i < 100; ++i)
        EXPECT_EQ(static_cast<unsigned char*>(b)[i], 0);
    // Neither a block given back by realloc to size 0 nor an alignment refused is a shortage.
    void* given = made(std::malloc(10));
    errno = ENOMEM;
    given = made(std::realloc(given, 0));
    std::free(given);
    void* refused = nullptr;
    EXPECT_EQ(posix_memalign(&refused, 3 * sizeof(void*), 100), EINVAL);
    EXPECT_EQ(failedHere(), before);
    for (void* p : {a, b, c, d, e, f, g})
        std::free(p);
    ::operator delete(h, std::align_val_t(512));
}

TEST(ProgramAllocations, AFailureCountsOnTheThreadThatRanShortAlone)
{
    const std::uint64_t before = failedHere();
    std::uint64_t there = 0;
    std::thread([&there] {
        const std::uint64_t start = failedHere();
        there = made(std::malloc(gHuge)) == nullptr ? failedHere() - start : 0;
    }).join();
    EXPECT_EQ(there, 1u);
    EXPECT_EQ(failedHere(), before);
}

} // namespace

#include "host/main_allocations.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define METER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define METER_SANITIZED 1
#endif
#endif

#ifdef METER_SANITIZED

qelhost::FailedAllocationCounter meterprogram::failedAllocationCounter()
{
    return nullptr;
}

#else

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace meterprogram {

namespace {

// Thread-local storage of the program itself, which no access ever allocates.
[[gnu::tls_model("initial-exec")]] thread_local std::uint64_t tFailed = 0;
// Whether this thread is looking up the next functions, which may allocate.
[[gnu::tls_model("initial-exec")]] thread_local bool tLooking = false;

std::uint64_t failedOnThisThread() noexcept
{
    return tFailed;
}

struct Next
{
    void (*free)(void*);
    void* (*realloc)(void*, std::size_t);
    void* (*malloc)(std::size_t);
    void* (*calloc)(std::size_t, std::size_t);
    void* (*memalign)(std::size_t, std::size_t);
    int (*posixMemalign)(void**, std::size_t, std::size_t);
    void* (*alignedAlloc)(std::size_t, std::size_t);
    void* (*valloc)(std::size_t);
    void* (*pvalloc)(std::size_t);
    void* (*reallocarray)(void*, std::size_t, std::size_t);
};
Next gNext{};
bool gFound = false;

template <class Function>
void find(Function& to, const char* name)
{
    __atomic_store_n(&to, reinterpret_cast<Function>(dlsym(RTLD_NEXT, name)), __ATOMIC_RELAXED);
}

// The functions that come after the program's: a preloaded library's, else the C library's. Looked
// up at the process's first allocation, before any thread but the first runs.
const Next& next()
{
    if (__atomic_load_n(&gFound, __ATOMIC_ACQUIRE))
        return gNext;
    const int saved = errno;
    tLooking = true;
    find(gNext.free, "free");
    find(gNext.realloc, "realloc");
    find(gNext.malloc, "malloc");
    find(gNext.calloc, "calloc");
    find(gNext.memalign, "memalign");
    find(gNext.posixMemalign, "posix_memalign");
    find(gNext.alignedAlloc, "aligned_alloc");
    find(gNext.valloc, "valloc");
    find(gNext.pvalloc, "pvalloc");
    find(gNext.reallocarray, "reallocarray");
    tLooking = false;
    errno = saved;
    if (!gNext.free || !gNext.realloc || !gNext.malloc || !gNext.calloc || !gNext.memalign || !gNext.posixMemalign ||
        !gNext.alignedAlloc || !gNext.valloc || !gNext.pvalloc) {
        static const char kNone[] = "meter: the C library's allocation functions cannot be found\n";
        [[maybe_unused]] const ssize_t wrote = write(STDERR_FILENO, kNone, sizeof kNone - 1);
        std::abort();
    }
    __atomic_store_n(&gFound, true, __ATOMIC_RELEASE);
    return gNext;
}

// Memory for the lookup itself, should it allocate: each block after its size, never given back.
constexpr std::size_t kEarlyAlignment = 4096;
alignas(kEarlyAlignment) unsigned char gEarly[64 * 1024];
std::size_t gEarlyUsed = 0;
constexpr std::size_t kEarlyHead = 16;

bool isEarly(const void* p)
{
    const auto at = reinterpret_cast<std::uintptr_t>(p), start = reinterpret_cast<std::uintptr_t>(gEarly);
    return at - start < sizeof gEarly;
}

// Zeroed, as the memory was never used.
void* early(std::size_t n, std::size_t alignment)
{
    alignment = alignment < kEarlyHead ? kEarlyHead : alignment;
    std::size_t used = __atomic_load_n(&gEarlyUsed, __ATOMIC_RELAXED);
    for (;;) {
        const std::size_t start = (used + kEarlyHead + alignment - 1) / alignment * alignment;
        if (alignment > kEarlyAlignment || n > sizeof gEarly || start > sizeof gEarly - n) {
            ++tFailed;
            errno = ENOMEM;
            return nullptr;
        }
        if (__atomic_compare_exchange_n(&gEarlyUsed, &used, start + n, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
            std::memcpy(gEarly + start - sizeof n, &n, sizeof n);
            return gEarly + start;
        }
    }
}

std::size_t earlySize(const void* p)
{
    std::size_t n = 0;
    std::memcpy(&n, static_cast<const unsigned char*>(p) - sizeof n, sizeof n);
    return n;
}

// `p`, what an allocation gave, with its failure counted: a null that says ENOMEM. A call that
// succeeds keeps errno as the function beneath left it.
void* counted(void* p)
{
    if (!p && errno == ENOMEM)
        ++tFailed;
    return p;
}

} // namespace

qelhost::FailedAllocationCounter failedAllocationCounter()
{
    return &failedOnThisThread;
}

} // namespace meterprogram

using meterprogram::counted;
using meterprogram::early;
using meterprogram::next;
using meterprogram::tLooking;

#pragma GCC visibility push(default)
extern "C" {

void* malloc(std::size_t n) noexcept
{
    return tLooking ? early(n, 0) : counted(next().malloc(n));
}

void free(void* p) noexcept
{
    if (!p || meterprogram::isEarly(p))
        return;
    if (!tLooking)
        next().free(p);
    else if (const auto give = __atomic_load_n(&meterprogram::gNext.free, __ATOMIC_RELAXED))
        give(p);
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    if (!tLooking)
        return counted(next().calloc(count, size));
    std::size_t n = 0;
    if (__builtin_mul_overflow(count, size, &n)) {
        ++meterprogram::tFailed;
        errno = ENOMEM;
        return nullptr;
    }
    return early(n, 0);
}

void* realloc(void* p, std::size_t n) noexcept
{
    if (meterprogram::isEarly(p)) {
        void* moved = malloc(n);
        if (moved)
            std::memcpy(moved, p, std::min(n, meterprogram::earlySize(p)));
        return moved;
    }
    if (tLooking) {
        const auto move = __atomic_load_n(&meterprogram::gNext.realloc, __ATOMIC_RELAXED);
        return !p ? early(n, 0) : move ? counted(move(p, n)) : nullptr;
    }
    void* moved = next().realloc(p, n);
    // Given back, not failed: glibc's realloc of a block to size 0.
    return p && n == 0 ? moved : counted(moved);
}

void* reallocarray(void* p, std::size_t count, std::size_t size) noexcept
{
    std::size_t n = 0;
    if (__builtin_mul_overflow(count, size, &n)) {
        ++meterprogram::tFailed;
        errno = ENOMEM;
        return nullptr;
    }
    if (tLooking || meterprogram::isEarly(p) || !next().reallocarray)
        return realloc(p, n);
    void* moved = next().reallocarray(p, count, size);
    return p && n == 0 ? moved : counted(moved);
}

void* memalign(std::size_t alignment, std::size_t n) noexcept
{
    return tLooking ? early(n, alignment) : counted(next().memalign(alignment, n));
}

void* aligned_alloc(std::size_t alignment, std::size_t n) noexcept
{
    return tLooking ? early(n, alignment) : counted(next().alignedAlloc(alignment, n));
}

void* valloc(std::size_t n) noexcept
{
    return tLooking ? early(n, 4096) : counted(next().valloc(n));
}

void* pvalloc(std::size_t n) noexcept
{
    return tLooking ? early((n + 4095) / 4096 * 4096, 4096) : counted(next().pvalloc(n));
}

int posix_memalign(void** out, std::size_t alignment, std::size_t n) noexcept
{
    if (tLooking) {
        void* p = early(n, alignment);
        if (!p)
            return ENOMEM;
        *out = p;
        return 0;
    }
    const int answer = next().posixMemalign(out, alignment, n);
    if (answer == ENOMEM)
        ++meterprogram::tFailed;
    return answer;
}

} // extern "C"
#pragma GCC visibility pop

#endif

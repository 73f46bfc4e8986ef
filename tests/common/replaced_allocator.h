// The process's allocation functions, the C allocator and the global operator new family, replaced
// so that a test can fail any allocation, whichever thread or library makes it: each asks the hook
// its harness installs. What is not failed is passed on to the allocator beneath: the C library's,
// or under a sanitizer the sanitizer's, whose public names are weak aliases that these definitions
// take the place of, so its checks and the leak check at exit still hold. Include it, through a
// harness, in exactly one source file of a test program of its own, or of a library preloaded into
// a program, whose operator new family these then take the place of too.
#pragma once

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

#include "tests/common/sanitized.h"

namespace replacedalloc {

// Asked by each allocation while installed: true fails it. It runs where the replacements run, so
// it must be no more instrumented than they are. A program that is to fail its very first
// allocations, before any of its code runs, defines REPLACEDALLOC_FIRST_HOOK, the hook it starts
// with, before it includes this.
#ifndef REPLACEDALLOC_FIRST_HOOK
#define REPLACEDALLOC_FIRST_HOOK nullptr
#endif
inline bool (*gFails)() = REPLACEDALLOC_FIRST_HOOK;

// Has `fails` asked from now on (none when null).
inline void install(bool (*fails)())
{
    __atomic_store_n(&gFails, fails, __ATOMIC_SEQ_CST);
}

// The allocations failed on each thread; initial-exec, as a preloaded library's storage must be for
// an access never to allocate.
[[gnu::tls_model("initial-exec")]] inline thread_local std::uint64_t tFailed = 0;

// True when this allocation fails, which sets errno as malloc does.
NORRIK_TEST_UNINSTRUMENTED inline bool failsNow()
{
    bool (*fails)() = __atomic_load_n(&gFails, __ATOMIC_ACQUIRE);
    if (!fails || !fails())
        return false;
    ++tFailed;
    errno = ENOMEM;
    return true;
}

// How many allocations have failed on the calling thread: what a host that tells a shortage by a
// failed allocation counts (qelhost::countFailedAllocationsWith takes it).
inline std::uint64_t failedOnThisThread() noexcept
{
    return tFailed;
}

#if NORRIK_TEST_SANITIZED
// The sanitizer's run-time asks the C library for a new thread's stack (pthread_getattr_np, which
// reallocates a CPU set and allocates its attributes' extension) before the thread is set up as its
// own: not the program's allocations, and ones whose failure the run-time does not survive, nor may
// a hook unwind the stack there. Where those calls come back to, learnt as the program starts by
// asking it once on a thread of its own.
inline std::uintptr_t gThreadStartCallers[4] = {};
inline bool gLearning = false;

NORRIK_TEST_UNINSTRUMENTED inline bool madeForAThreadStart(const void* caller)
{
    const auto pc = reinterpret_cast<std::uintptr_t>(caller);
    if (__atomic_load_n(&gLearning, __ATOMIC_ACQUIRE)) {
        // Only the learning thread allocates then: the first thread waits for it.
        for (std::uintptr_t& known : gThreadStartCallers) {
            if (!__atomic_load_n(&known, __ATOMIC_ACQUIRE))
                __atomic_store_n(&known, pc, __ATOMIC_RELEASE);
            if (__atomic_load_n(&known, __ATOMIC_ACQUIRE) == pc)
                break;
        }
        return true;
    }
    for (const std::uintptr_t& known : gThreadStartCallers)
        if (__atomic_load_n(&known, __ATOMIC_ACQUIRE) == pc)
            return true;
    return false;
}

inline const bool kThreadStartLearnt = [] {
    std::thread([] {
        pthread_attr_t attributes;
        __atomic_store_n(&gLearning, true, __ATOMIC_RELEASE);
        const bool had = pthread_getattr_np(pthread_self(), &attributes) == 0;
        __atomic_store_n(&gLearning, false, __ATOMIC_RELEASE);
        if (had)
            pthread_attr_destroy(&attributes);
    }).join();
    return true;
}();
#endif

} // namespace replacedalloc

#if NORRIK_TEST_SANITIZED
#define REPLACEDALLOC_NEXT(name) __interceptor_##name
#else
#define REPLACEDALLOC_NEXT(name) __libc_##name
#endif

#pragma GCC visibility push(default)
extern "C" {
void* REPLACEDALLOC_NEXT(malloc)(std::size_t);
void* REPLACEDALLOC_NEXT(calloc)(std::size_t, std::size_t);
void* REPLACEDALLOC_NEXT(realloc)(void*, std::size_t);
void* REPLACEDALLOC_NEXT(memalign)(std::size_t, std::size_t);

NORRIK_TEST_UNINSTRUMENTED void* malloc(std::size_t n) noexcept
{
#if NORRIK_TEST_SANITIZED
    if (replacedalloc::madeForAThreadStart(__builtin_return_address(0)))
        return REPLACEDALLOC_NEXT(malloc)(n);
#endif
    return replacedalloc::failsNow() ? nullptr : REPLACEDALLOC_NEXT(malloc)(n);
}
NORRIK_TEST_UNINSTRUMENTED void* calloc(std::size_t a, std::size_t b) noexcept
{
#if NORRIK_TEST_SANITIZED
    if (replacedalloc::madeForAThreadStart(__builtin_return_address(0)))
        return REPLACEDALLOC_NEXT(calloc)(a, b);
#endif
    return replacedalloc::failsNow() ? nullptr : REPLACEDALLOC_NEXT(calloc)(a, b);
}
NORRIK_TEST_UNINSTRUMENTED void* realloc(void* p, std::size_t n) noexcept
{
#if NORRIK_TEST_SANITIZED
    if (replacedalloc::madeForAThreadStart(__builtin_return_address(0)))
        return REPLACEDALLOC_NEXT(realloc)(p, n);
#endif
    return replacedalloc::failsNow() ? nullptr : REPLACEDALLOC_NEXT(realloc)(p, n);
}
NORRIK_TEST_UNINSTRUMENTED void* reallocarray(void* p, std::size_t count, std::size_t size) noexcept
{
    std::size_t n = 0;
    if (__builtin_mul_overflow(count, size, &n)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(p, n);
}
NORRIK_TEST_UNINSTRUMENTED void* memalign(std::size_t a, std::size_t n) noexcept
{
    return replacedalloc::failsNow() ? nullptr : REPLACEDALLOC_NEXT(memalign)(a, n);
}
NORRIK_TEST_UNINSTRUMENTED void* aligned_alloc(std::size_t a, std::size_t n) noexcept
{
    return memalign(a, n);
}
NORRIK_TEST_UNINSTRUMENTED void* valloc(std::size_t n) noexcept
{
    return memalign(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), n);
}
NORRIK_TEST_UNINSTRUMENTED void* pvalloc(std::size_t n) noexcept
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return memalign(page, (n + page - 1) / page * page);
}
NORRIK_TEST_UNINSTRUMENTED int posix_memalign(void** out, std::size_t a, std::size_t n) noexcept
{
    if (a < sizeof(void*) || (a & (a - 1)) != 0)
        return EINVAL;
    void* p = memalign(a, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
#if NORRIK_TEST_SANITIZED
// What a test program takes as the leaks of a library it uses, as lines of the leak check's
// suppressions ("leak:FUNCTION\n"); defined before this header is included.
#ifndef REPLACEDALLOC_LIBRARY_LEAKS
#define REPLACEDALLOC_LIBRARY_LEAKS ""
#endif
// The leak check takes what the dynamic loader allocates for itself as kept, by who called the
// allocator: with these functions in between, it is told by the loader's frames instead.
const char* __lsan_default_suppressions()
{
    return "leak:ld-linux-x86-64.so.2\n" REPLACEDALLOC_LIBRARY_LEAKS;
}
const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif
} // extern "C"
#pragma GCC visibility pop

// The global operator new family takes its memory from malloc above, so it fails the same way;
// operator delete gives it back through free.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return std::malloc(n ? n : 1);
}
[[gnu::noinline]] void* operator new(std::size_t n)
{
    if (void* p = ::operator new(n, std::nothrow))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return ::operator new(n);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, t);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    const auto al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    void* p = nullptr;
    return posix_memalign(&p, al, n ? n : 1) == 0 ? p : nullptr;
}
void* operator new(std::size_t n, std::align_val_t a)
{
    if (void* p = ::operator new(n, a, std::nothrow))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a)
{
    return ::operator new(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, a, t);
}
// Never inlined: the compiler would pair an inlined free with the new it can see and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}
#include "tests/common/delete_forwarding.h"

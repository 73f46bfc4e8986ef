// Fails one chosen allocation: while a countdown::Fail is armed, the N-th allocation after it
// (counted from 0) fails, and every allocation is counted. Replaces the global allocation
// functions and, outside the sanitizers (which own malloc), the C allocator, forwarding to the C
// library's own entry points; under them the primitives' allocator is hooked instead. Include it
// in exactly one source file of a test program of its own.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

#include <unistd.h>

#include "primitives/vector/ipps_vector.h"
#include "tests/common/sanitized.h"

namespace countdown {

// Allocations still let through before one fails; negative: none fails.
inline std::atomic<long> left{-1};
// Allocations seen while armed.
inline std::atomic<long> seen{0};

// Set by a test: true for an allocation that must not be the one to fail (one made by code the
// test does not test); the countdown then waits for the next.
inline bool (*spared)() = nullptr;

// True when this allocation is the one to fail.
inline bool failsNow()
{
    if (left.load(std::memory_order_relaxed) < 0)
        return false;
    seen.fetch_add(1, std::memory_order_relaxed);
    if (left.load(std::memory_order_relaxed) == 0 && spared && spared())
        return false;
    return left.fetch_sub(1, std::memory_order_relaxed) == 0;
}

#if NORRIK_TEST_SANITIZED
// A program without the primitives has no such pointer: the reference is weak.
#pragma weak i_malloc
inline void* primitivesMalloc(std::size_t n)
{
    return failsNow() ? nullptr : std::malloc(n);
}
inline void hookPrimitives(IppMallocFn* slot)
{
    if (slot)
        *slot = &primitivesMalloc;
}
#endif

// Arms the countdown for one step: allocation `n` of it fails.
class Fail
{
public:
    explicit Fail(long n)
    {
#if NORRIK_TEST_SANITIZED
        // The primitives allocate through this pointer.
        hookPrimitives(&i_malloc);
#endif
        seen.store(0);
        left.store(n);
    }
    ~Fail()
    {
        left.store(-1);
    }
    // Whether the step reached the allocation that was to fail.
    bool failed() const
    {
        return left.load() < 0;
    }
    Fail(const Fail&) = delete;
    Fail& operator=(const Fail&) = delete;
};

} // namespace countdown

#if NORRIK_TEST_SANITIZED
namespace countdown {
inline void* raw(std::size_t n)
{
    return std::malloc(n ? n : 1);
}
inline void* rawAligned(std::size_t a, std::size_t n)
{
    void* p = nullptr;
    return posix_memalign(&p, a, n ? n : 1) == 0 ? p : nullptr;
}
inline void rawFree(void* p)
{
    std::free(p);
}
} // namespace countdown
#else
#pragma GCC visibility push(default)
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t n) noexcept
{
    return countdown::failsNow() ? nullptr : __libc_malloc(n);
}
void free(void* p) noexcept
{
    __libc_free(p);
}
void* calloc(std::size_t a, std::size_t b) noexcept
{
    return countdown::failsNow() ? nullptr : __libc_calloc(a, b);
}
void* realloc(void* p, std::size_t n) noexcept
{
    return countdown::failsNow() ? nullptr : __libc_realloc(p, n);
}
void* memalign(std::size_t a, std::size_t n) noexcept
{
    return countdown::failsNow() ? nullptr : __libc_memalign(a, n);
}
void* aligned_alloc(std::size_t a, std::size_t n) noexcept
{
    return memalign(a, n);
}
void* valloc(std::size_t n) noexcept
{
    return memalign(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), n);
}
int posix_memalign(void** out, std::size_t a, std::size_t n) noexcept
{
    if (a < sizeof(void*) || (a & (a - 1)) != 0)
        return EINVAL;
    void* p = memalign(a, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
} // extern "C"
#pragma GCC visibility pop

namespace countdown {
inline void* raw(std::size_t n)
{
    return __libc_malloc(n ? n : 1);
}
inline void* rawAligned(std::size_t a, std::size_t n)
{
    return __libc_memalign(a, n ? n : 1);
}
inline void rawFree(void* p)
{
    __libc_free(p);
}
} // namespace countdown
#endif

// Never inlined: the compiler would pair an inlined free with the new it can see and warn.
[[gnu::noinline]] void* operator new(std::size_t n)
{
    if (!countdown::failsNow())
        if (void* p = countdown::raw(n))
            return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return ::operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return countdown::failsNow() ? nullptr : countdown::raw(n);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, t);
}
void* operator new(std::size_t n, std::align_val_t a)
{
    const std::size_t al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    if (!countdown::failsNow())
        if (void* p = countdown::rawAligned(al, n))
            return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a)
{
    return ::operator new(n, a);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(n, a);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, a, t);
}
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    countdown::rawFree(p);
}
void operator delete[](void* p) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}

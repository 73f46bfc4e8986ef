// Fails the Nth heap allocation of a run, once, whichever thread or library makes it: a test arms
// it (in a child process of its own) and runs the code under test. Replaces the C allocation
// functions and the global operator new family, so include it in exactly one source file of a
// test program. Under AddressSanitizer the allocations are passed on to the sanitizer's own
// allocator, so its checks and the leak check at exit still hold; ThreadSanitizer is left alone
// (failnth::kAvailable is false there).
#pragma once

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__)
#define FAILNTH_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FAILNTH_TSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FAILNTH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FAILNTH_ASAN 1
#endif
#endif

// The replacements run before the sanitizer has mapped its shadow memory (it allocates while it
// starts): nothing on their way may be instrumented.
#define FAILNTH_UNCHECKED __attribute__((no_sanitize("address", "undefined")))

namespace failnth {

#ifdef FAILNTH_TSAN
constexpr bool kAvailable = false;
#else
constexpr bool kAvailable = true;
#endif
#ifdef FAILNTH_ASAN
constexpr bool kAddressSanitized = true;
#else
constexpr bool kAddressSanitized = false;
#endif

// Plain words read through the compiler's atomic built-ins: std::atomic's members are functions
// of their own, instrumented like any other.
inline bool gArmed = false;
inline long gCount = 0;   // allocations made since arm()
inline long gFailAt = 0;  // the one that fails, from 1; 0: none
inline int gTraceFd = -1; // where the failed allocation's stack is written
// Code whose allocations are not failed, [start, end) each: a system library that crashes when one
// of its allocations fails. The one chosen to fail then is the next.
inline std::uintptr_t gSparedRange[8][2] = {};
// The test program's own code: the stack is looked at from its first frame there on (a sanitizer
// may put its own backtrace before it).
inline std::uintptr_t gOwnRange[8][2] = {};

// The failing allocation's stack, to the trace file (backtrace_symbols_fd allocates nothing).
[[gnu::noinline]] inline void writeTrace()
{
    void* frames[48];
    const int depth = backtrace(frames, 48);
    backtrace_symbols_fd(frames, depth, gTraceFd);
}

inline bool within(const std::uintptr_t (&ranges)[8][2], void* at)
{
    for (const auto& range : ranges)
        if (reinterpret_cast<std::uintptr_t>(at) - range[0] < range[1] - range[0])
            return true;
    return false;
}

// Whether the calling stack passes through spared code.
[[gnu::noinline]] inline bool inSparedCode()
{
    void* frames[48];
    const int depth = backtrace(frames, 48);
    int i = 0;
    while (i < depth && !within(gOwnRange, frames[i]))
        ++i;
    for (; i < depth; ++i)
        if (within(gSparedRange, frames[i]))
            return true;
    return false;
}

// Counts one allocation; true when it is the one to fail (which sets errno, as malloc does).
FAILNTH_UNCHECKED inline bool failsNow()
{
    if (!__atomic_load_n(&gArmed, __ATOMIC_RELAXED))
        return false;
    const long n = __atomic_add_fetch(&gCount, 1, __ATOMIC_RELAXED);
    if (n != __atomic_load_n(&gFailAt, __ATOMIC_RELAXED))
        return false;
    if (inSparedCode()) {
        __atomic_add_fetch(&gFailAt, 1, __ATOMIC_RELAXED);
        return false;
    }
    if (gTraceFd >= 0)
        writeTrace();
    errno = ENOMEM;
    return true;
}

// Adds the code of the object loaded at `base` to `ranges`; false when none was added.
inline bool addCodeOf(const void* base, std::uintptr_t (&ranges)[8][2])
{
    struct Search
    {
        std::uintptr_t base;
        std::uintptr_t (*ranges)[2];
        bool found = false;
    } search{reinterpret_cast<std::uintptr_t>(base), ranges};
    dl_iterate_phdr(
        [](dl_phdr_info* object, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            bool holds = false;
            for (int i = 0; i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = object->dlpi_phdr[i];
                holds = holds || (p.p_type == PT_LOAD && s->base - (object->dlpi_addr + p.p_vaddr) < p.p_memsz);
            }
            for (int i = 0; holds && i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = object->dlpi_phdr[i];
                if (p.p_type != PT_LOAD || !(p.p_flags & PF_X))
                    continue;
                for (int r = 0; r < 8; ++r) {
                    if (s->ranges[r][1] == 0) {
                        s->ranges[r][0] = object->dlpi_addr + p.p_vaddr;
                        s->ranges[r][1] = s->ranges[r][0] + p.p_memsz;
                        s->found = true;
                        break;
                    }
                }
            }
            return 0;
        },
        &search);
    return search.found;
}

// Spares the library that defines `symbol` (all its code, and what it calls) from failing
// allocations; false when the process has no such function, or the test program has it.
inline bool spareLibraryOf(const char* symbol)
{
    Dl_info info{}, own{};
    void* at = dlsym(RTLD_DEFAULT, symbol);
    if (!at || !dladdr(at, &info) || !dladdr(reinterpret_cast<void*>(&spareLibraryOf), &own) ||
        info.dli_fbase == own.dli_fbase)
        return false;
    if (gOwnRange[0][1] == 0)
        addCodeOf(own.dli_fbase, gOwnRange);
    return addCodeOf(info.dli_fbase, gSparedRange);
}

// From now on allocation `failAt` fails (none when 0); the stack of that allocation goes to
// `traceFd` (none when -1).
inline void arm(long failAt, int traceFd)
{
    // The unwinder loads its library on first use: do it before anything counts.
    void* frame[1];
    backtrace(frame, 1);
    gTraceFd = traceFd;
    __atomic_store_n(&gCount, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gFailAt, failAt, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gArmed, true, __ATOMIC_SEQ_CST);
}

// Stops counting; answers how many allocations were made since arm().
inline long disarm()
{
    __atomic_store_n(&gArmed, false, __ATOMIC_SEQ_CST);
    return __atomic_load_n(&gCount, __ATOMIC_SEQ_CST);
}

} // namespace failnth

#ifndef FAILNTH_TSAN

// The allocator the replacements pass on to: the C library's, or the sanitizer's, whose public
// names are weak aliases that these definitions take the place of.
#ifdef FAILNTH_ASAN
#define FAILNTH_NEXT(name) __interceptor_##name
#else
#define FAILNTH_NEXT(name) __libc_##name
#endif

#pragma GCC visibility push(default)
extern "C" {
void* FAILNTH_NEXT(malloc)(std::size_t);
void* FAILNTH_NEXT(calloc)(std::size_t, std::size_t);
void* FAILNTH_NEXT(realloc)(void*, std::size_t);
void* FAILNTH_NEXT(memalign)(std::size_t, std::size_t);

FAILNTH_UNCHECKED void* malloc(std::size_t n) noexcept
{
    return failnth::failsNow() ? nullptr : FAILNTH_NEXT(malloc)(n);
}
FAILNTH_UNCHECKED void* calloc(std::size_t a, std::size_t b) noexcept
{
    return failnth::failsNow() ? nullptr : FAILNTH_NEXT(calloc)(a, b);
}
FAILNTH_UNCHECKED void* realloc(void* p, std::size_t n) noexcept
{
    return failnth::failsNow() ? nullptr : FAILNTH_NEXT(realloc)(p, n);
}
FAILNTH_UNCHECKED void* memalign(std::size_t a, std::size_t n) noexcept
{
    return failnth::failsNow() ? nullptr : FAILNTH_NEXT(memalign)(a, n);
}
FAILNTH_UNCHECKED void* aligned_alloc(std::size_t a, std::size_t n) noexcept
{
    return memalign(a, n);
}
FAILNTH_UNCHECKED void* valloc(std::size_t n) noexcept
{
    return memalign(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), n);
}
FAILNTH_UNCHECKED void* pvalloc(std::size_t n) noexcept
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return memalign(page, (n + page - 1) / page * page);
}
FAILNTH_UNCHECKED int posix_memalign(void** out, std::size_t a, std::size_t n) noexcept
{
    if (a < sizeof(void*) || (a & (a - 1)) != 0)
        return EINVAL;
    void* p = memalign(a, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
#ifdef FAILNTH_ASAN
// The leak check takes what the dynamic loader allocates for itself as kept, by who called the
// allocator: with these functions in between, it is told by the loader's frames instead.
const char* __lsan_default_suppressions()
{
    return "leak:ld-linux-x86-64.so.2\n";
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
[[gnu::noinline]] void* operator new(std::size_t n)
{
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return ::operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return std::malloc(n ? n : 1);
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

#endif // !FAILNTH_TSAN

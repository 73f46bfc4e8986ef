// Counting hooks for the audio-thread tests: heap, lock and wait calls made by a thread that has
// armed its own counter. Replaces the global allocation functions and some libc and pthread entry
// points, so include it in exactly one source file of a test program.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "tests/common/sanitized.h"

// ---- Counting hooks -------------------------------------------------------------------------
// Heap and lock calls are counted only on a thread that has armed its own counter, so worker
// threads may allocate and lock freely. Under sanitizers, which own malloc and the pthread calls,
// only operator new/delete are counted.
#if NORRIK_TEST_SANITIZED
#define AUDIT_LIBC_HOOKS 0
#else
#define AUDIT_LIBC_HOOKS 1
#endif

namespace audit {

struct Counts
{
    long news = 0;    // operator new, every form
    long deletes = 0; // operator delete of a non-null pointer
    long mallocs = 0; // malloc, calloc, realloc, memalign ...
    long frees = 0;   // free of a non-null pointer
    long locks = 0;   // mutex and read-write lock acquisitions, tries included
    long waits = 0;   // condition, semaphore and futex waits, sleeps, joins
    long total() const { return news + deletes + mallocs + frees + locks + waits; }
};

// Static TLS of the executable: touching it never allocates.
constinit thread_local bool tArmed = false;
constinit thread_local Counts tCounts{};

// Allocations on other threads, counted while an OtherThreads watch is open: every thread but
// the one that opened it and the meter's named workers.
std::atomic<bool> gOthers{false};
std::atomic<long> gOtherCount{0};
std::atomic<long> gOtherLocks{0};
constinit thread_local bool tExempt = false;

inline void noteOther(std::atomic<long>& counter = gOtherCount)
{
    if (!gOthers.load(std::memory_order_relaxed) || tExempt)
        return;
    char name[17] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    if (std::strcmp(name, "CIThread") != 0 && std::strcmp(name, "LRThread") != 0)
        counter.fetch_add(1, std::memory_order_relaxed);
}
// Keeps an allocation that a test makes for the hooks to see: the optimiser may drop a new paired
// with its delete, or a malloc with its free, unless the pointer escapes.
inline void keep(const void* p)
{
    __asm__ __volatile__("" : : "r"(p) : "memory");
}

inline void noteNew()
{
    if (tArmed)
        ++tCounts.news;
    else
        noteOther();
}
inline void noteDelete(void* p)
{
    if (p && tArmed)
        ++tCounts.deletes;
}

// Counts what the calling thread does between construction and take().
class Watch
{
public:
    Watch()
    {
        tCounts = Counts{};
        tArmed = true;
    }
    ~Watch() { tArmed = false; }
    Counts take()
    {
        tArmed = false;
        Counts c = tCounts;
        tCounts = Counts{};
        return c;
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
};

class OtherThreads
{
public:
    OtherThreads()
    {
        tExempt = true;
        gOtherCount.store(0);
        gOtherLocks.store(0);
        gOthers.store(true);
    }
    ~OtherThreads()
    {
        gOthers.store(false);
        tExempt = false;
    }
    // Allocations seen; `locks` takes the mutex acquisitions.
    long take(long* locks = nullptr)
    {
        gOthers.store(false);
        if (locks)
            *locks = gOtherLocks.load();
        return gOtherCount.load();
    }
    OtherThreads(const OtherThreads&) = delete;
    OtherThreads& operator=(const OtherThreads&) = delete;
};

inline std::string describe(const Counts& c)
{
    return "new " + std::to_string(c.news) + ", delete " + std::to_string(c.deletes) + ", malloc " +
           std::to_string(c.mallocs) + ", free " + std::to_string(c.frees) + ", locks " + std::to_string(c.locks) +
           ", waits " + std::to_string(c.waits);
}

} // namespace audit

[[gnu::noinline]] void* operator new(std::size_t n)
{
    audit::noteNew();
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
    audit::noteNew();
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return ::operator new(n, std::nothrow);
}
void* operator new(std::size_t n, std::align_val_t a)
{
    audit::noteNew();
    const std::size_t al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    void* p = nullptr;
    if (posix_memalign(&p, al, n ? n : 1) == 0)
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a)
{
    return ::operator new(n, a);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    audit::noteNew();
    const std::size_t al = static_cast<std::size_t>(a) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(a);
    void* p = nullptr;
    return posix_memalign(&p, al, n ? n : 1) == 0 ? p : nullptr;
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t& t) noexcept
{
    return ::operator new(n, a, t);
}
// Never inlined: the compiler would pair an inlined free with the new it can see and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    audit::noteDelete(p);
    std::free(p);
}
#include "tests/common/delete_forwarding.h"

#if AUDIT_LIBC_HOOKS
// The hooks stand in for the C library's functions, so the dynamic linker must see them whatever
// the build's default visibility. The C allocator forwards to the C library's own entry points.
#pragma GCC visibility push(default)
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_malloc(n);
}
void free(void* p) noexcept
{
    if (p && audit::tArmed)
        ++audit::tCounts.frees;
    __libc_free(p);
}
void* calloc(std::size_t a, std::size_t b) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_calloc(a, b);
}
void* realloc(void* p, std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t a, std::size_t n) noexcept
{
    if (audit::tArmed)
        ++audit::tCounts.mallocs;
    else
        audit::noteOther();
    return __libc_memalign(a, n);
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

namespace audit {
inline void noteLock()
{
    if (tArmed)
        ++tCounts.locks;
    else
        noteOther(gOtherLocks);
}
inline void noteWait()
{
    if (tArmed)
        ++tCounts.waits;
}
} // namespace audit

// The next definition of a C library function, looked up on first use. The slot is a constant-
// initialised atomic, so no static guard (which may itself wait on a futex) is involved.
#define AUDIT_NEXT(Type, name)                                                                                         \
    ([] {                                                                                                              \
        using Fn = Type;                                                                                               \
        static std::atomic<Fn> slot{nullptr};                                                                          \
        Fn f = slot.load(std::memory_order_relaxed);                                                                   \
        if (!f) {                                                                                                      \
            f = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));                                                          \
            slot.store(f, std::memory_order_relaxed);                                                                  \
        }                                                                                                              \
        return f;                                                                                                      \
    }())

#pragma GCC visibility push(default)
extern "C" {
int pthread_mutex_lock(pthread_mutex_t* m) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_mutex_t*), "pthread_mutex_lock")(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_mutex_t*), "pthread_mutex_trylock")(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_rwlock_t*), "pthread_rwlock_rdlock")(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) noexcept
{
    audit::noteLock();
    return AUDIT_NEXT(int (*)(pthread_rwlock_t*), "pthread_rwlock_wrlock")(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*), "pthread_cond_wait")(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*), "pthread_cond_timedwait")(c, m, t);
}
int pthread_cond_clockwait(pthread_cond_t* c, pthread_mutex_t* m, clockid_t k, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_cond_t*, pthread_mutex_t*, clockid_t, const timespec*),
                      "pthread_cond_clockwait")(c, m, k, t);
}
int sem_wait(sem_t* s)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(sem_t*), "sem_wait")(s);
}
int sem_timedwait(sem_t* s, const timespec* t)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(sem_t*, const timespec*), "sem_timedwait")(s, t);
}
int nanosleep(const timespec* t, timespec* rem)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(const timespec*, timespec*), "nanosleep")(t, rem);
}
int clock_nanosleep(clockid_t k, int flags, const timespec* t, timespec* rem)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(clockid_t, int, const timespec*, timespec*), "clock_nanosleep")(k, flags, t, rem);
}
int pthread_join(pthread_t t, void** result)
{
    audit::noteWait();
    return AUDIT_NEXT(int (*)(pthread_t, void**), "pthread_join")(t, result);
}
long syscall(long number, ...) noexcept
{
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (long& x : a)
        x = va_arg(ap, long);
    va_end(ap);
    if (number == SYS_futex) {
        const int op = static_cast<int>(a[1]) & FUTEX_CMD_MASK;
        if (op == FUTEX_WAIT || op == FUTEX_WAIT_BITSET)
            audit::noteWait();
    }
    return AUDIT_NEXT(long (*)(long, long, long, long, long, long, long), "syscall")(number, a[0], a[1], a[2], a[3],
                                                                                     a[4], a[5]);
}
} // extern "C"
#pragma GCC visibility pop
#endif

// Fails the Nth heap allocation after it is armed, once, whichever thread or library makes it, and
// can write that allocation's stack: a test arms it and runs the code under test. Include it in
// exactly one source file of a test program of its own.
#pragma once

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <cstdint>
#include <limits>

#include "tests/common/replaced_allocator.h"

namespace failnth {

// The hook below is as uninstrumented as the allocation functions that ask it: plain words read
// through the compiler's atomic built-ins.
inline long gCount = 0;             // allocations made since arm()
inline long gFailAt = 0;            // the first that may fail, from 1
inline bool gFailed = false;        // whether one has failed since arm()
inline int gTraceFd = -1;           // where the failed allocation's stack is written
inline bool (*gSpared)() = nullptr; // true for an allocation that must not fail
// Code whose allocations are not failed, [start, end) each, filled from the first: a system
// library's function that crashes when one of its allocations fails.
inline std::uintptr_t gSparedRange[4][2] = {};

// The failing allocation's stack, to the trace file (backtrace_symbols_fd allocates nothing).
[[gnu::noinline]] REPLACEDALLOC_UNCHECKED inline void writeTrace()
{
    void* frames[48];
    const int depth = backtrace(frames, 48);
    backtrace_symbols_fd(frames, depth, gTraceFd);
}

// Whether the calling stack passes through spared code.
[[gnu::noinline]] REPLACEDALLOC_UNCHECKED inline bool inSparedCode()
{
    if (!gSparedRange[0][1])
        return false;
    void* frames[48];
    const int depth = backtrace(frames, 48);
    for (int i = 0; i < depth; ++i)
        for (const auto& range : gSparedRange)
            if (reinterpret_cast<std::uintptr_t>(frames[i]) - range[0] < range[1] - range[0])
                return true;
    return false;
}

// Counts one allocation; true when it is the one to fail: allocation N, or when that one is spared
// the first after it that is not.
REPLACEDALLOC_UNCHECKED inline bool failsNow()
{
    if (__atomic_add_fetch(&gCount, 1, __ATOMIC_SEQ_CST) < __atomic_load_n(&gFailAt, __ATOMIC_SEQ_CST) ||
        __atomic_load_n(&gFailed, __ATOMIC_SEQ_CST) || inSparedCode() || (gSpared && gSpared()) ||
        __atomic_exchange_n(&gFailed, true, __ATOMIC_SEQ_CST))
        return false;
    if (gTraceFd >= 0)
        writeTrace();
    return true;
}

// Spares the function `symbol` of the process (and what it calls) from failing allocations; false
// when the process has no such function.
inline bool spare(const char* symbol)
{
    void* at = dlsym(RTLD_DEFAULT, symbol);
    Dl_info info{};
    ElfW(Sym)* entry = nullptr;
    if (!at || !dladdr1(at, &info, reinterpret_cast<void**>(&entry), RTLD_DL_SYMENT) || !entry)
        return false;
    for (auto& range : gSparedRange) {
        if (!range[1]) {
            range[0] = reinterpret_cast<std::uintptr_t>(at);
            range[1] = range[0] + entry->st_size;
            return true;
        }
    }
    return false;
}

#if NORRIK_TEST_SANITIZED
// A sanitizer's run-time asks the C library for each new thread's stack, which allocates, and stops
// the process when that fails: it is not the code under test.
inline const bool gSanitizerSpared = spare("pthread_getattr_np");
#endif

// From now on allocation `failAt` fails (none when 0), unless spare() or `spared` spares it; its
// stack goes to `traceFd` (none when -1).
inline void arm(long failAt, int traceFd = -1, bool (*spared)() = nullptr)
{
    // The unwinder loads its library on first use: do it before anything counts.
    void* frame[1];
    backtrace(frame, 1);
    gTraceFd = traceFd;
    gSpared = spared;
    __atomic_store_n(&gCount, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gFailed, false, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gFailAt, failAt > 0 ? failAt : std::numeric_limits<long>::max(), __ATOMIC_SEQ_CST);
    replacedalloc::install(&failsNow);
}

// Whether an allocation has failed since arm().
inline bool failed()
{
    return __atomic_load_n(&gFailed, __ATOMIC_SEQ_CST);
}

// Stops counting; answers how many allocations were made since arm().
inline long disarm()
{
    replacedalloc::install(nullptr);
    return __atomic_load_n(&gCount, __ATOMIC_SEQ_CST);
}

} // namespace failnth

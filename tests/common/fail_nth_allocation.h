// Fails the Nth heap allocation after it is armed, once or with every allocation after it, whichever
// thread or library makes it, and can write the failed allocation's stack: a test arms it and runs
// the code under test. Include it in exactly one source file of a test program or library of its
// own.
#pragma once

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "tests/common/replaced_allocator.h"
#include "tests/common/stack_frames.h"

namespace failnth {

// The hook below is as uninstrumented as the allocation functions that ask it: plain words read
// through the compiler's atomic built-ins.
inline long gCount = 0;      // allocations made since arm()
inline long gFailAt = 0;     // the first that may fail, from 1
inline bool gFailed = false; // whether one has failed since arm()
inline bool gOnward = false; // every allocation from gFailAt on fails, not that one alone
inline long gThenAt = 0;     // one more that fails alone, after gFailAt; 0 when none
inline int gTraceFd = -1;    // where the failed allocation's stack is written
// Code whose allocations are not failed, [start, end) each, filled from the first: a system
// library, or one of its functions, that crashes when one of its allocations fails.
inline std::uintptr_t gSparedRange[8][2] = {};
// Calls to one allocation function [start, end) made straight from spared callers' code (a library
// whose own calls to it crash the library when they fail), each range filled from the first.
inline std::uintptr_t gSparedAllocator[2] = {};
inline std::uintptr_t gSparedCaller[4][2] = {};

NORRIK_TEST_UNINSTRUMENTED inline bool within(std::uintptr_t pc, const std::uintptr_t (&range)[2])
{
    return pc - range[0] < range[1] - range[0];
}

// The failing allocation, the `n`th, and its stack, to the trace file.
[[gnu::noinline]] NORRIK_TEST_UNINSTRUMENTED inline void writeTrace(long n)
{
    stackframes::Stack stack;
    stackframes::collect(stack);
    stackframes::Line().add("allocation ").number(static_cast<std::uintptr_t>(n)).add(" failed:\n").writeTo(gTraceFd);
    stackframes::write(gTraceFd, stack);
}

// Whether the calling stack passes through spared code, or is a spared call to the spared allocator.
[[gnu::noinline]] NORRIK_TEST_UNINSTRUMENTED inline bool inSparedCode()
{
    if (!gSparedRange[0][1] && !gSparedAllocator[1])
        return false;
    stackframes::Stack stack;
    stackframes::collect(stack);
    for (int i = 0; i < stack.depth; ++i) {
        for (const auto& range : gSparedRange)
            if (within(stack.pc[i], range))
                return true;
        // The allocator's last frame: the next is its caller.
        if (i + 1 < stack.depth && within(stack.pc[i], gSparedAllocator) && !within(stack.pc[i + 1], gSparedAllocator))
            for (const auto& range : gSparedCaller)
                if (within(stack.pc[i + 1], range))
                    return true;
    }
    return false;
}

// Counts one allocation; true when it is to fail: allocation N, or when that one is spared the first
// after it that is not; with gOnward, every one from N on that is not spared; and gThenAt, unless
// spared. The first to fail, and gThenAt, have their stacks written.
NORRIK_TEST_UNINSTRUMENTED inline bool failsNow()
{
    const long n = __atomic_add_fetch(&gCount, 1, __ATOMIC_SEQ_CST);
    if (n < __atomic_load_n(&gFailAt, __ATOMIC_SEQ_CST))
        return false;
    if (n == __atomic_load_n(&gThenAt, __ATOMIC_SEQ_CST) && !inSparedCode()) {
        if (gTraceFd >= 0)
            writeTrace(n);
        return true;
    }
    const bool onward = __atomic_load_n(&gOnward, __ATOMIC_SEQ_CST);
    if ((!onward && __atomic_load_n(&gFailed, __ATOMIC_SEQ_CST)) || inSparedCode())
        return false;
    const bool first = !__atomic_exchange_n(&gFailed, true, __ATOMIC_SEQ_CST);
    if (!first && !onward)
        return false;
    if (first && gTraceFd >= 0)
        writeTrace(n);
    return true;
}

// The code of the function at `at` into `range`; false when the process has no such function.
inline bool functionRange(void* at, std::uintptr_t (&range)[2])
{
    Dl_info info{};
    ElfW(Sym)* entry = nullptr;
    if (!at || !dladdr1(at, &info, reinterpret_cast<void**>(&entry), RTLD_DL_SYMENT) || !entry)
        return false;
    range[0] = reinterpret_cast<std::uintptr_t>(at);
    range[1] = range[0] + entry->st_size;
    return true;
}

// Spares the function `symbol` of the process (and what it calls) from failing allocations; false
// when the process has no such function.
inline bool spare(const char* symbol)
{
    for (auto& range : gSparedRange)
        if (!range[1])
            return functionRange(dlsym(RTLD_DEFAULT, symbol), range);
    return false;
}

// Adds the code of the library that defines `symbol` to `ranges`; false when the process has no
// such function, or has it in the test program itself.
template <std::size_t N>
inline bool addLibraryCode(const char* symbol, std::uintptr_t (&ranges)[N][2])
{
    Dl_info info{}, own{};
    void* at = dlsym(RTLD_DEFAULT, symbol);
    if (!at || !dladdr(at, &info) || !dladdr(reinterpret_cast<void*>(&functionRange), &own) ||
        info.dli_fbase == own.dli_fbase)
        return false;
    struct Search
    {
        std::uintptr_t base;
        std::uintptr_t (*ranges)[2];
        std::size_t count;
        bool found = false;
    } search{reinterpret_cast<std::uintptr_t>(info.dli_fbase), ranges, N};
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
                for (std::size_t r = 0; r < s->count; ++r) {
                    if (!s->ranges[r][1]) {
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

// Spares the library that defines `symbol`, all its code and what it calls; false when the process
// has no such function, or has it in the test program itself.
inline bool spareLibraryOf(const char* symbol)
{
    return addLibraryCode(symbol, gSparedRange);
}

// Spares the calls that the library defining `symbol` makes itself to `allocator`, one of the
// replaced allocation functions, though not those of the code it calls; one allocator at a time.
inline bool spareLibraryCallsTo(void* allocator, const char* symbol)
{
    return functionRange(allocator, gSparedAllocator) && addLibraryCode(symbol, gSparedCaller);
}

#if NORRIK_TEST_SANITIZED
// A sanitizer's run-time asks the C library for each new thread's stack, which allocates, and stops
// the process when that fails: it is not the code under test.
inline const bool gSanitizerSpared = spare("pthread_getattr_np");
#endif

// From now on allocation `failAt` fails (none when 0), with every one after it when `onward`, and
// then `thenAt` alone (none when 0), unless in spared code; the first failure's stack, and that of
// `thenAt`, go to `traceFd` (none when -1).
inline void arm(long failAt, int traceFd = -1, bool onward = false, long thenAt = 0)
{
    gTraceFd = traceFd;
    __atomic_store_n(&gCount, 0, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gFailed, false, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gOnward, onward, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gThenAt, failAt > 0 && thenAt > failAt ? thenAt : 0, __ATOMIC_SEQ_CST);
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

// Memory that could not be had while host and plug-in served each other. No host object lets an
// exception into the plug-in: one that runs out of memory answers kOutOfMemory (or does nothing,
// where its call answers nothing) and counts the failure here, as the host counts each call the
// plug-in answers kOutOfMemory. So a run in which either side went on without what it needed is
// not reported as measured, whoever noticed it.
#pragma once

#include "host/qelabi.h"

#include <cstdint>
#include <new>
#include <type_traits>

namespace qelhost {

// What a step that could not have its memory says.
constexpr const char* kNoMemory = "cannot allocate memory";

// Failures counted since the process started: a session compares the count before and after.
std::uint64_t memoryFailures();
void noteMemoryFailure();
// Those counted on the calling thread: a step whose callee calls back on the same thread (the
// plug-in building or drawing its view) compares it before and after, and so learns whether either
// side went short on the way, whatever the plug-in answered and whatever other threads run short of.
std::uint64_t memoryFailuresOnThisThread();

// The allocations that failed for want of memory on the calling thread, as counted by the program
// that defines the allocation functions (meter does; a test's injector does for those it fails).
using FailedAllocationCounter = std::uint64_t (*)() noexcept;
// Hands over the program's counter (null: none). Without one nothing is counted, and a shortage
// that a library beneath the host hides cannot be told from a call that went well.
void countFailedAllocationsWith(FailedAllocationCounter counter);
// The counter's count on the calling thread; 0 without a counter. A library call that fails none
// had every allocation it asked for, whatever errno it leaves: a successful malloc may leave ENOMEM
// (glibc does when it tries huge pages first, or the heap's brk, and falls back to another mapping).
std::uint64_t failedAllocationsOnThisThread();

// A plug-in's answer, counted when it is kOutOfMemory.
tresult counted(tresult answer);

// Runs `call` for the plug-in: what it answers (kResultOk for a call that answers nothing), or
// kOutOfMemory (counted) when it runs out of memory.
template <class Call>
tresult answerForPlugIn(Call&& call) noexcept
{
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            return kResultOk;
        } else {
            return call();
        }
    } catch (const std::bad_alloc&) {
        noteMemoryFailure();
        return kOutOfMemory;
    }
}

} // namespace qelhost

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

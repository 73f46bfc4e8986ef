// Platform thread services: threads that start suspended, scheduling by meaning, naming, sleeping.
#pragma once

#include <cstdint>

namespace Platform {

// Opaque record of one platform thread; shared by its owner and the thread itself.
struct Thread;

using ThreadEntry = uint32_t (*)(void* argument);

// Creates a thread that runs entry(argument) once it is resumed; until then it waits at its
// start gate. Returns null when the system refuses the thread.
Thread* threadCreateSuspended(ThreadEntry entry, void* argument);
// Opens the start gate. Harmless on a thread already resumed.
void threadResume(Thread* thread);
// Waits until the thread has ended (timeoutMs < 0: without limit), then releases the record.
enum JoinResult : int32_t
{
    kJoined = 0,
    kJoinTimedOut = 1,
    kJoinFailed = -1
};
// kJoinTimedOut keeps the record valid; kJoined and kJoinFailed release it.
JoinResult threadJoin(Thread* thread, int32_t timeoutMs, uint32_t* exitValue = nullptr);
// Gives up the owner's claim; the thread runs on and cleans up after itself.
// A thread still waiting at its start gate is released and ends without running its entry.
void threadDetach(Thread* thread);
// Asks the thread to stop at its next cancellation point (waits of this layer are such points).
void threadCancel(Thread* thread);
// True when called on the given thread.
bool threadIsCurrent(const Thread* thread);
// Names the calling thread (longer names are cut to what the system keeps); empty names are ignored.
bool threadSetCurrentName(const char* name);
// The calling thread's name as the system holds it; false when it cannot be read.
bool threadGetCurrentName(char* buffer, int32_t size);

// Scheduling in the classes the thread priority table speaks of: a time-sharing class with a
// priority (15 low .. 31 normal) and a round-robin real-time class (35 .. 48).
enum SchedPolicy : int32_t
{
    kSchedOther = 1,
    kSchedRoundRobin = 2
};
// The policy and priority last applied to the thread (time-sharing 31 after creation).
bool threadGetSchedule(const Thread* thread, int32_t* policy, int32_t* priority);
// Maps the class and priority onto the system's scheduler: time-sharing priorities become nice
// values, round-robin priorities real-time priorities. False when the system refuses (for
// example without the privilege for real-time scheduling); nothing is changed then.
bool threadSetSchedule(Thread* thread, int32_t policy, int32_t priority);
// Cache-affinity tag of the calling thread: threads of one tag above 0 run on one CPU of the
// process (tag - 1 counted round the process's CPUs), tag 0 on any of them. False, and nothing
// changed, for a negative tag or when the system refuses.
bool threadSetCurrentAffinityTag(int32_t tag);
// Foreground role of the whole process: the system has none, so always false.
bool processSetForeground();

// Sleeps on a monotonic clock; interruptions do not shorten the sleep; negative or zero returns at once.
void sleepMilliseconds(int32_t milliseconds);

} // namespace Platform

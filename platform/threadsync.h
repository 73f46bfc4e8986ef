// Platform synchronisation: mutexes, conditions on a monotonic clock, counting semaphores.
#pragma once

#include <cstdint>

namespace Platform {

// Nanoseconds on a clock that never jumps.
int64_t monotonicNanoseconds();

class Mutex
{
public:
    explicit Mutex(bool recursive = false);
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock();
    void unlock();
    bool tryLock();

private:
    friend class Condition;
    alignas(16) unsigned char storage[64];
};

class Condition
{
public:
    Condition();
    ~Condition();
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // The mutex is held on entry and on return. Wake-ups may be spurious: callers test their
    // predicate. Interruptions are retried.
    void wait(Mutex& mutex);
    // Waits until woken or the monotonic deadline passes: true when woken (perhaps spuriously),
    // false on the time-out and on any error, so that a failing wait never makes a caller spin.
    bool waitUntil(Mutex& mutex, int64_t deadlineNanoseconds);
    void signal();
    void broadcast();

private:
    alignas(16) unsigned char storage[64];
};

// Counting semaphore whose signal never blocks and never allocates (any thread, also one that
// must not wait may signal it). Waiters are woken in no particular order.
struct CountingSemaphore;

CountingSemaphore* semaphoreCreate(uint32_t initialCount); // null when memory runs out
void semaphoreDestroy(CountingSemaphore* semaphore);
// Adds n signals (n >= 1).
void semaphoreSignal(CountingSemaphore* semaphore, uint32_t n);
// Wakes every thread waiting at this moment; with nobody waiting, nothing changes.
void semaphoreSignalAll(CountingSemaphore* semaphore);
// Takes one signal; milliseconds < 0 waits without limit, 0 only looks. True when a signal was taken.
bool semaphoreWait(CountingSemaphore* semaphore, int32_t milliseconds);

} // namespace Platform

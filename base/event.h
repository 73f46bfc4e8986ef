// An event that releases waiting threads: signalAll lets every current waiter go (or the next
// waiter when none waits), signalOne one of them.
#pragma once

#include "platform/threadsync.h"

#include <cstdint>

namespace Calvereth {

class Event
{
public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void wait();
    // milliseconds -1 (or any negative value) waits without limit and answers true; otherwise
    // true when signalled before the time-out, which is measured on a monotonic clock.
    bool wait(int32_t milliseconds);
    void signalAll();
    void signalOne();
    void reset();

private:
    Platform::Mutex mutex;
    Platform::Condition condition;
    uint32_t signalled = 0;
    uint32_t waiters = 0;
};

} // namespace Calvereth

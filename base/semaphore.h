// Counting semaphore with first-come wake-up; signal never blocks and never allocates, so the
// audio thread may call it.
#pragma once

#include <cstdint>

namespace Platform {
struct CountingSemaphore;
}

namespace Calvereth {

class Semaphore
{
public:
    explicit Semaphore(uint32_t initialCount = 0, const char* name = nullptr);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // n < 1 wakes every thread waiting now; otherwise adds n signals. Nothing without a semaphore.
    void signal(int32_t n = 1);
    // Takes one signal: milliseconds < 0 waits without limit, otherwise at most that long (on a
    // monotonic clock). True only when a signal was taken; false at once without a semaphore.
    bool wait(int32_t milliseconds = -1);
    bool isValid() const { return handle != nullptr; }

private:
    Platform::CountingSemaphore* handle;
};

// Sleeps the calling thread; zero or negative durations return at once.
void sleepMilliseconds(int32_t milliseconds);
// Gives the whole process the foreground role; true when the system accepts it.
bool setProcessForeground();

} // namespace Calvereth

using Calvereth::Semaphore;
using Calvereth::sleepMilliseconds;

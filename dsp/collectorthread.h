// The worker thread that runs a gated collector's gating steps off the audio thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/fthread.h"
#include "base/semaphore.h"

namespace DSP {
typedef Calvereth::FThread WorkerThreadBase;
typedef Calvereth::Semaphore WorkerSemaphore;
} // namespace DSP

namespace DSP {

class CollectorOverlap;

class CollectorProcessThread : public WorkerThreadBase
{
public:
    CollectorProcessThread(const char* name, CollectorOverlap* owner);
    ~CollectorProcessThread() override;

    std::uint32_t run() override;

    // Any thread, after queueing: wakes the worker when it sleeps or is about to; never blocks. A
    // worker that is busy looks at the queue again before it sleeps, so it needs no signal. Both
    // sides exchange the flag, so whichever comes second sees what the other did before.
    void wake()
    {
        if (sleeping.exchange(false, std::memory_order_acq_rel))
            semaphore.signal(1);
    }
    // The feeding thread, offline: when the worker sleeps (or is about to), keeps it asleep and
    // answers true; the caller may then do the worker's part itself and must give it back with
    // `releaseSleep`. A worker that is about to sleep only reads the queue meanwhile.
    bool takeSleep() { return sleeping.exchange(false, std::memory_order_acq_rel); }
    void releaseSleep() { sleeping.store(true, std::memory_order_release); }
    // The worker, once it has taken in everything after a settle request: wakes the waiter.
    void signalSettled() { settled.signal(1); }
    // The waiter: at most `milliseconds` for the worker's answer.
    bool waitSettled(std::int32_t milliseconds) { return settled.wait(milliseconds); }
    // Owner's thread: ends the run loop and joins it.
    void stop();
    bool isSemaphoreValid() const { return semaphore.isValid() && settled.isValid(); }
    bool isUsable() const { return isSemaphoreValid() && isRunning(); }
    // Set by the worker when it has ended on its own (its semaphore failed).
    bool hasQuit() const { return quit.load(std::memory_order_acquire); }

private:
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> quit{false};
    std::atomic<bool> sleeping{false};
    CollectorOverlap* owner;
    WorkerSemaphore semaphore;
    WorkerSemaphore settled;
};

} // namespace DSP

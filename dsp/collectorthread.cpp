#include "dsp/collectorthread.h"

#include "dsp/collectors.h"

namespace DSP {

CollectorProcessThread::CollectorProcessThread(const char* name, CollectorOverlap* owner)
: WorkerThreadBase(name), owner(owner), semaphore(0, "waitForData"), settled(0, "settled")
{}

CollectorProcessThread::~CollectorProcessThread() = default;

std::uint32_t CollectorProcessThread::run()
{
    for (;;) {
        if (stopFlag.load(std::memory_order_acquire) || !owner)
            return 0;
        // Announce the sleep, then look once more: a hand-over made before the announcement is
        // seen here, one made after it finds the flag and signals.
        sleeping.exchange(true, std::memory_order_acq_rel);
        const bool work = owner->hasPending() || stopFlag.load(std::memory_order_acquire);
        if (!work || !sleeping.exchange(false, std::memory_order_acq_rel)) {
            // Nothing to do, or another thread took the announcement and signals (or gives it back).
            if (!semaphore.wait(-1)) {
                // A semaphore that cannot wait would make this loop spin: end, and let the owner
                // measure on its own thread.
                quit.store(true, std::memory_order_release);
                return 0;
            }
        }
        // What is still queued at a stop is carried out by the owner after the join.
        if (stopFlag.load(std::memory_order_acquire))
            return 0;
        owner->serveWorker();
    }
}

void CollectorProcessThread::stop()
{
    stopFlag.store(true, std::memory_order_release);
    sleeping.store(false, std::memory_order_relaxed);
    semaphore.signal(1);
    join(-1);
    cancel();
}

} // namespace DSP

#include "base/fthread.h"

#include "platform/thread.h"

#include <atomic>

namespace Calvereth {

namespace {
std::atomic<ThreadObserver*> threadObserver{nullptr};
}

void FThread::setThreadObserver(ThreadObserver* observer)
{
    threadObserver.store(observer);
}
ThreadObserver* FThread::getThreadObserver()
{
    return threadObserver.load();
}

FThread::FThread(const char* n) : name(n ? n : "")
{
    if (ThreadObserver* o = threadObserver.load())
        o->threadCreated(this);
}

FThread::~FThread()
{
    if (ThreadObserver* o = threadObserver.load())
        o->threadDestroyed(this);
    if (handle) {
        if (Platform::threadIsCurrent(handle))
            Platform::threadCancel(handle);
        Platform::threadDetach(handle);
        handle = nullptr;
    }
}

void FThread::priorityToSchedule(uint32_t p, int32_t& policy, int32_t& schedPriority)
{
    static constexpr int32_t kPolicy[6] = {Platform::kSchedOther,      Platform::kSchedOther,
                                           Platform::kSchedOther,      Platform::kSchedRoundRobin,
                                           Platform::kSchedRoundRobin, Platform::kSchedRoundRobin};
    static constexpr int32_t kPriority[6] = {15, 27, 31, 35, 39, 48};
    if (p > 5)
        p = 0;
    policy = kPolicy[p];
    schedPriority = kPriority[p];
}

bool FThread::setPriority(uint32_t p)
{
    priority = p;
    if (!handle)
        return false;
    int32_t policy = 0, current = 0;
    Platform::threadGetSchedule(handle, &policy, &current);
    int32_t wantedPolicy = 0, wanted = 0;
    priorityToSchedule(p, wantedPolicy, wanted);
    if (policy != wantedPolicy || current != wanted)
        Platform::threadSetSchedule(handle, wantedPolicy, wanted);
    return true;
}

uint32_t FThread::threadEntry(void* argument)
{
    FThread* self = static_cast<FThread*>(argument);
    if (!self->name.isEmpty())
        Platform::threadSetCurrentName(self->getName());
    return self->run();
}

void FThread::start()
{
    if (handle)
        return; // a second start would lose the running thread's handle
    running = true;
    handle = Platform::threadCreateSuspended(&FThread::threadEntry, this);
    if (!handle) {
        running = false;
        return;
    }
    setPriority(priority);
    Platform::threadResume(handle);
}

bool FThread::join(int32_t timeoutMs)
{
    if (!running || !handle)
        return true; // never started, or joined before
    if (isCurrentThread())
        return false; // a thread cannot wait for its own end
    const Platform::JoinResult result = Platform::threadJoin(handle, timeoutMs);
    if (result == Platform::kJoinTimedOut)
        return false; // still joinable later
    handle = nullptr;
    return result == Platform::kJoined;
}

void FThread::cancel()
{
    if (handle)
        Platform::threadCancel(handle);
}

bool FThread::setAffinity(int32_t a)
{
    affinity = a;
    return Platform::threadSetCurrentAffinityTag(a + 1);
}

bool FThread::isCurrentThread() const
{
    return handle && Platform::threadIsCurrent(handle);
}

} // namespace Calvereth

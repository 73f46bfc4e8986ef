// Threads on POSIX: a start gate stands in for suspended creation, and a shared record lets the
// owner wait for the end with a time-out while the thread may outlive the owner's claim.
#include "platform/thread.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

namespace {
enum Gate : int
{
    kGateClosed,
    kGateOpen,
    kGateAbandoned
};
}

struct Thread
{
    pthread_t handle{};
    pid_t tid = 0;
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int gate = kGateClosed;
    bool started = false; // the new thread has reported its system id
    bool finished = false;
    uint32_t exitValue = 0;
    int32_t policy = kSchedOther;
    int32_t priority = 31;
    std::atomic<int> claims{2}; // the owner and the thread itself
};

namespace {

void releaseClaim(Thread* t)
{
    if (t->claims.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        pthread_cond_destroy(&t->cond);
        pthread_mutex_destroy(&t->mutex);
        delete t;
    }
}

timespec monotonicDeadline(int32_t milliseconds)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += milliseconds / 1000;
    ts.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Marks the end on every way out of the thread, also when it is cancelled.
struct FinishMark
{
    Thread* t;
    ~FinishMark()
    {
        pthread_mutex_lock(&t->mutex);
        t->finished = true;
        pthread_cond_broadcast(&t->cond);
        pthread_mutex_unlock(&t->mutex);
        releaseClaim(t);
    }
};

void* trampoline(void* p)
{
    Thread* t = static_cast<Thread*>(p);
    int oldState = 0;
    // Waiting at the gate must not be cut short by a cancellation with the gate's mutex held.
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    pthread_mutex_lock(&t->mutex);
    t->tid = static_cast<pid_t>(syscall(SYS_gettid));
    t->started = true;
    pthread_cond_broadcast(&t->cond);
    while (t->gate == kGateClosed)
        pthread_cond_wait(&t->cond, &t->mutex);
    const bool run = t->gate == kGateOpen;
    pthread_mutex_unlock(&t->mutex);

    FinishMark mark{t};
    if (run) {
        pthread_setcancelstate(oldState, nullptr);
        const uint32_t result = t->entry(t->argument);
        pthread_mutex_lock(&t->mutex);
        t->exitValue = result;
        pthread_mutex_unlock(&t->mutex);
    }
    return nullptr;
}

int niceForPriority(int32_t priority)
{
    int nice = (31 - priority) * 5 / 8; // 15 -> 10, 27 -> 2, 31 -> 0
    if (nice < -20)
        nice = -20;
    if (nice > 19)
        nice = 19;
    return nice;
}

int realTimePriority(int32_t priority)
{
    int rt = (priority - 31) * 2; // 35 -> 8, 39 -> 16, 48 -> 34
    const int lo = sched_get_priority_min(SCHED_RR);
    const int hi = sched_get_priority_max(SCHED_RR);
    if (rt < lo)
        rt = lo;
    if (rt > hi)
        rt = hi;
    return rt;
}

} // namespace

Thread* threadCreateSuspended(ThreadEntry entry, void* argument)
{
    if (!entry)
        return nullptr;
    Thread* t = new (std::nothrow) Thread;
    if (!t)
        return nullptr;
    t->entry = entry;
    t->argument = argument;
    pthread_mutex_init(&t->mutex, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&t->cond, &attr);
    pthread_condattr_destroy(&attr);
    if (pthread_create(&t->handle, nullptr, trampoline, t) != 0) {
        t->claims.store(1);
        releaseClaim(t);
        return nullptr;
    }
    // The system id is needed to set a time-sharing priority; the thread reports it at the gate.
    pthread_mutex_lock(&t->mutex);
    while (!t->started)
        pthread_cond_wait(&t->cond, &t->mutex);
    pthread_mutex_unlock(&t->mutex);
    return t;
}

void threadResume(Thread* t)
{
    if (!t)
        return;
    pthread_mutex_lock(&t->mutex);
    if (t->gate == kGateClosed) {
        t->gate = kGateOpen;
        pthread_cond_broadcast(&t->cond);
    }
    pthread_mutex_unlock(&t->mutex);
}

JoinResult threadJoin(Thread* t, int32_t timeoutMs, uint32_t* exitValue)
{
    if (!t)
        return kJoinFailed;
    if (timeoutMs >= 0) {
        const timespec deadline = monotonicDeadline(timeoutMs);
        pthread_mutex_lock(&t->mutex);
        while (!t->finished) {
            const int rc = pthread_cond_timedwait(&t->cond, &t->mutex, &deadline);
            if (rc != 0 && rc != EINTR)
                break; // time-out or error: never spin
        }
        const bool finished = t->finished;
        pthread_mutex_unlock(&t->mutex);
        if (!finished)
            return kJoinTimedOut;
    }
    const int rc = pthread_join(t->handle, nullptr);
    if (rc != 0) {
        // The system no longer knows the thread as joinable; give up the claim all the same.
        pthread_detach(t->handle);
    }
    if (exitValue) {
        pthread_mutex_lock(&t->mutex);
        *exitValue = t->exitValue;
        pthread_mutex_unlock(&t->mutex);
    }
    releaseClaim(t);
    return rc == 0 ? kJoined : kJoinFailed;
}

void threadDetach(Thread* t)
{
    if (!t)
        return;
    pthread_mutex_lock(&t->mutex);
    if (t->gate == kGateClosed) {
        t->gate = kGateAbandoned;
        pthread_cond_broadcast(&t->cond);
    }
    pthread_mutex_unlock(&t->mutex);
    pthread_detach(t->handle);
    releaseClaim(t);
}

void threadCancel(Thread* t)
{
    if (t)
        pthread_cancel(t->handle);
}

bool threadIsCurrent(const Thread* t)
{
    return t && pthread_equal(pthread_self(), t->handle);
}

bool threadSetCurrentName(const char* name)
{
    if (!name || !*name)
        return false;
    char shortName[16]; // the system keeps 15 bytes and a terminator
    std::strncpy(shortName, name, sizeof(shortName) - 1);
    shortName[sizeof(shortName) - 1] = 0;
    return pthread_setname_np(pthread_self(), shortName) == 0;
}

bool threadGetCurrentName(char* buffer, int32_t size)
{
    if (!buffer || size < 1)
        return false;
    char name[16] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof(name)) != 0)
        return false;
    std::strncpy(buffer, name, static_cast<size_t>(size) - 1);
    buffer[size - 1] = 0;
    return true;
}

bool threadGetSchedule(const Thread* t, int32_t* policy, int32_t* priority)
{
    if (!t)
        return false;
    if (policy)
        *policy = t->policy;
    if (priority)
        *priority = t->priority;
    return true;
}

bool threadSetSchedule(Thread* t, int32_t policy, int32_t priority)
{
    if (!t)
        return false;
    if (policy == kSchedRoundRobin) {
        sched_param sp{};
        sp.sched_priority = realTimePriority(priority);
        if (pthread_setschedparam(t->handle, SCHED_RR, &sp) != 0)
            return false;
    } else {
        if (t->policy == kSchedRoundRobin) {
            sched_param sp{};
            if (pthread_setschedparam(t->handle, SCHED_OTHER, &sp) != 0)
                return false;
            t->policy = kSchedOther;
        }
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(t->tid), niceForPriority(priority)) != 0)
            return false;
    }
    t->policy = policy == kSchedRoundRobin ? kSchedRoundRobin : kSchedOther;
    t->priority = priority;
    return true;
}

bool threadSetCurrentAffinityTag(int32_t tag)
{
    if (tag < 0)
        return false;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    // The process's CPUs, as its first thread has them.
    if (sched_getaffinity(getpid(), sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) == 0)
        return false;
    cpu_set_t chosen;
    if (tag == 0) {
        chosen = allowed; // no affinity: every CPU of the process
    } else {
        // Threads of one tag share one CPU, so they share its caches.
        int32_t pick = (tag - 1) % CPU_COUNT(&allowed);
        CPU_ZERO(&chosen);
        for (int32_t cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &allowed) && pick-- == 0) {
                CPU_SET(cpu, &chosen);
                break;
            }
        }
    }
    return pthread_setaffinity_np(pthread_self(), sizeof chosen, &chosen) == 0;
}

bool processSetForeground()
{
    return false; // the system has no foreground role for a process
}

void sleepMilliseconds(int32_t milliseconds)
{
    if (milliseconds <= 0)
        return;
    const timespec deadline = monotonicDeadline(milliseconds);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace Platform

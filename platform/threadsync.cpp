// Mutexes and conditions on POSIX threads; the semaphore is a counter with a futex behind it, so
// that signalling is one atomic add and at most one wake-up call, with no lock and no allocation.
#include "platform/threadsync.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <linux/futex.h>
#include <new>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 16);
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 16);

int64_t monotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

namespace {

pthread_mutex_t* asMutex(unsigned char* s)
{
    return reinterpret_cast<pthread_mutex_t*>(s);
}
pthread_cond_t* asCond(unsigned char* s)
{
    return reinterpret_cast<pthread_cond_t*>(s);
}

timespec toTimespec(int64_t ns)
{
    if (ns < 0)
        ns = 0;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000LL);
    ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
    return ts;
}

} // namespace

Mutex::Mutex(bool recursive)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_NORMAL);
    pthread_mutex_init(new (storage) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

Mutex::~Mutex()
{
    pthread_mutex_destroy(asMutex(storage));
}
void Mutex::lock()
{
    pthread_mutex_lock(asMutex(storage));
}
void Mutex::unlock()
{
    pthread_mutex_unlock(asMutex(storage));
}
bool Mutex::tryLock()
{
    return pthread_mutex_trylock(asMutex(storage)) == 0;
}

Condition::Condition()
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(new (storage) pthread_cond_t, &attr);
    pthread_condattr_destroy(&attr);
}

Condition::~Condition()
{
    pthread_cond_destroy(asCond(storage));
}

void Condition::wait(Mutex& mutex)
{
    pthread_cond_wait(asCond(storage), asMutex(mutex.storage));
}

bool Condition::waitUntil(Mutex& mutex, int64_t deadlineNanoseconds)
{
    const timespec ts = toTimespec(deadlineNanoseconds);
    const int rc = pthread_cond_timedwait(asCond(storage), asMutex(mutex.storage), &ts);
    return rc == 0 || rc == EINTR;
}

void Condition::signal()
{
    pthread_cond_signal(asCond(storage));
}
void Condition::broadcast()
{
    pthread_cond_broadcast(asCond(storage));
}

// count holds the signals not yet taken; epoch counts wake-everyone calls, so that a waiter knows
// it was released by one without leaving a signal behind for later waiters; sequence is the
// word the waiters sleep on, moved by every signal of either kind.
struct CountingSemaphore
{
    std::atomic<uint32_t> count{0};
    std::atomic<uint32_t> epoch{0};
    std::atomic<uint32_t> sequence{0};
    std::atomic<uint32_t> waiters{0};
};

namespace {

long futexWait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* absoluteMonotonic)
{
    // FUTEX_WAIT_BITSET takes an absolute time-out on the monotonic clock.
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, expected,
                   absoluteMonotonic, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void futexWake(std::atomic<uint32_t>* word, uint32_t n)
{
    const int count = n > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, count, nullptr, nullptr, 0);
}

bool tryTake(CountingSemaphore* s)
{
    uint32_t c = s->count.load(std::memory_order_seq_cst);
    while (c > 0) {
        if (s->count.compare_exchange_weak(c, c - 1, std::memory_order_seq_cst, std::memory_order_seq_cst))
            return true;
    }
    return false;
}

} // namespace

CountingSemaphore* semaphoreCreate(uint32_t initialCount)
{
    CountingSemaphore* s = new (std::nothrow) CountingSemaphore;
    if (s)
        s->count.store(initialCount, std::memory_order_relaxed);
    return s;
}

void semaphoreDestroy(CountingSemaphore* s)
{
    delete s;
}

void semaphoreSignal(CountingSemaphore* s, uint32_t n)
{
    if (!s || n == 0)
        return;
    s->count.fetch_add(n, std::memory_order_seq_cst);
    s->sequence.fetch_add(1, std::memory_order_seq_cst);
    if (s->waiters.load(std::memory_order_seq_cst) > 0)
        futexWake(&s->sequence, n);
}

void semaphoreSignalAll(CountingSemaphore* s)
{
    if (!s)
        return;
    s->epoch.fetch_add(1, std::memory_order_seq_cst);
    s->sequence.fetch_add(1, std::memory_order_seq_cst);
    if (s->waiters.load(std::memory_order_seq_cst) > 0)
        futexWake(&s->sequence, UINT32_MAX);
}

bool semaphoreWait(CountingSemaphore* s, int32_t milliseconds)
{
    if (!s)
        return false;
    const uint32_t startEpoch = s->epoch.load(std::memory_order_seq_cst);
    if (tryTake(s))
        return true;
    if (milliseconds == 0)
        return false;
    timespec deadline{};
    const timespec* limit = nullptr;
    int64_t deadlineNs = 0;
    if (milliseconds > 0) {
        deadlineNs = monotonicNanoseconds() + static_cast<int64_t>(milliseconds) * 1000000LL;
        deadline = toTimespec(deadlineNs);
        limit = &deadline;
    }
    for (;;) {
        // Read the sleep word before looking at the count: a signal in between moves the word,
        // so the sleep below returns at once instead of missing it.
        const uint32_t seen = s->sequence.load(std::memory_order_seq_cst);
        if (tryTake(s))
            return true;
        if (s->epoch.load(std::memory_order_seq_cst) != startEpoch)
            return true; // everyone released
        if (limit && monotonicNanoseconds() >= deadlineNs)
            return false;
        s->waiters.fetch_add(1, std::memory_order_seq_cst);
        const long rc = futexWait(&s->sequence, seen, limit);
        const int error = rc == -1 ? errno : 0;
        s->waiters.fetch_sub(1, std::memory_order_seq_cst);
        if (error == ETIMEDOUT) {
            if (tryTake(s))
                return true;
            return s->epoch.load(std::memory_order_seq_cst) != startEpoch;
        }
        if (error == EINTR)
            pthread_testcancel();
    }
}

} // namespace Platform

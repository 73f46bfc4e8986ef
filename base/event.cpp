#include "base/event.h"

namespace Calvereth {

void Event::wait()
{
    mutex.lock();
    ++waiters;
    while (signalled == 0)
        condition.wait(mutex);
    --waiters;
    signalled = waiters == 0 ? 0 : signalled - 1;
    mutex.unlock();
}

bool Event::wait(int32_t milliseconds)
{
    if (milliseconds < 0) {
        wait();
        return true;
    }
    // One absolute deadline: spurious wake-ups do not extend the wait, a failing wait ends it.
    const int64_t deadline = Platform::monotonicNanoseconds() + static_cast<int64_t>(milliseconds) * 1000000LL;
    mutex.lock();
    ++waiters;
    bool result = false;
    for (;;) {
        if (signalled != 0) {
            result = true;
            break;
        }
        if (!condition.waitUntil(mutex, deadline)) {
            result = signalled != 0;
            break;
        }
    }
    --waiters;
    if (waiters == 0)
        signalled = 0;
    else if (result)
        --signalled;
    mutex.unlock();
    return result;
}

void Event::signalAll()
{
    mutex.lock();
    signalled = waiters + 1;
    condition.broadcast();
    mutex.unlock();
}

void Event::signalOne()
{
    mutex.lock();
    signalled = 1;
    condition.signal();
    mutex.unlock();
}

void Event::reset()
{
    mutex.lock();
    signalled = 0;
    mutex.unlock();
}

} // namespace Calvereth

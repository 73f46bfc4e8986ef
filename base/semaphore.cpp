#include "base/semaphore.h"

#include "platform/thread.h"
#include "platform/threadsync.h"

namespace Calvereth {

Semaphore::Semaphore(uint32_t initialCount, const char*) : handle(Platform::semaphoreCreate(initialCount)) {}

Semaphore::~Semaphore()
{
    if (handle)
        Platform::semaphoreDestroy(handle);
}

void Semaphore::signal(int32_t n)
{
    if (!handle)
        return;
    if (n < 1)
        Platform::semaphoreSignalAll(handle);
    else
        Platform::semaphoreSignal(handle, static_cast<uint32_t>(n));
}

bool Semaphore::wait(int32_t milliseconds)
{
    if (!handle)
        return false;
    return Platform::semaphoreWait(handle, milliseconds);
}

void sleepMilliseconds(int32_t milliseconds)
{
    Platform::sleepMilliseconds(milliseconds);
}

bool setProcessForeground()
{
    return Platform::processSetForeground();
}

} // namespace Calvereth

// Lock interface and the recursive lock of the base library.
#pragma once

#include "platform/threadsync.h"

namespace Calvereth {

class ILock
{
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual bool trylock() = 0;

protected:
    ~ILock() = default;
};

// Recursive: the owning thread may lock again and unlocks as often as it locked.
class FLock : public ILock
{
public:
    FLock() : mutex(true) {}
    explicit FLock(const char* /*name, not kept*/) : mutex(true) {}
    virtual ~FLock() = default;

    void lock() override { mutex.lock(); }
    void unlock() override { mutex.unlock(); }
    bool trylock() override { return mutex.tryLock(); }

private:
    Platform::Mutex mutex;
};

// Holds a lock for one scope.
class FGuard
{
public:
    explicit FGuard(ILock& l) : lock(l) { lock.lock(); }
    ~FGuard() { lock.unlock(); }
    FGuard(const FGuard&) = delete;
    FGuard& operator=(const FGuard&) = delete;

private:
    ILock& lock;
};

} // namespace Calvereth

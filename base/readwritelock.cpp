#include "base/readwritelock.h"

namespace Calvereth {

void ReadWriteLock::readLock()
{
    const std::thread::id me = std::this_thread::get_id();
    guard.lock();
    while (writeLocks > 0 && writingThread != me) {
        ++waitingReaders;
        readersWake.wait(guard);
        --waitingReaders;
    }
    ++readers;
    guard.unlock();
}

void ReadWriteLock::writeLock()
{
    const std::thread::id me = std::this_thread::get_id();
    guard.lock();
    // The writing thread may lock again even while it holds read locks of its own; other threads'
    // read locks cannot exist while it writes.
    while (!((writeLocks > 0 && writingThread == me) || (writeLocks < 1 && readers < 1))) {
        ++waitingWriters;
        writersWake.wait(guard);
        --waitingWriters;
    }
    writingThread = me;
    ++writeLocks;
    guard.unlock();
}

void ReadWriteLock::readUnlock()
{
    guard.lock();
    if (readers > 0)
        --readers;
    if (waitingWriters > 0)
        writersWake.broadcast();
    guard.unlock();
}

void ReadWriteLock::writeUnlock()
{
    guard.lock();
    if (writeLocks > 0)
        --writeLocks;
    if (writeLocks == 0) {
        if (waitingWriters > 0)
            writersWake.broadcast();
        if (waitingReaders > 0)
            readersWake.broadcast();
    }
    guard.unlock();
}

} // namespace Calvereth

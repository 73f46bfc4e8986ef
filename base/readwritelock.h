// Shared readers, one re-entrant writer. The writer may also take read locks; a reader releases
// its read locks before it asks for the write lock.
#pragma once

#include "platform/threadsync.h"

#include <cstdint>
#include <thread>

namespace Calvereth {

class ReadWriteLock
{
public:
    ReadWriteLock() = default;
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    void readLock();
    void writeLock();
    void readUnlock();
    void writeUnlock();

private:
    // Waiters test their condition under the same mutex that the unlocking thread holds when it
    // wakes them, so no wake-up can fall between a test and the wait.
    Platform::Mutex guard;
    Platform::Condition readersWake;
    Platform::Condition writersWake;
    std::thread::id writingThread;
    int32_t readers = 0;
    int32_t writeLocks = 0;
    int32_t waitingReaders = 0;
    int32_t waitingWriters = 0;
};

} // namespace Calvereth

#include "base/event.h"
#include "base/fobject.h"
#include "base/threadlocalobject.h"
#include "base/readwritelock.h"
#include "base/semaphore.h"
#include "platform/threadsync.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Calvereth;
using testthreads::runThreads;
using testthreads::signalUntil;

namespace {
int64_t elapsedMs(int64_t startNs)
{
    return (Platform::monotonicNanoseconds() - startNs) / 1000000;
}
} // namespace

TEST(Base2Event, SignalAllWithoutWaiterLetsExactlyOneWaitThrough)
{
    Event e;
    e.signalAll();
    EXPECT_TRUE(e.wait(0));
    EXPECT_FALSE(e.wait(0));
    e.signalOne();
    e.reset();
    const int64_t start = Platform::monotonicNanoseconds();
    EXPECT_FALSE(e.wait(30));
    EXPECT_GE(elapsedMs(start), 29); // timed on the monotonic clock
}

TEST(Base2Event, SignalAllReleasesEveryWaiterAndEndsAtZero)
{
    Event e;
    std::atomic<int> released{0};
    std::thread signaller([&] { signalUntil([&] { return released.load() == 3; }, [&] { e.signalAll(); }); });
    runThreads(3, [&](int) {
        e.wait();
        released.fetch_add(1);
    });
    signaller.join();
    // Only a signal given while nobody waited can be left over; take it and the count is 0.
    e.wait(0);
    EXPECT_FALSE(e.wait(0));
}

TEST(Base2Event, ATimedOutWaiterLeavesOtherWaitersWaiting)
{
    Event e;
    std::atomic<bool> otherLeft{false};
    std::thread other([&] {
        EXPECT_TRUE(e.wait(60000));
        otherLeft.store(true);
    });
    EXPECT_FALSE(e.wait(20));
    sleepMilliseconds(20);
    EXPECT_FALSE(otherLeft.load());
    signalUntil([&] { return otherLeft.load(); }, [&] { e.signalOne(); }); // wakes a timed waiter
    other.join();
}

TEST(Base2ReadWriteLock, WriterIsReentrantAndMayRead)
{
    ReadWriteLock lock;
    lock.writeLock();
    lock.writeLock();
    lock.readLock();
    lock.writeLock(); // with its own read lock held
    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.readLock();
        readerIn.store(true);
        lock.readUnlock();
    });
    sleepMilliseconds(20);
    EXPECT_FALSE(readerIn.load());
    lock.writeUnlock();
    lock.readUnlock();
    lock.writeUnlock();
    sleepMilliseconds(10);
    EXPECT_FALSE(readerIn.load()); // one write lock still held
    lock.writeUnlock();
    reader.join();
    EXPECT_TRUE(readerIn.load());
}

TEST(Base2ReadWriteLock, ReadersShareAndWritersExcludeUnderManyThreads)
{
    ReadWriteLock lock;
    std::atomic<int> activeReaders{0}, activeWriters{0};
    std::atomic<bool> violation{false};
    int64_t shared = 0; // plain data: the sanitizer sees every unguarded access
    constexpr int kRounds = 2000;
    runThreads(8, [&](int t) {
        for (int i = 0; i < kRounds; ++i) {
            if ((i + t) % 4 == 0) {
                lock.writeLock();
                if (activeWriters.fetch_add(1) != 0 || activeReaders.load() != 0)
                    violation.store(true);
                if (i % 8 == 0) { // re-entry
                    lock.writeLock();
                    lock.readLock();
                    ++shared;
                    lock.readUnlock();
                    lock.writeUnlock();
                } else {
                    ++shared;
                }
                activeWriters.fetch_sub(1);
                lock.writeUnlock();
            } else {
                lock.readLock();
                activeReaders.fetch_add(1);
                if (activeWriters.load() != 0)
                    violation.store(true);
                volatile int64_t seen = shared;
                (void)seen;
                activeReaders.fetch_sub(1);
                lock.readUnlock();
            }
        }
    });
    EXPECT_FALSE(violation.load());
    EXPECT_EQ(shared, 8 * kRounds / 4);
}

TEST(Base2ThreadLocalObject, EachThreadHoldsItsOwnReference)
{
    ThreadLocalObject* slot = ThreadLocalObject::create();
    ASSERT_NE(slot, nullptr);
    FObject* mine = new FObject;
    FObject* theirs = new FObject;
    EXPECT_EQ(slot->get(), nullptr);
    EXPECT_TRUE(slot->set(mine));
    EXPECT_EQ(mine->getRefCount(), 2);
    EXPECT_TRUE(slot->set(mine)); // the same object again stays held once
    EXPECT_EQ(mine->getRefCount(), 2);
    std::thread other([&] {
        EXPECT_EQ(slot->get(), nullptr);
        EXPECT_TRUE(slot->set(theirs));
        EXPECT_EQ(slot->get(), theirs);
    });
    other.join();
    EXPECT_EQ(theirs->getRefCount(), 1); // released when the thread ended
    EXPECT_EQ(slot->get(), mine);
    EXPECT_TRUE(slot->set(nullptr));
    EXPECT_EQ(mine->getRefCount(), 1);
    mine->release();
    theirs->release();
    delete slot;
}

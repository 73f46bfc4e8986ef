// Threads, locks, semaphores, events, the read/write lock, thread-local objects and aligned memory.
#include "base/alignedmemory.h"
#include "base/event.h"
#include "base/fobject.h"
#include "base/flock.h"
#include "base/fthread.h"
#include "base/readwritelock.h"
#include "base/semaphore.h"
#include "base/threadlocalobject.h"
#include "platform/thread.h"
#include "platform/threadsync.h"
#include "tests/common/hang_guard.h"
#include "tests/common/own_time.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace Calvereth;
using testthreads::runThreads;
using testthreads::signalUntil;

namespace {

int64_t elapsedMs(int64_t startNs)
{
    return (Platform::monotonicNanoseconds() - startNs) / 1000000;
}

// The worker pattern of the metering engine: wait for a signal, stop when asked.
class Worker : public FThread
{
public:
    explicit Worker(const char* name) : FThread(name), wake(0, "waitForData") {}
    uint32_t run() override
    {
        char buffer[32] = {};
        Platform::threadGetCurrentName(buffer, sizeof(buffer));
        nameSeen = buffer;
        while (!stop.load() && wake.wait(-1) && !stop.load())
            processed.fetch_add(1);
        exited.store(true);
        return 7;
    }
    std::atomic<bool> exited{false};
    Semaphore wake;
    std::atomic<bool> stop{false};
    std::atomic<int> processed{0};
    std::string nameSeen;
};

} // namespace

TEST(Base2AlignedMemory, AlignsToPowersOfTwoRefusesOtherAlignmentsAndNeverWrapsTheSize)
{
    for (void* (*allocate)(uint32_t, uint32_t) : {&alignedMalloc, &alignedCalloc}) {
        SCOPED_TRACE(allocate == &alignedMalloc ? "alignedMalloc" : "alignedCalloc");
        for (uint32_t alignment : {2u, 16u, 4096u})
            for (uint32_t size : {0u, 1u, 1000u}) {
                char* p = static_cast<char*>(allocate(size, alignment));
                ASSERT_NE(p, nullptr);
                EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u);
                std::memset(p, 0xAB, size);
                EXPECT_TRUE(alignedFree(p));
            }
        for (uint32_t alignment : {0u, 1u, 3u})
            EXPECT_EQ(allocate(100, alignment), nullptr);

        // Sizes near the top never yield a tiny block: with 32-bit arithmetic this request wrapped to
        // a 23-byte block.
        try {
            char* p = static_cast<char*>(allocate(0xFFFFFFFFu, 16));
            ASSERT_NE(p, nullptr);
            p[0] = 1;
            p[0xFFFFFFFEu] = 1; // the last byte belongs to the block
            alignedFree(p);
        } catch (const char* text) {
            EXPECT_STREQ(text, "Not enough memory!");
        }
    }
    EXPECT_TRUE(alignedFree(nullptr));
}

TEST(Base2AlignedMemory, ACallocBlockIsZeroedInMemoryAFreedBlockLeftWritten)
{
    for (uint32_t size : {1u, 1000u, 100000u}) {
        std::vector<char*> written;
        for (int i = 0; i < 4; ++i) {
            written.push_back(static_cast<char*>(alignedMalloc(size, 16)));
            std::memset(written.back(), 0xAB, size);
        }
        for (char* p : written)
            alignedFree(p);
        const char* zeroed = static_cast<const char*>(alignedCalloc(size, 16));
        EXPECT_TRUE(std::all_of(zeroed, zeroed + size, [](char c) { return c == 0; })) << size << " bytes";
        alignedFree(const_cast<char*>(zeroed));
    }
}

TEST(Base2FLock, IsRecursiveAndExclusiveAcrossThreads)
{
    FLock lock("name is not kept");
    lock.lock();
    EXPECT_TRUE(lock.trylock());
    bool otherGot = true;
    std::thread([&] { otherGot = lock.trylock(); }).join();
    EXPECT_FALSE(otherGot);
    lock.unlock();
    lock.unlock();
    int counter = 0;
    runThreads(8, [&](int) {
        for (int i = 0; i < 5000; ++i) {
            FGuard guard(lock);
            FGuard again(lock);
            ++counter;
        }
    });
    EXPECT_EQ(counter, 40000);
}

TEST(Base2Semaphore, InitialCountSignalsBelowOneAndManyProducersManyConsumers)
{
    Semaphore s(2, "s");
    ASSERT_TRUE(s.isValid());
    EXPECT_TRUE(s.wait(0));
    EXPECT_TRUE(s.wait(-1));
    EXPECT_FALSE(s.wait(0));
    // A timed wait on an empty semaphore runs out after about its time, not at once and not never.
    const int64_t start = Platform::monotonicNanoseconds();
    EXPECT_FALSE(s.wait(30));
    EXPECT_GE(elapsedMs(start), 25);
    // Negative and zero sleeps return at once: the thread does not keep itself off the CPU (time a
    // busy machine keeps it waiting to run is no sleep).
    const testtime::OwnTime before;
    sleepMilliseconds(-1000000);
    sleepMilliseconds(0);
    EXPECT_LT(before.offCpuMs(), 100);

    // A signal below one wakes every waiter.
    for (int n : {0, -1}) {
        Semaphore s(0);
        std::atomic<int> released{0};
        std::thread signaller([&] { signalUntil([&] { return released.load() == 4; }, [&] { s.signal(n); }); });
        runThreads(4, [&](int) { released.fetch_add(s.wait(-1) ? 1 : 0); });
        signaller.join();
        EXPECT_FALSE(s.wait(0));
    }

    // Many producers, many consumers.
    // Consumers wait without a time-out, so a lost wake-up leaves one waiting: once nothing has been
    // taken for a long time, the watchdog fails the test and then releases them.
    constexpr int kConsumers = 3, kProducers = 6, kEach = 5000, kTotal = kProducers * kEach;
    Semaphore queue(0);
    std::atomic<int> taken{0};
    {
        testguard::Watchdog watchdog(testguard::noProgressOf([&] { return static_cast<uint64_t>(taken.load()); }),
                                     [&](const std::string& why) {
                                         ADD_FAILURE() << "consumers still waiting: they " << why << ", "
                                                       << taken.load() << " of " << kTotal << " taken";
                                         queue.signal(kTotal);
                                     });
        runThreads(kConsumers + kProducers, [&](int i) {
            for (int k = 0; k < kTotal / kConsumers && i < kConsumers; ++k)
                taken.fetch_add(queue.wait(-1) ? 1 : 0);
            for (int k = 0; k < kEach && i >= kConsumers; ++k)
                queue.signal(1);
        });
    }
    EXPECT_EQ(taken.load(), kTotal);
    EXPECT_FALSE(queue.wait(0));
}

namespace {
std::atomic<int> interruptsHandled{0};
void countInterrupt(int)
{
    interruptsHandled.fetch_add(1);
}
} // namespace

// The loudness workers wait without a time-out. A signal whose handler is installed without
// SA_RESTART interrupts the wait in the kernel: an infinite wait goes on waiting, and a timed one
// keeps its first deadline (interrupts every few milliseconds would otherwise restart it forever).
TEST(Base2Semaphore, InterruptedWaitsRetryAndKeepTheirDeadline)
{
    struct sigaction action = {}, previous = {};
    action.sa_handler = countInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    interruptsHandled.store(0);

    Semaphore s(0);
    std::atomic<int> answer{0}; // 0 while waiting, then 1 for true and 2 for false
    std::thread waiter([&] { answer.store(s.wait(-1) ? 1 : 2); });
    for (int i = 0; i < 20; ++i) {
        pthread_kill(waiter.native_handle(), SIGUSR1);
        sleepMilliseconds(5);
    }
    EXPECT_EQ(answer.load(), 0);
    s.signal(1);
    waiter.join();
    EXPECT_EQ(answer.load(), 1);

    // The wait lasts its 200 ms at least, and keeps itself off the CPU for about that long: the
    // signals that go on for as long as it waits (up to 10 s) do not prolong it. (Off the CPU: the
    // time a busy machine keeps it waiting to run after each signal is not the wait's own.)
    std::atomic<bool> returned{false};
    bool took = true;
    int64_t waited = 0, slept = 0;
    std::thread timed([&] {
        const int64_t start = Platform::monotonicNanoseconds();
        const testtime::OwnTime own;
        took = s.wait(200);
        waited = elapsedMs(start);
        slept = own.offCpuMs();
        returned.store(true);
    });
    const int64_t start = Platform::monotonicNanoseconds();
    while (!returned.load() && elapsedMs(start) < 10000) {
        pthread_kill(timed.native_handle(), SIGUSR1);
        sleepMilliseconds(5);
    }
    timed.join();
    EXPECT_FALSE(took);
    EXPECT_GE(waited, 200);
    EXPECT_LT(slept, 5000);
    EXPECT_GT(interruptsHandled.load(), 0);
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(Base2FThread, WorkerLifecycleJoinsAndPriority)
{
    char inherited[32] = {};
    Platform::threadGetCurrentName(inherited, sizeof(inherited));
    for (int round = 0; round < 20; ++round) {
        // An empty name leaves the thread with the name it inherited.
        auto* w = new Worker(round % 4 ? "CIThread" : "");
        w->start();
        ASSERT_TRUE(w->isRunning());
        for (int i = 0; i < 5; ++i)
            w->wake.signal(1);
        w->stop.store(true);
        w->wake.signal(1);
        EXPECT_TRUE(w->join(-1));
        EXPECT_EQ(w->getHandle(), nullptr);
        EXPECT_TRUE(w->join(-1)); // a second join is harmless
        w->cancel();              // no effect after the join
        EXPECT_EQ(w->nameSeen, round % 4 ? "CIThread" : inherited);
        EXPECT_LE(w->processed.load(), 5);
        delete w;
    }
    // Destroying an unjoined finished thread neither blocks nor leaks it.
    auto* detached = new Worker("detach");
    detached->stop.store(true);
    detached->start();
    while (!detached->exited.load())
        sleepMilliseconds(1);
    delete detached;

    // A join with a time-out leaves the thread joinable; the start applies the priority.
    Worker idle("idle"); // never started: joins at once
    EXPECT_TRUE(idle.join(-1));
    EXPECT_TRUE(idle.join(5));
    Worker w("LRThread");
    // The priority is stored before the start and applied by it.
    EXPECT_FALSE(w.setPriority(0));
    EXPECT_EQ(w.getPriority(), 0u);
    w.start();
    Platform::Thread* first = w.getHandle();
    int32_t policy = 0, priority = 0;
    Platform::threadGetSchedule(first, &policy, &priority);
    EXPECT_EQ(policy, Platform::kSchedOther);
    EXPECT_EQ(priority, 15);
    // Real-time levels may be refused without privileges; the call still reports true.
    EXPECT_TRUE(w.setPriority(5));
    EXPECT_EQ(w.getPriority(), 5u);
    w.start(); // refused while the thread is held
    EXPECT_EQ(w.getHandle(), first);
    EXPECT_FALSE(w.join(20));
    EXPECT_NE(w.getHandle(), nullptr);
    EXPECT_FALSE(w.join(0));
    w.stop.store(true);
    w.wake.signal(1);
    EXPECT_TRUE(w.join(10000));
    EXPECT_EQ(w.getHandle(), nullptr);
    EXPECT_FALSE(w.setPriority(2));
}

TEST(Base2FThread, ObserverIsToldOfCreationAndDestruction)
{
    // Addresses as numbers: compared after the objects are gone.
    using Told = std::vector<std::pair<char, uintptr_t>>;
    struct Observer : ThreadObserver
    {
        Told told;
        void threadCreated(FThread* t) override { told.emplace_back('+', reinterpret_cast<uintptr_t>(t)); }
        void threadDestroyed(FThread* t) override { told.emplace_back('-', reinterpret_cast<uintptr_t>(t)); }
    } observer;
    FThread::setThreadObserver(&observer);
    auto* thread = new FThread("observed");
    const auto address = reinterpret_cast<uintptr_t>(thread);
    delete thread;
    FThread::setThreadObserver(nullptr);
    delete new FThread("unobserved");
    EXPECT_EQ(observer.told, (Told{{'+', address}, {'-', address}}));
}

TEST(Base2Event, SignalsWaitersAndTimeOuts)
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

    // Signalling all releases every waiter; a timed-out waiter leaves the others waiting.
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

    // A timed-out waiter leaves other waiters waiting.
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

TEST(Base2ReadWriteLock, WriterIsReentrantAndMayReadReadersShareAndWritersExclude)
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

    // Readers share and writers exclude under many threads.
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
                if (i % 8 == 0) // re-entry
                    lock.writeLock(), lock.readLock();
                ++shared;
                if (i % 8 == 0)
                    lock.readUnlock(), lock.writeUnlock();
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

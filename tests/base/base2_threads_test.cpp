#include "base/alignedmemory.h"
#include "base/flock.h"
#include "base/fthread.h"
#include "base/semaphore.h"
#include "platform/thread.h"
#include "platform/threadsync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace Calvereth;

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
        for (;;) {
            if (stop.load())
                break;
            wake.wait(-1);
            if (stop.load())
                break;
            processed.fetch_add(1);
        }
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

TEST(Base2AlignedMemory, AlignsAndKeepsTheRawAddressBelow)
{
    for (uint32_t alignment : {2u, 4u, 16u, 32u, 64u, 4096u}) {
        for (uint32_t size : {0u, 1u, 100u, 1000u}) {
            char* p = static_cast<char*>(alignedMalloc(size, alignment));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u);
            void* raw;
            std::memcpy(&raw, p - 8, sizeof(raw));
            EXPECT_LE(static_cast<char*>(raw) + 8, p);
            EXPECT_LE(p + size, static_cast<char*>(raw) + size + alignment + 8);
            std::memset(p, 0xAB, size);
            EXPECT_TRUE(alignedFree(p));
        }
    }
    EXPECT_EQ(alignedMalloc(100, 1), nullptr);
    EXPECT_EQ(alignedMalloc(100, 0), nullptr);
    EXPECT_EQ(alignedMalloc(100, 3), nullptr);
    EXPECT_TRUE(alignedFree(nullptr));
}

TEST(Base2AlignedMemory, SizesNearTheTopNeverYieldATinyBlock)
{
    // With 32-bit arithmetic this request wrapped to a 23-byte block.
    try {
        char* p = static_cast<char*>(alignedMalloc(0xFFFFFFFFu, 16));
        ASSERT_NE(p, nullptr);
        p[0] = 1;
        p[0xFFFFFFFEu] = 1; // the last byte belongs to the block
        alignedFree(p);
    } catch (const char* text) {
        EXPECT_STREQ(text, "Not enough memory!");
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
    std::thread([&] {
        otherGot = lock.trylock();
        if (otherGot)
            lock.unlock();
    }).join();
    EXPECT_TRUE(otherGot);
}

TEST(Base2FLock, GuardsACounterUnderManyThreads)
{
    FLock lock;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                FGuard guard(lock);
                FGuard again(lock);
                ++counter;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 40000);
}

TEST(Base2Semaphore, SignalCountsAndWaitTimesOut)
{
    Semaphore s(0, "s");
    ASSERT_TRUE(s.isValid());
    EXPECT_FALSE(s.wait(0));
    s.signal(3);
    EXPECT_TRUE(s.wait(0));
    EXPECT_TRUE(s.wait(0));
    EXPECT_TRUE(s.wait(-1));
    EXPECT_FALSE(s.wait(0));
    const int64_t start = Platform::monotonicNanoseconds();
    EXPECT_FALSE(s.wait(30));
    EXPECT_GE(elapsedMs(start), 29);
    Semaphore initial(2);
    EXPECT_TRUE(initial.wait(0));
    EXPECT_TRUE(initial.wait(0));
    EXPECT_FALSE(initial.wait(0));
}

TEST(Base2Semaphore, SignalBelowOneWakesEveryWaiter)
{
    for (int n : {0, -1}) {
        Semaphore s(0);
        std::atomic<int> released{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&] {
                if (s.wait(-1))
                    released.fetch_add(1);
            });
        while (released.load() < 4) {
            s.signal(n);
            sleepMilliseconds(1);
        }
        for (auto& t : threads)
            t.join();
        EXPECT_FALSE(s.wait(0));
    }
}

TEST(Base2Semaphore, ManyProducersManyConsumers)
{
    Semaphore s(0);
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    constexpr int kTotal = 6 * 5000;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&] {
            while (taken.load() < kTotal) {
                if (s.wait(2))
                    taken.fetch_add(1);
            }
        });
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 5000; ++k)
                s.signal(1);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(taken.load(), kTotal);
    EXPECT_FALSE(s.wait(0));
}

TEST(Base2Sleep, NegativeDurationsReturnAtOnce)
{
    const int64_t start = Platform::monotonicNanoseconds();
    sleepMilliseconds(-1000000);
    sleepMilliseconds(0);
    EXPECT_LT(elapsedMs(start), 100);
    EXPECT_FALSE(setProcessForeground()); // no foreground role on this system
}

TEST(Base2FThread, WorkerLifecycleAsTheEngineDrivesIt)
{
    for (int round = 0; round < 20; ++round) {
        auto* w = new Worker("CIThread");
        EXPECT_FALSE(w->isRunning());
        w->start();
        ASSERT_TRUE(w->isRunning());
        ASSERT_NE(w->getHandle(), nullptr);
        for (int i = 0; i < 5; ++i)
            w->wake.signal(1);
        w->stop.store(true);
        w->wake.signal(1);
        EXPECT_TRUE(w->join(-1));
        EXPECT_EQ(w->getHandle(), nullptr);
        EXPECT_TRUE(w->join(-1)); // a second join is harmless
        EXPECT_TRUE(w->join(10));
        w->cancel(); // no effect after the join
        EXPECT_EQ(w->nameSeen, "CIThread");
        EXPECT_LE(w->processed.load(), 5);
        delete w;
    }
}

TEST(Base2FThread, JoinWithTimeOutLeavesTheThreadJoinable)
{
    Worker w("LRThread");
    EXPECT_STREQ(w.getName(), "LRThread");
    w.start();
    Platform::Thread* first = w.getHandle();
    w.start(); // refused while the thread is held
    EXPECT_EQ(w.getHandle(), first);
    EXPECT_FALSE(w.join(20));
    EXPECT_NE(w.getHandle(), nullptr);
    EXPECT_FALSE(w.join(0));
    w.stop.store(true);
    w.wake.signal(1);
    EXPECT_TRUE(w.join(10000));
    EXPECT_EQ(w.getHandle(), nullptr);
}

TEST(Base2FThread, NeverStartedThreadJoinsAtOnce)
{
    Worker w("idle");
    EXPECT_TRUE(w.join(-1));
    EXPECT_TRUE(w.join(5));
    EXPECT_FALSE(w.isCurrentThread());
}

TEST(Base2FThread, EmptyNameLeavesTheThreadUnnamed)
{
    Worker named("");
    named.start();
    named.stop.store(true);
    named.wake.signal(1);
    named.join();
    // An unnamed thread keeps the name it inherited from the process.
    char mine[32] = {};
    Platform::threadGetCurrentName(mine, sizeof(mine));
    EXPECT_EQ(named.nameSeen, std::string(mine));
}

TEST(Base2FThread, PriorityTable)
{
    const int32_t expected[8][2] = {{1, 15}, {1, 27}, {1, 31}, {2, 35}, {2, 39}, {2, 48}, {1, 15}, {1, 15}};
    for (uint32_t level = 0; level < 8; ++level) {
        int32_t policy = 0, priority = 0;
        FThread::priorityToSchedule(level, policy, priority);
        EXPECT_EQ(policy, expected[level][0]) << level;
        EXPECT_EQ(priority, expected[level][1]) << level;
    }
}

TEST(Base2FThread, PriorityIsStoredBeforeStartAndAppliedByStart)
{
    Worker w("prio");
    EXPECT_FALSE(w.setPriority(0));
    EXPECT_EQ(w.getPriority(), 0u);
    w.start();
    int32_t policy = 0, priority = 0;
    Platform::threadGetSchedule(w.getHandle(), &policy, &priority);
    EXPECT_EQ(policy, Platform::kSchedOther);
    EXPECT_EQ(priority, 15);
    // Real-time levels may be refused without privileges; the call still reports true.
    EXPECT_TRUE(w.setPriority(5));
    EXPECT_EQ(w.getPriority(), 5u);
    w.stop.store(true);
    w.wake.signal(1);
    EXPECT_TRUE(w.join());
    EXPECT_FALSE(w.setPriority(2));
}

TEST(Base2FThread, ObserverIsToldOfCreationAndDestruction)
{
    struct Observer : ThreadObserver
    {
        std::vector<FThread*> created, destroyed;
        void threadCreated(FThread* t) override { created.push_back(t); }
        void threadDestroyed(FThread* t) override { destroyed.push_back(t); }
    } observer;
    FThread::setThreadObserver(&observer);
    FThread* t = new FThread("observed");
    EXPECT_EQ(FThread::getThreadObserver(), &observer);
    t->start();
    EXPECT_TRUE(t->join());
    delete t;
    FThread::setThreadObserver(nullptr);
    ASSERT_EQ(observer.created.size(), 1u);
    ASSERT_EQ(observer.destroyed.size(), 1u);
    EXPECT_EQ(observer.created[0], t);
    EXPECT_EQ(observer.destroyed[0], t);
}

TEST(Base2FThread, DestroyingAnUnjoinedFinishedThreadDetachesIt)
{
    auto* w = new Worker("detach");
    w->stop.store(true);
    w->start();
    while (!w->exited.load())
        sleepMilliseconds(1);
    delete w;
    SUCCEED();
}

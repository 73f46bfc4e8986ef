#include "base/alignedmemory.h"
#include "base/flock.h"
#include "base/fthread.h"
#include "base/semaphore.h"
#include "platform/thread.h"
#include "platform/threadsync.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
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

TEST(Base2AlignedMemory, AlignsToPowersOfTwoAndRefusesOtherAlignments)
{
    for (uint32_t alignment : {2u, 16u, 4096u})
        for (uint32_t size : {0u, 1u, 1000u}) {
            char* p = static_cast<char*>(alignedMalloc(size, alignment));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u);
            std::memset(p, 0xAB, size);
            EXPECT_TRUE(alignedFree(p));
        }
    for (uint32_t alignment : {0u, 1u, 3u})
        EXPECT_EQ(alignedMalloc(100, alignment), nullptr);
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

TEST(Base2Semaphore, StartsWithItsInitialCount)
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
}

TEST(Base2Semaphore, SignalBelowOneWakesEveryWaiter)
{
    for (int n : {0, -1}) {
        Semaphore s(0);
        std::atomic<int> released{0};
        std::thread signaller([&] { signalUntil([&] { return released.load() == 4; }, [&] { s.signal(n); }); });
        runThreads(4, [&](int) { released.fetch_add(s.wait(-1) ? 1 : 0); });
        signaller.join();
        EXPECT_FALSE(s.wait(0));
    }
}

TEST(Base2Semaphore, ManyProducersManyConsumers)
{
    // Consumers wait without a time-out, so a lost wake-up leaves one waiting: the watchdog fails
    // the test at its deadline and then releases them.
    constexpr int kConsumers = 3, kProducers = 6, kEach = 5000, kTotal = kProducers * kEach;
    Semaphore s(0);
    std::atomic<int> taken{0};
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        const int64_t start = Platform::monotonicNanoseconds();
        while (!finished.load() && elapsedMs(start) < 60000)
            sleepMilliseconds(10);
        if (!finished.load()) {
            ADD_FAILURE() << "consumers still waiting after 60 s, " << taken.load() << " of " << kTotal << " taken";
            s.signal(kTotal);
        }
    });
    runThreads(kConsumers + kProducers, [&](int i) {
        for (int k = 0; k < kTotal / kConsumers && i < kConsumers; ++k)
            taken.fetch_add(s.wait(-1) ? 1 : 0);
        for (int k = 0; k < kEach && i >= kConsumers; ++k)
            s.signal(1);
    });
    finished.store(true);
    watchdog.join();
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
}

TEST(Base2FThread, JoinWithTimeOutLeavesTheThreadJoinable)
{
    Worker idle("idle"); // never started: joins at once
    EXPECT_TRUE(idle.join(-1));
    EXPECT_TRUE(idle.join(5));
    EXPECT_FALSE(idle.isCurrentThread());
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

TEST(Base2FThread, DestroyingAnUnjoinedFinishedThreadDetachesIt)
{
    auto* w = new Worker("detach");
    w->stop.store(true);
    w->start();
    while (!w->exited.load())
        sleepMilliseconds(1);
    delete w; // must neither block nor leak the thread
}

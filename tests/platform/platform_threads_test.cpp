#include "platform/thread.h"
#include "platform/threadlocal.h"
#include "platform/threadsync.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

struct Gated
{
    std::atomic<int> runs{0};
    std::atomic<bool> done{false};
    CountingSemaphore* release = semaphoreCreate(0);
    ~Gated() { semaphoreDestroy(release); }
};

uint32_t countAndWait(void* p)
{
    auto* g = static_cast<Gated*>(p);
    g->runs.fetch_add(1);
    semaphoreWait(g->release, -1);
    g->done.store(true);
    return 42;
}

} // namespace

TEST(PlatformThreads, SuspendedThreadRunsOnlyAfterResume)
{
    Gated g;
    Thread* t = threadCreateSuspended(countAndWait, &g);
    ASSERT_NE(t, nullptr);
    sleepMilliseconds(30);
    EXPECT_EQ(g.runs.load(), 0);
    threadResume(t);
    threadResume(t); // a second resume changes nothing
    semaphoreSignal(g.release, 1);
    uint32_t exitValue = 0;
    EXPECT_EQ(threadJoin(t, -1, &exitValue), kJoined);
    EXPECT_EQ(exitValue, 42u);
    EXPECT_EQ(g.runs.load(), 1);
}

TEST(PlatformThreads, DetachedGatedThreadNeverRunsItsEntry)
{
    Gated g;
    Thread* t = threadCreateSuspended(countAndWait, &g);
    ASSERT_NE(t, nullptr);
    threadDetach(t);
    sleepMilliseconds(30);
    EXPECT_EQ(g.runs.load(), 0);
}

TEST(PlatformThreads, DetachedRunningThreadOutlivesItsOwnerClaim)
{
    Gated g;
    Thread* t = threadCreateSuspended(countAndWait, &g);
    ASSERT_NE(t, nullptr);
    threadResume(t);
    while (g.runs.load() == 0)
        sleepMilliseconds(1);
    threadDetach(t);
    semaphoreSignal(g.release, 1);
    while (!g.done.load())
        sleepMilliseconds(1); // the thread no longer touches g
}

TEST(PlatformThreads, AffinityTagsPinToOneCpuAndZeroFreesAgain)
{
    std::thread([] { // a thread of its own: the runner's thread keeps its CPUs
        cpu_set_t all, now;
        ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
        ASSERT_TRUE(Platform::threadSetCurrentAffinityTag(1));
        pthread_getaffinity_np(pthread_self(), sizeof now, &now);
        EXPECT_EQ(CPU_COUNT(&now), 1);
        EXPECT_TRUE(Platform::threadSetCurrentAffinityTag(0));
        pthread_getaffinity_np(pthread_self(), sizeof now, &now);
        EXPECT_EQ(CPU_COUNT(&now), CPU_COUNT(&all));
        EXPECT_FALSE(Platform::threadSetCurrentAffinityTag(-1));
    })
        .join();
    EXPECT_FALSE(Platform::processSetForeground()); // nothing on this system gives that role
}

TEST(PlatformThreadsLocal, ValuesArePerThreadAndDestroyedAtThreadEnd)
{
    static std::atomic<int> destroyed{0};
    destroyed.store(0);
    uint32_t key = 0;
    ASSERT_TRUE(threadLocalCreate(&key, [](void*) { destroyed.fetch_add(1); }));
    int mine = 1, theirs = 2;
    EXPECT_TRUE(threadLocalSet(key, &mine));
    std::thread other([&] {
        EXPECT_EQ(threadLocalGet(key), nullptr);
        threadLocalSet(key, &theirs);
        EXPECT_EQ(threadLocalGet(key), &theirs);
    });
    other.join();
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(threadLocalGet(key), &mine);
    threadLocalSet(key, nullptr);
    threadLocalDelete(key);
}

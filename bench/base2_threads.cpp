// Costs on the audio thread's road (signalling a worker) and of the containers' common paths.
#include "base/semaphore.h"
#include "base/tarray.h"
#include "base/thashtable.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

using namespace Calvereth;

// Signal with nobody waiting: one atomic add, no system call.
static void BM_SemaphoreSignalNoWaiter(benchmark::State& state)
{
    Semaphore s(0);
    for (auto _ : state)
        s.signal(1);
    while (s.wait(0)) {
    }
}
BENCHMARK(BM_SemaphoreSignalNoWaiter);

// Hand-over to a waiting worker and back: two wake-ups per round.
static void BM_SemaphorePingPong(benchmark::State& state)
{
    Semaphore ping(0), pong(0);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (;;) {
            ping.wait(-1);
            if (stop.load())
                return;
            pong.signal(1);
        }
    });
    for (auto _ : state) {
        ping.signal(1);
        pong.wait(-1);
    }
    stop.store(true);
    ping.signal(1);
    worker.join();
}
BENCHMARK(BM_SemaphorePingPong)->UseRealTime();

static void BM_TArrayAppend(benchmark::State& state)
{
    for (auto _ : state) {
        TArray<int32> a(0, -1);
        for (int32 i = 0; i < state.range(0); ++i)
            a.add(i);
        benchmark::DoNotOptimize(a.at(0));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TArrayAppend)->Arg(1000);

static void BM_HashDictionaryFind(benchmark::State& state)
{
    THashDictionary<uint32, int32> map(hashAssociationByKey<uint32, int32>, 10);
    map.setNullAssociation(0, -1);
    for (uint32 i = 0; i < 40; ++i)
        map.add(i * 7, static_cast<int32>(i));
    uint32 key = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.find(key));
        key = (key + 7) % 280;
    }
}
BENCHMARK(BM_HashDictionaryFind);

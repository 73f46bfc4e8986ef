// Offline read-outs: complete when they are written, at any point of a programme (silence
// included), against a plain double-precision computation over the samples fed so far; and a
// failure, never stale values, when a worker does not answer (while the process runs: time it
// stands stopped does not count).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp_support.h"
#include "tests/common/loudness_reference.h"
#include "tests/common/stop_process.h"

using namespace DSP;

namespace {

// What the meter shows of the reference after `frames`: -80 before a window passes the gates.
double shownIntegrated(const loudref::Programme& ref, std::int64_t frames)
{
    const double i = ref.upTo(frames).integrated;
    return std::isnan(i) ? -80.0 : i;
}

void feedFrames(BigMeterAcc& acc, dsptest::Signal& s, size_t from, size_t to, size_t block)
{
    dsptest::Signal out(s.channels(), block);
    for (size_t pos = from; pos < to; pos += block)
        acc.process(s.at(pos), out.at(0), static_cast<int32>(std::min(block, to - pos)));
}

// Its waits for the workers count as an unloaded machine would count them (a test that times them
// sets a clock of its own).
std::unique_ptr<BigMeterAcc> offlineMeter(double fs, int32 block)
{
    auto acc = dsptest::makeMeter(fs, block, true);
    acc->setOfflineProcessing(true);
    dsptest::waitUnloaded(*acc);
    return acc;
}

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

TEST(DspOfflineReadOut, EveryReadOutCoversTheProgrammeSoFar)
{
    // Sound, digital silence long enough to hold whole windows of zeros, sound again, silence last.
    const double fs = 48000.0;
    dsptest::Signal s(2, static_cast<size_t>(12.5 * fs));
    dsptest::Lcg rng;
    auto noise = [&](double from, double to, float amp) {
        for (size_t i = static_cast<size_t>(from * fs); i < static_cast<size_t>(to * fs); ++i)
            for (auto& ch : s.data)
                ch[i] = amp * rng.next();
    };
    noise(0.0, 3.0, 0.1f);
    dsptest::addSine(s, 0, 997.0, 0.03, fs, 0.0, static_cast<size_t>(3.0 * fs), static_cast<size_t>(4.5 * fs));
    noise(8.5, 11.2, 0.3f);
    const loudref::Programme ref(s.data, {1.0, 1.0}, fs);
    for (size_t block : {64u, 512u, 4096u}) {
        SCOPED_TRACE("block " + std::to_string(block));
        auto acc = offlineMeter(fs, static_cast<int32>(block));
        const size_t every = static_cast<size_t>(0.37 * fs) / block * block;
        for (size_t pos = 0; pos < s.frames(); pos += every) {
            const size_t to = std::min(pos + every, s.frames());
            feedFrames(*acc, s, pos, to, block);
            SCOPED_TRACE("after " + std::to_string(static_cast<double>(to) / fs) + " s");
            ASSERT_TRUE(acc->completeReadOut(to == s.frames()));
            EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, static_cast<std::int64_t>(to)), 0.02);
            EXPECT_NEAR(acc->getValue(kMeterRange), ref.upTo(static_cast<std::int64_t>(to)).range, 0.05);
        }
    }
}

TEST(DspOfflineReadOut, AWorkerThatDoesNotAnswerFailsTheReadOutRatherThanGiveStaleValues)
{
    const double fs = 8000.0;
    const size_t second = 8000, block = 256;
    dsptest::Signal s = dsptest::programme(150 * second);
    const loudref::Programme ref(s.data, {1.0, 1.0}, fs);
    // The waits are timed by what they count, never by how long the machine took over a piece.
    testclock::SliceClock clock;
    auto acc = offlineMeter(fs, static_cast<int32>(block));
    Loudness* loudness = acc->getMeter()->getLoudness();
    CollectorIntegrated* integrated = loudness->getIntegratedCollector();
    loudness->setWaitClock(clock);
    loudness->setWaitLimit(200);
    feedFrames(*acc, s, 0, 20 * second, block);
    ASSERT_TRUE(acc->completeReadOut(false));

    // Held busy, the worker does not answer: the read-out waits its limit, then fails.
    integrated->holdWorker(true);
    feedFrames(*acc, s, 20 * second, 25 * second, block);
    EXPECT_FALSE(acc->completeReadOut(true));
    // Released, it catches up: the readings are those of the programme so far.
    integrated->holdWorker(false);
    loudness->setWaitLimit(CollectorOverlap::kWaitLimitMs);
    ASSERT_TRUE(acc->completeReadOut(false));
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, 25 * second), 0.02);
    EXPECT_NEAR(acc->getValue(kMeterRange), ref.upTo(25 * second).range, 0.05);

    // Held while more windows come than the queue holds: the feed waits once, then drops what has
    // no room. A wait counts its limit at least: a feed that waited for every window dropped would
    // make every piece after the first count that long, five windows of them each.
    const auto limit = std::chrono::milliseconds(500);
    loudness->setWaitLimit(static_cast<int32>(limit.count()));
    integrated->holdWorker(true);
    int slowPieces = 0;
    for (size_t pos = 25 * second; pos < 150 * second; pos += 16 * block) {
        const auto start = clock.now();
        feedFrames(*acc, s, pos, std::min(pos + 16 * block, 150 * second), block);
        if (clock.since(start) >= limit)
            ++slowPieces;
        ASSERT_LT(slowPieces, 2) << "the feed waits for the worker again after it failed to answer";
    }
    EXPECT_GT(loudness->getDroppedWindows(), 0u);
    // Every read-out fails until a reset, at once: nothing the workers do can bring the dropped
    // windows back, so neither workers still held nor a long limit keep it waiting.
    const auto longLimit = std::chrono::milliseconds(2000);
    loudness->setWaitLimit(static_cast<int32>(longLimit.count()));
    loudness->getRangeCollector()->holdWorker(true);
    const auto readOut = clock.now();
    EXPECT_FALSE(acc->completeReadOut(false));
    EXPECT_LT(clock.since(readOut), longLimit) << "a read-out waited although windows were lost";
    loudness->getRangeCollector()->holdWorker(false);
    integrated->holdWorker(false);
    EXPECT_FALSE(acc->completeReadOut(false));
    EXPECT_FALSE(acc->completeReadOut(false));
    loudness->setWaitLimit(CollectorOverlap::kWaitLimitMs);
    acc->setParameter(kMeterResetLoudness, 1.0);
    feedFrames(*acc, s, 0, 10 * second, block);
    ASSERT_TRUE(acc->completeReadOut(true));
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, 10 * second), 0.02);
}

TEST(DspOfflineReadOut, WindowsLostByEitherCollectorFailTheReadOutWithoutWaiting)
{
    // The test above loses windows in the integrated collector; here the range collector loses
    // them while the integrated worker, held busy, still has windows to take in. Mono loudness
    // alone: the range's one-second hops need a long feed to fill its queue.
    const double fs = 8000.0;
    const int32 block = 4000;
    testclock::SliceClock clock;
    Loudness loudness(block, true, fs);
    loudness.initialize(nullptr);
    loudness.setOfflineProcessing(true);
    CollectorLoudnessRange* range = loudness.getRangeCollector();
    CollectorIntegrated* integrated = loudness.getIntegratedCollector();
    ASSERT_TRUE(range && integrated && range->isThreaded() && integrated->isThreaded());
    loudness.setWaitClock(clock);
    dsptest::Signal s(1, block);
    dsptest::Lcg rng;
    for (float& v : s.data[0])
        v = 0.2f * rng.next();
    auto feedSeconds = [&](size_t seconds) {
        for (size_t i = 0; i < seconds * static_cast<size_t>(fs) / block; ++i)
            loudness.process(s.at(0), block);
    };
    range->setWaitLimit(50); // the range's feed waits once, briefly; the integrated worker keeps up
    range->holdWorker(true);
    feedSeconds(HandOverQueue::kCapacity + 5);
    ASSERT_TRUE(range->hasLostWindows());
    ASSERT_FALSE(integrated->hasLostWindows());
    range->holdWorker(false);
    integrated->holdWorker(true);
    feedSeconds(1);
    // Nothing brings the range's windows back: the read-out fails at once, not after waiting for
    // the integrated worker.
    const auto limit = std::chrono::milliseconds(2000);
    loudness.setWaitLimit(static_cast<int32>(limit.count()));
    const auto readOut = clock.now();
    EXPECT_FALSE(loudness.completeResults());
    EXPECT_LT(clock.since(readOut), limit) << "a read-out waited although windows were lost";
    integrated->holdWorker(false);
}

TEST(DspOfflineReadOut, TimeTheProcessStandsStillIsNotCountedInTheWaitForAWorker)
{
    // The worker is held while the queue fills exactly; the next window makes the feed wait. Then
    // the whole process is stopped longer than the wait limit, and the worker is released 0.2 s
    // after it goes on: it has had far less than the limit to answer, and nothing may be lost.
    // The wait counts on a clock that leaves out the time a busy machine keeps the threads waiting
    // to run, but not the stop. A run timed otherwise (a loaded machine) only makes this weaker:
    // the release comes before the stop, or the feed's wait after it.
    const double fs = 8000.0;
    const size_t second = 8000, hop = 800, block = 400;
    const size_t full = 20 * second + HandOverQueue::kCapacity * hop;
    dsptest::Signal s = dsptest::programme(full + hop);
    const loudref::Programme ref(s.data, {1.0, 1.0}, fs);
    auto acc = offlineMeter(fs, static_cast<int32>(block));
    Loudness* loudness = acc->getMeter()->getLoudness();
    CollectorIntegrated* integrated = loudness->getIntegratedCollector();
    ASSERT_EQ(integrated->getWindowLength() / 4, static_cast<int32>(hop));
    feedFrames(*acc, s, 0, 20 * second, block);
    ASSERT_TRUE(acc->completeReadOut(false));
    const auto limit = std::chrono::milliseconds(2000);
    loudness->setWaitLimit(static_cast<int32>(limit.count()));
    integrated->holdWorker(true);
    feedFrames(*acc, s, 20 * second, full, block);

    const auto start = std::chrono::steady_clock::now();
    std::thread release;
    {
        teststop::StopThisProcess stop(300, 2500);
        ASSERT_TRUE(stop.started());
        release = std::thread([&] {
            // A stop during the first sleep ends it as the process goes on.
            std::this_thread::sleep_until(start + std::chrono::milliseconds(600));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            integrated->holdWorker(false);
        });
        feedFrames(*acc, s, full, full + hop, block);
        release.join();
    }
    // The window had to wait for the worker: the queue was full.
    EXPECT_GE(since(start), std::chrono::milliseconds(600));
    EXPECT_EQ(loudness->getDroppedWindows(), 0u);
    ASSERT_TRUE(acc->completeReadOut(true));
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, static_cast<std::int64_t>(full + hop)), 0.02);
    EXPECT_NEAR(acc->getValue(kMeterRange), ref.upTo(static_cast<std::int64_t>(full + hop)).range, 0.05);
}

TEST(DspRealTimeReadOut, AfterTheFeedStopsOneReadOutWakesTheWorkerForTheRest)
{
    const double fs = 48000.0;
    dsptest::Signal s = dsptest::programme(static_cast<size_t>(6.1 * fs));
    const loudref::Programme ref(s.data, {1.0, 1.0}, fs);
    auto acc = dsptest::makeMeter(fs, 480, true);
    dsptest::waitUnloaded(*acc);
    CollectorIntegrated* integrated = acc->getMeter()->getLoudness()->getIntegratedCollector();
    ASSERT_GT(integrated->getWakeBatch(), 1);
    feedFrames(*acc, s, 0, static_cast<size_t>(6.0 * fs), 480);
    acc->getValue(kMeterIntegrated);
    ASSERT_TRUE(integrated->awaitWorker(5000));
    // One window more, less than the batch the feed wakes the worker for: the read-out wakes it,
    // never waiting itself, and the next read-out has it.
    feedFrames(*acc, s, static_cast<size_t>(6.0 * fs), s.frames(), 480);
    acc->getValue(kMeterIntegrated);
    ASSERT_TRUE(integrated->awaitWorker(5000));
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, static_cast<std::int64_t>(s.frames())), 0.02);
}

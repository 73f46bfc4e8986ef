// Offline read-outs: complete when they are written, at any point of a programme (silence
// included), against a plain double-precision computation over the samples fed so far; and a
// failure, never stale values, when a worker does not answer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp_support.h"
#include "tests/common/loudness_reference.h"

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

std::unique_ptr<BigMeterAcc> offlineMeter(double fs, int32 block)
{
    auto acc = dsptest::makeMeter(fs, block, true);
    acc->setOfflineProcessing(true);
    return acc;
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
    auto acc = offlineMeter(fs, static_cast<int32>(block));
    Loudness* loudness = acc->getMeter()->getLoudness();
    CollectorIntegrated* integrated = loudness->getIntegratedCollector();
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
    // no room, and every read-out fails until a reset.
    loudness->setWaitLimit(200);
    integrated->holdWorker(true);
    feedFrames(*acc, s, 25 * second, 150 * second, block);
    integrated->holdWorker(false);
    EXPECT_GT(loudness->getDroppedWindows(), 0u);
    EXPECT_FALSE(acc->completeReadOut(false));
    EXPECT_FALSE(acc->completeReadOut(false));
    loudness->setWaitLimit(CollectorOverlap::kWaitLimitMs);
    acc->setParameter(kMeterResetLoudness, 1.0);
    feedFrames(*acc, s, 0, 10 * second, block);
    ASSERT_TRUE(acc->completeReadOut(true));
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), shownIntegrated(ref, 10 * second), 0.02);
}

TEST(DspRealTimeReadOut, AfterTheFeedStopsOneReadOutWakesTheWorkerForTheRest)
{
    const double fs = 48000.0;
    dsptest::Signal s = dsptest::programme(static_cast<size_t>(6.1 * fs));
    const loudref::Programme ref(s.data, {1.0, 1.0}, fs);
    auto acc = dsptest::makeMeter(fs, 480, true);
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

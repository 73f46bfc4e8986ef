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

// Every window of a programme, computed once: the windows of a prefix are the first of them.
struct Reference
{
    std::vector<double> momentary, shortTerm;
    std::int64_t w, hopM, ws, hopS;

    Reference(const dsptest::Signal& s, double fs)
    {
        std::vector<std::vector<double>> squares;
        for (const auto& x : s.data)
            squares.push_back(loudref::weightedSquares(x, fs));
        w = static_cast<std::int64_t>(fs * 0.4000000059604645);
        hopM = w - static_cast<std::int64_t>(fs * 0.4000000059604645 * 0.75);
        ws = static_cast<std::int64_t>(fs * 3.0);
        hopS = ws - static_cast<std::int64_t>(fs * 2.0);
        momentary = loudref::windowEnergies(squares, {1.0, 1.0}, w, hopM);
        shortTerm = loudref::windowEnergies(squares, {1.0, 1.0}, ws, hopS);
    }
    static std::vector<double> upTo(const std::vector<double>& all, std::int64_t frames, std::int64_t length,
                                    std::int64_t hop)
    {
        const std::int64_t n = frames < length ? 0 : (frames - length) / hop + 1;
        return {all.begin(), all.begin() + std::min<std::int64_t>(n, static_cast<std::int64_t>(all.size()))};
    }
    // What the meter shows after `frames`: -80 before a window passes the gates.
    double integrated(std::int64_t frames) const
    {
        const double i = loudref::integratedOf(upTo(momentary, frames, w, hopM));
        return std::isnan(i) ? -80.0 : i;
    }
    double range(std::int64_t frames) const { return loudref::rangeOf(upTo(shortTerm, frames, ws, hopS)); }
};

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
    const Reference ref(s, fs);
    for (size_t block : {64u, 512u, 4096u}) {
        SCOPED_TRACE("block " + std::to_string(block));
        auto acc = offlineMeter(fs, static_cast<int32>(block));
        const size_t every = static_cast<size_t>(0.37 * fs) / block * block;
        for (size_t pos = 0; pos < s.frames(); pos += every) {
            const size_t to = std::min(pos + every, s.frames());
            feedFrames(*acc, s, pos, to, block);
            SCOPED_TRACE("after " + std::to_string(static_cast<double>(to) / fs) + " s");
            ASSERT_TRUE(acc->completeReadOut(to == s.frames()));
            EXPECT_NEAR(acc->getValue(kMeterIntegrated), ref.integrated(static_cast<std::int64_t>(to)), 0.02);
            EXPECT_NEAR(acc->getValue(kMeterRange), ref.range(static_cast<std::int64_t>(to)), 0.05);
        }
    }
}

TEST(DspOfflineReadOut, AWorkerThatDoesNotAnswerFailsTheReadOutRatherThanGiveStaleValues)
{
    const double fs = 8000.0;
    const size_t second = 8000, block = 256;
    dsptest::Signal s = dsptest::programme(150 * second);
    const Reference ref(s, fs);
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
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), ref.integrated(25 * second), 0.02);
    EXPECT_NEAR(acc->getValue(kMeterRange), ref.range(25 * second), 0.05);

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
    EXPECT_NEAR(acc->getValue(kMeterIntegrated), ref.integrated(10 * second), 0.02);
}

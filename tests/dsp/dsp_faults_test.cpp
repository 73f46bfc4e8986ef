// Hostile use of the engine: extreme rates and block sizes, tiny blocks, huge samples, offline runs
// with a slow worker, a click just before the end.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp/collectors.h"
#include "dsp_support.h"
#include "tests/common/unloaded_clock.h"

using namespace DSP;

namespace {

std::unique_ptr<BigMeterAcc> makeAcc(double rate, int32 block = 512, uint64 mask = 1)
{
    return dsptest::makeMeter(rate, block, false, mask);
}

// Loudness of a steady sine from the analytic response of the designed K-weighting.
double sineLoudness(double fs, double f, double amplitude)
{
    const double gain = dsptest::kWeightingGain(fs, f);
    return -0.691 + 10.0 * std::log10(amplitude * amplitude * 0.5 * gain * gain);
}

// A collector whose worker takes its time over every window.
class SlowCollector : public CollectorIntegrated
{
public:
    SlowCollector() : CollectorIntegrated(1, 4096, 480, 360, 1200.0f, true) {}

protected:
    void processWindow(int32 samples, float z) override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(30));
        CollectorIntegrated::processWindow(samples, z);
    }
};

} // namespace

TEST(DspFaults, RatesAreMeasuredRightOrRefusedAndNoneHangs)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double fs :
         {nan, -48000.0, 0.0, 1.0, 4.0, 7.0, 100.0, 2000.0, 7999.0, 384001.0, 705600.0, 768000.0, 2147483647.0, 1e300})
        EXPECT_FALSE(makeAcc(48000.0)->acceptsSampleRate(fs)) << fs;
    // At rates it refuses the engine still never hangs: the 1-, 4- and 7-Hz hops were empty. Without
    // a loudness meter it shows no reading.
    for (double fs : {1.0, 4.0, 7.0, 100.0}) {
        auto acc = makeAcc(fs, 16);
        dsptest::Signal s(1, 64);
        s.data[0].assign(64, 0.5f);
        dsptest::feed(*acc, s, 16);
        EXPECT_EQ(acc->getValue(kMeterMomentary), static_cast<double>(Loudness::kNoReading)) << fs;
    }
    for (double fs : {8000.0, 44100.0, 96000.0, 384000.0}) {
        auto acc = makeAcc(fs);
        ASSERT_TRUE(acc->acceptsSampleRate(fs));
        dsptest::Signal s(1, static_cast<size_t>(fs * 4));
        dsptest::addSine(s, 0, 997.0, 0.1, fs);
        dsptest::feed(*acc, s, 512);
        EXPECT_NEAR(acc->getValue(kMeterIntegrated), sineLoudness(fs, 997.0, 0.1), 0.01) << fs;
        EXPECT_NEAR(acc->getValue(kMeterMomentary), sineLoudness(fs, 997.0, 0.1), 0.01) << fs;
    }
    // A window that fits in no hop is refused by the collectors themselves.
    CollectorIntegrated empty(1, 64, 4, 4, 10.0f, false);
    empty.initialize(nullptr);
    dsptest::Signal s(1, 64);
    s.data[0].assign(64, 0.5f);
    empty.feed(s.at(0), 64);
    EXPECT_EQ(empty.getCurrentLoudness(), -80.0f);
}

TEST(DspFaults, HugeBlockSizesAreCappedAndLongBlocksMeasuredInPieces)
{
    auto huge = makeAcc(48000.0, std::numeric_limits<int32>::max());
    auto plain = makeAcc(48000.0, 512);
    dsptest::Signal s(1, static_cast<size_t>(kMaxBlockSize) * 3 + 17);
    dsptest::addSine(s, 0, 1000.0, 0.3, 48000.0);
    dsptest::feed(*huge, s, s.frames());
    dsptest::feed(*plain, s, 512);
    for (int32 id : {kMeterMomentary, kMeterIntegrated, kMeterTruePeak, kMeterRmsMax})
        EXPECT_NEAR(huge->getValue(id), plain->getValue(id), 1e-3) << id;
}

TEST(DspFaults, OneSampleBlocksReadLikeLargeOnes)
{
    // A 1-kHz sine at 48 kHz crosses zero on a sample every 24 samples: those samples are silent
    // blocks of their own, and must still be measured.
    dsptest::Signal s(1, 48000 * 3);
    dsptest::addSine(s, 0, 1000.0, dsptest::dbToAmp(-23.0), 48000.0);
    auto small = makeAcc(48000.0, 1), large = makeAcc(48000.0, 512);
    dsptest::feed(*small, s, 1);
    dsptest::feed(*large, s, 512);
    for (int32 id : {kMeterMomentary, kMeterShortTerm, kMeterIntegrated, kMeterTruePeak, kMeterRmsMax})
        EXPECT_NEAR(small->getValue(id), large->getValue(id), 1e-3) << id;
    EXPECT_NEAR(small->getValue(kMeterIntegrated), sineLoudness(48000.0, 1000.0, dsptest::dbToAmp(-23.0)), 0.01);
}

TEST(DspFaults, HugeSamplesAreMeasuredAsSilenceAndTheReadingsRecover)
{
    for (float huge : {1e20f, 3e38f, -1e30f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
        dsptest::Signal s(2, 48000 * 2);
        for (int c = 0; c < 2; ++c)
            dsptest::addSine(s, c, 1000.0, 0.2, 48000.0);
        dsptest::Signal clean = s;
        s.data[0][30000] = s.data[1][s.frames() - 3] = huge;
        clean.data[0][30000] = clean.data[1][s.frames() - 3] = 0.0f;
        auto hit = makeAcc(48000.0, 512, 3), ref = makeAcc(48000.0, 512, 3);
        dsptest::feed(*hit, s, 512);
        dsptest::feed(*ref, clean, 512);
        for (int32 id : {kMeterMomentary, kMeterShortTerm, kMeterIntegrated, kMeterMomentaryMax, kMeterRange,
                         kMeterTruePeak, kMeterRmsMax, kMeterRmsChannel0}) {
            EXPECT_TRUE(std::isfinite(hit->getValue(id))) << huge << " " << id;
            EXPECT_EQ(hit->getValue(id), ref->getValue(id)) << huge << " " << id;
        }
        // The upsampler kept nothing of the last one: a reset reads what it reads after clean audio.
        dsptest::Signal quiet(2, 4800);
        dsptest::addSine(quiet, 0, 1000.0, 0.01, 48000.0);
        for (BigMeterAcc* acc : {hit.get(), ref.get()}) {
            acc->setParameter(kMeterResetTruePeak, 1.0);
            dsptest::feed(*acc, quiet, 512);
        }
        EXPECT_EQ(hit->getValue(kMeterTruePeak), ref->getValue(kMeterTruePeak)) << huge;
        EXPECT_LT(hit->getValue(kMeterTruePeak), 0.25) << huge;
    }
}

TEST(DspFaults, OfflineFeedWaitsForASlowWorkerAndLosesNoWindow)
{
    dsptest::Signal s(1, 1200 * 600); // 6000 hops, several queues' worth
    dsptest::Lcg rng;
    for (float& v : s.data[0])
        v = rng.next() * 0.3f;
    // The feed's waits are counted as an unloaded machine would count them: on a busy one the
    // worker's every window waits its turn to run again after its sleep.
    testclock::UnloadedClock clock;
    SlowCollector slow;
    CollectorIntegrated direct(1, 4096, 480, 360, 1200.0f, false);
    slow.initialize(nullptr);
    direct.initialize(nullptr);
    slow.setWaitClock(clock);
    slow.setOfflineProcessing(true);
    for (size_t pos = 0; pos < s.frames(); pos += 4096) {
        const int32 n = static_cast<int32>(std::min<size_t>(4096, s.frames() - pos));
        slow.feed(s.at(pos), n);
        direct.feed(s.at(pos), n);
    }
    ASSERT_TRUE(slow.drain(60000));
    EXPECT_EQ(slow.getDroppedWindows(), 0u);
    EXPECT_EQ(slow.getStoredCount(), direct.getStoredCount());
    EXPECT_EQ(slow.getGatedLoudness(), direct.getGatedLoudness());
    slow.terminate();
}

TEST(DspFaults, AClickInTheLastSampleBeforeSilenceIsMeasured)
{
    for (size_t block : {size_t(1), size_t(512), size_t(4096)}) {
        dsptest::Signal s(1, 48000 + 4096);
        dsptest::addSine(s, 0, 1000.0, 0.05, 48000.0, 0.0, 0, 48000);
        s.data[0][47999] = 0.9f; // the programme's last sample; silence follows
        auto acc = makeAcc(48000.0, static_cast<int32>(block));
        dsptest::feed(*acc, s, block);
        EXPECT_GT(acc->getValue(kMeterTruePeak), 0.85) << block;
    }
}

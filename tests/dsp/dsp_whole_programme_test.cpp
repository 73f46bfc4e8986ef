// Readings over whole programmes, against a plain double-precision computation over every sample:
// digital silence anywhere, programmes that end mid-window and short clips, at every host block
// size; and programmes longer than the collectors keep window by window.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp_support.h"
#include "tests/common/loudness_reference.h"

using namespace DSP;

namespace {

constexpr size_t kBlocks[] = {1, 64, 512, 4096, 65536};

// A programme from pieces: tones, noise and exact zeros, the same on both channels but for the
// noise, which differs.
struct Programme
{
    double fs;
    std::string name;
    dsptest::Signal s{2, 0};
    dsptest::Lcg rng;

    Programme(double rate, std::string what) : fs(rate), name(std::move(what)) {}
    size_t frames(double seconds) const { return static_cast<size_t>(std::llround(seconds * fs)); }
    Programme& tone(double seconds, double dbfs, double freq = 997.0)
    {
        const size_t from = s.frames();
        grow(seconds);
        for (int c = 0; c < 2; ++c)
            dsptest::addSine(s, c, freq, dsptest::dbToAmp(dbfs), fs, 0.3 * c, from, s.frames());
        return *this;
    }
    Programme& noise(double seconds, double dbfs)
    {
        const size_t from = s.frames();
        grow(seconds);
        const float a = static_cast<float>(dsptest::dbToAmp(dbfs) * std::sqrt(3.0));
        for (size_t i = from; i < s.frames(); ++i)
            for (auto& ch : s.data)
                ch[i] = a * rng.next();
        return *this;
    }
    Programme& silence(double seconds)
    {
        grow(seconds);
        return *this;
    }
    void grow(double seconds)
    {
        for (auto& ch : s.data)
            ch.resize(ch.size() + frames(seconds), 0.0f);
    }
};

loudref::Readings meterReadings(Programme& p, size_t block)
{
    auto acc = dsptest::makeMeter(p.fs, static_cast<int32>(block), true);
    dsptest::feed(*acc, p.s, block);
    dsptest::waitUnloaded(*acc);
    EXPECT_TRUE(acc->getMeter()->drain());
    EXPECT_EQ(acc->getMeter()->getLoudness()->getDroppedWindows(), 0u);
    return {acc->getValue(kMeterIntegrated), acc->getValue(kMeterRange), acc->getValue(kMeterMomentaryMax),
            acc->getValue(kMeterShortTermMax)};
}

// The meter shows no reading below -80 and no integrated loudness before a window passes the gates.
void expectReadings(Programme& p, const std::vector<size_t>& blocks)
{
    const loudref::Readings ref = loudref::measure(p.s.data, {1.0, 1.0}, p.fs);
    for (size_t block : blocks) {
        SCOPED_TRACE(p.name + " at " + std::to_string(p.fs) + " Hz, block " + std::to_string(block));
        const loudref::Readings got = meterReadings(p, block);
        EXPECT_NEAR(got.integrated, std::isnan(ref.integrated) ? -80.0 : ref.integrated, 0.02);
        EXPECT_NEAR(got.range, ref.range, 0.05);
        EXPECT_NEAR(got.momentaryMax, std::max(ref.momentaryMax, -80.0), 0.05);
        EXPECT_NEAR(got.shortTermMax, std::max(ref.shortTermMax, -80.0), 0.05);
    }
}

} // namespace

TEST(DspWholeProgramme, SoundBeforeDigitalSilenceIsCounted)
{
    // A burst just before silence belongs to every window that holds it.
    Programme burst(48000.0, "burst");
    burst.tone(3.0, -40.0).tone(0.03, -6.0).silence(2.0);
    expectReadings(burst, {std::begin(kBlocks), std::end(kBlocks)});

    // Speech-like: syllables of noise at varying levels, a fifth of the time exact zeros.
    for (double fs : {44100.0, 96000.0}) {
        Programme speech(fs, "speech");
        dsptest::Lcg pick;
        while (speech.s.frames() < speech.frames(9.0)) {
            const double u = 0.5 + 0.5 * pick.next(), v = 0.5 + 0.5 * pick.next();
            speech.noise(0.08 + 0.4 * u, -32.0 + 16.0 * v);
            if (pick.next() > 0.3)
                speech.silence(0.05 + 0.3 * u * v);
        }
        expectReadings(speech, {64, 512, 4096});
    }

    // Short gaps of zeros in a tone, shorter than a host block or spanning several.
    Programme gaps(48000.0, "gaps");
    for (int i = 0; i < 200; ++i)
        gaps.tone(900.0 / 48000.0, -20.0, 750.0).silence(100.0 / 48000.0);
    expectReadings(gaps, {1, 64, 512});

    // The short-term windows that span a pause widen the range; silence first and last too.
    Programme pause(48000.0, "pause");
    pause.silence(1.3).noise(4.0, -20.0).silence(5.0).noise(4.0, -26.0).silence(0.7);
    expectReadings(pause, {64, 512, 4096, 65536});
}

TEST(DspWholeProgramme, OddHopsAndStreamsThatMoveDownReadEverySample)
{
    // At 11025 Hz both windows' hops are odd, so the streams move their history down every other hop
    // to start each window at an even offset; past 13 s the short-term stream moves it down for room.
    Programme odd(11025.0, "odd hops");
    odd.noise(6.0, -30.0).silence(0.5).tone(5.0, -18.0).noise(6.0, -24.0);
    expectReadings(odd, {1, 512, 4096});
}

TEST(DspWholeProgramme, EveryWindowCountsAtTheEnd)
{
    // Rising loudness that ends mid-window: the last windows weigh most.
    Programme rising(48000.0, "rising");
    for (int i = 0; i < 47; ++i)
        rising.noise(0.05, -40.0 + 0.7 * i);
    expectReadings(rising, {64, 512, 4096, 65536});
    // Clips from one window up.
    for (double seconds : {0.4, 0.45, 0.5, 0.59}) {
        Programme clip(44100.0, "clip " + std::to_string(seconds));
        clip.noise(seconds, -23.0);
        expectReadings(clip, {512, 4096});
    }
}

// Drives a collector with `count` window energies at the levels `lufs(i)` gives, directly through
// its gating step, and answers the energies.
template <class Collector, class Level>
std::vector<double> feedWindows(Collector& c, void (Collector::*step)(int32, float), int count, Level lufs)
{
    c.initialize(nullptr);
    c.reset();
    std::vector<double> windows;
    for (int i = 0; i < count; ++i) {
        const float z = static_cast<float>(std::pow(10.0, (lufs(i) + 0.691) / 10.0));
        (c.*step)(c.getWindowLength(), z);
        windows.push_back(z);
    }
    EXPECT_GT(c.getFoldedCount(), 0);
    return windows;
}

TEST(DspLongProgramme, IntegratedStaysRightBeyondTheExactStore)
{
    // 5 hours of a level that wanders within 2 LU, then 5.5 hours 10 dB quieter: 0.1-s windows.
    CollectorIntegrated c(1, 4800, 19200, 14400, 48000.0f, false);
    const auto windows = feedWindows(c, &CollectorIntegrated::integrateBlock, 378000, [](int i) {
        return (i < 180000 ? -20.0 : -30.0) + std::sin(i * 0.0007) + 0.5 * std::sin(i * 0.31);
    });
    EXPECT_NEAR(c.getGatedLoudness(), loudref::integratedOf(windows), 0.01);
    c.terminate();
}

TEST(DspLongProgramme, RangeStaysRightBeyondTheExactDistribution)
{
    // 88 hours loud, then 12 hours 8 LU softer, in 1-s steps: the soft part holds the 10 % point
    // only when the last hours count.
    CollectorLoudnessRange r(1, 4800, 144000, 96000, 48000.0f, false);
    const auto windows =
        feedWindows(r, &CollectorLoudnessRange::rangeStep, 360000, [](int i) { return i < 316800 ? -18.0 : -26.0; });
    EXPECT_NEAR(r.getRange(), loudref::rangeOf(windows), 0.01);
    r.terminate();
}

// K-weighting, reference readings, the start-up timeline, channel weights and block partitions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/collectors.h"
#include "dsp/loudness.h"
#include "dsp_support.h"

using namespace DSP;

namespace {

// Magnitude in dB of the cascade of the two designed stages at frequency f.
double responseDb(double fs, double f)
{
    return 20.0 * std::log10(dsptest::kWeightingGain(fs, f));
}

struct Meter
{
    Meter(double fs, int32 block, bool threaded, int channels = 2, uint64 mask = 3)
    : l(block, threaded, fs), block(block)
    {
        l.initialize(nullptr);
        l.reset();
        l.setChannelConfig(channels, channels, 0, mask);
    }
    ~Meter() { l.terminate(); }
    void run(dsptest::Signal& s, size_t from, size_t to)
    {
        for (size_t pos = from; pos < to; pos += static_cast<size_t>(block))
            l.process(s.at(pos), static_cast<int32>(std::min<size_t>(static_cast<size_t>(block), to - pos)));
    }
    Loudness l;
    int32 block;
};

// The design formulas, each product rounded to single precision where the design rounds it.
void formulaTaps(double fs, float shelf[6], float highPass[6])
{
    const double A = std::pow(10.0, 0.1), w = (1.0 / fs) * 7539.822368615503;
    const double c = std::cos(w), s = std::sin(w), r = 2.0 * std::sqrt(A);
    const double P = (A + 1.0) - (A - 1.0) * c, N = (A + 1.0) + (A - 1.0) * c;
    const double d = r * 0.734638611198489 * s, e = r * 0.681566333438187 * s;
    const float a0 = static_cast<float>(P + d);
    const double g = 1.0 / a0;
    // Through volatile as in the design, so that an optimiser cannot merge the two roundings.
    volatile const float num[5] = {static_cast<float>((N + e) * A),
                                   static_cast<float>(-2.0 * A * ((A - 1.0) + (A + 1.0) * c)),
                                   static_cast<float>((N - e) * A),
                                   static_cast<float>(2.0 * ((A - 1.0) - (A + 1.0) * c)), static_cast<float>(P - d)};
    const int at[5] = {0, 1, 2, 4, 5};
    for (int k = 0; k < 5; ++k)
        shelf[at[k]] = static_cast<float>(static_cast<double>(num[k]) * g);
    shelf[3] = 1.0f;
    const double wh = (1.0 / fs) * 238.76104167282426, ch = std::cos(wh);
    const double alpha = std::sin(wh) / (2.0 * (9.5 * std::pow(0.052631578945, 4.0) + 0.5));
    const double gh = 1.0 / (alpha + 1.0);
    highPass[0] = highPass[2] = static_cast<float>((1.0 + ch) * 0.5 * gh);
    highPass[1] = static_cast<float>(-(1.0 + ch) * gh);
    highPass[3] = 1.0f;
    highPass[4] = static_cast<float>(-2.0 * ch * gh);
    highPass[5] = static_cast<float>((1.0 - alpha) * gh);
}

} // namespace

TEST(DspKWeighting, TapsFollowTheFormulasAt441And48And96k)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        float s[6], h[6], fsh[6], fhp[6];
        Loudness::designShelf(fs, s);
        Loudness::designHighPass(fs, h);
        formulaTaps(fs, fsh, fhp);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(s[k], fsh[k]) << fs << " shelf " << k;
            EXPECT_EQ(h[k], fhp[k]) << fs << " high pass " << k;
        }
    }
}

TEST(DspKWeighting, ResponseFollowsTheRate)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        // Shelf of about +4 dB above a few kHz; second-order high pass of Q 0.5 at 38 Hz (-6 dB).
        EXPECT_NEAR(responseDb(fs, 10000.0), 4.0, 0.1) << fs;
        EXPECT_NEAR(responseDb(fs, 1000.0), 0.7, 0.05) << fs;
        EXPECT_NEAR(responseDb(fs, 200.0), -0.34, 0.02) << fs;
        EXPECT_NEAR(responseDb(fs, 38.0), -6.02, 0.02) << fs;
        EXPECT_LT(responseDb(fs, 10.0), -20.0) << fs;
    }
    // The rates agree with each other where the curve is flat.
    EXPECT_NEAR(responseDb(44100.0, 997.0), responseDb(96000.0, 997.0), 0.01);
}

TEST(DspLoudness, ReferenceSineReadsMinus23)
{
    const double fs = 48000.0;
    dsptest::Signal s(2, 48000 * 4);
    for (int c = 0; c < 2; ++c)
        dsptest::addSine(s, c, 1000.0, dsptest::dbToAmp(-23.0), fs);
    Meter m(fs, 512, false);
    m.run(s, 0, s.frames());
    for (float reading :
         {m.l.getMomentary(), m.l.getShortTerm(), m.l.getIntegrated(), m.l.getMomentaryMax(), m.l.getShortTermMax()})
        EXPECT_NEAR(reading, -22.99, 0.01);
    EXPECT_NEAR(m.l.getRange(), 0.0, 0.01);
}

TEST(DspLoudness, RangeOfTwoLevels)
{
    const double fs = 48000.0;
    dsptest::Signal s(2, 48000 * 40);
    // -23 dBFS per channel reads -22.99: scale to -20 and -30 LUFS.
    const double a20 = dsptest::dbToAmp(-23.0 + 2.99), a30 = dsptest::dbToAmp(-23.0 - 7.01);
    for (int c = 0; c < 2; ++c) {
        dsptest::addSine(s, c, 1000.0, a20, fs, 0.0, 0, 48000 * 20);
        dsptest::addSine(s, c, 1000.0, a30, fs, 0.0, 48000 * 20, s.frames());
    }
    Meter m(fs, 4800, false);
    m.run(s, 0, s.frames());
    EXPECT_NEAR(m.l.getRange(), 10.0, 0.05);
    EXPECT_NEAR(m.l.getShortTermMax(), -20.0, 0.02);
    EXPECT_NEAR(m.l.getShortTerm(), -30.0, 0.02);
    EXPECT_NEAR(loudnessOf(m.l.getRangeHighEnergy()) - loudnessOf(m.l.getRangeLowEnergy()), m.l.getRange(), 1e-4);
}

TEST(DspLoudness, StartUpTimeline)
{
    // Each reading appears once its first full window has been measured, and not a block earlier.
    const double fs = 48000.0;
    dsptest::Signal s(2, 48000 * 4);
    for (int c = 0; c < 2; ++c)
        dsptest::addSine(s, c, 1000.0, 0.1, fs);
    Meter m(fs, 480, false);
    size_t pos = 0;
    auto readsAt = [&](double seconds, float (Loudness::*reading)() const) {
        const size_t to = static_cast<size_t>(seconds * fs + 0.5);
        m.run(s, pos, to);
        pos = to;
        return (m.l.*reading)() > -80.0f;
    };
    EXPECT_FALSE(readsAt(0.39, &Loudness::getMomentary));
    EXPECT_FALSE(m.l.getIntegrated() > -80.0f);
    EXPECT_TRUE(readsAt(0.4, &Loudness::getMomentary));
    EXPECT_TRUE(readsAt(0.4, &Loudness::getIntegrated));
    EXPECT_FALSE(readsAt(2.99, &Loudness::getShortTerm));
    EXPECT_EQ(m.l.getShortTermMax(), -80.0f);
    EXPECT_TRUE(readsAt(3.0, &Loudness::getShortTerm));
    EXPECT_EQ(m.l.getRange(), 0.0f); // one gated window: both points are that window
    EXPECT_GT(m.l.getRangeHighEnergy(), 0.0f);
}

TEST(DspLoudness, MaximaFollowEveryWindow)
{
    // A 0.1-s burst inside one large block: the maximum sees the loud window even though the
    // block's last window is quiet again.
    const double fs = 48000.0;
    dsptest::Signal s(1, 48000 * 2);
    dsptest::addSine(s, 0, 1000.0, 0.01, fs);
    for (size_t i = 48000; i < 52800; ++i)
        s.data[0][i] *= 50.0f;
    Meter one(fs, 48000, false, 1, 4), small(fs, 480, false, 1, 4);
    one.run(s, 0, s.frames());
    small.run(s, 0, s.frames());
    EXPECT_NEAR(one.l.getMomentaryMax(), small.l.getMomentaryMax(), 1e-3);
    EXPECT_GT(one.l.getMomentaryMax(), one.l.getMomentary() + 10.0f);
}

TEST(DspLoudness, ChannelWeightsFollowTheWholeMask)
{
    Loudness l(512, false, 48000.0);
    l.initialize(nullptr);
    l.reset();
    l.setChannelConfig(6, 6, 0, 1 | 2 | 4 | 8 | 16 | 32); // 5.1: LFE out, surrounds weighted
    const float expect[6] = {1, 1, 1, 0, 1.41f, 1.41f};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(l.getIntegratedCollector()->getSummer()->getWeight(c), expect[c]);
    // Same count, other layout: no stale weights.
    l.setChannelConfig(6, 6, 0, 1 | 2 | 4 | 64 | 128 | 262144);
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(l.getRangeCollector()->getSummer()->getWeight(c), c < 5 ? 1.0f : 0.0f);
    l.terminate();
}

TEST(DspLoudness, BlockPartitionsGiveTheSameReadings)
{
    const double fs = 48000.0;
    dsptest::Signal s(2, 48000 * 4 + 123);
    dsptest::Lcg rng;
    for (size_t i = 0; i < s.frames(); ++i) {
        const float env = 0.02f + 0.3f * static_cast<float>((i / 9000) % 4);
        s.data[0][i] = rng.next() * env;
        s.data[1][i] = rng.next() * env * 0.5f;
    }
    std::vector<std::vector<float>> readings;
    for (int32 block : {1, 100, 512, 4800, 8192}) {
        Meter m(fs, block, false);
        m.run(s, 0, s.frames());
        readings.push_back({m.l.getMomentary(), m.l.getShortTerm(), m.l.getIntegrated(), m.l.getMomentaryMax(),
                            m.l.getShortTermMax(), m.l.getRange(), m.l.getRangeLowEnergy(), m.l.getRangeHighEnergy()});
    }
    // The filters round differently for different call lengths: equal to well below 0.001 LU.
    for (size_t k = 1; k < readings.size(); ++k)
        for (size_t v = 0; v < readings[0].size(); ++v)
            EXPECT_NEAR(readings[k][v], readings[0][v], v < 6 ? 2e-4 : std::fabs(readings[0][v]) * 1e-4)
                << k << " " << v;
}

// Block statistics and the silence test, delay lines, crossfader and the RMS meter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "dsp/blockstats.h"
#include "dsp/crossfader.h"
#include "dsp/delay.h"
#include "dsp/rms.h"
#include "dsp/valuemap.h"
#include "dsp_support.h"

using namespace DSP;

TEST(DspBlockStats, MeasurablePeakSkipsUnmeasurableSamplesAtEveryPosition)
{
    const float bad[] = {std::nanf(""), std::numeric_limits<float>::infinity(), -2e15f, 3e38f};
    for (int len : {1, 3, 8, 9, 33})
        for (int pos = 0; pos < len; ++pos) {
            std::vector<float> x(static_cast<size_t>(len), 0.25f);
            x[static_cast<size_t>(len / 2)] = -0.5f;
            x[static_cast<size_t>(pos)] = bad[pos % 4];
            bool unmeasurable = false;
            EXPECT_EQ(measurablePeak(x.data(), len, &unmeasurable), pos == len / 2 ? (len > 1 ? 0.25f : 0.0f) : 0.5f);
            EXPECT_TRUE(unmeasurable);
            std::vector<float> y(x.size());
            copyMeasurable(x.data(), y.data(), len);
            EXPECT_EQ(y[static_cast<size_t>(pos)], 0.0f);
        }
    const float big = 1e15f;
    bool unmeasurable = true;
    EXPECT_EQ(measurablePeak(&big, 1, &unmeasurable), big);
    EXPECT_FALSE(unmeasurable);
}

TEST(DspBlockStats, SilenceLooksAtEverySampleAndCountsTheRunAcrossBlocks)
{
    SilenceTest t;
    dsptest::Signal s(2, 64);
    EXPECT_TRUE(t.test(s.at(0), 64, 2)); // a block of 64 silent samples is skipped at once
    s.data[1][5] = 1.0f;                 // one sample between strided positions
    EXPECT_FALSE(t.test(s.at(0), 64, 2));
    // A full-scale tone at fs/32 with every 32nd sample zero is not silent.
    dsptest::Signal tone(1, 4096);
    dsptest::addSine(tone, 0, 48000.0 / 32.0, 1.0, 48000.0);
    for (size_t i = 0; i < 4096; i += 32)
        tone.data[0][i] = 0.0f;
    EXPECT_FALSE(t.test(tone.at(0), 4096, 1));
    // Small blocks: skipped only once 64 silent samples in a row have been seen.
    dsptest::Signal zero(1, 1);
    for (int k = 1; k <= 70; ++k)
        EXPECT_EQ(t.test(zero.at(0), 1, 1), k >= SilenceTest::kSkipAfter) << k;
    dsptest::Signal loud(1, 1);
    loud.data[0][0] = 0.5f;
    EXPECT_FALSE(t.test(loud.at(0), 1, 1)); // sound ends the run
    EXPECT_FALSE(t.test(zero.at(0), 1, 1));
    // Unmeasurable samples count as silent and are reported per channel.
    dsptest::Signal bad(2, 64);
    bad.data[1][3] = std::numeric_limits<float>::infinity();
    bool flags[2] = {true, false};
    EXPECT_TRUE(t.test(bad.at(0), 64, 2, flags));
    EXPECT_FALSE(flags[0]);
    EXPECT_TRUE(flags[1]);
}

TEST(DspDelay, DelaysAcrossBlocksPassesThroughAtZeroAndClampsItsSettings)
{
    std::vector<float> in(300), out(300);
    for (int i = 0; i < 300; ++i)
        in[static_cast<size_t>(i)] = static_cast<float>(i + 1);
    Delay plain(64, 48000.0, 50.0f);
    DelayPow2 pow2(64, 48000.0, 50.0f);
    for (Delay* d : {&plain, static_cast<Delay*>(&pow2)}) {
        d->setDelaySamples(37);
        d->reset();
        for (int off = 0; off < 300; off += 50)
            d->processChannel(in.data() + off, out.data() + off, 50);
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(out[static_cast<size_t>(i)], i < 37 ? 0.0f : static_cast<float>(i - 36)) << i;
        d->setDelaySamples(0);
        d->processChannel(in.data(), out.data(), 300);
        EXPECT_EQ(out, in);
        d->setDelaySamples(1000000);
        EXPECT_EQ(d->getDelaySamples(), d->getSize() - 1);
    }
    EXPECT_EQ(DelayPow2(512, 44100.0, 200.0f).getSize(), 16384);
}

TEST(DspCrossFader, CurveAndFade)
{
    CrossFader<float> f(512, 44100.0, 100.0f);
    f.initialize(nullptr);
    const float* c = f.getCurve();
    EXPECT_EQ(f.getFadeLength(), 4410);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_NEAR(c[2205], std::pow(10.0, -0.15), 1e-4); // the curve's middle
    EXPECT_EQ(c[4410], 0.0f);
    f.setNumChannels(1);
    dsptest::Signal a(1, 512), b(1, 512), out(1, 512);
    a.data[0].assign(512, 1.0f);
    b.data[0].assign(512, -1.0f);
    f.startFade();
    int blocks = 0;
    for (; f.isFading() && blocks < 20; ++blocks)
        f.processDual(a.at(0), b.at(0), out.at(0), 512);
    EXPECT_EQ(blocks, 9);
    EXPECT_EQ(out.data[0][511], -1.0f); // the tail of the last block is pure b
    f.terminate();
}

TEST(DspCrossFader, BuffersThatCannotBeHadLeaveNothingToFreeTwice)
{
    // A block of 8 GiB a channel is refused before anything is allocated; what the fader holds
    // then is freed once, at the end (ASan tells a free of what was never allocated).
    CrossFader<float> f(512, 48000.0, 100.0f);
    f.initialize(nullptr);
    f.setNumChannels(4);
    EXPECT_THROW(f.setBlockSize(std::numeric_limits<int32>::max()), std::bad_alloc);
    f.terminate();
}

// The array forms give what the single-value forms give, also outside the output range.
template <class T>
void expectArraysMatchSingleValues(const PowerMap<T>& m)
{
    const std::vector<T> in = {T(-0.5), T(-1e-7), T(0), T(0.1), T(0.5), T(0.999), T(1), T(1.5), T(4410)};
    std::vector<T> out(in.size());
    m.unmapArray(in.data(), out.data(), static_cast<int>(in.size()));
    for (size_t i = 0; i < in.size(); ++i) {
        const T single = m.unmap(in[i]);
        EXPECT_TRUE(out[i] == single || (std::isnan(out[i]) && std::isnan(single))) << in[i];
    }
    m.mapArray(in.data(), out.data(), static_cast<int>(in.size()));
    for (size_t i = 0; i < in.size(); ++i) {
        const T single = m.map(in[i]);
        EXPECT_TRUE(out[i] == single || (std::isnan(out[i]) && std::isnan(single))) << in[i];
    }
}

TEST(DspValueMap, PowerMapArraysMatchSingleValues)
{
    const PowerMap<float> unit;
    expectArraysMatchSingleValues(unit);
    expectArraysMatchSingleValues(PowerMap<double>());
    expectArraysMatchSingleValues(PowerMap<float>(0.0f, 4410.0f, 1.0f, 1e-4f, 2205.0f, 0.70794576f));
    // A negative base is raised to 0: below the range is the input minimum.
    const float below = -0.5f;
    float out = 1.0f;
    unit.unmapArray(&below, &out, 1);
    EXPECT_EQ(out, 0.0f);
}

// Below the output range (beyond its start, for a falling one) both precisions answer the input
// minimum: the base is held at 0 rather than raised to a fractional power.
template <class T>
void expectBelowRangeGivesTheInputMinimum()
{
    const PowerMap<T> unit, falling(T(0), T(4410), T(1), T(1e-4), T(2205), T(0.70794576));
    for (T y : {T(-0.5), T(-1e-7), T(-1e30)})
        EXPECT_EQ(unit.unmap(y), T(0)) << y;
    for (T y : {T(1.5), T(1) + T(1e-6)})
        EXPECT_EQ(falling.unmap(y), T(0)) << y;
}

TEST(DspValueMap, BelowTheOutputRangeBothPrecisionsGiveTheInputMinimum)
{
    expectBelowRangeGivesTheInputMinimum<float>();
    expectBelowRangeGivesTheInputMinimum<double>();
}

// The paired and the single-channel loops against a plain per-channel recursion, bit for bit.
TEST(DspRms, EveryChannelMatchesAPlainRecursion)
{
    Rms r(512, 48000.0, 900.0f);
    ASSERT_EQ(r.setChannelCount(3, 3, 0), kChannelsAccepted);
    const float c0 = r.getCoefficient(), c1 = 1.0f - c0;
    std::vector<std::vector<float>> x(3, std::vector<float>(512));
    float ms[3] = {}, mx[3] = {};
    unsigned seed = 7;
    for (int n : {512, 1, 77, 300}) {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < n; ++i) {
                seed = seed * 1664525u + 1013904223u;
                x[c][i] = static_cast<float>(seed >> 8) / 16777216.0f * (c + 1.0f) - 0.5f;
            }
        float* p[3] = {x[0].data(), x[1].data(), x[2].data()};
        r.processBlock(p, n);
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < n; ++i) {
                ms[c] = ms[c] * c0 + (x[c][i] * c1) * x[c][i];
                EXPECT_EQ(r.getOutputBuffer(c)[i], ms[c]);
                mx[c] = std::max(mx[c], ms[c]);
            }
            EXPECT_EQ(r.getChannelValue(c), ms[c]);
            EXPECT_EQ(r.getChannelMax(c), mx[c]);
        }
        EXPECT_EQ(r.getMax(), std::max({mx[0], mx[1], mx[2]}));
    }
}

TEST(DspRms, TimeConstantFloorAndSilence)
{
    Rms r(4800, 48000.0, 900.0f);
    std::vector<float> ones(4800, 1.0f), zeros(4800, 0.0f);
    float* p = ones.data();
    for (int k = 0; k < 9; ++k)
        r.processBlock(&p, 4800);
    // One time constant: 1 - 1/e of the step, up to the single-precision coefficient.
    EXPECT_NEAR(r.getChannelValue(0), 1.0 - std::exp(-1.0), 1e-3);
    EXPECT_NEAR(r.getMax(), r.getChannelValue(0), 1e-7);
    r.resetMaxima();
    EXPECT_EQ(r.getMax(), 0.0f);
    p = zeros.data();
    for (int k = 0; k < 200; ++k)
        r.processBlock(&p, 4800);
    EXPECT_EQ(r.getChannelValue(0), 0.0f); // the floor
    p = ones.data();
    r.processBlock(&p, 64);
    r.processSilence(64);
    EXPECT_EQ(r.getChannelValue(0), 0.0f);
}

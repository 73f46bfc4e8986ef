// The oversampling filter's taps and the true peak of known signals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "dsp/truepeak.h"
#include "dsp_support.h"

namespace {

float truePeakOf(dsptest::Signal& s, int32_t block)
{
    TruePeak tp(block, 48000.0, 4.0f);
    tp.initialize(nullptr);
    tp.reset();
    EXPECT_EQ(tp.setChannelCount(s.channels(), s.channels(), 0), 0);
    for (size_t pos = 0; pos < s.frames(); pos += static_cast<size_t>(block)) {
        const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), s.frames() - pos));
        tp.process(s.at(pos), n);
    }
    const float m = tp.getMax();
    tp.terminate();
    return m;
}

} // namespace

TEST(DspTruePeak, SincTaps)
{
    UpsamplerSinc u(64, 48000.0, 4.0f);
    u.initialize(nullptr);
    ASSERT_EQ(u.getTapCount(), 81);
    EXPECT_EQ(u.getCentre(), 40);
    const float* t = u.getTaps();
    EXPECT_EQ(t[40], 1.0f);
    EXPECT_NEAR(t[44], 0.0f, 1e-7);
    EXPECT_NEAR(t[36], 0.0f, 1e-7);
    EXPECT_LT(std::fabs(t[0]), 1e-6f);
    EXPECT_LT(std::fabs(t[80]), 1e-6f);
    for (int j = 1; j <= 40; ++j)
        EXPECT_NEAR(t[40 + j], t[40 - j], 1e-6);
    EXPECT_EQ(u.getFilter()->getLatency(), 41);
    u.terminate();
}

TEST(DspTruePeak, ImpulseKeepsItsPeak)
{
    dsptest::Signal s(1, 256);
    s.data[0][100] = 1.0f;
    EXPECT_NEAR(truePeakOf(s, 64), 1.0f, 1e-5);
}

// Plain reference: zero stuffing and the taps' convolution in double precision, peak of it all.
double referencePeak(const std::vector<float>& x)
{
    UpsamplerSinc u(64, 48000.0, 4.0f);
    u.initialize(nullptr);
    std::vector<double> up(x.size() * 4, 0.0);
    for (size_t i = 0; i < x.size(); ++i)
        up[i * 4] = x[i];
    double peak = 0.0;
    for (size_t n = 0; n < up.size(); ++n) {
        double acc = 0.0;
        for (int k = 0; k < u.getTapCount() && static_cast<size_t>(k) <= n; ++k)
            acc += static_cast<double>(u.getTaps()[k]) * up[n - static_cast<size_t>(k)];
        peak = std::max(peak, std::fabs(acc));
    }
    u.terminate();
    return peak;
}

TEST(DspTruePeak, SinesBetweenTheSamples)
{
    // fs/4 at 45 degrees: every sample is at 0.707 of the peak; fs/6 from phase 0: at most 0.866.
    dsptest::Signal q(1, 4800), s(1, 4800);
    dsptest::addSine(q, 0, 12000.0, 0.5, 48000.0, M_PI / 4.0);
    dsptest::addSine(s, 0, 8000.0, 0.5, 48000.0);
    const double r4 = referencePeak(q.data[0]), r6 = referencePeak(s.data[0]);
    // The analytic peak 0.5, within the filter's own passband ripple and image leakage.
    EXPECT_NEAR(20.0 * std::log10(r4 / 0.5), 0.0, 0.5);
    EXPECT_NEAR(20.0 * std::log10(r6 / 0.5), 0.0, 0.5);
    for (int32_t block : {1, 64, 512, 4096}) {
        EXPECT_NEAR(truePeakOf(q, block), r4, r4 * 1e-5) << block;
        EXPECT_NEAR(truePeakOf(s, block), r6, r6 * 1e-5) << block;
    }
    dsptest::Signal both(2, 4800);
    both.data[0] = s.data[0];
    both.data[1] = q.data[0];
    EXPECT_NEAR(truePeakOf(both, 512), std::max(r4, r6), 1e-5);
}

TEST(DspTruePeak, UpsampledSignalMatchesTheReferenceInEveryPartition)
{
    dsptest::Signal s(1, 3000);
    dsptest::Lcg rng;
    for (auto& v : s.data[0])
        v = rng.next();
    UpsamplerSinc ref(64, 48000.0, 4.0f);
    ref.initialize(nullptr);
    std::vector<double> want(s.frames() * 4, 0.0);
    for (size_t n = 0; n < want.size(); ++n)
        for (int k = 0; k < 81 && static_cast<size_t>(k) <= n; ++k)
            if ((n - static_cast<size_t>(k)) % 4 == 0)
                want[n] += static_cast<double>(ref.getTaps()[k]) * s.data[0][(n - static_cast<size_t>(k)) / 4];
    ref.terminate();
    for (int32_t block : {1, 3, 64, 100, 512}) {
        UpsamplerSinc u(block, 48000.0, 4.0f);
        u.initialize(nullptr);
        u.reset();
        std::vector<float> got(want.size());
        for (size_t pos = 0; pos < s.frames(); pos += static_cast<size_t>(block)) {
            const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), s.frames() - pos));
            u.processInto(s.data[0].data() + pos, got.data() + 4 * pos, n);
        }
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_NEAR(got[i], want[i], 2e-6) << block << " " << i;
        // After a reset the history is gone: the first outputs depend on the new input only.
        u.reset();
        float one = 1.0f;
        std::vector<float> out(4);
        u.processInto(&one, out.data(), 1);
        EXPECT_EQ(out[0], u.getTaps()[0]);
        u.terminate();
    }
}

TEST(DspTruePeak, ResetAndChannelChanges)
{
    TruePeak tp(64, 48000.0, 4.0f);
    tp.initialize(nullptr);
    tp.reset();
    EXPECT_EQ(std::bit_cast<uint32_t>(tp.getMax()), 0x358637BDu);
    ASSERT_EQ(tp.setChannelCount(2, 2, 0), 0);
    dsptest::Signal s(2, 64);
    s.data[1][10] = 0.8f;
    tp.process(s.at(0), 64);
    const float m = tp.getMax();
    EXPECT_NEAR(m, 0.8f, 1e-4);
    EXPECT_EQ(tp.setChannelCount(2, 3, 0), 1);
    EXPECT_EQ(tp.getChannelMax(1), m);
    EXPECT_EQ(tp.setChannelCount(2, 2, 0), 0);
    EXPECT_EQ(tp.getChannelMax(1), m); // same count: nothing changes
    EXPECT_EQ(tp.setChannelCount(3, 3, 0), 0);
    EXPECT_EQ(tp.getMax(), m);
    EXPECT_EQ(tp.getChannelMax(1), TruePeak::kFloor);
    tp.reset();
    EXPECT_EQ(tp.getMax(), TruePeak::kFloor);
    tp.terminate();
}

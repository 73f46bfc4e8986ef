// The oversampling filter's taps, the upsampled signal against a double-precision reference, and
// the true peak of known signals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dsp/truepeak.h"
#include "dsp_support.h"
#include "primitives/vector/ipps_vector.h"

namespace {

// Zero stuffing by 4 and the taps' convolution, all in double precision.
std::vector<double> referenceUpsampled(const std::vector<float>& x, const std::vector<float>& taps)
{
    std::vector<double> y(x.size() * 4, 0.0);
    for (size_t n = 0; n < y.size(); ++n) {
        double acc = 0.0;
        for (size_t k = n % 4; k < taps.size() && k <= n; k += 4)
            acc += static_cast<double>(taps[k]) * static_cast<double>(x[(n - k) / 4]);
        y[n] = acc;
    }
    return y;
}

std::vector<float> upsamplerTaps()
{
    UpsamplerSinc u(64, 48000.0, 4.0f);
    u.initialize(nullptr);
    return std::vector<float>(u.getTaps(), u.getTaps() + u.getTapCount());
}

std::vector<float> noise(size_t n, unsigned seed)
{
    dsptest::Lcg rng{seed};
    std::vector<float> x(n);
    std::generate(x.begin(), x.end(), [&] { return rng.next(); });
    return x;
}

// Call lengths cycling through `sizes` until `total` samples are covered.
std::vector<int> partition(size_t total, std::vector<int> sizes)
{
    std::vector<int> calls;
    size_t pos = 0;
    for (size_t k = 0; pos < total; ++k) {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(sizes[k % sizes.size()]), total - pos));
        calls.push_back(n);
        pos += static_cast<size_t>(n);
    }
    return calls;
}

// The upsampler's output for the given calls, concatenated.
std::vector<float> upsample(const std::vector<float>& x, const std::vector<int>& calls, int blockSize, float F = 4.0f)
{
    UpsamplerSinc u(blockSize, 48000.0, F);
    u.initialize(nullptr);
    u.reset();
    std::vector<float> y;
    std::vector<float> out(static_cast<size_t>(F * static_cast<float>(blockSize)) + 4);
    size_t pos = 0;
    for (int n : calls) {
        u.processInto(x.data() + pos, out.data(), n);
        y.insert(y.end(), out.begin(), out.begin() + static_cast<int>(static_cast<float>(n) * F));
        pos += static_cast<size_t>(n);
    }
    u.terminate();
    return y;
}

// Peak of the channels; with `settle`, the maxima are cleared once that many frames have passed
// (the filters keep running), so the onset's ringing is not counted.
float truePeakOf(dsptest::Signal& s, int32_t block, size_t settle = 0)
{
    TruePeak tp(block, 48000.0, 4.0f);
    tp.initialize(nullptr);
    EXPECT_EQ(tp.setChannelCount(s.channels(), s.channels(), 0), 0);
    for (size_t pos = 0; pos < s.frames(); pos += static_cast<size_t>(block)) {
        tp.process(s.at(pos), static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), s.frames() - pos)));
        if (settle > 0 && pos < settle && pos + static_cast<size_t>(block) >= settle)
            tp.reset();
    }
    return tp.getMax();
}

} // namespace

TEST(DspTruePeak, SincTaps)
{
    ippStaticInit();
    UpsamplerSinc u(64, 48000.0, 4.0f);
    u.initialize(nullptr);
    ASSERT_EQ(u.getTapCount(), 81);
    EXPECT_EQ(u.getCentre(), 40);
    const float* t = u.getTaps();
    // A windowed sinc: 1 at the centre, zero crossings every 4 taps, symmetric up to the window's
    // single-precision phase products.
    EXPECT_EQ(t[40], 1.0f);
    for (int j = 1; j <= 40; ++j) {
        EXPECT_NEAR(t[40 + j], t[40 - j], 1e-6);
        if (j % 4 == 0) {
            EXPECT_NEAR(t[40 + j], 0.0f, 1e-6);
        }
    }
    // Every phase of the interpolator passes DC at unit gain.
    for (int p = 0; p < 4; ++p) {
        double sum = 0.0;
        for (int k = p; k < 81; k += 4)
            sum += t[k];
        EXPECT_NEAR(sum, 1.0, 2e-3) << p;
    }
    EXPECT_EQ(u.getFilter()->getLatency(), 41);
    u.terminate();
}

// Blocks of up to 127 samples stuff to fewer than 512 values and take the FIR's direct path; from
// 128 on, its FFT block convolution. Mixed call lengths cross between the two.
TEST(DspTruePeak, UpsampledSignalMatchesTheDoubleReferenceInEveryPartition)
{
    ippStaticInit();
    const std::vector<float> x = noise(3000, 99u);
    const std::vector<double> want = referenceUpsampled(x, upsamplerTaps());
    const struct
    {
        int block;
        std::vector<int> sizes;
    } cases[] = {{1, {1}},     {3, {3, 1, 2}}, {100, {100, 37}},          {127, {127}},
                 {128, {128}}, {512, {512}},   {512, {300, 512, 1, 129}}, {1024, {1024, 77}}};
    for (const auto& c : cases) {
        const std::vector<float> got = upsample(x, partition(x.size(), c.sizes), c.block);
        ASSERT_EQ(got.size(), want.size());
        double worst = 0.0;
        for (size_t i = 0; i < want.size(); ++i)
            worst = std::max(worst, std::fabs(static_cast<double>(got[i]) - want[i]));
        // Inputs within [-1, 1): the float filter stays within a few units of 2^-24 per tap.
        EXPECT_LT(worst, 2e-6) << "block " << c.block;
    }
}

// fs/4 at 45 degrees: every sample sits at 0.707 of the peak; fs/6 from phase 0: at most 0.866.
// The 4x grid passes through both crests, so the reading is the analytic peak up to the filter's
// passband ripple (within 0.005 dB once the onset has rung out).
TEST(DspTruePeak, SinesBetweenTheSamplesReadTheirAnalyticPeaks)
{
    ippStaticInit();
    const double A = 0.5;
    dsptest::Signal q(1, 4800), s(1, 4800), both(2, 4800);
    dsptest::addSine(q, 0, 0.25, A, 1.0, M_PI / 4.0);
    dsptest::addSine(s, 0, 1.0 / 6.0, A, 1.0);
    EXPECT_LT(*std::max_element(q.data[0].begin(), q.data[0].end()), 0.3536f + 1e-4f);
    EXPECT_LT(*std::max_element(s.data[0].begin(), s.data[0].end()), 0.4331f + 1e-4f);
    for (int32_t block : {1, 64, 512, 4096}) {
        EXPECT_NEAR(truePeakOf(q, block, 512), A, A * 5e-4) << block;
        EXPECT_NEAR(truePeakOf(s, block, 512), A, A * 5e-4) << block;
    }
    dsptest::addSine(both, 0, 1.0 / 6.0, 1.0, 1.0);
    dsptest::addSine(both, 1, 0.25, A, 1.0, M_PI / 4.0);
    EXPECT_NEAR(truePeakOf(both, 512, 512), 1.0, 5e-4);
}

// The tail a read-out measures on a copy of the filter's history is, bit for bit, what feeding the
// filter silence gives, in every partition (the last calls shorter than the history included) and
// for programmes shorter than it; the filter itself goes on as if it had never been measured.
TEST(DspTruePeak, TailOnACopyIsWhatSilenceThroughTheFilterGives)
{
    ippStaticInit();
    const std::vector<float> taps = upsamplerTaps();
    const struct
    {
        size_t frames;
        int block;
        std::vector<int> sizes;
    } cases[] = {{3000, 1, {1}},
                 {3000, 7, {7, 3, 5}},
                 {3000, 64, {64, 50, 13}},
                 {3017, 512, {512}},
                 {3000, 512, {512, 300, 1, 129}},
                 {5, 512, {2, 3}},
                 {1000, 4096, {1000}}};
    for (const auto& k : cases) {
        SCOPED_TRACE("block " + std::to_string(k.block) + ", " + std::to_string(k.frames) + " frames");
        dsptest::Signal s(2, k.frames), more(2, 700);
        for (int c = 0; c < 2; ++c) {
            s.data[static_cast<size_t>(c)] = noise(k.frames, 5u + static_cast<unsigned>(c));
            for (float& v : s.data[static_cast<size_t>(c)])
                v *= 0.3f;
            more.data[static_cast<size_t>(c)] = noise(700, 9u + static_cast<unsigned>(c));
        }
        // Clicks in the last samples, whose peaks the filter gives only after them.
        s.data[0][k.frames - 1] = 0.95f;
        s.data[1][k.frames > 3 ? k.frames - 3 : 0] = -0.9f;
        TruePeak copy(k.block, 48000.0, 4.0f), flushed(k.block, 48000.0, 4.0f), plain(k.block, 48000.0, 4.0f);
        for (TruePeak* tp : {&copy, &flushed, &plain}) {
            tp->initialize(nullptr);
            ASSERT_EQ(tp->setChannelCount(2, 2, 0), 0);
            size_t pos = 0;
            for (int n : partition(k.frames, k.sizes)) {
                tp->process(s.at(pos), n);
                pos += static_cast<size_t>(n);
            }
            tp->reset(); // the maxima from here on: the tail's alone
        }
        const int32_t flush = copy.getFlushLength();
        ASSERT_EQ(flush, 21);
        copy.measureTail();
        copy.process(s.at(0), 0);
        copy.measureTail(); // once per end: not measured again
        dsptest::Signal zeros(2, static_cast<size_t>(flush));
        flushed.process(zeros.at(0), flush);
        float tail[2];
        for (int c = 0; c < 2; ++c) {
            tail[c] = copy.getChannelMax(c);
            EXPECT_EQ(tail[c], flushed.getChannelMax(c)) << c;
            // The double reference over the outputs that follow the programme.
            std::vector<float> x = s.data[static_cast<size_t>(c)];
            x.resize(x.size() + static_cast<size_t>(flush), 0.0f);
            const std::vector<double> y = referenceUpsampled(x, taps);
            double want = 0.0;
            for (size_t i = 4 * k.frames; i < y.size(); ++i)
                want = std::max(want, std::fabs(y[i]));
            EXPECT_NEAR(tail[c], want, 2e-6) << c;
            EXPECT_GT(want, 0.85) << c;
        }
        EXPECT_EQ(copy.getMax(), flushed.getMax());
        // More samples keep the tail in the maxima, and the filter measures them as if it had never
        // been taken.
        for (size_t half : {0u, 350u}) {
            copy.process(more.at(half), 350);
            plain.process(more.at(half), 350);
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(copy.getChannelMax(c),
                          half ? plain.getChannelMax(c) : std::max(tail[c], plain.getChannelMax(c)))
                    << c;
            EXPECT_EQ(copy.getMax(), half ? plain.getMax() : std::max(tail[0], std::max(tail[1], plain.getMax())));
            copy.reset();
            plain.reset();
        }
        // A reset drops a held tail.
        copy.measureTail();
        EXPECT_GT(copy.getMax(), TruePeak::kFloor);
        copy.reset();
        EXPECT_EQ(copy.getMax(), TruePeak::kFloor);
        EXPECT_EQ(copy.getChannelMax(1), TruePeak::kFloor);
    }
}

// Ends inside a loud programme: each adds its own tail, and the samples after it measure as if it
// had never come. A 1 kHz tone cut two samples before its crests, where a filter that went on from
// silence would overshoot by 8 %, against the double reference of the whole signal and of each
// end's tail.
TEST(DspTruePeak, SamplesAfterAnEndMeasureAsIfNoReadOutHadCome)
{
    ippStaticInit();
    const std::vector<float> taps = upsamplerTaps();
    dsptest::Signal s(2, 1200);
    dsptest::addSine(s, 0, 1000.0, 0.9, 48000.0);
    dsptest::addSine(s, 1, 1000.0, 0.6, 48000.0, M_PI);
    const size_t ends[] = {490, 778, 1200}; // crests at 492 and 780; the last is no end
    double want[2] = {0.0, 0.0};
    for (int c = 0; c < 2; ++c)
        for (size_t end : ends) { // up to each end with its tail, and the whole signal
            std::vector<float> head(s.data[static_cast<size_t>(c)].begin(),
                                    s.data[static_cast<size_t>(c)].begin() + static_cast<std::ptrdiff_t>(end));
            head.resize(end < s.frames() ? end + 21 : end, 0.0f); // the flush length
            for (double y : referenceUpsampled(head, taps))
                want[c] = std::max(want[c], std::fabs(y));
        }
    EXPECT_LT(want[0], 0.9 * 1.03);
    EXPECT_LT(want[1], 0.6 * 1.03);
    for (const auto& [block, sizes] :
         {std::pair<int, std::vector<int>>{1, {1}}, {64, {64, 50, 13}}, {512, {512, 300, 1, 129}}, {4096, {4096}}}) {
        TruePeak tp(block, 48000.0, 4.0f);
        tp.initialize(nullptr);
        ASSERT_EQ(tp.setChannelCount(2, 2, 0), 0);
        size_t pos = 0;
        for (size_t end : ends) {
            for (int n : partition(end - pos, sizes)) {
                tp.process(s.at(pos), n);
                pos += static_cast<size_t>(n);
            }
            if (end < s.frames())
                tp.measureTail();
        }
        for (int c = 0; c < 2; ++c)
            EXPECT_NEAR(tp.getChannelMax(c), want[c], 2e-6) << "channel " << c << ", block " << block;
    }
}

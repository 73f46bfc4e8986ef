// Re-blocking, overlapping windows, the gated collectors and the worker hand-over.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "dsp/collectors.h"
#include "dsp/handoverqueue.h"
#include "dsp/samplecollector.h"
#include "dsp_support.h"

using namespace DSP;

namespace {

// Records every window it is handed.
class RecordingOverlap : public Overlap
{
public:
    RecordingOverlap(int32 channels, int32 window, int32 overlap) : Overlap(channels, 4096, window, overlap, 48000.0f)
    {}
    void processOverlappedBlock(float** window, int32 length) override
    {
        lengths.push_back(length);
        windows.emplace_back(window[0], window[0] + overlap + hop);
    }
    std::vector<int32> lengths;
    std::vector<std::vector<float>> windows;
};

void feedInPieces(SampleCollector& c, std::vector<float>& x, const std::vector<int>& pieces)
{
    for (size_t pos = 0, k = 0; pos < x.size(); pos += static_cast<size_t>(pieces[k++ % pieces.size()])) {
        float* p = x.data() + pos;
        c.feed(&p, static_cast<int32>(std::min(x.size() - pos, static_cast<size_t>(pieces[k % pieces.size()]))));
    }
}

// The window mean square that reads exactly `lufs`, or the nearest float above it.
float meanSquareFor(float lufs)
{
    float z = std::pow(10.0f, (lufs + 0.691f) / 10.0f);
    while (loudnessOf(z) < lufs)
        z = std::nextafter(z, 1.0f);
    while (loudnessOf(std::nextafter(z, 0.0f)) >= lufs)
        z = std::nextafter(z, 0.0f);
    return z;
}

} // namespace

TEST(DspSampleCollector, OverlapStartUpAndSteadyWindows)
{
    const int32 H = 5;
    std::vector<float> x(200);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(i + 1);
    for (const auto& pieces : std::vector<std::vector<int>>{{1}, {3, 7}, {200}, {20}, {4, 1, 13}}) {
        RecordingOverlap o(1, 4 * H, 3 * H);
        o.initialize(nullptr);
        o.reset();
        EXPECT_EQ(o.getLatency(), 4 * H);
        feedInPieces(o, x, pieces);
        ASSERT_EQ(o.lengths.size(), 40u);
        EXPECT_EQ(o.lengths[0], H);
        EXPECT_EQ(o.lengths[1], 2 * H);
        EXPECT_EQ(o.lengths[2], 3 * H);
        for (size_t k = 3; k < o.lengths.size(); ++k) {
            EXPECT_EQ(o.lengths[k], 4 * H);
            // Window k holds the last W input samples in order.
            for (int32 i = 0; i < 4 * H; ++i)
                EXPECT_EQ(o.windows[k][static_cast<size_t>(i)], static_cast<float>((k + 1) * H - 4 * H + i + 1));
        }
        // A reset starts over with a zero history.
        o.reset();
        o.lengths.clear();
        o.windows.clear();
        feedInPieces(o, x, {H});
        ASSERT_GE(o.lengths.size(), 4u);
        EXPECT_EQ(o.lengths[0], H);
        EXPECT_EQ(o.windows[1][0], 0.0f);
        EXPECT_EQ(o.windows[3][0], 1.0f);
        o.terminate();
    }
}

TEST(DspGating, EveryWindowCountsAndTheRelativeGate)
{
    CollectorIntegrated c(1, 4800, 19200, 14400, 48000.0f, false);
    c.initialize(nullptr);
    c.reset();
    EXPECT_EQ(c.getGatedLoudness(), -80.0f);
    // The absolute gate is strict: a window of exactly -70 LUFS is not stored, one just above is.
    const float atGate = meanSquareFor(-70.0f);
    if (loudnessOf(atGate) == -70.0f) {
        c.integrateBlock(0, atGate);
        EXPECT_EQ(c.getStoredCount(), 0);
    }
    float above = atGate;
    while (!(loudnessOf(above) > -70.0f))
        above = std::nextafter(above, 1.0f);
    c.integrateBlock(0, above);
    EXPECT_EQ(c.getStoredCount(), 1);
    c.reset();
    const float loud = meanSquareFor(-20.0f);
    c.integrateBlock(19200, loud);
    EXPECT_NEAR(c.getGatedLoudness(), -20.0f, 1e-4); // one window reads at once
    c.integrateBlock(19200, loud);
    c.integrateBlock(19200, loud);
    EXPECT_NEAR(c.getGatedLoudness(), -20.0f, 1e-4);
    // A quiet block 15 LU down lies below the relative gate and does not pull the result.
    const float quiet = meanSquareFor(-35.0f);
    for (int i = 0; i < 3; ++i)
        c.integrateBlock(19200, quiet);
    EXPECT_NEAR(c.getGatedLoudness(), -20.0f, 1e-4);
    EXPECT_TRUE(c.isBelowRelativeGate());
    // Zero, negative and non-finite mean squares change nothing.
    const int32 stored = c.getStoredCount();
    for (float z : {0.0f, -1.0f, std::nanf(""), INFINITY})
        for (int i = 0; i < 3; ++i)
            c.integrateBlock(19200, z);
    EXPECT_EQ(c.getStoredCount(), stored);
    EXPECT_NEAR(c.getGatedLoudness(), -20.0f, 1e-4);
    c.terminate();
}

TEST(DspGating, RangePercentiles)
{
    for (int windows : {1, 4, 21}) {
        CollectorLoudnessRange r(1, 4800, 144000, 96000, 48000.0f, false);
        r.initialize(nullptr);
        r.reset();
        std::vector<float> z;
        for (int i = 0; i < windows; ++i)
            z.push_back(meanSquareFor(-40.0f + static_cast<float>(i)));
        // Insert out of order: the distribution sorts them.
        for (int i = windows - 1; i >= 0; i -= 2)
            r.rangeStep(144000, z[static_cast<size_t>(i)]);
        for (int i = windows - 2; i >= 0; i -= 2)
            r.rangeStep(144000, z[static_cast<size_t>(i)]);
        const int lo = windows == 21 ? 2 : 0;
        const int hi = windows == 21 ? 19 : windows - 1;
        EXPECT_EQ(r.getLowPoint(), z[static_cast<size_t>(lo)]) << windows;
        EXPECT_EQ(r.getHighPoint(), z[static_cast<size_t>(hi)]) << windows;
        EXPECT_NEAR(r.getRange(), static_cast<float>(hi - lo), 1e-3) << windows;
        r.terminate();
    }
}

TEST(DspHandOver, DropsOnlyWhenFullAndResetsInOrder)
{
    HandOverQueue q;
    for (std::uint32_t i = 0; i < HandOverQueue::kCapacity; ++i)
        EXPECT_TRUE(q.push(HandOver{static_cast<int32>(i), 1.0f}));
    EXPECT_FALSE(q.push(HandOver{99, 1.0f}));
    EXPECT_EQ(q.droppedCount(), 1u);
    HandOver h{};
    ASSERT_TRUE(q.peek(h));
    EXPECT_EQ(h.samples, 0);
    for (int i = 0; i < 10; ++i)
        q.consume();
    EXPECT_TRUE(q.push(HandOver{100, 1.0f}));
    // A reset drops what was queued before it, keeps what comes after it.
    const std::uint32_t gen = q.postReset();
    EXPECT_TRUE(q.push(HandOver{200, 1.0f}));
    std::uint32_t seen = 0;
    ASSERT_TRUE(q.takeReset(0, seen));
    EXPECT_EQ(seen, gen);
    ASSERT_TRUE(q.peek(h));
    EXPECT_EQ(h.samples, 200);
    q.consume();
    EXPECT_TRUE(q.empty());
    EXPECT_FALSE(q.takeReset(seen, seen));
}

TEST(DspHandOver, ResetPostedBetweenTheWorkersChecksGoesBeforeTheWindowQueuedAfterIt)
{
    HandOverQueue q;
    std::uint32_t applied = 0, gen = 0;
    // The worker has found no reset pending ...
    ASSERT_FALSE(q.takeReset(applied, gen));
    // ... then the audio thread posts one and queues the next window behind it.
    q.postReset();
    ASSERT_TRUE(q.push(HandOver{7, 1.0f}));
    // The window must wait for the reset, or the reset would clear it away after it was counted.
    HandOver h{};
    EXPECT_FALSE(q.peekAfter(applied, h));
    ASSERT_TRUE(q.takeReset(applied, gen));
    applied = gen;
    ASSERT_TRUE(q.peekAfter(applied, h));
    EXPECT_EQ(h.samples, 7);
}

TEST(DspWorkers, ThreadedCollectorsMatchUnthreaded)
{
    const float fs = 48000.0f;
    dsptest::Signal sq(2, 48000 * 5);
    dsptest::Lcg rng;
    for (size_t i = 0; i < sq.frames(); ++i)
        for (auto& ch : sq.data) {
            const float v = rng.next() * (0.05f + 0.5f * static_cast<float>((i / 24000) % 3));
            ch[i] = v * v;
        }
    CollectorIntegrated ci(2, 8192, 19200, 14400, fs, true), cu(2, 8192, 19200, 14400, fs, false);
    CollectorLoudnessRange ri(2, 8192, 144000, 96000, fs, true), ru(2, 8192, 144000, 96000, fs, false);
    CollectorOverlap* all[] = {&ci, &cu, &ri, &ru};
    for (CollectorOverlap* c : all) {
        c->initialize(nullptr);
        c->reset();
        c->setWaitClock(dsptest::unloadedClock());
    }
    ASSERT_TRUE(ci.isThreaded() && ri.isThreaded());
    for (size_t pos = 0; pos < sq.frames(); pos += 8192)
        for (CollectorOverlap* c : all) {
            c->feed(sq.at(pos), static_cast<int32>(std::min<size_t>(8192, sq.frames() - pos)));
            if (pos == 8192 * 20)
                c->reset(); // carried out in order on the workers
        }
    ASSERT_TRUE(ci.drain() && ri.drain());
    EXPECT_EQ(ci.getDroppedWindows() + ri.getDroppedWindows(), 0u);
    EXPECT_GT(cu.getGatedLoudness(), -80.0f);
    EXPECT_EQ(ci.getGatedLoudness(), cu.getGatedLoudness());
    EXPECT_EQ(ci.isBelowRelativeGate(), cu.isBelowRelativeGate());
    EXPECT_EQ(ci.getCurrentLoudness(), cu.getCurrentLoudness());
    EXPECT_EQ(ri.getRange(), ru.getRange());
    EXPECT_EQ(ri.getLowPoint(), ru.getLowPoint());
    EXPECT_EQ(ri.getHighPoint(), ru.getHighPoint());
    // A reset reads as reset at once, before the worker has carried it out.
    ci.reset();
    EXPECT_EQ(ci.getGatedLoudness(), -80.0f);
    ri.reset();
    EXPECT_EQ(ri.getRange(), 0.0f);
    // A new channel count restarts the worker, which then measures the new channels.
    EXPECT_EQ(ci.setChannelCount(1, 2, 0), kChannelsRefused);
    ASSERT_EQ(ci.setChannelCount(1, 1, 0), kChannelsAccepted);
    ASSERT_TRUE(ci.isThreaded());
    ci.feed(sq.at(0), 48000);
    ASSERT_TRUE(ci.drain());
    EXPECT_GT(ci.getGatedLoudness(), -80.0f);
    // Reset followed at once by terminate: the worker ends, nothing is left pending.
    ri.reset();
    for (CollectorOverlap* c : all)
        c->terminate();
}

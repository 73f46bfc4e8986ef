// Read-out: the values the processor writes equal the engine's own, in the fixed order, within 0..1.
#include "tests/meter/meter_fixture.h"

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "meter/meterparams.h"
#include "primitives/vector/ipps_vector.h"

#include <chrono>
#include <cstdint>
#include <iomanip>
#include <thread>

namespace metertest {
namespace {

const std::vector<uint32> kOrder = {1, 2, 3, 47, 8, 9, 10, 45, 11, 46, 51, 52, 53};

Stereo programme(double seconds, double rate)
{
    Stereo s = sine(seconds, rate, 997.0, 0.2, 0.3);
    std::uint32_t seed = 99;
    for (std::size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        double t = static_cast<double>(i) / rate;
        float env = static_cast<float>(t < seconds / 2 ? 0.2 : 0.9);
        s.r[i] = env * (static_cast<float>(seed) / 4294967296.0f - 0.5f);
    }
    return s;
}

// The engine alone, fed the same blocks, read out by the processor's formulas.
std::vector<std::pair<uint32, double>> engineReadOut(const Stereo& s, int block, double rate, float luOffset)
{
    ippStaticInit(); // the same instruction-set variant as the processor chooses
    BigMeterAcc acc(block, rate, Norrik::kProcessorParams, Norrik::kProcessorParamCount, true);
    acc.setChannelMasks(3, 3, 0);
    for (int i = 0; i < Norrik::kProcessorParamCount; ++i)
        acc.setParameter(Norrik::kProcessorParams[i].id, Norrik::kProcessorParams[i].defaultValue);
    acc.setParameter(13, 1.0);
    acc.setParameter(48, luOffset > 0 ? 1.0 : 0.0);
    std::vector<float> ol(static_cast<std::size_t>(block)), orr(static_cast<std::size_t>(block));
    for (std::size_t pos = 0; pos < s.size(); pos += static_cast<std::size_t>(block)) {
        int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(block), s.size() - pos));
        float* in[2] = {const_cast<float*>(s.l.data() + pos), const_cast<float*>(s.r.data() + pos)};
        float* out[2] = {ol.data(), orr.data()};
        acc.process(in, out, n);
        if ((pos / static_cast<std::size_t>(block)) % 10 == 9)
            std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    // The gated measurements' worker threads finish with the last windows.
    EXPECT_TRUE(acc.getMeter()->drain());
    auto norm = [](double plain, double lo, double hi) {
        double v = (plain - lo) / (hi - lo);
        return v < 0 ? 0.0 : v > 1 ? 1.0 : v;
    };
    const double off = luOffset;
    double v3 = acc.getValue(3) + off;
    double peak = acc.getValue(11);
    double t = peak > 0 ? 20.0 * std::log10(peak) : peak;
    return {{1, norm(acc.getValue(1) + off, -80, 48)},
            {2, norm(acc.getValue(2) + off, -80, 48)},
            {3, norm(v3, -80, 48)},
            {47, v3 > static_cast<double>(luOffset + -22.0f) ? 1.0 : 0.0},
            {8, norm(acc.getValue(8) + off, -80, 48)},
            {9, norm(acc.getValue(9) + off, -80, 48)},
            {10, norm(acc.getValue(10), 0, 100)},
            {45, acc.getValue(45)},
            {11, norm(t, -80, 48)},
            {46, t > -1.0 ? 1.0 : 0.0},
            {51, 0.0},
            {52, 0.0},
            {53, 0.0}};
}

using ReadOutTest = BundleTest;

TEST_F(ReadOutTest, ReferenceSignalsReadAsTheEngineMeasuresThem)
{
    for (float offset : {0.0f, 23.0f}) {
        SCOPED_TRACE(offset);
        Session s(NORRIK_BUNDLE_PATH);
        std::string error;
        ASSERT_TRUE(s.load(error) && s.create(error) && s.setup(48000.0, 2, 480, error)) << error;
        Stereo sig = programme(8.0, 48000.0);
        if (offset > 0)
            s.setParameter(48, 1.0);
        for (std::size_t pos = 0; pos < sig.size(); pos += 480) {
            const float* in[2] = {sig.l.data() + pos, sig.r.data() + pos};
            s.processBlock(in, 480);
            if ((pos / 480) % 10 == 9)
                std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        s.readOut(true);
        auto expected = engineReadOut(sig, 480, 48000.0, offset);
        for (auto& [id, value] : expected) {
            // The range's worker evaluates a window now and then one step apart between runs.
            if (id == 10) {
                EXPECT_NEAR(s.lastOutput(id), value, 0.01 / 100.0);
                continue;
            }
            EXPECT_EQ(s.lastOutput(id), value)
                << "id " << id << std::setprecision(17) << " " << s.lastOutput(id) << " " << value;
        }
        EXPECT_GT(s.lastOutput(3), meterNorm(-40.0 + offset));
    }
}

TEST_F(ReadOutTest, PointsComeInTheFixedOrderAtOffsetZeroAndOnlyWhenAsked)
{
    setupStereo(512);
    feed(sine(2.0, 48000.0, 1000.0, 0.9), 512);
    EXPECT_TRUE(session.outputLog().empty()); // nobody asked
    session.requestData();
    session.requestData(); // two requests before a block give one read-out
    feed(sine(0.02, 48000.0, 1000.0, 0.9), 512);
    feed(sine(0.02, 48000.0, 1000.0, 0.9), 512);
    auto log = session.outputLog();
    ASSERT_EQ(log.size(), 1u);
    std::vector<uint32> ids;
    for (auto& [id, v] : log[0]) {
        ids.push_back(id);
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
    EXPECT_EQ(ids, kOrder);
    // A loud 0.9 sine: true peak near -0.9 dB is not over -1 dB... but 0.9 is -0.92 dB, so TP-Over is on.
    EXPECT_EQ(session.lastOutput(46), 1.0);
}

TEST_F(ReadOutTest, ValuesBeyondTheRangeAreClampedIntoZeroToOne)
{
    setupStereo(512);
    session.setParameter(48, 1.0); // +23 on top of a full-scale signal exceeds 48 nowhere, but
    Stereo hot(48000);
    for (std::size_t i = 0; i < hot.size(); ++i)
        hot.l[i] = hot.r[i] = (i & 1) ? 30.0f : -30.0f; // far over full scale
    feed(hot, 512);
    session.readOut(true);
    for (auto& batch : session.outputLog())
        for (auto& [id, v] : batch) {
            EXPECT_GE(v, 0.0) << id;
            EXPECT_LE(v, 1.0) << id;
        }
}

// The fade itself is the lifecycle tests' concern; here the request that waits for the bypass to end.
TEST_F(ReadOutTest, BypassHoldsTheRequest)
{
    setupStereo(512);
    Stereo sig = sine(0.1, 48000.0, 300.0, 0.5);
    session.setParameter(0, 1.0);
    session.requestData();
    feed(sig, 512);
    EXPECT_TRUE(session.outputLog().empty());
    session.setParameter(0, 0.0);
    feed(sig, 512);
    auto log = session.outputLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].size(), kOrder.size());
}

TEST_F(ReadOutTest, OfflineBlocksBeforeTheSecondPositionPassUnmeasured)
{
    std::string error;
    session.processMode = kOffline;
    ASSERT_TRUE(session.setup(48000.0, 2, 512, error)) << error;
    RawBlock b(2, 512, 0.5f);
    b.ctx.state = kPlaying | kProjectTimeMusicValid;
    b.ctx.tempo = 120.0;
    b.ctx.cycleStartMusic = 100.0;
    b.data.processMode = kOffline;
    b.data.processContext = &b.ctx;
    session.requestData();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(session.processor()->process(b.data), kResultOk);
    EXPECT_EQ(b.out, b.in);
    // The read-out was still written, and shows nothing measured.
    ASSERT_GT(b.outChanges.getParameterCount(), 0);
    int32 off = 0;
    double v = -1;
    ASSERT_EQ(b.outChanges.queue(8)->getParameterId(), 11u);
    b.outChanges.queue(8)->getPoint(0, off, v);
    EXPECT_EQ(v, 0.0);
    session.requestData();
    EXPECT_TRUE(messages("time").empty());
}

TEST_F(ReadOutTest, ChangesOfIdsOutsideTheTableKeepTheirValue)
{
    // Id 13 (loudness on) has no row of its own: switching it on from the host must not read as 0
    // and stop the loudness measurement.
    setupStereo(512);
    session.setParameter(13, 1.0);
    feed(sine(1.0, 48000.0, 1000.0, std::pow(10.0, -23.0 / 20.0)), 512);
    session.readOut(true);
    EXPECT_NEAR(session.lastOutput(3), meterNorm(-22.99), 1e-3);
    session.setParameter(13, 0.0);
    feed(sine(1.0, 48000.0, 1000.0, 0.5), 512);
    session.readOut(true);
    EXPECT_NEAR(session.lastOutput(3), meterNorm(-22.99), 1e-3); // switched off: held, not measured
}

} // namespace
} // namespace metertest

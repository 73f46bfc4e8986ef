// The processor's state stream: layout, round trip, the length rule, every way it can be cut short,
// the controller reading the same streams, and states and resets arriving while blocks run.
#include "tests/meter/meter_fixture.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace metertest {
namespace {

class StateTest : public BundleTest
{
protected:
    void SetUp() override
    {
        BundleTest::SetUp();
        setupStereo(512);
    }
    static void putInt(std::vector<std::uint8_t>& b, std::size_t at, int32 v) { std::memcpy(b.data() + at, &v, 4); }
    static double valueAt(const std::vector<std::uint8_t>& b, int record)
    {
        double v = 0;
        std::memcpy(&v, b.data() + 4 + record * 140 + 132, 8);
        return v;
    }
    static void setValue(std::vector<std::uint8_t>& b, int record, double v)
    {
        std::memcpy(b.data() + 4 + record * 140 + 132, &v, 8);
    }
    tresult setControllerState(const std::vector<std::uint8_t>& bytes)
    {
        auto* stream = new MemoryStream(bytes);
        tresult r = session.controller()->setComponentState(stream);
        stream->release();
        return r;
    }
    // While processing, a state is applied at the start of the next block.
    tresult restore(const std::vector<std::uint8_t>& bytes)
    {
        tresult r = setState(bytes);
        feed(Stereo(64), 64);
        return r;
    }
};

// Twelve records of 140 bytes (name, id, value) behind a length that counts 144 per entry.
TEST_F(StateTest, DefaultStateLayout)
{
    auto s = save();
    ASSERT_EQ(s.size(), 4u + 12u * 140u);
    const std::uint32_t ids[13] = {1728, 1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0}; // the length, then ids
    std::uint32_t id = 0;
    std::memcpy(&id, s.data(), 4);
    EXPECT_EQ(id, ids[0]);
    for (int r = 0; r < 12; ++r) {
        std::memcpy(&id, s.data() + 4 + r * 140 + 128, 4);
        EXPECT_EQ(id, ids[r + 1]);
        EXPECT_EQ(valueAt(s, r), 0.0);
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(s.data() + 4 + 10 * 140), "scaleModeLoudness");
}

TEST_F(StateTest, RoundTripAndBypassTakesEffectAtOnce)
{
    auto s = save();
    setValue(s, 10, 1.0); // ScaleLU
    setValue(s, 11, 1.0); // bypass
    ASSERT_EQ(restore(s), kResultOk);
    EXPECT_EQ(save(), s);
    // Bypassed without a fade: the very next block is the dry input, and no read-out is written.
    Stereo sig = sine(512 / 48000.0, 48000.0, 200.0, 0.5);
    Stereo out(sig.size());
    session.requestData();
    feed(sig, 512, &out);
    uint32 latency = session.processor()->getLatencySamples();
    for (std::size_t i = latency; i < sig.size(); ++i)
        ASSERT_EQ(out.l[i], sig.l[i - latency]);
    EXPECT_TRUE(session.outputLog().empty());
    // A length that counts 140 bytes per record restores all twelve.
    setValue(s, 11, 0.0);
    putInt(s, 0, 1680);
    ASSERT_EQ(restore(s), kResultOk);
    putInt(s, 0, 1728);
    EXPECT_EQ(save(), s);
    // The restored scale is in force: silence reads -80 + 23.
    session.readOut(false);
    EXPECT_NEAR(session.lastOutput(1), meterNorm(-57.0), 1e-9);
    // Rows clamp what they cannot hold.
    setValue(s, 10, 7.0);
    setValue(s, 0, -500.0);
    ASSERT_EQ(restore(s), kResultOk);
    EXPECT_EQ(valueAt(save(), 10), 1.0);
    EXPECT_EQ(valueAt(save(), 0), -80.0);
    // Each entry takes one record: a second record of an id with one entry is skipped.
    putInt(s, 4 + 128, 48); // the first record now names ScaleLU too
    setValue(s, 0, 0.0);
    ASSERT_EQ(restore(s), kResultOk);
    EXPECT_EQ(valueAt(save(), 10), 0.0);
}

TEST_F(StateTest, EveryTruncationChangesNothingAndFails)
{
    auto s = save();
    setValue(s, 10, 1.0);
    ASSERT_EQ(restore(s), kResultOk);
    const auto good = save();
    auto changed = good;
    setValue(changed, 10, 0.0);
    setValue(changed, 11, 1.0);
    for (std::size_t cut = 0; cut < changed.size(); ++cut) {
        std::vector<std::uint8_t> part(changed.begin(), changed.begin() + static_cast<long>(cut));
        ASSERT_EQ(restore(part), kResultFalse) << "cut at " << cut;
        ASSERT_EQ(setControllerState(part), kResultFalse) << "cut at " << cut;
        ASSERT_EQ(save(), good) << "cut at " << cut;
    }
}

// Processor and controller read one stream the same way: what one refuses the other refuses, and
// the bypass is on from 0.5 on both sides.
TEST_F(StateTest, BothSidesAcceptExactlyTheSameStreams)
{
    const auto good = save();
    for (int n = 13; n <= 16; ++n) {
        auto many = good;
        putInt(many, 0, n * 144);
        many.resize(4 + static_cast<std::size_t>(n) * 140, 0);
        setValue(many, 10, 1.0);
        EXPECT_EQ(restore(many), kResultFalse) << n;
        EXPECT_EQ(setControllerState(many), kResultFalse) << n;
        EXPECT_EQ(session.controller()->getParamNormalized(48), 0.0) << n;
    }
    EXPECT_EQ(save(), good);
    auto bad = good;
    putInt(bad, 0, -144);
    EXPECT_EQ(restore(bad), kResultFalse);
    EXPECT_EQ(setControllerState(bad), kResultFalse);
    bad = good;
    setValue(bad, 3, std::nan(""));
    EXPECT_EQ(restore(bad), kResultFalse);
    EXPECT_EQ(setControllerState(bad), kResultFalse);
    EXPECT_EQ(save(), good);
    // An empty length: nothing to read, nothing changed, on both sides.
    std::vector<std::uint8_t> zero(4, 0);
    EXPECT_EQ(restore(zero), kResultOk);
    EXPECT_EQ(setControllerState(zero), kResultOk);
    EXPECT_EQ(save(), good);

    auto half = good;
    setValue(half, 10, 1.0);
    setValue(half, 11, 0.5);
    ASSERT_TRUE(session.restoreState(half));
    feed(Stereo(64), 64);
    EXPECT_EQ(session.controller()->getParamNormalized(48), 1.0);
    EXPECT_EQ(session.controller()->getParamNormalized(0), 1.0);
    session.requestData();
    feed(sine(0.01, 48000.0, 200.0, 0.5), 480);
    EXPECT_TRUE(session.outputLog().empty()); // bypassed: the request waits for the bypass to end
    session.setParameter(0, 0.0);
    feed(Stereo(480), 480);
    ASSERT_EQ(session.outputLog().size(), 1u);
    EXPECT_EQ(session.outputLog()[0].size(), 13u);
}

// A host restoring presets and resetting maxima from its main thread while the audio thread runs:
// the audio thread takes both over at its next block, and getState reads whole states only.
TEST_F(StateTest, StatesAndResetsFromAnotherThreadWhileProcessing)
{
    const auto plain = save();
    auto scaled = plain;
    setValue(scaled, 10, 1.0);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, rounds{0};
    std::thread mainThread([&] {
        IConnectionPoint* proc = session.processorConnection();
        for (int i = 0; !done.load(); ++i) {
            session.router().sendToProcessor(proc, "resetMaxLevelIn", "resetMaxLevelIn", 0);
            session.router().sendToProcessor(proc, "resetMaxLevelOut", "resetMaxLevelOut", 0);
            if (setState(i % 2 ? scaled : plain) != kResultOk)
                ++mixed;
            std::vector<std::uint8_t> now;
            if (!session.saveState(now) || (now != plain && now != scaled))
                ++mixed;
            ++rounds;
        }
    });
    Stereo sig = sine(0.5, 48000.0, 1000.0, 0.5);
    while (rounds.load() < 200)
        feed(sig, 512);
    done = true;
    mainThread.join();
    EXPECT_EQ(mixed.load(), 0);
    ASSERT_EQ(restore(scaled), kResultOk);
    EXPECT_EQ(save(), scaled);
}

} // namespace
} // namespace metertest

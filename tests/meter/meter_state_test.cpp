// The processor's state stream: layout, round trip, the length rule, every way it can be cut short
// or be malformed, the controller reading the same streams, and states and resets arriving while
// blocks run.
#include "tests/meter/meter_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace metertest {
namespace {

class StateTest : public BundleTest
{
protected:
    static void putInt(Bytes& b, std::size_t at, int32 v) { std::memcpy(b.data() + at, &v, 4); }
    static void setValue(Bytes& b, int record, double v) { std::memcpy(&b[136 + record * 140], &v, 8); }
    static double valueAt(const Bytes& b, int record)
    {
        double v = 0;
        std::memcpy(&v, &b[136 + record * 140], 8);
        return v;
    }
    // While processing, a state is applied at the start of the next block.
    tresult restore(const Bytes& bytes)
    {
        tresult r = setState(bytes);
        feed(Stereo(64), 64);
        return r;
    }
};

TEST_F(StateTest, LayoutRoundTripAndBypassTakesEffectAtOnce)
{
    setupStereo(512);
    // Twelve records of 140 bytes (name, id at 128, value at 132) behind a length of 144 per entry.
    auto s = save();
    ASSERT_EQ(s.size(), 4u + 12u * 140u);
    const std::uint32_t ids[13] = {1728, 1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0}; // the length, then ids
    EXPECT_EQ(std::memcmp(s.data(), ids, 4), 0);
    for (int r = 0; r < 12; ++r)
        EXPECT_EQ(std::memcmp(s.data() + 4 + r * 140 + 128, ids + r + 1, 4), 0) << r;
    EXPECT_STREQ(reinterpret_cast<const char*>(s.data() + 4 + 10 * 140), "scaleModeLoudness");

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
    session.readOut();
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

// A host that loads a preset while blocks run and saves before the next block saves that preset,
// as the processor will hold it (clamped), and a newer preset replaces one not yet taken.
TEST_F(StateTest, StateSavedBeforeTheNextBlockIsTheOneJustSet)
{
    setupStereo(512);
    const auto plain = save();
    auto scaled = plain;
    setValue(scaled, 10, 1.0);
    ASSERT_EQ(setState(scaled), kResultOk);
    EXPECT_EQ(save(), scaled);
    auto low = plain;
    setValue(low, 0, -500.0);
    ASSERT_EQ(setState(low), kResultOk);
    auto clamped = low;
    setValue(clamped, 0, -80.0);
    EXPECT_EQ(save(), clamped);
    feed(Stereo(64), 64);
    EXPECT_EQ(save(), clamped);
}

// A state saved while no block runs (a host saving its project with the plug-in deactivated, or
// before activating it) holds every entry, the bypass last, and restores into a fresh instance.
TEST_F(StateTest, StateSavedWhileInactiveRestoresIntoAFreshInstance)
{
    setupStereo(512);
    auto s = save();
    setValue(s, 0, -20.0);
    setValue(s, 10, 1.0); // ScaleLU
    setValue(s, 11, 1.0); // bypass
    ASSERT_EQ(restore(s), kResultOk);
    ASSERT_EQ(session.component()->setActive(false), kResultOk);
    const Bytes saved = save();
    ASSERT_EQ(session.component()->setActive(true), kResultOk);
    EXPECT_EQ(saved, s);

    Session fresh{NORRIK_BUNDLE_PATH};
    std::string error;
    ASSERT_TRUE(fresh.load(error) && fresh.create(error)) << error;
    ASSERT_TRUE(fresh.restoreState(saved));
    EXPECT_EQ(fresh.controller()->getParamNormalized(0), 1.0);
    EXPECT_EQ(fresh.controller()->getParamNormalized(48), 1.0);
    Bytes again;
    ASSERT_TRUE(fresh.saveState(again));
    EXPECT_EQ(again, saved);
    // Activated, the processor holds the same: its blocks publish what it took.
    ASSERT_TRUE(fresh.setup(48000.0, 2, 512, error)) << error;
    ASSERT_TRUE(fresh.saveState(again));
    EXPECT_EQ(again, saved);
}

// A host's parameter change that is no number is ignored, and one outside 0..1 is held at its end,
// by processor and controller alike: after any of them the saved state restores on both sides and
// saves again as the same bytes.
TEST_F(StateTest, BadParameterValuesLeaveAStateBothSidesRestore)
{
    setupStereo(512);
    const double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        uint32 id;
        int record;
    } rows[] = {{48, 10}, {4, 7}, {0, 11}}; // the bypass last: read-outs wait while it is on
    for (const auto& row : rows) {
        for (double bad : {std::nan(""), inf, -inf, -3.0, 7.0}) {
            SCOPED_TRACE("id " + std::to_string(row.id) + ", value " + std::to_string(bad));
            // Set first to the other end from where the bad value would land, so that taking it shows.
            const double before = bad > 0.5 ? 0.0 : 1.0;
            session.setParameter(row.id, before);
            feed(Stereo(64), 64);
            session.setParameter(row.id, bad);
            feed(Stereo(64), 64);
            const double expected = std::isfinite(bad) ? std::clamp(bad, 0.0, 1.0) : before;
            const Bytes saved = save();
            EXPECT_EQ(valueAt(saved, row.record), expected);
            EXPECT_EQ(session.controller()->getParamNormalized(row.id), expected);
            if (row.id == 48) { // the scale in force is the one saved: silence reads -80 + 23 in LU
                EXPECT_TRUE(session.readOut());
                EXPECT_EQ(session.lastOutput(1), meterNorm(expected == 1.0 ? -57.0 : -80.0));
            }
            EXPECT_EQ(restore(saved), kResultOk);
            EXPECT_EQ(setState(saved, true), kResultOk);
            EXPECT_EQ(save(), saved);
        }
    }
}

// Processor and controller read one stream the same way: every cut, more entries than the meter
// has, a negative length and a value that is no number are refused on both sides, changing nothing.
TEST_F(StateTest, BothSidesRefuseEveryTruncatedOrMalformedStream)
{
    setupStereo(512);
    const auto good = save();
    auto changed = good;
    setValue(changed, 10, 1.0);
    setValue(changed, 11, 1.0);
    std::vector<Bytes> bad;
    for (std::size_t cut = 0; cut < changed.size(); ++cut)
        bad.emplace_back(changed.begin(), changed.begin() + static_cast<long>(cut));
    for (int n = 13; n <= 16; ++n) {
        auto& many = bad.emplace_back(changed);
        many.resize(4 + static_cast<std::size_t>(n) * 140, 0);
        putInt(many, 0, n * 144);
    }
    putInt(bad.emplace_back(changed), 0, -144);
    setValue(bad.emplace_back(changed), 3, std::nan(""));
    // A state staged for the next block already shows in what is saved: one block after them all
    // (a block for each would make the test wait on the audio thread some two thousand times).
    for (std::size_t i = 0; i < bad.size(); ++i) {
        ASSERT_EQ(setState(bad[i]), kResultFalse) << "stream " << i;
        ASSERT_EQ(setState(bad[i], true), kResultFalse) << "stream " << i;
        ASSERT_EQ(save(), good) << "stream " << i;
        ASSERT_EQ(session.controller()->getParamNormalized(48), 0.0) << "stream " << i;
    }
    feed(Stereo(64), 64);
    ASSERT_EQ(save(), good);
    // An empty length: nothing to read, nothing changed, on both sides.
    Bytes zero(4, 0);
    EXPECT_EQ(restore(zero), kResultOk);
    EXPECT_EQ(setState(zero, true), kResultOk);
    EXPECT_EQ(save(), good);

    // The bypass is on from 0.5 on both sides, and a read-out asked for waits for it to end.
    auto half = good;
    setValue(half, 11, 0.5);
    ASSERT_TRUE(session.restoreState(half));
    EXPECT_EQ(session.controller()->getParamNormalized(0), 1.0);
    session.requestData();
    feed(sine(0.01, 48000.0, 200.0, 0.5), 480);
    EXPECT_TRUE(session.outputLog().empty());
    session.setParameter(0, 0.0);
    feed(Stereo(480), 480);
    ASSERT_EQ(session.outputLog().size(), 1u);
    EXPECT_EQ(session.outputLog()[0].size(), 13u);
}

// A host restoring presets and resetting maxima from its main thread while the audio thread runs:
// the audio thread takes both over at its next block, and getState reads whole states only.
TEST_F(StateTest, StatesAndResetsFromAnotherThreadWhileProcessing)
{
    setupStereo(512);
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
            Bytes now;
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

// A programme with pauses of digital silence through the plug-in, as a host plays it offline: the
// host flags the silent blocks, and each read-out, one at a time with no waiting, covers every
// window so far; the one after the last block covers the whole programme.
#include "tests/common/loudness_reference.h"
#include "tests/meter/meter_fixture.h"

namespace metertest {
namespace {

using WholeProgrammeTest = BundleTest;

// Syllables of noise at varying levels with pauses of exact zeros, ending mid-window.
Stereo speechWithPauses(double rate)
{
    Stereo s;
    unsigned state = 777u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
    };
    while (static_cast<double>(s.size()) < 7.95 * rate) {
        const auto syllable = static_cast<std::size_t>((0.1 + 0.4 * next()) * rate);
        const double amp = std::pow(10.0, (-30.0 + 15.0 * next()) / 20.0);
        for (std::size_t i = 0; i < syllable; ++i) {
            s.l.push_back(static_cast<float>(amp * (2.0 * next() - 1.0)));
            s.r.push_back(static_cast<float>(amp * (2.0 * next() - 1.0)));
        }
        const auto pause = static_cast<std::size_t>((0.05 + 0.4 * next()) * rate);
        s.l.resize(s.size() + pause, 0.0f);
        s.r.resize(s.l.size(), 0.0f);
    }
    s.l.resize(static_cast<std::size_t>(7.95 * rate));
    s.r.resize(s.l.size());
    return s;
}

Stereo slice(const Stereo& s, std::size_t from, std::size_t to)
{
    Stereo part(to - from);
    std::copy(s.l.begin() + static_cast<std::ptrdiff_t>(from), s.l.begin() + static_cast<std::ptrdiff_t>(to),
              part.l.begin());
    std::copy(s.r.begin() + static_cast<std::ptrdiff_t>(from), s.r.begin() + static_cast<std::ptrdiff_t>(to),
              part.r.begin());
    return part;
}

TEST_F(WholeProgrammeTest, PausesAndTheEndReadAsTheWholeProgramme)
{
    const double rate = 48000.0;
    const Stereo s = speechWithPauses(rate);
    const loudref::Readings ref = loudref::measure({s.l, s.r}, {1.0, 1.0}, rate);
    for (int block : {64, 512, 4096}) {
        SCOPED_TRACE("block " + std::to_string(block));
        setupStereo(block, rate);
        feed(s, block);
        ASSERT_TRUE(session.readOut());
        EXPECT_NEAR(session.lastOutput(3) * 128.0 - 80.0, ref.integrated, 0.02);
        EXPECT_NEAR(session.lastOutput(10) * 100.0, ref.range, 0.05);
        EXPECT_NEAR(session.lastOutput(8) * 128.0 - 80.0, ref.momentaryMax, 0.05);
        EXPECT_NEAR(session.lastOutput(9) * 128.0 - 80.0, ref.shortTermMax, 0.05);
        session.teardown();
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error)) << error;
    }
}

TEST_F(WholeProgrammeTest, EveryReadOutCoversTheProgrammeSoFar)
{
    const double rate = 44100.0;
    Stereo s = speechWithPauses(rate);
    // A pause longer than a short-term window, read out inside it.
    s.l.insert(s.l.begin() + static_cast<std::ptrdiff_t>(3.0 * rate), static_cast<std::size_t>(4.0 * rate), 0.0f);
    s.r.insert(s.r.begin() + static_cast<std::ptrdiff_t>(3.0 * rate), static_cast<std::size_t>(4.0 * rate), 0.0f);
    const loudref::Programme ref({s.l, s.r}, {1.0, 1.0}, rate);
    const int block = 512;
    setupStereo(block, rate);
    const std::size_t every = 45 * static_cast<std::size_t>(block);
    for (std::size_t pos = 0; pos < s.size(); pos += every) {
        const std::size_t to = std::min(pos + every, s.size());
        feed(slice(s, pos, to), block);
        SCOPED_TRACE("after " + std::to_string(static_cast<double>(to) / rate) + " s");
        ASSERT_TRUE(session.readOut());
        const loudref::Readings want = ref.upTo(static_cast<std::int64_t>(to));
        EXPECT_NEAR(session.lastOutput(3) * 128.0 - 80.0, std::isnan(want.integrated) ? -80.0 : want.integrated, 0.02);
        EXPECT_NEAR(session.lastOutput(10) * 100.0, want.range, 0.05);
    }
}

// A read-out asked for in a block that carries samples sits at the block's start: it reads the
// programme up to there, every window completed as at the end.
TEST_F(WholeProgrammeTest, AReadOutInABlockWithSamplesCoversTheProgrammeBeforeIt)
{
    const double rate = 48000.0;
    const Stereo s = speechWithPauses(rate);
    const loudref::Programme ref({s.l, s.r}, {1.0, 1.0}, rate);
    const int block = 480;
    setupStereo(block, rate);
    // Not a whole number of window hops: the read-outs fall at every phase of the windows.
    const std::size_t every = 37 * static_cast<std::size_t>(block);
    for (std::size_t pos = 0, at = every; at < s.size(); at += every + static_cast<std::size_t>(block)) {
        feed(slice(s, pos, at), block);
        SCOPED_TRACE("at " + std::to_string(static_cast<double>(at) / rate) + " s");
        session.clearOutputLog();
        session.requestData();
        const float* in[2] = {s.l.data() + at, s.r.data() + at};
        pos = std::min(at + static_cast<std::size_t>(block), s.size());
        ASSERT_EQ(session.processBlock(in, static_cast<int>(pos - at)), kResultOk);
        ASSERT_EQ(session.outputLog().size(), 1u); // written in that block
        const loudref::Readings want = ref.upTo(static_cast<std::int64_t>(at));
        EXPECT_NEAR(session.lastOutput(3) * 128.0 - 80.0, std::isnan(want.integrated) ? -80.0 : want.integrated, 0.02);
        EXPECT_NEAR(session.lastOutput(10) * 100.0, want.range, 0.05);
        EXPECT_NEAR(session.lastOutput(8) * 128.0 - 80.0, std::max(want.momentaryMax, -80.0), 0.05);
        EXPECT_NEAR(session.lastOutput(9) * 128.0 - 80.0, std::max(want.shortTermMax, -80.0), 0.05);
    }
}

} // namespace
} // namespace metertest

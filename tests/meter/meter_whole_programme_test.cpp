// A programme with pauses of digital silence through the plug-in, as a host plays it: the host flags
// the silent blocks, and the final read-out must cover every window of the programme.
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

TEST_F(WholeProgrammeTest, PausesAndTheEndReadAsTheWholeProgramme)
{
    const double rate = 48000.0;
    const Stereo s = speechWithPauses(rate);
    const loudref::Readings ref = loudref::measure({s.l, s.r}, {1.0, 1.0}, rate);
    for (int block : {64, 512, 4096}) {
        SCOPED_TRACE("block " + std::to_string(block));
        setupStereo(block, rate);
        feed(s, block);
        session.readOut();
        EXPECT_NEAR(session.lastOutput(3) * 128.0 - 80.0, ref.integrated, 0.02);
        EXPECT_NEAR(session.lastOutput(10) * 100.0, ref.range, 0.05);
        EXPECT_NEAR(session.lastOutput(8) * 128.0 - 80.0, ref.momentaryMax, 0.05);
        EXPECT_NEAR(session.lastOutput(9) * 128.0 - 80.0, ref.shortTermMax, 0.05);
        session.teardown();
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error)) << error;
    }
}

} // namespace
} // namespace metertest

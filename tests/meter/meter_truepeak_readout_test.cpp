// Read-outs in blocks without samples, as a host's idle calls make them at any time offline: the
// end of the samples so far counts in the true peak as silence after them would, but the audio
// that follows measures as if no read-out had come.
#include "tests/meter/meter_fixture.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace metertest {
namespace {

using TruePeakReadOutTest = BundleTest;

constexpr double kRate = 48000.0, kTau = 6.283185307179586;
constexpr int kBlock = 512;
constexpr uint32 kIntegrated = 3, kShortTermMax = 9, kTruePeak = 11, kTruePeakOver = 46;

Stereo generate(double seconds, const std::function<void(double t, std::size_t i, float& l, float& r)>& f)
{
    Stereo s(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < s.size(); ++i)
        f(static_cast<double>(i) / kRate, i, s.l[i], s.r[i]);
    return s;
}

double noiseAt(std::size_t i)
{
    unsigned x = static_cast<unsigned>(i) * 2654435761u + 12345u;
    x ^= x >> 13;
    x *= 1274126177u;
    x ^= x >> 16;
    return static_cast<double>(x) / 4294967296.0 * 2.0 - 1.0;
}

// True peak in dB, TP-Over, and the loudness rows.
struct Reading
{
    double truePeak, over, integrated, shortTermMax;
};

TEST_F(TruePeakReadOutTest, ReadOutsInEmptyBlocksLeaveTheReadingsAsOneAtTheEnd)
{
    const auto low = [](double t, std::size_t, float& l, float& r) {
        l = static_cast<float>(0.5 * std::sin(kTau * 997.0 * t));
        r = static_cast<float>(0.5 * std::sin(kTau * 997.0 * t + 1.0));
    };
    const auto quarter = [](double t, std::size_t, float& l, float& r) {
        l = static_cast<float>(0.85 * std::sin(kTau * 11025.0 * t + 0.3));
        r = static_cast<float>(0.6 * std::sin(kTau * 11025.0 * t));
    };
    const auto high = [](double t, std::size_t, float& l, float& r) {
        l = static_cast<float>(0.45 * std::sin(kTau * 5000.0 * t) + 0.45 * std::sin(kTau * 17000.0 * t));
        r = static_cast<float>(0.8 * std::sin(kTau * 17000.0 * t + 2.0));
    };
    const auto bass = [](double t, std::size_t i, float& l, float& r) {
        const double b = std::clamp(1.6 * std::sin(kTau * 60.0 * t), -0.8, 0.8);
        l = static_cast<float>(b + 0.1 * noiseAt(i));
        r = static_cast<float>(-b + 0.1 * noiseAt(i + 7));
    };
    // A tone and noise in bursts between pauses of digital silence.
    const auto bursts = [](double t, std::size_t i, float& l, float& r) {
        const bool on = std::fmod(t, 0.3) < 0.12;
        l = on ? static_cast<float>(0.9 * std::sin(kTau * 3001.0 * t)) : 0.0f;
        r = on && t > 0.6 ? static_cast<float>(0.7 * noiseAt(i)) : 0.0f;
    };
    // Near full scale, ending abruptly (1.5 s is no whole number of blocks).
    const std::vector<std::pair<const char*, Stereo>> signals = {
        {"997 Hz at 0.5", generate(1.5, low)},     {"11025 Hz at 0.85", generate(1.5, quarter)},
        {"5 kHz and 17 kHz", generate(1.5, high)}, {"clipped bass with noise", generate(1.5, bass)},
        {"bursts", generate(1.5, bursts)},
    };
    auto measure = [&](const Stereo& s, int every) {
        setupStereo(kBlock, kRate);
        std::size_t blocks = 0;
        for (std::size_t pos = 0; pos < s.size(); pos += kBlock) {
            const float* in[2] = {s.l.data() + pos, s.r.data() + pos};
            session.processBlock(in, static_cast<int>(std::min<std::size_t>(kBlock, s.size() - pos)));
            if (every > 0 && ++blocks % static_cast<std::size_t>(every) == 0) {
                EXPECT_TRUE(session.readOut());
            }
        }
        EXPECT_TRUE(session.readOut());
        const Reading r{session.lastOutput(kTruePeak) * 128.0 - 80.0, session.lastOutput(kTruePeakOver),
                        session.lastOutput(kIntegrated), session.lastOutput(kShortTermMax)};
        session.teardown();
        std::string error;
        EXPECT_TRUE(session.load(error) && session.create(error)) << error;
        return r;
    };
    for (const auto& [name, signal] : signals) {
        SCOPED_TRACE(name);
        const Reading once = measure(signal, 0);
        for (int every : {1, 3, 7}) {
            SCOPED_TRACE("a read-out every " + std::to_string(every) + " blocks");
            const Reading r = measure(signal, every);
            EXPECT_NEAR(r.truePeak, once.truePeak, 0.01);
            EXPECT_EQ(r.over, once.over);
            EXPECT_NEAR(r.integrated, once.integrated, 1e-9);
            EXPECT_NEAR(r.shortTermMax, once.shortTermMax, 1e-9);
        }
    }
}

// A click in the last sample peaks only in the filter's output after it: a read-out after it shows
// it, as often as asked, and the audio that follows measures as if it had not been read: after a
// true-peak reset that comes with the next samples, the click's peak still comes out of the filter.
TEST_F(TruePeakReadOutTest, AClickInTheLastSamplesCountsAtTheEndAndTheAudioGoesOnUnchanged)
{
    Stereo a = sine(1.0, kRate, 1000.0, 0.05), b = sine(0.3, kRate, 1000.0, 0.05);
    a.l.resize(a.size() + 37, 0.01f);
    a.r.resize(a.l.size(), 0.01f);
    a.l.back() = 0.95f;
    const double click = 20.0 * std::log10(0.95);
    Session plain{NORRIK_BUNDLE_PATH};
    std::string error;
    ASSERT_TRUE(plain.load(error) && plain.create(error) && plain.setup(kRate, 2, kBlock, error)) << error;
    setupStereo(kBlock, kRate);
    for (Session* s : {&session, &plain})
        for (std::size_t pos = 0; pos < a.size(); pos += kBlock) {
            const float* in[2] = {a.l.data() + pos, a.r.data() + pos};
            s->processBlock(in, static_cast<int>(std::min<std::size_t>(kBlock, a.size() - pos)));
        }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(session.readOut());
        EXPECT_NEAR(session.lastOutput(kTruePeak) * 128.0 - 80.0, click, 0.1) << i;
        EXPECT_EQ(session.lastOutput(kTruePeakOver), 1.0) << i;
    }
    for (Session* s : {&session, &plain}) {
        s->setParameter(7, 1.0);
        for (std::size_t pos = 0; pos < b.size(); pos += kBlock) {
            const float* in[2] = {b.l.data() + pos, b.r.data() + pos};
            s->processBlock(in, static_cast<int>(std::min<std::size_t>(kBlock, b.size() - pos)));
        }
        ASSERT_TRUE(s->readOut());
    }
    EXPECT_NEAR(session.lastOutput(kTruePeak) * 128.0 - 80.0, plain.lastOutput(kTruePeak) * 128.0 - 80.0, 0.01);
    EXPECT_NEAR(plain.lastOutput(kTruePeak) * 128.0 - 80.0, click, 0.1);
    EXPECT_EQ(session.lastOutput(kTruePeakOver), plain.lastOutput(kTruePeakOver));
    plain.teardown();
}

} // namespace
} // namespace metertest

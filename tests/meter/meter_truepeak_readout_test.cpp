// Read-outs in blocks without samples. While the host plays, the programme goes on: such a read-out
// adds nothing. Where the host has stopped, or gives no transport, the last samples count as silence
// after them would carry them through the true peak's filter, the peak stays shown when the host
// plays on, and a reset there starts afresh. Whatever the transport, what is shown never falls
// between resets, and the audio that follows is measured as if no read-out had come.
#include "tests/meter/meter_fixture.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace metertest {
namespace {

using TruePeakReadOutTest = BundleTest;

constexpr double kRate = 48000.0, kTau = 6.283185307179586, kPi = kTau / 2.0;
constexpr int kBlock = 512;
constexpr uint32 kIntegrated = 3, kResetLoudness = 4, kResetTruePeak = 7, kMomentaryMax = 8, kShortTermMax = 9,
                 kTruePeak = 11, kTruePeakOver = 46;

double dB(double normalized)
{
    return normalized * 128.0 - 80.0;
}

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

// Blocks straight into the processor on the test's own thread, so that a read-out in every block
// costs no round trip to the host's audio thread; the values of each read-out as it wrote them.
class Direct
{
public:
    explicit Direct(Session& s) : session(s), b(2, kBlock)
    {
        b.data.processMode = kOffline;
        b.data.processContext = &b.ctx;
    }
    enum Transport
    {
        kStopped,
        kPlayingOn,
        kNone
    };
    // n samples of `s` from `pos` (none: an empty block); with `readOut`, the values it wrote.
    void block(const Stereo* s, std::size_t pos, int n, Transport transport, bool readOut)
    {
        b.inChanges.clear();
        b.outChanges.clear();
        for (int c = 0; c < 2 && s; ++c)
            std::copy_n((c ? s->r : s->l).data() + pos, n, b.in[static_cast<std::size_t>(c)].data());
        b.data.numSamples = n;
        b.ctx = ProcessContext{};
        b.ctx.state = transport == kPlayingOn ? static_cast<uint32>(kPlaying) : 0u;
        b.ctx.sampleRate = kRate;
        b.data.processContext = transport == kNone ? nullptr : &b.ctx;
        if (readOut)
            session.requestData();
        ASSERT_EQ(session.processor()->process(b.data), kResultOk);
        for (int32 i = 0; i < b.outChanges.getParameterCount(); ++i) {
            HostParamQueue* q = b.outChanges.queue(i);
            int32 offset = 0;
            double v = 0.0;
            if (q->getPointCount() > 0 && q->getPoint(q->getPointCount() - 1, offset, v) == kResultOk)
                values[q->getParameterId()] = v;
        }
    }
    std::map<uint32, double> values;

private:
    Session& session;
    RawBlock b;
};

// True peak in dB, TP-Over, and the loudness rows.
struct Reading
{
    double truePeak, over, integrated, momentaryMax, shortTermMax;
    explicit Reading(std::map<uint32, double>& v)
    : truePeak(dB(v[kTruePeak])), over(v[kTruePeakOver]), integrated(v[kIntegrated]), momentaryMax(v[kMomentaryMax]),
      shortTermMax(v[kShortTermMax])
    {}
};

TEST_F(TruePeakReadOutTest, ReadOutsInEmptyBlocksNeverFallAndPlayingOnesLeaveTheEndAsOneReadOut)
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
    // The final reading, and every one shown before it.
    auto measure = [&](const Stereo& s, int every, Direct::Transport transport, std::vector<Reading>* shown) {
        setupStereo(kBlock, kRate);
        Direct host(session);
        std::size_t blocks = 0;
        for (std::size_t pos = 0; pos < s.size(); pos += kBlock) {
            host.block(&s, pos, static_cast<int>(std::min<std::size_t>(kBlock, s.size() - pos)), Direct::kPlayingOn,
                       false);
            if (every > 0 && ++blocks % static_cast<std::size_t>(every) == 0) {
                host.block(nullptr, 0, 0, transport, true);
                if (shown)
                    shown->emplace_back(host.values);
            }
        }
        host.block(nullptr, 0, 0, Direct::kStopped, true);
        const Reading r(host.values);
        session.teardown();
        std::string error;
        EXPECT_TRUE(session.load(error) && session.create(error)) << error;
        return r;
    };
    for (const auto& [name, signal] : signals) {
        SCOPED_TRACE(name);
        const Reading once = measure(signal, 0, Direct::kStopped, nullptr);
        for (int every : {1, 3, 7})
            for (Direct::Transport transport : {Direct::kPlayingOn, Direct::kStopped, Direct::kNone}) {
                SCOPED_TRACE("a read-out every " + std::to_string(every) + " blocks, transport " +
                             std::to_string(transport));
                std::vector<Reading> shown;
                const Reading r = measure(signal, every, transport, &shown);
                // Ends inside the programme count their peaks; the loudness never sees them.
                if (transport == Direct::kPlayingOn) {
                    EXPECT_EQ(r.truePeak, once.truePeak);
                    EXPECT_EQ(r.over, once.over);
                } else {
                    EXPECT_GE(r.truePeak, once.truePeak);
                    EXPECT_GE(r.over, once.over);
                }
                EXPECT_EQ(r.integrated, once.integrated);
                EXPECT_EQ(r.shortTermMax, once.shortTermMax);
                // Maxima only rise between resets, and an over stays off for a programme that has none.
                for (std::size_t k = 0; k < shown.size(); ++k) {
                    const Reading& now = shown[k];
                    EXPECT_LE(now.truePeak, r.truePeak) << k;
                    EXPECT_LE(now.over, r.over) << k;
                    if (k == 0)
                        continue;
                    const Reading& before = shown[k - 1];
                    EXPECT_GE(now.truePeak, before.truePeak) << k;
                    EXPECT_GE(now.over, before.over) << k;
                    EXPECT_GE(now.momentaryMax, before.momentaryMax) << k;
                    EXPECT_GE(now.shortTermMax, before.shortTermMax) << k;
                }
            }
    }
}

// A second of a quiet tone, some samples of 0.01, and a click of 0.95 in the last sample, whose
// peak the filter gives only after it.
Stereo clickAtTheEnd()
{
    Stereo a = sine(1.0, kRate, 1000.0, 0.05);
    a.l.resize(a.size() + 37, 0.01f);
    a.r.resize(a.l.size(), 0.01f);
    a.l.back() = 0.95f;
    return a;
}

void feedAll(Session& s, const Stereo& x)
{
    const float* in[2] = {x.l.data(), x.r.data()};
    ASSERT_EQ(s.processStretch(in, static_cast<std::int64_t>(x.size())), kResultOk);
}

// The 4-times oversampled peak in double precision: zeros stuffed between the samples, and the
// windowed-sinc low pass (81 taps, Blackman window) designed here. Samples end the programme: the
// filter's outputs for the silence after them count.
double referenceTruePeak(std::vector<float> x)
{
    constexpr int kTaps = 81, kCentre = 40;
    double taps[kTaps];
    for (int n = 0; n < kTaps; ++n) {
        const double arg = kPi * static_cast<double>(n - kCentre) / 4.0;
        const double sinc = n == kCentre ? 1.0 : std::sin(arg) / arg;
        const double w = kTau * static_cast<double>(n) / 80.0;
        taps[n] = sinc * (0.42 - 0.5 * std::cos(w) + 0.08 * std::cos(2.0 * w));
    }
    x.resize(x.size() + kTaps / 4 + 1, 0.0f);
    double peak = 0.0;
    for (std::size_t m = 0; m < 4 * x.size(); ++m) {
        double y = 0.0;
        for (std::size_t k = m % 4; k < kTaps && k <= m; k += 4)
            y += taps[k] * static_cast<double>(x[(m - k) / 4]);
        peak = std::max(peak, std::fabs(y));
    }
    return 20.0 * std::log10(peak);
}

// While the host plays, the click is not shown before samples follow it; at the end it is, once
// however often read. A reset after the end, whether it comes in a block of its own or in the final
// read-out's, empties the readings, and the next audio reads as itself, TP-Over off, even when it is
// shorter than the filter's delay line.
TEST_F(TruePeakReadOutTest, AClickInTheLastSampleCountsAtTheEndAndAResetThereStartsAfresh)
{
    const double click = 20.0 * std::log10(0.95);
    const Stereo a = clickAtTheEnd();
    for (std::size_t next : {4800u, 10u})
        for (bool resetInItsOwnBlock : {true, false}) {
            SCOPED_TRACE(std::to_string(next) + " samples next, " +
                         (resetInItsOwnBlock ? "reset in a block of its own" : "reset in the final read-out's block"));
            const Stereo b = sine(static_cast<double>(next) / kRate, kRate, 1000.0, 0.05, 1.0);
            setupStereo(kBlock, kRate);
            feedAll(session, a);
            for (int i = 0; i < 2; ++i) {
                ASSERT_TRUE(session.readOut(nullptr, true));
                EXPECT_LT(dB(session.lastOutput(kTruePeak)), -20.0) << i;
                EXPECT_EQ(session.lastOutput(kTruePeakOver), 0.0) << i;
            }
            if (resetInItsOwnBlock) {
                for (int i = 0; i < 2; ++i) {
                    ASSERT_TRUE(session.readOut());
                    EXPECT_NEAR(dB(session.lastOutput(kTruePeak)), click, 0.1) << i;
                    EXPECT_EQ(session.lastOutput(kTruePeakOver), 1.0) << i;
                }
                session.setParameter(kResetTruePeak, 1.0);
                ASSERT_EQ(session.processBlock(nullptr, 0), kResultOk);
            } else {
                session.setParameter(kResetLoudness, 1.0);
            }
            for (int i = 0; i < 2; ++i) {
                ASSERT_TRUE(session.readOut());
                EXPECT_EQ(dB(session.lastOutput(kTruePeak)), -80.0) << i;
                EXPECT_EQ(session.lastOutput(kTruePeakOver), 0.0) << i;
            }
            feedAll(session, b);
            ASSERT_TRUE(session.readOut());
            EXPECT_NEAR(dB(session.lastOutput(kTruePeak)), std::max(referenceTruePeak(b.l), referenceTruePeak(b.r)),
                        0.01);
            EXPECT_EQ(session.lastOutput(kTruePeakOver), 0.0);
            session.teardown();
            std::string error;
            ASSERT_TRUE(session.load(error) && session.create(error)) << error;
        }
}

// In real time too, the end counts the inter-sample peak of the last samples, at every block size.
TEST_F(TruePeakReadOutTest, InRealTimeTheEndCountsTheLastSamplesPeak)
{
    for (int block : {1, 64, 512, 4096})
        for (std::size_t fromEnd : {0u, 5u, 10u}) {
            SCOPED_TRACE("block " + std::to_string(block) + ", click " + std::to_string(fromEnd) +
                         " samples from the end");
            Stereo x = sine(0.05, kRate, 1000.0, 0.05);
            x.l[x.size() - 1 - fromEnd] = 0.95f;
            session.processMode = kRealtime;
            setupStereo(block, kRate);
            feedAll(session, x);
            ASSERT_TRUE(session.readOut());
            EXPECT_NEAR(dB(session.lastOutput(kTruePeak)), referenceTruePeak(x.l), 0.01);
            EXPECT_EQ(session.lastOutput(kTruePeakOver), 1.0);
            session.teardown();
            std::string error;
            ASSERT_TRUE(session.load(error) && session.create(error)) << error;
        }
}

// A reset while the host plays leaves the filter running: the click rings into the next samples
// and counts after the reset, as in a host that never read out.
TEST_F(TruePeakReadOutTest, AResetWhilePlayingLeavesTheFilterAsIfNoReadOutHadCome)
{
    const Stereo a = clickAtTheEnd(), b = sine(0.3, kRate, 1000.0, 0.05);
    Session plain{NORRIK_BUNDLE_PATH};
    std::string error;
    ASSERT_TRUE(plain.load(error) && plain.create(error) && plain.setup(kRate, 2, kBlock, error)) << error;
    setupStereo(kBlock, kRate);
    for (Session* s : {&session, &plain})
        feedAll(*s, a);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(session.readOut(nullptr, true));
    for (Session* s : {&session, &plain}) {
        s->setParameter(kResetTruePeak, 1.0);
        feedAll(*s, b);
        ASSERT_TRUE(s->readOut());
    }
    EXPECT_EQ(session.lastOutput(kTruePeak), plain.lastOutput(kTruePeak));
    EXPECT_NEAR(dB(plain.lastOutput(kTruePeak)), 20.0 * std::log10(0.95), 0.1);
    EXPECT_EQ(session.lastOutput(kTruePeakOver), 1.0);
    plain.teardown();
}

// A click that ends two samples before a block boundary, then blocks the host flags as silent: a
// read-out while playing, in the pause, shows the click's inter-sample peak as the reference does.
TEST_F(TruePeakReadOutTest, APeakJustBeforeFlaggedSilenceShowsInThePause)
{
    for (int block : {512, 100}) {
        SCOPED_TRACE("block " + std::to_string(block));
        const std::size_t sound = static_cast<std::size_t>(block) * (24000 / static_cast<std::size_t>(block));
        Stereo x = sine(static_cast<double>(sound) / kRate, kRate, 1000.0, 0.05);
        // Two equal samples: their peak lies between them, above either.
        x.l[sound - 4] = x.l[sound - 3] = 0.8f;
        x.l[sound - 2] = x.l[sound - 1] = x.r[sound - 2] = x.r[sound - 1] = 0.0f;
        x.l.resize(sound + static_cast<std::size_t>(4 * block), 0.0f);
        x.r.resize(x.l.size(), 0.0f);
        const double want = std::max(referenceTruePeak(x.l), referenceTruePeak(x.r));
        ASSERT_GT(want, 20.0 * std::log10(0.8) + 1.0);
        setupStereo(block, kRate);
        feedAll(session, x);
        ASSERT_TRUE(session.readOut(nullptr, true));
        EXPECT_NEAR(dB(session.lastOutput(kTruePeak)), want, 0.01);
        EXPECT_EQ(session.lastOutput(kTruePeakOver), 1.0);
        ASSERT_TRUE(session.readOut());
        EXPECT_NEAR(dB(session.lastOutput(kTruePeak)), want, 0.01);
        session.teardown();
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error)) << error;
    }
}

} // namespace
} // namespace metertest

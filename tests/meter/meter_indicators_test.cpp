// The indicators a user reads beside the loudness: IL-Over at its -22 threshold (in both scales)
// and the elapsed time after a reset.
#include "meter/bigmeterqel.h"
#include "tests/common/loudness_reference.h"
#include "tests/meter/meter_fixture.h"

#include <complex>

namespace metertest {
namespace {

constexpr double kRate = 48000.0;

// The gain of the meter's own K-weighting at `freq`, from its design formulas.
double kWeightingGain(double freq)
{
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * freq / kRate); // one sample's delay
    double gain = 1.0;
    for (const loudref::Biquad& f : {loudref::shelfAt(kRate), loudref::highPassAt(kRate)})
        gain *= std::abs((f.b0 + f.b1 * z + f.b2 * z * z) / (1.0 + f.a1 * z + f.a2 * z * z));
    return gain;
}

// A stereo 1 kHz sine that reads `lufs`: each channel's weighted mean square is (a g)^2 / 2.
Stereo toneAt(double lufs, double seconds)
{
    return sine(seconds, kRate, 1000.0, std::pow(10.0, (lufs + 0.691) / 20.0) / kWeightingGain(1000.0));
}

class IndicatorTest : public BundleTest
{
protected:
    // Resets the loudness, meters three seconds of a tone at `lufs` and answers IL-Over.
    double overAfter(double lufs, double shown)
    {
        session.setParameter(4, 1.0);
        feed(toneAt(lufs, 3.0), 480);
        EXPECT_TRUE(session.readOut());
        EXPECT_NEAR(session.lastOutput(3), meterNorm(shown), 0.02 / 128.0) << lufs;
        return session.lastOutput(47);
    }
    std::u16string lastTime()
    {
        auto times = messages("time");
        return times.empty() ? u"" : std::get<std::u16string>(times.back().attributes.at("time"));
    }
};

// Half a LU either side of -22 LUFS integrated, and of -22 + 23 in the LU scale.
TEST_F(IndicatorTest, IntegratedOverTurnsOnAboveMinus22InBothScales)
{
    setupStereo(480);
    EXPECT_EQ(overAfter(-21.5, -21.5), 1.0);
    EXPECT_EQ(overAfter(-22.5, -22.5), 0.0);
    session.setParameter(48, 1.0);
    EXPECT_EQ(overAfter(-21.5, 1.5), 1.0);
    EXPECT_EQ(overAfter(-22.5, 0.5), 0.0);
}

// A reset clears the elapsed time: a second later it reads one second.
TEST_F(IndicatorTest, TimeCountsFromAReset)
{
    setupStereo(480);
    feed(sine(2.5, kRate, 440.0, 0.1), 480);
    // The reset comes with the first block of the second it counts.
    session.setParameter(4, 1.0);
    feed(sine(1.0, kRate, 440.0, 0.1), 480);
    session.requestData();
    EXPECT_EQ(lastTime(), u"00:00:01");
}

// Minutes and hours of the elapsed time: past a minute through the bundle (digital silence the
// host flags, at the lowest rate), past an hour by the formatter itself (two hours through the
// bundle take seconds under the thread sanitizer).
TEST_F(IndicatorTest, TimeReadsMinutesAndHours)
{
    const std::int64_t rate = 8000;
    setupStereo(8192, static_cast<double>(rate));
    EXPECT_EQ(session.processStretch(nullptr, 120 * rate), kResultOk);
    session.requestData();
    EXPECT_EQ(lastTime(), u"00:02:00");
    char16_t text[16];
    Norrik::BigMeterQel::formatTime(59 * 60 + 59, text, 16);
    EXPECT_EQ(std::u16string(text), u"00:59:59");
    Norrik::BigMeterQel::formatTime(2 * 3600 + 2 * 60, text, 16);
    EXPECT_EQ(std::u16string(text), u"02:02:00");
}

} // namespace
} // namespace metertest

// The indicators a user reads beside the loudness: TP-Over and IL-Over either side of their
// thresholds (IL-Over in both scales) and the elapsed time after a reset.
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
    std::u16string lastTime()
    {
        auto times = messages("time");
        return times.empty() ? u"" : std::get<std::u16string>(times.back().attributes().at("time"));
    }
};

// Each flag a twentieth of a dB either side of its threshold, IL-Over in both scales (the LU scale
// reads 23 above LUFS). A 100 Hz sine's true peak is its amplitude: the oversampling filter
// reproduces it within 0.01 dB.
TEST_F(IndicatorTest, OverFlagsTurnOnJustAboveTheirThresholds)
{
    constexpr uint32 kIntegrated = 3, kResetLoudness = 4, kTruePeak = 11, kTruePeakOver = 46, kIntegratedOver = 47,
                     kLuScale = 48;
    struct Row
    {
        uint32 flag;
        double level; // dBTP or LUFS
        bool luScale;
        double over;
    };
    const Row rows[] = {{kTruePeakOver, -1.05, false, 0.0},    {kTruePeakOver, -0.95, false, 1.0},
                        {kIntegratedOver, -22.05, false, 0.0}, {kIntegratedOver, -21.95, false, 1.0},
                        {kIntegratedOver, -22.05, true, 0.0},  {kIntegratedOver, -21.95, true, 1.0}};
    setupStereo(480);
    for (const Row& row : rows) {
        const bool peak = row.flag == kTruePeakOver;
        session.setParameter(kLuScale, row.luScale ? 1.0 : 0.0);
        session.setParameter(kResetLoudness, 1.0);
        feed(peak ? sine(3.0, kRate, 100.0, std::pow(10.0, row.level / 20.0)) : toneAt(row.level, 3.0), 480);
        ASSERT_TRUE(session.readOut());
        const double shown = peak ? session.lastOutput(kTruePeak) : session.lastOutput(kIntegrated);
        EXPECT_NEAR(shown, meterNorm(row.level + (row.luScale ? 23.0 : 0.0)), (peak ? 0.01 : 0.02) / 128.0)
            << row.level;
        EXPECT_EQ(session.lastOutput(row.flag), row.over) << row.flag << " at " << row.level;
    }
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

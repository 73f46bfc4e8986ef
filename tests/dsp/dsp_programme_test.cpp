// A short stereo programme through the whole meter, against a plain double-precision computation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp_support.h"

namespace {

constexpr double kRate = 44100.0;

// One bilinear biquad stage whose denominator is 1 + K/Q + K^2 (normalised), run in place.
void stage(std::vector<double>& v, double K, double Q, std::array<double, 3> b)
{
    const double a0 = 1.0 + K / Q + K * K, a1 = 2.0 * (K * K - 1.0) / a0, a2 = (1.0 - K / Q + K * K) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& s : v) {
        const double y = b[0] * s + b[1] * x1 + b[2] * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = s, y2 = y1, y1 = y, s = y;
    }
}

// K-weighting: high shelf then high pass, from their analogue prototypes at `fs`.
std::vector<double> kWeighted(const std::vector<float>& x, double fs)
{
    std::vector<double> v(x.begin(), x.end());
    const double K = std::tan(M_PI * 1681.974450955533 / fs), Q = 0.7071752369554196, a0 = 1.0 + K / Q + K * K;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0), vb = std::pow(vh, 0.4996667741545416);
    stage(v, K, Q, {(vh + vb * K / Q + K * K) / a0, 2.0 * (K * K - vh) / a0, (vh - vb * K / Q + K * K) / a0});
    stage(v, std::tan(M_PI * 38.13547087602444 / fs), 0.5003270373238773, {1.0, -2.0, 1.0});
    return v;
}

// Loudness of every window of `seconds`, hop 100 ms, summed over both channels.
std::vector<double> windows(const std::vector<double> y[2], double seconds)
{
    std::vector<double> out;
    const size_t len = static_cast<size_t>(kRate * seconds);
    for (size_t start = 0; start + len <= y[0].size(); start += static_cast<size_t>(kRate / 10)) {
        double z = 0;
        for (int c = 0; c < 2; ++c)
            for (size_t i = start; i < start + len; ++i)
                z += y[c][i] * y[c][i] / static_cast<double>(len);
        out.push_back(-0.691 + 10.0 * std::log10(z));
    }
    return out;
}

// Drops windows at or under -70 LUFS, then those `relative` LU under the rest's mean energy;
// answers the mean loudness of what is left.
double gate(std::vector<double>& l, double relative)
{
    auto mean = [&] {
        double e = 0;
        for (double x : l)
            e += std::pow(10.0, (x + 0.691) / 10.0) / static_cast<double>(l.size());
        return -0.691 + 10.0 * std::log10(e);
    };
    std::erase_if(l, [](double x) { return x <= -70.0; });
    std::erase_if(l, [threshold = mean() + relative](double x) { return x <= threshold; });
    return mean();
}

} // namespace

TEST(DspProgramme, ReadingsMatchAnIndependentComputation)
{
    // 4 s loud then 6 s 12 dB softer (10 ms fade): left 1 kHz, right fs/4 at 45 degrees, whose
    // samples stay at 0.707 of its crest while its true peak is the crest itself.
    const size_t n = static_cast<size_t>(kRate) * 10;
    dsptest::Signal in(2, n), out(2, n);
    for (size_t i = 0; i < n; ++i) {
        const double fade = std::clamp((static_cast<double>(i) - 4.0 * kRate) / 441.0, 0.0, 1.0);
        const double gain = std::pow(10.0, 0.3 * std::cos(M_PI * fade) - 0.3); // 0 dB to -12 dB
        in.data[0][i] = static_cast<float>(gain * 0.2 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / kRate));
        in.data[1][i] = static_cast<float>(gain * 0.3 * std::sin(M_PI / 2.0 * static_cast<double>(i) + M_PI / 4.0));
    }
    const auto& table = dsptest::processorTable();
    BigMeterAcc acc(1024, kRate, table.data(), static_cast<DSP::int32>(table.size()), true);
    ASSERT_EQ(acc.setChannelMasks(3, 3, 0), 0);
    acc.setParameter(kMeterLoudnessOn, 1.0);
    for (size_t pos = 0; pos < n; pos += 1024)
        acc.process(in.at(pos), out.at(pos), static_cast<DSP::int32>(std::min<size_t>(1024, n - pos)));
    dsptest::waitUnloaded(acc);
    ASSERT_TRUE(acc.getMeter()->drain());

    const std::vector<double> y[2] = {kWeighted(in.data[0], kRate), kWeighted(in.data[1], kRate)};
    std::vector<double> blocks = windows(y, 0.4), shortTerm = windows(y, 3.0);
    const double integrated = gate(blocks, -10.0);
    gate(shortTerm, -20.0);
    std::sort(shortTerm.begin(), shortTerm.end());
    auto point = [&](double p) { return shortTerm[static_cast<size_t>(std::lround(p * (shortTerm.size() - 1)))]; };

    // The engine filters and sums in single precision: a few thousandths of a LU over 10 s.
    EXPECT_NEAR(acc.getValue(kMeterIntegrated), integrated, 0.05);
    // Both range points lie on a plateau of the short-term loudness, so any percentile rule agrees.
    EXPECT_NEAR(point(0.95) - point(0.10), 12.0, 0.01);
    EXPECT_NEAR(acc.getValue(kMeterRange), point(0.95) - point(0.10), 0.05);
    // True peak: the right channel's crest; the 4x interpolator's pass band ripple stays inside 0.2 dB.
    EXPECT_NEAR(20.0 * std::log10(acc.getValue(kMeterTruePeak)), 20.0 * std::log10(0.3), 0.2);
}

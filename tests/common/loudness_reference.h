// Loudness of a whole programme, computed plainly in double precision from the published
// definitions: K-weighted mean squares of 0.4-s windows every 0.1 s and 3-s windows every second,
// the absolute and relative gates, and the 10 % and 95 % points of the short-term distribution.
// The K-weighting is the meter's own design, from its formulas; the windows fall on the meter's
// grid (whole samples from the programme's start).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace loudref {

struct Biquad
{
    double b0, b1, b2, a1, a2;
};

// The meter's high shelf and high pass at `fs`, unrounded.
inline Biquad shelfAt(double fs)
{
    const double A = std::pow(10.0, 0.1), w = 2.0 * M_PI * 1200.0 / fs, c = std::cos(w), s = std::sin(w);
    const double P = (A + 1.0) - (A - 1.0) * c, N = (A + 1.0) + (A - 1.0) * c, r = 2.0 * std::sqrt(A);
    const double d = r * 0.734638611198489 * s, e = r * 0.681566333438187 * s, a0 = P + d;
    return {(N + e) * A / a0, -2.0 * A * ((A - 1.0) + (A + 1.0) * c) / a0, (N - e) * A / a0,
            2.0 * ((A - 1.0) - (A + 1.0) * c) / a0, (P - d) / a0};
}

inline Biquad highPassAt(double fs)
{
    const double w = 2.0 * M_PI * 38.0 / fs, c = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * (9.5 * std::pow(0.052631578945, 4.0) + 0.5)), g = 1.0 / (1.0 + alpha);
    return {(1.0 + c) * 0.5 * g, -(1.0 + c) * g, (1.0 + c) * 0.5 * g, -2.0 * c * g, (1.0 - alpha) * g};
}

// Squares of the K-weighted channel.
inline std::vector<double> weightedSquares(const std::vector<float>& x, double fs)
{
    std::vector<double> y(x.begin(), x.end());
    for (const Biquad& f : {shelfAt(fs), highPassAt(fs)}) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : y) {
            const double out = f.b0 * v + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
            x2 = x1, x1 = v, y2 = y1, y1 = out, v = out;
        }
    }
    for (double& v : y)
        v *= v;
    return y;
}

inline double lufs(double meanSquare)
{
    return -0.691 + 10.0 * std::log10(meanSquare);
}

// Weighted mean squares of every whole window of `length` samples starting at 0, `hop` apart.
inline std::vector<double> windowEnergies(const std::vector<std::vector<double>>& squares,
                                          const std::vector<double>& weights, std::int64_t length, std::int64_t hop)
{
    std::vector<double> out;
    const std::int64_t n = static_cast<std::int64_t>(squares[0].size());
    for (std::int64_t start = 0; start + length <= n; start += hop) {
        double z = 0.0;
        for (size_t c = 0; c < squares.size(); ++c) {
            double sum = 0.0;
            for (std::int64_t i = start; i < start + length; ++i)
                sum += squares[c][static_cast<size_t>(i)];
            z += weights[c] * sum;
        }
        out.push_back(z / static_cast<double>(length));
    }
    return out;
}

// The windows above the absolute gate (-70 LUFS), then those above the relative gate `relative` LU
// under their mean energy.
inline std::vector<double> gated(const std::vector<double>& energies, double relative)
{
    std::vector<double> kept;
    for (double z : energies)
        if (z > 0.0 && lufs(z) > -70.0)
            kept.push_back(z);
    if (kept.empty())
        return kept;
    double mean = 0.0;
    for (double z : kept)
        mean += z / static_cast<double>(kept.size());
    const double gate = mean * std::pow(10.0, relative / 10.0);
    std::erase_if(kept, [gate](double z) { return !(z > gate); });
    return kept;
}

inline double integratedOf(const std::vector<double>& momentary)
{
    const std::vector<double> kept = gated(momentary, -10.0);
    if (kept.empty())
        return NAN;
    double mean = 0.0;
    for (double z : kept)
        mean += z / static_cast<double>(kept.size());
    return lufs(mean);
}

// From the 10 % to the 95 % point of the gated short-term distribution, each point the window of
// rank round(p (m - 1)) among m in ascending order, the rounding taken in single precision.
inline double rangeOf(const std::vector<double>& shortTerm)
{
    std::vector<double> kept = gated(shortTerm, -20.0);
    if (kept.empty())
        return 0.0;
    std::sort(kept.begin(), kept.end());
    const float x = static_cast<float>(kept.size() - 1);
    const size_t lo = static_cast<size_t>(x * 0.1f + 0.5f), hi = static_cast<size_t>(x * 0.95f + 0.5f);
    return lufs(kept[hi]) - lufs(kept[lo]);
}

inline double maxOf(const std::vector<double>& energies)
{
    double m = -INFINITY;
    for (double z : energies)
        if (z > 0.0)
            m = std::max(m, lufs(z));
    return m;
}

struct Readings
{
    double integrated; // NAN when no window passes the gates
    double range;
    double momentaryMax; // -inf before the first window with energy
    double shortTermMax;
};

// Every window of a programme, one vector of samples per channel, computed once: the readings
// after its first `frames` samples are those of the windows that end within them.
class Programme
{
public:
    Programme(const std::vector<std::vector<float>>& channels, const std::vector<double>& weights, double fs)
    : frames_(channels.empty() ? 0 : static_cast<std::int64_t>(channels[0].size())),
      w(static_cast<std::int64_t>(fs * 0.4000000059604645)),
      hopM(w - static_cast<std::int64_t>(fs * 0.4000000059604645 * 0.75)), ws(static_cast<std::int64_t>(fs * 3.0)),
      hopS(ws - static_cast<std::int64_t>(fs * 2.0))
    {
        std::vector<std::vector<double>> squares;
        for (const auto& x : channels)
            squares.push_back(weightedSquares(x, fs));
        momentary = windowEnergies(squares, weights, w, hopM);
        shortTerm = windowEnergies(squares, weights, ws, hopS);
    }
    Readings upTo(std::int64_t frames) const
    {
        const std::vector<double> m = first(momentary, frames, w, hopM), s = first(shortTerm, frames, ws, hopS);
        return {integratedOf(m), rangeOf(s), maxOf(m), maxOf(s)};
    }
    Readings whole() const { return upTo(frames_); }

private:
    static std::vector<double> first(const std::vector<double>& all, std::int64_t frames, std::int64_t length,
                                     std::int64_t hop)
    {
        const std::int64_t n = std::min<std::int64_t>(frames < length ? 0 : (frames - length) / hop + 1,
                                                      static_cast<std::int64_t>(all.size()));
        return {all.begin(), all.begin() + n};
    }
    std::int64_t frames_, w, hopM, ws, hopS;
    std::vector<double> momentary, shortTerm;
};

// The readings of a whole programme.
inline Readings measure(const std::vector<std::vector<float>>& channels, const std::vector<double>& weights, double fs)
{
    return Programme(channels, weights, fs).whole();
}

} // namespace loudref

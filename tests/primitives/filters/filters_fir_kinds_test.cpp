// The FIR kinds that no set-up call makes (multi-rate, block, resampler), on states laid out by
// hand, and the complex kernels: every variant against closed-form double references.
#include "filters_test_util.h"

using namespace filters_test;

namespace {

// A multi-rate filter: its parameters and the state that holds them.
struct MultiRate
{
    int mode, U, D, L, phaseLen, directLimit, head;
    std::vector<Ipp32s> ix;
    std::vector<float> taps, delay;
    FirState32f s{};

    void makeState()
    {
        taps = noise(4 * U * std::max(L, phaseLen) * 2, 7u + mode, 0.5f);
        delay.assign(L + directLimit + 64, 0.0f);
        s = FirState32f{};
        s.id = kFirIdMultiRate, s.mode = mode, s.upFactor = U, s.downFactor = D, s.delayLen = L;
        s.phaseLen = phaseLen, s.directLimit = directLimit, s.headCount = head, s.indexTable = ix.data();
        s.phaseTaps = taps.data(), s.delay = delay.data();
    }

    // Output n's window, from the closed forms of the three modes.
    double output(const std::vector<float>& stream, long n, long avail, bool truncated) const
    {
        const long P = 4L * U;
        long pos;
        const float* t;
        int stride = 1, count = L;
        if (mode == 1) {
            const long g = n / 4, gi = g % U, c = g / U;
            long cycle = ix[U], into = 0;
            for (int h = 0; h < U; ++h)
                cycle += ix[h], into += h <= gi ? ix[h] : 0;
            pos = c * cycle + into;
            t = taps.data() + gi * phaseLen * 4 + n % 4;
            stride = 4;
            count = phaseLen;
        } else if (mode == 2) {
            pos = ix[0] + n * (ix[1] - ix[0]);
            t = taps.data() + (L < 4 ? (n % 4) * L : 0);
        } else {
            pos = (n / P) * ix[P] + ix[n % P];
            t = taps.data() + (n % P) * L;
        }
        if (truncated)
            count = static_cast<int>(std::max(0L, std::min<long>(count, avail - pos)));
        double acc = 0;
        for (int k = 0; k < count; ++k)
            acc += double(t[k * stride]) * stream[pos + k];
        return acc;
    }

    // One call: outputs past the kernel's whole cycles stop their sums at the end of the samples
    // (modes 1 and 3); the history becomes the last L samples.
    std::vector<double> reference(std::vector<float>& history, const std::vector<float>& x) const
    {
        std::vector<float> stream = history;
        stream.insert(stream.end(), x.begin(), x.end());
        const long inputs = static_cast<long>(x.size()), outputs = inputs / D * U, P = 4L * U;
        const bool shortCall = mode == 2 ? inputs < directLimit : inputs <= directLimit;
        long firstOne = outputs - outputs % P;
        if (!shortCall) {
            const long rem = outputs - head, whole = rem - rem % P;
            firstOne = head + (whole > 0 ? whole - P : whole);
        }
        std::vector<double> y(outputs);
        for (long n = 0; n < outputs; ++n)
            y[n] = output(stream, n, L + inputs, mode != 2 && n >= firstOne);
        history.assign(stream.end() - L, stream.end());
        return y;
    }
};

} // namespace

TEST(filters_fir_kinds, MultiRateModesAgainstTheirClosedForms)
{
    // Mode 3 interpolates by 2 with windows that run past the end of the samples in the last,
    // partial cycle; mode 2 decimates by 2 with 3-tap rows per output lane; mode 1 runs groups of
    // four outputs whose last windows run past the end too.
    const std::vector<MultiRate> filters = {
        {3, 2, 1, 5, 0, 12, 16, {0, 1, 2, 3, 4, 4, 4, 4, 4}, {}, {}},
        {2, 1, 2, 3, 0, 8, 2, {2, 4}, {}, {}},
        {1, 1, 1, 4, 6, 8, 4, {1, 3}, {}, {}},
    };
    const std::vector<int> calls = {1, 2, 3, 5, 6, 7, 8, 9, 13, 40, 41, 43, 100, 3, 4};
    for (const auto& api : kFir)
        for (MultiRate m : filters) {
            m.makeState();
            const std::vector<float> x = noise(2000, 3);
            std::vector<float> history(m.L, 0.0f);
            std::size_t pos = 0;
            for (int iters : calls) {
                const std::vector<float> in(x.begin() + pos, x.begin() + pos + iters * m.D);
                pos += in.size();
                const std::vector<double> ref = m.reference(history, in);
                std::vector<float> y(ref.size(), -99.0f);
                ASSERT_EQ(api.fir(in.data(), y.data(), iters, &m.s), 0);
                EXPECT_LT(relMaxError(y, ref), 1e-6) << api.name << " mode " << m.mode << " iters " << iters;
            }
            m.s.mode = 4;
            float y[8];
            EXPECT_EQ(api.fir(x.data(), y, 1, &m.s), ippStsContextMatchErr);
        }
}

TEST(filters_fir_kinds, BlockFirAndResamplerWithoutDelayLine)
{
    const std::vector<float> taps = noise(7, 4, 0.5f), x = noise(400, 5);
    for (const auto& api : kFir) {
        FirState32f s{};
        s.id = kFirIdDirect;
        s.taps = const_cast<float*>(taps.data());
        for (int T : {1, 3, 7}) {
            s.tapsLen = T;
            for (int n : {1, 3, 4, 6, 33}) {
                std::vector<float> y(n);
                ASSERT_EQ(api.fir(x.data(), y.data(), n, &s), 0);
                std::vector<double> ref(n);
                for (int i = 0; i < n; ++i)
                    for (int j = 0; j < T; ++j)
                        ref[i] += double(taps[j]) * x[i + j];
                EXPECT_LT(relMaxError(y, ref), 1e-6) << api.name << " T " << T << " n " << n;
            }
        }
        // Resampler: output m at time startTime + m D; the input index is the number of steps of U
        // that the phase counter needs to reach that time.
        s.id = kFirIdPolyphase;
        s.tapsLen = 7;
        for (auto [U, D, phase, time] : {std::array<int, 4>{1, 1, 0, 0}, {3, 2, 0, 0}, {2, 3, 1, 0}, {4, 3, 2, 5}}) {
            s.upFactor = U, s.downFactor = D, s.startPhase = phase, s.startTime = time;
            const int iters = 50;
            std::vector<double> ref;
            for (long t = time; t < long(iters) * U * D; t += D) {
                const long i = t > phase ? (t - phase + U - 1) / U : 0, ph = phase + i * U - t;
                double acc = 0;
                for (long k = 0; ph + k * U < 7; ++k)
                    acc += double(taps[ph + k * U]) * x[i + k];
                ref.push_back(acc);
            }
            std::vector<float> y(ref.size() + 1, -7.0f);
            ASSERT_EQ(api.fir(x.data(), y.data(), iters, &s), 0);
            EXPECT_EQ(y.back(), -7.0f);
            y.pop_back();
            EXPECT_LT(relMaxError(y, ref), 1e-6) << api.name << " U " << U << " D " << D;
        }
    }
}

TEST(filters_fir_kinds, ComplexKernels)
{
    const int T = 5, n = 37;
    const std::vector<float> h = noise(2 * T, 8, 0.5f), xs = noise(2 * (n + 64), 9);
    const auto* x = reinterpret_cast<const Ipp32fc*>(xs.data());
    std::vector<float> packed;
    for (int j = 0; j < T; ++j)
        for (float v :
             {h[2 * j], h[2 * j], h[2 * j], h[2 * j], -h[2 * j + 1], h[2 * j + 1], -h[2 * j + 1], h[2 * j + 1]})
            packed.push_back(v);
    // Interpolating: two groups of 4 rows, each row T complex taps, as real and imaginary planes.
    const int groups = 2, E = 4 * groups, stride = T + 1;
    const std::vector<Ipp32s> ix = {0, 8, 0, 16, 8, 8, 0, 8, 24};
    const std::vector<float> rows = noise(2 * E * stride, 10, 0.5f);
    std::vector<float> planes(rows.size() * 2);
    for (int e = 0; e < E; ++e)
        for (int k = 0; k < T; ++k) {
            const float a = rows[2 * (e * stride + k)], b = rows[2 * (e * stride + k) + 1];
            const int at = 2 * (e * stride + k), im = 2 * E * stride;
            planes[at] = a, planes[at + 1] = -b, planes[im + at] = b, planes[im + at + 1] = a;
        }
    for (int v = 0; v < 3; ++v) {
        const auto idxC = VECTOR_VARIANTS(ownsidx_32fc)[v];
        std::vector<Ipp32fc> y(n);
        VECTOR_VARIANTS(ownFIRSR_32fc)[v](packed.data(), x, y.data(), n, T);
        std::vector<float> got;
        std::vector<double> ref;
        for (int i = 0; i < n; ++i) {
            std::complex<double> acc;
            for (int j = 0; j < T; ++j)
                acc += std::complex<double>(h[2 * j], h[2 * j + 1]) *
                       std::complex<double>(x[i + T - 1 - j].re, x[i + T - 1 - j].im);
            ref.insert(ref.end(), {acc.real(), acc.imag()});
            got.insert(got.end(), {y[i].re, y[i].im});
        }
        EXPECT_LT(relMaxError(got, ref), 1e-6) << v;
        got.clear(), ref.clear();
        long off = 3;
        for (int i = 0; i < 19; ++i) {
            off += ix[i % E] / 8;
            std::complex<double> acc;
            for (int k = 0; k < T; ++k) {
                const int at = 2 * ((i % E) * stride + k);
                acc +=
                    std::complex<double>(rows[at], rows[at + 1]) * std::complex<double>(x[off + k].re, x[off + k].im);
            }
            ref.insert(ref.end(), {acc.real(), acc.imag()});
            if (i % E == E - 1)
                off += ix[E] / 8;
        }
        EXPECT_EQ(idxC(planes.data(), x, y.data(), 19, ix.data(), groups, 3, T, stride), off) << v;
        for (int i = 0; i < 19; ++i)
            got.insert(got.end(), {y[i].re, y[i].im});
        EXPECT_LT(relMaxError(got, ref), 1e-6) << v;
        EXPECT_EQ(idxC(planes.data(), x, y.data(), 0, ix.data(), groups, 3, T, stride), 3);
    }
}

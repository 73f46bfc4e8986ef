// FIR: every variant against a double-precision convolution; direct and FFT paths; partitions;
// delay lines; tap layouts; status codes.
#include <climits>

#include "filters_test_util.h"

using namespace filters_test;

namespace {

std::vector<float> makeTaps(int T, unsigned seed)
{
    return noise(T, seed, 0.5f);
}

// y[n] = sum taps[j] x[n - j] in double; history[k] is x[-1 - k] (newest first).
std::vector<double> convolveDouble(const std::vector<float>& taps, const std::vector<float>& x,
                                   const std::vector<float>& history = {})
{
    const int T = static_cast<int>(taps.size());
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double acc = 0;
        for (int j = 0; j < T; ++j) {
            const long i = static_cast<long>(n) - j;
            const double v =
                i >= 0 ? x[i] : (static_cast<std::size_t>(-1 - i) < history.size() ? history[-1 - i] : 0.0);
            acc += taps[j] * v;
        }
        y[n] = acc;
    }
    return y;
}

// Absolute error bound for a float dot product of T terms of size up to 1 (inputs within +-1,
// taps within +-0.5), either summation order; the FFT path adds its transform rounding.
double tolerance(int T)
{
    return 2e-7 * T + 2e-6;
}

double maxAbsError(const std::vector<float>& a, const std::vector<double>& b)
{
    double e = 0;
    for (std::size_t i = 0; i < b.size(); ++i)
        e = std::max(e, std::fabs(a[i] - b[i]));
    return e;
}

FirState32f* make(const FirApi& api, const std::vector<float>& taps, const float* dly = nullptr)
{
    FirState32f* s = nullptr;
    EXPECT_EQ(api.initAlloc(&s, taps.data(), static_cast<int>(taps.size()), dly), 0);
    return s;
}

std::vector<float> runPartitioned(const FirApi& api, FirState32f* s, const std::vector<float>& x,
                                  const std::vector<int>& sizes)
{
    std::vector<float> y(x.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < x.size(); ++i) {
        const int n = std::min<int>(sizes[i % sizes.size()], static_cast<int>(x.size() - pos));
        EXPECT_EQ(api.fir(x.data() + pos, y.data() + pos, n, s), 0);
        pos += n;
    }
    return y;
}

std::vector<float> runFresh(const FirApi& api, const std::vector<float>& taps, const std::vector<float>& x,
                            const std::vector<int>& sizes)
{
    FirState32f* s = make(api, taps);
    std::vector<float> y = runPartitioned(api, s, x, sizes);
    api.free(s);
    return y;
}

const int kTapCounts[] = {1, 2, 3, 4, 5, 7, 8, 13, 31, 32, 33, 47, 63, 64, 65, 81, 127, 128, 200};

} // namespace

TEST(filters_fir, StepAndNoiseMatchTheDoubleConvolution)
{
    const std::vector<float> x = noise(3000, 21);
    const std::vector<float> step(3000, 1.0f);
    for (const auto& api : firVariants()) {
        for (int T : kTapCounts) {
            const std::vector<float> taps = makeTaps(T, 100 + T);
            for (int block : {3000, 511, 512, 97}) {
                EXPECT_LT(maxAbsError(runFresh(api, taps, x, {block}), convolveDouble(taps, x)), tolerance(T))
                    << api.name << " T " << T << " block " << block;
                EXPECT_LT(maxAbsError(runFresh(api, taps, step, {block}), convolveDouble(taps, step)), tolerance(T))
                    << api.name << " T " << T << " block " << block;
            }
        }
    }
}

TEST(filters_fir, BlockPartitionsGiveTheSameSignal)
{
    const std::vector<float> x = noise(12000, 23);
    for (const auto& api : firVariants()) {
        for (int T : {4, 33, 81, 128}) {
            const std::vector<float> taps = makeTaps(T, T);
            const std::vector<double> ref = convolveDouble(taps, x);
            const std::vector<float> whole = runFresh(api, taps, x, {12000});
            for (const std::vector<int>& parts : {std::vector<int>{1}, {7}, {512}, {4096}, {511, 512, 1, 3000, 5, 6}}) {
                const std::vector<float> y = runFresh(api, taps, x, parts);
                EXPECT_LT(maxAbsError(y, ref), tolerance(T)) << api.name << " T " << T << " block " << parts[0];
            }
        }
    }
}

TEST(filters_fir, DirectLimitEdgesMatchTheReference)
{
    // Calls of exactly directLimit and directLimit + 1 samples, at several tap counts.
    const std::vector<float> x = noise(400, 29);
    for (const auto& api : firVariants()) {
        for (int T : {1, 3, 4, 5, 8, 32, 33, 63}) {
            const std::vector<float> taps = makeTaps(T, T + 7);
            FirState32f* s = make(api, taps);
            const int lim = s->directLimit;
            EXPECT_EQ(lim, ((T + 3) & ~3) + 1);
            std::vector<float> y = runPartitioned(api, s, x, {lim, lim + 1, 1, lim - 1});
            api.free(s);
            EXPECT_LT(maxAbsError(y, convolveDouble(taps, x)), tolerance(T)) << api.name << " T " << T;
        }
    }
    FirState32f* s = nullptr;
    const float one = 1.0f, taps4[4] = {1, 2, 3, 4}, taps5[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(m7_ippsFIRInitAlloc_32f(&s, &one, 1, nullptr), 0);
    EXPECT_EQ(s->directLimit, 5);
    m7_ippsFIRFree_32f(s);
    ASSERT_EQ(m7_ippsFIRInitAlloc_32f(&s, taps4, 4, nullptr), 0);
    EXPECT_EQ(s->directLimit, 5);
    m7_ippsFIRFree_32f(s);
    ASSERT_EQ(m7_ippsFIRInitAlloc_32f(&s, taps5, 5, nullptr), 0);
    EXPECT_EQ(s->directLimit, 9);
    m7_ippsFIRFree_32f(s);
}

TEST(filters_fir, FftSizing)
{
    for (const auto& api : firVariants()) {
        for (auto [T, N] : {std::pair{63, -1}, {64, 256}, {81, 256}, {127, 256}, {128, 512}, {255, 512}, {256, 1024}}) {
            FirState32f* s = make(api, makeTaps(T, 1));
            EXPECT_EQ(s->fftLen, N) << api.name << " T " << T;
            EXPECT_EQ(s->tapsSpectrum == nullptr, N < 0);
            EXPECT_EQ(s->fftSpec == nullptr, N < 0);
            if (N > 0) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s->tapsSpectrum) % 16, 0u);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s->fftWork) % 16, 0u);
            }
            api.free(s);
        }
    }
}

TEST(filters_fir, FftPathRunsFor512AndMoreDirectPathBelow)
{
    // Proof of the path: with the taps' spectrum zeroed, the FFT path yields zeros while the
    // direct path still filters.
    const std::vector<float> x = noise(2000, 31);
    for (const auto& api : firVariants()) {
        const std::vector<float> taps = makeTaps(81, 3);
        FirState32f* s = make(api, taps);
        ASSERT_EQ(s->fftLen, 256);
        for (int i = 0; i < s->fftLen; ++i)
            s->tapsSpectrum[i] = 0.0f;
        std::vector<float> y(2000, 7.0f);
        ASSERT_EQ(api.fir(x.data(), y.data(), 511, s), 0);
        EXPECT_LT(maxAbsError(std::vector<float>(y.begin(), y.begin() + 511),
                              convolveDouble(taps, std::vector<float>(x.begin(), x.begin() + 511))),
                  tolerance(81));
        ASSERT_EQ(api.fir(x.data() + 511, y.data() + 511, 512, s), 0);
        for (int i = 511; i < 1023; ++i)
            ASSERT_EQ(y[i], 0.0f) << api.name << " " << i;
        api.free(s);

        // 63 taps never use the FFT, even for long calls.
        FirState32f* s63 = make(api, makeTaps(63, 4));
        EXPECT_EQ(s63->fftLen, -1);
        const std::vector<float> taps63 = makeTaps(63, 4);
        std::vector<float> y63 = runPartitioned(api, s63, x, {2000});
        EXPECT_LT(maxAbsError(y63, convolveDouble(taps63, x)), tolerance(63));
        api.free(s63);
    }
}

TEST(filters_fir, OneBlockShorterThanTheFilterTakesItsHistoryFromTheOldDelayLine)
{
    // T = 1000: N = 2048, L = 1049; calls of 600 are single zero-padded transforms with
    // fewer inputs than taps.
    const std::vector<float> taps = makeTaps(1000, 41);
    const std::vector<float> x = noise(3000, 43);
    const std::vector<double> ref = convolveDouble(taps, x);
    for (const auto& api : firVariants()) {
        EXPECT_LT(maxAbsError(runFresh(api, taps, x, {600, 600, 1049, 751}), ref), tolerance(1000)) << api.name;
        EXPECT_LT(maxAbsError(runFresh(api, taps, x, {1049, 1050, 1}), ref), tolerance(1000)) << api.name;
    }
}

TEST(filters_fir, DelayLineIsReadNewestFirst)
{
    for (const auto& api : firVariants()) {
        for (int T : {2, 5, 40, 81}) {
            const std::vector<float> taps = makeTaps(T, 50 + T);
            const std::vector<float> hist = noise(T, 60 + T);
            const std::vector<float> x = noise(700, 70 + T);
            for (int block : {1, 9, 700}) {
                FirState32f* s = make(api, taps, hist.data());
                const std::vector<float> y = runPartitioned(api, s, x, {block});
                // The oldest stored value (hist[T - 1]) never enters.
                std::vector<float> used(hist.begin(), hist.end() - 1);
                EXPECT_LT(maxAbsError(y, convolveDouble(taps, x, used)), tolerance(T)) << api.name << " T " << T;
                // Cleared again: the behaviour of a fresh state.
                ASSERT_EQ(api.setDlyLine(s, nullptr), 0);
                EXPECT_LT(maxAbsError(runPartitioned(api, s, x, {block}), convolveDouble(taps, x)), tolerance(T));
                // Loaded by SetDlyLine after filtering.
                ASSERT_EQ(api.setDlyLine(s, hist.data()), 0);
                EXPECT_LT(maxAbsError(runPartitioned(api, s, x, {block}), convolveDouble(taps, x, used)), tolerance(T));
                api.free(s);
            }
        }
        // Taps (0, 1) and delay line (5, ...): the first output is 5.
        const float t01[2] = {0.0f, 1.0f}, dly[2] = {5.0f, 9.0f}, in[3] = {1, 2, 3};
        float out[3];
        FirState32f* s = nullptr;
        ASSERT_EQ(api.initAlloc(&s, t01, 2, dly), 0);
        ASSERT_EQ(api.fir(in, out, 3, s), 0);
        EXPECT_EQ(out[0], 5.0f);
        EXPECT_EQ(out[1], 1.0f);
        EXPECT_EQ(out[2], 2.0f);
        api.free(s);
    }
}

TEST(filters_fir, DirectKernelAtEveryAlignment)
{
    const std::vector<float> w = noise(400, 47);
    for (const auto& api : firVariants()) {
        for (int T : {1, 2, 3, 4, 6, 31, 32, 33, 66, 70, 81, 140}) {
            const std::vector<float> taps = makeTaps(T, T + 3);
            FirState32f* s = make(api, taps);
            const bool rows = api.tapRows && T > 31;
            for (int woff = 0; woff < 4; ++woff)
                for (int doff = 0; doff < 4; ++doff)
                    for (int n : {1, 3, 7, 8, 9, 12, 50, 101}) {
                        alignas(16) float out[128];
                        api.kernel(rows ? s->taps : s->tapsRepl, w.data() + woff, out + doff, n, T, rows ? 1 : 0);
                        double e = 0;
                        for (int i = 0; i < n; ++i) {
                            double ref = 0;
                            for (int j = 0; j < T; ++j)
                                ref += double(taps[j]) * w[woff + i + T - 1 - j];
                            e = std::max(e, std::fabs(out[doff + i] - ref));
                        }
                        ASSERT_LT(e, tolerance(T)) << api.name << " T " << T << " n " << n << " " << woff << doff;
                    }
            api.free(s);
        }
    }
}

TEST(filters_fir, StatusCodesInTheirOrder)
{
    const std::vector<float> taps = makeTaps(8, 1);
    for (const auto& api : firVariants()) {
        SCOPED_TRACE(api.name);
        FirState32f* s = reinterpret_cast<FirState32f*>(0x1);
        EXPECT_EQ(api.initAlloc(nullptr, taps.data(), 8, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, nullptr, 0, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, taps.data(), 0, nullptr), ippStsFIRLenErr);
        EXPECT_EQ(api.initAlloc(&s, taps.data(), -1, nullptr), ippStsFIRLenErr);
        EXPECT_EQ(s, reinterpret_cast<FirState32f*>(0x1));

        s = make(api, taps);
        float in[4] = {1, 2, 3, 4}, out[4] = {};
        EXPECT_EQ(api.fir(nullptr, out, 4, s), ippStsNullPtrErr);
        EXPECT_EQ(api.fir(in, nullptr, 4, s), ippStsNullPtrErr);
        EXPECT_EQ(api.fir(in, out, 4, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.fir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.setDlyLine(nullptr, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.free(nullptr), ippStsNullPtrErr);
        const Ipp32u id = s->id;
        s->id = 0;
        EXPECT_EQ(api.fir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.fir(in, out, 4, s), ippStsContextMatchErr);
        for (float v : out)
            EXPECT_EQ(v, 0.0f);
        EXPECT_EQ(api.setDlyLine(s, nullptr), ippStsContextMatchErr);
        EXPECT_EQ(api.free(s), ippStsContextMatchErr);
        s->id = id;
        EXPECT_EQ(api.free(s), 0);

        // Kinds that this library does not create: Free accepts all four, SetDlyLine two.
        FirState32f fake{};
        for (Ipp32u kind : {kFirIdSingleRate, kFirIdMultiRate, kFirIdDirect, kFirIdPolyphase}) {
            fake.id = kind;
            EXPECT_EQ(api.free(&fake), 0); // not self-allocated: nothing released
        }
        fake.id = kFirIdDirect;
        EXPECT_EQ(api.setDlyLine(&fake, nullptr), ippStsContextMatchErr);
        fake.id = kFirIdPolyphase;
        EXPECT_EQ(api.setDlyLine(&fake, nullptr), ippStsContextMatchErr);
    }
}

TEST(filters_fir, FailedFftSetUpReportsItsOwnStatus)
{
    // Tap counts whose transform order is out of the real FFT's range: the FFT's own status,
    // nothing allocated, the caller's pointer untouched (and no search for an order without end).
    const float tap = 1.0f;
    for (const auto& api : firVariants()) {
        for (int T : {1 << 28, INT_MAX}) {
            FirState32f* s = reinterpret_cast<FirState32f*>(0x1);
            EXPECT_EQ(api.initAlloc(&s, &tap, T, nullptr), ippStsFftOrderErr) << api.name << " " << T;
            EXPECT_EQ(s, reinterpret_cast<FirState32f*>(0x1));
        }
    }
}

TEST(filters_fir, FiltersInPlace)
{
    for (const auto& api : firVariants()) {
        // 32 taps of 0.1 over 300 ones: the output climbs to 3.2 and stays there.
        FirState32f* s = make(api, std::vector<float>(32, 0.1f));
        std::vector<float> buf(300, 1.0f);
        ASSERT_EQ(api.fir(buf.data(), buf.data(), 300, s), 0);
        EXPECT_NEAR(buf[299], 3.2f, 1e-5) << api.name;
        api.free(s);
        for (int T : {1, 5, 33, 64, 81})
            for (int shift : {0, 3}) { // the same array, and outputs a little before the inputs
                const std::vector<float> taps = makeTaps(T, T), x = noise(2600, 40 + T);
                FirState32f* st = make(api, taps);
                std::vector<float> buf2(x.size() + shift);
                std::copy(x.begin(), x.end(), buf2.begin() + shift);
                std::size_t pos = 0;
                for (int n : {300, 1, 700, 1599}) {
                    ASSERT_EQ(api.fir(buf2.data() + shift + pos, buf2.data() + pos, n, st), 0);
                    pos += n;
                }
                buf2.resize(x.size());
                EXPECT_LT(maxAbsError(buf2, convolveDouble(taps, x)), tolerance(T)) << api.name << " T " << T;
                api.free(st);
            }
    }
}

// The single-rate FIR: every variant against a double-precision convolution, on both paths and
// in any partition of the signal, with delay lines, in place or overlapping either way, and its
// failures.
#include "filters_test_util.h"

using namespace filters_test;

namespace {

// y[n] = sum taps[j] x[n - j] in double; history[k] is x[-1 - k] (newest first).
std::vector<double> convolve(const std::vector<float>& taps, const std::vector<float>& x,
                             const std::vector<float>& history = {})
{
    std::vector<double> y(x.size());
    for (long n = 0; n < long(x.size()); ++n)
        for (long j = 0; j < long(taps.size()); ++j) {
            const long i = n - j;
            y[n] += taps[j] * (i >= 0 ? x[i] : -1 - i < long(history.size()) ? history[-1 - i] : 0.0);
        }
    return y;
}

// Inputs within +-1, taps within +-0.5: the float error of a dot product of T terms, either
// order, and the transforms' rounding.
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

} // namespace

TEST(filters_fir, AgainstTheDoubleConvolutionInAnyPartitionAndInPlace)
{
    const std::vector<float> x = noise(3000, 21);
    const std::vector<std::vector<int>> partitions = {{3000}, {511}, {512}, {97}, {1, 7, 600, 416}, {5, 6, 4, 9}};
    for (const auto& api : kFir)
        for (int T : {1, 2, 3, 4, 5, 8, 13, 31, 32, 33, 63, 64, 81, 128, 200, 1000}) {
            const std::vector<float> taps = noise(T, 100 + T, 0.5f), hist = noise(T, 60 + T);
            const std::vector<double> ref = convolve(taps, x);
            for (const auto& parts : partitions) {
                FirState32f* s = make(api, taps);
                auto run = [&](const float* in, float* out, int n) { return api.fir(in, out, n, s); };
                EXPECT_LT(maxAbsError(inCalls(x, parts, run), ref), tolerance(T)) << api.name << T << " " << parts[0];
                // A delay line read newest first; its oldest value never enters.
                ASSERT_EQ(api.setDlyLine(s, hist.data()), 0);
                const std::vector<float> used(hist.begin(), hist.end() - 1);
                EXPECT_LT(maxAbsError(inCalls(x, parts, run), convolve(taps, x, used)), tolerance(T)) << api.name;
                // In place, in the same array and with the outputs a little before the inputs.
                for (int shift : {0, 3}) {
                    ASSERT_EQ(api.setDlyLine(s, nullptr), 0);
                    std::vector<float> b(shift, 0.0f);
                    b.insert(b.end(), x.begin(), x.end());
                    inCalls(x, parts, [&](const float* in, float*, int n) {
                        float* at = b.data() + (in - x.data());
                        return api.fir(at + shift, at, n, s);
                    });
                    b.resize(x.size());
                    EXPECT_LT(maxAbsError(b, ref), tolerance(T)) << api.name << " T " << T << " shift " << shift;
                }
                // The outputs a little after the inputs, and half a call after them.
                for (bool half : {false, true}) {
                    ASSERT_EQ(api.setDlyLine(s, nullptr), 0);
                    const std::vector<float> y = inCalls(x, parts, [&](const float* in, float* out, int n) {
                        const int d = half ? std::max(1, n / 2) : 3;
                        std::vector<float> b(in, in + n);
                        b.resize(n + d);
                        const IppStatus st = api.fir(b.data(), b.data() + d, n, s);
                        std::copy(b.begin() + d, b.end(), out);
                        return st;
                    });
                    EXPECT_LT(maxAbsError(y, ref), tolerance(T)) << api.name << " T " << T << " half " << half;
                }
                api.free(s);
            }
        }
}

TEST(filters_fir, CallsOf512AndMoreTakeTheTransformPath)
{
    // With the taps' spectrum zeroed, calls of 512 and more give zeros, 511 (direct) not.
    const std::vector<float> x = noise(1023, 31), taps = noise(81, 3, 0.5f);
    for (const auto& api : kFir) {
        FirState32f* s = make(api, taps);
        std::fill(s->tapsSpectrum, s->tapsSpectrum + s->fftLen, 0.0f);
        std::vector<float> y(1023, 7.0f);
        ASSERT_EQ(api.fir(x.data(), y.data(), 511, s), 0);
        EXPECT_LT(maxAbsError(y, convolve(taps, std::vector<float>(x.begin(), x.begin() + 511))), tolerance(81));
        ASSERT_EQ(api.fir(x.data() + 511, y.data() + 511, 512, s), 0);
        EXPECT_EQ(*std::max_element(y.begin() + 511, y.end()), 0.0f);
        api.free(s);
    }
}

TEST(filters_fir, FailuresInTheirOrderLeaveNothingBehind)
{
    const std::vector<float> taps = noise(81, 1, 0.5f);
    CountingHeap heap;
    for (const auto& api : kFir) {
        FirState32f* s = reinterpret_cast<FirState32f*>(0x1);
        EXPECT_EQ(api.initAlloc(nullptr, taps.data(), 8, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, nullptr, 0, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, taps.data(), 0, nullptr), ippStsFIRLenErr);
        // Out of memory for the state after the transform's set-up, and for the set-up itself.
        for (std::size_t limit : {5000, 0}) {
            heap.failAbove = limit;
            EXPECT_EQ(api.initAlloc(&s, taps.data(), 81, nullptr), ippStsMemAllocErr) << api.name << limit;
            EXPECT_EQ(heap.live, 0) << api.name;
        }
        EXPECT_EQ(s, reinterpret_cast<FirState32f*>(0x1));
        heap.failAbove = SIZE_MAX;
        s = make(api, taps);
        float in[4] = {1, 2, 3, 4}, out[4] = {};
        EXPECT_EQ(api.fir(nullptr, out, 4, s), ippStsNullPtrErr);
        EXPECT_EQ(api.fir(in, out, 4, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.fir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.setDlyLine(nullptr, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.free(nullptr), ippStsNullPtrErr);
        const Ipp32u id = s->id;
        s->id = 0;
        EXPECT_EQ(api.fir(in, out, 4, s), ippStsContextMatchErr);
        EXPECT_EQ(api.setDlyLine(s, nullptr), ippStsContextMatchErr);
        EXPECT_EQ(api.free(s), ippStsContextMatchErr);
        EXPECT_EQ(out[0], 0.0f);
        s->id = kFirIdDirect;
        EXPECT_EQ(api.setDlyLine(s, nullptr), ippStsContextMatchErr);
        s->id = id;
        EXPECT_EQ(api.free(s), 0);
        EXPECT_EQ(heap.live, 0) << api.name;
    }
}

TEST(filters_fir, EveryTapOfALongFilterAcrossCallsAndBlocks)
{
    // 2^17 taps: 2^19-point transforms of L = 393217 outputs. The calls take the transform road
    // with fewer inputs than taps, then with more, the direct road with a history from both, and
    // a call of two blocks; the outputs checked lie past the first T - 1, so every tap weighs
    // an input, and at each call's and block's edges.
    const int T = 1 << 17, L = (1 << 19) - (T - 1);
    const std::vector<int> calls = {1000, 140000, 300, 400000};
    const std::vector<float> taps = noise(T, 7, 0.5f), x = noise(541300, 8);
    std::vector<long> checked;
    long start = 0;
    for (int n : calls) {
        for (long at : {start, start + 1, start + n / 2, start + n - 1})
            checked.push_back(at);
        start += n;
    }
    const long secondBlock = start - calls.back() + L;
    checked.insert(checked.end(), {secondBlock - 1, secondBlock, secondBlock + 1});
    std::erase_if(checked, [&](long at) { return at < T - 1; });
    std::vector<double> ref;
    for (long at : checked) {
        ref.push_back(0.0);
        for (long j = 0; j < T; ++j)
            ref.back() += double(taps[j]) * x[at - j];
    }
    for (const auto& api : kFir) {
        FirState32f* s = make(api, taps);
        ASSERT_EQ(s->fftLen, 1 << 19);
        const std::vector<float> y =
            inCalls(x, calls, [&](const float* in, float* out, int n) { return api.fir(in, out, n, s); });
        api.free(s);
        std::vector<float> got;
        for (long at : checked)
            got.push_back(y[at]);
        EXPECT_LT(relMaxError(got, ref), 3e-5) << api.name;
    }
}

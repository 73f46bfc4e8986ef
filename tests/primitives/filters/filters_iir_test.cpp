// The IIR filters on floats: the biquad cascade in every variant against a double-precision
// difference equation, the variants, partitions and in-place use bit for bit, delay lines in both
// cascade forms and refusals; the arbitrary-order kind on states laid out by hand.
#include "filters_test_util.h"

using namespace filters_test;

namespace {

// Per biquad b0 b1 b2 a0 a1 a2 (a0 not 1, so that the division by a0 is exercised).
const std::vector<float> kBq = {0.5f, -0.3f, 0.2f,  1.25f, -0.9f, 0.35f, 2.0f, 1.0f,  -0.5f,
                                2.0f, 0.4f,  -0.7f, 1.0f,  -1.9f, 0.95f, 1.0f, -1.8f, 0.85f};

// One filter of order N (b0..bN, a0..aN) in double; a cascade is run section after section.
std::vector<double> difference(const float* t, int N, std::vector<double> x)
{
    std::vector<double> y(x.size());
    for (long n = 0; n < long(x.size()); ++n) {
        double acc = 0;
        for (int i = 0; i <= N && i <= n; ++i)
            acc += t[i] * x[n - i] - (i > 0 ? t[N + 1 + i] * y[n - i] : 0.0);
        y[n] = acc / t[N + 1];
    }
    return y;
}

std::vector<double> cascade(const std::vector<float>& taps, int numBq, const std::vector<float>& x)
{
    std::vector<double> sig(x.begin(), x.end());
    for (int k = 0; k < numBq; ++k)
        sig = difference(&taps[6 * k], 2, sig);
    return sig;
}

IirState32f* make(const IirApi& api, int numBq, const float* dly = nullptr, const float* taps = kBq.data())
{
    IirState32f* s = nullptr;
    EXPECT_EQ(api.initAlloc(&s, taps, numBq, dly), 0);
    return s;
}

// A state of the kinds without a set-up call, in one block laid out as the filters read it.
struct HandState
{
    std::vector<double> mem;
    IirState32f s{};
    HandState(Ipp32u id, int order) : mem(4096 + 32 * (order + 4))
    {
        float* f = reinterpret_cast<float*>(mem.data());
        s.id = id, s.order = order;
        s.taps = f, s.dlyLine = f + 4 * (order + 2), s.xTable = f + 8 * (order + 2), s.yTable = f + 16 * (order + 2);
        s.work = f + 24 * (order + 4);
    }
};

} // namespace

TEST(filters_iir, CascadeAgainstTheDoubleEquationAndVariantsBitForBit)
{
    const std::vector<float> x = noise(2500, 5);
    for (int numBq : {1, 2, 3}) {
        const std::vector<double> ref = cascade(kBq, numBq, x);
        std::vector<float> whole;
        // {1025} and {1024, 1} agree: a chunk of 1025 is filtered as 1024 and 1.
        for (const std::vector<int>& parts : {std::vector<int>{1025}, {1024, 1}, {1}, {4}, {5}, {8, 9}, {2500}}) {
            std::vector<float> first;
            for (const auto& api : kIir) {
                IirState32f *s = make(api, numBq), *t = make(api, numBq);
                const std::vector<float> y =
                    inCalls(x, parts, [&](const float* in, float* out, int n) { return api.iir(in, out, n, s); });
                EXPECT_LT(relMaxError(y, ref), 3e-6) << api.name << " " << numBq << " " << parts[0];
                first = &api == kIir ? y : first;
                EXPECT_TRUE(sameBits(y, first)) << api.name;
                std::vector<float> buf = x; // in place: the same bits
                inCalls(x, parts, [&](const float* in, float*, int n) {
                    float* at = buf.data() + (in - x.data());
                    return api.iir(at, at, n, t);
                });
                EXPECT_TRUE(sameBits(buf, y)) << api.name;
                api.free(s);
                api.free(t);
            }
            first.resize(1025);
            if (parts[0] == 1025)
                whole = first;
            EXPECT_TRUE(parts[0] != 1024 || sameBits(whole, first)) << numBq;
        }
    }
}

TEST(filters_iir, DelayLinesAndTapsCarryTheSignalInBothForms)
{
    const auto build = VECTOR_VARIANTS(ownsIIRInitAlloc_BiQuad_32f);
    const std::vector<float> x = noise(2000, 6), later(kBq.begin() + 6, kBq.end());
    for (int v = 0; v < 3; ++v)
        for (Ipp32u id : {kIirIdBiQuad, kIirIdBiQuadDF1}) {
            const auto& api = kIir[v];
            IirState32f *s = nullptr, *t = nullptr;
            ASSERT_EQ(build[v](&s, kBq.data(), 2, nullptr, id), 0);
            std::vector<float> y(2000), rest(800);
            ASSERT_EQ(api.iir(x.data(), y.data(), 1200, s), 0);
            // A state given the first one's delay line, at set-up or later, continues it bit for bit.
            ASSERT_EQ(build[v](&t, kBq.data(), 2, id == kIirIdBiQuad ? s->dlyLine : nullptr, id), 0);
            ASSERT_EQ(id == kIirIdBiQuad ? ippStsNoErr : api.setDlyLine(t, s->dlyLine), 0);
            api.iir(x.data() + 1200, y.data() + 1200, 800, s);
            api.iir(x.data() + 1200, rest.data(), 800, t);
            EXPECT_TRUE(sameBits(rest, std::vector<float>(y.begin() + 1200, y.end()))) << api.name << id;
            EXPECT_LT(relMaxError(y, cascade(kBq, 2, x)), 3e-6) << api.name << id;
            // New taps keep the history; a cleared delay line is a filter at rest.
            ASSERT_EQ(api.setTaps(later.data(), t), 0);
            std::vector<float> z(100);
            api.iir(x.data(), z.data(), 100, t);
            EXPECT_NE(z[0], x[0]);
            ASSERT_EQ(api.setDlyLine(t, nullptr), 0);
            api.iir(x.data(), z.data(), 100, t);
            EXPECT_LT(relMaxError(z, cascade(later, 2, std::vector<float>(x.begin(), x.begin() + 100))), 3e-6);
            EXPECT_EQ(build[v](&t, kBq.data(), 2, nullptr, kIirIdArbitrary), ippStsContextMatchErr);
            EXPECT_EQ(api.free(s), 0);
            EXPECT_EQ(api.free(t), 0);
        }
}

TEST(filters_iir, RefusalsInTheirOrderChangeNothing)
{
    CountingHeap heap;
    const float dly[2] = {0, 0}, zeroA0[6] = {1, 1, 1, -0.0f, 0, 0}, zeroB0[6] = {0, 1, 1, 1, 0, 0};
    for (const auto& api : kIir) {
        IirState32f* s = reinterpret_cast<IirState32f*>(0x1); // stays as it is on failure
        EXPECT_EQ(api.initAlloc(nullptr, kBq.data(), 1, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, nullptr, 0, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, kBq.data(), 0, dly), ippStsIIROrderErr);
        EXPECT_EQ(api.initAlloc(&s, zeroA0, 1, nullptr), ippStsDivByZeroErr);
        EXPECT_EQ(api.initAlloc(&s, zeroB0, 1, nullptr), ippStsDivByZeroErr);
        heap.failAbove = 0;
        EXPECT_EQ(api.initAlloc(&s, kBq.data(), 1, nullptr), ippStsMemAllocErr);
        heap.failAbove = SIZE_MAX;
        EXPECT_EQ(api.initAlloc(&s, kBq.data(), 1 << 28, nullptr), ippStsMemAllocErr);
        EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));
        EXPECT_EQ(heap.live, 0);
        s = make(api, 3);
        std::vector<float> before(s->taps, s->taps + 15);
        std::vector<float> bad = kBq;
        bad[15] = 0.0f; // a0 of the third biquad
        EXPECT_EQ(api.setTaps(bad.data(), s), ippStsDivByZeroErr);
        EXPECT_TRUE(sameBits(before, std::vector<float>(s->taps, s->taps + 15)));
        float in[8] = {1, 2, 3, 4, 5, 6, 7, 8}, out[8] = {};
        EXPECT_EQ(api.iir(nullptr, out, 8, s), ippStsNullPtrErr);
        EXPECT_EQ(api.iir(in, out, 8, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.iir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.setTaps(nullptr, s), ippStsNullPtrErr);
        EXPECT_EQ(api.setDlyLine(nullptr, dly), ippStsNullPtrErr);
        EXPECT_EQ(api.free(nullptr), ippStsNullPtrErr);
        const Ipp32u id = s->id;
        s->id = 0x12345678u;
        EXPECT_EQ(api.iir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.iir(in, out, 8, s), ippStsContextMatchErr);
        EXPECT_EQ(api.setTaps(kBq.data(), s), ippStsContextMatchErr);
        EXPECT_EQ(api.setDlyLine(s, dly), ippStsContextMatchErr);
        EXPECT_EQ(api.free(s), ippStsContextMatchErr);
        EXPECT_EQ(out[0], 0.0f);
        s->id = id;
        EXPECT_EQ(api.free(s), 0);
        EXPECT_EQ(heap.live, 0) << api.name;
        HandState h(kIirIdBiQuadDF1, 4); // not self-allocated: Free leaves it alone
        EXPECT_EQ(api.free(&h.s), 0);
    }
    int size = 0;
    m7_ownsIIRGetStateSize_BiQuad_32f(1, &size, kIirIdBiQuad);
    EXPECT_EQ(size, 4472);
}

TEST(filters_iir, ArbitraryOrderFollowsTheDifferenceEquation)
{
    const std::vector<float> x = noise(3000, 5);
    for (const auto& api : kIir)
        for (int N = 0; N <= 6; ++N) {
            // Stable: a product of first-order sections 1 - r z^-1; a0 = 1.5.
            std::vector<double> a = {1.0};
            for (int k = 0; k < N; ++k) {
                const double r = (k % 2 ? -0.6 : 0.6) * (1 - 0.1 * k);
                a.push_back(0.0);
                for (int i = k + 1; i > 0; --i)
                    a[i] -= r * a[i - 1];
            }
            std::vector<float> taps = noise(N + 1, 10 + N);
            for (double v : a)
                taps.push_back(float(v * 1.5));
            const std::vector<double> ref = difference(taps.data(), N, std::vector<double>(x.begin(), x.end()));
            for (const std::vector<int>& parts : {std::vector<int>{3000}, {1}, {7}, {4 * N + 1}, {1024, 1, 1025}}) {
                HandState h(kIirIdArbitrary, N), g(kIirIdArbitrary, N);
                ASSERT_EQ(api.setTaps(taps.data(), &h.s), 0);
                ASSERT_EQ(api.setTaps(taps.data(), &g.s), 0);
                const std::vector<float> y =
                    inCalls(x, parts, [&](const float* in, float* out, int n) { return api.iir(in, out, n, &h.s); });
                EXPECT_LT(relMaxError(y, ref), 3e-6) << api.name << " N " << N << " " << parts[0];
                std::vector<float> buf = x; // in place: the same bits
                inCalls(x, parts, [&](const float* in, float*, int n) {
                    float* at = buf.data() + (in - x.data());
                    return api.iir(at, at, n, &g.s);
                });
                EXPECT_TRUE(sameBits(buf, y)) << api.name << " N " << N;
            }
        }
    // a0 = 0 is refused; b0 = 0 is not.
    HandState h(kIirIdArbitrary, 1);
    const float zeroA0[4] = {1, 1, 0, 1}, zeroB0[4] = {0, 1, 1, 1};
    EXPECT_EQ(m7_ippsIIRSetTaps_32f(zeroA0, &h.s), ippStsDivByZeroErr);
    EXPECT_EQ(m7_ippsIIRSetTaps_32f(zeroB0, &h.s), 0);
}

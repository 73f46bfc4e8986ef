// The IIR kinds that no set-up call creates: arbitrary order and direct-form-1 biquads, on
// states laid out by hand the way the filters read them.
#include <cstdlib>

#include "filters_test_util.h"

using namespace filters_test;

namespace {

// One block holding the record and its areas; order N (arbitrary) or numBq (direct form 1).
struct HandState
{
    void* mem = nullptr;
    IirState32f* s = nullptr;
    HandState(Ipp32u id, int order, int numBq)
    {
        mem = std::aligned_alloc(32, 96 + 4 * 4096 + 64 * (order + numBq + 8));
        std::memset(mem, 0, 96 + 4 * 4096 + 64 * (order + numBq + 8));
        s = static_cast<IirState32f*>(mem);
        auto* f = reinterpret_cast<float*>(static_cast<char*>(mem) + 96);
        auto next = [&f](int n) {
            float* p = f;
            f += (n + 3) & ~3;
            return p;
        };
        s->id = id;
        s->order = order;
        s->numBq = numBq;
        s->taps = next(id == kIirIdArbitrary ? 2 * order + 1 : 5 * numBq);
        s->dlyLine = next(id == kIirIdArbitrary ? order + 1 : 4 * numBq);
        s->xTable = next(4 * (order + 1));
        s->yTable = next(4 * order + 12);
        s->work = next(1024);
        s->work2 = next(1024);
        s->selfAllocated = 0;
    }
    ~HandState() { std::free(mem); }
};

// b0..bN, a0..aN, in double.
std::vector<double> arReference(const std::vector<float>& t, int N, const std::vector<float>& x)
{
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double acc = 0;
        for (int i = 0; i <= N; ++i)
            if (n >= static_cast<std::size_t>(i))
                acc += double(t[i]) * x[n - i];
        for (int i = 1; i <= N; ++i)
            if (n >= static_cast<std::size_t>(i))
                acc -= double(t[N + 1 + i]) * y[n - i];
        y[n] = acc / t[N + 1];
    }
    return y;
}

// Denominator of a product of stable biquads; numerator random.
std::vector<float> arTaps(int N, unsigned seed)
{
    std::vector<double> a = {1.0};
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> d(0.3, 0.8);
    for (int k = 0; k < N; k += 2) {
        const double r = d(g), th = d(g) * 2;
        std::vector<double> q =
            k + 1 < N ? std::vector<double>{1, -2 * r * std::cos(th), r * r} : std::vector<double>{1, -r};
        std::vector<double> p(a.size() + q.size() - 1, 0.0);
        for (std::size_t i = 0; i < a.size(); ++i)
            for (std::size_t j = 0; j < q.size(); ++j)
                p[i + j] += a[i] * q[j];
        a = p;
    }
    std::vector<float> t = noise(N + 1, seed + 1, 1.0f);
    t[0] = 0.75f;
    for (double v : a)
        t.push_back(static_cast<float>(v * 1.5)); // a0 = 1.5
    return t;
}

} // namespace

TEST(filters_iir_kinds, ArbitraryOrderFollowsTheDifferenceEquation)
{
    const std::vector<float> x = noise(3000, 5);
    for (const auto& api : iirVariants()) {
        for (int N = 0; N <= 6; ++N) {
            const std::vector<float> taps = arTaps(N, 10 + N);
            const std::vector<double> ref = arReference(taps, N, x);
            for (const std::vector<int>& parts :
                 {std::vector<int>{3000}, {1}, {7}, {4 * N + 1}, {std::max(1, 4 * N)}, {1024, 1, 1025}}) {
                HandState h(kIirIdArbitrary, N, 0);
                ASSERT_EQ(api.setTaps(taps.data(), h.s), 0);
                ASSERT_EQ(api.setDlyLine(h.s, nullptr), 0);
                std::vector<float> y(x.size());
                std::size_t pos = 0;
                for (std::size_t i = 0; pos < x.size(); ++i) {
                    const int n = std::min<int>(parts[i % parts.size()], static_cast<int>(x.size() - pos));
                    ASSERT_EQ(api.iir(x.data() + pos, y.data() + pos, n, h.s), 0);
                    pos += n;
                }
                EXPECT_LT(relMaxError(y, ref), 3e-6) << api.name << " N " << N << " block " << parts[0];
                // In place gives the same bits.
                HandState h2(kIirIdArbitrary, N, 0);
                ASSERT_EQ(api.setTaps(taps.data(), h2.s), 0);
                std::vector<float> buf = x;
                pos = 0;
                for (std::size_t i = 0; pos < x.size(); ++i) {
                    const int n = std::min<int>(parts[i % parts.size()], static_cast<int>(x.size() - pos));
                    ASSERT_EQ(api.iir(buf.data() + pos, buf.data() + pos, n, h2.s), 0);
                    pos += n;
                }
                EXPECT_TRUE(sameBits(buf, y)) << api.name << " N " << N;
            }
        }
    }
}

TEST(filters_iir_kinds, ArbitraryOrderSetTaps)
{
    for (const auto& api : iirVariants()) {
        HandState h(kIirIdArbitrary, 2, 0);
        const float good[6] = {1, 2, 3, 2, 1, 0.5f};
        ASSERT_EQ(api.setTaps(good, h.s), 0);
        EXPECT_EQ(h.s->taps[0], 0.5f);
        EXPECT_EQ(h.s->taps[2], 1.5f);
        EXPECT_EQ(h.s->taps[3], 0.5f);  // a1
        EXPECT_EQ(h.s->taps[4], 0.25f); // a2
        EXPECT_EQ(h.s->xTable[4], 1.0f);
        EXPECT_EQ(h.s->yTable[0], -0.5f); // c1
        const std::vector<float> before(h.s->taps, h.s->taps + 5);
        const float bad[6] = {1, 2, 3, -0.0f, 1, 1};
        EXPECT_EQ(api.setTaps(bad, h.s), ippStsDivByZeroErr);
        EXPECT_TRUE(sameBits(before, std::vector<float>(h.s->taps, h.s->taps + 5)));
        // b0 = 0 is allowed for this kind.
        const float zeroB0[6] = {0, 2, 3, 1, 1, 0.5f};
        EXPECT_EQ(api.setTaps(zeroB0, h.s), 0);
        // N = 0: a plain scaling by b0 / a0.
        HandState h0(kIirIdArbitrary, 0, 0);
        const float scale[2] = {3.0f, 2.0f};
        ASSERT_EQ(api.setTaps(scale, h0.s), 0);
        const float in[3] = {1, -2, 4};
        float out[3];
        ASSERT_EQ(api.iir(in, out, 3, h0.s), 0);
        EXPECT_EQ(out[0], 1.5f);
        EXPECT_EQ(out[1], -3.0f);
        EXPECT_EQ(out[2], 6.0f);
    }
}

TEST(filters_iir_kinds, DirectForm1Cascade)
{
    using Build = IppStatus (*)(IirState32f**, const Ipp32f*, int, const Ipp32f*, Ipp32u);
    const Build builders[3] = {m7_ownsIIRInitAlloc_BiQuad_32f, u8_ownsIIRInitAlloc_BiQuad_32f,
                               y8_ownsIIRInitAlloc_BiQuad_32f};
    const std::vector<float> taps = {0.5f, -0.3f, 0.2f, 1.0f, -0.9f, 0.35f, 2.0f, 1.0f, -0.5f, 2.0f, 0.4f, -0.7f};
    const std::vector<float> x = noise(2000, 8);
    for (int v = 0; v < 3; ++v) {
        const auto& api = iirVariants()[v];
        IirState32f *h = nullptr, *h2 = nullptr;
        ASSERT_EQ(builders[v](&h, taps.data(), 2, nullptr, kIirIdBiQuadDF1), 0);
        ASSERT_EQ(builders[v](&h2, taps.data(), 2, nullptr, kIirIdBiQuadDF1), 0);
        // Four delay floats per biquad, all of them below the tables.
        EXPECT_EQ(h->order, 8);
        EXPECT_GE(h->xTable, h->dlyLine + 8);
        int size = 0;
        m7_ownsIIRGetStateSize_BiQuad_32f(1, &size, kIirIdBiQuadDF1);
        EXPECT_EQ(size, 32 + 16 + 4 * (40 + 2048) + 168);
        // a0 = 1: stored as given; a0 = 2: halved.
        EXPECT_EQ(h->taps[3], -0.9f);
        EXPECT_EQ(h->taps[9], -0.35f);
        std::vector<float> y(2000);
        ASSERT_EQ(api.iir(x.data(), y.data(), 1200, h), 0);
        // A second state loaded with the first one's delay line continues exactly.
        ASSERT_EQ(api.setDlyLine(h2, h->dlyLine), 0);
        std::vector<float> rest(800);
        ASSERT_EQ(api.iir(x.data() + 1200, y.data() + 1200, 800, h), 0);
        ASSERT_EQ(api.iir(x.data() + 1200, rest.data(), 800, h2), 0);
        EXPECT_EQ(firstBitDifference(rest.data(), y.data() + 1200, 800), -1);
        std::vector<double> ref(x.begin(), x.end());
        for (int k = 0; k < 2; ++k) {
            const float* t = &taps[6 * k];
            double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            for (auto& val : ref) {
                const double o = (t[0] * val + t[1] * x1 + t[2] * x2 - t[4] * y1 - t[5] * y2) / t[3];
                x2 = x1, x1 = val, y2 = y1, y1 = o, val = o;
            }
        }
        EXPECT_LT(relMaxError(y, ref), 2e-6) << api.name;
        EXPECT_EQ(builders[v](&h, taps.data(), 2, nullptr, kIirIdArbitrary), ippStsContextMatchErr);
        EXPECT_EQ(api.free(h), 0);
        EXPECT_EQ(api.free(h2), 0);
    }
}

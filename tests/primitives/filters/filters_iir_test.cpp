// Biquad IIR: every variant against a double-precision difference equation and against a float
// model of the promised operation order (bit for bit), block partitions, in place, status codes.
#include <climits>
#include <complex>
#include <numeric>

#include "filters_test_util.h"

using namespace filters_test;

namespace {

// Taps per biquad: b0 b1 b2 a0 a1 a2 (not normalised, so that the division by a0 is exercised).
const std::vector<float> kOneBq = {0.5f, -0.3f, 0.2f, 1.25f, -0.9f, 0.35f};
const std::vector<float> kTwoBq = {0.5f, -0.3f, 0.2f, 1.25f, -0.9f, 0.35f, 2.0f, 1.0f, -0.5f, 2.0f, 0.4f, -0.7f};
const std::vector<float> kThreeBq = {0.5f, -0.3f, 0.2f,  1.25f, -0.9f, 0.35f, 2.0f, 1.0f,  -0.5f,
                                     2.0f, 0.4f,  -0.7f, 1.0f,  -1.9f, 0.95f, 1.0f, -1.8f, 0.85f};

// y = sum b x - sum a y in double, biquad after biquad, from rest.
std::vector<double> referenceDouble(const std::vector<float>& taps, const std::vector<float>& x)
{
    std::vector<double> sig(x.begin(), x.end());
    for (std::size_t k = 0; k < taps.size() / 6; ++k) {
        const float* t = &taps[6 * k];
        const double a0 = t[3];
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (auto& v : sig) {
            const double y = (t[0] * v + t[1] * x1 + t[2] * x2 - t[4] * y1 - t[5] * y2) / a0;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }
    return sig;
}

// Float model of the filter: the promised normalisation, tables, chunking and addition order.
struct FloatModel
{
    struct Bq
    {
        float b0, b1, b2, a1, c1, c2, Y[20];
        float s1 = 0, s2 = 0;
    };
    std::vector<Bq> bq;

    explicit FloatModel(const std::vector<float>& taps)
    {
        for (std::size_t k = 0; k < taps.size() / 6; ++k) {
            const float* t = &taps[6 * k];
            const float r = 1.0f / t[3];
            Bq q;
            q.b0 = t[0] * r;
            q.b1 = t[1] * r;
            q.b2 = t[2] * r;
            q.a1 = t[4] * r;
            q.c1 = (0.0f - r) * t[4];
            q.c2 = (0.0f - r) * t[5];
            const float c1 = q.c1, c2 = q.c2;
            const float h2 = c1 * c1 + c2, h3 = (h2 + c2) * c1, h4 = h2 * c2 + c1 * h3;
            const float p = c1 * c2, q2 = c2 * c2 + c1 * p, q3 = c2 * p + c1 * q2;
            const float Y[20] = {c1, h2, h3, h4, c2, p, q2, q3, 1, c1, h2, h3, 0, 1, c1, h2, 0, 0, 1, c1};
            std::copy(Y, Y + 20, q.Y);
            bq.push_back(q);
        }
    }

    void run(const float* src, float* dst, int len)
    {
        const int n = static_cast<int>(bq.size());
        for (int done = 0; done < len;) {
            const int m = std::min(1024, len - done);
            if (m <= 4 * n) {
                for (int i = 0; i < m; ++i) {
                    float x = src[done + i];
                    for (auto& q : bq) {
                        const float y = q.b0 * x + q.s1;
                        q.s1 = (q.b1 * x + q.s2) + q.c1 * y;
                        q.s2 = q.b2 * x + q.c2 * y;
                        x = y;
                    }
                    dst[done + i] = x;
                }
            } else {
                std::vector<float> in(src + done, src + done + m), out(m);
                for (auto& q : bq) {
                    std::vector<float> v(m); // v[t] for t >= 2
                    for (int t = 2; t < m; ++t)
                        v[t] = (q.b2 * in[t - 2] + q.b1 * in[t - 1]) + q.b0 * in[t];
                    out[0] = q.b0 * in[0] + q.s1;
                    out[1] = ((q.s2 - q.a1 * out[0]) + q.b0 * in[1]) + q.b1 * in[0];
                    const float f1 = q.b2 * in[m - 2] + q.b1 * in[m - 1], f2 = q.b2 * in[m - 1];
                    int t = 2;
                    for (; t + 4 <= m; t += 4)
                        for (int i = 0; i < 4; ++i) {
                            const float u = i == 3 ? v[t + 3] : 0.0f;
                            out[t + i] = (out[t - 2] * q.Y[4 + i] + out[t - 1] * q.Y[i]) +
                                         ((v[t] * q.Y[8 + i] + v[t + 1] * q.Y[12 + i]) + (v[t + 2] * q.Y[16 + i] + u));
                        }
                    for (; t < m; ++t)
                        out[t] = (v[t] + q.c2 * out[t - 2]) + q.c1 * out[t - 1];
                    q.s1 = (q.c2 * out[m - 2] + q.c1 * out[m - 1]) + f1;
                    q.s2 = q.c2 * out[m - 1] + f2;
                    in = out;
                }
                std::copy(out.begin(), out.end(), dst + done);
            }
            done += m;
        }
    }
};

IirState32f* make(const IirApi& api, const std::vector<float>& taps, const float* dly = nullptr)
{
    IirState32f* s = nullptr;
    EXPECT_EQ(api.initAlloc(&s, taps.data(), static_cast<int>(taps.size() / 6), dly), 0);
    return s;
}

// Runs x through a fresh state in calls of the given sizes (cycled).
std::vector<float> runPartitioned(const IirApi& api, const std::vector<float>& taps, const std::vector<float>& x,
                                  const std::vector<int>& sizes)
{
    IirState32f* s = make(api, taps);
    std::vector<float> y(x.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < x.size(); ++i) {
        const int n = std::min<int>(sizes[i % sizes.size()], static_cast<int>(x.size() - pos));
        EXPECT_EQ(api.iir(x.data() + pos, y.data() + pos, n, s), 0);
        pos += n;
    }
    api.free(s);
    return y;
}

std::vector<float> modelPartitioned(const std::vector<float>& taps, const std::vector<float>& x,
                                    const std::vector<int>& sizes)
{
    FloatModel m(taps);
    std::vector<float> y(x.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < x.size(); ++i) {
        const int n = std::min<int>(sizes[i % sizes.size()], static_cast<int>(x.size() - pos));
        m.run(x.data() + pos, y.data() + pos, n);
        pos += n;
    }
    return y;
}

} // namespace

// Every variant, every partition: the same bits as the float model, so the variants agree bit for
// bit; and within rounding of the double-precision filter.
TEST(filters_iir, EveryPartitionMatchesTheFloatModelBitForBit)
{
    const std::vector<float> x = noise(10000, 7);
    const std::vector<std::vector<int>> partitions = {{1}, {7}, {512}, {4096}, {10000}, {4},
                                                      {5}, {8}, {9},   {12},   {13},    {1023, 1, 1025, 3, 600}};
    for (const auto* taps : {&kOneBq, &kTwoBq, &kThreeBq}) {
        const std::vector<double> ref = referenceDouble(*taps, x);
        for (const auto& parts : partitions) {
            const std::vector<float> want = modelPartitioned(*taps, x, parts);
            EXPECT_LT(relMaxError(want, ref), 5e-6); // the third biquad has poles near z = 1
            for (const auto& api : iirVariants()) {
                const std::vector<float> got = runPartitioned(api, *taps, x, parts);
                EXPECT_EQ(firstBitDifference(got.data(), want.data(), x.size()), -1)
                    << api.name << " biquads " << taps->size() / 6 << " first block " << parts[0];
            }
        }
    }
}

TEST(filters_iir, ChunkOf1025IsTwoCallsOf1024And1)
{
    const std::vector<float> x = noise(1025, 3);
    for (const auto& api : iirVariants()) {
        EXPECT_TRUE(sameBits(runPartitioned(api, kOneBq, x, {1025}), runPartitioned(api, kOneBq, x, {1024, 1})));
        EXPECT_TRUE(sameBits(runPartitioned(api, kTwoBq, x, {2500}), runPartitioned(api, kTwoBq, x, {1024})));
    }
}

TEST(filters_iir, InPlaceEqualsOutOfPlace)
{
    const std::vector<float> x = noise(3000, 5);
    for (const auto& api : iirVariants()) {
        for (const auto* taps : {&kOneBq, &kTwoBq}) {
            for (int block : {1, 5, 8, 9, 700, 3000}) {
                const std::vector<float> want = runPartitioned(api, *taps, x, {block});
                IirState32f* s = make(api, *taps);
                std::vector<float> buf = x;
                for (int pos = 0; pos < 3000; pos += block)
                    ASSERT_EQ(api.iir(buf.data() + pos, buf.data() + pos, std::min(block, 3000 - pos), s), 0);
                api.free(s);
                EXPECT_TRUE(sameBits(buf, want)) << api.name << " block " << block;
            }
        }
    }
}

TEST(filters_iir, DelayLineCarriesTransposedFormState)
{
    // With s1, s2 loaded, the next output is b0 x + s1, and the one after b0 x + b1 x - a1 y + s2.
    const std::vector<float> taps = {1.0f, 0.5f, 0.25f, 1.0f, -0.5f, 0.125f};
    const float dly[2] = {3.0f, -2.0f};
    for (const auto& api : iirVariants()) {
        for (int len : {2, 16}) {
            IirState32f* s = make(api, taps, dly);
            std::vector<float> x(len, 0.0f), y(len);
            x[0] = 1.0f;
            ASSERT_EQ(api.iir(x.data(), y.data(), len, s), 0);
            EXPECT_EQ(y[0], 4.0f);
            EXPECT_EQ(y[1], 0.5f + 0.5f * 4.0f - 2.0f);
            // Cleared history: silence in, silence out.
            ASSERT_EQ(api.setDlyLine(s, nullptr), 0);
            std::vector<float> z(len, 0.0f), out(len, 1.0f);
            ASSERT_EQ(api.iir(z.data(), out.data(), len, s), 0);
            for (float v : out)
                EXPECT_EQ(v, 0.0f);
            api.free(s);
        }
    }
}

TEST(filters_iir, SetTapsKeepsTheHistoryAndRebuildsTables)
{
    const std::vector<float> x = noise(600, 13);
    for (const auto& api : iirVariants()) {
        // Filter half with taps A, switch to B: equals the model doing the same.
        IirState32f* s = make(api, kOneBq);
        std::vector<float> y(600);
        ASSERT_EQ(api.iir(x.data(), y.data(), 300, s), 0);
        const std::vector<float> tapsB = {1.0f, -1.9f, 0.95f, 1.0f, -1.8f, 0.85f};
        ASSERT_EQ(api.setTaps(tapsB.data(), s), 0);
        ASSERT_EQ(api.iir(x.data() + 300, y.data() + 300, 300, s), 0);
        api.free(s);
        FloatModel m(kOneBq);
        std::vector<float> want(600);
        m.run(x.data(), want.data(), 300);
        FloatModel mb(tapsB);
        mb.bq[0].s1 = m.bq[0].s1;
        mb.bq[0].s2 = m.bq[0].s2;
        mb.run(x.data() + 300, want.data() + 300, 300);
        EXPECT_TRUE(sameBits(y, want)) << api.name;
    }
}

TEST(filters_iir, StatusCodesInTheirOrder)
{
    const float dly[2] = {0, 0};
    for (const auto& api : iirVariants()) {
        SCOPED_TRACE(api.name);
        IirState32f* s = reinterpret_cast<IirState32f*>(0x1); // must stay as it is on failure
        EXPECT_EQ(api.initAlloc(nullptr, kOneBq.data(), 1, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, nullptr, 0, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.initAlloc(&s, kOneBq.data(), 0, dly), ippStsIIROrderErr);
        EXPECT_EQ(api.initAlloc(&s, kOneBq.data(), -3, dly), ippStsIIROrderErr);
        EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));

        s = make(api, kOneBq);
        float in[8] = {1, 2, 3, 4, 5, 6, 7, 8}, out[8] = {};
        EXPECT_EQ(api.iir(nullptr, out, 8, s), ippStsNullPtrErr);
        EXPECT_EQ(api.iir(in, nullptr, 8, s), ippStsNullPtrErr);
        EXPECT_EQ(api.iir(in, out, 8, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.iir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.iir(in, out, -1, s), ippStsSizeErr);
        EXPECT_EQ(api.setTaps(nullptr, s), ippStsNullPtrErr);
        EXPECT_EQ(api.setTaps(kOneBq.data(), nullptr), ippStsNullPtrErr);
        EXPECT_EQ(api.setDlyLine(nullptr, dly), ippStsNullPtrErr);
        EXPECT_EQ(api.free(nullptr), ippStsNullPtrErr);

        // A foreign id: the length is tested first, then -17 with nothing written.
        const Ipp32u id = s->id;
        s->id = 0x12345678u;
        EXPECT_EQ(api.iir(in, out, 0, s), ippStsSizeErr);
        EXPECT_EQ(api.iir(in, out, 8, s), ippStsContextMatchErr);
        for (float v : out)
            EXPECT_EQ(v, 0.0f);
        EXPECT_EQ(api.setTaps(kOneBq.data(), s), ippStsContextMatchErr);
        EXPECT_EQ(api.setDlyLine(s, dly), ippStsContextMatchErr);
        EXPECT_EQ(api.free(s), ippStsContextMatchErr);
        s->id = id;
        EXPECT_EQ(api.free(s), 0);
    }
}

TEST(filters_iir, ZeroA0OrB0IsRefused)
{
    for (const auto& api : iirVariants()) {
        for (const std::vector<float>& bad : {std::vector<float>{0.5f, 0.1f, 0.1f, -0.0f, 0.1f, 0.1f},
                                              {0.0f, 0.1f, 0.1f, 1.0f, 0.1f, 0.1f},
                                              {-0.0f, 0.1f, 0.1f, 2.0f, 0.1f, 0.1f}}) {
            IirState32f* s = reinterpret_cast<IirState32f*>(0x1);
            EXPECT_EQ(api.initAlloc(&s, bad.data(), 1, nullptr), ippStsDivByZeroErr);
            // The caller's pointer never points at the released block.
            EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));
            // Second biquad refused: same.
            std::vector<float> two = kOneBq;
            two.insert(two.end(), bad.begin(), bad.end());
            EXPECT_EQ(api.initAlloc(&s, two.data(), 2, nullptr), ippStsDivByZeroErr);
            EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));
        }
        // A NaN a0 is not zero: accepted.
        const std::vector<float> nanA0 = {1.0f, 0, 0, std::nanf(""), 0, 0};
        IirState32f* s = nullptr;
        EXPECT_EQ(api.initAlloc(&s, nanA0.data(), 1, nullptr), 0);
        api.free(s);
    }
}

TEST(filters_iir, RefusedSetTapsLeavesTheStateAsItWas)
{
    const std::vector<float> x = noise(300, 17);
    for (const auto& api : iirVariants()) {
        IirState32f* s = make(api, kTwoBq);
        std::vector<float> y(300);
        ASSERT_EQ(api.iir(x.data(), y.data(), 100, s), 0);
        // Whole record and areas, up to the work buffer (which filtering scribbles on).
        const auto* base = reinterpret_cast<const char*>(s);
        const std::size_t bytes = reinterpret_cast<const char*>(s->work) - base;
        const std::vector<char> before(base, base + bytes);
        std::vector<float> bad = kThreeBq;
        bad[6 * 2 + 3] = 0.0f; // third biquad's a0 (only the first two are read: numBq is 2)
        bad[6 * 1] = 0.0f;     // second biquad's b0
        EXPECT_EQ(api.setTaps(bad.data(), s), ippStsDivByZeroErr);
        EXPECT_EQ(std::memcmp(before.data(), base, bytes), 0) << api.name;
        // Filtering goes on with the old coefficients.
        ASSERT_EQ(api.iir(x.data() + 100, y.data() + 100, 200, s), 0);
        api.free(s);
        EXPECT_TRUE(sameBits(y, runPartitioned(api, kTwoBq, x, {100, 200}))) << api.name;
    }
}

TEST(filters_iir, UnrepresentableStateSizeIsOutOfMemory)
{
    for (const auto& api : iirVariants()) {
        IirState32f* s = reinterpret_cast<IirState32f*>(0x1);
        // Sizes beyond 32 bits, including counts whose 32-bit size would wrap to a small value.
        for (int numBq : {INT_MAX, INT_MAX / 40, 20000000, 26843546}) {
            EXPECT_EQ(api.initAlloc(&s, kOneBq.data(), numBq, nullptr), ippStsMemAllocErr) << numBq;
            EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));
        }
    }
}

TEST(filters_iir, FreeReleasesOnlySelfAllocatedStates)
{
    for (const auto& api : iirVariants()) {
        IirState32f fake{};
        fake.id = kIirIdBiQuad;
        fake.selfAllocated = 0;
        EXPECT_EQ(api.free(&fake), 0); // on the stack: must not be released
        fake.id = kIirIdArbitrary;
        EXPECT_EQ(api.free(&fake), 0);
        fake.id = kIirIdBiQuadDF1;
        EXPECT_EQ(api.free(&fake), 0);
    }
}

// Sums: the accurate and fast orders reproduced step by step in plain scalar code, bit for bit.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

// Eight partial sums, in the documented order, one scalar addition at a time.
double accurateReference(const float* x, int len)
{
    double p[8] = {};
    int i = 0;
    if (reinterpret_cast<std::uintptr_t>(x) & 4u) {
        p[0] += double(x[0]);
        i = 1;
    }
    bool ran = false;
    for (; len - i >= 8; i += 8, ran = true)
        for (int j = 0; j < 8; ++j)
            p[j] += double(x[i + j]);
    if (ran)
        for (int j = 0; j < 4; ++j)
            p[j] += p[j + 4];
    if (len - i >= 4) {
        for (int j = 0; j < 4; ++j)
            p[j] += double(x[i + j]);
        i += 4;
    }
    if (len - i >= 2) {
        p[0] += double(x[i]);
        p[1] += double(x[i + 1]);
        i += 2;
    }
    if (len - i == 1)
        p[0] += double(x[i]);
    return (p[0] + p[2]) + (p[1] + p[3]);
}

void fastBlockReference(const float* x, int n, float lanes[4])
{
    float f[4][4] = {};
    float g[4] = {};
    int i = 0;
    if (n >= 16) {
        for (; n - i >= 16; i += 16)
            for (int a = 0; a < 4; ++a)
                for (int l = 0; l < 4; ++l)
                    f[a][l] += x[i + 4 * a + l];
        for (int l = 0; l < 4; ++l)
            g[l] = (f[0][l] + f[2][l]) + (f[1][l] + f[3][l]);
    }
    for (; n - i >= 4; i += 4)
        for (int l = 0; l < 4; ++l)
            g[l] += x[i + l];
    if (n - i >= 2) {
        g[0] += x[i];
        g[1] += x[i + 1];
        i += 2;
    }
    if (n - i == 1)
        g[0] += x[i];
    for (int l = 0; l < 4; ++l)
        lanes[l] = g[l];
}

double fastReference(const float* x, int len)
{
    double d0 = 0, d1 = 0;
    int i = 0;
    while (i < len && (reinterpret_cast<std::uintptr_t>(x + i) & 15u))
        d0 += double(x[i++]);
    do {
        const int m = std::min(len - i, 32768);
        float g[4];
        fastBlockReference(x + i, m, g);
        d0 += double(g[0] + g[2]);
        d1 += double(g[1] + g[3]);
        i += m;
    } while (i < len);
    return d0 + d1;
}

std::vector<int> sumLengths()
{
    auto v = testLengths();
    for (int n : {32767, 32768, 32769, 65536 + 21, 100003})
        v.push_back(n);
    return v;
}

TEST(VectorSum, AccurateAndFastOrdersBitForBit)
{
    const auto sums = VECTOR_VARIANTS(ippsSum_32f);
    const auto accur = VECTOR_VARIANTS(ownippsSum_32f_Accur);
    const auto fast = VECTOR_VARIANTS(ownippsSum_32f_Fast);
    const auto own = VECTOR_VARIANTS(ownippsSum_32f);
    for (int len : sumLengths())
        for (std::size_t off : {0, 4, 8, 12})
            for (int v = 0; v < 3; ++v) {
                // Wide dynamic range, so that the order of the additions shows in the last bits.
                auto data = randomFloats(len, -1.0f, 1.0f);
                for (int i = 0; i < len; i += 7)
                    data[i] *= 1e6f;
                Placed<float> s(len, off);
                s.fill(data);
                const double ra = accurateReference(s.data(), len);
                const double rf = fastReference(s.data(), len);
                double d;
                accur[v].fn(s.data(), len, &d);
                ASSERT_EQ(bits(d), bits(ra)) << accur[v].name << " len " << len << " off " << off;
                fast[v].fn(s.data(), len, &d);
                ASSERT_EQ(bits(d), bits(rf)) << fast[v].name << " len " << len << " off " << off;
                ASSERT_EQ(bits(own[v].fn(s.data(), len, 1)), bits(double(float(rf))));
                for (int hint : {0, 2, 7, -1})
                    ASSERT_EQ(bits(own[v].fn(s.data(), len, hint)), bits(double(float(ra))));
                float f = 0;
                ASSERT_EQ(sums[v].fn(s.data(), len, &f, 2), ippStsNoErr);
                ASSERT_EQ(bits(f), bits(float(ra))) << sums[v].name << " len " << len << " off " << off;
                ASSERT_EQ(sums[v].fn(s.data(), len, &f, 1), ippStsNoErr);
                ASSERT_EQ(bits(f), bits(float(rf)));
                // Close to the exact sum in any case.
                double exact = 0;
                for (float x : data)
                    exact += double(x);
                ASSERT_NEAR(ra, exact, 1e-9 * (std::fabs(exact) + 1e6));
            }
}

TEST(VectorSum, StatusCodes)
{
    const float a[2] = {1, 2};
    for (const auto& v : VECTOR_VARIANTS(ippsSum_32f)) {
        float r = 42;
        EXPECT_EQ(v.fn(nullptr, 0, &r, 2), ippStsNullPtrErr);
        EXPECT_EQ(v.fn(a, 0, nullptr, 2), ippStsNullPtrErr);
        EXPECT_EQ(v.fn(nullptr, 2, &r, 2), ippStsNullPtrErr);
        EXPECT_EQ(v.fn(a, 0, &r, 2), ippStsSizeErr);
        EXPECT_EQ(v.fn(a, -5, &r, 1), ippStsSizeErr);
        EXPECT_EQ(r, 42.0f);
    }
}

TEST(VectorSum, ComplexAndDoubleKernels)
{
    for (int len : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 100, 1001})
        for (std::size_t off : {0, 8}) {
            const auto raw = randomFloats(2 * len, -1, 1);
            Placed<Ipp32fc> c(len, off);
            std::memcpy(c.data(), raw.data(), raw.size() * 4);
            Placed<double> d(len, off);
            Placed<Ipp64fc> dc(len, off == 0 ? 0 : 16);
            for (int i = 0; i < len; ++i) {
                d[i] = double(raw[i]) * 1e3 + 1e-9 * i;
                dc[i] = {double(raw[2 * i]), double(raw[2 * i + 1])};
            }
            double re = 0, im = 0, sd = 0;
            for (int i = 0; i < len; ++i) {
                re += double(raw[2 * i]);
                im += double(raw[2 * i + 1]);
                sd += d[i];
            }
            double results[3][7];
            for (int v = 0; v < 3; ++v) {
                double p[2], q[2], s, r[2];
                VECTOR_VARIANTS(ownippsSum_32fc_Accur)[v].fn(c.data(), len, p);
                VECTOR_VARIANTS(ownippsSum_32fc_Fast)[v].fn(c.data(), len, q);
                VECTOR_VARIANTS(ownippsSum_64f)[v].fn(d.data(), len, &s);
                VECTOR_VARIANTS(ownippsSum_64fc)[v].fn(dc.data(), len, r);
                EXPECT_NEAR(p[0], re, 1e-9);
                EXPECT_NEAR(p[1], im, 1e-9);
                EXPECT_NEAR(q[0], re, 1e-4);
                EXPECT_NEAR(q[1], im, 1e-4);
                EXPECT_NEAR(s, sd, 1e-8);
                EXPECT_NEAR(r[0], re, 1e-9);
                EXPECT_NEAR(r[1], im, 1e-9);
                const double all[7] = {p[0], p[1], q[0], q[1], s, r[0], r[1]};
                std::copy(all, all + 7, results[v]);
            }
            for (int k = 0; k < 7; ++k) {
                EXPECT_EQ(bits(results[0][k]), bits(results[1][k]));
                EXPECT_EQ(bits(results[0][k]), bits(results[2][k]));
            }
        }
    // The fast complex sum keeps real and imaginary parts apart whatever the alignment.
    Placed<Ipp32fc> c(3, 8);
    c[0] = {1, 100};
    c[1] = {2, 200};
    c[2] = {4, 400};
    double q[2];
    y8_ownippsSum_32fc_Fast(c.data(), 3, q);
    EXPECT_EQ(q[0], 7.0);
    EXPECT_EQ(q[1], 700.0);
    // A 64f source off its 16-byte grid takes element 0 alone into lane 0, so the pair that
    // follows lands in other lanes than from an aligned start.
    for (std::size_t off : {0, 8}) {
        Placed<double> d(3, off);
        d[0] = 1e20;
        d[1] = 1.0;
        d[2] = -1e20;
        double s;
        m7_ownippsSum_64f(d.data(), 3, &s);
        EXPECT_EQ(s, off ? -1e20 + (1e20 + 1.0) : 1.0 + (1e20 + -1e20)) << off;
    }
}

TEST(VectorSum, IntegerSumsAreExact)
{
    for (int len : {1, 2, 9, 65535, 65536, 65537, 200000})
        for (int sign : {-1, 1}) {
            std::vector<Ipp16s> x(len, Ipp16s(sign > 0 ? 32767 : -32768));
            std::vector<Ipp16sc> c(len, Ipp16sc{Ipp16s(-32768), 32767});
            for (int v = 0; v < 3; ++v) {
                double s, p[2];
                VECTOR_VARIANTS(ownippsSum_16s64f)[v].fn(x.data(), &s, len);
                EXPECT_EQ(s, double(len) * (sign > 0 ? 32767.0 : -32768.0));
                VECTOR_VARIANTS(ownippsSum_16sc64fc)[v].fn(c.data(), p, len);
                EXPECT_EQ(p[0], -32768.0 * len);
                EXPECT_EQ(p[1], 32767.0 * len);
            }
        }
}

TEST(VectorSum, ScaledConversion)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int v = 0; v < 3; ++v) {
        const auto conv = VECTOR_VARIANTS(ownippsSum_16s32s_ASM)[v].fn;
        const auto convC = VECTOR_VARIANTS(ownippsSum_16sc32sc_ASM)[v].fn;
        const auto at = [&](double s, int sf) { return conv(&s, sf); };
        EXPECT_EQ(at(5.5, 0), 6);
        EXPECT_EQ(at(4.5, 0), 4);
        EXPECT_EQ(at(-4.5, 0), -4);
        EXPECT_EQ(at(3.0e9, 0), 2147483647);
        EXPECT_EQ(at(-3.0e9, 0), -2147483647 - 1);
        EXPECT_EQ(at(9.0, 1), 4);
        EXPECT_EQ(at(11.0, 1), 6);
        EXPECT_EQ(at(12345.0, 2000), 0);
        EXPECT_EQ(at(1.0, 1024), 0);
        EXPECT_EQ(at(3.0, -3), 24);
        EXPECT_EQ(at(3.0, -2000), 2147483647);
        EXPECT_EQ(at(-3.0, -2147483647 - 1), -2147483647 - 1);
        EXPECT_EQ(at(nan, 0), -2147483647 - 1);
        // A zero sum is 0 under every factor, also where the multiplier is infinite.
        for (int sf : {0, 5, -5, 2000, -1023, -1024, -2000, 2147483647, -2147483647 - 1}) {
            EXPECT_EQ(at(0.0, sf), 0) << sf;
            EXPECT_EQ(at(-0.0, sf), 0) << sf;
        }
        const double pair[2] = {0.0, -7.0};
        Ipp32s out[2] = {1, 1};
        convC(pair, out, -2000);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], -2147483647 - 1);
        const double halves[2] = {2.5, 3.5};
        convC(halves, out, 0);
        EXPECT_EQ(out[0], 2);
        EXPECT_EQ(out[1], 4);
    }
    // Rounding follows the current mode.
    const int old = std::fegetround();
    std::fesetround(FE_UPWARD);
    double s = 4.25;
    EXPECT_EQ(y8_ownippsSum_16s32s_ASM(&s, 0), 5);
    std::fesetround(old);
}

} // namespace

// Squares in every variant: float squares bit for bit, integer squares against a rounding reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

// v * 2^-s rounded to nearest even in double (exact for these magnitudes), then saturated.
long long scaledReference(long long v, long long s, long long lo, long long hi)
{
    s = std::clamp(s, -2000LL, 2000LL);
    const double r = std::nearbyint(std::ldexp(double(v), int(-s)));
    if (r < double(lo))
        return lo;
    if (r > double(hi))
        return hi;
    return (long long)r;
}

std::vector<int> scaleFactors()
{
    std::vector<int> s;
    for (int i = -40; i <= 40; ++i)
        s.push_back(i);
    for (int i : {63, 64, 1000, -1000, 2147483647, -2147483647 - 1})
        s.push_back(i);
    return s;
}

TEST(VectorSqr, FloatSquaresEqualOneMultiplication)
{
    const auto sqr = VECTOR_VARIANTS(ippsSqr_32f);
    const auto kernel = VECTOR_VARIANTS(ownippsSqr_32f);
    for (int len : testLengths())
        for (std::size_t so : {0, 4, 8, 12})
            for (std::size_t d0 : {0, 4, 8, 12})
                for (int v = 0; v < 3; ++v) {
                    const auto a = randomFloats(len, -1e20f, 1e20f);
                    Placed<float> s(len, so), d(len, d0);
                    s.fill(a);
                    ASSERT_EQ(sqr[v].fn(s.data(), d.data(), len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits(a[i] * a[i])) << sqr[v].name << len;
                    ASSERT_TRUE(d.guardsIntact());
                    kernel[v].fn(s.data(), d.data(), len);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits(a[i] * a[i]));
                }
}

TEST(VectorSqr, InPlaceAtEveryOffset)
{
    for (const auto& v : VECTOR_VARIANTS(ippsSqr_32f))
        for (int len = 1; len <= 40; ++len)
            for (std::size_t off : {0, 4, 8, 12}) {
                const auto a = randomFloats(len);
                Placed<float> s(len, off);
                s.fill(a);
                ASSERT_EQ(v.fn(s.data(), s.data(), len), ippStsNoErr);
                for (int i = 0; i < len; ++i)
                    ASSERT_EQ(bits(s[i]), bits(a[i] * a[i]));
                ASSERT_TRUE(s.guardsIntact());
            }
}

TEST(VectorSqr, FloatSpecialValuesAndStatus)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& v : VECTOR_VARIANTS(ippsSqr_32f)) {
        const float in[5] = {-0.0f, 3.0f, nan, 18446744073709551616.0f, 1e-20f};
        float out[5];
        ASSERT_EQ(v.fn(in, out, 5), ippStsNoErr);
        EXPECT_EQ(bits(out[0]), 0u);
        EXPECT_EQ(out[1], 9.0f);
        EXPECT_TRUE(std::isnan(out[2]));
        EXPECT_EQ(out[3], std::numeric_limits<float>::infinity());
        EXPECT_GT(out[4], 0.0f);
        EXPECT_LT(out[4], std::numeric_limits<float>::min()); // a denormal
        float untouched[2] = {7, 7};
        EXPECT_EQ(v.fn(in, untouched, 0), ippStsSizeErr);
        EXPECT_EQ(v.fn(in, untouched, -1), ippStsSizeErr);
        EXPECT_EQ(v.fn(nullptr, untouched, 2), ippStsNullPtrErr);
        EXPECT_EQ(v.fn(in, nullptr, 2), ippStsNullPtrErr);
        EXPECT_EQ(v.fn(nullptr, untouched, 0), ippStsNullPtrErr);
        EXPECT_EQ(untouched[0], 7.0f);
    }
}

TEST(VectorSqr, ComplexAndDoubleSquares)
{
    for (int len : {1, 2, 3, 4, 5, 8, 9, 33})
        for (int v = 0; v < 3; ++v) {
            const auto raw = randomFloats(2 * len, -1e3f, 1e3f);
            std::vector<Ipp32fc> c(len), cOut(len);
            std::vector<Ipp64fc> z(len), zOut(len);
            std::vector<double> d(len), dOut(len);
            for (int i = 0; i < len; ++i) {
                c[i] = {raw[2 * i], raw[2 * i + 1]};
                z[i] = {double(raw[2 * i]) / 3, double(raw[2 * i + 1]) / 7};
                d[i] = double(raw[i]) / 3;
            }
            VECTOR_VARIANTS(ownippsSqr_32fc)[v].fn(c.data(), cOut.data(), len);
            VECTOR_VARIANTS(ownippsSqr_64fc)[v].fn(z.data(), zOut.data(), len);
            VECTOR_VARIANTS(ownippsSqr_64f)[v].fn(d.data(), dOut.data(), len);
            for (int i = 0; i < len; ++i) {
                const float rr = c[i].re * c[i].re, ii = c[i].im * c[i].im, ri = c[i].re * c[i].im;
                EXPECT_EQ(bits(cOut[i].re), bits(rr - ii));
                EXPECT_EQ(bits(cOut[i].im), bits(ri + ri));
                const double zr = z[i].re * z[i].re, zi = z[i].im * z[i].im, zri = z[i].re * z[i].im;
                EXPECT_EQ(bits(zOut[i].re), bits(zr - zi));
                EXPECT_EQ(bits(zOut[i].im), bits(zri + zri));
                EXPECT_EQ(bits(dOut[i]), bits(d[i] * d[i]));
            }
            // In place.
            VECTOR_VARIANTS(ownippsSqr_32fc)[v].fn(c.data(), c.data(), len);
            EXPECT_EQ(std::memcmp(c.data(), cOut.data(), len * sizeof(Ipp32fc)), 0);
        }
    Ipp32fc c{3, 4}, r;
    m7_ownippsSqr_32fc(&c, &r, 1);
    EXPECT_EQ(r.re, -7.0f);
    EXPECT_EQ(r.im, 24.0f);
}

TEST(VectorSqr, EightBitEveryInputAndScale)
{
    std::vector<Ipp8u> all(256), out(256);
    for (int i = 0; i < 256; ++i)
        all[i] = Ipp8u(i);
    for (int s : scaleFactors())
        for (const auto& v : VECTOR_VARIANTS(ownippsSqr_8u)) {
            v.fn(all.data(), out.data(), 256, s);
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(out[x], scaledReference(x * x, s, 0, 255)) << v.name << " x " << x << " s " << s;
        }
}

TEST(VectorSqr, SixteenBitEveryInputAtSelectedScales)
{
    std::vector<Ipp16u> u(65536), uo(65536);
    std::vector<Ipp16s> si(65536), so(65536);
    for (int i = 0; i < 65536; ++i) {
        u[i] = Ipp16u(i);
        si[i] = Ipp16s(i - 32768);
    }
    for (int s : {-31, -17, -16, -15, -2, -1, 0, 1, 2, 3, 4, 15, 16, 17, 18, 19, 30, 31, 32, 33, 64})
        for (int v = 0; v < 3; ++v) {
            VECTOR_VARIANTS(ownippsSqr_16u)[v].fn(u.data(), uo.data(), 65536, s);
            VECTOR_VARIANTS(ownippsSqr_16s_ASM)[v].fn(si.data(), so.data(), 65536, s);
            for (int i = 0; i < 65536; ++i) {
                const long long x = u[i], y = si[i];
                ASSERT_EQ(uo[i], scaledReference(x * x, s, 0, 65535)) << "16u x " << x << " s " << s;
                ASSERT_EQ(so[i], scaledReference(y * y, s, 0, 32767)) << "16s x " << y << " s " << s;
            }
        }
}

TEST(VectorSqr, ComplexSixteenBitRandomAndEdges)
{
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<Ipp16sc> in(4000), out(4000);
    for (auto& c : in)
        c = {Ipp16s(d(rng())), Ipp16s(d(rng()))};
    in[0] = {-32768, -32768};
    in[1] = {-32768, 32767};
    in[2] = {0, 1};
    in[3] = {1, 1};
    in[4] = {3, 4};
    for (int s : scaleFactors())
        for (const auto& v : VECTOR_VARIANTS(ownippsSqr_16sc_ASM)) {
            v.fn(in.data(), out.data(), int(in.size()), s);
            for (std::size_t i = 0; i < in.size(); ++i) {
                const long long re = in[i].re, im = in[i].im;
                ASSERT_EQ(out[i].re, scaledReference(re * re - im * im, s, -32768, 32767)) << i << " s " << s;
                ASSERT_EQ(out[i].im, scaledReference(2 * re * im, s, -32768, 32767)) << i << " s " << s;
            }
        }
}

} // namespace

// The kernels of the other element types in every variant: integer squares and sums against exact
// integer references with the scale rule (round half to even, saturate) over every input or at
// random, double and complex squares and sums against plain loops, typed searches.
#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

// v * 2^-s rounded to nearest even (exact in double for these magnitudes), then saturated.
long long scaled(long long v, int s, long long lo, long long hi)
{
    const double r = std::nearbyint(std::ldexp(double(v), int(std::clamp(-(long long)s, -2000LL, 2000LL))));
    return r < double(lo) ? lo : r > double(hi) ? hi : (long long)r;
}

std::vector<int> scaleFactors()
{
    std::vector<int> s = {63, 64, 1000, -1000, 2147483647, -2147483647 - 1};
    for (int i = -40; i <= 40; ++i)
        s.push_back(i);
    return s;
}

} // namespace

TEST(VectorTyped, IntegerSquaresFollowTheScaleRule)
{
    std::vector<Ipp8u> all8(256), out8(256);
    std::vector<Ipp16u> u(65536), uo(65536);
    std::vector<Ipp16s> si(65536), so(65536);
    for (int i = 0; i < 65536; ++i)
        all8[i % 256] = Ipp8u(i), u[i] = Ipp16u(i), si[i] = Ipp16s(i - 32768);
    auto cx = randomValues<Ipp16s>(2 * 4000, -32768, 32768);
    cx[0] = cx[1] = -32768, cx[2] = -32768, cx[3] = 32767;
    std::vector<Ipp16sc> c(4000), co(4000);
    std::memcpy(c.data(), cx.data(), 4 * c.size());
    for (int s : scaleFactors())
        for (int v = 0; v < 3; ++v) {
            VECTOR_VARIANTS(ownippsSqr_8u)[v](all8.data(), out8.data(), 256, s);
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(out8[x], scaled(x * x, s, 0, 255)) << v << " x " << x << " s " << s;
            VECTOR_VARIANTS(ownippsSqr_16sc_ASM)[v](c.data(), co.data(), 4000, s);
            for (int i = 0; i < 4000; ++i) {
                const long long re = c[i].re, im = c[i].im;
                ASSERT_EQ(co[i].re, scaled(re * re - im * im, s, -32768, 32767)) << v << " s " << s;
                ASSERT_EQ(co[i].im, scaled(2 * re * im, s, -32768, 32767)) << v << " s " << s;
            }
            if (s < -31 || s > 33 || (s > 4 && s < 15 && s % 3))
                continue; // every input of the 16-bit kernels at the scales where their paths change
            VECTOR_VARIANTS(ownippsSqr_16u)[v](u.data(), uo.data(), 65536, s);
            VECTOR_VARIANTS(ownippsSqr_16s_ASM)[v](si.data(), so.data(), 65536, s);
            for (long long i = 0; i < 65536; ++i) {
                ASSERT_EQ(uo[i], scaled(i * i, s, 0, 65535)) << "16u " << i << " s " << s;
                ASSERT_EQ(so[i], scaled((i - 32768) * (i - 32768), s, 0, 32767)) << "16s " << i << " s " << s;
            }
        }
}

TEST(VectorTyped, OtherTypesAgainstPlainLoops)
{
    for (int len : testLengths())
        for (int v = 0; v < 3; ++v) {
            const auto d = randomValues<double>(2 * len);
            const auto f = randomValues(2 * len);
            const auto i16 = randomValues<Ipp16s>(2 * len, -32768, 32768);
            std::vector<double> out(2 * len);
            std::vector<float> outf(2 * len);
            VECTOR_VARIANTS(ownippsSqr_64f)[v](d.data(), out.data(), len);
            VECTOR_VARIANTS(ownippsSqr_32fc)
            [v](reinterpret_cast<const Ipp32fc*>(f.data()), reinterpret_cast<Ipp32fc*>(outf.data()), len);
            for (int i = 0; i < len; ++i) {
                ASSERT_EQ(out[i], d[i] * d[i]);
                const float re = f[2 * i], im = f[2 * i + 1], ri = re * im;
                ASSERT_EQ(bits(outf[2 * i]), bits(re * re - im * im));
                ASSERT_EQ(bits(outf[2 * i + 1]), bits(ri + ri));
            }
            VECTOR_VARIANTS(ownippsSqr_64fc)
            [v](reinterpret_cast<const Ipp64fc*>(d.data()), reinterpret_cast<Ipp64fc*>(out.data()), len);
            for (int i = 0; i < len; ++i) {
                const double re = d[2 * i], im = d[2 * i + 1], ri = re * im;
                ASSERT_EQ(out[2 * i], re * re - im * im);
                ASSERT_EQ(out[2 * i + 1], ri + ri);
            }
            // Sums: integers exactly, doubles and complex floats to rounding.
            double exact[2] = {}, plain[2] = {}, got[2] = {};
            for (int i = 0; i < 2 * len; ++i)
                exact[i % 2] += i16[i], plain[i % 2] += d[i];
            VECTOR_VARIANTS(ownippsSum_16sc64fc)[v](reinterpret_cast<const Ipp16sc*>(i16.data()), got, len);
            ASSERT_EQ(got[0], exact[0]);
            ASSERT_EQ(got[1], exact[1]);
            VECTOR_VARIANTS(ownippsSum_16s64f)[v](i16.data(), got, 2 * len);
            ASSERT_EQ(got[0], exact[0] + exact[1]);
            VECTOR_VARIANTS(ownippsSum_64fc)[v](reinterpret_cast<const Ipp64fc*>(d.data()), len, got);
            ASSERT_NEAR(got[0], plain[0], 1e-9 * len);
            VECTOR_VARIANTS(ownippsSum_64f)[v](d.data(), 2 * len, got);
            ASSERT_NEAR(got[0], plain[0] + plain[1], 1e-9 * len);
            for (auto sum : {VECTOR_VARIANTS(ownippsSum_32fc_Accur)[v], VECTOR_VARIANTS(ownippsSum_32fc_Fast)[v]}) {
                double fp[2] = {};
                for (int i = 0; i < 2 * len; ++i)
                    fp[i % 2] += f[i];
                sum(reinterpret_cast<const Ipp32fc*>(f.data()), len, got);
                ASSERT_NEAR(got[1], fp[1], 1e-4 * len);
            }
            // Searches of the other types.
            const std::vector<Ipp32s> i32(i16.begin(), i16.begin() + len);
            const std::vector<Ipp16u> u16(i16.begin(), i16.begin() + len);
            const auto minMax = [len](auto fn, const auto& data) {
                std::remove_cvref_t<decltype(data[0])> mn, mx;
                fn(data.data(), len, &mn, &mx);
                ASSERT_EQ(mn, *std::min_element(data.begin(), data.begin() + len));
                ASSERT_EQ(mx, *std::max_element(data.begin(), data.begin() + len));
            };
            minMax(VECTOR_VARIANTS(MiniMax_64f_M7)[v], d);
            minMax(VECTOR_VARIANTS(MiniMax_16s_M7)[v], i16);
            minMax(VECTOR_VARIANTS(MiniMax_32s_M7)[v], i32);
            minMax(VECTOR_VARIANTS(MiniMax_16u_M7)[v], u16);
            Ipp16s m16;
            ASSERT_EQ(VECTOR_VARIANTS(ownippsMax_16s)[v](i16.data(), len, &m16),
                      *std::max_element(i16.begin(), i16.begin() + len));
            Ipp32s at = -1;
            Ipp64f dmx;
            VECTOR_VARIANTS(ownsMaxIndx_64f_M7)[v](d.data(), len, &dmx, &at);
            ASSERT_EQ(at, std::max_element(d.begin(), d.begin() + len) - d.begin());
        }
}

TEST(VectorTyped, ScaledConversionOfSums)
{
    for (int v = 0; v < 3; ++v) {
        const auto conv = VECTOR_VARIANTS(ownippsSum_16s32s_ASM)[v];
        const struct
        {
            double sum;
            int sf;
            Ipp32s want;
        } cases[] = {{5.5, 0, 6}, {4.5, 0, 4},    {3.0e9, 0, 2147483647},   {-3.0e9, 0, -2147483647 - 1},
                     {9.0, 1, 4}, {1.0, 2000, 0}, {1.0, -2000, 2147483647}, {std::nan(""), 0, -2147483647 - 1}};
        for (const auto& c : cases)
            EXPECT_EQ(conv(&c.sum, c.sf), c.want) << c.sum << " " << c.sf;
        const double pair[2] = {-7.5, 3.0e10};
        Ipp32s out[2];
        VECTOR_VARIANTS(ownippsSum_16sc32sc_ASM)[v](pair, out, 0);
        EXPECT_EQ(out[0], -8);
        EXPECT_EQ(out[1], 2147483647);
    }
}

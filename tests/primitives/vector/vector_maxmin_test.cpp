// Maximum and minimum, with first indices, in every variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

const std::size_t floatOffsets[] = {0, 4, 8, 12, 16, 20, 24, 28};

struct Ref
{
    float mn, mx;
    int iMin, iMax;
};

Ref reference(const std::vector<float>& v)
{
    Ref r{v[0], v[0], 0, 0};
    for (int i = 1; i < int(v.size()); ++i) {
        if (v[i] < r.mn)
            r.mn = v[i], r.iMin = i;
        if (v[i] > r.mx)
            r.mx = v[i], r.iMax = i;
    }
    return r;
}

std::vector<int> maxLengths()
{
    auto v = testLengths();
    for (int n : {33, 34, 35, 2100, 4096, 4104, 6150})
        v.push_back(n);
    return v;
}

TEST(VectorMaxMin, AgainstPlainLoopsOnRandomAndTiedData)
{
    const auto maxes = VECTOR_VARIANTS(ippsMax_32f);
    const auto maxIndx = VECTOR_VARIANTS(ippsMaxIndx_32f);
    const auto minMax = VECTOR_VARIANTS(ippsMinMax_32f);
    const auto minMaxIndx = VECTOR_VARIANTS(ippsMinMaxIndx_32f);
    for (int len : maxLengths())
        for (std::size_t off : floatOffsets)
            for (int ties = 0; ties < 2; ++ties) {
                const auto data = ties ? randomTies(len, 20) : randomFloats(len);
                Placed<float> s(len, off);
                s.fill(data);
                const Ref r = reference(data);
                for (int v = 0; v < 3; ++v) {
                    float mx = -1, mn = -1;
                    Ipp32s i0 = -1, i1 = -1;
                    ASSERT_EQ(maxes[v].fn(s.data(), len, &mx), ippStsNoErr);
                    ASSERT_EQ(mx, r.mx) << maxes[v].name << len;
                    ASSERT_EQ(maxIndx[v].fn(s.data(), len, &mx, &i0), ippStsNoErr);
                    ASSERT_EQ(mx, r.mx);
                    ASSERT_EQ(i0, r.iMax) << maxIndx[v].name << " len " << len << " off " << off;
                    ASSERT_EQ(minMax[v].fn(s.data(), len, &mn, &mx), ippStsNoErr);
                    ASSERT_EQ(mn, r.mn);
                    ASSERT_EQ(mx, r.mx);
                    ASSERT_EQ(minMaxIndx[v].fn(s.data(), len, &mn, &i0, &mx, &i1), ippStsNoErr);
                    ASSERT_EQ(mn, r.mn);
                    ASSERT_EQ(i0, r.iMin) << minMaxIndx[v].name << len;
                    ASSERT_EQ(mx, r.mx);
                    ASSERT_EQ(i1, r.iMax) << minMaxIndx[v].name << len;
                }
            }
}

TEST(VectorMaxMin, MaximumAtEveryPositionIsFound)
{
    const auto maxIndx = VECTOR_VARIANTS(ippsMaxIndx_32f);
    for (int len : {2, 9, 33, 34, 100, 2100})
        for (std::size_t off : {0, 4, 8, 12})
            for (int at = 0; at < len; at += (len > 100 ? 37 : 1)) {
                std::vector<float> data = randomFloats(len, -1, 1);
                data[at] = 5.0f;
                Placed<float> s(len, off);
                s.fill(data);
                for (const auto& v : maxIndx) {
                    float mx;
                    Ipp32s i = -1;
                    v.fn(s.data(), len, &mx, &i);
                    ASSERT_EQ(i, at) << v.name << " len " << len << " off " << off;
                }
            }
}

TEST(VectorMaxMin, VariantsAgreeBitForBitWithSignedZeros)
{
    for (int len : {5, 17, 40, 64, 2100})
        for (std::size_t off : {0, 4, 8, 12}) {
            std::vector<float> data(len);
            for (int i = 0; i < len; ++i)
                data[i] = (rng()() & 1) ? 0.0f : -0.0f;
            Placed<float> s(len, off);
            s.fill(data);
            std::uint32_t results[3][6];
            for (int v = 0; v < 3; ++v) {
                float mx, mn, mx2;
                Ipp32s i, j, k;
                VECTOR_VARIANTS(ippsMax_32f)[v].fn(s.data(), len, &mx);
                VECTOR_VARIANTS(ippsMinMax_32f)[v].fn(s.data(), len, &mn, &mx2);
                VECTOR_VARIANTS(ippsMaxIndx_32f)[v].fn(s.data(), len, &mx, &i);
                VECTOR_VARIANTS(ippsMinMaxIndx_32f)[v].fn(s.data(), len, &mn, &j, &mx2, &k);
                const std::uint32_t r[6] = {bits(mx),         bits(mn),         bits(mx2),
                                            std::uint32_t(i), std::uint32_t(j), std::uint32_t(k)};
                std::copy(r, r + 6, results[v]);
            }
            for (int c = 0; c < 6; ++c) {
                EXPECT_EQ(results[0][c], results[1][c]);
                EXPECT_EQ(results[0][c], results[2][c]);
            }
        }
}

template <class T>
std::vector<T> randomInts(std::size_t n)
{
    std::uniform_int_distribution<long long> d(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    std::vector<T> v(n);
    for (auto& x : v)
        x = T(d(rng()));
    return v;
}

TEST(VectorMaxMin, TypedKernels)
{
    for (int len : {1, 2, 7, 8, 9, 16, 31, 32, 33, 100, 1001}) {
        const auto d64 = [&] {
            std::vector<double> v(len);
            for (auto& x : v)
                x = double(randomFloats(1)[0]) * 1e3;
            return v;
        }();
        const auto i16 = randomInts<Ipp16s>(len);
        const auto u8 = randomInts<Ipp8u>(len);
        const auto u16 = randomInts<Ipp16u>(len);
        const auto i32 = randomInts<Ipp32s>(len);
        const auto f32 = randomFloats(len);
        const auto [mn64, mx64] = std::minmax_element(d64.begin(), d64.end());
        for (int v = 0; v < 3; ++v) {
            double a, b;
            VECTOR_VARIANTS(ownippsMax_64f)[v].fn(d64.data(), len, &a);
            EXPECT_EQ(a, *mx64);
            VECTOR_VARIANTS(MiniMax_64f_M7)[v].fn(d64.data(), Ipp32u(len), &a, &b);
            EXPECT_EQ(a, *mn64);
            EXPECT_EQ(b, *mx64);
            Ipp32s k = -1;
            VECTOR_VARIANTS(ownsMaxIndx_64f_M7)[v].fn(d64.data(), Ipp32u(len), &a, &k);
            EXPECT_EQ(a, *mx64);
            EXPECT_EQ(k, mx64 - d64.begin());
            VECTOR_VARIANTS(ownsMinIndx_64f_M7)[v].fn(d64.data(), Ipp32u(len), &a, &k);
            EXPECT_EQ(a, *mn64);
            EXPECT_EQ(k, mn64 - d64.begin());

            Ipp16s s1 = 0, s2 = 0;
            EXPECT_EQ(VECTOR_VARIANTS(ownippsMax_16s)[v].fn(i16.data(), len, &s1),
                      *std::max_element(i16.begin(), i16.end()));
            EXPECT_EQ(s1, *std::max_element(i16.begin(), i16.end()));
            VECTOR_VARIANTS(MiniMax_16s_M7)[v].fn(i16.data(), Ipp32u(len), &s1, &s2);
            EXPECT_EQ(s1, *std::min_element(i16.begin(), i16.end()));
            EXPECT_EQ(s2, *std::max_element(i16.begin(), i16.end()));
            Ipp8u b1, b2;
            VECTOR_VARIANTS(MiniMax_8u_M7)[v].fn(u8.data(), Ipp32u(len), &b1, &b2);
            EXPECT_EQ(b1, *std::min_element(u8.begin(), u8.end()));
            EXPECT_EQ(b2, *std::max_element(u8.begin(), u8.end()));
            Ipp16u w1, w2;
            VECTOR_VARIANTS(MiniMax_16u_M7)[v].fn(u16.data(), Ipp32u(len), &w1, &w2);
            EXPECT_EQ(w1, *std::min_element(u16.begin(), u16.end()));
            EXPECT_EQ(w2, *std::max_element(u16.begin(), u16.end()));
            Ipp32s l1, l2;
            VECTOR_VARIANTS(MiniMax_32s_M7)[v].fn(i32.data(), Ipp32u(len), &l1, &l2);
            EXPECT_EQ(l1, *std::min_element(i32.begin(), i32.end()));
            EXPECT_EQ(l2, *std::max_element(i32.begin(), i32.end()));
            float f;
            VECTOR_VARIANTS(ownippsMax_32f)[v].fn(f32.data(), len, &f);
            EXPECT_EQ(f, *std::max_element(f32.begin(), f32.end()));
        }
    }
    // Block kernels: 16-byte aligned sources, counts in whole groups.
    for (int n : {8, 16, 64, 2048}) {
        Placed<float> f(n, 0);
        f.fill(randomFloats(n));
        const auto vals = f.values();
        Placed<Ipp16s> s(2 * n, 0);
        s.fill(randomInts<Ipp16s>(2 * n));
        const auto svals = s.values();
        for (int v = 0; v < 3; ++v) {
            float mx, mn;
            VECTOR_VARIANTS(ownsMaxFind_32f_M7)[v].fn(f.data(), Ipp32u(n), &mx);
            VECTOR_VARIANTS(ownsMinFind_32f_M7)[v].fn(f.data(), Ipp32u(n), &mn);
            EXPECT_EQ(mx, *std::max_element(vals.begin(), vals.end()));
            EXPECT_EQ(mn, *std::min_element(vals.begin(), vals.end()));
            EXPECT_EQ(VECTOR_VARIANTS(ownsIndx_32f_M7)[v].fn(f.data(), &mx),
                      std::max_element(vals.begin(), vals.end()) - vals.begin());
            const Ipp16s smx = VECTOR_VARIANTS(ownsMaxFind_16s_M7)[v].fn(s.data(), Ipp32u(2 * n));
            const Ipp16s smn = VECTOR_VARIANTS(ownsMinFind_16s_M7)[v].fn(s.data(), Ipp32u(2 * n));
            EXPECT_EQ(smx, *std::max_element(svals.begin(), svals.end()));
            EXPECT_EQ(smn, *std::min_element(svals.begin(), svals.end()));
            EXPECT_EQ(VECTOR_VARIANTS(ownsIndx_16s_M7)[v].fn(s.data(), smn),
                      std::min_element(svals.begin(), svals.end()) - svals.begin());
        }
    }
}

} // namespace

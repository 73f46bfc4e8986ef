// The float array operations in every variant against plain element loops, at every 4-byte offset
// and across every step and tail length: each element operation is one IEEE operation (bit for
// bit), the accurate sum follows its documented order bit for bit, and the searches find the
// plain loops' values and first indices.
#include <limits>

#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

// Eight double partial sums in the documented order, one scalar addition at a time.
double accurateSum(const float* x, int len)
{
    double p[8] = {};
    int i = 0;
    if (reinterpret_cast<std::uintptr_t>(x) & 4u)
        p[0] += double(x[i++]);
    bool ran = false;
    for (; len - i >= 8; i += 8, ran = true)
        for (int j = 0; j < 8; ++j)
            p[j] += double(x[i + j]);
    for (int j = 0; ran && j < 4; ++j)
        p[j] += p[j + 4];
    for (int j = 0; len - i >= 4 && j < 4; ++j)
        p[j] += double(x[i + j]), i += j == 3 ? 4 : 0;
    if (len - i >= 2)
        p[0] += double(x[i]), p[1] += double(x[i + 1]), i += 2;
    if (len - i == 1)
        p[0] += double(x[i]);
    return (p[0] + p[2]) + (p[1] + p[3]);
}

} // namespace

TEST(VectorOps, ElementOperationsBitForBit)
{
    for (int len : testLengths())
        for (std::size_t so : {0, 4, 8, 12})
            for (std::size_t dof : {0, 4, 8, 12})
                for (int v = 0; v < 3; ++v) {
                    const auto a = randomValues(len), b = randomValues(len, -1e20, 1e20);
                    const float c = randomValues(1, -3, 3)[0];
                    Placed<float> s(len, so), d(len, dof);
                    s.fill(a);
                    auto expect = [&](auto op) {
                        for (int i = 0; i < len; ++i)
                            ASSERT_EQ(bits(d.data()[i]), bits(op(i))) << v << " len " << len << " i " << i;
                        ASSERT_TRUE(d.guardsIntact());
                    };
                    ASSERT_EQ(VECTOR_VARIANTS(ippsCopy_32f)[v](s.data(), d.data(), len), 0);
                    expect([&](int i) { return a[i]; });
                    ASSERT_EQ(VECTOR_VARIANTS(ippsZero_32f)[v](d.data(), len), 0);
                    expect([](int) { return 0.0f; });
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMove_32f)[v](s.data(), d.data(), len), 0);
                    expect([&](int i) { return a[i]; });
                    d.fill(b);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsAdd_32f_I)[v](s.data(), d.data(), len), 0);
                    expect([&](int i) { return b[i] + a[i]; });
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f)[v](s.data(), c, d.data(), len), 0);
                    expect([&](int i) { return a[i] * c; });
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f_I)[v](c, d.data(), len), 0);
                    expect([&](int i) { return a[i] * c * c; });
                    d.fill(b);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsSqr_32f)[v](d.data(), d.data(), len), 0); // in place
                    expect([&](int i) { return b[i] * b[i]; });
                    Placed<Ipp8u> s8(len, so + 1), d8(len, dof + 3);
                    const auto a8 = randomValues<Ipp8u>(len, 0, 256);
                    s8.fill(a8);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsCopy_8u)[v](s8.data(), d8.data(), len), 0);
                    ASSERT_EQ(d8.values(), a8);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsZero_8u)[v](d8.data(), len), 0);
                    ASSERT_EQ(d8.values(), std::vector<Ipp8u>(len, 0));
                    ASSERT_TRUE(d8.guardsIntact());
                }
}

TEST(VectorOps, OverlappingMovesSpecialConstantsAndRefusals)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (int v = 0; v < 3; ++v) {
        for (int len : {1, 3, 17, 64, 200, 1031})
            for (int shift : {1, 3, 4, 17, 40})
                for (int dir : {+1, -1}) {
                    std::vector<float> buf = randomValues(len + shift);
                    const std::vector<float> before = buf;
                    const int from = dir > 0 ? 0 : shift, to = dir > 0 ? shift : 0;
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMove_32f)[v](buf.data() + from, buf.data() + to, len), 0);
                    ASSERT_TRUE(std::equal(buf.begin() + to, buf.begin() + to + len, before.begin() + from));
                }
        // 1.0 leaves NaN payloads and signed zeros alone; a zero of either sign writes +0.0 even
        // over infinities and NaNs.
        std::vector<float> w = {nan, -0.0f, inf, -inf, -3.0f, 1e-40f, 7.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f};
        const std::uint32_t payload = 0x7FC12345u;
        std::memcpy(&w[0], &payload, 4);
        std::vector<float> out(w.size(), 5.0f), in = w;
        const int n = int(w.size());
        ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f_I)[v](1.0f, in.data(), n), 0);
        ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f)[v](w.data(), 1.0f, out.data(), n), 0);
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(bits(in[i]) == bits(w[i]) && bits(out[i]) == bits(w[i])) << i;
        for (float z : {0.0f, -0.0f}) {
            in = w;
            ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f_I)[v](z, in.data(), n), 0);
            ASSERT_EQ(VECTOR_VARIANTS(ippsMulC_32f)[v](w.data(), z, out.data(), n), 0);
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(bits(in[i]) | bits(out[i]), 0u);
        }
        // Null pointers are refused before lengths, and nothing is written.
        float r = 9;
        for (int len : {0, -1}) {
            EXPECT_EQ(VECTOR_VARIANTS(ippsMulC_32f)[v](w.data(), 2.0f, nullptr, len), ippStsNullPtrErr);
            EXPECT_EQ(VECTOR_VARIANTS(ippsSum_32f)[v](w.data(), len, nullptr, 2), ippStsNullPtrErr);
            EXPECT_EQ(VECTOR_VARIANTS(ippsMinMax_32f)[v](w.data(), len, nullptr, &r), ippStsNullPtrErr);
            EXPECT_EQ(VECTOR_VARIANTS(ippsMulC_32f_I)[v](1.0f, w.data(), len), ippStsSizeErr);
            EXPECT_EQ(VECTOR_VARIANTS(ippsSum_32f)[v](w.data(), len, &r, 2), ippStsSizeErr);
            EXPECT_EQ(VECTOR_VARIANTS(ippsMaxIndx_32f)[v](w.data(), len, &r, nullptr), ippStsSizeErr);
        }
        EXPECT_EQ(r, 9.0f);
        EXPECT_EQ(VECTOR_VARIANTS(ippsMaxIndx_32f)[v](w.data() + 4, 8, &r, nullptr), 0); // the maximum alone
        EXPECT_EQ(r, 7.0f);
    }
}

TEST(VectorOps, SumsInTheirDocumentedOrderAndSearchesFindTheFirstExtremes)
{
    std::vector<int> lengths = testLengths();
    lengths.insert(lengths.end(), {32767, 32768, 32769, 100003});
    for (int len : lengths)
        for (std::size_t off : {0, 4, 8, 12, 20, 28})
            for (int ties = 0; ties < 2; ++ties) { // ties: few distinct values, repeated extremes
                auto data = randomValues(len, ties ? -20 : -100, ties ? 20 : 100);
                for (auto& x : data)
                    x = ties ? std::floor(x) : x;
                Placed<float> s(len, off);
                s.fill(data);
                const double exact = accurateSum(s.data(), len);
                double plain = 0, magnitude = 0;
                for (float x : data)
                    plain += x, magnitude += std::fabs(x);
                const auto mx = std::max_element(data.begin(), data.end()),
                           mn = std::min_element(data.begin(), data.end());
                float first = 0;
                for (int v = 0; v < 3; ++v) {
                    for (int hint : {0, 1, 2, 7}) {
                        float r = -1;
                        ASSERT_EQ(VECTOR_VARIANTS(ippsSum_32f)[v](s.data(), len, &r, hint), 0);
                        if (hint != 1)
                            ASSERT_EQ(bits(r), bits(float(exact))) << v << " len " << len << " off " << off;
                        else if (v == 0) {
                            first = r;
                            EXPECT_NEAR(r, plain, 1e-6 * magnitude);
                        } else
                            ASSERT_EQ(bits(r), bits(first)); // the fast order: the same bits in every variant
                    }
                    float a = -1, b = -1;
                    Ipp32s i = -1, j = -1;
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMax_32f)[v](s.data(), len, &a), 0);
                    ASSERT_EQ(a, *mx);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMaxIndx_32f)[v](s.data(), len, &a, &i), 0);
                    ASSERT_EQ(i, mx - data.begin()) << v << " len " << len << " off " << off;
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMinMax_32f)[v](s.data(), len, &b, &a), 0);
                    ASSERT_EQ(b, *mn);
                    ASSERT_EQ(VECTOR_VARIANTS(ippsMinMaxIndx_32f)[v](s.data(), len, &b, &j, &a, &i), 0);
                    ASSERT_EQ(j, mn - data.begin());
                    ASSERT_EQ(i, mx - data.begin());
                }
            }
}

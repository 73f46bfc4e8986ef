// Fixed-size kernels and radix-4 passes of every variant against double-precision references.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "fft_reference.h"
#include "fft_variants.h"

namespace {

constexpr int kPoints[6] = {1, 2, 4, 8, 16, 32};

struct KernelCase
{
    int row, col;
};

void callKernel(const FftVariant& v, int row, int col, const float* s, float* d, float factor)
{
    const FftFixKernelEntry& e = v.kernels[row][col];
    if (row % 2)
        e.scaled(s, d, factor);
    else
        e.plain(s, d);
}

// Expected result of a kernel row in double precision.
std::vector<double> kernelReference(int row, const std::vector<float>& in, int N)
{
    const bool real = row == 0 || row == 1 || row == 4 || row == 5;
    const bool inverse = row >= 4;
    if (real) {
        return inverse ? referenceInversePerm(in) : referencePerm(in);
    }
    std::vector<cd> x(N);
    for (int i = 0; i < N; ++i)
        x[i] = cd(in[2 * i], in[2 * i + 1]);
    const auto X = referenceDft(x, inverse ? +1 : -1);
    std::vector<double> r(2 * N);
    for (int i = 0; i < N; ++i) {
        r[2 * i] = X[i].real();
        r[2 * i + 1] = X[i].imag();
    }
    return r;
}

int floatsOf(int row, int N)
{
    return (row == 2 || row == 3 || row == 6 || row == 7) ? 2 * N : N;
}

TEST(FftFixedKernels, EveryKernelMatchesTheDftInPlaceAndAtAnyAlignment)
{
    for (const auto& v : fftVariants()) {
        for (int row = 0; row < 8; ++row) {
            for (int col = 0; col < 6; ++col) {
                const int N = kPoints[col], F = floatsOf(row, N);
                const auto in = randomFloats(F, row * 10 + col);
                const float s = row % 2 ? 0.37f : 1.0f;
                auto ref = kernelReference(row, in, N);
                for (auto& r : ref)
                    r *= s;
                std::vector<float> out(F);
                callKernel(v, row, col, in.data(), out.data(), s);
                EXPECT_LT(relRms(out.data(), ref), 2e-7 * (col + 1)) << v.name << " row " << row << " N " << N;
                for (size_t off : {size_t(4), size_t(8), size_t(12)}) {
                    OffsetBuffer a(F, off), b(F, 16 - off);
                    std::copy(in.begin(), in.end(), a.f());
                    callKernel(v, row, col, a.f(), b.f(), s);
                    EXPECT_TRUE(sameBits(b.f(), out.data(), F)) << v.name << " row " << row << " N " << N;
                    callKernel(v, row, col, a.f(), a.f(), s);
                    EXPECT_TRUE(sameBits(a.f(), out.data(), F)) << v.name << " in place row " << row << " N " << N;
                }
            }
        }
    }
}

TEST(FftFixedKernels, VariantsGiveIdenticalBits)
{
    const auto& vs = fftVariants();
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 6; ++col) {
            const int F = floatsOf(row, kPoints[col]);
            const auto in = randomFloats(F, 77 + row + col);
            std::vector<float> a(F), b(F), c(F);
            callKernel(vs[0], row, col, in.data(), a.data(), 0.1f);
            callKernel(vs[1], row, col, in.data(), b.data(), 0.1f);
            callKernel(vs[2], row, col, in.data(), c.data(), 0.1f);
            EXPECT_TRUE(sameBits(a.data(), b.data(), F)) << row << " " << col;
            EXPECT_TRUE(sameBits(a.data(), c.data(), F)) << row << " " << col;
        }
}

TEST(FftFixedKernels, TableHoldsTheNamedKernels)
{
    const auto& t = m7_fft_fix_kernel_table_32f;
    EXPECT_EQ(t[0][0].plain, &m7_ipps_rFFT_1_32f);
    EXPECT_EQ(t[4][1].plain, &m7_ipps_rFFT_2_32f);
    EXPECT_EQ(t[0][2].plain, &m7_ipps_rFFTfwd_4_32f);
    EXPECT_EQ(t[5][4].scaled, &m7_ipps_rFFTinv_16_scale_32f);
    EXPECT_EQ(t[2][4].plain, &m7_ipps_cFFTfwd_16_32fc);
    EXPECT_EQ(t[7][5].scaled, &m7_ipps_cFFTinv_32_scale_32fc);
    EXPECT_EQ(u8_fft_fix_kernel_table_32f[6][5].plain, &u8_ipps_cFFTinv_32_32fc);
    EXPECT_EQ(y8_fft_fix_kernel_table_32f[3][0].scaled, &y8_ipps_cFFT_1_scale_32fc);
    // 1 and 2 points: one kernel serves both directions.
    for (const auto& v : fftVariants())
        for (int col = 0; col < 2; ++col) {
            EXPECT_EQ(v.kernels[0][col].plain, v.kernels[4][col].plain);
            EXPECT_EQ(v.kernels[3][col].scaled, v.kernels[7][col].scaled);
        }
}

TEST(FftFixedKernels, ExactExamples)
{
    for (const auto& v : fftVariants()) {
        const float x4[4] = {1, 2, 3, 4};
        float y4[4];
        v.kernels[0][2].plain(x4, y4);
        const float e4[4] = {10, -2, -2, 2};
        EXPECT_TRUE(sameBits(y4, e4, 4));
        const float x8[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        float y8[8];
        v.kernels[0][3].plain(x8, y8);
        const float e8[8] = {36, -4, -4, 9.6568546f, -4, 4, -4, 1.6568542f};
        EXPECT_TRUE(sameBits(y8, e8, 8));
        const float ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        v.kernels[0][3].plain(ones, y8);
        const float eo[8] = {8, 0, 0, -0.0f, 0, 0, 0, 0};
        EXPECT_TRUE(sameBits(y8, eo, 8));
        // Impulse: flat spectra.
        for (int col = 2; col < 6; ++col) {
            const int N = kPoints[col];
            std::vector<float> x(2 * N, 0.0f), y(2 * N);
            x[0] = 1.0f;
            v.kernels[0][col].plain(x.data(), y.data());
            EXPECT_EQ(y[0], 1.0f);
            EXPECT_EQ(y[1], 1.0f);
            for (int k = 1; k < N / 2; ++k) {
                EXPECT_EQ(y[2 * k], 1.0f);
                EXPECT_EQ(y[2 * k + 1], 0.0f);
            }
            for (int row : {2, 6}) {
                v.kernels[row][col].plain(x.data(), y.data());
                for (int k = 0; k < N; ++k) {
                    EXPECT_EQ(y[2 * k], 1.0f);
                    EXPECT_EQ(y[2 * k + 1], 0.0f);
                }
            }
        }
        // The 1-point complex kernel is a bit copy.
        Ipp32u bits[2] = {0x7FC12345u, 0x80000000u}, out[2];
        v.kernels[2][0].plain(reinterpret_cast<float*>(bits), reinterpret_cast<float*>(out));
        EXPECT_EQ(out[0], bits[0]);
        EXPECT_EQ(out[1], bits[1]);
    }
}

TEST(FftFixedKernels, ScaleAtTheEndIsOneRounding)
{
    for (const auto& v : fftVariants()) {
        // Complex 1 to 8 and 32 points, real 1 and 2: scaled == plain * s.
        const KernelCase cases[] = {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 5}, {6, 2}, {6, 3}, {6, 5}, {0, 0}, {0, 1}};
        for (auto c : cases) {
            const int F = floatsOf(c.row, kPoints[c.col]);
            const auto in = randomFloats(F, 5);
            std::vector<float> p(F), s(F);
            callKernel(v, c.row, c.col, in.data(), p.data(), 0);
            callKernel(v, c.row + 1, c.col, in.data(), s.data(), 0.3f);
            for (int i = 0; i < F; ++i)
                EXPECT_EQ(s[i], p[i] * 0.3f) << c.row << " " << c.col;
        }
        // Real inverse after real forward returns N times the input; with 1/N it returns the input.
        for (int col = 0; col < 6; ++col) {
            const int N = kPoints[col];
            const auto x = randomFloats(N, 9);
            std::vector<float> X(N), y(N);
            v.kernels[0][col].plain(x.data(), X.data());
            v.kernels[5][col].scaled(X.data(), y.data(), 1.0f / N);
            std::vector<double> ref(x.begin(), x.end());
            EXPECT_LT(relRms(y.data(), ref), 3e-7) << N;
        }
    }
}

// ---- radix-4 passes ----

struct PassTables
{
    std::vector<Ipp32u> bitRev;
    std::vector<float> twd;
    std::vector<float> base;
    PassTables(const FftVariant& v, int m) : bitRev((1 << m) / 4 + 16), twd(2 * (1 << m) + 64)
    {
        const int baseOrder = std::max(m + 1, 10);
        const float* b = v.fixTwiddles;
        if (baseOrder > 10) {
            base.resize((1 << baseOrder) / 4 + 16);
            v.twdBase(baseOrder, base.data());
            b = base.data();
        }
        v.bitRevNorm(m, bitRev.data());
        float* t = twd.data();
        while (reinterpret_cast<std::uintptr_t>(t) % 16)
            ++t;
        tw = t;
        v.twdL1(m, b, baseOrder, tw);
    }
    float* tw = nullptr;
};

std::vector<double> complexRef(const std::vector<float>& x, int sign)
{
    const size_t n = x.size() / 2;
    std::vector<cd> c(n);
    for (size_t i = 0; i < n; ++i)
        c[i] = cd(x[2 * i], x[2 * i + 1]);
    const auto X = referenceDft(c, sign);
    std::vector<double> r(2 * n);
    for (size_t i = 0; i < n; ++i) {
        r[2 * i] = X[i].real();
        r[2 * i + 1] = X[i].imag();
    }
    return r;
}

std::vector<float> bitReversed(const std::vector<float>& x)
{
    const size_t n = x.size() / 2;
    int m = 0;
    while ((size_t(1) << m) < n)
        ++m;
    std::vector<float> r(x.size());
    for (size_t k = 0; k < n; ++k) {
        size_t rk = 0;
        for (int b = 0; b < m; ++b)
            if (k >> b & 1)
                rk |= size_t(1) << (m - 1 - b);
        r[2 * k] = x[2 * rk];
        r[2 * k + 1] = x[2 * rk + 1];
    }
    return r;
}

TEST(FftRadix4Passes, NormPassesMatchTheDftAndEveryPlacement)
{
    for (int m = 3; m <= 17; ++m) {
        const int n = 1 << m;
        const auto x = randomFloats(2 * n, 40 + m);
        const std::vector<double> refs[2] = {complexRef(x, -1), complexRef(x, +1)};
        for (const auto& v : fftVariants()) {
            PassTables t(v, m);
            for (bool inverse : {false, true}) {
                auto pass = inverse ? v.invNorm : v.fwdNorm;
                const auto& ref = refs[inverse];
                OffsetBuffer dst(2 * n, 0), buf(2 * n, 0);
                std::fill(buf.f(), buf.f() + 2 * n, 123.0f);
                pass(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(dst.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                EXPECT_LT(relRms(dst.f(), ref), 2e-6) << v.name << " n " << n << " inv " << inverse;
                // Aligned, distinct destination: the buffer stays untouched.
                for (int i = 0; i < 2 * n; ++i)
                    ASSERT_EQ(buf.f()[i], 123.0f) << v.name << " n " << n;
                const std::vector<float> good(dst.f(), dst.f() + 2 * n);
                OffsetBuffer odd(2 * n, 8), src(2 * n, 4);
                std::copy(x.begin(), x.end(), src.f());
                pass(reinterpret_cast<const Ipp32fc*>(src.f()), reinterpret_cast<Ipp32fc*>(odd.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(sameBits(odd.f(), good.data(), 2 * n)) << v.name << " unaligned dst n " << n;
                pass(reinterpret_cast<const Ipp32fc*>(src.f()), reinterpret_cast<Ipp32fc*>(src.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(sameBits(src.f(), good.data(), 2 * n)) << v.name << " in place n " << n;
            }
        }
    }
}

TEST(FftRadix4Passes, EightPointsNeedNoTable)
{
    for (const auto& v : fftVariants()) {
        const auto x = randomFloats(16, 8);
        std::vector<float> zeros(64, 0.0f), y(16);
        std::vector<Ipp32u> noBits(8, 0);
        v.fwdNorm(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(y.data()), 8, zeros.data(),
                  noBits.data(), nullptr);
        EXPECT_LT(relRms(y.data(), complexRef(x, -1)), 2e-7);
        std::vector<float> z = x;
        v.fwdNorm(reinterpret_cast<const Ipp32fc*>(z.data()), reinterpret_cast<Ipp32fc*>(z.data()), 8, zeros.data(),
                  noBits.data(), nullptr);
        EXPECT_TRUE(sameBits(z.data(), y.data(), 16));
    }
}

TEST(FftRadix4Passes, PlainPassesOnBitReversedInput)
{
    for (int m = 6; m <= 17; ++m) {
        const int n = 1 << m;
        const auto x = randomFloats(2 * n, 60 + m);
        const auto xr = bitReversed(x);
        const std::vector<double> refs[2] = {complexRef(x, -1), complexRef(x, +1)};
        for (const auto& v : fftVariants()) {
            PassTables t(v, m);
            for (bool inverse : {false, true}) {
                auto pass = inverse ? v.invPlain : v.fwdPlain;
                const auto& ref = refs[inverse];
                OffsetBuffer data(2 * n, 0), buf(2 * n, 0);
                std::copy(xr.begin(), xr.end(), data.f());
                pass(reinterpret_cast<Ipp32fc*>(data.f()), n, t.tw, buf.bytes(), 1);
                EXPECT_LT(relRms(data.f(), ref), 2e-6) << v.name << " n " << n;
                const std::vector<float> good(data.f(), data.f() + 2 * n);
                // Only 8-byte aligned: runs through the buffer, same bits.
                OffsetBuffer odd(2 * n, 8);
                std::copy(xr.begin(), xr.end(), odd.f());
                pass(reinterpret_cast<Ipp32fc*>(odd.f()), n, t.tw, buf.bytes(), 1);
                EXPECT_TRUE(sameBits(odd.f(), good.data(), 2 * n)) << v.name << " n " << n;
                // Split-by-four output holds the same values.
                std::copy(xr.begin(), xr.end(), data.f());
                pass(reinterpret_cast<Ipp32fc*>(data.f()), n, t.tw, buf.bytes(), 0);
                for (int p = 0; p < n; ++p) {
                    ASSERT_EQ(data.f()[8 * (p / 4) + p % 4], good[2 * p]);
                    ASSERT_EQ(data.f()[8 * (p / 4) + p % 4 + 4], good[2 * p + 1]);
                }
                // The Norm pass of the same variant gives the same bits.
                std::vector<float> viaNorm(2 * n);
                (inverse ? v.invNorm : v.fwdNorm)(reinterpret_cast<const Ipp32fc*>(x.data()),
                                                  reinterpret_cast<Ipp32fc*>(viaNorm.data()), n, t.tw, t.bitRev.data(),
                                                  buf.bytes());
                EXPECT_TRUE(sameBits(viaNorm.data(), good.data(), 2 * n)) << v.name << " n " << n;
            }
        }
    }
}

TEST(FftRadix4Passes, ImpulseConstantAndRoundTrip)
{
    for (const auto& v : fftVariants()) {
        for (int m : {4, 5, 7, 10}) {
            const int n = 1 << m;
            PassTables t(v, m);
            std::vector<float> x(2 * n, 0.0f), y(2 * n), buf(2 * n + 8);
            x[0] = 1.0f;
            v.fwdNorm(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(y.data()), n, t.tw,
                      t.bitRev.data(), reinterpret_cast<Ipp8u*>(buf.data()));
            for (int k = 0; k < n; ++k) {
                EXPECT_EQ(y[2 * k], 1.0f);
                EXPECT_EQ(y[2 * k + 1], 0.0f);
            }
            for (int k = 0; k < n; ++k)
                x[2 * k] = 1.0f;
            v.invNorm(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(y.data()), n, t.tw,
                      t.bitRev.data(), reinterpret_cast<Ipp8u*>(buf.data()));
            EXPECT_EQ(y[0], float(n));
            for (int k = 1; k < 2 * n; ++k)
                EXPECT_EQ(y[k], 0.0f) << m << " " << k;
        }
    }
}

TEST(FftRadix4Passes, TablesAreVariantSpecific)
{
    // m7 and u8 plans differ at 128 points: an m7 table read by the u8 pass gives a wrong result.
    const auto& vs = fftVariants();
    PassTables m7(vs[0], 7);
    const auto x = randomFloats(256, 3);
    std::vector<float> y(256), buf(256);
    vs[1].fwdNorm(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(y.data()), 128, m7.tw,
                  m7.bitRev.data(), reinterpret_cast<Ipp8u*>(buf.data()));
    EXPECT_GT(relRms(y.data(), complexRef(x, -1)), 1e-3);
}

} // namespace

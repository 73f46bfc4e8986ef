// Fixed-size kernels and radix-4 passes of every variant against double-precision references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
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

// The Norm passes against the reference, in place and at unaligned addresses; on two arrays (Norm
// and plain passes) the same bits at any float alignment.
TEST(FftRadix4Passes, ComplexAndTwoArrayPassesMatchTheDft)
{
    for (int m = 3; m <= 17; ++m) {
        const int n = 1 << m;
        const auto x = randomFloats(2 * n, 40 + m), xr = bitReversed(x);
        const std::vector<double> refs[2] = {complexRef(x, -1), complexRef(x, +1)};
        for (const auto& v : fftVariants()) {
            PassTables t(v, m);
            for (bool inverse : {false, true}) {
                auto pass = inverse ? v.invNorm : v.fwdNorm;
                OffsetBuffer dst(2 * n, 0), buf(2 * n, 0), odd(2 * n, 8), src(2 * n, 4);
                std::fill(buf.f(), buf.f() + 2 * n, 123.0f);
                pass(reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(dst.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                const float* good = dst.f();
                EXPECT_LT(relRms(good, refs[inverse]), 2e-6) << v.name << " n " << n << " inv " << inverse;
                // Aligned, distinct destination: the buffer stays untouched.
                EXPECT_TRUE(std::all_of(buf.f(), buf.f() + 2 * n, [](float f) { return f == 123.0f; }));
                std::copy(x.begin(), x.end(), src.f());
                pass(reinterpret_cast<const Ipp32fc*>(src.f()), reinterpret_cast<Ipp32fc*>(odd.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(sameBits(odd.f(), good, 2 * n)) << v.name << " unaligned dst n " << n;
                pass(reinterpret_cast<const Ipp32fc*>(src.f()), reinterpret_cast<Ipp32fc*>(src.f()), n, t.tw,
                     t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(sameBits(src.f(), good, 2 * n)) << v.name << " in place n " << n;
                if (m > 12)
                    continue;
                OffsetBuffer re(n, 4), im(n, 12), dre(n, 8), dim(n, 0);
                auto splitIs = [&](const float* a, const float* b) {
                    for (int i = 0; i < n; ++i)
                        if (a[i] != good[2 * i] || b[i] != good[2 * i + 1])
                            return false;
                    return true;
                };
                for (int i = 0; i < n; ++i) {
                    re.f()[i] = x[2 * i];
                    im.f()[i] = x[2 * i + 1];
                }
                auto split = inverse ? v.invNormSplit : v.fwdNormSplit;
                split(re.f(), im.f(), dre.f(), dim.f(), n, t.tw, t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(splitIs(dre.f(), dim.f())) << v.name << " two arrays n " << n;
                split(re.f(), im.f(), re.f(), im.f(), n, t.tw, t.bitRev.data(), buf.bytes());
                EXPECT_TRUE(splitIs(re.f(), im.f())) << v.name << " two arrays in place n " << n;
                if (m < 6)
                    continue;
                for (int i = 0; i < n; ++i) {
                    re.f()[i] = xr[2 * i];
                    im.f()[i] = xr[2 * i + 1];
                }
                (inverse ? v.invPlainSplit : v.fwdPlainSplit)(re.f(), im.f(), n, t.tw, buf.bytes());
                EXPECT_TRUE(splitIs(re.f(), im.f())) << v.name << " two arrays, bit-reversed input, n " << n;
            }
        }
    }
}

// One factor pass over count groups of R rows of len points: row rev(k) of a group holds the
// len-point DFT of x[R j + k] of that group's own signal, the twiddles are W^(k j) of R len points;
// the pass leaves the R len-point DFT in natural order. Every variant, the same bits.
TEST(FftFactorPasses, OneLevelJoinsTheSubTransforms)
{
    const int len = 16;
    struct Case
    {
        int radix, count;
    };
    for (Case c : {Case{4, 1}, Case{4, 2}, Case{8, 1}, Case{8, 3}}) {
        const int R = c.radix, P = R * len, bits = R == 4 ? 2 : 3;
        for (bool inverse : {false, true}) {
            const int sign = inverse ? +1 : -1;
            std::vector<float> data(2 * P * c.count + 4), tw(2 * 7 * len + 4);
            float* d = data.data() + (4 - reinterpret_cast<std::uintptr_t>(data.data()) / 4 % 4) % 4;
            float* t = tw.data() + (4 - reinterpret_cast<std::uintptr_t>(tw.data()) / 4 % 4) % 4;
            const int kMax = c.radix == 4 && c.count == 1 ? 2 : R - 1;
            for (int j = 0, o = 0; j < (kMax == 2 ? len / 2 : len); j += 4)
                for (int k = 1; k <= kMax; ++k, o += 8)
                    for (int l = 0; l < 4; ++l) {
                        t[o + l] = float(std::cos(2 * M_PI * k * (j + l) / P));
                        t[o + 4 + l] = float(-std::sin(2 * M_PI * k * (j + l) / P));
                    }
            std::vector<std::vector<double>> refs;
            for (int g = 0; g < c.count; ++g) {
                const auto x = randomFloats(2 * P, 90 + g);
                refs.push_back(complexRef(x, sign));
                for (int k = 0; k < R; ++k) {
                    std::vector<float> sub(2 * len);
                    for (int j = 0; j < len; ++j) {
                        sub[2 * j] = x[2 * (R * j + k)];
                        sub[2 * j + 1] = x[2 * (R * j + k) + 1];
                    }
                    const auto S = complexRef(sub, sign);
                    int row = 0;
                    for (int b = 0; b < bits; ++b)
                        row |= (k >> b & 1) << (bits - 1 - b);
                    float* r = d + 2 * (g * P + row * len);
                    for (int j = 0; j < len; ++j) {
                        r[8 * (j / 4) + j % 4] = float(S[2 * j]);
                        r[8 * (j / 4) + j % 4 + 4] = float(S[2 * j + 1]);
                    }
                }
            }
            const std::vector<float> in(d, d + 2 * P * c.count);
            std::vector<float> first;
            for (const auto& v : fftVariants()) {
                std::copy(in.begin(), in.end(), d);
                const auto pass = R == 4 ? (inverse ? v.invFact4 : v.fwdFact4) : (inverse ? v.invFact8 : v.fwdFact8);
                pass(reinterpret_cast<Ipp32fc*>(d), nullptr, len, 0, t);
                pass(reinterpret_cast<Ipp32fc*>(d), nullptr, 0, c.count, t);
                ASSERT_TRUE(sameBits(d, in.data(), in.size())) << "count or len 0 does nothing";
                pass(reinterpret_cast<Ipp32fc*>(d), nullptr, len, c.count, t);
                for (int g = 0; g < c.count; ++g) {
                    std::vector<float> out(2 * P);
                    for (int p = 0; p < P; ++p) {
                        out[2 * p] = d[2 * g * P + 8 * (p / 4) + p % 4];
                        out[2 * p + 1] = d[2 * g * P + 8 * (p / 4) + p % 4 + 4];
                    }
                    EXPECT_LT(relRms(out.data(), refs[g]), 1e-6) << v.name << " radix " << R << " count " << c.count;
                }
                if (first.empty())
                    first.assign(d, d + in.size());
                EXPECT_TRUE(sameBits(d, first.data(), in.size())) << v.name << " radix " << R;
            }
        }
    }
}

// The core and last factor-8 passes of u8 and y8, forward [0] and inverse [1].
struct Core
{
    decltype(&u8_ipps_cFftFwd_CoreMT_32fc) core[2];
    decltype(&u8_ipps_crFftFwd_CoreMT_32f) coreSplit[2];
    decltype(&u8_ipps_cFftFwd_Fact8_Last_32fc) last[2];
    decltype(&u8_ipps_crFftFwd_Fact8_Last_32f) lastSplit[2];
};
// clang-format off
#define NORRIK_CORE(P) \
    Core{{P##ipps_cFftFwd_CoreMT_32fc, P##ipps_cFftInv_CoreMT_32fc}, {P##ipps_crFftFwd_CoreMT_32f, P##ipps_crFftInv_CoreMT_32f}, \
         {P##ipps_cFftFwd_Fact8_Last_32fc, P##ipps_cFftInv_Fact8_Last_32fc}, {P##ipps_crFftFwd_Fact8_Last_32f, P##ipps_crFftInv_Fact8_Last_32f}}
const Core kCores[2] = {NORRIK_CORE(u8_), NORRIK_CORE(y8_)};
#undef NORRIK_CORE
// clang-format on

// Twiddles of the last factor-8 pass for 8 len points: T_j[k] = W^(j k), seven per position.
void lastTwiddles(float* tw, int len)
{
    const int N = 8 * len;
    for (int k = 0; k < len; ++k)
        for (int j = 1; j < 8; ++j) {
            tw[56 * (k / 4) + 8 * (j - 1) + k % 4] = float(std::cos(2 * M_PI * j * k / N));
            tw[56 * (k / 4) + 8 * (j - 1) + 4 + k % 4] = float(-std::sin(2 * M_PI * j * k / N));
        }
}

// Two core passes and a last factor-8 pass give the 8 len-point transform; u8 and y8 alike.
TEST(FftCorePasses, TwoCoresAndTheLastFactorEightGiveTheTransform)
{
    for (int L : {6, 7, 8, 9, 10}) {
        const int len = 1 << L, N = 8 * len;
        const auto x = randomFloats(2 * N, 30 + L);
        std::vector<float> re(N), im(N);
        for (int i = 0; i < N; ++i) {
            re[i] = x[2 * i];
            im[i] = x[2 * i + 1];
        }
        OffsetBuffer tw8(2 * 7 * len, 0);
        lastTwiddles(tw8.f(), len);
        for (bool inverse : {false, true}) {
            const auto ref = complexRef(x, inverse ? +1 : -1);
            std::vector<float> first;
            for (int vi = 1; vi <= 2; ++vi) {
                const auto& v = fftVariants()[vi];
                const Core& c = kCores[vi - 1];
                PassTables t(v, L);
                OffsetBuffer w(2 * N, 0), b1(8 * len, 0), b2(8 * len, 0), out(2 * N, 4), wr(2 * N, 0);
                c.core[inverse](reinterpret_cast<const Ipp32fc*>(x.data()), reinterpret_cast<Ipp32fc*>(w.f()), len,
                                t.tw, t.bitRev.data(), b1.f());
                c.core[inverse](reinterpret_cast<const Ipp32fc*>(x.data() + 8),
                                reinterpret_cast<Ipp32fc*>(w.f()) + 4 * len, len, t.tw, t.bitRev.data(), b2.f());
                c.coreSplit[inverse](re.data(), im.data(), wr.f(), len, t.tw, t.bitRev.data());
                c.coreSplit[inverse](re.data() + 4, im.data() + 4, wr.f() + 8 * len, len, t.tw, t.bitRev.data());
                EXPECT_TRUE(sameBits(w.f(), wr.f(), 2 * N)) << v.name << " two arrays, L " << L;
                c.last[inverse](w.f(), reinterpret_cast<Ipp32fc*>(out.f()), len, len, tw8.f());
                EXPECT_LT(relRms(out.f(), ref), 2e-6) << v.name << " L " << L << " inverse " << inverse;
                std::vector<float> dre(N), dim(N);
                c.lastSplit[inverse](w.f(), dre.data(), dim.data(), len, len, tw8.f());
                for (int i = 0; i < N; ++i)
                    ASSERT_TRUE(dre[i] == out.f()[2 * i] && dim[i] == out.f()[2 * i + 1]) << v.name << " L " << L;
                if (first.empty())
                    first.assign(out.f(), out.f() + 2 * N);
                EXPECT_TRUE(sameBits(out.f(), first.data(), 2 * N)) << "u8 and y8 differ, L " << L;
            }
        }
    }
}

// Twiddles of the core passes' stages after the first, for the given radices: a stage joining
// sub-transforms of S points holds S / 4 blocks of R - 1 vectors T_j[k] = e^(-2 pi i j k / (R S)).
void coreTwiddles(float* tw, std::initializer_list<int> radices)
{
    int S = 4;
    for (int R : radices) {
        for (int k = 0; k < S; ++k)
            for (int j = 1; j < R; ++j) {
                float* at = tw + 8 * ((R - 1) * (k / 4) + j - 1) + k % 4;
                at[0] = float(std::cos(2 * M_PI * j * k / (R * S)));
                at[4] = float(-std::sin(2 * M_PI * j * k / (R * S)));
            }
        tw += 2 * (R - 1) * S;
        S *= R;
    }
}

Ipp32fc* points(float* p)
{
    return reinterpret_cast<Ipp32fc*>(p);
}

// Core passes past the lengths above: L = 11 on the radix-4 table, and L = 18, the one length
// whose plan ends in a radix-4 stage, on a table of that plan. A call whose destination is its
// source works through its buffer and gives the bits of a call into another destination.
TEST(FftCorePasses, LongLengthsAndTheDestinationEqualToTheSource)
{
    for (int L : {11, 18}) {
        const int len = 1 << L, N = 8 * len;
        auto x = randomFloats(2 * N, 50 + L);
        OffsetBuffer tw8(2 * 7 * len, 0);
        lastTwiddles(tw8.f(), len);
        for (bool inverse : {false, true}) {
            const auto ref = complexRef(x, inverse ? +1 : -1);
            for (int vi = 1; vi <= 2; ++vi) {
                const auto& v = fftVariants()[vi];
                const Core& c = kCores[vi - 1];
                PassTables t(v, L);
                if (L == 18)
                    coreTwiddles(t.tw, {4, 8, 8, 8, 8, 4});
                OffsetBuffer w(2 * N, 0), in(2 * N, 0), buf(8 * len, 0), out(2 * N, 0);
                c.core[inverse](points(x.data()), points(w.f()), len, t.tw, t.bitRev.data(), buf.f());
                c.core[inverse](points(x.data() + 8), points(w.f()) + 4 * len, len, t.tw, t.bitRev.data(), buf.f());
                c.last[inverse](w.f(), points(out.f()), len, len, tw8.f());
                EXPECT_LT(relRms(out.f(), ref), 2e-6) << v.name << " L " << L << " inverse " << inverse;
                for (int half : {0, 1}) {
                    std::copy(x.begin(), x.end(), in.f());
                    float* at = in.f() + 8 * half;
                    c.core[inverse](points(at), points(at), len, t.tw, t.bitRev.data(), buf.f());
                    EXPECT_TRUE(sameBits(at, w.f() + 8 * len * half, 8 * len))
                        << v.name << " L " << L << " half " << half << " in place";
                }
            }
        }
    }
}

// The last factor-8 pass does max(1, ceil(count / 4)) blocks of four positions of every row, from
// position 0 on, and writes nothing beyond them.
TEST(FftCorePasses, LastFactorEightDoesWholeBlocksOfFourAndAtLeastOne)
{
    const int len = 16;
    OffsetBuffer src(2 * 8 * len, 0), tw(2 * 7 * len, 0);
    const auto x = randomFloats(2 * 8 * len, 3);
    std::copy(x.begin(), x.end(), src.f());
    lastTwiddles(tw.f(), len);
    for (int vi = 0; vi < 2; ++vi)
        for (bool inverse : {false, true}) {
            const Core& c = kCores[vi];
            std::vector<float> full(2 * 8 * len);
            c.last[inverse](src.f(), points(full.data()), len, len, tw.f());
            for (int count : {-5, 0, 1, 4, 5, 8, 9, 15}) {
                const int done = 4 * std::max(1, (count + 3) / 4);
                std::vector<float> got(2 * 8 * len, -7.0f), gotRe(8 * len, -7.0f), gotIm(8 * len, -7.0f);
                c.last[inverse](src.f(), points(got.data()), len, count, tw.f());
                c.lastSplit[inverse](src.f(), gotRe.data(), gotIm.data(), len, count, tw.f());
                for (int i = 0; i < 8 * len; ++i) {
                    const bool written = i % len < done;
                    const float wantRe = written ? full[2 * i] : -7.0f, wantIm = written ? full[2 * i + 1] : -7.0f;
                    ASSERT_TRUE(got[2 * i] == wantRe && got[2 * i + 1] == wantIm && gotRe[i] == wantRe &&
                                gotIm[i] == wantIm)
                        << "variant " << vi << " count " << count << " point " << i;
                }
            }
        }
}

} // namespace

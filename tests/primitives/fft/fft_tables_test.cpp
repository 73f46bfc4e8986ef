// Table builders, bit-reversal permutations and recombinations of every variant.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "fft_reference.h"
#include "fft_variants.h"

namespace {

std::uintptr_t addr(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

size_t rev(size_t k, int bits)
{
    size_t r = 0;
    for (int b = 0; b < bits; ++b)
        if (k >> b & 1)
            r |= size_t(1) << (bits - 1 - b);
    return r;
}

// 64-byte aligned word storage.
struct Words
{
    std::vector<Ipp32u> raw;
    Ipp32u* p;
    explicit Words(size_t n) : raw(n + 16, 0xFFFFFFFFu)
    {
        p = raw.data();
        while (addr(p) % 64)
            ++p;
    }
};

TEST(FftBitReversal, NormAndPairTablesMatchTheExamples)
{
    for (const auto& v : fftVariants()) {
        Words w(64);
        EXPECT_EQ(v.bitRevNorm(1, w.p), reinterpret_cast<Ipp8u*>(w.p));
        Ipp8u* end = v.bitRevNorm(5, w.p);
        const Ipp32u norm5[9] = {0, 8, 4, 12, 2, 10, 6, 14, 0};
        EXPECT_EQ(std::memcmp(w.p, norm5, sizeof norm5), 0);
        EXPECT_EQ(end, reinterpret_cast<Ipp8u*>(w.p) + 64);
        const std::vector<std::vector<Ipp32u>> pairs = {
            {0, 0}, {0, 4, 0}, {4, 8, 0, 12, 0}, {4, 16, 12, 24, 0, 28, 20, 8, 0}};
        for (int m = 2; m <= 5; ++m) {
            end = v.bitRevPair(m, w.p);
            const auto& e = pairs[m - 2];
            EXPECT_EQ(std::memcmp(w.p, e.data(), e.size() * 4), 0) << v.name << " m " << m;
            EXPECT_EQ(end, reinterpret_cast<Ipp8u*>(w.p) + (e.size() * 4 + 31) / 32 * 32);
        }
        // Large table (14, 6): 4 block words, then the pair table of order 12.
        Words big(4 + 1025 + 8);
        end = v.bitRevLarge(14, 6, big.p);
        const Ipp32u blocks[4] = {0, 128, 64, 192};
        EXPECT_EQ(std::memcmp(big.p, blocks, 16), 0);
        Words pair12(1025 + 8);
        v.bitRevPair(12, pair12.p);
        EXPECT_EQ(std::memcmp(big.p + 4, pair12.p, 1025 * 4), 0);
        EXPECT_EQ(addr(end), (addr(big.p + 4 + 1025) + 31) & ~std::uintptr_t(31));
    }
}

TEST(FftBitReversal, PermutationsMatchTheReversal)
{
    for (const auto& v : fftVariants()) {
        for (int m = 3; m <= 14; ++m) {
            const size_t N = size_t(1) << m;
            Words norm(N / 4 + 8);
            v.bitRevNorm(m, norm.p);
            std::vector<Ipp64u> x(N), y(N, 0), e(N);
            for (size_t i = 0; i < N; ++i)
                x[i] = 0x1000000000ull * i + i;
            for (size_t i = 0; i < N; ++i)
                e[rev(i, m)] = x[i];
            v.bitRev2C(x.data(), y.data(), Ipp64s(N), norm.p);
            EXPECT_EQ(y, e) << v.name << " m " << m;
            y = x;
            v.bitRev1C(y.data(), Ipp64s(N), norm.p);
            EXPECT_EQ(y, e) << v.name << " m " << m;
            // 4- and 16-byte elements through the same table.
            std::vector<Ipp32u> s(N), se(N), so(N);
            for (size_t i = 0; i < N; ++i) {
                s[i] = Ipp32u(i * 7 + 1);
                se[rev(i, m)] = s[i];
            }
            v.bitRev2NormS(s.data(), so.data(), Ipp64s(N), norm.p);
            EXPECT_EQ(so, se);
            std::vector<Ipp64u> z(2 * N), ze(2 * N);
            for (size_t i = 0; i < N; ++i) {
                z[2 * i] = i;
                z[2 * i + 1] = ~i;
                ze[2 * rev(i, m)] = i;
                ze[2 * rev(i, m) + 1] = ~i;
            }
            v.bitRev1NormZ(z.data(), Ipp64s(N), norm.p);
            EXPECT_EQ(z, ze);
        }
        for (int m = 0; m <= 13; ++m) {
            const size_t N = size_t(1) << m;
            Words pair(N / 4 + 8);
            v.bitRevPair(m, pair.p);
            std::vector<Ipp32u> s(N), se(N);
            for (size_t i = 0; i < N; ++i) {
                s[i] = Ipp32u(i + 100);
                se[rev(i, m)] = s[i];
            }
            v.bitRev1Pair4(s.data(), Ipp64s(N), pair.p);
            EXPECT_EQ(s, se) << v.name << " pair m " << m;
            std::vector<Ipp64u> d(N), de(N), dout(N);
            for (size_t i = 0; i < N; ++i) {
                d[i] = i * 3;
                de[rev(i, m)] = d[i];
            }
            v.bitRev2Pair8(d.data(), dout.data(), Ipp64s(N), pair.p);
            EXPECT_EQ(dout, de) << v.name << " pair out m " << m;
            std::vector<Ipp64u> z(2 * N), ze(2 * N);
            for (size_t i = 0; i < N; ++i) {
                z[2 * i] = i;
                z[2 * i + 1] = i + 1000;
                ze[2 * rev(i, m)] = i;
                ze[2 * rev(i, m) + 1] = i + 1000;
            }
            v.bitRev1PairZ(z.data(), Ipp64s(N), pair.p);
            EXPECT_EQ(z, ze) << v.name << " pair z m " << m;
        }
    }
}

TEST(FftTwiddles, BaseTables)
{
    for (const auto& v : fftVariants()) {
        const float* t = v.fixTwiddles;
        EXPECT_EQ(t[0], 0.0f);
        EXPECT_EQ(t[1], 0.0061358847f);
        EXPECT_EQ(t[128], 0.70710677f);
        EXPECT_EQ(t[255], 0.99998116f);
        EXPECT_EQ(t[256], 1.0f);
        for (int k = 0; k <= 256; ++k)
            EXPECT_EQ(t[k], float(std::sin(2 * M_PI * k / 1024))) << k;
        for (int k = 257; k < 264; ++k)
            EXPECT_EQ(t[k], 0.0f);
        EXPECT_EQ(std::memcmp(t, fft_fix_twiddle_table_32f, 264 * 4), 0);
        std::vector<float> b(600);
        float* p = b.data();
        while (addr(p) % 32)
            ++p;
        Ipp8u* end = v.twdBase(11, p);
        EXPECT_EQ(end, reinterpret_cast<Ipp8u*>(p) + 2080);
        EXPECT_EQ(p[256], float(std::sin(M_PI / 4)));
        EXPECT_EQ(p[257], float(std::cos(255 * 2 * M_PI / 2048)));
        EXPECT_EQ(p[512], 1.0f);
        v.twdBase(8, p);
        for (int k = 0; k < 64; ++k)
            EXPECT_EQ(p[k], t[4 * k]);
        EXPECT_EQ(p[64], 1.0f);
    }
}

TEST(FftTwiddles, RadixFourTableLayout)
{
    for (const auto& v : fftVariants()) {
        std::vector<float> raw(2048 + 64, -7.0f);
        float* p = raw.data();
        while (addr(p) % 32)
            ++p;
        EXPECT_EQ(v.twdL1(3, v.fixTwiddles, 10, p), reinterpret_cast<Ipp8u*>(p));
        EXPECT_EQ(p[0], -7.0f);
        // m = 4: one radix-4 group; lane 0 of every pair is (1, +0).
        v.twdL1(4, v.fixTwiddles, 10, p);
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(p[8 * r], 1.0f);
            EXPECT_EQ(p[8 * r + 4], 0.0f);
            EXPECT_FALSE(std::signbit(p[8 * r + 4]));
        }
        // Quarter boundary: r = 2, j = 2 of span 16 is t = 4 = L/4: cos +0, -sin -1.
        EXPECT_EQ(p[8 + 2], 0.0f);
        EXPECT_FALSE(std::signbit(p[8 + 2]));
        EXPECT_EQ(p[8 + 4 + 2], -1.0f);
        std::fill(raw.begin(), raw.end(), -7.0f);
        Ipp8u* end = v.twdL1(7, v.fixTwiddles, 10, p);
        EXPECT_EQ(end, reinterpret_cast<Ipp8u*>(p) + 1024);
        EXPECT_NE(p[247], -7.0f); // 992 bytes written
        EXPECT_EQ(p[248], -7.0f);
        if (v.name == "m7_") {
            // Radix-8 group of span 32 first: p = 2, lane 2 holds cos(2 pi 4 / 32), -sin.
            EXPECT_EQ(p[8 + 2], 0.70710677f);
            EXPECT_EQ(p[8 + 4 + 2], -0.70710677f);
        } else {
            // Radix-4 group of span 16 first (24 floats), then radix-8 groups of span 128.
            EXPECT_EQ(p[24 + 8 * 0 + 1], float(std::cos(2 * M_PI / 128)));
        }
        // Every entry is a twiddle of its stage, to float rounding of the base table.
        for (int i = 0; i < 248; ++i)
            EXPECT_LE(std::fabs(p[i]), 1.0f);
    }
}

TEST(FftRecombination, TablesHoldTheEntriesInTheVariantLayout)
{
    for (const auto& v : fftVariants()) {
        std::vector<float> raw(4096, -7.0f);
        float* p = raw.data();
        while (addr(p) % 32)
            ++p;
        EXPECT_EQ(v.realRecTab(2, v.fixTwiddles, 10, p), reinterpret_cast<Ipp8u*>(p) + 32);
        EXPECT_EQ(v.ccsRecTab(3, v.fixTwiddles, 10, p), reinterpret_cast<Ipp8u*>(p) + 32);
        EXPECT_EQ(v.ccsRecTab(0, v.fixTwiddles, 10, p), reinterpret_cast<Ipp8u*>(p) + 32);
        // Order 3: bins 0 and 1 as plain CCS pairs.
        v.ccsRecTab(3, v.fixTwiddles, 10, p);
        EXPECT_EQ(p[0], 1.0f);
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_EQ(p[2], v.fixTwiddles[128]); // cos(2 pi / 8)
        EXPECT_EQ(p[3], -v.fixTwiddles[128]);
        const int order = 8, Q = 64;
        EXPECT_EQ(v.realRecTab(order, v.fixTwiddles, 10, p), reinterpret_cast<Ipp8u*>(p) + 512);
        auto entry = [&](int k) {
            const float* b = p + 8 * ((k - 1) / 4);
            static const int lane[4] = {1, 0, 3, 2};
            const int s = lane[(k - 1) % 4];
            return v.name == "m7_" ? std::make_pair(b[s], b[4 + s]) : std::make_pair(b[2 * s], b[2 * s + 1]);
        };
        for (int k = 1; k <= Q; ++k) {
            const float s = v.fixTwiddles[k * 4], c = v.fixTwiddles[(Q - k) * 4];
            EXPECT_EQ(entry(k).first, 0.5f * c);
            EXPECT_EQ(entry(k).second, float(0.5 - 0.5 * double(s)));
        }
        EXPECT_EQ(entry(Q).first, 0.0f);
        EXPECT_EQ(entry(Q).second, 0.0f);
        v.ccsRecTab(order, v.fixTwiddles, 10, p);
        EXPECT_EQ(entry(Q).first, 0.0f);
        EXPECT_EQ(entry(Q).second, -1.0f);
        EXPECT_EQ(entry(1).second, -v.fixTwiddles[4]);
    }
}

TEST(FftRecombination, ForwardThenInverseDoublesAndInPlaceMatches)
{
    for (const auto& v : fftVariants()) {
        for (int order : {5, 6, 8, 11}) {
            const int M = 1 << (order - 1);
            std::vector<float> base((1 << order) / 4 + 64);
            const float* b = v.fixTwiddles;
            int bo = 10;
            if (order > 10) {
                v.twdBase(order, base.data());
                b = base.data();
                bo = order;
            }
            std::vector<float> rt(2 * M + 64), ct(2 * M + 64);
            v.realRecTab(order, b, bo, rt.data());
            v.ccsRecTab(order, b, bo, ct.data());
            const auto z = randomFloats(2 * M, order);
            std::vector<float> f = z;
            f[0] = 42.0f;
            f[1] = 43.0f;
            v.realRec(reinterpret_cast<Ipp32fc*>(f.data()), M, rt.data());
            EXPECT_EQ(f[0], 42.0f);
            EXPECT_EQ(f[1], 43.0f);
            // The middle bin: (re, im) -> (re, -im).
            EXPECT_EQ(f[M], z[M]);
            EXPECT_EQ(f[M + 1], -z[M + 1]);
            std::vector<float> out(2 * M, 9.0f), inPlace = f;
            v.ccsRec(reinterpret_cast<const Ipp32fc*>(f.data()), reinterpret_cast<Ipp32fc*>(out.data()), M, ct.data());
            EXPECT_EQ(out[0], 9.0f);
            v.ccsRec(reinterpret_cast<const Ipp32fc*>(inPlace.data()), reinterpret_cast<Ipp32fc*>(inPlace.data()), M,
                     ct.data());
            EXPECT_TRUE(sameBits(out.data() + 2, inPlace.data() + 2, 2 * M - 2));
            EXPECT_EQ(out[M], 2 * f[M]);
            EXPECT_EQ(out[M + 1], -2 * f[M + 1]);
            for (int i = 2; i < 2 * M; ++i)
                EXPECT_NEAR(out[i], 2 * z[i], 2e-6) << v.name << " " << order << " " << i;
        }
    }
}

TEST(FftRecombination, TwoLevelFormFromTheThreshold)
{
    // m7 and u8 switch at order 19, y8 at 21: check the tables and the forward recombination there.
    for (const auto& v : fftVariants()) {
        const int order = v.name == "y8_" ? 21 : 19;
        const long N = 1L << order, M = N / 2;
        std::vector<float> base(N / 4 + 64);
        v.twdBase(order, base.data());
        const size_t bytes = 8192 + N / 512;
        std::vector<float> rt(bytes / 4 + 16), ct(bytes / 4 + 16);
        Ipp8u* end = v.realRecTab(order, base.data(), order, rt.data());
        EXPECT_EQ(addr(end), (addr(rt.data()) + bytes + 31) & ~std::uintptr_t(31));
        v.ccsRecTab(order, base.data(), order, ct.data());
        EXPECT_TRUE(sameBits(rt.data(), ct.data(), bytes / 4));
        EXPECT_EQ(rt[2048], 1.0f);
        EXPECT_EQ(rt[2049], 0.0f);
        EXPECT_FALSE(std::signbit(rt[2049]));
        // Forward recombination against the double-precision formula on a few bins.
        const auto z = randomFloats(2 * M, 3);
        std::vector<float> f = z;
        v.realRec(reinterpret_cast<Ipp32fc*>(f.data()), int(M), rt.data());
        for (long k : {1L, 2L, 1023L, 1024L, 1025L, 5000L, M / 2 - 1, M / 2 + 3, M - 1}) {
            const cd a(z[2 * k], z[2 * k + 1]), bb(z[2 * (M - k)], z[2 * (M - k) + 1]);
            const cd w = std::polar(1.0, -2 * M_PI * double(k) / double(N));
            const cd X = 0.5 * (a + std::conj(bb)) - 0.5 * cd(0, 1) * w * (a - std::conj(bb));
            EXPECT_NEAR(f[2 * k], X.real(), 1e-5) << v.name << " k " << k;
            EXPECT_NEAR(f[2 * k + 1], X.imag(), 1e-5) << v.name << " k " << k;
        }
        // Inverse then forward recombination doubles the spectrum.
        std::vector<float> g = z;
        v.ccsRec(reinterpret_cast<const Ipp32fc*>(g.data()), reinterpret_cast<Ipp32fc*>(g.data()), int(M), ct.data());
        v.realRec(reinterpret_cast<Ipp32fc*>(g.data()), int(M), rt.data());
        for (long i = 2; i < 2 * M; i += 997)
            EXPECT_NEAR(g[i], 2 * z[i], 1e-5);
    }
}

} // namespace

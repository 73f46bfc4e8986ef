// Base quarter-sine tables, radix-4 twiddle tables and bit-reversal tables with their permutations.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/variant/fft_fold.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

// Quarter-wave sine of 1024 points (entry k = sin(2 pi k / 1024), k = 0..256), then seven zeros.
extern "C" IPP_EXPORT const Ipp32f VARIANT(fft_fix_twiddle_table_32f)[264] = {
    0.0f,
    0x1.921f100000000p-8f,
    0x1.921d200000000p-7f,
    0x1.2d936c0000000p-6f,
    0x1.9215600000000p-6f,
    0x1.f693740000000p-6f,
    0x1.2d86580000000p-5f,
    0x1.5fc00e0000000p-5f,
    0x1.91f6600000000p-5f,
    0x1.c428d20000000p-5f,
    0x1.f656e80000000p-5f,
    0x1.1440140000000p-4f,
    0x1.2d520a0000000p-4f,
    0x1.4661180000000p-4f,
    0x1.5f6d000000000p-4f,
    0x1.7875860000000p-4f,
    0x1.917a6c0000000p-4f,
    0x1.aa7b720000000p-4f,
    0x1.c3785c0000000p-4f,
    0x1.dc70ec0000000p-4f,
    0x1.f564e60000000p-4f,
    0x1.072a040000000p-3f,
    0x1.139f0c0000000p-3f,
    0x1.20116e0000000p-3f,
    0x1.2c81060000000p-3f,
    0x1.38edbc0000000p-3f,
    0x1.45576c0000000p-3f,
    0x1.51bdf80000000p-3f,
    0x1.5e21440000000p-3f,
    0x1.6a81300000000p-3f,
    0x1.76dd9e0000000p-3f,
    0x1.83366e0000000p-3f,
    0x1.8f8b840000000p-3f,
    0x1.9bdcc00000000p-3f,
    0x1.a82a020000000p-3f,
    0x1.b4732e0000000p-3f,
    0x1.c0b8260000000p-3f,
    0x1.ccf8cc0000000p-3f,
    0x1.d934fe0000000p-3f,
    0x1.e56ca20000000p-3f,
    0x1.f19f980000000p-3f,
    0x1.fdcdc20000000p-3f,
    0x1.04fb800000000p-2f,
    0x1.0b0d9c0000000p-2f,
    0x1.111d260000000p-2f,
    0x1.172a0e0000000p-2f,
    0x1.1d34440000000p-2f,
    0x1.233bba0000000p-2f,
    0x1.2940620000000p-2f,
    0x1.2f422e0000000p-2f,
    0x1.35410c0000000p-2f,
    0x1.3b3cf00000000p-2f,
    0x1.4135ca0000000p-2f,
    0x1.472b8a0000000p-2f,
    0x1.4d1e240000000p-2f,
    0x1.530d880000000p-2f,
    0x1.58f9a80000000p-2f,
    0x1.5ee2740000000p-2f,
    0x1.64c7de0000000p-2f,
    0x1.6aa9d80000000p-2f,
    0x1.7088540000000p-2f,
    0x1.7663400000000p-2f,
    0x1.7c3a940000000p-2f,
    0x1.820e3c0000000p-2f,
    0x1.87de2a0000000p-2f,
    0x1.8daa520000000p-2f,
    0x1.9372a60000000p-2f,
    0x1.9937160000000p-2f,
    0x1.9ef7940000000p-2f,
    0x1.a4b4120000000p-2f,
    0x1.aa6c820000000p-2f,
    0x1.b020d60000000p-2f,
    0x1.b5d1000000000p-2f,
    0x1.bb7cf20000000p-2f,
    0x1.c1249e0000000p-2f,
    0x1.c6c7f40000000p-2f,
    0x1.cc66ea0000000p-2f,
    0x1.d2016e0000000p-2f,
    0x1.d797760000000p-2f,
    0x1.dd28f20000000p-2f,
    0x1.e2b5d40000000p-2f,
    0x1.e83e0e0000000p-2f,
    0x1.edc1960000000p-2f,
    0x1.f3405a0000000p-2f,
    0x1.f8ba4e0000000p-2f,
    0x1.fe2f640000000p-2f,
    0x1.01cfc80000000p-1f,
    0x1.0485620000000p-1f,
    0x1.07387a0000000p-1f,
    0x1.09e9080000000p-1f,
    0x1.0c97040000000p-1f,
    0x1.0f426c0000000p-1f,
    0x1.11eb360000000p-1f,
    0x1.14915a0000000p-1f,
    0x1.1734d60000000p-1f,
    0x1.19d5a00000000p-1f,
    0x1.1c73b40000000p-1f,
    0x1.1f0f080000000p-1f,
    0x1.21a79a0000000p-1f,
    0x1.243d600000000p-1f,
    0x1.26d0540000000p-1f,
    0x1.2960720000000p-1f,
    0x1.2bedb20000000p-1f,
    0x1.2e780e0000000p-1f,
    0x1.30ff800000000p-1f,
    0x1.3384000000000p-1f,
    0x1.36058c0000000p-1f,
    0x1.3884180000000p-1f,
    0x1.3affa20000000p-1f,
    0x1.3d78240000000p-1f,
    0x1.3fed960000000p-1f,
    0x1.425ff20000000p-1f,
    0x1.44cf320000000p-1f,
    0x1.473b520000000p-1f,
    0x1.49a44a0000000p-1f,
    0x1.4c0a140000000p-1f,
    0x1.4e6cac0000000p-1f,
    0x1.50cc0a0000000p-1f,
    0x1.53282a0000000p-1f,
    0x1.5581040000000p-1f,
    0x1.57d6940000000p-1f,
    0x1.5a28d20000000p-1f,
    0x1.5c77bc0000000p-1f,
    0x1.5ec34a0000000p-1f,
    0x1.610b760000000p-1f,
    0x1.63503a0000000p-1f,
    0x1.6591920000000p-1f,
    0x1.67cf780000000p-1f,
    0x1.6a09e60000000p-1f,
    0x1.6c40d80000000p-1f,
    0x1.6e74460000000p-1f,
    0x1.70a42c0000000p-1f,
    0x1.72d0840000000p-1f,
    0x1.74f9480000000p-1f,
    0x1.771e760000000p-1f,
    0x1.7940060000000p-1f,
    0x1.7b5df20000000p-1f,
    0x1.7d78360000000p-1f,
    0x1.7f8ece0000000p-1f,
    0x1.81a1b40000000p-1f,
    0x1.83b0e00000000p-1f,
    0x1.85bc520000000p-1f,
    0x1.87c4000000000p-1f,
    0x1.89c7ea0000000p-1f,
    0x1.8bc8060000000p-1f,
    0x1.8dc4540000000p-1f,
    0x1.8fbcca0000000p-1f,
    0x1.91b1660000000p-1f,
    0x1.93a2240000000p-1f,
    0x1.958efe0000000p-1f,
    0x1.9777f00000000p-1f,
    0x1.995cf20000000p-1f,
    0x1.9b3e040000000p-1f,
    0x1.9d1b200000000p-1f,
    0x1.9ef43e0000000p-1f,
    0x1.a0c95e0000000p-1f,
    0x1.a29a7a0000000p-1f,
    0x1.a4678c0000000p-1f,
    0x1.a630920000000p-1f,
    0x1.a7f5860000000p-1f,
    0x1.a9b6620000000p-1f,
    0x1.ab73260000000p-1f,
    0x1.ad2bca0000000p-1f,
    0x1.aee04c0000000p-1f,
    0x1.b090a60000000p-1f,
    0x1.b23cd40000000p-1f,
    0x1.b3e4d40000000p-1f,
    0x1.b588a00000000p-1f,
    0x1.b728340000000p-1f,
    0x1.b8c38e0000000p-1f,
    0x1.ba5aa60000000p-1f,
    0x1.bbed7c0000000p-1f,
    0x1.bd7c0a0000000p-1f,
    0x1.bf064e0000000p-1f,
    0x1.c08c420000000p-1f,
    0x1.c20de40000000p-1f,
    0x1.c38b300000000p-1f,
    0x1.c504200000000p-1f,
    0x1.c678b40000000p-1f,
    0x1.c7e8e60000000p-1f,
    0x1.c954b20000000p-1f,
    0x1.cabc160000000p-1f,
    0x1.cc1f100000000p-1f,
    0x1.cd7d980000000p-1f,
    0x1.ced7b00000000p-1f,
    0x1.d02d500000000p-1f,
    0x1.d17e780000000p-1f,
    0x1.d2cb220000000p-1f,
    0x1.d4134e0000000p-1f,
    0x1.d556f60000000p-1f,
    0x1.d696180000000p-1f,
    0x1.d7d0b00000000p-1f,
    0x1.d906bc0000000p-1f,
    0x1.da383a0000000p-1f,
    0x1.db65260000000p-1f,
    0x1.dc8d7c0000000p-1f,
    0x1.ddb13c0000000p-1f,
    0x1.ded0600000000p-1f,
    0x1.dfeae60000000p-1f,
    0x1.e100cc0000000p-1f,
    0x1.e212100000000p-1f,
    0x1.e31eae0000000p-1f,
    0x1.e426a40000000p-1f,
    0x1.e529f00000000p-1f,
    0x1.e6288e0000000p-1f,
    0x1.e7227e0000000p-1f,
    0x1.e817ba0000000p-1f,
    0x1.e908440000000p-1f,
    0x1.e9f4160000000p-1f,
    0x1.eadb2e0000000p-1f,
    0x1.ebbd8c0000000p-1f,
    0x1.ec9b2e0000000p-1f,
    0x1.ed740e0000000p-1f,
    0x1.ee482e0000000p-1f,
    0x1.ef178a0000000p-1f,
    0x1.efe2200000000p-1f,
    0x1.f0a7f00000000p-1f,
    0x1.f168f60000000p-1f,
    0x1.f225300000000p-1f,
    0x1.f2dc9c0000000p-1f,
    0x1.f38f3a0000000p-1f,
    0x1.f43d080000000p-1f,
    0x1.f4e6040000000p-1f,
    0x1.f58a2c0000000p-1f,
    0x1.f6297c0000000p-1f,
    0x1.f6c3f80000000p-1f,
    0x1.f7599a0000000p-1f,
    0x1.f7ea620000000p-1f,
    0x1.f876500000000p-1f,
    0x1.f8fd600000000p-1f,
    0x1.f97f920000000p-1f,
    0x1.f9fce60000000p-1f,
    0x1.fa75580000000p-1f,
    0x1.fae8e80000000p-1f,
    0x1.fb57980000000p-1f,
    0x1.fbc1620000000p-1f,
    0x1.fc26480000000p-1f,
    0x1.fc86460000000p-1f,
    0x1.fce1600000000p-1f,
    0x1.fd37920000000p-1f,
    0x1.fd88da0000000p-1f,
    0x1.fdd53a0000000p-1f,
    0x1.fe1cb00000000p-1f,
    0x1.fe5f3a0000000p-1f,
    0x1.fe9cda0000000p-1f,
    0x1.fed58e0000000p-1f,
    0x1.ff09560000000p-1f,
    0x1.ff38300000000p-1f,
    0x1.ff621e0000000p-1f,
    0x1.ff871e0000000p-1f,
    0x1.ffa72e0000000p-1f,
    0x1.ffc2520000000p-1f,
    0x1.ffd8860000000p-1f,
    0x1.ffe9cc0000000p-1f,
    0x1.fff6220000000p-1f,
    0x1.fffd880000000p-1f,
    0x1.0000000000000p+0f,
    0.0f,
    0.0f,
    0.0f,
    0.0f,
    0.0f,
    0.0f,
    0.0f,
};

#if NORRIK_VARIANT_ID == 0
// The baseline copy is also exported under the table's plain name.
extern "C" IPP_EXPORT const Ipp32f fft_fix_twiddle_table_32f[264]
    __attribute__((alias("m7_fft_fix_twiddle_table_32f")));
#endif

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Norm and pair tables of order m share the reversed counter over m - 2 bits.
template <typename F>
void reversedCounter(int bits, F&& visit)
{
    const Ipp32u n = 1u << bits;
    Ipp32u j = 0;
    for (Ipp32u i = 1; i < n; ++i) {
        Ipp32u h = n / 2;
        while (h <= j) {
            j -= h;
            h /= 2;
        }
        j += h;
        visit(i, j);
    }
}

template <int W>
struct Elem
{
    unsigned char b[W];
};

template <int W>
inline void swapE(Elem<W>* x, Ipp64s a, Ipp64s b)
{
    const Elem<W> t = x[a];
    x[a] = x[b];
    x[b] = t;
}

inline int rev2(int v)
{
    return ((v & 1) << 1) | (v >> 1);
}

template <int W>
void pairBitRevInPlace(void* data, Ipp64s N, const Ipp32u* tab)
{
    if (N < 4)
        return;
    Elem<W>* x = static_cast<Elem<W>*>(data);
    const Ipp64s h = N / 2;
    const Ipp32u* w = tab;
    for (; w[0] != 0; w += 2) {
        const Ipp64s i = w[0] / 4, j = w[1] / 4;
        swapE(x, 2 * i, 2 * j);
        swapE(x, 2 * i + 1, h + 2 * j);
        swapE(x, 2 * j + 1, h + 2 * i);
        swapE(x, h + 2 * i + 1, h + 2 * j + 1);
    }
    // w[0] is the 0 that ends the pairs: the self-paired index 0, then the listed ones.
    for (Ipp64s i = 0;;) {
        swapE(x, 2 * i + 1, h + 2 * i);
        ++w;
        if (*w == 0)
            break;
        i = *w / 4;
    }
}

template <int W>
void pairBitRevOutOfPlace(const void* source, void* dest, Ipp64s N, const Ipp32u* tab)
{
    const Elem<W>* s = static_cast<const Elem<W>*>(source);
    Elem<W>* d = static_cast<Elem<W>*>(dest);
    if (N < 8) {
        d[0] = s[0];
        d[N - 1] = s[N - 1];
        if (N >= 4) {
            d[2] = s[1];
            d[1] = s[2];
        }
        return;
    }
    const Ipp64s h = N / 2;
    const Ipp32u* w = tab;
    for (; w[0] != 0; w += 2) {
        const Ipp64s i = w[0] / 4, j = w[1] / 4;
        d[2 * j] = s[2 * i];
        d[2 * i] = s[2 * j];
        d[2 * j + 1] = s[h + 2 * i];
        d[2 * i + 1] = s[h + 2 * j];
        d[h + 2 * j] = s[2 * i + 1];
        d[h + 2 * i] = s[2 * j + 1];
        d[h + 2 * j + 1] = s[h + 2 * i + 1];
        d[h + 2 * i + 1] = s[h + 2 * j + 1];
    }
    for (Ipp64s i = 0;;) {
        d[2 * i] = s[2 * i];
        d[2 * i + 1] = s[h + 2 * i];
        d[h + 2 * i] = s[2 * i + 1];
        d[h + 2 * i + 1] = s[h + 2 * i + 1];
        ++w;
        if (*w == 0)
            break;
        i = *w / 4;
    }
}

// Norm-table permutations move 4 x 4 blocks: element (q, g, e) is x[q Q + 4 g + e].
template <int W>
void normBitRevInPlace(void* data, Ipp64s N, const Ipp32u* tab)
{
    Elem<W>* x = static_cast<Elem<W>*>(data);
    if (N == 8) {
        swapE(x, 1, 4);
        swapE(x, 3, 6);
        return;
    }
    const Ipp64s Q = N / 4, G = N / 16;
    for (Ipp64s g = G - 1; g >= 0; --g) {
        const Ipp64s d = tab[g] / 8;
        if (d < g)
            continue;
        Elem<W> bg[4][4], bd[4][4];
        for (int q = 0; q < 4; ++q)
            for (int e = 0; e < 4; ++e) {
                bg[q][e] = x[q * Q + 4 * g + e];
                bd[q][e] = x[q * Q + 4 * d + e];
            }
        for (int q = 0; q < 4; ++q)
            for (int e = 0; e < 4; ++e) {
                x[q * Q + 4 * d + e] = bg[rev2(e)][rev2(q)];
                x[q * Q + 4 * g + e] = bd[rev2(e)][rev2(q)];
            }
    }
}

template <int W>
void normBitRevOutOfPlace(const void* source, void* dest, Ipp64s N, const Ipp32u* tab)
{
    const Elem<W>* s = static_cast<const Elem<W>*>(source);
    Elem<W>* x = static_cast<Elem<W>*>(dest);
    if (N == 8) {
        static constexpr int kOrder[8] = {0, 4, 2, 6, 1, 5, 3, 7};
        for (int i = 0; i < 8; ++i)
            x[i] = s[kOrder[i]];
        return;
    }
    const Ipp64s Q = N / 4, G = N / 16;
    for (Ipp64s g = G - 1; g >= 0; --g) {
        const Ipp64s d = tab[g] / 8;
        for (int q = 0; q < 4; ++q)
            for (int e = 0; e < 4; ++e)
                x[q * Q + 4 * d + e] = s[rev2(e) * Q + 4 * g + rev2(q)];
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API Ipp8u* VARIANT(ipps_initTabTwdBase_32f)(int order, Ipp32f* table)
{
    const long N = 1L << order, Q = N / 4;
    if (order > 10) {
        const double step = 6.283185307179586 / static_cast<double>(N);
        for (long k = 0; k <= N / 8; ++k)
            table[k] = static_cast<float>(std::sin(k * step));
        for (long k = N / 8 + 1; k <= Q; ++k)
            table[k] = static_cast<float>(std::cos((Q - k) * step));
    } else {
        const long stride = 1L << (10 - order);
        for (long k = 0; k < Q; ++k)
            table[k] = VARIANT(fft_fix_twiddle_table_32f)[k * stride];
        table[Q] = 1.0f;
    }
    return reinterpret_cast<Ipp8u*>(align32(table + Q + 1));
}

IPP_API Ipp8u* VARIANT(ipps_initTabTwd_L1_32f)(int m, const Ipp32f* base, int baseOrder, Ipp32f* dst)
{
    if (m <= 3)
        return reinterpret_cast<Ipp8u*>(dst);
    int radix[16];
    const int count = fftStagePlan(m, radix);
    float* out = dst;
    long L = 4; // sub-transform length before the stage
    for (int s = 0; s < count; ++s) {
        const long R = radix[s], span = R * L;
        int J = 0;
        while ((1L << J) < span)
            ++J;
        const long u = 1L << (baseOrder - J);
        for (long g = 0; g < L / 4; ++g) {
            for (long r = 1; r < R; ++r) {
                for (int lane = 0; lane < 4; ++lane) {
                    float cs, sn;
                    foldCosSin(base, r * (4 * g + lane), span, u, cs, sn);
                    out[lane] = cs;
                    out[4 + lane] = 0.0f - sn;
                }
                out += 8;
            }
        }
        L = span;
    }
    return reinterpret_cast<Ipp8u*>(align32(dst + 2 * (1L << m)));
}

IPP_API Ipp8u* VARIANT(ipps_initTabBitRevNorm)(int m, Ipp32u* tab)
{
    if (m < 2)
        return reinterpret_cast<Ipp8u*>(tab);
    const Ipp32u n = 1u << (m - 2);
    reversedCounter(m - 2, [&](Ipp32u i, Ipp32u j) { tab[i] = 2 * j; });
    tab[0] = 0;
    tab[n] = 0;
    return reinterpret_cast<Ipp8u*>(align32(tab + n + 1));
}

IPP_API Ipp8u* VARIANT(ipps_initTabBitRev)(int m, Ipp32u* tab)
{
    if (m < 2)
        return reinterpret_cast<Ipp8u*>(tab);
    const Ipp32u n = 1u << (m - 2);
    Ipp32u front = 0, back = n - 1;
    reversedCounter(m - 2, [&](Ipp32u i, Ipp32u j) {
        if (i < j) {
            tab[front] = 4 * i;
            tab[front + 1] = 4 * j;
            front += 2;
        } else if (i == j) {
            tab[back--] = 4 * i;
        }
    });
    tab[front] = 0;
    tab[n] = 0;
    return reinterpret_cast<Ipp8u*>(align32(tab + n + 1));
}

IPP_API Ipp8u* VARIANT(ipps_initTabBitRevLarge)(int m, int s, Ipp32u* tab)
{
    const int bits = m - 2 * s;
    const Ipp32u B = 1u << bits;
    tab[0] = 0;
    Ipp32u j = 0;
    for (Ipp32u i = 1; i < B; ++i) {
        Ipp32u h = B / 2;
        while (h <= j) {
            j -= h;
            h /= 2;
        }
        j += h;
        tab[i] = j << s;
    }
    return VARIANT(ipps_initTabBitRev)(2 * s, tab + B);
}

IPP_API void VARIANT(ipps_BitRev1_4)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<4>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev1_8)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<8>(x, n, tab);
}
IPP_API void VARIANT(ipps_sBitRev1_Blk)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<4>(x, n, tab);
}
IPP_API void VARIANT(ipps_cBitRev1_Blk)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<8>(x, n, tab);
}
IPP_API void VARIANT(ipps_dBitRev1_Blk)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<8>(x, n, tab);
}
IPP_API void VARIANT(ipps_zBitRev1_Blk)(void* x, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevInPlace<16>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_4)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevOutOfPlace<4>(s, d, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_8)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    pairBitRevOutOfPlace<8>(s, d, n, tab);
}
IPP_API void VARIANT(ipps_BitRev1_S)(void* x, Ipp64s n, const Ipp32u* tab)
{
    normBitRevInPlace<4>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev1_C)(void* x, Ipp64s n, const Ipp32u* tab)
{
    normBitRevInPlace<8>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev1_D)(void* x, Ipp64s n, const Ipp32u* tab)
{
    normBitRevInPlace<8>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev1_Z)(void* x, Ipp64s n, const Ipp32u* tab)
{
    normBitRevInPlace<16>(x, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_S)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    normBitRevOutOfPlace<4>(s, d, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_C)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    normBitRevOutOfPlace<8>(s, d, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_D)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    normBitRevOutOfPlace<8>(s, d, n, tab);
}
IPP_API void VARIANT(ipps_BitRev2_Z)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)
{
    normBitRevOutOfPlace<16>(s, d, n, tab);
}

// Base quarter-sine tables, radix-4 twiddle tables and bit-reversal tables with their permutations.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/variant/fft_fold.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Counts i up from 1 below 2^bits with j = i reversed over the bits: the Norm and pair tables of
// order m (over m - 2 bits) and the block words of the Large table.
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
            table[k] = VARIANT(fft_fix_twiddle_table_32f).sine[k * stride];
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
    tab[0] = 0;
    reversedCounter(bits, [&](Ipp32u i, Ipp32u j) { tab[i] = j << s; });
    return VARIANT(ipps_initTabBitRev)(2 * s, tab + (1u << bits));
}

// The exported permutations by table and element width: in place (BitRev1) and out of place
// (BitRev2); the block permutations of the large transform are the pair table's in place.
#define NORRIK_BITREV(suffix, table, W)                                                                                \
    IPP_API void VARIANT(ipps_BitRev1_##suffix)(void* x, Ipp64s n, const Ipp32u* tab)                                  \
    {                                                                                                                  \
        table##BitRevInPlace<W>(x, n, tab);                                                                            \
    }                                                                                                                  \
    IPP_API void VARIANT(ipps_BitRev2_##suffix)(const void* s, void* d, Ipp64s n, const Ipp32u* tab)                   \
    {                                                                                                                  \
        table##BitRevOutOfPlace<W>(s, d, n, tab);                                                                      \
    }
#define NORRIK_BLOCK_BITREV(type, W)                                                                                   \
    IPP_API void VARIANT(ipps_##type##BitRev1_Blk)(void* x, Ipp64s n, const Ipp32u* tab)                               \
    {                                                                                                                  \
        pairBitRevInPlace<W>(x, n, tab);                                                                               \
    }

NORRIK_BITREV(4, pair, 4)
NORRIK_BITREV(8, pair, 8)
NORRIK_BITREV(S, norm, 4)
NORRIK_BITREV(C, norm, 8)
NORRIK_BITREV(D, norm, 8)
NORRIK_BITREV(Z, norm, 16)
NORRIK_BLOCK_BITREV(s, 4)
NORRIK_BLOCK_BITREV(c, 8)
NORRIK_BLOCK_BITREV(d, 8)
NORRIK_BLOCK_BITREV(z, 16)

// One step of the recombination sweeps: four bins from the front of the half-size spectrum and
// their four mirrors from the back; included by variant sources only.
#pragma once

#include <tmmintrin.h>

#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"
#include "primitives/fftkernels/variant/fft_sine.h"

namespace NORRIK_VARIANT_NS {
namespace fft {

// The four values ending at p + 8 (exclusive), lanes in descending address order. A: p is
// 16-byte aligned, so the shuffles can read the first half straight from memory.
template <bool A = false>
FFT_INLINE Cv loadBack(const float* p)
{
    const __m128 a = A ? _mm_load_ps(p) : _mm_loadu_ps(p), b = A ? _mm_load_ps(p + 4) : _mm_loadu_ps(p + 4);
    return {_mm_shuffle_ps(b, a, _MM_SHUFFLE(0, 2, 0, 2)), _mm_shuffle_ps(b, a, _MM_SHUFFLE(1, 3, 1, 3))};
}
FFT_INLINE void storeBack(float* p, Cv q)
{
    const __m128 r = _mm_shuffle_ps(q.re, q.re, _MM_SHUFFLE(0, 1, 2, 3));
    const __m128 i = _mm_shuffle_ps(q.im, q.im, _MM_SHUFFLE(0, 1, 2, 3));
    _mm_storeu_ps(p, _mm_unpacklo_ps(r, i));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(r, i));
}
// One 32-byte table block as lanes in bin order. A: t is 16-byte aligned, so the shuffles can
// read the second half straight from memory.
template <bool A = false>
FFT_INLINE Cv loadTable(const float* t)
{
    const __m128 a = A ? _mm_load_ps(t) : _mm_loadu_ps(t), b = A ? _mm_load_ps(t + 4) : _mm_loadu_ps(t + 4);
    if (kFftSettings.recFourBinBlocks)
        return {_mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)), _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1))};
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 2, 0, 2)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 3, 1, 3))};
}

// Table entry of bin k read from the base table (quarter Q, stride d). Real: half of the forward
// factor folded in, (0.5 c, 0.5 - 0.5 s); CCS: (c, -s).
constexpr Ipp32fc recEntry(const float* base, long k, long Q, long d, bool real)
{
    const float s = base[k * d], c = base[(Q - k) * d];
    if (real)
        return {0.5f * c, static_cast<float>(0.5 - 0.5 * static_cast<double>(s))};
    return {c, 0.0f - s};
}

// The forward recombination table of the M-point half-size spectrum (order 10 at most, so the
// set-up reads the constant base table) in the lanes the sweep multiplies with, worked out while
// compiling: four bins' real parts, then their imaginary parts, per step. The same values as the
// set-up's table, without shuffling them apart on every call.
template <int M>
struct SplitRecTable
{
    alignas(16) float v[M / 8][8];
};
template <int M>
constexpr SplitRecTable<M> splitRecTable()
{
    static_assert(2 * M <= 1024);
    SplitRecTable<M> t{};
    for (int j = 0; j < M / 8; ++j) {
        for (int i = 0; i < 4; ++i) {
            const Ipp32fc e = recEntry(kQuarterSine, 4 * j + 1 + i, M / 2, 1024 / (2 * M), true);
            t.v[j][i] = e.re;
            t.v[j][4 + i] = e.im;
        }
    }
    return t;
}

// Forward recombination of front bins a and back bins b with table block t: the Perm values of
// the front bins into f, those of the back bins into k.
FFT_INLINE void realRecStep(Cv a, Cv b, Cv t, Cv& f, Cv& k)
{
    const __m128 dr = _mm_sub_ps(a.re, b.re), di = _mm_add_ps(a.im, b.im);
    const __m128 E = _mm_add_ps(_mm_mul_ps(t.re, di), _mm_mul_ps(t.im, dr));
    const __m128 D = _mm_sub_ps(_mm_mul_ps(t.im, di), _mm_mul_ps(t.re, dr));
    f = {_mm_add_ps(b.re, E), _mm_sub_ps(D, b.im)};
    k = {_mm_sub_ps(a.re, E), _mm_sub_ps(D, a.im)};
}

// Inverse recombination: Perm values a (front) and b (back) to the half-size spectrum.
FFT_INLINE void ccsRecStep(Cv a, Cv b, Cv t, Cv& f, Cv& k)
{
    const __m128 sr = _mm_add_ps(a.re, b.re), si = _mm_sub_ps(a.im, b.im);
    const __m128 dr = _mm_sub_ps(a.re, b.re), di = _mm_add_ps(a.im, b.im);
    const __m128 G = _mm_sub_ps(_mm_mul_ps(t.im, dr), _mm_mul_ps(t.re, di));
    const __m128 H = _mm_add_ps(_mm_mul_ps(t.re, dr), _mm_mul_ps(t.im, di));
    f = {_mm_add_ps(sr, G), _mm_add_ps(H, si)};
    k = {_mm_sub_ps(sr, G), _mm_sub_ps(H, si)};
}

// Points 4j + 1 .. 4j + 4 of a split-by-four array from the parts g and h of groups j and j + 1.
FFT_INLINE __m128 nextFour(__m128 g, __m128 h)
{
#if defined(__SSSE3__)
    return _mm_castsi128_ps(_mm_alignr_epi8(_mm_castps_si128(h), _mm_castps_si128(g), 4));
#else
    const __m128 t = _mm_move_ss(g, h);
    return _mm_shuffle_ps(t, t, _MM_SHUFFLE(0, 3, 2, 1));
#endif
}
// Four aligned values in reverse order: the integer shuffle reads memory itself and keeps no copy.
FFT_INLINE __m128 loadReversed(const float* p)
{
    return _mm_castsi128_ps(
        _mm_shuffle_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), _MM_SHUFFLE(0, 1, 2, 3)));
}

// The forward recombination (Nyquist and DC pair included) of the M-point half-size spectrum held
// split-by-four in work, 16-byte aligned, into Perm at dst, which may be work: the sweep's steps
// without an interleaved copy of the spectrum between. Each group is read before its place is
// written over, group j + 1 being held from step j on. M, the one size it runs at, is a constant.
template <int M>
FFT_INLINE void permFromSplit(const float* work, float* dst)
{
    static constexpr SplitRecTable<M> kTable = splitRecTable<M>();
    Cv cur = loadC<true>(work);
    const float a = work[0], b = work[4];
    dst[0] = a + b;
    dst[1] = a - b;
    for (int j = 0; j < M / 8; ++j) {
        const Cv next = loadC<true>(work + 8 * (j + 1));
        const float* back = work + 8 * (M / 4 - 1 - j);
        Cv f, k;
        realRecStep({nextFour(cur.re, next.re), nextFour(cur.im, next.im)},
                    {loadReversed(back), loadReversed(back + 4)}, loadC<true>(kTable.v[j]), f, k);
        storeI(dst + 2 * (4 * j + 1), f);
        storeBack(dst + 2 * (M - 4 * j - 4), k);
        cur = next;
    }
}

} // namespace fft
} // namespace NORRIK_VARIANT_NS

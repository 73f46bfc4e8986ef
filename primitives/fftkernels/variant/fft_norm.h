// The Norm pass's first radix-4 stage and the compile-time planned later stages of the size the
// FIR runs, shared by the complex passes and the real transform; included by variant sources only.
#pragma once

#include <cstddef>

#include "primitives/fftkernels/variant/fft_stages.h"

namespace NORRIK_VARIANT_NS {
namespace fft {

// First radix-4 stage on two butterflies held as (re, im, re, im) vectors of the inputs
// x[c], x[c + n/2], x[c + n/4], x[c + 3n/4]; writes the two split groups at g0 and g1.
template <bool Inv>
FFT_INLINE void firstButterfly(__m128 u0, __m128 u1, __m128 u2, __m128 u3, float* g0, float* g1)
{
    const __m128 s = _mm_add_ps(u0, u1);
    const __m128 d = _mm_sub_ps(u0, u1);
    const __m128 t = _mm_add_ps(u2, u3);
    const __m128 e = _mm_sub_ps(u2, u3);
    const __m128 es = _mm_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1));
    // -i e = (e.im, -e.re), +i e = (-e.im, e.re)
    const __m128 minusI = _mm_xor_ps(es, _mm_setr_ps(0.0f, -0.0f, 0.0f, -0.0f));
    const __m128 plusI = _mm_xor_ps(es, _mm_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f));
    __m128 y0 = _mm_add_ps(s, t);
    __m128 y2 = _mm_sub_ps(s, t);
    __m128 y1 = _mm_add_ps(d, Inv ? plusI : minusI);
    __m128 y3 = _mm_add_ps(d, Inv ? minusI : plusI);
    _MM_TRANSPOSE4_PS(y0, y1, y2, y3);
    _mm_storeu_ps(g0, y0);
    _mm_storeu_ps(g0 + 4, y1);
    _mm_storeu_ps(g1, y2);
    _mm_storeu_ps(g1 + 4, y3);
}

// The first stage of the Norm pass of n >= 16 points: src read through the bit-reversal table,
// split-by-four groups into work.
template <bool Inv>
FFT_INLINE void normFirstStage(const float* src, float* work, int n, const Ipp32u* pBitRev)
{
    const int eighth = n / 8;
    // The four quarter bases, so each group costs one table read and one offset.
    const float* const s1 = src + n;
    const float* const s2 = src + n / 2;
    const float* const s3 = src + 3 * (n / 2);
    float* const w1 = work + 8 * eighth;
    // Word 2q is rev(q) over m - 2 bits: the first input of group q; c + 1 feeds group q + n/8.
    // Group 0 starts at 0 whatever word 0 holds.
    firstButterfly<Inv>(_mm_loadu_ps(src), _mm_loadu_ps(s1), _mm_loadu_ps(s2), _mm_loadu_ps(s3), work, w1);
    for (int q = 1; q < eighth; ++q) {
        const std::size_t c2 = 2 * static_cast<std::size_t>(pBitRev[2 * q]);
        firstButterfly<Inv>(_mm_loadu_ps(src + c2), _mm_loadu_ps(s1 + c2), _mm_loadu_ps(s2 + c2), _mm_loadu_ps(s3 + c2),
                            work + 8 * q, w1 + 8 * q);
    }
}

// The later stages of one size with its plan known at compile time: constant strides and trip
// counts, so the FIR's block size runs without plan look-ups or loop set-up per stage.
template <bool Inv, bool Interleave, int M, int S = 0, int L = 4>
FFT_INLINE void fixedStages(float* work, float* out, const float* twd)
{
    if constexpr (S < kStagePlans.count[M]) {
        constexpr bool last = S + 1 == kStagePlans.count[M];
        float* dst = last ? out : work;
        if constexpr (kStagePlans.radix[M][S] == 4) {
            stage4<Inv, last && Interleave>(work, dst, 1 << M, L, twd);
            fixedStages<Inv, Interleave, M, S + 1, 4 * L>(work, out, twd + 6 * L);
        } else {
            stage8<Inv, last && Interleave>(work, dst, 1 << M, L, twd);
            fixedStages<Inv, Interleave, M, S + 1, 8 * L>(work, out, twd + 14 * L);
        }
    }
}

// The size of the FIR's order-8 block.
constexpr int kFixedM = 7;

} // namespace fft
} // namespace NORRIK_VARIANT_NS

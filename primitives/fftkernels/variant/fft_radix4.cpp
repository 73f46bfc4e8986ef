// Complex radix-4/8 decimation-in-time passes on the split-by-four working layout.
#include <cstddef>
#include <cstdint>

#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_stages.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Smallest m with 2^m >= n.
inline int ceilLog2(int n)
{
    return n <= 1 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(n - 1));
}

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

// The stages after the first one for 2^m points (m from 4 to 17): all but the last in place in
// work, the last into out. The twiddle table is 16-byte aligned, as the set-up builds it.
template <bool Inv>
void laterStages(float* work, float* out, int m, const float* twd, bool interleave)
{
    if (m == kFixedM) {
        if (interleave)
            fixedStages<Inv, true, kFixedM>(work, out, twd);
        else
            fixedStages<Inv, false, kFixedM>(work, out, twd);
        return;
    }
    const int n = 1 << m, count = kStagePlans.count[m];
    int L = 4;
    for (int s = 0; s < count; ++s) {
        const bool last = s + 1 == count;
        float* dst = last ? out : work;
        if (kStagePlans.radix[m][s] == 4) {
            if (last && interleave)
                stage4<Inv, true>(work, dst, n, L, twd);
            else
                stage4<Inv, false>(work, dst, n, L, twd);
            twd += 6 * L;
            L *= 4;
        } else {
            if (last && interleave)
                stage8<Inv, true>(work, dst, n, L, twd);
            else
                stage8<Inv, false>(work, dst, n, L, twd);
            twd += 14 * L;
            L *= 8;
        }
    }
}

// The 8-point transform of the Norm passes; reads every point before writing.
template <bool Inv>
void direct8(const float* src, float* dst)
{
    float in[16];
    for (int i = 0; i < 16; ++i)
        in[i] = src[i];
    butterfly8<Inv, Rot8::SumFirst>(
        [&](int r) {
            return Cv{_mm_set1_ps(in[2 * r]), _mm_set1_ps(in[2 * r + 1])};
        },
        [&](int q, Cv x) {
            dst[2 * q] = _mm_cvtss_f32(x.re);
            dst[2 * q + 1] = _mm_cvtss_f32(x.im);
        },
        _mm_load_ps(constants().r8), _mm_load_ps(constants().minusR8));
}

// The Norm passes from n = 16 on; Fixed: n is 2^kFixedM, known at compile time.
template <bool Inv, bool Fixed>
FFT_INLINE void radix4NormFrom16(const float* src, float* dst, int n, const Ipp32f* pTwd, const Ipp32u* pBitRev,
                                 Ipp8u* pBuffer)
{
    if (Fixed)
        n = 1 << kFixedM;
    const int m = Fixed ? kFixedM : ceilLog2(n);
    float* work = (src != dst && aligned16(dst)) ? dst : reinterpret_cast<float*>(pBuffer);
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
    if (Fixed)
        fixedStages<Inv, true, kFixedM>(work, dst, pTwd);
    else
        laterStages<Inv>(work, dst, m, pTwd, true);
}

template <bool Inv>
void radix4Norm(const Ipp32fc* pSrc, Ipp32fc* pDst, int n, const Ipp32f* pTwd, const Ipp32u* pBitRev, Ipp8u* pBuffer)
{
    const float* src = reinterpret_cast<const float*>(pSrc);
    float* dst = reinterpret_cast<float*>(pDst);
    if (n == 8)
        direct8<Inv>(src, dst);
    else if (n == 1 << kFixedM)
        radix4NormFrom16<Inv, true>(src, dst, n, pTwd, pBitRev, pBuffer);
    else
        radix4NormFrom16<Inv, false>(src, dst, n, pTwd, pBitRev, pBuffer);
}

template <bool Inv>
void radix4Plain(Ipp32fc* pData, int n, const Ipp32f* pTwd, Ipp8u* pBuffer, int interleave)
{
    float* data = reinterpret_cast<float*>(pData);
    const int m = ceilLog2(n);
    float* work = aligned16(data) ? data : reinterpret_cast<float*>(pBuffer);
    for (int p = 0; p < n / 4; p += 2) {
        const float* g = data + 8 * p;
        const __m128 a = _mm_loadu_ps(g);
        const __m128 b = _mm_loadu_ps(g + 4);
        const __m128 c = _mm_loadu_ps(g + 8);
        const __m128 d = _mm_loadu_ps(g + 12);
        firstButterfly<Inv>(_mm_movelh_ps(a, c), _mm_movehl_ps(c, a), _mm_movelh_ps(b, d), _mm_movehl_ps(d, b),
                            work + 8 * p, work + 8 * (p + 1));
    }
    laterStages<Inv>(work, data, m, pTwd, interleave == 1);
}

// A complex sequence held as two float arrays: points i and j as (re, im, re, im).
struct SplitArrays
{
    const float* re;
    const float* im;
    FFT_INLINE __m128 two(std::size_t i, std::size_t j) const { return _mm_setr_ps(re[i], im[i], re[j], im[j]); }
};

// The split-by-four result in work to the two arrays.
void toArrays(const float* work, float* re, float* im, int n)
{
    for (int p = 0; p < n; p += 4) {
        _mm_storeu_ps(re + p, _mm_load_ps(work + 2 * p));
        _mm_storeu_ps(im + p, _mm_load_ps(work + 2 * p + 4));
    }
}

// The complex passes on two arrays: the same stages and operations, with the first stage reading
// the arrays and every later stage in the work buffer.
template <bool Inv>
void splitNorm(SplitArrays s, float* dRe, float* dIm, int n, const float* tw, const Ipp32u* bitRev, float* work)
{
    if (n == 8) {
        float in[16], out[16];
        for (int i = 0; i < 8; ++i) {
            in[2 * i] = s.re[i];
            in[2 * i + 1] = s.im[i];
        }
        direct8<Inv>(in, out);
        for (int i = 0; i < 8; ++i) {
            dRe[i] = out[2 * i];
            dIm[i] = out[2 * i + 1];
        }
        return;
    }
    const std::size_t eighth = n / 8, q1 = n / 4, q2 = n / 2, q3 = 3 * (n / 4);
    for (std::size_t q = 0; q < eighth; ++q) {
        const std::size_t c = q == 0 ? 0 : bitRev[2 * q];
        firstButterfly<Inv>(s.two(c, c + 1), s.two(q2 + c, q2 + c + 1), s.two(q1 + c, q1 + c + 1),
                            s.two(q3 + c, q3 + c + 1), work + 8 * q, work + 8 * (eighth + q));
    }
    laterStages<Inv>(work, work, ceilLog2(n), tw, false);
    toArrays(work, dRe, dIm, n);
}

template <bool Inv>
void splitPlain(float* re, float* im, int n, const float* tw, float* work)
{
    const SplitArrays s{re, im};
    for (std::size_t p = 0; p < std::size_t(n) / 4; p += 2) {
        const std::size_t b = 4 * p;
        firstButterfly<Inv>(s.two(b, b + 4), s.two(b + 1, b + 5), s.two(b + 2, b + 6), s.two(b + 3, b + 7),
                            work + 8 * p, work + 8 * (p + 1));
    }
    laterStages<Inv>(work, work, ceilLog2(n), tw, false);
    toArrays(work, re, im, n);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_cRadix4FwdNorm_32fc)(const Ipp32fc* pSrc, Ipp32fc* pDst, int n, const Ipp32f* pTwd,
                                               const Ipp32u* pBitRev, Ipp8u* pBuffer)
{
    radix4Norm<false>(pSrc, pDst, n, pTwd, pBitRev, pBuffer);
}

IPP_API void VARIANT(ipps_cRadix4InvNorm_32fc)(const Ipp32fc* pSrc, Ipp32fc* pDst, int n, const Ipp32f* pTwd,
                                               const Ipp32u* pBitRev, Ipp8u* pBuffer)
{
    radix4Norm<true>(pSrc, pDst, n, pTwd, pBitRev, pBuffer);
}

IPP_API void VARIANT(ipps_cRadix4Fwd_32fc)(Ipp32fc* pData, int n, const Ipp32f* pTwd, Ipp8u* pBuffer, int interleave)
{
    radix4Plain<false>(pData, n, pTwd, pBuffer, interleave);
}

IPP_API void VARIANT(ipps_cRadix4Inv_32fc)(Ipp32fc* pData, int n, const Ipp32f* pTwd, Ipp8u* pBuffer, int interleave)
{
    radix4Plain<true>(pData, n, pTwd, pBuffer, interleave);
}

IPP_API void VARIANT(ipps_crRadix4FwdNorm_32f)(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDstRe,
                                               Ipp32f* pDstIm, int n, const Ipp32f* pTw, const Ipp32u* pBitRev,
                                               Ipp8u* pBuffer)
{
    splitNorm<false>({pSrcRe, pSrcIm}, pDstRe, pDstIm, n, pTw, pBitRev, reinterpret_cast<float*>(pBuffer));
}

IPP_API void VARIANT(ipps_crRadix4InvNorm_32f)(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDstRe,
                                               Ipp32f* pDstIm, int n, const Ipp32f* pTw, const Ipp32u* pBitRev,
                                               Ipp8u* pBuffer)
{
    splitNorm<true>({pSrcRe, pSrcIm}, pDstRe, pDstIm, n, pTw, pBitRev, reinterpret_cast<float*>(pBuffer));
}

IPP_API void VARIANT(ipps_crRadix4Fwd_32f)(Ipp32f* pSrcDstRe, Ipp32f* pSrcDstIm, int n, const Ipp32f* pTw,
                                           Ipp8u* pBuffer)
{
    splitPlain<false>(pSrcDstRe, pSrcDstIm, n, pTw, reinterpret_cast<float*>(pBuffer));
}

IPP_API void VARIANT(ipps_crRadix4Inv_32f)(Ipp32f* pSrcDstRe, Ipp32f* pSrcDstIm, int n, const Ipp32f* pTw,
                                           Ipp8u* pBuffer)
{
    splitPlain<true>(pSrcDstRe, pSrcDstIm, n, pTw, reinterpret_cast<float*>(pBuffer));
}

// Complex radix-4/8 decimation-in-time passes on the split-by-four working layout.
#include <cstddef>
#include <cstdint>

#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_norm.h"
#include "primitives/fftkernels/variant/fft_stages.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Smallest m with 2^m >= n.
inline int ceilLog2(int n)
{
    return n <= 1 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(n - 1));
}

// The stages after the first one for 2^m points (m from 4 to 17), by the stage plan's loop at
// every size (only the Norm pass runs the FIR's size with the plan fixed at compile time): all but
// the last in place in work, the last into out. The twiddle table is 16-byte aligned, as the set-up
// builds it.
template <bool Inv>
void laterStages(float* work, float* out, int m, const float* twd, bool interleave)
{
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
    normFirstStage<Inv>(src, work, n, pBitRev);
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

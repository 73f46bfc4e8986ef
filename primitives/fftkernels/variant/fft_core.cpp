// Core passes (four sub-transforms of an 8 len-point transform in one call) and the last factor-8
// passes that join eight of them; u8 and y8 only.
#include <cstdint>

#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_stages.h"

#if NORRIK_VARIANT_ID != 0

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Radices after the first stage for sub-transforms of 2^L points: the radix-4 table's plan, but
// for L = 18, whose last stage is a radix-4 one.
int corePlan(int L, int* radix)
{
    if (L != 18)
        return fftStagePlan(L, radix);
    constexpr int k18[6] = {4, 8, 8, 8, 8, 4};
    for (int i = 0; i < 6; ++i)
        radix[i] = k18[i];
    return 6;
}

// Four consecutive points of the input, one per lane.
struct InterleavedInput
{
    const float* p;
    FFT_INLINE Cv four(std::int64_t i) const { return loadI(p + 2 * i); }
};
struct ArrayInput
{
    const float* re;
    const float* im;
    FFT_INLINE Cv four(std::int64_t i) const { return {_mm_loadu_ps(re + i), _mm_loadu_ps(im + i)}; }
};

// First stage over the rows the table names (row 0, then each word up to the 0 that ends the
// list), the column c of each row going to area c; then each area's stages, the last into dst.
template <bool Inv, typename In>
void corePass(In in, float* work, float* dst, std::int64_t len, const float* tw, const Ipp32u* rows)
{
    const std::int64_t quarter = 2 * len;
    for (std::int64_t g = 0, r = 0;;) {
        Cv y0, y1, y2, y3;
        dft4<Inv>(in.four(4 * r), in.four(quarter + 4 * r), in.four(2 * quarter + 4 * r), in.four(3 * quarter + 4 * r),
                  y0, y1, y2, y3);
        __m128 r0 = y0.re, r1 = y1.re, r2 = y2.re, r3 = y3.re, i0 = y0.im, i1 = y1.im, i2 = y2.im, i3 = y3.im;
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        float* at = work + 8 * g;
        storeC(at, {r0, i0});
        storeC(at + 2 * len, {r1, i1});
        storeC(at + 4 * len, {r2, i2});
        storeC(at + 6 * len, {r3, i3});
        r = rows[++g];
        if (r == 0)
            break;
    }
    int radix[16];
    const int stages = corePlan(__builtin_ctzll(static_cast<unsigned long long>(len)), radix);
    const int n = static_cast<int>(len);
    for (int c = 0; c < 4; ++c) {
        float* area = work + 2 * len * c;
        float* out = dst + 2 * len * c;
        const float* t = tw;
        int L = 4;
        for (int s = 0; s < stages; ++s) {
            float* to = s + 1 == stages ? out : area;
            if (radix[s] == 4) {
                stage4<Inv, false>(area, to, n, L, t);
                t += 6 * L;
                L *= 4;
            } else {
                stage8<Inv, false, Rot8::ProductFirst>(area, to, n, L, t);
                t += 14 * L;
                L *= 8;
            }
        }
    }
}

// Joins eight rows of len points with one twiddle per row and position; out(m, t, x) stores
// output row m of position block t.
template <bool Inv, typename Out>
void lastFactor8(const float* src, std::int64_t len, std::int64_t count, const float* tw, Out out)
{
    const std::int64_t blocks = count <= 4 ? 1 : (count + 3) / 4;
    const __m128 c = _mm_load_ps(constants().r8), nc = _mm_load_ps(constants().minusR8);
    for (std::int64_t t = 0; t < blocks; ++t) {
        const float* w = tw + 56 * t;
        butterfly8<Inv, Rot8::ProductFirst>(
            [&](int j) {
                const Cv x = loadC<true>(src + 2 * len * j + 8 * t);
                return j == 0 ? x : twist<Inv>(x, w + 8 * (j - 1));
            },
            [&](int m, Cv x) { out(m, t, x); }, c, nc);
    }
}

template <bool Inv>
void coreComplex(const Ipp32fc* pSrc, Ipp32fc* pDst, Ipp64s len, const Ipp32f* pTw, const Ipp32u* pBitRev,
                 Ipp32f* pBuffer)
{
    float* dst = reinterpret_cast<float*>(pDst);
    const float* src = reinterpret_cast<const float*>(pSrc);
    float* work = src != dst && aligned16(dst) ? dst : pBuffer;
    corePass<Inv>(InterleavedInput{src}, work, dst, len, pTw, pBitRev);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_cFftFwd_CoreMT_32fc)(const Ipp32fc* pSrc, Ipp32fc* pDst, Ipp64s len, const Ipp32f* pTw,
                                               const Ipp32u* pBitRev, Ipp32f* pBuffer)
{
    coreComplex<false>(pSrc, pDst, len, pTw, pBitRev, pBuffer);
}

IPP_API void VARIANT(ipps_cFftInv_CoreMT_32fc)(const Ipp32fc* pSrc, Ipp32fc* pDst, Ipp64s len, const Ipp32f* pTw,
                                               const Ipp32u* pBitRev, Ipp32f* pBuffer)
{
    coreComplex<true>(pSrc, pDst, len, pTw, pBitRev, pBuffer);
}

IPP_API void VARIANT(ipps_crFftFwd_CoreMT_32f)(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, Ipp64s len,
                                               const Ipp32f* pTw, const Ipp32u* pBitRev)
{
    corePass<false>(ArrayInput{pSrcRe, pSrcIm}, pDst, pDst, len, pTw, pBitRev);
}

IPP_API void VARIANT(ipps_crFftInv_CoreMT_32f)(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, Ipp64s len,
                                               const Ipp32f* pTw, const Ipp32u* pBitRev)
{
    corePass<true>(ArrayInput{pSrcRe, pSrcIm}, pDst, pDst, len, pTw, pBitRev);
}

IPP_API void VARIANT(ipps_cFftFwd_Fact8_Last_32fc)(const Ipp32f* pSrc, Ipp32fc* pDst, Ipp64s len, Ipp64s count,
                                                   const Ipp32f* pTw)
{
    float* d = reinterpret_cast<float*>(pDst);
    lastFactor8<false>(pSrc, len, count, pTw,
                       [&](int m, std::int64_t t, Cv x) { storeI(d + 2 * (m * len + 4 * t), x); });
}

IPP_API void VARIANT(ipps_cFftInv_Fact8_Last_32fc)(const Ipp32f* pSrc, Ipp32fc* pDst, Ipp64s len, Ipp64s count,
                                                   const Ipp32f* pTw)
{
    float* d = reinterpret_cast<float*>(pDst);
    lastFactor8<true>(pSrc, len, count, pTw,
                      [&](int m, std::int64_t t, Cv x) { storeI(d + 2 * (m * len + 4 * t), x); });
}

IPP_API void VARIANT(ipps_crFftFwd_Fact8_Last_32f)(const Ipp32f* pSrc, Ipp32f* pDstRe, Ipp32f* pDstIm, Ipp64s len,
                                                   int count, const Ipp32f* pTw)
{
    lastFactor8<false>(pSrc, len, count, pTw, [&](int m, std::int64_t t, Cv x) {
        _mm_storeu_ps(pDstRe + m * len + 4 * t, x.re);
        _mm_storeu_ps(pDstIm + m * len + 4 * t, x.im);
    });
}

IPP_API void VARIANT(ipps_crFftInv_Fact8_Last_32f)(const Ipp32f* pSrc, Ipp32f* pDstRe, Ipp32f* pDstIm, Ipp64s len,
                                                   int count, const Ipp32f* pTw)
{
    lastFactor8<true>(pSrc, len, count, pTw, [&](int m, std::int64_t t, Cv x) {
        _mm_storeu_ps(pDstRe + m * len + 4 * t, x.re);
        _mm_storeu_ps(pDstIm + m * len + 4 * t, x.im);
    });
}

#endif

// Squares: one rounded multiplication per float element; integer squares scaled by 2^-scaleFactor,
// rounded to nearest even by integer arithmetic and saturated.
#include "primitives/vector/variant/settings.h"

namespace NORRIK_VARIANT_NS {
namespace {

void sqr32f(const float* src, float* dst, std::int32_t len)
{
    std::int32_t i = 0;
    if (aligned4(dst))
        for (; i < len && !aligned16(dst + i); ++i)
            dst[i] = src[i] * src[i];
    for (; len - i >= 8; i += 8) {
        const __m128 a = _mm_loadu_ps(src + i);
        const __m128 b = _mm_loadu_ps(src + i + 4);
        _mm_storeu_ps(dst + i, _mm_mul_ps(a, a));
        _mm_storeu_ps(dst + i + 4, _mm_mul_ps(b, b));
    }
    if (len - i >= 4) {
        const __m128 a = _mm_loadu_ps(src + i);
        _mm_storeu_ps(dst + i, _mm_mul_ps(a, a));
        i += 4;
    }
    for (; i < len; ++i)
        dst[i] = src[i] * src[i];
}

// Products are rounded one by one: no contraction into a fused multiply-add.
template <class T, class C>
void sqrComplex(const C* src, C* dst, std::int32_t len)
{
    for (std::int32_t i = 0; i < len; ++i) {
        const T re = src[i].re, im = src[i].im;
        const T rr = re * re;
        const T ii = im * im;
        const T ri = re * im;
        dst[i].re = rr - ii;
        dst[i].im = ri + ri;
    }
}

// v * 2^-s rounded to nearest, ties to even; |v| <= 2^32 for every kernel here.
std::int64_t scaleExact(std::int64_t v, std::int64_t s)
{
    if (s == 0 || v == 0)
        return v;
    if (s < 0) {
        if (-s >= 31) // |v| >= 1 lands beyond every destination range
            return v > 0 ? (std::int64_t(1) << 40) : -(std::int64_t(1) << 40);
        return v * (std::int64_t(1) << -s);
    }
    if (s > 40) // |v| / 2^s < 1/2
        return 0;
    std::int64_t q = v >> s; // floor
    const std::int64_t rem = v - q * (std::int64_t(1) << s);
    const std::int64_t half = std::int64_t(1) << (s - 1);
    if (rem > half || (rem == half && (q & 1)))
        ++q;
    return q;
}

template <std::int64_t Lo, std::int64_t Hi>
inline std::int64_t saturate(std::int64_t v)
{
    return v < Lo ? Lo : (v > Hi ? Hi : v);
}

template <class T, std::int64_t Lo, std::int64_t Hi>
void sqrInteger(const T* src, T* dst, std::int32_t len, std::int32_t scaleFactor)
{
    for (std::int32_t i = 0; i < len; ++i) {
        const std::int64_t x = src[i];
        dst[i] = T(saturate<Lo, Hi>(scaleExact(x * x, scaleFactor)));
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ownippsSqr_32f)(const Ipp32f* src, Ipp32f* dst, Ipp32s len)
{
    sqr32f(src, dst, len);
}

IPP_API void VARIANT(ownippsSqr_64f)(const Ipp64f* src, Ipp64f* dst, Ipp32s len)
{
    for (Ipp32s i = 0; i < len; ++i)
        dst[i] = src[i] * src[i];
}

IPP_API void VARIANT(ownippsSqr_32fc)(const Ipp32fc* src, Ipp32fc* dst, Ipp32s len)
{
    sqrComplex<float>(src, dst, len);
}

IPP_API void VARIANT(ownippsSqr_64fc)(const Ipp64fc* src, Ipp64fc* dst, Ipp32s len)
{
    sqrComplex<double>(src, dst, len);
}

IPP_API void VARIANT(ownippsSqr_8u)(const Ipp8u* src, Ipp8u* dst, Ipp32s len, Ipp32s scaleFactor)
{
    sqrInteger<Ipp8u, 0, 255>(src, dst, len, scaleFactor);
}

IPP_API void VARIANT(ownippsSqr_16u)(const Ipp16u* src, Ipp16u* dst, Ipp32s len, Ipp32s scaleFactor)
{
    sqrInteger<Ipp16u, 0, 65535>(src, dst, len, scaleFactor);
}

IPP_API void VARIANT(ownippsSqr_16s_ASM)(const Ipp16s* src, Ipp16s* dst, Ipp32s len, Ipp32s scaleFactor)
{
    sqrInteger<Ipp16s, 0, 32767>(src, dst, len, scaleFactor);
}

IPP_API void VARIANT(ownippsSqr_16sc_ASM)(const Ipp16sc* src, Ipp16sc* dst, Ipp32s len, Ipp32s scaleFactor)
{
    for (Ipp32s i = 0; i < len; ++i) {
        const std::int64_t re = src[i].re, im = src[i].im;
        const std::int64_t vr = re * re - im * im;
        const std::int64_t vi = 2 * re * im;
        dst[i].re = Ipp16s(saturate<-32768, 32767>(scaleExact(vr, scaleFactor)));
        dst[i].im = Ipp16s(saturate<-32768, 32767>(scaleExact(vi, scaleFactor)));
    }
}

IPP_API IppStatus VARIANT(ippsSqr_32f)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    sqr32f(pSrc, pDst, len);
    return ippStsNoErr;
}

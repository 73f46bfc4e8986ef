// Maximum and minimum, with the first index where asked. The running value r takes a new element x
// unless r > x (for the minimum: unless r < x), so ties keep the later of two equal values.
#include <cstring>

#include "primitives/vector/variant/settings.h"

namespace NORRIK_VARIANT_NS {
namespace {

template <class T>
inline T keepMax(T r, T x)
{
    return (r > x) ? r : x;
}
template <class T>
inline T keepMin(T r, T x)
{
    return (r < x) ? r : x;
}

// maxps(r, x) is (r > x) ? r : x, the scalar rule lane by lane; minps likewise.
template <bool IsMax>
inline __m128 keepLanes(__m128 r, __m128 x)
{
    if constexpr (IsMax)
        return _mm_max_ps(r, x);
    else
        return _mm_min_ps(r, x);
}
template <bool IsMax, class T>
inline T keep(T r, T x)
{
    return IsMax ? keepMax(r, x) : keepMin(r, x);
}

// Lanes 0 and 2, 1 and 3, then the two results: lane 0 holds the answer.
template <bool IsMax>
inline float foldLanes(__m128 v)
{
    v = keepLanes<IsMax>(v, _mm_movehl_ps(v, v));
    const __m128 s = _mm_shuffle_ps(v, v, 1);
    return _mm_cvtss_f32(IsMax ? _mm_max_ss(v, s) : _mm_min_ss(v, s));
}

inline std::uintptr_t addr(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

float max32f(const float* x, std::int32_t len)
{
    float r = x[0];
    std::int32_t i = 0;
    if (!aligned4(x)) {
        __m128 v = _mm_set1_ps(r);
        for (; len - i >= 4; i += 4)
            v = _mm_max_ps(v, _mm_loadu_ps(x + i));
        r = foldLanes<true>(v);
    } else {
        for (; i < len && !aligned16(x + i); ++i)
            r = keepMax(r, x[i]);
        __m128 v = _mm_set1_ps(r);
        if (len - i >= 4 && (addr(x + i) & 31u) != 0) {
            v = _mm_max_ps(v, _mm_load_ps(x + i));
            i += 4;
        }
        if (len - i >= 16) {
            __m128 a0 = v, a1 = v, a2 = v, a3 = v;
            for (; len - i >= 16; i += 16) {
                a0 = _mm_max_ps(a0, _mm_load_ps(x + i));
                a1 = _mm_max_ps(a1, _mm_load_ps(x + i + 4));
                a2 = _mm_max_ps(a2, _mm_load_ps(x + i + 8));
                a3 = _mm_max_ps(a3, _mm_load_ps(x + i + 12));
            }
            v = _mm_max_ps(_mm_max_ps(a0, a2), _mm_max_ps(a1, a3));
        }
        for (; len - i >= 4; i += 4)
            v = _mm_max_ps(v, _mm_load_ps(x + i));
        r = foldLanes<true>(v);
    }
    for (; i < len; ++i)
        r = keepMax(r, x[i]);
    return r;
}

void minMax32f(const float* x, std::uint32_t len, float& mn, float& mx)
{
    __m128 lo = _mm_set1_ps(x[0]), hi = lo;
    std::uint32_t i = 0;
    if (len >= 8) {
        for (; len - i >= 8; i += 8) {
            const __m128 a = _mm_loadu_ps(x + i);
            const __m128 b = _mm_loadu_ps(x + i + 4);
            lo = _mm_min_ps(lo, a);
            hi = _mm_max_ps(hi, a);
            lo = _mm_min_ps(lo, b);
            hi = _mm_max_ps(hi, b);
        }
    }
    float a = foldLanes<false>(lo), b = foldLanes<true>(hi);
    for (; i < len; ++i) {
        a = keepMin(a, x[i]);
        b = keepMax(b, x[i]);
    }
    mn = a;
    mx = b;
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) // mask ? b : a
{
#if NORRIK_VARIANT_ID >= 2
    return _mm_blendv_ps(a, b, mask);
#else
    return _mm_or_ps(_mm_andnot_ps(mask, a), _mm_and_ps(mask, b));
#endif
}

// Lengths below 34: four lanes that each keep their maximum and where it was last raised.
void maxIndxShort(const float* x, std::int32_t len, float& value, std::int32_t& index)
{
    float v = x[0];
    std::int32_t k = 0;
    std::int32_t i = 1;
    if (aligned4(x + 1)) {
        std::int32_t lead = 0;
        while (!aligned16(x + 1 + lead))
            ++lead;
        if (len - 1 - lead >= 8) {
            for (; i < 1 + lead; ++i)
                if (x[i] > v)
                    v = x[i], k = i;
            __m128 lanes = _mm_set1_ps(v);
            __m128 where = _mm_castsi128_ps(_mm_set1_epi32(k));
            __m128i at = _mm_setr_epi32(i, i + 1, i + 2, i + 3);
            const __m128i four = _mm_set1_epi32(4);
            for (; len - i >= 8; i += 8) {
                for (int h = 0; h < 2; ++h) {
                    const __m128 e = _mm_load_ps(x + i + 4 * h);
                    const __m128 raised = _mm_cmpgt_ps(e, lanes);
                    lanes = select(raised, lanes, e);
                    where = select(raised, where, _mm_castsi128_ps(at));
                    at = _mm_add_epi32(at, four);
                }
            }
            float lv[4];
            std::int32_t li[4];
            _mm_storeu_ps(lv, lanes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(li), _mm_castps_si128(where));
            const float best = foldLanes<true>(lanes);
            v = best;
            k = -1;
            for (int l = 0; l < 4; ++l)
                if (lv[l] == best && (k < 0 || li[l] < k))
                    k = li[l];
            if (k < 0) // only when a NaN stands in a lane
                v = lv[0], k = li[0];
        }
    }
    for (; i < len; ++i)
        if (x[i] > v)
            v = x[i], k = i;
    value = v;
    index = k;
}

// The extreme of n >= 8 values, n a multiple of 8.
template <bool IsMax>
float find32f(const float* x, std::uint32_t n)
{
    __m128 a = _mm_loadu_ps(x), b = _mm_loadu_ps(x + 4);
    for (std::uint32_t i = 8; i < n; i += 8) {
        a = keepLanes<IsMax>(a, _mm_loadu_ps(x + i));
        b = keepLanes<IsMax>(b, _mm_loadu_ps(x + i + 4));
    }
    return foldLanes<IsMax>(keepLanes<IsMax>(a, b));
}

template <bool IsMax>
Ipp16s find16s(const Ipp16s* src, std::uint32_t n)
{
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    for (std::uint32_t i = 8; i < n; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        v = IsMax ? _mm_max_epi16(v, x) : _mm_min_epi16(v, x);
    }
    Ipp16s lanes[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), v);
    Ipp16s r = lanes[0];
    for (int l = 1; l < 8; ++l)
        r = keep<IsMax>(r, lanes[l]);
    return r;
}

// First element with the bit pattern of *value; the caller guarantees that one exists.
std::int32_t indexOfPattern(const float* x, const float* value)
{
    std::uint32_t want;
    std::memcpy(&want, value, 4);
    for (std::int32_t i = 0;; ++i) {
        std::uint32_t got;
        std::memcpy(&got, x + i, 4);
        if (got == want)
            return i;
    }
}

constexpr std::int32_t indxBlock = 2048;

void maxIndxLong(const float* x, std::int32_t len, float& value, std::int32_t& index)
{
    float v = x[0];
    std::int32_t k = 0;
    std::int32_t i = 0;
    if (aligned4(x))
        for (; i < len && !aligned16(x + i); ++i)
            if (x[i] > v)
                v = x[i], k = i;
    std::int32_t body = (len - i) & ~7;
    while (body > 0) {
        const std::int32_t n = body > indxBlock ? indxBlock : body;
        float m;
        m = find32f<true>(x + i, std::uint32_t(n));
        if (m > v) {
            k = i + indexOfPattern(x + i, &m);
            v = m;
        }
        i += n, body -= n;
    }
    for (; i < len; ++i)
        if (x[i] > v)
            v = x[i], k = i;
    value = v;
    index = k;
}

template <class T>
void miniMaxScalar(const T* src, std::uint32_t len, T* pMin, T* pMax)
{
    T mn = src[0], mx = src[0];
    for (std::uint32_t i = 1; i < len; ++i) {
        mn = keepMin(mn, src[i]);
        mx = keepMax(mx, src[i]);
    }
    *pMin = mn;
    *pMax = mx;
}

template <class T, bool IsMax>
void extremeIndx64(const T* src, std::uint32_t len, T* pValue, std::int32_t* pIndx)
{
    T r = src[0];
    for (std::uint32_t i = 1; i < len; ++i)
        r = keep<IsMax>(r, src[i]);
    std::uint64_t want;
    std::memcpy(&want, &r, 8);
    std::int32_t k = 0;
    for (std::uint32_t i = 0; i < len; ++i) {
        std::uint64_t got;
        std::memcpy(&got, src + i, 8);
        if (got == want) {
            k = std::int32_t(i);
            break;
        }
    }
    *pValue = r;
    *pIndx = k;
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

// ---------------------------------------------------------------------------------------------
// Kernels

IPP_API void VARIANT(ownippsMax_32f)(const Ipp32f* src, Ipp32s len, Ipp32f* pMax)
{
    *pMax = max32f(src, len);
}

IPP_API void VARIANT(ownippsMax_64f)(const Ipp64f* src, Ipp32s len, Ipp64f* pMax)
{
    __m128d v = _mm_set1_pd(src[0]);
    Ipp32s i = 0;
    for (; len - i >= 2; i += 2)
        v = _mm_max_pd(v, _mm_loadu_pd(src + i));
    v = _mm_max_sd(v, _mm_unpackhi_pd(v, v));
    double r = _mm_cvtsd_f64(v);
    for (; i < len; ++i)
        r = keepMax(r, src[i]);
    *pMax = r;
}

IPP_API Ipp16s VARIANT(ownippsMax_16s)(const Ipp16s* src, Ipp32s len, Ipp16s* pMax)
{
    Ipp16s r = src[0];
    for (Ipp32s i = 1; i < len; ++i)
        r = keepMax(r, src[i]);
    *pMax = r;
    return r;
}

IPP_API void VARIANT(MiniMax_32f_M7)(const Ipp32f* src, Ipp32u len, Ipp32f* pMin, Ipp32f* pMax)
{
    minMax32f(src, len, *pMin, *pMax);
}

IPP_API void VARIANT(MiniMax_64f_M7)(const Ipp64f* src, Ipp32u len, Ipp64f* pMin, Ipp64f* pMax)
{
    miniMaxScalar(src, len, pMin, pMax);
}
IPP_API void VARIANT(MiniMax_16s_M7)(const Ipp16s* src, Ipp32u len, Ipp16s* pMin, Ipp16s* pMax)
{
    miniMaxScalar(src, len, pMin, pMax);
}
IPP_API void VARIANT(MiniMax_8u_M7)(const Ipp8u* src, Ipp32u len, Ipp8u* pMin, Ipp8u* pMax)
{
    miniMaxScalar(src, len, pMin, pMax);
}
IPP_API void VARIANT(MiniMax_16u_M7)(const Ipp16u* src, Ipp32u len, Ipp16u* pMin, Ipp16u* pMax)
{
    miniMaxScalar(src, len, pMin, pMax);
}
IPP_API void VARIANT(MiniMax_32s_M7)(const Ipp32s* src, Ipp32u len, Ipp32s* pMin, Ipp32s* pMax)
{
    miniMaxScalar(src, len, pMin, pMax);
}

IPP_API void VARIANT(ownsMaxFind_32f_M7)(const Ipp32f* src, Ipp32u n, Ipp32f* pOut)
{
    *pOut = find32f<true>(src, n);
}

IPP_API void VARIANT(ownsMinFind_32f_M7)(const Ipp32f* src, Ipp32u n, Ipp32f* pOut)
{
    *pOut = find32f<false>(src, n);
}

IPP_API Ipp32s VARIANT(ownsIndx_32f_M7)(const Ipp32f* src, const Ipp32f* pValue)
{
    return indexOfPattern(src, pValue);
}

IPP_API Ipp16s VARIANT(ownsMaxFind_16s_M7)(const Ipp16s* src, Ipp32u n)
{
    return find16s<true>(src, n);
}

IPP_API Ipp16s VARIANT(ownsMinFind_16s_M7)(const Ipp16s* src, Ipp32u n)
{
    return find16s<false>(src, n);
}

IPP_API Ipp32s VARIANT(ownsIndx_16s_M7)(const Ipp16s* src, Ipp16s value)
{
    for (Ipp32s i = 0;; ++i)
        if (src[i] == value)
            return i;
}

IPP_API void VARIANT(ownsMaxIndx_64f_M7)(const Ipp64f* src, Ipp32u len, Ipp64f* pValue, Ipp32s* pIndx)
{
    extremeIndx64<double, true>(src, len, pValue, pIndx);
}

IPP_API void VARIANT(ownsMinIndx_64f_M7)(const Ipp64f* src, Ipp32u len, Ipp64f* pValue, Ipp32s* pIndx)
{
    extremeIndx64<double, false>(src, len, pValue, pIndx);
}

// ---------------------------------------------------------------------------------------------
// Checking entry points

IPP_API IppStatus VARIANT(ippsMax_32f)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax)
{
    if (!pSrc || !pMax)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    *pMax = max32f(pSrc, len);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMaxIndx_32f)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax, Ipp32s* pIndx)
{
    if (!pSrc || !pMax)
        return ippStsNullPtrErr;
    if (!pIndx)
        return VARIANT(ippsMax_32f)(pSrc, len, pMax);
    if (len < 1)
        return ippStsSizeErr;
    float v;
    std::int32_t k;
    if (len == 1)
        v = pSrc[0], k = 0;
    else if (len < 34)
        maxIndxShort(pSrc, len, v, k);
    else
        maxIndxLong(pSrc, len, v, k);
    *pMax = v;
    *pIndx = k;
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMinMax_32f)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32f* pMax)
{
    if (!pSrc || !pMin || !pMax)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    minMax32f(pSrc, std::uint32_t(len), *pMin, *pMax);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMinMaxIndx_32f)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32s* pMinIndx,
                                              Ipp32f* pMax, Ipp32s* pMaxIndx)
{
    if (!pSrc || !pMin || !pMinIndx || !pMax || !pMaxIndx)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    float mn, mx;
    minMax32f(pSrc, std::uint32_t(len), mn, mx);
    std::int32_t kMin = 0, kMax = 0;
    for (std::int32_t i = 0; i < len; ++i)
        if (pSrc[i] == mn) {
            kMin = i;
            break;
        }
    for (std::int32_t i = 0; i < len; ++i)
        if (pSrc[i] == mx) {
            kMax = i;
            break;
        }
    *pMin = mn;
    *pMinIndx = kMin;
    *pMax = mx;
    *pMaxIndx = kMax;
    return ippStsNoErr;
}

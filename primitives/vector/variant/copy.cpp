// Copy, zero, move, in-place add and multiplication by a constant.
#include <xmmintrin.h>

#include "primitives/vector/cpu_internal.h"
#include "primitives/vector/variant/settings.h"

namespace NORRIK_VARIANT_NS {
namespace {

constexpr std::size_t streamBlock = 262144;

inline void copy16(const std::uint8_t* s, std::uint8_t* d)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
}

// Short counts: straight-line byte, 8-byte and 16-byte moves.
void copySmall(const std::uint8_t* s, std::uint8_t* d, std::size_t n)
{
    while (n >= 16) {
        copy16(s, d);
        s += 16, d += 16, n -= 16;
    }
    if (n >= 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)));
        s += 8, d += 8, n -= 8;
    }
    while (n--)
        *d++ = *s++;
}

void copyCached(const std::uint8_t* s, std::uint8_t* d, std::size_t n)
{
    while (n >= 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 48), e);
        s += 64, d += 64, n -= 64;
    }
    copySmall(s, d, n);
}

// Copies that exceed the cache: touch a block, then write it around the caches.
void copyStreamed(const std::uint8_t* s, std::uint8_t* d, std::size_t n)
{
    while (n && !aligned16(d)) {
        *d++ = *s++;
        --n;
    }
    while (n >= 16) {
        const std::size_t block = n < streamBlock ? (n & ~std::size_t(15)) : streamBlock;
        volatile std::uint8_t sink = 0;
        for (std::size_t i = 0; i < block; i += settings.copyTouchStride)
            sink = s[i];
        (void)sink;
        for (std::size_t i = 0; i < block; i += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(d + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        s += block, d += block, n -= block;
    }
    _mm_sfence();
    copySmall(s, d, n);
}

} // namespace

void copyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n)
{
    if (n >= settings.largeCopyFrom) {
        std::int64_t cache = NorrikIpp::largeCacheSize();
        if (settings.copyDividesByCores)
            cache /= NorrikIpp::coresSharingCache();
        if (cache > 0 && n >= std::size_t(cache / 2)) {
            copyStreamed(src, dst, n);
            return;
        }
    }
    copyCached(src, dst, n);
}

void zeroBytes(std::uint8_t* dst, std::size_t n)
{
    const __m128i z = _mm_setzero_si128();
    if (n < 64) {
        while (n >= 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), z);
            dst += 16, n -= 16;
        }
        while (n--)
            *dst++ = 0;
        return;
    }
    while (!aligned16(dst)) {
        *dst++ = 0;
        --n;
    }
    if (n > 524288) {
        const std::int64_t cache = NorrikIpp::largeCacheSize();
        if (cache > 0 && n >= std::size_t(cache)) {
            for (; n >= 16; dst += 16, n -= 16)
                _mm_stream_si128(reinterpret_cast<__m128i*>(dst), z);
            _mm_sfence();
        }
    }
    for (; n >= 64; dst += 64, n -= 64) {
        _mm_store_si128(reinterpret_cast<__m128i*>(dst), z);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 16), z);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 32), z);
        _mm_store_si128(reinterpret_cast<__m128i*>(dst + 48), z);
    }
    for (; n >= 16; dst += 16, n -= 16)
        _mm_store_si128(reinterpret_cast<__m128i*>(dst), z);
    while (n--)
        *dst++ = 0;
}

// Each step loads all its bytes before it stores any, and steps run away from the overlap.
void moveBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n)
{
    if (dst == src || n == 0)
        return;
    if (src < dst) {
        while (n >= 64) {
            n -= 64;
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n + 32));
            const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n + 48));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n), a);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n + 16), b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n + 32), c);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n + 48), e);
        }
        while (n >= 16) {
            n -= 16;
            copy16(src + n, dst + n);
        }
        while (n) {
            --n;
            dst[n] = src[n];
        }
    } else {
        while (n >= 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
            const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), a);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), c);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 48), e);
            src += 64, dst += 64, n -= 64;
        }
        for (; n >= 16; src += 16, dst += 16, n -= 16)
            copy16(src, dst);
        while (n--)
            *dst++ = *src++;
    }
}

namespace {

// Element loops of add and multiply: singles below 11, else the destination is brought to a
// 16-byte boundary (unless it is off the 4-byte grid) and 8 elements run per step.
template <class Op, bool Prefetch>
void elementwise(const float* src, float* dst, std::int32_t n, Op op)
{
    std::int32_t i = 0;
    if (n >= 11) {
        if (aligned4(dst)) {
            for (; !aligned16(dst + i); ++i)
                dst[i] = op.one(src[i], dst[i]);
            for (; n - i >= 8; i += 8) {
                if constexpr (Prefetch)
                    _mm_prefetch(reinterpret_cast<const char*>(src + i) + 64, _MM_HINT_T0);
                const __m128 a = op.four(_mm_loadu_ps(src + i), _mm_load_ps(dst + i));
                const __m128 b = op.four(_mm_loadu_ps(src + i + 4), _mm_load_ps(dst + i + 4));
                _mm_store_ps(dst + i, a);
                _mm_store_ps(dst + i + 4, b);
            }
        } else {
            for (; n - i >= 8; i += 8) {
                const __m128 a = op.four(_mm_loadu_ps(src + i), _mm_loadu_ps(dst + i));
                const __m128 b = op.four(_mm_loadu_ps(src + i + 4), _mm_loadu_ps(dst + i + 4));
                _mm_storeu_ps(dst + i, a);
                _mm_storeu_ps(dst + i + 4, b);
            }
        }
    }
    for (; i < n; ++i)
        dst[i] = op.one(src[i], dst[i]);
}

struct AddOp
{
    float one(float s, float d) const { return d + s; }
    __m128 four(__m128 s, __m128 d) const { return _mm_add_ps(d, s); }
};

void mulOutOfPlace(const float* src, float* dst, std::int32_t n, float val)
{
    std::int32_t i = 0;
    const __m128 vv = _mm_set1_ps(val);
    if (n >= 11) {
        if (aligned4(dst))
            for (; !aligned16(dst + i); ++i)
                dst[i] = src[i] * val;
        for (; n - i >= 8; i += 8) {
            const __m128 a = _mm_mul_ps(_mm_loadu_ps(src + i), vv);
            const __m128 b = _mm_mul_ps(_mm_loadu_ps(src + i + 4), vv);
            _mm_storeu_ps(dst + i, a);
            _mm_storeu_ps(dst + i + 4, b);
        }
    }
    for (; i < n; ++i)
        dst[i] = src[i] * val;
}

void mulInPlace(float* p, std::int32_t n, float val)
{
    std::int32_t i = 0;
    const __m128 vv = _mm_set1_ps(val);
    if (n >= 11) {
        if (aligned4(p)) {
            for (; !aligned16(p + i); ++i)
                p[i] = p[i] * val;
            const bool prefetch = ((n - i) & ~7) > 262144;
            for (; n - i >= 8; i += 8) {
                if (prefetch)
                    _mm_prefetch(reinterpret_cast<const char*>(p + i) + 64, _MM_HINT_NTA);
                _mm_store_ps(p + i, _mm_mul_ps(_mm_load_ps(p + i), vv));
                _mm_store_ps(p + i + 4, _mm_mul_ps(_mm_load_ps(p + i + 4), vv));
            }
        } else {
            for (; n - i >= 8; i += 8) {
                _mm_storeu_ps(p + i, _mm_mul_ps(_mm_loadu_ps(p + i), vv));
                _mm_storeu_ps(p + i + 4, _mm_mul_ps(_mm_loadu_ps(p + i + 4), vv));
            }
        }
    }
    for (; i < n; ++i)
        p[i] = p[i] * val;
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

// ---------------------------------------------------------------------------------------------
// Kernels

IPP_API void* VARIANT(ownsCopy_8u)(const void* src, void* dst, Ipp32s nBytes)
{
    if (nBytes > 0)
        copyBytes(static_cast<const std::uint8_t*>(src), static_cast<std::uint8_t*>(dst), std::size_t(nBytes));
    return dst;
}

IPP_API void* VARIANT(ownsZero_8u)(void* dst, Ipp32s nBytes)
{
    if (nBytes > 0)
        zeroBytes(static_cast<std::uint8_t*>(dst), std::size_t(nBytes));
    return dst;
}

#if NORRIK_VARIANT_ID == 0
IPP_API void m7_ownsMove_8u_M7(const void* src, void* dst, Ipp32u nBytes)
#else
IPP_API void VARIANT(ownsMove_8u)(const void* src, void* dst, Ipp32u nBytes)
#endif
{
    moveBytes(static_cast<const std::uint8_t*>(src), static_cast<std::uint8_t*>(dst), nBytes);
}

IPP_API void VARIANT(ownsAdd_32f_I)(const Ipp32f* src, Ipp32f* srcDst, Ipp32s n)
{
    elementwise<AddOp, true>(src, srcDst, n, AddOp{});
}

IPP_API void VARIANT(ownsMulC_32f)(const Ipp32f* src, Ipp32f* dst, Ipp32s n, Ipp32f val)
{
    mulOutOfPlace(src, dst, n, val);
}

IPP_API void VARIANT(ownsMulC_32f_I)(Ipp32f* srcDst, Ipp32s n, Ipp32f val)
{
    mulInPlace(srcDst, n, val);
}

// ---------------------------------------------------------------------------------------------
// Checking entry points. Byte counts of float arrays are formed in 64 bits.

IPP_API IppStatus VARIANT(ippsCopy_32f)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    copyBytes(reinterpret_cast<const std::uint8_t*>(pSrc), reinterpret_cast<std::uint8_t*>(pDst),
              std::size_t(len) * sizeof(Ipp32f));
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsCopy_8u)(const Ipp8u* pSrc, Ipp8u* pDst, Ipp32s len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    copyBytes(pSrc, pDst, std::size_t(len));
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsZero_32f)(Ipp32f* pDst, Ipp32s len)
{
    if (!pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    zeroBytes(reinterpret_cast<std::uint8_t*>(pDst), std::size_t(len) * sizeof(Ipp32f));
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsZero_8u)(Ipp8u* pDst, Ipp32s len)
{
    if (!pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    zeroBytes(pDst, std::size_t(len));
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMove_32f)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    moveBytes(reinterpret_cast<const std::uint8_t*>(pSrc), reinterpret_cast<std::uint8_t*>(pDst),
              std::size_t(len) * sizeof(Ipp32f));
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsAdd_32f_I)(const Ipp32f* pSrc, Ipp32f* pSrcDst, Ipp32s len)
{
    if (!pSrc || !pSrcDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    elementwise<AddOp, true>(pSrc, pSrcDst, len, AddOp{});
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMulC_32f)(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, Ipp32s len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (val == 1.0f)
        return VARIANT(ippsCopy_32f)(pSrc, pDst, len);
    if (val == 0.0f)
        return VARIANT(ippsZero_32f)(pDst, len);
    mulOutOfPlace(pSrc, pDst, len, val);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsMulC_32f_I)(Ipp32f val, Ipp32f* pSrcDst, Ipp32s len)
{
    if (!pSrcDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (val == 1.0f)
        return ippStsNoErr;
    if (val == 0.0f)
        return VARIANT(ippsZero_32f)(pSrcDst, len);
    mulInPlace(pSrcDst, len, val);
    return ippStsNoErr;
}

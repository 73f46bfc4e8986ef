// Sums. The order of the additions is fixed: the loudness windows depend on the last bits.
#include <cstring>

#include "primitives/vector/variant/settings.h"

namespace NORRIK_VARIANT_NS {
namespace {

inline __m128d lowPair(__m128 v)
{
    return _mm_cvtps_pd(v);
}
inline __m128d highPair(__m128 v)
{
    return _mm_cvtps_pd(_mm_movehl_ps(v, v));
}
// Two floats into the low half (an 8-byte load without alignment requirement).
inline __m128 loadPair(const float* p)
{
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
inline __m128d pairAt(const float* p)
{
    return _mm_cvtps_pd(loadPair(p));
}
inline double lane0(__m128d v)
{
    return _mm_cvtsd_f64(v);
}
inline double lane1(__m128d v)
{
    return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}

// Four pairs of double partial sums. Kept in registers: the runs below are always inlined.
struct Pairs
{
    __m128d a0, a1, a2, a3;
};

// Adds runs of eight floats from x, widened, while n counts at least `run` (eight floats in the
// caller's unit), moving x and n past them: floats 0 and 1 of each run to a0, 2 and 3 to a1, 4 and
// 5 to a2, 6 and 7 to a3.
[[gnu::always_inline]] inline Pairs addWidenedEights(Pairs p, const float*& x, std::int32_t& n, std::int32_t run)
{
    for (; n >= run; x += 8, n -= run) {
        const __m128 lo = _mm_loadu_ps(x);
        const __m128 hi = _mm_loadu_ps(x + 4);
        p.a0 = _mm_add_pd(p.a0, lowPair(lo));
        p.a1 = _mm_add_pd(p.a1, highPair(lo));
        p.a2 = _mm_add_pd(p.a2, lowPair(hi));
        p.a3 = _mm_add_pd(p.a3, highPair(hi));
    }
    return p;
}

// The same for runs of eight doubles; answers (a0 + a1) + (a2 + a3).
[[gnu::always_inline]] inline __m128d sumEights(Pairs p, const double*& x, std::int32_t& n, std::int32_t run)
{
    for (; n >= run; x += 8, n -= run) {
        p.a0 = _mm_add_pd(p.a0, _mm_loadu_pd(x));
        p.a1 = _mm_add_pd(p.a1, _mm_loadu_pd(x + 2));
        p.a2 = _mm_add_pd(p.a2, _mm_loadu_pd(x + 4));
        p.a3 = _mm_add_pd(p.a3, _mm_loadu_pd(x + 6));
    }
    return _mm_add_pd(_mm_add_pd(p.a0, p.a1), _mm_add_pd(p.a2, p.a3));
}

constexpr Pairs kZeroPairs{};

// Eight double partial sums p0..p7, held as pairs (p0,p1) (p2,p3) (p4,p5) (p6,p7).
double sumAccurate(const float* x, std::int32_t len)
{
    __m128d a01 = _mm_setzero_pd(), a23 = _mm_setzero_pd();
    std::int32_t n = len;
    if (reinterpret_cast<std::uintptr_t>(x) & 4u) {
        a01 = _mm_add_sd(a01, _mm_set_sd(double(x[0])));
        ++x, --n;
    }
    if (n >= 8) {
        const Pairs p = addWidenedEights({a01, a23, a23, a23}, x, n, 8);
        a01 = _mm_add_pd(p.a0, p.a2);
        a23 = _mm_add_pd(p.a1, p.a3);
    }
    if (n >= 4) {
        a01 = _mm_add_pd(a01, pairAt(x));
        a23 = _mm_add_pd(a23, pairAt(x + 2));
        x += 4, n -= 4;
    }
    if (n >= 2) {
        a01 = _mm_add_pd(a01, pairAt(x));
        x += 2, n -= 2;
    }
    if (n == 1)
        a01 = _mm_add_sd(a01, _mm_set_sd(double(x[0])));
    const __m128d s = _mm_add_pd(a01, a23); // (p0 + p2, p1 + p3)
    return lane0(s) + lane1(s);
}

// One block of the fast sum in single precision; delivers the even-lane and odd-lane totals.
void fastBlock(const float* x, std::int32_t n, float& even, float& odd)
{
    __m128 g = _mm_setzero_ps();
    if (n >= 16) {
        __m128 f0 = _mm_setzero_ps(), f1 = _mm_setzero_ps(), f2 = _mm_setzero_ps(), f3 = _mm_setzero_ps();
        do {
            f0 = _mm_add_ps(f0, _mm_loadu_ps(x));
            f1 = _mm_add_ps(f1, _mm_loadu_ps(x + 4));
            f2 = _mm_add_ps(f2, _mm_loadu_ps(x + 8));
            f3 = _mm_add_ps(f3, _mm_loadu_ps(x + 12));
            x += 16, n -= 16;
        } while (n >= 16);
        g = _mm_add_ps(_mm_add_ps(f0, f2), _mm_add_ps(f1, f3));
    }
    for (; n >= 4; x += 4, n -= 4)
        g = _mm_add_ps(g, _mm_loadu_ps(x));
    if (n >= 2) {
        g = _mm_add_ps(g, loadPair(x));
        x += 2, n -= 2;
    }
    if (n == 1)
        g = _mm_add_ss(g, _mm_set_ss(x[0]));
    const __m128 h = _mm_add_ps(g, _mm_movehl_ps(g, g)); // lanes 0 + 2, 1 + 3
    even = _mm_cvtss_f32(h);
    odd = _mm_cvtss_f32(_mm_shuffle_ps(h, h, 1));
}

constexpr std::int32_t fastBlockLength = 0x8000;

// Leading singles (to a 16-byte boundary) go to the even total; then blocks of 32,768.
// A source off the 4-byte grid never reaches a 16-byte boundary: it skips the singles.
void fastSum(const float* x, std::int32_t n, double& even, double& odd)
{
    even = 0.0, odd = 0.0;
    if (aligned4(x)) {
        while (n > 0 && !aligned16(x)) {
            even += double(x[0]);
            ++x, --n;
        }
    }
    do {
        const std::int32_t m = n > fastBlockLength ? fastBlockLength : n;
        float e = 0.0f, o = 0.0f;
        fastBlock(x, m, e, o);
        even += double(e);
        odd += double(o);
        x += m, n -= m;
    } while (n > 0);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ownippsSum_32f_Accur)(const Ipp32f* src, Ipp32s len, Ipp64f* pSum)
{
    *pSum = sumAccurate(src, len);
}

IPP_API void VARIANT(ownippsSum_32f_Fast)(const Ipp32f* src, Ipp32s len, Ipp64f* pSum)
{
    double even, odd;
    fastSum(src, len, even, odd);
    *pSum = even + odd;
}

IPP_API Ipp64f VARIANT(ownippsSum_32f)(const Ipp32f* src, Ipp32s len, Ipp32s hint)
{
    double s;
    if (hint == 1)
        VARIANT(ownippsSum_32f_Fast)(src, len, &s);
    else
        VARIANT(ownippsSum_32f_Accur)(src, len, &s);
    return double(float(s));
}

IPP_API IppStatus VARIANT(ippsSum_32f)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pSum, Ipp32s hint)
{
    if (!pSrc || !pSum)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    *pSum = float(VARIANT(ownippsSum_32f)(pSrc, len, hint));
    return ippStsNoErr;
}

IPP_API void VARIANT(ownippsSum_32fc_Accur)(const Ipp32fc* src, Ipp32s len, Ipp64f pSum[2])
{
    const float* x = reinterpret_cast<const float*>(src);
    std::int32_t n = len;
    const Pairs p = addWidenedEights(kZeroPairs, x, n, 4);
    __m128d a0 = _mm_add_pd(p.a0, p.a2);
    __m128d a1 = _mm_add_pd(p.a1, p.a3);
    if (n >= 2) {
        a0 = _mm_add_pd(a0, pairAt(x));
        a1 = _mm_add_pd(a1, pairAt(x + 2));
        x += 4, n -= 2;
    }
    if (n == 1)
        a0 = _mm_add_pd(a0, pairAt(x));
    const __m128d s = _mm_add_pd(a0, a1);
    pSum[0] = lane0(s);
    pSum[1] = lane1(s);
}

IPP_API void VARIANT(ownippsSum_32fc_Fast)(const Ipp32fc* src, Ipp32s len, Ipp64f pSum[2])
{
    const float* x = reinterpret_cast<const float*>(src);
    // The single leading float (a real part) is the only one taken alone: the blocks then start on
    // an imaginary part, so their even lanes hold imaginary parts.
    double re = 0.0, im = 0.0;
    std::int32_t n = 2 * len;
    bool swapped = false;
    if (aligned4(x) && !aligned16(x) && aligned16(x + 2)) {
        re += double(x[0]);
        ++x, --n;
        swapped = true;
    }
    do {
        const std::int32_t m = n > fastBlockLength ? fastBlockLength : n;
        float e = 0.0f, o = 0.0f;
        fastBlock(x, m, e, o);
        if (swapped) {
            im += double(e);
            re += double(o);
        } else {
            re += double(e);
            im += double(o);
        }
        x += m, n -= m;
    } while (n > 0);
    pSum[0] = re;
    pSum[1] = im;
}

IPP_API void VARIANT(ownippsSum_64f)(const Ipp64f* src, Ipp32s len, Ipp64f* pSum)
{
    Pairs p = kZeroPairs;
    std::int32_t n = len;
    if (!aligned16(src) && n > 0) {
        p.a0 = _mm_add_sd(p.a0, _mm_set_sd(src[0]));
        ++src, --n;
    }
    __m128d a = sumEights(p, src, n, 8);
    if (n >= 4) {
        a = _mm_add_pd(a, _mm_loadu_pd(src));
        a = _mm_add_pd(a, _mm_loadu_pd(src + 2));
        src += 4, n -= 4;
    }
    if (n >= 2) {
        a = _mm_add_pd(a, _mm_loadu_pd(src));
        src += 2, n -= 2;
    }
    if (n == 1)
        a = _mm_add_sd(a, _mm_set_sd(src[0]));
    *pSum = lane1(a) + lane0(a);
}

IPP_API void VARIANT(ownippsSum_64fc)(const Ipp64fc* src, Ipp32s len, Ipp64f pSum[2])
{
    const double* x = reinterpret_cast<const double*>(src);
    std::int32_t n = len;
    __m128d a = sumEights(kZeroPairs, x, n, 4);
    for (; n > 0; x += 2, --n)
        a = _mm_add_pd(a, _mm_loadu_pd(x));
    pSum[0] = lane0(a);
    pSum[1] = lane1(a);
}

// Integer sums are exact: a 64-bit total of 16-bit values cannot overflow for any i32 length,
// and every such total is a double exactly.
IPP_API void VARIANT(ownippsSum_16s64f)(const Ipp16s* src, Ipp64f* pSum, Ipp32s len)
{
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < len; ++i)
        total += src[i];
    *pSum = double(total);
}

IPP_API void VARIANT(ownippsSum_16sc64fc)(const Ipp16sc* src, Ipp64f pSum[2], Ipp32s len)
{
    std::int64_t re = 0, im = 0;
    for (std::int32_t i = 0; i < len; ++i) {
        re += src[i].re;
        im += src[i].im;
    }
    pSum[0] = double(re);
    pSum[1] = double(im);
}

namespace NORRIK_VARIANT_NS {
namespace {

// sum * 2^-scaleFactor, saturated to i32 and rounded under the current rounding mode.
std::int32_t scaleSum(double sum, std::int32_t scaleFactor)
{
    // A zero total stays 0 for every factor (0 times an infinite multiplier would give NaN).
    if (sum == 0.0)
        return 0;
    std::int64_t e = 1023 - std::int64_t(scaleFactor);
    e = e < 0 ? 0 : (e > 2047 ? 2047 : e);
    const std::uint64_t bits = std::uint64_t(e) << 52;
    double m;
    std::memcpy(&m, &bits, sizeof m);
    double v = sum * m;
    v = (2147483647.0 < v) ? 2147483647.0 : v;
    v = (v > -2147483648.0) ? v : -2147483648.0;
    return _mm_cvtsd_si32(_mm_set_sd(v));
}

} // namespace
} // namespace NORRIK_VARIANT_NS

IPP_API Ipp32s VARIANT(ownippsSum_16s32s_ASM)(const Ipp64f* pSum, Ipp32s scaleFactor)
{
    return scaleSum(*pSum, scaleFactor);
}

IPP_API void VARIANT(ownippsSum_16sc32sc_ASM)(const Ipp64f pSum[2], Ipp32s pair[2], Ipp32s scaleFactor)
{
    pair[0] = scaleSum(pSum[0], scaleFactor);
    pair[1] = scaleSum(pSum[1], scaleFactor);
}

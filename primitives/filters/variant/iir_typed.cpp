// The per-sample IIR kernels of every accumulator and data type, and the block kernels of 16-bit
// and complex data, from one set of templates: a step of the cascade or of the arbitrary-order
// filter per accumulator type, wrapped by the input and output conversions of each data type.
#include <emmintrin.h>

#include <type_traits>

#include "primitives/filters/variant/filters_variant.h"

namespace NORRIK_VARIANT_NS {
namespace {

// ---- arithmetic on the accumulator types ----------------------------------------------------

template <class R>
struct Cx
{
    R re, im;
};
template <class R>
Cx<R> operator+(Cx<R> a, Cx<R> b)
{
    return {a.re + b.re, a.im + b.im};
}
template <class R>
Cx<R> operator-(Cx<R> a, Cx<R> b)
{
    return {a.re - b.re, a.im - b.im};
}
template <class R>
Cx<R> operator*(Cx<R> b, Cx<R> x)
{
    return {b.re * x.re - b.im * x.im, b.re * x.im + b.im * x.re};
}

// ---- input and output conversions -----------------------------------------------------------

// A real value to the accumulator type, or a complex one part by part.
template <class A, class D>
A widen(D x)
{
    if constexpr (std::is_arithmetic_v<D>)
        return static_cast<A>(x);
    else
        return {static_cast<decltype(A::re)>(x.re), static_cast<decltype(A::re)>(x.im)};
}

// 2^-scaleFactor from the exponent field of 1.0 (the caller keeps the factor in range).
float scaleOf(float, int sf)
{
    const Ipp32u bits = 0x3F800000u - (Ipp32u(sf) << 23);
    float f;
    __builtin_memcpy(&f, &bits, 4);
    return f;
}
double scaleOf(double, int sf)
{
    const Ipp64u bits = 0x3FF0000000000000ull - (Ipp64u(Ipp64s(sf)) << 52);
    double f;
    __builtin_memcpy(&f, &bits, 8);
    return f;
}

// Saturated before rounding, so a large value never wraps (a NaN ends at the low limit); the
// rounding is the processor's current mode, ties to even by default.
Ipp16s saturate16(float v)
{
    v = 32767.0f < v ? 32767.0f : v;
    v = v > -32768.0f ? v : -32768.0f;
    return static_cast<Ipp16s>(_mm_cvtss_si32(_mm_set_ss(v)));
}
Ipp32s saturateTo(double v, double lo, double hi)
{
    v = hi < v ? hi : v;
    v = v > lo ? v : lo;
    return _mm_cvtsd_si32(_mm_set_sd(v));
}
Ipp16s saturate16(double v)
{
    return static_cast<Ipp16s>(saturateTo(v, -32768.0, 32767.0));
}

template <class D>
struct Out;
template <>
struct Out<Ipp32f>
{
    static Ipp32f from(float y, int) { return y; }
    static Ipp32f from(double y, int) { return static_cast<float>(y); }
};
template <>
struct Out<Ipp64f>
{
    static Ipp64f from(double y, int) { return y; }
};
template <>
struct Out<Ipp16s>
{
    template <class R>
    static Ipp16s from(R y, int sf)
    {
        return saturate16(y * scaleOf(R(), sf));
    }
};
template <>
struct Out<Ipp32s>
{
    static Ipp32s from(double y, int sf) { return saturateTo(y * scaleOf(0.0, sf), -2147483648.0, 2147483647.0); }
};
template <>
struct Out<Ipp32fc>
{
    template <class R>
    static Ipp32fc from(Cx<R> y, int)
    {
        return {static_cast<float>(y.re), static_cast<float>(y.im)};
    }
};
template <>
struct Out<Ipp64fc>
{
    static Ipp64fc from(Cx<double> y, int) { return {y.re, y.im}; }
};
template <>
struct Out<Ipp16sc>
{
    template <class R>
    static Ipp16sc from(Cx<R> y, int sf)
    {
        return {Out<Ipp16s>::from(y.re, sf), Out<Ipp16s>::from(y.im, sf)};
    }
};
template <>
struct Out<Ipp32sc>
{
    static Ipp32sc from(Cx<double> y, int sf) { return {Out<Ipp32s>::from(y.re, sf), Out<Ipp32s>::from(y.im, sf)}; }
};

// ---- one step of the cascade, per accumulator type --------------------------------------------

// oneTable: b0 b1 b2 - A1 A2 - - per biquad (A = -a).
float cascade(float x, IirState32f* s)
{
    const float* o = s->oneTable;
    float* d = s->dlyLine;
    for (int k = 0; k < s->numBq; ++k, o += 8, d += 2) {
        const float y = o[0] * x + d[0];
        d[0] = (o[1] * x + d[1]) + o[4] * y;
        d[1] = o[2] * x + o[5] * y;
        x = y;
    }
    return x;
}

// oneTable: (b0, b0), (b1, b2), (A1, A2) per biquad; order / 2 biquads.
double cascade(double x, IirState32f* s)
{
    const auto* o = reinterpret_cast<const double*>(s->oneTable);
    auto* d = reinterpret_cast<double*>(s->dlyLine);
    for (int k = 0; k < s->order / 2; ++k, o += 6, d += 2) {
        const double y = o[0] * x + d[0];
        const double d0 = (x * o[2] + y * o[4]) + d[1];
        d[1] = x * o[3] + y * o[5];
        d[0] = d0;
        x = y;
    }
    return x;
}

// Fewer than 5 biquads: plain taps b0 b1 b2 a1 a2 per biquad over order / 2 biquads. Otherwise the
// 20-float table per biquad: (b0.re, b0.im, -b0.im, b0.re), (b1, b2), (b1, b2) turned by i,
// -(a1, a2), -(a1, a2) turned by i, each against the broadcast real or imaginary part.
Cx<float> cascade(Cx<float> x, IirState32f* s)
{
    auto* d = reinterpret_cast<Cx<float>*>(s->dlyLine);
    if (s->numBq < 5) {
        const auto* t = reinterpret_cast<const Cx<float>*>(s->taps);
        for (int k = 0; k < s->order / 2; ++k, t += 5, d += 2) {
            const Cx<float> y = t[0] * x + d[0];
            d[0] = (t[1] * x + d[1]) - t[3] * y;
            d[1] = t[2] * x - t[4] * y;
            x = y;
        }
        return x;
    }
    const float* o = s->oneTable;
    for (int k = 0; k < s->numBq; ++k, o += 20, d += 2) {
        const Cx<float> y{(o[0] * x.re + o[2] * x.im) + d[0].re, (o[1] * x.re + o[3] * x.im) + d[0].im};
        float n[4];
        for (int l = 0; l < 4; ++l) {
            const float dl = l == 0 ? d[1].re : l == 1 ? d[1].im : 0.0f;
            n[l] = (((o[4 + l] * x.re + o[8 + l] * x.im) + dl) + o[12 + l] * y.re) + o[16 + l] * y.im;
        }
        d[0] = {n[0], n[1]};
        d[1] = {n[2], n[3]};
        x = y;
    }
    return x;
}

// Table of 10 pairs per biquad: b0, b1, b2, -a1, -a2, each as (re, im) and (im, re).
Cx<double> cxProduct(const double* pair, Cx<double> x)
{
    return {pair[0] * x.re - pair[2] * x.im, pair[1] * x.re + pair[3] * x.im};
}
Cx<double> cascade(Cx<double> x, IirState32f* s)
{
    const auto* o = reinterpret_cast<const double*>(s->oneTable);
    auto* d = reinterpret_cast<Cx<double>*>(s->dlyLine);
    for (int k = 0; k < s->numBq; ++k, o += 20, d += 2) {
        const Cx<double> y = d[0] + cxProduct(o, x);
        d[0] = cxProduct(o + 12, y) + (d[1] + cxProduct(o + 4, x));
        d[1] = cxProduct(o + 16, y) + cxProduct(o + 8, x);
        x = y;
    }
    return x;
}

// ---- one step of the arbitrary-order filter ---------------------------------------------------

// taps b0..bN then a1..aN; the delay line's element N stays zero.
template <class R>
R arbitraryReal(R x, IirState32f* s)
{
    const int N = s->order;
    const auto* b = reinterpret_cast<const R*>(s->taps);
    if (N <= 0)
        return b[0] * x;
    const R* a = b + N;
    auto* d = reinterpret_cast<R*>(s->dlyLine);
    const R y = b[0] * x + d[0];
    for (int i = 0; i < N; ++i)
        d[i] = (b[i + 1] * x - a[i + 1] * y) + d[i + 1];
    return y;
}
float arbitrary(float x, IirState32f* s)
{
    return arbitraryReal(x, s);
}
double arbitrary(double x, IirState32f* s)
{
    return arbitraryReal(x, s);
}

// Order below 4: plain complex taps. Otherwise the table: (b0.re, b0.re, -b0.im, b0.im), then per
// pair of delay elements four vectors against (x.re, x.im, ..), (x.im, x.re, ..), y.re and y.im.
Cx<float> arbitrary(Cx<float> x, IirState32f* s)
{
    const int N = s->order;
    auto* d = reinterpret_cast<Cx<float>*>(s->dlyLine);
    if (N < 4) {
        const auto* b = reinterpret_cast<const Cx<float>*>(s->taps);
        if (N <= 0)
            return b[0] * x;
        const Cx<float>* a = b + N;
        const Cx<float> y = b[0] * x + d[0];
        for (int i = 0; i < N; ++i)
            d[i] = (b[i + 1] * x - a[i + 1] * y) + d[i + 1];
        return y;
    }
    const float* o = s->oneTable;
    const Cx<float> y{(o[0] * x.re + o[2] * x.im) + d[0].re, (o[1] * x.im + o[3] * x.re) + d[0].im};
    const float xs[4] = {x.re, x.im, x.re, x.im}, xw[4] = {x.im, x.re, x.im, x.re};
    for (int i = 0; i < N; i += 2) {
        const float* v = o + 4 + 8 * i;
        const int lanes = i + 1 < N ? 4 : 2;
        float n[4];
        for (int l = 0; l < lanes; ++l) {
            const float dl = l < 2 ? (l == 0 ? d[i + 1].re : d[i + 1].im) : (l == 2 ? d[i + 2].re : d[i + 2].im);
            n[l] = ((v[l] * xs[l] + v[4 + l] * xw[l]) + (v[8 + l] * y.re + v[12 + l] * y.im)) + dl;
        }
        d[i] = {n[0], n[1]};
        if (lanes == 4)
            d[i + 1] = {n[2], n[3]};
    }
    return y;
}

// Table: b0 as (re, im), (im, re), then per delay element b and -a as such pairs.
Cx<double> arbitrary(Cx<double> x, IirState32f* s)
{
    const int N = s->order;
    const auto* o = reinterpret_cast<const double*>(s->oneTable);
    if (N <= 0)
        return cxProduct(o, x);
    auto* d = reinterpret_cast<Cx<double>*>(s->dlyLine);
    const Cx<double> y = d[0] + cxProduct(o, x);
    for (int i = 0; i < N; ++i) {
        const double* e = o + 4 + 8 * i;
        d[i] = d[i + 1] + (cxProduct(e, x) + cxProduct(e + 4, y));
    }
    return y;
}

// ---- the kernels: convert in, step, write the output (and the accumulator) -------------------

struct Cascade
{
    template <class A>
    static A step(A x, IirState32f* s)
    {
        return cascade(x, s);
    }
};
struct Arbitrary
{
    template <class A>
    static A step(A x, IirState32f* s)
    {
        return arbitrary(x, s);
    }
};

template <class Kind, class A, class D, class Acc = void>
void one(const D* src, D* dst, Acc* acc, IirState32f* s, int sf)
{
    const A y = Kind::template step<A>(widen<A>(*src), s);
    if constexpr (!std::is_void_v<Acc>)
        *acc = Out<Acc>::from(y, 0);
    *dst = Out<D>::from(y, sf);
}

// ---- block kernels --------------------------------------------------------------------------

// Runs a float y kernel of int counts over a 64-bit count, in pieces of whole steps of four.
template <class F>
void inPieces(Ipp64s len, F&& run)
{
    constexpr Ipp64s kPiece = Ipp64s(1) << 28;
    for (Ipp64s at = 0; at < len; at += kPiece)
        run(at, static_cast<int>(len - at < kPiece ? len - at : kPiece));
}

// v[k] = sum over j of b_j p[k + N - j], oldest input first; each b as (re x4), (-im, im, -im, im).
template <class In>
void xComplex(const In* p, Ipp32fc* v, Ipp64s len, const float* xt, int N)
{
    for (Ipp64s k = 0; k < len; ++k) {
        Cx<float> acc{};
        for (int q = 0; q <= N; ++q) {
            const float* b = xt + 8 * (N - q);
            const Cx<float> x = widen<Cx<float>>(p[k + q]);
            const Cx<float> prod{b[0] * x.re + b[4] * x.im, b[0] * x.im + b[5] * x.re};
            acc = q == 0 ? prod : acc + prod;
        }
        v[k] = {acc.re, acc.im};
    }
}

// A pair of vectors (c.re, c.im, c'.re, c'.im), (-c.im, c.re, -c'.im, c'.re) against a value:
// its products toward two consecutive outputs.
void pairProduct(const float* pr, Cx<float> val, float out[4])
{
    for (int l = 0; l < 4; ++l)
        out[l] = pr[l] * val.re + pr[4 + l] * val.im;
}

// The complex recursion four outputs per step; the history's N values start the y array.
template <class OutT>
void yComplex(const Ipp32fc* pV, Ipp32fc* pY, Ipp64s len, const float* yt, int N, OutT* dst, int sf)
{
    auto* y = reinterpret_cast<Cx<float>*>(pY);
    const auto* v = reinterpret_cast<const Cx<float>*>(pV);
    Ipp64s t = N;
    const Ipp64s end = N + len;
    for (; t + 4 <= end; t += 4) {
        float lo[4] = {0, 0, 0, 0}, hi[4] = {0, 0, 0, 0}, p[4];
        for (int k = 0; k <= N; ++k) {
            const Cx<float> val = k < N ? y[t - 1 - k] : v[t - N];
            pairProduct(yt + 16 * k, val, p);
            for (int l = 0; l < 4; ++l)
                lo[l] = lo[l] + p[l];
            pairProduct(yt + 16 * k + 8, val, p);
            for (int l = 0; l < 4; ++l)
                hi[l] = hi[l] + p[l];
        }
        const Cx<float> v1 = v[t + 1 - N], v2 = v[t + 2 - N], v3 = v[t + 3 - N];
        pairProduct(yt, v1, p); // time invariance: block 0's first pair serves v[n+1]
        for (int l = 0; l < 4; ++l)
            hi[l] = hi[l] + p[l];
        pairProduct(yt + 16 * N, v2, p); // and block N's first pair serves v[n+2]
        for (int l = 0; l < 4; ++l)
            hi[l] = hi[l] + p[l];
        y[t] = {lo[0], lo[1]};
        y[t + 1] = {lo[2] + v1.re, lo[3] + v1.im};
        y[t + 2] = {hi[0], hi[1]};
        y[t + 3] = {hi[2] + v3.re, hi[3] + v3.im};
    }
    for (; t < end; ++t) {
        Cx<float> acc{};
        for (int k = N; k >= 1; --k)
            acc = acc + Cx<float>{yt[16 * (k - 1)], yt[16 * (k - 1) + 1]} * y[t - k];
        y[t] = acc + v[t - N];
    }
    if constexpr (!std::is_void_v<OutT>)
        for (Ipp64s k = N; k < end; ++k)
            dst[k] = Out<OutT>::from(y[k], sf);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

#define NORRIK_ONE(name, Kind, A, D)                                                                                   \
    IPP_API void VARIANT(name)(const D* pSrc, D* pDst, IirState32f* s)                                                 \
    {                                                                                                                  \
        one<Kind, A>(pSrc, pDst, static_cast<void*>(nullptr), s, 0);                                                   \
    }
#define NORRIK_ONE_ACC(name, Kind, A, D, AccT)                                                                         \
    IPP_API void VARIANT(name)(const D* pSrc, D* pDst, AccT* pAcc, IirState32f* s)                                     \
    {                                                                                                                  \
        one<Kind, A>(pSrc, pDst, pAcc, s, 0);                                                                          \
    }
#define NORRIK_ONE_SF(name, Kind, A, D)                                                                                \
    IPP_API void VARIANT(name)(const D* pSrc, D* pDst, IirState32f* s, int sf)                                         \
    {                                                                                                                  \
        one<Kind, A>(pSrc, pDst, static_cast<void*>(nullptr), s, sf);                                                  \
    }
#define NORRIK_ONE_ACC_SF(name, Kind, A, D, AccT)                                                                      \
    IPP_API void VARIANT(name)(const D* pSrc, D* pDst, AccT* pAcc, IirState32f* s, int sf)                             \
    {                                                                                                                  \
        one<Kind, A>(pSrc, pDst, pAcc, s, sf);                                                                         \
    }

NORRIK_ONE(ownsIIRBQOne_32f, Cascade, float, Ipp32f)
NORRIK_ONE(ownsIIRAROne_32f, Arbitrary, float, Ipp32f)
NORRIK_ONE_SF(ownsIIRBQOne32f_16s, Cascade, float, Ipp16s)
NORRIK_ONE_SF(ownsIIRAROne32f_16s, Arbitrary, float, Ipp16s)
NORRIK_ONE_ACC_SF(ownsIIRAROne32f_16s_32f, Arbitrary, float, Ipp16s, Ipp32f)
NORRIK_ONE(ownsIIRAROne_32fc, Arbitrary, Cx<float>, Ipp32fc)
NORRIK_ONE(ownsIIRBQOne_32fc, Cascade, Cx<float>, Ipp32fc)
NORRIK_ONE_SF(ownsIIRAROne32fc_16sc, Arbitrary, Cx<float>, Ipp16sc)
NORRIK_ONE_ACC_SF(ownsIIRAROne32fc_16sc_32fc, Arbitrary, Cx<float>, Ipp16sc, Ipp32fc)
NORRIK_ONE_SF(ownsIIRBQOne32fc_16sc, Cascade, Cx<float>, Ipp16sc)
NORRIK_ONE(ownsIIRBQOne_64f, Cascade, double, Ipp64f)
NORRIK_ONE_SF(ownsIIRBQOne64f_16s, Cascade, double, Ipp16s)
NORRIK_ONE_SF(ownsIIRBQOne64f_32s, Cascade, double, Ipp32s)
NORRIK_ONE(ownsIIRBQOne64f_32f, Cascade, double, Ipp32f)
NORRIK_ONE(ownsIIRAROne_64f, Arbitrary, double, Ipp64f)
NORRIK_ONE_SF(ownsIIRAROne64f_32s, Arbitrary, double, Ipp32s)
NORRIK_ONE_ACC_SF(ownsIIRAROne64f_32s_64f, Arbitrary, double, Ipp32s, Ipp64f)
NORRIK_ONE_SF(ownsIIRAROne64f_16s, Arbitrary, double, Ipp16s)
NORRIK_ONE_ACC_SF(ownsIIRAROne64f_16s_64f, Arbitrary, double, Ipp16s, Ipp64f)
NORRIK_ONE(ownsIIRAROne64f_32f, Arbitrary, double, Ipp32f)
NORRIK_ONE_ACC(ownsIIRAROne64f_32f_64f, Arbitrary, double, Ipp32f, Ipp64f)
NORRIK_ONE(ownsIIRAROne_64fc, Arbitrary, Cx<double>, Ipp64fc)
NORRIK_ONE(ownsIIRBQOne_64fc, Cascade, Cx<double>, Ipp64fc)
NORRIK_ONE_SF(ownsIIRAROne64fc_32sc, Arbitrary, Cx<double>, Ipp32sc)
NORRIK_ONE_ACC_SF(ownsIIRAROne64fc_32sc_64fc, Arbitrary, Cx<double>, Ipp32sc, Ipp64fc)
NORRIK_ONE_SF(ownsIIRBQOne64fc_32sc, Cascade, Cx<double>, Ipp32sc)
NORRIK_ONE_SF(ownsIIRAROne64fc_16sc, Arbitrary, Cx<double>, Ipp16sc)
NORRIK_ONE_ACC_SF(ownsIIRAROne64fc_16sc_64fc, Arbitrary, Cx<double>, Ipp16sc, Ipp64fc)
NORRIK_ONE_SF(ownsIIRBQOne64fc_16sc, Cascade, Cx<double>, Ipp16sc)
NORRIK_ONE(ownsIIRAROne64fc_32fc, Arbitrary, Cx<double>, Ipp32fc)
NORRIK_ONE_ACC(ownsIIRAROne64fc_32fc_64fc, Arbitrary, Cx<double>, Ipp32fc, Ipp64fc)
NORRIK_ONE(ownsIIRBQOne64fc_32fc, Cascade, Cx<double>, Ipp32fc)

// v[k] = (b2 p[k] + b1 p[k+1]) + b0 p[k+2], the order of the float kernel.
IPP_API void VARIANT(ownsIIRxBQ_32f_16s)(const Ipp16s* pSrc, Ipp32f* pV, Ipp64s len, const Ipp32f* xt)
{
    for (Ipp64s k = 0; k < len; ++k)
        pV[k] = (xt[8] * widen<float>(pSrc[k]) + xt[4] * widen<float>(pSrc[k + 1])) + xt[0] * widen<float>(pSrc[k + 2]);
}

IPP_API void VARIANT(ownsIIRyBQ_32f_16s)(const Ipp32f* pV, Ipp32f* pY, Ipp64s len, const Ipp32f* yt, Ipp16s* pDst,
                                         int sf)
{
    inPieces(len, [&](Ipp64s at, int n) { VARIANT(ownsIIRyBQ_32f)(pV + at, pY + at, n, yt); });
    for (Ipp64s k = 2; k < len + 2; ++k)
        pDst[k] = Out<Ipp16s>::from(pY[k], sf);
}

// v[k] = b_N p[k] + b_(N-1) p[k+1] + ... + b_0 p[k+N], the order of the float kernel.
IPP_API void VARIANT(ownsIIRxAR32f_16s)(const Ipp16s* pSrc, Ipp32f* pV, Ipp64s len, const Ipp32f* xt, int N)
{
    for (Ipp64s k = 0; k < len; ++k) {
        float acc = xt[4 * N] * widen<float>(pSrc[k]);
        for (int q = 1; q <= N; ++q)
            acc = acc + xt[4 * (N - q)] * widen<float>(pSrc[k + q]);
        pV[k] = acc;
    }
}

IPP_API void VARIANT(ownsIIRyAR32f_16s)(const Ipp32f* pV, Ipp32f* pY, Ipp64s len, const Ipp32f* yt, int N, Ipp16s* pDst,
                                        int sf)
{
    inPieces(len, [&](Ipp64s at, int n) { VARIANT(ownsIIRyAR_32f)(pV + at, pY + at, n, yt, N); });
    for (Ipp64s k = N; k < len + N; ++k)
        pDst[k] = Out<Ipp16s>::from(pY[k], sf);
}

IPP_API void VARIANT(ownsIIRxAR_32fc)(const Ipp32fc* pSrc, Ipp32fc* pV, Ipp64s len, const Ipp32f* xt, int N)
{
    xComplex(pSrc, pV, len, xt, N);
}

IPP_API void VARIANT(ownsIIRxAR32fc_16sc)(const Ipp16sc* pSrc, Ipp32fc* pV, Ipp64s len, const Ipp32f* xt, int N)
{
    xComplex(pSrc, pV, len, xt, N);
}

IPP_API void VARIANT(ownsIIRyAR_32fc)(const Ipp32fc* pV, Ipp32fc* pY, Ipp64s len, const Ipp32f* yt, int N)
{
    yComplex<void>(pV, pY, len, yt, N, nullptr, 0);
}

IPP_API void VARIANT(ownsIIRyAR32fc_16sc)(const Ipp32fc* pV, Ipp32fc* pY, Ipp64s len, const Ipp32f* yt, int N,
                                          Ipp16sc* pDst, int sf)
{
    yComplex(pV, pY, len, yt, N, pDst, sf);
}

// Straight-line transforms of 1 to 32 points and the variant's kernel table.
#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

constexpr float kC = 0.707106769f; // sqrt(1/2)
constexpr float kR2 = 1.41421354f; // sqrt(2)
constexpr float kFirstQuadCos[9] = {1.0f,         0.980785251f, 0.923879504f, 0.831469595f, kC,
                                    0.555570245f, 0.382683426f, 0.195090324f, 0.0f};

inline Ipp32fc operator+(Ipp32fc a, Ipp32fc b)
{
    return {a.re + b.re, a.im + b.im};
}
inline Ipp32fc operator-(Ipp32fc a, Ipp32fc b)
{
    return {a.re - b.re, a.im - b.im};
}
inline Ipp32fc mulI(Ipp32fc a, bool plus)
{
    return plus ? Ipp32fc{-a.im, a.re} : Ipp32fc{a.im, -a.re};
}
inline Ipp32fc scale(Ipp32fc a, float s)
{
    return {a.re * s, a.im * s};
}

// cos and sin of e * pi / 16, from the kernel constants by quadrant.
FFT_INLINE void cosSin32(int e, float& cs, float& sn)
{
    const int q = (e >> 3) & 3, r = e & 7;
    const float c = kFirstQuadCos[r], s = kFirstQuadCos[8 - r];
    switch (q) {
    case 0:
        cs = c;
        sn = s;
        break;
    case 1:
        cs = -s;
        sn = c;
        break;
    case 2:
        cs = -c;
        sn = -s;
        break;
    default:
        cs = s;
        sn = -c;
        break;
    }
}

// z times e^(-/+ 2 pi i e / 32).
template <bool Inv>
FFT_INLINE Ipp32fc rot32(Ipp32fc z, int e)
{
    float cs, sn;
    cosSin32(e, cs, sn);
    if (Inv)
        return {z.re * cs - z.im * sn, z.im * cs + z.re * sn};
    return {z.re * cs + z.im * sn, z.im * cs - z.re * sn};
}

// ---- complex kernels ----

template <bool Inv>
FFT_INLINE void cfft4(const Ipp32fc* x, Ipp32fc* X)
{
    const Ipp32fc a = x[0] + x[2], b = x[1] + x[3], e = x[0] - x[2];
    const Ipp32fc d = mulI(x[1] - x[3], Inv);
    X[0] = a + b;
    X[1] = e + d;
    X[2] = a - b;
    X[3] = e - d;
}

// x read with stride `step` (in points), result in natural order.
template <bool Inv>
FFT_INLINE void cfft8(const Ipp32fc* x, Ipp32fc* X, int step = 1)
{
    Ipp32fc y[2][4];
#pragma GCC unroll 32
    for (int n = 0; n < 2; ++n) {
        const Ipp32fc x0 = x[n * step], x2 = x[(n + 2) * step], x4 = x[(n + 4) * step], x6 = x[(n + 6) * step];
        const Ipp32fc a = x0 + x4, b = x2 + x6, e = x0 - x4;
        const Ipp32fc d = mulI(x2 - x6, Inv);
        y[n][0] = a + b;
        y[n][1] = e + d;
        y[n][2] = a - b;
        y[n][3] = e - d;
    }
    Ipp32fc t[4];
    t[0] = y[1][0];
    const Ipp32fc y1 = y[1][1], y3 = y[1][3];
    if (!Inv) {
        t[1] = {(y1.re + y1.im) * kC, (y1.im - y1.re) * kC};
        t[3] = {(y3.re - y3.im) * -kC, (y3.im + y3.re) * -kC};
    } else {
        t[1] = {(y1.re - y1.im) * kC, (y1.im + y1.re) * kC};
        t[3] = {(y3.re + y3.im) * -kC, (y3.re - y3.im) * kC};
    }
    t[2] = mulI(y[1][2], Inv);
#pragma GCC unroll 32
    for (int m = 0; m < 4; ++m) {
        X[m] = y[0][m] + t[m];
        X[m + 4] = y[0][m] - t[m];
    }
}

// 16 points: radix-4 butterflies over x[n + 4p], twiddles, then 4-point transforms; the factor
// multiplies the operands of the last additions.
template <bool Inv>
FFT_INLINE void cfft16(const Ipp32fc* x, Ipp32fc* X, float s, bool scaled)
{
    Ipp32fc y[4][4];
#pragma GCC unroll 32
    for (int n = 0; n < 4; ++n) {
        const Ipp32fc a = x[n] + x[n + 8], b = x[n + 4] + x[n + 12], e = x[n] - x[n + 8];
        const Ipp32fc d = mulI(x[n + 4] - x[n + 12], Inv);
        y[n][0] = a + b;
        y[n][1] = e + d;
        y[n][2] = a - b;
        y[n][3] = e - d;
#pragma GCC unroll 32
        for (int k = 1; k < 4; ++k)
            y[n][k] = rot32<Inv>(y[n][k], 2 * n * k);
    }
#pragma GCC unroll 32
    for (int k = 0; k < 4; ++k) {
        Ipp32fc a = y[0][k] + y[2][k], b = y[1][k] + y[3][k], e = y[0][k] - y[2][k];
        Ipp32fc d = mulI(y[1][k] - y[3][k], Inv);
        if (scaled) {
            a = scale(a, s);
            b = scale(b, s);
            e = scale(e, s);
            d = scale(d, s);
        }
        X[k] = a + b;
        X[k + 4] = e + d;
        X[k + 8] = a - b;
        X[k + 12] = e - d;
    }
}

// 32 points: radix-4 butterflies over x[n + 8p], twiddles, then 8-point transforms.
template <bool Inv>
FFT_INLINE void cfft32(const Ipp32fc* x, Ipp32fc* X)
{
    Ipp32fc y[4][8];
#pragma GCC unroll 32
    for (int n = 0; n < 8; ++n) {
        const Ipp32fc a = x[n] + x[n + 16], b = x[n + 8] + x[n + 24], e = x[n] - x[n + 16];
        const Ipp32fc d = mulI(x[n + 8] - x[n + 24], Inv);
        y[0][n] = a + b;
        y[1][n] = e + d;
        y[2][n] = a - b;
        y[3][n] = e - d;
#pragma GCC unroll 32
        for (int k = 1; k < 4; ++k)
            y[k][n] = rot32<Inv>(y[k][n], n * k);
    }
#pragma GCC unroll 32
    for (int k = 0; k < 4; ++k) {
        Ipp32fc z[8];
        cfft8<Inv>(y[k], z);
#pragma GCC unroll 32
        for (int m = 0; m < 8; ++m)
            X[4 * m + k] = z[m];
    }
}

// ---- real kernels (Perm layout) ----

FFT_INLINE void rfwd4(const float* x, float* P, float s, bool scaled)
{
    float a = x[0] + x[2], b = x[3] + x[1], e = x[0] - x[2], f = x[3] - x[1];
    if (scaled) {
        a *= s;
        b *= s;
        e *= s;
        f *= s;
    }
    P[0] = a + b;
    P[1] = a - b;
    P[2] = e;
    P[3] = f;
}

FFT_INLINE void rinv4(const float* P, float* x, float s, bool scaled)
{
    float a = P[0] + P[1], b = P[2] + P[2], e = P[0] - P[1], f = P[3] + P[3];
    if (scaled) {
        a *= s;
        b *= s;
        e *= s;
        f *= s;
    }
    x[0] = a + b;
    x[1] = e - f;
    x[2] = a - b;
    x[3] = e + f;
}

FFT_INLINE void rfwd8(const float* x, float* P, float s, bool scaled)
{
    float a[4], d[4];
#pragma GCC unroll 32
    for (int n = 0; n < 4; ++n) {
        a[n] = x[n] + x[n + 4];
        d[n] = x[n] - x[n + 4];
        if (scaled) {
            a[n] *= s;
            d[n] *= s;
        }
    }
    const float e = a[0] + a[2], o = a[1] + a[3];
    const float t = (d[1] + d[3]) * -kC, u = (d[1] - d[3]) * kC;
    P[0] = e + o;
    P[1] = e - o;
    P[2] = d[0] + u;
    P[3] = t - d[2];
    P[4] = a[0] - a[2];
    P[5] = 0.0f - (a[1] - a[3]);
    P[6] = d[0] - u;
    P[7] = d[2] + t;
}

FFT_INLINE void rinv8(const float* P, float* x, float s, bool scaled)
{
    float v[8] = {P[0] + P[1], P[4] + P[4], P[0] - P[1], P[5] + P[5],
                  P[2] + P[6], P[3] - P[7], P[2] - P[6], P[3] + P[7]};
    if (scaled)
#pragma GCC unroll 32
        for (float& w : v)
            w *= s;
    const float a = v[0], b = v[1], e = v[2], f = v[3], g = v[4], h = v[5], p = v[6], q = v[7];
    const float u0 = a + b, u2 = a - b, u1 = e - f, u3 = e + f;
    const float G = g + g, H = h + h, V = (p - q) * kR2, W = (p + q) * -kR2;
    x[0] = u0 + G;
    x[4] = u0 - G;
    x[2] = u2 - H;
    x[6] = u2 + H;
    x[1] = u1 + V;
    x[5] = u1 - V;
    x[3] = u3 + W;
    x[7] = u3 - W;
}

// N = 16 or 32: even bins from the half-length real transform of the sums, odd bins from the
// differences rotated by e^(-2 pi i n / N) through a half-length complex transform.
template <int N>
void rfwdLarge(const float* x, float* P, float s, bool scaled)
{
    constexpr int H = N / 2;
    float sum[H];
    Ipp32fc y[H];
#pragma GCC unroll 32
    for (int n = 0; n < H; ++n) {
        float a = x[n] + x[n + H], d = x[n] - x[n + H];
        if (scaled) {
            a *= s;
            d *= s;
        }
        sum[n] = a;
        y[n] = rot32<false>(Ipp32fc{d, 0.0f}, n * (32 / N));
    }
    float even[H];
    Ipp32fc odd[H];
    if constexpr (N == 16) {
        rfwd8(sum, even, 1.0f, false);
        cfft8<false>(y, odd);
    } else {
        rfwdLarge<16>(sum, even, 1.0f, false);
        cfft16<false>(y, odd, 1.0f, false);
    }
    P[0] = even[0];
    P[1] = even[1];
#pragma GCC unroll 32
    for (int k = 1; k < H / 2; ++k) { // bin 2k
        P[4 * k] = even[2 * k];
        P[4 * k + 1] = even[2 * k + 1];
    }
#pragma GCC unroll 32
    for (int k = 0; k < H / 2; ++k) { // bin 2k + 1
        P[4 * k + 2] = odd[k].re;
        P[4 * k + 3] = odd[k].im;
    }
}

// N = 16 or 32: bins k and N/2 - k combined into the half-length spectra of the even and of the
// odd samples, each inverted by the half-length real inverse.
template <int N>
void rinvLarge(const float* P, float* x, float s, bool scaled)
{
    constexpr int H = N / 2, Q = N / 4;
    auto re = [&](int k) { return P[2 * k]; };
    auto im = [&](int k) { return P[2 * k + 1]; };
    float e0 = P[0] + P[1], o0 = P[0] - P[1];
    float eq = re(Q) + re(Q), oq = im(Q) + im(Q);
    Ipp32fc ek[Q], dk[Q];
#pragma GCC unroll 32
    for (int k = 1; k < Q; ++k) {
        ek[k] = {re(k) + re(H - k), im(k) - im(H - k)};
        dk[k] = {re(k) - re(H - k), im(k) + im(H - k)};
    }
    if (scaled) {
        e0 *= s;
        o0 *= s;
        eq *= s;
        oq *= s;
#pragma GCC unroll 32
        for (int k = 1; k < Q; ++k) {
            ek[k] = scale(ek[k], s);
            dk[k] = scale(dk[k], s);
        }
    }
    float E[H], O[H];
    E[0] = e0;
    E[1] = eq;
    O[0] = o0;
    O[1] = 0.0f - oq;
#pragma GCC unroll 32
    for (int k = 1; k < Q; ++k) {
        const Ipp32fc r = rot32<true>(dk[k], k * (32 / N));
        E[2 * k] = ek[k].re;
        E[2 * k + 1] = ek[k].im;
        O[2 * k] = r.re;
        O[2 * k + 1] = r.im;
    }
    float xe[H], xo[H];
    if constexpr (N == 16) {
        rinv8(E, xe, 1.0f, false);
        rinv8(O, xo, 1.0f, false);
    } else {
        rinvLarge<16>(E, xe, 1.0f, false);
        rinvLarge<16>(O, xo, 1.0f, false);
    }
#pragma GCC unroll 32
    for (int j = 0; j < H; ++j) {
        x[2 * j] = xe[j];
        x[2 * j + 1] = xo[j];
    }
}

// ---- wrappers: every kernel reads its whole input before writing, so src may equal dst ----

template <int N>
inline void loadC(const float* src, Ipp32fc* x)
{
#pragma GCC unroll 32
    for (int i = 0; i < N; ++i)
        x[i] = {src[2 * i], src[2 * i + 1]};
}
template <int N>
inline void storeC(const Ipp32fc* X, float* dst, float s, bool scaled)
{
#pragma GCC unroll 32
    for (int i = 0; i < N; ++i) {
        dst[2 * i] = scaled ? X[i].re * s : X[i].re;
        dst[2 * i + 1] = scaled ? X[i].im * s : X[i].im;
    }
}

// The complex (c) and real (r) kernels of N points, as the entry points below name them.
template <int N, bool Inv>
void cKernel(const float* src, float* dst, float s, bool scaled)
{
    Ipp32fc x[N], X[N];
    loadC<N>(src, x);
    if constexpr (N == 4) {
        cfft4<Inv>(x, X);
    } else if constexpr (N == 8) {
        cfft8<Inv>(x, X);
    } else if constexpr (N == 16) {
        cfft16<Inv>(x, X, s, scaled);
        scaled = false; // applied inside
    } else {
        cfft32<Inv>(x, X);
    }
    storeC<N>(X, dst, s, scaled);
}

template <int N, bool Inv>
void rKernel(const float* src, float* dst, float s, bool scaled)
{
    float x[N];
#pragma GCC unroll 32
    for (int i = 0; i < N; ++i)
        x[i] = src[i];
    if constexpr (N == 4)
        (Inv ? rinv4 : rfwd4)(x, dst, s, scaled);
    else if constexpr (N == 8)
        (Inv ? rinv8 : rfwd8)(x, dst, s, scaled);
    else
        (Inv ? rinvLarge<N> : rfwdLarge<N>)(x, dst, s, scaled);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_rFFT_1_32f)(const Ipp32f* src, Ipp32f* dst)
{
    dst[0] = src[0];
}
IPP_API void VARIANT(ipps_rFFT_1_scale_32f)(const Ipp32f* src, Ipp32f* dst, Ipp32f s)
{
    dst[0] = s * src[0];
}
IPP_API void VARIANT(ipps_rFFT_2_32f)(const Ipp32f* src, Ipp32f* dst)
{
    const float a = src[0], b = src[1];
    dst[0] = a + b;
    dst[1] = a - b;
}
IPP_API void VARIANT(ipps_rFFT_2_scale_32f)(const Ipp32f* src, Ipp32f* dst, Ipp32f s)
{
    const float a = src[0], b = src[1];
    dst[0] = (a + b) * s;
    dst[1] = (a - b) * s;
}
IPP_API void VARIANT(ipps_cFFT_1_32fc)(const Ipp32f* src, Ipp32f* dst)
{
    // A bit copy: NaN payloads and signed zeros pass unchanged.
    Ipp32u w[2];
    __builtin_memcpy(w, src, 8);
    __builtin_memcpy(dst, w, 8);
}
IPP_API void VARIANT(ipps_cFFT_1_scale_32fc)(const Ipp32f* src, Ipp32f* dst, Ipp32f s)
{
    const float re = src[0], im = src[1];
    dst[0] = re * s;
    dst[1] = im * s;
}
IPP_API void VARIANT(ipps_cFFT_2_32fc)(const Ipp32f* src, Ipp32f* dst)
{
    const float ar = src[0], ai = src[1], br = src[2], bi = src[3];
    dst[0] = ar + br;
    dst[1] = ai + bi;
    dst[2] = ar - br;
    dst[3] = ai - bi;
}
IPP_API void VARIANT(ipps_cFFT_2_scale_32fc)(const Ipp32f* src, Ipp32f* dst, Ipp32f s)
{
    const float ar = src[0], ai = src[1], br = src[2], bi = src[3];
    dst[0] = (ar + br) * s;
    dst[1] = (ai + bi) * s;
    dst[2] = (ar - br) * s;
    dst[3] = (ai - bi) * s;
}

// Each kernel in its plain and its _scale form; the suffix goes before the type:
// ipps_rFFTfwd_4_scale_32f, ipps_cFFTinv_8_scale_32fc.
#define NORRIK_KERNEL(kind, dir, n, type, inv)                                                                         \
    IPP_API void VARIANT(ipps_##kind##FFT##dir##_##n##_##type)(const Ipp32f* src, Ipp32f* dst)                         \
    {                                                                                                                  \
        kind##Kernel<n, inv>(src, dst, 1.0f, false);                                                                   \
    }                                                                                                                  \
    IPP_API void VARIANT(ipps_##kind##FFT##dir##_##n##_scale_##type)(const Ipp32f* src, Ipp32f* dst, Ipp32f s)         \
    {                                                                                                                  \
        kind##Kernel<n, inv>(src, dst, s, true);                                                                       \
    }

NORRIK_KERNEL(r, fwd, 4, 32f, false)
NORRIK_KERNEL(r, fwd, 8, 32f, false)
NORRIK_KERNEL(r, fwd, 16, 32f, false)
NORRIK_KERNEL(r, fwd, 32, 32f, false)
NORRIK_KERNEL(r, inv, 4, 32f, true)
NORRIK_KERNEL(r, inv, 8, 32f, true)
NORRIK_KERNEL(r, inv, 16, 32f, true)
NORRIK_KERNEL(r, inv, 32, 32f, true)
NORRIK_KERNEL(c, fwd, 4, 32fc, false)
NORRIK_KERNEL(c, fwd, 8, 32fc, false)
NORRIK_KERNEL(c, fwd, 16, 32fc, false)
NORRIK_KERNEL(c, fwd, 32, 32fc, false)
NORRIK_KERNEL(c, inv, 4, 32fc, true)
NORRIK_KERNEL(c, inv, 8, 32fc, true)
NORRIK_KERNEL(c, inv, 16, 32fc, true)
NORRIK_KERNEL(c, inv, 32, 32fc, true)

#define P_(name)                                                                                                       \
    {                                                                                                                  \
        .plain = VARIANT(name)                                                                                         \
    }
#define S_(name)                                                                                                       \
    {                                                                                                                  \
        .scaled = VARIANT(name)                                                                                        \
    }

extern "C" IPP_EXPORT const FftFixKernelEntry VARIANT(fft_fix_kernel_table_32f)[8][6] = {
    {P_(ipps_rFFT_1_32f), P_(ipps_rFFT_2_32f), P_(ipps_rFFTfwd_4_32f), P_(ipps_rFFTfwd_8_32f), P_(ipps_rFFTfwd_16_32f),
     P_(ipps_rFFTfwd_32_32f)},
    {S_(ipps_rFFT_1_scale_32f), S_(ipps_rFFT_2_scale_32f), S_(ipps_rFFTfwd_4_scale_32f), S_(ipps_rFFTfwd_8_scale_32f),
     S_(ipps_rFFTfwd_16_scale_32f), S_(ipps_rFFTfwd_32_scale_32f)},
    {P_(ipps_cFFT_1_32fc), P_(ipps_cFFT_2_32fc), P_(ipps_cFFTfwd_4_32fc), P_(ipps_cFFTfwd_8_32fc),
     P_(ipps_cFFTfwd_16_32fc), P_(ipps_cFFTfwd_32_32fc)},
    {S_(ipps_cFFT_1_scale_32fc), S_(ipps_cFFT_2_scale_32fc), S_(ipps_cFFTfwd_4_scale_32fc),
     S_(ipps_cFFTfwd_8_scale_32fc), S_(ipps_cFFTfwd_16_scale_32fc), S_(ipps_cFFTfwd_32_scale_32fc)},
    {P_(ipps_rFFT_1_32f), P_(ipps_rFFT_2_32f), P_(ipps_rFFTinv_4_32f), P_(ipps_rFFTinv_8_32f), P_(ipps_rFFTinv_16_32f),
     P_(ipps_rFFTinv_32_32f)},
    {S_(ipps_rFFT_1_scale_32f), S_(ipps_rFFT_2_scale_32f), S_(ipps_rFFTinv_4_scale_32f), S_(ipps_rFFTinv_8_scale_32f),
     S_(ipps_rFFTinv_16_scale_32f), S_(ipps_rFFTinv_32_scale_32f)},
    {P_(ipps_cFFT_1_32fc), P_(ipps_cFFT_2_32fc), P_(ipps_cFFTinv_4_32fc), P_(ipps_cFFTinv_8_32fc),
     P_(ipps_cFFTinv_16_32fc), P_(ipps_cFFTinv_32_32fc)},
    {S_(ipps_cFFT_1_scale_32fc), S_(ipps_cFFT_2_scale_32fc), S_(ipps_cFFTinv_4_scale_32fc),
     S_(ipps_cFFTinv_8_scale_32fc), S_(ipps_cFFTinv_16_scale_32fc), S_(ipps_cFFTinv_32_scale_32fc)},
};

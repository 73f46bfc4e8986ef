// Four-lane complex arithmetic shared by the FFT passes and transforms, and the small address
// helpers of the FFT code; included by variant sources only.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "primitives/common/variant.h"
#include "primitives/fftkernels/fft_kernels.h"

#define FFT_INLINE inline __attribute__((always_inline))

namespace NORRIK_VARIANT_NS {
namespace fft {

// The variant's constant block (its four-lane constants are 16-byte aligned).
inline const FftFixTwiddleTable& constants()
{
    return VARIANT(fft_fix_twiddle_table_32f);
}

inline bool aligned16(const void* p)
{
    return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0;
}

// The first multiple of 32 at or after p (or v).
template <typename T>
inline T* align32(T* p)
{
    return reinterpret_cast<T*>((reinterpret_cast<std::uintptr_t>(p) + 31) & ~static_cast<std::uintptr_t>(31));
}
inline std::int64_t align32(std::int64_t v)
{
    return (v + 31) & ~std::int64_t(31);
}

// Four complex values as lanes: their real parts and their imaginary parts.
struct Cv
{
    __m128 re, im;
};

// A group of the split-by-four layout: four real parts, then four imaginary parts.
template <bool A = false>
FFT_INLINE Cv loadC(const float* p)
{
    if (A)
        return {_mm_load_ps(p), _mm_load_ps(p + 4)};
    return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)};
}
FFT_INLINE void storeC(float* p, Cv x)
{
    _mm_storeu_ps(p, x.re);
    _mm_storeu_ps(p + 4, x.im);
}
// Four interleaved complex values.
FFT_INLINE Cv loadI(const float* p)
{
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}
FFT_INLINE void storeI(float* p, Cv x)
{
    _mm_storeu_ps(p, _mm_unpacklo_ps(x.re, x.im));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(x.re, x.im));
}
// A group stored split or interleaved.
template <bool Interleaved>
FFT_INLINE void storeGroup(float* p, Cv x)
{
    if (Interleaved)
        storeI(p, x);
    else
        storeC(p, x);
}

FFT_INLINE Cv addC(Cv a, Cv b)
{
    return {_mm_add_ps(a.re, b.re), _mm_add_ps(a.im, b.im)};
}
FFT_INLINE Cv subC(Cv a, Cv b)
{
    return {_mm_sub_ps(a.re, b.re), _mm_sub_ps(a.im, b.im)};
}

// y times the twiddle w = (cos, -sin) as stored; the inverse uses its conjugate.
template <bool Inv>
FFT_INLINE Cv twistBy(Cv y, Cv w)
{
    if (Inv)
        return {_mm_add_ps(_mm_mul_ps(y.re, w.re), _mm_mul_ps(y.im, w.im)),
                _mm_sub_ps(_mm_mul_ps(y.im, w.re), _mm_mul_ps(y.re, w.im))};
    return {_mm_sub_ps(_mm_mul_ps(y.re, w.re), _mm_mul_ps(y.im, w.im)),
            _mm_add_ps(_mm_mul_ps(y.re, w.im), _mm_mul_ps(y.im, w.re))};
}
// The same with the twiddle read from a table block; aligned blocks go straight into the products.
template <bool Inv, bool A = true>
FFT_INLINE Cv twist(Cv y, const float* w)
{
    return twistBy<Inv>(y, loadC<A>(w));
}

// a - i b (forward) or a + i b (inverse) into x1, the other one into x3.
template <bool Inv>
FFT_INLINE void rotPair(Cv a, Cv b, Cv& x1, Cv& x3)
{
    const Cv m{_mm_add_ps(a.re, b.im), _mm_sub_ps(a.im, b.re)}; // a - i b
    const Cv p{_mm_sub_ps(a.re, b.im), _mm_add_ps(a.im, b.re)}; // a + i b
    x1 = Inv ? p : m;
    x3 = Inv ? m : p;
}

// 4-point DFT of (a, b, c, d) in natural input order.
template <bool Inv>
FFT_INLINE void dft4(Cv a, Cv b, Cv c, Cv d, Cv& x0, Cv& x1, Cv& x2, Cv& x3)
{
    const Cv ac = addC(a, c), bd = addC(b, d);
    x0 = addC(ac, bd);
    x2 = subC(ac, bd);
    rotPair<Inv>(subC(a, c), subC(b, d), x1, x3);
}

// How a radix-8 butterfly turns its odd outputs 1 and 3 by the eighth roots: sums and differences
// of the parts times the constant (SumFirst), or the parts times the constant, then summed.
enum class Rot8
{
    SumFirst,
    ProductFirst
};

template <bool Inv, Rot8 Form>
FFT_INLINE void rotate8(Cv& o1, Cv& o3, __m128 c, __m128 nc)
{
    if (Form == Rot8::SumFirst) {
        if (Inv) {
            o1 = {_mm_mul_ps(_mm_sub_ps(o1.re, o1.im), c), _mm_mul_ps(_mm_add_ps(o1.im, o1.re), c)};
            o3 = {_mm_mul_ps(_mm_add_ps(o3.re, o3.im), nc), _mm_mul_ps(_mm_sub_ps(o3.im, o3.re), nc)};
        } else {
            o1 = {_mm_mul_ps(_mm_add_ps(o1.re, o1.im), c), _mm_mul_ps(_mm_sub_ps(o1.im, o1.re), c)};
            o3 = {_mm_mul_ps(_mm_sub_ps(o3.re, o3.im), nc), _mm_mul_ps(_mm_add_ps(o3.im, o3.re), nc)};
        }
    } else {
        const Cv a{_mm_mul_ps(o1.re, c), _mm_mul_ps(o1.im, c)};
        const Cv b{_mm_mul_ps(o3.re, nc), _mm_mul_ps(o3.im, nc)};
        if (Inv) {
            o1 = {_mm_sub_ps(a.re, a.im), _mm_add_ps(a.im, a.re)};
            o3 = {_mm_add_ps(b.re, b.im), _mm_sub_ps(b.im, b.re)};
        } else {
            o1 = {_mm_add_ps(a.re, a.im), _mm_sub_ps(a.im, a.re)};
            o3 = {_mm_sub_ps(b.re, b.im), _mm_add_ps(b.im, b.re)};
        }
    }
}

// Radix-8 butterfly on inputs y(0) .. y(7) in natural order (already multiplied by their
// twiddles); out(r, x) receives output r. The odd half is finished before the even half is formed
// and each output pair is handed on as soon as it exists: fewer live registers.
template <bool Inv, Rot8 Form, typename Y, typename Out>
FFT_INLINE void butterfly8(Y y, Out out, __m128 c, __m128 nc)
{
    Cv e0, e1, e2, e3, o0, o1, o2, o3;
    dft4<Inv>(y(1), y(3), y(5), y(7), o0, o1, o2, o3);
    rotate8<Inv, Form>(o1, o3, c, nc);
    dft4<Inv>(y(0), y(2), y(4), y(6), e0, e1, e2, e3);
    out(0, addC(e0, o0));
    out(4, subC(e0, o0));
    Cv x2, x6;
    rotPair<Inv>(e2, o2, x2, x6);
    out(2, x2);
    out(6, x6);
    out(1, addC(e1, o1));
    out(5, subC(e1, o1));
    out(3, addC(e3, o3));
    out(7, subC(e3, o3));
}

// Reversal of the 3 bits of r: the block that holds input r of a radix-8 step.
constexpr int kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};

} // namespace fft
} // namespace NORRIK_VARIANT_NS

// Factor-4 and factor-8 passes of the cache-blocked transform: one radix level with twiddles, in
// place over groups of rows in the split-by-four layout.
#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// The eighth-root constant here is the float nearest sqrt(1/2) (the radix-4 passes use the next).

// Rows of a group hold their inputs in bit-reversed order; outputs go to the rows in order.
template <bool Inv>
void factor4(float* d, int len, int count, const float* tw)
{
    if (len < 1 || count < 1)
        return;
    const std::ptrdiff_t row = 2 * static_cast<std::ptrdiff_t>(len);
    if (count == 1) {
        // Two radix-2 steps sharing P = T2 and Q = T1; the second half of the positions turns the
        // first half's entries by -i and e^(-i pi / 4).
        const __m128 c = _mm_load_ps(constants().c), sign = _mm_set1_ps(-0.0f);
        const int half = len / 2;
        for (int j = 0; j < len; j += 4) {
            const bool second = j >= half;
            const float* t = tw + 4 * (second ? j - half : j);
            Cv q = loadC<true>(t), p = loadC<true>(t + 8);
            if (second) {
                p = {p.im, _mm_xor_ps(p.re, sign)};
                q = {_mm_mul_ps(_mm_add_ps(q.re, q.im), c), _mm_mul_ps(_mm_sub_ps(q.im, q.re), c)};
            }
            float* x = d + 2 * j;
            const Cv x0 = loadC<true>(x), x1 = loadC<true>(x + row), x2 = loadC<true>(x + 2 * row),
                     x3 = loadC<true>(x + 3 * row);
            const Cv v = twistBy<Inv>(x1, p), w = twistBy<Inv>(x3, p);
            const Cv a = addC(x0, v), b = subC(x0, v);
            const Cv e = twistBy<Inv>(addC(x2, w), q), f = twistBy<Inv>(subC(x2, w), q);
            Cv r1, r3;
            rotPair<Inv>(b, f, r1, r3);
            storeC(x, addC(a, e));
            storeC(x + row, r1);
            storeC(x + 2 * row, subC(a, e));
            storeC(x + 3 * row, r3);
        }
        return;
    }
    for (int g = 0; g < count; ++g) {
        float* group = d + 4 * row * g;
        for (int j = 0; j < len; j += 4) {
            const float* t = tw + 6 * j;
            float* x = group + 2 * j;
            const Cv x0 = loadC<true>(x);
            const Cv u = twist<Inv>(loadC<true>(x + 2 * row), t);
            const Cv v = twist<Inv>(loadC<true>(x + row), t + 8);
            const Cv w = twist<Inv>(loadC<true>(x + 3 * row), t + 16);
            Cv r0, r1, r2, r3;
            dft4<Inv>(x0, u, v, w, r0, r1, r2, r3);
            storeC(x, r0);
            storeC(x + row, r1);
            storeC(x + 2 * row, r2);
            storeC(x + 3 * row, r3);
        }
    }
}

template <bool Inv>
void factor8(float* d, int len, int count, const float* tw)
{
    if (len < 1 || count < 1)
        return;
    const std::ptrdiff_t row = 2 * static_cast<std::ptrdiff_t>(len);
    const __m128 c = _mm_load_ps(constants().c), nc = _mm_load_ps(constants().minusC);
    for (int g = 0; g < count; ++g) {
        float* group = d + 8 * row * g;
        for (int j = 0; j < len; j += 4) {
            const float* t = tw + 14 * j;
            float* x = group + 2 * j;
            butterfly8<Inv, Rot8::SumFirst>(
                [&](int k) {
                    const Cv y = loadC<true>(x + kRev3[k] * row);
                    return k == 0 ? y : twist<Inv>(y, t + 8 * (k - 1));
                },
                [&](int r, Cv v) { storeC(x + r * row, v); }, c, nc);
        }
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_cFftFwd_Fact4_32fc)(Ipp32fc* pSrcDst, void*, int len, int count, const Ipp32f* pTw)
{
    factor4<false>(reinterpret_cast<float*>(pSrcDst), len, count, pTw);
}
IPP_API void VARIANT(ipps_cFftInv_Fact4_32fc)(Ipp32fc* pSrcDst, void*, int len, int count, const Ipp32f* pTw)
{
    factor4<true>(reinterpret_cast<float*>(pSrcDst), len, count, pTw);
}
IPP_API void VARIANT(ipps_cFftFwd_Fact8_32fc)(Ipp32fc* pSrcDst, void*, int len, int count, const Ipp32f* pTw)
{
    factor8<false>(reinterpret_cast<float*>(pSrcDst), len, count, pTw);
}
IPP_API void VARIANT(ipps_cFftInv_Fact8_32fc)(Ipp32fc* pSrcDst, void*, int len, int count, const Ipp32f* pTw)
{
    factor8<true>(reinterpret_cast<float*>(pSrcDst), len, count, pTw);
}

// Recombination between the half-size complex spectrum and the real spectrum, and its tables.
#include <emmintrin.h>

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Real entry: half of the forward factor folded in, (0.5 c, 0.5 - 0.5 s); CCS entry: (c, -s).
inline Ipp32fc recIpp32fc(const float* base, long k, long Q, long d, bool real)
{
    const float s = base[k * d], c = base[(Q - k) * d];
    if (real)
        return {0.5f * c, static_cast<float>(0.5 - 0.5 * static_cast<double>(s))};
    return {c, 0.0f - s};
}

// Writes the entries of bins 1 .. count in the variant's fine layout.
void writeFine(float* out, const float* base, long count, long Q, long d, bool real)
{
    for (long k = 1; k <= count; k += 4) {
        const Ipp32fc e1 = recIpp32fc(base, k, Q, d, real), e2 = recIpp32fc(base, k + 1, Q, d, real),
                      e3 = recIpp32fc(base, k + 2, Q, d, real), e4 = recIpp32fc(base, k + 3, Q, d, real);
        if (kFftSettings.recFourBinBlocks) {
            const float v[8] = {e2.re, e1.re, e4.re, e3.re, e2.im, e1.im, e4.im, e3.im};
            for (int i = 0; i < 8; ++i)
                out[i] = v[i];
        } else {
            const float v[8] = {e2.re, e2.im, e1.re, e1.im, e4.re, e4.im, e3.re, e3.im};
            for (int i = 0; i < 8; ++i)
                out[i] = v[i];
        }
        out += 8;
    }
}

Ipp8u* buildRecTable(int order, const float* base, int baseOrder, void* dst, bool real)
{
    const long N = 1L << order, Q = N / 4, d = 1L << (baseOrder - order);
    float* out = static_cast<float*>(dst);
    long count;
    if (N <= 8) {
        count = 2;
        for (long j = 0; j < Q; ++j) {
            const Ipp32fc e = recIpp32fc(base, j, Q, d, real);
            out[2 * j] = e.re;
            out[2 * j + 1] = e.im;
        }
    } else if (order < kFftSettings.recThreshold) {
        count = Q;
        writeFine(out, base, Q, Q, d, real);
    } else {
        count = 1024 + N / 4096;
        writeFine(out, base, 1024, Q, d, false);
        for (long i = 0; 1024 * i < Q; ++i) {
            out[2 * (1024 + i)] = base[(Q - 1024 * i) * d];
            out[2 * (1024 + i) + 1] = 0.0f - base[1024 * i * d];
        }
    }
    return reinterpret_cast<Ipp8u*>(align32(out + 2 * count));
}

// Fine entry of bin k (1-based) from the variant's layout.
inline Ipp32fc fineIpp32fc(const float* t, long k)
{
    const long blk = (k - 1) / 4, pos = (k - 1) % 4;
    static constexpr int kLane[4] = {1, 0, 3, 2}; // bins 1, 2, 3, 4 sit at 2, 1, 4, 3
    const float* b = t + 8 * blk;
    if (kFftSettings.recFourBinBlocks)
        return {b[kLane[pos]], b[4 + kLane[pos]]};
    return {b[2 * kLane[pos]], b[2 * kLane[pos] + 1]};
}

// Twiddle of bin k in the two-level form: coarse entry times fine entry.
inline Ipp32fc twoLevel(const float* t, long k)
{
    const Ipp32fc c = {t[2 * (1024 + (k - 1) / 1024)], t[2 * (1024 + (k - 1) / 1024) + 1]};
    const Ipp32fc f = fineIpp32fc(t, ((k - 1) % 1024) + 1);
    return {c.re * f.re - c.im * f.im, f.im * c.re + f.re * c.im};
}

// The four values ending at p + 8 (exclusive), lanes in descending address order. A: p is
// 16-byte aligned, so the shuffles can read the first half straight from memory.
template <bool A = false>
inline Cv loadBack(const float* p)
{
    const __m128 a = A ? _mm_load_ps(p) : _mm_loadu_ps(p), b = A ? _mm_load_ps(p + 4) : _mm_loadu_ps(p + 4);
    return {_mm_shuffle_ps(b, a, _MM_SHUFFLE(0, 2, 0, 2)), _mm_shuffle_ps(b, a, _MM_SHUFFLE(1, 3, 1, 3))};
}
inline void storeBack(float* p, Cv q)
{
    const __m128 r = _mm_shuffle_ps(q.re, q.re, _MM_SHUFFLE(0, 1, 2, 3));
    const __m128 i = _mm_shuffle_ps(q.im, q.im, _MM_SHUFFLE(0, 1, 2, 3));
    _mm_storeu_ps(p, _mm_unpacklo_ps(r, i));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(r, i));
}
// One 32-byte table block as lanes in bin order. A: t is 16-byte aligned, so the shuffles can
// read the second half straight from memory.
template <bool A = false>
inline Cv loadTable(const float* t)
{
    const __m128 a = A ? _mm_load_ps(t) : _mm_loadu_ps(t), b = A ? _mm_load_ps(t + 4) : _mm_loadu_ps(t + 4);
    if (kFftSettings.recFourBinBlocks)
        return {_mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)), _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1))};
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 2, 0, 2)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 3, 1, 3))};
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API Ipp8u* VARIANT(ipps_initTabTwdRealRec_32f)(int order, const Ipp32f* base, int baseOrder, void* dst)
{
    return buildRecTable(order, base, baseOrder, dst, true);
}

IPP_API Ipp8u* VARIANT(ipps_initTabTwdCcsRec_32f)(int order, const Ipp32f* base, int baseOrder, void* dst)
{
    return buildRecTable(order, base, baseOrder, dst, false);
}

IPP_API void VARIANT(ipps_cRealRecombine_32f)(Ipp32fc* data, int M, const Ipp32f* table)
{
    float* z = reinterpret_cast<float*>(data);
    const int order = __builtin_ctz(static_cast<unsigned>(M)) + 1;
    if (order < kFftSettings.recThreshold) {
        for (int j = 0; j < M / 8; ++j) {
            float* front = z + 2 * (4 * j + 1);
            float* back = z + 2 * (M - 4 * j - 4);
            const Cv a = loadI(front), b = loadBack(back), t = loadTable(table + 8 * j);
            const __m128 dr = _mm_sub_ps(a.re, b.re), di = _mm_add_ps(a.im, b.im);
            const __m128 E = _mm_add_ps(_mm_mul_ps(t.re, di), _mm_mul_ps(t.im, dr));
            const __m128 D = _mm_sub_ps(_mm_mul_ps(t.im, di), _mm_mul_ps(t.re, dr));
            storeI(front, {_mm_add_ps(b.re, E), _mm_sub_ps(D, b.im)});
            storeBack(back, {_mm_sub_ps(a.re, E), _mm_sub_ps(D, a.im)});
        }
        return;
    }
    for (long k = 1; k <= M / 2; ++k) {
        const Ipp32fc a0 = {z[2 * k], z[2 * k + 1]}, b0 = {z[2 * (M - k)], z[2 * (M - k) + 1]};
        const Ipp32fc a = {0.5f * a0.re, 0.5f * a0.im}, b = {0.5f * b0.re, 0.5f * b0.im};
        const float hsr = a.re + b.re, hsi = a.im - b.im, hdr = a.re - b.re, hdi = a.im + b.im;
        const Ipp32fc w = twoLevel(table, k);
        const float P = hdi * w.re + hdr * w.im, R = hdi * w.im - hdr * w.re;
        z[2 * k] = hsr + P;
        z[2 * k + 1] = R + hsi;
        z[2 * (M - k)] = hsr - P;
        z[2 * (M - k) + 1] = R - hsi;
    }
}

IPP_API void VARIANT(ipps_cCcsRecombine_32f)(const Ipp32fc* src, Ipp32fc* dst, int M, const Ipp32f* table)
{
    const float* x = reinterpret_cast<const float*>(src);
    float* y = reinterpret_cast<float*>(dst);
    const int order = __builtin_ctz(static_cast<unsigned>(M)) + 1;
    if (order < kFftSettings.recThreshold) {
        for (int j = 0; j < M / 8; ++j) {
            const long f = 2 * (4 * j + 1), bk = 2 * (M - 4 * j - 4);
            const Cv a = loadI(x + f), b = loadBack(x + bk), t = loadTable(table + 8 * j);
            const __m128 sr = _mm_add_ps(a.re, b.re), si = _mm_sub_ps(a.im, b.im);
            const __m128 dr = _mm_sub_ps(a.re, b.re), di = _mm_add_ps(a.im, b.im);
            const __m128 G = _mm_sub_ps(_mm_mul_ps(t.im, dr), _mm_mul_ps(t.re, di));
            const __m128 H = _mm_add_ps(_mm_mul_ps(t.re, dr), _mm_mul_ps(t.im, di));
            storeI(y + f, {_mm_add_ps(sr, G), _mm_add_ps(H, si)});
            storeBack(y + bk, {_mm_sub_ps(sr, G), _mm_sub_ps(H, si)});
        }
        return;
    }
    for (long k = 1; k <= M / 2; ++k) {
        const Ipp32fc a = {x[2 * k], x[2 * k + 1]}, b = {x[2 * (M - k)], x[2 * (M - k) + 1]};
        const float sr = a.re + b.re, si = a.im - b.im, dr = a.re - b.re, di = a.im + b.im;
        const Ipp32fc w = twoLevel(table, k);
        const float G = w.im * dr - w.re * di, H = w.re * dr + w.im * di;
        y[2 * k] = sr + G;
        y[2 * k + 1] = H + si;
        y[2 * (M - k)] = sr - G;
        y[2 * (M - k) + 1] = H - si;
    }
}

namespace NORRIK_VARIANT_NS {
namespace {

// One step of the sweep below: bins 4j + 1 .. 4j + 4 and their mirrors. Last: the step that
// holds bin M/2. A: both tables 16-byte aligned; B: data and perm 16-byte aligned.
template <bool Last, bool A, bool B>
inline __attribute__((always_inline)) void recombineMulPermStep(float* z, const float* perm, int M,
                                                                const float* realTable, const float* ccsTable, int j)
{
    float* front = z + 2 * (4 * j + 1);
    float* back = z + 2 * (M - 4 * j - 4);
    const Cv a = loadI(front), b = loadBack<B>(back), t = loadTable<A>(realTable + 8 * j);
    const __m128 dr = _mm_sub_ps(a.re, b.re), di = _mm_add_ps(a.im, b.im);
    const __m128 E = _mm_add_ps(_mm_mul_ps(t.re, di), _mm_mul_ps(t.im, dr));
    const __m128 D = _mm_sub_ps(_mm_mul_ps(t.im, di), _mm_mul_ps(t.re, dr));
    Cv f{_mm_add_ps(b.re, E), _mm_sub_ps(D, b.im)};
    Cv k{_mm_sub_ps(a.re, E), _mm_sub_ps(D, a.im)};
    if (Last) {
        // Bin M/2 sits in lane 3 of both; the back value is the one stored last.
        f.re = _mm_shuffle_ps(f.re, _mm_shuffle_ps(f.re, k.re, _MM_SHUFFLE(3, 3, 2, 2)), _MM_SHUFFLE(2, 0, 1, 0));
        f.im = _mm_shuffle_ps(f.im, _mm_shuffle_ps(f.im, k.im, _MM_SHUFFLE(3, 3, 2, 2)), _MM_SHUFFLE(2, 0, 1, 0));
    }
    const Cv sf = loadI(perm + 2 * (4 * j + 1)), sb = loadBack<B>(perm + 2 * (M - 4 * j - 4));
    f = {_mm_sub_ps(_mm_mul_ps(sf.re, f.re), _mm_mul_ps(sf.im, f.im)),
         _mm_add_ps(_mm_mul_ps(sf.im, f.re), _mm_mul_ps(sf.re, f.im))};
    k = {_mm_sub_ps(_mm_mul_ps(sb.re, k.re), _mm_mul_ps(sb.im, k.im)),
         _mm_add_ps(_mm_mul_ps(sb.im, k.re), _mm_mul_ps(sb.re, k.im))};
    const Cv c = loadTable<A>(ccsTable + 8 * j);
    const __m128 sr = _mm_add_ps(f.re, k.re), si = _mm_sub_ps(f.im, k.im);
    const __m128 er = _mm_sub_ps(f.re, k.re), ei = _mm_add_ps(f.im, k.im);
    const __m128 G = _mm_sub_ps(_mm_mul_ps(c.im, er), _mm_mul_ps(c.re, ei));
    const __m128 H = _mm_add_ps(_mm_mul_ps(c.re, er), _mm_mul_ps(c.im, ei));
    storeI(front, {_mm_add_ps(sr, G), _mm_add_ps(H, si)});
    storeBack(back, {_mm_sub_ps(sr, G), _mm_sub_ps(H, si)});
}

template <bool A, bool B>
void recombineMulPerm(float* z, const float* perm, int M, const float* realTable, const float* ccsTable)
{
    const int last = M / 8 - 1;
    for (int j = 0; j < last; ++j)
        recombineMulPermStep<false, A, B>(z, perm, M, realTable, ccsTable, j);
    if (last >= 0)
        recombineMulPermStep<true, A, B>(z, perm, M, realTable, ccsTable, last);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

// Forward recombination, Perm product and inverse recombination in one sweep over the bin pairs
// (k, M - k): the same operations in the same order as cRealRecombine, MulPerm and
// cCcsRecombine one after the other on the complex transform's result. Orders below the
// two-level threshold, unscaled forward transform.
IPP_API void VARIANT(ipps_cRecombineMulPerm_32f)(Ipp32fc* data, const Ipp32f* perm, int M, const Ipp32f* realTable,
                                                 const Ipp32f* ccsTable)
{
    float* z = reinterpret_cast<float*>(data);
    const float a0 = z[0], b0 = z[1];
    const float dc = (a0 + b0) * perm[0], nyq = (a0 - b0) * perm[1];
    z[0] = dc + nyq;
    z[1] = dc - nyq;
    if (aligned16(realTable) && aligned16(ccsTable) && aligned16(z) && aligned16(perm))
        recombineMulPerm<true, true>(z, perm, M, realTable, ccsTable);
    else if (aligned16(realTable) && aligned16(ccsTable))
        recombineMulPerm<true, false>(z, perm, M, realTable, ccsTable);
    else
        recombineMulPerm<false, false>(z, perm, M, realTable, ccsTable);
}

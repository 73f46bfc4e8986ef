// Recombination between the half-size complex spectrum and the real spectrum, and its tables.
#include <emmintrin.h>

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fft/variant/fft_recombine.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Writes the entries of bins 1 .. count in the variant's fine layout.
void writeFine(float* out, const float* base, long count, long Q, long d, bool real)
{
    for (long k = 1; k <= count; k += 4) {
        const Ipp32fc e1 = recEntry(base, k, Q, d, real), e2 = recEntry(base, k + 1, Q, d, real),
                      e3 = recEntry(base, k + 2, Q, d, real), e4 = recEntry(base, k + 3, Q, d, real);
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
            const Ipp32fc e = recEntry(base, j, Q, d, real);
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
inline Ipp32fc fineEntry(const float* t, long k)
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
    const Ipp32fc f = fineEntry(t, ((k - 1) % 1024) + 1);
    return {c.re * f.re - c.im * f.im, f.im * c.re + f.re * c.im};
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
            Cv f, k;
            realRecStep(loadI(front), loadBack(back), loadTable(table + 8 * j), f, k);
            storeI(front, f);
            storeBack(back, k);
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
            Cv front, back;
            ccsRecStep(loadI(x + f), loadBack(x + bk), loadTable(table + 8 * j), front, back);
            storeI(y + f, front);
            storeBack(y + bk, back);
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

// Forward transform, Perm product and inverse transform of one block. Where the transforms run the
// Norm passes with one-level recombination tables and an unscaled forward, the product is folded
// into one sweep with both recombinations, so the spectrum is never written in the Perm layout.
#include "primitives/fft/fft_convolve.h"

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/variant/fft_recombine.h"
#include "primitives/fft/variant/fft_vector_deps.h"
#include "primitives/fftkernels/fft_kernels.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

// Bins 4j + 1 .. 4j + 4 and their mirrors: forward recombination, product, inverse recombination,
// the operations of the three separate sweeps in their order. Last: the step that holds bin M/2.
// A: both tables 16-byte aligned; B: data and perm 16-byte aligned.
template <bool Last, bool A, bool B>
FFT_INLINE void recombineMulPermStep(float* z, const float* perm, int M, const float* realTable, const float* ccsTable,
                                     int j)
{
    float* front = z + 2 * (4 * j + 1);
    float* back = z + 2 * (M - 4 * j - 4);
    Cv f, k;
    realRecStep(loadI(front), loadBack<B>(back), loadTable<A>(realTable + 8 * j), f, k);
    if (Last) {
        // Bin M/2 sits in lane 3 of both; the back value is the one stored last.
        f.re = _mm_shuffle_ps(f.re, _mm_shuffle_ps(f.re, k.re, _MM_SHUFFLE(3, 3, 2, 2)), _MM_SHUFFLE(2, 0, 1, 0));
        f.im = _mm_shuffle_ps(f.im, _mm_shuffle_ps(f.im, k.im, _MM_SHUFFLE(3, 3, 2, 2)), _MM_SHUFFLE(2, 0, 1, 0));
    }
    f = twistBy<false>(f, loadI(perm + 2 * (4 * j + 1)));
    k = twistBy<false>(k, loadBack<B>(perm + 2 * (M - 4 * j - 4)));
    Cv x, y;
    ccsRecStep(f, k, loadTable<A>(ccsTable + 8 * j), x, y);
    storeI(front, x);
    storeBack(back, y);
}

template <bool A, bool B, int FixedM = 0>
FFT_INLINE void recombineMulPermSweep(float* z, const float* perm, int M, const float* realTable, const float* ccsTable)
{
    if (FixedM)
        M = FixedM;
    const int last = M / 8 - 1;
    for (int j = 0; j < last; ++j)
        recombineMulPermStep<false, A, B>(z, perm, M, realTable, ccsTable, j);
    if (last >= 0)
        recombineMulPermStep<true, A, B>(z, perm, M, realTable, ccsTable, last);
}

// The half size of the FIR's order-8 block, swept with constant offsets.
constexpr int kFirM = 128;

// The complex spectrum z of M points to the complex spectrum of the product with perm.
void recombineMulPerm(float* z, const float* perm, int M, const float* realTable, const float* ccsTable)
{
    const float a0 = z[0], b0 = z[1];
    const float dc = (a0 + b0) * perm[0], nyq = (a0 - b0) * perm[1];
    z[0] = dc + nyq;
    z[1] = dc - nyq;
    const bool tables = aligned16(realTable) && aligned16(ccsTable);
    if (tables && aligned16(z) && aligned16(perm) && M == kFirM)
        recombineMulPermSweep<true, true, kFirM>(z, perm, M, realTable, ccsTable);
    else if (tables && aligned16(z) && aligned16(perm))
        recombineMulPermSweep<true, true>(z, perm, M, realTable, ccsTable);
    else if (tables)
        recombineMulPermSweep<true, false>(z, perm, M, realTable, ccsTable);
    else
        recombineMulPermSweep<false, false>(z, perm, M, realTable, ccsTable);
}

bool foldedRoad(const RealFftSpec32f* spec, const Ipp8u* buffer)
{
    return spec && spec->id == kRealFftSpecId && spec->order >= 7 && spec->order <= kFftSettings.normMaxOrder &&
           spec->order < kFftSettings.recThreshold && spec->scaleForward == 0 && buffer;
}

} // namespace

IppStatus fftConvolveBlock(const RealFftSpec32f* spec, const Ipp32f* src, Ipp32f* work, const Ipp32f* taps,
                           Ipp8u* buffer, Ipp32f* dst, int from, int count)
{
    if (!foldedRoad(spec, buffer)) {
        IppStatus st = VARIANT(ippsFFTFwd_RToPerm_32f)(src, work, spec, buffer);
        if (st != ippStsNoErr)
            return st;
        VARIANT(ippsMulPerm_32f_I)(taps, work, 1 << spec->order);
        st = VARIANT(ippsFFTInv_PermToR_32f)(work, work, spec, buffer);
        if (st != ippStsNoErr)
            return st;
        VARIANT(ippsCopy_32f)(work + from, dst, count);
        return ippStsNoErr;
    }
    Ipp8u* const buf = align32(buffer);
    const int n = 1 << (spec->order - 1);
    auto* wc = reinterpret_cast<Ipp32fc*>(work);
    VARIANT(ipps_cRadix4FwdNorm_32fc)
    (reinterpret_cast<const Ipp32fc*>(src), wc, n, spec->radix4Twiddles, spec->bitRevTable, buf);
    recombineMulPerm(work, taps, n, spec->realRecTwiddles, spec->ccsRecTwiddles);
    VARIANT(ipps_cRadix4InvNorm_32fc)(wc, wc, n, spec->radix4Twiddles, spec->bitRevTable, buf);
    const float f = spec->factor;
    if (spec->scaleInverse == 1 && f != 1.0f) {
        // The inverse's scaling, applied only to the values kept.
        const __m128 fv = _mm_set1_ps(f);
        int i = 0;
        for (; i + 4 <= count; i += 4)
            _mm_storeu_ps(dst + i, _mm_mul_ps(_mm_loadu_ps(work + from + i), fv));
        for (; i < count; ++i)
            dst[i] = work[from + i] * f;
    } else {
        VARIANT(ippsCopy_32f)(work + from, dst, count);
    }
    return ippStsNoErr;
}

} // namespace NORRIK_VARIANT_NS

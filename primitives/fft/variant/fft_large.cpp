// Cache-blocked complex transform of the largest orders: blocked bit reversal, rows by the radix-4
// passes (or once more by this decomposition), then the column levels group by group in the work
// buffer. Its sizes and tables.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_large_plan.h"
#include "primitives/fft/variant/fft_fold.h"
#include "primitives/fft/variant/fft_vector_deps.h"
#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

constexpr int kBlockSide = 64;                            // the bit reversal's blocks: 64 x 64 values
constexpr int kBlockFloats = 2 * kBlockSide * kBlockSide; // 32,768 bytes

// Spec and work bytes of a plan's levels: the last level's rows on the radix-4 pass (its table
// and work), every level's column twiddles and gathered column group.
void planSizes(const FftLargePlan& plan, std::int64_t& spec, std::int64_t& work)
{
    const std::int64_t rowPoints = std::int64_t(1) << plan.rowOrder;
    spec = (8 * rowPoints + 39) & ~std::int64_t(31);
    work = (8 * rowPoints + 31) & ~std::int64_t(31);
    for (int d = 0; d < plan.depths; ++d) {
        spec += 4 * (std::int64_t(1) << plan.level[d].m);
        work = std::max(work, 8 * (std::int64_t(1) << plan.level[d].W));
    }
}

// The column twiddles of one level, in the order the transform's cursor reads them.
float* columnTwiddles(float* out, const FftLargeLevel& level, const float* base, int baseOrder)
{
    const int r = level.m - level.L;
    const long R = 1L << r, G = 1L << (level.W - level.L);
    for (long c = 0; c < R; c += G) {
        int logQ = 0;
        for (int p = 0; p < level.passes; ++p) {
            const int bits = level.bits[p];
            const long Q = 1L << logQ, radix = 1L << bits;
            const bool last = p + 1 == level.passes;
            const int logP = r + logQ + bits;
            const long P = 1L << logP, d = 1L << (baseOrder - logP);
            const long qEnd = last ? Q / 2 : Q, kEnd = last ? 2 : radix - 1;
            for (long q = 0; q < qEnd; ++q)
                for (long g = 0; g < G; g += 4)
                    for (long k = 1; k <= kEnd; ++k) {
                        for (int lane = 0; lane < 4; ++lane) {
                            float cs, sn;
                            foldCosSin(base, k * (c + g + lane + R * q), P, d, cs, sn);
                            out[lane] = cs;
                            out[4 + lane] = 0.0f - sn;
                        }
                        out += 8;
                    }
            logQ += bits;
        }
    }
    return out;
}

// The rows' radix-4 table, then the column twiddles of each level, the last level's first, and
// the work bytes; the plan's level d takes the set-up's column table of depth + d. Returns the
// address after the tables.
Ipp8u* planTables(RealFftSpec32f* spec, const FftLargePlan& plan, const float* base, int baseOrder, int depth, void* at)
{
    spec->radix4Twiddles = static_cast<Ipp32f*>(at);
    Ipp8u* next = VARIANT(ipps_initTabTwd_L1_32f)(plan.rowOrder, base, baseOrder, spec->radix4Twiddles);
    for (int d = plan.depths - 1; d >= 0; --d) {
        float* const t0 = reinterpret_cast<float*>(next);
        spec->columnTwiddles[depth + d] = t0;
        columnTwiddles(t0, plan.level[d], base, baseOrder);
        next += 4 * (std::int64_t(1) << plan.level[d].m);
    }
    std::int64_t specBytes = 0, workBytes = 0;
    planSizes(plan, specBytes, workBytes);
    spec->workBytes = static_cast<Ipp32s>(workBytes);
    return next;
}

// Runs of width complex values, stride values apart in the strided array, one after another in
// buf: move(run in the strided array, its place in buf) for each.
template <typename Strided, typename Packed, typename Move>
FFT_INLINE void forEachRun(Strided* strided, Packed* buf, int stride, int rows, int width, Move move)
{
    for (int i = 0; i < rows; ++i)
        move(strided + 2 * static_cast<std::ptrdiff_t>(stride) * i, buf + 2 * static_cast<std::ptrdiff_t>(width) * i);
}

void gatherRuns(const float* src, float* buf, int stride, int rows, int width)
{
    const std::size_t runBytes = 8 * static_cast<std::size_t>(width);
    forEachRun(src, buf, stride, rows, width, [&](const float* s, float* b) { std::memcpy(b, s, runBytes); });
}

// The reverse, turning split groups into interleaved ones when asked.
void scatterRuns(float* dst, const float* buf, int stride, int rows, int width, bool interleave)
{
    const std::size_t runBytes = 8 * static_cast<std::size_t>(width);
    forEachRun(dst, buf, stride, rows, width, [&](float* s, const float* b) {
        if (interleave) {
            for (int j = 0; j < 2 * width; j += 8)
                storeI(s + j, loadC<true>(b + j));
        } else {
            std::memcpy(s, b, runBytes);
        }
    });
}

// dst = src in fixed pieces, so no single copy's length exceeds the primitive's count.
void copyInPieces(const float* src, float* dst, std::int64_t n)
{
    const std::int64_t bytes = 8 * n;
    const int piece = static_cast<int>(std::min<std::int64_t>(bytes, kFftSettings.copyPiece));
    for (std::int64_t at = 0; at < bytes; at += piece)
        VARIANT(ippsCopy_8u)
    (reinterpret_cast<const Ipp8u*>(src) + at, reinterpret_cast<Ipp8u*>(dst) + at, piece);
}

void bitReverse(const RealFftSpec32f* spec, const float* src, float* dst, int m, float* work)
{
    const std::int64_t N = std::int64_t(1) << m;
    const Ipp32u* tab = spec->bitRevTable;
    if (m < kFftSettings.blockFrom) {
        if (src == dst) {
            VARIANT(ipps_BitRev1_C)(dst, N, tab);
        } else if (NORRIK_VARIANT_ID == 0 && m >= 18) {
            copyInPieces(src, dst, N);
            VARIANT(ipps_BitRev1_C)(dst, N, tab);
        } else {
            VARIANT(ipps_BitRev2_C)(src, dst, N, tab);
        }
        return;
    }
    const int stride = static_cast<int>(N / kBlockSide);
    const Ipp32u* pairs = tab + (N >> 12);
    float* const h0 = work;
    float* const h1 = work + kBlockFloats;
    auto gather = [&](const float* from, float* half) {
        gatherRuns(from, half, stride, kBlockSide, kBlockSide);
        VARIANT(ipps_cBitRev1_Blk)(half, kBlockSide * kBlockSide, pairs);
    };
    auto scatter = [&](float* to, const float* half) { scatterRuns(to, half, stride, kBlockSide, kBlockSide, false); };
    const std::int64_t blocks = N >> 12;
    if (src == dst || m >= kFftSettings.copyFrom) {
        if (src != dst)
            copyInPieces(src, dst, N);
        for (std::int64_t i = 0; i < blocks; ++i) {
            const std::int64_t k = kBlockSide * i, j = tab[i];
            if (k < j) {
                gather(dst + 2 * k, h0);
                gather(dst + 2 * j, h1);
                scatter(dst + 2 * j, h0);
                scatter(dst + 2 * k, h1);
            } else if (k == j) {
                gather(dst + 2 * k, h0);
                scatter(dst + 2 * k, h0);
            }
        }
    } else {
        for (std::int64_t i = 0; i < blocks; ++i) {
            gather(src + 2 * static_cast<std::int64_t>(tab[i]), h0);
            scatter(dst + 2 * kBlockSide * i, h0);
        }
    }
}

// Level D of the plan on its bit-reversed points at data: the rows, then the column passes, their
// twiddles from the set-up's column table of this depth. The top level leaves the points interleaved,
// a nested one in the split-by-four layout.
template <bool Inv, int D = 0>
void largeLevel(const RealFftSpec32f* spec, const FftLargePlan& plan, int depth, float* data, float* work)
{
    const FftLargeLevel& level = plan.level[D];
    const int r = level.m - level.L;
    const int R = 1 << r, rows = 1 << level.L, G = 1 << (level.W - level.L);
    const bool scale = (Inv ? spec->scaleInverse : spec->scaleForward) != 0;
    for (int i = 0; i < rows; ++i) {
        float* row = data + 2 * static_cast<std::ptrdiff_t>(R) * i;
        if (D + 1 == plan.depths) {
            auto* rowC = reinterpret_cast<Ipp32fc*>(row);
            auto* buffer = reinterpret_cast<Ipp8u*>(work);
            if (Inv)
                VARIANT(ipps_cRadix4Inv_32fc)(rowC, R, spec->radix4Twiddles, buffer, 0);
            else
                VARIANT(ipps_cRadix4Fwd_32fc)(rowC, R, spec->radix4Twiddles, buffer, 0);
            if (scale)
                VARIANT(ippsMulC_32f_I)(spec->factor, row, 2 * R);
        } else if constexpr (D + 1 < kFftLargeMaxDepths) {
            largeLevel<Inv, D + 1>(spec, plan, depth + 1, row, work);
        }
    }
    const float* cursor = spec->columnTwiddles[depth];
    auto* block = reinterpret_cast<Ipp32fc*>(work);
    for (int c = 0; c < R; c += G) {
        gatherRuns(data + 2 * c, work, R, rows, G);
        int s = G, n = rows;
        for (int p = 0; p < level.passes; ++p) {
            if (level.bits[p] == 2) {
                n /= 4;
                if (Inv)
                    VARIANT(ipps_cFftInv_Fact4_32fc)(block, block, s, n, cursor);
                else
                    VARIANT(ipps_cFftFwd_Fact4_32fc)(block, block, s, n, cursor);
                cursor += 2 * static_cast<std::ptrdiff_t>(n == 1 ? s : 3 * s);
                s *= 4;
            } else {
                n /= 8;
                if (Inv)
                    VARIANT(ipps_cFftInv_Fact8_32fc)(block, block, s, n, cursor);
                else
                    VARIANT(ipps_cFftFwd_Fact8_32fc)(block, block, s, n, cursor);
                cursor += 2 * 7 * static_cast<std::ptrdiff_t>(s);
                s *= 8;
            }
        }
        scatterRuns(data + 2 * c, work, R, rows, G, depth == 0);
    }
}

template <bool Inv>
void largeTransform(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m, Ipp32f* work)
{
    float* d = reinterpret_cast<float*>(dst);
    bitReverse(spec, reinterpret_cast<const float*>(src), d, m, work);
    largeLevel<Inv>(spec, fftLargePlan(m), 0, d, work);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_getSizesTwd_Large_Rec)(int m, int /*depth*/, int* pSpecSize, int* pInitSize, int* pWorkSize)
{
    std::int64_t spec = 0, work = 0;
    planSizes(fftLargePlan(m), spec, work);
    *pSpecSize = static_cast<int>(spec);
    *pInitSize = 0;
    *pWorkSize = static_cast<int>(work);
}

IPP_API void VARIANT(ipps_getSizesTwd_Large_32f)(int m, int* pSpecSize, int* pInitSize, int* pWorkSize)
{
    std::int64_t spec = 0, work = 0;
    planSizes(fftLargePlan(m), spec, work);
    if (m < kFftSettings.blockFrom) {
        spec += ((std::int64_t(1) << m) + 35) & ~std::int64_t(31);
    } else {
        spec += (std::int64_t(1) << (m - 10)) + 4128;
        work = std::max<std::int64_t>(work, 2 * 4 * kBlockFloats);
    }
    *pSpecSize = static_cast<int>(spec);
    *pInitSize = 0;
    *pWorkSize = static_cast<int>(work);
}

IPP_API Ipp8u* VARIANT(ipps_initTabTwd_Large_Rec)(RealFftSpec32f* spec, int m, const Ipp32f* base, int baseOrder,
                                                  int depth, void* at)
{
    return planTables(spec, fftLargePlan(m), base, baseOrder, depth, at);
}

IPP_API Ipp8u* VARIANT(ipps_initTabTwd_Large_32f)(RealFftSpec32f* spec, int m, const Ipp32f* base, int baseOrder,
                                                  void* bitRevArea)
{
    auto* tab = static_cast<Ipp32u*>(bitRevArea);
    Ipp8u* next = m >= kFftSettings.blockFrom ? VARIANT(ipps_initTabBitRevLarge)(m, 6, tab)
                                              : VARIANT(ipps_initTabBitRevNorm)(m, tab);
    next = planTables(spec, fftLargePlan(m), base, baseOrder, 0, next);
    if (m >= kFftSettings.blockFrom)
        spec->workBytes = std::max<Ipp32s>(spec->workBytes, 2 * 4 * kBlockFloats);
    return next;
}

IPP_API void VARIANT(ipps_cFftFwd_Large_32fc)(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m,
                                              Ipp32f* work)
{
    largeTransform<false>(spec, src, dst, m, work);
}

IPP_API void VARIANT(ipps_cFftInv_Large_32fc)(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m,
                                              Ipp32f* work)
{
    largeTransform<true>(spec, src, dst, m, work);
}

IPP_API void VARIANT(ipps_cFftFwd_Large_Step)(const RealFftSpec32f* spec, Ipp32fc* data, int m, int depth, Ipp32f* work)
{
    largeLevel<false>(spec, fftLargePlan(m), depth, reinterpret_cast<float*>(data), work);
}

IPP_API void VARIANT(ipps_cFftInv_Large_Step)(const RealFftSpec32f* spec, Ipp32fc* data, int m, int depth, Ipp32f* work)
{
    largeLevel<true>(spec, fftLargePlan(m), depth, reinterpret_cast<float*>(data), work);
}

IPP_API void VARIANT(ipps_cFft_BlkMerge_32fc)(const Ipp32fc* src, Ipp32fc* buf, int stride, int rows, int width)
{
    gatherRuns(reinterpret_cast<const float*>(src), reinterpret_cast<float*>(buf), stride, rows, width);
}

IPP_API void VARIANT(ipps_cFft_BlkSplit_32fc)(Ipp32fc* dst, const Ipp32fc* buf, int stride, int rows, int width,
                                              int interleave)
{
    scatterRuns(reinterpret_cast<float*>(dst), reinterpret_cast<const float*>(buf), stride, rows, width,
                interleave == 1);
}

IPP_API void VARIANT(ipps_crFft_BlkMerge_32f)(const Ipp32f* srcRe, const Ipp32f* srcIm, Ipp32f* buf, int stride,
                                              int rows, int width)
{
    for (int i = 0; i < rows; ++i, srcRe += stride, srcIm += stride)
        for (int j = 0; j < width; j += 8, buf += 16) {
            std::memcpy(buf, srcRe + j, 16);
            std::memcpy(buf + 4, srcIm + j, 16);
            std::memcpy(buf + 8, srcRe + j + 4, 16);
            std::memcpy(buf + 12, srcIm + j + 4, 16);
        }
}

IPP_API void VARIANT(ipps_crFft_BlkSplit_32f)(Ipp32f* dstRe, Ipp32f* dstIm, const Ipp32f* buf, int stride, int rows,
                                              int width)
{
    for (int i = 0; i < rows; ++i, dstRe += stride, dstIm += stride)
        for (int j = 0; j < width; j += 8, buf += 16) {
            std::memcpy(dstRe + j, buf, 16);
            std::memcpy(dstIm + j, buf + 4, 16);
            std::memcpy(dstRe + j + 4, buf + 8, 16);
            std::memcpy(dstIm + j + 4, buf + 12, 16);
        }
}

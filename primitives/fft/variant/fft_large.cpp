// Cache-blocked complex transform of the largest orders: blocked bit reversal, rows by the radix-4
// passes (or once more by this decomposition), then the column levels group by group in the work
// buffer. Its sizes and tables.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "primitives/fft/fft_internal.h"
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

int largeL(int m)
{
    return static_cast<int>(VARIANT(fft_fix_twiddle_table_32f).largeL[m]);
}
int largeW(int m)
{
    return static_cast<int>(VARIANT(fft_fix_twiddle_table_32f).largeW[m]);
}

// Column passes of one group: radix 4 when 2, 4 or 6 levels are left, else radix 8.
inline bool factorFour(int left)
{
    return left == 2 || left == 4 || left == 6;
}

void sizesRec(int m, std::int64_t& spec, std::int64_t& work)
{
    const int r = m - largeL(m);
    if (r <= kFftSettings.rowLimit) {
        spec = (8 * (std::int64_t(1) << r) + 39) & ~std::int64_t(31);
        work = (8 * (std::int64_t(1) << r) + 31) & ~std::int64_t(31);
    } else {
        sizesRec(r, spec, work);
    }
    spec += 4 * (std::int64_t(1) << m);
    work = std::max(work, 8 * (std::int64_t(1) << largeW(m)));
}

// The column twiddles of one level, in the order the transform's cursor reads them.
float* columnTwiddles(float* out, int m, const float* base, int baseOrder)
{
    const int L = largeL(m), r = m - L;
    const long R = 1L << r, G = 1L << (largeW(m) - L);
    for (long c = 0; c < R; c += G) {
        long Q = 1;
        int logQ = 0;
        for (int l = 0; l < L;) {
            const int bits = factorFour(L - l) ? 2 : 3;
            const long radix = 1L << bits;
            const bool last = l + bits == L;
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
            Q *= radix;
            logQ += bits;
            l += bits;
        }
    }
    return out;
}

// Gathers rows runs of width complex values, stride values apart, into buf; or scatters them
// back, turning split groups into interleaved ones when asked.
template <bool Merge>
void blockMove(float* strided, float* buf, int stride, int rows, int width, bool interleave)
{
    const std::size_t runBytes = 8 * static_cast<std::size_t>(width);
    for (int i = 0; i < rows; ++i) {
        float* s = strided + 2 * static_cast<std::ptrdiff_t>(stride) * i;
        float* b = buf + 2 * static_cast<std::ptrdiff_t>(width) * i;
        if (Merge) {
            std::memcpy(b, s, runBytes);
        } else if (interleave) {
            for (int j = 0; j < 2 * width; j += 8)
                storeI(s + j, loadC<true>(b + j));
        } else {
            std::memcpy(s, b, runBytes);
        }
    }
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
        blockMove<true>(const_cast<float*>(from), half, stride, kBlockSide, kBlockSide, false);
        VARIANT(ipps_cBitRev1_Blk)(half, kBlockSide * kBlockSide, pairs);
    };
    auto scatter = [&](float* to, float* half) { blockMove<false>(to, half, stride, kBlockSide, kBlockSide, false); };
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

// Rows, then the column levels, of the 2^m bit-reversed points at data; the top level leaves them
// interleaved, a nested level in the split-by-four layout.
template <bool Inv>
void largeLevel(const RealFftSpec32f* spec, float* data, int m, int depth, float* work)
{
    const int L = largeL(m), r = m - L;
    const int R = 1 << r, rows = 1 << L, G = 1 << (largeW(m) - L);
    const bool scale = (Inv ? spec->scaleInverse : spec->scaleForward) != 0;
    for (int i = 0; i < rows; ++i) {
        float* row = data + 2 * static_cast<std::ptrdiff_t>(R) * i;
        if (r <= kFftSettings.rowLimit) {
            auto* rowC = reinterpret_cast<Ipp32fc*>(row);
            auto* buffer = reinterpret_cast<Ipp8u*>(work);
            if (Inv)
                VARIANT(ipps_cRadix4Inv_32fc)(rowC, R, spec->radix4Twiddles, buffer, 0);
            else
                VARIANT(ipps_cRadix4Fwd_32fc)(rowC, R, spec->radix4Twiddles, buffer, 0);
            if (scale)
                VARIANT(ippsMulC_32f_I)(spec->factor, row, 2 * R);
        } else {
            largeLevel<Inv>(spec, row, r, depth + 1, work);
        }
    }
    const float* cursor = spec->columnTwiddles[depth];
    auto* block = reinterpret_cast<Ipp32fc*>(work);
    for (int c = 0; c < R; c += G) {
        blockMove<true>(data + 2 * c, work, R, rows, G, false);
        int s = G, n = rows;
        for (int l = 0; l < L;) {
            if (factorFour(L - l)) {
                n /= 4;
                if (Inv)
                    VARIANT(ipps_cFftInv_Fact4_32fc)(block, block, s, n, cursor);
                else
                    VARIANT(ipps_cFftFwd_Fact4_32fc)(block, block, s, n, cursor);
                cursor += 2 * static_cast<std::ptrdiff_t>(n == 1 ? s : 3 * s);
                s *= 4;
                l += 2;
            } else {
                n /= 8;
                if (Inv)
                    VARIANT(ipps_cFftInv_Fact8_32fc)(block, block, s, n, cursor);
                else
                    VARIANT(ipps_cFftFwd_Fact8_32fc)(block, block, s, n, cursor);
                cursor += 2 * 7 * static_cast<std::ptrdiff_t>(s);
                s *= 8;
                l += 3;
            }
        }
        blockMove<false>(data + 2 * c, work, R, rows, G, depth == 0);
    }
}

template <bool Inv>
void largeTransform(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m, Ipp32f* work)
{
    float* d = reinterpret_cast<float*>(dst);
    bitReverse(spec, reinterpret_cast<const float*>(src), d, m, work);
    largeLevel<Inv>(spec, d, m, 0, work);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ipps_getSizesTwd_Large_Rec)(int m, int /*depth*/, int* pSpecSize, int* pInitSize, int* pWorkSize)
{
    std::int64_t spec = 0, work = 0;
    sizesRec(m, spec, work);
    *pSpecSize = static_cast<int>(spec);
    *pInitSize = 0;
    *pWorkSize = static_cast<int>(work);
}

IPP_API void VARIANT(ipps_getSizesTwd_Large_32f)(int m, int* pSpecSize, int* pInitSize, int* pWorkSize)
{
    std::int64_t spec = 0, work = 0;
    sizesRec(m, spec, work);
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
    const int r = m - largeL(m);
    Ipp8u* next;
    if (r <= kFftSettings.rowLimit) {
        spec->radix4Twiddles = static_cast<Ipp32f*>(at);
        next = VARIANT(ipps_initTabTwd_L1_32f)(r, base, baseOrder, spec->radix4Twiddles);
        spec->workBytes = static_cast<Ipp32s>((8 * (std::int64_t(1) << r) + 31) & ~std::int64_t(31));
    } else {
        next = VARIANT(ipps_initTabTwd_Large_Rec)(spec, r, base, baseOrder, depth + 1, at);
    }
    float* const t0 = reinterpret_cast<float*>(next);
    spec->columnTwiddles[depth] = t0;
    columnTwiddles(t0, m, base, baseOrder);
    spec->workBytes = std::max<Ipp32s>(spec->workBytes, 8 << largeW(m));
    return next + 4 * (std::int64_t(1) << m);
}

IPP_API Ipp8u* VARIANT(ipps_initTabTwd_Large_32f)(RealFftSpec32f* spec, int m, const Ipp32f* base, int baseOrder,
                                                  void* bitRevArea)
{
    auto* tab = static_cast<Ipp32u*>(bitRevArea);
    Ipp8u* next = m >= kFftSettings.blockFrom ? VARIANT(ipps_initTabBitRevLarge)(m, 6, tab)
                                              : VARIANT(ipps_initTabBitRevNorm)(m, tab);
    next = VARIANT(ipps_initTabTwd_Large_Rec)(spec, m, base, baseOrder, 0, next);
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
    largeLevel<false>(spec, reinterpret_cast<float*>(data), m, depth, work);
}

IPP_API void VARIANT(ipps_cFftInv_Large_Step)(const RealFftSpec32f* spec, Ipp32fc* data, int m, int depth, Ipp32f* work)
{
    largeLevel<true>(spec, reinterpret_cast<float*>(data), m, depth, work);
}

IPP_API void VARIANT(ipps_cFft_BlkMerge_32fc)(const Ipp32fc* src, Ipp32fc* buf, int stride, int rows, int width)
{
    blockMove<true>(const_cast<float*>(reinterpret_cast<const float*>(src)), reinterpret_cast<float*>(buf), stride,
                    rows, width, false);
}

IPP_API void VARIANT(ipps_cFft_BlkSplit_32fc)(Ipp32fc* dst, const Ipp32fc* buf, int stride, int rows, int width,
                                              int interleave)
{
    blockMove<false>(reinterpret_cast<float*>(dst), const_cast<float*>(reinterpret_cast<const float*>(buf)), stride,
                     rows, width, interleave == 1);
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

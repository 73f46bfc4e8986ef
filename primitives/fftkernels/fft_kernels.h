// FFT kernels under the three variant prefixes: fixed-size transforms of 1 to 32 points with their
// per-variant pointer table, and the complex radix-4 passes.
//
// Fixed kernels take (src, dst) or, in the _scale forms, (src, dst, factor); complex ones read and
// write interleaved complex floats (2N floats). src may equal dst; any float alignment is accepted.
#pragma once

#include "primitives/common/ipptypes.h"

// A variant's exported constant block. It opens with the quarter-sine table of base order 10
// (entry k = sin(2 pi k / 1024), k = 0..256, then seven zeros), so its address is that table's.
struct alignas(16) FftFixTwiddleTable
{
    Ipp32f sine[264];
    Ipp32f r8[4];      // 0.70710683: eighth-root rotations of the radix-4, core and last factor-8 passes
    Ipp32f minusR8[4]; //
    Ipp32f c[4];       // 0.70710677, the float nearest sqrt(1/2): the factor passes
    Ipp32f minusC[4];  //
    Ipp32f tw8Re[4];   // the 8-point twiddles (1, r8, 0, -r8) and (0, -r8, -1, -r8)
    Ipp32f tw8Im[4];   //
    Ipp32u signOdd[4]; // -0.0 in lanes 1 and 3, applied by exclusive or
    Ipp32u signEven[4];
    Ipp32u largeL[31]; // by m: levels left to the cache-blocked transform's column passes (0: none)
    Ipp32u largeW[31]; // by m: log2 of the values in one column group
};

typedef void (*FftFixKernel32f)(const Ipp32f* pSrc, Ipp32f* pDst);
typedef void (*FftFixKernelScale32f)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32f factor);

// One entry of the kernel table: rows 0, 2, 4, 6 hold plain kernels, rows 1, 3, 5, 7 scaled ones.
union FftFixKernelEntry
{
    FftFixKernel32f plain;
    FftFixKernelScale32f scaled;
};

// Row labels of fft_fix_kernel_table_32f; column c is the kernel of 2^c points.
enum FftFixKernelRow
{
    kFftRowRFwd = 0,
    kFftRowRFwdScale = 1,
    kFftRowCFwd = 2,
    kFftRowCFwdScale = 3,
    kFftRowRInv = 4,
    kFftRowRInvScale = 5,
    kFftRowCInv = 6,
    kFftRowCInvScale = 7,
};

#define NORRIK_FFTK_PAIR(P, name) IPP_API void P##name(const Ipp32f* pSrc, Ipp32f* pDst);
#define NORRIK_FFTK_SCALE(P, name) IPP_API void P##name(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32f factor);

// clang-format off
#define NORRIK_FFTK_DECLARE(P) \
    NORRIK_FFTK_PAIR(P, ipps_rFFT_1_32f) NORRIK_FFTK_SCALE(P, ipps_rFFT_1_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFT_2_32f) NORRIK_FFTK_SCALE(P, ipps_rFFT_2_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTfwd_4_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTfwd_4_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTfwd_8_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTfwd_8_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTfwd_16_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTfwd_16_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTfwd_32_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTfwd_32_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTinv_4_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTinv_4_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTinv_8_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTinv_8_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTinv_16_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTinv_16_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_rFFTinv_32_32f) NORRIK_FFTK_SCALE(P, ipps_rFFTinv_32_scale_32f) \
    NORRIK_FFTK_PAIR(P, ipps_cFFT_1_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFT_1_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFT_2_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFT_2_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTfwd_4_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTfwd_4_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTfwd_8_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTfwd_8_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTfwd_16_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTfwd_16_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTfwd_32_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTfwd_32_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTinv_4_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTinv_4_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTinv_8_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTinv_8_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTinv_16_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTinv_16_scale_32fc) \
    NORRIK_FFTK_PAIR(P, ipps_cFFTinv_32_32fc) NORRIK_FFTK_SCALE(P, ipps_cFFTinv_32_scale_32fc) \
    extern "C" IPP_EXPORT const FftFixKernelEntry P##fft_fix_kernel_table_32f[8][6]; \
    extern "C" IPP_EXPORT const FftFixTwiddleTable P##fft_fix_twiddle_table_32f; \
    /* Complex transform of n points read through the Norm bit-reversal table, natural-order */ \
    /* interleaved result in dst (src may equal dst); buffer: 8n bytes, 16-byte aligned. */ \
    IPP_API void P##ipps_cRadix4FwdNorm_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst, int n, const Ipp32f* pTwd, \
                                             const Ipp32u* pBitRev, Ipp8u* pBuffer); \
    IPP_API void P##ipps_cRadix4InvNorm_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst, int n, const Ipp32f* pTwd, \
                                             const Ipp32u* pBitRev, Ipp8u* pBuffer); \
    /* In place on bit-reversed data; interleave 1 writes interleaved, else split-by-four. */ \
    IPP_API void P##ipps_cRadix4Fwd_32fc(Ipp32fc* pData, int n, const Ipp32f* pTwd, Ipp8u* pBuffer, int interleave); \
    IPP_API void P##ipps_cRadix4Inv_32fc(Ipp32fc* pData, int n, const Ipp32f* pTwd, Ipp8u* pBuffer, int interleave); \
    /* One radix-4 or radix-8 level in place on count groups of rows of len points (split-by-four, */ \
    /* rows in bit-reversed order); pTw: this call's share of the column twiddles, 16-byte aligned. */ \
    IPP_API void P##ipps_cFftFwd_Fact4_32fc(Ipp32fc* pSrcDst, void* pUnused, int len, int count, const Ipp32f* pTw); \
    IPP_API void P##ipps_cFftInv_Fact4_32fc(Ipp32fc* pSrcDst, void* pUnused, int len, int count, const Ipp32f* pTw); \
    IPP_API void P##ipps_cFftFwd_Fact8_32fc(Ipp32fc* pSrcDst, void* pUnused, int len, int count, const Ipp32f* pTw); \
    IPP_API void P##ipps_cFftInv_Fact8_32fc(Ipp32fc* pSrcDst, void* pUnused, int len, int count, const Ipp32f* pTw); \
    /* The complex passes on two float arrays (real parts, imaginary parts); the work buffer of */ \
    /* 8n bytes, 16-byte aligned, serves every n from 16 on. */ \
    IPP_API void P##ipps_crRadix4FwdNorm_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDstRe, \
                                             Ipp32f* pDstIm, int n, const Ipp32f* pTw, const Ipp32u* pBitRev, \
                                             Ipp8u* pBuffer); \
    IPP_API void P##ipps_crRadix4InvNorm_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDstRe, \
                                             Ipp32f* pDstIm, int n, const Ipp32f* pTw, const Ipp32u* pBitRev, \
                                             Ipp8u* pBuffer); \
    IPP_API void P##ipps_crRadix4Fwd_32f(Ipp32f* pSrcDstRe, Ipp32f* pSrcDstIm, int n, const Ipp32f* pTw, \
                                         Ipp8u* pBuffer); \
    IPP_API void P##ipps_crRadix4Inv_32f(Ipp32f* pSrcDstRe, Ipp32f* pSrcDstIm, int n, const Ipp32f* pTw, \
                                         Ipp8u* pBuffer);

// Core passes: the four len-point sub-transforms x[8m + c], c = 0..3, of the rows the table names,
// into four split-by-four areas of pDst (pBuffer, 32 len bytes, when pDst is pSrc or unaligned);
// the last factor-8 passes join eight such areas into natural order. u8_ and y8_ only.
#define NORRIK_FFTK_DECLARE_CORE(P) \
    IPP_API void P##ipps_cFftFwd_CoreMT_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst, Ipp64s len, const Ipp32f* pTw, \
                                             const Ipp32u* pBitRev, Ipp32f* pBuffer); \
    IPP_API void P##ipps_cFftInv_CoreMT_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst, Ipp64s len, const Ipp32f* pTw, \
                                             const Ipp32u* pBitRev, Ipp32f* pBuffer); \
    IPP_API void P##ipps_crFftFwd_CoreMT_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, Ipp64s len, \
                                             const Ipp32f* pTw, const Ipp32u* pBitRev); \
    IPP_API void P##ipps_crFftInv_CoreMT_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, Ipp64s len, \
                                             const Ipp32f* pTw, const Ipp32u* pBitRev); \
    IPP_API void P##ipps_cFftFwd_Fact8_Last_32fc(const Ipp32f* pSrc, Ipp32fc* pDst, Ipp64s len, Ipp64s count, \
                                                 const Ipp32f* pTw); \
    IPP_API void P##ipps_cFftInv_Fact8_Last_32fc(const Ipp32f* pSrc, Ipp32fc* pDst, Ipp64s len, Ipp64s count, \
                                                 const Ipp32f* pTw); \
    IPP_API void P##ipps_crFftFwd_Fact8_Last_32f(const Ipp32f* pSrc, Ipp32f* pDstRe, Ipp32f* pDstIm, Ipp64s len, \
                                                 int count, const Ipp32f* pTw); \
    IPP_API void P##ipps_crFftInv_Fact8_Last_32f(const Ipp32f* pSrc, Ipp32f* pDstRe, Ipp32f* pDstIm, Ipp64s len, \
                                                 int count, const Ipp32f* pTw);
// clang-format on

NORRIK_FFTK_DECLARE(m7_)
NORRIK_FFTK_DECLARE(u8_)
NORRIK_FFTK_DECLARE(y8_)
NORRIK_FFTK_DECLARE_CORE(u8_)
NORRIK_FFTK_DECLARE_CORE(y8_)
#undef NORRIK_FFTK_DECLARE_CORE
#undef NORRIK_FFTK_DECLARE
#undef NORRIK_FFTK_PAIR
#undef NORRIK_FFTK_SCALE

// The m7_ constant block under its plain name.
extern "C" IPP_EXPORT const FftFixTwiddleTable fft_fix_twiddle_table_32f;

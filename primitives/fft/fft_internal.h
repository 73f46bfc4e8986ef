// Layout of the real-FFT spec record and the internal routines that build and use its tables,
// declared under the three variant prefixes (they check nothing and return no status).
#pragma once

#include <cstddef>

#include "primitives/common/ipptypes.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/fftkernels/fft_kernels.h"

struct RealFftSpec32f
{
    Ipp32u id; // 6 in a valid spec
    Ipp32s order;
    Ipp32u scaleForward;
    Ipp32u scaleInverse;
    Ipp32f factor;
    Ipp32u hint; // stored, never read
    Ipp32s workBytes;
    Ipp32u selfAllocated;
    Ipp8u reserved0[8];
    Ipp32u* bitRevTable;
    Ipp32f* radix4Twiddles;
    Ipp32f* largeAuxTwiddles;
    Ipp8u reserved1[8];
    Ipp32f* realRecTwiddles;
    Ipp32f* ccsRecTwiddles;
    Ipp8u reserved2[24];
    Ipp32f* columnTwiddles[3];
};
static_assert(sizeof(RealFftSpec32f) == 136);
static_assert(offsetof(RealFftSpec32f, bitRevTable) == 40);
static_assert(offsetof(RealFftSpec32f, realRecTwiddles) == 72);
static_assert(offsetof(RealFftSpec32f, columnTwiddles) == 112);

constexpr Ipp32u kRealFftSpecId = 6;

#define NORRIK_FFT_INTERNAL_DECLARE(P)                                                                                 \
    IPP_API Ipp8u* P##ipps_initTabTwdBase_32f(int order, Ipp32f* table);                                               \
    IPP_API Ipp8u* P##ipps_initTabTwd_L1_32f(int m, const Ipp32f* base, int baseOrder, Ipp32f* dst);                   \
    IPP_API Ipp8u* P##ipps_initTabBitRevNorm(int m, Ipp32u* tab);                                                      \
    IPP_API Ipp8u* P##ipps_initTabBitRev(int m, Ipp32u* tab);                                                          \
    IPP_API Ipp8u* P##ipps_initTabBitRevLarge(int m, int s, Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev1_4(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev1_8(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_sBitRev1_Blk(void* x, Ipp64s n, const Ipp32u* tab);                                           \
    IPP_API void P##ipps_cBitRev1_Blk(void* x, Ipp64s n, const Ipp32u* tab);                                           \
    IPP_API void P##ipps_dBitRev1_Blk(void* x, Ipp64s n, const Ipp32u* tab);                                           \
    IPP_API void P##ipps_zBitRev1_Blk(void* x, Ipp64s n, const Ipp32u* tab);                                           \
    IPP_API void P##ipps_BitRev2_4(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API void P##ipps_BitRev2_8(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API void P##ipps_BitRev1_S(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev1_C(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev1_D(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev1_Z(void* x, Ipp64s n, const Ipp32u* tab);                                              \
    IPP_API void P##ipps_BitRev2_S(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API void P##ipps_BitRev2_C(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API void P##ipps_BitRev2_D(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API void P##ipps_BitRev2_Z(const void* src, void* dst, Ipp64s n, const Ipp32u* tab);                           \
    IPP_API Ipp8u* P##ipps_initTabTwdRealRec_32f(int order, const Ipp32f* base, int baseOrder, void* dst);             \
    IPP_API Ipp8u* P##ipps_initTabTwdCcsRec_32f(int order, const Ipp32f* base, int baseOrder, void* dst);              \
    IPP_API void P##ipps_cRealRecombine_32f(Ipp32fc* data, int M, const Ipp32f* table);                                \
    IPP_API void P##ipps_cCcsRecombine_32f(const Ipp32fc* src, Ipp32fc* dst, int M, const Ipp32f* table);              \
    IPP_API void P##ipps_getSizesTwd_Large_32f(int m, int* pSpecSize, int* pInitSize, int* pWorkSize);                 \
    IPP_API void P##ipps_getSizesTwd_Large_Rec(int m, int depth, int* pSpecSize, int* pInitSize, int* pWorkSize);      \
    IPP_API Ipp8u* P##ipps_initTabTwd_Large_32f(RealFftSpec32f* spec, int m, const Ipp32f* base, int baseOrder,        \
                                                void* bitRevArea);                                                     \
    IPP_API Ipp8u* P##ipps_initTabTwd_Large_Rec(RealFftSpec32f* spec, int m, const Ipp32f* base, int baseOrder,        \
                                                int depth, void* at);                                                  \
    IPP_API void P##ipps_cFftFwd_Large_32fc(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m,       \
                                            Ipp32f* work);                                                             \
    IPP_API void P##ipps_cFftInv_Large_32fc(const RealFftSpec32f* spec, const Ipp32fc* src, Ipp32fc* dst, int m,       \
                                            Ipp32f* work);                                                             \
    IPP_API void P##ipps_cFftFwd_Large_Step(const RealFftSpec32f* spec, Ipp32fc* data, int m, int depth,               \
                                            Ipp32f* work);                                                             \
    IPP_API void P##ipps_cFftInv_Large_Step(const RealFftSpec32f* spec, Ipp32fc* data, int m, int depth,               \
                                            Ipp32f* work);                                                             \
    IPP_API void P##ipps_cFft_BlkMerge_32fc(const Ipp32fc* src, Ipp32fc* buf, int stride, int rows, int width);        \
    IPP_API void P##ipps_cFft_BlkSplit_32fc(Ipp32fc* dst, const Ipp32fc* buf, int stride, int rows, int width,         \
                                            int interleave);                                                           \
    IPP_API void P##ipps_crFft_BlkMerge_32f(const Ipp32f* srcRe, const Ipp32f* srcIm, Ipp32f* buf, int stride,         \
                                            int rows, int width);                                                      \
    IPP_API void P##ipps_crFft_BlkSplit_32f(Ipp32f* dstRe, Ipp32f* dstIm, const Ipp32f* buf, int stride, int rows,     \
                                            int width);                                                                \
    IPP_API void P##ownps_Mpy2_32fc(const Ipp32fc* src, Ipp32fc* srcDst, Ipp32u count);                                \
    IPP_API void P##ownps_Mpy3_32fc(const Ipp32fc* src1, const Ipp32fc* src2, Ipp32fc* dst, Ipp32u count);

NORRIK_FFT_INTERNAL_DECLARE(m7_)
NORRIK_FFT_INTERNAL_DECLARE(u8_)
NORRIK_FFT_INTERNAL_DECLARE(y8_)
#undef NORRIK_FFT_INTERNAL_DECLARE

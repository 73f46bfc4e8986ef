// Real FFT in the packed Perm layout and the Perm spectrum product, under the three variant prefixes.
//
// Perm layout of N = 2^order real points: N floats, [X0, X(N/2), Re X1, Im X1, ..., Re X(N/2-1),
// Im X(N/2-1)]; for N = 1 the single value. Flags: 1 scales the forward transform by 1/N, 2 the
// inverse by 1/N, 4 both by 1/sqrt(N), 8 neither.
#pragma once

#include "primitives/common/ipptypes.h"

// Spec record: a 32-byte-aligned 136-byte header followed by the transform's tables.
struct RealFftSpec32f;

#define NORRIK_FFT_DECLARE(P)                                                                                          \
    IPP_API IppStatus P##ippsFFTGetSize_R_32f(int order, int flag, int hint, int* pSpecSize, int* pInitSize,           \
                                              int* pWorkSize);                                                         \
    IPP_API IppStatus P##ippsFFTInit_R_32f(RealFftSpec32f** ppSpec, int order, int flag, int hint, Ipp8u* pMemSpec,    \
                                           Ipp8u* pMemInit);                                                           \
    IPP_API IppStatus P##ippsFFTInitAlloc_R_32f(RealFftSpec32f** ppSpec, int order, int flag, int hint);               \
    IPP_API IppStatus P##ippsFFTFree_R_32f(RealFftSpec32f* pSpec);                                                     \
    IPP_API IppStatus P##ippsFFTGetBufSize_R_32f(const RealFftSpec32f* pSpec, int* pSize);                             \
    IPP_API IppStatus P##ippsFFTFwd_RToPerm_32f(const Ipp32f* pSrc, Ipp32f* pDst, const RealFftSpec32f* pSpec,         \
                                                Ipp8u* pBuffer);                                                       \
    IPP_API IppStatus P##ippsFFTInv_PermToR_32f(const Ipp32f* pSrc, Ipp32f* pDst, const RealFftSpec32f* pSpec,         \
                                                Ipp8u* pBuffer);                                                       \
    IPP_API IppStatus P##ippsMulPerm_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len);

NORRIK_FFT_DECLARE(m7_)
NORRIK_FFT_DECLARE(u8_)
NORRIK_FFT_DECLARE(y8_)
#undef NORRIK_FFT_DECLARE

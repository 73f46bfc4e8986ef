// The vector primitives of this variant that the FFT calls directly (never the dispatch stubs).
#pragma once

#include "primitives/common/variant.h"

IPP_API Ipp8u* VARIANT(ippsMalloc_8u)(int len);
IPP_API void VARIANT(ippsFree)(void* ptr);
IPP_API IppStatus VARIANT(ippsZero_8u)(Ipp8u* pDst, int len);
IPP_API IppStatus VARIANT(ippsMulC_32f_I)(Ipp32f val, Ipp32f* pSrcDst, int len);

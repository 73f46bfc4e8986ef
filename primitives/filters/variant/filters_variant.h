// Shared by the variant sources of the filters: the same variant's memory, copy and FFT
// primitives, and the per-variant settings. Included only from variant/*.cpp.
#pragma once

#include <climits>

#include "primitives/common/variant.h"
#include "primitives/filters/filter_states.h"

#ifndef NORRIK_VARIANT
#error "filters_variant.h belongs to the variant sources"
#endif

// Memory and vector operations of this variant.
IPP_API Ipp8u* VARIANT(ippsMalloc_8u)(int len);
IPP_API void VARIANT(ippsFree)(void* p);
IPP_API IppStatus VARIANT(ippsCopy_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int len);
IPP_API IppStatus VARIANT(ippsZero_32f)(Ipp32f* pDst, int len);
IPP_API IppStatus VARIANT(ippsMove_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int len);
IPP_API IppStatus VARIANT(ippsMulC_32f)(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len);

// Real FFT of this variant (packed Perm spectrum), for the FIR's block convolution.
struct IppsFFTSpec_R_32f;
IPP_API IppStatus VARIANT(ippsFFTInitAlloc_R_32f)(IppsFFTSpec_R_32f** ppSpec, int order, int flag, int hint);
IPP_API IppStatus VARIANT(ippsFFTGetBufSize_R_32f)(const IppsFFTSpec_R_32f* pSpec, int* pSize);
IPP_API IppStatus VARIANT(ippsFFTFwd_RToPerm_32f)(const Ipp32f* pSrc, Ipp32f* pDst, const IppsFFTSpec_R_32f* pSpec,
                                                 Ipp8u* pBuffer);
IPP_API IppStatus VARIANT(ippsFFTInv_PermToR_32f)(const Ipp32f* pSrc, Ipp32f* pDst, const IppsFFTSpec_R_32f* pSpec,
                                                 Ipp8u* pBuffer);
IPP_API IppStatus VARIANT(ippsMulPerm_32f_I)(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len);
IPP_API IppStatus VARIANT(ippsFFTFree_R_32f)(IppsFFTSpec_R_32f* pSpec);

namespace NORRIK_VARIANT_NS {

// What differs between the instruction-set variants of the filters. The IIR is the same in all
// of them (same operations in the same order); the FIR's long direct filters use pre-shifted tap
// rows from SSSE3 on.
struct FilterSettings {
    bool firTapRows;       // taps area holds four shifted rows (else the plain reversed taps)
    int firRowsAboveTaps;  // rows kernel for tap counts above this
};

#if NORRIK_VARIANT_ID == 0
inline constexpr FilterSettings kSettings{false, INT_MAX};
#else
inline constexpr FilterSettings kSettings{true, 31};
#endif

}  // namespace NORRIK_VARIANT_NS

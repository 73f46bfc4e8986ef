// Exported names of the vector primitives: CPU detection and dispatch, primitive memory,
// the vector operations in their m7_/u8_/y8_ variants and the first eight dispatch stubs.
#pragma once

#include <cstddef>

#include "primitives/common/dispatch.h"

// ---------------------------------------------------------------------------------------------
// CPU detection and variant dispatch

IPP_API Ipp32s ippJumpIndexForMergedLibsLP;
IPP_API Ipp32s i_version;

IPP_API IppStatus ippStaticInit(void);
IPP_API IppStatus ippInit(void);
IPP_API IppStatus ippStaticInitCpu(Ipp32u cpuCode);
IPP_API IppStatus ippInitCpu(Ipp32u cpuCode);
IPP_API IppStatus ippGetCpuFeatures(Ipp64u* pMask, Ipp32u regs[4]);
IPP_API IppStatus ippSetCpuFeaturesMask(Ipp64u mask);
IPP_API Ipp64u ippGetEnabledCpuFeatures(void);

IPP_API Ipp32s ownGetMaskFeatures(Ipp64u* pMask);
IPP_API Ipp32s ownSetFeatureMask(Ipp64u mask);
IPP_API Ipp32s ownGetFeature(Ipp64u mask);
IPP_API void ownGetReg(Ipp32u regs[4], Ipp32s leaf, Ipp32s subLeaf);

// CPU probes: 0 or 1 unless stated.
IPP_API Ipp32s ipp_has_cpuid(void);
IPP_API Ipp32s ipp_max_cpuid_input(void);
IPP_API Ipp32s ipp_has_rdtsc(void);
IPP_API Ipp32s ipp_is_mmx_extension(void);
IPP_API Ipp32s ipp_is_ssx_extension(void);
IPP_API Ipp32s ipp_is_wni_extension(void);
IPP_API Ipp32s ipp_is_htt_extension(void);
IPP_API Ipp32s ipp_is_pni_extension(void);
IPP_API Ipp32s ipp_is_em64t_extension(void);
IPP_API Ipp32s ipp_is_mni_extension(void);
IPP_API Ipp32s ipp_is_sse41_extension(void);
IPP_API Ipp32s ipp_is_sse42_extension(void);
IPP_API Ipp32s ipp_is_movbe(void);
IPP_API Ipp32s ipp_is_avx_extension(void);
IPP_API Ipp32s ipp_get_cores_on_die(void);
IPP_API Ipp64u ipp_get_pentium_counter(void);
IPP_API Ipp32s ipp_is_GenuineIntel(void);

// ---------------------------------------------------------------------------------------------
// Dispatch stubs 1 to 8 and their four-entry tables [m7_, m7_, u8_, y8_], in table order (the
// filters library declares stubs 9 to 17)

typedef IppStatus (*ippsMulC_32f_I_Fn)(Ipp32f val, Ipp32f* pSrcDst, Ipp32s len);
typedef IppStatus (*ippsAdd_32f_I_Fn)(const Ipp32f* pSrc, Ipp32f* pSrcDst, Ipp32s len);
typedef IppStatus (*ippsSqr_32f_Fn)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len);
typedef IppStatus (*ippsSum_32f_Fn)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pSum, Ipp32s hint);
typedef IppStatus (*ippsMax_32f_Fn)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax);
typedef IppStatus (*ippsMaxIndx_32f_Fn)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax, Ipp32s* pIndx);
typedef IppStatus (*ippsMinMax_32f_Fn)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32f* pMax);
typedef IppStatus (*ippsMinMaxIndx_32f_Fn)(const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32s* pMinIndx, Ipp32f* pMax,
                                           Ipp32s* pMaxIndx);

IPPS_DECLARE_DISPATCHED(ippsMulC_32f_I, (Ipp32f val, Ipp32f* pSrcDst, Ipp32s len))
IPPS_DECLARE_DISPATCHED(ippsAdd_32f_I, (const Ipp32f* pSrc, Ipp32f* pSrcDst, Ipp32s len))
IPPS_DECLARE_DISPATCHED(ippsSqr_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len))
IPPS_DECLARE_DISPATCHED(ippsSum_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pSum, Ipp32s hint))
IPPS_DECLARE_DISPATCHED(ippsMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax))
IPPS_DECLARE_DISPATCHED(ippsMaxIndx_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax, Ipp32s* pIndx))
IPPS_DECLARE_DISPATCHED(ippsMinMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32f* pMax))
IPPS_DECLARE_DISPATCHED(ippsMinMaxIndx_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32s* pMinIndx,
                                             Ipp32f* pMax, Ipp32s* pMaxIndx))

// ---------------------------------------------------------------------------------------------
// Memory: 32-byte aligned blocks from the heap behind four replaceable pointers

typedef void* (*IppMallocFn)(std::size_t);
typedef void* (*IppCallocFn)(std::size_t, std::size_t);
typedef void* (*IppReallocFn)(void*, std::size_t);
typedef void (*IppFreeFn)(void*);
IPP_API IppMallocFn i_malloc;
IPP_API IppCallocFn i_calloc;
IPP_API IppReallocFn i_realloc;
IPP_API IppFreeFn i_free;

IPP_API void* ippMalloc(Ipp32s length);
IPP_API void ippFree(void* p);
IPPS_DECLARE_VARIANTS(Ipp8u*, ippsMalloc_8u, (Ipp32s length))
IPPS_DECLARE_VARIANTS(void, ippsFree, (void* p))

// ---------------------------------------------------------------------------------------------
// Copy, zero, move, add, multiply by a constant (variant names only, besides the stubs above)

IPPS_DECLARE_VARIANTS(IppStatus, ippsCopy_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len))
IPPS_DECLARE_VARIANTS(IppStatus, ippsCopy_8u, (const Ipp8u* pSrc, Ipp8u* pDst, Ipp32s len))
IPPS_DECLARE_VARIANTS(IppStatus, ippsZero_32f, (Ipp32f * pDst, Ipp32s len))
IPPS_DECLARE_VARIANTS(IppStatus, ippsZero_8u, (Ipp8u * pDst, Ipp32s len))
IPPS_DECLARE_VARIANTS(IppStatus, ippsMove_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len))
IPPS_DECLARE_VARIANTS(IppStatus, ippsMulC_32f, (const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, Ipp32s len))

IPPS_DECLARE_VARIANTS(void*, ownsCopy_8u, (const void* src, void* dst, Ipp32s nBytes))
IPPS_DECLARE_VARIANTS(void*, ownsZero_8u, (void* dst, Ipp32s nBytes))
IPP_API void m7_ownsMove_8u_M7(const void* src, void* dst, Ipp32u nBytes);
IPP_API void u8_ownsMove_8u(const void* src, void* dst, Ipp32u nBytes);
IPP_API void y8_ownsMove_8u(const void* src, void* dst, Ipp32u nBytes);
IPPS_DECLARE_VARIANTS(void, ownsAdd_32f_I, (const Ipp32f* src, Ipp32f* srcDst, Ipp32s n))
IPPS_DECLARE_VARIANTS(void, ownsMulC_32f, (const Ipp32f* src, Ipp32f* dst, Ipp32s n, Ipp32f val))
IPPS_DECLARE_VARIANTS(void, ownsMulC_32f_I, (Ipp32f * srcDst, Ipp32s n, Ipp32f val))

// ---------------------------------------------------------------------------------------------
// Maximum and minimum kernels

IPPS_DECLARE_VARIANTS(void, ownippsMax_32f, (const Ipp32f* src, Ipp32s len, Ipp32f* pMax))
IPPS_DECLARE_VARIANTS(void, ownippsMax_64f, (const Ipp64f* src, Ipp32s len, Ipp64f* pMax))
IPPS_DECLARE_VARIANTS(Ipp16s, ownippsMax_16s, (const Ipp16s* src, Ipp32s len, Ipp16s* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_32f_M7, (const Ipp32f* src, Ipp32u len, Ipp32f* pMin, Ipp32f* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_64f_M7, (const Ipp64f* src, Ipp32u len, Ipp64f* pMin, Ipp64f* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_16s_M7, (const Ipp16s* src, Ipp32u len, Ipp16s* pMin, Ipp16s* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_8u_M7, (const Ipp8u* src, Ipp32u len, Ipp8u* pMin, Ipp8u* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_16u_M7, (const Ipp16u* src, Ipp32u len, Ipp16u* pMin, Ipp16u* pMax))
IPPS_DECLARE_VARIANTS(void, MiniMax_32s_M7, (const Ipp32s* src, Ipp32u len, Ipp32s* pMin, Ipp32s* pMax))
IPPS_DECLARE_VARIANTS(void, ownsMaxFind_32f_M7, (const Ipp32f* src, Ipp32u n, Ipp32f* pOut))
IPPS_DECLARE_VARIANTS(void, ownsMinFind_32f_M7, (const Ipp32f* src, Ipp32u n, Ipp32f* pOut))
IPPS_DECLARE_VARIANTS(Ipp32s, ownsIndx_32f_M7, (const Ipp32f* src, const Ipp32f* pValue))
IPPS_DECLARE_VARIANTS(Ipp16s, ownsMaxFind_16s_M7, (const Ipp16s* src, Ipp32u n))
IPPS_DECLARE_VARIANTS(Ipp16s, ownsMinFind_16s_M7, (const Ipp16s* src, Ipp32u n))
IPPS_DECLARE_VARIANTS(Ipp32s, ownsIndx_16s_M7, (const Ipp16s* src, Ipp16s value))
IPPS_DECLARE_VARIANTS(void, ownsMaxIndx_64f_M7, (const Ipp64f* src, Ipp32u len, Ipp64f* pValue, Ipp32s* pIndx))
IPPS_DECLARE_VARIANTS(void, ownsMinIndx_64f_M7, (const Ipp64f* src, Ipp32u len, Ipp64f* pValue, Ipp32s* pIndx))

// ---------------------------------------------------------------------------------------------
// Sum kernels

IPPS_DECLARE_VARIANTS(Ipp64f, ownippsSum_32f, (const Ipp32f* src, Ipp32s len, Ipp32s hint))
IPPS_DECLARE_VARIANTS(void, ownippsSum_32f_Accur, (const Ipp32f* src, Ipp32s len, Ipp64f* pSum))
IPPS_DECLARE_VARIANTS(void, ownippsSum_32f_Fast, (const Ipp32f* src, Ipp32s len, Ipp64f* pSum))
IPPS_DECLARE_VARIANTS(void, ownippsSum_32fc_Accur, (const Ipp32fc* src, Ipp32s len, Ipp64f pSum[2]))
IPPS_DECLARE_VARIANTS(void, ownippsSum_32fc_Fast, (const Ipp32fc* src, Ipp32s len, Ipp64f pSum[2]))
IPPS_DECLARE_VARIANTS(void, ownippsSum_64f, (const Ipp64f* src, Ipp32s len, Ipp64f* pSum))
IPPS_DECLARE_VARIANTS(void, ownippsSum_64fc, (const Ipp64fc* src, Ipp32s len, Ipp64f pSum[2]))
IPPS_DECLARE_VARIANTS(void, ownippsSum_16s64f, (const Ipp16s* src, Ipp64f* pSum, Ipp32s len))
IPPS_DECLARE_VARIANTS(void, ownippsSum_16sc64fc, (const Ipp16sc* src, Ipp64f pSum[2], Ipp32s len))
IPPS_DECLARE_VARIANTS(Ipp32s, ownippsSum_16s32s_ASM, (const Ipp64f* pSum, Ipp32s scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownippsSum_16sc32sc_ASM, (const Ipp64f pSum[2], Ipp32s pair[2], Ipp32s scaleFactor))

// ---------------------------------------------------------------------------------------------
// Square kernels

IPPS_DECLARE_VARIANTS(void, ownippsSqr_32f, (const Ipp32f* src, Ipp32f* dst, Ipp32s len))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_64f, (const Ipp64f* src, Ipp64f* dst, Ipp32s len))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_32fc, (const Ipp32fc* src, Ipp32fc* dst, Ipp32s len))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_64fc, (const Ipp64fc* src, Ipp64fc* dst, Ipp32s len))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_8u, (const Ipp8u* src, Ipp8u* dst, Ipp32s len, Ipp32s scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_16u, (const Ipp16u* src, Ipp16u* dst, Ipp32s len, Ipp32s scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_16s_ASM, (const Ipp16s* src, Ipp16s* dst, Ipp32s len, Ipp32s scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownippsSqr_16sc_ASM, (const Ipp16sc* src, Ipp16sc* dst, Ipp32s len, Ipp32s scaleFactor))

// ---------------------------------------------------------------------------------------------
// Processor identification, cache size, floating-point control and status

// 23 fields, in the order ipp_get_pentium_ident fills them.
struct IppPentiumIdent
{
    Ipp32s family, stepping, model, type, featuresEdx, leaf2Eax, leaf2Edx, mmx, reserved, sse, sse2, htt, sse3, em64t,
        ssse3, coresOnDie, sse41, sse42, extFamily, extModel, movbe, avx, osxsave;
};

IPP_API Ipp32s ownGetCacheSize(const Ipp32s* table);
IPP_API void ipp_get_pentium_ident(IppPentiumIdent* record);

IPP_API Ipp32u ps_get_cw_fpu(void);
IPP_API Ipp32u ps_set_cw_fpu(Ipp32u value, Ipp32u mask);
IPP_API Ipp32u ps_get_sw_fpu(void);
IPP_API Ipp32u ps_clear_fpu(void);
IPP_API void ipp_set_cw_fpu(Ipp32u value);
IPP_API void ipp_set_rcpc_fpu(Ipp32u value, Ipp32u mask);
IPP_API Ipp32u ps_get_ssx(void);
IPP_API Ipp32u ps_set_ssx(Ipp32u value, Ipp32u mask);
IPP_API Ipp32u ipp_clear_ssx(void);
IPP_API void ipp_set_cw_ssx(Ipp32u value);
IPP_API Ipp32u ipp_set_rc_ssx(Ipp32u rc);
IPP_API Ipp32s ipp_tst_daz_ssx(void);
IPP_API Ipp32s ipp_isnan(Ipp64f x);
IPP_API Ipp32s ipp_finite(Ipp64f x);
IPP_API Ipp32u ipp_status87(void);
IPP_API Ipp32u ipp_clear87(void);
IPP_API Ipp32u ipp_control87(Ipp32u newWord, Ipp32u mask);

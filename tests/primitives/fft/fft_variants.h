// The FFT routines of each variant, gathered so tests and benchmarks can run every variant alike.
#pragma once

#include <array>
#include <string>

#include "primitives/fft/fft_convolve.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_large_plan.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/fftkernels/fft_kernels.h"

struct FftVariant
{
    std::string name;
    int largeFrom;    // first order of the cache-blocked transform
    int recThreshold; // first order of the two-level recombination tables
    decltype(&m7_ippsFFTGetSize_R_32f) getSize;
    decltype(&m7_ippsFFTInit_R_32f) init;
    decltype(&m7_ippsFFTInitAlloc_R_32f) initAlloc;
    decltype(&m7_ippsFFTFree_R_32f) free;
    decltype(&m7_ippsFFTGetBufSize_R_32f) getBufSize;
    decltype(&m7_ippsFFTFwd_RToPerm_32f) fwd;
    decltype(&m7_ippsFFTInv_PermToR_32f) inv;
    decltype(&m7_ippsMulPerm_32f_I) mulPerm;
    decltype(&m7_ownps_Mpy3_32fc) mpy3;
    decltype(&m7_ipps_initTabBitRevNorm) bitRevNorm;
    decltype(&m7_ipps_initTabTwd_L1_32f) twdL1;
    decltype(&m7_ipps_initTabTwdBase_32f) twdBase;
    decltype(&m7_ipps_initTabTwdRealRec_32f) realRec;
    decltype(&m7_ipps_initTabTwdCcsRec_32f) ccsRec;
    decltype(&m7_ipps_cRadix4FwdNorm_32fc) fwdNorm;
    decltype(&m7_ipps_cRadix4InvNorm_32fc) invNorm;
    decltype(&m7_ipps_cFftFwd_Fact4_32fc) fwdFact4;
    decltype(&m7_ipps_cFftInv_Fact4_32fc) invFact4;
    decltype(&m7_ipps_cFftFwd_Fact8_32fc) fwdFact8;
    decltype(&m7_ipps_cFftInv_Fact8_32fc) invFact8;
    decltype(&m7_ipps_crRadix4FwdNorm_32f) fwdNormSplit;
    decltype(&m7_ipps_crRadix4InvNorm_32f) invNormSplit;
    decltype(&m7_ipps_crRadix4Fwd_32f) fwdPlainSplit;
    decltype(&m7_ipps_crRadix4Inv_32f) invPlainSplit;
    const FftFixKernelEntry (*kernels)[6];
    const Ipp32f* fixTwiddles;
    decltype(&m7::fftLargePlan) largePlan;
    decltype(&m7_ipps_BitRev2_C) bitRev2C;
    decltype(&m7_ipps_cRadix4Fwd_32fc) fwdPlain;
    decltype(&m7_ipps_cRealRecombine_32f) realRecombine;
    decltype(&m7::fftConvolveBlock) convolve;
};

// clang-format off
#define NORRIK_FFT_VARIANT(P, NS, large, rec) \
    FftVariant{#P, large, rec, P##ippsFFTGetSize_R_32f, P##ippsFFTInit_R_32f, P##ippsFFTInitAlloc_R_32f, \
               P##ippsFFTFree_R_32f, P##ippsFFTGetBufSize_R_32f, P##ippsFFTFwd_RToPerm_32f, \
               P##ippsFFTInv_PermToR_32f, P##ippsMulPerm_32f_I, P##ownps_Mpy3_32fc, P##ipps_initTabBitRevNorm, \
                P##ipps_initTabTwd_L1_32f, P##ipps_initTabTwdBase_32f, P##ipps_initTabTwdRealRec_32f, \
                P##ipps_initTabTwdCcsRec_32f, \
                P##ipps_cRadix4FwdNorm_32fc, P##ipps_cRadix4InvNorm_32fc,  \
                P##ipps_cFftFwd_Fact4_32fc, P##ipps_cFftInv_Fact4_32fc, \
               P##ipps_cFftFwd_Fact8_32fc, P##ipps_cFftInv_Fact8_32fc, P##ipps_crRadix4FwdNorm_32f, P##ipps_crRadix4InvNorm_32f, P##ipps_crRadix4Fwd_32f, P##ipps_crRadix4Inv_32f, P##fft_fix_kernel_table_32f, P##fft_fix_twiddle_table_32f.sine, NS::fftLargePlan, \
               P##ipps_BitRev2_C, P##ipps_cRadix4Fwd_32fc, P##ipps_cRealRecombine_32f, NS::fftConvolveBlock}
// clang-format on

inline const std::array<FftVariant, 3>& fftVariants()
{
    static const std::array<FftVariant, 3> v = {
        NORRIK_FFT_VARIANT(m7_, m7, 18, 19), NORRIK_FFT_VARIANT(u8_, u8, 19, 19), NORRIK_FFT_VARIANT(y8_, y8, 19, 21)};
    return v;
}

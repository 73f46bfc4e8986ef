// The exported FFT routines of each variant, gathered so tests can run every variant alike.
#pragma once

#include <array>
#include <string>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/fftkernels/fft_kernels.h"

struct FftVariant
{
    std::string name;
    int largeFrom;   // first order not built (cache-blocked range)
    int bitRevOrder; // order through explicit bit reversal (0: none)
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
    decltype(&m7_ipps_initTabBitRev) bitRevPair;
    decltype(&m7_ipps_initTabBitRevLarge) bitRevLarge;
    decltype(&m7_ipps_initTabTwd_L1_32f) twdL1;
    decltype(&m7_ipps_initTabTwdBase_32f) twdBase;
    decltype(&m7_ipps_initTabTwdRealRec_32f) realRecTab;
    decltype(&m7_ipps_initTabTwdCcsRec_32f) ccsRecTab;
    decltype(&m7_ipps_cRealRecombine_32f) realRec;
    decltype(&m7_ipps_cCcsRecombine_32f) ccsRec;
    decltype(&m7_ipps_BitRev1_C) bitRev1C;
    decltype(&m7_ipps_BitRev2_C) bitRev2C;
    decltype(&m7_ipps_BitRev1_4) bitRev1Pair4;
    decltype(&m7_ipps_BitRev2_8) bitRev2Pair8;
    decltype(&m7_ipps_zBitRev1_Blk) bitRev1PairZ;
    decltype(&m7_ipps_BitRev1_Z) bitRev1NormZ;
    decltype(&m7_ipps_BitRev2_S) bitRev2NormS;
    decltype(&m7_ipps_cRadix4FwdNorm_32fc) fwdNorm;
    decltype(&m7_ipps_cRadix4InvNorm_32fc) invNorm;
    decltype(&m7_ipps_cRadix4Fwd_32fc) fwdPlain;
    decltype(&m7_ipps_cRadix4Inv_32fc) invPlain;
    const FftFixKernelEntry (*kernels)[6];
    const Ipp32f* fixTwiddles;
};

#define NORRIK_FFT_VARIANT(P, large, brev)                                                                             \
    FftVariant                                                                                                         \
    {                                                                                                                  \
#P, large, brev, P##ippsFFTGetSize_R_32f, P##ippsFFTInit_R_32f, P##ippsFFTInitAlloc_R_32f,                     \
            P##ippsFFTFree_R_32f, P##ippsFFTGetBufSize_R_32f, P##ippsFFTFwd_RToPerm_32f, P##ippsFFTInv_PermToR_32f,    \
            P##ippsMulPerm_32f_I, P##ownps_Mpy3_32fc, P##ipps_initTabBitRevNorm, P##ipps_initTabBitRev,                \
            P##ipps_initTabBitRevLarge, P##ipps_initTabTwd_L1_32f, P##ipps_initTabTwdBase_32f,                         \
            P##ipps_initTabTwdRealRec_32f, P##ipps_initTabTwdCcsRec_32f, P##ipps_cRealRecombine_32f,                   \
            P##ipps_cCcsRecombine_32f, P##ipps_BitRev1_C, P##ipps_BitRev2_C, P##ipps_BitRev1_4, P##ipps_BitRev2_8,     \
            P##ipps_zBitRev1_Blk, P##ipps_BitRev1_Z, P##ipps_BitRev2_S, P##ipps_cRadix4FwdNorm_32fc,                   \
            P##ipps_cRadix4InvNorm_32fc, P##ipps_cRadix4Fwd_32fc, P##ipps_cRadix4Inv_32fc,                             \
            P##fft_fix_kernel_table_32f, P##fft_fix_twiddle_table_32f                                                  \
    }

inline const std::array<FftVariant, 3>& fftVariants()
{
    static const std::array<FftVariant, 3> v = {NORRIK_FFT_VARIANT(m7_, 18, 17), NORRIK_FFT_VARIANT(u8_, 19, 18),
                                                NORRIK_FFT_VARIANT(y8_, 19, 0)};
    return v;
}

// The bundle exports exactly the names of the lists below: the plug-in's entry points and the
// primitives' entry points, in their variants. New exported names are appended to a list.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kEntryPoints = "GetPluginFactory bundleEntry bundleExit";

// The dispatch stubs in table order; each also exports its table (name_arraddr) and its variants.
const char* const kStubs =
    "ippsMulC_32f_I ippsAdd_32f_I ippsSqr_32f ippsSum_32f ippsMax_32f ippsMaxIndx_32f ippsMinMax_32f "
    "ippsMinMaxIndx_32f ippsIIRFree_32f ippsIIRInitAlloc_BiQuad_32f ippsIIRSetDlyLine_32f ippsIIR_32f "
    "ippsIIRSetTaps_32f ippsFIRInitAlloc_32f ippsFIRFree_32f ippsFIRSetDlyLine_32f ippsFIR_32f";

// Exported as they stand.
const char* const kPlain =
    "i_calloc i_free i_malloc i_realloc i_version ippFree ippGetCpuFeatures ippGetEnabledCpuFeatures ippInit "
    "ippInitCpu ippJumpIndexForMergedLibs ippJumpIndexForMergedLibsLP ippMalloc ippSetCpuFeaturesMask ippStaticInit "
    "ippStaticInitCpu ipp_clear87 ipp_clear_ssx ipp_control87 ipp_finite ipp_get_cores_on_die "
    "ipp_get_pentium_counter ipp_get_pentium_ident ipp_has_cpuid ipp_has_rdtsc ipp_is_GenuineIntel "
    "ipp_is_avx_extension ipp_is_em64t_extension ipp_is_htt_extension ipp_is_mmx_extension ipp_is_mni_extension "
    "ipp_is_movbe ipp_is_pni_extension ipp_is_sse41_extension ipp_is_sse42_extension ipp_is_ssx_extension "
    "ipp_is_wni_extension ipp_isnan ipp_max_cpuid_input ipp_set_cw_fpu ipp_set_cw_ssx ipp_set_rc_ssx "
    "ipp_set_rcpc_fpu ipp_status87 ipp_tst_daz_ssx ownGetCacheSize ownGetFeature ownGetMaskFeatures ownGetReg "
    "ownSetFeatureMask ps_clear_fpu ps_get_cw_fpu ps_get_ssx ps_get_sw_fpu ps_set_cw_fpu ps_set_ssx";

// Exported under each of the prefixes m7_, u8_ and y8_: vector primitives and filters.
const char* const kVariants =
    "MiniMax_16s_M7 MiniMax_16u_M7 MiniMax_32f_M7 MiniMax_32s_M7 MiniMax_64f_M7 MiniMax_8u_M7 ippsCopy_32f "
    "ippsCopy_8u ippsFree ippsIIRBQDF1_32f ippsMalloc_8u ippsMove_32f ippsMulC_32f ippsZero_32f ippsZero_8u "
    "onwsIIRBQDF1_32f ownFIRSR_32f ownFIRSR_32fc ownippsMax_16s ownippsMax_32f ownippsMax_64f ownippsSqr_16s_ASM "
    "ownippsSqr_16sc_ASM ownippsSqr_16u ownippsSqr_32f ownippsSqr_32fc ownippsSqr_64f ownippsSqr_64fc ownippsSqr_8u "
    "ownippsSum_16s32s_ASM ownippsSum_16s64f ownippsSum_16sc32sc_ASM ownippsSum_16sc64fc ownippsSum_32f "
    "ownippsSum_32f_Accur ownippsSum_32f_Fast ownippsSum_32fc_Accur ownippsSum_32fc_Fast ownippsSum_64f "
    "ownippsSum_64fc ownsAdd_32f_I ownsCopy_8u ownsFIRInitAlloc_32f ownsFIRMR_Decim ownsFIRMR_Direct "
    "ownsFIRMR_Interp ownsIIRAROne32f_16s ownsIIRAROne32f_16s_32f ownsIIRAROne32fc_16sc ownsIIRAROne32fc_16sc_32fc "
    "ownsIIRAROne64f_16s ownsIIRAROne64f_16s_64f ownsIIRAROne64f_32f ownsIIRAROne64f_32f_64f ownsIIRAROne64f_32s "
    "ownsIIRAROne64f_32s_64f ownsIIRAROne64fc_16sc ownsIIRAROne64fc_16sc_64fc ownsIIRAROne64fc_32fc "
    "ownsIIRAROne64fc_32fc_64fc ownsIIRAROne64fc_32sc ownsIIRAROne64fc_32sc_64fc ownsIIRAROne_32f ownsIIRAROne_32fc "
    "ownsIIRAROne_64f ownsIIRAROne_64fc ownsIIRBQOne32f_16s ownsIIRBQOne32fc_16sc ownsIIRBQOne64f_16s "
    "ownsIIRBQOne64f_32f ownsIIRBQOne64f_32s ownsIIRBQOne64fc_16sc ownsIIRBQOne64fc_32fc ownsIIRBQOne64fc_32sc "
    "ownsIIRBQOne_32f ownsIIRBQOne_32fc ownsIIRBQOne_64f ownsIIRBQOne_64fc ownsIIRGetStateSize_BiQuad_32f "
    "ownsIIRInitAlloc_BiQuad_32f ownsIIRInit_BiQuad_32f ownsIIRSetDlyLine_32f ownsIIRSetTaps_32f "
    "ownsIIRSetTaps_BiQuad_32f ownsIIRSetTaps_BiQuad_DF1_32f ownsIIRxAR32f_16s ownsIIRxAR32fc_16sc ownsIIRxAR_32f "
    "ownsIIRxAR_32fc ownsIIRxBQ_32f ownsIIRxBQ_32f_16s ownsIIRyAR32f_16s ownsIIRyAR32fc_16sc ownsIIRyAR_32f "
    "ownsIIRyAR_32fc ownsIIRyBQ_32f ownsIIRyBQ_32f_16s ownsIndx_16s_M7 ownsIndx_32f_M7 ownsMaxFind_16s_M7 "
    "ownsMaxFind_32f_M7 ownsMaxIndx_64f_M7 ownsMinFind_16s_M7 ownsMinFind_32f_M7 ownsMinIndx_64f_M7 ownsMulC_32f "
    "ownsMulC_32f_I ownsZero_8u ownsdec_32f ownsdir_32f ownsidx_32f ownsidx_32fc";

// Exported under each prefix: the real FFT and its kernels and tables.
const char* const kFftVariants =
    "fft_fix_kernel_table_32f fft_fix_twiddle_table_32f ippsFFTFree_R_32f ippsFFTFwd_RToPerm_32f "
    "ippsFFTGetBufSize_R_32f ippsFFTGetSize_R_32f ippsFFTInitAlloc_R_32f ippsFFTInit_R_32f ippsFFTInv_PermToR_32f "
    "ippsMulPerm_32f_I ipps_BitRev1_4 ipps_BitRev1_8 ipps_BitRev1_C ipps_BitRev1_D ipps_BitRev1_S ipps_BitRev1_Z "
    "ipps_BitRev2_4 ipps_BitRev2_8 ipps_BitRev2_C ipps_BitRev2_D ipps_BitRev2_S ipps_BitRev2_Z ipps_cBitRev1_Blk "
    "ipps_cCcsRecombine_32f ipps_cFFT_1_32fc ipps_cFFT_1_scale_32fc ipps_cFFT_2_32fc ipps_cFFT_2_scale_32fc "
    "ipps_cFFTfwd_16_32fc ipps_cFFTfwd_16_scale_32fc ipps_cFFTfwd_32_32fc ipps_cFFTfwd_32_scale_32fc "
    "ipps_cFFTfwd_4_32fc ipps_cFFTfwd_4_scale_32fc ipps_cFFTfwd_8_32fc ipps_cFFTfwd_8_scale_32fc "
    "ipps_cFFTinv_16_32fc ipps_cFFTinv_16_scale_32fc ipps_cFFTinv_32_32fc ipps_cFFTinv_32_scale_32fc "
    "ipps_cFFTinv_4_32fc ipps_cFFTinv_4_scale_32fc ipps_cFFTinv_8_32fc ipps_cFFTinv_8_scale_32fc "
    "ipps_cRadix4FwdNorm_32fc ipps_cRadix4Fwd_32fc ipps_cRadix4InvNorm_32fc ipps_cRadix4Inv_32fc "
    "ipps_cRealRecombine_32f ipps_dBitRev1_Blk ipps_initTabBitRev ipps_initTabBitRevLarge ipps_initTabBitRevNorm "
    "ipps_initTabTwdBase_32f ipps_initTabTwdCcsRec_32f ipps_initTabTwdRealRec_32f ipps_initTabTwd_L1_32f "
    "ipps_rFFT_1_32f ipps_rFFT_1_scale_32f ipps_rFFT_2_32f ipps_rFFT_2_scale_32f ipps_rFFTfwd_16_32f "
    "ipps_rFFTfwd_16_scale_32f ipps_rFFTfwd_32_32f ipps_rFFTfwd_32_scale_32f ipps_rFFTfwd_4_32f "
    "ipps_rFFTfwd_4_scale_32f ipps_rFFTfwd_8_32f ipps_rFFTfwd_8_scale_32f ipps_rFFTinv_16_32f "
    "ipps_rFFTinv_16_scale_32f ipps_rFFTinv_32_32f ipps_rFFTinv_32_scale_32f ipps_rFFTinv_4_32f "
    "ipps_rFFTinv_4_scale_32f ipps_rFFTinv_8_32f ipps_rFFTinv_8_scale_32f ipps_sBitRev1_Blk ipps_zBitRev1_Blk "
    "ownps_Mpy2_32fc ownps_Mpy3_32fc ipps_cFftFwd_Fact4_32fc ipps_cFftInv_Fact4_32fc ipps_cFftFwd_Fact8_32fc "
    "ipps_cFftInv_Fact8_32fc ipps_cFftFwd_Large_32fc ipps_cFftInv_Large_32fc ipps_cFftFwd_Large_Step "
    "ipps_cFftInv_Large_Step ipps_cFft_BlkMerge_32fc ipps_cFft_BlkSplit_32fc ipps_crFft_BlkMerge_32f "
    "ipps_crFft_BlkSplit_32f ipps_crRadix4Fwd_32f ipps_crRadix4FwdNorm_32f ipps_crRadix4Inv_32f "
    "ipps_crRadix4InvNorm_32f ipps_getSizesTwd_Large_32f ipps_getSizesTwd_Large_Rec ipps_initTabTwd_Large_32f "
    "ipps_initTabTwd_Large_Rec";

// Exported under the prefixes u8_ and y8_ only: the core and last factor-8 passes.
const char* const kFftHigherVariants =
    "ipps_cFftFwd_CoreMT_32fc ipps_cFftInv_CoreMT_32fc ipps_cFftFwd_Fact8_Last_32fc ipps_cFftInv_Fact8_Last_32fc "
    "ipps_crFftFwd_CoreMT_32f ipps_crFftInv_CoreMT_32f ipps_crFftFwd_Fact8_Last_32f ipps_crFftInv_Fact8_Last_32f";

// Exported as they stand: the FFT's data.
const char* const kFftPlain = "fft_fix_twiddle_table_32f";

// Exported under one prefix only.
const char* const kSingles = "m7_ownsMove_8u_M7 u8_ownsMove_8u y8_ownsMove_8u";

std::vector<std::string> words(const char* list)
{
    std::istringstream in(list);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Every listed name: each stub also with its table, and the variants under each prefix.
std::set<std::string> listed()
{
    std::set<std::string> names;
    for (const char* list : {kEntryPoints, kPlain, kFftPlain, kSingles})
        for (const auto& n : words(list))
            names.insert(n);
    for (const auto& n : words(kStubs))
        names.insert({n, n + "_arraddr"});
    for (const char* list : {kStubs, kVariants, kFftVariants})
        for (const auto& n : words(list))
            names.insert({"m7_" + n, "u8_" + n, "y8_" + n});
    for (const auto& n : words(kFftHigherVariants))
        names.insert({"u8_" + n, "y8_" + n});
    return names;
}

// The defined dynamic symbols of the bundle, as the binary utilities read them.
std::set<std::string> exported()
{
    std::set<std::string> names;
    FILE* nm = popen("nm -D --defined-only '" NORRIK_BUNDLE_PATH "'", "r");
    if (!nm)
        return names;
    char name[512]; // each line: address, type, name
    while (std::fscanf(nm, "%*s %*s %511s", name) == 1)
        names.insert(std::string(name).substr(0, std::string(name).find('@')));
    pclose(nm);
    return names;
}

} // namespace

TEST(meter_exports, ExactlyTheListedNames)
{
    void* bundle = dlopen(NORRIK_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(bundle, nullptr) << dlerror();
    const std::set<std::string> names = listed(), found = exported();
    for (const auto& n : names)
        EXPECT_EQ(found.count(n), 1u) << "not exported: " << n;
    for (const auto& n : found)
        EXPECT_EQ(names.count(n), 1u) << "exported but not listed: " << n;
    // The seventeen tables lie consecutive, in the order of their stubs.
    const auto stubs = words(kStubs);
    for (std::size_t i = 1; i < stubs.size(); ++i)
        EXPECT_EQ(static_cast<char*>(dlsym(bundle, (stubs[i] + "_arraddr").c_str())),
                  static_cast<char*>(dlsym(bundle, (stubs[i - 1] + "_arraddr").c_str())) + 4 * sizeof(void*))
            << stubs[i];
    dlclose(bundle);
}

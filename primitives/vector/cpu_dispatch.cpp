// One-time CPU detection and the choice of the variant index.
#include <atomic>
#include <cstring>

#include "platform/cpu.h"
#include "primitives/vector/cpu_internal.h"
#include "primitives/vector/ipps_vector.h"

extern "C" {
IPP_EXPORT Ipp32s ippJumpIndexForMergedLibs = 0;
IPP_EXPORT Ipp32s ippJumpIndexForMergedLibsLP = 0;
IPP_EXPORT Ipp32s i_version = 1;
}

namespace {

using NorrikIpp::bit;

// Words without locks: every writer stores the same values (see ippStaticInit's callers).
Ipp64u enabledFeatureMask = 7;
std::atomic<Ipp64u> cachedFeatureMask{0};
std::atomic<Ipp32s> featureCacheFilled{0};

constexpr Ipp64u getInfoMagic = 0x616F666E69746567ull; // "getinfoa" in memory order

Platform::CpuidRegisters leaf1()
{
    return Platform::cpuid(1, 0);
}

// Stores are relaxed atomics: stubs on audio threads may read while another instance's set-up
// stores the same values again.
void setChoice(Ipp32s index, Ipp32s lp, Ipp64u enabled)
{
    __atomic_store_n(&ippJumpIndexForMergedLibs, index, __ATOMIC_RELAXED);
    __atomic_store_n(&ippJumpIndexForMergedLibsLP, lp, __ATOMIC_RELAXED);
    __atomic_store_n(&enabledFeatureMask, enabled, __ATOMIC_RELAXED);
}

} // namespace

namespace NorrikIpp {
void resetFeatureCache()
{
    featureCacheFilled.store(0, std::memory_order_relaxed);
    cachedFeatureMask.store(0, std::memory_order_relaxed);
    resetCacheProbe();
}
} // namespace NorrikIpp

// ---------------------------------------------------------------------------------------------
// CPU probes

IPP_API Ipp32s ipp_has_cpuid(void)
{
    return Platform::cpuHasCpuid() ? 1 : 0;
}

IPP_API Ipp32s ipp_max_cpuid_input(void)
{
    return Ipp32s(Platform::cpuid(0, 0).eax);
}

IPP_API Ipp32s ipp_has_rdtsc(void)
{
    return bit(leaf1().edx, 4);
}
IPP_API Ipp32s ipp_is_mmx_extension(void)
{
    return bit(leaf1().edx, 23);
}
IPP_API Ipp32s ipp_is_ssx_extension(void)
{
    return bit(leaf1().edx, 25);
}
IPP_API Ipp32s ipp_is_wni_extension(void)
{
    return bit(leaf1().edx, 26);
}

IPP_API Ipp32s ipp_is_htt_extension(void)
{
    const auto r = leaf1();
    return (bit(r.edx, 28) && ((r.ebx >> 16) & 0xFFu) > 1) ? 1 : 0;
}

IPP_API Ipp32s ipp_is_pni_extension(void)
{
    return bit(leaf1().ecx, 0);
}

IPP_API Ipp32s ipp_is_em64t_extension(void)
{
    if (Platform::cpuid(0x80000000u, 0).eax < 0x80000001u)
        return 0;
    return bit(Platform::cpuid(0x80000001u, 0).edx, 29);
}

IPP_API Ipp32s ipp_is_mni_extension(void)
{
    return bit(leaf1().ecx, 9);
}
IPP_API Ipp32s ipp_is_sse41_extension(void)
{
    return bit(leaf1().ecx, 19);
}
IPP_API Ipp32s ipp_is_sse42_extension(void)
{
    return bit(leaf1().ecx, 20);
}
IPP_API Ipp32s ipp_is_movbe(void)
{
    return bit(leaf1().ecx, 22);
}

IPP_API Ipp32s ipp_is_avx_extension(void)
{
    const auto r = leaf1();
    // XGETBV faults unless the operating system has set OSXSAVE: test that bit first.
    if (!bit(r.ecx, 27) || !bit(r.ecx, 28))
        return 0;
    return (Platform::xgetbv(0) & 6u) == 6u ? 1 : 0;
}

IPP_API Ipp32s ipp_get_cores_on_die(void)
{
    if (ipp_max_cpuid_input() < 4)
        return 1;
    return Ipp32s((Platform::cpuid(4, 0).eax >> 26) & 0x3Fu) + 1;
}

IPP_API Ipp64u ipp_get_pentium_counter(void)
{
    return Platform::readTimeStampCounter();
}

IPP_API Ipp32s ipp_is_GenuineIntel(void)
{
    const auto r = Platform::cpuid(0, 0);
    char vendor[12];
    std::memcpy(vendor, &r.ebx, 4);
    std::memcpy(vendor + 4, &r.edx, 4);
    std::memcpy(vendor + 8, &r.ecx, 4);
    return std::memcmp(vendor, "GenuineIntel", 12) == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Feature mask

IPP_API void ownGetReg(Ipp32u regs[4], Ipp32s leaf, Ipp32s subLeaf)
{
    const auto r = Platform::cpuid(Ipp32u(leaf), Ipp32u(subLeaf));
    regs[0] = r.eax;
    regs[1] = r.ebx;
    regs[2] = r.ecx;
    regs[3] = r.edx;
}

IPP_API Ipp32s ownGetMaskFeatures(Ipp64u* pMask)
{
    if (featureCacheFilled.load(std::memory_order_acquire)) {
        *pMask = cachedFeatureMask.load(std::memory_order_relaxed);
        return 1;
    }
    if (!ipp_has_cpuid())
        return 0;
    const auto r = leaf1();
    Ipp64u m = 0;
    if (bit(r.edx, 23))
        m |= 0x1;
    if (bit(r.edx, 25))
        m |= 0x2;
    if (bit(r.edx, 26))
        m |= 0x4;
    if (bit(r.ecx, 0))
        m |= 0x8;
    if (bit(r.ecx, 9))
        m |= 0x10;
    if (bit(r.ecx, 22))
        m |= 0x20;
    if (bit(r.ecx, 19))
        m |= 0x40;
    if (bit(r.ecx, 20))
        m |= 0x80;
    if (bit(r.ecx, 28))
        m |= 0x100;
    if (bit(r.ecx, 27) && bit(r.ecx, 28) && ipp_is_avx_extension())
        m |= 0x200;
    if (bit(r.ecx, 25))
        m |= 0x400;
    if (bit(r.ecx, 1))
        m |= 0x800;
    if (((r.eax >> 8) & 0xFu) == 0xBu && bit(Platform::cpuid(0x20000001u, 0).edx, 1))
        m |= 0x1000;
    cachedFeatureMask.store(m, std::memory_order_relaxed);
    featureCacheFilled.store(1, std::memory_order_release);
    *pMask = m;
    return 1;
}

IPP_API Ipp32s ownSetFeatureMask(Ipp64u mask)
{
    __atomic_store_n(&enabledFeatureMask, mask, __ATOMIC_RELAXED);
    return 1;
}

IPP_API Ipp32s ownGetFeature(Ipp64u mask)
{
    return (__atomic_load_n(&enabledFeatureMask, __ATOMIC_RELAXED) & mask) == mask ? 1 : 0;
}

IPP_API IppStatus ippGetCpuFeatures(Ipp64u* pMask, Ipp32u regs[4])
{
    Ipp64u features = 0;
    if (!ownGetMaskFeatures(&features))
        return ippStsNoSSE3;
    if (!pMask)
        return ippStsNullPtrErr;
    Ipp64u callerWord;
    std::memcpy(&callerWord, pMask, sizeof callerWord);
    *pMask = features;
    if (regs) {
        if (callerWord == getInfoMagic)
            ownGetReg(regs, Ipp32s(regs[0]), Ipp32s(regs[2]));
        else
            ownGetReg(regs, 1, 0);
    }
    return ippStsNoErr;
}

IPP_API IppStatus ippSetCpuFeaturesMask(Ipp64u mask)
{
    ownSetFeatureMask(mask);
    return ippStsNoErr;
}

IPP_API Ipp64u ippGetEnabledCpuFeatures(void)
{
    return __atomic_load_n(&enabledFeatureMask, __ATOMIC_RELAXED);
}

// ---------------------------------------------------------------------------------------------
// Variant choice

IPP_API IppStatus ippStaticInit(void)
{
    Ipp64u mask = 0;
    Ipp32u regs[4] = {0, 0, 0, 0};
    IppStatus s = ippGetCpuFeatures(&mask, regs);
    if (s != ippStsNoErr)
        setChoice(0, 0, 7);
    else if (mask & 0x40)
        setChoice(3, 0, mask & 0xCDF);
    else if (mask & 0x10)
        setChoice(2, (mask & 0x20) ? 1 : 0, mask & 0x1F);
    else if (mask & 0x8)
        setChoice(1, 0, mask & 0xF);
    else {
        setChoice(0, 0, mask & 7);
        s = ippStsNoSSE3;
    }
    if (!ipp_has_cpuid() || !ipp_is_GenuineIntel())
        return ippStsNonIntelCpu;
    return s;
}

IPP_API IppStatus ippInit(void)
{
    return ippStaticInit();
}

IPP_API IppStatus ippStaticInitCpu(Ipp32u cpuCode)
{
    switch (cpuCode) {
    case 0:
    case 32:
    case 66:
        setChoice(1, 0, 0xF);
        return ippStsNoErr;
    case 33:
    case 34:
    case 67:
        setChoice(2, 0, 0x1F);
        return ippStsNoErr;
    case 36:
        setChoice(2, 1, 0x1F);
        return ippStsNoErr;
    case 35:
    case 68:
        setChoice(3, 0, 0x5F);
        return ippStsNoErr;
    case 37:
    case 69:
        setChoice(3, 0, 0xDF);
        return ippStsNoErr;
    case 38:
    case 71:
        setChoice(3, 0, 0xCDF);
        return ippStsNoErr;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 64:
    case 65:
    case 96:
        return ippStsNoSSE3;
    case 0xFFFFFFFFu:
        return ippInit();
    default:
        return ippStsUnknownCpu;
    }
}

IPP_API IppStatus ippInitCpu(Ipp32u cpuCode)
{
    return ippStaticInitCpu(cpuCode);
}

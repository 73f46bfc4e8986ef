// Processor identification record and the x87 / SSE floating-point control and status helpers.
#include <cstring>
#include <xmmintrin.h>

#include "platform/cpu.h"
#include "primitives/vector/cpu_internal.h"
#include "primitives/vector/ipps_vector.h"

namespace {

using NorrikIpp::bit;

Ipp32u readControlWord()
{
    Ipp16u cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void loadControlWord(Ipp32u value)
{
    const Ipp16u cw = Ipp16u(value);
    __asm__ volatile("fldcw %0" : : "m"(cw));
}

Ipp32u readStatusWord()
{
    Ipp16u sw;
    __asm__ volatile("fnstsw %0" : "=m"(sw));
    return sw;
}

void clearExceptions()
{
    __asm__ volatile("fnclex");
}

Ipp32u readCsr()
{
    return _mm_getcsr();
}

void loadCsr(Ipp32u value)
{
    _mm_setcsr(value);
}

// Control word and MXCSR alike: the bits under mask from value, the others kept; answers the
// former contents.
template <Ipp32u (*Read)(), void (*Load)(Ipp32u)>
Ipp32u setUnderMask(Ipp32u value, Ipp32u mask)
{
    const Ipp32u old = Read();
    Load((value & mask) | (old & ~mask));
    return old;
}

// Loads the bits under mask from value (already within the mask) only when they differ.
template <Ipp32u (*Read)(), void (*Load)(Ipp32u)>
Ipp32u replaceWhenChanged(Ipp32u value, Ipp32u mask)
{
    const Ipp32u old = Read();
    if ((old & mask) != value)
        Load((old & ~mask) | value);
    return old;
}

// x87 exception bit -> portable bit.
constexpr Ipp32u exceptionMap[6][2] = {
    {0x1, 0x10}, {0x4, 0x8}, {0x8, 0x4}, {0x10, 0x2}, {0x20, 0x1}, {0x2, 0x80000},
};

Ipp32u exceptionsToPortable(Ipp32u x87)
{
    Ipp32u p = 0;
    for (const auto& m : exceptionMap)
        if (x87 & m[0])
            p |= m[1];
    return p;
}

Ipp32u controlToPortable(Ipp32u cw)
{
    Ipp32u p = exceptionsToPortable(cw);
    p |= (cw & 0xC00u) >> 2;
    switch (cw & 0x300u) {
    case 0x000:
        p |= 0x20000;
        break;
    case 0x200:
        p |= 0x10000;
        break;
    default:
        break;
    }
    if (cw & 0x1000u)
        p |= 0x40000;
    return p;
}

// Bits of the control word that have no portable form.
constexpr Ipp32u unmappedControlBits = 0xFFFFu & ~(0x3Fu | 0x300u | 0xC00u | 0x1000u);

Ipp32u portableToControl(Ipp32u p)
{
    Ipp32u cw = 0;
    for (const auto& m : exceptionMap)
        if (p & m[1])
            cw |= m[0];
    switch (p & 0x30000u) {
    case 0x00000:
        cw |= 0x300;
        break;
    case 0x10000:
        cw |= 0x200;
        break;
    default:
        break;
    }
    cw |= (p & 0x300u) << 2;
    if (p & 0x40000u)
        cw |= 0x1000;
    return cw;
}

} // namespace

IPP_API void ipp_get_pentium_ident(IppPentiumIdent* r)
{
    const auto l1 = Platform::cpuid(1, 0);
    const auto l2 = Platform::cpuid(2, 0);
    r->family = Ipp32s((l1.eax >> 8) & 0xFu);
    r->stepping = Ipp32s(l1.eax & 0xFu);
    r->model = Ipp32s((l1.eax >> 4) & 0xFu);
    r->type = Ipp32s((l1.eax >> 11) & 0x3u);
    r->featuresEdx = Ipp32s(l1.edx);
    r->leaf2Eax = Ipp32s(l2.eax);
    r->leaf2Edx = Ipp32s(l2.edx);
    r->mmx = bit(l1.edx, 23);
    r->sse = bit(l1.edx, 25);
    r->sse2 = bit(l1.edx, 26);
    r->htt = ipp_is_htt_extension();
    r->sse3 = bit(l1.ecx, 0);
    r->em64t = ipp_is_em64t_extension();
    r->ssse3 = bit(l1.ecx, 9);
    r->coresOnDie = ipp_get_cores_on_die();
    r->sse41 = bit(l1.ecx, 19);
    r->sse42 = bit(l1.ecx, 20);
    r->extFamily = Ipp32s((l1.eax >> 20) & 0xFFu);
    r->extModel = Ipp32s((l1.eax >> 16) & 0xFu);
    r->movbe = bit(l1.ecx, 22);
    r->avx = bit(l1.ecx, 28);
    r->osxsave = bit(l1.ecx, 27);
}

IPP_API Ipp32u ps_get_cw_fpu(void)
{
    return readControlWord();
}

IPP_API Ipp32u ps_set_cw_fpu(Ipp32u value, Ipp32u mask)
{
    return setUnderMask<readControlWord, loadControlWord>(value, mask);
}

IPP_API Ipp32u ps_get_sw_fpu(void)
{
    return readStatusWord();
}

IPP_API Ipp32u ps_clear_fpu(void)
{
    const Ipp32u sw = readStatusWord();
    clearExceptions();
    return sw;
}

IPP_API void ipp_set_cw_fpu(Ipp32u value)
{
    loadControlWord(value);
}

IPP_API void ipp_set_rcpc_fpu(Ipp32u value, Ipp32u mask)
{
    replaceWhenChanged<readControlWord, loadControlWord>(value, mask);
}

IPP_API Ipp32u ps_get_ssx(void)
{
    return _mm_getcsr();
}

IPP_API Ipp32u ps_set_ssx(Ipp32u value, Ipp32u mask)
{
    return setUnderMask<readCsr, loadCsr>(value, mask);
}

IPP_API Ipp32u ipp_clear_ssx(void)
{
    const Ipp32u old = _mm_getcsr();
    _mm_setcsr(0x1F80u);
    return old;
}

IPP_API void ipp_set_cw_ssx(Ipp32u value)
{
    _mm_setcsr(value);
}

IPP_API Ipp32u ipp_set_rc_ssx(Ipp32u rc)
{
    return replaceWhenChanged<readCsr, loadCsr>(rc, 0x6000u);
}

IPP_API Ipp32s ipp_tst_daz_ssx(void)
{
    alignas(16) Ipp8u area[512];
    std::memset(area, 0, sizeof area);
    __asm__ volatile("fxsave %0" : "=m"(area));
    Ipp32u mxcsrMask;
    std::memcpy(&mxcsrMask, area + 28, sizeof mxcsrMask);
    return (mxcsrMask != 0 && (mxcsrMask & 0x40u)) ? 1 : 0;
}

IPP_API Ipp32s ipp_isnan(Ipp64f x)
{
    Ipp64u b;
    std::memcpy(&b, &x, sizeof b);
    return ((b >> 52) & 0x7FFu) == 0x7FFu && (b & 0xFFFFFFFFFFFFFull) != 0 ? 1 : 0;
}

IPP_API Ipp32s ipp_finite(Ipp64f x)
{
    Ipp64u b;
    std::memcpy(&b, &x, sizeof b);
    return ((b >> 52) & 0x7FFu) == 0x7FFu ? 0 : 1;
}

IPP_API Ipp32u ipp_status87(void)
{
    return exceptionsToPortable(readStatusWord());
}

IPP_API Ipp32u ipp_clear87(void)
{
    const Ipp32u p = exceptionsToPortable(readStatusWord());
    clearExceptions();
    return p;
}

IPP_API Ipp32u ipp_control87(Ipp32u newWord, Ipp32u mask)
{
    const Ipp32u cw = readControlWord();
    const Ipp32u merged = (newWord & mask) | (controlToPortable(cw) & ~mask);
    // Reserved control bits without a portable form keep their values.
    loadControlWord(portableToControl(merged) | (cw & unmappedControlBits));
    return merged;
}

#include "platform/cpu.h"

#include <atomic>
#include <cpuid.h>
#include <x86intrin.h>

namespace Platform {
namespace {

std::atomic<const CpuProbe*> installedProbe{nullptr};

CpuidRegisters hardwareCpuid(std::uint32_t leaf, std::uint32_t subLeaf)
{
    CpuidRegisters r{};
    __cpuid_count(leaf, subLeaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}

std::uint64_t hardwareXgetbv(std::uint32_t index)
{
    std::uint32_t lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
    return (std::uint64_t(hi) << 32) | lo;
}

constexpr std::uint32_t osxsaveBit = 1u << 27;

} // namespace

void setCpuProbe(const CpuProbe* probe)
{
    installedProbe.store(probe, std::memory_order_release);
}

bool cpuHasCpuid()
{
    const CpuProbe* p = installedProbe.load(std::memory_order_acquire);
    return p ? p->hasCpuid : true;
}

CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subLeaf)
{
    const CpuProbe* p = installedProbe.load(std::memory_order_acquire);
    if (p && p->cpuid)
        return p->cpuid(leaf, subLeaf);
    return hardwareCpuid(leaf, subLeaf);
}

std::uint64_t xgetbv(std::uint32_t index)
{
    if ((cpuid(1, 0).ecx & osxsaveBit) == 0)
        return 0;
    const CpuProbe* p = installedProbe.load(std::memory_order_acquire);
    if (p && p->xgetbv)
        return p->xgetbv(index);
    // A stand-in processor may claim OSXSAVE that this one lacks.
    if ((hardwareCpuid(1, 0).ecx & osxsaveBit) == 0)
        return 0;
    return hardwareXgetbv(index);
}

std::uint64_t readTimeStampCounter()
{
    return __rdtsc();
}

} // namespace Platform

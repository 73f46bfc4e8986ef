// The processor's identification instructions (CPUID, XGETBV, RDTSC), behind a probe that tests can
// replace so that every feature combination can be exercised on one machine.
#pragma once

#include <cstdint>

namespace Platform {

struct CpuidRegisters
{
    std::uint32_t eax, ebx, ecx, edx;
};

// A stand-in processor. Any null member falls back to the real instruction.
struct CpuProbe
{
    bool hasCpuid = true;
    CpuidRegisters (*cpuid)(std::uint32_t leaf, std::uint32_t subLeaf) = nullptr;
    std::uint64_t (*xgetbv)(std::uint32_t index) = nullptr;
};

// Installs a stand-in processor (null: the real one). For tests only; not thread-safe against
// concurrent probing.
void setCpuProbe(const CpuProbe* probe);

bool cpuHasCpuid();
CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t subLeaf = 0);
// Extended control register `index`; 0 when the operating system has not enabled XSAVE
// (CPUID leaf 1 ECX bit 27), because XGETBV faults then.
std::uint64_t xgetbv(std::uint32_t index);
std::uint64_t readTimeStampCounter();

} // namespace Platform

// A stand-in processor for the dispatch tests: CPUID answers are set per leaf.
#pragma once

#include <cstring>
#include <map>
#include <utility>

#include "platform/cpu.h"
#include "primitives/vector/cpu_internal.h"

namespace VectorTest {

struct FakeCpu
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, Platform::CpuidRegisters> leaves;
    std::uint64_t xcr0 = 0;
    int cpuidCalls = 0;
    int xgetbvCalls = 0;

    static FakeCpu*& current()
    {
        static FakeCpu* c = nullptr;
        return c;
    }
    static Platform::CpuidRegisters cpuid(std::uint32_t leaf, std::uint32_t sub)
    {
        FakeCpu* c = current();
        ++c->cpuidCalls;
        auto it = c->leaves.find({leaf, sub});
        if (it == c->leaves.end())
            it = c->leaves.find({leaf, 0});
        return it == c->leaves.end() ? Platform::CpuidRegisters{0, 0, 0, 0} : it->second;
    }
    static std::uint64_t xgetbv(std::uint32_t)
    {
        ++current()->xgetbvCalls;
        return current()->xcr0;
    }

    void vendor(const char* name, std::uint32_t maxLeaf = 4)
    {
        Platform::CpuidRegisters r{maxLeaf, 0, 0, 0};
        std::memcpy(&r.ebx, name, 4);
        std::memcpy(&r.edx, name + 4, 4);
        std::memcpy(&r.ecx, name + 8, 4);
        leaves[{0, 0}] = r;
    }
    void features(std::uint32_t ecx, std::uint32_t edx, std::uint32_t eax = 0x000306A9, std::uint32_t ebx = 0)
    {
        leaves[{1, 0}] = {eax, ebx, ecx, edx};
    }
};

// Installs a fake processor for the lifetime of the object and clears every probed cache.
class ScopedFakeCpu
{
public:
    explicit ScopedFakeCpu(FakeCpu& cpu, bool hasCpuid = true)
    {
        FakeCpu::current() = &cpu;
        probe.hasCpuid = hasCpuid;
        probe.cpuid = &FakeCpu::cpuid;
        probe.xgetbv = &FakeCpu::xgetbv;
        Platform::setCpuProbe(&probe);
        NorrikIpp::resetFeatureCache();
    }
    ~ScopedFakeCpu()
    {
        Platform::setCpuProbe(nullptr);
        FakeCpu::current() = nullptr;
        NorrikIpp::resetFeatureCache();
    }
    ScopedFakeCpu(const ScopedFakeCpu&) = delete;
    ScopedFakeCpu& operator=(const ScopedFakeCpu&) = delete;

private:
    Platform::CpuProbe probe;
};

// Leaf-1 bits.
constexpr std::uint32_t edxBaseline = (1u << 23) | (1u << 25) | (1u << 26); // MMX SSE SSE2
constexpr std::uint32_t ecxSse3 = 1u << 0, ecxPclmul = 1u << 1, ecxSsse3 = 1u << 9, ecxSse41 = 1u << 19,
                        ecxSse42 = 1u << 20, ecxMovbe = 1u << 22, ecxAes = 1u << 25, ecxOsxsave = 1u << 27,
                        ecxAvx = 1u << 28;

} // namespace VectorTest

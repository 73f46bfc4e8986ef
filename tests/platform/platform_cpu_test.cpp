// The processor identification layer and its stand-in hook.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/cpu.h"

namespace {

Platform::CpuidRegisters fakeLeaf1NoOsxsave(std::uint32_t leaf, std::uint32_t)
{
    if (leaf == 1)
        return {0, 0, 1u << 28, 0};
    return {leaf, 1, 2, 3};
}

int xgetbvCalls = 0;
std::uint64_t fakeXgetbv(std::uint32_t index)
{
    ++xgetbvCalls;
    return 0xE7u + index;
}

TEST(PlatformCpu, RealProcessorAnswers)
{
    EXPECT_TRUE(Platform::cpuHasCpuid());
    const auto r = Platform::cpuid(0);
    EXPECT_GE(r.eax, 1u);
    char vendor[13] = {};
    std::memcpy(vendor, &r.ebx, 4);
    std::memcpy(vendor + 4, &r.edx, 4);
    std::memcpy(vendor + 8, &r.ecx, 4);
    EXPECT_GT(std::strlen(vendor), 0u);
    // Every x86-64 processor has SSE2 (leaf 1 EDX bit 26).
    EXPECT_NE(Platform::cpuid(1).edx & (1u << 26), 0u);
    const std::uint64_t t0 = Platform::readTimeStampCounter();
    EXPECT_GE(Platform::readTimeStampCounter(), t0);
    if (Platform::cpuid(1).ecx & (1u << 27))
        EXPECT_NE(Platform::xgetbv(0) & 1u, 0u); // x87 state is always enabled
    else
        EXPECT_EQ(Platform::xgetbv(0), 0u);
}

TEST(PlatformCpu, ExtendedStateIsNotReadWithoutOsxsave)
{
    Platform::CpuProbe probe;
    probe.cpuid = &fakeLeaf1NoOsxsave;
    probe.xgetbv = &fakeXgetbv;
    Platform::setCpuProbe(&probe);
    xgetbvCalls = 0;
    EXPECT_EQ(Platform::xgetbv(0), 0u);
    EXPECT_EQ(xgetbvCalls, 0);
    Platform::setCpuProbe(nullptr);
}

} // namespace

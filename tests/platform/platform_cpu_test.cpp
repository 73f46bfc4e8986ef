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

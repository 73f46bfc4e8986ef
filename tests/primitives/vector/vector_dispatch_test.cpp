// Variant choice, feature mask, CPU probes and the dispatch stubs, on stand-in processors.
#include <gtest/gtest.h>

#include "primitives/vector/ipps_vector.h"
#include "tests/primitives/vector/vector_fake_cpu.h"

using namespace VectorTest;

namespace {

struct Choice
{
    IppStatus status;
    Ipp32s index, lp;
    Ipp64u enabled;
};

Choice initOn(FakeCpu& cpu, bool hasCpuid = true)
{
    ScopedFakeCpu scope(cpu, hasCpuid);
    const IppStatus s = ippStaticInit();
    return {s, ippJumpIndexForMergedLibs, ippJumpIndexForMergedLibsLP, ippGetEnabledCpuFeatures()};
}

class Dispatch : public ::testing::Test
{
protected:
    void TearDown() override
    {
        NorrikIpp::resetFeatureCache();
        ippStaticInit();
    }
};

TEST_F(Dispatch, ChoosesIndexByHighestInstructionSet)
{
    FakeCpu none;
    none.vendor("GenuineIntel");
    none.features(0, edxBaseline);
    Choice c = initOn(none);
    EXPECT_EQ(c.status, ippStsNoSSE3);
    EXPECT_EQ(c.index, 0);
    EXPECT_EQ(c.lp, 0);
    EXPECT_EQ(c.enabled, 7u);

    FakeCpu sse3;
    sse3.vendor("GenuineIntel");
    sse3.features(ecxSse3 | ecxAes | ecxPclmul, edxBaseline);
    c = initOn(sse3);
    EXPECT_EQ(c.status, ippStsNoErr);
    EXPECT_EQ(c.index, 1);
    EXPECT_EQ(c.lp, 0);
    EXPECT_EQ(c.enabled, 0xFu);

    FakeCpu ssse3;
    ssse3.vendor("GenuineIntel");
    ssse3.features(ecxSse3 | ecxSsse3, edxBaseline);
    c = initOn(ssse3);
    EXPECT_EQ(c.status, ippStsNoErr);
    EXPECT_EQ(c.index, 2);
    EXPECT_EQ(c.lp, 0);
    EXPECT_EQ(c.enabled, 0x1Fu);

    FakeCpu atom;
    atom.vendor("GenuineIntel");
    atom.features(ecxSse3 | ecxSsse3 | ecxMovbe, edxBaseline);
    c = initOn(atom);
    EXPECT_EQ(c.index, 2);
    EXPECT_EQ(c.lp, 1);
    EXPECT_EQ(c.enabled, 0x1Fu);

    FakeCpu sse41;
    sse41.vendor("GenuineIntel");
    sse41.features(ecxSse3 | ecxSsse3 | ecxSse41 | ecxSse42 | ecxMovbe | ecxAes | ecxPclmul | ecxOsxsave | ecxAvx,
                   edxBaseline);
    sse41.xcr0 = 7;
    c = initOn(sse41);
    EXPECT_EQ(c.status, ippStsNoErr);
    EXPECT_EQ(c.index, 3);
    EXPECT_EQ(c.lp, 0);
    // MOVBE, the AVX bits and bit 12 are dropped.
    EXPECT_EQ(c.enabled, 0x1Fu | 0x40u | 0x80u | 0x400u | 0x800u);
}

TEST_F(Dispatch, OtherVendorKeepsChoiceButWarns)
{
    FakeCpu amd;
    amd.vendor("AuthenticAMD");
    amd.features(ecxSse3 | ecxSsse3 | ecxSse41, edxBaseline);
    const Choice c = initOn(amd);
    EXPECT_EQ(c.status, ippStsNonIntelCpu);
    EXPECT_EQ(c.index, 3);

    FakeCpu noCpuid;
    const Choice d = initOn(noCpuid, false);
    EXPECT_EQ(d.status, ippStsNonIntelCpu);
    EXPECT_EQ(d.index, 0);
    EXPECT_EQ(d.enabled, 7u);
}

TEST_F(Dispatch, FeatureMaskBits)
{
    FakeCpu cpu;
    cpu.vendor("GenuineIntel");
    cpu.features(ecxSse3 | ecxSsse3 | ecxMovbe | ecxSse41 | ecxSse42 | ecxAvx | ecxAes | ecxPclmul, edxBaseline);
    {
        ScopedFakeCpu scope(cpu);
        Ipp64u m = 0;
        ASSERT_EQ(ownGetMaskFeatures(&m), 1);
        // AVX without OSXSAVE: bit 8 only, and XGETBV never runs.
        EXPECT_EQ(m, 0xDFFu & ~0x200u);
        EXPECT_EQ(cpu.xgetbvCalls, 0);
    }
    cpu.features(ecxAvx | ecxOsxsave, edxBaseline);
    cpu.xcr0 = 2; // the OS saves SSE state only
    {
        ScopedFakeCpu scope(cpu);
        Ipp64u m = 0;
        ownGetMaskFeatures(&m);
        EXPECT_EQ(m, 0x107u);
        EXPECT_GE(cpu.xgetbvCalls, 1);
    }
    cpu.xcr0 = 6;
    {
        ScopedFakeCpu scope(cpu);
        Ipp64u m = 0;
        ownGetMaskFeatures(&m);
        EXPECT_EQ(m, 0x307u);
    }
    // Bit 12: family 0xB and leaf 0x20000001 EDX bit 1.
    cpu.features(0, edxBaseline, 0xB00);
    cpu.leaves[{0x20000001u, 0}] = {0, 0, 0, 2};
    {
        ScopedFakeCpu scope(cpu);
        Ipp64u m = 0;
        ownGetMaskFeatures(&m);
        EXPECT_EQ(m, 0x1007u);
    }
}

TEST_F(Dispatch, GetCpuFeatures)
{
    FakeCpu cpu;
    cpu.vendor("GenuineIntel", 7);
    cpu.features(ecxSse3, edxBaseline, 0x111, 0x222);
    cpu.leaves[{7, 3}] = {0x70, 0x71, 0x72, 0x73};
    ScopedFakeCpu scope(cpu);

    Ipp32u regs[4] = {};
    EXPECT_EQ(ippGetCpuFeatures(nullptr, regs), ippStsNullPtrErr);

    Ipp64u m = 0;
    EXPECT_EQ(ippGetCpuFeatures(&m, nullptr), ippStsNoErr);
    EXPECT_EQ(m, 0xFu);

    m = 12345;
    EXPECT_EQ(ippGetCpuFeatures(&m, regs), ippStsNoErr);
    EXPECT_EQ(m, 0xFu);
    EXPECT_EQ(regs[0], 0x111u);
    EXPECT_EQ(regs[1], 0x222u);
    EXPECT_EQ(regs[2], ecxSse3);
    EXPECT_EQ(regs[3], edxBaseline);

    std::memcpy(&m, "getinfoa", 8);
    Ipp32u query[4] = {7, 0, 3, 0};
    EXPECT_EQ(ippGetCpuFeatures(&m, query), ippStsNoErr);
    EXPECT_EQ(m, 0xFu);
    EXPECT_EQ(query[0], 0x70u);
    EXPECT_EQ(query[3], 0x73u);

    FakeCpu none;
    ScopedFakeCpu noCpuid(none, false);
    Ipp64u untouched = 99;
    EXPECT_EQ(ippGetCpuFeatures(&untouched, nullptr), ippStsNoSSE3);
    EXPECT_EQ(untouched, 99u);
}

TEST_F(Dispatch, ForcedChoiceTable)
{
    struct Row
    {
        Ipp32u code;
        Ipp64u mask;
        Ipp32s index, lp;
    };
    const Row rows[] = {
        {0, 0xF, 1, 0},   {32, 0xF, 1, 0},   {66, 0xF, 1, 0},   {33, 0x1F, 2, 0}, {34, 0x1F, 2, 0},
        {67, 0x1F, 2, 0}, {36, 0x1F, 2, 1},  {35, 0x5F, 3, 0},  {68, 0x5F, 3, 0}, {37, 0xDF, 3, 0},
        {69, 0xDF, 3, 0}, {38, 0xCDF, 3, 0}, {71, 0xCDF, 3, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ippStaticInitCpu(r.code), ippStsNoErr) << r.code;
        EXPECT_EQ(ippGetEnabledCpuFeatures(), r.mask) << r.code;
        EXPECT_EQ(ippJumpIndexForMergedLibs, r.index) << r.code;
        EXPECT_EQ(ippJumpIndexForMergedLibsLP, r.lp) << r.code;
    }
    ippStaticInitCpu(36);
    for (Ipp32u code : {1u, 5u, 11u, 64u, 65u, 96u}) {
        EXPECT_EQ(ippInitCpu(code), ippStsNoSSE3);
        EXPECT_EQ(ippJumpIndexForMergedLibs, 2);
        EXPECT_EQ(ippJumpIndexForMergedLibsLP, 1);
    }
    for (Ipp32u code : {12u, 39u, 70u, 200u, 0xFFFFFFFEu})
        EXPECT_EQ(ippStaticInitCpu(code), ippStsUnknownCpu);
    EXPECT_EQ(ippJumpIndexForMergedLibs, 2);

    FakeCpu cpu;
    cpu.vendor("GenuineIntel");
    cpu.features(ecxSse3, edxBaseline);
    ScopedFakeCpu scope(cpu);
    EXPECT_EQ(ippStaticInitCpu(0xFFFFFFFFu), ippStsNoErr);
    EXPECT_EQ(ippJumpIndexForMergedLibs, 1);
}

TEST_F(Dispatch, StubsPassArgumentsAndResultsThrough)
{
    for (Ipp32u code : {0u, 33u, 38u}) {
        ippStaticInitCpu(code);
        float a[5] = {1, -2, 3, 7, 5}, b[5] = {1, 1, 1, 1, 1};
        float s = 0, mn = 0, mx = 0;
        Ipp32s i0 = -1, i1 = -1;
        EXPECT_EQ(ippsSum_32f(a, 5, &s, 2), ippStsNoErr);
        EXPECT_EQ(s, 14.0f);
        EXPECT_EQ(ippsSum_32f(nullptr, 5, &s, 2), ippStsNullPtrErr);
        EXPECT_EQ(ippsMax_32f(a, 5, &mx), ippStsNoErr);
        EXPECT_EQ(mx, 7.0f);
        EXPECT_EQ(ippsMaxIndx_32f(a, 5, &mx, &i0), ippStsNoErr);
        EXPECT_EQ(i0, 3);
        EXPECT_EQ(ippsMinMax_32f(a, 5, &mn, &mx), ippStsNoErr);
        EXPECT_EQ(mn, -2.0f);
        EXPECT_EQ(ippsMinMaxIndx_32f(a, 5, &mn, &i0, &mx, &i1), ippStsNoErr);
        EXPECT_EQ(i0, 1);
        EXPECT_EQ(i1, 3);
        EXPECT_EQ(ippsAdd_32f_I(a, b, 5), ippStsNoErr);
        EXPECT_EQ(b[1], -1.0f);
        EXPECT_EQ(ippsMulC_32f_I(2.0f, b, 5), ippStsNoErr);
        EXPECT_EQ(b[3], 16.0f);
        EXPECT_EQ(ippsSqr_32f(a, b, 5), ippStsNoErr);
        EXPECT_EQ(b[1], 4.0f);
        EXPECT_EQ(ippsSqr_32f(a, b, 0), ippStsSizeErr);
    }
}

TEST_F(Dispatch, CacheSizeFromLeaf2)
{
    FakeCpu cpu;
    cpu.vendor("GenuineIntel");
    // EAX low byte 1; descriptors 0x2C, 0x49 in EAX; EBX marked invalid (holds 0xEC); EDX 0x22.
    cpu.leaves[{2, 0}] = {0x00492C01u, 0x800000ECu, 0, 0x00000022u};
    ScopedFakeCpu scope(cpu);
    const Ipp32s table[] = {0xEC, 24 << 20, 0x22, 512 << 10, 0x49, 4 << 20, 0};
    EXPECT_EQ(ownGetCacheSize(table), 512 << 10);
    const Ipp32s later[] = {0x49, 4 << 20, 0x22, 512 << 10, 0};
    EXPECT_EQ(ownGetCacheSize(later), 4 << 20);
    const Ipp32s none[] = {0xEC, 1, 0x01, 2, 0};
    EXPECT_EQ(ownGetCacheSize(none), -1);
    cpu.leaves[{2, 0}] = {0x00492C02u, 0, 0, 0};
    EXPECT_EQ(ownGetCacheSize(table), -1);
    NorrikIpp::resetCacheProbe();
    EXPECT_EQ(NorrikIpp::largeCacheSize(), 0);
    cpu.leaves[{2, 0}] = {0x00492C01u, 0x800000ECu, 0, 0x00000022u};
    NorrikIpp::resetCacheProbe();
    EXPECT_EQ(NorrikIpp::largeCacheSize(), 4 << 20); // 0x49 comes before 0x22 in the size table
}

} // namespace

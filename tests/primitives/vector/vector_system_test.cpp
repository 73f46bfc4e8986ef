// Variant choice, features and cache size on stand-in processors, the stubs that follow the choice,
// the aligned allocator, the floating-point control words and byte counts beyond 32 bits.
#include <fstream>
#include <map>
#include <string>
#include <sys/mman.h>

#include "platform/cpu.h"
#include "primitives/vector/cpu_internal.h"
#include "tests/common/sanitized.h"
#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

// Leaf-1 bits.
constexpr std::uint32_t edxBaseline = (1u << 23) | (1u << 25) | (1u << 26); // MMX SSE SSE2
constexpr std::uint32_t ecxSse3 = 1u << 0, ecxPclmul = 1u << 1, ecxSsse3 = 1u << 9, ecxSse41 = 1u << 19,
                        ecxSse42 = 1u << 20, ecxMovbe = 1u << 22, ecxAes = 1u << 25, ecxOsxsave = 1u << 27,
                        ecxAvx = 1u << 28;

// A stand-in processor installed for its lifetime: CPUID answers per leaf (sub-leaf 0 answers
// for all); on exit the real processor's choice comes back.
struct FakeCpu
{
    static inline FakeCpu* current = nullptr;
    std::map<std::pair<std::uint32_t, std::uint32_t>, Platform::CpuidRegisters> leaves;
    std::uint64_t xcr0 = 7;
    Platform::CpuProbe probe;
    FakeCpu(const char* vendor, std::uint32_t ecx, bool hasCpuid = true)
    {
        Platform::CpuidRegisters r{4, 0, 0, 0};
        std::memcpy(&r.ebx, vendor, 4), std::memcpy(&r.edx, vendor + 4, 4), std::memcpy(&r.ecx, vendor + 8, 4);
        leaves[{0, 0}] = r;
        leaves[{1, 0}] = {0x000306A9, 0, ecx, edxBaseline};
        current = this;
        probe.hasCpuid = hasCpuid;
        probe.cpuid = [](std::uint32_t leaf, std::uint32_t sub) {
            auto it = current->leaves.find({leaf, sub});
            it = it != current->leaves.end() ? it : current->leaves.find({leaf, 0});
            return it == current->leaves.end() ? Platform::CpuidRegisters{0, 0, 0, 0} : it->second;
        };
        probe.xgetbv = [](std::uint32_t) { return current->xcr0; };
        Platform::setCpuProbe(&probe);
        NorrikIpp::resetFeatureCache();
    }
    ~FakeCpu()
    {
        Platform::setCpuProbe(nullptr);
        NorrikIpp::resetFeatureCache();
        ippStaticInit();
    }
};

} // namespace

TEST(VectorSystem, ChoiceFeaturesAndCacheOnStandInProcessors)
{
    const struct
    {
        const char* vendor;
        std::uint32_t ecx;
        IppStatus status;
        Ipp32s index, lp;
        Ipp64u enabled;
    } rows[] = {
        {"GenuineIntel", 0, ippStsNoSSE3, 0, 0, 7},
        {"GenuineIntel", ecxSse3 | ecxAes | ecxPclmul, 0, 1, 0, 0xF},
        {"GenuineIntel", ecxSse3 | ecxSsse3, 0, 2, 0, 0x1F},
        {"GenuineIntel", ecxSse3 | ecxSsse3 | ecxMovbe, 0, 2, 1, 0x1F},
        {"GenuineIntel", ecxSse3 | ecxSsse3 | ecxSse41 | ecxSse42 | ecxMovbe | ecxAes | ecxPclmul | ecxOsxsave | ecxAvx,
         0, 3, 0, 0xCDF}, // MOVBE and the AVX bits dropped
        {"AuthenticAMD", ecxSse3 | ecxSsse3 | ecxSse41, ippStsNonIntelCpu, 3, 0, 0x5F},
    };
    for (const auto& r : rows) {
        FakeCpu cpu(r.vendor, r.ecx);
        EXPECT_EQ(ippStaticInit(), r.status) << r.ecx;
        EXPECT_EQ(ippJumpIndexForMergedLibs, r.index);
        EXPECT_EQ(ippJumpIndexForMergedLibsLP, r.lp);
        EXPECT_EQ(ippGetEnabledCpuFeatures(), r.enabled);
        // The stubs reach the chosen variant.
        float a[5] = {1, -2, 3, 7, 5}, b[5] = {1, 1, 1, 1, 1}, s = 0, mn = 0, mx = 0;
        Ipp32s i0 = -1, i1 = -1;
        EXPECT_EQ(ippsSum_32f(a, 5, &s, 2), 0);
        EXPECT_EQ(ippsMinMaxIndx_32f(a, 5, &mn, &i0, &mx, &i1), 0);
        EXPECT_EQ(ippsAdd_32f_I(a, b, 5), 0);
        EXPECT_EQ(ippsSqr_32f(a, b, 0), ippStsSizeErr);
        EXPECT_EQ(s + mn + mx + float(i0 + i1) + b[1], 14.0f - 2 + 7 + 4 - 1);
    }
    {
        FakeCpu none("............", 0, false);
        EXPECT_EQ(ippStaticInit(), ippStsNonIntelCpu);
        EXPECT_EQ(ippJumpIndexForMergedLibs, 0);
        Ipp64u untouched = 99;
        EXPECT_EQ(ippGetCpuFeatures(&untouched, nullptr), ippStsNoSSE3);
        EXPECT_EQ(untouched, 99u);
    }
    // The system saves the SSE state only: no AVX bit in the mask. The caller's own leaf and
    // sub-leaf may be asked for.
    FakeCpu cpu("GenuineIntel", ecxAvx | ecxOsxsave | ecxSse3);
    cpu.xcr0 = 2;
    cpu.leaves[{7, 3}] = {0x70, 0x71, 0x72, 0x73};
    cpu.leaves[{1, 0}].eax = 0x111;
    Ipp64u m = 0;
    Ipp32u regs[4] = {};
    EXPECT_EQ(ippGetCpuFeatures(nullptr, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(ippGetCpuFeatures(&m, regs), 0);
    EXPECT_EQ(m, 0x10Fu);
    EXPECT_TRUE(regs[0] == 0x111u && regs[2] == (ecxAvx | ecxOsxsave | ecxSse3));
    std::memcpy(&m, "getinfoa", 8);
    Ipp32u query[4] = {7, 0, 3, 0};
    EXPECT_EQ(ippGetCpuFeatures(&m, query), 0);
    EXPECT_EQ(query[3], 0x73u);
    // Forced choices: refused codes leave the choice alone.
    EXPECT_EQ(ippStaticInitCpu(36), 0);
    EXPECT_EQ(ippJumpIndexForMergedLibsLP, 1);
    EXPECT_EQ(ippInitCpu(5), ippStsNoSSE3);
    EXPECT_EQ(ippStaticInitCpu(200), ippStsUnknownCpu);
    EXPECT_EQ(ippJumpIndexForMergedLibs, 2);
    // The cache size from leaf 2: descriptors 0x2C, 0x49 in EAX; EBX marked invalid; EDX 0x22.
    cpu.leaves[{2, 0}] = {0x00492C01u, 0x800000ECu, 0, 0x00000022u};
    const Ipp32s table[] = {0xEC, 24 << 20, 0x22, 512 << 10, 0x49, 4 << 20, 0};
    EXPECT_EQ(ownGetCacheSize(table), 512 << 10);
    NorrikIpp::resetCacheProbe();
    EXPECT_EQ(NorrikIpp::largeCacheSize(), 4 << 20); // 0x49 comes before 0x22 in the size table
    NorrikIpp::resetCacheProbe();
    cpu.leaves[{2, 0}] = {0x00492C02u, 0, 0, 0};
    EXPECT_EQ(ownGetCacheSize(table), -1);
    // The saved AVX state, and the leaf beyond the standard range.
    FakeCpu other("GenuineIntel", ecxAvx | ecxOsxsave);
    other.xcr0 = 6;
    other.leaves[{1, 0}].eax = 0xB00;
    other.leaves[{0x20000001u, 0}] = {0, 0, 0, 2};
    ownGetMaskFeatures(&m);
    EXPECT_EQ(m, 0x1307u);
}

namespace {

// A heap that serves blocks at a chosen distance from a 32-byte boundary.
struct ShiftedHeap
{
    static inline std::size_t shift = 0, lastSize = 0;
    static inline void *lastRaw = nullptr, *freed = nullptr;
    alignas(64) static inline unsigned char arena[4096];
    static void* malloc(std::size_t n)
    {
        lastSize = n;
        return lastRaw = n + shift > sizeof arena ? nullptr : arena + shift;
    }
    static void free(void* p) { freed = p; }
};

} // namespace

TEST(VectorSystem, AlignedBlocksKeepTheirRawAddress)
{
    const IppMallocFn savedMalloc = i_malloc;
    const IppFreeFn savedFree = i_free;
    i_malloc = &ShiftedHeap::malloc, i_free = &ShiftedHeap::free;
    for (std::size_t shift = 0; shift < 32; ++shift) {
        ShiftedHeap::shift = shift;
        void* p = y8_ippsMalloc_8u(100);
        const auto raw = reinterpret_cast<std::uintptr_t>(ShiftedHeap::lastRaw),
                   user = reinterpret_cast<std::uintptr_t>(p);
        EXPECT_EQ(ShiftedHeap::lastSize, 140u);
        EXPECT_TRUE(user % 32 == 0 && user >= raw + 8 && user - 32 < raw + 8); // first multiple of 32 from raw + 8
        ippFree(p);
        EXPECT_EQ(ShiftedHeap::freed, ShiftedHeap::lastRaw);
    }
    ShiftedHeap::lastSize = 0;
    EXPECT_EQ(ippMalloc(0), nullptr);
    EXPECT_EQ(m7_ippsMalloc_8u(-1), nullptr);
    EXPECT_EQ(ShiftedHeap::lastSize, 0u); // nothing asked of the heap
    EXPECT_EQ(ippMalloc(2147483647), nullptr);
    EXPECT_EQ(ShiftedHeap::lastSize, std::size_t(2147483647) + 40); // sized in 64 bits
    i_malloc = savedMalloc, i_free = savedFree;
}

TEST(VectorSystem, FloatingPointControlWords)
{
    const Ipp32u cw = ps_get_cw_fpu(), csr = ps_get_ssx();
    EXPECT_EQ(ps_set_ssx(0x6000, 0x6000), csr);
    EXPECT_EQ(ipp_set_rc_ssx(0x2000) & 0x6000u, 0x6000u);
    EXPECT_EQ(ipp_clear_ssx() & 0x6000u, 0x2000u);
    EXPECT_EQ(ps_get_ssx(), 0x1F80u);
    ipp_set_cw_fpu(0x007F); // 24-bit precision: portable 0x20000, the precision unchanged
    EXPECT_EQ(ipp_control87(0, 0) & 0x30000u, 0x20000u);
    EXPECT_EQ(ps_get_cw_fpu(), 0x007Fu);
    ipp_control87(0x10000 | 0x200, 0x30000 | 0x300); // 53-bit precision, round up
    EXPECT_EQ(ps_get_cw_fpu() & 0x0F00u, 0x0A00u);
    ipp_set_cw_fpu(cw);
    ipp_set_cw_ssx(csr);
}

// One masked update serves the x87 control word and MXCSR: the bits under the mask come from the
// value, every other bit keeps what it held, and the former word is answered. Exceptions stay
// masked throughout, and each word is restored before anything is checked.
TEST(VectorSystem, MaskedControlUpdatesKeepEveryBitOutsideTheMask)
{
    struct Word
    {
        const char* name;
        Ipp32u (*get)();
        Ipp32u (*set)(Ipp32u, Ipp32u);
        void (*load)(Ipp32u);
        Ipp32u settable;                   // bits a value may carry
        std::vector<Ipp32u> starts, masks; // starts hold every exception masked
    };
    const Ipp32u daz = ipp_tst_daz_ssx() ? 0x40u : 0u;
    const Word words[] = {
        {"x87", ps_get_cw_fpu, ps_set_cw_fpu, ipp_set_cw_fpu, 0x1F7Fu, {0x037Fu, 0x1E7Fu}, {0x0C00u, 0x0300u, 0x1F00u}},
        {"MXCSR",
         ps_get_ssx,
         ps_set_ssx,
         ipp_set_cw_ssx,
         0xFFBFu | daz,
         {0x1F80u, 0xFFBFu | daz},
         {0x6000u, 0x8000u | daz, 0x003Fu}},
    };
    ps_clear_fpu(); // no x87 exception pending while a word is changed
    for (const Word& w : words)
        for (Ipp32u start : w.starts)
            for (Ipp32u mask : w.masks)
                for (Ipp32u value : {0u, w.settable}) {
                    const Ipp32u saved = w.get();
                    w.load(start);
                    const Ipp32u answered = w.set(value, mask);
                    const Ipp32u now = w.get();
                    w.load(saved);
                    SCOPED_TRACE(std::string(w.name) + " start " + std::to_string(start) + " mask " +
                                 std::to_string(mask) + " value " + std::to_string(value));
                    EXPECT_EQ(answered, start);
                    EXPECT_EQ(now, (value & mask) | (start & ~mask));
                }
}

// Address and thread sanitizers shadow what a test maps, several times over.
constexpr bool kShadowedMemory = NORRIK_TEST_SANITIZED;

// 4 x len does not fit 32 bits: the byte count must still cover every element. The test runs
// alone (RUN_SERIAL) and not under the sanitizers, where its 4.3 GB cost several times more.
TEST(VectorBytes, CountsBeyond32BitsReachEveryElement)
{
    if (kShadowedMemory)
        GTEST_SKIP() << "4.3 GB under a sanitizer's shadow memory";
    const std::int32_t len = (1 << 30) + 5; // 4 * len = 2^32 + 20
    const std::size_t bytes = std::size_t(len) * 4;
    std::ifstream info("/proc/meminfo");
    std::string key, unit;
    std::int64_t kb = 0;
    while (info >> key >> kb >> unit && key != "MemAvailable:") {
    }
    if (kb < (std::int64_t(12) << 20))
        GTEST_SKIP() << "needs about 4.3 GB of free memory";
    void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED)
        GTEST_SKIP() << "cannot map 4 GB";
    madvise(m, bytes, MADV_HUGEPAGE);
    auto* p = static_cast<float*>(m);
    p[0] = p[len - 1] = 3.0f;
    EXPECT_EQ(y8_ippsZero_32f(p, len), 0);
    EXPECT_EQ(p[0] + p[len - 1], 0.0f);
    p[len - 1] = 2.5f;
    EXPECT_EQ(u8_ippsMove_32f(p + 1, p, len - 1), 0);
    EXPECT_EQ(p[len - 2], 2.5f);
    munmap(m, bytes);
}

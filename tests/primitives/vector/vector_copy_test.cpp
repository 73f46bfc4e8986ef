// Copy, zero, move, add and multiply by a constant in every variant.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <sys/mman.h>

#include "tests/primitives/vector/vector_fake_cpu.h"
#include "tests/primitives/vector/vector_support.h"

using namespace VectorTest;

namespace {

const std::size_t floatOffsets[] = {0, 4, 8, 12};

TEST(VectorCopy, CopyZeroMoveFloatsAgainstPlainLoops)
{
    const auto copies = VECTOR_VARIANTS(ippsCopy_32f);
    const auto zeros = VECTOR_VARIANTS(ippsZero_32f);
    const auto moves = VECTOR_VARIANTS(ippsMove_32f);
    for (int len : testLengths())
        for (std::size_t so : floatOffsets)
            for (std::size_t d0 : floatOffsets)
                for (int v = 0; v < 3; ++v) {
                    const auto src = randomFloats(len);
                    Placed<float> s(len, so), d(len, d0);
                    s.fill(src);
                    ASSERT_EQ(copies[v].fn(s.data(), d.data(), len), ippStsNoErr);
                    ASSERT_EQ(d.values(), src) << copies[v].name << len;
                    ASSERT_TRUE(d.guardsIntact());
                    ASSERT_EQ(zeros[v].fn(d.data(), len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), 0u) << zeros[v].name << len;
                    ASSERT_TRUE(d.guardsIntact());
                    ASSERT_EQ(moves[v].fn(s.data(), d.data(), len), ippStsNoErr);
                    ASSERT_EQ(d.values(), src) << moves[v].name << len;
                    ASSERT_TRUE(d.guardsIntact());
                }
}

TEST(VectorCopy, MoveOverlapsBothWays)
{
    const auto moves = VECTOR_VARIANTS(ippsMove_32f);
    for (const auto& m : moves)
        for (int len : {1, 3, 15, 16, 17, 63, 64, 65, 200, 1031})
            for (int shift : {1, 2, 3, 4, 5, 16, 17, 40})
                for (int dir : {+1, -1}) {
                    const int total = len + shift;
                    std::vector<float> buf = randomFloats(total);
                    const std::vector<float> before = buf;
                    const int from = dir > 0 ? 0 : shift, to = dir > 0 ? shift : 0;
                    ASSERT_EQ(m.fn(buf.data() + from, buf.data() + to, len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(buf[to + i], before[from + i])
                            << m.name << " len " << len << " shift " << shift << " dir " << dir;
                }
}

TEST(VectorCopy, ByteCopyAndZeroAtEveryOffset)
{
    const auto copies = VECTOR_VARIANTS(ippsCopy_8u);
    const auto zeros = VECTOR_VARIANTS(ippsZero_8u);
    const auto kCopy = VECTOR_VARIANTS(ownsCopy_8u);
    const auto kZero = VECTOR_VARIANTS(ownsZero_8u);
    std::uniform_int_distribution<int> d(0, 255);
    for (int len : {1, 2, 7, 8, 9, 15, 16, 17, 31, 63, 64, 65, 100, 257, 4099})
        for (std::size_t so = 0; so < 16; so += 3)
            for (std::size_t dof = 0; dof < 16; ++dof)
                for (int v = 0; v < 3; ++v) {
                    std::vector<Ipp8u> src(len);
                    for (auto& b : src)
                        b = Ipp8u(d(rng()));
                    Placed<Ipp8u> s(len, so), dst(len, dof);
                    s.fill(src);
                    ASSERT_EQ(copies[v].fn(s.data(), dst.data(), len), ippStsNoErr);
                    ASSERT_EQ(dst.values(), src);
                    ASSERT_EQ(zeros[v].fn(dst.data(), len), ippStsNoErr);
                    ASSERT_EQ(dst.values(), std::vector<Ipp8u>(len, 0));
                    ASSERT_EQ(kCopy[v].fn(s.data(), dst.data(), len), dst.data());
                    ASSERT_EQ(dst.values(), src);
                    ASSERT_EQ(kZero[v].fn(dst.data(), len), dst.data());
                    ASSERT_EQ(dst.values(), std::vector<Ipp8u>(len, 0));
                    ASSERT_TRUE(dst.guardsIntact());
                }
}

TEST(VectorCopy, AddAndMultiplyMatchSinglePrecisionElementOps)
{
    const auto adds = VECTOR_VARIANTS(ippsAdd_32f_I);
    const auto muls = VECTOR_VARIANTS(ippsMulC_32f);
    const auto mulsI = VECTOR_VARIANTS(ippsMulC_32f_I);
    const auto kAdd = VECTOR_VARIANTS(ownsAdd_32f_I);
    const auto kMul = VECTOR_VARIANTS(ownsMulC_32f);
    const auto kMulI = VECTOR_VARIANTS(ownsMulC_32f_I);
    for (int len : testLengths())
        for (std::size_t so : floatOffsets)
            for (std::size_t d0 : floatOffsets)
                for (int v = 0; v < 3; ++v) {
                    const auto a = randomFloats(len), b = randomFloats(len);
                    const float c = randomFloats(1, -3, 3)[0];
                    Placed<float> s(len, so), d(len, d0);
                    s.fill(a);
                    d.fill(b);
                    ASSERT_EQ(adds[v].fn(s.data(), d.data(), len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits(b[i] + a[i])) << adds[v].name << len;
                    ASSERT_EQ(muls[v].fn(s.data(), c, d.data(), len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits(a[i] * c)) << muls[v].name << len;
                    d.fill(b);
                    ASSERT_EQ(mulsI[v].fn(c, d.data(), len), ippStsNoErr);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits(b[i] * c)) << mulsI[v].name << len;
                    d.fill(b);
                    kAdd[v].fn(s.data(), d.data(), len);
                    kMulI[v].fn(d.data(), len, c);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(bits(d[i]), bits((b[i] + a[i]) * c));
                    kMul[v].fn(s.data(), d.data(), len, 1.0f); // the kernel has no special values
                    ASSERT_EQ(d.values(), a);
                    ASSERT_TRUE(d.guardsIntact());
                }
}

TEST(VectorCopy, MultiplySpecialConstants)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const auto muls = VECTOR_VARIANTS(ippsMulC_32f);
    const auto mulsI = VECTOR_VARIANTS(ippsMulC_32f_I);
    for (int v = 0; v < 3; ++v) {
        std::vector<float> weird = {nan, -0.0f, inf, -inf, -3.0f, 1e-40f, nan, 7.0f, -0.0f, 1.0f, 2.0f, 3.0f};
        std::uint32_t payload = 0x7FC12345u;
        std::memcpy(&weird[6], &payload, 4);
        const auto before = weird;
        // 1.0 in place: untouched, NaN payloads and signed zeros included.
        ASSERT_EQ(mulsI[v].fn(1.0f, weird.data(), int(weird.size())), ippStsNoErr);
        for (std::size_t i = 0; i < weird.size(); ++i)
            EXPECT_EQ(bits(weird[i]), bits(before[i]));
        // 1.0 out of place: a copy.
        std::vector<float> out(weird.size(), 5.0f);
        ASSERT_EQ(muls[v].fn(weird.data(), 1.0f, out.data(), int(out.size())), ippStsNoErr);
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(bits(out[i]), bits(before[i]));
        // Zero of either sign: +0.0 everywhere, even for infinities and NaNs.
        for (float zero : {0.0f, -0.0f}) {
            ASSERT_EQ(muls[v].fn(weird.data(), zero, out.data(), int(out.size())), ippStsNoErr);
            for (float x : out)
                EXPECT_EQ(bits(x), 0u);
            auto w = weird;
            ASSERT_EQ(mulsI[v].fn(zero, w.data(), int(w.size())), ippStsNoErr);
            for (float x : w)
                EXPECT_EQ(bits(x), 0u);
        }
        // A NaN constant is an ordinary factor.
        auto w = weird;
        ASSERT_EQ(mulsI[v].fn(nan, w.data(), int(w.size())), ippStsNoErr);
        for (float x : w)
            EXPECT_TRUE(std::isnan(x));
    }
}

TEST(VectorCopy, StatusCodes)
{
    float a[4] = {1, 2, 3, 4}, b[4] = {9, 9, 9, 9};
    Ipp8u c[4] = {1, 2, 3, 4}, e[4] = {};
    for (int v = 0; v < 3; ++v) {
        const auto cp = VECTOR_VARIANTS(ippsCopy_32f)[v].fn;
        const auto cp8 = VECTOR_VARIANTS(ippsCopy_8u)[v].fn;
        const auto z = VECTOR_VARIANTS(ippsZero_32f)[v].fn;
        const auto z8 = VECTOR_VARIANTS(ippsZero_8u)[v].fn;
        const auto mv = VECTOR_VARIANTS(ippsMove_32f)[v].fn;
        const auto add = VECTOR_VARIANTS(ippsAdd_32f_I)[v].fn;
        const auto mul = VECTOR_VARIANTS(ippsMulC_32f)[v].fn;
        const auto mulI = VECTOR_VARIANTS(ippsMulC_32f_I)[v].fn;
        for (int len : {0, -1, 4}) {
            const IppStatus nullExpected = ippStsNullPtrErr;
            EXPECT_EQ(cp(nullptr, b, len), nullExpected);
            EXPECT_EQ(cp(a, nullptr, len), nullExpected);
            EXPECT_EQ(cp8(nullptr, e, len), nullExpected);
            EXPECT_EQ(cp8(c, nullptr, len), nullExpected);
            EXPECT_EQ(z(nullptr, len), nullExpected);
            EXPECT_EQ(z8(nullptr, len), nullExpected);
            EXPECT_EQ(mv(nullptr, b, len), nullExpected);
            EXPECT_EQ(mv(a, nullptr, len), nullExpected);
            EXPECT_EQ(add(nullptr, b, len), nullExpected);
            EXPECT_EQ(add(a, nullptr, len), nullExpected);
            EXPECT_EQ(mul(nullptr, 2.0f, b, len), nullExpected);
            EXPECT_EQ(mul(a, 2.0f, nullptr, len), nullExpected);
            EXPECT_EQ(mulI(2.0f, nullptr, len), nullExpected);
        }
        for (int len : {0, -1, -2147483647 - 1}) {
            EXPECT_EQ(cp(a, b, len), ippStsSizeErr);
            EXPECT_EQ(cp8(c, e, len), ippStsSizeErr);
            EXPECT_EQ(z(b, len), ippStsSizeErr);
            EXPECT_EQ(z8(e, len), ippStsSizeErr);
            EXPECT_EQ(mv(a, b, len), ippStsSizeErr);
            EXPECT_EQ(add(a, b, len), ippStsSizeErr);
            EXPECT_EQ(mul(a, 1.0f, b, len), ippStsSizeErr);
            EXPECT_EQ(mulI(0.0f, b, len), ippStsSizeErr);
            EXPECT_EQ(mulI(1.0f, b, len), ippStsSizeErr);
        }
        for (float x : b)
            EXPECT_EQ(x, 9.0f); // nothing written on an error
        for (Ipp8u x : e)
            EXPECT_EQ(x, 0);
    }
}

// Large blocks take the streamed paths once the processor names a cache that they exceed.
TEST(VectorCopy, LargeBlocksStreamedOrCachedGiveTheSameBytes)
{
    FakeCpu cpu;
    cpu.vendor("GenuineIntel", 4);
    cpu.features(ecxSse3 | ecxSsse3 | ecxSse41, edxBaseline);
    cpu.leaves[{2, 0}] = {0x00002201u, 0, 0, 0}; // 512 KiB
    cpu.leaves[{4, 0}] = {1u << 26, 0, 0, 0};    // two sharing it
    ScopedFakeCpu scope(cpu);
    const int n = (3 << 20) / 4 + 5; // 3 MiB and a bit
    for (std::size_t off : {0, 4, 12}) {
        const auto src = randomFloats(n);
        Placed<float> s(n, 4), d(n, off);
        s.fill(src);
        const auto copies = VECTOR_VARIANTS(ippsCopy_32f);
        const auto zeros = VECTOR_VARIANTS(ippsZero_32f);
        for (int v = 0; v < 3; ++v) {
            ASSERT_EQ(copies[v].fn(s.data(), d.data(), n), ippStsNoErr);
            ASSERT_EQ(std::memcmp(d.data(), src.data(), std::size_t(n) * 4), 0);
            ASSERT_EQ(zeros[v].fn(d.data(), n), ippStsNoErr);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(bits(d[i]), 0u);
            ASSERT_TRUE(d.guardsIntact());
        }
    }
}

std::int64_t availableMemory()
{
    std::ifstream f("/proc/meminfo");
    std::string key;
    std::int64_t kb = 0;
    std::string unit;
    while (f >> key >> kb >> unit)
        if (key == "MemAvailable:")
            return kb * 1024;
    return 0;
}

// 4 x len does not fit 32 bits: the byte count must still cover every element.
TEST(VectorCopy, ByteCountsBeyond32BitsReachEveryElement)
{
    const std::int32_t len = (1 << 30) + 5; // 4 * len = 2^32 + 20
    const std::size_t bytes = std::size_t(len) * 4;
    if (availableMemory() < std::int64_t(12) << 30)
        GTEST_SKIP() << "needs about 4.3 GB of free memory";
    void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED)
        GTEST_SKIP() << "cannot map 4 GB";
    madvise(m, bytes, MADV_HUGEPAGE); // fewer page faults where the kernel allows it
    auto* p = static_cast<float*>(m);
    const auto fillEnds = [&] {
        for (int i = 0; i < 8; ++i)
            p[i] = p[len - 1 - i] = 3.0f;
    };
    fillEnds();
    EXPECT_EQ(y8_ippsZero_32f(p, len), ippStsNoErr);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(p[i], 0.0f);
        EXPECT_EQ(p[len - 1 - i], 0.0f);
    }
    p[len - 1] = 2.5f;
    EXPECT_EQ(u8_ippsMove_32f(p + 1, p, len - 1), ippStsNoErr);
    EXPECT_EQ(p[len - 2], 2.5f);
    munmap(m, bytes);
}

} // namespace

// The FIR's block size, order 8, runs three ways: the radix-4 stage plan's loop (the plain pass
// on bit-reversed input) with the set-up's recombination table, the fixed-size forward with its
// own recombination table, and the FIR's fused sweep. They give the same bits, in every variant.
#include <gtest/gtest.h>

#include <vector>

#include "fft_reference.h"
#include "fft_variants.h"

namespace {

TEST(FftOrder8, PlanLoopFixedForwardAndFusedSweepAgreeBitForBit)
{
    constexpr int N = 256, n = N / 2, kFrom = 80, kKept = N - kFrom;
    for (const auto& v : fftVariants()) {
        RealFftSpec32f* spec = nullptr;
        ASSERT_EQ(v.initAlloc(&spec, 8, 2, 0), 0); // the FIR's flag: the inverse scales
        int bufSize = 0;
        v.getBufSize(spec, &bufSize);
        OffsetBuffer buf(bufSize / 4, 0);
        for (unsigned seed = 0; seed < 20; ++seed) {
            const auto x = randomFloats(N, seed), h = randomFloats(N, 100 + seed);
            // Aligned as the FIR keeps them, and off by a float (the sweep's other loads).
            const size_t off = seed % 2 ? 4 : 0;
            OffsetBuffer taps(N, off), work(N, off), loop(N, 0), block(N, 0);
            ASSERT_EQ(v.fwd(h.data(), taps.f(), spec, buf.bytes()), 0);

            ASSERT_EQ(v.fwd(x.data(), block.f(), spec, buf.bytes()), 0);
            v.bitRev2C(x.data(), loop.f(), n, spec->bitRevTable);
            v.fwdPlain(reinterpret_cast<Ipp32fc*>(loop.f()), n, spec->radix4Twiddles, buf.bytes(), 1);
            const float a = loop.f()[0], b = loop.f()[1];
            loop.f()[0] = a + b;
            loop.f()[1] = a - b;
            v.realRecombine(reinterpret_cast<Ipp32fc*>(loop.f()), n, spec->realRecTwiddles);
            EXPECT_TRUE(sameBits(loop.f(), block.f(), N)) << v.name << " seed " << seed << ": plan loop";

            ASSERT_EQ(v.mulPerm(taps.f(), block.f(), N), 0);
            ASSERT_EQ(v.inv(block.f(), block.f(), spec, buf.bytes()), 0);
            std::vector<float> kept(kKept);
            ASSERT_EQ(v.convolve(spec, x.data(), work.f(), taps.f(), buf.bytes(), kept.data(), kFrom, kKept), 0);
            EXPECT_TRUE(sameBits(kept.data(), block.f() + kFrom, kKept)) << v.name << " seed " << seed << ": sweep";
        }
        v.free(spec);
    }
}

} // namespace

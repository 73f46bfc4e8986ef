// The twiddled radix-4 and radix-8 stages of the complex passes, on the split-by-four layout, and
// every size's stage plan; included by variant sources only.
#pragma once

#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace fft {

// Radix-4 stage: joins sub-transforms of length L (split layout in `in`) into length 4L at `out`
// (same positions). Sub-transform of residue r sits at offset rev2(r) L within its block.
template <bool Inv, bool Interleaved>
FFT_INLINE void stage4(const float* in, float* out, int n, int L, const float* twd)
{
    if (L == 4) {
        // The span-16 stage has one twiddle group: keep it in registers for the whole stage.
        const Cv w1 = loadC<true>(twd), w2 = loadC<true>(twd + 8), w3 = loadC<true>(twd + 16);
        for (int p = 0; p < n; p += 16) {
            const Cv y0 = loadC(in + 2 * p);
            const Cv y1 = twistBy<Inv>(loadC(in + 2 * (p + 8)), w1);
            const Cv y2 = twistBy<Inv>(loadC(in + 2 * (p + 4)), w2);
            const Cv y3 = twistBy<Inv>(loadC(in + 2 * (p + 12)), w3);
            Cv x0, x1, x2, x3;
            dft4<Inv>(y0, y1, y2, y3, x0, x1, x2, x3);
            storeGroup<Interleaved>(out + 2 * p, x0);
            storeGroup<Interleaved>(out + 2 * (p + 4), x1);
            storeGroup<Interleaved>(out + 2 * (p + 8), x2);
            storeGroup<Interleaved>(out + 2 * (p + 12), x3);
        }
        return;
    }
    for (int b = 0; b < n; b += 4 * L) {
        const float* w = twd;
        for (int j = 0; j < L; j += 4, w += 24) {
            const int p = b + j;
            const Cv y0 = loadC(in + 2 * p);
            const Cv y1 = twist<Inv>(loadC(in + 2 * (p + 2 * L)), w);
            const Cv y2 = twist<Inv>(loadC(in + 2 * (p + L)), w + 8);
            const Cv y3 = twist<Inv>(loadC(in + 2 * (p + 3 * L)), w + 16);
            Cv x0, x1, x2, x3;
            dft4<Inv>(y0, y1, y2, y3, x0, x1, x2, x3);
            storeGroup<Interleaved>(out + 2 * p, x0);
            storeGroup<Interleaved>(out + 2 * (p + L), x1);
            storeGroup<Interleaved>(out + 2 * (p + 2 * L), x2);
            storeGroup<Interleaved>(out + 2 * (p + 3 * L), x3);
        }
    }
}

// One radix-8 butterfly: y(r) gives the input at position r L (natural order), w its seven
// twiddles, the outputs go to dst + 2 q L.
template <bool Inv, bool Interleaved, Rot8 Form = Rot8::SumFirst, typename Y>
FFT_INLINE void radix8Block(Y y, const float* w, float* dst, int L)
{
    butterfly8<Inv, Form>([&](int r) { return r == 0 ? y(0) : twist<Inv>(y(kRev3[r]), w + 8 * (r - 1)); },
                          [&](int q, Cv x) { storeGroup<Interleaved>(dst + 2 * q * L, x); },
                          _mm_load_ps(constants().r8), _mm_load_ps(constants().minusR8));
}

template <bool Inv, bool Interleaved, Rot8 Form = Rot8::SumFirst>
FFT_INLINE void stage8(const float* in, float* out, int n, int L, const float* twd)
{
    for (int b = 0; b < n; b += 8 * L) {
        const float* w = twd;
        for (int j = 0; j < L; j += 4, w += 56) {
            const int p = b + j;
            radix8Block<Inv, Interleaved, Form>([&](int r) { return loadC(in + 2 * (p + r * L)); }, w, out + 2 * p, L);
        }
    }
}

// Every order's stage plan, worked out at compile time instead of on each call.
struct StagePlans
{
    int count[31];
    int radix[31][16];
};
constexpr StagePlans makeStagePlans()
{
    StagePlans p{};
    for (int m = 4; m <= 30; ++m)
        p.count[m] = fftStagePlan(m, p.radix[m]);
    return p;
}
constexpr StagePlans kStagePlans = makeStagePlans();

} // namespace fft
} // namespace NORRIK_VARIANT_NS

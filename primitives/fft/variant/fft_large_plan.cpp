// The cache-blocked transform's plan of every size, worked out while compiling.
#include "primitives/fft/fft_large_plan.h"

#include "primitives/fftkernels/variant/fft_plan.h"

namespace NORRIK_VARIANT_NS {
namespace {

// From the top level down: each splits its points into 2^L(m) rows, and rows longer than the
// radix-4 pass takes are split the same way once more. A group's column passes do 2 levels (factor
// 4) while 2, 4 or 6 are left, else 3 (factor 8); the last one is thus a factor-4 pass.
constexpr FftLargePlan planOf(int m)
{
    FftLargePlan plan{};
    for (;;) {
        FftLargeLevel& level = plan.level[plan.depths++];
        level.m = m;
        level.L = static_cast<int>(kLargeL[m]);
        level.W = static_cast<int>(kLargeW[m]);
        for (int left = level.L; left > 0;) {
            const int bits = left == 2 || left == 4 || left == 6 ? 2 : 3;
            level.bits[level.passes++] = bits;
            left -= bits;
        }
        m -= level.L;
        if (m <= kFftSettings.rowLimit || plan.depths == kFftLargeMaxDepths)
            break;
    }
    plan.rowOrder = m;
    return plan;
}

struct Plans
{
    FftLargePlan of[31];
};
constexpr Plans makePlans()
{
    Plans p{};
    for (int m = 0; m <= 30; ++m)
        p.of[m] = planOf(m);
    return p;
}
constexpr Plans kPlans = makePlans();

} // namespace

const FftLargePlan& fftLargePlan(int m)
{
    return kPlans.of[m];
}

} // namespace NORRIK_VARIANT_NS

// The variant's constant block: the quarter-sine table of base order 10, then the four-lane
// constants of the kernels and passes and the order tables of the cache-blocked transform.
#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/common/variant.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_sine.h"

namespace {

constexpr Ipp32u kNeg = 0x80000000u;  // -0.0f
constexpr float kR8 = 0x1.6a09e8p-1f; // 0.70710683, one unit above the float nearest sqrt(1/2)
constexpr float kC = 0x1.6a09e6p-1f;  // 0.70710677

// The large transform's tables are copied in from the variant's settings, where its planner reads them.
constexpr FftFixTwiddleTable makeConstants()
{
    // clang-format off
    FftFixTwiddleTable t = {
        {NORRIK_FFT_QUARTER_SINE},
        {kR8, kR8, kR8, kR8},
        {-kR8, -kR8, -kR8, -kR8},
        {kC, kC, kC, kC},
        {-kC, -kC, -kC, -kC},
        {1.0f, kR8, 0.0f, -kR8},
        {0.0f, -kR8, -1.0f, -kR8},
        {0, kNeg, 0, kNeg},
        {kNeg, 0, kNeg, 0},
        {},
        {},
    };
    // clang-format on
    for (int m = 0; m < 31; ++m) {
        t.largeL[m] = NORRIK_VARIANT_NS::kLargeL[m];
        t.largeW[m] = NORRIK_VARIANT_NS::kLargeW[m];
    }
    return t;
}

} // namespace

extern "C" IPP_EXPORT constinit const FftFixTwiddleTable VARIANT(fft_fix_twiddle_table_32f) = makeConstants();

#if NORRIK_VARIANT_ID == 0
// The baseline block is also exported under the table's plain name.
extern "C" IPP_EXPORT const FftFixTwiddleTable fft_fix_twiddle_table_32f
    __attribute__((alias("m7_fft_fix_twiddle_table_32f")));
#endif

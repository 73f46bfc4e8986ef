// Twiddle values read from the quarter-sine base table by quadrant; included by variant sources.
#pragma once

#include "primitives/common/variant.h"

namespace NORRIK_VARIANT_NS {
namespace fft {

// cos and sin of 2 pi t / L read from the base table B; u is the stride into B. A negated entry is
// 0 - B[...], so a zero stays +0.
inline void foldCosSin(const float* B, long t, long L, long u, float& cs, float& sn)
{
    if (t <= L / 4) {
        cs = B[(L / 4 - t) * u];
        sn = B[t * u];
    } else if (t <= L / 2) {
        cs = 0.0f - B[(t - L / 4) * u];
        sn = B[(L / 2 - t) * u];
    } else if (t <= 3 * L / 4) {
        cs = 0.0f - B[(3 * L / 4 - t) * u];
        sn = 0.0f - B[(t - L / 2) * u];
    } else {
        cs = B[(t - 3 * L / 4) * u];
        sn = 0.0f - B[(L - t) * u];
    }
}

} // namespace fft
} // namespace NORRIK_VARIANT_NS

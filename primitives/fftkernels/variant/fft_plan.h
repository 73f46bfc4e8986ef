// Per-variant settings of the FFT code and the radix-4 stage plan; included by variant sources only.
#pragma once

#include "primitives/common/variant.h"

namespace NORRIK_VARIANT_NS {

struct FftVariantSettings
{
    bool stagePlanM7;      // the m7 stage rule (else: radix 8 whenever the levels left divide by 3)
    int normMaxOrder;      // last real order run by the Norm radix-4 pass; the radix-4 orders
                           // up to largeFromOrder - 1 beyond it run bit reversal, then the plain pass
    int largeFromOrder;    // first real order of the cache-blocked transform
    int recThreshold;      // first order of the two-level recombination tables
    bool recFourBinBlocks; // recombination tables in blocks of four bins (else two)
    int rowLimit;          // largest row order of the cache-blocked transform run by the radix-4 pass
    int blockFrom;         // first m whose bit reversal moves 64 x 64 blocks
    int copyFrom;          // first m whose out-of-place blocked reversal copies first, then swaps
    int copyPiece;         // bytes per piece of that copy
};

#if NORRIK_VARIANT_ID == 0
inline constexpr FftVariantSettings kFftSettings{true, 16, 18, 19, true, 16, 20, 20, 8 << 20};
#elif NORRIK_VARIANT_ID == 1
inline constexpr FftVariantSettings kFftSettings{false, 17, 19, 19, false, 17, 19, 22, 32 << 20};
#else
inline constexpr FftVariantSettings kFftSettings{false, 18, 19, 21, false, 17, 19, 23, 64 << 20};
#endif

// By m: the levels that the cache-blocked transform of 2^m points leaves to its column passes (it
// splits the points into 2^L rows; 0: not transformed that way), and log2 of the values in one
// of its column groups. The variant's exported constant block carries them too.
#if NORRIK_VARIANT_ID == 0
inline constexpr Ipp32u kLargeL[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 4, 4, 4, 4, 6, 8, 8, 8, 8, 8, 8, 8, 8, 8};
inline constexpr Ipp32u kLargeW[31] = {0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0,
                                       0, 9, 10, 10, 10, 13, 15, 15, 15, 15, 15, 15, 15, 15, 15};
#else
inline constexpr Ipp32u kLargeL[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 4, 4, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
inline constexpr Ipp32u kLargeW[31] = {0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0,
                                       0, 0, 10, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14};
#endif

// Radices (4 or 8) of the stages after the twiddle-free first radix-4 stage of a 2^m-point
// transform, m >= 4; returns their count.
constexpr int fftStagePlan(int m, int* radix)
{
    int count = 0;
    for (int c = 2; c < m;) {
        const int r = m - c;
        bool eight;
        if (kFftSettings.stagePlanM7) {
            eight = r == 3 || (r >= 5 && c >= 3) || (c == 2 && (m == 7 || m == 10 || m == 11 || m == 13 || m == 14));
        } else {
            eight = r % 3 == 0;
        }
        radix[count++] = eight ? 8 : 4;
        c += eight ? 3 : 2;
    }
    return count;
}

} // namespace NORRIK_VARIANT_NS

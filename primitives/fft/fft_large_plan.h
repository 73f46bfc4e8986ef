// The cache-blocked transform's plan for 2^m complex points, decided once per variant and size:
// the sizing, the table building and the transform all follow it. Internal to the primitives:
// declared in each variant's namespace, never exported.
#pragma once

// One level: its 2^m points as 2^L rows of 2^(m - L), the rows transformed first, then the last L
// levels in column passes over one gathered group of 2^(W - L) columns at a time.
struct FftLargeLevel
{
    int m, L, W;
    int passes;  // column passes per group
    int bits[4]; // levels of each pass in turn: 2 for a factor-4 pass, 3 for a factor-8 pass
};

constexpr int kFftLargeMaxDepths = 3; // the set-up record has a column table for each

struct FftLargePlan
{
    int depths; // levels; the rows of level d are level d + 1, the last level's go to the radix-4 pass
    FftLargeLevel level[kFftLargeMaxDepths]; // level 0: the whole transform
    int rowOrder;                            // log2 of the points in the last level's rows
};

#define NORRIK_FFT_LARGE_PLAN_DECLARE(NS)                                                                              \
    namespace NS {                                                                                                     \
    /* m from 0 to 30. */                                                                                              \
    const FftLargePlan& fftLargePlan(int m);                                                                           \
    }
NORRIK_FFT_LARGE_PLAN_DECLARE(m7)
NORRIK_FFT_LARGE_PLAN_DECLARE(u8)
NORRIK_FFT_LARGE_PLAN_DECLARE(y8)
#undef NORRIK_FFT_LARGE_PLAN_DECLARE

// Helpers shared by the filter tests: the variants by name, signals, comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include <array>
#include <complex>

#include "primitives/filters/filter_kernels.h"
#include "primitives/filters/ipps_filters.h"

namespace filters_test {

struct IirApi
{
    const char* name;
    IppStatus (*initAlloc)(IirState32f**, const Ipp32f*, int, const Ipp32f*);
    IppStatus (*setTaps)(const Ipp32f*, IirState32f*);
    IppStatus (*setDlyLine)(IirState32f*, const Ipp32f*);
    IppStatus (*free)(IirState32f*);
    IppStatus (*iir)(const Ipp32f*, Ipp32f*, int, IirState32f*);
};

struct FirApi
{
    const char* name;
    IppStatus (*initAlloc)(FirState32f**, const Ipp32f*, int, const Ipp32f*);
    IppStatus (*setDlyLine)(FirState32f*, const Ipp32f*);
    IppStatus (*free)(FirState32f*);
    IppStatus (*fir)(const Ipp32f*, Ipp32f*, int, FirState32f*);
    void (*kernel)(const Ipp32f*, const Ipp32f*, Ipp32f*, int, int, int);
    bool tapRows; // the variant stores four shifted rows of taps
};

#define FILTERS_TEST_IIR(P)                                                                                            \
    IirApi                                                                                                             \
    {                                                                                                                  \
#P, P##ippsIIRInitAlloc_BiQuad_32f, P##ippsIIRSetTaps_32f, P##ippsIIRSetDlyLine_32f, P##ippsIIRFree_32f,       \
            P##ippsIIR_32f                                                                                             \
    }
#define FILTERS_TEST_FIR(P, ROWS)                                                                                      \
    FirApi                                                                                                             \
    {                                                                                                                  \
#P, P##ippsFIRInitAlloc_32f, P##ippsFIRSetDlyLine_32f, P##ippsFIRFree_32f, P##ippsFIR_32f, P##ownFIRSR_32f,    \
            ROWS                                                                                                       \
    }

inline const std::vector<IirApi>& iirVariants()
{
    static const std::vector<IirApi> v{FILTERS_TEST_IIR(m7_), FILTERS_TEST_IIR(u8_), FILTERS_TEST_IIR(y8_)};
    return v;
}
inline const std::vector<FirApi>& firVariants()
{
    static const std::vector<FirApi> v{FILTERS_TEST_FIR(m7_, false), FILTERS_TEST_FIR(u8_, true),
                                       FILTERS_TEST_FIR(y8_, true)};
    return v;
}

inline std::vector<float> noise(std::size_t n, unsigned seed, float amp = 1.0f)
{
    std::mt19937 g(seed);
    std::uniform_real_distribution<float> d(-amp, amp);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(g);
    return v;
}

inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Index of the first differing value, or -1.
inline long firstBitDifference(const float* a, const float* b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (std::memcmp(a + i, b + i, sizeof(float)) != 0)
            return static_cast<long>(i);
    return -1;
}

// Largest |a - b| relative to the largest |b|.
inline double relMaxError(const std::vector<float>& a, const std::vector<double>& b)
{
    double err = 0.0, scale = 1e-30;
    for (std::size_t i = 0; i < b.size(); ++i) {
        err = std::max(err, std::fabs(static_cast<double>(a[i]) - b[i]));
        scale = std::max(scale, std::fabs(b[i]));
    }
    return err / scale;
}

} // namespace filters_test

// Helpers shared by the filter tests: the variants by name, signals, comparisons.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/filters/filter_kernels.h"
#include "primitives/vector/ipps_vector.h"
#include "tests/primitives/vector/vector_support.h"

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
#define FILTERS_IIR(P)                                                                                                 \
    {                                                                                                                  \
#P, P##ippsIIRInitAlloc_BiQuad_32f, P##ippsIIRSetTaps_32f, P##ippsIIRSetDlyLine_32f, P##ippsIIRFree_32f,       \
            P##ippsIIR_32f                                                                                             \
    }
inline const IirApi kIir[3] = {FILTERS_IIR(m7_), FILTERS_IIR(u8_), FILTERS_IIR(y8_)};

struct FirApi
{
    const char* name;
    IppStatus (*initAlloc)(FirState32f**, const Ipp32f*, int, const Ipp32f*);
    IppStatus (*setDlyLine)(FirState32f*, const Ipp32f*);
    IppStatus (*free)(FirState32f*);
    IppStatus (*fir)(const Ipp32f*, Ipp32f*, int, FirState32f*);
};
#define FILTERS_FIR(P)                                                                                                 \
    {                                                                                                                  \
#P, P##ippsFIRInitAlloc_32f, P##ippsFIRSetDlyLine_32f, P##ippsFIRFree_32f, P##ippsFIR_32f                      \
    }
inline const FirApi kFir[3] = {FILTERS_FIR(m7_), FILTERS_FIR(u8_), FILTERS_FIR(y8_)};

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

// Runs x through `call(src, dst, n)` in calls of the given sizes (cycled).
template <class F>
std::vector<float> inCalls(const std::vector<float>& x, const std::vector<int>& sizes, F&& call)
{
    std::vector<float> y(x.size());
    std::size_t pos = 0;
    for (std::size_t i = 0; pos < x.size(); ++i) {
        const int n = std::min<int>(sizes[i % sizes.size()], static_cast<int>(x.size() - pos));
        EXPECT_EQ(call(x.data() + pos, y.data() + pos, n), 0);
        pos += n;
    }
    return y;
}

// Routes the primitives' heap through a counter of live blocks while it exists; requests larger
// than failAbove fail.
struct CountingHeap
{
    static inline std::size_t failAbove = SIZE_MAX;
    static inline long live = 0;
    IppMallocFn savedMalloc = i_malloc;
    IppFreeFn savedFree = i_free;
    CountingHeap()
    {
        i_malloc = [](std::size_t n) {
            void* p = n > failAbove ? nullptr : std::malloc(n);
            live += p != nullptr;
            return p;
        };
        i_free = [](void* p) {
            live -= p != nullptr;
            std::free(p);
        };
    }
    ~CountingHeap() { i_malloc = savedMalloc, i_free = savedFree; }
};

} // namespace filters_test

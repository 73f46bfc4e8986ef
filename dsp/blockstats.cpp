#include "dsp/blockstats.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>

#include "dsp/prims.h"

namespace DSP {

float measurablePeak(const float* x, std::int32_t n, bool* unmeasurable)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 big = _mm_set1_ps(kLargestMeasured);
    __m128 m0 = _mm_setzero_ps(), m1 = _mm_setzero_ps();
    __m128 bad = _mm_setzero_ps();
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128 a = _mm_and_ps(_mm_loadu_ps(x + i), absMask);
        __m128 b = _mm_and_ps(_mm_loadu_ps(x + i + 4), absMask);
        // Not-less-or-equal is true for infinities and NaN alike.
        __m128 ba = _mm_cmpnle_ps(a, big);
        __m128 bb = _mm_cmpnle_ps(b, big);
        bad = _mm_or_ps(bad, _mm_or_ps(ba, bb));
        m0 = _mm_max_ps(m0, _mm_andnot_ps(ba, a));
        m1 = _mm_max_ps(m1, _mm_andnot_ps(bb, b));
    }
    m0 = _mm_max_ps(m0, m1);
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, m0);
    float m = lanes[0];
    for (int k = 1; k < 4; ++k)
        if (lanes[k] > m)
            m = lanes[k];
    bool anyBad = _mm_movemask_ps(bad) != 0;
    for (; i < n; ++i) {
        float a = std::fabs(x[i]);
        if (!(a <= kLargestMeasured)) {
            anyBad = true;
            continue;
        }
        if (a > m)
            m = a;
    }
    if (unmeasurable)
        *unmeasurable = anyBad;
    return m;
}

void copyMeasurable(const float* src, float* dst, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i) {
        float v = src[i];
        dst[i] = std::fabs(v) <= kLargestMeasured ? v : 0.0f;
    }
}

SilenceTest::SilenceTest() : threshold(std::pow(10.0f, -6.0f)) {}

bool SilenceTest::test(float** channels, std::int32_t n, std::int32_t channelCount, bool* unmeasurable)
{
    bool silent = true;
    for (std::int32_t c = 0; c < channelCount; ++c) {
        bool bad = false;
        if (measurablePeak(channels[c], n, &bad) > threshold)
            silent = false;
        if (unmeasurable)
            unmeasurable[c] = bad;
    }
    return advance(silent, n);
}

bool SilenceTest::advance(bool silentBlock, std::int32_t n)
{
    run = silentBlock ? run + (n > 0 ? n : 0) : 0;
    skipping = silentBlock && run >= kSkipAfter;
    return skipping;
}

void SilenceTest::reset()
{
    run = 0;
    skipping = true;
}

float absMax(const float* x, std::int32_t n)
{
    // An empty block has no peak (the host may send blocks of 0 samples).
    if (n < 1)
        return 0.0f;
    float mx = std::fabs(x[0]);
    float mn = -mx;
    ippsMinMax_32f(x, n, &mn, &mx);
    float a = std::fabs(mn);
    return a > mx ? a : mx;
}

float maxValue(const float* x, std::int32_t n)
{
    float m = x[0];
    ippsMax_32f(x, n, &m);
    return m;
}

float maxIndex(const float* x, std::int32_t n, std::int32_t* index)
{
    float m = x[0];
    *index = 0;
    int k = 0;
    if (ippsMaxIndx_32f(x, n, &m, &k) == 0)
        *index = k;
    return m;
}

float absMaxIndex(const float* x, std::int32_t n, std::int32_t* index)
{
    float mn = x[0], mx = x[0];
    int imn = 0, imx = 0;
    ippsMinMaxIndx_32f(x, n, &mn, &imn, &mx, &imx);
    if (std::fabs(mn) > mx) {
        *index = imn;
        return std::fabs(mn);
    }
    *index = imx;
    return mx;
}

void minAbsIndex(const float* x, std::int32_t n, std::int32_t* index)
{
    std::int32_t k = 0;
    for (std::int32_t i = 1; i < n; ++i)
        if (std::fabs(x[i]) < std::fabs(x[k]))
            k = i;
    *index = k;
}

void mixDown(float* dst, float** src, std::int32_t n, std::int32_t channels, bool average)
{
    if (channels < 1 || n < 1)
        return;
    std::memcpy(dst, src[0], sizeof(float) * static_cast<std::size_t>(n));
    for (std::int32_t c = 1; c < channels; ++c)
        ippsAdd_32f_I(src[c], dst, n);
    if (average)
        ippsMulC_32f_I(1.0f / static_cast<float>(channels), dst, n);
}

} // namespace DSP

// Reductions of sample blocks to one number: silence test, peaks, mixes.
#pragma once

#include <cstdint>

namespace DSP {

// Largest sample magnitude the meter measures. Beyond it a K-weighted square summed over a 3-s window
// at the highest rate could overflow single precision: such samples are measured like non-finite
// ones, as silence.
constexpr float kLargestMeasured = 1e15f;

// The meter's one silence test. A block is silent when no measurable sample of any channel exceeds
// the threshold in magnitude (every sample is examined: a strided look misses tones at multiples of
// fs / stride). Silent samples are counted across blocks, and a block may be skipped only once the
// run of silent samples has reached kSkipAfter: blocks that long behave as if tested alone, and short
// host blocks do not lose the zero crossings of a signal.
class SilenceTest
{
public:
    static constexpr std::int32_t kSkipAfter = 64;

    SilenceTest();
    explicit SilenceTest(float threshold) : threshold(threshold) {}

    // Tests n samples of each channel; true when they may be skipped. With `unmeasurable` (one entry
    // per channel), entry c tells whether channel c holds a sample that must be measured as 0.
    bool test(float** channels, std::int32_t n, std::int32_t channelCount, bool* unmeasurable = nullptr);
    // As test, for a block whose peaks the caller has compared with getThreshold already.
    bool advance(bool silentBlock, std::int32_t n);
    float getThreshold() const { return threshold; }
    // The last answer of test (true before the first block).
    bool isSkipping() const { return skipping; }
    void reset();
    void setThreshold(float t) { threshold = t; }

private:
    float threshold;
    std::int64_t run = 0;
    bool skipping = true;
};

// Largest magnitude of n samples (|x[0]| when n < 1).
float absMax(const float* x, std::int32_t n);
float maxValue(const float* x, std::int32_t n);
float maxIndex(const float* x, std::int32_t n, std::int32_t* index);
float absMaxIndex(const float* x, std::int32_t n, std::int32_t* index);
void minAbsIndex(const float* x, std::int32_t n, std::int32_t* index);
void mixDown(float* dst, float** src, std::int32_t n, std::int32_t channels, bool average);

// Largest magnitude among the measurable samples (finite, at most kLargestMeasured); *unmeasurable
// tells whether any sample is NaN, infinite or larger.
float measurablePeak(const float* x, std::int32_t n, bool* unmeasurable);
// dst = src with every unmeasurable sample replaced by 0.
void copyMeasurable(const float* src, float* dst, std::int32_t n);

} // namespace DSP

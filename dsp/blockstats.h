// Reductions of sample blocks to one number: silence test, peaks, mixes.
#pragma once

#include <cstdint>

namespace DSP {

// True when every sample of every channel is at most `threshold` in magnitude; non-finite samples
// count as silent. Every sample is examined (a strided look would miss tones at multiples of
// fs / stride); the stride argument is accepted for the callers and not used.
bool isSilentBlock(float** channels, const std::int32_t* n, const std::int32_t* channelCount, const float* threshold,
                   const std::int32_t* stride);

// Largest magnitude of n samples (|x[0]| when n < 1).
float absMax(const float* x, std::int32_t n);
float maxValue(const float* x, std::int32_t n);
float maxIndex(const float* x, std::int32_t n, std::int32_t* index);
float absMaxIndex(const float* x, std::int32_t n, std::int32_t* index);
void minAbsIndex(const float* x, std::int32_t n, std::int32_t* index);
void mixDown(float* dst, float** src, std::int32_t n, std::int32_t channels, bool average);

// Largest magnitude among the finite samples; *nonFinite tells whether any sample is NaN or infinite.
float finitePeak(const float* x, std::int32_t n, bool* nonFinite);
// dst = src with every non-finite sample replaced by 0.
void copyFinite(const float* src, float* dst, std::int32_t n);

} // namespace DSP

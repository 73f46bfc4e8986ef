// The primitives and base services the engine runs on, gathered in one place, and the limits within
// which the engine measures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/alignedmemory.h"
#include "primitives/filters/ipps_filters.h"
#include "primitives/vector/ipps_vector.h"

namespace DSP {

typedef ::IirState32f IirStateType;
typedef ::FirState32f FirStateType;

using ::alignedFree;
using ::alignedMalloc;

// Sample rates the meter measures right. Below 8 kHz the K-weighting's 1.2-kHz shelf nears the
// Nyquist frequency (below 2.4 kHz its filter is unstable); above 384 kHz its single-precision
// high pass makes the readings of any programme depend on the block size (0.01 LU at 705.6 kHz,
// 0.4 LU at 768 kHz). Steady tones at simple fractions of the rate do so from about 96 kHz.
constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 384000.0;
// Largest block the engine's buffers hold; longer blocks are measured in pieces of this size.
constexpr std::int32_t kMaxBlockSize = 1 << 16;

inline bool isSupportedSampleRate(double rate)
{
    return rate >= kMinSampleRate && rate <= kMaxSampleRate;
}

// The block size the engine allocates for: at least 1, at most kMaxBlockSize.
inline std::int32_t clampBlockSize(std::int32_t n)
{
    return n < 1 ? 1 : (n > kMaxBlockSize ? kMaxBlockSize : n);
}

// 16-byte aligned, zeroed floats. Throws std::bad_alloc when the count is negative or beyond what
// one block can hold, or when memory runs out; the plug-in's set-up turns that into its error result.
void* allocateZeroed(std::int64_t count, std::size_t elementSize);
// The same, not zeroed, for a store read only where it was written: memory it has again from the C
// library is then not written through, nor are pages it has fresh from the system touched until used.
void* allocateForOverwrite(std::int64_t count, std::size_t elementSize);
inline float* allocateFloats(std::int64_t count)
{
    return static_cast<float*>(allocateZeroed(count, sizeof(float)));
}

struct AlignedFree
{
    void operator()(float* p) const { alignedFree(p); }
};
using FloatBuffer = std::unique_ptr<float[], AlignedFree>;

inline FloatBuffer makeFloats(std::int64_t count)
{
    return FloatBuffer(allocateFloats(count));
}

inline FloatBuffer makeFloatsForOverwrite(std::int64_t count)
{
    return FloatBuffer(static_cast<float*>(allocateForOverwrite(count, sizeof(float))));
}

// One aligned buffer per channel, zeroed unless `forOverwrite` (a store read only where it was
// written), and the channel pointers that the processing calls take (null while there are none).
class ChannelBuffers
{
public:
    void allocate(std::int32_t channels, std::int64_t samples, bool forOverwrite = false)
    {
        clear();
        for (std::int32_t c = 0; c < channels; ++c) {
            const std::int64_t n = samples > 0 ? samples : 1;
            buffers.push_back(forOverwrite ? makeFloatsForOverwrite(n) : makeFloats(n));
            pointers.push_back(buffers.back().get());
        }
    }
    void clear()
    {
        pointers.clear();
        buffers.clear();
    }
    bool empty() const { return pointers.empty(); }
    float** data() { return pointers.empty() ? nullptr : pointers.data(); }
    float* operator[](std::int32_t c) const { return pointers[static_cast<std::size_t>(c)]; }

private:
    std::vector<FloatBuffer> buffers;
    std::vector<float*> pointers;
};

} // namespace DSP

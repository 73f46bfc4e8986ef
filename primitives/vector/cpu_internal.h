// Library-internal helpers of the CPU detection (hidden; not exported by the bundle).
#pragma once

#include <cstdint>

namespace NorrikIpp {

// Bit n of a register word, as 0 or 1.
inline std::int32_t bit(std::uint32_t word, int n)
{
    return std::int32_t((word >> n) & 1u);
}

// Forgets the cached feature mask and cache sizes, so that a test's stand-in processor is probed
// afresh.
void resetFeatureCache();
void resetCacheProbe();

// Largest cache of 512 KiB or more named by CPUID leaf 2 on a "GenuineIntel" processor, in bytes;
// 0 when the processor names none. Probed once.
std::int64_t largeCacheSize();
// Threads sharing that cache (CPUID leaf 4 EAX bits 26-31, plus 1; 1 without leaf 4).
std::int32_t coresSharingCache();

} // namespace NorrikIpp

// What differs between the instruction-set variants of the vector primitives. Included only by
// variant sources; everything here lives in the variant's own namespace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <emmintrin.h>

#include "primitives/common/variant.h"
#include "primitives/vector/ipps_vector.h"

#if NORRIK_VARIANT_ID >= 2
#include <smmintrin.h>
#endif

namespace NORRIK_VARIANT_NS {

struct Settings
{
    std::size_t largeCopyFrom;   // byte count from which a copy asks for the cache size
    bool copyDividesByCores;     // threshold is cache / cores / 2 instead of cache / 2
    std::size_t copyTouchStride; // bytes between the touching loads of a streamed block
    bool blendSelect;            // select with blend instructions instead of masks
};

#if NORRIK_VARIANT_ID == 0
inline constexpr Settings settings{524288, true, 128, false};
#elif NORRIK_VARIANT_ID == 1
inline constexpr Settings settings{1048576, false, 64, false};
#else
inline constexpr Settings settings{1048576, false, 64, true};
#endif

// Byte kernels on 64-bit counts, so that a float count times 4 never wraps.
void copyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n);
void zeroBytes(std::uint8_t* dst, std::size_t n);
void moveBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n);

inline bool aligned16(const void* p)
{
    return (reinterpret_cast<std::uintptr_t>(p) & 15u) == 0;
}
inline bool aligned4(const void* p)
{
    return (reinterpret_cast<std::uintptr_t>(p) & 3u) == 0;
}

} // namespace NORRIK_VARIANT_NS

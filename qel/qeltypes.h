// Types, result codes and identifier helpers shared by every interface of the plug-in boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/funknown.h"

namespace Calvereth {
namespace Qel {

// Every interface operation that reports success answers one of the base library's result codes.
using ResultCode = int32_t;
static_assert(kResultOk == 0 && kResultFalse == 1 && kInvalidArgument == 2 && kNotImplemented == 3 &&
              kNoInterface == -1);

static_assert(sizeof(TUID) == 16, "identifiers are 16 bytes");

// One bit per speaker; the channel count is the number of set bits.
using SpeakerArrangement = uint64_t;
inline constexpr SpeakerArrangement kStereo = 0x3;
inline int32_t channelCount(SpeakerArrangement arr)
{
    return __builtin_popcountll(arr);
}

using MediaType = int32_t;
inline constexpr MediaType kAudio = 0;
inline constexpr MediaType kEvent = 1;

using BusDirection = int32_t;
inline constexpr BusDirection kInput = 0;
inline constexpr BusDirection kOutput = 1;

using SampleSizeCode = int32_t;
inline constexpr SampleSizeCode kSample32 = 0;
inline constexpr SampleSizeCode kSample64 = 1;

} // namespace Qel
} // namespace Calvereth

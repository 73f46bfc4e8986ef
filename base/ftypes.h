#pragma once
// Fixed-width types of the base library and the interface result codes.
#include <cstdint>

namespace Calvereth {

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using TSize = int64;
using uchar = unsigned char;
using f32 = float;
using f64 = double;

using char8 = char;
using char16 = char16_t; // UTF-16 in host byte order
using tchar = char16;

using tresult = int32;
using TBool = uint8;

using FClassID = const char8*;

// 16 raw identifier bytes, the form in which identifiers cross interfaces.
using TUID = char8[16];
using UIDBytes = TUID;

enum : tresult
{
    kNoInterface = -1,
    kResultOk = 0,
    kResultTrue = kResultOk,
    kResultFalse = 1,
    kInvalidArgument = 2,
    kNotImplemented = 3,
    kInternalError = 4,
    kNotInitialized = 5,
    kOutOfMemory = 6
};

} // namespace Calvereth

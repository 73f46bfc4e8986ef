// The static description of one parameter, shared by the processor, the controller and the engine.
#pragma once

#include <cstdint>

namespace Param {

struct ParamRecord
{
    std::int32_t id;
    char name[128];
    char title[128];
    char units[128];
    double min;
    double max;
    double defaultValue;
    double step;
    std::int32_t type;
    std::uint32_t flags;
    char format[12];
    std::int32_t meterFlag;
    std::int32_t unitId;
    std::int32_t reserved;
};

static_assert(sizeof(ParamRecord) == 456, "parameter record layout");

// Bit 16 marks the bypass row.
constexpr std::uint32_t kParamFlagBypass = 1u << 16;

} // namespace Param

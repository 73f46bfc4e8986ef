// The meter's static parameter and unit tables.
#pragma once

#include "pluginset/common/qel/parameterinfoaccessor.h"

namespace Norrik {

// Rows both processor and controller know, in the order of the engine's entries and the state stream.
constexpr int kProcessorParamCount = 12;
extern const Param::ParamRecord kProcessorParams[kProcessorParamCount];

// Rows only the controller registers.
constexpr int kControllerParamCount = 4;
extern const Param::ParamRecord kControllerParams[kControllerParamCount];

constexpr int kUnitCount = 2;
extern const Param::UnitRecord kUnits[kUnitCount];

// Parameter and value ids the processor and controller share.
enum ParamId : int
{
    kIdBypass = 0,
    kIdMomentary = 1,
    kIdShortTerm = 2,
    kIdIntegrated = 3,
    kIdResetLoudness = 4,
    kIdResetLoudnessMax = 5,
    kIdResetRmsMax = 6,
    kIdResetTruePeak = 7,
    kIdMomentaryMax = 8,
    kIdShortTermMax = 9,
    kIdLoudnessRange = 10,
    kIdTruePeak = 11,
    kIdLoudnessOn = 13,
    kIdBelowGate = 45,
    kIdTruePeakOver = 46,
    kIdIntegratedOver = 47,
    kIdScaleLU = 48,
    kIdRangeHigh = 51,
    kIdRangeLow = 52,
    kIdTime = 53,
    kIdAbout = 54,
};

} // namespace Norrik

namespace Param {

// The processor's static parameter table, which the processor hands to the engine.
const ParamRecord* getProcessorParameterTable();
std::int32_t getProcessorParameterCount();

} // namespace Param

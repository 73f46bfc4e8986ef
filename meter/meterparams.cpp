#include "meter/meterparams.h"

namespace Norrik {

namespace {
constexpr std::uint32_t kOut = Param::kParamFlagOutput;
constexpr std::uint32_t kBypass = Param::kParamFlagBypass;
} // namespace

// id, name, title, units, min, max, default, step, type, flags, format, meter flag, unit, reserved
const Param::ParamRecord kProcessorParams[kProcessorParamCount] = {
    {1, "loudnessM", "Momentary", "", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {2, "loudnessS", "ShortTerm", "", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {3, "loudnessI", "Integrated", "", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {8, "loudnessMMax", "MomentMax", "", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {9, "loudnessSTMax", "ShortTermMax", "", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {10, "loudnessRange", "LoudnessRange", "LU", 0.0, 100.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {11, "truePeak", "TruePeak", "dB", -80.0, 48.0, 0.0, 0.1, Param::kTypeRange, kOut, "%.1f", 1, 0, 0},
    {4, "resetLoudness", "ResetLoudness", "On/Off", 0.0, 1.0, 0.0, 1.0, Param::kTypeOnOff, 0, "%.0f", 0, 0, 0},
    {5, "resetLoudnessMMax", "ResetLoudnessMMax", "On/Off", 0.0, 1.0, 0.0, 1.0, Param::kTypeOnOff, 0, "%.0f", 0, 0, 0},
    {7, "resetTruePeak", "ResetTruePeak", "On/Off", 0.0, 1.0, 0.0, 1.0, Param::kTypeOnOff, 0, "%.0f", 0, 0, 0},
    {48, "scaleModeLoudness", "ScaleLU", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeInteger, 0, "%.0f", 0, 0, 0},
    {0, "bypass", "Bypass", "On/Off", 0.0, 1.0, 0.0, 1.0, Param::kTypeOnOff, kBypass, "%.0f", 0, 0, 0},
};

const Param::ParamRecord kControllerParams[kControllerParamCount] = {
    {46, "truePeakOver", "TP-Over", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeInteger, kOut, "%.0f", 0, 1, 0},
    {47, "loudnessIOver", "IL-Over", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeInteger, kOut, "%.0f", 0, 1, 0},
    {53, "time", "Time", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeString, kOut, "%.0f", 0, 1, 0},
    {54, "about", "About", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeInteger, 0, "%.0f", 0, 0, 0},
};

const Param::UnitRecord kUnits[kUnitCount] = {
    {0, -1, "Global", -1},
    {1, 0, "Meter", -1},
};

} // namespace Norrik

namespace Param {

const ParamRecord* getProcessorParameterTable()
{
    return Norrik::kProcessorParams;
}

std::int32_t getProcessorParameterCount()
{
    return Norrik::kProcessorParamCount;
}

} // namespace Param

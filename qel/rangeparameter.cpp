#include "qel/rangeparameter.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>

#include "base/fstring.h"

namespace Calvereth {
namespace Qel {

RangeParameter::RangeParameter(const char16_t* title, ParamID id, const char16_t* units, ParamValue minP,
                               ParamValue maxP, ParamValue defaultPlain, int32_t stepCount, int32_t flags,
                               int32_t unitId)
: Parameter(title, id, units, stepCount, flags, unitId, 0.0), minPlain(minP), maxPlain(maxP)
{
    info.defaultNormalizedValue = toNormalized(defaultPlain);
    valueNormalized = 0.0;
}

ParamValue RangeParameter::toPlain(ParamValue n) const
{
    const int32_t s = info.stepCount;
    if (s < 2)
        return minPlain + n * (maxPlain - minPlain);
    double steps = std::trunc((s + 1) * n);
    // Clamped before the conversion: no value outside the int32 range is converted.
    steps = std::min(std::max(steps, -2147483648.0), 2147483647.0);
    return minPlain + std::min(s, static_cast<int32_t>(steps));
}

ParamValue RangeParameter::toNormalized(ParamValue p) const
{
    const int32_t s = info.stepCount;
    if (s < 2)
        return maxPlain != minPlain ? (p - minPlain) / (maxPlain - minPlain) : 0.0;
    return (p - minPlain) / s;
}

void RangeParameter::toString(ParamValue n, String128 string) const
{
    if (info.stepCount >= 2) {
        double p = std::min(std::max(toPlain(n), -2147483648.0), 2147483647.0);
        String().printf(u"%d", static_cast<int32_t>(p)).copyTo16(string, 0, 127);
        return;
    }
    Parameter::toString(toPlain(n), string);
}

bool RangeParameter::fromString(const char16_t* string, ParamValue& normalized) const
{
    if (info.stepCount < 2) {
        double v = 0.0;
        if (!Parameter::fromString(string, v))
            return false;
        v = std::min(std::max(v, std::min(minPlain, maxPlain)), std::max(minPlain, maxPlain));
        normalized = toNormalized(v);
        return true;
    }
    int64 v = 0;
    if (!string || !ConstString(string).scanInt64(v, 0, true))
        return false;
    normalized = toNormalized(static_cast<ParamValue>(v));
    return true;
}

//------------------------------------------------------------------------
StringListParameter::StringListParameter(const ParameterInfo& paramInfo) : Parameter(paramInfo) {}

StringListParameter::StringListParameter(const char16_t* title, ParamID id, const char16_t* units, int32_t flags,
                                         int32_t unitId)
: Parameter(title, id, units, -1, flags, unitId, 0.0)
{}

StringListParameter::~StringListParameter()
{
    for (int32_t i = 0; i < strings.count(); ++i)
        delete[] strings.at(i);
}

bool StringListParameter::appendString(const char16_t* text)
{
    const std::u16string_view view(text ? text : u"");
    auto* copy = new (std::nothrow) char16_t[view.size() + 1];
    if (!copy)
        return false;
    view.copy(copy, view.size());
    copy[view.size()] = 0;
    ++info.stepCount;
    if (strings.add(copy))
        return true;
    delete[] copy;
    return false;
}

ParamValue StringListParameter::toPlain(ParamValue n) const
{
    const int32_t s = info.stepCount;
    if (s < 1)
        return 0.0;
    return std::min(std::trunc((s + 1) * n), static_cast<double>(s));
}

ParamValue StringListParameter::toNormalized(ParamValue p) const
{
    const int32_t s = info.stepCount;
    return s < 1 ? 0.0 : p / s;
}

void StringListParameter::toString(ParamValue n, String128 string) const
{
    double p = toPlain(n);
    string[0] = 0;
    if (p >= 0.0 && p < static_cast<double>(strings.count()))
        ConstString(strings.at(static_cast<int32_t>(p))).copyTo16(string, 0, 127);
}

bool StringListParameter::fromString(const char16_t* string, ParamValue& normalized) const
{
    if (!string)
        return false;
    for (int32_t i = 0; i < strings.count(); ++i) {
        if (std::u16string_view(strings.at(i)) == string) {
            normalized = toNormalized(static_cast<ParamValue>(i));
            return true;
        }
    }
    return false;
}

} // namespace Qel
} // namespace Calvereth

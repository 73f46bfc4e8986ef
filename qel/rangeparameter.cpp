#include "qel/rangeparameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Calvereth {
namespace Qel {

namespace {

void copyOut(const char* text, String128 out)
{
    int32_t i = 0;
    for (; text[i] && i < 127; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    out[i] = 0;
}

// A 64-bit integer from the first position where one reads.
bool readInteger(const char16_t* string, long long& value)
{
    if (!string)
        return false;
    std::string text;
    for (const char16_t* p = string; *p; ++p)
        text.push_back(*p < 0x80 ? static_cast<char>(*p) : ' ');
    for (size_t start = 0; start < text.size(); ++start) {
        const char* begin = text.c_str() + start;
        char* end = nullptr;
        long long v = std::strtoll(begin, &end, 10);
        if (end != begin) {
            value = v;
            return true;
        }
    }
    return false;
}

} // namespace

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
        char text[32];
        std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(p));
        copyOut(text, string);
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
    long long v = 0;
    if (!readInteger(string, v))
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

bool StringListParameter::appendString(const char16_t* text)
{
    strings.emplace_back(text ? text : u"");
    ++info.stepCount;
    return true;
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
    if (!(p >= 0.0) || p >= static_cast<double>(strings.size()))
        return;
    const std::u16string& s = strings[static_cast<size_t>(p)];
    size_t i = 0;
    for (; i < s.size() && i < 127; ++i)
        string[i] = s[i];
    string[i] = 0;
}

bool StringListParameter::fromString(const char16_t* string, ParamValue& normalized) const
{
    if (!string)
        return false;
    for (size_t i = 0; i < strings.size(); ++i) {
        if (strings[i] == string) {
            normalized = toNormalized(static_cast<ParamValue>(i));
            return true;
        }
    }
    return false;
}

} // namespace Qel
} // namespace Calvereth

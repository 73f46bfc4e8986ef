#include "qel/parameter.h"

#include <new>

#include "base/fstring.h"

namespace Calvereth {
namespace Qel {
namespace {

void copyText(char16_t (&dst)[ParameterInfo::kTextSize], const char16_t* src)
{
    int32_t i = 0;
    for (; src && src[i] && i < ParameterInfo::kTextSize - 1; ++i)
        dst[i] = src[i];
    dst[i] = 0;
}

} // namespace

Parameter::Parameter() = default;

Parameter::Parameter(const ParameterInfo& paramInfo)
: info(paramInfo), valueNormalized(paramInfo.defaultNormalizedValue)
{}

Parameter::Parameter(const char16_t* title, ParamID id, const char16_t* units, int32_t stepCount, int32_t flags,
                     int32_t unitId, ParamValue defaultNormalized)
{
    copyText(info.title, title);
    copyText(info.units, units);
    info.stepCount = stepCount;
    info.defaultNormalizedValue = defaultNormalized;
    info.flags = flags;
    info.unitId = unitId;
    info.id = id;
    valueNormalized = defaultNormalized;
}

bool Parameter::setNormalized(ParamValue v)
{
    if (v > 1.0)
        v = 1.0;
    else if (!(v >= 0.0)) // below 0, or not a number
        v = 0.0;
    if (v == valueNormalized)
        return false;
    valueNormalized = v;
    changed();
    return true;
}

void Parameter::toString(ParamValue normalized, String128 string) const
{
    String text;
    if (info.stepCount == 1)
        text.assign(normalized > 0.5 ? u"On" : u"Off");
    else
        text.printf(u"%.*lf", precision, normalized);
    text.copyTo16(string, 0, 127);
}

bool Parameter::fromString(const char16_t* string, ParamValue& normalized) const
{
    // A ',' counts as the decimal point; text before the number is skipped.
    return string && ConstString(string).scanFloat(normalized, 0, true);
}

namespace {
int32_t hashId(const TAssociation<ParamID, int32_t>& a, int32_t bucketCount)
{
    return static_cast<int32_t>(a.key % static_cast<uint32_t>(bucketCount));
}
} // namespace

ParameterContainer::ParameterContainer() : idToIndex(hashId, 10)
{
    idToIndex.setNullAssociation(0, -1);
}

ParameterContainer::~ParameterContainer()
{
    removeAll();
    delete params;
}

void ParameterContainer::init(int32_t initialSize)
{
    if (!params)
        params = new (std::nothrow) TArray<IPtr<Parameter>>(initialSize, 100);
}

Parameter* ParameterContainer::addParameter(Parameter* p)
{
    if (!p)
        return nullptr;
    if (!params)
        init(10);
    // Stored first and indexed after, so that a failed addition leaves no id pointing past the list.
    const int32_t index = getParameterCount();
    if (!params || !params->add(IPtr<Parameter>(p))) {
        p->release();
        return nullptr;
    }
    p->release(); // the list holds the caller's reference now
    const ParamID id = p->getInfo().id;
    if (!idToIndex.contains(id) && !idToIndex.add(id, index)) {
        params->removeAt(index);
        return nullptr;
    }
    return p;
}

Parameter* ParameterContainer::addParameter(const ParameterInfo& info)
{
    Parameter* p = new (std::nothrow) Parameter(info);
    return addParameter(p);
}

Parameter* ParameterContainer::addParameter(const char16_t* title, const char16_t* units, int32_t stepCount,
                                            int32_t flags, int32_t id, int32_t unitId, ParamValue defaultNormalized)
{
    if (!title)
        return nullptr;
    if (id < 0)
        id = getParameterCount();
    Parameter* p = new (std::nothrow)
        Parameter(title, static_cast<ParamID>(id), units, stepCount, flags, unitId, defaultNormalized);
    return addParameter(p);
}

Parameter* ParameterContainer::getParameterByIndex(int32_t index) const
{
    return params ? params->at(index).get() : nullptr;
}

Parameter* ParameterContainer::getParameter(ParamID id) const
{
    const int32_t index = idToIndex.lookup(id).value;
    return index < 0 ? nullptr : getParameterByIndex(index);
}

void ParameterContainer::removeAll()
{
    idToIndex.removeAll();
    if (params)
        params->removeAll();
}

} // namespace Qel
} // namespace Calvereth

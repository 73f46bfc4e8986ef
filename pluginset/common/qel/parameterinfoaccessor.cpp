#include "pluginset/common/qel/parameterinfoaccessor.h"

#include "base/atomic.h"
#include "qel/ieditcontroller.h"

#include <cmath>
#include <cstring>

namespace Param {

namespace {

// At most 127 characters, widened byte by byte, and a terminator.
void widen(char16_t* dest, const char* src, int32 capacity)
{
    int32 i = 0;
    for (; i < capacity - 1 && src[i]; ++i)
        dest[i] = static_cast<char16_t>(static_cast<unsigned char>(src[i]));
    for (; i < capacity; ++i)
        dest[i] = 0;
}

} // namespace

ParameterInfoAccessor::ParameterInfoAccessor(const ParamRecord* table, int32 count)
: count(table ? count : 0), table(table)
{}

double ParameterInfoAccessor::toNormalized(int32 id, const double& plain)
{
    const ParamRecord* r = getRecord(id);
    if (!r)
        return 0.0;
    return (plain - r->min) / (r->max - r->min);
}

double ParameterInfoAccessor::toPlain(int32 id, const double& normalized)
{
    const ParamRecord* r = getRecord(id);
    if (!r)
        return 0.0;
    return r->min + (r->max - r->min) * normalized;
}

int32 ParameterInfoAccessor::getId(int32 index)
{
    const ParamRecord* r = getRecordAt(index);
    return r ? r->id : 0;
}

int32 ParameterInfoAccessor::getIndex(int32 id, int32& index)
{
    for (int32 i = 0; i < count; ++i) {
        if (table[i].id == id) {
            index = i;
            return 0;
        }
    }
    index = count;
    return 1;
}

const ParamRecord* ParameterInfoAccessor::getRecordAt(int32 index)
{
    if (index < 0 || index >= count)
        return nullptr;
    return &table[index];
}

const ParamRecord* ParameterInfoAccessor::getRecord(int32 id)
{
    int32 index = 0;
    if (getIndex(id, index) != 0)
        return nullptr;
    return &table[index];
}

tresult ParameterInfoAccessor::queryInterface(const Calvereth::TUID asked, void** obj)
{
    if (!obj)
        return Calvereth::kInvalidArgument;
    if (Calvereth::iidEqual(asked, IParameterInfoContainer::iid) ||
        Calvereth::iidEqual(asked, Calvereth::FUnknown::iid)) {
        addRef();
        *obj = static_cast<IParameterInfoContainer*>(this);
        return Calvereth::kResultOk;
    }
    *obj = nullptr;
    return Calvereth::kNoInterface;
}

uint32 ParameterInfoAccessor::addRef()
{
    return static_cast<uint32>(Calvereth::atomicAdd(&refCount, 1));
}

uint32 ParameterInfoAccessor::release()
{
    uint32 n = static_cast<uint32>(Calvereth::atomicAdd(&refCount, -1));
    if (n == 0) {
        delete this;
        return 0;
    }
    return n;
}

int32 ParameterInfoAccessor::getIdByName(const char* name, int32& id) const
{
    if (!name)
        return 1;
    for (int32 i = 0; i < count; ++i) {
        if (std::strncmp(table[i].name, name, sizeof(table[i].name)) == 0 &&
            std::strlen(name) <= sizeof(table[i].name)) {
            id = table[i].id;
            return 0;
        }
    }
    return 1;
}

tresult ParameterInfoAccessor::fillParameterInfo(int32 index, Calvereth::Qel::ParameterInfo& info)
{
    const ParamRecord* r = getRecordAt(index);
    if (!r || r->type == kTypeEmpty)
        return Calvereth::kResultFalse;
    info.id = static_cast<uint32>(r->id);
    info.unitId = r->unitId;
    widen(info.title, r->title, 128);
    widen(info.shortTitle, r->name, 128);
    widen(info.units, r->units, 128);
    uint32 flags = r->flags & ~kParamFlagHidden;
    if (flags & kParamFlagBypass)
        flags |= 1u;
    if (r->type == kTypeList)
        flags |= 1u << 3;
    info.flags = static_cast<int32>(flags);
    if (r->step == 0.0 || r->type == kTypeRange || r->type == 6)
        info.stepCount = 0;
    else if (r->max != r->min)
        info.stepCount = static_cast<int32>((r->max - r->min) / r->step);
    else
        info.stepCount = -1;
    double def = r->defaultValue;
    info.defaultNormalizedValue = toNormalized(r->id, def);
    return Calvereth::kResultOk;
}

// ---- LogTransformer ----

LogTransformer::LogTransformer(float min, float max, float midIn, float midOut)
: min(min), max(max), exponent(std::log((midOut - min) / (max - min)) / std::log(midIn / 1.0f))
{}

float LogTransformer::toNormalized(float plain)
{
    return 0.0f + 1.0f * std::pow((plain - min) / (max - min), 1.0f / exponent);
}

float LogTransformer::toPlain(float normalized)
{
    if (normalized < 0.0f)
        normalized = 0.0f;
    if (normalized > 1.0f)
        normalized = 1.0f;
    return min + (max - min) * std::pow(normalized, exponent);
}

tresult LogTransformer::queryInterface(const Calvereth::TUID asked, void** obj)
{
    if (!obj)
        return Calvereth::kInvalidArgument;
    if (Calvereth::iidEqual(asked, Calvereth::FUnknown::iid) ||
        Calvereth::iidEqual(asked, Calvereth::IValueTransformer::iid)) {
        addRef();
        *obj = static_cast<Calvereth::IValueTransformer*>(this);
        return Calvereth::kResultOk;
    }
    *obj = nullptr;
    return Calvereth::kNoInterface;
}

uint32 LogTransformer::addRef()
{
    return static_cast<uint32>(Calvereth::atomicAdd(&refCount, 1));
}

uint32 LogTransformer::release()
{
    uint32 n = static_cast<uint32>(Calvereth::atomicAdd(&refCount, -1));
    if (n == 0) {
        delete this;
        return 0;
    }
    return n;
}

} // namespace Param

// Conversions between plain and normalised parameter values, over a static table of parameter rows.
#pragma once

#include "base/funknown.h"
#include "dsp/paramrecord.h"

#include <algorithm>
#include <cmath>

namespace Calvereth::Qel {
struct ParameterInfo;
}

namespace Param {

using Calvereth::int32;
using Calvereth::tresult;
using Calvereth::uint32;

// Row types of the table.
enum ParamType : int32
{
    kTypeInteger = 0,
    kTypeRange = 1,
    kTypeOnOff = 2,
    kTypeString = 3,
    kTypeList = 4,
    kTypeEmpty = 7
};
// Flag bits of a row.
constexpr uint32 kParamFlagOutput = 1u << 1;
constexpr uint32 kParamFlagHidden = 1u << 17;

// A normalised value as a host hands it in: false when it is no finite number (it is then
// ignored), else true with the value clamped to 0..1.
inline bool acceptNormalized(double& value)
{
    if (!std::isfinite(value))
        return false;
    value = std::clamp(value, 0.0, 1.0);
    return true;
}

// Its table of operations does not begin with the three FUnknown operations.
class IParameterInfoContainer
{
public:
    virtual double toNormalized(int32 id, const double& plain) = 0;
    virtual double toPlain(int32 id, const double& normalized) = 0;
    virtual int32 getId(int32 index) = 0;
    virtual int32 getIndex(int32 id, int32& index) = 0;
    virtual const ParamRecord* getRecordAt(int32 index) = 0;
    virtual const ParamRecord* getRecord(int32 id) = 0;
    virtual tresult queryInterface(const Calvereth::TUID iid, void** obj) = 0;
    virtual uint32 addRef() = 0;
    virtual uint32 release() = 0;

    static const Calvereth::FUID iid;
};

DECLARE_CLASS_IID(IParameterInfoContainer, 0xC7181657, 0x73B8428C, 0x9030C959, 0xD909CEC8)

class ParameterInfoAccessor : public IParameterInfoContainer
{
public:
    // The table is not owned and must outlive the accessor.
    ParameterInfoAccessor(const ParamRecord* table, int32 count);
    virtual ~ParameterInfoAccessor() = default;

    double toNormalized(int32 id, const double& plain) override;
    double toPlain(int32 id, const double& normalized) override;
    int32 getId(int32 index) override;
    int32 getIndex(int32 id, int32& index) override;
    const ParamRecord* getRecordAt(int32 index) override;
    const ParamRecord* getRecord(int32 id) override;
    tresult queryInterface(const Calvereth::TUID iid, void** obj) override;
    uint32 addRef() override;
    uint32 release() override;

    // 0 with the id of the first row named exactly `name`; 1 when none is.
    int32 getIdByName(const char* name, int32& id) const;
    // The host's description of the row at index; 1 for no row or an empty row.
    tresult fillParameterInfo(int32 index, Calvereth::Qel::ParameterInfo& info);

    int32 getCount() const { return count; }
    const ParamRecord* getTable() const { return table; }

private:
    Calvereth::int32 refCount = 1;
    int32 count;
    const ParamRecord* table;
};

} // namespace Param

namespace Calvereth {

// A curved mapping between [0, 1] and a plain range.
class IValueTransformer : public FUnknown
{
public:
    virtual float toNormalized(float plain) = 0;
    virtual float toPlain(float normalized) = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IValueTransformer, 0x2F0E2EE3, 0x01CB4B5E, 0x9548EDEA, 0xC4200FE0)

} // namespace Calvereth

namespace Param {

// Power mapping whose exponent makes midIn land on midOut.
class LogTransformer : public Calvereth::IValueTransformer
{
public:
    LogTransformer(float min, float max, float midIn, float midOut);
    virtual ~LogTransformer() = default;

    float toNormalized(float plain) override;
    float toPlain(float normalized) override;
    tresult queryInterface(const Calvereth::TUID iid, void** obj) override;
    uint32 addRef() override;
    uint32 release() override;

    float getExponent() const { return exponent; }

private:
    Calvereth::int32 refCount = 1;
    float min;
    float max;
    float exponent;
};

} // namespace Param

namespace Param {

// One static unit row.
struct UnitRecord
{
    int32 id;
    int32 parentId;
    char name[128];
    int32 programListId; // -1: none
};

} // namespace Param

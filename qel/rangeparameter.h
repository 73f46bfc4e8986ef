// Parameters over a plain range (with optional integer steps) and over a list of named choices.
#pragma once

#include "base/tarray.h"
#include "qel/parameter.h"

namespace Calvereth {
namespace Qel {

class RangeParameter : public Parameter
{
public:
    RangeParameter() = default;
    RangeParameter(const char16_t* title, ParamID id, const char16_t* units = nullptr, ParamValue minPlain = 0.,
                   ParamValue maxPlain = 1., ParamValue defaultPlain = 0., int32_t stepCount = 0, int32_t flags = 0,
                   int32_t unitId = 0);

    void toString(ParamValue normalized, String128 string) const override;
    bool fromString(const char16_t* string, ParamValue& normalized) const override;
    ParamValue toPlain(ParamValue normalized) const override;
    ParamValue toNormalized(ParamValue plain) const override;

    virtual ParamValue getMin() const { return minPlain; }
    virtual void setMin(ParamValue v) { minPlain = v; }
    virtual ParamValue getMax() const { return maxPlain; }
    virtual void setMax(ParamValue v) { maxPlain = v; }

    OBJ_METHODS(RangeParameter, Parameter)

protected:
    ParamValue minPlain = 0.;
    ParamValue maxPlain = 1.;
};

class StringListParameter : public Parameter
{
public:
    explicit StringListParameter(const ParameterInfo& info);
    StringListParameter(const char16_t* title, ParamID id, const char16_t* units = nullptr, int32_t flags = 0,
                        int32_t unitId = 0);
    ~StringListParameter() override;

    virtual bool appendString(const char16_t* text);
    int32_t getStringCount() const { return strings.count(); }

    void toString(ParamValue normalized, String128 string) const override;
    bool fromString(const char16_t* string, ParamValue& normalized) const override;
    ParamValue toPlain(ParamValue normalized) const override;
    ParamValue toNormalized(ParamValue plain) const override;

    OBJ_METHODS(StringListParameter, Parameter)

protected:
    // Owned copies of the choices' texts.
    TArray<char16_t*> strings{0, 10};
};

} // namespace Qel
} // namespace Calvereth

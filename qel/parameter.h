// Controller-side parameters: a described value normalised to 0..1, and the container that finds them.
#pragma once

#include "base/fobject.h"
#include "base/iptr.h"
#include "base/tarray.h"
#include "base/thashtable.h"
#include "qel/ieditcontroller.h"

namespace Calvereth {
namespace Qel {

class Parameter : public FObject
{
public:
    Parameter();
    explicit Parameter(const ParameterInfo& info);
    Parameter(const char16_t* title, ParamID id, const char16_t* units = nullptr, int32_t stepCount = 0,
              int32_t flags = 0, int32_t unitId = 0, ParamValue defaultNormalized = 0.0);

    // Clamped to 0..1; true and one change message when the value changed.
    virtual bool setNormalized(ParamValue v);
    virtual void toString(ParamValue normalized, String128 string) const;
    virtual bool fromString(const char16_t* string, ParamValue& normalized) const;
    virtual ParamValue toPlain(ParamValue normalized) const { return normalized; }
    virtual ParamValue toNormalized(ParamValue plain) const { return plain; }

    ParamValue getNormalized() const { return valueNormalized; }
    const ParameterInfo& getInfo() const { return info; }
    ParameterInfo& getInfo() { return info; }
    int32_t getPrecision() const { return precision; }
    void setPrecision(int32_t p) { precision = p; }

    OBJ_METHODS(Parameter, FObject)

protected:
    ParameterInfo info;
    ParamValue valueNormalized = 0.0;
    int32_t precision = 4;
};

// Parameters by index and by id; owns one reference to each.
class ParameterContainer
{
public:
    ParameterContainer();
    ParameterContainer(const ParameterContainer&) = delete;
    ParameterContainer& operator=(const ParameterContainer&) = delete;
    ~ParameterContainer();

    void init(int32_t initialSize = 10);
    // Takes over the caller's reference; null (and the parameter released) when it cannot be stored.
    Parameter* addParameter(Parameter* p);
    Parameter* addParameter(const ParameterInfo& info);
    Parameter* addParameter(const char16_t* title, const char16_t* units = nullptr, int32_t stepCount = 0,
                            int32_t flags = 0, int32_t id = -1, int32_t unitId = 0, ParamValue defaultNormalized = 0.0);

    int32_t getParameterCount() const { return params ? params->count() : 0; }
    Parameter* getParameterByIndex(int32_t index) const;
    // The first parameter added with that id; no reference is added.
    Parameter* getParameter(ParamID id) const;
    void removeAll();

private:
    using IdIndex = THashDictionary<ParamID, int32_t>;
    TArray<IPtr<Parameter>>* params = nullptr;
    IdIndex idToIndex;
};

} // namespace Qel
} // namespace Calvereth

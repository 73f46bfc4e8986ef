// The controller the host talks to until the display controller stands: the framework's plain edit
// controller with one parameter per table row, following the processor's state and "time" text.
#pragma once

#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/editcontroller.h"

#include <vector>

namespace Norrik {

// A parameter over one table row: linear range, text in the row's format.
class TableParameter : public Calvereth::Qel::Parameter
{
public:
    TableParameter(const Calvereth::Qel::ParameterInfo& info, const Param::ParamRecord& record);

    void toString(Calvereth::Qel::ParamValue normalized, Calvereth::Qel::String128 string) const override;
    bool fromString(const char16_t* string, Calvereth::Qel::ParamValue& normalized) const override;
    Calvereth::Qel::ParamValue toPlain(Calvereth::Qel::ParamValue normalized) const override;
    Calvereth::Qel::ParamValue toNormalized(Calvereth::Qel::ParamValue plain) const override;

    const Param::ParamRecord& getRecord() const { return record; }

private:
    Param::ParamRecord record;
};

class MeterController : public Calvereth::Qel::EditController
{
public:
    MeterController();

    Calvereth::tresult initialize(Calvereth::FUnknown* context) override;
    Calvereth::tresult notify(Calvereth::Qel::IMessage* message) override;
    Calvereth::tresult setComponentState(Calvereth::IBStream* state) override;
    Calvereth::tresult getParamStringByValue(Calvereth::Qel::ParamID id, Calvereth::Qel::ParamValue valueNormalized,
                                             Calvereth::Qel::String128 string) override;

    static Calvereth::FUnknown* createInstance(void* context);

private:
    std::vector<Param::ParamRecord> rows;
    char16_t timeText[128] = u"00:00:00";
};

} // namespace Norrik

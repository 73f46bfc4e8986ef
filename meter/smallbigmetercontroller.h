// The meter's controller: the momentary-loudness bar with peak holds, the short-term indicator, the
// absolute and relative scale, the elapsed time, the editor view and the read-out request at idle.
#pragma once

#include "pluginset/common/qel/editcontroller2vu.h"

namespace Norrik {

// Values are positions already: no mapping.
using Calvereth::Frame::LinearVuMeterPhData;

class SmallBigMeterController : public Calvereth::EditController2Vu
{
public:
    static constexpr Calvereth::int32 kIndicatorId = -123;
    static constexpr const char* kIndicatorName = "LoudnessSIndicator";
    static constexpr const char* kEditorName = "AudioPlugSmallBigMeter";
    static constexpr Calvereth::int32 kTimeTextSize = 32;

    SmallBigMeterController();
    ~SmallBigMeterController() override;

    Calvereth::tresult terminate() override;
    // kOutOfMemory when memory runs out; no exception leaves these entries.
    Calvereth::tresult notify(Calvereth::Qel::IMessage* message) override;
    Calvereth::tresult getParamStringByValue(Calvereth::Qel::ParamID id, Calvereth::Qel::ParamValue v,
                                             Calvereth::Qel::String128 text) override;
    Calvereth::tresult setParamNormalized(Calvereth::Qel::ParamID id, Calvereth::Qel::ParamValue v) override;
    Calvereth::IPlugView* createView(const char* name) override;
    Calvereth::tresult createSubView(const char* name, Calvereth::ViewRect size, Calvereth::FUnknown** inOut) override;
    Calvereth::tresult getValueByName(const char* name, Calvereth::IHostValue** value) override;
    Calvereth::tresult valueEdited(Calvereth::IHostValue* value, Calvereth::uint32 id) override;
    void createMeterData() override;

    LinearVuMeterPhData* getMomentaryData() const { return momentaryData; }
    Calvereth::ControllerValueList* getIndicatorList() const { return indicatorList; }
    bool isRelativeScale() const { return relativeScale; }
    // Momentary or short-term loudness as a bar position: -36 LU at 0, +18 LU at 1.
    double loudnessPosition(Calvereth::int32 id, double normalized) const;

    static Calvereth::FUnknown* createInstance(void* context);

    OBJ_METHODS(SmallBigMeterController, EditController2Vu)

protected:
    // The indicator list first, then the values of the records.
    void createValues() override;
    // Asks the processor for a read-out.
    void idle() override;
    Calvereth::tresult receiveTime(Calvereth::Qel::IMessage* message);
    Calvereth::tresult buildMomentaryView(const char* name, Calvereth::ViewRect size, Calvereth::FUnknown** inOut);

private:
    // What the scale switch and the loudness reset change in the display, whichever way they come.
    void applyControl(Calvereth::uint32 id, double v);

    Calvereth::ControllerValueList* indicatorList = nullptr;
    Calvereth::Frame::TagList indicatorTags;
    LinearVuMeterPhData* momentaryData = nullptr;
    bool relativeScale = false;
};

} // namespace Norrik

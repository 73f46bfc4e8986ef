// Controller layer of a metering plug-in: merged parameter table, per-channel meter values of an
// input and an output side with their meter data, the meter sub-views, the processor's activation
// messages and the reset requests of the views.
#pragma once

#include "pluginset/common/qel/editcontroller2.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "pluginset/common/qel/views/vumeterdata.h"

namespace Calvereth {

class EditController2Vu : public EditController2
{
public:
    static constexpr int32 kNoId = 0x7FFFFFFF;

    EditController2Vu(const Param::ParamRecord* table, int32 count, const Param::ParamRecord* controllerTable,
                      int32 controllerCount, const Param::UnitRecord* units, int32 unitCount);
    ~EditController2Vu() override;

    // Out of memory, initialize, notify and createSubView answer kOutOfMemory (a failed initialize
    // leaves nothing of itself, as after terminate); no exception leaves any entry.
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;
    tresult notify(Qel::IMessage* message) override;
    tresult setParamNormalized(Qel::ParamID id, Qel::ParamValue v) override;
    tresult getParamStringByValue(Qel::ParamID id, Qel::ParamValue v, Qel::String128 text) override;
    IPlugView* createView(const char* name) override;
    tresult createSubView(const char8* name, ViewRect size, FUnknown** inOut) override;
    // Runs idle(); nothing thrown reaches the host.
    void onIdle() final;
    void update(FUnknown* changed, int32 message) override;

    virtual void createMeterData();
    virtual void updateMeterData(int32 channelCount, const float* values, int32 firstId, int32 valueCount,
                                 Frame::VuMeterData* data);

    void setInputValueIds(int32 firstId, int32 valueCount, int32 maxId) { setSide(input, firstId, valueCount, maxId); }
    void setOutputValueIds(int32 firstId, int32 valueCount, int32 maxId)
    {
        setSide(output, firstId, valueCount, maxId);
    }

    struct Side
    {
        int32 firstId = kNoId;
        int32 valueCount = 0;
        int32 maxId = kNoId;
        int32 channelCount = 0;
        float* values = nullptr;
        Frame::VuMeterData* meterData = nullptr;
        Frame::TagList tags;
    };
    const Side& getInput() const { return input; }
    const Side& getOutput() const { return output; }

    OBJ_METHODS(EditController2Vu, EditController2)

protected:
    static void setSide(Side& side, int32 firstId, int32 valueCount, int32 maxId);
    static bool covers(const Side& side, uint32 id);
    // Sub-view built over meter data: its host view goes to the host, or the view goes when the host
    // cannot take it (std::bad_alloc when the host view could not be had for want of memory).
    static void handOver(Frame::View* view, FUnknown** inOut);
    static IViewAttributes* viewAttributes(FUnknown** inOut);
    // What the controller does at each idle call of the host.
    virtual void idle();
    tresult receive(Qel::IMessage* message);
    tresult buildSubView(const char8* name, ViewRect size, FUnknown** inOut);
    void releaseMeterData(Frame::VuMeterData*& data);
    void sendDataRequest();
    void registerIdle(bool on);

    Side input;
    Side output;
    Param::ParamRecord* mergedRecords = nullptr;
    bool idleRegistered = false;
};

} // namespace Calvereth

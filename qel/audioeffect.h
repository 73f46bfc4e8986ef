// Base of every audio processor: a component that also answers the audio processor interface.
#pragma once

#include "qel/component.h"
#include "qel/iaudioprocessor.h"

namespace Calvereth {
namespace Qel {

class AudioEffect : public Component, public IAudioProcessor
{
public:
    AudioEffect();

    // IAudioProcessor
    tresult setBusArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                               int32_t numOuts) override;
    tresult getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr) override;
    tresult canProcessSampleSize(SampleSizeCode code) override;
    uint32_t getLatencySamples() override { return 0; }
    tresult setupProcessing(ProcessSetup& setup) override;
    tresult reservedSlot8(bool) override { return kNotImplemented; }
    tresult process(ProcessData& data) override;
    uint32_t getTailSamples() override { return 0; }

    // The list takes the bus; the returned pointer holds no reference of its own.
    AudioBus* addAudioInput(const char16_t* name, SpeakerArrangement arr, int32_t busType = BusInfo::kMain,
                            uint32_t flags = BusInfo::kDefaultActive);
    AudioBus* addAudioOutput(const char16_t* name, SpeakerArrangement arr, int32_t busType = BusInfo::kMain,
                             uint32_t flags = BusInfo::kDefaultActive);
    EventBus* addEventInput(const char16_t* name, int32_t channels = 16, int32_t busType = BusInfo::kMain,
                            uint32_t flags = BusInfo::kDefaultActive);
    EventBus* addEventOutput(const char16_t* name, int32_t channels = 16, int32_t busType = BusInfo::kMain,
                             uint32_t flags = BusInfo::kDefaultActive);
    EventBus* getEventOutput(int32_t index);

    const ProcessSetup& getProcessSetup() const { return processSetup; }

    OBJ_METHODS(AudioEffect, Component)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override { return FObject::addRef(); }
    uint32_t release() override { return FObject::release(); }

protected:
    ProcessSetup processSetup;
};

} // namespace Qel
} // namespace Calvereth

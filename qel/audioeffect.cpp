#include "qel/audioeffect.h"

namespace Calvereth {
namespace Qel {
namespace {

// Gives the n-th audio bus of the list element n of the arrangements, for n below count.
void applyArrangements(BusList& list, const SpeakerArrangement* arrs, int32_t count)
{
    int32_t n = 0;
    for (int32_t i = 0; i < list.count(); ++i) {
        Bus* bus = list.at(i);
        if (!bus->isTypeOf(AudioBus::getFClassID(), true))
            continue;
        if (arrs && n < count)
            static_cast<AudioBus*>(bus)->setArrangement(arrs[n]);
        ++n;
    }
}

template <class B, class... A>
B* addBus(BusList& list, A... args)
{
    B* bus = new B(args...);
    bool added = list.add(bus);
    bus->release(); // the list holds the one remaining reference
    return added ? bus : nullptr;
}

} // namespace

AudioEffect::AudioEffect()
{
    processSetup.processMode = kRealtime;
    processSetup.sampleSize = kSample32;
    processSetup.maxSamplesPerBlock = 1024;
    processSetup.sampleRate = 44100.0;
}

tresult AudioEffect::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IAudioProcessor::iid)) {
        addRef();
        *obj = static_cast<IAudioProcessor*>(this);
        return kResultOk;
    }
    return Component::queryInterface(iid, obj);
}

tresult AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                        int32_t numOuts)
{
    applyArrangements(audioInputs, inputs, numIns);
    applyArrangements(audioOutputs, outputs, numOuts);
    return kResultOk;
}

tresult AudioEffect::getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr)
{
    Bus* bus = (dir == kInput ? audioInputs : audioOutputs).at(index);
    if (!bus || !bus->isTypeOf(AudioBus::getFClassID(), true))
        return kResultFalse;
    arr = static_cast<AudioBus*>(bus)->getArrangement();
    return kResultOk;
}

tresult AudioEffect::canProcessSampleSize(SampleSizeCode code)
{
    return code == kSample32 ? kResultOk : kResultFalse;
}

tresult AudioEffect::setupProcessing(ProcessSetup& setup)
{
    // Through the table, so that a subclass's answer counts.
    if (static_cast<IAudioProcessor*>(this)->canProcessSampleSize(setup.sampleSize) != kResultOk)
        return kResultFalse;
    processSetup.processMode = setup.processMode;
    processSetup.sampleSize = setup.sampleSize;
    processSetup.maxSamplesPerBlock = setup.maxSamplesPerBlock;
    processSetup.sampleRate = setup.sampleRate;
    return kResultOk;
}

tresult AudioEffect::process(ProcessData&)
{
    return kNotImplemented;
}

AudioBus* AudioEffect::addAudioInput(const char16_t* name, SpeakerArrangement arr, int32_t busType, uint32_t flags)
{
    return addBus<AudioBus>(audioInputs, name, busType, flags, arr);
}

AudioBus* AudioEffect::addAudioOutput(const char16_t* name, SpeakerArrangement arr, int32_t busType, uint32_t flags)
{
    return addBus<AudioBus>(audioOutputs, name, busType, flags, arr);
}

EventBus* AudioEffect::addEventInput(const char16_t* name, int32_t channels, int32_t busType, uint32_t flags)
{
    return addBus<EventBus>(eventInputs, name, busType, flags, channels);
}

EventBus* AudioEffect::addEventOutput(const char16_t* name, int32_t channels, int32_t busType, uint32_t flags)
{
    return addBus<EventBus>(eventOutputs, name, busType, flags, channels);
}

EventBus* AudioEffect::getEventOutput(int32_t index)
{
    Bus* bus = eventOutputs.at(index);
    if (bus && bus->isTypeOf(EventBus::getFClassID(), true))
        return static_cast<EventBus*>(bus);
    return nullptr;
}

} // namespace Qel
} // namespace Calvereth

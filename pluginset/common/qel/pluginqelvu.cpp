#include "pluginset/common/qel/pluginqelvu.h"

#include "dsp/algoaccessorvu.h"
#include "qel/boundary.h"

#include <cstring>

namespace Calvereth {
namespace Qel {

namespace {

std::unique_ptr<int32[]> copyIds(const int32* ids, int32 count)
{
    if (!ids || count <= 0)
        return nullptr;
    auto copy = std::make_unique<int32[]>(static_cast<std::size_t>(count));
    std::memcpy(copy.get(), ids, sizeof(int32) * static_cast<std::size_t>(count));
    return copy;
}

bool idIs(const char* id, const char* expected)
{
    return id && std::strcmp(id, expected) == 0;
}

} // namespace

PluginQelVu::PluginQelVu(const Param::ParamRecord* table, int32 rowCount) : PluginQel(table, rowCount) {}

void PluginQelVu::setInputValueIds(const int32* ids, int32 count)
{
    inputValueIds = copyIds(ids, count);
    inputIdCount = inputValueIds ? count : 0;
}

void PluginQelVu::setOutputValueIds(const int32* ids, int32 count)
{
    outputValueIds = copyIds(ids, count);
    outputIdCount = outputValueIds ? count : 0;
}

tresult PluginQelVu::notify(IMessage* message)
{
    return answerWithoutThrowing([&] { return receive(message); });
}

tresult PluginQelVu::receive(IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    const char* id = message->getMessageId();
    if (idIs(id, "resetMaxLevelIn") || idIs(id, "resetMaxLevelOut")) {
        IMessageAttributes* attributes = message->getAttributes();
        int64 value = 0;
        if (attributes && attributes->getInt(id, value) == kResultOk) {
            // The maxima are the audio thread's: it resets them at the start of its next block.
            (idIs(id, "resetMaxLevelIn") ? resetInDue : resetOutDue).store(true, std::memory_order_release);
            if (!processing)
                takeHandOvers();
        }
    } else if (idIs(id, "PluginDataGet")) {
        readOutRequested.store(true, std::memory_order_release);
        return dataRequested();
    }
    return kResultOk;
}

int32 PluginQelVu::busChannelCount(BusDirection dir)
{
    BusInfo info{};
    if (getBusInfo(kAudio, dir, 0, info) != kResultOk)
        return 0;
    return info.channelCount;
}

void PluginQelVu::takeHandOvers()
{
    PluginQel::takeHandOvers();
    auto* vu = dynamic_cast<DSP::AlgoAccessorVu*>(accessor.get());
    if (resetInDue.exchange(false, std::memory_order_acquire) && vu)
        vu->resetMaxLevelIn();
    if (resetOutDue.exchange(false, std::memory_order_acquire) && vu)
        vu->resetMaxLevelOut();
}

tresult PluginQelVu::setActive(bool state)
{
    tresult result = PluginQel::setActive(state);
    // An activation that did not happen is not announced.
    if (result == kOutOfMemory)
        return result;
    // A message the host cannot make is not sent; the activation stands.
    answerWithoutThrowing([&] {
        sendMessageWith("nChannels", [this](IMessageAttributes& a) {
            const tresult in = a.setInt("nChannelsIn", busChannelCount(kInput));
            return in != kResultOk ? in : a.setInt("nChannelsOut", busChannelCount(kOutput));
        });
        return sendIntMessage("vuMetersProcessing", state ? 1 : 0);
    });
    return result;
}

tresult PluginQelVu::setupProcessing(ProcessSetup& setup)
{
    const double before = processSetup.sampleRate;
    tresult result = PluginQel::setupProcessing(setup);
    if (result == kResultOk && processSetup.sampleRate != before)
        answerWithoutThrowing([&] { return sendFloatMessage("sampleRate", processSetup.sampleRate); });
    return result;
}

void PluginQelVu::processParameterChanges(ProcessData& data)
{
    applyInputChanges(data);
    writeRequestedReadOut(data);
}

void PluginQelVu::writeRequestedReadOut(ProcessData& data)
{
    if (!data.outputParameterChanges || bypassState != 0 || !readOutRequested.load(std::memory_order_acquire))
        return;
    // A block without samples while the host is not playing reads to the programme's end. While it
    // plays, the programme goes on: what the filters hold counts once more samples come.
    const bool playing = data.transport && (data.transport->state & TransportContext::kPlaying);
    if (accessor && !accessor->completeReadOut(data.numSamples == 0 && !playing)) {
        // Answered with a failed block; the controller asks again.
        readOutIncomplete = true;
        readOutRequested.store(false, std::memory_order_release);
        return;
    }
    writeMeterValues(data.outputParameterChanges, data.numSamples);
}

bool PluginQelVu::addPoint(IParameterChangeList* changes, int32 id, double value)
{
    // The host boundary carries normalised values: never outside 0..1, never NaN.
    if (!(value >= 0.0))
        value = 0.0;
    else if (value > 1.0)
        value = 1.0;
    int32 index = 0;
    uint32 pid = static_cast<uint32>(id);
    IParameterChangeQueue* queue = changes->addParameterData(pid, index);
    int32 pointIndex = 0;
    return queue && queue->addPoint(0, value, pointIndex) == kResultOk;
}

bool PluginQelVu::writeSideValues(IParameterChangeList* changes, BusDirection dir, const int32* ids, int32 idCount,
                                  int32 overallId)
{
    bool whole = true;
    const int32 count = busChannelCount(dir);
    if (count <= idCount)
        for (int32 c = 0; c < count; ++c)
            whole = addPoint(changes, ids[c], accessor->getValue(ids[c])) && whole;
    if (overallId >= 0)
        whole = addPoint(changes, overallId, accessor->getValue(overallId)) && whole;
    return whole;
}

void PluginQelVu::writeMeterValues(IParameterChangeList* changes, int32)
{
    finishReadOut(writeChannelValues(changes));
}

bool PluginQelVu::writeChannelValues(IParameterChangeList* changes)
{
    bool whole = true;
    if (accessor && changes) {
        if (inputMeteringOn && inputValueIds)
            whole = writeSideValues(changes, kInput, inputValueIds.get(), inputIdCount, overallInputId) && whole;
        if (outputMeteringOn && outputValueIds)
            whole = writeSideValues(changes, kOutput, outputValueIds.get(), outputIdCount, overallOutputId) && whole;
        if (singleValueOn && singleValueId >= 0) {
            double v = accessor->getValue(singleValueId);
            if (v > static_cast<double>(0.99f))
                v = 1.0;
            whole = addPoint(changes, singleValueId, v) && whole;
        }
    }
    return whole;
}

void PluginQelVu::finishReadOut(bool whole)
{
    // A read-out the host could not take whole fails its block and stays asked for.
    if (!whole)
        readOutLost = true;
    else
        readOutRequested.store(false, std::memory_order_release);
}

} // namespace Qel
} // namespace Calvereth

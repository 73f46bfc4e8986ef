#include "pluginset/common/qel/pluginqel.h"

#include "base/fstreamer.h"
#include "dsp/prims.h"
#include "pluginset/common/qel/statestream.h"
#include "primitives/vector/ipps_vector.h"
#include "qel/boundary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>
#include <vector>

namespace Calvereth {
namespace Qel {

namespace {

constexpr float kDryDelayMaxMs = 200.0f;
constexpr float kFadeMs = 100.0f;

int32 bits(uint64 mask)
{
    return std::popcount(mask);
}

AudioBus* audioBusAt(BusList* list, int32 index)
{
    if (!list)
        return nullptr;
    Bus* bus = list->at(index);
    if (!bus || !bus->isTypeOf(AudioBus::getFClassID(), true))
        return nullptr;
    return static_cast<AudioBus*>(bus);
}

// Channel pointers of bus 0 moved on by `offset` samples.
void offsetChannels(float** dest, const BusBuffers& bus, int32 channels, int32 offset)
{
    for (int32 c = 0; c < channels; ++c)
        dest[c] = bus.channelBuffers32[c] + offset;
}

} // namespace

PluginQel::PluginQel(const Param::ParamRecord* table, int32 rowCount)
: paramAccessor(new Param::ParameterInfoAccessor(table, table ? rowCount : 0), false), rowCount(table ? rowCount : 0),
  hasTable(table != nullptr), dryDelay(std::make_unique<DSP::DelayMultiCh>(processSetup.maxSamplesPerBlock,
                                                                           processSetup.sampleRate, kDryDelayMaxMs)),
  crossFader(
      std::make_unique<DSP::CrossFader<float>>(processSetup.maxSamplesPerBlock, processSetup.sampleRate, kFadeMs))
{
    int32 id = 0;
    bypassId = paramAccessor->getIdByName("bypass", id) == 0 ? id : kNoBypassId;
    crossFader->initialize(nullptr);
    crossFader->reset();
}

PluginQel::PluginQel() : PluginQel(nullptr, 0) {}

PluginQel::~PluginQel()
{
    releaseAlgorithm();
    dryDelay->terminate();
    crossFader->terminate();
}

tresult PluginQel::initialize(FUnknown* context)
{
    ippStaticInit();
    return Component::initialize(context);
}

tresult PluginQel::terminate()
{
    releaseAlgorithm();
    keptEntries.clear();
    return Component::terminate();
}

void PluginQel::releaseAlgorithm()
{
    accessor.reset();
}

void PluginQel::pushParametersToAlgorithm()
{
    if (!accessor)
        return;
    for (int32 i = 0; i < rowCount; ++i) {
        const Param::ParamRecord* r = paramAccessor->getRecordAt(i);
        accessor->setParameter(r->id, r->defaultValue);
    }
}

int32 PluginQel::setupChannels(SpeakerArrangement input, SpeakerArrangement output, SpeakerArrangement secondInput)
{
    int32 in = bits(input);
    int32 out = bits(output);
    if (!accessor)
        return kResultFalse;
    // The meter's peak arrays and the pieces' pointer arrays hold kMaxChannels channels.
    if (in < 1 || out < 1 || in > kMaxChannels || out > kMaxChannels)
        return kResultFalse;
    const int32 answer = accessor->setChannelMasks(input, output, secondInput);
    if (answer == DSP::kChannelsOutOfMemory) {
        // The meter is taken down: blocks pass through unmeasured until channels are set up again.
        dropChannels();
        return kOutOfMemory;
    }
    if (answer != 0)
        return kResultFalse;
    try {
        crossFader->setNumChannels(std::min(in, out));
        if (dryDelay->setChannelCount(in, out, 0) == 1)
            dryDelay->setChannelCount(std::min(in, out), std::min(in, out), 0);
    } catch (...) {
        // The meter has the channels, the bypass path could not have them: nothing is measured
        // until channels are set up again.
        dropChannels();
        return kOutOfMemory;
    }
    channelsIn = in;
    channelsOut = out;
    return kResultOk;
}

void PluginQel::dropChannels()
{
    // Every block routine passes a block through when it has no channels to meter.
    channelsIn = 0;
    channelsOut = 0;
}

int32 PluginQel::passBusArrangementsToAlgorithm()
{
    AudioBus* in = audioBusAt(getBusList(kAudio, kInput), 0);
    AudioBus* out = audioBusAt(getBusList(kAudio, kOutput), 0);
    AudioBus* second = audioBusAt(getBusList(kAudio, kInput), 1);
    return setupChannels(in ? in->getArrangement() : 0, out ? out->getArrangement() : 0,
                         second ? second->getArrangement() : 0);
}

int32 PluginQel::spreadValue(uint64 value, uint64& a, uint64& b, uint64& c)
{
    a = value;
    b = value;
    c = value;
    return kResultOk;
}

tresult PluginQel::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                      int32 numOuts)
{
    return answerWithoutThrowing([&] { return arrangeBuses(inputs, numIns, outputs, numOuts); });
}

tresult PluginQel::arrangeBuses(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs, int32 numOuts)
{
    if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kInvalidArgument;
    SpeakerArrangement in = numIns > 0 ? inputs[0] : 0;
    SpeakerArrangement out = numOuts > 0 ? outputs[0] : 0;
    SpeakerArrangement second = numIns > 1 ? inputs[1] : 0;
    BusList* inList = getBusList(kAudio, kInput);
    BusList* outList = getBusList(kAudio, kOutput);
    const int32 answer = setupChannels(in, out, second);
    // Out of memory is no refusal: the buses keep what they have and nothing is proposed.
    if (answer == kOutOfMemory)
        return kOutOfMemory;
    if (answer != kResultFalse) {
        for (int32 i = 0; i < numIns; ++i)
            if (AudioBus* bus = audioBusAt(inList, i))
                bus->setArrangement(inputs[i]);
        for (int32 j = 0; j < numOuts; ++j)
            if (AudioBus* bus = audioBusAt(outList, j))
                bus->setArrangement(outputs[j]);
        return (numIns > 0 && inList->count() == 0) ? kResultFalse : kResultOk;
    }
    // An input the meter cannot hold at all gives no proposal: the buses keep what they have.
    if (bits(in) < 1 || bits(in) > kMaxChannels)
        return kResultFalse;
    // Refused: propose the input's layout on every bus, so the host learns what the meter offers.
    uint64 a = 0, b = 0, c = 0;
    spreadValue(in, a, b, c);
    if (numIns > 0)
        if (AudioBus* bus = audioBusAt(inList, 0))
            bus->setArrangement(a);
    if (numIns > 1)
        if (AudioBus* bus = audioBusAt(inList, 1))
            bus->setArrangement(c);
    for (int32 j = 0; j < numOuts; ++j)
        if (AudioBus* bus = audioBusAt(outList, j))
            bus->setArrangement(b);
    return passBusArrangementsToAlgorithm() == kOutOfMemory ? kOutOfMemory : kResultFalse;
}

tresult PluginQel::setupProcessing(ProcessSetup& setup)
{
    if (setup.maxSamplesPerBlock <= 0 || !(setup.sampleRate >= 1.0))
        return kResultFalse;
    // Only 32-bit samples are processed: a 64-bit set-up would have us read past every buffer.
    if (static_cast<IAudioProcessor*>(this)->canProcessSampleSize(setup.sampleSize) != kResultOk)
        return kResultFalse;
    // A rate the engine cannot measure right (or allocate for) is refused before anything changes.
    if (!DSP::isSupportedSampleRate(setup.sampleRate) || (accessor && !accessor->acceptsSampleRate(setup.sampleRate)))
        return kResultFalse;
    const bool offline = setup.processMode == kOffline;
    processSetup.processMode = setup.processMode;
    // The buffers hold a capped block; longer host blocks are processed in pieces of it.
    const int32 block = DSP::clampBlockSize(setup.maxSamplesPerBlock);
    // Without an accessor (a failed set-up released it) the same set-up builds it again.
    if (accessor && block == processSetup.maxSamplesPerBlock && setup.sampleRate == processSetup.sampleRate) {
        accessor->setOfflineProcessing(offline);
        return kResultOk;
    }
    processSetup.maxSamplesPerBlock = block;
    processSetup.sampleRate = setup.sampleRate;

    try {
        // The values go to the next accessor, also when this one cannot be built.
        if (accessor) {
            const DSP::ParameterEntry* entries = accessor->getEntries();
            keptEntries.assign(entries, entries + accessor->getEntryCount());
        }
        dryDelay->setBlockSize(block);
        dryDelay->setSampleRate(setup.sampleRate);
        crossFader->updateSampleRate(static_cast<float>(setup.sampleRate));
        crossFader->setBlockSize(block);
        releaseAlgorithm();
        createAlgorithm();
        if (accessor) {
            if (!keptEntries.empty())
                accessor->setStateBlock(keptEntries.data(),
                                        static_cast<int32>(keptEntries.size() * sizeof(DSP::ParameterEntry)));
            dryDelay->setMaxDelaySamples(accessor->getMaxLatency() + 1);
            accessor->setOfflineProcessing(offline);
        }
    } catch (...) {
        // Out of memory: without an algorithm audio passes through unmeasured until a set-up
        // succeeds; no exception crosses the boundary.
        releaseAlgorithm();
        return kOutOfMemory;
    }
    keptEntries.clear();
    return kResultOk;
}

tresult PluginQel::activateBus(MediaType type, BusDirection dir, int32 index, bool state)
{
    if (Component::activateBus(type, dir, index, state) != kResultOk)
        return kResultFalse;
    if (dir == kOutput) {
        if (index == 0)
            mainOutputActive = state;
    } else if (dir == kInput) {
        if (index == 0)
            mainInputActive = state;
        else if (index == 1)
            secondInputActive = state;
    }
    BusList* inputs = getBusList(kAudio, kInput);
    if (!inputs || !inputs->at(0))
        processRoutine = &PluginQel::processNoInput;
    else if (secondInputActive && auxEnabled)
        processRoutine = &PluginQel::processWithAux;
    else
        processRoutine = &PluginQel::processMain;
    return kResultOk;
}

tresult PluginQel::setActive(bool state)
{
    const bool starting = state && !processing && accessor;
    // What the blocks need is had before anything changes.
    if (starting && answerWithoutThrowing([&] {
                        snapshot.allocate(accessor->getEntryCount());
                        return kResultOk;
                    }) != kResultOk)
        return kOutOfMemory;
    if (accessor)
        accessor->setActive(state);
    if (starting) {
        snapshotDue = true;
        publishSnapshot();
    }
    // No block runs before activation or after deactivation: what was handed over is taken here.
    takeHandOvers();
    processing = state;
    return Component::setActive(state);
}

uint32 PluginQel::getLatencySamples()
{
    return accessor ? static_cast<uint32>(std::max(0, accessor->getLatency())) : 0;
}

uint32 PluginQel::getTailSamples()
{
    return accessor ? static_cast<uint32>(accessor->getTail()) : 0xFFFFFFFFu;
}

tresult PluginQel::process(ProcessData& data)
{
    // Only the host's own objects could throw here.
    try {
        takeHandOvers();
        readOutIncomplete = false;
        readOutLost = false;
        int32 result = (this->*processRoutine)(data);
        publishSnapshot();
        // A block whose outputs could not be written is never reported as processed.
        if (result == kBlockInvalid)
            return kInvalidArgument;
        if (readOutLost)
            return kOutOfMemory;
        return readOutIncomplete ? kResultFalse : kResultOk;
    } catch (...) {
        return kOutOfMemory;
    }
}

void PluginQel::setBypass(double value)
{
    int32 state = value >= 0.5 ? 1 : 0;
    if (state != bypassState) {
        bypassState = state;
        crossFader->startFade();
    }
}

void PluginQel::setBypassState(int32 state)
{
    bypassState = state;
}

void PluginQel::setAuxInputEnabled(bool state)
{
    auxEnabled = state;
}

void PluginQel::afterProcess(ProcessData&) {}

void PluginQel::writeOutputParameterChanges(IParameterChangeList*) {}

void PluginQel::applyInputChanges(ProcessData& data)
{
    forEachLastPoint(data.inputParameterChanges, [this](int32 id, double value) {
        if (id == bypassId)
            setBypass(value);
        setAccessorParameter(id, value);
    });
}

void PluginQel::setAccessorParameter(int32 id, double normalized)
{
    if (!accessor)
        return;
    // An id the table does not hold has no range to map through: its value goes on as it came
    // (a switch stays a switch) rather than collapsing to 0 and turning the meter off.
    double plain = paramAccessor->getRecord(id) ? paramAccessor->toPlain(id, normalized) : normalized;
    accessor->setParameter(id, static_cast<float>(plain));
    snapshotDue = true;
}

void PluginQel::processParameterChanges(ProcessData& data)
{
    applyInputChanges(data);
    if (data.outputParameterChanges)
        writeOutputParameterChanges(data.outputParameterChanges);
}

bool PluginQel::busUsable(const BusBuffers* buses, int32 count, int32 channels)
{
    if (!buses || count < 1 || buses[0].numChannels < channels)
        return false;
    if (channels > 0 && !buses[0].channelBuffers32)
        return false;
    for (int32 c = 0; c < channels; ++c)
        if (!buses[0].channelBuffers32[c])
            return false;
    return true;
}

bool PluginQel::copyOrZero(const BusBuffers* in, BusBuffers& out, int32 first, int32 n)
{
    bool complete = true;
    for (int32 c = first; c < out.numChannels; ++c) {
        float* dst = out.channelBuffers32[c];
        if (!dst) {
            complete = false;
            continue;
        }
        const float* src = (in && in->channelBuffers32 && c < in->numChannels) ? in->channelBuffers32[c] : nullptr;
        if (src && src != dst)
            std::memmove(dst, src, sizeof(float) * static_cast<std::size_t>(n));
        else if (!src)
            std::fill_n(dst, n, 0.0f);
    }
    return complete;
}

bool PluginQel::passThrough(ProcessData& data)
{
    if (data.numSamples < 0)
        return false;
    if (data.numOutputs < 1)
        return true;
    if (!data.outputs)
        return false;
    for (int32 b = 0; b < data.numOutputs; ++b) {
        BusBuffers& out = data.outputs[b];
        if (out.numChannels < 0 || (out.numChannels > 0 && !out.channelBuffers32))
            return false;
        const BusBuffers* in = (data.inputs && b < data.numInputs) ? &data.inputs[b] : nullptr;
        if (!copyOrZero(in, out, 0, data.numSamples))
            return false;
        uint64 inMask = in ? in->silenceFlags : 0;
        out.silenceFlags = out.numChannels > 0 ? inMask : 0;
    }
    return true;
}

void PluginQel::passExtraChannels(ProcessData& data)
{
    const BusBuffers* in = data.numInputs > 0 && data.inputs ? &data.inputs[0] : nullptr;
    copyOrZero(in, data.outputs[0], channelsOut, data.numSamples);
}

void PluginQel::silencePiece(ProcessData& data, int32 offset, int32 n)
{
    float* out[kMaxChannels];
    offsetChannels(out, data.outputs[0], channelsOut, offset);
    for (int32 c = 0; c < channelsOut; ++c)
        std::fill_n(out[c], n, 0.0f);
    accessor->processSilence(n);
    crossFader->processDual(out, out, out, n);
}

void PluginQel::processPiece(ProcessData& data, int32 offset, int32 n, bool withAux)
{
    float* in[kMaxChannels];
    float* out[kMaxChannels];
    offsetChannels(in, data.inputs[0], channelsIn, offset);
    offsetChannels(out, data.outputs[0], channelsOut, offset);
    if (bypassState != 0) {
        applyBypass(data, offset, n);
        return;
    }
    float** scratch = crossFader->getChannelBuffers();
    // The dry signal is only heard while fading; a delay line must still be fed.
    if (crossFader->isFading() || dryDelay->isDelaying())
        dryDelay->process(in, scratch, n);
    bool aux = withAux && secondInputActive && data.numInputs > 1 &&
               busUsable(data.inputs + 1, data.numInputs - 1, channelsIn);
    if (aux) {
        float* side[kMaxChannels];
        offsetChannels(side, data.inputs[1], channelsIn, offset);
        accessor->processDual(in, out, side, n);
    } else {
        accessor->process(in, out, n);
    }
    crossFader->processDual(scratch, out, out, n);
}

int32 PluginQel::applyBypass(ProcessData& data, int32 offset, int32 n)
{
    if (data.numInputs < 1 && data.numOutputs < 1)
        return kResultOk;
    float* in[kMaxChannels];
    float* out[kMaxChannels];
    offsetChannels(in, data.inputs[0], channelsIn, offset);
    offsetChannels(out, data.outputs[0], channelsOut, offset);
    float** scratch = crossFader->getChannelBuffers();
    // The meter keeps measuring while bypassed.
    accessor->process(in, scratch, n);
    dryDelay->process(in, out, n);
    if (crossFader->isFading())
        crossFader->processDual(scratch, out, out, n);
    return kResultOk;
}

int32 PluginQel::passUnmeasured(ProcessData& data)
{
    // A read-out asked for still comes: it tells that nothing was measured.
    if (data.numSamples >= 0)
        processParameterChanges(data);
    return passThrough(data) ? kBlockPassed : kBlockInvalid;
}

int32 PluginQel::processBlock(ProcessData& data, bool withAux)
{
    if (!accessor)
        return passUnmeasured(data);
    if (data.numSamples < 0)
        return kBlockInvalid;
    processParameterChanges(data);
    if (data.numSamples == 0) {
        afterProcess(data);
        return kBlockProcessed;
    }
    // Every path below reads channelsIn inputs and writes channelsOut outputs: check them first.
    if (!busUsable(data.inputs, data.numInputs, channelsIn) || !busUsable(data.outputs, data.numOutputs, channelsOut) ||
        channelsIn < 1 || channelsOut < 1 || !mainInputActive || !mainOutputActive)
        return passThrough(data) ? kBlockPassed : kBlockInvalid;

    BusBuffers& in0 = data.inputs[0];
    BusBuffers& out0 = data.outputs[0];
    const int32 piece = std::max(1, processSetup.maxSamplesPerBlock);
    if (in0.silenceFlags != 0) {
        // Muted and skipped only when every metered channel is flagged silent.
        const uint64 all = channelsIn >= 64 ? ~0ull : ((1ull << channelsIn) - 1);
        if ((in0.silenceFlags & all) == all && accessor->isSilent()) {
            out0.silenceFlags = in0.silenceFlags;
            if (data.transport)
                accessor->setProcessContext(data.transport);
            for (int32 pos = 0; pos < data.numSamples; pos += piece)
                silencePiece(data, pos, std::min(piece, data.numSamples - pos));
            passExtraChannels(data);
            return kBlockProcessed;
        }
        out0.silenceFlags = 0;
    }
    if (bypassState == 0 && data.transport)
        accessor->setProcessContext(data.transport);
    dryDelay->setDelaySamples(accessor->getLatency());
    // A block longer than the set-up promised is measured in pieces that fit every buffer.
    for (int32 pos = 0; pos < data.numSamples; pos += piece)
        processPiece(data, pos, std::min(piece, data.numSamples - pos), withAux);
    passExtraChannels(data);
    afterProcess(data);
    return kBlockProcessed;
}

int32 PluginQel::processMain(ProcessData& data)
{
    return processBlock(data, false);
}

int32 PluginQel::processWithAux(ProcessData& data)
{
    return processBlock(data, true);
}

int32 PluginQel::processNoInput(ProcessData& data)
{
    if (!accessor)
        return passUnmeasured(data);
    if (data.numSamples < 0)
        return kBlockInvalid;
    processParameterChanges(data);
    if (data.numSamples == 0)
        return kBlockProcessed;
    if (!busUsable(data.outputs, data.numOutputs, channelsOut) || channelsOut < 1)
        return passThrough(data) ? kBlockPassed : kBlockInvalid;
    if (data.transport)
        accessor->setProcessContext(data.transport);
    BusBuffers& out0 = data.outputs[0];
    const int32 piece = std::max(1, processSetup.maxSamplesPerBlock);
    if (bypassState != 0) {
        out0.silenceFlags = channelsOut >= 64 ? ~0ull : ((1ull << channelsOut) - 1);
        for (int32 c = 0; c < out0.numChannels; ++c)
            if (out0.channelBuffers32[c])
                std::fill_n(out0.channelBuffers32[c], data.numSamples, 0.0f);
    } else {
        for (int32 pos = 0; pos < data.numSamples; pos += piece) {
            const int32 n = std::min(piece, data.numSamples - pos);
            float* out[kMaxChannels];
            offsetChannels(out, out0, channelsOut, pos);
            // Without an input the algorithm meters silence: the cleared outputs serve as its input,
            // since the algorithms read one input channel per output channel.
            for (int32 c = 0; c < channelsOut; ++c)
                std::fill_n(out[c], n, 0.0f);
            accessor->process(out, out, n);
        }
    }
    accessor->setProcessContext(nullptr);
    afterProcess(data);
    return kBlockProcessed;
}

// ---- messages ----

int32 PluginQel::sendStringMessage(const char* id, const char16_t* text)
{
    return sendMessageWith(id, [&](IMessageAttributes& a) { return a.setString(id, text); });
}

int32 PluginQel::sendIntMessage(const char* id, int64 value)
{
    return sendMessageWith(id, [&](IMessageAttributes& a) { return a.setInt(id, value); });
}

int32 PluginQel::sendFloatMessage(const char* id, double value)
{
    return sendMessageWith(id, [&](IMessageAttributes& a) { return a.setFloat("value", value); });
}

// ---- state ----

int32 PluginQel::getCustomStateFormat(int32&, int32&)
{
    return kResultFalse;
}

bool PluginQel::isCustomStateDirty()
{
    return false;
}

tresult PluginQel::readCustomState(IBStream*)
{
    return kNotImplemented;
}

tresult PluginQel::readCustomStateChunk(IBStream*, int32)
{
    return kNotImplemented;
}

tresult PluginQel::writeCustomState(IBStream*)
{
    return kNotImplemented;
}

tresult PluginQel::getState(IBStream* state)
{
    return answerWithoutThrowing([&] { return writeState(state); });
}

tresult PluginQel::writeState(IBStream* state)
{
    if (!accessor || !state)
        return !accessor ? kResultFalse : kInvalidArgument;
    IBStreamer streamer(state, kLittleEndian);
    const int32 count = accessor->getEntryCount();
    if (!processing)
        return ProcessorState::write(streamer, accessor->getEntries(), count) ? kResultOk : kResultFalse;
    // While blocks run the entries are the audio thread's: the records it last published are read,
    // with a state it has not taken yet applied to them as it will apply it.
    // The stage is read first: once it is empty, the applied state has been published.
    const bool staged = pendingStage.load(std::memory_order_acquire) != kPendingNone;
    const DSP::ParameterEntry* published = snapshot.latest();
    if (!staged)
        return ProcessorState::write(streamer, published, count) ? kResultOk : kResultFalse;
    const Param::ParamRecord* table = rowCount >= count ? paramAccessor->getTable() : nullptr;
    DSP::AlgoAccessor view(0, count, table);
    std::copy_n(published, count, view.getEntries());
    view.applyRecords(pending.data(), pending.count());
    return ProcessorState::write(streamer, view.getEntries(), count) ? kResultOk : kResultFalse;
}

tresult PluginQel::setState(IBStream* state)
{
    return answerWithoutThrowing([&] { return readState(state); });
}

tresult PluginQel::readState(IBStream* state)
{
    if (!accessor || !state)
        return !accessor ? kResultFalse : kInvalidArgument;
    const int32 entries = accessor->getEntryCount();
    if (incoming.capacity() < entries)
        incoming = ProcessorState(entries);
    if (!incoming.read(state, entries))
        return kResultFalse; // refused: nothing applied
    if (!processing) {
        applyState(incoming);
        return kResultOk;
    }
    // Decoded here, applied by the audio thread at the start of its next block.
    // Take the slot back from the audio thread: empty, or holding a state it has not taken yet
    // (the newer one replaces it). It is busy only while a block applies it.
    int32 taken = kPendingNone;
    for (;;) {
        int32 stage = kPendingNone;
        if (pendingStage.compare_exchange_weak(stage, kPendingWriting, std::memory_order_acquire))
            break;
        stage = kPendingReady;
        if (pendingStage.compare_exchange_weak(stage, kPendingWriting, std::memory_order_acquire)) {
            taken = kPendingReady;
            break;
        }
        std::this_thread::yield();
    }
    if (pending.capacity() < entries) {
        try {
            pending = ProcessorState(entries);
        } catch (...) {
            // The slot goes back as it was taken, with a state not yet applied still in it.
            pendingStage.store(taken, std::memory_order_release);
            throw;
        }
    }
    pending.assign(incoming);
    pendingStage.store(kPendingReady, std::memory_order_release);
    return kResultOk;
}

void PluginQel::takeHandOvers()
{
    int32 stage = kPendingReady;
    if (pendingStage.compare_exchange_strong(stage, kPendingApplying, std::memory_order_acquire)) {
        if (accessor)
            applyState(pending);
        // getState reads the staged state until the applied one is published.
        publishSnapshot();
        pendingStage.store(kPendingNone, std::memory_order_release);
    }
}

void PluginQel::applyState(const ProcessorState& state)
{
    accessor->applyRecords(state.data(), state.count());
    // Set directly: a restored bypass takes effect without a fade.
    bypassState = ProcessorState::isOn(accessor->getValue(bypassId)) ? 1 : 0;
    snapshotDue = true;
    stateApplied();
}

void PluginQel::publishSnapshot()
{
    if (!snapshotDue || !accessor || snapshot.size() != accessor->getEntryCount())
        return;
    std::copy_n(accessor->getEntries(), snapshot.size(), snapshot.writeBuffer());
    snapshot.publish();
    snapshotDue = false;
}

} // namespace Qel
} // namespace Calvereth

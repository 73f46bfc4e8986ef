// Processor base of the meter plug-in: binds one algorithm accessor of the engine to the host's
// processor calls, with a crossfaded bypass over a latency-compensated dry path.
#pragma once

#include "dsp/algoaccessor.h"
#include "dsp/crossfader.h"
#include "dsp/delay.h"
#include "base/iptr.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "pluginset/common/qel/statesnapshot.h"
#include "pluginset/common/qel/statestream.h"
#include "qel/audioeffect.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Calvereth {
namespace Qel {

class PluginQel : public AudioEffect
{
public:
    // The most channels the meter holds per side.
    static constexpr int32 kMaxChannels = 14;
    // Bypass id when the table has no row named "bypass".
    static constexpr int32 kNoBypassId = 50000;

    PluginQel(const Param::ParamRecord* table, int32 rowCount);
    PluginQel();
    ~PluginQel() override;

    // Out of memory, the entries below answer kOutOfMemory (6) and leave the processor able to try
    // the step again, to terminate and to be released; no exception leaves them.

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;
    // IComponent
    tresult activateBus(MediaType type, BusDirection dir, int32 index, bool state) override;
    // Activation without room for its snapshots answers kOutOfMemory and stays inactive.
    tresult setActive(bool state) override;
    // A refused stream (cut short, a value that is not finite, more records than entries) answers 1
    // and changes nothing. While processing, an accepted state is applied by the audio thread at
    // the start of its next block; getState answers the records as of the last block, with a state
    // not yet taken applied to them (so a host saving right after loading saves what it loaded).
    tresult setState(IBStream* state) override;
    tresult getState(IBStream* state) override;
    // IAudioProcessor
    // Out of memory: kOutOfMemory with no proposal, the buses as they were; the meter is taken down
    // and blocks pass through unmeasured until an arrangement succeeds.
    tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                               int32 numOuts) override;
    uint32 getLatencySamples() override;
    // Out of memory: kOutOfMemory without an accessor (blocks pass through unmeasured, read-outs say
    // nothing was measured); the parameter values are kept for the next set-up, which builds it.
    tresult setupProcessing(ProcessSetup& setup) override;
    // kOutOfMemory when a requested read-out could not be handed to the host whole (the next block
    // writes it again); the audio has passed through all the same.
    tresult process(ProcessData& data) override;
    uint32 getTailSamples() override;

    // What a block routine did with the block.
    enum BlockResult : int32
    {
        kBlockProcessed = 0, // measured and written
        kBlockPassed = 1,    // outputs written without measuring (meter cannot run)
        kBlockInvalid = 2,   // malformed process data: outputs could not be written
    };

    virtual void createAlgorithm() = 0;
    virtual void releaseAlgorithm();
    virtual void pushParametersToAlgorithm();
    // 0, 1 refused, or kOutOfMemory (the meter taken down, no channels metered until set up again).
    virtual int32 setupChannels(SpeakerArrangement input, SpeakerArrangement output, SpeakerArrangement secondInput);
    virtual void setBypass(double value);
    virtual void processParameterChanges(ProcessData& data);
    virtual void afterProcess(ProcessData& data);
    virtual void setAuxInputEnabled(bool state);
    virtual void setBypassState(int32 state);
    virtual void writeOutputParameterChanges(IParameterChangeList* changes);
    virtual int32 processNoInput(ProcessData& data);
    virtual int32 processMain(ProcessData& data);
    virtual int32 processWithAux(ProcessData& data);
    virtual int32 applyBypass(ProcessData& data, int32 offset, int32 n);
    virtual int32 getCustomStateFormat(int32& format, int32& version);
    virtual bool isCustomStateDirty();
    virtual tresult readCustomState(IBStream* state);
    virtual tresult readCustomStateChunk(IBStream* state, int32 size);
    virtual tresult writeCustomState(IBStream* state);
    virtual int32 passBusArrangementsToAlgorithm();
    virtual int32 spreadValue(uint64 value, uint64& a, uint64& b, uint64& c);

    // Messages to the connected controller; each answers 1 when no message can be allocated.
    int32 sendStringMessage(const char* id, const char16_t* text);
    int32 sendIntMessage(const char* id, int64 value);
    int32 sendFloatMessage(const char* id, double value);

    DSP::AlgoAccessor* getAccessor() const { return accessor.get(); }
    Param::ParameterInfoAccessor* getParameterAccessor() const { return paramAccessor.get(); }
    int32 getBypassId() const { return bypassId; }
    int32 getBypassState() const { return bypassState; }
    int32 getChannelsIn() const { return channelsIn; }
    int32 getChannelsOut() const { return channelsOut; }

protected:
    using Routine = int32 (PluginQel::*)(ProcessData&);

    // Allocates a message, labels it `id`, lets `fill` set its attributes and sends it; 1 when no
    // message can be allocated. A message without attributes is released unsent. A message the
    // host could not label or fill for want of memory is not sent half made: kOutOfMemory, as when
    // the host could not take it.
    template <class Fill>
    int32 sendMessageWith(const char* id, Fill fill)
    {
        // Given back whatever the host's objects throw.
        IPtr<IMessage> message(allocateMessage(), false);
        if (!message)
            return kResultFalse;
        if (IMessageAttributes* attributes = message->getAttributes()) {
            message->setMessageId(id);
            if (!message->getMessageId() || fill(*attributes) == kOutOfMemory ||
                sendMessage(message.get()) == kOutOfMemory)
                return kOutOfMemory;
        }
        return kResultOk;
    }

    // What the main thread hands to the audio thread while blocks run, taken at the start of the
    // next block (or by the main thread once processing has stopped).
    virtual void takeHandOvers();
    // Applies decoded records to the accessor's entries (each entry takes at most one record; a
    // repeated id fills the next entry of that id), clamped to their rows, then re-applies every
    // entry and re-reads the bypass. Allocates nothing.
    void applyState(const ProcessorState& state);
    // After a state has been applied, on whichever thread applied it.
    virtual void stateApplied() {}
    // Publishes the accessor's records for getState while blocks run.
    void publishSnapshot();

    // Applies the block's input parameter changes (the last point of each queue).
    void applyInputChanges(ProcessData& data);
    // Hands a parameter change to the accessor in plain units.
    void setAccessorParameter(int32 id, double normalized);
    // Calls f(id, value) with the last point of every queue of a block's input changes, clamped to
    // 0..1; a point that is no finite number is skipped.
    template <class F>
    static void forEachLastPoint(IParameterChangeList* changes, F f)
    {
        if (!changes)
            return;
        int32 count = changes->getParameterCount();
        for (int32 i = 0; i < count; ++i) {
            IParameterChangeQueue* queue = changes->getParameterData(i);
            if (!queue)
                continue;
            int32 points = queue->getPointCount();
            int32 offset = 0;
            double value = 0.0;
            if (points < 1 || queue->getPoint(points - 1, offset, value) != kResultOk ||
                !Param::acceptNormalized(value))
                continue;
            f(static_cast<int32>(queue->getParameterId()), value);
        }
    }
    // Copies every input bus to its output bus channel by channel and zeroes what has no input;
    // false when the output buffers are unusable.
    bool passThrough(ProcessData& data);
    // A block without an accessor: its changes applied, a requested read-out written, the audio
    // passed through.
    int32 passUnmeasured(ProcessData& data);
    // No channels to meter: every block passes through.
    void dropChannels();
    tresult arrangeBuses(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs, int32 numOuts);
    tresult readState(IBStream* state);
    tresult writeState(IBStream* state);
    // Output channels from `first` on take the same channel of `in` (or silence); false when a
    // channel pointer is missing (the others are still written).
    static bool copyOrZero(const BusBuffers* in, BusBuffers& out, int32 first, int32 n);
    // True when bus 0 of the list carries at least `channels` usable channel pointers.
    static bool busUsable(const BusBuffers* buses, int32 count, int32 channels);
    // The normal and the auxiliary routine share their body.
    int32 processBlock(ProcessData& data, bool withAux);
    // One piece of at most the set-up's block size, starting at `offset`.
    void processPiece(ProcessData& data, int32 offset, int32 n, bool withAux);
    void silencePiece(ProcessData& data, int32 offset, int32 n);
    // Output channels beyond the metered ones take their input (or silence).
    void passExtraChannels(ProcessData& data);

    Routine processRoutine = &PluginQel::processMain;
    std::unique_ptr<DSP::AlgoAccessor> accessor;
    IPtr<Param::ParameterInfoAccessor> paramAccessor;
    int32 bypassId = kNoBypassId;
    int32 bypassState = 0;
    int32 rowCount = 0;
    bool hasTable = false;
    bool auxEnabled = false;
    bool mainInputActive = false;
    bool mainOutputActive = false;
    bool secondInputActive = false;
    std::unique_ptr<DSP::DelayMultiCh> dryDelay;
    std::unique_ptr<DSP::CrossFader<float>> crossFader;
    // Channel counts the engine was configured with.
    int32 channelsIn = 0;
    int32 channelsOut = 0;

    // Between setActive (true) and setActive (false) blocks run on the audio thread: the main
    // thread then hands its work over instead of touching the accessor.
    bool processing = false;
    // A state set while processing: decoded by the main thread into `incoming`, copied into
    // `pending` and handed over through `pendingStage`.
    enum PendingStage : int32
    {
        kPendingNone,
        kPendingWriting,
        kPendingReady,
        kPendingApplying
    };
    ProcessorState incoming;
    ProcessorState pending;
    std::atomic<int32> pendingStage{kPendingNone};
    // Audio thread: the entries changed since the last published snapshot.
    bool snapshotDue = false;
    // Audio thread: this block's read-out could not complete the readings (offline), so the block
    // fails rather than hand on values that are not final.
    bool readOutIncomplete = false;
    // Audio thread: this block's read-out could not hand every value to the host.
    bool readOutLost = false;
    StateSnapshot snapshot;
    // The parameter values of an accessor that a failed set-up released, for the next one.
    std::vector<DSP::ParameterEntry> keptEntries;
};

} // namespace Qel
} // namespace Calvereth

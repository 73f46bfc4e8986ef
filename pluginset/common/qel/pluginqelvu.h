// Processor base that meters for a display: answers the controller's messages, tells it the channel
// counts, and writes meter values as output parameter changes when asked.
#pragma once

#include "pluginset/common/qel/pluginqel.h"

#include <atomic>
#include <memory>

namespace Calvereth {
namespace Qel {

class PluginQelVu : public PluginQel
{
public:
    PluginQelVu(const Param::ParamRecord* table, int32 rowCount);

    // "PluginDataGet" asks for a read-out; "resetMaxLevelIn" and "resetMaxLevelOut" (with their
    // attribute) reset the maxima at the start of the next block. 0 for any message, but
    // kOutOfMemory when what a "PluginDataGet" must send could not be sent (it is sent at the next).
    tresult notify(IMessage* message) override;
    // Activation and deactivation are announced to the controller; an activation that failed
    // (kOutOfMemory) is not.
    tresult setActive(bool state) override;
    // Tells the controller a new sample rate ("sampleRate", float attribute "value").
    tresult setupProcessing(ProcessSetup& setup) override;
    void processParameterChanges(ProcessData& data) override;

    virtual void writeMeterValues(IParameterChangeList* changes, int32 sampleCount);

    void setInputValueIds(const int32* ids, int32 count);
    void setOutputValueIds(const int32* ids, int32 count);
    void setSingleValueId(int32 id) { singleValueId = id; }
    void setOverallValueIds(int32 input, int32 output)
    {
        overallInputId = input;
        overallOutputId = output;
    }
    bool isReadOutRequested() const { return readOutRequested.load(std::memory_order_acquire); }

protected:
    // Resets asked for by the controller reach the meter here, on the audio thread.
    void takeHandOvers() override;
    // The read-out of a block: when the controller has asked, the block carries output changes
    // and the processor is not bypassed. Offline the readings are completed first; when they cannot
    // be, nothing is written and the block fails.
    void writeRequestedReadOut(ProcessData& data);
    // Main thread, after a "PluginDataGet" has been taken in: room for what must not run on the
    // audio thread. kOutOfMemory when it could not send what it must.
    virtual tresult dataRequested() { return kResultOk; }
    tresult receive(IMessage* message);
    // One point at offset 0 for id; false when the host gives no queue or takes no point.
    static bool addPoint(IParameterChangeList* changes, int32 id, double value);
    // One side's channel values (when its ids cover the bus's channels), then its overall value;
    // false when a value could not be handed over.
    bool writeSideValues(IParameterChangeList* changes, BusDirection dir, const int32* ids, int32 idCount,
                         int32 overallId);
    // The generic per-channel read-out (off unless its flags are set); false when a value could
    // not be handed over.
    bool writeChannelValues(IParameterChangeList* changes);
    // The end of a read-out: the request is taken, or, when a value could not be handed over, the
    // block fails and the request stays.
    void finishReadOut(bool whole);
    int32 busChannelCount(BusDirection dir);

    bool inputMeteringOn = false;
    bool outputMeteringOn = false;
    bool singleValueOn = false;
    // Set by the main thread, cleared by the audio thread's read-out.
    std::atomic<bool> readOutRequested{false};
    // Set by the main thread's reset messages, taken by the audio thread.
    std::atomic<bool> resetInDue{false};
    std::atomic<bool> resetOutDue{false};
    std::unique_ptr<int32[]> inputValueIds;
    std::unique_ptr<int32[]> outputValueIds;
    int32 singleValueId = -1;
    int32 overallInputId = -1;
    int32 overallOutputId = -1;
    int32 inputIdCount = 0;
    int32 outputIdCount = 0;
};

} // namespace Qel
} // namespace Calvereth

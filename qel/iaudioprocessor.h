// The audio processor interface and the records of processing set-up and one audio block.
#pragma once

#include <cstddef>

#include "qel/iparameterchanges.h"

namespace Calvereth {
namespace Qel {

enum ProcessMode : int32_t
{
    kRealtime = 0,
    kPrefetch = 1,
    kOffline = 2
};

struct ProcessSetup
{
    int32_t processMode{};
    SampleSizeCode sampleSize{};
    int32_t maxSamplesPerBlock{};
    double sampleRate{}; // at offset 16, after four bytes of padding
};
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, maxSamplesPerBlock) == 8 &&
              offsetof(ProcessSetup, sampleRate) == 16);

// One bus of one block: channel pointers and a silence bit per channel.
struct BusBuffers
{
    int32_t numChannels{};
    uint64_t silenceFlags{};
    union
    {
        float** channelBuffers32 = nullptr;
        double** channelBuffers64;
    };
};
static_assert(sizeof(BusBuffers) == 24 && offsetof(BusBuffers, silenceFlags) == 8 &&
              offsetof(BusBuffers, channelBuffers32) == 16);

// The transport state as the processor reads it; the fields between are not read.
struct TransportContext
{
    enum StateBits : uint32_t
    {
        kPlaying = 1u << 1,
        kPositionBitA = 1u << 9,
        kPositionBitB = 1u << 10,
        kPositionBitC = 1u << 12,
        kPositionBits = kPositionBitA | kPositionBitB | kPositionBitC
    };

    uint32_t state{};
    double sampleRate{}; // 8
    int64_t unread16{};
    int64_t unread24{};
    int64_t unread32{};
    double musicalPosition{}; // 40: quarter notes
    double unread48{};
    double musicalPosition2{}; // 56: quarter notes
    double unread64{};
    double tempo{}; // 72: beats per minute
};
static_assert(offsetof(TransportContext, sampleRate) == 8 && offsetof(TransportContext, musicalPosition) == 40 &&
              offsetof(TransportContext, musicalPosition2) == 56 && offsetof(TransportContext, tempo) == 72);

struct ProcessData
{
    int32_t processMode{};
    int32_t sampleSize{}; // not read
    int32_t numSamples{};
    int32_t numInputs{};
    int32_t numOutputs{};
    BusBuffers* inputs{};
    BusBuffers* outputs{};
    IParameterChangeList* inputParameterChanges{};
    IParameterChangeList* outputParameterChanges{};
    void* unread56{};
    void* unread64{};
    TransportContext* transport{};
};
static_assert(sizeof(ProcessData) == 80 && offsetof(ProcessData, numSamples) == 8 &&
              offsetof(ProcessData, numOutputs) == 16 && offsetof(ProcessData, inputs) == 24 &&
              offsetof(ProcessData, outputs) == 32 && offsetof(ProcessData, inputParameterChanges) == 40 &&
              offsetof(ProcessData, outputParameterChanges) == 48 && offsetof(ProcessData, transport) == 72);

//------------------------------------------------------------------------
class IAudioProcessor : public FUnknown
{
public:
    virtual int32_t setBusArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                       int32_t numOuts) = 0;                                         // 3
    virtual int32_t getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr) = 0; // 4
    virtual int32_t canProcessSampleSize(SampleSizeCode code) = 0;                                   // 5
    virtual uint32_t getLatencySamples() = 0;                                                        // 6: a count
    virtual int32_t setupProcessing(ProcessSetup& setup) = 0;                                        // 7
    virtual int32_t reservedSlot8(bool) = 0;                                                         // 8: answers 3
    virtual int32_t process(ProcessData& data) = 0;                                                  // 9
    virtual uint32_t getTailSamples() = 0;                                                           // 10: a count

    static const FUID iid;
};

DECLARE_CLASS_IID(IAudioProcessor, 0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D)

} // namespace Qel
} // namespace Calvereth

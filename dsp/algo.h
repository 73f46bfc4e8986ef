// The interface every signal-processing block of the engine implements, and its default base.
#pragma once

#include <cstdint>

#include "dsp/paramrecord.h"

namespace DSP {

typedef std::int32_t int32;
typedef std::uint64_t uint64;

// Results of the channel operations.
enum ChannelResult : int32
{
    kChannelsAccepted = 0,
    kChannelsRefused = 1,
    kChannelsNotHandled = 3,
    // Memory for the channels could not be had.
    kChannelsOutOfMemory = 6
};

template <class T>
class IAlgo
{
public:
    // Owners delete algorithms through this interface.
    virtual ~IAlgo() = default;

    virtual void setParameter(int32 id, T value) = 0;
    virtual void setActive(bool state) = 0;
    virtual void setBlockSize(int32 samples) = 0;
    virtual int32 setSampleRate(T rate) = 0;
    virtual int32 setChannelMasks(uint64 input, uint64 output, uint64 aux) = 0;
    virtual int32 setChannelConfig(int32 in, int32 out, int32 aux, uint64 inputMask) = 0;
    virtual int32 setChannelCount(int32 in, int32 out, int32 aux) = 0;
    virtual bool isActive() = 0;
    virtual void process(float** in, float** out, int32 n) = 0;
    virtual void processDual(float** a, float** b, float** c, int32 n) = 0;
    virtual void processSilence(int32 n) = 0;
    virtual int32 getLatency() = 0;
    virtual T getValue(int32 id) = 0;
    virtual int32 getReserved() = 0;
};

template <class T>
class Algo : public IAlgo<T>
{
public:
    Algo(int32 blockSize, T sampleRate) : sampleRate(sampleRate), blockSize(blockSize) {}
    ~Algo() override = default;

    void setParameter(int32, T) override {}
    void setActive(bool state) override { active = state; }
    void setBlockSize(int32 samples) override { blockSize = samples; }
    int32 setSampleRate(T rate) override
    {
        sampleRate = rate;
        return 0;
    }
    int32 setChannelMasks(uint64, uint64, uint64) override { return kChannelsNotHandled; }
    int32 setChannelConfig(int32, int32, int32, uint64) override { return kChannelsRefused; }
    bool isActive() override { return active; }
    void process(float**, float**, int32) override {}
    void processDual(float**, float**, float**, int32) override {}
    void processSilence(int32) override {}
    int32 getLatency() override { return 0; }
    T getValue(int32) override { return T(0); }
    int32 getReserved() override { return 0; }

    virtual bool initialize(const Param::ParamRecord* /*table*/) { return true; }
    virtual bool terminate() { return true; }
    virtual void reserved1() {}
    virtual void reserved2() {}
    virtual int32 getMaxLatency() { return getLatency(); }
    virtual T getSampleRate() { return sampleRate; }
    virtual void reset() {}
    // Whether the algorithm measures right at this rate.
    virtual bool acceptsSampleRate(double rate) const { return rate > 0.0; }
    // Offline processing may wait for helpers; real-time processing never does.
    virtual void setOfflineProcessing(bool) {}
    // Before a read-out. `feedEnded`: the host reads at the programme's end (a block without
    // samples while it is not playing). Offline: brings every window completed so far into the
    // readings, waiting a bounded time for helpers, and at the end also what the filters still
    // hold. Real time: never waits. False when the readings could not be completed; they must not
    // then be handed on as final.
    virtual bool completeReadOut(bool /*feedEnded*/) { return true; }
    // True when process leaves every output channel equal to its input: its peaks need no second pass.
    virtual bool passesInputThrough() const { return false; }
    // The peaks (as measurablePeak gives them) of the `count` channels of the n-sample block the next
    // process call receives, for an algorithm that would otherwise measure them again.
    virtual void takeInputPeaks(const float* /*peaks*/, const bool* /*unmeasurable*/, int32 /*count*/, int32 /*n*/) {}

protected:
    T sampleRate;
    int32 blockSize;
    bool active = false;
    bool flag2 = false;
};

} // namespace DSP

// The meter algorithm: loudness, RMS and true peak of the input, which passes through unchanged.
#pragma once

#include "dsp/algo.h"

class Loudness;
class TruePeak;
namespace DSP {
class Rms;
}

// Value ids answered by the meter.
enum BigMeterValueId : DSP::int32
{
    kMeterMomentary = 1,
    kMeterShortTerm = 2,
    kMeterIntegrated = 3,
    kMeterResetLoudness = 4,
    kMeterResetLoudnessMax = 5,
    kMeterResetRmsMax = 6,
    kMeterResetTruePeak = 7,
    kMeterMomentaryMax = 8,
    kMeterShortTermMax = 9,
    kMeterRange = 10,
    kMeterTruePeak = 11,
    kMeterTruePeakChannel0 = 12,
    kMeterLoudnessOn = 13,
    kMeterRmsScale = 14,
    kMeterRmsChannel0 = 27,
    kMeterRmsChannel11 = 38,
    kMeterRmsMax = 43,
    kMeterBelowRelativeGate = 45,
    kMeterRangeHighEnergy = 51,
    kMeterRangeLowEnergy = 52,
};

class BigMeter : public DSP::Algo<double>
{
public:
    BigMeter(DSP::int32 blockSize, bool threaded, double sampleRate);
    ~BigMeter() override;

    void setParameter(DSP::int32 id, double value) override;
    void setActive(bool state) override { active = state; }
    DSP::int32 setChannelConfig(DSP::int32 in, DSP::int32 out, DSP::int32 aux, DSP::uint64 inputMask) override;
    DSP::int32 setChannelCount(DSP::int32, DSP::int32, DSP::int32) override { return 0; }
    void process(float** in, float** out, DSP::int32 n) override;
    void processSilence(DSP::int32 n) override;
    double getValue(DSP::int32 id) override;
    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;

    double getValueAt(DSP::int32 id, float argument);
    void createSubAlgorithm(DSP::int32 index);
    void deleteSubAlgorithm(DSP::int32 index);

    Loudness* getLoudness() const { return loudness; }
    DSP::Rms* getRms() const { return rms; }
    TruePeak* getTruePeak() const { return truePeak; }
    DSP::int32 getChannelCount() const { return channelCount; }
    // Waits until the loudness workers have caught up (main thread; tests and offline use).
    bool drain(DSP::int32 timeoutMs = 10000);

private:
    void allocateScratch();
    void freeScratch();

    bool threaded;
    DSP::int32 channelCount = 1;
    float rmsScale = 1.0f;
    float silenceThreshold;
    Loudness* loudness = nullptr;
    DSP::Rms* rms = nullptr;
    TruePeak* truePeak = nullptr;
    bool initialized = false;
    bool terminated = false;
    bool loudnessOn = false;
    // Channels with non-finite samples are measured from a cleaned copy.
    DSP::uint64 inputMask = 0;
    DSP::int32 scratchChannels = 0;
    float** scratch = nullptr;
    float** measure = nullptr;
};

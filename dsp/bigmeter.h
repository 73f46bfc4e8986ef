// The meter algorithm: loudness, RMS and true peak of the input, which passes through unchanged.
#pragma once

#include <memory>
#include <vector>

#include "dsp/algo.h"
#include "dsp/blockstats.h"
#include "dsp/loudness.h"
#include "dsp/rms.h"
#include "dsp/truepeak.h"

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
    // The block size is clamped to 1..kMaxBlockSize; longer blocks are measured in pieces.
    BigMeter(DSP::int32 blockSize, bool threaded, double sampleRate);
    ~BigMeter() override;

    // Whether the meter measures right at this rate (kMinSampleRate..kMaxSampleRate); at other rates
    // it passes audio through and measures nothing.
    bool acceptsSampleRate(double rate) const override { return DSP::isSupportedSampleRate(rate); }
    // The buffers are sized at construction: a new block size takes a new meter.
    void setBlockSize(DSP::int32) override {}
    // Offline, a lagging loudness worker makes process wait instead of losing windows.
    void setOfflineProcessing(bool offline) override;
    bool completeReadOut(bool feedEnded) override;

    void setParameter(DSP::int32 id, double value) override;
    // Activation writes the stores every block writes, so that a stream's first blocks fault in no
    // more memory than later ones do (main thread, before any block).
    void setActive(bool state) override;
    // Frames of those stores activation writes, at the most.
    static constexpr DSP::int32 kTouchedAtActivation = 8192;
    DSP::int32 setChannelConfig(DSP::int32 in, DSP::int32 out, DSP::int32 aux, DSP::uint64 inputMask) override;
    DSP::int32 setChannelCount(DSP::int32, DSP::int32, DSP::int32) override { return 0; }
    void process(float** in, float** out, DSP::int32 n) override;
    bool passesInputThrough() const override { return true; }
    void takeInputPeaks(const float* peaks, const bool* unmeasurable, DSP::int32 count, DSP::int32 n) override;
    void processSilence(DSP::int32 n) override;
    double getValue(DSP::int32 id) override;
    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;

    double getValueAt(DSP::int32 id, float argument);
    // What a value reads while the meter has measured nothing: a meter without sub-meters (never
    // built, or taken down) answers this, as a fresh one does.
    static double noReading(DSP::int32 id);
    // Whether the sub-meters stand (initialized and not taken down by terminate).
    bool isBuilt() const { return rms && truePeak; }
    void createSubAlgorithm(DSP::int32 index);
    void deleteSubAlgorithm(DSP::int32 index);

    Loudness* getLoudness() const { return loudness.get(); }
    DSP::Rms* getRms() const { return rms.get(); }
    TruePeak* getTruePeak() const { return truePeak.get(); }
    DSP::int32 getChannelCount() const { return channelCount; }
    // Brings the loudness workers' results up to date (main thread while nothing is fed; tests).
    bool drain(DSP::int32 timeoutMs = DSP::CollectorOverlap::kWaitLimitMs);

private:
    void allocateScratch();
    void freeScratch();
    // A skipped block of digital silence: the true peak is flushed, the loudness runs on.
    void skipSilence(float** silent, DSP::int32 n);
    void flushTruePeak(float** silent, DSP::int32 n);
    // Samples reached the meters: the programme goes on.
    void samplesArrived()
    {
        atEnd = false;
        truePeakResetSinceSamples = false;
    }
    void resetTruePeak();
    // The scratch channels, n <= blockSize samples of them zeroed.
    float** zeros(DSP::int32 n);

    bool threaded;
    bool offline = false;
    DSP::int32 channelCount = 1;
    float rmsScale = 1.0f;
    DSP::SilenceTest silence;
    // Peaks of the block the next process call receives, when the caller has measured them.
    const float* givenPeaks = nullptr;
    const bool* givenUnmeasurable = nullptr;
    DSP::int32 givenCount = 0;
    DSP::int32 givenLength = 0;
    std::unique_ptr<Loudness> loudness;
    std::unique_ptr<DSP::Rms> rms;
    std::unique_ptr<TruePeak> truePeak;
    bool initialized = false;
    bool terminated = false;
    bool loudnessOn = false;
    // The true peak's filter still holds samples whose peaks it gives only once silence follows.
    // Skipping starts after 64 silent samples: a skipped block shorter than the filter's delay line
    // comes after enough silence went through it, so one flush in the first skipped block is enough.
    bool truePeakUnflushed = false;
    // A read-out has marked the programme's end, and no samples came since.
    bool atEnd = false;
    // A true-peak reset came, and no samples since.
    bool truePeakResetSinceSamples = false;
    // Channels with unmeasurable samples are measured from a cleaned copy.
    DSP::uint64 inputMask = 0;
    std::vector<DSP::FloatBuffer> scratch;
    std::vector<float*> measure;
    std::unique_ptr<bool[]> unmeasurable;
};

// True peak: each channel oversampled by zero stuffing and a windowed-sinc low pass, then peak-held.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/algo.h"
#include "dsp/prims.h"

class Fir : public DSP::Algo<double>
{
public:
    // With taps the filter's state is made here: std::bad_alloc when it cannot be had.
    Fir(DSP::int32 blockSize, std::int64_t tapCount, const float* taps, float sampleRate);
    ~Fir() override;

    void process(const float* in, float* out, DSP::int32 n);
    DSP::int32 getLatency() override;
    void setActive(bool state) override;
    DSP::int32 setChannelCount(DSP::int32, DSP::int32, DSP::int32) override { return 0; }
    void reset() override;
    // A new state for the taps; std::bad_alloc, with no state left (samples then pass through), when
    // it cannot be had.
    void setTaps(const float* taps, std::int64_t count);
    std::int64_t getTapCount() const { return tapCount; }

private:
    using DSP::Algo<double>::process;
    void allocateState(const float* taps);
    std::int64_t tapCount;
    DSP::FirStateType* state = nullptr;
};

class UpsamplerSinc : public DSP::Algo<double>
{
public:
    UpsamplerSinc(DSP::int32 blockSize, double sampleRate, float factor);
    ~UpsamplerSinc() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    DSP::int32 setChannelCount(DSP::int32 in, DSP::int32 out, DSP::int32 aux) override;
    void setActive(bool state) override;
    void reset() override;
    void process(float** in, float** out, DSP::int32 n) override;

    virtual void processInto(const float* in, float* out, DSP::int32 n);
    virtual float* processUpsampled(const float* in, DSP::int32 n);

    const float* getTaps() const { return taps.get(); }
    DSP::int32 getTapCount() const { return tapCount; }
    DSP::int32 getCentre() const { return centre; }
    float* getOutput() const { return output.get(); }
    // Writes the output for the first `frames` once, before the first block does.
    void touchOutput(DSP::int32 frames);
    Fir* getFilter() const { return filter.get(); }

private:
    void release();

    static constexpr DSP::int32 kExactStuffing = 1 << 22; // 4 n stays below 2^24
    float factor;
    bool initialized = false;
    bool terminated = false;
    DSP::int32 position = 0;
    DSP::int32 centre = 0;
    DSP::FloatBuffer taps;
    DSP::FloatBuffer output;
    std::int64_t outputCount = 0;
    std::unique_ptr<Fir> filter;
    DSP::int32 tapCount = 0;
};

class TruePeak : public DSP::Algo<double>
{
public:
    TruePeak(DSP::int32 blockSize, double sampleRate, float factor);
    ~TruePeak() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    DSP::int32 setChannelCount(DSP::int32 in, DSP::int32 out, DSP::int32 aux) override;
    void reset() override;

    void process(float** in, DSP::int32 n);
    // The host has said the programme ends here: what the filter gives for silence after the samples
    // so far counts in the maxima, which keep it until a reset. It is measured on a copy of the
    // filter's history, so samples that follow measure as if it had never run. Once per end.
    void measureTail();
    // A reset that also empties the filters and their history: what follows reads as a new
    // programme, with nothing of the samples before it ringing into it.
    void restart();
    // Writes the upsamplers' output for the first `frames` once, before the first block does.
    void touchOutputs(DSP::int32 frames);
    float getMax() const { return overallMax; }
    float getChannelMax(DSP::int32 c) const
    {
        return c >= 0 && c < static_cast<DSP::int32>(channelMaxima.size()) ? channelMaxima[static_cast<size_t>(c)]
                                                                           : 0.0f;
    }
    DSP::int32 getChannelCount() const { return channelCount; }
    // Input samples that carry the last sample through the upsampler's filter.
    DSP::int32 getFlushLength() const { return flushLength; }
    UpsamplerSinc* getUpsampler(DSP::int32 c) const
    {
        return c >= 0 && c < static_cast<DSP::int32>(upsamplers.size()) ? upsamplers[static_cast<size_t>(c)].get()
                                                                        : nullptr;
    }

    static constexpr float kFloor = 1e-6f;

private:
    using DSP::Algo<double>::process;
    void destroyUpsamplers();
    void keepHistory(float** in, DSP::int32 n);
    void raise(DSP::int32 c, float v);

    bool initialized = false;
    bool terminated = false;
    DSP::int32 channelCount = 1;
    DSP::int32 flushLength = 0;
    float overallMax = kFloor;
    float factor;
    std::vector<float> channelMaxima;
    std::vector<float*> upsampled;
    std::vector<std::unique_ptr<UpsamplerSinc>> upsamplers;
    // Per channel the last flushLength input samples the filter was fed (oldest first), and a
    // second filter that replays them into silence; all sized at set-up.
    std::vector<DSP::FloatBuffer> history;
    std::vector<std::unique_ptr<UpsamplerSinc>> tailUpsamplers;
    DSP::FloatBuffer silence;
    // The tail of the samples so far is in the maxima.
    bool tailMeasured = false;
};

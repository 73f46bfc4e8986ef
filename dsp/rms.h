// Per-channel mean square with a one-pole exponential average, and its maxima.
#pragma once

#include "dsp/algo.h"

namespace DSP {

class Rms : public Algo<double>
{
public:
    Rms(int32 blockSize, double sampleRate, float timeMs);
    ~Rms() override;

    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    void process(float** in, float** out, int32 n) override;
    void processSilence(int32 n) override;
    void reset() override;

    void processBlock(float** in, int32 n);
    void processMagnitude(float** in, int32 n);
    float getBufferMax(int32 channel) const;
    void resetMaxima();
    float getChannelValue(int32 c) const { return meanSquares[c]; }
    float getChannelMax(int32 c) const { return channelMaxima[c]; }
    float getMax() const { return overallMax; }
    int32 getChannelCount() const { return channelCount; }
    float getCoefficient() const { return coef; }
    const float* getOutputBuffer(int32 c) const { return buffers[c]; }

private:
    void allocate();
    void release();

    bool silenceCleared = true;
    float overallMax = 0.0f;
    float coef;
    float complement;
    float* meanSquares = nullptr;
    float* channelMaxima = nullptr;
    float** buffers = nullptr;
    int32 channelCount = 1;
    int32 outputChannelCount = 1;
};

} // namespace DSP

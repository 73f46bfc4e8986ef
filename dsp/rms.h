// Per-channel mean square with a one-pole exponential average, and its maxima.
#pragma once

#include <vector>

#include "dsp/algo.h"
#include "dsp/prims.h"

namespace DSP {

class Rms : public Algo<double>
{
public:
    Rms(int32 blockSize, double sampleRate, float timeMs);
    ~Rms() override;

    // std::bad_alloc when memory runs out, with the meter as it was.
    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    void process(float** in, float** out, int32 n) override;
    void processSilence(int32 n) override;
    void reset() override;

    void processBlock(float** in, int32 n);
    void processMagnitude(float** in, int32 n);
    float getBufferMax(int32 channel) const;
    void resetMaxima();
    float getChannelValue(int32 c) const { return meanSquares[static_cast<size_t>(c)]; }
    float getChannelMax(int32 c) const { return channelMaxima[static_cast<size_t>(c)]; }
    float getMax() const { return overallMax; }
    int32 getChannelCount() const { return channelCount; }
    float getCoefficient() const { return coef; }
    const float* getOutputBuffer(int32 c) const { return buffers[static_cast<size_t>(c)].get(); }

private:
    void allocate();
    void release();
    // Stores a channel's state after a block and follows its maximum.
    void finishChannel(int32 ch, float ms, float chMax);

    bool silenceCleared = true;
    float overallMax = 0.0f;
    float coef;
    float complement;
    std::vector<float> meanSquares;
    std::vector<float> channelMaxima;
    std::vector<FloatBuffer> buffers;
    int32 channelCount = 1;
    int32 outputChannelCount = 1;
};

} // namespace DSP

// The accessor with per-channel input and output peak metering around the inner algorithm.
#pragma once

#include <array>

#include "dsp/algoaccessor.h"

namespace DSP {

class AlgoAccessorVu : public AlgoAccessor
{
public:
    static constexpr int32 kMaxChannels = 14;

    AlgoAccessorVu(int32 blockSize, int32 entryCount, const Param::ParamRecord* table);
    ~AlgoAccessorVu() override;

    void processDefault(float** in, float** out, int32 n) override;
    void processDualDefault(float** in, float** out, float** side, int32 n) override;

    virtual void resetMaxLevelIn() { overallIn = 0.0f; }
    virtual void resetMaxLevelOut() { overallOut = 0.0f; }
    virtual void measurePeaks(float** channels, float* held, float* overall, int32 channelCount, int32 n);

    float getOverallInputPeak() const { return overallIn; }
    float getOverallOutputPeak() const { return overallOut; }
    float getHeldInputPeak(int32 c) const { return heldIn[c]; }
    float getHeldOutputPeak(int32 c) const { return heldOut[c]; }

protected:
    int32 maxChannels() const override { return kMaxChannels; }
    // The output's held peaks and the silence flag, from one pass over it, or, asInput, from the
    // input's peaks that measurePeaks has just measured.
    void measureOutput(float** out, int32 n, bool asInput);
    // Whether the inner algorithm's output of an n-sample block is its input.
    bool outputIsInput(int32 n) const;

    float overallIn = 0.0f;
    float overallOut = 0.0f;
    std::array<float, kMaxChannels> heldIn{};
    std::array<float, kMaxChannels> heldOut{};
    // Each input channel's peak in the last block measurePeaks measured.
    std::array<float, kMaxChannels> blockIn{};
    std::array<bool, kMaxChannels> blockInUnmeasurable{};
};

} // namespace DSP

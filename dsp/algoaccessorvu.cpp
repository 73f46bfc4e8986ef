#include "dsp/algoaccessorvu.h"

#include "dsp/blockstats.h"

namespace DSP {

AlgoAccessorVu::AlgoAccessorVu(int32 blockSize, int32 entryCount, const Param::ParamRecord* table)
: AlgoAccessor(blockSize, entryCount, table)
{}

AlgoAccessorVu::~AlgoAccessorVu() = default;

void AlgoAccessorVu::measurePeaks(float** channels, float* held, float* overall, int32 channelCount, int32 n)
{
    if (n < 1)
        return;
    if (channelCount > kMaxChannels)
        channelCount = kMaxChannels;
    for (int32 c = 0; c < channelCount; ++c) {
        // Non-finite samples are not peaks.
        const float m = measurablePeak(channels[c], n, nullptr);
        if (m > held[c])
            held[c] = m;
        if (held[c] > *overall)
            *overall = held[c];
    }
}

void AlgoAccessorVu::processDefault(float** in, float** out, int32 n)
{
    if (!inner)
        return;
    measurePeaks(in, heldIn.data(), &overallIn, inputCount, n);
    inner->process(in, out, n);
    measurePeaks(out, heldOut.data(), &overallOut, outputCount, n);
    detectSilence(out, n, outputCount);
}

void AlgoAccessorVu::processDualDefault(float** in, float** out, float** side, int32 n)
{
    if (!inner)
        return;
    measurePeaks(in, heldIn.data(), &overallIn, inputCount, n);
    inner->processDual(in, out, side, n);
    measurePeaks(out, heldOut.data(), &overallOut, outputCount, n);
    detectSilence(out, n, outputCount);
}

} // namespace DSP

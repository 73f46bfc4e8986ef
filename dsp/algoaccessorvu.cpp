#include "dsp/algoaccessorvu.h"

#include "dsp/blockstats.h"

namespace DSP {

AlgoAccessorVu::AlgoAccessorVu(int32 blockSize, int32 entryCount, const Param::ParamRecord* table)
: AlgoAccessor(blockSize, entryCount, table), heldIn(new float[kMaxChannels]()), heldOut(new float[kMaxChannels]())
{}

AlgoAccessorVu::~AlgoAccessorVu()
{
    delete[] heldIn;
    delete[] heldOut;
}

void AlgoAccessorVu::measurePeaks(float** channels, float* held, float* overall, int32 channelCount, int32 n)
{
    if (n < 1)
        return;
    if (channelCount > kMaxChannels)
        channelCount = kMaxChannels;
    for (int32 c = 0; c < channelCount; ++c) {
        // Non-finite samples are not peaks.
        const float m = finitePeak(channels[c], n, nullptr);
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
    measurePeaks(in, heldIn, &overallIn, inputCount, n);
    inner->process(in, out, n);
    measurePeaks(out, heldOut, &overallOut, outputCount, n);
    detectSilence(out, n, outputCount);
}

void AlgoAccessorVu::processDualDefault(float** in, float** out, float** side, int32 n)
{
    if (!inner)
        return;
    measurePeaks(in, heldIn, &overallIn, inputCount, n);
    inner->processDual(in, out, side, n);
    measurePeaks(out, heldOut, &overallOut, outputCount, n);
    detectSilence(out, n, outputCount);
}

void AlgoAccessorVu::detectSilenceMono(const float* buffer, int32 n)
{
    if (n < 1) {
        silent = true;
        return;
    }
    float sum = 0.0f;
    for (int32 i = 0; i < n; ++i)
        sum += buffer[i];
    silent = !(sum / static_cast<float>(n) > silenceThreshold);
}

} // namespace DSP

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
        bool bad = false;
        const float m = measurablePeak(channels[c], n, &bad);
        blockIn[static_cast<size_t>(c)] = m;
        blockInUnmeasurable[static_cast<size_t>(c)] = bad;
        if (m > held[c])
            held[c] = m;
        if (held[c] > *overall)
            *overall = held[c];
    }
}

void AlgoAccessorVu::measureOutput(float** out, int32 n, bool asInput)
{
    // One pass over each output channel gives its peak and its part of the silence test; an output
    // that is the input takes the peaks measurePeaks has just measured instead.
    bool quiet = true;
    for (int32 c = 0; c < outputCount; ++c) {
        const float m = asInput ? blockIn[static_cast<size_t>(c)] : measurablePeak(out[c], n, nullptr);
        if (m > silence.getThreshold())
            quiet = false;
        if (n < 1 || c >= kMaxChannels)
            continue;
        if (m > heldOut[static_cast<size_t>(c)])
            heldOut[static_cast<size_t>(c)] = m;
        if (heldOut[static_cast<size_t>(c)] > overallOut)
            overallOut = heldOut[static_cast<size_t>(c)];
    }
    silent = silence.advance(quiet, n);
}

bool AlgoAccessorVu::outputIsInput(int32 n) const
{
    // Only peaks measurePeaks has taken for this very block stand for the output's.
    const Algo<double>* a = innerAlgo();
    return n >= 1 && a && a->passesInputThrough() && outputCount <= inputCount && outputCount <= kMaxChannels;
}

void AlgoAccessorVu::processDefault(float** in, float** out, int32 n)
{
    if (!inner)
        return;
    measurePeaks(in, heldIn.data(), &overallIn, inputCount, n);
    if (Algo<double>* a = innerAlgo(); a && n >= 1)
        a->takeInputPeaks(blockIn.data(), blockInUnmeasurable.data(),
                          inputCount < kMaxChannels ? inputCount : kMaxChannels, n);
    inner->process(in, out, n);
    measureOutput(out, n, outputIsInput(n));
}

void AlgoAccessorVu::processDualDefault(float** in, float** out, float** side, int32 n)
{
    if (!inner)
        return;
    measurePeaks(in, heldIn.data(), &overallIn, inputCount, n);
    inner->processDual(in, out, side, n);
    measureOutput(out, n, false);
}

} // namespace DSP

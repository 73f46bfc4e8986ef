#include "dsp/rms.h"

#include <cmath>
#include <cstring>

#include "dsp/prims.h"

namespace DSP {

Rms::Rms(int32 blockSize, double sampleRate, float timeMs) : Algo<double>(blockSize, sampleRate)
{
    coef = static_cast<float>(std::exp(-1000.0 / (static_cast<double>(timeMs) * sampleRate)));
    complement = 1.0f - coef;
    allocate();
    Rms::reset();
}

Rms::~Rms()
{
    release();
}

void Rms::allocate()
{
    // Everything is had before anything is replaced: out of memory the meter stays as it was.
    std::vector<FloatBuffer> fresh;
    fresh.reserve(static_cast<size_t>(channelCount));
    for (int32 c = 0; c < channelCount; ++c)
        fresh.push_back(makeFloats(blockSize > 0 ? blockSize : 1));
    std::vector<float> squares(static_cast<size_t>(channelCount), 0.0f);
    std::vector<float> maxima(static_cast<size_t>(channelCount), 0.0f);
    buffers.swap(fresh);
    meanSquares.swap(squares);
    channelMaxima.swap(maxima);
}

void Rms::release()
{
    buffers.clear();
    meanSquares.clear();
    channelMaxima.clear();
}

int32 Rms::setChannelCount(int32 in, int32 out, int32)
{
    if (in != out || in < 1)
        return kChannelsRefused;
    if (in == channelCount)
        return kChannelsAccepted;
    const int32 before = channelCount;
    channelCount = in;
    try {
        allocate();
    } catch (...) {
        channelCount = before;
        throw;
    }
    outputChannelCount = out;
    reset();
    return kChannelsAccepted;
}

void Rms::reset()
{
    int32 n = blockSize > 0 ? blockSize : 1;
    for (int32 c = 0; c < channelCount; ++c) {
        meanSquares[static_cast<size_t>(c)] = 0.0f;
        channelMaxima[static_cast<size_t>(c)] = 0.0f;
        std::memset(buffers[static_cast<size_t>(c)].get(), 0, sizeof(float) * static_cast<size_t>(n));
    }
    overallMax = 0.0f;
}

void Rms::resetMaxima()
{
    overallMax = 0.0f;
    for (int32 c = 0; c < channelCount; ++c)
        channelMaxima[static_cast<size_t>(c)] = 0.0f;
}

void Rms::processBlock(float** in, int32 n)
{
    silenceCleared = false;
    const float c0 = coef, c1 = complement;
    int32 ch = 0;
    // Two channels per pass: their recursions are independent, so the two chains overlap in the
    // pipeline; each channel's arithmetic is the same as in the one-channel loop below.
    for (; ch + 1 < channelCount; ch += 2) {
        const size_t a = static_cast<size_t>(ch), b = a + 1;
        const float* xa = in[ch];
        const float* xb = in[ch + 1];
        float* outA = buffers[a].get();
        float* outB = buffers[b].get();
        float msA = meanSquares[a], msB = meanSquares[b];
        float maxA = channelMaxima[a], maxB = channelMaxima[b];
        for (int32 i = 0; i < n; ++i) {
            msA = msA * c0 + (xa[i] * c1) * xa[i];
            msB = msB * c0 + (xb[i] * c1) * xb[i];
            outA[i] = msA;
            outB[i] = msB;
            if (msA > maxA)
                maxA = msA;
            if (msB > maxB)
                maxB = msB;
        }
        finishChannel(ch, msA, maxA);
        finishChannel(ch + 1, msB, maxB);
    }
    for (; ch < channelCount; ++ch) {
        const float* x = in[ch];
        float* out = buffers[static_cast<size_t>(ch)].get();
        float ms = meanSquares[static_cast<size_t>(ch)];
        float chMax = channelMaxima[static_cast<size_t>(ch)];
        for (int32 i = 0; i < n; ++i) {
            ms = ms * c0 + (x[i] * c1) * x[i];
            out[i] = ms;
            if (ms > chMax)
                chMax = ms;
        }
        finishChannel(ch, ms, chMax);
    }
}

void Rms::finishChannel(int32 ch, float ms, float chMax)
{
    // The overall maximum only follows the channel maximum, so one check per channel is enough.
    if (chMax > overallMax)
        overallMax = chMax;
    channelMaxima[static_cast<size_t>(ch)] = chMax;
    if (static_cast<double>(ms) < 1e-9)
        ms = 0.0f;
    meanSquares[static_cast<size_t>(ch)] = ms;
}

void Rms::process(float** in, float** out, int32 n)
{
    silenceCleared = false;
    for (int32 ch = 0; ch < channelCount; ++ch) {
        float ms = meanSquares[static_cast<size_t>(ch)];
        for (int32 i = 0; i < n; ++i) {
            ms = static_cast<float>(ms * coef + static_cast<double>(complement) * std::fabs(in[ch][i]));
            out[ch][i] = ms;
        }
        if (static_cast<double>(ms) < 1e-9)
            ms = 0.0f;
        meanSquares[static_cast<size_t>(ch)] = ms;
    }
}

void Rms::processMagnitude(float** in, int32 n)
{
    silenceCleared = false;
    for (int32 ch = 0; ch < channelCount; ++ch) {
        float ms = meanSquares[static_cast<size_t>(ch)];
        for (int32 i = 0; i < n; ++i) {
            ms = static_cast<float>(ms * coef + static_cast<double>(complement) * std::fabs(in[ch][i]));
            buffers[static_cast<size_t>(ch)][i] = ms;
        }
        if (static_cast<double>(ms) < 1e-9)
            ms = 0.0f;
        meanSquares[static_cast<size_t>(ch)] = ms;
    }
}

float Rms::getBufferMax(int32 channel) const
{
    float m = buffers[static_cast<size_t>(channel)][0];
    for (int32 i = 1; i < blockSize; ++i)
        if (buffers[static_cast<size_t>(channel)][i] > m)
            m = buffers[static_cast<size_t>(channel)][i];
    return m;
}

void Rms::processSilence(int32)
{
    if (silenceCleared)
        return;
    int32 n = blockSize > 0 ? blockSize : 1;
    for (int32 c = 0; c < channelCount; ++c) {
        meanSquares[static_cast<size_t>(c)] = 0.0f;
        std::memset(buffers[static_cast<size_t>(c)].get(), 0, sizeof(float) * static_cast<size_t>(n));
    }
    silenceCleared = true;
}

} // namespace DSP

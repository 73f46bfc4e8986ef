#include "dsp/crossfader.h"

#include <cstring>

#include "dsp/prims.h"

namespace DSP {

template <class S>
CrossFader<S>::CrossFader(int32 blockSize, double sampleRate, float fadeMs)
: Algo<double>(blockSize, sampleRate), ownBlockSize(blockSize), fadeMs(fadeMs), curveRate(sampleRate)
{}

template <class S>
CrossFader<S>::~CrossFader()
{
    freeBuffers();
}

template <class S>
void CrossFader<S>::computeFadeLength()
{
    fadeLength = static_cast<int32>(static_cast<double>(fadeMs * 0.001f) * curveRate);
    float L = static_cast<float>(fadeLength);
    curveMap = PowerMap<float>(0.0f, L, 1.0f, std::pow(10.0f, -4.0f), L * 0.5f, std::pow(10.0f, -0.15f));
}

template <class S>
void CrossFader<S>::buildCurve()
{
    int32 a = fadeLength + ownBlockSize, b = 2 * ownBlockSize;
    curveLength = a > b ? a : b;
    if (curveLength < 1)
        curveLength = 1;
    curve = makeFloats(curveLength);
    for (int32 i = 0; i < curveLength; ++i)
        curve[i] = i < fadeLength ? curveMap.map(static_cast<float>(i)) : 0.0f;
    position = 0;
    fading = false;
}

template <class S>
void CrossFader<S>::allocateBuffers()
{
    freeBuffers();
    // Null until allocated: a failed allocation leaves the rest for freeBuffers() to skip.
    buffers = new S*[static_cast<size_t>(channelCount)]();
    int32 n = ownBlockSize > 0 ? ownBlockSize : 1;
    for (int32 c = 0; c < channelCount; ++c) {
        buffers[c] = static_cast<S*>(allocateZeroed(n, sizeof(S)));
    }
}

template <class S>
void CrossFader<S>::freeBuffers()
{
    if (!buffers)
        return;
    for (int32 c = 0; c < channelCount; ++c)
        alignedFree(buffers[c]);
    delete[] buffers;
    buffers = nullptr;
}

template <class S>
bool CrossFader<S>::initialize(const Param::ParamRecord*)
{
    computeFadeLength();
    buildCurve();
    allocateBuffers();
    initialized = true;
    return true;
}

template <class S>
bool CrossFader<S>::terminate()
{
    freeBuffers();
    curve.reset();
    curveLength = 0;
    terminated = true;
    return true;
}

template <class S>
void CrossFader<S>::updateSampleRate(float rate)
{
    if (static_cast<double>(rate) == curveRate)
        return;
    curveRate = rate;
    computeFadeLength();
    buildCurve();
}

template <class S>
void CrossFader<S>::setNumChannels(int32 n)
{
    if (n == channelCount || n < 0)
        return;
    freeBuffers();
    channelCount = n;
    allocateBuffers();
}

template <class S>
int32 CrossFader<S>::setChannelCount(int32 n, int32, int32)
{
    setNumChannels(n);
    return 0;
}

template <class S>
void CrossFader<S>::setBlockSize(int32 n)
{
    if (n == ownBlockSize)
        return;
    ownBlockSize = n;
    blockSize = n;
    if (buffers)
        allocateBuffers();
    if (curve)
        buildCurve();
}

template <class S>
void CrossFader<S>::reset()
{
    if (buffers)
        for (int32 c = 0; c < channelCount; ++c)
            std::memset(buffers[c], 0, sizeof(S) * static_cast<size_t>(ownBlockSize > 0 ? ownBlockSize : 1));
    position = 0;
}

template <class S>
void CrossFader<S>::setActive(bool state)
{
    active = state;
    if (!state)
        reset();
}

template <class S>
void CrossFader<S>::processDual(float** a, float** b, float** c, int32 n)
{
    if (!fading || !curve)
        return;
    // A block longer than the curve's zero tail plays out with gain 0 (pure b).
    for (int32 ch = 0; ch < channelCount; ++ch) {
        for (int32 i = 0; i < n; ++i) {
            int32 p = position + i;
            float g = p < curveLength ? curve[p] : 0.0f;
            c[ch][i] = static_cast<float>(static_cast<double>(g * a[ch][i]) +
                                          static_cast<double>(b[ch][i]) * (1.0 - static_cast<double>(g)));
        }
    }
    position += n;
    if (position >= fadeLength) {
        position = 0;
        fading = false;
    }
}

template class CrossFader<float>;
template class CrossFader<double>;

} // namespace DSP

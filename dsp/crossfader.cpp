#include "dsp/crossfader.h"

#include <cstdint>
#include <cstring>
#include <new>

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
FloatBuffer CrossFader<S>::makeCurve(int32 block, int32& length) const
{
    // In 64 bits: a huge block is refused as memory it would take, never wrapped.
    const std::int64_t a = std::int64_t(fadeLength) + block, b = 2 * std::int64_t(block);
    const std::int64_t n = a > b ? (a > 1 ? a : 1) : (b > 1 ? b : 1);
    if (n > 0x7fffffff)
        throw std::bad_alloc();
    FloatBuffer made = makeFloats(n);
    length = static_cast<int32>(n);
    for (int32 i = 0; i < length; ++i)
        made[i] = i < fadeLength ? curveMap.map(static_cast<float>(i)) : 0.0f;
    return made;
}

template <class S>
void CrossFader<S>::takeCurve(FloatBuffer made, int32 length)
{
    curve = std::move(made);
    curveLength = length;
    position = 0;
    fading = false;
}

template <class S>
void CrossFader<S>::buildCurve()
{
    int32 length = 0;
    FloatBuffer made = makeCurve(ownBlockSize, length);
    takeCurve(std::move(made), length);
}

template <class S>
void CrossFader<S>::allocateBuffers(int32 channels, int32 block)
{
    // Everything is had before the old buffers go: out of memory they stay as they were.
    const size_t count = static_cast<size_t>(channels > 0 ? channels : 0);
    const int32 n = block > 0 ? block : 1;
    S** made = new S*[count]();
    try {
        for (size_t c = 0; c < count; ++c)
            made[c] = static_cast<S*>(allocateZeroed(n, sizeof(S)));
    } catch (...) {
        for (size_t c = 0; c < count; ++c)
            alignedFree(made[c]);
        delete[] made;
        throw;
    }
    freeBuffers();
    buffers = made;
    channelCount = channels;
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
    allocateBuffers(channelCount, ownBlockSize);
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
    const double rateBefore = curveRate;
    const int32 lengthBefore = fadeLength;
    const PowerMap<float> mapBefore = curveMap;
    curveRate = rate;
    computeFadeLength();
    try {
        buildCurve();
    } catch (...) {
        curveRate = rateBefore;
        fadeLength = lengthBefore;
        curveMap = mapBefore;
        throw;
    }
}

template <class S>
void CrossFader<S>::setNumChannels(int32 n)
{
    if (n == channelCount || n < 0)
        return;
    allocateBuffers(n, ownBlockSize);
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
    // Curve and buffers are had before either is replaced.
    int32 length = 0;
    FloatBuffer made = curve ? makeCurve(n, length) : FloatBuffer();
    if (buffers)
        allocateBuffers(channelCount, n);
    ownBlockSize = n;
    blockSize = n;
    if (made)
        takeCurve(std::move(made), length);
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

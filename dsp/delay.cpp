#include "dsp/delay.h"

#include <cmath>
#include <cstring>

#include "dsp/prims.h"

namespace DSP {

namespace {

// Smallest power of two above target, found by doubling from 2.
int32 pow2Above(double target)
{
    int32 s = 2;
    while (s <= target && s < (1 << 30))
        s *= 2;
    return s;
}

} // namespace

Delay::Delay(int32 blockSize, double sampleRate, float maxMs)
: Algo<double>(blockSize, sampleRate), maxDelayMs(maxMs), silenceThreshold(std::pow(10.0f, -6.0f))
{
    size = static_cast<int32>(static_cast<double>(maxMs * 0.001f) * sampleRate);
    writeIndex = size - 1;
    allocateRing(size);
    double d = maxMs < 20.0f ? static_cast<double>(maxMs * 0.001f) : static_cast<double>(0.02f);
    int32 samples = static_cast<int32>(d * sampleRate);
    delaySamples = samples;
    delayMs = static_cast<float>(samples * 1000.0 / sampleRate);
    Delay::applyDelaySamples(samples);
    Delay::reset();
}

Delay::~Delay() = default;

void Delay::allocateRing(int32 n)
{
    ring = makeFloats(n > 0 ? n : 1);
}

void Delay::applyDelaySamples(int32 n)
{
    delaySamples = n >= size ? size - 1 : n;
    if (delaySamples < 0)
        delaySamples = 0;
    readIndex = writeIndex - delaySamples;
    if (readIndex < 0)
        readIndex += size;
}

void Delay::setDelayMs(float ms)
{
    if (std::fabs(delayMs - ms) < 0.001f)
        return;
    float m = maxDelayMs < ms ? maxDelayMs : ms;
    int32 samples = static_cast<int32>(static_cast<double>(m * 0.001f) * sampleRate);
    if (samples < 0)
        samples = 0;
    delayMs = static_cast<float>(samples * 1000.0 / sampleRate);
    applyDelaySamples(samples);
}

void Delay::setDelaySamples(int32 n)
{
    if (n == delaySamples)
        return;
    if (n < 0)
        n = 0;
    delaySamples = n;
    delayMs = static_cast<float>(n * 1000.0 / sampleRate);
    applyDelaySamples(n);
}

void Delay::setMaxDelaySamples(int32 n)
{
    if (n == size || n < 1)
        return;
    // The ring is had before the size changes: out of memory the line stays as it was.
    allocateRing(n);
    size = n;
    applyDelaySamples(delaySamples);
    delayMs = static_cast<float>(delaySamples * 1000.0 / sampleRate);
    maxDelayMs = static_cast<float>(size * 1000.0 / sampleRate);
    reset();
}

int32 Delay::setSampleRate(double rate)
{
    sampleRate = rate;
    int32 needed = static_cast<int32>(static_cast<double>(maxDelayMs * 0.001f) * rate);
    if (needed > size && ring)
        allocateRing(needed);
    if (needed > 0)
        size = needed;
    float ms = delayMs;
    delayMs = -1.0f;
    setDelayMs(ms);
    reset();
    return 1;
}

void Delay::setActive(bool state)
{
    active = state;
    if (!state)
        reset();
}

void Delay::reset()
{
    writeIndex = size - 1;
    readIndex = writeIndex - delaySamples;
    if (readIndex < 0)
        readIndex += size;
    if (ring && size > 0)
        std::memset(ring.get(), 0, sizeof(float) * static_cast<size_t>(size));
}

void Delay::processChannel(const float* in, float* out, int32 n)
{
    for (int32 i = 0; i < n; ++i) {
        ring[writeIndex] = in[i];
        out[i] = ring[readIndex];
        if (++readIndex >= size)
            readIndex = 0;
        if (++writeIndex >= size)
            writeIndex = 0;
    }
}

float Delay::processSample(float x)
{
    ring[writeIndex] = x;
    float y = ring[readIndex];
    if (++readIndex >= size)
        readIndex = 0;
    if (++writeIndex >= size)
        writeIndex = 0;
    return y;
}

bool Delay::isBufferSilent(int32 stride)
{
    if (stride < 1)
        stride = 1;
    int32 count = writeIndex - readIndex;
    if (count < 0)
        count += size;
    for (int32 k = 0; k < count; k += stride) {
        int32 i = readIndex + k;
        if (i >= size)
            i -= size;
        if (ring[i] > silenceThreshold)
            return false;
    }
    return true;
}

DelayPow2::DelayPow2(int32 blockSize, double sampleRate, float maxMs) : Delay(blockSize, sampleRate, maxMs)
{
    size = pow2Above(static_cast<double>(maxMs * 0.001f) * sampleRate);
    allocateRing(size);
    maxDelayMs = static_cast<float>(size * 1000.0 / sampleRate);
    mask = size - 1;
    Delay::setDelayMs(20.0f);
    Delay::reset();
}

int32 DelayPow2::setSampleRate(double rate)
{
    sampleRate = rate;
    int32 needed = pow2Above(static_cast<double>(maxDelayMs * 0.001f) * rate);
    if (needed != size && ring)
        allocateRing(needed);
    size = needed;
    mask = size - 1;
    float ms = delayMs;
    delayMs = -1.0f;
    setDelayMs(ms);
    reset();
    return 1;
}

void DelayPow2::setMaxDelaySamples(int32 n)
{
    if (n == size)
        return;
    const int32 grown = pow2Above(n);
    allocateRing(grown);
    size = grown;
    mask = size - 1;
    applyDelaySamples(delaySamples);
    delayMs = static_cast<float>(delaySamples * 1000.0 / sampleRate);
    maxDelayMs = static_cast<float>(size * 1000.0 / sampleRate);
    reset();
}

void DelayPow2::processChannel(const float* in, float* out, int32 n)
{
    if (delaySamples == 0) {
        if (in != out && n > 0)
            std::memmove(out, in, sizeof(float) * static_cast<size_t>(n));
        return;
    }
    int32 r = readIndex, w = writeIndex;
    const int32 m = mask;
    int32 i = 0;
    for (; i + 4 <= n; i += 4) {
        for (int32 k = 0; k < 4; ++k) {
            ring[w] = in[i + k];
            out[i + k] = ring[r];
            r = (r + 1) & m;
            w = (w + 1) & m;
        }
    }
    for (; i < n; ++i) {
        ring[w] = in[i];
        out[i] = ring[r];
        r = (r + 1) & m;
        w = (w + 1) & m;
    }
    readIndex = r;
    writeIndex = w;
}

float DelayPow2::processSample(float x)
{
    ring[writeIndex] = x;
    float y = ring[readIndex];
    readIndex = (readIndex + 1) & mask;
    writeIndex = (writeIndex + 1) & mask;
    return y;
}

DelayMultiCh::DelayMultiCh(int32 blockSize, double sampleRate, float maxMs)
: Algo<double>(blockSize, sampleRate), maxDelayMs(maxMs)
{
    DelayMultiCh::setChannelCount(1, 1, 0);
}

DelayMultiCh::~DelayMultiCh()
{
    destroyChannels();
}

void DelayMultiCh::destroyChannels()
{
    channels.clear();
}

void DelayMultiCh::buildChannels(int32 count, int32 block)
{
    // Every line is had before the old ones go: out of memory they stay as they were.
    std::vector<std::unique_ptr<DelayPow2>> made;
    made.reserve(static_cast<size_t>(count));
    for (int32 c = 0; c < count; ++c) {
        made.push_back(std::make_unique<DelayPow2>(block, sampleRate, maxDelayMs));
        made.back()->setDelayMs(delayMs);
    }
    channels.swap(made);
    channelCount = count;
    blockSize = block;
}

int32 DelayMultiCh::setChannelCount(int32 in, int32 out, int32)
{
    if (in != out || in < 0)
        return kChannelsRefused;
    if (in == channelCount && static_cast<int32>(channels.size()) == in)
        return kChannelsAccepted;
    buildChannels(in, blockSize);
    reset();
    return kChannelsAccepted;
}

void DelayMultiCh::setBlockSize(int32 n)
{
    if (n == blockSize)
        return;
    buildChannels(channelCount, n);
}

int32 DelayMultiCh::setSampleRate(double rate)
{
    sampleRate = rate;
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->setSampleRate(rate);
    return 1;
}

void DelayMultiCh::setDelayMs(float ms)
{
    delayMs = ms;
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->setDelayMs(ms);
}

bool DelayMultiCh::isDelaying() const
{
    for (const auto& c : channels)
        if (c->getDelaySamples() != 0)
            return true;
    return false;
}

void DelayMultiCh::setDelaySamples(int32 n)
{
    if (n == delaySamples)
        return;
    delaySamples = n;
    delayMs = n == 0 ? 0.0f : static_cast<float>(n * 1000.0 / sampleRate);
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->setDelaySamples(n);
}

void DelayMultiCh::setMaxDelaySamples(int32 n)
{
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->setMaxDelaySamples(n);
    if (channelCount > 0) {
        maxDelayMs = channels[0]->getMaxDelayMs();
        delayMs = channels[0]->getDelayMs();
        delaySamples = channels[0]->getDelaySamples();
    }
}

void DelayMultiCh::process(float** in, float** out, int32 n)
{
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->processChannel(in[c], out[c], n);
}

void DelayMultiCh::reset()
{
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->reset();
}

void DelayMultiCh::setActive(bool state)
{
    active = state;
    for (int32 c = 0; c < channelCount; ++c)
        channels[static_cast<size_t>(c)]->setActive(state);
}

} // namespace DSP

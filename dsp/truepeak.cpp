#include "dsp/truepeak.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "dsp/blockstats.h"

#include <xmmintrin.h>

using namespace DSP;

// ---------------------------------------------------------------------------------------------
Fir::Fir(int32 blockSize, std::int64_t tapCount, const float* taps, float sampleRate)
: Algo<double>(blockSize, sampleRate), tapCount(tapCount)
{
    if (taps) {
        allocateState(taps);
        Fir::reset();
    }
}

void Fir::allocateState(const float* taps)
{
    // A filter without its state would pass samples through unfiltered: set-up fails instead.
    if (tapCount < 1 || tapCount > 0x7fffffff ||
        ippsFIRInitAlloc_32f(&state, taps, static_cast<int>(tapCount), nullptr) != 0 || !state) {
        state = nullptr;
        throw std::bad_alloc();
    }
}

Fir::~Fir()
{
    if (state)
        ippsFIRFree_32f(state);
}

void Fir::process(const float* in, float* out, int32 n)
{
    if (n < 1)
        return;
    if (!state) {
        if (in != out)
            std::memmove(out, in, sizeof(float) * static_cast<size_t>(n));
        return;
    }
    // Filtered in place where asked (a single-rate state allows it), in pieces of one block as
    // the filter was set up for.
    for (int32 offset = 0; offset < n; offset += blockSize) {
        int32 len = n - offset < blockSize ? n - offset : blockSize;
        ippsFIR_32f(in + offset, out + offset, len, state);
    }
}

int32 Fir::getLatency()
{
    return static_cast<int32>(static_cast<double>(tapCount) * 0.5 + 1.0);
}

void Fir::setActive(bool state_)
{
    active = state_;
    reset();
}

void Fir::reset()
{
    if (state)
        ippsFIRSetDlyLine_32f(state, nullptr);
}

void Fir::setTaps(const float* taps, std::int64_t count)
{
    if (!taps)
        return;
    if (state)
        ippsFIRFree_32f(state);
    state = nullptr;
    if (count != -1)
        tapCount = count;
    allocateState(taps);
    reset();
}

// ---------------------------------------------------------------------------------------------
UpsamplerSinc::UpsamplerSinc(int32 blockSize, double sampleRate, float factor)
: Algo<double>(blockSize, sampleRate), factor(factor)
{}

UpsamplerSinc::~UpsamplerSinc()
{
    release();
}

void UpsamplerSinc::release()
{
    taps.reset();
    output.reset();
    filter.reset();
}

bool UpsamplerSinc::initialize(const Param::ParamRecord*)
{
    release();
    const float F = factor;
    const int32 M = static_cast<int32>(F * 20.0f);
    const int32 N = M + 1;
    tapCount = N;
    centre = static_cast<int32>(static_cast<float>(M) * 0.5f);
    taps = makeFloats(N);
    taps[centre] = 1.0f;
    const double step = static_cast<double>(1.0f / F);
    double t = 0.0;
    for (int32 j = 1; j <= N - 1 - centre; ++j) {
        t = t + step;
        const double x = t * 3.14159265358;
        const float v = static_cast<float>(std::sin(x) / x);
        taps[centre + j] = v;
        if (centre - j >= 0)
            taps[centre - j] = v;
    }
    const float w = static_cast<float>(6.28318530716 / M);
    const float w2 = 2.0f * w;
    for (int32 n = 0; n < N; ++n) {
        const float nw = static_cast<float>(n) * w;
        const float nw2 = static_cast<float>(n) * w2;
        const float window = static_cast<float>(0.41999998688697815 - 0.5 * std::cos(static_cast<double>(nw)) +
                                                0.08 * std::cos(static_cast<double>(nw2)));
        taps[n] = taps[n] * window;
    }
    const int32 upBlock = static_cast<int32>(static_cast<float>(blockSize) * F);
    filter = std::make_unique<Fir>(upBlock, N, taps.get(), F * static_cast<float>(sampleRate));
    outputCount = std::max<std::int64_t>(static_cast<std::int64_t>(F * static_cast<float>(blockSize)), 1);
    // Each block's upsampled samples are all written before they are read.
    output = makeFloatsForOverwrite(outputCount);
    initialized = true;
    return true;
}

bool UpsamplerSinc::terminate()
{
    release();
    terminated = true;
    return true;
}

int32 UpsamplerSinc::setChannelCount(int32 in, int32 out, int32)
{
    return in == 1 && out == 1 ? kChannelsAccepted : kChannelsRefused;
}

void UpsamplerSinc::setActive(bool state)
{
    active = state;
    if (!state)
        reset();
}

void UpsamplerSinc::reset()
{
    position = 0;
    if (filter)
        filter->reset();
}

void UpsamplerSinc::process(float** in, float** out, int32 n)
{
    processInto(in[0], out[0], n);
}

void UpsamplerSinc::processInto(const float* in, float* out, int32 n)
{
    if (n < 1 || !filter)
        return;
    const int32 m = static_cast<int32>(static_cast<float>(n) * factor);
    if (factor == 4.0f && position == 0 && n <= kExactStuffing) {
        // Single-precision positions step by exactly 4 below 2^24: sample i lands at 4 i, three
        // zeros follow it, and the position ends where it started.
        for (int32 i = 0; i < n; ++i)
            _mm_storeu_ps(out + 4 * i, _mm_load_ss(in + i));
        filter->process(out, out, m);
        return;
    }
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(m));
    int32 p = position;
    for (int32 i = 0; i < n; ++i) {
        if (p >= 0 && p < m)
            out[p] = in[i];
        p = static_cast<int32>(static_cast<float>(position) + factor);
        position = p;
    }
    position = p - m;
    filter->process(out, out, m);
}

float* UpsamplerSinc::processUpsampled(const float* in, int32 n)
{
    processInto(in, output.get(), n);
    return output.get();
}

// ---------------------------------------------------------------------------------------------
TruePeak::TruePeak(int32 blockSize, double sampleRate, float factor)
: Algo<double>(blockSize, sampleRate), factor(factor)
{}

TruePeak::~TruePeak()
{
    TruePeak::terminate();
}

void TruePeak::destroyUpsamplers()
{
    for (auto& u : upsamplers)
        u->terminate();
    for (auto& u : tailUpsamplers)
        u->terminate();
    upsamplers.clear();
    tailUpsamplers.clear();
    history.clear();
    silence.reset();
    upsampled.clear();
    channelMaxima.clear();
    tailMeasured = false;
    flushLength = 0;
}

bool TruePeak::initialize(const Param::ParamRecord*)
{
    // Force a rebuild for the stored count.
    const int32 count = channelCount;
    destroyUpsamplers();
    setChannelCount(count, count, count);
    initialized = true;
    return true;
}

int32 TruePeak::setChannelCount(int32 in, int32 out, int32)
{
    if (in != out || in < 1)
        return kChannelsRefused;
    if (in == channelCount && static_cast<int32>(upsamplers.size()) == in)
        return kChannelsAccepted;
    destroyUpsamplers();
    channelCount = in;
    // Out of memory no channel is left half built: the meter then measures nothing.
    try {
        const auto add = [&](std::vector<std::unique_ptr<UpsamplerSinc>>& list, int32 block) {
            for (int32 c = 0; c < in; ++c) {
                list.push_back(std::make_unique<UpsamplerSinc>(block, sampleRate, factor));
                list.back()->initialize(nullptr);
                list.back()->reset();
            }
        };
        add(upsamplers, blockSize);
        flushLength = static_cast<int32>(static_cast<float>(upsamplers[0]->getTapCount()) / factor) + 1;
        // The tail takes pieces of at most the flush length: its copies need no more room.
        add(tailUpsamplers, std::min(blockSize, flushLength));
        // Zeros, as the filter's delay line starts.
        for (int32 c = 0; c < in; ++c)
            history.push_back(makeFloats(flushLength));
        silence = makeFloats(flushLength);
        upsampled.assign(static_cast<size_t>(in), nullptr);
        channelMaxima.assign(static_cast<size_t>(in), kFloor);
    } catch (...) {
        destroyUpsamplers();
        throw;
    }
    return kChannelsAccepted;
}

void TruePeak::reset()
{
    overallMax = kFloor;
    std::fill(channelMaxima.begin(), channelMaxima.end(), kFloor);
}

void UpsamplerSinc::touchOutput(int32 frames)
{
    const std::int64_t n = static_cast<std::int64_t>(factor * static_cast<float>(frames));
    if (output)
        std::fill_n(output.get(), std::clamp<std::int64_t>(n, 0, outputCount), 0.0f);
}

void TruePeak::touchOutputs(int32 frames)
{
    for (auto& u : upsamplers)
        u->touchOutput(frames);
}

void TruePeak::restart()
{
    reset();
    for (auto& u : upsamplers)
        u->reset();
    for (auto& h : history)
        std::fill_n(h.get(), flushLength, 0.0f);
    tailMeasured = false;
}

bool TruePeak::terminate()
{
    destroyUpsamplers();
    terminated = true;
    return true;
}

void TruePeak::process(float** in, int32 n)
{
    if (static_cast<int32>(upsamplers.size()) != channelCount || n < 1 || blockSize < 1)
        return;
    tailMeasured = false;
    for (int32 offset = 0; offset < n; offset += blockSize) {
        const int32 len = n - offset < blockSize ? n - offset : blockSize;
        for (int32 c = 0; c < channelCount; ++c)
            upsampled[static_cast<size_t>(c)] =
                upsamplers[static_cast<size_t>(c)]->processUpsampled(in[c] + offset, len);
        const int32 m = static_cast<int32>(static_cast<float>(len) * factor);
        for (int32 c = 0; c < channelCount; ++c)
            raise(c, absMax(upsampled[static_cast<size_t>(c)], m));
    }
    keepHistory(in, n);
}

void TruePeak::raise(int32 c, float v)
{
    float& held = channelMaxima[static_cast<size_t>(c)];
    if (v > held)
        held = v;
    if (held > overallMax)
        overallMax = held;
}

void TruePeak::keepHistory(float** in, int32 n)
{
    const int32 keep = flushLength;
    for (int32 c = 0; c < channelCount; ++c) {
        float* h = history[static_cast<size_t>(c)].get();
        if (n >= keep) {
            std::memcpy(h, in[c] + n - keep, sizeof(float) * static_cast<size_t>(keep));
            continue;
        }
        std::memmove(h, h + n, sizeof(float) * static_cast<size_t>(keep - n));
        std::memcpy(h + keep - n, in[c], sizeof(float) * static_cast<size_t>(n));
    }
}

void TruePeak::measureTail()
{
    if (tailMeasured || static_cast<int32>(tailUpsamplers.size()) != channelCount || blockSize < 1)
        return;
    // The history covers the filter's whole delay line: replayed from zeros it leaves the copy in
    // the real filter's state, and the copy's outputs for the silence are the real filter's.
    for (int32 c = 0; c < channelCount; ++c) {
        UpsamplerSinc& u = *tailUpsamplers[static_cast<size_t>(c)];
        u.reset();
        const float* h = history[static_cast<size_t>(c)].get();
        for (const bool replay : {true, false})
            for (int32 offset = 0; offset < flushLength; offset += blockSize) {
                const int32 len = flushLength - offset < blockSize ? flushLength - offset : blockSize;
                const float* y = u.processUpsampled(replay ? h + offset : silence.get(), len);
                if (!replay)
                    raise(c, absMax(y, static_cast<int32>(static_cast<float>(len) * factor)));
            }
    }
    tailMeasured = true;
}

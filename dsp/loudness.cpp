#include "dsp/loudness.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "dsp/blockstats.h"

using namespace DSP;

namespace {

const float kPlaceholderTaps[6] = {0.4234234f, 0.1234f, 0.44f, 1.0f, 0.324f, 0.23f};
const int32 kStageOrder[6] = {0, 1, 5, 3, 4, 2};
const std::int64_t kLargestWindow = 0x7fffffff / 8;

} // namespace

Loudness::Loudness(int32 blockSize, bool threaded, double sampleRate)
: Algo<double>(blockSize, sampleRate), threaded(threaded)
{}

Loudness::~Loudness()
{
    // Everything is released by terminate; a meter destroyed without it still must not leak threads.
    if (rangeCollector || integratedCollector || shelf || highPass || !work.empty() || weights)
        Loudness::terminate();
}

void Loudness::designShelf(double fs, float taps[6])
{
    const double A = std::pow(10.0, 0.1);
    const double w = (1.0 / fs) * 7539.822368615503;
    const double c = std::cos(w);
    const double s = std::sin(w);
    const double r = 2.0 * std::sqrt(A);
    const double P = (A + 1.0) - (A - 1.0) * c;
    const double N = (A + 1.0) + (A - 1.0) * c;
    const double d = r * 0.734638611198489 * s;
    const double e = r * 0.681566333438187 * s;
    const float a0 = static_cast<float>(P + d);
    const double g = 1.0 / a0;
    // Each numerator is rounded to single precision before the scaling; stored through volatile so
    // that no compiler fuses the two roundings into one double product.
    volatile float num[5];
    num[0] = static_cast<float>((N + e) * A);
    num[1] = static_cast<float>(-2.0 * A * ((A - 1.0) + (A + 1.0) * c));
    num[2] = static_cast<float>((N - e) * A);
    num[3] = static_cast<float>(2.0 * ((A - 1.0) - (A + 1.0) * c));
    num[4] = static_cast<float>(P - d);
    taps[0] = static_cast<float>(num[0] * g);
    taps[1] = static_cast<float>(num[1] * g);
    taps[2] = static_cast<float>(num[2] * g);
    taps[3] = 1.0f;
    taps[4] = static_cast<float>(num[3] * g);
    taps[5] = static_cast<float>(num[4] * g);
}

void Loudness::designHighPass(double fs, float taps[6])
{
    const double p = std::pow(0.052631578945, 4.0);
    const double w = (1.0 / fs) * 238.76104167282426;
    const double c = std::cos(w);
    const double s = std::sin(w);
    const double Q = 9.5 * p + 0.5;
    const double alpha = s / (2.0 * Q);
    const double g = 1.0 / (alpha + 1.0);
    taps[0] = static_cast<float>((1.0 + c) * 0.5 * g);
    taps[1] = static_cast<float>(-(1.0 + c) * g);
    taps[2] = taps[0];
    taps[3] = 1.0f;
    taps[4] = static_cast<float>(-2.0 * c * g);
    taps[5] = static_cast<float>((1.0 - alpha) * g);
}

void Loudness::createBiquads(std::unique_ptr<BiquadStage[]>& stages, bool shelfStage)
{
    stages = std::make_unique<BiquadStage[]>(static_cast<size_t>(channelCount));
    float taps[6];
    if (shelfStage)
        designShelf(sampleRate, taps);
    else
        designHighPass(sampleRate, taps);
    for (int32 c = 0; c < channelCount; ++c) {
        IirStateType* st = nullptr;
        // A stage that cannot have every filter would run channels without taps: set-up fails
        // instead (the only status these calls can meet here is out of memory).
        if (ippsIIRInitAlloc_BiQuad_32f(&st, kPlaceholderTaps, 1, nullptr) != 0 || !st) {
            freeBiquads(stages);
            throw std::bad_alloc();
        }
        stages[c].state = st;
        stages[c].allocated = true;
        if (ippsIIRSetDlyLine_32f(st, nullptr) != 0 || ippsIIRSetTaps_32f(taps, st) != 0) {
            freeBiquads(stages);
            throw std::bad_alloc();
        }
        stages[c].b0 = taps[0];
        stages[c].b1 = taps[1];
        stages[c].b2 = taps[2];
        stages[c].a1 = taps[4];
        stages[c].a2 = taps[5];
    }
}

void Loudness::freeBiquads(std::unique_ptr<BiquadStage[]>& stages)
{
    if (!stages)
        return;
    for (int32 c = 0; c < channelCount; ++c) {
        if (stages[c].state) {
            ippsIIRFree_32f(stages[c].state);
            stages[c].state = nullptr;
            stages[c].released = true;
        }
    }
    stages.reset();
}

void Loudness::copyWeights()
{
    if (!weights)
        return;
    forEachCollector([this](CollectorOverlap& col) {
        if (!col.getSummer() || col.getSummer()->getChannelCount() < channelCount)
            return;
        for (int32 c = 0; c < channelCount; ++c)
            col.getSummer()->setWeight(c, weights[c]);
    });
}

void Loudness::createStage(int32 k)
{
    if (k < 0 || k > 5)
        return;
    freeStage(k);
    const float rate = static_cast<float>(sampleRate);
    switch (k) {
    case kStageShelf:
        createBiquads(shelf, true);
        break;
    case kStageHighPass:
        createBiquads(highPass, false);
        break;
    case kStageWork:
        // The filters write each piece here before it is read.
        for (int32 c = 0; c < channelCount; ++c) {
            workBuffers.push_back(makeFloatsForOverwrite(blockSize > 0 ? blockSize : 1));
            work.push_back(workBuffers.back().get());
        }
        pieces.assign(static_cast<size_t>(channelCount), nullptr);
        break;
    case kStageRange: {
        const std::int64_t w = static_cast<std::int64_t>(sampleRate * 3.0);
        const std::int64_t v = static_cast<std::int64_t>(2.0 * sampleRate);
        if (!windowsFit(w, v))
            break;
        rangeCollector = std::make_unique<CollectorLoudnessRange>(channelCount, blockSize, static_cast<int32>(w),
                                                                  static_cast<int32>(v), rate, threaded);
        startCollector(*rangeCollector);
        break;
    }
    case kStageIntegrated: {
        const double product = sampleRate * 0.4000000059604645;
        const std::int64_t w = static_cast<std::int64_t>(product);
        const std::int64_t v = static_cast<std::int64_t>(product * 0.75);
        if (!windowsFit(w, v))
            break;
        integratedCollector = std::make_unique<CollectorIntegrated>(channelCount, blockSize, static_cast<int32>(w),
                                                                    static_cast<int32>(v), rate, threaded);
        startCollector(*integratedCollector);
        break;
    }
    case kStageWeights:
        weights = std::make_unique<float[]>(static_cast<size_t>(channelCount));
        std::fill_n(weights.get(), channelCount, 1.0f);
        break;
    }
}

bool Loudness::windowsFit(std::int64_t window, std::int64_t overlap)
{
    return window - overlap >= 1 && window <= kLargestWindow;
}

void Loudness::startCollector(CollectorOverlap& collector)
{
    collector.initialize(nullptr);
    collector.setOfflineProcessing(offline);
    collector.setWaitLimit(waitLimitMs);
    collector.setWaitClock(*waitClock);
    collector.reset();
    copyWeights();
}

void Loudness::freeStage(int32 k)
{
    switch (k) {
    case kStageShelf:
        freeBiquads(shelf);
        break;
    case kStageHighPass:
        freeBiquads(highPass);
        break;
    case kStageWork:
        work.clear();
        workBuffers.clear();
        pieces.clear();
        break;
    case kStageRange:
        if (rangeCollector)
            rangeCollector->terminate();
        rangeCollector.reset();
        break;
    case kStageIntegrated:
        if (integratedCollector)
            integratedCollector->terminate();
        integratedCollector.reset();
        break;
    case kStageWeights:
        weights.reset();
        break;
    default:
        break;
    }
}

void Loudness::createStages()
{
    // All or nothing: a meter missing a stage measures nothing rather than part of the chain.
    try {
        for (int32 k : kStageOrder)
            createStage(k);
    } catch (...) {
        for (int32 k : kStageOrder)
            freeStage(k);
        throw;
    }
}

bool Loudness::initialize(const Param::ParamRecord*)
{
    createStages();
    return true;
}

bool Loudness::terminate()
{
    for (int32 k : kStageOrder)
        freeStage(k);
    return true;
}

int32 Loudness::setChannelConfig(int32 in, int32, int32, uint64 inputMask)
{
    if (in < 1)
        return kChannelsRefused;
    if (in != channelCount) {
        for (int32 k : kStageOrder)
            freeStage(k);
        channelCount = in;
        createStages();
        reset();
    }
    // Weights follow the whole arrangement, so a layout change never keeps stale weights.
    if (weights) {
        for (int32 c = 0; c < channelCount; ++c)
            weights[c] = 1.0f;
        for (int bit = 0; bit < 64; ++bit) {
            const uint64 speaker = 1ull << bit;
            if (!(inputMask & speaker))
                continue;
            const int32 index = std::popcount(inputMask & (speaker - 1));
            if (index >= channelCount)
                continue;
            if (speaker == kSpeakerLfe || speaker == kSpeakerLfe2)
                weights[index] = 0.0f;
            else if (speaker == kSpeakerLs || speaker == kSpeakerRs)
                weights[index] = 1.41f;
        }
    }
    copyWeights();
    return kChannelsAccepted;
}

void Loudness::clearFilterHistories()
{
    for (int32 c = 0; c < channelCount; ++c) {
        if (shelf && shelf[c].state)
            ippsIIRSetDlyLine_32f(shelf[c].state, nullptr);
        if (highPass && highPass[c].state)
            ippsIIRSetDlyLine_32f(highPass[c].state, nullptr);
    }
    filtersRinging = false;
}

void Loudness::reset()
{
    clearFilterHistories();
    forEachCollector([](CollectorOverlap& c) { c.reset(); });
    momentary = shortTerm = momentaryMax = shortTermMax = kNoReading;
}

void Loudness::setOfflineProcessing(bool state)
{
    offline = state;
    forEachCollector([state](CollectorOverlap& c) { c.setOfflineProcessing(state); });
}

bool Loudness::isMeasuring() const
{
    return !work.empty() && shelf && highPass && rangeCollector && integratedCollector && blockSize >= 1;
}

void Loudness::process(float** in, int32 n)
{
    if (!isMeasuring() || n < 1)
        return;
    filtersRinging = true;
    // Longer blocks than the work buffers hold are measured in pieces.
    float** src = in;
    for (int32 offset = 0; offset < n; offset += blockSize) {
        const int32 len = n - offset < blockSize ? n - offset : blockSize;
        if (offset > 0) {
            for (int32 c = 0; c < channelCount; ++c)
                pieces[static_cast<size_t>(c)] = in[c] + offset;
            src = pieces.data();
        }
        for (int32 c = 0; c < channelCount; ++c) {
            float* w = work[static_cast<size_t>(c)];
            ippsIIR_32f(src[c], w, len, shelf[c].state);
            ippsIIR_32f(w, w, len, highPass[c].state);
        }
        feedWork(len, true);
    }
}

void Loudness::touchWork(int32 frames)
{
    for (float* w : work)
        std::fill_n(w, std::clamp(frames, 0, blockSize), 0.0f);
}

void Loudness::processSilence(int32 n)
{
    if (!isMeasuring() || n < 1)
        return;
    // Far below anything a window can measure: once the filters' output has fallen under it, they
    // are cleared, which is all that more zeros would still change.
    constexpr float kRungOut = 1e-20f;
    int32 offset = 0;
    for (; offset < n && filtersRinging; offset += blockSize) {
        const int32 len = n - offset < blockSize ? n - offset : blockSize;
        float peak = 0.0f;
        for (int32 c = 0; c < channelCount; ++c) {
            float* w = work[static_cast<size_t>(c)];
            std::fill_n(w, len, 0.0f);
            ippsIIR_32f(w, w, len, shelf[c].state);
            ippsIIR_32f(w, w, len, highPass[c].state);
            peak = std::max(peak, absMax(w, len));
        }
        if (!(peak > kRungOut))
            clearFilterHistories();
        feedWork(len, false);
    }
    if (offset < n) {
        rangeCollector->feedSilence(n - offset);
        integratedCollector->feedSilence(n - offset);
        takeWindows(false);
    }
}

void Loudness::feedWork(int32 n, bool display)
{
    for (int32 c = 0; c < channelCount; ++c)
        ippsSqr_32f(work[static_cast<size_t>(c)], work[static_cast<size_t>(c)], n);
    rangeCollector->feed(work.data(), n);
    integratedCollector->feed(work.data(), n);
    takeWindows(display);
}

void Loudness::takeWindows(bool display)
{
    // The displayed values follow the windows completed, not those completed over silence.
    const float stPeak = rangeCollector->takePeakLoudness();
    if (stPeak > shortTermMax)
        shortTermMax = stPeak;
    if (display && stPeak > -INFINITY)
        shortTerm = rangeCollector->getCurrentLoudness();
    const float mPeak = integratedCollector->takePeakLoudness();
    if (mPeak > momentaryMax)
        momentaryMax = mPeak;
    if (display && mPeak > -INFINITY)
        momentary = integratedCollector->getCurrentLoudness();
}

float Loudness::getIntegrated() const
{
    if (!integratedCollector)
        return kNoReading;
    integratedCollector->requestResults();
    return integratedCollector->getGatedLoudness();
}

float Loudness::getRange() const
{
    if (!rangeCollector)
        return 0.0f;
    rangeCollector->requestResults();
    return rangeCollector->getRange();
}

float Loudness::getRangeHighEnergy() const
{
    return rangeCollector ? rangeCollector->getHighPoint() : 0.0f;
}

float Loudness::getRangeLowEnergy() const
{
    return rangeCollector ? rangeCollector->getLowPoint() : 0.0f;
}

bool Loudness::isBelowRelativeGate() const
{
    return integratedCollector && integratedCollector->isBelowRelativeGate();
}

bool Loudness::drain(int32 timeoutMs)
{
    // A collector that lost windows fails the read-out whatever the others do: none is waited for.
    bool lost = false;
    forEachCollector([&](CollectorOverlap& c) { lost = lost || c.hasLostWindows(); });
    if (lost)
        return false;
    WaitBudget budget(timeoutMs, *waitClock);
    bool ok = true;
    forEachCollector([&](CollectorOverlap& c) { ok = c.completeBy(budget) && ok; });
    return ok;
}

void Loudness::setWaitLimit(int32 ms)
{
    waitLimitMs = ms;
    forEachCollector([ms](CollectorOverlap& c) { c.setWaitLimit(ms); });
}

void Loudness::setWaitClock(WaitClock& clock)
{
    waitClock = &clock;
    forEachCollector([&clock](CollectorOverlap& c) { c.setWaitClock(clock); });
}

std::uint32_t Loudness::getDroppedWindows() const
{
    std::uint32_t n = 0;
    forEachCollector([&n](CollectorOverlap& c) { n += c.getDroppedWindows(); });
    return n;
}

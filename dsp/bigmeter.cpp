#include "dsp/bigmeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/blockstats.h"
#include "dsp/loudness.h"
#include "dsp/rms.h"
#include "dsp/truepeak.h"

using namespace DSP;

BigMeter::BigMeter(int32 blockSize, bool threaded, double sampleRate)
: Algo<double>(clampBlockSize(blockSize), sampleRate), threaded(threaded)
{}

BigMeter::~BigMeter() = default;

void BigMeter::allocateScratch()
{
    freeScratch();
    // Each use writes what it reads: a cleaned copy of a piece, or zeros.
    for (int32 c = 0; c < channelCount; ++c)
        scratch.push_back(makeFloatsForOverwrite(blockSize));
    measure.assign(static_cast<size_t>(channelCount), nullptr);
    unmeasurable = std::make_unique<bool[]>(static_cast<size_t>(channelCount));
}

void BigMeter::setActive(bool state)
{
    active = state;
    if (!state)
        return;
    // As much as a real-time host's block: a file shorter than a larger block would have the rest
    // of its stores for nothing.
    const int32 n = std::min(blockSize, kTouchedAtActivation);
    for (auto& s : scratch)
        std::fill_n(s.get(), n, 0.0f);
    if (loudness)
        loudness->touchWork(n);
    if (truePeak)
        truePeak->touchOutputs(n);
}

void BigMeter::freeScratch()
{
    scratch.clear();
    measure.clear();
    unmeasurable.reset();
}

void BigMeter::createSubAlgorithm(int32 index)
{
    deleteSubAlgorithm(index);
    switch (index) {
    case 0:
        // At a rate the meter cannot measure right there is no loudness meter at all.
        if (!isSupportedSampleRate(sampleRate))
            break;
        loudness = std::make_unique<Loudness>(blockSize, threaded, sampleRate);
        loudness->initialize(nullptr);
        loudness->reset();
        loudness->setOfflineProcessing(offline);
        break;
    case 1:
        rms = std::make_unique<Rms>(blockSize, sampleRate, 900.0f);
        break;
    case 2:
        truePeak = std::make_unique<TruePeak>(blockSize, sampleRate, 4.0f);
        truePeak->initialize(nullptr);
        truePeak->reset();
        break;
    default:
        break;
    }
}

void BigMeter::deleteSubAlgorithm(int32 index)
{
    switch (index) {
    case 0:
        if (loudness)
            loudness->terminate();
        loudness.reset();
        break;
    case 1:
        rms.reset();
        break;
    case 2:
        if (truePeak)
            truePeak->terminate();
        truePeak.reset();
        break;
    default:
        break;
    }
}

void BigMeter::setOfflineProcessing(bool state)
{
    offline = state;
    if (loudness)
        loudness->setOfflineProcessing(state);
}

bool BigMeter::initialize(const Param::ParamRecord*)
{
    createSubAlgorithm(0);
    createSubAlgorithm(1);
    createSubAlgorithm(2);
    // Sub-meters start with one channel; carry a configured count over to the new ones.
    if (channelCount != 1) {
        const int32 n = channelCount;
        if (rms)
            rms->setChannelCount(n, n, 0);
        if (truePeak)
            truePeak->setChannelCount(n, n, 0);
        if (loudness)
            loudness->setChannelConfig(n, n, 0, inputMask);
    }
    allocateScratch();
    initialized = true;
    return true;
}

bool BigMeter::terminate()
{
    deleteSubAlgorithm(0);
    deleteSubAlgorithm(1);
    deleteSubAlgorithm(2);
    freeScratch();
    terminated = true;
    return true;
}

int32 BigMeter::setChannelConfig(int32 in, int32 out, int32 aux, uint64 mask)
{
    if (in != out || in < 1)
        return kChannelsRefused;
    inputMask = mask;
    if (in != channelCount) {
        channelCount = in;
        reset();
    }
    if (loudness)
        loudness->setChannelConfig(in, out, aux, inputMask);
    if (rms)
        rms->setChannelCount(in, out, 0);
    if (truePeak)
        truePeak->setChannelCount(in, out, 0);
    if (measure.size() != static_cast<size_t>(channelCount))
        allocateScratch();
    return kChannelsAccepted;
}

void BigMeter::setParameter(int32 id, double value)
{
    switch (id) {
    case kMeterResetLoudness:
        if (loudness)
            loudness->reset();
        resetTruePeak();
        if (rms)
            rms->reset();
        break;
    case kMeterResetLoudnessMax:
        if (loudness) {
            loudness->resetMomentaryMax();
            loudness->resetShortTermMax();
        }
        break;
    case kMeterResetRmsMax:
        if (rms)
            rms->resetMaxima();
        break;
    case kMeterResetTruePeak:
        resetTruePeak();
        break;
    case kMeterLoudnessOn:
        loudnessOn = value >= 0.5;
        break;
    case kMeterRmsScale:
        rmsScale = value < 0.5 ? 1.0f : 1.4125f;
        break;
    default:
        break;
    }
}

void BigMeter::resetTruePeak()
{
    if (!truePeak)
        return;
    truePeakResetSinceSamples = true;
    // While a programme goes on, its filter runs on through the reset. After the end, what the filter
    // holds belongs to the programme before: the samples that follow start afresh.
    if (!atEnd) {
        truePeak->reset();
        return;
    }
    truePeak->restart();
    truePeakUnflushed = false;
}

void BigMeter::takeInputPeaks(const float* peaks, const bool* unmeasurable, int32 count, int32 n)
{
    givenPeaks = peaks;
    givenUnmeasurable = unmeasurable;
    givenCount = count;
    givenLength = n;
}

void BigMeter::process(float** in, float** out, int32 n)
{
    // Given peaks hold for this call only, and only when they cover it in one piece.
    const bool given = givenPeaks && givenLength == n && n <= blockSize && givenCount >= channelCount;
    const float* peaks = givenPeaks;
    const bool* bad = givenUnmeasurable;
    givenPeaks = nullptr;
    if (n < 1)
        return;
    samplesArrived();
    for (int32 c = 0; c < channelCount; ++c)
        if (in[c] != out[c])
            std::memmove(out[c], in[c], sizeof(float) * static_cast<size_t>(n));
    if (!rms || !truePeak || measure.size() != static_cast<size_t>(channelCount))
        return;
    for (int32 offset = 0; offset < n; offset += blockSize) {
        const int32 len = n - offset < blockSize ? n - offset : blockSize;
        float** piece = measure.data();
        for (int32 c = 0; c < channelCount; ++c)
            piece[c] = in[c] + offset;
        bool skip = false;
        if (given) {
            bool quiet = true;
            for (int32 c = 0; c < channelCount; ++c) {
                if (peaks[c] > silence.getThreshold())
                    quiet = false;
                unmeasurable[c] = bad[c];
            }
            skip = silence.advance(quiet, len);
        } else {
            skip = silence.test(piece, len, channelCount, unmeasurable.get());
        }
        // Unmeasurable samples (non-finite or too large) are measured as 0, from a cleaned copy.
        for (int32 c = 0; c < channelCount; ++c)
            if (unmeasurable[c]) {
                copyMeasurable(piece[c], scratch[static_cast<size_t>(c)].get(), len);
                piece[c] = scratch[static_cast<size_t>(c)].get();
            }
        if (skip) {
            skipSilence(piece, len);
            continue;
        }
        truePeakUnflushed = true;
        truePeak->process(piece, len);
        rms->processBlock(piece, len);
        if (loudnessOn && loudness)
            loudness->process(piece, len);
    }
}

void BigMeter::flushTruePeak(float** silent, int32 n)
{
    // A peak just before the silence is still in the true peak's delay line: flush it once.
    if (!truePeakUnflushed)
        return;
    const int32 flush = truePeak->getFlushLength();
    truePeak->process(silent, n < flush ? n : flush);
    truePeakUnflushed = false;
}

void BigMeter::skipSilence(float** silent, int32 n)
{
    flushTruePeak(silent, n);
    // The loudness windows run on through silence; the filters need not.
    if (loudnessOn && loudness)
        loudness->processSilence(n);
}

float** BigMeter::zeros(int32 n)
{
    float** z = measure.data();
    for (int32 c = 0; c < channelCount; ++c) {
        z[c] = scratch[static_cast<size_t>(c)].get();
        std::fill_n(z[c], n, 0.0f);
    }
    return z;
}

void BigMeter::processSilence(int32 n)
{
    if (n > 0)
        samplesArrived();
    if (rms)
        rms->processSilence(n);
    if (!truePeak || n < 1 || measure.size() != static_cast<size_t>(channelCount))
        return;
    float** z = zeros(n < blockSize ? n : blockSize);
    for (int32 offset = 0; offset < n; offset += blockSize)
        skipSilence(z, n - offset < blockSize ? n - offset : blockSize);
}

bool BigMeter::completeReadOut(bool feedEnded)
{
    if (feedEnded && truePeak) {
        atEnd = true;
        if (truePeakResetSinceSamples) {
            // Now past the end, the reset since the last samples leaves nothing of them to measure.
            resetTruePeak();
        } else if (truePeakUnflushed) {
            // The last samples count as silence after them would carry them through the filter, in
            // real time too (a few samples per channel, on buffers sized at set-up); measured on a
            // copy, since the feed may go on after all.
            truePeak->measureTail();
        }
    }
    if (!offline)
        return true;
    return loudness ? loudness->completeResults() : true;
}

double BigMeter::getValue(int32 id)
{
    switch (id) {
    case kMeterMomentary:
        return loudness ? loudness->getMomentary() : noReading(id);
    case kMeterShortTerm:
        return loudness ? loudness->getShortTerm() : noReading(id);
    case kMeterIntegrated:
        return loudness ? loudness->getIntegrated() : noReading(id);
    case kMeterMomentaryMax:
        return loudness ? loudness->getMomentaryMax() : noReading(id);
    case kMeterShortTermMax:
        return loudness ? loudness->getShortTermMax() : noReading(id);
    case kMeterRange:
        return loudness ? loudness->getRange() : noReading(id);
    case kMeterTruePeak:
        return truePeak ? truePeak->getMax() : noReading(id);
    case kMeterTruePeakChannel0:
        return truePeak ? truePeak->getChannelMax(0) : noReading(id);
    case kMeterLoudnessOn:
        return loudnessOn ? 1.0 : 0.0;
    case kMeterRmsMax:
        return rms ? std::sqrt(static_cast<double>(rms->getMax())) * static_cast<double>(rmsScale) : 0.0;
    case kMeterBelowRelativeGate:
        return loudness && loudness->isBelowRelativeGate() ? 1.0 : 0.0;
    case kMeterRangeHighEnergy:
        return loudness ? loudness->getRangeHighEnergy() : 0.0;
    case kMeterRangeLowEnergy:
        return loudness ? loudness->getRangeLowEnergy() : 0.0;
    default:
        break;
    }
    if (id >= kMeterRmsChannel0 && id <= kMeterRmsChannel11) {
        const int32 c = id - kMeterRmsChannel0;
        // Channels beyond the configuration hold no value.
        if (!rms || c >= rms->getChannelCount())
            return 0.0;
        return std::sqrt(static_cast<double>(rms->getChannelValue(c))) * static_cast<double>(rmsScale);
    }
    return 0.0;
}

double BigMeter::noReading(int32 id)
{
    switch (id) {
    case kMeterMomentary:
    case kMeterShortTerm:
    case kMeterIntegrated:
    case kMeterMomentaryMax:
    case kMeterShortTermMax:
        return Loudness::kNoReading;
    case kMeterTruePeak:
    case kMeterTruePeakChannel0:
        return TruePeak::kFloor;
    default:
        return 0.0;
    }
}

double BigMeter::getValueAt(int32 id, float argument)
{
    if (id == kMeterTruePeakChannel0)
        return truePeak ? truePeak->getChannelMax(static_cast<int32>(argument + 0.5f)) : noReading(id);
    return 0.0;
}

bool BigMeter::drain(int32 timeoutMs)
{
    return loudness ? loudness->drain(timeoutMs) : true;
}

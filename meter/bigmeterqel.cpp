#include "meter/bigmeterqel.h"

#include "dsp/bigmeteracc.h"
#include "meter/meterparams.h"
#include "meter/norrikids.h"

#include "base/fstring.h"

#include <cmath>

namespace Norrik {

using namespace Calvereth;
using namespace Calvereth::Qel;

namespace {
constexpr float kLuScaleOffset = 23.0f;
} // namespace

BigMeterQel::BigMeterQel() : PluginQelVu(kProcessorParams, kProcessorParamCount)
{
    timer.reset();
    timer.setup(false, processSetup.sampleRate, 1.0);
}

FUnknown* BigMeterQel::createInstance(void*)
{
    return static_cast<IAudioProcessor*>(new BigMeterQel);
}

tresult BigMeterQel::initialize(FUnknown* context)
{
    if (!hasTable)
        return kResultFalse;
    tresult result = PluginQel::initialize(context);
    if (result != kResultOk)
        return result;
    setControllerClass(kControllerUid);
    // A second initialize (the first may have come without a context) creates nothing again.
    if (getBusCount(kAudio, kInput) == 0 && getBusCount(kAudio, kOutput) == 0) {
        addAudioInput(u"Stereo In", kStereo, BusInfo::kMain, BusInfo::kDefaultActive);
        addAudioOutput(u"Stereo Out", kStereo, BusInfo::kMain, BusInfo::kDefaultActive);
    }
    inputMeteringOn = false;
    outputMeteringOn = false;
    singleValueOn = false;
    if (!accessor) {
        try {
            createAlgorithm();
        } catch (...) {
            // Out of memory: no exception crosses the boundary.
            releaseAlgorithm();
            return kResultFalse;
        }
    }
    return kResultOk;
}

void BigMeterQel::createAlgorithm()
{
    if (accessor)
        releaseAlgorithm();
    accessor = std::make_unique<BigMeterAcc>(processSetup.maxSamplesPerBlock, processSetup.sampleRate, kProcessorParams,
                                             kProcessorParamCount);
    passBusArrangementsToAlgorithm();
    pushParametersToAlgorithm();
    accessor->setParameter(kIdLoudnessOn, 1.0);
}

tresult BigMeterQel::setupProcessing(ProcessSetup& setup)
{
    if (PluginQel::setupProcessing(setup) != kResultOk)
        return kResultFalse;
    timer.setup(false, setup.sampleRate, 1.0);
    return kResultOk;
}

void BigMeterQel::stateApplied()
{
    // The meter itself does not answer id 48: the restored value is the accessor's entry.
    const DSP::ParameterEntry* entries = accessor->getEntries();
    for (int32 i = 0; i < accessor->getEntryCount(); ++i) {
        if (entries[i].id == kIdScaleLU) {
            luOffset.store(entries[i].value >= 0.5 ? kLuScaleOffset : 0.0f, std::memory_order_relaxed);
            break;
        }
    }
}

void BigMeterQel::processParameterChanges(ProcessData& data)
{
    forEachLastPoint(data.inputParameterChanges, [this](int32 id, double value) {
        if (id == bypassId) {
            setBypass(value);
        } else if (id == kIdScaleLU) {
            luOffset.store(value >= 0.5 ? kLuScaleOffset : 0.0f, std::memory_order_relaxed);
        } else if (id == kIdLoudnessOn) {
            loudnessOn = value >= 0.5;
        } else if (id == kIdResetLoudness) {
            elapsedSamples.store(0, std::memory_order_relaxed);
            timeDue.store(false, std::memory_order_relaxed);
            timeResetDue.store(true, std::memory_order_release);
        }
        setAccessorParameter(id, value);
    });
    writeRequestedReadOut(data);
}

int32 BigMeterQel::processMain(ProcessData& data)
{
    TransportContext* t = data.transport;
    const bool counting = t && (t->state & TransportContext::kPlaying) && loudnessOn;
    if (counting) {
        if (data.processMode == kOffline && (t->state & TransportContext::kPositionBits) &&
            t->musicalPosition2 > t->musicalPosition) {
            double end = t->musicalPosition + data.numSamples * t->tempo / (t->sampleRate * 60.0);
            if (t->musicalPosition2 > static_cast<double>(static_cast<float>(end))) {
                // The whole block lies before the second position: passed through unmeasured.
                if (data.numSamples < 0)
                    return kBlockInvalid;
                processParameterChanges(data);
                return passThrough(data) ? kBlockPassed : kBlockInvalid;
            }
        }
    }
    const int32 result = PluginQel::processMain(data);
    // Counted after the block's changes: a reset that comes with audio counts that audio.
    if (counting && data.numSamples > 0) {
        timer.advance(data.numSamples);
        elapsedSamples.fetch_add(data.numSamples, std::memory_order_relaxed);
        if (timer.takeFired())
            timeDue.store(true, std::memory_order_release);
    }
    return result;
}

void BigMeterQel::formatTime(int64 s, char16_t* text, int capacity)
{
    if (!text || capacity <= 0)
        return;
    const int64 r = s % 3600;
    String(u"")
        .printf(u"%02lld:%02lld:%02lld", static_cast<long long>(s / 3600), static_cast<long long>(r / 60),
                static_cast<long long>(r % 60))
        .copyTo16(text, 0, capacity - 1);
}

void BigMeterQel::dataRequested()
{
    char16_t text[64];
    if (timeResetDue.exchange(false, std::memory_order_acq_rel)) {
        formatTime(0, text, 64);
        sendStringMessage("time", text);
    }
    if (timeDue.exchange(false, std::memory_order_acq_rel)) {
        float elapsed = static_cast<float>(elapsedSamples.load(std::memory_order_relaxed));
        float rate = static_cast<float>(processSetup.sampleRate);
        int64 s = static_cast<int64>(std::trunc(elapsed / rate));
        formatTime(s, text, 64);
        sendStringMessage("time", text);
    }
}

void BigMeterQel::writeMeterValues(IParameterChangeList* changes, int32 sampleCount)
{
    PluginQelVu::writeMeterValues(changes, sampleCount);
    if (!accessor || !changes)
        return;
    Param::ParameterInfoAccessor& p = *paramAccessor;
    const float off = luOffset.load(std::memory_order_relaxed);
    const double offD = off;
    auto norm = [&p](int32 id, double plain) { return p.toNormalized(id, plain); };

    double v3 = accessor->getValue(kIdIntegrated) + offD;
    addPoint(changes, kIdMomentary, norm(kIdMomentary, accessor->getValue(kIdMomentary) + offD));
    addPoint(changes, kIdShortTerm, norm(kIdShortTerm, accessor->getValue(kIdShortTerm) + offD));
    addPoint(changes, kIdIntegrated, norm(kIdIntegrated, v3));
    addPoint(changes, kIdIntegratedOver, v3 > static_cast<double>(off + -22.0f) ? 1.0 : 0.0);
    addPoint(changes, kIdMomentaryMax, norm(kIdMomentaryMax, accessor->getValue(kIdMomentaryMax) + offD));
    addPoint(changes, kIdShortTermMax, norm(kIdShortTermMax, accessor->getValue(kIdShortTermMax) + offD));
    addPoint(changes, kIdLoudnessRange, norm(kIdLoudnessRange, accessor->getValue(kIdLoudnessRange)));
    addPoint(changes, kIdBelowGate, accessor->getValue(kIdBelowGate));
    double peak = accessor->getValue(kIdTruePeak);
    double t = peak > 0.0 ? 20.0 * std::log10(peak) : peak;
    addPoint(changes, kIdTruePeak, norm(kIdTruePeak, t));
    addPoint(changes, kIdTruePeakOver, t > -1.0 ? 1.0 : 0.0);
    addPoint(changes, kIdRangeHigh, 0.0);
    addPoint(changes, kIdRangeLow, 0.0);
    addPoint(changes, kIdTime, 0.0);
    readOutRequested.store(false, std::memory_order_release);
}

} // namespace Norrik

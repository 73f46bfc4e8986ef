#include "meter/bigmeterqel.h"

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "meter/meterparams.h"
#include "meter/norrikids.h"

#include "qel/boundary.h"

#include <cmath>
#include <new>

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
    const bool addBuses = getBusCount(kAudio, kInput) == 0 && getBusCount(kAudio, kOutput) == 0;
    inputMeteringOn = false;
    outputMeteringOn = false;
    singleValueOn = false;
    result = answerWithoutThrowing([&] {
        if (addBuses && (!addAudioInput(u"Stereo In", kStereo, BusInfo::kMain, BusInfo::kDefaultActive) ||
                         !addAudioOutput(u"Stereo Out", kStereo, BusInfo::kMain, BusInfo::kDefaultActive)))
            return kOutOfMemory;
        if (!accessor)
            createAlgorithm();
        return kResultOk;
    });
    if (result != kResultOk) {
        // Out of memory nothing of this initialize stays, so that it can be tried again.
        releaseAlgorithm();
        if (addBuses)
            removeAudioBusses();
        if (hostContext)
            hostContext->release();
        hostContext = nullptr;
    }
    return result;
}

void BigMeterQel::createAlgorithm()
{
    if (accessor)
        releaseAlgorithm();
    accessor = std::make_unique<BigMeterAcc>(processSetup.maxSamplesPerBlock, processSetup.sampleRate, kProcessorParams,
                                             kProcessorParamCount);
    // A meter without memory for its channels fails the creation as any other allocation does.
    if (passBusArrangementsToAlgorithm() == kOutOfMemory) {
        releaseAlgorithm();
        throw std::bad_alloc();
    }
    pushParametersToAlgorithm();
    accessor->setParameter(kIdLoudnessOn, 1.0);
}

tresult BigMeterQel::setupProcessing(ProcessSetup& setup)
{
    // A refusal is 1, out of memory stays what it is.
    const tresult result = PluginQel::setupProcessing(setup);
    if (result != kResultOk)
        return result == kOutOfMemory ? kOutOfMemory : kResultFalse;
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
    // Written here digit by digit: the time is told even when no memory is left for formatting.
    const int64 r = s % 3600;
    const long long fields[3] = {static_cast<long long>(s / 3600), static_cast<long long>(r / 60),
                                 static_cast<long long>(r % 60)};
    char16_t all[48];
    int n = 0;
    for (int f = 0; f < 3; ++f) {
        if (f > 0)
            all[n++] = u':';
        unsigned long long v = fields[f] < 0 ? 0ull - static_cast<unsigned long long>(fields[f])
                                             : static_cast<unsigned long long>(fields[f]);
        char16_t digits[24];
        int d = 0;
        do {
            digits[d++] = static_cast<char16_t>(u'0' + v % 10);
            v /= 10;
        } while (v > 0);
        // As "%02lld": at least two characters, the sign counted.
        const bool negative = fields[f] < 0;
        if (negative)
            all[n++] = u'-';
        for (int pad = d + (negative ? 1 : 0); pad < 2; ++pad)
            all[n++] = u'0';
        while (d > 0)
            all[n++] = digits[--d];
    }
    const int length = n < capacity - 1 ? n : capacity - 1;
    for (int i = 0; i < length; ++i)
        text[i] = all[i];
    text[length] = 0;
}

tresult BigMeterQel::dataRequested()
{
    // A time that cannot be sent stays due and goes with the next request.
    if (timeResetDue.exchange(false, std::memory_order_acq_rel) && !sendTime(0)) {
        timeResetDue.store(true, std::memory_order_release);
        return kOutOfMemory;
    }
    if (timeDue.exchange(false, std::memory_order_acq_rel)) {
        float elapsed = static_cast<float>(elapsedSamples.load(std::memory_order_relaxed));
        float rate = static_cast<float>(processSetup.sampleRate);
        if (!sendTime(static_cast<int64>(std::trunc(elapsed / rate)))) {
            timeDue.store(true, std::memory_order_release);
            return kOutOfMemory;
        }
    }
    return kResultOk;
}

bool BigMeterQel::sendTime(int64 seconds)
{
    char16_t text[64];
    formatTime(seconds, text, 64);
    return answerWithoutThrowing([&] { return sendStringMessage("time", text); }) == kResultOk;
}

void BigMeterQel::writeMeterValues(IParameterChangeList* changes, int32)
{
    bool whole = writeChannelValues(changes);
    if (!changes) {
        finishReadOut(whole);
        return;
    }
    Param::ParameterInfoAccessor& p = *paramAccessor;
    const float off = luOffset.load(std::memory_order_relaxed);
    const double offD = off;
    auto norm = [&p](int32 id, double plain) { return p.toNormalized(id, plain); };
    // Without an accessor nothing was measured, and the read-out says so.
    auto value = [this](int32 id) { return accessor ? accessor->getValue(id) : BigMeter::noReading(id); };
    auto add = [&](int32 id, double v) { whole = addPoint(changes, id, v) && whole; };

    double v3 = value(kIdIntegrated) + offD;
    add(kIdMomentary, norm(kIdMomentary, value(kIdMomentary) + offD));
    add(kIdShortTerm, norm(kIdShortTerm, value(kIdShortTerm) + offD));
    add(kIdIntegrated, norm(kIdIntegrated, v3));
    add(kIdIntegratedOver, v3 > static_cast<double>(off + -22.0f) ? 1.0 : 0.0);
    add(kIdMomentaryMax, norm(kIdMomentaryMax, value(kIdMomentaryMax) + offD));
    add(kIdShortTermMax, norm(kIdShortTermMax, value(kIdShortTermMax) + offD));
    add(kIdLoudnessRange, norm(kIdLoudnessRange, value(kIdLoudnessRange)));
    add(kIdBelowGate, value(kIdBelowGate));
    double peak = value(kIdTruePeak);
    double t = peak > 0.0 ? 20.0 * std::log10(peak) : peak;
    add(kIdTruePeak, norm(kIdTruePeak, t));
    add(kIdTruePeakOver, t > -1.0 ? 1.0 : 0.0);
    add(kIdRangeHigh, 0.0);
    add(kIdRangeLow, 0.0);
    add(kIdTime, 0.0);
    finishReadOut(whole);
}

} // namespace Norrik

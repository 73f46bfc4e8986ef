#include "pluginset/common/qel/views/vumeterdata.h"

#include <algorithm>
#include <cmath>

#include "pluginset/common/qel/views/frameservices.h"

namespace Calvereth {
namespace Frame {

namespace {
constexpr float kFloor = 1e-9f;
constexpr float kHalfTick = 0.0005f;

// A host's fall setting f gives the fall factor 1 - f per second; a setting that would make the
// meter rise as it falls (f above 1, or no number) keeps the default.
float fallFactorOf(float hostSetting, float fallback)
{
    float factor = 1.f - hostSetting;
    return factor >= 0.f && std::isfinite(factor) ? factor : fallback;
}

std::unique_ptr<float[]> peakArray(uint32 n, float value)
{
    std::unique_ptr<float[]> a(new float[n]);
    std::fill_n(a.get(), n, value);
    return a;
}

// A value after decaying: never above where it was, never below 0.
float decayed(float from, double factor, double elapsed)
{
    double v = from * (1.0 - factor * elapsed);
    return v < kFloor ? 0.f : std::min(from, static_cast<float>(v));
}
} // namespace

VuMeterData::VuMeterData(uint32 n, const TagList& tagList, IDependent* l)
: CurveData(n, tagList, l), silenceThreshold(static_cast<float>(std::pow(10.0, -4.8))),
  maximumLevel(static_cast<float>(std::pow(10.0, 0.15))), lastTick(new int32[n]()), currentLevel(new float[n]())
{
    positionScale = 999.0 / maximumLevel;
    scaleMapper = getHostService<IScaleMapper>();
    if (IMeterSettings* settings = getHostService<IMeterSettings>()) {
        fallFactor = fallFactorOf(settings->getFallFactor(0, 1.f, 1.f), fallFactor);
        settings->release();
    }
    firstTag = tags.at(0); // 0 for an empty list

    const double R = positionScale;
    const double c = R * 0.001;
    const double x1 = std::pow(10.0, -1.2) * R;
    const double k = -0.68 / (std::log10(x1) - std::log10(999.0));
    table[0] = 0.0;
    for (int32 i = 1; i < kTableSize; ++i) {
        if (i < x1)
            table[i] = 0.32 * std::pow(i - c, 0.7) / std::pow(x1 - c, 0.7);
        else
            table[i] = (std::log10(static_cast<double>(i)) - std::log10(999.0)) * k + 1.0;
    }
}

VuMeterData::~VuMeterData()
{
    releaseScaleMapper();
}

void VuMeterData::releaseScaleMapper()
{
    if (scaleMapper)
        scaleMapper->release();
    scaleMapper = nullptr;
}

void VuMeterData::setChannelCount(int32 n)
{
    // Every channel the views draw has a value behind it.
    if (n > 0)
        resize(static_cast<uint32>(n));
    channelCount = n > 0 ? n : 0;
    deferUpdate(kVuChannelCount);
}

float VuMeterData::getCurrentLevel(int32 index) const
{
    return index >= 0 && static_cast<uint32>(index) < count ? currentLevel[index] : 0.f;
}

int32 VuMeterData::findIndex(int32 tag) const
{
    int32 guess = tag - firstTag;
    if (guess >= 0 && guess < tags.count() && tags.at(guess) == tag)
        return guess;
    return findTag(tag);
}

void VuMeterData::setValue(int32 tag, float level)
{
    bool changed = false;
    if (tag == kVuChannelCount) {
        setChannelCount(level >= 0.f && level < 1e6f ? static_cast<int32>(level) : 0);
        return;
    }
    if (tag == kVuFurtherValue || tag == kVuPeakReadout) {
        float& field = tag == kVuPeakReadout ? peakReadout : furtherValue;
        changed = field != level;
        field = level;
    } else {
        int32 index = findIndex(tag);
        // The per-value arrays hold count entries; a tag beyond them has nothing to show.
        if (index < 0 || static_cast<uint32>(index) >= count)
            return;
        float decayed = 0.f;
        double elapsed = 0.0;
        if (IFrameSystem* system = getFrameSystem()) {
            // The clock's milliseconds in 32 bits wrap after 24.8 days: their difference modulo 2^32
            // spans the wrap, exact however long the clock has run.
            const int32 now = system->getTickCount();
            const auto ms = static_cast<int32>(static_cast<uint32>(now) - static_cast<uint32>(lastTick[index]));
            // A clock that steps back means no time passed: nothing may grow by decaying, and no
            // hold is made longer.
            elapsed = ms > 0 ? ms * 0.001 : 0.0;
            decay(index, decayed, changed, elapsed);
            lastTick[index] = now;
        }
        float x = !(level >= 0.f) ? 0.f : std::min(level, maximumLevel);
        float shown;
        if (decayed > x)
            shown = decayed;
        else if (x > currentLevel[index])
            shown = attackHook(index, x, elapsed);
        else
            shown = x;
        if (shown < kFloor)
            shown = 0.f;
        currentLevel[index] = shown;
        updatePeakHold(index, changed, shown);
        mapValueToPosition(shown);
        if (values[index] != shown) {
            values[index] = shown;
            changed = true;
        }
    }
    if (changed)
        deferUpdate(firstTag);
}

bool VuMeterData::getValue(int32 tag, float& value)
{
    switch (tag) {
    case kVuChannelCount:
        value = static_cast<float>(channelCount);
        return true;
    case kVuSilenceThreshold:
        value = silenceThreshold;
        return true;
    case kVuMaximumLevel:
        value = maximumLevel;
        return true;
    case kVuPeakReadout:
        value = peakReadout;
        return true;
    case kVuFurtherValue:
        value = furtherValue;
        return true;
    default:
        return CurveData::getValue(tag, value);
    }
}

void VuMeterData::resize(uint32 n)
{
    // The per-value arrays follow the value array, which only grows. Everything is had before
    // anything is replaced: a failed allocation leaves every pointer as it was.
    if (n <= count)
        return;
    std::unique_ptr<int32[]> ticks(new int32[n]());
    std::unique_ptr<float[]> levels(new float[n]());
    CurveData::resize(n);
    lastTick = std::move(ticks);
    currentLevel = std::move(levels);
}

void VuMeterData::decay(int32 index, float& value, bool&, double elapsed)
{
    value = decayed(currentLevel[index], fallFactor, elapsed);
}

float VuMeterData::attackHook(int32, float value, double)
{
    return value;
}

void VuMeterData::updatePeakHold(int32, bool&, float) {}

void VuMeterData::mapByScaleMapper(float& value)
{
    value = static_cast<float>(scaleMapper->mapToPosition(1001, static_cast<double>(value)));
}

void VuMeterData::mapValueToPosition(float& value)
{
    if (scaleMapper) {
        mapByScaleMapper(value);
        // The host's mapping is taken within the meter's scale.
        value = value > 0.f ? std::min(value, 1.f) : 0.f;
        return;
    }
    double scaled = std::floor(value * positionScale + 0.5);
    // Clamped: no level, however it came about, indexes past the table.
    int32 i = !(scaled > 0.0) ? 0 : (scaled >= kTableSize - 1 ? kTableSize - 1 : static_cast<int32>(scaled));
    float p = static_cast<float>(table[i]);
    if (p == 0.f && value >= silenceThreshold)
        p = static_cast<float>(table[1] * 0.5);
    value = p;
}

//------------------------------------------------------------------------
VuMeterPhData::VuMeterPhData(uint32 n, const TagList& tagList, IDependent* l) : VuMeterData(n, tagList, l)
{
    if (IMeterSettings* settings = getHostService<IMeterSettings>()) {
        peakFallFactor = fallFactorOf(settings->getPeakFallFactor(0, 1.f, 1.f), peakFallFactor);
        peakHoldTime = settings->getPeakHoldTime(0);
        settings->release();
    }
    countdown = peakArray(n, 2.f);
    held = peakArray(n, 0.f);
    maximum = peakArray(n, 0.f);
}

VuMeterPhData::~VuMeterPhData() = default;

void VuMeterPhData::clearPeakHold()
{
    for (uint32 i = 0; i < count; ++i)
        maximum[i] = 0.f;
}

bool VuMeterPhData::getValue(int32 tag, float& value)
{
    const float* source = nullptr;
    int32 channel = -1;
    if (tag >= kVuHeldPeak && tag < kVuHeldPeak + kVuMaxChannels) {
        source = held.get();
        channel = tag - kVuHeldPeak;
    } else if (tag >= kVuChannelMaximum && tag < kVuChannelMaximum + kVuMaxChannels) {
        source = maximum.get();
        channel = tag - kVuChannelMaximum;
    }
    if (source) {
        // Only channels the data holds have a peak.
        if (static_cast<uint32>(channel) >= count)
            return false;
        value = source[channel];
        mapValueToPosition(value);
        return true;
    }
    return VuMeterData::getValue(tag, value);
}

void VuMeterPhData::resize(uint32 n)
{
    // As the base: every array is had before any is replaced.
    if (n <= count)
        return;
    std::unique_ptr<float[]> counts = peakArray(n, 2.f);
    std::unique_ptr<float[]> helds = peakArray(n, 0.f);
    std::unique_ptr<float[]> maxima = peakArray(n, 0.f);
    VuMeterData::resize(n);
    countdown = std::move(counts);
    held = std::move(helds);
    maximum = std::move(maxima);
}

void VuMeterPhData::decay(int32 index, float& value, bool& changed, double elapsed)
{
    VuMeterData::decay(index, value, changed, elapsed);
    countdown[index] -= static_cast<float>(elapsed);
    // The clock counts milliseconds: a hold with less than half of one left has run out (the
    // countdown's rounding must not keep a peak for one more update).
    if (countdown[index] < kHalfTick) {
        float next = decayed(held[index], peakFallFactor, elapsed);
        if (next != held[index])
            changed = true;
        held[index] = next;
        countdown[index] = 0.f;
    }
}

void VuMeterPhData::updatePeakHold(int32 index, bool& changed, float value)
{
    if (value >= held[index]) {
        held[index] = value;
        countdown[index] = peakHoldTime;
        changed = true;
    }
    if (held[index] > maximum[index])
        maximum[index] = held[index];
}

} // namespace Frame
} // namespace Calvereth

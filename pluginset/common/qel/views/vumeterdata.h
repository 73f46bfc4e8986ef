// Meter data with ballistics: levels rise at once, fall at a set rate and map onto meter positions;
// the peak-hold variant adds a held peak and a maximum per channel.
#pragma once

#include "pluginset/common/qel/views/dataobjects.h"
#include "pluginset/common/qel/views/frameinterfaces.h"

#include <memory>

namespace Calvereth {
namespace Frame {

// Tags with a fixed meaning, and change messages.
enum VuMeterCode : int32
{
    kVuChannelCount = 5000,
    kVuSilenceThreshold = 5001,
    kVuMaximumLevel = 5002,
    kVuPeakReadout = 5003,
    kVuFurtherValue = 5004,
    kVuResetRequest = 5005,
    kVuViewAttached = 5006,
    kVuViewDetached = 5007,
    kVuChannelMaximum = 5009, // + channel, 12 channels
    kVuHeldPeak = 5021,       // + channel, 12 channels
    kVuMaxChannels = 12
};

class VuMeterData : public CurveData
{
public:
    static constexpr int32 kTableSize = 1000;

    VuMeterData(uint32 count, const TagList& tags, IDependent* listener);
    ~VuMeterData() override;

    void setValue(int32 tag, float level) override;
    bool getValue(int32 tag, float& value) override;
    // Grows every per-value array; std::bad_alloc when memory runs out, with all of them as they were.
    void resize(uint32 n) override;

    virtual bool hasScaleMapper() const { return scaleMapper != nullptr; }
    virtual void releaseScaleMapper();
    virtual void decay(int32 index, float& value, bool& changed, double elapsed);
    virtual float attackHook(int32 index, float value, double elapsed);
    virtual void updatePeakHold(int32 index, bool& changed, float value);
    virtual void mapByScaleMapper(float& value);
    virtual void mapValueToPosition(float& value);

    // The count follows once the arrays hold it (std::bad_alloc, count as it was, when they cannot).
    void setChannelCount(int32 n);
    int32 getChannelCount() const { return channelCount; }
    float getFallFactor() const { return fallFactor; }
    float getCurrentLevel(int32 index) const;
    double getTableValue(int32 i) const { return table[i < 0 ? 0 : (i >= kTableSize ? kTableSize - 1 : i)]; }

protected:
    int32 findIndex(int32 tag) const;

    int32 channelCount = 6;
    float silenceThreshold;
    float maximumLevel;
    float fallFactor = 2.f;
    double positionScale;
    IScaleMapper* scaleMapper = nullptr;
    float peakReadout = 0.f;
    float furtherValue = 1.f;
    int32 firstTag = 0;
    std::unique_ptr<int32[]> lastTick; // the clock at each value's last update
    std::unique_ptr<float[]> currentLevel;
    double table[kTableSize];
};

class VuMeterPhData : public VuMeterData
{
public:
    VuMeterPhData(uint32 count, const TagList& tags, IDependent* listener);
    ~VuMeterPhData() override;

    bool getValue(int32 tag, float& value) override;
    void resize(uint32 n) override;
    void decay(int32 index, float& value, bool& changed, double elapsed) override;
    void updatePeakHold(int32 index, bool& changed, float value) override;

    // Every maximum back to 0 (held peaks stay).
    void clearPeakHold();
    float getPeakFallFactor() const { return peakFallFactor; }
    float getPeakHoldTime() const { return peakHoldTime; }

protected:
    float peakFallFactor = 2.f;
    float peakHoldTime = 2.f;
    std::unique_ptr<float[]> countdown;
    std::unique_ptr<float[]> held;
    std::unique_ptr<float[]> maximum;
};

// For values that already are positions in [0, 1].
class LinearVuMeterPhData : public VuMeterPhData
{
public:
    using VuMeterPhData::VuMeterPhData;
    void mapValueToPosition(float&) override {}
};

} // namespace Frame
} // namespace Calvereth

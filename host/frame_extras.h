// Services a richer host offers beside the required ones: meter ballistics settings, a scale
// mapper, meter bitmaps drawn to size, and colour groups. The test host offers them on request.
#pragma once

#include "host/frame_skin.h"

namespace qelhost {

class HostMeterSettings final : public RefCounted<IMeterSettings>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    float getFallFactor(int32, float, float) override { return fall; }
    float getPeakFallFactor(int32, float, float) override { return peakFall; }
    float getPeakHoldTime(int32) override { return holdTime; }

    // What the host answers (the plug-in falls by 1 minus these per second).
    float fall = 0.5f, peakFall = 0.25f, holdTime = 1.0f;
};

// Linear in amplitude up to +3 dB.
class HostScaleMapper final : public RefCounted<IScaleMapper>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    double mapToPosition(int32 viewType, double level) override;
    int32 lastViewType = 0;
};

class HostMeterBitmapService final : public RefCounted<IMeterBitmapService>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    FUnknown* createForeground(const ViewRect& r, int32 type, int32 thickness, TBool horizontal) override;
    FUnknown* createBackground(const ViewRect& r, int32 type, TBool horizontal) override;
    FUnknown* createSingle(const ViewRect& r) override;
    int made = 0;
    int32 lastType = 0, lastThickness = 0;

private:
    // Null when out of memory (counted).
    FUnknown* make(const ViewRect& r, bool horizontal, uint32 color, const char* role);
    FUnknown* makeBitmap(const ViewRect& r, bool horizontal, uint32 color, const char* role);
};

class HostColorGroups final : public RefCounted<WithoutColorTransforms>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult applyColorGroup(FUnknown*) override { return kResultFalse; }
};

} // namespace qelhost

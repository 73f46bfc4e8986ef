// Meter views: one bar per channel drawn from a lit and an unlit bitmap, a peak-hold variant with
// held-peak and maximum lines, and a numeric peak readout.
#pragma once

#include "base/fstring.h"

#include <string>
#include <vector>

#include "pluginset/common/qel/views/dataview.h"
#include "pluginset/common/qel/views/vumeterdata.h"

namespace Calvereth {
namespace Frame {

class VuMeterView : public DataView<double>
{
public:
    VuMeterView(VuMeterData* data, int32 count, const ViewRect& size, const TagList& tags, FUnknown* foreground,
                FUnknown* background, uint8 vertical);
    ~VuMeterView() override;

    void update(FUnknown* changed, int32 message) override;
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override = 0;
    int32 mouseDown(int32 x, int32 y) override;

    virtual void layoutSegments();
    virtual int32 viewTypeCode() const { return 1001; }

    int32 getChannelCount() const { return channelCount; }
    const std::vector<ViewRect>& getSegments() const { return segments; }
    int32 getSegmentWidth() const { return segmentWidth; }
    int32 getSegmentHeight() const { return segmentHeight; }
    FUnknown* getForeground() const { return foreground; }
    FUnknown* getBackground() const { return background; }
    bool hasBitmapService() const { return bitmapService != nullptr; }

protected:
    VuMeterData* meterData() const { return static_cast<VuMeterData*>(data); }
    // Bars that have a value behind them.
    int32 drawableBars() const;

    int32 channelCount = 0;
    int32 segmentWidth = 0;
    int32 segmentHeight = 0;
    std::vector<ViewRect> segments;
    FUnknown* foreground = nullptr;
    FUnknown* background = nullptr;
    uint8 vertical;
    IMeterBitmapService* bitmapService = nullptr;
};

class VuMeterHorizView : public VuMeterView
{
public:
    VuMeterHorizView(VuMeterData* data, int32 count, const ViewRect& size, const TagList& tags, FUnknown* fg,
                     FUnknown* bg)
    : VuMeterView(data, count, size, tags, fg, bg, 0)
    {}
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
};

class VuMeterVertiView : public VuMeterView
{
public:
    VuMeterVertiView(VuMeterData* data, int32 count, const ViewRect& size, const TagList& tags, FUnknown* fg,
                     FUnknown* bg)
    : VuMeterView(data, count, size, tags, fg, bg, 1)
    {}
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
};

class VuMeterPhVertiView : public VuMeterVertiView
{
public:
    using VuMeterVertiView::VuMeterVertiView;
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
};

class VuMeterPeakView : public DataView<double>
{
public:
    VuMeterPeakView(VuMeterData* data, int32 count, const ViewRect& size, const TagList& tags, uint32 normalColor,
                    uint32 overColor);

    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
    int32 mouseDown(int32 x, int32 y) override;

    const String& getText() const { return text; }

private:
    String text;
    uint32 normalColor;
    uint32 overColor;
};

// A click on a meter: the readout clears and the listener is asked for a reset.
void requestMeterReset(View& view, CurveData* data);

VuMeterView* createMeterView(VuMeterData* data, uint32 count, const ViewRect& size, const TagList& tags,
                             IViewAttributes* attributes, ISkinService* skin);
VuMeterView* createPeakHoldMeterView(VuMeterData* data, uint32 count, const ViewRect& size, const TagList& tags,
                                     IViewAttributes* attributes, ISkinService* skin);
// Foreground and background, either made by the host's meter bitmap service (owned: one reference
// each for the caller) or taken from the skin (not owned). False unless both exist; std::bad_alloc
// when the service is there but did not make them both.
bool setupMeterBitmaps(const ViewRect& size, VuMeterData* data, IViewAttributes* attributes, ISkinService* skin,
                       FUnknown*& foreground, FUnknown*& background, bool& owned);
bool createScaledBitmaps(const ViewRect& size, FUnknown*& foreground, FUnknown*& background, bool vertical,
                         int32 typeCode, bool single = false);

} // namespace Frame
} // namespace Calvereth

#include "pluginset/common/qel/views/vumeterviews.h"

#include "base/iptr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace Calvereth {
namespace Frame {

namespace {

bool isHorizontal(IViewAttributes* attributes)
{
    const char8* o = attributes ? attributes->getString("meter-orientation") : nullptr;
    return o && std::strcmp(o, "horizontal") == 0;
}

// Bitmap sizes beyond this are no bitmap's: taken as none.
constexpr double kMaxPixels = 1 << 24;

int32 pixels(double size)
{
    return size >= 0.0 && size <= kMaxPixels ? static_cast<int32>(size) : 0;
}

// A meter position within 0..1; one that is no number shows nothing.
double meterPosition(double position)
{
    return position > 0.0 ? std::min(position, 1.0) : 0.0;
}

// Pixels of a length of len that a position covers.
int32 coveredPixels(double position, int32 len)
{
    return len > 0 ? static_cast<int32>(len * meterPosition(position) + 0.5) : 0;
}

// Pixels from the top of a vertical bar of length len down to the position's level.
int32 pixelsFromTop(double position, int32 len)
{
    return len > 0 ? static_cast<int32>((1.0 - meterPosition(position)) * len + 0.5) : 0;
}

void bitmapSize(FUnknown* bitmap, int32& w, int32& h)
{
    w = h = 0;
    if (!bitmap)
        return;
    IBitmapGeometry* geometry = nullptr;
    if (bitmap->queryInterface(IBitmapGeometry::iid, reinterpret_cast<void**>(&geometry)) == kResultOk && geometry) {
        double dw = 0, dh = 0;
        geometry->getSize(dw, dh);
        geometry->release();
        w = pixels(dw);
        h = pixels(dh);
        return;
    }
    IBitmapExtent* extent = nullptr;
    if (bitmap->queryInterface(IBitmapExtent::iid, reinterpret_cast<void**>(&extent)) == kResultOk && extent) {
        int32 ew = 0, eh = 0;
        if (extent->getExtent(ew, eh) == kResultOk) {
            w = pixels(ew);
            h = pixels(eh);
        }
        extent->release();
    }
}

} // namespace

//------------------------------------------------------------------------
VuMeterView::VuMeterView(VuMeterData* d, int32 count, const ViewRect& size, const TagList& tagList, FUnknown* fg,
                         FUnknown* bg, uint8 isVertical)
: DataView<double>(d, count, size, tagList), foreground(fg), background(bg), vertical(isVertical)
{
    // What may fail for want of memory comes first: a view that throws holds nothing of its own yet.
    // One the service could not take as a dependent would keep bitmaps of a scale gone by.
    IPtr<IMeterBitmapService> service(getHostService<IMeterBitmapService>(), false);
    if (service && d && d->hasScaleMapper()) {
        if (updateHandler && updateHandler->addDependent(service, this) == kOutOfMemory)
            throw std::bad_alloc();
        bitmapService = service.take();
    }
    if (foreground)
        foreground->addRef();
    if (background)
        background->addRef();
    if (data && data->getListener())
        data->getListener()->update(data->unknownCast(), kVuViewAttached);
}

VuMeterView::~VuMeterView()
{
    if (bitmapService) {
        if (updateHandler)
            updateHandler->removeDependent(bitmapService, this);
        bitmapService->release();
        bitmapService = nullptr;
    }
    if (data && data->getListener())
        data->getListener()->update(data->unknownCast(), kVuViewDetached);
    if (foreground)
        foreground->release();
    if (background)
        background->release();
}

int32 VuMeterView::drawableBars() const
{
    int32 n = data ? static_cast<int32>(data->getCount()) : 0;
    return std::min<int32>(std::min<int32>(channelCount, n), static_cast<int32>(segments.size()));
}

void VuMeterView::layoutSegments()
{
    channelCount = 0;
    segments.clear();
    float value = 0.f;
    if (!data || !data->getValue(kVuChannelCount, value))
        return;
    // No channels, no bars: nothing to divide among (nor a count no meter has).
    if (!(value >= 1.f && value <= 1024.f))
        return;
    int32 cc = static_cast<int32>(value);
    channelCount = cc;
    segments.assign(cc, ViewRect());
    ViewRect r = getLocalRect();
    const int32 size = vertical ? r.getWidth() : r.getHeight();
    int32 step = size / cc;
    int32 bmW = 0, bmH = 0;
    bitmapSize(foreground, bmW, bmH);
    const int32 bw = vertical ? bmW : bmH;
    const int32 extent = vertical ? bmH : bmW;
    int32 gap = 0;
    if (cc > 1) {
        step -= 1;
        gap = 1;
    }
    int32 bar, offset;
    if (step > bw) {
        offset = (step - bw) * cc / 2;
        step = bw;
        bar = bw;
    } else {
        int32 left = size - step - (step + gap) * (cc - 1);
        if (cc <= left) {
            step += 1;
            left -= cc;
        }
        bar = step;
        offset = left / 2;
        if (left >= -1 && left <= 1 && cc > 1 && (size + 1 - (step + 1) * cc) / (cc - 1) > 0)
            gap += 1;
    }
    for (int32 i = 0; i < cc; ++i) {
        int32 pos = offset + i * (step + gap);
        segments[i] = vertical ? ViewRect(pos, 0, pos + bar, extent) : ViewRect(0, pos, extent, pos + bar);
    }
    if (vertical) {
        segmentWidth = step;
        segmentHeight = extent;
    } else {
        segmentHeight = step;
        segmentWidth = extent;
    }
}

void VuMeterView::update(FUnknown* changed, int32 message)
{
    if (bitmapService && message == IDependent::kChanged && changed) {
        IMeterBitmapService* service = nullptr;
        if (changed->queryInterface(IMeterBitmapService::iid, reinterpret_cast<void**>(&service)) == kResultOk &&
            service) {
            bool same = service == bitmapService;
            service->release();
            if (same) {
                // A foreground the service could not make leaves the one the bars had.
                if (FUnknown* remade = bitmapService->createForeground(getLocalRect(), viewTypeCode(), 0, !vertical)) {
                    if (foreground)
                        foreground->release();
                    foreground = remade;
                }
                invalidateRect(getLocalRect());
                return;
            }
        }
    }
    if (isBoundData(changed)) {
        if (message == kVuChannelCount)
            layoutSegments();
        invalidateRect(getLocalRect());
    }
}

void requestMeterReset(View& view, CurveData* data)
{
    if (!data)
        return;
    data->setValue(kVuPeakReadout, 0.f);
    view.invalidateRect(view.getLocalRect());
    if (IDependent* listener = data->getListener())
        listener->update(data->unknownCast(), kVuResetRequest);
    data->deferUpdate(kVuResetRequest);
}

int32 VuMeterView::mouseDown(int32, int32)
{
    requestMeterReset(*this, data);
    return kResultOk;
}

//------------------------------------------------------------------------
int32 VuMeterVertiView::drawView(IDrawContext* context, const ViewRect&)
{
    if (!context)
        return kResultOk;
    ViewRect r = getLocalRect();
    int32 len = std::min(r.getHeight(), segmentHeight);
    if (background)
        context->drawBitmap(background, ViewRect(0, 0, r.getWidth(), len), ViewRect(0, 0, r.getWidth(), len));
    const float* v = data ? data->getValues() : nullptr;
    if (!foreground || !v)
        return kResultOk;
    for (int32 i = 0, n = drawableBars(); i < n; ++i) {
        const ViewRect& bar = segments[i];
        int32 off = pixelsFromTop(v[i], len);
        context->drawBitmap(foreground, ViewRect(0, off, segmentWidth, bar.bottom),
                            ViewRect(bar.left, bar.top + off, bar.right, bar.bottom));
    }
    return kResultOk;
}

int32 VuMeterHorizView::drawView(IDrawContext* context, const ViewRect&)
{
    if (!context)
        return kResultOk;
    ViewRect r = getLocalRect();
    int32 len = std::min(r.getWidth(), segmentWidth);
    if (background)
        context->drawBitmap(background, ViewRect(0, 0, len, r.getHeight()), ViewRect(0, 0, len, r.getHeight()));
    const float* v = data ? data->getValues() : nullptr;
    if (!foreground || !v)
        return kResultOk;
    for (int32 i = 0, n = drawableBars(); i < n; ++i) {
        const ViewRect& bar = segments[i];
        int32 w = coveredPixels(v[i], len);
        context->drawBitmap(foreground, ViewRect(bar.left, 0, w, segmentHeight),
                            ViewRect(bar.left, bar.top, bar.left + w, bar.bottom));
    }
    return kResultOk;
}

int32 VuMeterPhVertiView::drawView(IDrawContext* context, const ViewRect& updateRect)
{
    if (!context)
        return kResultOk;
    VuMeterVertiView::drawView(context, updateRect);
    context->setLineColor(0xFF6E6E6E, 1, 1.f);
    ViewRect r = getLocalRect();
    int32 len = std::min(r.getHeight(), segmentHeight);
    for (int32 i = 0, n = drawableBars(); i < n && i < kVuMaxChannels; ++i) {
        float heldPeak = 0.f, maximum = 0.f;
        if (!data->getValue(kVuHeldPeak + i, heldPeak) || !data->getValue(kVuChannelMaximum + i, maximum))
            continue;
        const ViewRect& bar = segments[i];
        int32 y = pixelsFromTop(maximum, len);
        context->drawLine(FramePoint{bar.left, y}, FramePoint{bar.right, y});
        int32 y2 = pixelsFromTop(heldPeak, len);
        if (foreground)
            context->drawBitmap(foreground, ViewRect(0, y2, segmentWidth, y2 + 1),
                                ViewRect(bar.left, y2, bar.right, y2 + 1));
    }
    return kResultOk;
}

//------------------------------------------------------------------------
VuMeterPeakView::VuMeterPeakView(VuMeterData* d, int32 count, const ViewRect& size, const TagList& tagList,
                                 uint32 normal, uint32 over)
: DataView<double>(d, count, size, tagList), normalColor(normal), overColor(over)
{}

int32 VuMeterPeakView::drawView(IDrawContext* context, const ViewRect&)
{
    if (!context)
        return kResultOk;
    context->setFont(u"Arial", 9, 0, 1.f);
    float p = 0.f;
    if (!data || !data->getValue(kVuPeakReadout, p))
        return kInternalError;
    if (!std::isfinite(p)) {
        // A peak with no value.
        context->setFontColor(normalColor);
        text.assign(u"--");
    } else if (p > 1.f) {
        context->setFontColor(overColor);
        text.printf(u"%2.1f", 20.0 * std::log10(p));
    } else {
        context->setFontColor(normalColor);
        float t = 0.f;
        if (!data->getValue(kVuSilenceThreshold, t))
            return kInternalError;
        if (t > p)
            text.assign(u"-oo");
        else {
            float d = static_cast<float>(20.0 * std::log10(p));
            text.printf(u"%2.1f", std::fabs(d) < 0.05f ? 0.0 : static_cast<double>(d));
        }
    }
    // Every readout has text: none is a text that could not have its memory.
    if (text.isEmpty())
        return kOutOfMemory;
    context->drawString(text.text16(), getLocalRect(), 0, 0);
    context->setFillColor(backgroundColor, 1.f);
    return kResultOk;
}

int32 VuMeterPeakView::mouseDown(int32, int32)
{
    requestMeterReset(*this, data);
    return kResultOk;
}

//------------------------------------------------------------------------
bool createScaledBitmaps(const ViewRect& size, FUnknown*& foreground, FUnknown*& background, bool isVertical,
                         int32 typeCode, bool single)
{
    IMeterBitmapService* service = getHostService<IMeterBitmapService>();
    if (!service)
        return false;
    ViewRect r(0, 0, size.getWidth(), size.getHeight());
    if (single)
        foreground = service->createSingle(r);
    else {
        foreground = service->createForeground(r, typeCode, isVertical ? r.getWidth() : r.getHeight(), !isVertical);
        background = service->createBackground(r, typeCode, !isVertical);
    }
    service->release();
    return true;
}

bool setupMeterBitmaps(const ViewRect& size, VuMeterData* data, IViewAttributes* attributes, ISkinService* skin,
                       FUnknown*& foreground, FUnknown*& background, bool& owned)
{
    foreground = background = nullptr;
    owned = false;
    if (data && data->hasScaleMapper())
        owned = createScaledBitmaps(size, foreground, background, !isHorizontal(attributes), 1001);
    if (!owned) {
        if (data)
            data->releaseScaleMapper();
        const char8* fore = "bmAudioPlugMeterFore";
        const char8* back = "bmAudioPlugMeterBack";
        if (attributes) {
            if (const char8* a = attributes->getString("meter-name-fore"))
                fore = a;
            if (const char8* a = attributes->getString("meter-name-back"))
                back = a;
        }
        if (skin) {
            if (size.getWidth() > size.getHeight()) {
                fore = "bmAudioPlugMeterHorizFore";
                back = "bmAudioPlugMeterHorizBack";
            }
            if (skin->getBitmap(fore, &foreground) != kResultOk)
                foreground = nullptr;
            if (skin->getBitmap(back, &background) != kResultOk)
                background = nullptr;
        }
    }
    if (foreground && background)
        return true;
    // One half alone is no meter; what the service made for us goes back.
    const bool serviceFailed = owned;
    if (owned) {
        if (foreground)
            foreground->release();
        if (background)
            background->release();
    }
    foreground = background = nullptr;
    owned = false;
    // The service's only answer for a bitmap it had no memory for is none: the meter is not drawn
    // without it.
    if (serviceFailed)
        throw std::bad_alloc();
    return false;
}

namespace {

VuMeterView* buildMeterView(VuMeterData* data, uint32 count, const ViewRect& size, const TagList& tags,
                            IViewAttributes* attributes, ISkinService* skin, bool peakHold)
{
    FUnknown* fg = nullptr;
    FUnknown* bg = nullptr;
    bool owned = false;
    if (!setupMeterBitmaps(size, data, attributes, skin, fg, bg, owned))
        return nullptr;
    // The view takes its own references to bitmaps the service made for us: ours go back, also
    // when the view cannot be made.
    const IPtr<FUnknown> ours[] = {{owned ? fg : nullptr, false}, {owned ? bg : nullptr, false}};
    VuMeterView* made;
    int32 n = static_cast<int32>(count);
    if (isHorizontal(attributes))
        made = new VuMeterHorizView(data, n, size, tags, fg, bg);
    else if (peakHold)
        made = new VuMeterPhVertiView(data, n, size, tags, fg, bg);
    else
        made = new VuMeterVertiView(data, n, size, tags, fg, bg);
    IPtr<VuMeterView> view(made, false);
    view->layoutSegments();
    return view.take();
}

} // namespace

VuMeterView* createMeterView(VuMeterData* data, uint32 count, const ViewRect& size, const TagList& tags,
                             IViewAttributes* attributes, ISkinService* skin)
{
    return buildMeterView(data, count, size, tags, attributes, skin, false);
}

VuMeterView* createPeakHoldMeterView(VuMeterData* data, uint32 count, const ViewRect& size, const TagList& tags,
                                     IViewAttributes* attributes, ISkinService* skin)
{
    return buildMeterView(data, count, size, tags, attributes, skin, true);
}

} // namespace Frame
} // namespace Calvereth

#include "pluginset/common/qel/views/dataview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "pluginset/common/qel/views/colorgroups.h"

namespace Calvereth {
namespace Frame {

namespace {

// A mapped coordinate as a pixel of the span from `from` to `to` (either order), truncated toward
// zero: one beyond the span sits at its end, one that is no number at `from`.
template <typename T>
int32 pixelIn(T coordinate, int32 from, int32 to)
{
    const double c = static_cast<double>(coordinate);
    if (std::isnan(c))
        return from;
    return static_cast<int32>(
        std::clamp(c, static_cast<double>(std::min(from, to)), static_cast<double>(std::max(from, to))));
}

} // namespace

template <typename T>
DataView<T>::DataView(CurveData* d, int32 count, const ViewRect& size)
: View(size), lineColor(colorWhite), backgroundColor(colorBlack), pointCount(std::max(count, 0)),
  pointCapacity(std::max(count, 0)), points(new FramePoint[std::max(count, 0)]()), data(d)
{
    xMap.set(0.f, 1.f, 0.f, static_cast<float>(size.getWidth()));
    yMap.set(0.f, 1.f, static_cast<float>(size.getHeight()), 0.f);
    if (data) {
        // Registered with, and later removed from, the same handler, held while the view lives;
        // nothing is held before the registration that may throw.
        IUpdateHandler* handler = FObject::getUpdateHandler();
        if (handler && handler->addDependent(data->unknownCast(), this) == kOutOfMemory)
            throw std::bad_alloc();
        updateHandler = handler;
        if (updateHandler)
            updateHandler->addRef();
        data->addRef();
    }
}

template <typename T>
DataView<T>::DataView(CurveData* d, int32 count, const ViewRect& size, const TagList& tagList)
: DataView(d, count, size)
{
    tags = tagList;
}

template <typename T>
DataView<T>::~DataView()
{
    if (updateHandler) {
        updateHandler->removeDependent(data->unknownCast(), this);
        updateHandler->release();
    }
    if (data)
        data->release();
    tags.removeAll();
}

template <typename T>
void DataView<T>::update(FUnknown* changed, int32)
{
    if (isBoundData(changed))
        invalidateRect(getLocalRect());
}

template <typename T>
int32 DataView<T>::drawView(IDrawContext* context, const ViewRect& updateRect)
{
    if (!context)
        return kResultOk;
    ViewRect r = getLocalRect();
    xMap.set(0.f, static_cast<float>(pointCount - 1), static_cast<float>(r.left), static_cast<float>(r.right));
    yMap.set(0.f, 1.f, static_cast<float>(r.bottom), static_cast<float>(r.top));
    ViewRect clip(std::max(r.left, updateRect.left), std::max(r.top, updateRect.top),
                  std::min(r.right, updateRect.right), std::min(r.bottom, updateRect.bottom));
    clip.right = std::max(clip.right, clip.left);
    clip.bottom = std::max(clip.bottom, clip.top);
    context->setFillColor(backgroundColor, 1.f);
    context->drawRect(clip, 1);
    context->setLineColor(lineColor, 1, 1.f);
    // Never more points than the data holds.
    int32 n = data ? std::min<int32>(pointCount, static_cast<int32>(data->getCount())) : 0;
    for (int32 i = 0; i < n; ++i)
        points[i].x = pixelIn(xMap.map(static_cast<T>(i)), r.left, r.right);
    // Values beyond 0..1 are drawn at the view's edges; one that is no number at the bottom.
    const float* v = data ? data->getValues() : nullptr;
    for (int32 i = 0; v && i + 1 < n; ++i) {
        points[i].y = pixelIn(yMap.map(static_cast<T>(v[i])), r.bottom, r.top);
        points[i + 1].y = pixelIn(yMap.map(static_cast<T>(v[i + 1])), r.bottom, r.top);
        context->drawLine(points[i], points[i + 1]);
    }
    return kResultOk;
}

template <typename T>
int32 DataView<T>::mouseDown(int32 x, int32 y)
{
    return trackMouseRedrawing(x, y);
}

uint32 parseColor(const char8* text)
{
    if (!text)
        return 0;
    char8 lead = 0;
    unsigned int value = 0;
    return std::sscanf(text, "%c%X", &lead, &value) == 2 ? static_cast<uint32>(value) : 0;
}

template class DataView<double>;
template class DataView<float>;

} // namespace Frame
} // namespace Calvereth

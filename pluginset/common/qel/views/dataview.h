// A host-drawn view bound to one data object: by default its values as a poly-line over a background.
#pragma once

#include "pluginset/common/qel/views/dataobjects.h"
#include "pluginset/common/qel/views/frameservices.h"

#include <memory>

namespace Calvereth {
namespace Frame {

// map(x) = (x - input minimum) * scale + output minimum.
template <typename T>
struct LinearValueMap
{
    T scale = 1;
    T inverseScale = 1;
    T inputMin = 0;
    T outputMin = 0;

    void set(float inMin, float inMax, float outMin, float outMax)
    {
        float s = inMax != inMin ? (outMax - outMin) / (inMax - inMin) : 0.f;
        scale = static_cast<T>(s);
        inverseScale = static_cast<T>(s != 0.f ? 1.f / s : 0.f);
        inputMin = static_cast<T>(inMin);
        outputMin = static_cast<T>(outMin);
    }
    T map(T x) const { return (x - inputMin) * scale + outputMin; }
};

// A view the update handler could not take as a dependent of its data for want of memory would
// never redraw: making one throws std::bad_alloc instead.
template <typename T>
class DataView : public View
{
public:
    DataView(CurveData* data, int32 count, const ViewRect& size);
    DataView(CurveData* data, int32 count, const ViewRect& size, const TagList& tags);
    ~DataView() override;

    void update(FUnknown* changed, int32 message) override;
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
    int32 mouseDown(int32 x, int32 y) override;

    CurveData* getData() const { return data; }
    const TagList& getTags() const { return tags; }
    void setLineColor(uint32 c) { lineColor = c; }
    void setBackgroundColor(uint32 c) { backgroundColor = c; }
    uint32 getBackgroundColor() const { return backgroundColor; }

protected:
    bool isBoundData(FUnknown* changed) const { return data && changed == data->unknownCast(); }

    uint32 lineColor;
    uint32 backgroundColor;
    int32 pointCount;
    int32 pointCapacity;
    LinearValueMap<T> xMap;
    LinearValueMap<T> yMap;
    std::unique_ptr<FramePoint[]> points;
    TagList tags;
    CurveData* data;
    void* further = nullptr;
    IUpdateHandler* updateHandler = nullptr;
};

// A colour written as one leading character and a hexadecimal number ("#FF00FF00"); 0 otherwise.
uint32 parseColor(const char8* text);

extern template class DataView<double>;
extern template class DataView<float>;

} // namespace Frame
} // namespace Calvereth

#pragma once
// Integer rectangle and point of the view code.
#include "base/ftypes.h"

namespace Calvereth {

struct Point
{
    int32 x = 0;
    int32 y = 0;
};

class Rect
{
public:
    constexpr Rect() = default;
    constexpr Rect(int32 l, int32 t, int32 r, int32 b) : left(l), top(t), right(r), bottom(b) {}
    // From any record with left, top, right, bottom (such as the plug-in interface's view rectangle).
    template <class R>
    explicit Rect(const R& other) : left(other.left), top(other.top), right(other.right), bottom(other.bottom)
    {}

    template <class R>
    Rect& assign(const R& other)
    {
        left = other.left, top = other.top, right = other.right, bottom = other.bottom;
        return *this;
    }
    template <class R>
    R& copyTo(R& out) const
    {
        out.left = left, out.top = top, out.right = right, out.bottom = bottom;
        return out;
    }

    int32 getWidth() const { return right - left; }
    int32 getHeight() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    bool moveInside(const Rect& bounds);
    Rect& centerH(const Rect& bounds);
    Rect& centerV(const Rect& bounds);
    Rect& center(const Rect& bounds) { return centerH(bounds).centerV(bounds); }
    bool join(const Rect& other);
    bool rectInside(const Rect& other) const;
    bool intersects(const Rect& other) const;
    bool intersection(const Rect& other, Rect& out) const;
    bool subtract(const Rect& other);
    Point& clampPoint(Point& point) const;
    int32 overlapH(const Rect& other) const;
    int32 overlapV(const Rect& other) const;

    bool operator==(const Rect& other) const = default;

    int32 left = 0;
    int32 top = 0;
    int32 right = 0;
    int32 bottom = 0;
};

} // namespace Calvereth

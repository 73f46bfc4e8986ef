#include "base/rect.h"

#include <algorithm>

namespace Calvereth {

bool Rect::moveInside(const Rect& bounds)
{
    if (bounds.getWidth() < getWidth() || bounds.getHeight() < getHeight())
        return false;
    int32 width = getWidth(), height = getHeight();
    if (left < bounds.left) {
        left = bounds.left, right = left + width;
    } else if (right > bounds.right) {
        right = bounds.right, left = right - width;
    }
    if (top < bounds.top) {
        top = bounds.top, bottom = top + height;
    } else if (bottom > bounds.bottom) {
        bottom = bounds.bottom, top = bottom - height;
    }
    return true;
}

Rect& Rect::centerH(const Rect& bounds)
{
    int32 width = getWidth();
    left = bounds.left + (bounds.getWidth() - width) / 2;
    right = left + width;
    return *this;
}

Rect& Rect::centerV(const Rect& bounds)
{
    int32 height = getHeight();
    top = bounds.top + (bounds.getHeight() - height) / 2;
    bottom = top + height;
    return *this;
}

bool Rect::join(const Rect& other)
{
    if (isEmpty() && !other.isEmpty()) {
        *this = other;
        return true;
    }
    if (other.isEmpty())
        return false;
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
    return !isEmpty();
}

bool Rect::rectInside(const Rect& other) const
{
    return other.left >= left && other.top >= top && other.right <= right && other.bottom <= bottom;
}

bool Rect::intersects(const Rect& other) const
{
    return std::max(left, other.left) <= std::min(right, other.right) &&
           std::max(top, other.top) <= std::min(bottom, other.bottom);
}

bool Rect::intersection(const Rect& other, Rect& out) const
{
    Rect r(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
           std::min(bottom, other.bottom));
    if (r.left > r.right || r.top > r.bottom) {
        out = Rect();
        return false;
    }
    out = r;
    return true;
}

bool Rect::subtract(const Rect& other)
{
    if (other.rectInside(*this)) {
        *this = Rect();
        return false;
    }
    int32 iLeft = std::max(left, other.left), iTop = std::max(top, other.top);
    Rect cut(iLeft, iTop, std::max(iLeft, std::min(right, other.right)),
             std::max(iTop, std::min(bottom, other.bottom)));
    if (cut.isEmpty())
        return !isEmpty();
    if (cut.getWidth() >= getWidth()) {
        if (cut.top > top)
            bottom = cut.top;
        else if (cut.bottom < bottom)
            top = cut.bottom;
    }
    if (cut.getHeight() >= getHeight()) {
        if (cut.left > left)
            right = cut.left;
        else if (cut.right < right)
            left = cut.right;
    }
    return !isEmpty();
}

Point& Rect::clampPoint(Point& point) const
{
    point.x = std::clamp(point.x, left, std::max(left, right));
    point.y = std::clamp(point.y, top, std::max(top, bottom));
    return point;
}

int32 Rect::overlapH(const Rect& other) const
{
    return std::max(0, std::min(right, other.right) - std::max(left, other.left));
}

int32 Rect::overlapV(const Rect& other) const
{
    return std::max(0, std::min(bottom, other.bottom) - std::max(top, other.top));
}

} // namespace Calvereth

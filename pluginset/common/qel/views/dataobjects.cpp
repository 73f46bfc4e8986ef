#include "pluginset/common/qel/views/dataobjects.h"

#include <algorithm>

namespace Calvereth {
namespace Frame {

CurveData::CurveData(uint32 n, const TagList& tagList, IDependent* l)
: DataObject2(l), values(new float[n]()), count(n), tags(tagList)
{}

CurveData::CurveData(uint32 n, IDependent* l) : DataObject2(l), values(new float[n]()), count(n) {}

CurveData::~CurveData()
{
    delete[] values;
}

int32 CurveData::findTag(int32 tag) const
{
    int32 i = 0;
    for (TLinkedListIterator<int32> it(&tags); !it.done(); ++i)
        if (it.next() == tag)
            return i;
    return -1;
}

void CurveData::setValue(int32 tag, float value)
{
    int32 i = findTag(tag);
    if (i >= 0 && static_cast<uint32>(i) < count)
        values[i] = value;
}

void CurveData::setValues(const float* source, uint32 n)
{
    if (source && n <= count)
        std::copy(source, source + n, values);
}

void CurveData::resize(uint32 n)
{
    if (n <= count)
        return;
    delete[] values;
    values = new float[n]();
    count = n;
}

bool CurveData::getValue(int32 tag, float& value)
{
    int32 i = findTag(tag);
    if (i < 0 || static_cast<uint32>(i) >= count)
        return false;
    value = values[i];
    return true;
}

bool CurveData::hasTag(int32 tag) const
{
    return findTag(tag) >= 0;
}

} // namespace Frame
} // namespace Calvereth

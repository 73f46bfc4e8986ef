#include "pluginset/common/qel/views/dataobjects.h"

#include <algorithm>
#include <new>

namespace Calvereth {
namespace Frame {

CurveData::CurveData(uint32 n, const TagList& tagList, IDependent* l) : DataObject2(l), tags(tagList)
{
    // A copy short of tags lost them for want of memory. After the tags: nothing made is left
    // behind when an allocation fails.
    if (tags.count() != tagList.count())
        throw std::bad_alloc();
    values = new float[n]();
    count = n;
}

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
    // Had before the old values go: a failed allocation leaves them as they were.
    float* grown = new float[n]();
    delete[] values;
    values = grown;
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

// Data objects the controller fills and the host-drawn views read: float values addressed by tags.
#pragma once

#include <initializer_list>
#include <new>

#include "base/fobject.h"
#include "base/tlinkedlist.h"

namespace Calvereth {
namespace Frame {

// The tags that address a data object's values, in order.
// A list that could not have the memory for all its tags throws std::bad_alloc rather than hold
// fewer: a view with a tag missing would show a meter short.
class TagList : public TLinkedList<int32>
{
public:
    TagList() = default;
    TagList(std::initializer_list<int32> list)
    {
        for (int32 tag : list)
            if (!add(tag))
                throw std::bad_alloc();
    }
    TagList(const TagList& other) : TLinkedList<int32>(other) { checkWhole(other); }
    TagList& operator=(const TagList& other)
    {
        TLinkedList<int32>::operator=(other);
        checkWhole(other);
        return *this;
    }

private:
    void checkWhole(const TagList& other) const
    {
        if (count() != other.count())
            throw std::bad_alloc();
    }
};

class DataObject : public FObject
{
public:
    explicit DataObject(IDependent* listener) : listener(listener) {}

    // Told of view attachment, detachment and reset requests; no reference is held.
    IDependent* getListener() const { return listener; }
    // The owner clears it before it goes, so views outliving it never call into a freed object.
    void setListener(IDependent* l) { listener = l; }

protected:
    IDependent* listener;
};

class DataObject2 : public DataObject
{
public:
    using DataObject::DataObject;
};

class CurveData : public DataObject2
{
public:
    CurveData(uint32 count, const TagList& tags, IDependent* listener);
    CurveData(uint32 count, IDependent* listener);
    ~CurveData() override;

    virtual void setValue(int32 tag, float value);
    virtual void setValues(const float* source, uint32 n);
    virtual void resize(uint32 n);
    virtual bool getValue(int32 tag, float& value);
    virtual uint32 getCount() const { return count; }
    virtual const float* getValues() const { return values; }
    virtual uint32 getValueCount() const { return count; }
    virtual bool hasTag(int32 tag) const;

    const TagList& getTags() const { return tags; }

protected:
    // Position of the first list entry equal to tag, or -1.
    int32 findTag(int32 tag) const;

    float* values = nullptr;
    uint32 count = 0;
    TagList tags;
};

} // namespace Frame
} // namespace Calvereth

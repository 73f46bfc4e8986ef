// Arrays of the base library: the unordered TArray and the sorted TOrderedArray.
#pragma once

#include "base/tcontainer.h"

#include <new>

namespace Calvereth {

template <class T>
class TArrayIterator;

template <class T>
class TArrayBase : public TContainer<T>
{
public:
    // delta: 0 never grows, -1 doubles (from 10), a positive value is added to the capacity.
    TArrayBase(int32_t initialSize = 0, int32_t delta = 10) : growDelta(delta), elementCount(0), data(nullptr)
    {
        if (initialSize > 0) {
            data = new (std::nothrow) T[initialSize];
            if (data)
                this->size = initialSize;
        }
    }
    ~TArrayBase() override { delete[] data; }

    int32_t count() const override { return elementCount; }
    bool isEmpty() const override { return elementCount == 0; }
    int32_t capacity() const override { return this->size; }

    bool add(const T& element) override { return insertAt(insertIndex(element), element); }
    bool remove(const T& element) override
    {
        if (elementCount == 0)
            return false;
        const int32_t index = indexOf(element);
        return index >= 0 && removeAt(index);
    }
    bool removeAtIterator(TIterator<T>& iterator) override;
    bool removeAt(int32_t index) override
    {
        if (index < 0 || index >= elementCount)
            return false;
        for (int32_t i = index; i + 1 < elementCount; ++i)
            data[i] = data[i + 1];
        data[elementCount - 1] = this->nullElement;
        --elementCount;
        return true;
    }
    void removeAll() override
    {
        for (int32_t i = 0; i < elementCount; ++i)
            data[i] = this->nullElement;
        elementCount = 0;
    }
    T& at(int32_t index) const override
    {
        if (index < 0 || index >= elementCount)
            return this->nullRef();
        return data[index];
    }
    T& lookup(const T& element) const override
    {
        const int32_t index = indexOf(element);
        return index < 0 ? this->nullRef() : data[index];
    }
    bool contains(const T& element) const override { return indexOf(element) >= 0; }
    int32_t occurrences(const T& element) const override
    {
        int32_t n = 0;
        for (int32_t i = 0; i < elementCount; ++i)
            if (TContainerTraits<T>::equal(data[i], element))
                ++n;
        return n;
    }
    TIterator<T>* newIterator() const override { return new TArrayIterator<T>(this); }

    virtual int32_t insertIndex(const T& element) const = 0;
    virtual int32_t indexOf(const T& element) const = 0;

    bool insertAt(int32_t index, const T& element)
    {
        if (index < 0 || index > elementCount)
            return false;
        if (elementCount >= this->size) {
            if (growDelta == 0)
                return false;
            int32_t newSize;
            if (growDelta < 0)
                newSize = this->size <= 0 ? 10 : (this->size > INT32_MAX / 2 ? INT32_MAX : this->size * 2);
            else
                newSize = this->size > INT32_MAX - growDelta ? INT32_MAX : this->size + growDelta;
            if (newSize <= elementCount || !resize(newSize))
                return false;
        }
        for (int32_t i = elementCount; i > index; --i)
            data[i] = data[i - 1];
        data[index] = element;
        ++elementCount;
        return true;
    }

    // Sets the capacity to newSize, keeping min(count, newSize) elements; 0 frees the storage.
    bool resize(int32_t newSize)
    {
        if (newSize < 0)
            return false;
        if (newSize == 0) {
            removeAll();
            delete[] data;
            data = nullptr;
            this->size = 0;
            return true;
        }
        T* newData = new (std::nothrow) T[newSize];
        if (!newData)
            return false;
        if (elementCount > newSize)
            elementCount = newSize;
        for (int32_t i = 0; i < elementCount; ++i)
            newData[i] = data[i];
        delete[] data;
        data = newData;
        this->size = newSize;
        return true;
    }

    int32_t getDelta() const { return growDelta; }
    void setDelta(int32_t delta) { growDelta = delta; }
    T& operator[](int32_t index) const { return at(index); }

protected:
    friend class TArrayIterator<T>;
    int32_t growDelta;
    int32_t elementCount;
    T* data;
};

template <class T>
class TArrayIterator : public TIterator<T>
{
public:
    explicit TArrayIterator(const TArrayBase<T>* a) : array(a), index(0) {}
    bool done() override { return index < 0 || index >= array->elementCount; }
    T& next() override
    {
        if (done())
            return array->nullRef();
        return array->data[index++];
    }
    T& previous() override
    {
        if (done())
            return array->nullRef();
        return array->data[index--];
    }
    T& current() override { return done() ? array->nullRef() : array->data[index]; }
    void first() override { index = 0; }
    void last() override { index = array->elementCount - 1; }

private:
    friend class TArrayBase<T>;
    const TArrayBase<T>* array;
    int32_t index;
};

template <class T>
bool TArrayBase<T>::removeAtIterator(TIterator<T>& iterator)
{
    const T element = iterator.current();
    const int32_t index = elementCount == 0 ? -1 : indexOf(element);
    if (index < 0)
        return false;
    auto* own = dynamic_cast<TArrayIterator<T>*>(&iterator);
    const bool removed = removeAt(index);
    // An equal element before the iterator's own one went: keep the iterator on its element.
    if (removed && own && own->array == this && index < own->index)
        --own->index;
    return removed;
}

template <class T>
class TArray : public TArrayBase<T>
{
public:
    TArray(int32_t initialSize = 0, int32_t delta = 10) : TArrayBase<T>(initialSize, delta) {}
    TArray(const TArray& other) : TArrayBase<T>(0, other.growDelta) { *this = other; }
    TArray& operator=(const TArray& other)
    {
        if (this == &other)
            return *this;
        this->removeAll();
        this->nullElement = other.nullElement;
        this->growDelta = other.growDelta;
        if (this->size < other.elementCount && !this->resize(other.elementCount))
            return *this;
        for (int32_t i = 0; i < other.elementCount; ++i)
            this->data[i] = other.data[i];
        this->elementCount = other.elementCount;
        return *this;
    }

    TContainer<T>* newInstance() const override { return new TArray<T>(0, 10); }
    int32_t insertIndex(const T&) const override { return this->elementCount; }
    int32_t indexOf(const T& element) const override
    {
        for (int32_t i = 0; i < this->elementCount; ++i)
            if (TContainerTraits<T>::equal(this->data[i], element))
                return i;
        return -1;
    }
};

// Kept in ascending order by the element's operator<; equal elements keep their insertion order.
template <class T>
class TOrderedArray : public TArrayBase<T>
{
public:
    TOrderedArray(int32_t initialSize = 0, int32_t delta = 10) : TArrayBase<T>(initialSize, delta) {}

    TContainer<T>* newInstance() const override { return new TOrderedArray<T>(0, 10); }

    int32_t insertIndex(const T& e) const override
    {
        const int32_t n = this->elementCount;
        const T* d = this->data;
        if (n == 0 || e < d[0])
            return 0;
        if (!(e < d[n - 1]))
            return n;
        int32_t lo = 0, hi = n - 1, mid = 0;
        while (hi >= lo) {
            mid = (lo + hi) / 2;
            if (TContainerTraits<T>::equal(d[mid], e))
                break;
            if (e < d[mid])
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        // The first index whose element is greater than e.
        while (mid < n && !(e < d[mid]))
            ++mid;
        return mid;
    }

    int32_t indexOf(const T& e) const override
    {
        const int32_t n = this->elementCount;
        const T* d = this->data;
        if (n < 4) {
            for (int32_t i = 0; i < n; ++i)
                if (TContainerTraits<T>::equal(d[i], e))
                    return i;
            return -1;
        }
        int32_t lo = 0, hi = n - 1;
        while (hi >= lo) {
            int32_t mid = (lo + hi) / 2;
            if (TContainerTraits<T>::equal(d[mid], e)) {
                while (mid > 0 && TContainerTraits<T>::equal(d[mid - 1], e))
                    --mid;
                return mid;
            }
            if (e < d[mid])
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        return -1;
    }
};

} // namespace Calvereth

// Abstract container and iterator of the base library. Every miss (bad index, absent element,
// iterator past the end) answers a reference to the container's null element.
#pragma once

#include "base/ftypes.h"

#include <cstdint>

namespace Calvereth {

// Element equality used by lookup, contains, occurrences and remove; specialise for element
// types whose operator== is not the wanted comparison.
template <class T>
struct TContainerTraits
{
    static bool equal(const T& a, const T& b) { return a == b; }
};

template <class T>
class TIterator
{
public:
    virtual ~TIterator() = default;
    virtual bool done() = 0;
    // next and previous answer the element at the position, then move; outside: the null element.
    virtual T& next() = 0;
    virtual T& previous() = 0;
    virtual T& current() = 0;
    virtual void first() = 0;
    virtual void last() = 0;
};

template <class T>
class TContainer
{
public:
    TContainer() : nullElement(), size(0) {}
    TContainer(const TContainer&) = delete;
    TContainer& operator=(const TContainer&) = delete;
    virtual ~TContainer() = default;

    virtual TContainer<T>* newInstance() const = 0;
    virtual int32_t count() const { return size; }
    virtual bool isEmpty() const { return count() == 0; }
    virtual int32_t capacity() const { return size; }
    virtual bool add(const T& element) = 0;
    virtual bool remove(const T& element) = 0;
    // Removes the first element equal to the iterator's current one. The iterator then stands on
    // the element that followed a removed element of its own, or stays on its element otherwise.
    virtual bool removeAtIterator(TIterator<T>& iterator) = 0;
    virtual bool removeAt(int32_t index) = 0;
    virtual void removeAll() = 0;
    virtual T& at(int32_t index) const
    {
        if (index < 0 || index >= count())
            return nullRef();
        TIterator<T>* it = newIterator();
        for (int32_t i = 0; i < index && !it->done(); ++i)
            it->next();
        T& result = it->current();
        delete it;
        return result;
    }
    virtual T& lookup(const T& element) const
    {
        TIterator<T>* it = newIterator();
        while (!it->done()) {
            T& e = it->next();
            if (TContainerTraits<T>::equal(e, element)) {
                delete it;
                return e;
            }
        }
        delete it;
        return nullRef();
    }
    virtual bool contains(const T& element) const
    {
        TIterator<T>* it = newIterator();
        bool found = false;
        while (!found && !it->done())
            found = TContainerTraits<T>::equal(it->next(), element);
        delete it;
        return found;
    }
    virtual int32_t occurrences(const T& element) const
    {
        TIterator<T>* it = newIterator();
        int32_t n = 0;
        while (!it->done())
            if (TContainerTraits<T>::equal(it->next(), element))
                ++n;
        delete it;
        return n;
    }
    virtual TIterator<T>* newIterator() const = 0;

    // Adds every element of the other container in its iteration order.
    void addAll(const TContainer<T>& other)
    {
        TIterator<T>* it = other.newIterator();
        while (!it->done())
            add(it->next());
        delete it;
    }

    // The element that misses answer; owners set it to a value that reads as "absent".
    void setNullElement(const T& element) { nullElement = element; }
    const T& getNullElement() const { return nullElement; }

protected:
    T& nullRef() const { return const_cast<T&>(nullElement); }

    T nullElement;
    int32_t size; // arrays: allocated slots; lists: elements; hash tables: buckets
};

} // namespace Calvereth

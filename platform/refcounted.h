#pragma once
// The reference count of the platform's handle objects: made with one reference, deleted with
// the last release. Retain and release are safe on any thread; a null handle is ignored.
#include <atomic>
#include <cstdint>

namespace Platform {

struct RefCounted
{
    std::atomic<int32_t> references{1};
};

template <class Object>
Object* retainObject(Object* object)
{
    if (object)
        object->references.fetch_add(1);
    return object;
}

template <class Object>
void releaseObject(Object* object)
{
    if (object && object->references.fetch_sub(1) == 1)
        delete object;
}

} // namespace Platform
